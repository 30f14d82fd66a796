// Colours of our own under the desktop's palette, on a screen of twice the usual pixel density:
// the navy captions and the navigator's glyphs stay readable on a dark palette and keep their
// colours on a light one, and the About picture is drawn for the screen's pixels, not enlarged.
#include "AppFixture.h"

#include "about/AboutPicture.h"
#include "dbcontrols/DBNavigator.h"
#include "uicore/Ink.h"

#include <QLabel>
#include <QToolButton>

using namespace app_fixture;

namespace {

QPalette paletteOf(bool dark)
{
  QPalette p;
  const QColor window = dark ? QColor(0x20, 0x20, 0x24) : QColor(0xef, 0xef, 0xef);
  const QColor text = dark ? QColor(0xe8, 0xe8, 0xe8) : QColor(Qt::black);
  for (auto role : {QPalette::Window, QPalette::Button, QPalette::Base})
    p.setColor(role, dark ? window.lighter(role == QPalette::Base ? 90 : 120) : (role == QPalette::Base ? Qt::white : window));
  for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
    p.setColor(role, text);
  return p;
}

// The glyph's ink: its most opaque pixel.
QColor inkOf(const QIcon& icon)
{
  const QImage image = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
  QColor ink(Qt::transparent);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y).alpha() > ink.alpha())
        ink = image.pixelColor(x, y);
  ink.setAlpha(255);
  return ink;
}

}  // namespace

class TestPalette : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;

private slots:
  void init()
  {
    folder = std::make_unique<TestFolder>();
    startProgram(*folder, "");
  }
  void cleanup()
  {
    stopProgram();
    QApplication::setPalette(paletteOf(false));
    folder.reset();
  }

  // Switching the palette while the windows are up recolours them.
  void ownColoursReadOnEitherPalette_data()
  {
    QTest::addColumn<bool>("dark");
    QTest::newRow("light") << false;
    QTest::newRow("dark") << true;
  }
  void ownColoursReadOnEitherPalette()
  {
    QFETCH(bool, dark);
    QApplication::setPalette(paletteOf(dark));
    QCoreApplication::processEvents();
    const QColor navy(0x00, 0x00, 0x80);
    fmMain->lbTableName->setText(QStringLiteral("Table: parts"));
    fmAbout->lbProduct->setText(QStringLiteral("Kestrel"));
    fmAbout->lbVersion->setText(QStringLiteral("2.1.0.20"));
    for (QLabel* label : {fmMain->lbTableName, fmAbout->lbProduct, fmAbout->lbVersion}) {
      const QColor background = label->window()->palette().color(QPalette::Window);
      const QColor ink = label->palette().color(QPalette::WindowText);
      QVERIFY2(contrastRatio(ink, background) >= 4.5, qPrintable(label->objectName() + ink.name()));
      if (!dark)
        QCOMPARE(label->palette().color(QPalette::WindowText), navy);
    }
    for (int i = 0; i < TDBNavigator::ButtonCount; ++i) {
      QToolButton* b = fmMain->DBNavigator1->Buttons(TDBNavigator::Button(i));
      const QColor ink = inkOf(b->icon());
      QVERIFY2(contrastRatio(ink, b->palette().color(QPalette::Button)) >= 4.0, qPrintable(b->objectName() + ink.name()));
    }
  }

  // What the About box shows is the picture drawn at the screen's size, pixel for pixel.
  void aboutPictureIsDrawnForTheScreensPixels()
  {
    QCOMPARE(fmAbout->devicePixelRatioF(), 2.0);
    fmAbout->show();
    QVERIFY(QTest::qWaitForWindowExposed(fmAbout));
    const QImage shown = fmAbout->Image1->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), fmAbout->Image1->size() * 2);
    const QImage drawn = KestrelPicture(qreal(shown.width()) / KestrelPictureWidth).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(drawn.size(), shown.size());
    QVERIFY(drawn == shown);
    QVERIFY(KestrelPicture(1.5) == KestrelPicture(1.5));  // the same picture each time it is drawn
    fmAbout->hide();
  }
};

int main(int argc, char* argv[])
{
  qputenv("QT_SCALE_FACTOR", "2");  // a high-density screen
  QApplication app(argc, argv);
  TestPalette test;
  return QTest::qExec(&test, argc, argv);
}
#include "tst_palette.moc"
