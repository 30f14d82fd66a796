// The PostgreSQL driver against the real server: logging in, listing tables of several schemas and
// reading structures from the catalogs.
#include "DataAccessHelpers.h"
#include "PgTestServer.h"
#include "TestSupport.h"

#include "dataaccess/Driver.h"
#include "dataaccess/Session.h"

#include <QProcess>
#include <QtTest>

class TestPostgresCatalog : public QObject {
  Q_OBJECT
  std::unique_ptr<pg_test::TempDatabase> pg;
  std::unique_ptr<TestFolder> folder;

  static std::unique_ptr<TDatabase> open(const QString& alias, const QString& user, const QString& password)
  {
    return openDatabase(QStringLiteral("CatalogDB"), alias,
                        {QStringLiteral("USER NAME=") + user, QStringLiteral("PASSWORD=") + password});
  }
  static std::unique_ptr<TDatabase> open() { return open(QStringLiteral("PG"), login(), password()); }

  QString write(const QString& name, const QByteArray& content) const
  {
    QFile f(folder->path(name));
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size() ? f.fileName() : QString();
  }
  static QString login() { return QString::fromUtf8(pg_test::server().User); }
  static QString password() { return QString::fromUtf8(pg_test::server().Password); }

private slots:
  void initTestCase()
  {
    PG_REQUIRE_SERVER();
    pg = std::make_unique<pg_test::TempDatabase>(QStringLiteral("catalog"));
    // The login's own schema comes first on the default search path ("$user", public), so its
    // "orders" shadows public's.
    pg->exec(QStringLiteral(
        "CREATE SCHEMA %1;"
        "CREATE TABLE %1.orders(id int PRIMARY KEY);"
        "CREATE TABLE public.orders(id int PRIMARY KEY, total numeric(15,2));"
        "CREATE TABLE \"Customers\"(id int PRIMARY KEY, name varchar(20) NOT NULL);"
        "CREATE TABLE \"audit log\"(at timestamptz);"
        "CREATE TABLE \"we\"\"ird.name\"(\"Mixed Col\" int PRIMARY KEY, \"a.b\" text);"
        "CREATE TABLE \"user\"(id int PRIMARY KEY);"
        "CREATE VIEW big_orders AS SELECT * FROM public.orders WHERE total > 100;"
        "CREATE MATERIALIZED VIEW order_totals AS SELECT count(*) AS n FROM public.orders;"
        "CREATE TABLE measures(at date NOT NULL, v int, PRIMARY KEY (at)) PARTITION BY RANGE (at);"
        "CREATE TABLE measures_2024 PARTITION OF measures FOR VALUES FROM ('2024-01-01') TO ('2025-01-01');"
        "CREATE SCHEMA sales;"
        "CREATE TABLE sales.regions(code char(2) PRIMARY KEY);"
        "CREATE TABLE sales.orders(id int PRIMARY KEY);"
        "CREATE SCHEMA \"Mixed Schema\";"
        "CREATE TABLE \"Mixed Schema\".\"Odd Table\"(x int);"
        "CREATE SEQUENCE not_a_table;"
        "CREATE INDEX also_not_a_table ON public.orders(total);"
        "CREATE TYPE neither AS (a int);"
        "INSERT INTO public.orders VALUES (1, 50), (2, 150);"
        "INSERT INTO %1.orders VALUES (7);"
        "INSERT INTO \"Mixed Schema\".\"Odd Table\" VALUES (1), (2), (3);"
        "REFRESH MATERIALIZED VIEW order_totals;").arg(login()));
    pg->exec(QStringLiteral(
        "CREATE DOMAIN short_name AS varchar(10) NOT NULL;"
        "CREATE DOMAIN price AS numeric(8,2); CREATE DOMAIN price2 AS price CHECK (VALUE >= 0);"
        "CREATE TYPE mood AS ENUM ('sad', 'ok', 'exuberant', 'contemplate');"
        "CREATE TABLE every_type(c_int2 smallint, c_code varchar(8), c_int4 integer NOT NULL, c_serial serial,"
        " c_identity int GENERATED ALWAYS AS IDENTITY, c_bigserial bigserial, c_numeric numeric(30,4), c_numeric_free numeric,"
        " c_numeric_tens numeric(3,-2), c_varchar_free varchar, c_char char(5), c_uuid uuid, c_domain short_name,"
        " c_domain2 price2, c_enum mood, c_bits bit(12), c_generated int GENERATED ALWAYS AS (c_int4 * 2) STORED,"
        " PRIMARY KEY (c_code, c_int2))"));
  }
  void cleanupTestCase() { pg.reset(); }

  void init()
  {
    PG_REQUIRE_SERVER();
    folder = std::make_unique<TestFolder>();
    folder->useAliases(pg->aliasSection(QStringLiteral("PG")) +
                       // Nothing listens on port 1 of the loopback.
                       "[Nowhere]\nDriver=PostgreSQL\nHost=127.0.0.1\nPort=1\nDatabase=x\n"
                       "[Spliced]\nDriver=PostgreSQL\nHost=" + pg_test::server().Host + "\nPort=" + pg_test::server().Port +
                       "\nDatabase=dbname=" + pg->name().toUtf8() + " user=" + pg_test::server().Superuser + "\n"
                       "[Secure]\nDriver=PostgreSQL\nHost=" + pg_test::server().Host + "\nPort=" + pg_test::server().Port +
                       "\nDatabase=" + pg->name().toUtf8() + "\nSSLMode=require\nApplicationName=x\n"
                       "[Served]\nDriver=PostgreSQL\nService=kestrel_test\n[Unserved]\nDriver=PostgreSQL\nService=kestrel_other\n");
    // libpq's service file, and its password file for the test database only; a password with ':'
    // and '\\' is escaped as the file's format asks.
    const pg_test::Server& s = pg_test::server();
    const QByteArray where = "host=" + s.Host + "\nport=" + s.Port + "\ndbname=";
    QByteArray escaped = s.Password;
    escaped.replace('\\', "\\\\").replace(':', "\\:");
    const QByteArray services = "[kestrel_test]\n" + where + pg->name().toUtf8() + "\n[kestrel_other]\n" + where + "postgres\n";
    qputenv("PGSERVICEFILE", write(QStringLiteral("pg_service.conf"), services).toLocal8Bit());
    const QString passwords =
        write(QStringLiteral("pgpass"), s.Host + ':' + s.Port + ':' + pg->name().toUtf8() + ':' + s.User + ':' + escaped + '\n');
    QFile(passwords).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);  // libpq ignores a file others may read
    qputenv("PGPASSFILE", passwords.toLocal8Bit());
  }
  void cleanup() { folder.reset(); }

  // Whatever the login holds reaches libpq as the value it is: it connects when right, and never
  // changes another setting.
  void connecting_data()
  {
    QTest::addColumn<QString>("alias");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("refusal");  // a text of the server's message; empty: connects
    if (!pg_test::available())
      return;
    QTest::newRow("right password, full of special characters") << "PG" << login() << password() << "";
    QTest::newRow("a setting after the password") << "PG" << login() << password() + " dbname=postgres"
                                                  << "password authentication failed";
    QTest::newRow("a setting after the user name") << "PG" << login() + " dbname=postgres" << password()
                                                   << "password authentication failed for user \"" + login() + " dbname=postgres\"";
    QTest::newRow("a connection string as database name") << "Spliced" << login() << password() << "does not exist";
    QTest::newRow("no server") << "Nowhere" << login() << password() << "Connection refused";
    // The test server has no certificate: asking for SSL must reach libpq and be refused.
    QTest::newRow("SSL required") << "Secure" << login() << password() << "server does not support SSL";
    QTest::newRow("a service, no password typed: the password file's") << "Served" << login() << "" << "";
    QTest::newRow("a service the password file has no entry for") << "Unserved" << login() << "" << "service kestrel_other";
  }
  void connecting()
  {
    QFETCH(QString, alias);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, refusal);
    if (refusal.isEmpty()) {
      auto db = open(alias, user, password);
      auto q = openQuery(QStringLiteral("CatalogDB"),
                         QStringLiteral("SELECT current_user, current_database(), current_setting('application_name')"));
      QCOMPARE(q->Fields(0)->AsString() + '|' + q->Fields(1)->AsString() + '|' + q->Fields(2)->AsString(),
               login() + '|' + pg->name() + QStringLiteral("|Kestrel"));
      return;
    }
    const QString message = errorOf([&] { open(alias, user, password); });
    QVERIFY2(message.section(QLatin1Char('\n'), 0, 0).contains(QStringLiteral("'%1'").arg(alias)) && message.contains(refusal),
             qPrintable(message));
    // Neither the right password nor the one typed shows in what the user or a log could see.
    QVERIFY((password.isEmpty() || !message.contains(password)) && !message.contains(this->password()));
  }

  // Every schema but the system ones; unqualified where the search path finds the table first. Each
  // listed name opens the table it names (fields/records): the shadowed and the shadowing "orders" differ.
  void listsTablesOfEverySchema()
  {
    auto db = open();
    QStringList names, opened, sales, withSystem;
    Session().GetTableNames(QStringLiteral("CatalogDB"), QString(), false, false, names);
    names.sort();
    for (const QString& name : names) {
      auto t = openTable(QStringLiteral("CatalogDB"), name);
      opened << QStringLiteral("%1 %2/%3").arg(name).arg(t->FieldCount()).arg(t->RecordCount());
    }
    QCOMPARE(opened, QStringList({"\"Customers\" 2/0", "\"Mixed Schema\".\"Odd Table\" 1/3", "\"audit log\" 1/0", "\"user\" 1/0",
                                  "\"we\"\"ird.name\" 2/0", "big_orders 2/1", "every_type 17/0", "measures 2/0", "measures_2024 2/0",
                                  "order_totals 1/1", "orders 1/1", "public.orders 2/2", "sales.orders 1/0", "sales.regions 1/0"}));
    // Patterns filter the names as they are shown.
    Session().GetTableNames(QStringLiteral("CatalogDB"), QStringLiteral("sales.*"), false, false, sales);
    sales.sort();
    QCOMPARE(sales, QStringList({"sales.orders", "sales.regions"}));
    Session().GetTableNames(QStringLiteral("CatalogDB"), QString(), false, true, withSystem);
    QVERIFY(withSystem.contains(QStringLiteral("pg_class")));
  }

  // An alias may name several servers and the kind of session it needs: a read-write alias over a
  // standby and its primary settles on the primary, and after a failover (the primary stopped, the
  // standby promoted) its next command connects again to the new primary. On a standby rows are read
  // and a write is refused in the server's words.
  void severalHostsFollowTheWritableServer()
  {
    const QStringList ports = qEnvironmentVariable("KESTREL_TEST_PGPAIR").split(QLatin1Char(','));
    const QString failover = qEnvironmentVariable("KESTREL_TEST_PGFAILOVER");
    if (ports.size() != 2 || failover.isEmpty())
      QSKIP("the test script started no primary and standby");
    const QString host = QString::fromUtf8(pg_test::server().Host), at = QStringLiteral("\nDatabase=kestrel_test\nHost=");
    folder->useAliases(QStringLiteral("[Pair]\nDriver=PostgreSQL%1%2,%2\nPort=%3,%4\nTargetSessionAttrs=read-write\n"
                                      "[Standby]\nDriver=PostgreSQL%1%2\nPort=%3\n").arg(at, host, ports[1], ports[0]).toUtf8());
    const auto server = [] {
      return openQuery(QStringLiteral("CatalogDB"), QStringLiteral("SELECT inet_server_port() || ' ' || pg_is_in_recovery()"))
          ->Fields(0)->AsString();
    };
    auto db = open(QStringLiteral("Pair"), login(), password());
    QCOMPARE(server(), ports[0] + QStringLiteral(" false"));
    db->Connection().execute(QStringLiteral("DROP TABLE IF EXISTS pair; CREATE TABLE pair(id int PRIMARY KEY, v int);"
                                            " INSERT INTO pair VALUES (1, 1)"));
    db.reset();
    db = open(QStringLiteral("Standby"), login(), password());
    std::unique_ptr<TTable> t;
    QTRY_VERIFY(errorOf([&] { t = openTable(QStringLiteral("CatalogDB"), QStringLiteral("pair")); }) == QLatin1String("no error"));
    t->Edit();
    t->FieldByName(QStringLiteral("v"))->SetAsString(QStringLiteral("2"));
    QVERIFY(errorOf([&] { t->Post(); }).contains(QStringLiteral("cannot execute UPDATE in a read-only transaction")));
    t.reset();
    db.reset();
    db = open(QStringLiteral("Pair"), login(), password());
    t = openTable(QStringLiteral("CatalogDB"), QStringLiteral("pair"));
    t->Edit();
    t->FieldByName(QStringLiteral("v"))->SetAsString(QStringLiteral("3"));
    QCOMPARE(QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), failover}), 0);
    QVERIFY(errorOf([&] { t->Post(); }).contains(QStringLiteral("The connection to the server was lost.")));
    t->Post();
    QCOMPARE(server(), ports[1] + QStringLiteral(" false"));
    QCOMPARE(openQuery(QStringLiteral("CatalogDB"), QStringLiteral("SELECT v FROM pair"))->Fields(0)->AsString(), QStringLiteral("3"));
  }

  // A sequence is no table: it is refused like a name that is not there.
  void unknownTableIsAnEngineError()
  {
    auto db = open();
    for (const char* name : {"not_there", "not_a_table"})
      QCOMPARE(errorOf([&] { db->Connection().describeTable(QLatin1String(name)); }),
               QStringLiteral("Cannot read the structure of table '%1'.\nThere is no table or view named '%1'.").arg(name));
  }

  // Where the mapping decides more than a name: serials and identities, sizes and precisions,
  // domains, generated columns, and a composite key given out of column order. Each column as
  // "name type size,precision", then "required", "key N", "read-only" where so.
  void structureOfEveryMappedType()
  {
    auto db = open();
    const TTableDescription d = db->Connection().describeTable(QStringLiteral("every_type"));
    QStringList got;
    for (const TColumnInfo& c : d.Columns) {
      got << QStringLiteral("%1 %2 %3,%4").arg(c.Name, fieldTypeIdentifier(c.DataType)).arg(c.Size).arg(c.Precision);
      if (c.Required)
        got.last() += QStringLiteral(" required");
      if (c.KeyPosition > 0)
        got.last() += QStringLiteral(" key %1").arg(c.KeyPosition);
      if (c.ReadOnly)
        got.last() += QStringLiteral(" read-only");
    }
    QCOMPARE(got, QStringList({"c_int2 ftSmallint 0,0 required key 2", "c_code ftString 8,0 required key 1",
                               "c_int4 ftInteger 0,0 required", "c_serial ftAutoInc 0,0 required",
                               "c_identity ftAutoInc 0,0 required read-only", "c_bigserial ftLargeint 0,0 required",
                               "c_numeric ftBCD 4,30", "c_numeric_free ftBCD 0,0", "c_numeric_tens ftBCD 0,5",
                               "c_varchar_free ftMemo 0,0", "c_char ftFixedChar 5,0", "c_uuid ftGuid 36,0",
                               "c_domain ftString 10,0 required", "c_domain2 ftBCD 2,8",
                               "c_enum ftString 11,0",  // as long as its longest label
                               "c_bits ftString 12,0", "c_generated ftInteger 0,0 read-only"}));
    // The dataset sees the same, key membership as the index it opens on.
    auto t = openTable(QStringLiteral("CatalogDB"), QStringLiteral("every_type"));
    QCOMPARE(t->FieldCount(), 17);
    for (int i = 0; i < 17; ++i) {
      QCOMPARE(t->FieldDefs()[i].DataType, d.Columns[size_t(i)].DataType);
      QCOMPARE(t->FieldDefs()[i].InIndex, d.Columns[size_t(i)].KeyPosition > 0);
      QCOMPARE(t->Fields(i)->ReadOnly, d.Columns[size_t(i)].ReadOnly);
    }
  }
};

QTEST_GUILESS_MAIN(TestPostgresCatalog)
#include "tst_postgres_catalog.moc"
