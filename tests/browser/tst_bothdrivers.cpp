// What a user does with an alias works the same on SQLite and on a PostgreSQL server: every test runs
// once per driver over the same tables, through the program's own windows.
#include "AppFixture.h"
#include "BackendProgram.h"

#include "dbcontrols/DBGrid.h"
#include "dbcontrols/DBNavigator.h"

#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTableWidget>
#include <QToolButton>

using namespace app_fixture;
using namespace test_backends;

namespace {

// Written once, valid on both.
const char* const schema =
    "CREATE TABLE nums(id INTEGER PRIMARY KEY, qty INT NOT NULL DEFAULT 0, note TEXT);"
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000)"
    " INSERT INTO nums SELECT i, i * 2, 'note ' || i FROM n;"
    "CREATE TABLE lines(a INTEGER NOT NULL, b VARCHAR(20) NOT NULL, price DECIMAL(10,2), made DATE, note TEXT,"
    " PRIMARY KEY (b, a));"
    "INSERT INTO lines VALUES (1, 'x', 9.5, '2024-02-29', 'first'), (2, 'x', 12.25, NULL, NULL);"
    "CREATE TABLE \"Order Items\"(id INTEGER PRIMARY KEY, item VARCHAR(30));"
    "INSERT INTO \"Order Items\" VALUES (1, 'bolt');"
    "CREATE VIEW cheap AS SELECT * FROM lines WHERE price < 10;";

}  // namespace

class TestBothDrivers : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;
  std::unique_ptr<Backend> backend;

  TTreeNode* alias() { return child(root(), QStringLiteral("Both")); }
  TTreeNode* table(const QString& name) { return child(alias(), backend->listed(name)); }
  TDBGrid* grid() { return fmMain->DBGrid2; }
  TDataSet& ds() { return fmMain->qrTable; }
  QLineEdit* editor() { return grid()->viewport()->findChild<QLineEdit*>(); }

  void connect() { connectThroughTheTree(*backend, QStringLiteral("Both")); }

  static QStringList fieldRows()
  {
    QStringList result;
    QTableWidget* lv = fmMain->lvFields;
    for (int r = 0; r < lv->rowCount(); ++r) {
      QStringList cells;
      for (int c = 0; c < lv->columnCount(); ++c)
        cells << lv->item(r, c)->text();
      result << cells.join(QLatin1Char('|'));
    }
    return result;
  }

private slots:
  void initTestCase_data() { addDriverRows(); }

  void init()
  {
    folder = std::make_unique<TestFolder>();
    if (onPostgres())
      PG_REQUIRE_SERVER();
    backend = startProgramOn(*folder, QString::fromLatin1(schema), QStringLiteral("Both"));
  }
  void cleanup() { stopProgramOn(backend, folder); }

  // The right password, however odd its characters, connects and lists the tables (a wrong one:
  // tst_postgres_catalog).
  void connectsWithItsPassword()
  {
    connect();
    QCOMPARE(panel(0), QStringLiteral("Connected: Both"));
    QStringList tables = childTexts(alias()), expected{"cheap", "lines", "nums", backend->listed(QStringLiteral("Order Items"))};
    tables.sort(Qt::CaseInsensitive);
    expected.sort(Qt::CaseInsensitive);
    QCOMPARE(tables, expected);
  }

  void structureOfATableWithACompositeKey()
  {
    connect();
    doubleClick(table(QStringLiteral("lines")));
    // SQLite keeps every integer in 64 bits; PostgreSQL's integer is 32 bits wide.
    QCOMPARE(fieldRows(), QStringList({QStringLiteral("a|%1-bit integer|0 |0 |Yes|Yes").arg(onPostgres() ? 32 : 64),
                                       "b|String|20 |0 |Yes|Yes", "price|BCD|10 |2 |No|No", "made|Date|0 |0 |No|No",
                                       "note|Text memo|0 |0 |No|No"}));
    // DECIMAL(10,2) keeps its scale on PostgreSQL; SQLite stores the number.
    QVERIFY2(QRegularExpression(QStringLiteral("^9\\.50?$")).match(grid()->CellText(0, 2)).hasMatch(),
             qPrintable(grid()->CellText(0, 2)));
    // A name with a blank and capitals.
    doubleClick(table(QStringLiteral("Order Items")));
    QCOMPARE(grid()->CellText(0, 1), QStringLiteral("bolt"));
    QCOMPARE(fmMain->lbTableName->text(), QStringLiteral("Table: ") + backend->listed(QStringLiteral("Order Items")));
  }

  void browsesALargeTable()
  {
    connect();
    doubleClick(table(QStringLiteral("nums")));
    grid()->setFocus();
    QCOMPARE(grid()->CellText(0, 2), QStringLiteral("note 1"));
    QTRY_COMPARE(grid()->verticalScrollBar()->maximum(), 19999);  // once counted
    QTest::keyClick(grid(), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(ds().RecNo(), 20000);
    QCOMPARE(grid()->CellText(19999, 0), QStringLiteral("20000"));
    grid()->verticalScrollBar()->setValue(10000);
    QCOMPARE(ds().RecNo(), 10001);
    QCOMPARE(ds().FieldByName(QStringLiteral("qty"))->AsString(), QStringLiteral("20002"));
    QTest::keyClick(grid(), Qt::Key_PageDown);
    QCOMPARE(ds().FieldByName(QStringLiteral("id"))->AsString(), QString::number(10001 + grid()->VisibleRows()));
    QTest::keyClick(grid(), Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(ds().RecNo(), 1);
    QCOMPARE(ds().RecordCount(), 20000);
  }

  // Typing and moving on, inserting and deleting through the grid and navigator, as written to the
  // database. A post refused because another session changed the row is in tst_pendingedits.
  void editsThroughTheGrid()
  {
    connect();
    doubleClick(table(QStringLiteral("nums")));
    grid()->setFocus();
    QTest::keyClick(grid(), Qt::Key_Down);
    QTest::keyClick(grid(), Qt::Key_Right);  // qty of id 2
    QTest::keyClicks(grid(), QStringLiteral("77"));
    QCOMPARE(ds().State(), dsEdit);
    QTest::keyClick(editor(), Qt::Key_Down);  // commits the cell, moves, posts
    QCOMPARE(ds().State(), dsBrowse);
    QCOMPARE(backend->scalar(QStringLiteral("SELECT qty FROM nums WHERE id = 2")), QStringLiteral("77"));

    TDBNavigator* nav = fmMain->DBNavigator1;
    nav->Buttons(TDBNavigator::nbInsert)->click();
    ds().FieldByName(QStringLiteral("id"))->SetAsString(QStringLiteral("30000"));
    ds().FieldByName(QStringLiteral("note"))->SetAsString(QStringLiteral("added"));
    nav->Buttons(TDBNavigator::nbPost)->click();
    // qty was left alone: its default.
    QCOMPARE(backend->scalar(QStringLiteral("SELECT note || qty FROM nums WHERE id = 30000")), QStringLiteral("added0"));
    QCOMPARE(ds().RecNo(), 20001);

    answerNextModal([](QWidget* w) { qobject_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click(); });
    nav->Buttons(TDBNavigator::nbDelete)->click();
    QCOMPARE(backend->scalar(QStringLiteral("SELECT count(*) FROM nums WHERE id = 30000")), QStringLiteral("0"));
    QCOMPARE(ds().RecordCount(), 20000);
  }
};

QTEST_MAIN(TestBothDrivers)
#include "tst_bothdrivers.moc"
