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

  // A database made from the SQL, opened under the alias A as EngineDB.
  std::unique_ptr<TDatabase> openDatabase(const QString& sql)
  {
    folder->createDatabase(QStringLiteral("a.db"), sql);
    folder->useAliases("[A]\nDriver=SQLite\nDatabase=a.db\n");
    auto db = std::make_unique<TDatabase>();
    db->SetDatabaseName(QStringLiteral("EngineDB"));
    db->SetAliasName(QStringLiteral("A"));
    db->Open();
    return db;
  }

  static std::unique_ptr<TTable> table(const QString& name, const QString& database = QStringLiteral("EngineDB"))
  {
    auto t = std::make_unique<TTable>();
    t->SetDatabaseName(database);
    t->SetTableName(name);
    return t;
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
    folder->useAliases("[X]\nDriver=SQLite\nDatabase=x.db\n");
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
    auto db = openDatabase(QStringLiteral("CREATE TABLE t(x)"));
    db->Close();
    QStringList events;
    db->AfterConnect = [&](TDatabase& d) { events << (d.Connected() ? "connect:open" : "connect:closed"); };
    db->AfterDisconnect = [&](TDatabase& d) { events << (d.Connected() ? "disconnect:open" : "disconnect:closed"); };
    db->Close();  // closed already: nothing happens
    db->Open();
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, db->SetAliasName(QStringLiteral("B")));
    db->Close();
    db->Close();
    QCOMPARE(events, QStringList({"connect:open", "disconnect:closed"}));
  }

  void tableNamesAreUsableAsTableNames()
  {
    auto db = openDatabase(QStringLiteral(
        "CREATE TABLE \"Order Details\"(id INTEGER PRIMARY KEY, v TEXT);"
        "CREATE TABLE \"say \"\"hi\"\"\"(a INT);"
        "CREATE TABLE \"Größe_表\"(a INT);"
        "CREATE TABLE MixedCase(a INT);"
        "CREATE TABLE [it's](a INT);"
        "CREATE VIEW \"V w\" AS SELECT v FROM \"Order Details\";"
        "CREATE INDEX ix ON MixedCase(a);"
        "INSERT INTO \"Order Details\"(v) VALUES ('one'),('two');"
        "ANALYZE;"));  // makes sqlite_stat1, a system table
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
      auto t = table(name);
      t->Open();
      QCOMPARE(t->RecordCount(), name.startsWith(QLatin1String("Order")) || name == QLatin1String("V w") ? 2 : 0);
    }
  }

  void tableNamesNeedAnOpenDatabase()
  {
    QStringList names;
    QVERIFY_THROWS_EXCEPTION(EDBEngineError, Session().GetTableNames(QStringLiteral("NoSuchDB"), QString(), true, false, names));
  }

  void emptyTableScrollsOnceToEnd()
  {
    auto db = openDatabase(QStringLiteral("CREATE TABLE e(a INT PRIMARY KEY, b TEXT NOT NULL)"));
    auto t = table(QStringLiteral("e"));
    int scrolls = 0;
    t->AfterScroll = [&](TDataSet&) { ++scrolls; };
    t->Open();
    QVERIFY(t->Eof() && t->Bof() && t->IsEmpty());
    QCOMPARE(scrolls, 1);
    QVERIFY(t->Fields(0)->IsNull());
    QVERIFY(t->Fields(1)->Required());
    QVERIFY(!t->Fields(0)->Required());
    t->First();
    QCOMPARE(scrolls, 2);
  }

  void closingTheDatabaseClosesItsDataSets()
  {
    auto db = openDatabase(QStringLiteral("CREATE TABLE t(a INT); INSERT INTO t VALUES (1)"));
    auto a = table(QStringLiteral("t"), QStringLiteral("enginedb"));  // names compare without regard to case
    auto b = table(QStringLiteral("t"));
    a->Open();
    b->Open();
    bool wasActiveAtDisconnect = true;
    db->AfterDisconnect = [&](TDatabase&) { wasActiveAtDisconnect = a->Active() || b->Active(); };
    db->Close();
    QVERIFY(!a->Active() && !b->Active());
    QVERIFY(!wasActiveAtDisconnect);
    QVERIFY_THROWS_EXCEPTION(EDBEngineError, a->Open());  // the connection is closed
    db.reset();  // a dataset outliving its connection must not reach it
    QVERIFY(!a->Active());
  }

  void missingTableIsAnEngineError()
  {
    auto db = openDatabase(QStringLiteral("CREATE TABLE base(a INT); CREATE VIEW broken AS SELECT a FROM base; DROP TABLE base;"));
    for (const char* name : {"nothere", "broken"}) {
      auto t = table(QString::fromLatin1(name));
      try {
        t->Open();
        QFAIL("no error raised");
      } catch (const EDBEngineError& e) {
        QVERIFY2(e.Errors(0).Message.contains(QLatin1String(name)), qPrintable(e.Message()));
        QCOMPARE(e.ErrorCount(), 2);
      }
      QVERIFY(!t->Active());
    }
  }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
