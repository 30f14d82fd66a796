#include "dbcontrols/DBGrid.h"

#include "app/ExceptionGuard.h"
#include "dataaccess/DataSet.h"
#include "dataaccess/Field.h"
#include "dataaccess/FormatSettings.h"
#include "dataaccess/ValueText.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>

namespace {

constexpr int resizeGrip = 3;  // pixels either side of a title border that start a resize

int typicalChars(const TField& f)
{
  switch (f.DataType()) {
  case ftString: case ftFixedChar: case ftWideString: return std::clamp(f.Size(), 4, 40);
  case ftSmallint: case ftWord: return 6;
  case ftInteger: case ftAutoInc: return 10;
  case ftLargeint: return 20;
  case ftFloat: case ftCurrency: return 14;
  case ftBCD: return 16;
  case ftBoolean: return 5;
  case ftDate: return 10;
  case ftTime: return 8;
  case ftDateTime: return 19;
  case ftMemo: case ftFmtMemo: return 30;
  default: return 12;
  }
}

// The one-line editor shows a text value exactly only when it is UTF-8 without line breaks.
bool showsExactly(const TField& field, const QString& editText)
{
  const TValue& v = field.Value();
  if (v.kind() == TValue::Bytes)
    return false;
  if (v.kind() != TValue::Text || (!isTextInputType(field.DataType()) && field.DataType() != ftVariant))
    return true;
  return editText.toUtf8() == v.rawBytes() && !editText.contains(QLatin1Char('\n')) && !editText.contains(QLatin1Char('\r'));
}

// Numbers stand right-aligned: the values of number fields, and numbers in fields of any class.
bool alignsRight(const TValue& value, TFieldType type)
{
  if (value.kind() == TValue::Integer || value.kind() == TValue::Float)
    return isNumericType(type) || (!isDateTimeType(type) && type != ftBoolean);
  return isNumericType(type) && value.kind() == TValue::Text && isDecimalText(value.rawBytes());
}

QString cellText(const TValue& value, TFieldType type)
{
  return summaryText(value, type, FormatSettings());
}

}  // namespace

TDBGrid::TDBGrid(QWidget* parent) : QAbstractScrollArea(parent)
{
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setMouseTracking(true);
  viewport()->setAutoFillBackground(true);
  viewport()->setBackgroundRole(QPalette::Base);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // Jumping to a record may take a query; do it when the thumb is let go, not on every pixel.
  verticalScrollBar()->setTracking(false);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, guard([this](int value) {
            if (!FIgnoreScrollBar)
              moveTo(value);
          }));
  connect(verticalScrollBar(), &QScrollBar::sliderMoved, this, [this](int value) {
    const int64_t count = displayCount();
    QToolTip::showText(QCursor::pos(), count >= 0 ? tr("Record %1 of %2").arg(value + 1).arg(count)
                                                  : tr("Record %1").arg(value + 1), this);
  });
}

TDBGrid::~TDBGrid()
{
  TDataLink::SetDataSource(nullptr);
}

// ---- geometry ----

int TDBGrid::rowHeight() const
{
  return fontMetrics().height() + 4;
}

int TDBGrid::titleHeight() const
{
  return Options & dgTitles ? rowHeight() + 2 : 0;
}

int TDBGrid::indicatorWidth() const
{
  return Options & dgIndicator ? 12 : 0;
}

int TDBGrid::VisibleRows() const
{
  return std::max(1, (viewport()->height() - titleHeight()) / rowHeight());
}

int TDBGrid::columnX(int column) const
{
  int x = indicatorWidth() - horizontalScrollBar()->value();
  for (int i = 0; i < column; ++i)
    x += FColumns[size_t(i)].Width;
  return x;
}

int TDBGrid::columnAt(int x) const
{
  int left = indicatorWidth() - horizontalScrollBar()->value();
  for (size_t i = 0; i < FColumns.size(); ++i) {
    if (x >= left && x < left + FColumns[i].Width)
      return int(i);
    left += FColumns[i].Width;
  }
  return -1;
}

int64_t TDBGrid::positionAt(int y) const
{
  if (y < titleHeight())
    return -1;
  return FTop + (y - titleHeight()) / rowHeight();
}

int TDBGrid::resizeHandleAt(const QPoint& pos) const
{
  if (!(Options & dgColumnResize) || pos.y() >= titleHeight())
    return -1;
  for (int i = 0; i < ColumnCount(); ++i) {
    const int right = columnX(i) + FColumns[size_t(i)].Width;
    if (std::abs(pos.x() - right) <= resizeGrip)
      return i;
  }
  return -1;
}

void TDBGrid::SetColumnWidth(int column, int width)
{
  FColumns.at(size_t(column)).Width = std::max(8, width);
  layoutScrollBars();
  viewport()->update();
}

void TDBGrid::SetSelectedIndex(int column)
{
  if (FColumns.empty())
    return;
  commitEditor();
  FCol = std::clamp(column, 0, ColumnCount() - 1);
  // Bring the column into view.
  const int x = columnX(FCol) + horizontalScrollBar()->value() - indicatorWidth();
  const int width = FColumns[size_t(FCol)].Width;
  const int visible = viewport()->width() - indicatorWidth();
  if (x < horizontalScrollBar()->value())
    horizontalScrollBar()->setValue(x);
  else if (x + width > horizontalScrollBar()->value() + visible)
    horizontalScrollBar()->setValue(x + width - visible);
  viewport()->update();
}

TField* TDBGrid::SelectedField() const
{
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active() || FColumns.empty())
    return nullptr;
  return ds->Fields(FColumns[size_t(FCol)].FieldIndex);
}

int64_t TDBGrid::displayCount() const
{
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active())
    return 0;
  const int64_t known = ds->KnownRecordCount();
  if (known < 0)
    return -1;
  return known + (ds->State() == dsInsert ? 1 : 0);
}

void TDBGrid::buildColumns()
{
  FColumns.clear();
  TDataSet* ds = DataSet();
  if (ds && ds->Active()) {
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics titleMetrics(bold);
    for (int i = 0; i < ds->FieldCount(); ++i) {
      const TField* f = ds->Fields(i);
      const int byType = typicalChars(*f) * fontMetrics().averageCharWidth() + 8;
      const int byTitle = titleMetrics.horizontalAdvance(f->DisplayLabel) + 10;
      FColumns.push_back({i, f->DisplayWidth > 0 ? f->DisplayWidth : std::min(300, std::max(byType, byTitle))});
    }
  }
  FCol = std::clamp(FCol, 0, std::max(0, ColumnCount() - 1));
  horizontalScrollBar()->setValue(0);
}

void TDBGrid::layoutScrollBars()
{
  int total = 0;
  for (const Column& c : FColumns)
    total += c.Width;
  const int visibleWidth = viewport()->width() - indicatorWidth();
  horizontalScrollBar()->setRange(0, std::max(0, total - visibleWidth));
  horizontalScrollBar()->setPageStep(std::max(1, visibleWidth));
  horizontalScrollBar()->setSingleStep(20);

  FIgnoreScrollBar = true;
  TDataSet* ds = DataSet();
  const int64_t current = ds && ds->Active() ? std::max<int64_t>(0, ds->RecNo() - 1) : 0;
  int64_t count = displayCount();
  if (count < 0) {
    count = current + VisibleRows() + 1;  // until the count is known
    countLater();
  }
  const int maximum = int(std::min<int64_t>(std::max<int64_t>(0, count - 1), std::numeric_limits<int>::max()));
  verticalScrollBar()->setRange(0, maximum);
  verticalScrollBar()->setPageStep(VisibleRows());
  verticalScrollBar()->setValue(int(std::min<int64_t>(current, maximum)));
  FIgnoreScrollBar = false;
}

// The exact count may take the database a moment on a large table: ask for it once the first
// screen is on display.
void TDBGrid::countLater()
{
  if (FCountScheduled)
    return;
  FCountScheduled = true;
  QTimer::singleShot(0, this, guard([this] {
                       FCountScheduled = false;
                       TDataSet* ds = DataSet();
                       if (ds && ds->Active() && ds->KnownRecordCount() < 0) {
                         ds->RecordCount64();
                         layoutScrollBars();
                       }
                     }));
}

void TDBGrid::followCurrent()
{
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active()) {
    FTop = 0;
  } else {
    const int64_t current = std::max<int64_t>(0, ds->RecNo() - 1);
    const int rows = VisibleRows();
    if (current < FTop)
      FTop = current;
    else if (current >= FTop + rows)
      FTop = current - rows + 1;
    // Keep the window full when the end of the records is in view.
    const int64_t count = displayCount();
    if (count >= 0 && FTop > 0 && FTop + rows > count)
      FTop = std::max<int64_t>(0, std::min(current, count - rows));
  }
  layoutScrollBars();
  placeEditor();
  viewport()->update();
}

void TDBGrid::placeEditor()
{
  TDataSet* ds = DataSet();
  if (!Editing() || !ds || !ds->Active() || FColumns.empty())
    return;
  const int64_t current = ds->RecNo() - 1;
  const QRect cell(columnX(FCol), titleHeight() + int(current - FTop) * rowHeight(), FColumns[size_t(FCol)].Width, rowHeight());
  FEditor->setGeometry(cell.adjusted(1, 1, -1, -1));
}

// ---- data link ----

void TDBGrid::ActiveChanged()
{
  hideEditor();
  FTop = 0;
  buildColumns();
  followCurrent();
}

void TDBGrid::DataSetChanged()
{
  TDataSet* ds = DataSet();
  if (ds && ds->Active() && int(FColumns.size()) != ds->FieldCount())
    buildColumns();
  followCurrent();
}

void TDBGrid::DataSetScrolled()
{
  hideEditor();  // another record: the cell's input was handed over before the move
  followCurrent();
}

void TDBGrid::RecordChanged(TField*)
{
  viewport()->update();
}

void TDBGrid::StateChanged()
{
  TDataSet* ds = DataSet();
  if (ds && ds->State() == dsBrowse)
    hideEditor();
  viewport()->update();
}

void TDBGrid::UpdateData()
{
  commitEditor();
}

QString TDBGrid::CellText(int64_t position, int column)
{
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active() || column < 0 || column >= ColumnCount())
    return QString();
  const TRow* row = ds->RowAt(position);
  if (!row)
    return QString();
  const int fieldIndex = FColumns[size_t(column)].FieldIndex;
  return cellText(size_t(fieldIndex) < row->size() ? (*row)[size_t(fieldIndex)] : TValue(), ds->Fields(fieldIndex)->DataType());
}

// ---- painting ----

void TDBGrid::paintEvent(QPaintEvent*)
{
  QPainter p(viewport());
  const QPalette pal = palette();
  const int w = viewport()->width(), h = viewport()->height();
  const int rh = rowHeight(), th = titleHeight(), iw = indicatorWidth();
  const QColor lines = pal.color(QPalette::Mid);
  TDataSet* ds = DataSet();
  const bool active = ds && ds->Active();

  // Titles.
  if (th > 0) {
    p.fillRect(0, 0, w, th, pal.color(QPalette::Button));
    QFont bold = font();
    bold.setBold(true);
    p.setFont(bold);
    p.setPen(pal.color(QPalette::ButtonText));
    for (int c = 0; active && c < ColumnCount(); ++c) {
      const int x = columnX(c);
      if (x > w)
        break;
      const QRect cell(x, 0, FColumns[size_t(c)].Width, th);
      p.drawText(cell.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, ds->Fields(FColumns[size_t(c)].FieldIndex)->DisplayLabel);
      p.setPen(lines);
      p.drawLine(cell.topRight(), cell.bottomRight());
      p.setPen(pal.color(QPalette::ButtonText));
    }
    p.setPen(lines);
    p.drawLine(0, th - 1, w, th - 1);
    p.setFont(font());
  }
  if (iw > 0)
    p.fillRect(0, th, iw, h - th, pal.color(QPalette::Button));
  if (!active)
    return;

  const int64_t current = ds->RecNo() - 1;
  const TDataSetState state = ds->State();
  const bool focused = hasFocus() || (FEditor && FEditor->hasFocus());
  for (int r = 0; th + r * rh < h; ++r) {
    const int64_t position = FTop + r;
    const TRow* row = ds->RowAt(position);
    if (!row)
      break;
    const int y = th + r * rh;
    const bool isCurrent = position == current;
    if (isCurrent && (Options & dgRowSelect))
      p.fillRect(iw, y, w - iw, rh, pal.color(focused ? QPalette::Highlight : QPalette::AlternateBase));
    for (int c = 0; c < ColumnCount(); ++c) {
      const int x = columnX(c);
      if (x > w)
        break;
      const int width = FColumns[size_t(c)].Width;
      if (x + width < iw)
        continue;
      const QRect cell(x, y, width, rh);
      const bool selectedCell = isCurrent && c == FCol && !(Options & dgRowSelect);
      if (selectedCell)
        p.fillRect(cell, pal.color(focused ? QPalette::Highlight : QPalette::AlternateBase));
      const int fieldIndex = FColumns[size_t(c)].FieldIndex;
      const TFieldType type = ds->Fields(fieldIndex)->DataType();
      static const TValue none;
      const TValue& value = size_t(fieldIndex) < row->size() ? (*row)[size_t(fieldIndex)] : none;
      const QString text = cellText(value, type);
      const bool highlighted = (selectedCell || (isCurrent && (Options & dgRowSelect))) && focused;
      p.setPen(pal.color(highlighted ? QPalette::HighlightedText : QPalette::Text));
      const bool numeric = alignsRight(value, type);
      p.save();
      p.setClipRect(cell.intersected(QRect(iw, th, w - iw, h - th)));
      p.drawText(cell.adjusted(3, 0, -3, 0), Qt::AlignVCenter | (numeric ? Qt::AlignRight : Qt::AlignLeft),
                 fontMetrics().elidedText(text, Qt::ElideRight, width - 6));
      p.restore();
      if (Options & dgColLines) {
        p.setPen(lines);
        p.drawLine(cell.topRight(), cell.bottomRight());
      }
    }
    if (Options & dgRowLines) {
      p.setPen(lines);
      p.drawLine(iw, y + rh - 1, w, y + rh - 1);
    }
    if (iw > 0 && isCurrent) {
      // The row indicator: an arrow while browsing, a caret while editing, a star while inserting.
      p.setPen(pal.color(QPalette::ButtonText));
      p.setBrush(pal.color(QPalette::ButtonText));
      const int cy = y + rh / 2;
      if (state == dsEdit) {
        p.drawText(QRect(0, y, iw, rh), Qt::AlignCenter, QStringLiteral("I"));
      } else if (state == dsInsert) {
        p.drawText(QRect(0, y, iw, rh), Qt::AlignCenter, QStringLiteral("*"));
      } else {
        const QPoint arrow[3] = {{3, cy - 4}, {8, cy}, {3, cy + 4}};
        p.drawPolygon(arrow, 3);
      }
      p.setBrush(Qt::NoBrush);
    }
  }
}

void TDBGrid::resizeEvent(QResizeEvent* event)
{
  QAbstractScrollArea::resizeEvent(event);
  followCurrent();
}

void TDBGrid::scrollContentsBy(int, int)
{
  placeEditor();
  viewport()->update();
}

bool TDBGrid::eventFilter(QObject* watched, QEvent* event)
{
  if (watched != FEditor || event->type() != QEvent::KeyPress)
    return QAbstractScrollArea::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  switch (key->key()) {
  case Qt::Key_Escape:
    hideEditor();  // drops what was typed; a second Esc cancels the record
    return true;
  case Qt::Key_Return:
  case Qt::Key_Enter:
    Guarded([&] { commitEditor(); });
    return true;
  case Qt::Key_Up: case Qt::Key_Down: case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_Tab: case Qt::Key_Backtab: {
    bool committed = false;
    Guarded([&] {
      commitEditor();
      committed = true;
    });
    if (committed)
      keyPressEvent(key);
    return true;
  }
  default:
    return false;
  }
}

// ---- moving ----

void TDBGrid::moveTo(int64_t position)
{
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active())
    return;
  commitEditor();
  const int64_t current = ds->RecNo() - 1;
  if (position != current)
    ds->MoveBy(position - current);
  else
    followCurrent();
}

void TDBGrid::moveBy(int64_t distance)
{
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active())
    return;
  commitEditor();
  ds->MoveBy(distance);
}

// ---- editing ----

bool TDBGrid::Editing() const
{
  return FEditor && FEditor->isVisible();
}

bool TDBGrid::canEditCell() const
{
  TDataSet* ds = DataSet();
  TField* field = SelectedField();
  return !ReadOnly && (Options & dgEditing) && field && !field->ReadOnly && !isBlobType(field->DataType()) &&
         ds->CanModify() && DataSource() && DataSource()->AutoEdit;
}

void TDBGrid::showEditor(const QString& initial, bool selectAll)
{
  TDataSet* ds = DataSet();
  if (!canEditCell() || ds->RecNo() < 1)
    return;
  if (!FEditor) {
    FEditor = new QLineEdit(viewport());
    FEditor->setFrame(false);
    FEditor->installEventFilter(this);
    connect(FEditor, &QLineEdit::textEdited, this, guard([this](const QString&) {
              if (!FEditorDirty) {
                FEditorDirty = true;
                if (!DataSource()->Edit())
                  hideEditor();
              }
            }));
  }
  FEditor->setText(initial);
  FEditorDirty = false;
  FEditor->show();
  placeEditor();
  FEditor->setFocus();
  if (selectAll)
    FEditor->selectAll();
  else
    FEditor->end(false);
}

void TDBGrid::commitEditor()
{
  if (!FEditor || !FEditor->isVisible())
    return;
  if (FEditorDirty) {
    TField* field = SelectedField();
    if (field)
      field->SetAsString(FEditor->text());  // text that does not read raises; the editor keeps it
    FEditorDirty = false;
  }
  hideEditor();
}

void TDBGrid::hideEditor()
{
  if (!FEditor || !FEditor->isVisible())
    return;
  const bool hadFocus = FEditor->hasFocus();
  FEditorDirty = false;
  FEditor->hide();
  if (hadFocus)
    setFocus();
}

void TDBGrid::confirmDelete()
{
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active() || ds->IsEmpty() || ReadOnly || !(Options & dgEditing))
    return;
  if ((Options & dgConfirmDelete) &&
      QMessageBox::question(this, QApplication::applicationName().isEmpty() ? QStringLiteral("Kestrel") : QApplication::applicationName(),
                            tr("Delete record?"), QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Ok)
    return;
  hideEditor();
  ds->Delete();
}

void TDBGrid::focusOutEvent(QFocusEvent* event)
{
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

// ---- keyboard and mouse ----

void TDBGrid::keyPressEvent(QKeyEvent* event)
{
  Guarded([&] {
    TDataSet* ds = DataSet();
    if (!ds || !ds->Active()) {
      QAbstractScrollArea::keyPressEvent(event);
      return;
    }
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Up: moveBy(-1); return;
    case Qt::Key_Down: {
      const int64_t before = ds->RecNo();
      moveBy(1);
      // Past the last record a grid that edits adds one.
      if (ds->Eof() && ds->RecNo() == before && canEditCell() && ds->State() == dsBrowse)
        ds->Append();
      return;
    }
    case Qt::Key_PageUp: moveBy(-VisibleRows()); return;
    case Qt::Key_PageDown: moveBy(VisibleRows()); return;
    case Qt::Key_Home:
      if (ctrl) {
        commitEditor();
        ds->First();
      } else {
        SetSelectedIndex(0);
      }
      return;
    case Qt::Key_End:
      if (ctrl) {
        commitEditor();
        ds->Last();
      } else {
        SetSelectedIndex(ColumnCount() - 1);
      }
      return;
    case Qt::Key_Left: SetSelectedIndex(FCol - 1); return;
    case Qt::Key_Right: SetSelectedIndex(FCol + 1); return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      if (Options & dgTabs) {
        SetSelectedIndex(FCol + (event->key() == Qt::Key_Tab ? 1 : -1));
        return;
      }
      break;
    case Qt::Key_F2:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (TField* f = SelectedField()) {
        const QString text = f->EditText();
        if (!showsExactly(*f, text)) {
          // Editing would change what is stored before the user typed anything.
          QApplication::beep();
          QToolTip::showText(viewport()->mapToGlobal(QPoint(columnX(FCol), 0)),
                             tr("This value cannot be edited here without changing it."), this);
          return;
        }
        showEditor(text, true);
      }
      return;
    case Qt::Key_Escape:
      if (ds->State() == dsEdit || ds->State() == dsInsert)
        ds->Cancel();
      return;
    case Qt::Key_Insert:
      if (canEditCell())
        ds->Insert();
      return;
    case Qt::Key_Delete:
      if (ctrl) {
        confirmDelete();
        return;
      }
      break;
    default:
      break;
    }
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint() && !ctrl && canEditCell()) {
      if (!Editing())  // keys that reach the grid while its editor is open go on into the editor
        showEditor(QString(), false);
      if (FEditor && FEditor->isVisible()) {
        FEditor->insert(text);
        FEditorDirty = true;
        if (!DataSource()->Edit())
          hideEditor();
      }
      return;
    }
    QAbstractScrollArea::keyPressEvent(event);
  });
}

void TDBGrid::mousePressEvent(QMouseEvent* event)
{
  Guarded([&] {
    setFocus();
    const QPoint pos = event->position().toPoint();
    FResizing = resizeHandleAt(pos);
    if (FResizing >= 0) {
      FResizeStart = pos.x() - FColumns[size_t(FResizing)].Width;
      return;
    }
    const int column = columnAt(pos.x());
    const int64_t position = positionAt(pos.y());
    TDataSet* ds = DataSet();
    if (!ds || !ds->Active() || position < 0 || !ds->RowAt(position))
      return;
    if (column >= 0 && column != FCol)
      SetSelectedIndex(column);
    moveTo(position);
  });
}

void TDBGrid::mouseMoveEvent(QMouseEvent* event)
{
  const QPoint pos = event->position().toPoint();
  if (FResizing >= 0) {
    SetColumnWidth(FResizing, pos.x() - FResizeStart);
    return;
  }
  viewport()->setCursor(resizeHandleAt(pos) >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
}

void TDBGrid::mouseReleaseEvent(QMouseEvent*)
{
  FResizing = -1;
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
  Guarded([&] {
    const QPoint pos = event->position().toPoint();
    if (pos.y() < titleHeight())
      return;
    if (OnDblClick)
      OnDblClick();
  });
}

void TDBGrid::wheelEvent(QWheelEvent* event)
{
  Guarded([&] {
    const int steps = event->angleDelta().y() / 120;
    if (steps != 0)
      moveBy(-3 * steps);
  });
  event->accept();
}

