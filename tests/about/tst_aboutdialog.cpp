// The About box as the program makes it. Built twice: once carrying the program's version block as
// kestrel does, once without any (KESTREL_TEST_UNVERSIONED), as a build without a version resource.

#include "AppFixture.h"

#include "about/AboutPicture.h"
#include "about/VersionInfoResource.h"

#include <QFrame>
#include <QLabel>
#include <QScreen>
#include <QSet>
#include <QTreeWidget>

using namespace app_fixture;

namespace {

#ifdef KESTREL_TEST_UNVERSIONED
constexpr bool Versioned = false;
#else
constexpr bool Versioned = true;
#endif

QStringList rows(QTreeWidget* lv)
{
  QStringList r;
  for (int i = 0; i < lv->topLevelItemCount(); ++i)
    r << lv->topLevelItem(i)->text(0) + "=" + lv->topLevelItem(i)->text(1);
  return r;
}

QStringList headings(QTreeWidget* lv)
{
  QStringList h;
  for (int i = 0; i < lv->columnCount(); ++i)
    h << lv->headerItem()->text(i);
  return h;
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

  void showsTheProgramsOwnVersionResource()
  {
    const QStringList labels = {fmAbout->lbProduct->text(), fmAbout->lbDescription->text(), fmAbout->lbVersion->text(),
                                fmAbout->lbCopyRight->text()};
    QCOMPARE(headings(fmAbout->ListView1), QStringList({"Resource", "Value"}));
    if (Versioned) {
      // The version label has the fixed file version, not the string table's ProductVersion (2.0.0.0).
      QCOMPARE(labels, QStringList({"Kestrel", "Desktop database browser", "2.1.0.20",
                                    "Copyright \u00A9 2026 Kestrel Project. All rights reserved."}));
      QCOMPARE(rows(fmAbout->ListView1), QStringList({"Product Version=2.1.0.20", "Company Name=Kestrel Project",
                                                      "Internal Name=KESTREL", "Comments=How it's going!"}));
    } else {
      QCOMPARE(labels, QStringList({"", "", "", ""}));
      QCOMPARE(fmAbout->ListView1->topLevelItemCount(), 0);
    }
  }

  void theFormAsBuilt()
  {
    TfmAbout* f = fmAbout;
    QCOMPARE(f->windowTitle(), QStringLiteral("About Kestrel"));
    QCOMPARE(f->minimumSize(), f->maximumSize());  // a dialog border: fixed size
    QCOMPARE(f->VersionInfoResource1->Filename(), QString());
    QVERIFY(!f->VersionInfoResource1->ForceEXE());
    QCOMPARE(f->VersionInfoResource1->VersionListView(), f->ListView1);
    QCOMPARE(f->VersionInfoResource1->ProductLabel(), f->lbProduct);

    // Navy labels; the contact line in bold, at the bottom left beside OK.
    for (QLabel* l : {f->lbProduct, f->lbDescription, f->lbVersion, f->lbCopyRight, f->Label1})
      QCOMPARE(l->palette().color(QPalette::WindowText), QColor(0, 0, 0x80));
    QVERIFY(f->Label1->font().bold());
    QVERIFY(!f->Label1->text().isEmpty());
    QVERIFY(f->lbProduct->font().pointSize() > f->Label1->font().pointSize());
    QVERIFY(f->lbCopyRight->wordWrap());
    QVERIFY(f->btOK->isDefault());
    QCOMPARE(f->btOK->text(), QStringLiteral("OK"));
    QCOMPARE(f->Label1->geometry().center().y() / 10, f->btOK->geometry().center().y() / 10);

    // Picture upper left in about a third of the width; the labels to its right, top to bottom.
    const QRect picture = f->Image1->geometry();
    QVERIFY(f->Image1->Stretch());
    QVERIFY(picture.width() * 10 > f->width() * 3 && picture.width() * 10 < f->width() * 4);
    QVERIFY(f->Bevel1->geometry().contains(picture));
    int y = -1;
    for (QLabel* l : {f->lbProduct, f->lbDescription, f->lbVersion, f->lbCopyRight}) {
      QVERIFY(l->x() > picture.right());
      QVERIFY(l->y() > y);
      QVERIFY(f->Bevel1->geometry().contains(l->geometry()));
      y = l->y();
    }
    QVERIFY(f->ListView1->y() > f->Bevel1->geometry().bottom());
    QCOMPARE(f->ListView1->width(), f->Bevel1->width());
  }

  void thePictureIs240By180In16Colours()
  {
    const QImage picture = fmAbout->Image1->Picture();
    QCOMPARE(picture.size(), QSize(240, 180));
    QCOMPARE(picture.format(), QImage::Format_Indexed8);
    QCOMPARE(picture.colorCount(), 16);
    // A drawing, not a blank: most of the palette is used, and the middle is not the sky.
    QSet<int> used;
    for (int y = 0; y < picture.height(); ++y)
      for (int x = 0; x < picture.width(); ++x)
        used.insert(picture.pixelIndex(x, y));
    QVERIFY2(used.size() >= 14, qPrintable(QString::number(used.size())));
    QVERIFY(picture.pixelIndex(120, 90) != picture.pixelIndex(5, 5));
  }

  void shownModallyCentredOnTheScreenAndClosedByEnter()
  {
    // The main window in a corner, so centred on it and centred on the screen differ.
    fmMain->setGeometry(10, 10, 400, 300);
    for (int time = 0; time < 2; ++time) {
      QRect shownAt, screen;
      bool modal = false;
      QStringList shownRows;
      answerNextModal([&](QWidget* w) {
        shownAt = w->frameGeometry();
        screen = w->screen()->availableGeometry();
        modal = w->isModal();
        shownRows = rows(fmAbout->ListView1);
        QTest::keyClick(w, Qt::Key_Return);
      });
      fmMain->About1->trigger();
      QVERIFY(allModalsAnswered());
      QVERIFY(modal);
      QVERIFY(!fmAbout->isVisible());
      QCOMPARE(fmAbout->result(), int(QDialog::Accepted));
      QVERIFY2((shownAt.center() - screen.center()).manhattanLength() <= 2,
               qPrintable(QStringLiteral("%1,%2 on a screen centred at %3,%4")
                              .arg(shownAt.center().x()).arg(shownAt.center().y())
                              .arg(screen.center().x()).arg(screen.center().y())));
      QCOMPARE(shownRows.size(), Versioned ? 4 : 0);  // the same content each time
    }
  }

  void okClosesTheDialog()
  {
    answerNextModal([](QWidget*) { QTest::mouseClick(fmAbout->btOK, Qt::LeftButton); });
    fmAbout->setResult(QDialog::Rejected);
    fmMain->About1->trigger();
    QVERIFY(allModalsAnswered());
    QCOMPARE(fmAbout->result(), int(QDialog::Accepted));
  }
};

QTEST_MAIN(TestAboutDialog)
#include "tst_aboutdialog.moc"
