#include "AppFixture.h"

#include "dbcontrols/DBGrid.h"
#include "platform/ScreenCursor.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QToolButton>

using namespace app_fixture;

class TestQueryExecution : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;

  void run(const QString& sql)
  {
    fmMain->Memo1->setPlainText(sql);
    QTest::mouseClick(fmMain->btExecute, Qt::LeftButton);
  }

private slots:
  void init()
  {
    folder = std::make_unique<TestFolder>();
    folder->createDatabase(QStringLiteral("q.db"), QStringLiteral(
        "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT);"
        "INSERT INTO t VALUES (1,'a'),(2,'b'),(3,'c'),(4,'d');"));
    startProgram(*folder, "[Q]\nDriver=SQLite\nDatabase=q.db\n[Gone]\nDriver=SQLite\nDatabase=gone.db\n");
    loginWith(QStringLiteral("u"), QString());
    doubleClick(child(root(), QStringLiteral("Q")));
    QVERIFY(fmMain->Database.Connected());
  }
  void cleanup()
  {
    stopProgram();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  // The rows show in the results grid, which the grid's own tests show cannot be edited.
  void selectShowsItsRows()
  {
    fmMain->pgBottom->setCurrentWidget(fmMain->tbTable);
    run(QStringLiteral("SELECT id, name\nFROM t\nWHERE id > 1"));
    QVERIFY(fmMain->qrSelect.Active());
    QCOMPARE(fmMain->pgBottom->currentWidget(), fmMain->ResultSheet);
    QCOMPARE(panel(2), QStringLiteral("Rows affected: 0"));
    QCOMPARE(fmMain->DBGrid1->ColumnCount(), 2);
    QCOMPARE(fmMain->DBGrid1->CellText(0, 1), QStringLiteral("b"));
    QCOMPARE(fmMain->DBGrid1->CellText(2, 0), QStringLiteral("4"));
  }

  void updateShowsItsCountAndAnEmptyGrid()
  {
    run(QStringLiteral("SELECT * FROM t"));
    run(QStringLiteral("UPDATE t SET name = upper(name) WHERE id <= 3"));
    QVERIFY(!fmMain->qrSelect.Active());
    QCOMPARE(fmMain->DBGrid1->ColumnCount(), 0);
    QCOMPARE(panel(2), QStringLiteral("Rows affected: 3"));
  }

  void runningClosesTheOpenTable()
  {
    doubleClick(child(child(root(), QStringLiteral("Q")), QStringLiteral("t")));
    QVERIFY(fmMain->qrTable.Active());
    QCOMPARE(fmMain->DBGrid2->CellText(0, 1), QStringLiteral("a"));
    run(QStringLiteral("DELETE FROM t WHERE id = 4"));
    QVERIFY(!fmMain->qrTable.Active());
    QCOMPARE(fmMain->DBGrid2->ColumnCount(), 0);
    QCOMPARE(panel(2), QStringLiteral("Rows affected: 1"));
    // And opening a table empties the results.
    run(QStringLiteral("SELECT * FROM t"));
    doubleClick(child(child(root(), QStringLiteral("Q")), QStringLiteral("t")));
    QVERIFY(!fmMain->qrSelect.Active());
    QCOMPARE(fmMain->DBGrid1->ColumnCount(), 0);
  }

  void engineErrorShowsTheDialogThenTheCount()
  {
    run(QStringLiteral("SELECT 1"));
    TCursor cursorWhileShown = crDefault;
    QString text;
    answerNextModal([&](QWidget* w) {
      cursorWhileShown = Screen().Cursor();
      text = modalText(w);
      qobject_cast<QDialog*>(w)->accept();
    });
    fmMain->pgBottom->setCurrentWidget(fmMain->tbTable);
    run(QStringLiteral("SELEC broken"));
    QVERIFY(allModalsAnswered());
    QCOMPARE(cursorWhileShown, crSQLWait);
    QVERIFY2(text.contains(QStringLiteral("syntax error")), qPrintable(text));
    QCOMPARE(fmMain->pgBottom->currentWidget(), fmMain->ResultSheet);
    QCOMPARE(panel(2), QStringLiteral("Rows affected: 0"));
    QCOMPARE(Screen().Cursor(), crDefault);
    QVERIFY(!QGuiApplication::overrideCursor());
  }

  void parameterMarkerGoesToTheTopLevelHandler()
  {
    run(QStringLiteral("UPDATE t SET name = 'x' WHERE id = 1"));
    fmMain->pgBottom->setCurrentWidget(fmMain->tbTable);
    QString text, title;
    captureAndClose(&text, &title);
    run(QStringLiteral("SELECT * FROM t WHERE name = :name"));
    QCOMPARE(title, QStringLiteral("Kestrel"));
    QCOMPARE(text, QStringLiteral("No value for parameter 'name'"));
    QCOMPARE(panel(2), QStringLiteral("Rows affected: 1"));  // left as it was
    QCOMPARE(fmMain->pgBottom->currentWidget(), fmMain->tbTable);
    QCOMPARE(Screen().Cursor(), crDefault);
    run(QStringLiteral("SELECT name FROM t WHERE id = 1"));  // the earlier statement did run
    QCOMPARE(fmMain->DBGrid1->CellText(0, 0), QStringLiteral("x"));
  }

  void notConnectedDoesNothing()
  {
    answerNextModal([](QWidget*) { fmLogin->edUser->clear(); fmLogin->btOK->click(); });
    QString ignored;
    captureAndClose(&ignored);
    doubleClick(child(root(), QStringLiteral("Gone")));  // refused: Execute stays enabled
    QVERIFY(fmMain->btExecute->isEnabled());
    fmMain->pgBottom->setCurrentWidget(fmMain->tbTable);
    run(QStringLiteral("SELECT 1"));
    QCOMPARE(fmMain->pgBottom->currentWidget(), fmMain->tbTable);
    QCOMPARE(panel(2), QString());
  }

  void refusedWhileExporting()
  {
    fmMain->FExporting = true;
    run(QStringLiteral("DELETE FROM t"));
    fmMain->FExporting = false;
    QCOMPARE(panel(2), QString());
    run(QStringLiteral("SELECT count(*) FROM t"));
    QCOMPARE(fmMain->DBGrid1->CellText(0, 0), QStringLiteral("4"));
  }
};

QTEST_MAIN(TestQueryExecution)
#include "tst_queryexecution.moc"
