// The grid's columns as a user sees them on either database: wide enough for every value of a
// fixed-form type, fitted to their values on a double-click at a title's edge; and the status bar
// saying where the current record stands and how the last statement went.
#include "AppFixture.h"
#include "BackendProgram.h"

#include "dbcontrols/DBGrid.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTabWidget>
#include <QToolButton>

using namespace app_fixture;
using namespace test_backends;

namespace {

constexpr int cellMargins = 6;  // the grid keeps 3 pixels between a text and either border

// The widest values of the fixed-form types; a GUID only where the database has one.
QString wideSchema(bool postgres)
{
  return QStringLiteral(
             "CREATE TABLE wide(id INTEGER PRIMARY KEY, d DATE, t TIME(3), ts TIMESTAMP(3), big BIGINT, i INTEGER,"
             " small SMALLINT, flag BOOLEAN, g %1, note TEXT);"
             "INSERT INTO wide VALUES (1, '2888-12-28', '23:58:58.888', '2888-12-28 23:58:58.888', -9223372036854775808,"
             " -2147483648, -32768, %2, %3, 'n');"
             "INSERT INTO wide(id, note) VALUES (2, 'a rather longer note than the title');"
             "CREATE TABLE big(id INTEGER PRIMARY KEY, v VARCHAR(20));"
             "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000)"
             " INSERT INTO big SELECT i, 'v' || i FROM n;")
      .arg(postgres ? QStringLiteral("UUID") : QStringLiteral("VARCHAR(40)"),
           postgres ? QStringLiteral("false") : QStringLiteral("0"),
           postgres ? QStringLiteral("'d8d8d8d8-d8d8-d8d8-d8d8-d8d8d8d8d8d8'")
                    : QStringLiteral("'{D8D8D8D8-D8D8-D8D8-D8D8-D8D8D8D8D8D8}'"));
}

}  // namespace

class TestGridColumns : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;
  std::unique_ptr<Backend> backend;

  TDBGrid* grid() { return fmMain->DBGrid2; }
  QString recordPanel() { return fmMain->StatusBar1->PanelText(MainStatus::Record); }
  bool fits(int column, const QString& text) { return grid()->fontMetrics().horizontalAdvance(text) <= grid()->ColumnWidth(column) - cellMargins; }

private slots:
  void initTestCase_data() { addDriverRows(); }

  void init()
  {
    folder = std::make_unique<TestFolder>();
    if (onPostgres())
      PG_REQUIRE_SERVER();
    backend = startProgramOn(*folder, wideSchema(onPostgres()), QStringLiteral("W"));
    connectThroughTheTree(*backend, QStringLiteral("W"));
    fmMain->OpenTable(backend->listed(QStringLiteral("wide")));
    QVERIFY(fmMain->qrTable.Active());
  }
  void cleanup() { stopProgramOn(backend, folder); }

  // Dates, times, timestamps, 64-bit integers and GUIDs are never cut short, in the font's digits,
  // whatever the values; nor is a title.
  void fixedFormValuesAreNeverCut()
  {
    for (int c = 0; c < grid()->ColumnCount(); ++c) {
      const QString title = fmMain->qrTable.Fields(c)->DisplayLabel;
      const QString text = grid()->CellText(0, c);
      if (title == QLatin1String("note") || (title == QLatin1String("g") && !onPostgres()))
        continue;  // texts of any length are cut (a memo is shown whole in the memo viewer)
      QVERIFY2(fits(c, text), qPrintable(QStringLiteral("%1: \"%2\" in %3 pixels").arg(title, text).arg(grid()->ColumnWidth(c))));
      QVERIFY2(!text.isEmpty(), qPrintable(title));
    }
  }

  // A double-click on the right edge of a title fits the column to its title and the values in
  // view, wider or narrower.
  void doubleClickOnATitleEdgeFitsTheColumn_data()
  {
    QTest::addColumn<int>("widthBefore");
    QTest::newRow("too narrow") << 20;
    QTest::newRow("too wide") << 900;
  }
  void doubleClickOnATitleEdgeFitsTheColumn()
  {
    QFETCH(int, widthBefore);
    const int note = grid()->ColumnCount() - 1;
    grid()->SetColumnWidth(note, widthBefore);
    grid()->horizontalScrollBar()->setValue(grid()->horizontalScrollBar()->maximum());
    // The edge in the viewport: past the record indicator and the columns, less what is scrolled.
    int right = 12 - grid()->horizontalScrollBar()->value();
    for (int c = 0; c <= note; ++c)
      right += grid()->ColumnWidth(c);
    QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, QPoint(right, 5));
    const QString longest = QStringLiteral("a rather longer note than the title");
    QVERIFY2(fits(note, longest), qPrintable(QString::number(grid()->ColumnWidth(note))));
    QVERIFY2(!fits(note, longest + QStringLiteral("xx")), qPrintable(QString::number(grid()->ColumnWidth(note))));
  }

  // The status bar follows the grid of the page on show: "Record n of N" once counted; after a
  // statement it tells how many rows came and how long it took, or that it failed.
  void statusBarSaysWhereTheRecordIsAndHowTheStatementWent()
  {
    grid()->setFocus();
    QTRY_COMPARE(recordPanel(), QStringLiteral("Record 1 of 2"));
    QTest::keyClick(grid(), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(recordPanel(), QStringLiteral("Record 2 of 2"));

    fmMain->Memo1->setPlainText(QStringLiteral("SELECT id FROM wide WHERE id > 0 ORDER BY id"));
    QTest::mouseClick(fmMain->btExecute, Qt::LeftButton);
    QCOMPARE(fmMain->pgBottom->currentWidget(), fmMain->ResultSheet);
    QTRY_COMPARE(recordPanel(), QStringLiteral("Record 1 of 2"));
    const QString outcome = fmMain->StatusBar1->PanelText(MainStatus::Outcome);
    QVERIFY2(QRegularExpression(QStringLiteral("^(2 rows|Done) in \\d+(\\.\\d\\d s| ms)$")).match(outcome).hasMatch(), qPrintable(outcome));
    QTest::keyClick(fmMain->DBGrid1, Qt::Key_Down);
    QCOMPARE(recordPanel(), QStringLiteral("Record 2 of 2"));
    fmMain->pgBottom->setCurrentWidget(fmMain->tbTable);
    QCOMPARE(recordPanel(), QString());  // running a statement closed the table
    fmMain->pgBottom->setCurrentWidget(fmMain->ResultSheet);
    QCOMPARE(recordPanel(), QStringLiteral("Record 2 of 2"));

    fmMain->Memo1->setPlainText(QStringLiteral("SELECT nothing FROM nowhere"));
    answerNextModal([](QWidget* w) { w->close(); });
    QTest::mouseClick(fmMain->btExecute, Qt::LeftButton);
    QVERIFY2(fmMain->StatusBar1->PanelText(MainStatus::Outcome).startsWith(QLatin1String("Failed after ")),
             qPrintable(fmMain->StatusBar1->PanelText(MainStatus::Outcome)));
    QCOMPARE(recordPanel(), QString());  // no result to stand in
  }

  // Rows reach the screen before anything counts them: at the grid's first paint with rows the
  // count is not known yet; it comes after, and the scroll bar and the record panel follow it.
  void rowsArePaintedBeforeTheCount_data()
  {
    QTest::addColumn<bool>("result");
    QTest::newRow("table") << false;
    QTest::newRow("result of a statement") << true;
  }
  void rowsArePaintedBeforeTheCount()
  {
    QFETCH(bool, result);
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
    if (result) {
      fmMain->Memo1->setPlainText(QStringLiteral("SELECT * FROM big"));
      QTest::mouseClick(fmMain->btExecute, Qt::LeftButton);
    } else {
      fmMain->OpenTable(backend->listed(QStringLiteral("big")));
    }
    QTRY_VERIFY(watch.countKnown != -2);
    QCOMPARE(watch.countKnown, -1);
    QTRY_COMPARE(ds.KnownRecordCount(), 5000);
    QTRY_COMPARE(g->verticalScrollBar()->maximum(), 4999);
    QCOMPARE(recordPanel(), QStringLiteral("Record 1 of 5000"));
  }
};

QTEST_MAIN(TestGridColumns)
#include "tst_gridcolumns.moc"
