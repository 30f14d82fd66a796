#include "dbcontrols/DBNavigator.h"

#include "uicore/ExceptionGuard.h"
#include "uicore/Ink.h"
#include "dataaccess/DataSet.h"

#include <QHBoxLayout>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace {

// Small pictures of our own: triangles and bars for moving, signs for editing.
QIcon navigatorGlyph(TDBNavigator::Button b, const QColor& ink)
{
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(ink);
  auto triangle = [&](double tipX, bool left) {
    QPainterPath path;
    const double back = left ? tipX + 6 : tipX - 6;
    path.moveTo(tipX, 8);
    path.lineTo(back, 3);
    path.lineTo(back, 13);
    path.closeSubpath();
    p.drawPath(path);
  };
  QPen pen(ink, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  switch (b) {
  case TDBNavigator::nbFirst: p.drawRect(QRectF(3, 3, 2, 10)); triangle(5.5, true); break;
  case TDBNavigator::nbPrior: triangle(5, true); break;
  case TDBNavigator::nbNext: triangle(11, false); break;
  case TDBNavigator::nbLast: p.drawRect(QRectF(11, 3, 2, 10)); triangle(10.5, false); break;
  case TDBNavigator::nbInsert: p.drawRect(QRectF(3, 7, 10, 2)); p.drawRect(QRectF(7, 3, 2, 10)); break;
  case TDBNavigator::nbDelete: p.drawRect(QRectF(3, 7, 10, 2)); break;
  case TDBNavigator::nbEdit:
    p.setPen(pen);
    p.drawLine(QPointF(4, 12), QPointF(12, 4));
    p.drawLine(QPointF(3, 13), QPointF(5, 13));
    break;
  case TDBNavigator::nbPost:
    p.setPen(pen);
    p.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}));
    break;
  case TDBNavigator::nbCancel:
    p.setPen(pen);
    p.drawLine(QPointF(4, 4), QPointF(12, 12));
    p.drawLine(QPointF(12, 4), QPointF(4, 12));
    break;
  case TDBNavigator::nbRefresh: {
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(3, 3, 10, 10), 60 * 16, 280 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPolygon(QPolygonF({QPointF(9, 1), QPointF(13.5, 3.5), QPointF(9, 6.5)}));
    break;
  }
  }
  return QIcon(pm);
}

}  // namespace

TDBNavigator::TDBNavigator(QWidget* parent) : QWidget(parent)
{
  static const char* const names[] = {"First", "Prior", "Next", "Last", "Insert", "Delete", "Edit", "Post", "Cancel", "Refresh"};
  static const char* const hints[] = {"First record", "Prior record", "Next record", "Last record", "Insert record",
                                      "Delete record", "Edit record", "Post edit", "Cancel edit", "Refresh data"};
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (int i = 0; i < ButtonCount; ++i) {
    auto* b = new QToolButton(this);
    b->setObjectName(QStringLiteral("nb") + QLatin1String(names[i]));
    b->setToolTip(tr(hints[i]));
    // The glyphs' ink follows the palette: on dark buttons it lightens until it reads.
    onPaletteChange(b, [b, i] {
      const QColor wanted = i >= nbInsert ? QColor(0x1f, 0x4e, 0x8c) : QColor(0x30, 0x30, 0x30);
      b->setIcon(navigatorGlyph(Button(i), readableOn(wanted, b->palette().color(QPalette::Button))));
    });
    b->setFixedSize(25, 25);
    b->setFocusPolicy(Qt::NoFocus);
    b->setEnabled(false);
    connect(b, &QToolButton::clicked, this, guard([this, i] { BtnClick(Button(i)); }));
    layout->addWidget(b);
    FButtons[size_t(i)] = b;
  }
}

TDBNavigator::~TDBNavigator()
{
  TDataLink::SetDataSource(nullptr);
}

void TDBNavigator::BtnClick(Button b)
{
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active())
    return;
  switch (b) {
  case nbFirst: ds->First(); break;
  case nbPrior: ds->Prior(); break;
  case nbNext: ds->Next(); break;
  case nbLast: ds->Last(); break;
  case nbInsert: ds->Insert(); break;
  case nbDelete:
    if (!ConfirmDelete || QMessageBox::question(window(), QStringLiteral("Kestrel"), tr("Delete record?"),
                                                QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) == QMessageBox::Ok)
      ds->Delete();
    break;
  case nbEdit: ds->Edit(); break;
  case nbPost: ds->Post(); break;
  case nbCancel: ds->Cancel(); break;
  case nbRefresh: ds->Refresh(); break;
  }
}

void TDBNavigator::updateButtons()
{
  TDataSet* ds = DataSet();
  const bool active = ds && ds->Active();
  const bool editing = active && (ds->State() == dsEdit || ds->State() == dsInsert);
  const bool canModify = active && ds->CanModify();
  const bool empty = !active || ds->IsEmpty();
  FButtons[nbFirst]->setEnabled(active && !ds->Bof());
  FButtons[nbPrior]->setEnabled(active && !ds->Bof());
  FButtons[nbNext]->setEnabled(active && !ds->Eof());
  FButtons[nbLast]->setEnabled(active && !ds->Eof());
  FButtons[nbInsert]->setEnabled(canModify);
  FButtons[nbDelete]->setEnabled(canModify && !empty);
  FButtons[nbEdit]->setEnabled(canModify && !editing);
  FButtons[nbPost]->setEnabled(editing);
  FButtons[nbCancel]->setEnabled(editing);
  FButtons[nbRefresh]->setEnabled(active);
}
