#include "AppFixture.h"

#include "dataaccess/FieldTypes.h"

#include <QLabel>
#include <QTabWidget>
#include <QTableWidget>

using namespace app_fixture;

class TestStructureView : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;

  static QStringList rows()
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

  TTreeNode* table(const QString& name) { return child(child(root(), QStringLiteral("S")), name); }

private slots:
  void initTestCase()
  {
    folder = std::make_unique<TestFolder>();
    folder->createDatabase(QStringLiteral("s.db"), QStringLiteral(
        "CREATE TABLE people(id INTEGER PRIMARY KEY, name VARCHAR(20) NOT NULL, salary DECIMAL(15,2), born DATE);"
        "CREATE TABLE lines(orderNo INT NOT NULL, lineNo SMALLINT NOT NULL, qty BIGINT, PRIMARY KEY(orderNo, lineNo));"
        "CREATE TABLE loose(a TEXT, b BLOB, c);"
        "CREATE TABLE base(a INT); CREATE VIEW broken AS SELECT a FROM base; DROP TABLE base;"));
    startProgram(*folder, "[S]\nDriver=SQLite\nDatabase=s.db\n");
    loginWith(QStringLiteral("u"), QString());
    doubleClick(child(root(), QStringLiteral("S")));
    QVERIFY(fmMain->Database.Connected());
  }
  void cleanupTestCase()
  {
    stopProgram();
    folder.reset();
  }
  void cleanup() { QVERIFY(allModalsAnswered()); }

  // Name, type, size, precision, required and key of each field; a decimal's digits in Size and
  // those after the point in Precision (a composite key: tst_bothdrivers). Reading a table twice
  // gives its rows once.
  void showsTheStructureAndOpensTheRows_data()
  {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("key and decimal") << "people" << QStringList{"id|Auto-inc 32-bit integer|0 |0 |No|Yes",
        "name|String|20 |0 |Yes|No", "salary|BCD|15 |2 |No|No", "born|Date|0 |0 |No|No"};
    // c declares no type: it holds any storage class (ftVariant, which the list names "Unknown").
    QTest::newRow("no key") << "loose" << QStringList{"a|Text memo|0 |0 |No|No", "b|BLOB|0 |0 |No|No",
        "c|Unknown|0 |0 |No|No"};
  }
  void showsTheStructureAndOpensTheRows()
  {
    QFETCH(QString, name);
    QFETCH(QStringList, expected);
    fmMain->pgTop->setCurrentWidget(fmMain->EditSheet);
    doubleClick(table(name));
    doubleClick(table(name));
    QCOMPARE(rows(), expected);
    QCOMPARE(table(name)->Count(), expected.size());
    QCOMPARE(fmMain->pgTop->currentWidget(), fmMain->FieldSheet);
    QVERIFY(table(name)->isExpanded());
    // The rows opened on the Table Data page too.
    QCOMPARE(fmMain->lbTableName->text(), QStringLiteral("Table: ") + name);
    QCOMPARE(fmMain->pgBottom->currentWidget(), fmMain->tbTable);
    QVERIFY(fmMain->qrTable.Active());
  }

  // Clicks refill the list from the tree alone: they work with the database closed.
  void clicksUseTheTreeNotTheDatabase()
  {
    doubleClick(table(QStringLiteral("people")));
    doubleClick(table(QStringLiteral("lines")));
    fmMain->Database.Close();
    click(table(QStringLiteral("people")));
    QCOMPARE(rows().size(), 4);
    click(table(QStringLiteral("lines"))->Item(2));  // a field node shows its table's list
    QCOMPARE(rows().first(), QStringLiteral("orderNo|64-bit integer|0 |0 |Yes|Yes"));
    QCOMPARE(rows().size(), 3);
    fmMain->Database.Open();
  }

  void aTableThatCannotBeReadGoesToTheTopLevelHandler()
  {
    doubleClick(table(QStringLiteral("people")));
    fmMain->pgBottom->setCurrentWidget(fmMain->ResultSheet);
    fmMain->qrTable.Close();
    fmMain->lbTableName->clear();
    QString text, title;
    captureAndClose(&text, &title);
    // Enter on the selected node double-clicks it without the click that a mouse double-click starts with.
    fmMain->TreeView1->SetSelected(table(QStringLiteral("broken")));
    QTest::keyClick(fmMain->TreeView1, Qt::Key_Return);
    QVERIFY(allModalsAnswered());
    QCOMPARE(title, QStringLiteral("Kestrel"));  // the plain message box, not the database error dialog
    QVERIFY2(text.contains(QStringLiteral("broken")), qPrintable(text));
    QCOMPARE(table(QStringLiteral("broken"))->Count(), 0);
    QCOMPARE(rows().size(), 4);  // the list keeps what it showed
    QVERIFY(!fmMain->qrTable.Active());  // its rows were not opened
    QCOMPARE(fmMain->pgBottom->currentWidget(), fmMain->ResultSheet);
    QVERIFY(fmMain->lbTableName->text().isEmpty());
  }

  // Names of the types no table above or in the demo database shows: PostgreSQL's uuid, and values
  // outside the enumeration.
  void typeNames_data()
  {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::newRow("ftGuid") << int(ftGuid) << "GUID";
    QTest::newRow("below range") << -1 << "Unknown";
    QTest::newRow("above range") << ftLastFieldType + 1 << "Unknown";
  }
  void typeNames()
  {
    QFETCH(int, type);
    QTEST(TfmMain::FieldTypeName(type), "name");
  }
};

QTEST_MAIN(TestStructureView)
#include "tst_structureview.moc"
