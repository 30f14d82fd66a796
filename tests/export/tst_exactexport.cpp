// Every export reads back exactly: the program's CSV and XML datapacket exports of awkward SQLite
// and PostgreSQL tables, and of the demo database, are read back by other programs (Python's csv
// module, ElementTree, xmllint) and compared cell for cell with what the database itself holds,
// read by Python's sqlite3 module or by psql. Nothing here knows how the program renders a value:
// the expectations come from the database, never from an earlier run of the program.
#include "AppFixture.h"
#include "ExportAnswers.h"
#include "PgTestServer.h"

#include "dataaccess/FormatSettings.h"
#include "export/ExportProgressDialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QToolButton>

using namespace app_fixture;
using namespace export_answers;

namespace {

// Columns of many declared types and values that are hard to carry: limits, special floats,
// exact decimals, dates at the ends of the calendar, text that CSV and XML must escape, and values
// whose storage class is not the column's.
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
  '2024-02-29 00:00:00', 'a,b', 'q"', 'line' || char(13, 10) || 'two', x'00FF10DEADBEEF', 42),
 (4, -1, -9223372036854775808, -32768, -0.0, 5e-324, -0.0000000001, -123456789.123, 0, '9999-12-31',
  '23:59:59.999', 0.0, 'say "hi", twice ""', '<&>"''', 'LF' || char(10) || 'alone', x'89504E47', 3.25),
 (5, 2147483647, 18446744073709551616, 0, 1.7976931348623157E308, -1.7976931348623157E308,
  '12345678901234567890.1234567890', 2.5, 'true', '2024-02-29', '12:34:56.789', '2024-02-29 13:45:10.250',
  'tab' || char(9) || 'here', ']]>', ']]>]]]>x]]>', NULL, 'text in untyped'),
 (6, -2147483648, 1.5, 1, 9e999, -9e999, 100, 1e-7, 'false', 2460389.875, '00:00:00.001',
  '2000-01-01 00:00:00.250', 'é 山田 🦅', 'é🦅', 'CR' || char(13) || 'only', NULL, x'00FF'),
 (7, 'abc', 'n/a', 'x', 'not a number', 123456789.123, 12345678901234567890123456789, 123456789012345678901234567890.5,
  'maybe', 'next spring', '13:45', 1700000000, '-0.000000000000000000000000000001',
  ' lead and trail ', '12345678901234567890.123456789012345678', x'', 1.0),
 (8, x'313233', 4611686018427387904, -7, 1.5e-300, 1e300, 'n/a', 'twelve', 1, '1970-01-01', '06:30',
  '1999-12-31T23:59:59.999Z', '"', ',', x'00FF', x'', -9223372036854775808);
)SQL";

// Numbers, exact decimal texts and Julian day 0 as a REAL in columns whose declared type would have converted them: the
// declared types are swapped for BLOB (no conversion) while the row goes in, as a database written
// by another program, or altered since, may hold them.
const char* const misfitOpen =
    "PRAGMA writable_schema=ON;"
    "UPDATE sqlite_schema SET sql = replace(replace(replace(replace(replace(sql, 'varchar_col VARCHAR(40)', 'varchar_col BLOB'),"
    " 'text_col TEXT', 'text_col BLOB'), 'dec_col DECIMAL(38,10)', 'dec_col BLOB'), 'num_col NUMERIC', 'num_col BLOB'),"
    " 'datetime_col DATETIME', 'datetime_col BLOB') WHERE name = 'awk';";
const char* const misfitRow =
    "INSERT INTO awk(id, dec_col, num_col, datetime_col, varchar_col, char_col, text_col) VALUES"
    " (9, '12345678901234567890.123456789012345678', '-0.00000000000000000000000000000000000001', 0.0, 42, 7, 1.5);";
const char* const misfitClose =
    "PRAGMA writable_schema=ON;"
    "UPDATE sqlite_schema SET sql = replace(replace(replace(replace(replace(sql, 'varchar_col BLOB', 'varchar_col VARCHAR(40)'),"
    " 'text_col BLOB', 'text_col TEXT'), 'dec_col BLOB', 'dec_col DECIMAL(38,10)'), 'num_col BLOB', 'num_col NUMERIC'),"
    " 'datetime_col BLOB', 'datetime_col DATETIME') WHERE name = 'awk';";

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
const int firstBytesRow = 3, lastBytesRow = 8;

const char* const pgSchema = R"SQL(
CREATE TABLE pg_awk(id int4 PRIMARY KEY, i2 int2, i4 int4, i8 int8, n numeric(38,10), f float8, t text,
  vc varchar(40), ch char(5), b bytea, d date, ts timestamp, tz timestamptz, tm time, ok boolean, u uuid);
INSERT INTO pg_awk VALUES
 (1, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
 (2, 0, 0, 0, 0, 0, '', '', '', '\x', '2000-01-01', '2000-01-01 00:00:00', '2000-01-01 00:00:00+00',
  '00:00:00', false, '00000000-0000-0000-0000-000000000000'),
 (3, -32768, -2147483648, -9223372036854775808, '-9999999999999999999999999999.9999999999', 'Infinity',
  E'a,b "q" \r\n LF\n TAB\t ]]> <&>"''', 'é 山田 🦅', 'ab', '\x00ff10deadbeef', '4714-11-24 BC',
  '4714-11-24 00:00:00 BC', '2024-02-29 13:45:10.250+02', '23:59:59.999', true, 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'),
 (4, 32767, 2147483647, 9223372036854775807, '0.0000000001', '-Infinity', ']]>]]]>x]]>', E'line\r\ntwo',
  '<&>"''', '\x89504e47', '10000-01-01', '10000-01-01 00:00:00', '1999-12-31 23:59:59.999+00', '12:34:56.789',
  true, 'ffffffff-ffff-ffff-ffff-ffffffffffff'),
 (5, 1, 2, 3, '123456789.123', 'NaN', E'CR\ronly', E'tab\there', 'é🦅', NULL, '0001-01-01',
  '0001-01-01 00:00:00', '9999-12-31 23:59:59.999-05', '00:00:00.001', false, NULL),
 (6, -1, -2, -3, '-0.1', 1e-7, E'\u00e9\u5c71\U0001F985', '', '     ', '\x00', '9999-12-31', '2024-02-29 00:00:00',
  '1970-01-01 00:00:00+00', '13:45:00', true, NULL),
 (7, 7, 7, 7, '1234567890123456789012345678.0123456789', 1.7976931348623157e308, '12345678901234567890.123456789012345678',
  '-0', ',', NULL, '1970-01-01', '1999-12-31 23:59:59.999', '2024-06-01 12:00:00.5+00', NULL, NULL, NULL),
 (8, 8, 8, 8, '0.1', -1.7976931348623157e308, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
 (9, 9, 9, 9, '0.1', 123456789.123, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
 (10, 10, 10, 10, '0.1', 2.2250738585072014e-308, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
 (11, 11, 11, 11, '0.1', 4.9406564584124654e-324, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
CREATE TABLE pg_awk_bytes(id int4 PRIMARY KEY, label text, vc_text varchar(40), ch_text char(5), memo_text text);
INSERT INTO pg_awk_bytes(id, label, vc_text) VALUES
 (1, 'plain', 'plain'),
 (2, 'markup', 'a "b" <c> &d ]]> e'),
 (3, 'SOH', 'a' || chr(1) || 'b'),
 (4, 'U+FFFE', 'a' || chr(65534));
UPDATE pg_awk_bytes SET ch_text = left(vc_text, 5), memo_text = vc_text;
)SQL";
const int lastPgBytesRow = 4;

QString quoted(const QString& name)
{
  return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

QByteArray fileContent(const QString& path)
{
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& content)
{
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size())
    throw std::runtime_error("cannot write " + path.toStdString());
}

QString readbackScript()
{
  return qEnvironmentVariable("KESTREL_SOURCE_DIR") + QStringLiteral("/tests/export/readback.py");
}

// Runs one of the readback script's helpers; its exit code, and what it printed.
int readbackHelper(const QStringList& args, QByteArray* printed = nullptr)
{
  QProcess p;
  p.start(QStringLiteral("python3"), QStringList{readbackScript()} + args);
  p.waitForFinished(120000);
  if (printed)
    *printed = p.readAllStandardOutput();
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// Catches the message boxes and error dialogs that an export brings up (the option dialogs are
// answered elsewhere) and closes them, keeping their texts.
class ModalCatcher {
public:
  ModalCatcher()
  {
    QObject::connect(&FTimer, &QTimer::timeout, [this] { look(); });
    FTimer.start(20);
  }
  void look()
  {
    QWidget* w = QApplication::activeModalWidget();
    if (!w || !w->isVisible() || w == fmCSVOpts || w == fmXMLOpts || w == fmExportProgress || qobject_cast<QFileDialog*>(w))
      return;
    texts << w->windowTitle() + QStringLiteral(": ") + modalText(w);
    qobject_cast<QDialog*>(w) ? qobject_cast<QDialog*>(w)->accept() : void(w->close());
  }
  QStringList texts;

private:
  QTimer FTimer;
};

}  // namespace

class TestExactExport : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;
  std::unique_ptr<pg_test::TempDatabase> pgDatabase;
  QString connectedAlias;
  QString demoFile;
  int serial = 0;
  QProcess reader;  // the readback script, answering one export after the other

  // The program, connected to the alias; started anew when another alias is asked for.
  void connectTo(const QString& alias)
  {
    if (connectedAlias == alias && fmMain && fmMain->Database.Connected())
      return;
    if (!connectedAlias.isEmpty())
      stopProgram();
    QByteArray aliases = "[Awk]\nDriver=SQLite\nDatabase=awk.db\n[Demo]\nDriver=SQLite\nDatabase=" + demoFile.toUtf8() + "\n";
    if (pgDatabase)
      aliases += pgDatabase->aliasSection(QStringLiteral("PG"));
    startProgram(*folder, aliases);
    const bool pg = alias == QLatin1String("PG");
    loginWith(pg ? QString::fromUtf8(pg_test::server().User) : QString(), pg ? QString::fromUtf8(pg_test::server().Password) : QString());
    connectedAlias = alias;
    TTreeNode* node = child(root(), alias);
    QVERIFY2(node, qPrintable(alias));
    doubleClick(node);
    QVERIFY2(fmMain->Database.Connected(), qPrintable(alias));
  }

  // Opens the table from the tree, or runs the query in the editor; the dataset then exported.
  TDataSet* open(const QString& alias, const QString& table, const QString& query)
  {
    if (query.isEmpty()) {
      TTreeNode* node = child(child(root(), alias), table);
      if (node)
        doubleClick(node);
      return node && fmMain->qrTable.Active() ? &fmMain->qrTable : nullptr;
    }
    fmMain->Memo1->setPlainText(query);
    QTest::mouseClick(fmMain->btExecute, Qt::LeftButton);
    return fmMain->qrSelect.Active() ? &fmMain->qrSelect : nullptr;
  }

  // Runs the export command with the options; returns the texts of any message it brought up.
  QStringList runExport(bool tableMode, const QString& format, const QString& file, bool names, bool quotes, bool mime)
  {
    FormatSettings() = TFormatSettings{};  // ISO dates, "." as the decimal point
    ModalCatcher catcher;
    const bool csv = format == QLatin1String("csv");
    csv ? answerCSV(file, names, quotes) : answerXML(file, mime);
    (csv ? (tableMode ? fmMain->ExportTableDatatoCSV : fmMain->ExportResultDatatoCSV)
         : (tableMode ? fmMain->ExportTableToXML : fmMain->ExportResultDatatoXML))->trigger();
    catcher.look();
    return catcher.texts;
  }

  // Every difference between the file and the database on a line of its own (a failure message
  // alone would be cut short), then the verdict.
  void readBack(const QString& alias, const QString& format, const QString& file, bool names, bool mime,
                const QString& oracleSql, const QString& typesOf)
  {
    QStringList args{QStringLiteral("--format"), format, QStringLiteral("--file"), file,
                     QStringLiteral("--names"), QString::number(names), QStringLiteral("--mime"), QString::number(mime),
                     QStringLiteral("--sql"), oracleSql, QStringLiteral("--types-of"), typesOf};
    if (alias == QLatin1String("PG"))
      args << QStringLiteral("--pg") << pgDatabase->name();
    else
      args << QStringLiteral("--sqlite") << (alias == QLatin1String("Demo") ? demoFile : folder->path(QStringLiteral("awk.db")));
    if (reader.state() == QProcess::NotRunning) {
      reader.setProcessChannelMode(QProcess::ForwardedErrorChannel);
      reader.start(QStringLiteral("python3"), {readbackScript(), QStringLiteral("--serve")});
      QVERIFY2(reader.waitForStarted(30000), qPrintable(reader.errorString()));
    }
    reader.write(QJsonDocument(QJsonArray::fromStringList(args)).toJson(QJsonDocument::Compact) + '\n');
    while (!reader.canReadLine())
      QVERIFY2(reader.waitForReadyRead(60000), "the readback gave no answer");
    const QByteArray answer = reader.readLine();
    const QJsonObject verdict = QJsonDocument::fromJson(answer).object();
    QVERIFY2(!verdict.isEmpty(), answer.constData());
    const QJsonArray errors = verdict.value(QStringLiteral("errors")).toArray();
    for (const QJsonValue& e : errors)
      qInfo().noquote() << e.toString();
    QVERIFY2(errors.isEmpty(), qPrintable(QStringLiteral("the file differs from the database in %1 places; first: %2")
                                              .arg(verdict.value(QStringLiteral("errorCount")).toInt())
                                              .arg(errors.at(0).toString())));
  }

  static void addRows(const QString& alias, const QString& what, const QString& table, const QString& query,
                      const QString& oracleSql, const QString& typesOf, bool withPlainXml = true)
  {
    const QString mode = query.isEmpty() ? QStringLiteral("table") : QStringLiteral("query");
    for (int options = 0; options < 6; ++options) {  // csv with or without names and quotes; xml plain or MIME
      const bool csv = options < 4, names = csv && (options & 1), quotes = csv && (options & 2), mime = options == 5;
      if (options == 4 && !withPlainXml)
        continue;
      QTest::addRow("%s %s %s%s%s%s", qPrintable(what), qPrintable(mode), csv ? "csv" : "xml", names ? " names" : "",
                    quotes ? " quotes" : "", mime ? " mime" : "")
          << alias << table << query << oracleSql << typesOf << (csv ? QStringLiteral("csv") : QStringLiteral("xml"))
          << names << quotes << mime;
    }
  }

  static void addSource(const QString& alias, const QString& table, const QString& order, bool withPlainXml = true)
  {
    const QString select = QStringLiteral("SELECT * FROM ") + quoted(table);
    addRows(alias, alias + QLatin1Char(':') + table, table, QString(), select + order, table, withPlainXml);
    addRows(alias, alias + QLatin1Char(':') + table, QString(), select, select, table, withPlainXml);
  }

private slots:
  void initTestCase()
  {
    folder = std::make_unique<TestFolder>();
    const QString awk = folder->createDatabase(QStringLiteral("awk.db"), QString::fromUtf8(awkwardSchema));
    for (const char* sql : {misfitOpen, misfitRow, misfitClose, bytesSchema})
      executeSql(awk, QString::fromUtf8(sql));
    demoFile = qEnvironmentVariable("KESTREL_DEMO_DB");
    if (pg_test::available()) {
      try {
        pgDatabase = std::make_unique<pg_test::TempDatabase>(QStringLiteral("exactexport"));
        pgDatabase->exec(QString::fromUtf8(pgSchema));
      } catch (const std::exception& e) {
        QFAIL(e.what());
      }
    }
  }
  void cleanupTestCase()
  {
    reader.closeWriteChannel();
    reader.waitForFinished(10000);
    if (!connectedAlias.isEmpty())
      stopProgram();
    pgDatabase.reset();
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
    QTest::addColumn<QString>("table");     // opened from the tree when set
    QTest::addColumn<QString>("query");     // else run in the editor
    QTest::addColumn<QString>("oracleSql"); // the same rows, in the same order, for the database's own reader
    QTest::addColumn<QString>("typesOf");   // the table or view whose declared types the columns have
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("names");
    QTest::addColumn<bool>("quotes");
    QTest::addColumn<bool>("mime");
    const QString awk = QStringLiteral("Awk"), demo = QStringLiteral("Demo"), byId = QStringLiteral(" ORDER BY id");
    addSource(awk, QStringLiteral("awk"), byId);
    addSource(awk, QStringLiteral("awk_bytes"), byId, false);
    QByteArray tables;
    if (readbackHelper({QStringLiteral("--tables"), demoFile}, &tables) != 0) {
      QTest::newRow("demo database missing") << demo << QString() << QString() << QString() << QString() << QString()
                                             << false << false << false;
    } else {
      for (const QJsonValue& t : QJsonDocument::fromJson(tables).array())
        addSource(demo, t[0].toString(), t[1].toString());
      const QString ordered = QStringLiteral("SELECT * FROM CustomerTotals ORDER BY OrderCount, CustomerID");
      addRows(demo, QStringLiteral("Demo:CustomerTotals ordered"), QString(), ordered, ordered, QStringLiteral("CustomerTotals"));
    }
    addSource(QStringLiteral("PG"), QStringLiteral("pg_awk"), byId);
    addSource(QStringLiteral("PG"), QStringLiteral("pg_awk_bytes"), byId, false);
  }
  void everyExportReadsBack()
  {
    QFETCH(QString, alias);
    QFETCH(QString, table);
    QFETCH(QString, query);
    QFETCH(QString, oracleSql);
    QFETCH(QString, typesOf);
    QFETCH(QString, format);
    QFETCH(bool, names);
    QFETCH(bool, quotes);
    QFETCH(bool, mime);
    if (alias == QLatin1String("Demo"))
      QVERIFY2(QFileInfo::exists(demoFile), "the build makes the demo database (KESTREL_DEMO_DB)");
    if (alias == QLatin1String("PG"))
      PG_REQUIRE_SERVER();
    connectTo(alias);
    if (QTest::currentTestFailed())
      return;
    QVERIFY2(open(alias, table, query), qPrintable(QStringLiteral("cannot open ") + table + query));

    // A previous file at the path: replaced by a complete export.
    const QString file = folder->path(QStringLiteral("export%1.%2").arg(++serial).arg(format));
    const QByteArray previous = "previous content\r\n";
    writeFile(file, previous);
    const QStringList messages = runExport(query.isEmpty(), format, file, names, quotes, mime);
    QVERIFY2(messages.isEmpty(), qPrintable(QStringLiteral("the export failed: ") + messages.join(QLatin1String(" | "))));
    QVERIFY2(fileContent(file) != previous, "the export left the previous file in place");
    readBack(alias, format, file, names, mime, oracleSql, typesOf);
  }

  // Text that XML 1.0 cannot carry as character data: without MIME the export stops with a message
  // naming the row, the field and (for a table) the table, and the previous file stays; with MIME
  // the same rows export and read back.
  void xmlRefusesWhatItCannotCarry_data()
  {
    QTest::addColumn<QString>("alias");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("query");  // the table's rows 1, 2 and one that XML cannot carry; the table itself when empty
    QTest::addColumn<QString>("field");  // the first field that cannot be carried
    for (const auto& [alias, table, lastRow] : {std::tuple{"Awk", "awk_bytes", lastBytesRow}, {"PG", "pg_awk_bytes", lastPgBytesRow}}) {
      QTest::addRow("%s:%s table", alias, table) << alias << table << QString() << "vc_text";
      for (int id = firstBytesRow; id <= lastRow; ++id)
        QTest::addRow("%s:%s query row %d", alias, table, id)
            << alias << table << QStringLiteral("SELECT * FROM %1 WHERE id IN (1, 2, %2) ORDER BY id").arg(table).arg(id) << "vc_text";
    }
    QTest::newRow("Awk:awk_bytes query char field only")
        << "Awk" << "awk_bytes" << "SELECT id, label, ch_text FROM awk_bytes WHERE id IN (1, 2, 3) ORDER BY id" << "ch_text";
  }
  void xmlRefusesWhatItCannotCarry()
  {
    QFETCH(QString, alias);
    QFETCH(QString, table);
    QFETCH(QString, query);
    QFETCH(QString, field);
    if (alias == QLatin1String("PG"))
      PG_REQUIRE_SERVER();
    connectTo(alias);
    if (QTest::currentTestFailed())
      return;
    QVERIFY(open(alias, query.isEmpty() ? table : QString(), query));

    const QString file = folder->path(QStringLiteral("refused%1.xml").arg(++serial));
    const QByteArray previous = "<previous/>\r\n";
    writeFile(file, previous);
    const QString text = runExport(query.isEmpty(), QStringLiteral("xml"), file, false, false, false).join(QLatin1String(" | "));
    QCOMPARE(fileContent(file), previous);
    QVERIFY2(!text.isEmpty(), "the export raised no error");
    if (query.isEmpty())  // a query result has no table of its own to name
      QVERIFY2(text.contains(table), qPrintable(QStringLiteral("no table name in: ") + text));
    QVERIFY2(text.contains(field), qPrintable(QStringLiteral("no field name in: ") + text));
    QVERIFY2(text.contains(QRegularExpression(QStringLiteral("(?<!\\d)3(?!\\d)"))), qPrintable(QStringLiteral("no row 3 in: ") + text));

    const QString mimeFile = folder->path(QStringLiteral("mime%1.xml").arg(++serial));
    const QStringList mimeMessages = runExport(query.isEmpty(), QStringLiteral("xml"), mimeFile, false, false, true);
    QVERIFY2(mimeMessages.isEmpty(), qPrintable(QStringLiteral("MIME export failed: ") + mimeMessages.join(QLatin1String(" | "))));
    const QString oracleSql = query.isEmpty() ? QStringLiteral("SELECT * FROM %1 ORDER BY id").arg(quoted(table)) : query;
    readBack(alias, QStringLiteral("xml"), mimeFile, false, true, oracleSql, table);
  }
};

QTEST_MAIN(TestExactExport)
#include "tst_exactexport.moc"
