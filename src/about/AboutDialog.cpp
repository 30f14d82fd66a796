#include "about/AboutDialog.h"

#include "about/AboutPicture.h"
#include "uicore/Ink.h"
#include "about/VersionInfoResource.h"
#include "uicore/ExceptionGuard.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>

TfmAbout* fmAbout = nullptr;

namespace {

const QColor Navy(0x00, 0x00, 0x80);

QLabel* navyLabel(QWidget* parent, const char* name, const QRect& geometry, int pointSize, bool bold)
{
  auto* label = new QLabel(QString::fromLatin1(name), parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);  // version texts are shown as written, never as markup
  keepInkReadable(label, Navy);  // navy on the usual light window, lighter on a dark one
  QFont font = label->font();
  if (pointSize > 0)
    font.setPointSize(pointSize);
  font.setBold(bold);
  label->setFont(font);
  label->setGeometry(geometry);
  return label;
}

}  // namespace

TfmAbout::TfmAbout(QWidget* parent) : QDialog(parent)
{
  setObjectName(QStringLiteral("fmAbout"));
  setWindowTitle(tr("About Kestrel"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, true);
  setFixedSize(480, 340);

  Bevel1 = new QFrame(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Bevel1->setLineWidth(2);
  Bevel1->setGeometry(8, 8, 464, 150);

  Image1 = new TImage(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->SetPictureSource([](qreal scale) { return KestrelPicture(scale); });
  Image1->SetStretch(true);
  Image1->setGeometry(18, 18, 160, 120);

  lbProduct = navyLabel(this, "lbProduct", QRect(192, 18, 270, 26), 14, false);
  lbDescription = navyLabel(this, "lbDescription", QRect(192, 46, 270, 24), 12, false);
  lbVersion = navyLabel(this, "lbVersion", QRect(192, 72, 270, 24), 12, false);
  lbCopyRight = navyLabel(this, "lbCopyRight", QRect(192, 98, 270, 50), 12, false);
  lbCopyRight->setWordWrap(true);
  lbCopyRight->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  ListView1 = new QTreeWidget(this);
  ListView1->setObjectName(QStringLiteral("ListView1"));
  ListView1->setColumnCount(0);
  ListView1->setGeometry(8, 166, 464, 130);

  Label1 = navyLabel(this, "Label1", QRect(8, 308, 360, 22), 0, true);
  Label1->setText(tr("Reach us through the Kestrel Project's issue tracker."));

  btOK = new QPushButton(tr("OK"), this);
  btOK->setObjectName(QStringLiteral("btOK"));
  btOK->setDefault(true);
  btOK->setGeometry(397, 306, 75, 25);
  connect(btOK, &QPushButton::clicked, this, guard([this] { accept(); }));
  btOK->setFocus();  // the list is for reading; the focus starts on the button that closes the box

  // The component as placed on the form: its properties, then its linked controls, then Loaded.
  VersionInfoResource1 = new TVersionInfoResource(this);
  VersionInfoResource1->setObjectName(QStringLiteral("VersionInfoResource1"));
  VersionInfoResource1->SetShowResource({pdCompanyName, pdInternalName, pdLegalTrademarks, pdOriginalFilename,
                                         pdProductVersion, pdComments, pdBuildFlags});
  VersionInfoResource1->SetProductLabel(lbProduct);
  VersionInfoResource1->SetDescriptionLabel(lbDescription);
  VersionInfoResource1->SetVersionLabel(lbVersion);
  VersionInfoResource1->SetCopyrightLabel(lbCopyRight);
  VersionInfoResource1->SetVersionListView(ListView1);
  VersionInfoResource1->Loaded();
}

void TfmAbout::setVisible(bool visible)
{
  if (visible && !isVisible())
    centreOnScreen();
  QDialog::setVisible(visible);
}

void TfmAbout::centreOnScreen()
{
  QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen();
  if (!screen)
    screen = QGuiApplication::primaryScreen();
  if (!screen)
    return;
  // Once shown, the frame's size is known; before that the client size is the best guess.
  const QSize outer = frameGeometry().size().expandedTo(size());
  const QRect area = screen->availableGeometry();
  // A window's position is its frame's; moving it also keeps QDialog from placing it over its parent.
  move(area.center() - QPoint(outer.width() / 2, outer.height() / 2));
}
