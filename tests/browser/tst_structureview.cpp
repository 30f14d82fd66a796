// The schema tree and the structure list: what each level shows, in what order, and what clicks
// and double-clicks do with it.
#include "AppFixture.h"

#include "dataaccess/FieldTypes.h"

#include <QLabel>
#include <QTableWidget>

using namespace app_fixture;

namespace {
// A data object that says when it is freed, to check the tree's ownership.
int liveCounters = 0;
struct CountedObject : TObject {
  CountedObject() { ++liveCounters; }
  ~CountedObject() override { --liveCounters; }
};
}  // namespace

class TestStructureView : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;

  static TTreeNode* alias(const char* name = "S") { return child(root(), QLatin1String(name)); }
  static TTreeNode* table(const QString& name) { return child(alias(), name); }

  // The structure list, one "name|type|size|precision|required|key" text a row.
  static QStringList structureRows()
  {
    QStringList rows;
    for (int r = 0; r < fmMain->lvFields->rowCount(); ++r) {
      QStringList cells;
      for (int c = 0; c < fmMain->lvFields->columnCount(); ++c)
        cells << fmMain->lvFields->item(r, c)->text();
      rows << cells.join(QLatin1Char('|'));
    }
    return rows;
  }

private slots:
  void initTestCase()
  {
    folder = std::make_unique<TestFolder>();
    folder->createDatabase(QStringLiteral("s.db"), QStringLiteral(
        "CREATE TABLE people(id INTEGER PRIMARY KEY, name VARCHAR(20) NOT NULL, salary DECIMAL(15,2), born DATE);"
        "CREATE TABLE lines(orderNo INT NOT NULL, lineNo SMALLINT NOT NULL, qty BIGINT, PRIMARY KEY(orderNo, lineNo));"
        "CREATE TABLE loose(a TEXT, b BLOB, c); CREATE TABLE Alpha(x INT); CREATE TABLE \"éclair\"(x INT);"
        "CREATE TABLE eagle(x INT); CREATE TABLE Zulu(x INT);"
        "CREATE TABLE base(a INT); CREATE VIEW broken AS SELECT a FROM base; DROP TABLE base;"));
    const QByteArray demo = qgetenv("KESTREL_DEMO_DB");  // the database the run command starts on
    startProgram(*folder, "[gamma]\nDriver=SQLite\nDatabase=s.db\n[S]\nDriver=SQLite\nDatabase=s.db\n"
                          "[Demo]\nDriver=SQLite\nDatabase=" + demo + "\n");
    loginWith(QStringLiteral("u"), QString());
    doubleClick(alias());
    QVERIFY(fmMain->Database.Connected());
  }
  void cleanupTestCase()
  {
    stopProgram();
    folder.reset();
  }
  void cleanup() { QVERIFY(allModalsAnswered()); }

  // Aliases and tables stand in alphabetical order without regard to case or accents (a
  // case-sensitive order would put S first), fields in table order; both fields of a composite key
  // are keys.
  void ordersEachLevel()
  {
    QCOMPARE(childTexts(root()), QStringList({"Demo", "gamma", "S"}));
    QCOMPARE(childTexts(alias()), QStringList({"Alpha", "broken", "eagle", "éclair", "lines", "loose", "people", "Zulu"}));
    doubleClick(table(QStringLiteral("lines")));
    QCOMPARE(childTexts(table(QStringLiteral("lines"))), QStringList({"orderNo", "lineNo", "qty"}));
    // A click on a field node shows its table's list from the tree alone, with the database closed.
    fmMain->Database.Close();
    fmMain->lvFields->setRowCount(0);
    click(table(QStringLiteral("lines"))->Item(2));
    const QString shown = structureRows().value(0);
    fmMain->Database.Open();
    QCOMPARE(shown, QStringLiteral("orderNo|64-bit integer|0 |0 |Yes|Yes"));
  }

  // Name, type, size, precision, required and key of each field; a decimal's digits in Size and
  // those after the point in Precision (a composite key: lines, below). Reading a table twice
  // gives its rows once.
  void showsTheStructureAndOpensTheRows_data()
  {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("key and decimal") << "people" << QStringList{"id|Auto-inc 32-bit integer|0 |0 |No|Yes",
        "name|String|20 |0 |Yes|No", "salary|BCD|15 |2 |No|No", "born|Date|0 |0 |No|No"};
    // c declares no type: it holds any storage class.
    QTest::newRow("no key") << "loose" << QStringList{"a|Text memo|0 |0 |No|No", "b|BLOB|0 |0 |No|No",
        "c|Unknown|0 |0 |No|No"};
  }
  void showsTheStructureAndOpensTheRows()
  {
    QFETCH(QString, name);
    QFETCH(QStringList, expected);
    doubleClick(table(name));
    doubleClick(table(name));
    QCOMPARE(structureRows(), expected);
    QCOMPARE(table(name)->Count(), expected.size());
    QVERIFY(table(name)->isExpanded());
    // The rows opened on the Table Data page too.
    QCOMPARE(fmMain->lbTableName->text(), QStringLiteral("Table: ") + name);
    QVERIFY(fmMain->qrTable.Active());
  }

  void aTableThatCannotBeReadGoesToTheTopLevelHandler()
  {
    doubleClick(table(QStringLiteral("people")));
    fmMain->qrTable.Close();
    QString text, title;
    captureAndClose(&text, &title);
    // Enter on the selected node double-clicks it without the click that a mouse double-click starts with.
    fmMain->TreeView1->SetSelected(table(QStringLiteral("broken")));
    QTest::keyClick(fmMain->TreeView1, Qt::Key_Return);
    QVERIFY(allModalsAnswered());
    QCOMPARE(title, QStringLiteral("Kestrel"));  // the plain message box, not the database error dialog
    QVERIFY2(text.contains(QStringLiteral("broken")), qPrintable(text));
    QCOMPARE(table(QStringLiteral("broken"))->Count(), 0);
    QCOMPARE(structureRows().size(), 4);  // the list keeps what it showed
    QVERIFY(!fmMain->qrTable.Active());  // its rows were not opened
  }

  void doubleClickDuringAnExportDoesNothing()
  {
    fmMemoView->show();
    fmMain->FExporting = true;
    answerNextModal({});  // closes a login dialog, should one wrongly appear
    doubleClick(alias("gamma"));
    fmMain->FExporting = false;
    QVERIFY(!allModalsAnswered());
    QVERIFY(fmMemoView->isVisible());
    QCOMPARE(fmMain->Database.AliasName(), QStringLiteral("S"));
    fmMemoView->hide();
  }

  // A type number outside the enumeration, as a damaged catalogue could give, is named, not looked up.
  void typesOutsideTheEnumerationAreUnknown()
  {
    QCOMPARE(TfmMain::FieldTypeName(-1), QStringLiteral("Unknown"));
    QCOMPARE(TfmMain::FieldTypeName(ftLastFieldType + 1), QStringLiteral("Unknown"));
  }

  // Every table of the demo database reads, and together its columns show every field type the
  // SQLite driver produces: SQLite keeps every integer in 64 bits, so none is a 32-bit ftInteger.
  void theDemoDatabaseShowsEveryType()
  {
    loginWith(QString(), QString());
    TTreeNode* demo = alias("Demo");
    doubleClick(demo);
    QVERIFY(fmMain->Database.Connected());
    QSet<QString> types;
    for (int t = 0; t < demo->Count(); ++t) {
      fmMain->LoadTableFields(demo->Item(t));
      QVERIFY2(demo->Item(t)->Count() > 0, qPrintable(demo->Item(t)->Text()));
      for (int f = 0; f < demo->Item(t)->Count(); ++f)
        types << fieldTypeIdentifier(TFieldType(static_cast<FDObject*>(demo->Item(t)->Item(f)->Data)->DataType));
    }
    QStringList missing;
    for (const char* type : {"ftAutoInc", "ftSmallint", "ftLargeint", "ftBoolean", "ftFixedChar", "ftString", "ftMemo",
                             "ftBCD", "ftFloat", "ftCurrency", "ftDate", "ftTime", "ftDateTime", "ftBlob", "ftVariant"})
      if (!types.contains(QLatin1String(type)))
        missing << QLatin1String(type);
    QCOMPARE(missing, QStringList());
  }

  // Nodes own their objects: a new attempt at the alias frees those below it, the window what is left.
  void deletedNodesFreeTheirObjectsOnce()
  {
    TTreeNode* demo = alias("Demo");  // connected, its fields read
    fmMain->TreeView1->AddChildObject(demo, QStringLiteral("extra"), new CountedObject);
    fmMain->TreeView1->AddChildObject(demo->Item(0)->Item(0), QStringLiteral("deeper"), new CountedObject);
    QCOMPARE(liveCounters, 2);
    answerNextModal([](QWidget*) { fmLogin->reject(); });
    doubleClick(demo);
    QCOMPARE(liveCounters, 0);
    QCOMPARE(demo->Count(), 0);
    fmMain->TreeView1->AddChildObject(root(), QStringLiteral("last"), new CountedObject);
    stopProgram();
    QCOMPARE(liveCounters, 0);
  }
};

QTEST_MAIN(TestStructureView)
#include "tst_structureview.moc"
