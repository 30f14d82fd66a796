#include "Backends.h"
#include "DataAccessHelpers.h"

#include <QtTest>

#include <sqlite3.h>

class TestDataSet : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;
  std::unique_ptr<test_backends::SqliteBackend> file;  // a second session on the file
  std::unique_ptr<TDatabase> db;

  static std::unique_ptr<TTable> table(const QString& name) { return openTable(QStringLiteral("DataSetDB"), name); }

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
    db = openDatabase(QStringLiteral("DataSetDB"), QStringLiteral("D"));
  }
  void cleanup()
  {
    db.reset();
    file.reset();
    folder.reset();
  }

  // Forward and back across block borders, by key ranges: every row once, in key order; and jumps.
  void walksInKeyOrderBothWays()
  {
    auto t = table(QStringLiteral("pairs"));
    const QStringList expected = file->scalar("SELECT group_concat(b || a) FROM (SELECT * FROM pairs ORDER BY b, a)").split(',');
    QStringList forward;
    for (t->First(); !t->Eof(); t->Next())
      forward << t->FieldByName("b")->AsString() + t->FieldByName("a")->AsString();
    QCOMPARE(forward, expected);
    t->Next();  // no move past the end, which keeps the last record
    QCOMPARE(t->RecNo(), 1000);
    QCOMPARE(t->FieldByName("a")->AsString(), QStringLiteral("998"));
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, t->FieldByName("missing"));
    QStringList backward;
    for (t->Last(); !t->Bof(); t->Prior())
      backward.prepend(t->FieldByName("b")->AsString() + t->FieldByName("a")->AsString());
    QCOMPARE(backward, expected);
    QCOMPARE(t->RecordCount(), 1000);
    // Jumps, stopping at either end.
    t->Last();
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

  // Counting a table notes keys along the way; jumps to any depth must land on the row at that place,
  // before and after rows come and go.
  void jumpsLandOnTheirPlace_data()
  {
    QTest::addColumn<QString>("create");
    QTest::newRow("integer key with gaps") << "CREATE TABLE deep(k INTEGER PRIMARY KEY, v TEXT)";
    QTest::newRow("two-part key") << "CREATE TABLE deep(g TEXT, k INT, v TEXT, PRIMARY KEY(g, k))";
    QTest::newRow("row id only") << "CREATE TABLE deep(k INT, v TEXT)";
    QTest::newRow("without row id") << "CREATE TABLE deep(k INT PRIMARY KEY, v TEXT) WITHOUT ROWID";
  }
  void jumpsLandOnTheirPlace()
  {
    QFETCH(QString, create);
    const bool grouped = create.contains(QLatin1String("g TEXT"));
    file->exec(create + QStringLiteral(";WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 9999)"
                                       " INSERT INTO deep(%1k, v) SELECT %2(i * 7919) % 100003, 'v' || i FROM n")
                            .arg(grouped ? QStringLiteral("g, ") : QString(), grouped ? QStringLiteral("char(65 + i % 3), ") : QString()));
    const QString order = grouped ? QStringLiteral("g, k") : create.contains(QLatin1String("k INT,")) ? QStringLiteral("rowid") : QStringLiteral("k");
    auto t = table(QStringLiteral("deep"));
    auto check = [&](const char* when) {
      QCOMPARE(t->RecordCount64(), file->scalar(QStringLiteral("SELECT count(*) FROM deep")).toLongLong());
      for (const int64_t place : {2047, 2048, 2049, 6143, 9000, int(t->RecordCount64()) - 1}) {
        t->SetRecNo(place + 1);
        const QString at = QStringLiteral("SELECT v FROM deep ORDER BY %1 LIMIT 1 OFFSET %2").arg(order).arg(place);
        QVERIFY2(t->FieldByName("v")->AsString() == file->scalar(at), qPrintable(QStringLiteral("%1, place %2").arg(when).arg(place)));
      }
    };
    check("counted");
    t->SetRecNo(3000);
    t->Delete();
    t->SetRecNo(10);
    t->Delete();
    check("after deletes");
    file->exec(QStringLiteral("DELETE FROM deep WHERE v IN ('v1', 'v2', 'v3')"));
    t->Refresh();
    check("after another session's deletes");
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
    evens->Last();
    QCOMPARE(evens->RecNo(), 500);
    const QString refusal = errorOf([&] { evens->Edit(); });
    QVERIFY2(refusal.contains(QStringLiteral("neither a primary key nor a row id")), qPrintable(refusal));
    QCOMPARE(evens->State(), dsBrowse);
  }

  // A posted value is stored as typed; an inserted row stands where it was asked for until it is
  // posted, then where its key puts it, with its defaults read back.
  void editPostInsert()
  {
    auto t = table(QStringLiteral("items"));
    t->Next();  // id 20
    t->Edit();
    t->FieldByName("price")->SetAsString(QStringLiteral("12345678.91"));
    t->FieldByName("made")->SetAsString(QStringLiteral("2024-02-29"));
    t->Next();  // moving posts
    QCOMPARE(file->scalar("SELECT name || '|' || price || '|' || made FROM items WHERE id = 20"),
             QStringLiteral("twenty|12345678.91|2024-02-29"));
    t->First();
    t->Insert();
    QCOMPARE(t->RecNo(), 1);
    QVERIFY(t->RowAt(0) && t->RowAt(0)->at(0).isNull());
    t->FieldByName("id")->SetAsString(QStringLiteral("25"));
    t->Post();
    QCOMPARE(t->RecNo(), 3);
    QCOMPARE(t->FieldByName("name")->AsString(), QStringLiteral("unnamed"));
    QCOMPARE(t->RecordCount(), 4);
  }

  // Every column takes part in the check that no one else changed the row: with more columns than
  // SQLite nests expressions deep, editing and deleting still work, and still notice a change. With
  // as many columns as a result holds, the row id finds no room beside them: a keyed table still
  // edits and reads its new rows back; one without a key opens and says why it cannot be edited.
  void wideTablesEditAndDelete_data()
  {
    QTest::addColumn<int>("columns");  // besides the key
    QTest::addColumn<bool>("keyed");
    QTest::newRow("deeper than expressions nest") << 1200 << true;
    QTest::newRow("as many as a result holds") << 1999 << true;
    QTest::newRow("as many as a result holds, no key") << 2000 << false;
  }
  void wideTablesEditAndDelete()
  {
    QFETCH(int, columns);
    QFETCH(bool, keyed);
    QStringList defs(keyed ? 1 : 0, QStringLiteral("id INTEGER PRIMARY KEY"));
    for (int i = 1; i <= columns; ++i)
      defs << QStringLiteral("c%1 INT DEFAULT %1").arg(i);
    file->exec(QStringLiteral("CREATE TABLE wide(%1); INSERT INTO wide(c1) VALUES (1), (2), (3);").arg(defs.join(QLatin1Char(','))));
    auto t = table(QStringLiteral("wide"));
    const QString last = QStringLiteral("c%1").arg(columns);
    QCOMPARE(t->FieldByName(last)->AsString(), QString::number(columns));
    if (!keyed) {
      QVERIFY(errorOf([&] { t->Edit(); }).contains(QStringLiteral("its 2000 columns leave no room")));
      return;
    }
    t->Edit();
    t->FieldByName(last)->SetAsString(QStringLiteral("-7"));
    t->Post();
    QCOMPARE(file->scalar(QStringLiteral("SELECT %1 FROM wide WHERE id = 1").arg(last)), QStringLiteral("-7"));
    t->Delete();
    QCOMPARE(file->scalar("SELECT count(*) FROM wide"), QStringLiteral("2"));
    t->Append();
    t->FieldByName("c1")->SetAsString(QStringLiteral("9"));
    t->Post();
    QCOMPARE(t->FieldByName("id")->AsString(), QStringLiteral("4"));  // read back as stored
    t->First();
    file->exec(QStringLiteral("UPDATE wide SET c600 = 0 WHERE id = 2"));
    t->Edit();
    t->FieldByName("c1")->SetAsString(QStringLiteral("5"));
    QVERIFY_THROWS_EXCEPTION(EDBEngineError, t->Post());  // another session changed c600 meanwhile
  }

  // When a delete or a refresh fails, the message names what happened: the file gone (not "write-
  // protected"), the row deleted or changed by another process (nothing is deleted blindly), the file
  // locked by another process (not a missing row).
  void failuresNameWhatHappened_data()
  {
    QTest::addColumn<QString>("elsewhere");  // another session's SQL, or "remove" or "lock" the file
    QTest::addColumn<QString>("action");     // "delete" or "refresh"
    QTest::addColumn<QString>("reason");
    QTest::newRow("file deleted") << "remove" << "delete" << "deleted or moved while it was open";
    QTest::newRow("row deleted") << "DELETE FROM items WHERE id = 10" << "delete" << "The row was deleted by another user";
    QTest::newRow("row changed") << "UPDATE items SET qty = 7 WHERE id = 10" << "delete" << "The row was changed by another user";
    QTest::newRow("file locked") << "lock" << "refresh" << "Cannot refresh the records.\ndatabase is locked";
  }
  void failuresNameWhatHappened()
  {
    QFETCH(QString, elsewhere);
    QFETCH(QString, action);
    QFETCH(QString, reason);
    auto t = table(QStringLiteral("items"));
    sqlite3* holder = nullptr;
    sqlite3_open(qPrintable(folder->path(QStringLiteral("both.db"))), &holder);
    const std::unique_ptr<sqlite3, decltype(&sqlite3_close)> closer(holder, sqlite3_close);
    if (elsewhere == QLatin1String("remove"))
      QVERIFY(QFile::remove(folder->path(QStringLiteral("both.db"))));
    else
      QCOMPARE(sqlite3_exec(holder, elsewhere == QLatin1String("lock") ? "BEGIN EXCLUSIVE" : qPrintable(elsewhere), nullptr, nullptr,
                            nullptr), SQLITE_OK);
    const QString refusal = errorOf([&] { action == QLatin1String("delete") ? t->Delete() : t->Refresh(); });
    QVERIFY2(refusal.contains(reason), qPrintable(refusal));
  }

  // Of several statements the last one decides what Execute shows; a result is read only.
  // Counting a result keeps its rows in a temporary file: rows read back from it, in any order, must
  // be those the statement gives, every kind of value exact. Without a temporary folder the statement
  // is run again at each place instead.
  void resultJumpsReadTheSameRows_data()
  {
    QTest::addColumn<QByteArray>("tempFolder");
    QTest::newRow("kept in a temporary file") << qgetenv("TMPDIR");
    QTest::newRow("no temporary folder") << QByteArray("/nonexistent/kestrel");
  }
  void resultJumpsReadTheSameRows()
  {
    QFETCH(QByteArray, tempFolder);
    file->exec(QStringLiteral(
        "CREATE TABLE vals(i INTEGER PRIMARY KEY, n, t, b);"
        "WITH RECURSIVE k(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM k WHERE i < 4999)"
        " INSERT INTO vals SELECT i, CASE i % 5 WHEN 0 THEN i * -7919 WHEN 1 THEN i / 3.0 WHEN 2 THEN NULL"
        " WHEN 3 THEN 9223372036854775807 - i ELSE -1e308 END,"
        " CASE i % 3 WHEN 0 THEN 'tëxt' || char(0, 128512) || i WHEN 1 THEN '' END,"
        " CASE i % 4 WHEN 0 THEN randomblob(i % 300) WHEN 1 THEN x'' END FROM k"));
    const QString sql = QStringLiteral("SELECT n, t, b, i FROM vals WHERE i % 7 <> 3");
    std::vector<QStringList> expected;  // read in one pass, never counted
    for (auto walk = openQuery(QStringLiteral("DataSetDB"), sql); !walk->Eof(); walk->Next()) {
      expected.emplace_back();
      for (const TValue& v : *walk->RowAt(walk->RecNo() - 1))
        expected.back() << show(v);
    }
    const QByteArray saved = qgetenv("TMPDIR");
    qputenv("TMPDIR", tempFolder);
    auto q = openQuery(QStringLiteral("DataSetDB"), sql);
    QCOMPARE(q->RecordCount64(), int64_t(expected.size()));
    qputenv("TMPDIR", saved);
    for (int64_t place = int64_t(expected.size()) - 1; place >= 0; place -= 97) {
      QStringList got;
      for (const TValue& v : *q->RowAt(place))
        got << show(v);
      QCOMPARE(got, expected[size_t(place)]);
    }
  }

  void queries()
  {
    const std::pair<const char*, const char*> cases[] = {
        {"CREATE TABLE t3(x);\nINSERT INTO t3 VALUES (1),(2);\nSELECT * FROM t3;", "rows:2, 0 changed"},
        {"SELECT 1; DELETE FROM items WHERE id = 10", "none, 1 changed"},
        {"DELETE FROM items WHERE id > 15 RETURNING id", "rows:2, 2 changed"}};
    for (const auto& [sql, outcome] : cases) {
      TQuery q;
      q.SetDatabaseName(QStringLiteral("DataSetDB"));
      q.SQL = QString::fromLatin1(sql).split(QLatin1Char('\n'));
      QString got = QStringLiteral("none");
      try {
        q.Open();
        got = QStringLiteral("rows:%1").arg(q.RecordCount());
      } catch (const ENoResultSet&) {
      }
      QCOMPARE(got + QStringLiteral(", %1 changed").arg(q.RowsAffected()), QLatin1String(outcome));
      QVERIFY(q.Active() == got.startsWith(QLatin1String("rows")) && !q.CanModify());
    }
  }
};

QTEST_GUILESS_MAIN(TestDataSet)
#include "tst_dataset.moc"
