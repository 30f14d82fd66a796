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

  void showsNameTypeSizePrecisionRequiredAndKey()
  {
    doubleClick(table(QStringLiteral("people")));
    QCOMPARE(rows(), QStringList({"id|Auto-inc 32-bit integer|0 |0 |No|Yes",
                                  "name|String|20 |0 |Yes|No",
                                  "salary|BCD|15 |2 |No|No",
                                  "born|Date|0 |0 |No|No"}));
    QCOMPARE(fmMain->pgTop->currentWidget(), fmMain->FieldSheet);
    QVERIFY(table(QStringLiteral("people"))->isExpanded());
    QCOMPARE(table(QStringLiteral("people"))->Item(1)->ImageIndex(), 4);
    // The rows opened on the Table Data page too.
    QCOMPARE(fmMain->lbTableName->text(), QStringLiteral("Table: people"));
    QCOMPARE(fmMain->pgBottom->currentWidget(), fmMain->tbTable);
    QVERIFY(fmMain->qrTable.Active());
  }

  void compositeKeyAndNoKey()
  {
    doubleClick(table(QStringLiteral("lines")));
    QCOMPARE(rows(), QStringList({"orderNo|64-bit integer|0 |0 |Yes|Yes",
                                  "lineNo|16-bit integer|0 |0 |Yes|Yes",
                                  "qty|64-bit integer|0 |0 |No|No"}));
    doubleClick(table(QStringLiteral("loose")));
    // c declares no type: it holds any storage class (ftVariant, which the list names "Unknown").
    QCOMPARE(rows(), QStringList({"a|Text memo|0 |0 |No|No", "b|BLOB|0 |0 |No|No", "c|Unknown|0 |0 |No|No"}));
  }

  void readingTwiceGivesTheSameRows()
  {
    doubleClick(table(QStringLiteral("lines")));
    doubleClick(table(QStringLiteral("lines")));
    QCOMPARE(table(QStringLiteral("lines"))->Count(), 3);
    QCOMPARE(rows().size(), 3);
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

  void typeNames_data()
  {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    const char* const expected[] = {
      "Unknown", "String", "16-bit integer", "32-bit integer", "16-bit unsigned integer", "Boolean", "Float",
      "Currency", "BCD", "Date", "Time", "DateTime", "Fixed bytes (binary)", "Variable bytes (binary)",
      "Auto-inc 32-bit integer", "BLOB", "Text memo", "Bitmap", "Formatted text memo", "Paradox OLE", "dBASE OLE",
      "Typed binary", "Unknown", "Char", "Wide string", "64-bit integer", "Unknown", "Unknown", "Unknown", "Unknown",
      "Unknown", "Unknown", "Unknown", "Unknown", "Unknown", "GUID"};
    for (int t = 0; t <= ftLastFieldType; ++t)
      QTest::newRow(qPrintable(fieldTypeIdentifier(TFieldType(t)))) << t << QString::fromLatin1(expected[t]);
    QTest::newRow("below range") << -1 << "Unknown";
    QTest::newRow("above range") << 36 << "Unknown";
    QTest::newRow("byte max") << 255 << "Unknown";
  }
  void typeNames()
  {
    QFETCH(int, type);
    QFETCH(QString, name);
    QCOMPARE(TfmMain::FieldTypeName(type), name);
  }
};

QTEST_MAIN(TestStructureView)
#include "tst_structureview.moc"
