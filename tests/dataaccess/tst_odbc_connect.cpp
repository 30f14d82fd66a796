// The ODBC driver against a real MariaDB server: logging in through a data source or a connection
// string whatever the password holds, the driver manager's and the driver's own refusals, and the
// catalog (tables, structures and keys).
#include "DataAccessHelpers.h"
#include "MariaTestServer.h"
#include "TestSupport.h"

#include "dataaccess/Session.h"

#include <QtTest>

class TestOdbcConnect : public QObject {
  Q_OBJECT
  std::unique_ptr<maria_test::TempDatabase> my;
  std::unique_ptr<TestFolder> folder;

  static std::unique_ptr<TDatabase> open(const QString& alias, const QString& user, const QString& password)
  {
    return openDatabase(QStringLiteral("OdbcDB"), alias, {QStringLiteral("USER NAME=") + user, QStringLiteral("PASSWORD=") + password});
  }
  static QString user() { return QString::fromUtf8(maria_test::server().User); }
  static QString password() { return QString::fromUtf8(maria_test::server().Password); }
  static QString user2() { return QString::fromUtf8(maria_test::server().User2); }
  static QString password2() { return QString::fromUtf8(maria_test::server().Password2); }

private slots:
  void initTestCase()
  {
    MARIA_REQUIRE_SERVER();
    my = std::make_unique<maria_test::TempDatabase>(QStringLiteral("catalog"));
    my->exec(QStringLiteral(
        "CREATE TABLE orders(id int PRIMARY KEY, total decimal(15,2), placed datetime NOT NULL);"
        "CREATE TABLE `we``ird name`(`Mixed Col` int, `b` varchar(8) NOT NULL, `a.b` text, PRIMARY KEY (`Mixed Col`, `b`));"
        "CREATE TABLE log_2024(at datetime);"
        "CREATE TABLE logx2024(at datetime);"
        "CREATE VIEW big_orders AS SELECT * FROM orders WHERE total > 100;"
        "INSERT INTO orders VALUES (1, 50, '2024-01-01'), (2, 150, '2024-01-02');"
        "INSERT INTO `we``ird name` VALUES (2, 'x', 'two'), (1, 'x', 'one'), (3, 'a', 'three');"));
  }
  void cleanupTestCase() { my.reset(); }

  void init()
  {
    MARIA_REQUIRE_SERVER();
    folder = std::make_unique<TestFolder>();
    const maria_test::Server& s = maria_test::server();
    folder->useAliases(my->aliasSection(QStringLiteral("Plain")) +
                       "[Named]\nDriver=ODBC\nDSN=" + s.Dsn + "\n"
                       "[NoSuchDsn]\nDriver=ODBC\nDSN=kestrel_no_such_source\n"
                       "[NoLibrary]\nDriver=ODBC\nConnectionString=DRIVER=/nonexistent/libkestrel_missing.so\n"
                       // Nothing listens on port 1 of the loopback.
                       "[Refusing]\nDriver=ODBC\nConnectionString=DRIVER={" + s.Driver + "};SERVER=127.0.0.1;PORT=1\n"
                       "[Both]\nDriver=ODBC\nDSN=" + s.Dsn + "\nConnectionString=DRIVER={" + s.Driver + "}\n"
                       "[Neither]\nDriver=ODBC\n");
  }
  void cleanup() { folder.reset(); }

  // Whatever the login holds reaches the data source as the value it is: it connects when right
  // (to the alias's database, as the alias's user), and refusals carry the driver manager's and the
  // driver's records with their SQLSTATE and native code.
  void connecting_data()
  {
    QTest::addColumn<QString>("alias");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("outcome");  // "user@host|database" when it connects, else a text of the refusal
    if (!maria_test::available())
      return;
    const QString database = QString::fromUtf8(maria_test::server().Database);
    QTest::newRow("a data source, a password full of ; { } = and blanks") << "Named" << user() << password()
                                                                          << user() + "@%|" + database;
    QTest::newRow("a connection string, a password full of ; { = and blanks") << "Plain" << user2() << password2()
                                                                              << user2() + "@%|" + my->name();
    QTest::newRow("a connection string, a password with '}'") << "Plain" << user() << password() << "closing brace '}'";
    QTest::newRow("a connection string, a user name with '}'") << "Plain" << user2() + "};UID=root" << password2() << "closing brace '}'";
    QTest::newRow("a wrong password") << "Named" << user() << password() + "x" << "SQLSTATE 28000, native error 1045";
    QTest::newRow("a data source that does not exist") << "NoSuchDsn" << user() << password() << "SQLSTATE IM002";
    QTest::newRow("a driver library that is missing") << "NoLibrary" << user2() << password2() << "libkestrel_missing.so";
    QTest::newRow("a server that refuses") << "Refusing" << user2() << password2() << "native error 2002";
    QTest::newRow("both DSN and ConnectionString") << "Both" << user() << password() << "either a 'DSN' or a 'ConnectionString'";
    QTest::newRow("neither DSN nor ConnectionString") << "Neither" << user() << password() << "either a 'DSN' or a 'ConnectionString'";
  }
  void connecting()
  {
    QFETCH(QString, alias);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, outcome);
    if (outcome.contains(QLatin1Char('|'))) {
      auto db = open(alias, user, password);
      auto q = openQuery(QStringLiteral("OdbcDB"), QStringLiteral("SELECT current_user(), database()"));
      QCOMPARE(q->Fields(0)->AsString() + '|' + q->Fields(1)->AsString(), outcome);
      return;
    }
    const QString message = errorOf([&] { open(alias, user, password); });
    QVERIFY2(message.section(QLatin1Char('\n'), 0, 0).contains(QStringLiteral("'%1'").arg(alias)) && message.contains(outcome),
             qPrintable(message));
    QVERIFY2(!message.contains(password) && !message.contains(this->password()), qPrintable(message));
  }

  // The tables and views of the database, each name usable to open it; the pattern filters them
  // with * and ?, and an "_" in a name is no wildcard.
  void listsTables_data()
  {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("all") << "" << QStringList{"big_orders", "log_2024", "logx2024", "orders", "we`ird name"};
    QTest::newRow("a pattern") << "log?2024" << QStringList{"log_2024", "logx2024"};
  }
  void listsTables()
  {
    QFETCH(QString, pattern);
    QFETCH(QStringList, names);
    auto db = open(QStringLiteral("Plain"), user2(), password2());
    QStringList listed;
    Session().GetTableNames(QStringLiteral("OdbcDB"), pattern, false, false, listed);
    listed.sort();
    QCOMPARE(listed, names);
  }

  // The structure as the catalog functions give it: types, sizes, NOT NULL and the key's order,
  // for names that need quoting too; a view has no key.
  void readsStructures_data()
  {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("fields");  // name:type:size:precision:required:key place
    QTest::addColumn<QStringList>("firstRow");
    QTest::newRow("keyed") << "orders" << QStringList{"id:ftInteger:0:0:1:1", "total:ftBCD:2:15:0:0", "placed:ftDateTime:0:0:1:0"}
                           << QStringList{"1", "50.00"};
    QTest::newRow("quoted names, a key of two columns")
        << "we`ird name" << QStringList{"Mixed Col:ftInteger:0:0:1:1", "b:ftString:8:0:1:2", "a.b:ftMemo:0:0:0:0"}
        << QStringList{"1", "x"};
    QTest::newRow("a view") << "big_orders" << QStringList{"id:ftInteger:0:0:1:0", "total:ftBCD:2:15:0:0", "placed:ftDateTime:0:0:1:0"}
                            << QStringList{"2", "150.00"};
  }
  void readsStructures()
  {
    QFETCH(QString, table);
    QFETCH(QStringList, fields);
    QFETCH(QStringList, firstRow);
    auto db = open(QStringLiteral("Plain"), user2(), password2());
    const TTableDescription d = db->Connection().describeTable(table);
    QStringList described;
    for (const TColumnInfo& c : d.Columns)
      described << QStringLiteral("%1:%2:%3:%4:%5:%6").arg(c.Name, fieldTypeIdentifier(c.DataType)).arg(c.Size).arg(c.Precision)
                       .arg(int(c.Required)).arg(c.KeyPosition);
    QCOMPARE(described, fields);
    auto t = openTable(QStringLiteral("OdbcDB"), table);
    QCOMPARE(QStringList({t->Fields(0)->AsString(), t->Fields(1)->AsString()}), firstRow);
  }
};

QTEST_MAIN(TestOdbcConnect)
#include "tst_odbc_connect.moc"
