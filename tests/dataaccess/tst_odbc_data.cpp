// The ODBC driver reading and writing a real MariaDB server: tables walked by key both ways and
// jumped into, results read forward through a cursor, edits by key with another session at work,
// and what Execute reports.
#include "DataAccessHelpers.h"
#include "MariaTestServer.h"
#include "TestSupport.h"

#include "dataaccess/EngineWait.h"
#include "dataaccess/odbc/OdbcSession.h"

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
    // Long values of every length around the part bound with the rest of a row, in characters of
    // one to four bytes, and beyond a piece; a column after them. Without characters beyond the
    // Latin-1 plane for a connection whose character set has none.
    for (const auto& [name, characters] : {std::pair("memos", "'a','é','山','🦅'"), std::pair("memos_latin", "'a','é'")})
      my->exec(QStringLiteral("CREATE TABLE %1(id int PRIMARY KEY, body mediumtext, data mediumblob, after_them int);"
                              "INSERT INTO %1 SELECT seq, REPEAT(ELT(MOD(seq, %2) + 1, %3), ELT(MOD(seq DIV 4, 14) + 1, %4)),"
                              " REPEAT(CHAR(MOD(seq, 256)), ELT(MOD(seq DIV 56, 6) + 1, %5)), seq FROM seq_1_to_1200")
                   .arg(QLatin1String(name))
                   .arg(QString::fromUtf8(characters).count(QLatin1Char(',')) + 1)
                   .arg(QString::fromUtf8(characters), bodyLengths().join(QLatin1Char(',')), blobLengths().join(QLatin1Char(','))));
  }
  static QStringList bodyLengths()
  {
    return {"0", "1", "255", "256", "257", "509", "510", "511", "512", "513", "1023", "1024", "1025", "20000"};
  }
  static QStringList blobLengths() { return {"0", "1", "2047", "2048", "2049", "70000"}; }
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
    // Counted, a table jumps from the keys noted on the way, at and around each noted place.
    for (const int recNo : {2048, 2049, 2050, 2300, 2500, 1, 1701}) {
      auto counted = table(QStringLiteral("pairs"));
      QCOMPARE(counted->RecordCount(), 2500);
      counted->SetRecNo(recNo);
      QCOMPARE(counted->FieldByName(QStringLiteral("n"))->Value().asInteger(), expected(recNo - 1));
    }
    t->SetRecNo(1701);
    const TBookmark mark = t->GetBookmark();
    t->First();
    t->GotoBookmark(mark);
    QCOMPARE(t->RecNo(), int64_t(1701));
  }

  // A table's long values come whole whatever their length, read forward, backward and by jumps,
  // whether text travels as UTF-8 or (a connection whose character set cannot carry every
  // character) as UTF-16.
  void longValuesComeWhole_data()
  {
    QTest::addColumn<QString>("charset");  // of the connection; empty for the server's
    QTest::addColumn<QString>("tableName");
    QTest::addColumn<bool>("utf8");  // whether text travels as UTF-8
    QTest::newRow("UTF-8") << "" << "memos" << true;
    QTest::newRow("UTF-16") << "latin1" << "memos_latin" << false;
  }
  void longValuesComeWhole()
  {
    QFETCH(QString, charset);
    QFETCH(QString, tableName);
    QFETCH(bool, utf8);
    TAliasConfig alias;
    alias.Name = QStringLiteral("Memos");
    alias.Entries.push_back({QStringLiteral("Driver"), QStringLiteral("ODBC"), 1});
    alias.Entries.push_back({QStringLiteral("ConnectionString"),
                             QString::fromUtf8(maria_test::connectionString(my->name())) +
                                 (charset.isEmpty() ? QString() : QStringLiteral(";CHARSET=") + charset),
                             2});
    const QString user = QString::fromUtf8(maria_test::server().User2), password = QString::fromUtf8(maria_test::server().Password2);
    {
      const OdbcSession session(alias, user, password);
      QCOMPARE(session.textAsUtf8(), utf8);
      QVERIFY(session.refetchesRows());  // MariaDB's driver: a query's rows cut short are fetched again
    }
    folder->useAliases("[Memos]\nDriver=ODBC\nConnectionString=" + alias.value(QStringLiteral("ConnectionString"))->toUtf8() + "\n");
    auto memos = openDatabase(QStringLiteral("MemoDB"), QStringLiteral("Memos"),
                              {QStringLiteral("USER NAME=") + user, QStringLiteral("PASSWORD=") + password});
    const int characters = tableName == QLatin1String("memos") ? 4 : 2;
    const auto check = [&](TDataSet& t) {
      const int id = int(t.FieldByName(QStringLiteral("id"))->Value().asInteger());
      const QString body = QString(QStringList{"a", "é", "山", "🦅"}.at(id % characters)).repeated(bodyLengths().at((id / 4) % 14).toInt());
      const QByteArray data(blobLengths().at((id / 56) % 6).toInt(), char(id % 256));
      const TValue bodyValue = t.FieldByName(QStringLiteral("body"))->Value(), dataValue = t.FieldByName(QStringLiteral("data"))->Value();
      if (bodyValue.rawBytes() != body.toUtf8() || dataValue.rawBytes() != data ||
          t.FieldByName(QStringLiteral("after_them"))->Value().asInteger() != id)
        return QStringLiteral("row %1: body of %2 bytes (expected %3), data of %4 bytes (expected %5)")
            .arg(id)
            .arg(bodyValue.rawBytes().size())
            .arg(body.toUtf8().size())
            .arg(dataValue.rawBytes().size())
            .arg(data.size());
      return QString();
    };
    auto t = openTable(QStringLiteral("MemoDB"), tableName);
    int n = 0;
    for (t->First(); !t->Eof(); t->Next(), ++n) {
      QCOMPARE(t->FieldByName(QStringLiteral("id"))->Value().asInteger(), n + 1);
      const QString wrong = check(*t);
      QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }
    QCOMPARE(n, 1200);
    for (t->Last(); !t->Bof(); t->Prior(), --n) {
      QCOMPARE(t->FieldByName(QStringLiteral("id"))->Value().asInteger(), n);
      const QString wrong = check(*t);
      QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }
    QCOMPARE(n, 0);
    // The same rows as a query, forward, by a jump ahead and by one behind (which runs it again).
    auto q = openQuery(QStringLiteral("MemoDB"), QStringLiteral("SELECT id, body, data, after_them FROM %1 ORDER BY id").arg(tableName));
    for (q->First(); !q->Eof(); q->Next(), ++n) {
      QCOMPARE(q->FieldByName(QStringLiteral("id"))->Value().asInteger(), n + 1);
      const QString wrong = check(*q);
      QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }
    QCOMPARE(n, 1200);
    for (const int recNo : {5, 1111}) {
      auto jumped = openQuery(QStringLiteral("MemoDB"), QStringLiteral("SELECT * FROM %1 ORDER BY id").arg(tableName));
      jumped->SetRecNo(recNo);
      for (int i = 0; i < 60 && !jumped->Eof(); ++i, jumped->Next()) {
        QCOMPARE(jumped->FieldByName(QStringLiteral("id"))->Value().asInteger(), recNo + i);
        const QString wrong = check(*jumped);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
      }
    }
    for (const int recNo : {1000, 17, 601}) {
      auto jumped = openTable(QStringLiteral("MemoDB"), tableName);
      if (recNo != 17)
        QCOMPARE(jumped->RecordCount(), 1200);
      jumped->SetRecNo(recNo);
      for (int i = 0; i < 120 && !jumped->Eof(); ++i, jumped->Next()) {
        QCOMPARE(jumped->FieldByName(QStringLiteral("id"))->Value().asInteger(), recNo + i);
        const QString wrong = check(*jumped);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
      }
    }
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
