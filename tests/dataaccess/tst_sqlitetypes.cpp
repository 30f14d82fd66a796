#include "DataAccessHelpers.h"
#include "TestSupport.h"

#include "dataaccess/Driver.h"
#include "dataaccess/sqlite/SqliteTypeMapping.h"

#include <QtTest>

namespace {

// A thousand numbered rows, for statements that read past the first block.
const QString thousand = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000) ");
// Numbered rows without end: a source that read them all, or counted them, would never open.
const QString endless = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) ");

QString show(const TRow& row)
{
  QStringList cells;
  for (const TValue& v : row)
    cells << show(v);
  return cells.join(QLatin1Char('|'));
}

QStringList show(const std::vector<TRow>& rows)
{
  QStringList lines;
  for (const TRow& r : rows)
    lines << show(r);
  return lines;
}

// A database made from the SQL, open under the name TypesDB.
struct OpenDatabase {
  TestFolder folder;
  std::unique_ptr<TDatabase> db;
  explicit OpenDatabase(const QString& setup)
  {
    folder.createDatabase(QStringLiteral("t.db"), setup);
    folder.useAliases("[T]\nDriver=SQLite\nDatabase=t.db\n");
    db = openDatabase(QStringLiteral("TypesDB"), QStringLiteral("T"));
  }
};

}  // namespace

class TestSqliteTypes : public QObject {
  Q_OBJECT

private slots:
  // Sizes and precisions read from odd spacing; the date, time and boolean names SQLite has no
  // affinity for; the affinity rules' order where a name holds words of several ("INT" wins, and
  // STRING, having no CHAR in it, is numeric); no declared type holds any class, so no binary column.
  void declaredTypes()
  {
    QStringList got;
    for (const char* declared : {"NCHAR( 55 )", "CHAR", "NUMERIC(10, 5)", "DECIMAL(7)", "bool", "timestamp", "", "   ",
                                 "POINT INTERVAL", "FLOATING POINT", "BLOBINT", "STRING", "VARCHAR2(30)", "DOUBLE FLOAT"}) {
      const TSqliteFieldType t = sqliteFieldType(QLatin1String(declared));
      got << QStringLiteral("%1: %2 %3,%4").arg(QLatin1String(declared), fieldTypeIdentifier(t.DataType)).arg(t.Size).arg(t.Precision);
    }
    QCOMPARE(got, QStringList({"NCHAR( 55 ): ftFixedChar 55,0", "CHAR: ftMemo 0,0", "NUMERIC(10, 5): ftBCD 5,10", "DECIMAL(7): ftBCD 0,7",
                               "bool: ftBoolean 0,0", "timestamp: ftDateTime 0,0", ": ftVariant 0,0", "   : ftVariant 0,0",
                               "POINT INTERVAL: ftLargeint 0,0", "FLOATING POINT: ftLargeint 0,0", "BLOBINT: ftLargeint 0,0",
                               "STRING: ftBCD 0,0", "VARCHAR2(30): ftString 30,0", "DOUBLE FLOAT: ftFloat 0,0"}));
  }

  // Which INTEGER PRIMARY KEY is the row id, read from real tables; integers beyond 32 bits, in the
  // row id and in columns declared INT, come back exactly, in a 64-bit field.
  void rowIdAliasAndKeys_data()
  {
    QTest::addColumn<QString>("create");
    QTest::addColumn<QString>("types");  // field types of the columns, in order
    QTest::addColumn<QString>("keys");   // membership of the open index, 1 or 0
    QTest::addColumn<QString>("last");   // the values of the last record
    QTest::newRow("rowid alias") << "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT)" << "ftAutoInc ftMemo" << "1 0" << "";
    QTest::newRow("INT is not the row id") << "CREATE TABLE t(id INT PRIMARY KEY)" << "ftLargeint" << "1" << "";
    QTest::newRow("without rowid") << "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT) WITHOUT ROWID" << "ftLargeint ftMemo" << "1 0" << "";
    QTest::newRow("composite key") << "CREATE TABLE t(a INTEGER, b VARCHAR(5), c REAL, PRIMARY KEY(b, a))"
                                   << "ftLargeint ftString ftFloat" << "1 1 0" << "";
    // Columns without a declared type hold whatever comes; only a BLOB declaration makes bytes.
    QTest::newRow("untyped columns") << "CREATE TABLE t(a, b BLOB, c); INSERT INTO t VALUES (1, x'00', 'x')"
                                     << "ftVariant ftBlob ftVariant" << "0 0 0" << "i:1|b:00|t:x";
    // The row id is auto-incremented while every value it holds fits in 32 bits.
    QTest::newRow("row id at 2^31-1, by table constraint") << "CREATE TABLE t(v TEXT, id INTEGER, PRIMARY KEY(id));"
                                                              "INSERT INTO t VALUES ('a', 2147483647)"
                                                           << "ftMemo ftAutoInc" << "0 1" << "t:a|i:2147483647";
    QTest::newRow("row id at the 64-bit end") << "CREATE TABLE t(id INTEGER PRIMARY KEY); INSERT INTO t VALUES (1), (9223372036854775807)"
                                              << "ftLargeint" << "1" << "i:9223372036854775807";
    QTest::newRow("MEDIUMINT at the 64-bit end") << "CREATE TABLE t(n MEDIUMINT); INSERT INTO t VALUES (-9223372036854775808)"
                                                 << "ftLargeint" << "0" << "i:-9223372036854775808";
  }
  void rowIdAliasAndKeys()
  {
    QFETCH(QString, create);
    QFETCH(QString, types);
    QFETCH(QString, keys);
    QFETCH(QString, last);
    OpenDatabase db(create);
    auto table = openTable(QStringLiteral("TypesDB"), QStringLiteral("t"));
    table->Last();
    QStringList gotTypes, gotKeys, gotValues;
    for (int i = 0; i < table->FieldCount(); ++i) {
      gotTypes << fieldTypeIdentifier(table->FieldDefs()[i].DataType);
      gotKeys << (table->Fields(i)->IsIndexField() ? QStringLiteral("1") : QStringLiteral("0"));
      if (!table->IsEmpty())
        gotValues << show(table->Fields(i)->Value());
    }
    QCOMPARE(gotTypes.join(QLatin1Char(' ')), types);
    QCOMPARE(gotKeys.join(QLatin1Char(' ')), keys);
    QCOMPARE(gotValues.join(QLatin1Char('|')), last);
  }

  // Result columns that declare no type are typed by the storage classes of the values in the first
  // block of rows; statements that change data, by all the rows they returned.
  void resultColumnTypes_data()
  {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("types");
    QTest::newRow("integers and floats") << "VALUES (1), (2.5), (3)" << "ftFloat";
    QTest::newRow("integer and blob") << "SELECT 1 UNION ALL SELECT x'00ff'" << "ftVariant";
    QTest::newRow("no rows") << "SELECT 1, 'a' WHERE 0" << "ftVariant ftVariant";
    QTest::newRow("NULL first, then numbers") << "VALUES (NULL, NULL), (7, 0.5), (8, 2)" << "ftLargeint ftFloat";
    // Classes each column shows anywhere in the first 512 rows, and only there.
    QTest::newRow("text after the first block") << thousand + "SELECT CASE WHEN i < 513 THEN i ELSE 'x' || i END FROM n" << "ftLargeint";
    QTest::newRow("NULL first block, then numbers") << thousand + "SELECT i, CASE WHEN i > 512 THEN i * 1.5 END FROM n"
                                                    << "ftLargeint ftVariant";
    // A declared type wins over the values.
    QTest::newRow("declared column") << "SELECT id, s, u, s + 1 FROM t" << "ftLargeint ftMemo ftLargeint ftLargeint";
    QTest::newRow("not wrappable") << "PRAGMA table_info(t)" << "ftLargeint ftMemo ftMemo ftLargeint ftVariant ftLargeint";
    // Statements that change data return their rows once; every row kept types the columns.
    QTest::newRow("insert returning") << "INSERT INTO r(a, b) VALUES (NULL, 'x'), (7, 'y') RETURNING id, a, b, a * 1.5, coalesce(a, b)"
                                      << "ftLargeint ftLargeint ftMemo ftFloat ftVariant";
    QTest::newRow("insert returning a value after 512 rows")
        << thousand + "INSERT INTO p SELECT i, CASE WHEN i = 1000 THEN 0.5 END FROM n RETURNING a, b, b * 2"
        << "ftLargeint ftFloat ftFloat";
  }
  void resultColumnTypes()
  {
    QFETCH(QString, sql);
    QFETCH(QString, types);
    OpenDatabase db(QStringLiteral("CREATE TABLE t(id INTEGER PRIMARY KEY, s TEXT, u); INSERT INTO t VALUES (1, 42, 43);"
                                   "CREATE TABLE r(id INTEGER PRIMARY KEY, a, b TEXT); CREATE TABLE p(a INTEGER, b)"));
    auto q = openQuery(QStringLiteral("TypesDB"), sql);
    QStringList got;
    for (int i = 0; i < q->FieldCount(); ++i)
      got << fieldTypeIdentifier(q->Fields(i)->DataType());
    QCOMPARE(got.join(QLatin1Char(' ')), types);
  }

  // After the rows read when the statement opened, every row comes back once and in order, whether
  // the statement can be entered anywhere as a subquery or only walked from its start. Results about
  // as long as the rows read ahead end exactly where they end: reading past the last row, also
  // before anything else, gives nothing, and never a second run of the statement.
  void rowsAfterReadingAhead_data()
  {
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("sql");
    for (int n : {0, 1, 511, 512, 513, 1000}) {
      const QString select = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                                            "SELECT i, CASE WHEN i % 7 THEN 'r' || i END, i / 8.0 FROM n WHERE i <= %1").arg(n);
      QTest::addRow("%d rows", n) << n << select;
      // An unclosed comment swallows the parenthesis that would close the subquery.
      QTest::addRow("%d rows, not wrappable", n) << n << select + QStringLiteral(" /* to the end");
    }
  }
  void rowsAfterReadingAhead()
  {
    QFETCH(int, count);
    QFETCH(QString, sql);
    QStringList expected;
    for (int i = 1; i <= count; ++i)
      expected << show(TRow{TValue::integer(i), i % 7 ? TValue::text("r" + QByteArray::number(i)) : TValue(), TValue::real(i / 8.0)});
    OpenDatabase db(QStringLiteral("CREATE TABLE unused(x)"));
    TExecResult result = db.db->Connection().execute(sql);
    QVERIFY(result.Rows);
    TRowSource& rows = *result.Rows;
    const int n = int(expected.size()), last = std::max(0, n - 1);
    std::vector<TRow> out;
    const auto read = [&](int64_t offset, int many) {
      rows.readAt(offset, many, out);
      return show(out);
    };
    if (count < 1000)
      QCOMPARE(read(n, 5), QStringList());
    QCOMPARE(read(0, 1), expected.mid(0, 1));
    QCOMPARE(read(599, 3), expected.mid(599, 3));
    QCOMPARE(read(last, 1), expected.mid(last, 1));
    // Across the end of the rows read ahead, with storage left from a wider read.
    read(0, 40);
    QCOMPARE(read(505, 15), expected.mid(505, 15));
    QCOMPARE(read(520, 100), expected.mid(520, 100));
    QCOMPARE(read(0, 1000), expected.mid(0, 1000));
    QCOMPARE(read(std::max(0, last - 1), 10), expected.mid(std::max(0, last - 1)));
    QCOMPARE(read(n + 3, 10), QStringList());
    QCOMPARE(rows.count(), int64_t(n));
    QCOMPARE(read(0, 2), expected.mid(0, 2));
  }

  // Opening reads one block, never the whole result nor its count; the rows read then are served
  // again without running the statement again, so values that differ per run stay as first shown.
  void firstBlockIsKept_data()
  {
    QTest::addColumn<QString>("sql");
    QTest::newRow("wrappable") << endless + "SELECT i, random() FROM n";
    QTest::newRow("not wrappable") << endless + "SELECT i, random() FROM n /* to the end";
  }
  void firstBlockIsKept()
  {
    QFETCH(QString, sql);
    OpenDatabase db(QStringLiteral("CREATE TABLE unused(x)"));
    TExecResult result = db.db->Connection().execute(sql);
    QVERIFY(result.Rows);
    TRowSource& rows = *result.Rows;
    std::vector<TRow> first, out;
    rows.readAt(0, 2, first);
    QCOMPARE(first.size() == 2 ? first[0][0].asInteger() : 0, 1);
    for (int64_t at : {int64_t(600), int64_t(30000), int64_t(511), int64_t(512)}) {
      rows.readAt(at, 1, out);
      QCOMPARE(out.size(), size_t(1));
      QCOMPARE(out[0][0].asInteger(), at + 1);
    }
    rows.readAt(0, 2, out);
    QCOMPARE(show(out), show(first));
  }
};

QTEST_GUILESS_MAIN(TestSqliteTypes)
#include "tst_sqlitetypes.moc"
