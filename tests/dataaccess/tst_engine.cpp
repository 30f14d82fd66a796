#include "TestSupport.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/Database.h"
#include "dataaccess/Session.h"
#include "dataaccess/Table.h"

#include <QFile>
#include <QtTest>

class TestEngine : public QObject {
  Q_OBJECT

  std::unique_ptr<TestFolder> folder;

  void useAliases(const QByteArray& content) { folder->useAliases(content); }

  static std::unique_ptr<TDatabase> openDatabase(const QString& alias)
  {
    auto db = std::make_unique<TDatabase>();
    db->SetDatabaseName(QStringLiteral("EngineDB"));
    db->SetAliasName(alias);
    db->Params << QStringLiteral("USER NAME=someone") << QStringLiteral("PASSWORD=ignored");
    db->Open();
    return db;
  }

private slots:
  void init() { folder = std::make_unique<TestFolder>(); }
  void cleanup() { folder.reset(); }

  // A file that is missing or no database is refused with SQLite's words; a missing one is not
  // created, and nobody hears of a connection.
  void unusableFilesAreRefused_data()
  {
    QTest::addColumn<QByteArray>("content");  // of the file; empty: there is none
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << QByteArray() << "No such file or directory";
    QTest::newRow("not a database") << QByteArray(4096, 'x') << "not a database";
  }
  void unusableFilesAreRefused()
  {
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    const QString file = folder->path(QStringLiteral("x.db"));
    QFile f(file);
    if (!content.isEmpty())
      QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
    f.close();
    useAliases("[X]\nDriver=SQLite\nDatabase=x.db\n");
    TDatabase db;
    db.SetDatabaseName(QStringLiteral("EngineDB"));
    db.SetAliasName(QStringLiteral("X"));
    int connects = 0;
    db.AfterConnect = [&](TDatabase&) { ++connects; };
    try {
      db.Open();
      QFAIL("no error raised");
    } catch (const EDBEngineError& e) {
      QCOMPARE(e.ErrorCount(), 2);
      QVERIFY2(e.Errors(0).Message.contains(QStringLiteral("x.db")) && e.Errors(0).Message.contains(QStringLiteral("'X'")),
               qPrintable(e.Errors(0).Message));
      QVERIFY2(e.Errors(1).Message.contains(reason), qPrintable(e.Errors(1).Message));
    }
    QVERIFY(!db.Connected());
    QCOMPARE(connects, 0);
    QCOMPARE(QFile::exists(file), !content.isEmpty());
  }

  void connectAndDisconnectEvents()
  {
    folder->createDatabase(QStringLiteral("a.db"), QStringLiteral("CREATE TABLE t(x)"));
    useAliases("[A]\nDriver=SQLite\nDatabase=a.db\n");
    TDatabase db;
    db.SetDatabaseName(QStringLiteral("EngineDB"));
    db.SetAliasName(QStringLiteral("A"));
    QStringList events;
    db.AfterConnect = [&](TDatabase& d) { events << (d.Connected() ? "connect:open" : "connect:closed"); };
    db.AfterDisconnect = [&](TDatabase& d) { events << (d.Connected() ? "disconnect:open" : "disconnect:closed"); };
    db.Close();  // closed already: nothing happens
    db.Open();
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, db.SetAliasName(QStringLiteral("B")));
    db.Close();
    db.Close();
    QCOMPARE(events, QStringList({"connect:open", "disconnect:closed"}));
  }

  void tableNamesAreUsableAsTableNames()
  {
    folder->createDatabase(QStringLiteral("n.db"), QStringLiteral(
        "CREATE TABLE \"Order Details\"(id INTEGER PRIMARY KEY, v TEXT);"
        "CREATE TABLE \"say \"\"hi\"\"\"(a INT);"
        "CREATE TABLE \"Größe_表\"(a INT);"
        "CREATE TABLE MixedCase(a INT);"
        "CREATE TABLE [it's](a INT);"
        "CREATE VIEW \"V w\" AS SELECT v FROM \"Order Details\";"
        "CREATE INDEX ix ON MixedCase(a);"
        "INSERT INTO \"Order Details\"(v) VALUES ('one'),('two');"
        "ANALYZE;"));  // makes sqlite_stat1, a system table
    useAliases("[N]\nDriver=SQLite\nDatabase=n.db\n");
    auto db = openDatabase(QStringLiteral("N"));
    QStringList names;
    Session().GetTableNames(QStringLiteral("EngineDB"), QString(), true, false, names);
    names.sort();
    QCOMPARE(names, QStringList({"Größe_表", "MixedCase", "Order Details", "V w", "it's", "say \"hi\""}));
    QStringList withSystem;
    Session().GetTableNames(QStringLiteral("EngineDB"), QString(), true, true, withSystem);
    QVERIFY(withSystem.contains(QStringLiteral("sqlite_stat1")));
    QStringList matching;
    Session().GetTableNames(QStringLiteral("EngineDB"), QStringLiteral("*d*"), true, false, matching);
    matching.sort();
    QCOMPARE(matching, QStringList({"MixedCase", "Order Details"}));

    for (const QString& name : names) {
      TTable t;
      t.SetDatabaseName(QStringLiteral("EngineDB"));
      t.SetTableName(name);
      t.Open();
      QCOMPARE(t.RecordCount(), name.startsWith(QLatin1String("Order")) || name == QLatin1String("V w") ? 2 : 0);
    }
  }

  void tableNamesNeedAnOpenDatabase()
  {
    QStringList names;
    QVERIFY_THROWS_EXCEPTION(EDBEngineError, Session().GetTableNames(QStringLiteral("NoSuchDB"), QString(), true, false, names));
  }

  void emptyTableScrollsOnceToEnd()
  {
    folder->createDatabase(QStringLiteral("e.db"), QStringLiteral("CREATE TABLE e(a INT PRIMARY KEY, b TEXT NOT NULL)"));
    useAliases("[E]\nDriver=SQLite\nDatabase=e.db\n");
    auto db = openDatabase(QStringLiteral("E"));
    TTable t;
    t.SetDatabaseName(QStringLiteral("EngineDB"));
    t.SetTableName(QStringLiteral("e"));
    int scrolls = 0;
    t.AfterScroll = [&](TDataSet&) { ++scrolls; };
    t.Open();
    QVERIFY(t.Eof() && t.Bof() && t.IsEmpty());
    QCOMPARE(scrolls, 1);
    QCOMPARE(t.RecordCount(), 0);
    QVERIFY(t.Fields(0)->IsNull());
    QVERIFY(t.Fields(1)->Required());
    QVERIFY(!t.Fields(0)->Required());
    t.First();
    QCOMPARE(scrolls, 2);
  }

  void closingTheDatabaseClosesItsDataSets()
  {
    folder->createDatabase(QStringLiteral("c.db"), QStringLiteral("CREATE TABLE t(a INT); INSERT INTO t VALUES (1)"));
    useAliases("[C]\nDriver=SQLite\nDatabase=c.db\n");
    auto db = openDatabase(QStringLiteral("C"));
    TTable a, b;
    for (TTable* t : {&a, &b}) {
      t->SetDatabaseName(QStringLiteral("enginedb"));  // names compare without regard to case
      t->SetTableName(QStringLiteral("t"));
      t->Open();
    }
    bool wasActiveAtDisconnect = true;
    db->AfterDisconnect = [&](TDatabase&) { wasActiveAtDisconnect = a.Active() || b.Active(); };
    db->Close();
    QVERIFY(!a.Active() && !b.Active());
    QVERIFY(!wasActiveAtDisconnect);
    QVERIFY_THROWS_EXCEPTION(EDBEngineError, a.Open());  // the connection is closed
    db.reset();  // a dataset outliving its connection must not reach it
    QVERIFY(!a.Active());
  }

  void missingTableIsAnEngineError()
  {
    folder->createDatabase(QStringLiteral("m.db"), QStringLiteral(
        "CREATE TABLE base(a INT); CREATE VIEW broken AS SELECT a FROM base; DROP TABLE base;"));
    useAliases("[M]\nDriver=SQLite\nDatabase=m.db\n");
    auto db = openDatabase(QStringLiteral("M"));
    for (const char* name : {"nothere", "broken"}) {
      TTable t;
      t.SetDatabaseName(QStringLiteral("EngineDB"));
      t.SetTableName(QString::fromLatin1(name));
      try {
        t.Open();
        QFAIL("no error raised");
      } catch (const EDBEngineError& e) {
        QVERIFY2(e.Errors(0).Message.contains(QLatin1String(name)), qPrintable(e.Message()));
        QCOMPARE(e.ErrorCount(), 2);
      }
      QVERIFY(!t.Active());
    }
  }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
