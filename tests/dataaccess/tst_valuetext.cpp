#include "dataaccess/ValueText.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include <QtTest>

Q_DECLARE_METATYPE(TValue)
Q_DECLARE_METATYPE(TFieldType)
Q_DECLARE_METATYPE(TFormatSettings)

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

// The regional settings the matrix runs under, from Qt's own locale data (no system locale needed).
QList<QPair<QString, TFormatSettings>> locales()
{
  return {{QStringLiteral("C"), TFormatSettings{}},
          {QStringLiteral("en_US"), TFormatSettings::fromLocale(QLocale(QStringLiteral("en_US")))},
          {QStringLiteral("en_GB"), TFormatSettings::fromLocale(QLocale(QStringLiteral("en_GB")))},
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
    {"2^64 as real", TValue::real(18446744073709551616.0)}, {"1e15", TValue::real(1e15)},
    {"largest integer", TValue::integer(std::numeric_limits<int64_t>::max())},
    {"smallest integer", TValue::integer(std::numeric_limits<int64_t>::min())}, {"zero", TValue::integer(0)},
    {"one", TValue::integer(1)}, {"above 2^31", TValue::integer(4294967296LL)},
    {"decimal 38,10 max", text("9999999999999999999999999999.9999999999")},
    {"decimal 38,10 min", text("-9999999999999999999999999999.9999999999")},
    {"decimal tiny", text("0.0000000001")}, {"decimal with scale", text("12.50")},
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

double number(const TValue& v)
{
  return v.kind() == TValue::Integer ? double(v.asInteger()) : v.asFloat();
}

// Numbers as exact decimal text, for comparing decimals whatever their class.
QString decimalOf(const TValue& v)
{
  switch (v.kind()) {
  case TValue::Integer: return QString::number(v.asInteger());
  case TValue::Float: return plainDecimal(formatFloatExact(v.asFloat(), TFormatSettings{}));
  default: return plainDecimal(QString::fromUtf8(v.rawBytes()));
  }
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

bool sameValue(const TValue& a, const TValue& b, TFieldType type)
{
  if (a.isNull() || b.isNull())
    return a.isNull() == b.isNull();
  if (isDateTimeType(type))
    return parseStoredDateTime(a) == parseStoredDateTime(b);
  if (type == ftBCD)
    return decimalOf(a) == decimalOf(b);
  if (type == ftBoolean)
    return booleanOf(a) == booleanOf(b);
  if (isFloatType(type)) {
    const double x = number(a), y = number(b);
    return (std::isnan(x) && std::isnan(y)) || (x == y && std::signbit(x) == std::signbit(y));
  }
  return a == b;
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
    QTest::newRow("milliseconds") << text("2021-05-17 08:00:00.125") << "2021-05-17 08:00:00.125";
    QTest::newRow("T and Z") << text("2021-05-17T08:00:00Z") << "2021-05-17 08:00:00.000";
    QTest::newRow("zone to UTC") << text("2021-05-17T08:00:00+02:00") << "2021-05-17 06:00:00.000";
    QTest::newRow("long fraction") << text("2021-05-17 08:00:00.1239") << "2021-05-17 08:00:00.124";
    QTest::newRow("time alone") << text("23:59:58.5") << "2000-01-01 23:59:58.500";
    QTest::newRow("julian day number") << TValue::real(2460000.5) << "2023-02-25 00:00:00.000";
    QTest::newRow("unix time") << TValue::integer(1700000000) << "2023-11-14 22:13:20.000";
    QTest::newRow("impossible date") << text("2023-02-30") << "none";
    QTest::newRow("words") << text("next Tuesday") << "none";
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
    QTest::newRow("float tiny") << TValue::real(-0.00005) << ftFloat << "-5E-5" << "-5E-5";
    QTest::newRow("float 0.0001") << TValue::real(0.0001) << ftFloat << "0.0001" << "0,0001";
    QTest::newRow("infinity") << TValue::real(HUGE_VAL) << ftFloat << "INF" << "INF";
    QTest::newRow("not a number") << TValue::real(std::nan("")) << ftCurrency << "NAN" << "NAN";
    QTest::newRow("server's infinity") << text("-Infinity") << ftFloat << "-INF" << "-INF";
    QTest::newRow("julian day 0") << TValue::real(0.0) << ftDateTime << "-4713-11-24 12:00:00" << "24.11.-4713 12:00:00";
    QTest::newRow("year past 9999") << text("12345-01-02") << ftDate << "12345-01-02" << "02.01.12345";
    QTest::newRow("date carrying a time") << text("2024-02-29 13:05:09") << ftDate << "2024-02-29 13:05:09" << "29.02.2024 13:05:09";
    QTest::newRow("text in an integer column") << text("n/a") << ftLargeint << "n/a" << "n/a";
    QTest::newRow("boolean") << TValue::integer(1) << ftBoolean << "True" << "True";
    QTest::newRow("boolean that is no 0 or 1") << TValue::integer(2) << ftBoolean << "2" << "2";
    QTest::newRow("variant float") << TValue::real(3.25) << ftVariant << "3.25" << "3,25";
    QTest::newRow("exact decimal text") << text("12345678901234.123456") << ftBCD << "12345678901234.123456" << "12345678901234,123456";
    QTest::newRow("decimal stored as integer") << TValue::integer(42) << ftBCD << "42" << "42";
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
    QCOMPARE(valueText(stored, type, iso()), isoText);
    QCOMPARE(valueText(stored, type, german()), germanText);
  }

  // What a user types, read back into what is stored, under both settings: forms the program does
  // not show itself, and refusals (the edit texts it shows read back in everyPathAgrees).
  void typedInput_data()
  {
    QTest::addColumn<TFieldType>("type");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("german");
    QTest::addColumn<QString>("stored");  // "text:...", "int:...", "float:...", "null", "refused"
    QTest::newRow("integer with letter") << ftInteger << "4x" << false << "refused";
    QTest::newRow("empty number is null") << ftInteger << "" << false << "null";
    QTest::newRow("float, point where comma") << ftFloat << "1.25" << true << "refused";
    QTest::newRow("decimal kept exact") << ftBCD << "12345678901234567,891" << true << "text:12345678901234567.891";
    QTest::newRow("impossible day-first date") << ftDate << "30.02.2024" << true << "refused";
    QTest::newRow("minus infinity, any case") << ftCurrency << "-inf" << true << "float:-inf";
    QTest::newRow("beyond the largest double") << ftFloat << "1.79769313486232E308" << false << "refused";
    QTest::newRow("decimal with exponent") << ftBCD << "1E-7" << false << "text:0.0000001";
    QTest::newRow("decimal infinity") << ftBCD << "-INF" << false << "text:-Infinity";
    QTest::newRow("signed expanded year") << ftDateTime << "-4713-11-24 12:00" << false << "text:-4713-11-24 12:00:00";
    QTest::newRow("year 0") << ftDate << "0000-02-29" << false << "text:0000-02-29";
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
      case TValue::Float: got = QStringLiteral("float:") + QString::number(v->asFloat(), 'g', 15); break;
      case TValue::Text: got = QStringLiteral("text:") + QString::fromUtf8(v->rawBytes()); break;
      case TValue::Bytes: got = QStringLiteral("bytes:") + QString::fromUtf8(v->rawBytes()); break;
      }
    }
    QCOMPARE(got, stored);
  }

  // Every field type, every awkward value, under four locales: the file text's fast and general
  // ways agree, no value that has text loses it, stored text stays byte for byte, and a value whose
  // class fits its type reads back from its edit text as the very same value.
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
        QVERIFY2(sameValue(*back, value, type), context + ": " + edit.toUtf8() + " reads back as " +
                                                    valueText(*back, type, settings, TTextUse::Edit).toUtf8());
        // The display form is the edit form except where it rounds floats or shortens years.
        const QString shown = valueText(value, type, settings);
        if (shown != edit)
          QVERIFY2(isFloatType(type) || type == ftBCD || isDateTimeType(type), context);
      }
    }
  }

  // Editors show four-digit years whatever the regional short form; a two-digit year typed in is
  // the one of the hundred years centred on this one.
  void yearsInEditors_data()
  {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("edit");
    QTest::newRow("en_US") << "en_US" << "6/30/75" << "6/30/1975";
    QTest::newRow("de_DE") << "de_DE" << "30.06.75" << "30.06.1975";
    QTest::newRow("en_GB") << "en_GB" << "30/06/1975" << "30/06/1975";
  }
  void yearsInEditors()
  {
    QFETCH(QString, locale);
    QFETCH(QString, display);
    QFETCH(QString, edit);
    const TFormatSettings s = TFormatSettings::fromLocale(QLocale(locale));
    QCOMPARE(valueText(text("1975-06-30"), ftDate, s), display);
    QCOMPARE(valueText(text("1975-06-30"), ftDate, s, TTextUse::Edit), edit);
    QCOMPARE(valueText(text("1975-06-30 08:15:00"), ftDateTime, s, TTextUse::Edit).left(edit.size()), edit);
    // Changing the day alone keeps the century.
    const QString changed = QString(edit).replace(QStringLiteral("30"), QStringLiteral("29"));
    QCOMPARE(QString::fromUtf8(parseFieldText(changed, ftDate, s)->rawBytes()), QStringLiteral("1975-06-29"));
    // A two-digit year typed in is one of the hundred years centred on this one.
    const int now = QDate::currentDate().year();
    for (int year : {now - 50, now, now + 49}) {
      const QString typed = QString(display).replace(QStringLiteral("75"), QString::number(year % 100).rightJustified(2, QLatin1Char('0')));
      if (!s.ShortDateFormat.contains(QStringLiteral("yyyy")))
        QCOMPARE(QString::fromUtf8(parseFieldText(typed, ftDate, s)->rawBytes()).left(4), QString::number(year));
    }
  }

  void plainDecimals_data()
  {
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("trailing zeros") << "12.50" << "12.5";
    QTest::newRow("exponent") << "1.5e-7" << "0.00000015";
    QTest::newRow("big exponent") << "2.5E20" << "250000000000000000000";
    QTest::newRow("negative zero") << "-0.00" << "0";
    QTest::newRow("not a number") << "n/a" << "n/a";
  }
  void plainDecimals()
  {
    QFETCH(QString, in);
    QFETCH(QString, out);
    QCOMPARE(plainDecimal(in), out);
  }

  void exactFloats_data()
  {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("edit");
    QTest::newRow("0.1 + 0.2") << 0.1 + 0.2 << "0.3" << "0.30000000000000004";
    QTest::newRow("largest") << DBL_MAX << "1.79769313486232E308" << "1.7976931348623157E308";
    QTest::newRow("denormal") << std::numeric_limits<double>::denorm_min() << "4.94065645841247E-324" << "5E-324";
    QTest::newRow("2^64") << 18446744073709551616.0 << "1.84467440737096E19" << "1.8446744073709552E19";
    QTest::newRow("minus zero") << -0.0 << "-0" << "-0";
  }
  void exactFloats()
  {
    QFETCH(double, value);
    QFETCH(QString, display);
    QFETCH(QString, edit);
    QCOMPARE(formatFloat(value, TFormatSettings{}), display);
    QCOMPARE(formatFloatExact(value, TFormatSettings{}), edit);
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
