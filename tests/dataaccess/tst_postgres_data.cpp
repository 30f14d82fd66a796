// The PostgreSQL driver against the real server: values of every mapped type, tables read on their
// key, edits with other sessions at work, and statements run through Execute.
#include "PgTestServer.h"
#include "TestSupport.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/Database.h"
#include "dataaccess/FormatSettings.h"
#include "dataaccess/Query.h"
#include "dataaccess/Table.h"

#include <QtTest>
#include <limits>

class TestPostgresData : public QObject {
  Q_OBJECT
  std::unique_ptr<pg_test::TempDatabase> pg;
  std::unique_ptr<TestFolder> folder;
  std::unique_ptr<TDatabase> db;

  std::unique_ptr<TTable> table(const QString& name)
  {
    auto t = std::make_unique<TTable>();
    t->SetDatabaseName(QStringLiteral("DataDB"));
    t->SetTableName(name);
    t->Open();
    return t;
  }

  std::unique_ptr<TQuery> query(const QString& sql)
  {
    auto q = std::make_unique<TQuery>();
    q->SetDatabaseName(QStringLiteral("DataDB"));
    q->SQL << sql;
    q->Open();
    return q;
  }

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

  static QByteArray everyByte()
  {
    QByteArray b;
    for (int i = 0; i < 256; ++i)
      b += char(i);
    return b;
  }

  // A character from each of the seventeen planes of Unicode, and a line break.
  static QString everyPlane()
  {
    QString s = QStringLiteral("A\u00e9\u20ac\n");
    for (char32_t plane = 1; plane <= 16; ++plane) {
      const char32_t c = plane * 0x10000 + 0x100;
      s += QString::fromUcs4(&c, 1);
    }
    return s;
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
        "CREATE TABLE pairs(a int, b text, qty int, PRIMARY KEY (b, a));"
        "INSERT INTO pairs SELECT i, chr(65 + i % 3), i FROM generate_series(0, 9999) i;"
        "CREATE TABLE loose(x int, y text); INSERT INTO loose SELECT i, 'y' || i FROM generate_series(1, 1000) i;"
        "CREATE VIEW loose_view AS SELECT * FROM loose WHERE x <= 600;"
        "CREATE TABLE docs(id int PRIMARY KEY, body json, markup xml, spot point, tags text[], qty int);"
        "INSERT INTO docs VALUES (1, '{\"a\":1}', '<p>1</p>', '(1,1)', '{x,y}', 1);"
        "CREATE TABLE numbered(id serial PRIMARY KEY, name text NOT NULL DEFAULT 'unnamed', made date DEFAULT '2024-01-01');"));
    // Dates and times render with their milliseconds, numbers with a point.
    FormatSettings() = TFormatSettings{};
    FormatSettings().LongTimeFormat = QStringLiteral("hh:nn:ss.zzz");
  }
  void cleanupTestCase() { pg.reset(); }

  void init()
  {
    folder = std::make_unique<TestFolder>();
    folder->useAliases(pg->aliasSection(QStringLiteral("PG")));
    db = std::make_unique<TDatabase>();
    db->SetDatabaseName(QStringLiteral("DataDB"));
    db->SetAliasName(QStringLiteral("PG"));
    db->Params << QStringLiteral("USER NAME=") + QString::fromUtf8(pg_test::server().User)
               << QStringLiteral("PASSWORD=") + QString::fromUtf8(pg_test::server().Password);
    db->Open();
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
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("before");  // what the field shows of the value the server was given
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");  // as the server shows it (times of timestamptz in UTC)
    QTest::addColumn<QString>("shown");   // what the field shows afterwards
    QTest::newRow("numeric, 30 digits") << "n30" << "-123456789012345678901234567890.0001" << "98765432109876543210987654321.0123"
                                        << "98765432109876543210987654321.0123" << "98765432109876543210987654321.0123";
    QTest::newRow("timestamptz") << "tstz" << "2024-02-29 11:45:10.654" << "2025-01-02 03:04:05" << "2025-01-02 03:04:05"
                                 << "2025-01-02 03:04:05.000";
    QTest::newRow("double") << "f8" << "0.1" << "0.30000000000000004" << "0.30000000000000004" << "0.3";
    QTest::newRow("money") << "m" << "1234567.89" << "-12.5" << "-12.50" << "-12.50";
    QTest::newRow("boolean") << "flag" << "True" << "False" << "false" << "False";
    QTest::newRow("json") << "j" << "{\"b\": 1,  \"a\": [1, 2]}" << "[1,  2]" << "[1,  2]" << "[1,  2]";
    QTest::newRow("time") << "tm" << "23:59:59.999" << "08:09:10.5" << "08:09:10.5" << "08:09:10.500";
    QTest::newRow("bigint") << "big" << "-9223372036854775808" << "9223372036854775807" << "9223372036854775807"
                            << "9223372036854775807";
    QTest::newRow("char") << "c" << "ab  " << "xy" << "xy" << "xy  ";  // text drops the padding, the field keeps it
    QTest::newRow("text of every plane") << "t" << everyPlane() << everyPlane().toUpper() << everyPlane().toUpper()
                                         << everyPlane().toUpper();
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
    QCOMPARE(pg->scalar(QStringLiteral("SELECT %1 FROM vals WHERE id = 1").arg(asServerShows)), stored);
    QCOMPARE(t->FieldByName(column)->AsString(), shown);
    t->Next();
    QVERIFY(t->FieldByName(column)->IsNull());  // the second row holds nulls only
  }

  // Editing one field writes that field only: the others (microseconds, 30 digits, every byte)
  // stay exactly as stored.
  void editingOneFieldRewritesNoOther()
  {
    const QString others = QStringLiteral("SELECT (to_jsonb(vals) - 'v')::text FROM vals WHERE id = 1");
    const QString before = pg->scalar(others);
    auto t = table(QStringLiteral("vals"));
    t->Edit();
    t->FieldByName(QStringLiteral("v"))->SetAsString(QStringLiteral("edited"));
    t->Post();
    QCOMPARE(pg->scalar(QStringLiteral("SELECT v FROM vals WHERE id = 1")), QStringLiteral("edited"));
    QCOMPARE(pg->scalar(others), before);
  }

  void bytesRoundTrip()
  {
    QByteArray reversed = everyByte();
    std::reverse(reversed.begin(), reversed.end());
    auto t = table(QStringLiteral("vals"));
    QCOMPARE(t->FieldByName(QStringLiteral("b"))->AsBytes(), everyByte());
    t->Edit();
    t->FieldByName(QStringLiteral("b"))->SetValue(TValue::bytes(reversed));
    t->Post();
    QCOMPARE(pg->scalar(QStringLiteral("SELECT encode(b, 'hex') FROM vals WHERE id = 1")), QString::fromLatin1(reversed.toHex()));
    QCOMPARE(t->FieldByName(QStringLiteral("b"))->AsBytes(), reversed);
  }

  // A row another session changed or removed since it was read is not overwritten, and the user's
  // edit stays; types without a usable equality (json, xml, point, arrays) are compared by text.
  void concurrentChanges_data()
  {
    QTest::addColumn<QString>("action");     // "edit" or "delete"
    QTest::addColumn<QString>("elsewhere");  // what the other session does meanwhile
    QTest::addColumn<QString>("conflict");  // what the message says happened; empty when nothing did
    QTest::newRow("edit, quantity changed") << "edit" << "UPDATE docs SET qty = 9 WHERE id = 1" << "changed";
    QTest::newRow("edit, row deleted") << "edit" << "DELETE FROM docs WHERE id = 1" << "deleted";
    QTest::newRow("edit, json respaced") << "edit" << "UPDATE docs SET body = '{\"a\": 1}' WHERE id = 1" << "changed";
    QTest::newRow("edit, same values rewritten") << "edit" << "UPDATE docs SET qty = qty WHERE id = 1" << "";
    QTest::newRow("delete, array changed") << "delete" << "UPDATE docs SET tags = '{x}' WHERE id = 1" << "changed";
    QTest::newRow("delete, row deleted") << "delete" << "DELETE FROM docs WHERE id = 1" << "deleted";
    QTest::newRow("delete, nothing changed") << "delete" << "SELECT 1" << "";
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
    const QString storedBefore = pg->scalar(QStringLiteral("SELECT qty FROM docs WHERE id = 1"));
    try {
      if (action == QLatin1String("edit"))
        t->Post();
      else
        t->Delete();
      QVERIFY2(conflict.isEmpty(), "no conflict reported");
    } catch (const EDBEngineError& e) {
      QVERIFY2(!conflict.isEmpty(), e.what());
      QVERIFY2(e.Message().contains(QStringLiteral("The row was %1 by another user").arg(conflict)), e.what());
      QCOMPARE(pg->scalar(QStringLiteral("SELECT qty FROM docs WHERE id = 1")), storedBefore);
      if (action == QLatin1String("edit")) {
        QCOMPARE(t->State(), dsEdit);
        QCOMPARE(t->FieldByName(QStringLiteral("qty"))->AsString(), QStringLiteral("42"));
      }
      return;
    }
    if (action == QLatin1String("edit"))
      QCOMPARE(pg->scalar(QStringLiteral("SELECT qty FROM docs WHERE id = 1")), QStringLiteral("42"));
    else
      QCOMPARE(pg->scalar(QStringLiteral("SELECT count(*) FROM docs WHERE id = 1")), QStringLiteral("0"));
  }

  // A new row comes back as stored, with its sequence number and defaults, and becomes current.
  void insertedRowComesBackAsStored()
  {
    auto t = table(QStringLiteral("numbered"));
    for (const char* name : {"first", "second"}) {
      t->Append();
      t->FieldByName(QStringLiteral("name"))->SetAsString(QLatin1String(name));
      t->Post();
    }
    t->Append();
    t->Post();  // nothing typed: every column gets its default
    QCOMPARE(t->RecordCount(), 3);
    QCOMPARE(t->FieldByName(QStringLiteral("name"))->AsString(), QStringLiteral("unnamed"));
    QCOMPARE(t->FieldByName(QStringLiteral("made"))->AsString(), QStringLiteral("2024-01-01"));
    QCOMPARE(t->FieldByName(QStringLiteral("id"))->AsString(),
             pg->scalar(QStringLiteral("SELECT max(id) FROM numbered")));
    QCOMPARE(pg->column(QStringLiteral("SELECT name FROM numbered ORDER BY id")), QStringList({"first", "second", "unnamed"}));
  }

  // Without a primary key rows are read in the server's order and cannot be edited.
  void withoutKeyReadOnly_data()
  {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("rows");
    QTest::newRow("table") << "loose" << 1000;
    QTest::newRow("view") << "loose_view" << 600;
  }
  void withoutKeyReadOnly()
  {
    QFETCH(QString, name);
    QFETCH(int, rows);
    auto t = table(name);
    QVERIFY(!t->CanModify());
    try {
      t->Edit();
      QFAIL("editable");
    } catch (const EDBEngineError& e) {
      QCOMPARE(QString::fromUtf8(e.what()),
               QStringLiteral("'%1' cannot be edited: it has no primary key by which a changed row could be found again.").arg(name));
    }
    int n = 0;
    for (t->First(); !t->Eof(); t->Next())
      QCOMPARE(t->FieldByName(QStringLiteral("x"))->Value().asInteger(), ++n);
    QCOMPARE(n, rows);
    QCOMPARE(t->RecordCount(), rows);
  }

  // What Execute reports: a result to show, the rows changed, or neither; or the server's message,
  // detail and hint, each an entry, after which the connection is fit for the next statement.
  void executeOutcomes_data()
  {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("outcome");  // "rows:" and the first cell, "none", or "error"
    QTest::addColumn<int>("affected");
    QTest::addColumn<QStringList>("entries");  // of an error: texts the entries after the first contain
    QTest::newRow("select") << "SELECT id FROM nums WHERE id > 47 ORDER BY id" << "rows:48" << 0 << QStringList();
    QTest::newRow("update") << "UPDATE nums SET qty = qty + 1 WHERE id <= 3" << "none" << 3 << QStringList();
    QTest::newRow("insert returning") << "INSERT INTO nums(id) VALUES (9001), (9002) RETURNING id" << "rows:9001" << 2 << QStringList();
    QTest::newRow("several, the last selects") << "INSERT INTO nums(id, qty) VALUES (9101, 5);\nSELECT qty FROM nums WHERE id = 9101"
                                               << "rows:5" << 0 << QStringList();
    QTest::newRow("vacuum, which no transaction may hold") << "VACUUM nums" << "none" << 0 << QStringList();
    QTest::newRow("only a comment") << "-- nothing to do\n;" << "none" << -1 << QStringList();
    QTest::newRow("syntax") << "SELEC 1" << "error" << -1 << QStringList{"syntax error at or near \"SELEC\""};
    QTest::newRow("duplicate key") << "INSERT INTO nums(id) VALUES (1)" << "error" << -1
                                   << QStringList{"duplicate key value violates unique constraint \"nums_pkey\"",
                                                  "Detail: Key (id)=(1) already exists."};
    QTest::newRow("unknown function") << "SELECT no_such_function(1)" << "error" << -1
                                      << QStringList{"function no_such_function(integer) does not exist",
                                                     "Hint: No function matches the given name and argument types."};
    QTest::newRow("error before the last statement") << "SELECT 1 / 0; SELECT 2" << "error" << -1 << QStringList{"division by zero"};
    QTest::newRow("syntax of a query read through a cursor") << "SELECT FROM WHERE" << "error" << -1
                                                             << QStringList{"syntax error at or near \"WHERE\""};
    QTest::newRow("COPY from the client") << "COPY nums FROM STDIN" << "error" << -1
                                          << QStringList{"COPY FROM STDIN is not supported here"};
  }
  void executeOutcomes()
  {
    QFETCH(QString, sql);
    QFETCH(QString, outcome);
    QFETCH(int, affected);
    QFETCH(QStringList, entries);
    TQuery q;
    q.SetDatabaseName(QStringLiteral("DataDB"));
    q.SQL << sql;
    QString got;
    try {
      q.Open();
      got = QStringLiteral("rows:") + q.Fields(0)->AsString();
    } catch (const ENoResultSet&) {
      got = QStringLiteral("none");
    } catch (const EDBEngineError& e) {
      got = QStringLiteral("error");
      QCOMPARE(e.Errors(0).Message, QStringLiteral("Cannot run the statement."));
      QCOMPARE(e.ErrorCount(), 1 + entries.size());
      for (int i = 0; i < entries.size(); ++i)
        QVERIFY2(e.Errors(i + 1).Message.contains(entries[i]), qPrintable(e.Errors(i + 1).Message));
      QCOMPARE(query(QStringLiteral("SELECT 'still here'"))->Fields(0)->AsString(), QStringLiteral("still here"));
    }
    QCOMPARE(got, outcome);
    if (outcome != QLatin1String("error"))
      QCOMPARE(q.RowsAffected(), int64_t(affected));
  }

  // Several statements are one simple query: a failure undoes those before it, as the server does.
  void statementsBeforeAFailureAreUndone()
  {
    QVERIFY_THROWS_EXCEPTION(EDBEngineError, run(QStringLiteral("INSERT INTO nums(id) VALUES (7001); INSERT INTO nums(id) VALUES (1)")));
    QCOMPARE(pg->scalar(QStringLiteral("SELECT count(*) FROM nums WHERE id = 7001")), QStringLiteral("0"));
  }

  // The user's own transaction is left to the user: nothing is committed behind it.
  void theUsersTransactionIsTheUsers()
  {
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
    QCOMPARE(q->Fields(0)->AsString(), QStringLiteral("1"));
    for (int i = 0; i < 1000; ++i)
      q->Next();
    QCOMPARE(q->Fields(0)->AsString(), QStringLiteral("1001"));
    QVERIFY2(timer.elapsed() < 5000, "reading the first rows took as long as reading them all");
    QVERIFY_THROWS_EXCEPTION(EDBEngineError, q->Last());
    q.reset();
    QCOMPARE(query(QStringLiteral("SELECT 'next'"))->Fields(0)->AsString(), QStringLiteral("next"));
  }

  // Two walks on the one connection, step by step in turn: each reads ahead, neither loses its place;
  // then each walks back, every row once and in key order.
  void interleavedWalksKeepTheirPlaces()
  {
    const QStringList keys = pg->column(QStringLiteral("SELECT b || a FROM pairs ORDER BY b, a"));
    auto t = table(QStringLiteral("pairs"));
    auto q = query(QStringLiteral("SELECT i FROM generate_series(1, 12000) i"));
    const auto key = [&] { return t->FieldByName(QStringLiteral("b"))->AsString() + t->FieldByName(QStringLiteral("a"))->AsString(); };
    int64_t i = 0;
    for (t->First(), q->First(); !q->Eof(); q->Next(), ++i) {
      QCOMPARE(q->Fields(0)->Value().asInteger(), i + 1);
      if (!t->Eof()) {
        QCOMPARE(key(), keys[i]);
        t->Next();
      }
    }
    QCOMPARE(i, int64_t(12000));
    QVERIFY(t->Eof());
    QCOMPARE(t->RecNo(), int64_t(10000));
    // Opened afresh, the table from its end back to its start, by key ranges, and a jump into its
    // second half.
    t = table(QStringLiteral("pairs"));
    QStringList backward;
    for (t->Last(); !t->Bof(); t->Prior())
      backward.prepend(key());
    QCOMPARE(backward, keys);
    t->SetRecNo(7001);
    QCOMPARE(key(), keys[7000]);
    // The query back to its start, and a jump, through the read-ahead chunks.
    for (q->Last(); !q->Bof(); q->Prior(), --i)
      QCOMPARE(q->Fields(0)->Value().asInteger(), i);
    QCOMPARE(i, int64_t(0));
    QCOMPARE(q->RecordCount(), 12000);
    q->SetRecNo(7345);
    QCOMPARE(q->Fields(0)->Value().asInteger(), int64_t(7345));
  }

  // Every row of the user's query is computed once, whatever happens while it is open: reading back,
  // an edit committing the reading transaction, the reading let go while nobody reads, the user's
  // next statement. A function with an effect shows each call.
  void aQueryIsComputedOnce_data()
  {
    QTest::addColumn<QString>("meanwhile");
    QTest::newRow("read back") << "back";
    QTest::newRow("an edit commits") << "edit";
    QTest::newRow("let go while nobody reads") << "release";
    QTest::newRow("another statement") << "statement";
    QTest::newRow("another statement fails") << "failure";
  }
  void aQueryIsComputedOnce()
  {
    QFETCH(QString, meanwhile);
    countCalls();
    auto q = query(QStringLiteral("SELECT counted(i) FROM generate_series(1, 20000) i"));
    for (int i = 0; i < 5000; ++i)
      q->Next();
    if (meanwhile == QLatin1String("back")) {
      q->Last();
      q->First();
    } else if (meanwhile == QLatin1String("edit")) {
      auto t = table(QStringLiteral("nums"));
      t->Edit();
      t->FieldByName(QStringLiteral("note"))->SetAsString(QStringLiteral("meanwhile"));
      t->Post();
      // The edit commits at once, although the query's cursor is open on the same connection.
      QCOMPARE(pg->scalar(QStringLiteral("SELECT note FROM nums WHERE id = 1")), QStringLiteral("meanwhile"));
    } else if (meanwhile == QLatin1String("release")) {
      q->ReleaseReads();
    } else if (meanwhile == QLatin1String("statement")) {
      run(QStringLiteral("UPDATE nums SET qty = qty WHERE id = 1"));
    } else {
      QVERIFY_THROWS_EXCEPTION(EDBEngineError, run(QStringLiteral("SELECT 1 / 0")));
    }
    int64_t expected = q->RecNo();
    QCOMPARE(q->Fields(0)->Value().asInteger(), expected);
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
    try {
      q->Last();
      QFAIL("read rows the server no longer has");
    } catch (const EDBEngineError& e) {
      QVERIFY2(e.Message().contains(QStringLiteral("no longer kept")), qPrintable(e.Message()));
    }
    QCOMPARE(pg->scalar(QStringLiteral("SELECT count(*) FROM calls")), QStringLiteral("0"));  // rolled back, not redone
    QCOMPARE(query(QStringLiteral("SELECT 'next'"))->Fields(0)->AsString(), QStringLiteral("next"));
  }

};

QTEST_GUILESS_MAIN(TestPostgresData)
#include "tst_postgres_data.moc"
