// The demo database that the run command starts on: it opens, every table reads, and together its
// columns show every field type the SQLite driver produces.
#include "AppFixture.h"

#include "dataaccess/Database.h"
#include "dataaccess/FieldTypes.h"
#include "dataaccess/Query.h"

#include <QFileInfo>

#include <sqlite3.h>

using namespace app_fixture;

class TestDemoDatabase : public QObject {
  Q_OBJECT

private slots:
  void everyTableReadsAndEveryTypeShows()
  {
    const QString demo = QString::fromLocal8Bit(qgetenv("KESTREL_DEMO_DB"));
    QVERIFY2(QFileInfo::exists(demo), "the build makes the demo database");
    TestFolder folder;
    startProgram(folder, "[Demo]\nDriver=SQLite\nDatabase=" + demo.toUtf8() + "\n");
    loginWith(QString(), QString());
    doubleClick(child(root(), QStringLiteral("Demo")));
    QVERIFY(fmMain->Database.Connected());
    TTreeNode* alias = child(root(), QStringLiteral("Demo"));
    QVERIFY(alias->Count() >= 6);

    QSet<int> types;
    bool compositeKey = false, withoutKey = false;
    for (int i = 0; i < alias->Count(); ++i) {
      TTreeNode* table = alias->Item(i);
      fmMain->LoadTableFields(table);
      int keyFields = 0;
      for (int f = 0; f < table->Count(); ++f) {
        auto* field = static_cast<FDObject*>(table->Item(f)->Data);
        types.insert(field->DataType);
        keyFields += field->PrimaryKey;
      }
      QVERIFY2(table->Count() > 0, qPrintable(table->Text()));
      compositeKey |= keyFields >= 2;
      withoutKey |= keyFields == 0;
    }
    QVERIFY(compositeKey);
    QVERIFY(withoutKey);
    // SQLite keeps every integer in 64 bits, so no column is a 32-bit ftInteger; audit_log.payload
    // declares no type and holds every storage class (ftVariant).
    for (TFieldType t : {ftAutoInc, ftSmallint, ftLargeint, ftBoolean, ftFixedChar, ftString, ftMemo, ftBCD,
                         ftFloat, ftCurrency, ftDate, ftTime, ftDateTime, ftBlob, ftVariant})
      QVERIFY2(types.contains(t), qPrintable(fieldTypeIdentifier(t)));
    stopProgram();
  }

  // The view's computed columns declare nothing, and the customers who never ordered come first with
  // NULLs in them: the values further down the first block give the types.
  void customerTotalsTypedByTheirValues()
  {
    const QString demo = QString::fromLocal8Bit(qgetenv("KESTREL_DEMO_DB"));
    QVERIFY2(QFileInfo::exists(demo), "the build makes the demo database");
    TestFolder folder;
    folder.useAliases("[Demo]\nDriver=SQLite\nDatabase=" + demo.toUtf8() + "\n");
    TDatabase db;
    db.SetDatabaseName(QStringLiteral("DemoDB"));
    db.SetAliasName(QStringLiteral("Demo"));
    db.Open();
    TQuery q;
    q.SetDatabaseName(QStringLiteral("DemoDB"));
    q.SQL << QStringLiteral("SELECT * FROM CustomerTotals ORDER BY OrderCount, CustomerID");
    q.Open();
    QStringList types;
    for (int i = 0; i < q.FieldCount(); ++i)
      types << q.Fields(i)->FieldName() + QLatin1Char('=') + fieldTypeIdentifier(q.Fields(i)->DataType());
    QCOMPARE(types.join(QLatin1Char(' ')), QStringLiteral("CustomerID=ftLargeint Name=ftString Country=ftFixedChar "
                                                          "OrderCount=ftLargeint Revenue=ftFloat FirstOrder=ftMemo LastOrder=ftMemo"));
    // The first row has no orders: a type taken from it alone would say nothing.
    QVERIFY(q.FieldByName(QStringLiteral("Revenue"))->IsNull());
    QCOMPARE(q.FieldByName(QStringLiteral("OrderCount"))->Value().asInteger(), 0);
    q.Last();
    const TValue revenue = q.FieldByName(QStringLiteral("Revenue"))->Value();
    QCOMPARE(revenue.kind(), TValue::Float);
    sqlite3* raw = nullptr;
    QCOMPARE(sqlite3_open_v2(demo.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(raw, "SELECT Revenue FROM CustomerTotals ORDER BY OrderCount DESC, CustomerID DESC LIMIT 1", -1, &st, nullptr);
    const bool stepped = st && sqlite3_step(st) == SQLITE_ROW;
    const double stored = stepped ? sqlite3_column_double(st, 0) : 0;
    sqlite3_finalize(st);
    sqlite3_close(raw);
    QVERIFY(stepped);
    QCOMPARE(revenue.asFloat(), stored);
  }
};

QTEST_MAIN(TestDemoDatabase)
#include "tst_demodatabase.moc"
