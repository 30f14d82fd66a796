#include "DataAccessHelpers.h"

#include "dataaccess/NumberText.h"
#include "dataaccess/ValueText.h"

#include <cfloat>
#include <charconv>
#include <cstring>
#include <random>
#include <cmath>
#include <limits>

#include <QtTest>

Q_DECLARE_METATYPE(TValue)
Q_DECLARE_METATYPE(TFieldType)
Q_DECLARE_METATYPE(TFormatSettings)

namespace {
TFormatSettings german()
{
  TFormatSettings s;
  s.DecimalSeparator = QLatin1Char(',');
  s.DateSeparator = QLatin1Char('.');
  s.ShortDateFormat = QStringLiteral("dd/mm/yyyy");
  return s;
}
TValue text(const char* s) { return TValue::text(QByteArray(s)); }

// The regional settings the matrix runs under, from Qt's own locale data (no system locale needed).
QList<QPair<QString, TFormatSettings>> locales()
{
  return {{QStringLiteral("C"), TFormatSettings{}},
          {QStringLiteral("en_US"), TFormatSettings::fromLocale(QLocale(QStringLiteral("en_US")))},
          {QStringLiteral("de_DE"), TFormatSettings::fromLocale(QLocale(QStringLiteral("de_DE")))}};
}

// Values where rendering and reading have gone wrong before, in every storage class.
QList<QPair<QString, TValue>> awkwardValues()
{
  const auto bytes = [](const char* s, int n) { return QByteArray(s, n); };
  return {
    {"null", TValue()}, {"empty text", text("")}, {"0.1", TValue::real(0.1)}, {"1e-7", TValue::real(1e-7)},
    {"123456789.123", TValue::real(123456789.123)}, {"0.1 + 0.2", TValue::real(0.1 + 0.2)},
    {"minus zero", TValue::real(-0.0)}, {"denormal", TValue::real(std::numeric_limits<double>::denorm_min())},
    {"largest double", TValue::real(DBL_MAX)}, {"most negative double", TValue::real(-DBL_MAX)},
    {"infinity", TValue::real(HUGE_VAL)}, {"minus infinity", TValue::real(-HUGE_VAL)}, {"nan", TValue::real(std::nan(""))},
    {"2^64 as real", TValue::real(18446744073709551616.0)}, {"largest integer", TValue::integer(std::numeric_limits<int64_t>::max())},
    {"smallest integer", TValue::integer(std::numeric_limits<int64_t>::min())}, {"zero", TValue::integer(0)}, {"one", TValue::integer(1)},
    {"decimal 38,10 max", text("9999999999999999999999999999.9999999999")},
    {"decimal 38,10 min", text("-9999999999999999999999999999.9999999999")},
    {"decimal tiny", text("0.0000000001")}, {"decimal with scale", text("12.50")},
    {"decimal minus zero", text("-0.00")}, {"decimal padded", text("+007.50")}, {"decimal below zero", text("-0.50")},
    {"first day", text("0001-01-01")}, {"last day", text("9999-12-31")}, {"julian day 0", TValue::real(0.0)},
    {"before year 1", text("-4713-11-24 12:00:00")}, {"midnight", text("2024-03-05 00:00:00")},
    {"before a leap second", text("2016-12-31 23:59:59.999")}, {"after a leap second", text("2017-01-01 00:00:00.001")},
    {"1975", text("1975-06-30")}, {"time alone", text("13:05:09.250")}, {"unix time", TValue::integer(1700000000)},
    {"true text", text("true")}, {"special characters", text("a,b\"c\r\nd\te;f")}, {"cdata end", text("]]>")},
    {"markup", text("<&>'\"")}, {"non-ASCII", text("\xC3\xA9\xE5\xB1\xB1\xE7\x94\xB0\xF0\x9F\xA6\x85")},
    {"controls", text("\x01\x1F")}, {"nul inside", TValue::text(bytes("a\0b", 3))},
    {"invalid utf-8", TValue::text(bytes("\0\x01\xFF" "abc", 6))}, {"truncated sequence", TValue::text(bytes("ab\xE5\xB1", 4))},
    {"encoded surrogate", TValue::text(bytes("\xED\xA0\x80", 3))}, {"non-characters", text("\xEF\xBF\xBE\xEF\xBF\xBF")},
    {"digits as text", text("0042")}, {"server's infinity", text("Infinity")}, {"blob", TValue::bytes(bytes("\0\xFF", 2))},
  };
}

bool validUtf8(const QByteArray& b)
{
  return QString::fromUtf8(b).toUtf8() == b;
}

int booleanOf(const TValue& v)
{
  if (v.kind() == TValue::Integer)
    return v.asInteger() == 0 || v.asInteger() == 1 ? int(v.asInteger()) : -1;
  return v.rawBytes().compare("true", Qt::CaseInsensitive) == 0 ? 1 : v.rawBytes().compare("false", Qt::CaseInsensitive) == 0 ? 0 : -1;
}

// Whether typing the value's edit text into a field of the type can give the value back: its class
// fits the type. Values that do not fit are shown by their own class and stay as stored unless edited.
bool fits(const TValue& v, TFieldType type)
{
  if (v.isNull())
    return !isTextInputType(type) && type != ftVariant;  // an emptied text field holds the empty text
  if (isIntegerType(type))
    return v.kind() == TValue::Integer;
  if (isFloatType(type))
    return v.kind() == TValue::Float || (v.kind() == TValue::Integer && v.asInteger() > -(int64_t(1) << 53) && v.asInteger() < (int64_t(1) << 53));
  if (type == ftBCD)
    return v.kind() == TValue::Integer || (v.kind() == TValue::Float && std::isfinite(v.asFloat())) ||
           (v.kind() == TValue::Text && isDecimalText(v.rawBytes()));
  if (type == ftBoolean)
    return booleanOf(v) == 0 || booleanOf(v) == 1;
  if (isDateTimeType(type))
    return parseStoredDateTime(v).has_value();
  if (isTextInputType(type))
    return v.kind() == TValue::Text && validUtf8(v.rawBytes());
  if (type == ftVariant)
    return v.kind() == TValue::Integer ||
           (v.kind() == TValue::Text && validUtf8(v.rawBytes()) && QString::number(v.rawBytes().toLongLong()) != QString::fromUtf8(v.rawBytes()));
  return false;
}

}  // namespace

class TestValueText : public QObject {
  Q_OBJECT

private slots:
  void storedDatesAndTimes_data()
  {
    QTest::addColumn<TValue>("stored");
    QTest::addColumn<QString>("expected");  // ISO with milliseconds, or "none"
    QTest::newRow("date") << text("2024-02-29") << "2024-02-29 00:00:00.000";
    QTest::newRow("zone to UTC") << text("2021-05-17T08:00:00+02:00") << "2021-05-17 06:00:00.000";
    QTest::newRow("long fraction, rounded") << text("2021-05-17 08:00:00.1239") << "2021-05-17 08:00:00.124";
    QTest::newRow("time alone") << text("23:59:58.5") << "2000-01-01 23:59:58.500";
    QTest::newRow("julian day number") << TValue::real(2460000.5) << "2023-02-25 00:00:00.000";
    QTest::newRow("unix time") << TValue::integer(1700000000) << "2023-11-14 22:13:20.000";
    QTest::newRow("impossible date") << text("2023-02-30") << "none";
  }
  void storedDatesAndTimes()
  {
    QFETCH(TValue, stored);
    QFETCH(QString, expected);
    const std::optional<QDateTime> dt = parseStoredDateTime(stored);
    QCOMPARE(dt ? dt->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) : QStringLiteral("none"), expected);
  }

  void valuesByType_data()
  {
    QTest::addColumn<TValue>("stored");
    QTest::addColumn<TFieldType>("type");
    QTest::addColumn<QString>("isoText");
    QTest::addColumn<QString>("germanText");
    QTest::newRow("float tiny") << TValue::real(-0.00005) << ftFloat << "-5E-5" << "-5E-5";
    QTest::newRow("0.1 + 0.2 at 15 digits") << TValue::real(0.1 + 0.2) << ftFloat << "0.3" << "0,3";
    QTest::newRow("largest float") << TValue::real(DBL_MAX) << ftFloat << "1.79769313486232E308" << "1,79769313486232E308";
    QTest::newRow("minus zero") << TValue::real(-0.0) << ftFloat << "-0" << "-0";
    QTest::newRow("infinity") << TValue::real(HUGE_VAL) << ftFloat << "INF" << "INF";
    QTest::newRow("not a number") << TValue::real(std::nan("")) << ftCurrency << "NAN" << "NAN";
    QTest::newRow("server's infinity") << text("-Infinity") << ftFloat << "-INF" << "-INF";
    QTest::newRow("julian day 0") << TValue::real(0.0) << ftDateTime << "-4713-11-24 12:00:00" << "24.11.-4713 12:00:00";
    QTest::newRow("year past 9999") << text("12345-01-02") << ftDate << "12345-01-02" << "02.01.12345";
    QTest::newRow("date carrying a time") << text("2024-02-29 13:05:09") << ftDate << "2024-02-29 13:05:09" << "29.02.2024 13:05:09";
    QTest::newRow("boolean") << TValue::integer(1) << ftBoolean << "True" << "True";
    QTest::newRow("boolean that is no 0 or 1") << TValue::integer(2) << ftBoolean << "2" << "2";
    QTest::newRow("variant float") << TValue::real(3.25) << ftVariant << "3.25" << "3,25";
    QTest::newRow("exact decimal text") << text("12345678901234.123456") << ftBCD << "12345678901234.123456" << "12345678901234,123456";
    QTest::newRow("time") << text("13:05:09.250") << ftTime << "13:05:09.250" << "13:05:09,250";
    QTest::newRow("no date keeps its text") << text("sometime in May") << ftDate << "sometime in May" << "sometime in May";
    QTest::newRow("null") << TValue() << ftInteger << "" << "";
  }
  void valuesByType()
  {
    QFETCH(TValue, stored);
    QFETCH(TFieldType, type);
    QFETCH(QString, isoText);
    QFETCH(QString, germanText);
    QCOMPARE(valueText(stored, type, TFormatSettings{}), isoText);  // ".", "yyyy-mm-dd", "hh:nn:ss"
    QCOMPARE(valueText(stored, type, german()), germanText);
  }

  // What a user types, read back into what is stored, under both settings: forms the program does
  // not show itself, and refusals (the edit texts it shows read back in everyPathAgrees).
  void typedInput_data()
  {
    QTest::addColumn<TFieldType>("type");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("german");
    QTest::addColumn<QString>("stored");  // as show() gives it, or "refused"
    QTest::newRow("integer with letter") << ftInteger << "4x" << false << "refused";
    QTest::newRow("empty number is null") << ftInteger << "" << false << "null";
    QTest::newRow("float, point where comma") << ftFloat << "1.25" << true << "refused";
    QTest::newRow("decimal kept exact") << ftBCD << "12345678901234567,891" << true << "t:12345678901234567.891";
    QTest::newRow("impossible day-first date") << ftDate << "30.02.2024" << true << "refused";
    QTest::newRow("minus infinity, any case") << ftCurrency << "-inf" << true << "f:-inf";
    QTest::newRow("beyond the largest double") << ftFloat << "1.79769313486232E308" << false << "refused";
    QTest::newRow("decimal with exponent") << ftBCD << "1E-7" << false << "t:0.0000001";
    QTest::newRow("decimal negative zero with exponent") << ftBCD << "-0E-2" << false << "t:0";
    QTest::newRow("decimal infinity") << ftBCD << "-INF" << false << "t:-Infinity";
    QTest::newRow("signed expanded year") << ftDateTime << "-4713-11-24 12:00" << false << "t:-4713-11-24 12:00:00";
  }
  void typedInput()
  {
    QFETCH(TFieldType, type);
    QFETCH(QString, typed);
    QFETCH(bool, german);
    QFETCH(QString, stored);
    const std::optional<TValue> v = parseFieldText(typed, type, german ? ::german() : TFormatSettings{});
    QCOMPARE(v ? show(*v) : QStringLiteral("refused"), stored);
  }

  // Every field type, every awkward value, under four locales: the file text's fast and general
  // ways agree, no value that has text loses it, stored text stays byte for byte, and a value whose
  // class fits its type reads back from its edit text as the very same value.
  // Floats are written from their shortest digits rounded to 15: on every kind of value, and most of
  // all near the middle between two 15-digit neighbours, the text must be the value rounded to 15.
  void floatTextIsTheValueRoundedToFifteenDigits()
  {
    std::mt19937_64 random(20261207);
    std::vector<double> values{0.0, -0.0, 0.1 + 0.2, 999999999999999.4, 99999999999999.95, 0.00009999999999999995,
                               std::nextafter(1.0, 0.0), 9.999999999999998, -99999.99999999999, 0.0009999999999999999};
    for (int i = 1; i < 20000; ++i)
      values.push_back(i / 7.0);
    for (int i = 0; i < 100000; ++i) {
      double v = std::ldexp(double(random() >> 11) / double(1ULL << 53), int(random() % 72) - 20);
      values.push_back(i % 2 ? v : -v);
      // Every other tie starts with a 1, where a unit in the last place spans the most decimal digits.
      if (i % 2)
        v = (1 + v / std::pow(10, std::floor(std::log10(v)) + 1)) * std::pow(10, int(random() % 19) - 4);
      // A 15-digit decimal with a 5 after it, and its neighbours: where rounding twice goes wrong.
      char tie[40];
      const int n = std::snprintf(tie, sizeof tie, "%.14e", v);
      std::memmove(tie + n - 4 + 1, tie + n - 4, 5);
      tie[n - 4] = '5';
      double t = 0;
      std::from_chars(tie, tie + n + 1, t);
      for (int step = 0; step < 3; ++step, t = std::nextafter(t, 0.0))
        values.insert(values.end(), {t, std::nextafter(std::nextafter(std::nextafter(t, 1e300), 1e300), 1e300)});
    }
    for (const double v : values) {
      char fast[40], direct[40];
      const int n = formatFloatPlain(v, ',', fast);
      const auto r = std::to_chars(direct, direct + sizeof direct, v, std::chars_format::general, 15);
      QByteArray expected(direct, r.ptr - direct);
      expected = expected.contains('e') ? QByteArray("(exponent)") : expected.replace('.', ',');
      QCOMPARE(n < 0 ? QByteArray("(exponent)") : QByteArray(fast, n), expected);
    }
  }

  void everyPathAgrees_data()
  {
    QTest::addColumn<TFormatSettings>("settings");
    QTest::addColumn<TFieldType>("type");
    for (const auto& [name, settings] : locales())
      for (int t = 0; t <= ftLastFieldType; ++t)
        QTest::addRow("%s %s", qPrintable(name), qPrintable(fieldTypeIdentifier(TFieldType(t)))) << settings << TFieldType(t);
  }
  void everyPathAgrees()
  {
    QFETCH(TFormatSettings, settings);
    QFETCH(TFieldType, type);
    for (const auto& [name, value] : awkwardValues()) {
      const QByteArray context = name.toUtf8();
      TValueBytes fast, general;
      const bool hasText = fileText(fast, value, type, settings, true);
      QCOMPARE(fileText(general, value, type, settings, false), hasText);
      QVERIFY2(fast.toByteArray() == general.toByteArray(), context + ": " + fast.toByteArray() + " / " + general.toByteArray());
      // Only binary data has no text; nothing else is dropped.
      QVERIFY2(hasText == (value.kind() != TValue::Bytes), context);
      if (hasText && !value.isNull() && !(value.kind() == TValue::Text && value.rawBytes().isEmpty()))
        QVERIFY2(!fast.isEmpty(), context);
      if (value.kind() == TValue::Text && (isTextInputType(type) || isBlobType(type) || type == ftVariant || isIntegerType(type)))
        QVERIFY2(fast.toByteArray() == value.rawBytes(), context);  // byte for byte, valid UTF-8 or not
      if (hasText && validUtf8(fast.toByteArray()))
        QVERIFY2(QString::fromUtf8(fast.toByteArray()) == valueText(value, type, settings, TTextUse::File), context);
      if (value.kind() == TValue::Float && !std::isfinite(value.asFloat()) && !isDateTimeType(type))
        QVERIFY2(QStringList({"INF", "-INF", "NAN"}).contains(QString::fromUtf8(fast.toByteArray())), context);
      if (fits(value, type)) {
        const QString edit = valueText(value, type, settings, TTextUse::Edit);
        const std::optional<TValue> back = parseFieldText(edit, type, settings);
        QVERIFY2(back, context + ": the edit text " + edit.toUtf8() + " does not read");
        // The edit text is exact (floats to 17 digits, times to the millisecond): equal texts, equal
        // values, where a decimal may come back in plain form.
        const QString again = valueText(*back, type, settings, TTextUse::Edit);
        const auto plain = [&](QString s) { return type == ftBCD ? plainDecimal(s.replace(settings.DecimalSeparator, '.')) : s; };
        QVERIFY2(plain(again) == plain(edit) && back->isNull() == value.isNull(),
                 context + ": " + edit.toUtf8() + " reads back as " + again.toUtf8());
        // The display form is the edit form except where it rounds floats or shortens years.
        const QString shown = valueText(value, type, settings);
        if (shown != edit)
          QVERIFY2(isFloatType(type) || type == ftBCD || isDateTimeType(type), context);
      }
    }
  }

  // The writers' time pattern keeps three digits of milliseconds.
  void writersTime()
  {
    const QDateTime t(QDate(2024, 3, 5), QTime(7, 8, 9, 42), Qt::UTC);
    QCOMPARE(formatDateTime(QStringLiteral("hh:nn:ss:zzz"), t, TFormatSettings{}), QStringLiteral("07:08:09:042"));
  }

  // A two-digit year typed in is the one of the hundred years centred on this one (that editors show
  // four digits whatever the regional short form: see the grid's tests).
  void twoDigitYears()
  {
    const TFormatSettings s = TFormatSettings::fromLocale(QLocale(QStringLiteral("de_DE")));
    const int now = QDate::currentDate().year();
    for (int year : {now - 50, now, now + 49}) {
      const QString typed = QStringLiteral("30.06.%1").arg(year % 100, 2, 10, QLatin1Char('0'));
      QCOMPARE(show(*parseFieldText(typed, ftDate, s)), QStringLiteral("t:%1-06-30").arg(year));
    }
  }
};

QTEST_GUILESS_MAIN(TestValueText)
#include "tst_valuetext.moc"
