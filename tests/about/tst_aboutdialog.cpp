// The About box as the program makes it, and the colours of our own under the desktop's palette, on
// a screen of twice the usual pixel density. Built twice: once carrying the program's version block as
// kestrel does, once without any (KESTREL_TEST_UNVERSIONED), as a build without a version resource.

#include "AppFixture.h"

#include "about/AboutPicture.h"
#include "dbcontrols/DBNavigator.h"
#include "uicore/Ink.h"

#include <QLabel>
#include <QScreen>
#include <QToolButton>
#include <QTreeWidget>

using namespace app_fixture;

namespace {

#ifdef KESTREL_TEST_UNVERSIONED
constexpr bool Versioned = false;
#else
constexpr bool Versioned = true;
#endif

// A desktop palette as Qt derives it from the colour of its buttons: dark text on light, or light on dark.
QPalette paletteOf(bool dark) { return QPalette(dark ? QColor(0x26, 0x26, 0x2b) : QColor(0xef, 0xef, 0xef)); }

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

class TestAboutDialog : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;

private slots:
  void initTestCase()
  {
    folder = std::make_unique<TestFolder>();
    startProgram(*folder, "");
  }
  void cleanupTestCase()
  {
    stopProgram();
    QVERIFY(allModalsAnswered());
  }

  // Switching the palette while the windows are up recolours them: the navy captions and the
  // navigator's glyphs stay readable on a dark palette and keep their colours on a light one.
  void ownColoursReadOnEitherPalette()
  {
    for (bool dark : {false, true, false}) {
      QApplication::setPalette(paletteOf(dark));
      QCoreApplication::processEvents();
      for (QLabel* label : {fmMain->lbTableName, fmAbout->lbProduct, fmAbout->lbVersion}) {
        const QColor ink = label->palette().color(QPalette::WindowText);
        QVERIFY2(contrastRatio(ink, label->window()->palette().color(QPalette::Window)) >= 4.5,
                 qPrintable(label->objectName() + ink.name()));
        if (!dark)  // readable as it is: the caption keeps its navy
          QCOMPARE(ink, QColor(0x00, 0x00, 0x80));
      }
      for (int i = 0; i < TDBNavigator::ButtonCount; ++i) {
        QToolButton* b = fmMain->DBNavigator1->Buttons(TDBNavigator::Button(i));
        const QColor ink = inkOf(b->icon());
        QVERIFY2(contrastRatio(ink, b->palette().color(QPalette::Button)) >= 4.0, qPrintable(b->objectName() + ink.name()));
      }
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
    QVERIFY(drawn == shown);
    QVERIFY(KestrelPicture(1.5) == KestrelPicture(1.5));  // the same picture each time it is drawn
    fmAbout->hide();
  }

  // Help > About shows the one About window, modally, centred on the screen rather than on the main
  // window, with the same content each time: the program's own version block, whose version is the
  // project's, the one --version prints. Enter and OK close it.
  void shownModallyCentredOnTheScreen_data()
  {
    QTest::addColumn<bool>("byEnter");
    QTest::newRow("Enter") << true;
    QTest::newRow("OK") << false;
    QTest::newRow("Enter, once more") << true;
  }
  void shownModallyCentredOnTheScreen()
  {
    QFETCH(bool, byEnter);
    fmMain->setGeometry(10, 10, 400, 300);  // in a corner, so the two centres differ
    QPoint offCentre;
    bool modal = false;
    QWidget* shown = nullptr;
    QStringList content;
    answerNextModal([&](QWidget* w) {
      shown = w;
      offCentre = w->frameGeometry().center() - w->screen()->availableGeometry().center();
      modal = w->isModal();
      content << fmAbout->lbProduct->text() << fmAbout->lbVersion->text();
      for (auto* item : fmAbout->ListView1->findItems(QString(), Qt::MatchStartsWith))
        content << item->text(0) + "=" + item->text(1);
      byEnter ? QTest::keyClick(w, Qt::Key_Return) : QTest::mouseClick(fmAbout->btOK, Qt::LeftButton);
    });
    fmAbout->setResult(QDialog::Rejected);
    fmMain->About1->trigger();
    QVERIFY(allModalsAnswered());
    QCOMPARE(shown, static_cast<QWidget*>(fmAbout));
    QVERIFY(modal);
    QVERIFY(!fmAbout->isVisible());
    QCOMPARE(fmAbout->result(), int(QDialog::Accepted));
    QVERIFY2(offCentre.manhattanLength() <= 2, qPrintable(QStringLiteral("%1,%2").arg(offCentre.x()).arg(offCentre.y())));
    const QStringList expected = {"Kestrel", KESTREL_PROJECT_VERSION, "Product Version=" KESTREL_PROJECT_VERSION};
    QCOMPARE(content.mid(0, 3), Versioned ? expected : QStringList(2, QString()));
  }
};

int main(int argc, char* argv[])
{
  qputenv("QT_SCALE_FACTOR", "2");  // a high-density screen
  QApplication app(argc, argv);
  TestAboutDialog test;
  return QTest::qExec(&test, argc, argv);
}
#include "tst_aboutdialog.moc"
