// The ODBC type mapping (docs/odbc-types.md) row by row against real columns of a MariaDB server:
// each column's field type, size and precision, and its value read exactly, through the table and
// through a query.
#include "DataAccessHelpers.h"
#include "MariaTestServer.h"
#include "TestSupport.h"

#include <QtTest>

class TestOdbcTypes : public QObject {
  Q_OBJECT
  std::unique_ptr<maria_test::TempDatabase> my;
  std::unique_ptr<TestFolder> folder;
  std::unique_ptr<TDatabase> db;

  static QString longText() { return QString(40000, QChar(0x4E2D)) + QStringLiteral("😀"); }  // past one piece in UTF-16
  static QString longBytes() { return QString(QByteArray(100000, '\x5A').toHex()) + QStringLiteral("00ff"); }

private slots:
  void initTestCase()
  {
    MARIA_REQUIRE_SERVER();
    my = std::make_unique<maria_test::TempDatabase>(QStringLiteral("types"));
    folder = std::make_unique<TestFolder>();
    folder->useAliases(my->aliasSection(QStringLiteral("My")));
    db = openDatabase(QStringLiteral("TypesDB"), QStringLiteral("My"),
                      {QStringLiteral("USER NAME=") + QString::fromUtf8(maria_test::server().User2),
                       QStringLiteral("PASSWORD=") + QString::fromUtf8(maria_test::server().Password2)});
  }
  void cleanupTestCase()
  {
    db.reset();
    folder.reset();
    my.reset();
  }

  void mapsEveryType_data()
  {
    QTest::addColumn<QString>("column");   // the column's type as declared
    QTest::addColumn<QString>("literal");  // the value stored
    QTest::addColumn<QString>("field");    // type:size:precision
    QTest::addColumn<QString>("value");    // as DataAccessHelpers' show() gives it
    QTest::addColumn<QString>("queried");  // the field type of a query's column; empty: the table's
    QTest::newRow("tinyint") << "tinyint" << "-128" << "ftSmallint:0:0" << "i:-128" << "";
    QTest::newRow("tinyint unsigned") << "tinyint unsigned" << "255" << "ftWord:0:0" << "i:255" << "";
    QTest::newRow("smallint") << "smallint" << "-32768" << "ftSmallint:0:0" << "i:-32768" << "";
    QTest::newRow("smallint unsigned") << "smallint unsigned" << "65535" << "ftWord:0:0" << "i:65535" << "";
    QTest::newRow("mediumint") << "mediumint" << "-8388608" << "ftInteger:0:0" << "i:-8388608" << "";
    // ODBC calls every unsigned integer up to 32 bits SQL_INTEGER: 64 bits hold them all.
    QTest::newRow("mediumint unsigned") << "mediumint unsigned" << "16777215" << "ftLargeint:0:0" << "i:16777215" << "";
    QTest::newRow("int") << "int" << "-2147483648" << "ftInteger:0:0" << "i:-2147483648" << "";
    // A query's column does not say where its values come from: there it is a plain integer.
    QTest::newRow("int auto_increment") << "int AUTO_INCREMENT UNIQUE" << "7" << "ftAutoInc:0:0" << "i:7" << "ftInteger";
    QTest::newRow("int unsigned") << "int unsigned" << "4294967295" << "ftLargeint:0:0" << "i:4294967295" << "";
    QTest::newRow("bigint") << "bigint" << "-9223372036854775808" << "ftLargeint:0:0" << "i:-9223372036854775808" << "";
    QTest::newRow("bigint unsigned") << "bigint unsigned" << "18446744073709551615" << "ftBCD:0:20" << "t:18446744073709551615" << "";
    const QString digits65 = QStringLiteral("-12345678901234567890123456789012345.123456789012345678901234567890");
    QTest::newRow("decimal(65,30)") << "decimal(65,30)" << digits65 << "ftBCD:30:65" << "t:" + digits65 << "";
    QTest::newRow("decimal(5,2)") << "decimal(5,2)" << "-1.5" << "ftBCD:2:5" << "t:-1.50" << "";
    QTest::newRow("float") << "float" << "1.5" << "ftFloat:0:0" << "f:1.5" << "";
    QTest::newRow("double") << "double" << "0.1" << "ftFloat:0:0" << "f:0.10000000000000001" << "";
    QTest::newRow("date") << "date" << "'2024-02-29'" << "ftDate:0:0" << "t:2024-02-29" << "";
    QTest::newRow("time(3)") << "time(3)" << "'13:45:10.125'" << "ftTime:0:0" << "t:13:45:10.125" << "";
    QTest::newRow("time past a day, kept as stored") << "time" << "'-838:59:59'" << "ftTime:0:0" << "t:-838:59:59" << "";
    QTest::newRow("datetime(6)") << "datetime(6)" << "'2024-02-29 11:45:10.654321'" << "ftDateTime:0:0" << "t:2024-02-29 11:45:10.654321" << "";
    QTest::newRow("timestamp") << "timestamp NULL" << "'2038-01-19 03:14:07'" << "ftDateTime:0:0" << "t:2038-01-19 03:14:07" << "";
    QTest::newRow("char(5)") << "char(5)" << "'ab'" << "ftFixedChar:5:0" << "t:ab" << "";
    QTest::newRow("varchar(20), 4-byte characters") << "varchar(20)" << "'😀x€é𝄞'" << "ftString:20:0" << "t:😀x€é𝄞" << "";
    QTest::newRow("text") << "text" << "'a\nb'" << "ftMemo:0:0" << "t:a\nb" << "";
    QTest::newRow("mediumtext, longer than a piece") << "mediumtext" << "'" + longText() + "'" << "ftMemo:0:0" << "t:" + longText() << "";
    QTest::newRow("binary(4)") << "binary(4)" << "x'00ff0102'" << "ftBytes:4:0" << "b:00ff0102" << "";
    QTest::newRow("varbinary(10)") << "varbinary(10)" << "x'0a00'" << "ftVarBytes:10:0" << "b:0a00" << "";
    QTest::newRow("blob, longer than a piece") << "mediumblob" << "x'" + longBytes() + "'" << "ftBlob:0:0" << "b:" + longBytes() << "";
    QTest::newRow("bit(1)") << "bit(1)" << "b'1'" << "ftBoolean:0:0" << "i:1" << "";
    QTest::newRow("bit(12)") << "bit(12)" << "b'101000000101'" << "ftBytes:2:0" << "b:0a05" << "";
    // A result's column does not say it is an enumeration: there it is a CHAR of the longest label.
    QTest::newRow("enum") << "enum('a','bbb')" << "'bbb'" << "ftString:3:0" << "t:bbb" << "ftFixedChar";
    QTest::newRow("json") << "json" << "'{\"a\": [1, 2]}'" << "ftMemo:0:0" << "t:{\"a\": [1, 2]}" << "";
    QTest::newRow("null") << "int" << "NULL" << "ftInteger:0:0" << "null" << "";
  }
  void mapsEveryType()
  {
    QFETCH(QString, column);
    QFETCH(QString, literal);
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, queried);
    my->exec(QStringLiteral("DROP TABLE IF EXISTS typed; CREATE TABLE typed(id int PRIMARY KEY, v %1);"
                            "INSERT INTO typed VALUES (1, %2)").arg(column, literal));
    auto t = openTable(QStringLiteral("TypesDB"), QStringLiteral("typed"));
    const TField* f = t->Fields(1);
    QCOMPARE(QStringLiteral("%1:%2:%3").arg(fieldTypeIdentifier(f->DataType())).arg(f->Size()).arg(t->FieldDefs().Items(1).Precision),
             field);
    QCOMPARE(show(f->Value()), value);
    // A query's column is of the same type and holds the same value.
    auto q = openQuery(QStringLiteral("TypesDB"), QStringLiteral("SELECT v FROM typed"));
    QCOMPARE(fieldTypeIdentifier(q->Fields(0)->DataType()), queried.isEmpty() ? field.section(QLatin1Char(':'), 0, 0) : queried);
    QCOMPARE(show(q->Fields(0)->Value()), value);
  }

  // A value typed into a field reaches the server as that value, every digit, character and byte of
  // it, through parameters of the column's type.
  void typedValuesAreStored_data()
  {
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");  // as the server writes it (HEX() for bytes); empty: as typed
    QTest::newRow("bigint unsigned") << "bigint unsigned" << "18446744073709551615" << "";
    QTest::newRow("decimal(65,30)") << "decimal(65,30)" << "12345678901234567890123456789012345.123456789012345678901234567891"
                                    << "";
    QTest::newRow("double") << "double" << "0.30000000000000004" << "";
    QTest::newRow("date") << "date" << "2024-02-29" << "";
    QTest::newRow("datetime(3)") << "datetime(3)" << "2025-01-02 03:04:05.678" << "";
    QTest::newRow("time(3)") << "time(3)" << "23:59:58.999" << "";
    QTest::newRow("varchar, 4-byte characters") << "varchar(10)" << "😀x€é𝄞" << "";
    QTest::newRow("bit(1)") << "bit(1)" << "True" << "1";
  }
  void typedValuesAreStored()
  {
    QFETCH(QString, column);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    my->exec(QStringLiteral("DROP TABLE IF EXISTS typed; CREATE TABLE typed(id int PRIMARY KEY, v %1);"
                            "INSERT INTO typed(id) VALUES (1)").arg(column));
    auto t = openTable(QStringLiteral("TypesDB"), QStringLiteral("typed"));
    t->Edit();
    t->Fields(1)->SetAsString(typed);
    t->Post();
    const QString asStored = column.startsWith(QLatin1String("bit")) ? QStringLiteral("v + 0") : QStringLiteral("v");
    QCOMPARE(my->scalar(QStringLiteral("SELECT %1 FROM typed WHERE id = 1").arg(asStored)), stored.isEmpty() ? typed : stored);
  }
};

QTEST_MAIN(TestOdbcTypes)
#include "tst_odbc_types.moc"
