// Statements and the grids on either database: what a statement shows, what an error shows and
// when, where the caret goes when the database places the fault, and that nothing runs during an
// export; columns wide enough for every value of a fixed-form type, rows shown before they are
// counted, and the status bar saying where the current record stands and how the last statement
// went. The keys for Execute, running a selection and running without a connection are in tst_mainwindow.
#include "AppFixture.h"
#include "BackendProgram.h"

#include "dbcontrols/DBGrid.h"
#include "platform/ScreenCursor.h"

#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTabWidget>
#include <QToolButton>

using namespace app_fixture;
using namespace test_backends;

namespace {

constexpr int cellMargins = 6;  // the grid keeps 3 pixels between a text and either border

// The widest values of the fixed-form types; a GUID only where the database has one. MariaDB's
// TIMESTAMP ends in 2038: its widest date-time is a DATETIME.
QString wideSchema()
{
  const bool postgres = onPostgres(), odbc = onOdbc();
  const QString numbers = odbc ? QStringLiteral("INSERT INTO big SELECT seq, CONCAT('v', seq) FROM seq_1_to_5000;")
                               : QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000)"
                                                " INSERT INTO big SELECT i, 'v' || i FROM n;");
  return QStringLiteral(
             "CREATE TABLE wide(id INTEGER PRIMARY KEY, d DATE, t TIME(3), ts %4(3), big BIGINT, i INTEGER,"
             " small SMALLINT, flag BOOLEAN, g %1, note TEXT);"
             "INSERT INTO wide VALUES (1, '2888-12-28', '23:58:58.888', '2888-12-28 23:58:58.888', -9223372036854775808,"
             " -2147483648, -32768, %2, %3, 'n');"
             "CREATE TABLE big(id INTEGER PRIMARY KEY, v VARCHAR(20));")
             .arg(postgres ? QStringLiteral("UUID") : QStringLiteral("VARCHAR(40)"),
                  postgres ? QStringLiteral("false") : QStringLiteral("0"),
                  postgres ? QStringLiteral("'d8d8d8d8-d8d8-d8d8-d8d8-d8d8d8d8d8d8'") : QStringLiteral("NULL"),
                  odbc ? QStringLiteral("DATETIME") : QStringLiteral("TIMESTAMP")) +
         numbers;
}

}  // namespace

class TestQueryExecution : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;
  std::unique_ptr<Backend> backend;

  TDBGrid* grid() { return fmMain->DBGrid2; }
  QString recordPanel() { return fmMain->StatusBar1->PanelText(MainStatus::Record); }
  bool fits(int column, const QString& text) { return grid()->fontMetrics().horizontalAdvance(text) <= grid()->ColumnWidth(column) - cellMargins; }

  void run(const QString& sql)
  {
    fmMain->Memo1->setPlainText(sql);
    QTest::mouseClick(fmMain->btExecute, Qt::LeftButton);
  }

private slots:
  void initTestCase_data() { addDriverRows(); }

  void init()
  {
    folder = std::make_unique<TestFolder>();
    if (onPostgres())
      PG_REQUIRE_SERVER();
    if (onOdbc())
      MARIA_REQUIRE_SERVER();
    backend = startProgramOn(*folder, QStringLiteral("CREATE TABLE t(id INTEGER PRIMARY KEY, name VARCHAR(20));"
                                                     "INSERT INTO t VALUES (1, 'a'), (2, 'b'), (3, 'c'), (4, 'd');")
                                           + wideSchema(),
                             QStringLiteral("Q"));
    connectThroughTheTree(*backend, QStringLiteral("Q"));
  }
  void cleanup() { stopProgramOn(backend, folder); }

  // A query shows its rows on the results page, and the status bar where the current record stands
  // ("Record n of N" once counted) and how many rows came in how long; a statement without rows
  // empties the results and says how many rows it changed. Running closes the open table, opening a
  // table empties the results, and nothing runs while an export does.
  void statementsShowTheirOutcome()
  {
    TTreeNode* table = child(child(root(), QStringLiteral("Q")), backend->listed(QStringLiteral("t")));
    doubleClick(table);
    grid()->setFocus();
    QTest::keyClick(grid(), Qt::Key_End, Qt::ControlModifier);
    QTRY_COMPARE(recordPanel(), QStringLiteral("Record 4 of 4"));
    run(QStringLiteral("SELECT id, name\nFROM t\nWHERE id > 1 ORDER BY id"));
    QCOMPARE(fmMain->pgBottom->currentWidget(), fmMain->ResultSheet);
    QTRY_COMPARE(recordPanel(), QStringLiteral("Record 1 of 3"));
    const QString outcome = fmMain->StatusBar1->PanelText(MainStatus::Outcome);
    QVERIFY2(QRegularExpression(QStringLiteral("^(3 rows|Done) in \\d+(\\.\\d\\d s| ms)$")).match(outcome).hasMatch(), qPrintable(outcome));
    QCOMPARE(panel(2), QStringLiteral("Rows affected: 0"));
    QCOMPARE(fmMain->DBGrid1->ColumnCount(), 2);
    QCOMPARE(fmMain->DBGrid1->CellText(2, 0), QStringLiteral("4"));
    fmMain->pgBottom->setCurrentWidget(fmMain->tbTable);
    QCOMPARE(recordPanel(), QString());
    QCOMPARE(grid()->ColumnCount(), 0);
    fmMain->pgBottom->setCurrentWidget(fmMain->ResultSheet);
    QCOMPARE(recordPanel(), QStringLiteral("Record 1 of 3"));
    run(QStringLiteral("UPDATE t SET name = upper(name) WHERE id <= 3"));
    QVERIFY(!fmMain->qrSelect.Active());
    QCOMPARE(fmMain->DBGrid1->ColumnCount(), 0);
    QCOMPARE(panel(2), QStringLiteral("Rows affected: 3"));
    run(QStringLiteral("SELECT * FROM t"));
    doubleClick(table);
    QCOMPARE(fmMain->DBGrid1->ColumnCount(), 0);
    fmMain->FExporting = true;
    run(QStringLiteral("DELETE FROM t"));
    fmMain->FExporting = false;
    QCOMPARE(backend->scalar(QStringLiteral("SELECT count(*) FROM t")), QStringLiteral("4"));
    QCOMPARE(panel(2), QStringLiteral("Rows affected: 0"));  // as the last query left it
  }

  // The database's error is shown while the wait cursor is still up; afterwards the cursor is back
  // and the status bar says the statement failed and no rows were changed, with no record to stand
  // in. A parameter marker is refused before anything runs, in the program's own message box, and
  // leaves the page and the count as they were.
  void errorsAreShown()
  {
    run(QStringLiteral("SELECT 1"));
    TCursor cursorWhileShown = crDefault;
    QString text, title;
    answerNextModal([&](QWidget* w) {
      cursorWhileShown = Screen().Cursor();
      text = modalText(w);
      qobject_cast<QDialog*>(w)->accept();
    });
    fmMain->pgBottom->setCurrentWidget(fmMain->tbTable);
    run(QStringLiteral("SELEC broken"));
    QCOMPARE(cursorWhileShown, crSQLWait);
    QVERIFY2(text.contains(onOdbc() ? QStringLiteral("error in your SQL syntax") : QStringLiteral("syntax error")), qPrintable(text));
    QCOMPARE(fmMain->pgBottom->currentWidget(), fmMain->ResultSheet);
    QCOMPARE(panel(2), QStringLiteral("Rows affected: 0"));
    QVERIFY2(fmMain->StatusBar1->PanelText(MainStatus::Outcome).startsWith(QLatin1String("Failed after ")),
             qPrintable(fmMain->StatusBar1->PanelText(MainStatus::Outcome)));
    QCOMPARE(recordPanel(), QString());
    QCOMPARE(Screen().Cursor(), crDefault);
    QVERIFY(!QGuiApplication::overrideCursor());
    run(QStringLiteral("UPDATE t SET name = 'x' WHERE id = 1"));
    fmMain->pgBottom->setCurrentWidget(fmMain->tbTable);
    captureAndClose(&text, &title);
    run(QStringLiteral("SELECT * FROM t WHERE name = :name"));
    QCOMPARE(title, QStringLiteral("Kestrel"));
    QCOMPARE(text, QStringLiteral("No value for parameter 'name'"));
    QCOMPARE(panel(2), QStringLiteral("Rows affected: 1"));
    QCOMPARE(fmMain->pgBottom->currentWidget(), fmMain->tbTable);
  }

  // The caret starts at 4; a fault the database does not place (fault empty) leaves it there and
  // the message names no place.
  void caretGoesWhereTheFaultIs_data()
  {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("selected");  // the text selected and run alone; empty: the whole text
    QTest::addColumn<QString>("fault");     // the word the database stumbles on
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::newRow("a misspelt word") << "SELECT * FRM t" << "" << "FRM" << 1 << 10;
    QTest::newRow("unknown column after characters of 2, 3 and 4 bytes")
        << "SELECT 'ü€😀' AS x, nosuch FROM t" << "" << "nosuch" << 1 << 21;
    QTest::newRow("third line") << "SELECT id,\n  name,\n  nosuch\nFROM t" << "" << "nosuch" << 3 << 3;
    QTest::newRow("last statement of a script") << "INSERT INTO t VALUES (5, 'é');\n-- then\nSELECT nosuch FROM t"
                                                << "" << "nosuch" << 3 << 8;
    QTest::newRow("statement before the last") << "SELECT 1;\n\n  UPDATE t SET name = nosuch;\nSELECT 2" << "" << "nosuch" << 3 << 23;
    QTest::newRow("a selection") << "SELECT 1;\nSELECT 'ü', nosuch FROM t; -- run alone\n"
                                 << "SELECT 'ü', nosuch FROM t" << "nosuch" << 2 << 13;
    QTest::newRow("a duplicate key, not placed") << "INSERT INTO t VALUES (1, 'again')" << "" << "" << 0 << 0;
  }
  void caretGoesWhereTheFaultIs()
  {
    QFETCH(QString, text);
    QFETCH(QString, selected);
    QFETCH(QString, fault);
    QFETCH(int, line);
    QFETCH(int, column);
    if (onOdbc() && !fault.isEmpty())
      QSKIP("an ODBC data source says where a fault is in words of its own, and takes one statement at a time");
    QPlainTextEdit* editor = fmMain->Memo1;
    editor->setPlainText(text);
    const int start = selected.isEmpty() ? 4 : int(text.indexOf(selected));
    QTextCursor selection(editor->document());
    selection.setPosition(start);
    selection.setPosition(start + int(selected.size()), QTextCursor::KeepAnchor);
    editor->setTextCursor(selection);
    QString said;
    captureAndClose(&said);
    QTest::mouseClick(fmMain->btExecute, Qt::LeftButton);
    if (fault.isEmpty()) {
      QVERIFY2(!said.isEmpty() && !said.contains(QStringLiteral("At line")), qPrintable(said));
      QCOMPARE(editor->textCursor().position(), 4);
      return;
    }
    QVERIFY2(said.contains(QStringLiteral("At line %1, column %2.").arg(line).arg(column)), qPrintable(said));
    QCOMPARE(editor->textCursor().position(), int(text.lastIndexOf(fault)));
    QCOMPARE(fmMain->StatusBar1->PanelText(MainStatus::Caret), QString::asprintf("Line: %3d  Col: %3d", line, column));
  }

  // Dates, times, timestamps, 64-bit integers and GUIDs are never cut short, in the font's digits,
  // whatever the values.
  void fixedFormValuesAreNeverCut()
  {
    fmMain->OpenTable(backend->listed(QStringLiteral("wide")));
    for (int c = 0; c < grid()->ColumnCount(); ++c) {
      const QString title = fmMain->qrTable.Fields(c)->DisplayLabel;
      const QString text = grid()->CellText(0, c);
      if (title == QLatin1String("note") || (title == QLatin1String("g") && !onPostgres()))
        continue;  // texts of any length are cut (a memo is shown whole in the memo viewer)
      QVERIFY2(fits(c, text), qPrintable(QStringLiteral("%1: \"%2\" in %3 pixels").arg(title, text).arg(grid()->ColumnWidth(c))));
      QVERIFY2(!text.isEmpty(), qPrintable(title));
    }
  }

  // Rows reach the screen before anything counts them: at the grid's first paint with rows the
  // count is not known yet; it comes after, and the scroll bar and the record panel follow it.
  void rowsArePaintedBeforeTheCount()
  {
    for (bool result : {false, true}) {
      TDBGrid* g = result ? fmMain->DBGrid1 : fmMain->DBGrid2;
      TDataSet& ds = result ? static_cast<TDataSet&>(fmMain->qrSelect) : static_cast<TDataSet&>(fmMain->qrTable);
      struct FirstPaint : QObject {
        TDBGrid* grid;
        TDataSet* data;
        int64_t countKnown = -2;  // what the dataset knew of its count when rows were first painted
        bool eventFilter(QObject*, QEvent* e) override
        {
          if (e->type() == QEvent::Paint && countKnown == -2 && data->Active() && !grid->CellText(0, 0).isEmpty())
            countKnown = data->KnownRecordCount();
          return false;
        }
      } watch;
      watch.grid = g;
      watch.data = &ds;
      g->viewport()->installEventFilter(&watch);
      fmMain->Memo1->setPlainText(QStringLiteral("SELECT * FROM big"));
      if (result)
        QTest::mouseClick(fmMain->btExecute, Qt::LeftButton);
      else
        fmMain->OpenTable(backend->listed(QStringLiteral("big")));
      QTRY_VERIFY(watch.countKnown != -2);
      QCOMPARE(watch.countKnown, -1);
      QTRY_COMPARE(ds.KnownRecordCount(), 5000);
      QTRY_COMPARE(g->verticalScrollBar()->maximum(), 4999);
      QCOMPARE(recordPanel(), QStringLiteral("Record 1 of 5000"));
    }
  }
};

QTEST_MAIN(TestQueryExecution)
#include "tst_queryexecution.moc"
