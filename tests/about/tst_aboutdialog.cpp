// The About box as the program makes it. Built twice: once carrying the program's version block as
// kestrel does, once without any (KESTREL_TEST_UNVERSIONED), as a build without a version resource.

#include "AppFixture.h"

#include <QLabel>
#include <QScreen>
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
    // The version is the project's own, the one --version prints.
    QCOMPARE(labels, Versioned ? QStringList({"Kestrel", "Desktop database browser", KESTREL_PROJECT_VERSION,
                                              "Copyright \u00A9 2026 Kestrel Project. All rights reserved."})
                               : QStringList(4, QString()));
    QCOMPARE(rows(fmAbout->ListView1), Versioned ? QStringList({"Product Version=" KESTREL_PROJECT_VERSION, "Company Name=Kestrel Project",
                                                                "Internal Name=KESTREL", "Comments=How it's going!"})
                                                 : QStringList());
  }

  // Help > About shows the one About window, modally, centred on the screen rather than on the main
  // window, with the same content each time; Enter and OK close it.
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
    QRect shownAt, screen;
    bool modal = false;
    QWidget* shown = nullptr;
    QStringList shownRows;
    answerNextModal([&](QWidget* w) {
      shown = w;
      shownAt = w->frameGeometry();
      screen = w->screen()->availableGeometry();
      modal = w->isModal();
      shownRows = rows(fmAbout->ListView1);
      byEnter ? QTest::keyClick(w, Qt::Key_Return) : QTest::mouseClick(fmAbout->btOK, Qt::LeftButton);
    });
    fmAbout->setResult(QDialog::Rejected);
    fmMain->About1->trigger();
    QVERIFY(allModalsAnswered());
    QCOMPARE(shown, static_cast<QWidget*>(fmAbout));
    QVERIFY(modal);
    QVERIFY(!fmAbout->isVisible());
    QCOMPARE(fmAbout->result(), int(QDialog::Accepted));
    QVERIFY2((shownAt.center() - screen.center()).manhattanLength() <= 2,
             qPrintable(QStringLiteral("%1,%2 on a screen centred at %3,%4")
                            .arg(shownAt.center().x()).arg(shownAt.center().y())
                            .arg(screen.center().x()).arg(screen.center().y())));
    QCOMPARE(shownRows.size(), Versioned ? 4 : 0);
  }
};

QTEST_MAIN(TestAboutDialog)
#include "tst_aboutdialog.moc"
