#include "TestSupport.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/Database.h"
#include "dataaccess/FormatSettings.h"
#include "dataaccess/Table.h"
#include "xmldataset/XMLDataset.h"
#include "xmldataset/XMLText.h"

#include <QBuffer>
#include <QFile>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

const char* const allTypesSql =
    "CREATE TABLE t(id INTEGER PRIMARY KEY, ok BOOLEAN, r REAL, d DECIMAL(18,6), tm TIME, ts DATETIME,"
    " s VARCHAR(10) NOT NULL, memo TEXT, b BLOB);"
    "INSERT INTO t VALUES (1, 1, -0.00005, 1234.5678, '13:05:09.042', '2024-03-05 00:00:00.250', 'a\"<&b', 'ab', x'00ff');"
    "INSERT INTO t (id, s) VALUES (2, '');";

QByteArray lines(std::initializer_list<const char*> list)
{
  QByteArray out;
  for (const char* l : list)
    out.append(l).append("\r\n");
  return out;
}

QByteArray fieldDef(const char* name, const char* type, int size, int index, bool required = false)
{
  return QStringLiteral("<fielddef name=\"%1\" fieldkind=\"data\" datatype=\"%2\" fieldsize=\"%3\" displaylabel=\"%1\" "
                        "editmask=\"\" displaywidth=\"0\" fieldindex=\"%4\" required=\"%5\" readonly=\"false\"/>\r\n")
      .arg(QLatin1String(name), QLatin1String(type)).arg(size).arg(index).arg(required ? "true" : "false").toUtf8();
}

}  // namespace

class TestXMLDataset : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;
  std::unique_ptr<TDatabase> db;
  TXMLDataset writer;

  std::unique_ptr<TTable> table(const QString& name)
  {
    auto t = std::make_unique<TTable>();
    t->SetDatabaseName(QStringLiteral("XmlDB"));
    t->SetTableName(name);
    t->Open();
    return t;
  }

  QByteArray write(TDataSet& ds)
  {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writer.SetDataSet(&ds);
    writer.SaveToStream(&buffer);
    return buffer.data();
  }

private slots:
  void init()
  {
    folder = std::make_unique<TestFolder>();
    folder->createDatabase(QStringLiteral("x.db"), QString::fromLatin1(allTypesSql) + QStringLiteral(
        "CREATE TABLE many(id INTEGER PRIMARY KEY, v TEXT);"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10) INSERT INTO many SELECT i, 'v' || i FROM n;"));
    folder->useAliases("[X]\nDriver=SQLite\nDatabase=x.db\n");
    db = std::make_unique<TDatabase>();
    db->SetDatabaseName(QStringLiteral("XmlDB"));
    db->SetAliasName(QStringLiteral("X"));
    db->Open();
    writer.Clock = [] { return QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9, 42)); };
    writer.UseMimeEncoding = false;
  }
  void cleanup()
  {
    writer.SetDataSet(nullptr);
    db.reset();
    folder.reset();
  }

  void everyTypeByteForByte()
  {
    auto t = table(QStringLiteral("t"));
    QByteArray expected = lines({"<?xml version=\"1.0\" standalone=\"yes\"?>",
                                 "<datapacket version=\"2.000\" destination=\"\" day=\"5\" month=\"3\" year=\"2024\" hour=\"7\" min=\"8\" sec=\"9\" msec=\"42\">",
                                 "<metadata fielddefs=\"yes\" indexdefs=\"no\" recorddata=\"yes\" changes=\"yes\">",
                                 "<fielddefs count=\"9\">"});
    expected += fieldDef("id", "autoinc", 0, 0) + fieldDef("ok", "boolean", 0, 1) + fieldDef("r", "float", 0, 2) +
                fieldDef("d", "bcd", 6, 3) + fieldDef("tm", "time", 0, 4) + fieldDef("ts", "datetime", 0, 5) +
                fieldDef("s", "string", 10, 6, true) + fieldDef("memo", "memo", 0, 7) + fieldDef("b", "blob", 0, 8);
    expected += lines({"</fielddefs>", "<indexdefs count=\"0\">", "</indexdefs>", "</metadata>", "<recorddata count=\"2\">",
                       "<row>", "<field name=\"id\" value=\"1\"/>", "<field name=\"ok\" value=\"True\"/>",
                       "<field name=\"r\" value=\"-5E-5\"/>", "<field name=\"d\" value=\"1234.5678\"/>",
                       "<field name=\"tm\" value=\"13:05:09:042\"/>", "<field name=\"ts\" value=\"2024-03-05 00:00:00:250\"/>",
                       "<field name=\"s\" size=\"5\">", "<![CDATA[", "a\"<&b", "]]>", "</field>",
                       "<field name=\"memo\" size=\"2\">", "<![CDATA[", "YWI=", "]]>", "</field>",
                       "<field name=\"b\" size=\"2\">", "<![CDATA[", "AP8=", "]]>", "</field>", "</row>",
                       "<row>", "<field name=\"id\" value=\"2\"/>", "<field name=\"ok\" size=\"-1\"/>",
                       "<field name=\"r\" size=\"-1\"/>", "<field name=\"d\" size=\"-1\"/>", "<field name=\"tm\" size=\"-1\"/>",
                       "<field name=\"ts\" size=\"-1\"/>", "<field name=\"s\" size=\"0\">", "</field>",
                       "<field name=\"memo\" size=\"-1\"/>", "<field name=\"b\" size=\"-1\"/>", "</row>", "</recorddata>",
                       "</datapacket>"});
    const QByteArray got = write(*t);
    // Line by line first, so that a difference shows where it is.
    const QList<QByteArray> a = got.split('\n'), b = expected.split('\n');
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i)
      QCOMPARE(a[i], b[i]);
    QCOMPARE(got, expected);
  }

  // Character data and attribute values read back through a real parser as the very text written,
  // whatever markup, line ends and section ends the text holds.
  void textsReadBackThroughAParser_data()
  {
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("]]> first") << QByteArray("]]>x");
    QTest::newRow("]]> last") << QByteArray("a]]>");
    QTest::newRow("]]> twice in a row") << QByteArray("]]>]]>");
    QTest::newRow("]]> after more brackets") << QByteArray("x]]]]>>");
    QTest::newRow("almost an end") << QByteArray("a]]b]>]");
    QTest::newRow("markup") << QByteArray("<a href=\"x\">&amp;</a>");
    QTest::newRow("lone CR") << QByteArray("a\rb");
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n");
    QTest::newRow("CR around ]]>") << QByteArray("\r]]>\r");
  }
  void textsReadBackThroughAParser()
  {
    QFETCH(QByteArray, text);
    QByteArray doc("<a v=\"");
    XMLText::appendAttributeValue(doc, text);
    doc += "\"><![CDATA[";
    XMLText::appendCharacterData(doc, text);
    doc += "]]></a>";
    QXmlStreamReader xml(doc);
    QVERIFY2(xml.readNextStartElement(), doc.constData());
    QCOMPARE(xml.attributes().value(QStringLiteral("v")).toString(), QString::fromUtf8(text));
    QCOMPARE(xml.readElementText(), QString::fromUtf8(text));
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString() + ": " + QString::fromUtf8(doc)));
  }

  // Names, labels and masks are attribute values: markup, quotes and line ends in them are escaped.
  void namesAndLabelsAreEscaped()
  {
    executeSql(folder->path(QStringLiteral("x.db")), QStringLiteral("CREATE TABLE \"a<b\"(\"x\"\"&<y\" INT); INSERT INTO \"a<b\" VALUES (1);"));
    auto t = table(QStringLiteral("a<b"));
    t->Fields(0)->DisplayLabel = QStringLiteral("two\r\nlines\tand \"<&>\"");
    t->Fields(0)->EditMask = QStringLiteral("0\"0");
    const QByteArray packet = write(*t);
    for (const char* escaped : {"<fielddef name=\"x&quot;&amp;&lt;y\"", "displaylabel=\"two&#13;&#10;lines&#9;and &quot;&lt;&amp;>&quot;\"",
                                "editmask=\"0&quot;0\"", "<field name=\"x&quot;&amp;&lt;y\" value=\"1\"/>"})
      QVERIFY2(packet.contains(escaped), escaped);
  }

  void emptyDataset()
  {
    executeSql(folder->path(QStringLiteral("x.db")), QStringLiteral("DELETE FROM many"));
    auto t = table(QStringLiteral("many"));
    QVERIFY(write(*t).endsWith("<recorddata count=\"0\">\r\n</recorddata>\r\n</datapacket>\r\n"));
  }

  // Text XML 1.0 cannot carry is never written raw: the write stops naming the table, row and field
  // (offering MIME where it would carry the text), and the previous file stays. A memo is base64 anyway.
  void valuesXmlCannotCarry_data()
  {
    QTest::addColumn<QString>("name");    // of the column
    QTest::addColumn<QString>("column");  // declared type
    QTest::addColumn<bool>("mime");
    QTest::addColumn<QString>("error");
    const QString cannot = QStringLiteral(" of table \"odd\" holds characters that XML cannot carry (control characters, or bytes that "
                                          "are not UTF-8 text).");
    const QString offer = QStringLiteral(" Export with \"Use MIME encoding for string fields\" to write it base64-encoded.");
    QTest::newRow("string") << "v" << "VARCHAR(20)" << false << "field \"v\" in row 3" + cannot + offer;
    QTest::newRow("fixed char") << "v" << "CHAR(5)" << false << "field \"v\" in row 3" + cannot + offer;
    QTest::newRow("text in an integer column, MIME") << "v" << "INTEGER" << true << "field \"v\" in row 3" + cannot;
    QTest::newRow("field name") << "a\x01-b" << "TEXT" << false << "the name of field 2" + cannot;
    QTest::newRow("memo") << "v" << "TEXT" << false << "";
  }
  void valuesXmlCannotCarry()
  {
    QFETCH(QString, name);
    QFETCH(QString, column);
    QFETCH(bool, mime);
    QFETCH(QString, error);
    const QString sql = QStringLiteral("CREATE TABLE odd(id INTEGER PRIMARY KEY, \"%1\" %2);"
                                       " INSERT INTO odd VALUES (1, 'fine'), (2, 'fine'), (3, 'a' || char(1) || 'b');");
    executeSql(folder->path(QStringLiteral("x.db")), sql.arg(name, column));
    auto t = table(QStringLiteral("odd"));
    QFile file(folder->path(QStringLiteral("odd.xml")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("previous export") == 15);
    file.close();
    writer.SetDataSet(t.get());
    writer.UseMimeEncoding = mime;
    QString message;
    try {
      writer.SaveToFile(file.fileName());
    } catch (const EDatabaseError& e) {
      message = e.Message();
    }
    QCOMPARE(message, error.isEmpty() ? error : QStringLiteral("Cannot write the XML file: ") + error);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains(error.isEmpty() ? "<field name=\"v\" size=\"3\">\r\n<![CDATA[\r\nYQFi\r\n]]>" : "previous export"));
    QVERIFY(!t->ControlsDisabled());
  }

  void forbiddenCharacters_data()
  {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("offset");
    QTest::newRow("nul") << QByteArray("ab\0c", 4) << 2;
    QTest::newRow("escape") << QByteArray("\x1b[0m") << 0;
    QTest::newRow("C1 control is a character") << QByteArray("\xC2\x85") << -1;
    QTest::newRow("lone continuation") << QByteArray("a\x80") << 1;
    QTest::newRow("overlong two-byte") << QByteArray("\xC1\xBF") << 0;
    QTest::newRow("last before surrogates") << QByteArray("\xED\x9F\xBF") << -1;
    QTest::newRow("surrogate") << QByteArray("x\xED\xBF\xBF") << 1;
    QTest::newRow("U+FFFE") << QByteArray("\xEF\xBF\xBE") << 0;
    QTest::newRow("overlong four-byte") << QByteArray("\xF0\x8F\xBF\xBF") << 0;
    QTest::newRow("U+10FFFF") << QByteArray("\xF4\x8F\xBF\xBF") << -1;
    QTest::newRow("past U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << 0;
    QTest::newRow("cut short") << QByteArray("ab\xF0\x9F\xA6") << 2;
    QTest::newRow("bad third byte") << QByteArray("\xE5\xB1\x41") << 0;
    QTest::newRow("F5 never starts") << QByteArray("\xF5\x80\x80\x80") << 0;
  }
  void forbiddenCharacters()
  {
    QFETCH(QByteArray, text);
    QFETCH(int, offset);
    QCOMPARE(XMLText::firstForbiddenCharacter(text.constData(), text.size()), qsizetype(offset));
  }
};

QTEST_GUILESS_MAIN(TestXMLDataset)
#include "tst_xmldataset.moc"
