#include "dataaccess/SqlText.h"

#include <QtTest>

class TestSqlText : public QObject {
  Q_OBJECT

private slots:
  void parameterMarkers_data()
  {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("one") << "SELECT * FROM t WHERE id = :id" << QStringList{"id"};
    QTest::newRow("two, underscore, digits") << "UPDATE t SET a = :new_a1 WHERE b=:b" << QStringList{"new_a1", "b"};
    QTest::newRow("cast is none") << "SELECT x::int, y :: text FROM t" << QStringList{};
    QTest::newRow("assignment is none") << "x := 1" << QStringList{};
    QTest::newRow("in a string") << "SELECT ':a', 'it''s :b' FROM t" << QStringList{};
    QTest::newRow("in quoted names") << "SELECT \":c\", [:d], `:e` FROM t" << QStringList{};
    QTest::newRow("in comments") << "SELECT 1 -- :f\n/* :g */ FROM t WHERE z = :h" << QStringList{"h"};
    QTest::newRow("time literal") << "SELECT time('12:30')" << QStringList{};
    QTest::newRow("after a string") << "SELECT 'x' || :tail" << QStringList{"tail"};
    QTest::newRow("colon then digit") << "SELECT a[1:2] FROM t" << QStringList{};
    QTest::newRow("unterminated string") << "SELECT ':open" << QStringList{};
    QTest::newRow("dollar quoted body") << "CREATE FUNCTION f() RETURNS int AS $$ SELECT :a $$ LANGUAGE sql; SELECT :b"
                                        << QStringList{"b"};
    QTest::newRow("tagged dollar quote") << "SELECT $x$ :c $$ :d $x$, :e" << QStringList{"e"};
    QTest::newRow("positional parameter") << "SELECT $1, :f" << QStringList{"f"};
    QTest::newRow("escape string") << "SELECT E'it\\'s :g', :h" << QStringList{"h"};
  }
  void parameterMarkers()
  {
    QFETCH(QString, sql);
    QFETCH(QStringList, names);
    QCOMPARE(SqlText::parameterNames(sql), names);
  }

  void blankText_data()
  {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("blank");
    QTest::newRow("empty") << "" << true;
    QTest::newRow("semicolons and blanks") << " ;\n ;\t" << true;
    QTest::newRow("comments") << "-- only\n/* a comment */ ;" << true;
    QTest::newRow("a statement") << "; SELECT 1" << false;
    QTest::newRow("a literal alone") << "'x'" << false;
  }
  void blankText()
  {
    QFETCH(QString, sql);
    QFETCH(bool, blank);
    QCOMPARE(SqlText::isBlank(sql), blank);
  }

  void quoting()
  {
    QCOMPARE(SqlText::quoteIdentifier(QStringLiteral("say \"hi\"")), QStringLiteral("\"say \"\"hi\"\"\""));
  }
};

QTEST_GUILESS_MAIN(TestSqlText)
#include "tst_sqltext.moc"
