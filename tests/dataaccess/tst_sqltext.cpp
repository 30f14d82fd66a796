#include "dataaccess/SqlText.h"

#include <QtTest>

class TestSqlText : public QObject {
  Q_OBJECT

private slots:
  // Only a colon and a name outside strings, quoted names and comments asks the user for a value;
  // text of nothing but blanks, semicolons and comments is not run at all.
  void parameterMarkersAndBlankText_data()
  {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<bool>("blank");
    QTest::newRow("two, underscore, digits") << "UPDATE t SET a = :new_a1 WHERE b=:b" << QStringList{"new_a1", "b"} << false;
    QTest::newRow("casts and assignment") << "SELECT x::int, y :: text; x := 1" << QStringList{} << false;
    QTest::newRow("in and after strings") << "SELECT ':a', 'it''s :b' || :tail" << QStringList{"tail"} << false;
    QTest::newRow("in quoted names") << "SELECT \":c\", [:d], `:e` FROM t" << QStringList{} << false;
    QTest::newRow("in comments") << "SELECT 1 -- :f\n/* :g */ FROM t WHERE z = :h" << QStringList{"h"} << false;
    QTest::newRow("colon then digit") << "SELECT a[1:2] FROM t" << QStringList{} << false;
    QTest::newRow("unterminated string") << "SELECT ':open" << QStringList{} << false;
    QTest::newRow("dollar quoted body") << "CREATE FUNCTION f() RETURNS int AS $$ SELECT :a $$ LANGUAGE sql; SELECT :b"
                                        << QStringList{"b"} << false;
    QTest::newRow("tagged dollar quote, positional") << "SELECT $x$ :c $$ :d $x$, $1, :e" << QStringList{"e"} << false;
    QTest::newRow("escape string") << "SELECT E'it\\'s :g', :h" << QStringList{"h"} << false;
    QTest::newRow("empty") << "" << QStringList{} << true;
    QTest::newRow("semicolons, blanks, comments") << " ;\n ;\t-- only :x\n/* a comment */ ;" << QStringList{} << true;
    QTest::newRow("a statement after a semicolon") << "; SELECT 1" << QStringList{} << false;
  }
  void parameterMarkersAndBlankText()
  {
    QFETCH(QString, sql);
    QFETCH(QStringList, names);
    QFETCH(bool, blank);
    QCOMPARE(SqlText::parameterNames(sql), names);
    QCOMPARE(SqlText::isBlank(sql), blank);
  }
};

QTEST_GUILESS_MAIN(TestSqlText)
#include "tst_sqltext.moc"
