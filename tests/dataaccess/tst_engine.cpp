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

  void missingFileIsRefusedAndNotCreated()
  {
    useAliases("[Gone]\nDriver=SQLite\nDatabase=sub/missing.db\n");
    TDatabase db;
    db.SetDatabaseName(QStringLiteral("EngineDB"));
    db.SetAliasName(QStringLiteral("Gone"));
    int connects = 0;
    db.AfterConnect = [&](TDatabase&) { ++connects; };
    try {
      db.Open();
      QFAIL("no error raised");
    } catch (const EDBEngineError& e) {
      QCOMPARE(e.ErrorCount(), 2);
      QVERIFY2(e.Errors(0).Message.contains(QStringLiteral("sub/missing.db")), qPrintable(e.Errors(0).Message));
      QVERIFY(e.Errors(0).Message.contains(QStringLiteral("'Gone'")));
      QVERIFY2(e.Errors(1).Message.contains(QStringLiteral("No such file or directory")), qPrintable(e.Errors(1).Message));
    }
    QVERIFY(!db.Connected());
    QCOMPARE(connects, 0);
    QVERIFY(!QFile::exists(folder->path(QStringLiteral("sub/missing.db"))));

    useAliases("[Gone]\nDriver=SQLite\nDatabase=missing.db\n");
    QVERIFY_THROWS_EXCEPTION(EDBEngineError, openDatabase(QStringLiteral("Gone")));
    QVERIFY(!QFile::exists(folder->path(QStringLiteral("missing.db"))));
  }

  void fileThatIsNotADatabaseIsRefused()
  {
    QFile f(folder->path(QStringLiteral("notes.db")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    useAliases("[Notes]\nDriver=SQLite\nDatabase=notes.db\n");
    try {
      openDatabase(QStringLiteral("Notes"));
      QFAIL("no error raised");
    } catch (const EDBEngineError& e) {
      QVERIFY2(e.Errors(1).Message.contains(QStringLiteral("not a database")), qPrintable(e.Message()));
    }
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
      QVERIFY2(t.FieldCount() > 0, qPrintable(name));
      t.RecordCount();
    }
    TTable view;
    view.SetDatabaseName(QStringLiteral("EngineDB"));
    view.SetTableName(QStringLiteral("V w"));
    view.Open();
    QCOMPARE(view.RecordCount(), 2);
    QCOMPARE(view.Fields(0)->AsString(), QStringLiteral("one"));
  }

  void tableNamesNeedAnOpenDatabase()
  {
    QStringList names;
    QVERIFY_THROWS_EXCEPTION(EDBEngineError, Session().GetTableNames(QStringLiteral("NoSuchDB"), QString(), true, false, names));
  }

  void walkingATableInKeyOrder()
  {
    folder->createDatabase(QStringLiteral("w.db"), QStringLiteral(
        "CREATE TABLE lines(orderId INT, lineNo INT, qty BIGINT, price REAL, note TEXT, pic BLOB, PRIMARY KEY(orderId, lineNo));"
        "INSERT INTO lines VALUES (2,1,9223372036854775807,1.5,'b','xy'),(1,2,-9223372036854775808,0.1,NULL,NULL),"
        "(1,1,0,2.25,'a, \"quoted\"\nline',x'00FF');"));
    useAliases("[W]\nDriver=SQLite\nDatabase=w.db\n");
    auto db = openDatabase(QStringLiteral("W"));
    TTable t;
    t.SetDatabaseName(QStringLiteral("EngineDB"));
    t.SetTableName(QStringLiteral("lines"));
    int scrolls = 0;
    t.AfterScroll = [&](TDataSet&) { ++scrolls; };
    t.Open();
    QCOMPARE(scrolls, 1);
    QCOMPARE(t.RecordCount(), 3);
    QStringList rows;
    for (; !t.Eof(); t.Next())
      rows << t.FieldByName(QStringLiteral("orderId"))->AsString() + "/" + t.Fields(1)->AsString() + " " +
                  t.Fields(2)->AsString();
    QCOMPARE(rows, QStringList({"1/1 0", "1/2 -9223372036854775808", "2/1 9223372036854775807"}));
    QCOMPARE(scrolls, 4);  // open, two moves, and the move that set end-of-data
    t.Next();
    QCOMPARE(scrolls, 4);  // no move past the end
    QCOMPARE(t.Fields(0)->AsString(), QStringLiteral("2"));  // end-of-data keeps the last record

    t.First();
    QCOMPARE(scrolls, 5);
    QVERIFY(t.Bof() && !t.Eof());
    QCOMPARE(t.FieldByName(QStringLiteral("note"))->AsBytes(), QByteArray("a, \"quoted\"\nline"));
    QCOMPARE(t.FieldByName(QStringLiteral("pic"))->AsBytes(), QByteArray("\x00\xFF", 2));
    QVERIFY(dynamic_cast<TMemoField*>(t.FieldByName(QStringLiteral("note"))));
    QVERIFY(dynamic_cast<TBlobField*>(t.FieldByName(QStringLiteral("pic"))));
    QVERIFY(!dynamic_cast<TMemoField*>(t.FieldByName(QStringLiteral("pic"))));
    t.Next();
    QVERIFY(t.FieldByName(QStringLiteral("note"))->IsNull());
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, t.FieldByName(QStringLiteral("missing")));
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
