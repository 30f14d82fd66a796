#include "Backends.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/DataSource.h"
#include "dataaccess/Database.h"
#include "dataaccess/Query.h"
#include "dataaccess/Table.h"

#include <QtTest>

#include <sqlite3.h>

namespace {

// Counts what a bound control would hear.
struct CountingLink : TDataLink {
  int changed = 0, scrolled = 0, state = 0, record = 0, active = 0;
  void ActiveChanged() override { ++active; }
  void DataSetChanged() override { ++changed; }
  void DataSetScrolled() override { ++scrolled; }
  void RecordChanged(TField*) override { ++record; }
  void StateChanged() override { ++state; }
};

}  // namespace

class TestDataSet : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;
  std::unique_ptr<test_backends::SqliteBackend> file;  // a second session on the file
  std::unique_ptr<TDatabase> db;

  std::unique_ptr<TTable> table(const QString& name)
  {
    auto t = std::make_unique<TTable>();
    t->SetDatabaseName(QStringLiteral("DataSetDB"));
    t->SetTableName(name);
    t->Open();
    return t;
  }

  std::unique_ptr<TQuery> query(const QString& sql)
  {
    auto q = std::make_unique<TQuery>();
    q->SetDatabaseName(QStringLiteral("DataSetDB"));
    q->SQL << sql;
    q->Open();
    return q;
  }

private slots:
  void init()
  {
    folder = std::make_unique<TestFolder>();
    // 1000 rows: several cache blocks. The composite key orders differently from insertion.
    file = std::make_unique<test_backends::SqliteBackend>(*folder, QStringLiteral(
        "CREATE TABLE pairs(a INT, b TEXT, qty INT, note TEXT, PRIMARY KEY(b, a));"
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 999)"
        " INSERT INTO pairs SELECT i, char(65 + i % 3), i * 10, 'n' || i FROM n;"
        "CREATE TABLE plain(x INT, y TEXT);"  // row id, no key
        "INSERT INTO plain VALUES (3,'c'),(1,'a'),(2,'b');"
        "CREATE VIEW evens AS SELECT a, qty FROM pairs WHERE a % 2 = 0;"
        "CREATE TABLE items(id INTEGER PRIMARY KEY, name VARCHAR(20) NOT NULL DEFAULT 'unnamed', price DECIMAL(10,2),"
        " made DATE, qty INT);"
        "INSERT INTO items VALUES (10,'ten',1.5,'2024-01-02',1),(20,'twenty',2.5,NULL,2),(30,'thirty',NULL,NULL,3);"));
    folder->useAliases(file->aliasSection(QStringLiteral("D")));
    db = std::make_unique<TDatabase>();
    db->SetDatabaseName(QStringLiteral("DataSetDB"));
    db->SetAliasName(QStringLiteral("D"));
    db->Open();
  }
  void cleanup()
  {
    db.reset();
    file.reset();
    folder.reset();
  }

  // Forward and back across block borders, by key ranges: every row once, in key order.
  void walksInKeyOrderBothWays()
  {
    auto t = table(QStringLiteral("pairs"));
    QStringList expected;
    for (const char* b : {"A", "B", "C"})
      for (int a = 0; a < 1000; ++a)
        if ("ABC"[a % 3] == b[0])
          expected << QStringLiteral("%1%2").arg(QLatin1String(b)).arg(a);
    int scrolls = 0;
    t->AfterScroll = [&](TDataSet&) { ++scrolls; };
    QStringList forward;
    for (t->First(); !t->Eof(); t->Next())
      forward << t->FieldByName("b")->AsString() + t->FieldByName("a")->AsString();
    QCOMPARE(forward, expected);
    QCOMPARE(scrolls, 1 + 1000);  // First, 999 moves, and the one that set end-of-data
    t->Next();
    QCOMPARE(scrolls, 1 + 1000);  // no move past the end, which keeps the last record
    QCOMPARE(t->RecNo(), 1000);
    QCOMPARE(t->FieldByName("a")->AsString(), QStringLiteral("998"));
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, t->FieldByName("missing"));
    QStringList backward;
    for (t->Last(); !t->Bof(); t->Prior())
      backward.prepend(t->FieldByName("b")->AsString() + t->FieldByName("a")->AsString());
    QCOMPARE(backward, expected);
    QCOMPARE(t->RecordCount(), 1000);
  }

  void jumpsAndPositions()
  {
    auto t = table(QStringLiteral("pairs"));
    t->Last();
    QVERIFY(t->Eof() && !t->Bof());
    QCOMPARE(t->RecNo(), 1000);
    QCOMPARE(t->FieldByName("a")->AsString(), QStringLiteral("998"));  // last "C" row: 998 % 3 == 2
    QCOMPARE(t->MoveBy(-600), -600);
    QCOMPARE(t->RecNo(), 400);
    QCOMPARE(t->MoveBy(-1000), -399);
    QVERIFY(t->Bof());
    QCOMPARE(t->MoveBy(5000), 999);
    QVERIFY(t->Eof());
    t->SetRecNo(335);  // the first "B" row
    QCOMPARE(t->FieldByName("b")->AsString() + t->FieldByName("a")->AsString(), QStringLiteral("B1"));
    // The row under a position, as a grid asks for it, without moving.
    QCOMPARE(t->RowAt(999)->at(0).asInteger(), 998);
    QVERIFY(!t->RowAt(1000));
    QCOMPARE(t->RecNo(), 335);
  }

  void tablesWithoutKeyAndViews()
  {
    auto plain = table(QStringLiteral("plain"));
    QStringList order;
    for (; !plain->Eof(); plain->Next())
      order << plain->Fields(1)->AsString();
    QCOMPARE(order, QStringList({"c", "a", "b"}));  // the row order, since there is no key
    QCOMPARE(plain->FieldCount(), 2);               // the row id rides along unseen
    auto evens = table(QStringLiteral("evens"));
    QCOMPARE(evens->RecordCount(), 500);
    evens->Last();
    QCOMPARE(evens->RecNo(), 500);
    int n = 0;
    for (evens->First(); !evens->Eof(); evens->Next())
      ++n;
    QCOMPARE(n, 500);
    try {
      evens->Edit();
      QFAIL("a view without key was edited");
    } catch (const EDBEngineError& e) {
      QVERIFY2(e.Message().contains(QStringLiteral("neither a primary key nor a row id")), qPrintable(e.Message()));
    }
    QCOMPARE(evens->State(), dsBrowse);
  }

  void bookmarksFindTheirRowAfterOtherRowsCame()
  {
    auto t = table(QStringLiteral("pairs"));
    t->SetRecNo(500);
    const QString key = t->FieldByName("b")->AsString() + t->FieldByName("a")->AsString();
    TBookmark mark = t->GetBookmark();
    t->First();
    // Rows that sort before the bookmark, added behind the dataset's back.
    file->exec(QStringLiteral("INSERT INTO pairs VALUES (-1,'A',0,''),(-2,'A',0,'')"));
    t->GotoBookmark(mark);
    QCOMPARE(t->FieldByName("b")->AsString() + t->FieldByName("a")->AsString(), key);
    QCOMPARE(t->RecNo(), 502);
    t->FreeBookmark(mark);
    QVERIFY(!t->BookmarkValid(mark));
    // Refresh stays on the record and shows what others wrote.
    file->exec(QStringLiteral("UPDATE pairs SET note = 'fresh' WHERE b = 'B' AND a = 496"));
    file->exec(QStringLiteral("DELETE FROM pairs WHERE a < 0"));
    t->Refresh();
    QCOMPARE(t->RecNo(), 500);
    QCOMPARE(t->RecordCount(), 1000);  // counted again: the two rows from elsewhere went
    QCOMPARE(t->FieldByName("note")->AsString(), QStringLiteral("fresh"));
  }

  void editPostCancelInsertDelete()
  {
    auto t = table(QStringLiteral("items"));
    CountingLink link;
    TDataSource src;
    src.SetDataSet(t.get());
    link.SetDataSource(&src);

    t->Next();  // id 20
    t->Edit();
    t->FieldByName("name")->SetAsString(QStringLiteral("Twenty, \"2\""));
    QVERIFY(t->Modified());
    QCOMPARE(t->FieldByName("name")->AsString(), QStringLiteral("Twenty, \"2\""));
    t->Cancel();
    QCOMPARE(t->FieldByName("name")->AsString(), QStringLiteral("twenty"));
    QCOMPARE(file->scalar("SELECT name FROM items WHERE id = 20"), QStringLiteral("twenty"));

    t->Edit();
    t->FieldByName("price")->SetAsString(QStringLiteral("12345678.91"));
    t->FieldByName("made")->SetAsString(QStringLiteral("2024-02-29"));
    t->Next();  // moving posts
    QCOMPARE(t->State(), dsBrowse);
    QCOMPARE(file->scalar("SELECT price || '|' || made FROM items WHERE id = 20"), QStringLiteral("12345678.91|2024-02-29"));
    QCOMPARE(t->FieldByName("id")->AsString(), QStringLiteral("30"));

    // Insert stands where it was asked for until it is posted, then where its key puts it.
    t->First();
    t->Insert();
    QCOMPARE(t->RecNo(), 1);
    QVERIFY(t->RowAt(0) && t->RowAt(0)->at(0).isNull());
    t->FieldByName("id")->SetAsString(QStringLiteral("25"));
    t->Post();
    QCOMPARE(t->RecNo(), 3);
    QCOMPARE(t->FieldByName("name")->AsString(), QStringLiteral("unnamed"));  // the default, read back
    QCOMPARE(t->RecordCount(), 4);

    t->Append();
    t->FieldByName("name")->SetAsString(QStringLiteral("auto"));
    t->Post();
    QCOMPARE(t->FieldByName("id")->AsString(), QStringLiteral("31"));  // numbered by the database
    QCOMPARE(t->RecNo(), 5);

    t->SetRecNo(1);
    t->Delete();
    QCOMPARE(t->RecordCount(), 4);
    QCOMPARE(t->FieldByName("id")->AsString(), QStringLiteral("20"));
    QCOMPARE(file->scalar("SELECT count(*) FROM items"), QStringLiteral("4"));
    QVERIFY(link.state > 0 && link.changed > 0 && link.record > 0 && link.scrolled > 0);
  }

  // Every column takes part in the check that no one else changed the row: with more columns than
  // SQLite nests expressions deep, editing and deleting still work, and still notice a change.
  void wideTablesEditAndDelete()
  {
    QStringList columns;
    for (int i = 1; i <= 1200; ++i)
      columns << QStringLiteral("c%1 INT DEFAULT %1").arg(i);
    file->exec(QStringLiteral("CREATE TABLE wide(id INTEGER PRIMARY KEY, %1); INSERT INTO wide(id) VALUES (1), (2), (3);")
                   .arg(columns.join(QLatin1Char(','))));
    auto t = table(QStringLiteral("wide"));
    t->Edit();
    t->FieldByName("c1200")->SetAsString(QStringLiteral("-7"));
    t->Post();
    QCOMPARE(file->scalar("SELECT c1200 FROM wide WHERE id = 1"), QStringLiteral("-7"));
    t->Delete();
    QCOMPARE(file->scalar("SELECT count(*) FROM wide"), QStringLiteral("2"));
    file->exec(QStringLiteral("UPDATE wide SET c600 = 0 WHERE id = 2"));
    t->Edit();
    t->FieldByName("c1")->SetAsString(QStringLiteral("5"));
    QVERIFY_THROWS_EXCEPTION(EDBEngineError, t->Post());  // another session changed c600 meanwhile
    t->Cancel();
  }

  // An edit after the database file was deleted says so, not that the file is write-protected.
  void editingAfterTheFileWentSaysSo()
  {
    auto t = table(QStringLiteral("items"));
    QVERIFY(QFile::remove(folder->path(QStringLiteral("both.db"))));
    t->Edit();
    t->FieldByName("qty")->SetAsString(QStringLiteral("5"));
    try {
      t->Post();
      QFAIL("posted into a deleted file");
    } catch (const EDBEngineError& e) {
      QVERIFY2(e.Message().contains(QStringLiteral("deleted or moved while it was open")), qPrintable(e.Message()));
    }
    t->Cancel();
  }

  // A row another process removed or changed meanwhile is not deleted blindly, and the message says
  // which of the two happened (an edit meanwhile: see the grid's tests, which run on both drivers).
  void deletingARowTouchedElsewhere_data()
  {
    QTest::addColumn<QString>("elsewhere");
    QTest::addColumn<QString>("reason");
    QTest::newRow("deleted") << "DELETE FROM items WHERE id = 10" << "The row was deleted by another user";
    QTest::newRow("changed") << "UPDATE items SET qty = 7 WHERE id = 10" << "The row was changed by another user";
  }
  void deletingARowTouchedElsewhere()
  {
    QFETCH(QString, elsewhere);
    QFETCH(QString, reason);
    auto t = table(QStringLiteral("items"));
    file->exec(elsewhere);
    try {
      t->Delete();
      QFAIL("the row touched elsewhere went unnoticed");
    } catch (const EDBEngineError& e) {
      QVERIFY2(e.Message().contains(reason), qPrintable(e.Message()));
    }
  }

  // Refreshing while another process holds the file locked names the lock, not a missing row.
  void refreshingALockedFileSaysItIsLocked()
  {
    auto t = table(QStringLiteral("items"));
    t->Next();
    sqlite3* holder = nullptr;
    sqlite3_open(qPrintable(folder->path(QStringLiteral("both.db"))), &holder);
    const std::unique_ptr<sqlite3, decltype(&sqlite3_close)> closer(holder, sqlite3_close);
    QCOMPARE(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    try {
      t->Refresh();
      QFAIL("refreshed through another process's lock");
    } catch (const EDBEngineError& e) {
      QCOMPARE(e.Errors(0).Message, QStringLiteral("Cannot refresh the records."));
      QVERIFY2(e.Message().contains(QStringLiteral("database is locked")), qPrintable(e.Message()));
    }
    sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr);
    t->Refresh();
    QCOMPARE(t->FieldByName(QStringLiteral("id"))->AsString(), QStringLiteral("20"));
  }

  void inputThatDoesNotReadIsRefused_data()
  {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("letter in a number") << "qty" << "12a" << "'12a' is not a valid integer value for field 'qty'.";
    QTest::newRow("impossible date") << "made" << "2023-02-30" << "'2023-02-30' is not a valid date value for field 'made'.";
  }
  void inputThatDoesNotReadIsRefused()
  {
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, message);
    auto t = table(QStringLiteral("items"));
    t->Edit();
    t->FieldByName("name")->SetAsString(QStringLiteral("kept"));
    const QString before = t->FieldByName(field)->AsString();
    try {
      t->FieldByName(field)->SetAsString(text);
      QFAIL("accepted");
    } catch (const EDatabaseError& e) {
      QCOMPARE(e.Message(), message);
    }
    QCOMPARE(t->State(), dsEdit);
    QCOMPARE(t->FieldByName("name")->AsString(), QStringLiteral("kept"));
    QCOMPARE(t->FieldByName(field)->AsString(), before);
  }

  void filterSkipsRecords()
  {
    auto t = table(QStringLiteral("items"));
    t->OnFilterRecord = [](TDataSet& ds) { return ds.FieldByName("qty")->AsString() != QLatin1String("2"); };
    t->SetFiltered(true);
    QStringList ids;
    for (; !t->Eof(); t->Next())
      ids << t->FieldByName("id")->AsString();
    QCOMPARE(ids, QStringList({"10", "30"}));
    QCOMPARE(t->RecordCount(), 2);
    t->SetFiltered(false);
    QCOMPARE(t->RecordCount(), 3);
  }

  void disabledControlsHearNothingUntilEnabled()
  {
    auto t = table(QStringLiteral("items"));
    TDataSource src;
    src.SetDataSet(t.get());
    CountingLink link;
    link.SetDataSource(&src);
    int scrolls = 0;
    t->AfterScroll = [&](TDataSet&) { ++scrolls; };
    t->DisableControls();
    t->DisableControls();
    for (t->First(); !t->Eof(); t->Next()) {
    }
    t->EnableControls();
    QVERIFY(t->ControlsDisabled());
    QCOMPARE(link.scrolled + link.changed, 0);
    t->EnableControls();
    QCOMPARE(link.changed, 1);
    QCOMPARE(scrolls, 4);  // after-scroll is told even while controls are disabled
  }

  void queries_data()
  {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("outcome");  // "rows:N" or "none"
    QTest::addColumn<int>("affected");
    QTest::newRow("select") << "SELECT * FROM items" << "rows:3" << 0;
    QTest::newRow("update") << "UPDATE items SET qty = qty + 1 WHERE id >= 20" << "none" << 2;
    QTest::newRow("several, last counts") << "CREATE TABLE t3(x);\nINSERT INTO t3 VALUES (1),(2);\nSELECT * FROM t3;" << "rows:2" << 0;
    QTest::newRow("insert after select") << "SELECT 1; DELETE FROM items WHERE id = 10" << "none" << 1;
    QTest::newRow("returning") << "DELETE FROM items WHERE id > 15 RETURNING id" << "rows:2" << 2;
  }
  void queries()
  {
    QFETCH(QString, sql);
    QFETCH(QString, outcome);
    QFETCH(int, affected);
    TQuery q;
    q.SetDatabaseName(QStringLiteral("DataSetDB"));
    q.SQL = sql.split(QLatin1Char('\n'));
    QString got;
    try {
      q.Open();
      got = QStringLiteral("rows:%1").arg(q.RecordCount());
    } catch (const ENoResultSet&) {
      got = QStringLiteral("none");
    }
    QCOMPARE(got, outcome);
    QCOMPARE(q.RowsAffected(), affected);
    QVERIFY(q.Active() == (outcome != QLatin1String("none")));
    QVERIFY(!q.CanModify());  // a result is read only, whatever it came from
  }
};

QTEST_GUILESS_MAIN(TestDataSet)
#include "tst_dataset.moc"
