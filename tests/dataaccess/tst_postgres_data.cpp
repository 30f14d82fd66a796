// The PostgreSQL driver against the real server: values of every mapped type, tables read on their
// key, edits with other sessions at work, and statements run through Execute.
#include "DataAccessHelpers.h"
#include "PgTestServer.h"
#include "TestSupport.h"

#include "dataaccess/FormatSettings.h"

#include <QProcess>
#include <QScopeGuard>
#include <QtTest>

class TestPostgresData : public QObject {
  Q_OBJECT
  std::unique_ptr<pg_test::TempDatabase> pg;
  std::unique_ptr<TestFolder> folder;
  std::unique_ptr<TDatabase> db;

  static std::unique_ptr<TTable> table(const QString& name) { return openTable(QStringLiteral("DataDB"), name); }
  static std::unique_ptr<TQuery> query(const QString& sql) { return openQuery(QStringLiteral("DataDB"), sql); }

  // Carries out a statement that returns no rows, as the editor's Execute does.
  int64_t run(const QString& sql)
  {
    TQuery q;
    q.SetDatabaseName(QStringLiteral("DataDB"));
    q.SQL << sql;
    try {
      q.Open();
    } catch (const ENoResultSet&) {
    }
    return q.RowsAffected();
  }

  // counted(i) gives i back and leaves a row in calls for each call.
  void countCalls()
  {
    pg->exec(QStringLiteral("DROP TABLE IF EXISTS calls; CREATE TABLE calls(i int);"
                            "CREATE OR REPLACE FUNCTION counted(i int) RETURNS int"
                            " AS 'INSERT INTO calls VALUES (i); SELECT i' LANGUAGE sql VOLATILE;"));
  }

private slots:
  void initTestCase()
  {
    PG_REQUIRE_SERVER();
    pg = std::make_unique<pg_test::TempDatabase>(QStringLiteral("data"));
    pg->exec(QStringLiteral(
        "CREATE TABLE vals(id int PRIMARY KEY, n30 numeric, tstz timestamptz, b bytea, t text, f8 float8, m money,"
        " flag boolean, j json, tm time, big bigint, v varchar(10), c char(4));"
        "INSERT INTO vals VALUES (1, -123456789012345678901234567890.0001, '2024-02-29 13:45:10.654321+02',"
        " (SELECT decode(string_agg(lpad(to_hex(i), 2, '0'), ''), 'hex') FROM generate_series(0, 255) i),"
        " 'A' || chr(233) || chr(8364) || chr(10) || (SELECT string_agg(chr(p * 65536 + 256), '') FROM generate_series(1, 16) p),"
        " 0.1, 1234567.89, true, '{\"b\": 1,  \"a\": [1, 2]}', '23:59:59.999999', -9223372036854775808, 'ten chars!', 'ab');"
        "INSERT INTO vals(id) VALUES (2);"
        "CREATE TABLE nums(id int PRIMARY KEY, qty int NOT NULL DEFAULT 0, note text);"
        "INSERT INTO nums SELECT i, i * 2, 'n' || i FROM generate_series(1, 50) i;"
        "CREATE TABLE loose(x int, y text); INSERT INTO loose SELECT i, 'y' || i FROM generate_series(1, 1000) i;"
        "CREATE VIEW loose_view AS SELECT * FROM loose WHERE x <= 600;"
        "CREATE TABLE docs(id int PRIMARY KEY, body json, markup xml, spot point, tags text[], qty int);"
        "INSERT INTO docs VALUES (1, '{\"a\":1}', '<p>1</p>', '(1,1)', '{x,y}', 1);"));
    // Dates and times render with their milliseconds, numbers with a point.
    FormatSettings() = TFormatSettings{};
    FormatSettings().LongTimeFormat = QStringLiteral("hh:nn:ss.zzz");
  }
  void cleanupTestCase() { pg.reset(); }

  void init()
  {
    folder = std::make_unique<TestFolder>();
    folder->useAliases(pg->aliasSection(QStringLiteral("PG")));
    db = openDatabase(QStringLiteral("DataDB"), QStringLiteral("PG"),
                      {QStringLiteral("USER NAME=") + QString::fromUtf8(pg_test::server().User),
                       QStringLiteral("PASSWORD=") + QString::fromUtf8(pg_test::server().Password)});
  }
  void cleanup()
  {
    db.reset();
    folder.reset();
  }

  // What the server stored is what the fields hold, to the last digit, byte and character; a value
  // typed into the grid reaches the server as the same value, for every type of the mapping.
  void typedValuesRoundTrip_data()
  {
    QString everyPlane = QStringLiteral("A\u00e9\u20ac\n");  // a character from each of the seventeen planes, and a line break
    for (char32_t c = 0x10100; c <= 0x100100; c += 0x10000)
      everyPlane += QString::fromUcs4(&c, 1);
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("before");  // what the field shows of the value the server was given
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");  // as the server shows it (times of timestamptz in UTC); empty: as typed
    QTest::addColumn<QString>("shown");   // what the field shows afterwards; empty: as typed
    QTest::newRow("numeric, 30 digits") << "n30" << "-123456789012345678901234567890.0001" << "98765432109876543210987654321.0123"
                                        << "" << "";
    QTest::newRow("timestamptz") << "tstz" << "2024-02-29 11:45:10.654" << "2025-01-02 03:04:05" << "" << "2025-01-02 03:04:05.000";
    QTest::newRow("double") << "f8" << "0.1" << "0.30000000000000004" << "" << "0.3";
    QTest::newRow("money") << "m" << "1234567.89" << "-12.5" << "-12.50" << "-12.50";
    QTest::newRow("boolean") << "flag" << "True" << "False" << "false" << "";
    QTest::newRow("json") << "j" << "{\"b\": 1,  \"a\": [1, 2]}" << "[1,  2]" << "" << "";
    QTest::newRow("time") << "tm" << "23:59:59.999" << "08:09:10.5" << "" << "08:09:10.500";
    QTest::newRow("char") << "c" << "ab  " << "xy" << "" << "xy  ";  // text drops the padding, the field keeps it
    QTest::newRow("text of every plane") << "t" << everyPlane << everyPlane.toUpper() << "" << "";
  }
  void typedValuesRoundTrip()
  {
    QFETCH(QString, column);
    QFETCH(QString, before);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    auto t = table(QStringLiteral("vals"));
    QCOMPARE(t->FieldByName(column)->AsString(), before);
    t->Edit();
    t->FieldByName(column)->SetAsString(typed);
    t->Post();
    const QString asServerShows = column == QLatin1String("tstz")  ? QStringLiteral("(tstz AT TIME ZONE 'UTC')::text")
                                  : column == QLatin1String("m") ? QStringLiteral("m::numeric::text")
                                                                 : column + QStringLiteral("::text");
    QCOMPARE(pg->scalar(QStringLiteral("SELECT %1 FROM vals WHERE id = 1").arg(asServerShows)), stored.isEmpty() ? typed : stored);
    QCOMPARE(t->FieldByName(column)->AsString(), shown.isEmpty() ? typed : shown);
    t->Next();
    QVERIFY(t->FieldByName(column)->IsNull());  // the second row holds nulls only
  }

  // Every byte reads and writes as it is; editing one field writes that field only: the others
  // (microseconds, 30 digits, every plane of Unicode) stay exactly as stored.
  void bytesAndTheOtherFieldsStayExact()
  {
    const QString hex = QStringLiteral("SELECT encode(b, 'hex') FROM vals WHERE id = 1");
    const QString others = QStringLiteral("SELECT (to_jsonb(vals) - 'b')::text FROM vals WHERE id = 1");
    const QString before = pg->scalar(others);
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
      bytes.prepend(char(i));
    auto t = table(QStringLiteral("vals"));
    QCOMPARE(QString::fromLatin1(t->FieldByName(QStringLiteral("b"))->AsBytes().toHex()), pg->scalar(hex));  // every byte, 0 up
    t->Edit();
    t->FieldByName(QStringLiteral("b"))->SetValue(TValue::bytes(bytes));
    t->Post();
    QCOMPARE(pg->scalar(hex), QString::fromLatin1(bytes.toHex()));
    QCOMPARE(t->FieldByName(QStringLiteral("b"))->AsBytes(), bytes);
    QCOMPARE(pg->scalar(others), before);
  }

  // A new row is read back as the server stored it: a column left empty holds its default.
  void anInsertReadsBackTheDefaults()
  {
    auto t = table(QStringLiteral("nums"));
    t->Append();
    t->FieldByName(QStringLiteral("id"))->SetAsString(QStringLiteral("51"));
    t->Post();
    QCOMPARE(t->FieldByName(QStringLiteral("qty"))->AsString(), QStringLiteral("0"));
    QCOMPARE(pg->scalar(QStringLiteral("SELECT qty FROM nums WHERE id = 51")), QStringLiteral("0"));
    pg->exec(QStringLiteral("DELETE FROM nums WHERE id = 51"));
  }

  // A row another session changed or removed since it was read is not overwritten, and the user's
  // edit stays; types without a usable equality (json, xml, point, arrays) are compared by text.
  void concurrentChanges_data()
  {
    QTest::addColumn<QString>("action");     // "edit" or "delete"
    QTest::addColumn<QString>("elsewhere");  // what the other session does meanwhile
    QTest::addColumn<QString>("conflict");  // what the message says happened; empty when nothing did
    QTest::newRow("edit, row deleted") << "edit" << "DELETE FROM docs WHERE id = 1" << "deleted";
    QTest::newRow("edit, json respaced") << "edit" << "UPDATE docs SET body = '{\"a\": 1}' WHERE id = 1" << "changed";
    QTest::newRow("edit, same values rewritten") << "edit" << "UPDATE docs SET qty = qty WHERE id = 1" << "";
    QTest::newRow("delete, array changed") << "delete" << "UPDATE docs SET tags = '{x}' WHERE id = 1" << "changed";
  }
  void concurrentChanges()
  {
    QFETCH(QString, action);
    QFETCH(QString, elsewhere);
    QFETCH(QString, conflict);
    pg->exec(QStringLiteral("DELETE FROM docs; INSERT INTO docs VALUES (1, '{\"a\":1}', '<p>1</p>', '(1,1)', '{x,y}', 1)"));
    auto t = table(QStringLiteral("docs"));
    if (action == QLatin1String("edit")) {
      t->Edit();
      t->FieldByName(QStringLiteral("qty"))->SetAsString(QStringLiteral("42"));
    }
    pg_test::Session other(pg->name());
    other.exec(elsewhere);
    const auto stored = [&] { return pg->scalar(QStringLiteral("SELECT count(*) || ':' || max(qty) FROM docs")); };
    const QString storedBefore = stored();
    const QString outcome = errorOf([&] { action == QLatin1String("edit") ? t->Post() : t->Delete(); });
    if (conflict.isEmpty()) {
      QCOMPARE(outcome, QStringLiteral("no error"));
      QCOMPARE(stored(), action == QLatin1String("edit") ? QStringLiteral("1:42") : QStringLiteral("<null>"));
      return;
    }
    QVERIFY2(outcome.contains(QStringLiteral("The row was %1 by another user").arg(conflict)), qPrintable(outcome));
    QCOMPARE(stored(), storedBefore);
    if (action == QLatin1String("edit")) {
      QCOMPARE(t->State(), dsEdit);
      QCOMPARE(t->FieldByName(QStringLiteral("qty"))->AsString(), QStringLiteral("42"));
    }
  }

  // A server session that ends (terminated, or the server stopped) is noticed by the command that
  // meets it; while the server cannot be reached each command tries once and says why; once it can,
  // the next command connects again, with the session's settings, and the record being edited is
  // posted as typed.
  void aLostConnectionIsMadeAgain_data()
  {
    QTest::addColumn<bool>("restart");  // else the session is terminated and the login refused a while
    QTest::addColumn<QString>("why");   // the reason while the server cannot be reached
    QTest::newRow("session terminated") << false << "permission denied";
    QTest::newRow("server stopped and started") << true << "refused";
  }
  void aLostConnectionIsMadeAgain()
  {
    QFETCH(bool, restart);
    QFETCH(QString, why);
    const QString stop = qEnvironmentVariable("KESTREL_TEST_PGSTOP"), start = qEnvironmentVariable("KESTREL_TEST_PGSTART");
    if (restart && (stop.isEmpty() || start.isEmpty()))
      QSKIP("the test script did not say how to stop and start the server");
    const auto shell = [](const QString& command) { return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), command}); };
    const QString grant = QStringLiteral("%1 CONNECT ON DATABASE \"%2\" %3 PUBLIC, \"%4\"");
    const QString user = QString::fromUtf8(pg_test::server().User);
    std::vector<bool> told;  // lost, found again
    db->OnConnectionState = [&](TDatabase&, bool lost) { told.push_back(lost); };
    auto t = table(QStringLiteral("nums"));
    t->Edit();
    t->FieldByName(QStringLiteral("qty"))->SetAsString(QStringLiteral("77"));
    const auto bringBack = [&] {
      restart ? void(shell(start)) : pg->exec(grant.arg(QStringLiteral("GRANT"), pg->name(), QStringLiteral("TO"), user));
    };
    auto back = qScopeGuard(bringBack);
    if (restart)
      QCOMPARE(shell(stop), 0);
    else
      pg->exec(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '%1'"
                              " AND application_name = 'Kestrel';").arg(pg->name()) +
               grant.arg(QStringLiteral("REVOKE"), pg->name(), QStringLiteral("FROM"), user));
    QVERIFY(errorOf([&] { t->Post(); }).contains(QStringLiteral("The connection to the server was lost.")));
    QVERIFY(db->ConnectionLost());
    const QString down = errorOf([&] { t->Post(); });
    QVERIFY2(down.startsWith(QStringLiteral("Cannot connect again to alias 'PG'.\n")) && down.contains(why), qPrintable(down));
    QCOMPARE(told, std::vector<bool>{true});
    QCOMPARE(t->State(), dsEdit);
    back.dismiss();
    bringBack();
    t->Post();
    QCOMPARE(told, (std::vector<bool>{true, false}));
    QCOMPARE(pg->scalar(QStringLiteral("SELECT qty FROM nums WHERE id = 1")), QStringLiteral("77"));
    QCOMPARE(openQuery(QStringLiteral("DataDB"), QStringLiteral("SHOW DateStyle"))->Fields(0)->AsString(), QStringLiteral("ISO, YMD"));
    pg->exec(QStringLiteral("UPDATE nums SET qty = 2 WHERE id = 1"));
  }

  // Without a primary key rows are read in the server's order and cannot be edited.
  void withoutKeyReadOnly()
  {
    auto t = table(QStringLiteral("loose_view"));
    QCOMPARE(errorOf([&] { t->Edit(); }),
             QStringLiteral("'loose_view' cannot be edited: it has no primary key by which a changed row could be found again."));
    int n = 0;
    for (t->First(); !t->Eof(); t->Next())
      QCOMPARE(t->FieldByName(QStringLiteral("x"))->Value().asInteger(), ++n);
    QCOMPARE(n, 600);
    QCOMPARE(t->RecordCount(), 600);
  }

  // What Execute reports: a result to show, the rows changed, or neither; or the server's message,
  // detail and hint, each an entry, after which the connection is fit for the next statement.
  void executeOutcomes_data()
  {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("outcome");  // "rows:" and the first cell, "none", or "error:" and what the entries after the first hold
    QTest::addColumn<int>("affected");
    QTest::newRow("insert returning") << "INSERT INTO nums(id) VALUES (9001), (9002) RETURNING id" << "rows:9001" << 2;
    QTest::newRow("several, the last selects") << "INSERT INTO nums VALUES (9101);\nTABLE nums ORDER BY id DESC" << "rows:9101" << 0;
    QTest::newRow("vacuum, which no transaction may hold") << "VACUUM nums" << "none" << 0;
    QTest::newRow("duplicate key") << "INSERT INTO nums(id) VALUES (1)" << "error:duplicate key value violates unique constraint "
                                      "\"nums_pkey\"|Detail: Key (id)=(1) already exists." << -1;
    QTest::newRow("unknown function") << "SELECT no_such_function(1)" << "error:function no_such_function(integer) does not exist|"
                                         "Hint: No function matches the given name and argument types." << -1;
    QTest::newRow("error before the last statement") << "SELECT 1 / 0; SELECT 2" << "error:division by zero" << -1;
    QTest::newRow("syntax of a query read through a cursor") << "SELECT FROM WHERE" << "error:syntax error" << -1;
    QTest::newRow("COPY from the client") << "COPY nums FROM STDIN" << "error:COPY FROM STDIN is not supported here" << -1;
  }
  void executeOutcomes()
  {
    QFETCH(QString, sql);
    QFETCH(QString, outcome);
    QFETCH(int, affected);
    TQuery q;
    q.SetDatabaseName(QStringLiteral("DataDB"));
    q.SQL << sql;
    try {
      q.Open();
      QCOMPARE(QStringLiteral("rows:") + q.Fields(0)->AsString(), outcome);
    } catch (const ENoResultSet&) {
      QCOMPARE(QStringLiteral("none"), outcome);
    } catch (const EDBEngineError& e) {
      const QStringList entries = outcome.startsWith(QLatin1String("error:")) ? outcome.mid(6).split(QLatin1Char('|')) : QStringList();
      QCOMPARE(e.Errors(0).Message, QStringLiteral("Cannot run the statement."));
      QCOMPARE(e.ErrorCount(), 1 + entries.size());
      for (int i = 0; i < entries.size(); ++i)
        QVERIFY2(e.Errors(i + 1).Message.contains(entries[i]), qPrintable(e.Errors(i + 1).Message));
      QCOMPARE(query(QStringLiteral("SELECT 'still here'"))->Fields(0)->AsString(), QStringLiteral("still here"));
      return;
    }
    QCOMPARE(q.RowsAffected(), int64_t(affected));
  }

  // Several statements are one simple query: a failure undoes those before it, as the server does.
  // The user's own transaction is left to the user: nothing is committed behind it.
  void transactionsAreTheServersAndTheUsers()
  {
    QVERIFY_THROWS_EXCEPTION(EDBEngineError, run(QStringLiteral("INSERT INTO nums(id) VALUES (7001); INSERT INTO nums(id) VALUES (1)")));
    QCOMPARE(pg->scalar(QStringLiteral("SELECT count(*) FROM nums WHERE id = 7001")), QStringLiteral("0"));
    run(QStringLiteral("BEGIN"));
    QCOMPARE(run(QStringLiteral("INSERT INTO nums(id) VALUES (7002)")), int64_t(1));
    QCOMPARE(pg->scalar(QStringLiteral("SELECT count(*) FROM nums WHERE id = 7002")), QStringLiteral("0"));
    QCOMPARE(query(QStringLiteral("SELECT count(*) FROM nums WHERE id = 7002"))->Fields(0)->AsString(), QStringLiteral("1"));
    QVERIFY_THROWS_EXCEPTION(EDBEngineError, run(QStringLiteral("SELECT * INTO nums FROM nums")));
    QVERIFY_THROWS_EXCEPTION(EDBEngineError, query(QStringLiteral("SELECT 1")));  // aborted until it ends
    run(QStringLiteral("ROLLBACK"));
    QCOMPARE(query(QStringLiteral("SELECT count(*) FROM nums WHERE id = 7002"))->Fields(0)->AsString(), QStringLiteral("0"));
  }

  // Ten million rows open at once: only the first are fetched. Rows further on are computed only
  // when read (the division by zero at row 5,000,000 surfaces when the count reaches it).
  void largeResultsAreReadOnDemand()
  {
    QElapsedTimer timer;
    timer.start();
    auto q = query(QStringLiteral("SELECT i, 1 / (i - 5000000) AS trap FROM generate_series(1, 10000000) i"));
    for (int i = 0; i < 1000; ++i)
      q->Next();
    QCOMPARE(q->Fields(0)->AsString(), QStringLiteral("1001"));
    QVERIFY2(timer.elapsed() < 5000, "reading the first rows took as long as reading them all");
    QVERIFY_THROWS_EXCEPTION(EDBEngineError, q->Last());
    q.reset();
    QCOMPARE(query(QStringLiteral("SELECT 'next'"))->Fields(0)->AsString(), QStringLiteral("next"));
  }

  // Every row of the user's query is computed once, whatever happens while it is open: an edit
  // committing the reading transaction, the reading let go while nobody reads, the user's next
  // statement failing. A function with an effect shows each call.
  void aQueryIsComputedOnce_data()
  {
    QTest::addColumn<QString>("meanwhile");
    QTest::newRow("an edit commits") << "edit";
    QTest::newRow("let go while nobody reads") << "release";
    QTest::newRow("another statement, which fails") << "failure";
  }
  void aQueryIsComputedOnce()
  {
    QFETCH(QString, meanwhile);
    countCalls();
    auto q = query(QStringLiteral("SELECT counted(i) FROM generate_series(1, 20000) i"));
    for (int i = 0; i < 5000; ++i)
      q->Next();
    if (meanwhile == QLatin1String("edit")) {
      auto t = table(QStringLiteral("nums"));
      t->Edit();
      t->FieldByName(QStringLiteral("note"))->SetAsString(QStringLiteral("meanwhile"));
      t->Post();
      // The edit commits at once, although the query's cursor is open on the same connection.
      QCOMPARE(pg->scalar(QStringLiteral("SELECT note FROM nums WHERE id = 1")), QStringLiteral("meanwhile"));
    } else if (meanwhile == QLatin1String("release")) {
      q->ReleaseReads();
    } else {
      QVERIFY_THROWS_EXCEPTION(EDBEngineError, run(QStringLiteral("SELECT 1 / 0")));
    }
    int64_t expected = q->RecNo();
    for (; !q->Eof(); q->Next(), ++expected)
      QCOMPARE(q->Fields(0)->Value().asInteger(), expected);
    QCOMPARE(expected, int64_t(20001));
    q->First();
    QCOMPARE(q->Fields(0)->AsString(), QStringLiteral("1"));
    q.reset();
    QCOMPARE(pg->scalar(QStringLiteral("SELECT count(*) || ' calls, ' || count(DISTINCT i) || ' rows' FROM calls")),
             QStringLiteral("20000 calls, 20000 rows"));
    // Nothing is left open on the server once the query is closed.
    QCOMPARE(pg->scalar(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE datname = current_database()"
                                       " AND state LIKE 'idle in transaction%'")),
             QStringLiteral("0"));
  }

  // A result whose rows the server no longer has (the user's transaction they were read in was
  // rolled back) says so; its statement is not run again behind the user's back.
  void aResultRolledBackIsNotRunAgain()
  {
    countCalls();
    run(QStringLiteral("BEGIN"));
    auto q = query(QStringLiteral("SELECT counted(i) FROM generate_series(1, 3000) i"));
    run(QStringLiteral("ROLLBACK"));
    const QString refusal = errorOf([&] { q->Last(); });
    QVERIFY2(refusal.contains(QStringLiteral("no longer kept")), qPrintable(refusal));
    QCOMPARE(pg->scalar(QStringLiteral("SELECT count(*) FROM calls")), QStringLiteral("0"));  // rolled back, not redone
    QCOMPARE(query(QStringLiteral("SELECT 'next'"))->Fields(0)->AsString(), QStringLiteral("next"));
  }

};

QTEST_GUILESS_MAIN(TestPostgresData)
#include "tst_postgres_data.moc"
