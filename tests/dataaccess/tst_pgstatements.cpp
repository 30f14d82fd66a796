// Where PostgreSQL text is cut into statements: the driver sends the last one through a cursor and
// the others ahead of it, so a wrong cut would run something the user did not write.
#include "dataaccess/postgres/PgStatements.h"

#include <QtTest>

class TestPgStatements : public QObject {
  Q_OBJECT

private slots:
  void cuts_data()
  {
    QTest::addColumn<QByteArray>("sql");
    QTest::addColumn<bool>("standardStrings");
    QTest::addColumn<QList<QByteArray>>("statements");  // each "FIRSTWORD|text"
    using L = QList<QByteArray>;
    QTest::newRow("one") << QByteArray("SELECT 1") << true << L{"SELECT|SELECT 1"};
    QTest::newRow("two, blanks and a closing semicolon") << QByteArray("  select 1 ;\n update t set a = 2;\n")
                                                         << true << L{"SELECT|select 1", "UPDATE|update t set a = 2"};
    QTest::newRow("empty pieces") << QByteArray(";; -- nothing\n ; /* nor here */ ;") << true << L{};
    QTest::newRow("semicolon in a literal") << QByteArray("SELECT 'a;b'; SELECT 'it''s;'") << true
                                            << L{"SELECT|SELECT 'a;b'", "SELECT|SELECT 'it''s;'"};
    QTest::newRow("backslash in a standard literal") << QByteArray("SELECT 'a\\'; SELECT 2") << true
                                                     << L{"SELECT|SELECT 'a\\'", "SELECT|SELECT 2"};
    QTest::newRow("escape string") << QByteArray("SELECT E'a\\';b'; SELECT 2") << true
                                   << L{"SELECT|SELECT E'a\\';b'", "SELECT|SELECT 2"};
    QTest::newRow("backslashes escape when strings are not standard") << QByteArray("SELECT 'a\\';b'; SELECT 2") << false
                                                                      << L{"SELECT|SELECT 'a\\';b'", "SELECT|SELECT 2"};
    QTest::newRow("quoted identifier") << QByteArray("SELECT 1 AS \"x;\"\"y\"; SELECT 2") << true
                                       << L{"SELECT|SELECT 1 AS \"x;\"\"y\"", "SELECT|SELECT 2"};
    QTest::newRow("line comment") << QByteArray("SELECT 1 -- a; b\n; SELECT 2 -- last") << true
                                  << L{"SELECT|SELECT 1 -- a; b", "SELECT|SELECT 2 -- last"};
    QTest::newRow("nested block comment") << QByteArray("/* a /* b; */ c; */ VALUES (1); SELECT 2") << true
                                          << L{"VALUES|/* a /* b; */ c; */ VALUES (1)", "SELECT|SELECT 2"};
    QTest::newRow("dollar quotes") << QByteArray("DO $$ BEGIN PERFORM 1; END $$; SELECT $x$;$x$") << true
                                   << L{"DO|DO $$ BEGIN PERFORM 1; END $$", "SELECT|SELECT $x$;$x$"};
    QTest::newRow("tagged dollar quote holding another") << QByteArray("SELECT $f$ $$;$$ $f$; SELECT 2") << true
                                                         << L{"SELECT|SELECT $f$ $$;$$ $f$", "SELECT|SELECT 2"};
    QTest::newRow("parameter and dollar in a name") << QByteArray("SELECT a$b, $1 FROM t; SELECT 2") << true
                                                    << L{"SELECT|SELECT a$b, $1 FROM t", "SELECT|SELECT 2"};
    QTest::newRow("routine body in standard SQL")
        << QByteArray("CREATE OR REPLACE FUNCTION f() RETURNS int LANGUAGE sql BEGIN ATOMIC SELECT 1; SELECT CASE WHEN true "
                      "THEN 2 END; END; SELECT f()")
        << true
        << L{"CREATE|CREATE OR REPLACE FUNCTION f() RETURNS int LANGUAGE sql BEGIN ATOMIC SELECT 1; SELECT CASE WHEN true "
             "THEN 2 END; END",
             "SELECT|SELECT f()"};
    QTest::newRow("BEGIN as a statement") << QByteArray("BEGIN; SELECT 1; COMMIT") << true
                                          << L{"BEGIN|BEGIN", "SELECT|SELECT 1", "COMMIT|COMMIT"};
    QTest::newRow("parenthesised query") << QByteArray("(SELECT 1) UNION (SELECT 2)") << true
                                         << L{"(|(SELECT 1) UNION (SELECT 2)"};
    QTest::newRow("unterminated literal runs to the end") << QByteArray("SELECT 'open; SELECT 2") << true
                                                          << L{"SELECT|SELECT 'open; SELECT 2"};
    QTest::newRow("non-ASCII names") << QByteArray("SELECT größe FROM maße; SELECT 1") << true
                                     << L{"SELECT|SELECT größe FROM maße", "SELECT|SELECT 1"};
  }
  void cuts()
  {
    QFETCH(QByteArray, sql);
    QFETCH(bool, standardStrings);
    QFETCH(QList<QByteArray>, statements);
    QList<QByteArray> found;
    for (const PgStatement& s : splitPgStatements(sql, standardStrings))
      found << s.FirstWord + "|" + s.Text;
    QCOMPARE(found, statements);
  }

  void cursorQueries_data()
  {
    QTest::addColumn<QByteArray>("sql");
    QTest::addColumn<bool>("cursor");
    QTest::newRow("select") << QByteArray("select * from t") << true;
    QTest::newRow("with") << QByteArray("WITH x AS (SELECT 1) SELECT * FROM x") << true;
    QTest::newRow("values") << QByteArray("VALUES (1)") << true;
    QTest::newRow("table") << QByteArray("TABLE t") << true;
    QTest::newRow("parenthesis") << QByteArray("(SELECT 1)") << true;
    QTest::newRow("comment first") << QByteArray("-- note\nSELECT 1") << true;
    QTest::newRow("insert") << QByteArray("INSERT INTO t VALUES (1) RETURNING *") << false;
    QTest::newRow("explain") << QByteArray("EXPLAIN SELECT 1") << false;
    QTest::newRow("show") << QByteArray("SHOW search_path") << false;
  }
  void cursorQueries()
  {
    QFETCH(QByteArray, sql);
    QFETCH(bool, cursor);
    const std::vector<PgStatement> s = splitPgStatements(sql);
    QCOMPARE(s.size(), size_t(1));
    QCOMPARE(pgMayBeCursorQuery(s.front()), cursor);
  }
};

QTEST_GUILESS_MAIN(TestPgStatements)
#include "tst_pgstatements.moc"
