#include "TestSupport.h"

#include "dataaccess/Database.h"
#include "dataaccess/Session.h"
#include "dataaccess/Table.h"
#include "dataaccess/sqlite/SqliteTypeMapping.h"

#include <QtTest>

Q_DECLARE_METATYPE(TFieldType)

class TestSqliteTypes : public QObject {
  Q_OBJECT

private slots:
  void declaredTypes_data()
  {
    QTest::addColumn<QString>("declared");
    QTest::addColumn<TFieldType>("type");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("precision");
    auto row = [](const char* declared, TFieldType t, int size = 0, int precision = 0) {
      QTest::newRow(declared) << QString::fromLatin1(declared) << t << size << precision;
    };
    row("SMALLINT", ftSmallint); row("int2", ftSmallint); row("TinyInt", ftSmallint);
    row("INT", ftInteger); row("INTEGER", ftInteger); row("MEDIUMINT", ftInteger); row("INT4", ftInteger);
    row("BIGINT", ftLargeint); row("INT8", ftLargeint); row("UNSIGNED  BIG   INT", ftLargeint);
    row("BOOLEAN", ftBoolean); row("bool", ftBoolean);
    row("CHAR(10)", ftFixedChar, 10); row("CHARACTER(3)", ftFixedChar, 3); row("NCHAR( 55 )", ftFixedChar, 55);
    row("VARCHAR(20)", ftString, 20); row("NVARCHAR(100)", ftString, 100); row("VARYING CHARACTER(255)", ftString, 255);
    row("NATIVE CHARACTER(70)", ftString, 70);
    row("TEXT", ftMemo); row("CLOB", ftMemo); row("VARCHAR", ftMemo); row("CHAR", ftMemo); row("NVARCHAR", ftMemo);
    row("DECIMAL(15,2)", ftBCD, 2, 15); row("NUMERIC(10, 5)", ftBCD, 5, 10); row("DECIMAL(7)", ftBCD, 0, 7);
    row("REAL", ftFloat); row("DOUBLE", ftFloat); row("DOUBLE PRECISION", ftFloat); row("FLOAT", ftFloat);
    row("MONEY", ftCurrency); row("CURRENCY", ftCurrency);
    row("DATE", ftDate); row("TIME", ftTime); row("DATETIME", ftDateTime); row("timestamp", ftDateTime);
    row("BLOB", ftBlob); row("", ftBlob);
    // Anything else, by SQLite's affinity rules in their order.
    row("UNSIGNED INTEGER", ftInteger); row("POINT INTERVAL", ftInteger);  // "INT" wins over everything
    row("STRING", ftBCD);                                                  // no CHAR in it: numeric affinity
    row("LONG TEXT", ftMemo); row("VARCHAR2(30)", ftString, 30);
    row("BINARY BLOB", ftBlob); row("FLOATING POINT", ftInteger); row("DOUBLE FLOAT", ftFloat);
    row("NUMBER", ftBCD); row("DECIMAL", ftBCD);
  }
  void declaredTypes()
  {
    QFETCH(QString, declared);
    QFETCH(TFieldType, type);
    QFETCH(int, size);
    QFETCH(int, precision);
    const TSqliteFieldType t = sqliteFieldType(declared);
    QCOMPARE(fieldTypeIdentifier(t.DataType), fieldTypeIdentifier(type));
    QCOMPARE(t.Size, size);
    QCOMPARE(t.Precision, precision);
  }

  // Which INTEGER PRIMARY KEY is the row id, read from real tables.
  void rowIdAliasAndKeys_data()
  {
    QTest::addColumn<QString>("create");
    QTest::addColumn<QString>("types");  // field types of the columns, in order
    QTest::addColumn<QString>("keys");   // "Yes"/"No" membership of the open index
    QTest::newRow("rowid alias") << "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT)" << "ftAutoInc ftMemo" << "1 0";
    QTest::newRow("alias declared lower case") << "CREATE TABLE t(id integer primary key)" << "ftAutoInc" << "1";
    QTest::newRow("INT is not the row id") << "CREATE TABLE t(id INT PRIMARY KEY)" << "ftInteger" << "1";
    QTest::newRow("DESC is not the row id") << "CREATE TABLE t(id INTEGER PRIMARY KEY DESC)" << "ftInteger" << "1";
    QTest::newRow("without rowid") << "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT) WITHOUT ROWID" << "ftInteger ftMemo" << "1 0";
    QTest::newRow("table constraint") << "CREATE TABLE t(v TEXT, id INTEGER, PRIMARY KEY(id))" << "ftMemo ftAutoInc" << "0 1";
    QTest::newRow("composite key") << "CREATE TABLE t(a INTEGER, b VARCHAR(5), c REAL, PRIMARY KEY(b, a))"
                                   << "ftInteger ftString ftFloat" << "1 1 0";
    QTest::newRow("no key") << "CREATE TABLE t(a INTEGER, b TEXT)" << "ftInteger ftMemo" << "0 0";
    QTest::newRow("view") << "CREATE TABLE base(id INTEGER PRIMARY KEY, n BIGINT); CREATE VIEW t AS SELECT id, n FROM base"
                          << "ftInteger ftLargeint" << "0 0";
  }
  void rowIdAliasAndKeys()
  {
    QFETCH(QString, create);
    QFETCH(QString, types);
    QFETCH(QString, keys);
    TestFolder folder;
    folder.createDatabase(QStringLiteral("t.db"), create);
    folder.useAliases("[T]\nDriver=SQLite\nDatabase=t.db\n");
    TDatabase db;
    db.SetDatabaseName(QStringLiteral("TypesDB"));
    db.SetAliasName(QStringLiteral("T"));
    db.Open();
    TTable table;
    table.SetDatabaseName(QStringLiteral("TypesDB"));
    table.SetTableName(QStringLiteral("t"));
    table.Open();
    QStringList gotTypes, gotKeys;
    for (int i = 0; i < table.FieldCount(); ++i) {
      gotTypes << fieldTypeIdentifier(table.FieldDefs()[i].DataType);
      gotKeys << (table.Fields(i)->IsIndexField() ? QStringLiteral("1") : QStringLiteral("0"));
    }
    QCOMPARE(gotTypes.join(QLatin1Char(' ')), types);
    QCOMPARE(gotKeys.join(QLatin1Char(' ')), keys);
  }
};

QTEST_GUILESS_MAIN(TestSqliteTypes)
#include "tst_sqlitetypes.moc"
