// Every export of ODBC data reads back exactly: a MariaDB table of awkward values, opened from the
// tree and run as a query, is exported to CSV and to the XML datapacket by the program's own
// commands, and the files are read back by other programs (Python's csv module, ElementTree,
// xmllint) and compared cell for cell with what the server itself holds, read by the mariadb
// command-line client under another login. The expectations come from the server, never from an
// earlier run of the program.
#include "AppFixture.h"
#include "ExportReadback.h"
#include "MariaTestServer.h"

#include "dataaccess/FormatSettings.h"

#include <QPlainTextEdit>
#include <QToolButton>

using namespace app_fixture;
using namespace export_readback;

namespace {

// Every integer width at both ends, decimals of 65 digits, doubles at their limits, the largest and
// smallest singles, dates and times at the ends of their ranges, text that CSV and XML must escape
// (MariaDB reads \r, \n and \t in a literal as the characters), and values past 64 KiB, read in
// pieces. Double quotes stay paired: moc reads raw strings as code.
const char* const awkwardSchema = R"SQL(
CREATE TABLE awk(
  id INT PRIMARY KEY,
  ti TINYINT, tu TINYINT UNSIGNED, si SMALLINT, su SMALLINT UNSIGNED, mi MEDIUMINT, mu MEDIUMINT UNSIGNED,
  i INT, iu INT UNSIGNED, bi BIGINT, bu BIGINT UNSIGNED,
  dec_col DECIMAL(65,30), dbl DOUBLE, flt FLOAT,
  d DATE, t TIME(3), dt DATETIME(3), ts TIMESTAMP(3) NULL DEFAULT NULL,
  ch CHAR(12), vc VARCHAR(300), tx TEXT, mtx MEDIUMTEXT,
  bl BLOB, mbl MEDIUMBLOB,
  bt BIT(1), en ENUM('small', 'a,b', 'say "hi"', '🦅 山'), js JSON
) CHARACTER SET utf8mb4;
INSERT INTO awk(id) VALUES (1);
INSERT INTO awk VALUES
 (2, -128, 0, -32768, 0, -8388608, 0, -2147483648, 0, -9223372036854775808, 0,
  -99999999999999999999999999999999999.999999999999999999999999999999, -1.7976931348623157e308, -3.402823466e38,
  '1000-01-01', '-838:59:59', '1000-01-01 00:00:00', '1970-01-01 00:00:01',
  '', '', '', '', x'', x'', b'0', 'small', '[]'),
 (3, 127, 255, 32767, 65535, 8388607, 16777215, 2147483647, 4294967295, 9223372036854775807, 18446744073709551615,
  99999999999999999999999999999999999.999999999999999999999999999999, 1.7976931348623157e308, 3.402823466e38,
  '9999-12-31', '838:59:59.999', '9999-12-31 23:59:59.999', '2038-01-19 03:14:07.999',
  'a,b "c"', 'say "hi", twice ""', 'line\r\ntwo', 'LF\nalone', x'89504E470D0A1A0A', x'00', b'1', 'a,b', JSON_OBJECT('k', 'v, "w"', 'e', '🦅')),
 (4, 0, 1, -1, 1, -1, 1, -1, 1, -1, 9223372036854775808,
  0.000000000000000000000000000001, 5e-324, 1.17549435e-38,
  '2024-02-29', '23:59:59.999', '2024-02-29 13:45:10.250', '2024-02-29 13:45:10.250',
  'é🦅', '🦅 山田 é, <&> ]]> ''apostrophe''', 'tab\there\r\nCR\ronly', ']]>]]]>x]]>', x'00', x'0D', b'0', '🦅 山', JSON_ARRAY('<&>', ']]>', 1.5e300)),
 (5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10,
  12345678901234567890123456789012345.123456789012345678901234567890, -0e0, 0.1,
  '1970-01-01', '-00:00:00.001', '1970-01-01 00:00:00', '2000-01-01 00:00:00.001',
  ' lead trail', ' lead and trail ', '=1+2,"quoted"', '', x'FF', x'FF', b'1', 'say "hi"', '"string"'),
 (6, -1, 254, -2, 65534, -3, 16777214, -4, 4294967294, -5, 18446744073709551614,
  -12345678901234567890123456789012345.123456789012345678901234567890, 0.1, -16777217,
  '2000-02-29', '00:00:00', '1999-12-31 23:59:59.999', '2038-01-19 03:14:07',
  '山', REPEAT('🦅', 300), REPEAT('é', 30000),
  CONCAT('ab', REPEAT('🦅é山,"\r\n<&>]]>"', 7000)),
  REPEAT(x'80', 65535), REPEAT(x'00FF10DEADBEEF0D0A', 12000), b'0', '🦅 山',
  CONCAT('[', REPEAT('1.5, ', 20000), '2]'));
)SQL";

// Byte strings of a fixed and a varying length, and bits beyond one.
const char* const bytesSchema = R"SQL(
CREATE TABLE awk_bin(id INT PRIMARY KEY, bn BINARY(4), vb VARBINARY(300), bits BIT(12));
INSERT INTO awk_bin VALUES
 (1, NULL, NULL, NULL),
 (2, x'00000000', x'', b'0'),
 (3, x'FFFFFFFF', x'00FF10DEADBEEF', b'111111111111'),
 (4, x'0D0A0D0A', x'3C3E26', b'101000000101'),
 (5, x'00', REPEAT(x'80', 300), b'1');
)SQL";

// Text that XML 1.0 cannot carry as character data, from row 3 on; rows 1 and 2 carry easily.
const char* const controlSchema = R"SQL(
CREATE TABLE awk_ctl(id INT PRIMARY KEY, label VARCHAR(20), vc VARCHAR(40), tx TEXT) CHARACTER SET utf8mb4;
INSERT INTO awk_ctl(id, label, vc) VALUES
 (1, 'plain', 'plain'),
 (2, 'markup', 'a "b" <c> &d ]]> e'),
 (3, 'SOH', CONCAT('a', CHAR(1 USING utf8mb4), 'b')),
 (4, 'NUL inside', CONCAT('a', CHAR(0 USING utf8mb4), 'b')),
 (5, 'ESC', CONCAT(CHAR(27 USING utf8mb4), '[0m'));
UPDATE awk_ctl SET tx = vc;
)SQL";


const QString alias = QStringLiteral("My");

}  // namespace

class TestOdbcExport : public QObject {
  Q_OBJECT
  std::unique_ptr<maria_test::TempDatabase> my;
  std::unique_ptr<TestFolder> folder;
  int serial = 0;

  // The program, connected to the alias through the tree; started once and kept for every row.
  void connectThroughTree()
  {
    if (fmMain && fmMain->Database.Connected())
      return;
    if (fmMain)
      stopProgram();
    startProgram(*folder, my->aliasSection(alias));
    loginWith(QString::fromUtf8(maria_test::server().User2), QString::fromUtf8(maria_test::server().Password2));
    TTreeNode* node = child(root(), alias);
    QVERIFY(node);
    doubleClick(node);
    QVERIFY(fmMain->Database.Connected());
  }

  // A row for each export: CSV with or without names and quotes, XML plain (refused where a field
  // is given) and MIME; the table opened from the tree, and the same rows as a query.
  static void addSource(const QString& table, const QString& refused = QString(), bool xml = true)
  {
    for (const QString& query : {QString(), QStringLiteral("SELECT * FROM %1 ORDER BY id").arg(table)})
      for (const char* options : {"csv", "csv names", "csv quotes", "csv names quotes", "xml", "xml mime"})
        if (xml || options[0] == 'c')
          QTest::newRow(qPrintable(table + (query.isEmpty() ? " table " : " query ") + options))
              << table << query << QString::fromLatin1(options) << (options == QLatin1String("xml") ? refused : QString());
  }

private slots:
  void initTestCase()
  {
    MARIA_REQUIRE_SERVER();
    folder = std::make_unique<TestFolder>();
    my = std::make_unique<maria_test::TempDatabase>(QStringLiteral("odbcexport"));
    // A statement at a time: the server's complaint about any but the first of several is not heard.
    for (const char* schema : {awkwardSchema, bytesSchema, controlSchema})
      for (const QString& statement : QString::fromUtf8(schema).split(QStringLiteral(";\n"), Qt::SkipEmptyParts))
        if (!statement.trimmed().isEmpty())
          my->exec(statement);
    QCOMPARE(my->scalar(QStringLiteral("SELECT COUNT(*) FROM awk")), QStringLiteral("6"));
    QCOMPARE(my->scalar(QStringLiteral("SELECT COUNT(*) FROM awk_bin")), QStringLiteral("5"));
    QCOMPARE(my->scalar(QStringLiteral("SELECT COUNT(*) FROM awk_ctl WHERE tx = vc")), QStringLiteral("5"));
  }
  void cleanupTestCase()
  {
    if (fmMain)
      stopProgram();
    my.reset();
    folder.reset();
  }
  void cleanup()
  {
    FormatSettings() = TFormatSettings{};
    QVERIFY(allModalsAnswered());
  }

  void everyExportReadsBack_data()
  {
    QTest::addColumn<QString>("table");    // the MariaDB table the rows come from, ordered by id
    QTest::addColumn<QString>("query");    // run in the editor; else the table is opened from the tree
    QTest::addColumn<QString>("options");  // the format, then the options checked
    QTest::addColumn<QString>("refused");  // the field of row 3 that plain XML cannot carry
    addSource(QStringLiteral("awk"));
    // The datapacket writer takes no BINARY, VARBINARY or BIT(m) field yet ("BinaryFields are not
    // handled!"): their XML rows wait until it does.
    addSource(QStringLiteral("awk_bin"), QString(), false);
    addSource(QStringLiteral("awk_ctl"), QStringLiteral("vc"));
  }
  void everyExportReadsBack()
  {
    QFETCH(QString, table);
    QFETCH(QString, query);
    QFETCH(QString, options);
    QFETCH(QString, refused);
    connectThroughTree();
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
    const QString differences =
        readbackDifferences({QStringLiteral("--mariadb"), file, options, my->name(), table, QStringLiteral("id")});
    QVERIFY2(differences.isEmpty(), qPrintable(differences));
  }
};

QTEST_MAIN(TestOdbcExport)
#include "tst_odbc_export.moc"
