#include "TestSupport.h"

#include "dataaccess/Database.h"
#include "dataaccess/Driver.h"
#include "dataaccess/Query.h"
#include "dataaccess/Session.h"
#include "dataaccess/SqlText.h"
#include "dataaccess/Table.h"
#include "dataaccess/sqlite/SqliteTypeMapping.h"

#include <QtTest>

#include <sqlite3.h>

Q_DECLARE_METATYPE(TFieldType)

namespace {

// A thousand numbered rows, for statements that read past the first block.
const QString thousand = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000) ");
// Numbered rows without end: a source that read them all, or counted them, would never open.
const QString endless = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) ");

QString show(const TValue& v)
{
  switch (v.kind()) {
  case TValue::Integer: return QStringLiteral("i:%1").arg(v.asInteger());
  case TValue::Float: return QStringLiteral("f:%1").arg(v.asFloat(), 0, 'g', 17);
  case TValue::Text: return QStringLiteral("t:") + QString::fromUtf8(v.rawBytes());
  case TValue::Bytes: return QStringLiteral("b:") + QString::fromLatin1(v.rawBytes().toHex());
  default: return QStringLiteral("null");
  }
}

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

// Every row of the statement, read straight through SQLite's C interface in one run.
QStringList rowsBySqlite(const QString& file, const QString& sql)
{
  sqlite3* db = nullptr;
  sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* st = nullptr;
  QStringList lines;
  if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK) {
    while (sqlite3_step(st) == SQLITE_ROW) {
      TRow row;
      for (int i = 0; i < sqlite3_column_count(st); ++i) {
        switch (sqlite3_column_type(st, i)) {
        case SQLITE_INTEGER: row.push_back(TValue::integer(sqlite3_column_int64(st, i))); break;
        case SQLITE_FLOAT: row.push_back(TValue::real(sqlite3_column_double(st, i))); break;
        case SQLITE_TEXT:
          row.push_back(TValue::text(QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(st, i)), sqlite3_column_bytes(st, i))));
          break;
        case SQLITE_BLOB:
          row.push_back(TValue::bytes(QByteArray(static_cast<const char*>(sqlite3_column_blob(st, i)), sqlite3_column_bytes(st, i))));
          break;
        default: row.push_back(TValue());
        }
      }
      lines << show(row);
    }
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return lines;
}

// A database made from the SQL, open under the name TypesDB.
struct OpenDatabase {
  TestFolder folder;
  QString file;
  TDatabase db;
  explicit OpenDatabase(const QString& setup)
  {
    file = folder.createDatabase(QStringLiteral("t.db"), setup);
    folder.useAliases("[T]\nDriver=SQLite\nDatabase=t.db\n");
    db.SetDatabaseName(QStringLiteral("TypesDB"));
    db.SetAliasName(QStringLiteral("T"));
    db.Open();
  }
};

QStringList fieldTypes(TDataSet& data)
{
  QStringList types;
  for (int i = 0; i < data.FieldCount(); ++i)
    types << fieldTypeIdentifier(data.Fields(i)->DataType());
  return types;
}

}  // namespace

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
    // Sizes and precisions read from odd spacing; the date, time and boolean names SQLite has no
    // affinity for; and the affinity rules' order where a name holds words of several.
    row("NCHAR( 55 )", ftFixedChar, 55); row("CHAR", ftMemo); row("NUMERIC(10, 5)", ftBCD, 5, 10); row("DECIMAL(7)", ftBCD, 0, 7);
    row("bool", ftBoolean); row("timestamp", ftDateTime);
    row("", ftVariant); row("   ", ftVariant);  // no declared type: any storage class, so no binary column
    row("POINT INTERVAL", ftLargeint); row("FLOATING POINT", ftLargeint); row("BLOBINT", ftLargeint);  // "INT" wins
    row("STRING", ftBCD);  // no CHAR in it: numeric affinity
    row("VARCHAR2(30)", ftString, 30); row("DOUBLE FLOAT", ftFloat);
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
    QTest::newRow("INT is not the row id") << "CREATE TABLE t(id INT PRIMARY KEY)" << "ftLargeint" << "1";
    QTest::newRow("without rowid") << "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT) WITHOUT ROWID" << "ftLargeint ftMemo" << "1 0";
    QTest::newRow("table constraint") << "CREATE TABLE t(v TEXT, id INTEGER, PRIMARY KEY(id))" << "ftMemo ftAutoInc" << "0 1";
    QTest::newRow("composite key") << "CREATE TABLE t(a INTEGER, b VARCHAR(5), c REAL, PRIMARY KEY(b, a))"
                                   << "ftLargeint ftString ftFloat" << "1 1 0";
    // Columns without a declared type hold whatever comes; only a BLOB declaration makes bytes.
    QTest::newRow("untyped columns") << "CREATE TABLE t(a, b BLOB, c); INSERT INTO t VALUES (1, x'00', 'x')"
                                     << "ftVariant ftBlob ftVariant" << "0 0 0";
    // The row id is auto-incremented while every value it holds fits in 32 bits.
    QTest::newRow("row id at 2^31-1") << "CREATE TABLE t(id INTEGER PRIMARY KEY); INSERT INTO t VALUES (1), (2147483647)"
                                      << "ftAutoInc" << "1";
    QTest::newRow("row id above 2^31-1") << "CREATE TABLE t(id INTEGER PRIMARY KEY); INSERT INTO t VALUES (1), (2147483648)"
                                         << "ftLargeint" << "1";
    QTest::newRow("large row id by table constraint")
        << "CREATE TABLE t(v TEXT, id INTEGER, PRIMARY KEY(id)); INSERT INTO t VALUES ('a', 9000000000)" << "ftMemo ftLargeint" << "0 1";
  }
  void rowIdAliasAndKeys()
  {
    QFETCH(QString, create);
    QFETCH(QString, types);
    QFETCH(QString, keys);
    OpenDatabase db(create);
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

  // Integers beyond 32 bits in the row id and in columns declared INT: a 64-bit field that gives
  // the stored number back exactly, read as a table and as a query.
  void integersBeyond32Bits_data()
  {
    QTest::addColumn<QString>("create");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("column");
    QTest::addColumn<qint64>("value");
    const auto row = [](const char* name, const QString& create, const QString& table, const QString& column, qint64 value) {
      QTest::newRow(name) << create.arg(value) << table << column << value;
    };
    row("row id at the 64-bit end", QStringLiteral("CREATE TABLE t(id INTEGER PRIMARY KEY); INSERT INTO t VALUES (%1)"),
        QStringLiteral("t"), QStringLiteral("id"), std::numeric_limits<qint64>::max());
    // Names that need quoting, and a column named like the row id's own names.
    row("row id of a table named with quotes",
        QStringLiteral("CREATE TABLE \"my \"\"big\"\" ids\"(\"rowid\" INTEGER PRIMARY KEY, v); INSERT INTO \"my \"\"big\"\" ids\" VALUES (%1, 1)"),
        QStringLiteral("my \"big\" ids"), QStringLiteral("rowid"), 4294967296LL);
    row("MEDIUMINT at the 64-bit end", QStringLiteral("CREATE TABLE t(n MEDIUMINT); INSERT INTO t VALUES (%1)"),
        QStringLiteral("t"), QStringLiteral("n"), std::numeric_limits<qint64>::min());
  }
  void integersBeyond32Bits()
  {
    QFETCH(QString, create);
    QFETCH(QString, table);
    QFETCH(QString, column);
    QFETCH(qint64, value);
    OpenDatabase db(create);
    TTable t;
    t.SetDatabaseName(QStringLiteral("TypesDB"));
    t.SetTableName(table);
    t.Open();
    TField* field = t.FieldByName(column);
    QVERIFY(field);
    QCOMPARE(fieldTypeIdentifier(field->DataType()), QStringLiteral("ftLargeint"));
    QCOMPARE(field->Value().kind(), TValue::Integer);
    QCOMPARE(field->Value().asInteger(), value);
    QCOMPARE(field->AsString(), QString::number(value));
    TQuery q;
    q.SetDatabaseName(QStringLiteral("TypesDB"));
    q.SQL << QStringLiteral("SELECT %1 FROM %2").arg(SqlText::quoteIdentifier(column), SqlText::quoteIdentifier(table));
    q.Open();
    QCOMPARE(fieldTypeIdentifier(q.Fields(0)->DataType()), QStringLiteral("ftLargeint"));
    QCOMPARE(q.Fields(0)->Value().asInteger(), value);
  }

  // Result columns that declare no type are typed by the storage classes of the values in the first
  // block of rows; statements that change data, by all the rows they returned.
  void resultColumnTypes_data()
  {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("types");
    const QString none = QStringLiteral("CREATE TABLE unused(x)");
    QTest::newRow("integers and floats") << none << "VALUES (1), (2.5), (3)" << "ftFloat";
    QTest::newRow("integer and blob") << none << "SELECT 1 UNION ALL SELECT x'00ff'" << "ftVariant";
    QTest::newRow("no rows") << none << "SELECT 1, 'a' WHERE 0" << "ftVariant ftVariant";
    QTest::newRow("NULL first, then numbers") << none << "VALUES (NULL, NULL), (7, 0.5), (8, 2)" << "ftLargeint ftFloat";
    // Classes each column shows anywhere in the first 512 rows, and only there.
    QTest::newRow("text after the first block")
        << none << thousand + "SELECT CASE WHEN i < 513 THEN i ELSE 'x' || i END FROM n" << "ftLargeint";
    QTest::newRow("NULL first block, then numbers")
        << none << thousand + "SELECT i, CASE WHEN i > 512 THEN i * 1.5 END FROM n" << "ftLargeint ftVariant";
    // A declared type wins over the values.
    QTest::newRow("declared column")
        << "CREATE TABLE t(id INTEGER PRIMARY KEY, s TEXT, u); INSERT INTO t VALUES (1, 42, 43)"
        << "SELECT id, s, u, s + 1 FROM t" << "ftLargeint ftMemo ftLargeint ftLargeint";
    QTest::newRow("view computed columns")
        << "CREATE TABLE base(id INTEGER PRIMARY KEY, price REAL, name TEXT, n BIGINT);"
           "INSERT INTO base VALUES (1, NULL, 'a', NULL), (2, 2.5, 'b', 3);"
           "CREATE VIEW v AS SELECT id, price * 2 AS p2, upper(name) AS u, sum(n) OVER () AS total, n || name AS mix FROM base"
        << "SELECT * FROM v ORDER BY id" << "ftLargeint ftFloat ftMemo ftLargeint ftMemo";
    QTest::newRow("not wrappable")
        << "CREATE TABLE t(a INTEGER, b)" << "PRAGMA table_info(t)" << "ftLargeint ftMemo ftMemo ftLargeint ftVariant ftLargeint";
    // Statements that change data return their rows once; every row kept types the columns.
    QTest::newRow("insert returning")
        << "CREATE TABLE t(id INTEGER PRIMARY KEY, a, b TEXT)"
        << "INSERT INTO t(a, b) VALUES (NULL, 'x'), (7, 'y') RETURNING id, a, b, a * 1.5, coalesce(a, b)"
        << "ftLargeint ftLargeint ftMemo ftFloat ftVariant";
    QTest::newRow("insert returning a value after 512 rows")
        << "CREATE TABLE t(a INTEGER, b)"
        << thousand + "INSERT INTO t SELECT i, CASE WHEN i = 1000 THEN 0.5 END FROM n RETURNING a, b, b * 2" << "ftLargeint ftFloat ftFloat";
  }
  void resultColumnTypes()
  {
    QFETCH(QString, setup);
    QFETCH(QString, sql);
    QFETCH(QString, types);
    OpenDatabase db(setup);
    TQuery q;
    q.SetDatabaseName(QStringLiteral("TypesDB"));
    q.SQL << sql;
    q.Open();
    QCOMPARE(fieldTypes(q).join(QLatin1Char(' ')), types);
  }

  // After the rows read when the statement opened, every row comes back once and in order, whether
  // the statement can be entered anywhere as a subquery or only walked from its start. Results about
  // as long as the rows read ahead end exactly where they end: reading past the last row, also
  // before anything else, gives nothing, and never a second run of the statement.
  void rowsAfterReadingAhead_data()
  {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("pastTheEndFirst");
    QStringList wide;
    for (int i = 1; i <= 700; ++i)
      wide << QStringLiteral("c%1 %2").arg(i).arg(i % 3 == 0 ? QStringLiteral("TEXT") : i % 3 == 1 ? QStringLiteral("INT") : QString());
    const QString setup = QStringLiteral("CREATE TABLE wide(%1);"
                                         "CREATE TABLE t(id INTEGER PRIMARY KEY, s TEXT, r REAL);"
                                         "INSERT INTO t %2 SELECT i * 3, CASE WHEN i % 7 THEN 's' || i END, i / 8.0 FROM n;")
                              .arg(wide.join(QStringLiteral(", ")), thousand);
    QTest::newRow("wrappable select") << setup << "SELECT * FROM t ORDER BY id DESC" << false;
    QTest::newRow("wrappable expression") << setup << thousand + "SELECT i, CASE WHEN i % 3 THEN 'r' || i END, i * 0.5 FROM n" << false;
    QTest::newRow("pragma") << setup << "PRAGMA table_xinfo(wide)" << false;
    // An unclosed comment swallows the parenthesis that would close the subquery.
    QTest::newRow("open comment at the end") << setup << "SELECT * FROM t ORDER BY id /* to the end" << false;
    for (int n : {0, 1, 511, 512, 513}) {
      const QString select = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                                            "SELECT i, 'r' || i FROM n WHERE i <= %1").arg(n);
      QTest::addRow("%d rows", n) << setup << select << true;
      QTest::addRow("%d rows, not wrappable", n) << setup << select + QStringLiteral(" /* to the end") << true;
    }
  }
  void rowsAfterReadingAhead()
  {
    QFETCH(QString, setup);
    QFETCH(QString, sql);
    QFETCH(bool, pastTheEndFirst);
    OpenDatabase db(setup);
    const QStringList expected = rowsBySqlite(db.file, sql);
    TExecResult result = db.db.Connection().execute(sql);
    QVERIFY(result.Rows);
    TRowSource& rows = *result.Rows;
    const int n = int(expected.size()), last = std::max(0, n - 1);
    std::vector<TRow> out;
    const auto read = [&](int64_t offset, int count) {
      rows.readAt(offset, count, out);
      return show(out);
    };
    if (pastTheEndFirst)
      QCOMPARE(read(n, 5), QStringList());
    QCOMPARE(read(0, 1), expected.mid(0, 1));
    QCOMPARE(read(599, 3), expected.mid(599, 3));
    QCOMPARE(read(last, 1), expected.mid(last, 1));
    QCOMPARE(read(1, 1), expected.mid(1, 1));
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
    TExecResult result = db.db.Connection().execute(sql);
    QVERIFY(result.Rows);
    TRowSource& rows = *result.Rows;
    QCOMPARE(fieldTypeIdentifier(rows.columns()[1].DataType), QStringLiteral("ftLargeint"));
    std::vector<TRow> first, out;
    rows.readAt(0, 2, first);
    QCOMPARE(first.size(), size_t(2));
    QCOMPARE(first[0][0].asInteger(), 1);
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
