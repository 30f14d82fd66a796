#include "AppFixture.h"

#include <QMenu>
#include <QToolButton>

using namespace app_fixture;

class TestMainWindow : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;

private slots:
  void init() { folder = std::make_unique<TestFolder>(); }
  void cleanup()
  {
    stopProgram();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  // Before any connection the tree lists the aliases under its root, nothing is connected, and the
  // commands that need a connection or an edit are off. A broken alias file is reported with its
  // line, and the window still opens.
  void startsDisconnected_data()
  {
    QTest::addColumn<QByteArray>("aliases");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("reported");
    const QByteArray demo("[Demo]\nDriver=SQLite\nDatabase=demo.db\n");
    QTest::newRow("one alias") << demo << QStringList{"Demo"} << QString();
    QTest::newRow("no aliases") << QByteArray("; no aliases configured\n") << QStringList{} << QString();
    QTest::newRow("broken file") << demo + "this line is wrong\n" << QStringList{}
                                 << "aliases.ini:4: expected 'key=value' or '[alias]'";
  }
  void startsDisconnected()
  {
    QFETCH(QString, reported);
    QString shown;
    if (!reported.isEmpty())
      captureAndClose(&shown);
    QFETCH(QByteArray, aliases);
    startProgram(*folder, aliases);
    QVERIFY(allModalsAnswered());
    QVERIFY2(shown.contains(reported), qPrintable(shown));
    QCOMPARE(fmMain->TreeView1->TopCount(), 1);
    QCOMPARE(root()->Text(), QStringLiteral("Databases"));
    QTEST(childTexts(root()), "listed");
    QCOMPARE(panel(0), QStringLiteral("Disconnected"));
    QVERIFY(!fmMain->ExportData->isEnabled());
    QVERIFY(!fmMain->btExecute->isEnabled());
    QVERIFY(!fmMain->btUndo->isEnabled());
    QVERIFY(fmMain->btNew->isEnabled());
  }

  // While an export runs neither Exit nor the close box closes the window; afterwards Exit does.
  void closingIsRefusedWhileExporting()
  {
    startProgram(*folder, "");
    fmMain->FExporting = true;
    fmMain->Exit1->trigger();
    QVERIFY(fmMain->isVisible());
    QVERIFY(!fmMain->close());
    QVERIFY(fmMain->isVisible());
    fmMain->FExporting = false;
    fmMain->Exit1->trigger();
    QVERIFY(!fmMain->isVisible());
  }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
