// Where PostgreSQL text is cut into statements: the driver sends the last one through a cursor and
// the others ahead of it, so a wrong cut would run something the user did not write.
#include "dataaccess/postgres/PgStatements.h"

#include <QtTest>

class TestPgStatements : public QObject {
  Q_OBJECT

private slots:
  // Each statement as "FIRSTWORD|text", marked "*" where it may go through a cursor: only what returns
  // rows does, as DECLARE refuses the rest.
  void cuts_data()
  {
    QTest::addColumn<QByteArray>("sql");
    QTest::addColumn<bool>("standardStrings");
    QTest::addColumn<QList<QByteArray>>("statements");
    using L = QList<QByteArray>;
    QTest::newRow("blanks and a closing semicolon") << QByteArray("  select 1 ;\n update t set a = 2;\n")
                                                    << true << L{"*SELECT|select 1", "UPDATE|update t set a = 2"};
    QTest::newRow("empty pieces") << QByteArray(";; -- nothing\n ; /* nor here */ ;") << true << L{};
    QTest::newRow("semicolons in a literal and a name") << QByteArray("SELECT 'it''s;' AS \"x;\"\"y\"; TABLE t") << true
                                                       << L{"*SELECT|SELECT 'it''s;' AS \"x;\"\"y\"", "*TABLE|TABLE t"};
    QTest::newRow("backslash in a standard literal, escape string")
        << QByteArray("SELECT 'a\\'; SELECT E'a\\';b'; SHOW x; EXPLAIN SELECT 2") << true
        << L{"*SELECT|SELECT 'a\\'", "*SELECT|SELECT E'a\\';b'", "SHOW|SHOW x", "EXPLAIN|EXPLAIN SELECT 2"};
    QTest::newRow("backslashes escape when strings are not standard") << QByteArray("SELECT 'a\\';b'; SELECT 2") << false
                                                                      << L{"*SELECT|SELECT 'a\\';b'", "*SELECT|SELECT 2"};
    QTest::newRow("line comment") << QByteArray("SELECT 1 -- a; b\n; -- note\nWITH x AS (SELECT 1) SELECT * FROM x") << true
                                  << L{"*SELECT|SELECT 1 -- a; b", "*WITH|-- note\nWITH x AS (SELECT 1) SELECT * FROM x"};
    QTest::newRow("nested block comment") << QByteArray("/* a /* b; */ c; */ VALUES (1); (SELECT 1) UNION (SELECT 2)") << true
                                          << L{"*VALUES|/* a /* b; */ c; */ VALUES (1)", "*(|(SELECT 1) UNION (SELECT 2)"};
    QTest::newRow("dollar quotes, one holding another") << QByteArray("DO $$ BEGIN PERFORM 1; END $$; SELECT $f$ $$;$$ $f$") << true
                                                        << L{"DO|DO $$ BEGIN PERFORM 1; END $$", "*SELECT|SELECT $f$ $$;$$ $f$"};
    QTest::newRow("parameter and dollar in a name") << QByteArray("INSERT INTO t SELECT a$b, $1 FROM t RETURNING *; SELECT 2") << true
                                                    << L{"INSERT|INSERT INTO t SELECT a$b, $1 FROM t RETURNING *", "*SELECT|SELECT 2"};
    QTest::newRow("routine body in standard SQL, then BEGIN")
        << QByteArray("CREATE FUNCTION f() RETURNS int LANGUAGE sql BEGIN ATOMIC SELECT 1; SELECT CASE WHEN true THEN 2 END; END;"
                      " BEGIN; SELECT f()")
        << true
        << L{"CREATE|CREATE FUNCTION f() RETURNS int LANGUAGE sql BEGIN ATOMIC SELECT 1; SELECT CASE WHEN true THEN 2 END; END",
             "BEGIN|BEGIN", "*SELECT|SELECT f()"};
    QTest::newRow("unterminated literal runs to the end") << QByteArray("SELECT 'open; SELECT 2") << true
                                                          << L{"*SELECT|SELECT 'open; SELECT 2"};
  }
  void cuts()
  {
    QFETCH(QByteArray, sql);
    QFETCH(bool, standardStrings);
    QFETCH(QList<QByteArray>, statements);
    QList<QByteArray> found;
    for (const PgStatement& s : splitPgStatements(sql, standardStrings))
      found << (pgMayBeCursorQuery(s) ? "*" : "") + s.FirstWord + "|" + s.Text;
    QCOMPARE(found, statements);
  }
};

QTEST_GUILESS_MAIN(TestPgStatements)
#include "tst_pgstatements.moc"
