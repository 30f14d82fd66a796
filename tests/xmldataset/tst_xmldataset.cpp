#include "TestSupport.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/Database.h"
#include "dataaccess/FormatSettings.h"
#include "dataaccess/Table.h"
#include "xmldataset/XMLDataset.h"
#include "xmldataset/XMLText.h"

#include <QBuffer>
#include <QFile>
#include <QProcess>
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

// Reads a packet back with a real parser: every row as "name=value" texts, base64 decoded where
// given, a blob's bytes one character each; a size attribute that is not the value's byte length
// is reported in the cell. defs gets each field definition as "name|displaylabel|editmask".
QList<QStringList> readBack(const QByteArray& packet, bool mime, QStringList* defs = nullptr)
{
  QXmlStreamReader xml(packet);
  QList<QStringList> rows;
  QStringList longNames, blobNames;
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement())
      continue;
    const auto attribute = [&](const char* name) { return xml.attributes().value(QLatin1String(name)).toString(); };
    if (xml.name() == QLatin1String("fielddef")) {
      if (defs)
        *defs << attribute("name") + "|" + attribute("displaylabel") + "|" + attribute("editmask");
      if (mime || attribute("datatype") == QLatin1String("memo") || attribute("datatype") == QLatin1String("blob"))
        longNames << attribute("name");
      if (attribute("datatype") == QLatin1String("blob"))
        blobNames << attribute("name");
    } else if (xml.name() == QLatin1String("row")) {
      rows << QStringList();
    } else if (xml.name() == QLatin1String("field")) {
      const QString name = attribute("name"), size = attribute("size");
      if (xml.attributes().hasAttribute(QStringLiteral("value"))) {
        rows.last() << name + "=" + attribute("value");
      } else if (size == QLatin1String("-1")) {
        rows.last() << name + "=<null>";
      } else {
        // The text stands on lines of its own between "<![CDATA[" and "]]>".
        QString text = xml.readElementText();
        text = size == QLatin1String("0") ? QString() : text.mid(2, text.size() - 4);
        const QByteArray bytes = longNames.contains(name) ? QByteArray::fromBase64(text.toLatin1()) : text.toUtf8();
        rows.last() << name + "=" + (blobNames.contains(name) ? QString::fromLatin1(bytes) : QString::fromUtf8(bytes)) +
                           (QString::number(bytes.size()) == size ? QString() : " (size " + size + ")");
      }
    }
  }
  if (xml.hasError())
    rows << QStringList{QStringLiteral("parse error: ") + xml.errorString()};
  return rows;
}

bool xmllintAccepts(const QString& file, QString* message)
{
  QProcess p;
  // --huge lifts libxml2's own 10 MB guard on a single text node; the file is what is checked.
  p.start(QStringLiteral("xmllint"), {QStringLiteral("--noout"), QStringLiteral("--huge"), file});
  if (!p.waitForFinished(30000)) {
    *message = QStringLiteral("xmllint did not run: ") + p.errorString();
    return false;
  }
  *message = QString::fromUtf8(p.readAllStandardError());
  return p.exitCode() == 0;
}

}  // namespace

class TestXMLDataset : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;
  std::unique_ptr<TDatabase> db;
  TXMLDataset writer;

  std::unique_ptr<TTable> table(const QString& name, bool open = true)
  {
    auto t = std::make_unique<TTable>();
    t->SetDatabaseName(QStringLiteral("XmlDB"));
    t->SetTableName(name);
    if (open)
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

  // Saves the dataset to a file; the error message, or empty.
  QString saveError(TDataSet& ds, const QString& file)
  {
    writer.SetDataSet(&ds);
    try {
      writer.SaveToFile(file);
    } catch (const EDatabaseError& e) {
      return e.Message();
    }
    return QString();
  }

  // The same over a previous file.
  QString writeOver(TDataSet& ds, const QString& file)
  {
    QFile previous(file);
    if (!previous.open(QIODevice::WriteOnly) || previous.write("previous export") != 15)
      return QStringLiteral("cannot write the previous file");
    previous.close();
    return saveError(ds, file);
  }

  static QByteArray content(const QString& file)
  {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
  }

private slots:
  void init()
  {
    folder = std::make_unique<TestFolder>();
    folder->createDatabase(QStringLiteral("x.db"), QString::fromLatin1(allTypesSql) + QStringLiteral(
        "CREATE TABLE tricky(id INTEGER PRIMARY KEY, s VARCHAR(50), memo TEXT, b BLOB);"
        "INSERT INTO tricky VALUES (1, 'quote \" lt < amp & end ]]> done', 'line' || char(13,10) || 'break ]]>', x'');"
        "INSERT INTO tricky VALUES (2, 'CR' || char(13) || 'LF' || char(10) || 'both' || char(13,10) || 'é 漢字 🦅 ]]>', '', NULL);"

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
    QTest::newRow("]]> inside") << QByteArray("a]]>b");
    QTest::newRow("]]> last") << QByteArray("a]]>");
    QTest::newRow("]]> twice in a row") << QByteArray("]]>]]>");
    QTest::newRow("]]> after more brackets") << QByteArray("x]]]]>>");
    QTest::newRow("almost an end") << QByteArray("a]]b]>]");
    QTest::newRow("markup") << QByteArray("<a href=\"x\">&amp;</a>");
    QTest::newRow("lone CR") << QByteArray("a\rb");
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n");
    QTest::newRow("CR around ]]>") << QByteArray("\r]]>\r");
    QTest::newRow("non-ASCII") << QByteArray("é 山田 🦅");
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
    QString attribute, characters;
    while (!xml.atEnd()) {
      xml.readNext();
      if (xml.isStartElement())
        attribute = xml.attributes().value(QStringLiteral("v")).toString();
      else if (xml.isCharacters())
        characters += xml.text();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString() + ": " + QString::fromUtf8(doc)));
    QCOMPARE(attribute, QString::fromUtf8(text));
    QCOMPARE(characters, QString::fromUtf8(text));
  }

  // Whatever the values hold, the file parses and reads back to them, sizes included.
  void everyFileReadsBack_data()
  {
    QTest::addColumn<bool>("mime");
    QTest::newRow("plain") << false;
    QTest::newRow("mime") << true;
  }
  void everyFileReadsBack()
  {
    QFETCH(bool, mime);
    writer.UseMimeEncoding = mime;
    // Values of megabytes: the output grows past its chunks within one item.
    QByteArray blob(1000000, Qt::Uninitialized);
    for (qsizetype i = 0; i < blob.size(); ++i)
      blob[i] = char((i * 7919) >> 3);
    executeSql(folder->path(QStringLiteral("x.db")), QStringLiteral(
        "INSERT INTO tricky VALUES (3, replace(hex(zeroblob(600000)), '00', 'ab'), replace(hex(zeroblob(900000)), '00', 'c]'), x'%1')")
        .arg(QString::fromLatin1(blob.toHex())));
    auto t = table(QStringLiteral("tricky"));
    const QString file = folder->path(QStringLiteral("tricky.xml"));
    writer.SetDataSet(t.get());
    writer.SaveToFile(file);
    QString message;
    QVERIFY2(xmllintAccepts(file, &message), qPrintable(message));
    const QList<QStringList> rows = readBack(content(file), mime);
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0], QStringList({"id=1", "s=quote \" lt < amp & end ]]> done", "memo=line\r\nbreak ]]>", "b="}));
    QCOMPARE(rows[1], QStringList({"id=2", QStringLiteral("s=CR\rLF\nboth\r\né 漢字 🦅 ]]>"), "memo=", "b=<null>"}));
    QVERIFY(rows[2] == QStringList({"id=3", "s=" + QString("ab").repeated(600000), "memo=" + QString("c]").repeated(900000),
                                    "b=" + QString::fromLatin1(blob)}));
  }

  // Names, labels and masks are attribute values: markup, quotes and line ends in them read back.
  void namesAndLabelsAreEscaped()
  {
    executeSql(folder->path(QStringLiteral("x.db")), QStringLiteral("CREATE TABLE \"a<b\"(\"x\"\"&<y\" INT); INSERT INTO \"a<b\" VALUES (1);"));
    auto t = table(QStringLiteral("a<b"));
    t->Fields(0)->DisplayLabel = QStringLiteral("two\r\nlines\tand \"<&>\"");
    t->Fields(0)->EditMask = QStringLiteral("0\"0");
    QStringList defs;
    QCOMPARE(readBack(write(*t), false, &defs), QList<QStringList>{QStringList({"x\"&<y=1"})});
    QCOMPARE(defs, QStringList({"x\"&<y|two\r\nlines\tand \"<&>\"|0\"0"}));
  }

  void emptyDataset()
  {
    executeSql(folder->path(QStringLiteral("x.db")), QStringLiteral("DELETE FROM many"));
    auto t = table(QStringLiteral("many"));
    QVERIFY(write(*t).endsWith("<recorddata count=\"0\">\r\n</recorddata>\r\n</datapacket>\r\n"));
  }

  // Stop after the third row: a complete packet with three rows; the count stays what it was.
  void stopRequestedAfterTheThirdRow()
  {
    auto t = table(QStringLiteral("many"));
    int moves = 0;
    t->AfterScroll = [&](TDataSet&) {
      if (++moves == 4)  // the first record, then the move after each row
        writer.StopRequested = true;
    };
    const QByteArray got = write(*t);
    QCOMPARE(int(got.count("<row>")), 3);
    QVERIFY(got.contains("<recorddata count=\"10\">"));
    QVERIFY(got.endsWith("</recorddata>\r\n</datapacket>\r\n"));
    QVERIFY(!writer.StopRequested);
  }

  void datasetStateIsRestored()
  {
    auto t = table(QStringLiteral("many"));
    t->OnFilterRecord = [](TDataSet& ds) { return ds.Fields(0)->AsString().toInt() % 2 == 0; };
    t->SetFiltered(true);
    t->Next();
    t->Next();
    const QString before = t->Fields(0)->AsString();
    t->DisableControls();
    const QByteArray got = write(*t);
    QCOMPARE(int(got.count("<row>")), 5);  // the filter is in force during the write
    QCOMPARE(t->Fields(0)->AsString(), before);
    QVERIFY(t->Filtered());
    QVERIFY(t->ControlsDisabled());
    t->EnableControls();
    QVERIFY(!t->ControlsDisabled());
    write(*t);
    QVERIFY(!t->ControlsDisabled());  // the writer's own disabling is undone

    auto closed = table(QStringLiteral("many"), false);
    QVERIFY(write(*closed).contains("<recorddata count=\"10\">"));
    QVERIFY(!closed->Active());
    closed.reset();  // a destroyed dataset is forgotten
    QVERIFY(!writer.DataSet());
  }

  // A failing stream and a dataset error: the caller hears of it, and the dataset, the format
  // settings and a previous file are as before.
  void failuresReachTheCallerAfterRestoring()
  {
    FormatSettings().DecimalSeparator = QLatin1Char(',');
    FormatSettings().ShortDateFormat = QStringLiteral("dd/mm/yyyy");
    auto t = table(QStringLiteral("many"));
    t->Next();
    QFile full(QStringLiteral("/dev/full"));
    QVERIFY(full.open(QIODevice::WriteOnly));
    writer.SetDataSet(t.get());
    try {
      writer.SaveToStream(&full);
      QFAIL("a full disk went unnoticed");
    } catch (const EDatabaseError& e) {
      QVERIFY2(e.Message().contains(QStringLiteral("/dev/full")) && e.Message().contains(QStringLiteral("space")), qPrintable(e.Message()));
    }
    QCOMPARE(t->RecNo(), 2);
    QVERIFY(!t->ControlsDisabled());
    QCOMPARE(FormatSettings().DecimalSeparator, QLatin1Char(','));
    QCOMPARE(FormatSettings().ShortDateFormat, QStringLiteral("dd/mm/yyyy"));
    FormatSettings() = TFormatSettings{};
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, writer.SaveToFile(QStringLiteral("/dev/full")));

    // A dataset error in the middle: the table goes away while rows are read.
    t->AfterScroll = [&](TDataSet& ds) {
      if (ds.RecNo() == 2)
        executeSql(folder->path(QStringLiteral("x.db")), QStringLiteral("DROP TABLE many"));
    };
    const QString target = folder->path(QStringLiteral("kept.xml"));
    QVERIFY2(writeOver(*t, target).contains(QStringLiteral("no such table")), "the error went unnoticed");
    QCOMPARE(content(target), QByteArray("previous export"));
    QCOMPARE(QDir(folder->path(QString())).entryList(QStringList{QStringLiteral("kept.xml*")}, QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("kept.xml")});
  }

  // Creating, replacing and failing files is the file sink's matter (tst_filesink); without a
  // dataset there is nothing to write, and no file is made.
  void noDatasetMakesNoFile()
  {
    writer.SetDataSet(nullptr);
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, writer.SaveToFile(folder->path(QStringLiteral("none.xml"))));
    QVERIFY(!QFile::exists(folder->path(QStringLiteral("none.xml"))));
  }

  // Text XML 1.0 cannot carry is never written raw: the write stops naming the table, row and
  // field, the previous file stays, and MIME encoding carries it where it can. Which characters
  // those are is forbiddenCharacters' matter.
  void valuesXmlCannotCarry_data()
  {
    QTest::addColumn<QString>("column");   // declared type
    QTest::addColumn<QString>("value");    // SQL expression
    QTest::addColumn<bool>("mime");
    QTest::addColumn<bool>("written");
    const char* control = "'a' || char(1) || 'b'";
    QTest::newRow("string") << "VARCHAR(20)" << control << false << false;
    QTest::newRow("text in an integer column, MIME") << "INTEGER" << control << true << false;
    QTest::newRow("memo") << "TEXT" << control << false << true;
    QTest::newRow("allowed controls") << "VARCHAR(20)" << "char(9, 10, 13, 129413)" << false << true;
    QTest::newRow("blob in an integer column") << "INTEGER" << "x'00ff'" << false << true;
  }
  void valuesXmlCannotCarry()
  {
    QFETCH(QString, column);
    QFETCH(QString, value);
    QFETCH(bool, mime);
    QFETCH(bool, written);
    executeSql(folder->path(QStringLiteral("x.db")), QStringLiteral(
        "CREATE TABLE odd(id INTEGER PRIMARY KEY, v %1); INSERT INTO odd VALUES (1, 'fine'), (2, 'fine'), (3, %2);").arg(column, value));
    auto t = table(QStringLiteral("odd"));
    const QString file = folder->path(QStringLiteral("odd.xml"));
    writer.UseMimeEncoding = mime;
    const QString error = writeOver(*t, file);
    if (!written) {
      QVERIFY2(error.contains(QStringLiteral("field \"v\" in row 3 of table \"odd\"")), qPrintable(error));
      QCOMPARE(error.contains(QStringLiteral("MIME")), column.startsWith(QLatin1String("VARCHAR")));
      QCOMPARE(content(file), QByteArray("previous export"));
      QVERIFY(!t->ControlsDisabled());
      return;
    }
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QString message;
    QVERIFY2(xmllintAccepts(file, &message), qPrintable(message));
    QCOMPARE(readBack(content(file), mime).size(), 3);
  }

  void fieldNamesXmlCannotCarry()
  {
    executeSql(folder->path(QStringLiteral("x.db")), QStringLiteral("CREATE TABLE names(\"a\x01-b\" INT); INSERT INTO names VALUES (1);"));
    auto t = table(QStringLiteral("names"));
    const QString error = writeOver(*t, folder->path(QStringLiteral("names.xml")));
    QVERIFY2(error.contains(QStringLiteral("name of field 1 of table \"names\"")), qPrintable(error));
  }

  void forbiddenCharacters_data()
  {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("offset");
    QTest::newRow("ascii with tab, lf, cr") << QByteArray("a\tb\nc\rd") << -1;
    QTest::newRow("nul") << QByteArray("ab\0c", 4) << 2;
    QTest::newRow("escape") << QByteArray("\x1b[0m") << 0;
    QTest::newRow("C1 control is a character") << QByteArray("\xC2\x85") << -1;
    QTest::newRow("lone continuation") << QByteArray("a\x80") << 1;
    QTest::newRow("overlong two-byte") << QByteArray("\xC1\xBF") << 0;
    QTest::newRow("overlong three-byte") << QByteArray("\xE0\x9F\xBF") << 0;
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
