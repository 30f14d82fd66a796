// Every export reads back exactly: the program's CSV and XML datapacket exports of awkward SQLite
// tables, and of the demo database, are read back by other programs (Python's csv module,
// ElementTree, xmllint) and compared cell for cell with what the database itself holds, read by
// Python's sqlite3 module. Nothing here knows how the program renders a value:
// the expectations come from the database, never from an earlier run of the program.
#include "AppFixture.h"
#include "ExportReadback.h"

#include "dataaccess/FormatSettings.h"

#include <QPlainTextEdit>
#include <QToolButton>

using namespace app_fixture;
using namespace export_readback;

namespace {

// Columns of many declared types and values that are hard to carry: limits, special floats,
// exact decimals, dates at the ends of the calendar, text that CSV and XML must escape, and values
// whose storage class is not the column's. A lone double quote is char(34): moc reads raw strings
// as code, and an unpaired quote would hide the test class from it.
const char* const awkwardSchema = R"SQL(
CREATE TABLE awk(
  id INTEGER PRIMARY KEY, int_col INT, bigint_col BIGINT, smallint_col SMALLINT,
  real_col REAL, double_col DOUBLE, dec_col DECIMAL(38,10), num_col NUMERIC, bool_col BOOLEAN,
  date_col DATE, time_col TIME, datetime_col DATETIME,
  varchar_col VARCHAR(40), char_col CHAR(5), text_col TEXT, blob_col BLOB, untyped_col);
INSERT INTO awk VALUES
 (1, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
 (2, 0, 0, 0, 0.0, 0.0, 0, 0, 0, '', '', '', '', '', '', x'', ''),
 (3, 1, 9223372036854775807, 32767, 0.1, 1e-7, 123456789.123, 0.1, 1, '0001-01-01', '00:00:00',
  '2024-02-29 00:00:00', 'a,b', 'q' || char(34), 'line' || char(13, 10) || 'two', x'00FF10DEADBEEF', 42),
 (4, -1, -9223372036854775808, -32768, -0.0, 5e-324, -0.0000000001, -123456789.123, 0, '9999-12-31',
  '23:59:59.999', 0.0, 'say "hi", twice ""', '<&>' || char(34) || '''', 'LF' || char(10) || 'alone', x'89504E47', 3.25),
 (5, 2147483647, 18446744073709551616, 0, 1.7976931348623157E308, -1.7976931348623157E308,
  '12345678901234567890.1234567890', 2.5, 'true', '2024-02-29', '12:34:56.789', '2024-02-29 13:45:10.250',
  'tab' || char(9) || 'here', ']]>', ']]>]]]>x]]>', NULL, 'text in untyped'),
 (6, -2147483648, 1.5, 1, 9e999, -9e999, 100, 1e-7, 'false', 2460389.875, '00:00:00.001',
  '2000-01-01 00:00:00.250', 'é 山田 🦅', 'é🦅', 'CR' || char(13) || 'only', NULL, x'00FF'),
 (7, 'abc', 'n/a', 'x', 'not a number', 123456789.123, 12345678901234567890123456789, 123456789012345678901234567890.5,
  'maybe', 'next spring', '13:45', 1700000000, '-0.000000000000000000000000000001',
  ' lead and trail ', '12345678901234567890.123456789012345678', x'', 1.0),
 (8, x'313233', 4611686018427387904, -7, 1.5e-300, 1e300, 'n/a', 'twelve', 1, '1970-01-01', '06:30',
  '1999-12-31T23:59:59.999Z', char(34), ',', x'00FF', x'', -9223372036854775808);
-- Values of megabytes: the output grows past its chunks within one item.
INSERT INTO awk(id, varchar_col, text_col, blob_col) VALUES
 (10, replace(hex(zeroblob(600000)), '00', 'a]'), replace(hex(zeroblob(900000)), '00', 'c]'), randomblob(1000000));
)SQL";

// Numbers, exact decimal texts and Julian day 0 as a REAL in columns whose declared type would have
// converted them: the declared types are swapped for BLOB (no conversion) while the row goes in, as a
// database written by another program, or altered since, may hold them.
const char* const misfitRow =
    "INSERT INTO awk(id, dec_col, num_col, datetime_col, varchar_col, char_col, text_col) VALUES"
    " (9, '12345678901234567890.123456789012345678', '-0.00000000000000000000000000000000000001', 0.0, 42, 7, 1.5);";

QString redeclareMisfits(bool asBlob)
{
  QString sql = QStringLiteral("sql");
  for (const char* column : {"varchar_col VARCHAR(40)", "text_col TEXT", "dec_col DECIMAL(38,10)", "num_col NUMERIC",
                             "datetime_col DATETIME"}) {
    const QString declared = QString::fromLatin1(column), blob = declared.section(QLatin1Char(' '), 0, 0) + QStringLiteral(" BLOB");
    sql = QStringLiteral("replace(%1, '%2', '%3')").arg(sql, asBlob ? declared : blob, asBlob ? blob : declared);
  }
  return QStringLiteral("PRAGMA writable_schema=ON; UPDATE sqlite_schema SET sql = %1 WHERE name = 'awk';").arg(sql);
}

// Text that XML 1.0 cannot carry as character data, from row 3 on; rows 1 and 2 carry easily.
const char* const bytesSchema = R"SQL(
CREATE TABLE awk_bytes(id INTEGER PRIMARY KEY, label TEXT, vc_text VARCHAR(40), ch_text CHAR(5), memo_text TEXT, untyped);
INSERT INTO awk_bytes(id, label, vc_text) VALUES
 (1, 'plain', 'plain'),
 (2, 'markup', 'a "b" <c> &d ]]> e'),
 (3, 'SOH', 'a' || char(1) || 'b'),
 (4, 'NUL inside', CAST(x'610062' AS TEXT)),
 (5, 'invalid UTF-8', CAST(x'0001FF616263' AS TEXT)),
 (6, 'truncated sequence', CAST(x'61E282' AS TEXT)),
 (7, 'encoded surrogate', CAST(x'EDA080' AS TEXT)),
 (8, 'U+FFFE', 'a' || char(65534));
UPDATE awk_bytes SET ch_text = vc_text, memo_text = vc_text, untyped = vc_text;
)SQL";


}  // namespace

class TestExactExport : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;
  QString connectedAlias;
  QString demoFile;
  int serial = 0;

  // The program, connected to the alias; started anew when another alias is asked for.
  void connectTo(const QString& alias)
  {
    if (connectedAlias == alias && fmMain && fmMain->Database.Connected())
      return;
    if (!connectedAlias.isEmpty())
      stopProgram();
    startProgram(*folder, "[Awk]\nDriver=SQLite\nDatabase=awk.db\n[Demo]\nDriver=SQLite\nDatabase=" + demoFile.toUtf8() + "\n");
    loginWith(QString(), QString());
    connectedAlias = alias;
    TTreeNode* node = child(root(), alias);
    QVERIFY2(node, qPrintable(alias));
    doubleClick(node);
    QVERIFY2(fmMain->Database.Connected(), qPrintable(alias));
  }

  // A row for each export: CSV with or without names and quotes, XML plain (refused where a field
  // is given) and MIME.
  static void addRows(const QString& alias, const QString& table, const QString& query, const QString& oracleSql,
                      const QString& refused = QString())
  {
    const QString what = alias + QLatin1Char(':') + table + (query.isEmpty() ? " table " : " query ");
    for (const char* options : {"csv", "csv names", "csv quotes", "csv names quotes", "xml", "xml mime"})
      QTest::newRow(qPrintable(what + options)) << alias << table << query << oracleSql << QString::fromLatin1(options)
                                                << (options == QLatin1String("xml") ? refused : QString());
  }

  // The table opened from the tree, and the same rows as a query.
  static void addSource(const QString& alias, const QString& table, const QString& order, const QString& refused = QString())
  {
    const QString select = QStringLiteral("SELECT * FROM \"%1\"").arg(table);
    addRows(alias, table, QString(), select + order, refused);
    addRows(alias, table, select, select, refused);
  }

private slots:
  void initTestCase()
  {
    folder = std::make_unique<TestFolder>();
    const QString awk = folder->createDatabase(QStringLiteral("awk.db"), QString::fromUtf8(awkwardSchema));
    for (const QString& sql : {redeclareMisfits(true), QString(misfitRow), redeclareMisfits(false), QString(bytesSchema)})
      executeSql(awk, sql);
    demoFile = qEnvironmentVariable("KESTREL_DEMO_DB");
  }
  void cleanupTestCase()
  {
    if (!connectedAlias.isEmpty())
      stopProgram();
    folder.reset();
  }
  void cleanup()
  {
    FormatSettings() = TFormatSettings{};
    QVERIFY(allModalsAnswered());
  }

  void everyExportReadsBack_data()
  {
    QTest::addColumn<QString>("alias");
    QTest::addColumn<QString>("table");      // also whose declared types the columns have
    QTest::addColumn<QString>("query");      // run in the editor; else the table is opened from the tree
    QTest::addColumn<QString>("oracleSql");  // the same rows, in the same order, for the database's own reader
    QTest::addColumn<QString>("options");    // the format, then the options checked
    QTest::addColumn<QString>("refused");    // the field of row 3 that plain XML cannot carry
    const QString byId = QStringLiteral(" ORDER BY id");
    addSource(QStringLiteral("Awk"), QStringLiteral("awk"), byId);
    addSource(QStringLiteral("Awk"), QStringLiteral("awk_bytes"), byId, QStringLiteral("vc_text"));
    const QJsonArray tables = readbackScript({QStringLiteral("--tables"), demoFile}).array();
    for (const QJsonValue& t : tables)
      addSource(QStringLiteral("Demo"), t[0].toString(), t[1].toString());
    const QString ordered = QStringLiteral("SELECT * FROM CustomerTotals ORDER BY OrderCount, CustomerID");
    addRows(QStringLiteral("Demo"), QStringLiteral("CustomerTotals"), ordered, ordered);
    if (tables.isEmpty())
      QTest::newRow("demo database") << "Demo" << "" << "" << "" << "" << "";
  }
  void everyExportReadsBack()
  {
    QFETCH(QString, alias);
    QFETCH(QString, table);
    QFETCH(QString, query);
    QFETCH(QString, oracleSql);
    QFETCH(QString, options);
    QFETCH(QString, refused);
    if (alias == QLatin1String("Demo"))
      QVERIFY2(QFileInfo::exists(demoFile) && !table.isEmpty(), "the build makes the demo database (KESTREL_DEMO_DB)");
    connectTo(alias);
    if (QTest::currentTestFailed())
      return;
    if (query.isEmpty()) {
      TTreeNode* node = child(child(root(), alias), table);
      QVERIFY2(node, qPrintable(table));
      doubleClick(node);
    } else {
      fmMain->Memo1->setPlainText(query);
      QTest::mouseClick(fmMain->btExecute, Qt::LeftButton);
    }
    QVERIFY2(query.isEmpty() ? fmMain->qrTable.Active() : fmMain->qrSelect.Active(), qPrintable(table + query));

    // A previous file at the path: replaced by a complete export, or kept when the export is refused.
    const QString file = folder->path(QStringLiteral("export%1.%2").arg(++serial).arg(options.left(3)));
    const ExportRun run = exportOverPreviousFile(file, options, query.isEmpty());
    if (!refused.isEmpty()) {
      // Text that XML 1.0 cannot carry as character data: the message says where, and offers MIME.
      const QString where = query.isEmpty() ? QStringLiteral("table \"%1\"").arg(table) : QStringLiteral("the query result");
      QVERIFY2(run.messages.contains(xmlRefusal(refused, 3, where)), qPrintable(run.messages));
      QCOMPARE(run.written, previousContent);
      return;
    }
    QVERIFY2(run.messages.isEmpty(), qPrintable(QStringLiteral("the export failed: ") + run.messages));
    QVERIFY2(run.written != previousContent, "the export left the previous file in place");
    const QString database = alias == QLatin1String("Demo") ? demoFile : folder->path(QStringLiteral("awk.db"));
    const QString differences = readbackDifferences({file, options, database, oracleSql, table});
    QVERIFY2(differences.isEmpty(), qPrintable(differences));
  }
};

QTEST_MAIN(TestExactExport)
#include "tst_exactexport.moc"
