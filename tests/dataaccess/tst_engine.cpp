#include "DataAccessHelpers.h"
#include "TestSupport.h"

#include "dataaccess/Session.h"

#include <QFile>
#include <QtTest>

class TestEngine : public QObject {
  Q_OBJECT

  std::unique_ptr<TestFolder> folder;

  // A database made from the SQL (no file when empty) under the alias A as EngineDB, opened unless asked not to.
  std::unique_ptr<TDatabase> database(const QString& sql, bool open = true)
  {
    if (!sql.isEmpty())
      folder->createDatabase(QStringLiteral("a.db"), sql);
    folder->useAliases("[A]\nDriver=SQLite\nDatabase=a.db\n");
    return openDatabase(QStringLiteral("EngineDB"), QStringLiteral("A"), {}, open);
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
    const QString file = folder->path(QStringLiteral("a.db"));
    QFile f(file);
    if (!content.isEmpty())
      QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
    f.close();
    auto db = database(QString(), false);
    int connects = 0;
    db->AfterConnect = [&](TDatabase&) { ++connects; };
    const QString refusal = errorOf([&] { db->Open(); });
    QVERIFY2(refusal.startsWith(QStringLiteral("Cannot open the database file %1 of alias 'A'.\n").arg(file)), qPrintable(refusal));
    QVERIFY2(refusal.contains(reason), qPrintable(refusal));
    QCOMPARE(connects, 0);
    QCOMPARE(QFile::exists(file), !content.isEmpty());
  }

  // Names needing quotes, of tables, views and system tables, open the table they name.
  void tableNamesAreUsableAsTableNames()
  {
    auto db = database(QStringLiteral(
        "CREATE TABLE \"Order Details\"(id INTEGER PRIMARY KEY, v TEXT);"
        "CREATE TABLE \"say \"\"hi\"\"\"(a INT);"
        "CREATE TABLE \"Größe_表\"(a INT);"
        "CREATE TABLE MixedCase(a INT);"
        "CREATE TABLE [it's](a INT);"
        "CREATE VIEW \"V w\" AS SELECT v FROM \"Order Details\";"
        "CREATE INDEX ix ON MixedCase(a);"
        "INSERT INTO \"Order Details\"(v) VALUES ('one'),('two');"
        "ANALYZE;"));  // makes sqlite_stat1, a system table
    QStringList names, withSystem, matching;
    Session().GetTableNames(QStringLiteral("EngineDB"), QString(), true, false, names);
    names.sort();
    QCOMPARE(names, QStringList({"Größe_表", "MixedCase", "Order Details", "V w", "it's", "say \"hi\""}));
    Session().GetTableNames(QStringLiteral("EngineDB"), QString(), true, true, withSystem);
    QVERIFY(withSystem.contains(QStringLiteral("sqlite_stat1")));
    Session().GetTableNames(QStringLiteral("EngineDB"), QStringLiteral("*d*"), true, false, matching);
    matching.sort();
    QCOMPARE(matching, QStringList({"MixedCase", "Order Details"}));
    for (const QString& name : names) {
      const bool withRows = name == QLatin1String("Order Details") || name == QLatin1String("V w");
      QCOMPARE(openTable(QStringLiteral("EngineDB"), name)->RecordCount(), withRows ? 2 : 0);
    }
  }

  // Its datasets are closed before the database is; one that outlives it must not reach it.
  void closingTheDatabaseClosesItsDataSets()
  {
    auto db = database(QStringLiteral("CREATE TABLE t(a INT); INSERT INTO t VALUES (1)"));
    auto a = openTable(QStringLiteral("enginedb"), QStringLiteral("t"));  // names compare without regard to case
    QStringList events;
    db->AfterDisconnect = [&](TDatabase& d) { events << (d.Connected() || a->Active() ? "still open" : "closed"); };
    db->Close();
    db->Close();  // closed already: nothing happens
    QCOMPARE(events, QStringList{"closed"});
    QVERIFY_THROWS_EXCEPTION(EDBEngineError, a->Open());  // the connection is closed
    db.reset();
    QVERIFY(!a->Active());
  }

  void missingTableIsAnEngineError()
  {
    auto db = database(QStringLiteral("CREATE TABLE base(a INT); CREATE VIEW broken AS SELECT a FROM base; DROP TABLE base;"));
    for (const char* name : {"nothere", "broken"}) {
      const QString refusal = errorOf([&] { openTable(QStringLiteral("EngineDB"), QLatin1String(name)); });
      QVERIFY2(refusal.section(QLatin1Char('\n'), 0, 0).contains(QLatin1String(name)) && refusal.count(QLatin1Char('\n')) == 1,
               qPrintable(refusal));
    }
  }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
