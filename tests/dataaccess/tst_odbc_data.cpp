// The ODBC driver reading and writing a real MariaDB server: tables walked by key both ways and
// jumped into, results read forward through a cursor, edits by key with another session at work,
// and what Execute reports.
#include "DataAccessHelpers.h"
#include "MariaTestServer.h"
#include "TestSupport.h"

#include "dataaccess/EngineWait.h"

#include <QScopeGuard>
#include <QtTest>

class TestOdbcData : public QObject {
  Q_OBJECT
  std::unique_ptr<maria_test::TempDatabase> my;
  std::unique_ptr<TestFolder> folder;
  std::unique_ptr<TDatabase> db;

  static std::unique_ptr<TTable> table(const QString& name) { return openTable(QStringLiteral("DataDB"), name); }
  static std::unique_ptr<TQuery> query(const QString& sql) { return openQuery(QStringLiteral("DataDB"), sql); }

private slots:
  void initTestCase()
  {
    MARIA_REQUIRE_SERVER();
    my = std::make_unique<maria_test::TempDatabase>(QStringLiteral("data"));
    // 2,500 rows: several rowsets and cache blocks; a key of two columns whose order is not the
    // order the rows were added in.
    my->exec(QStringLiteral(
        "CREATE TABLE pairs(a int, b varchar(4), n int, PRIMARY KEY (a, b));"
        "INSERT INTO pairs SELECT seq DIV 2, IF(seq % 2 = 0, 'y', 'x'), seq FROM seq_0_to_2499 ORDER BY seq DESC;"
        "CREATE TABLE loose(x int, y text); INSERT INTO loose SELECT seq, CONCAT('y', seq) FROM seq_1_to_1200;"
        "CREATE TABLE items(id int PRIMARY KEY, qty int NOT NULL DEFAULT 5, note text, price float);"
        "INSERT INTO items VALUES (1, 10, 'one', 1.1), (2, 20, NULL, 2.2), (3, 30, 'three', 3.3);"
        "CREATE TABLE numbered(id int AUTO_INCREMENT PRIMARY KEY, note varchar(10)) AUTO_INCREMENT = 70;"));
  }
  void cleanupTestCase() { my.reset(); }

  void init()
  {
    folder = std::make_unique<TestFolder>();
    folder->useAliases(my->aliasSection(QStringLiteral("My")));
    db = openDatabase(QStringLiteral("DataDB"), QStringLiteral("My"),
                      {QStringLiteral("USER NAME=") + QString::fromUtf8(maria_test::server().User2),
                       QStringLiteral("PASSWORD=") + QString::fromUtf8(maria_test::server().Password2)});
  }
  void cleanup()
  {
    db.reset();
    folder.reset();
  }

  // Every row once, in key order, forward and backward; a jump to a record and back by bookmark.
  void walksATableByKey()
  {
    auto t = table(QStringLiteral("pairs"));
    // (a, b) ascending: (0,'x') holds seq 1, (0,'y') seq 0, (1,'x') seq 3...
    const auto expected = [](int64_t i) { return i % 2 == 0 ? i + 1 : i - 1; };
    int64_t i = 0;
    for (t->First(); !t->Eof(); t->Next(), ++i)
      QCOMPARE(t->FieldByName(QStringLiteral("n"))->Value().asInteger(), expected(i));
    QCOMPARE(i, 2500);
    // A jump into a table just opened steps over the rows before it, rowsets at a time.
    auto jumped = table(QStringLiteral("pairs"));
    jumped->SetRecNo(1701);
    QCOMPARE(jumped->FieldByName(QStringLiteral("n"))->Value().asInteger(), expected(1700));
    QCOMPARE(t->RecordCount(), 2500);
    for (t->Last(), i = 2499; !t->Bof(); t->Prior(), --i)
      QCOMPARE(t->FieldByName(QStringLiteral("n"))->Value().asInteger(), expected(i));
    QCOMPARE(i, -1);
    t->SetRecNo(1701);
    QCOMPARE(t->FieldByName(QStringLiteral("n"))->Value().asInteger(), expected(1700));
    const TBookmark mark = t->GetBookmark();
    t->First();
    t->GotoBookmark(mark);
    QCOMPARE(t->RecNo(), int64_t(1701));
  }

  // A query's rows come through a forward cursor; reading behind it runs the query again.
  // Without a key a table is read the same way, and cannot be edited.
  void readsResultsForward_data()
  {
    QTest::addColumn<QString>("source");  // a table name, or a query
    QTest::addColumn<int>("rows");
    QTest::newRow("a query") << "SELECT x, y FROM loose WHERE x <= 1100 ORDER BY x;" << 1100;
    QTest::newRow("a table without a key") << "loose" << 1200;
  }
  void readsResultsForward()
  {
    QFETCH(QString, source);
    QFETCH(int, rows);
    std::unique_ptr<TDataSet> d;
    if (source.startsWith(QLatin1String("SELECT")))
      d = query(source);
    else
      d = table(source);
    QCOMPARE(d->RecordCount(), rows);
    int n = 0;
    for (d->First(); !d->Eof(); d->Next()) {
      QCOMPARE(d->Fields(0)->Value().asInteger(), ++n);
      QCOMPARE(d->Fields(1)->AsString(), QStringLiteral("y%1").arg(n));  // a memo: read in pieces, row by row
    }
    QCOMPARE(n, rows);
    d->Close();
    d->Open();
    d->SetRecNo(1090);  // a jump past the rows read: those before it are stepped over, a row at a time
    QCOMPARE(d->Fields(1)->AsString(), QStringLiteral("y1090"));
    d->First();
    QCOMPARE(d->Fields(0)->Value().asInteger(), 1);
    QVERIFY(!d->CanModify());
  }

  // Edits reach the server with every value as typed; an edit of a row that another session changed
  // or deleted meanwhile writes nothing and says which it was.
  void editsByKey_data()
  {
    QTest::addColumn<QString>("meanwhile");  // what another session does first
    QTest::addColumn<QString>("outcome");    // the row afterwards, or the error's last line
    QTest::newRow("alone") << "" << "1|11|edited|1.1";
    QTest::newRow("the value typed, written meanwhile") << "UPDATE items SET qty = 11 WHERE id = 1"
                                                        << "The row was changed by another user";
    // MariaDB counts no changed row when the stored value already is the one written.
    QTest::newRow("all values as typed, written meanwhile") << "UPDATE items SET qty = 11, note = 'edited' WHERE id = 1"
                                                            << "1|11|edited|1.1";
    QTest::newRow("another column changed meanwhile") << "UPDATE items SET note = 'theirs' WHERE id = 1"
                                                      << "The row was changed by another user";
    QTest::newRow("deleted meanwhile") << "DELETE FROM items WHERE id = 1" << "The row was deleted by another user";
  }
  void editsByKey()
  {
    QFETCH(QString, meanwhile);
    QFETCH(QString, outcome);
    my->exec(QStringLiteral("DELETE FROM items WHERE id = 1; INSERT INTO items VALUES (1, 10, 'one', 1.1)"));
    auto t = table(QStringLiteral("items"));
    t->Edit();
    t->FieldByName(QStringLiteral("qty"))->SetAsString(QStringLiteral("11"));
    t->FieldByName(QStringLiteral("note"))->SetAsString(QStringLiteral("edited"));
    if (!meanwhile.isEmpty())
      my->exec(meanwhile);
    const QString error = errorOf([&] { t->Post(); });
    const QString stored = my->scalar(QStringLiteral("SELECT CONCAT_WS('|', id, qty, note, price) FROM items WHERE id = 1"));
    if (outcome.startsWith(QLatin1String("The row")))
      QVERIFY2(error.contains(outcome) && stored != QStringLiteral("1|11|edited|1.1"), qPrintable(error + '\n' + stored));
    else
      QCOMPARE(error + '/' + stored, QStringLiteral("no error/") + outcome);
  }

  // A new row gets the defaults of the columns left empty, and shows them; a deleted row is gone.
  void insertsAndDeletes()
  {
    auto t = table(QStringLiteral("items"));
    t->Append();
    t->FieldByName(QStringLiteral("id"))->SetAsString(QStringLiteral("40"));
    t->FieldByName(QStringLiteral("note"))->SetAsString(QStringLiteral("new 😀"));
    t->Post();
    QCOMPARE(t->FieldByName(QStringLiteral("qty"))->AsString(), QStringLiteral("5"));
    QCOMPARE(my->scalar(QStringLiteral("SELECT CONCAT_WS('|', qty, note) FROM items WHERE id = 40")), QStringLiteral("5|new 😀"));
    const int before = t->RecordCount();
    t->Delete();
    QCOMPARE(t->RecordCount(), before - 1);
    QCOMPARE(my->scalar(QStringLiteral("SELECT COUNT(*) FROM items WHERE id = 40")), QStringLiteral("0"));
    // A row added without the number the data source gives it comes back with it, to be found again.
    TDriverConnection& connection = db->Connection();
    auto numbered = connection.openTable(QStringLiteral("numbered"), connection.describeTable(QStringLiteral("numbered")));
    const TRow stored = numbered->insertRow({TValue(), TValue::text(QStringLiteral("first"))});
    QCOMPARE(show(stored.at(0)) + ' ' + show(stored.at(1)), QStringLiteral("i:70 t:first"));
  }

  // A statement that runs long waits on its own thread while the window's wait runs; Cancel reaches
  // the server (SQLCancel), and the connection is fit for the next statement.
  void cancelStopsAStatement()
  {
    QElapsedTimer clock;
    TEngineWait::Handler handler;
    bool asked = false;  // once: the statement after it runs to its end
    handler.Wait = [&](TEngineWait::Request& request) {
      while (!request.Ready()) {
        if (!asked && clock.elapsed() > 300) {
          request.Cancel();
          asked = true;
        }
        QThread::msleep(10);
      }
    };
    TEngineWait::setHandler(handler);
    auto restore = qScopeGuard([] { TEngineWait::setHandler({}); });
    clock.start();
    const QString message = errorOf([&] { query(QStringLiteral("SELECT SUM(a.seq * b.seq) FROM seq_1_to_200000 a, seq_1_to_200000 b")); });
    QVERIFY2(message == QStringLiteral("Cannot run the statement.\n") + statementCancelledText(), qPrintable(message));
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(query(QStringLiteral("SELECT 'still here'"))->Fields(0)->AsString(), QStringLiteral("still here"));
  }

  // A connection the server ends is found broken by the next command, which says so; the command
  // after it connects again.
  void aLostConnectionIsMadeAgain()
  {
    std::vector<bool> told;  // lost, found again
    db->OnConnectionState = [&](TDatabase&, bool lost) { told.push_back(lost); };
    // A result opened before reads on after (MariaDB's driver holds its rows; others run it anew).
    auto result = query(QStringLiteral("SELECT x, y FROM loose ORDER BY x"));
    my->exec(QStringLiteral("KILL ") + query(QStringLiteral("SELECT CONNECTION_ID()"))->Fields(0)->AsString());
    const QString lost = errorOf([&] { query(QStringLiteral("SELECT 1")); });
    QVERIFY2(lost.endsWith(QStringLiteral("The connection to the server was lost. The next command connects again.")), qPrintable(lost));
    QVERIFY(db->ConnectionLost());
    QCOMPARE(table(QStringLiteral("pairs"))->RecordCount(), 2500);
    QCOMPARE(told, (std::vector<bool>{true, false}));
    result->Last();
    QCOMPARE(result->Fields(0)->AsString(), QStringLiteral("1200"));
  }

  // What Execute reports: the rows changed, rows to show, or the data source's records after the
  // engine's words, the connection fit for the next statement.
  void executeOutcomes_data()
  {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("outcome");  // rows changed, "rows:" and the first cell, or the error up to the message
    QTest::newRow("update") << "UPDATE items SET qty = qty + 1 WHERE id >= 2" << "2";
    QTest::newRow("rows of a statement that is no query, kept") << "SHOW TABLES LIKE 'pai%'" << "rows:pairs";
    QTest::newRow("several statements, refused before anything runs")
        << "INSERT INTO items(id) VALUES (50); -- then\nSELECT 'a;b'" << "Cannot run the statement.\nThrough ODBC, run one statement at a time";
    QTest::newRow("one statement, a semicolon in a literal, a comment after its end")
        << "SELECT 'a;b', \"c;\" AS `e;` FROM items WHERE id = 2; -- done" << "rows:a;b";
    QTest::newRow("duplicate key") << "INSERT INTO items(id) VALUES (2)" << "Cannot run the statement.\nSQLSTATE 23000, native error 1062";
  }
  void executeOutcomes()
  {
    QFETCH(QString, sql);
    QFETCH(QString, outcome);
    TQuery q;
    q.SetDatabaseName(QStringLiteral("DataDB"));
    q.SQL << sql;
    const QString error = errorOf([&] {
      try {
        q.Open();
      } catch (const ENoResultSet&) {
      }
    });
    const QString seen = error != QLatin1String("no error") ? error
                         : q.Active()                       ? QStringLiteral("rows:") + q.Fields(0)->AsString()
                                                            : QString::number(q.RowsAffected());
    QVERIFY2(seen == outcome || seen.startsWith(outcome + QLatin1Char(':')), qPrintable(seen));
    QCOMPARE(query(QStringLiteral("SELECT 'still here'"))->Fields(0)->AsString(), QStringLiteral("still here"));
  }
};

QTEST_MAIN(TestOdbcData)
#include "tst_odbc_data.moc"
