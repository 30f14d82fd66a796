#include "dataaccess/FieldInput.h"
#include "dataaccess/ValueText.h"

#include <QtTest>

Q_DECLARE_METATYPE(TValue)
Q_DECLARE_METATYPE(TFieldType)

namespace {
TFormatSettings iso()
{
  return TFormatSettings{};  // ".", "yyyy-mm-dd", "hh:nn:ss"
}
TFormatSettings german()
{
  TFormatSettings s;
  s.DecimalSeparator = QLatin1Char(',');
  s.DateSeparator = QLatin1Char('.');
  s.ShortDateFormat = QStringLiteral("dd/mm/yyyy");
  s.LongTimeFormat = QStringLiteral("hh:nn:ss");
  return s;
}
TValue text(const char* s) { return TValue::text(QByteArray(s)); }
}  // namespace

class TestValueText : public QObject {
  Q_OBJECT

private slots:
  void storedDatesAndTimes_data()
  {
    QTest::addColumn<TValue>("stored");
    QTest::addColumn<QString>("expected");  // ISO with milliseconds, or "none"
    QTest::newRow("date") << text("2024-02-29") << "2024-02-29 00:00:00.000";
    QTest::newRow("minutes") << text("2024-02-29 13:45") << "2024-02-29 13:45:00.000";
    QTest::newRow("milliseconds") << text("2021-05-17 08:00:00.125") << "2021-05-17 08:00:00.125";
    QTest::newRow("T and Z") << text("2021-05-17T08:00:00Z") << "2021-05-17 08:00:00.000";
    QTest::newRow("zone to UTC") << text("2021-05-17T08:00:00+02:00") << "2021-05-17 06:00:00.000";
    QTest::newRow("long fraction") << text("2021-05-17 08:00:00.1239") << "2021-05-17 08:00:00.124";
    QTest::newRow("time alone") << text("23:59:58.5") << "2000-01-01 23:59:58.500";
    QTest::newRow("julian day number") << TValue::real(2460000.5) << "2023-02-25 00:00:00.000";
    QTest::newRow("julian day as text") << text("2440587.5") << "1970-01-01 00:00:00.000";
    QTest::newRow("unix time") << TValue::integer(1700000000) << "2023-11-14 22:13:20.000";
    QTest::newRow("impossible date") << text("2023-02-30") << "none";
    QTest::newRow("impossible time") << text("2023-02-01 25:00") << "none";
    QTest::newRow("words") << text("next Tuesday") << "none";
    QTest::newRow("empty") << text("") << "none";
    QTest::newRow("null") << TValue() << "none";
    QTest::newRow("bytes") << TValue::bytes("2024-01-01") << "none";
  }
  void storedDatesAndTimes()
  {
    QFETCH(TValue, stored);
    QFETCH(QString, expected);
    const std::optional<QDateTime> dt = parseStoredDateTime(stored);
    QCOMPARE(dt ? dt->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) : QStringLiteral("none"), expected);
  }

  void patterns_data()
  {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");
    QTest::newRow("iso date") << "yyyy-mm-dd" << "2024-03-05";
    QTest::newRow("day first with separator") << "d/m/yy" << "5.3.24";
    QTest::newRow("writer's time") << "hh:nn:ss:zzz" << "07;08;09;042";
    QTest::newRow("m after hour is minutes") << "h:mm" << "7;08";
    QTest::newRow("quoted text") << "yyyy \"at\" hh'h'" << "2024 at 07h";
    QTest::newRow("month names") << "dddd d mmmm, mmm" << "Tuesday 5 March, Mar";
  }
  void patterns()
  {
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    TFormatSettings s;
    s.DateSeparator = QLatin1Char('.');
    s.TimeSeparator = QLatin1Char(';');
    QCOMPARE(formatDateTime(pattern, QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9, 42), Qt::UTC), s), expected);
  }

  void valuesByType_data()
  {
    QTest::addColumn<TValue>("stored");
    QTest::addColumn<TFieldType>("type");
    QTest::addColumn<QString>("isoText");
    QTest::addColumn<QString>("germanText");
    QTest::newRow("largest integer") << TValue::integer(9223372036854775807LL) << ftInteger << "9223372036854775807" << "9223372036854775807";
    QTest::newRow("float") << TValue::real(1234.5) << ftFloat << "1234.5" << "1234,5";
    QTest::newRow("float 15 digits") << TValue::real(0.1 + 0.2) << ftFloat << "0.3" << "0,3";
    QTest::newRow("float large") << TValue::real(1e20) << ftFloat << "1E20" << "1E20";
    QTest::newRow("float tiny") << TValue::real(-0.00005) << ftFloat << "-5E-5" << "-5E-5";
    QTest::newRow("float 0.0001") << TValue::real(0.0001) << ftFloat << "0.0001" << "0,0001";
    QTest::newRow("midnight with milliseconds") << text("2024-03-05 00:00:00.250") << ftDateTime << "2024-03-05" << "05.03.2024";
    QTest::newRow("exact decimal text") << text("12345678901234.123456") << ftBCD << "12345678901234.123456" << "12345678901234,123456";
    QTest::newRow("decimal that is not a number") << text("n/a") << ftBCD << "n/a" << "n/a";
    QTest::newRow("decimal stored as integer") << TValue::integer(42) << ftBCD << "42" << "42";
    QTest::newRow("boolean") << TValue::integer(1) << ftBoolean << "True" << "True";
    QTest::newRow("boolean text") << text("FALSE") << ftBoolean << "False" << "False";
    QTest::newRow("boolean other") << text("maybe") << ftBoolean << "maybe" << "maybe";
    QTest::newRow("date") << text("2024-02-29") << ftDate << "2024-02-29" << "29.02.2024";
    QTest::newRow("time") << text("13:05:09.250") << ftTime << "13:05:09" << "13:05:09";
    QTest::newRow("timestamp") << text("2024-02-29 13:05:09") << ftDateTime << "2024-02-29 13:05:09" << "29.02.2024 13:05:09";
    QTest::newRow("no date keeps its text") << text("sometime in May") << ftDate << "sometime in May" << "sometime in May";
    QTest::newRow("text with comma") << text("a, b") << ftString << "a, b" << "a, b";
    QTest::newRow("null") << TValue() << ftInteger << "" << "";
  }
  void valuesByType()
  {
    QFETCH(TValue, stored);
    QFETCH(TFieldType, type);
    QFETCH(QString, isoText);
    QFETCH(QString, germanText);
    QCOMPARE(valueText(stored, type, iso()), isoText);
    QCOMPARE(valueText(stored, type, german()), germanText);
  }

  // What a user types, read back into what is stored, under both settings.
  void typedInput_data()
  {
    QTest::addColumn<TFieldType>("type");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("german");
    QTest::addColumn<QString>("stored");  // "text:...", "int:...", "float:...", "null", "refused"
    QTest::newRow("integer") << ftInteger << " -42 " << false << "int:-42";
    QTest::newRow("64-bit integer") << ftLargeint << "9223372036854775807" << false << "int:9223372036854775807";
    QTest::newRow("integer with letter") << ftInteger << "4x" << false << "refused";
    QTest::newRow("empty number is null") << ftInteger << "" << false << "null";
    QTest::newRow("empty text stays text") << ftString << "" << false << "text:";
    QTest::newRow("float, point") << ftFloat << "1.25" << false << "float:1.25";
    QTest::newRow("float, comma") << ftFloat << "1,25" << true << "float:1.25";
    QTest::newRow("float, point where comma") << ftFloat << "1.25" << true << "refused";
    QTest::newRow("decimal kept exact") << ftBCD << "12345678901234567,891" << true << "text:12345678901234567.891";
    QTest::newRow("boolean") << ftBoolean << "True" << false << "int:1";
    QTest::newRow("boolean word") << ftBoolean << "perhaps" << false << "refused";
    QTest::newRow("iso date") << ftDate << "2024-2-9" << true << "text:2024-02-09";
    QTest::newRow("day-first date") << ftDate << "29.02.2024" << true << "text:2024-02-29";
    QTest::newRow("impossible day-first date") << ftDate << "30.02.2024" << true << "refused";
    QTest::newRow("time with ms") << ftTime << "7:05:09.25" << false << "text:07:05:09.250";
    QTest::newRow("timestamp") << ftDateTime << "29.02.2024 23:59" << true << "text:2024-02-29 23:59:00";
    QTest::newRow("timestamp, bad time") << ftDateTime << "2024-02-29 24:00" << false << "refused";
    QTest::newRow("blob from text") << ftBlob << "abc" << false << "bytes:abc";
  }
  void typedInput()
  {
    QFETCH(TFieldType, type);
    QFETCH(QString, typed);
    QFETCH(bool, german);
    QFETCH(QString, stored);
    const std::optional<TValue> v = parseFieldText(typed, type, german ? ::german() : iso());
    QString got = QStringLiteral("refused");
    if (v) {
      switch (v->kind()) {
      case TValue::Null: got = QStringLiteral("null"); break;
      case TValue::Integer: got = QStringLiteral("int:%1").arg(v->asInteger()); break;
      case TValue::Float: got = QStringLiteral("float:%1").arg(v->asFloat()); break;
      case TValue::Text: got = QStringLiteral("text:") + QString::fromUtf8(v->rawBytes()); break;
      case TValue::Bytes: got = QStringLiteral("bytes:") + QString::fromUtf8(v->rawBytes()); break;
      }
    }
    QCOMPARE(got, stored);
  }

  void settingsFromQtPatterns()
  {
    QCOMPARE(formatPatternFromQt(QStringLiteral("dd.MM.yyyy"), false), QStringLiteral("dd.mm.yyyy"));
    QCOMPARE(formatPatternFromQt(QStringLiteral("HH:mm:ss t"), true), QStringLiteral("hh:nn:ss"));
    QCOMPARE(formatPatternFromQt(QStringLiteral("h:mm:ss AP"), true), QStringLiteral("h:nn:ss"));
  }
};

QTEST_GUILESS_MAIN(TestValueText)
#include "tst_valuetext.moc"
