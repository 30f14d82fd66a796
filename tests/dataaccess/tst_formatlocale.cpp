// The format settings start from the user's locale: run with a German one (see tests/CMakeLists.txt).
#include "dataaccess/FormatSettings.h"
#include "dataaccess/ValueText.h"

#include <QtTest>

Q_DECLARE_METATYPE(TValue)
Q_DECLARE_METATYPE(TFieldType)

class TestFormatLocale : public QObject {
  Q_OBJECT

private slots:
  void startsFromTheLocale()
  {
    QCOMPARE(QLocale::system().name(), QStringLiteral("de_DE"));
    QCOMPARE(FormatSettings().DecimalSeparator, QLatin1Char(','));
    QCOMPARE(FormatSettings().DateSeparator, QLatin1Char('.'));
  }

  // What the grid shows and a CSV file gets under the user's settings, and under the fixed ones a
  // datapacket writes with (C: a point, ISO dates). Files and grids differ only where decimals
  // are written in plain form.
  void textsUnderBothSettings_data()
  {
    QTest::addColumn<TValue>("value");
    QTest::addColumn<TFieldType>("type");
    QTest::addColumn<QString>("german");  // shown; "shown|written" where the file differs
    QTest::addColumn<QString>("c");
    const auto text = [](const char* s) { return TValue::text(QByteArray(s)); };
    QTest::newRow("float") << TValue::real(1234.5) << ftFloat << "1234,5" << "1234.5";
    QTest::newRow("float at 15 digits, not 17") << TValue::real(0.1 + 0.2) << ftFloat << "0,3" << "0.3";
    QTest::newRow("float with exponent, in a text column") << TValue::real(-1.5e20) << ftMemo << "-1,5E20" << "-1.5E20";
    QTest::newRow("true") << TValue::integer(1) << ftBoolean << "True" << "True";
    QTest::newRow("true as text") << text("TRUE") << ftBoolean << "True" << "True";
    QTest::newRow("decimal") << text("-12.50") << ftBCD << "-12,50|-12,5" << "-12.50|-12.5";
    QTest::newRow("negative zero decimal") << text("-0.00") << ftBCD << "-0,00|0" << "-0.00|0";
    QTest::newRow("date") << text("2024-02-29") << ftDate << "29.02.24" << "2024-02-29";
    QTest::newRow("time with milliseconds") << text("13:05:09.042") << ftTime << "13:05:09,042" << "13:05:09.042";
    QTest::newRow("midnight") << text("2024-03-05 00:00:00") << ftDateTime << "05.03.24" << "2024-03-05";
    QTest::newRow("midnight and 250 ms") << text("2024-03-05 00:00:00.250") << ftDateTime << "05.03.24 00:00:00,250"
                                         << "2024-03-05 00:00:00.250";
  }
  void textsUnderBothSettings()
  {
    QFETCH(TValue, value);
    QFETCH(TFieldType, type);
    QFETCH(QString, german);
    QFETCH(QString, c);
    for (const auto& [settings, expected] : {std::pair(FormatSettings(), german), std::pair(TFormatSettings{}, c)}) {
      const QString shown = expected.section(QLatin1Char('|'), 0, 0), written = expected.section(QLatin1Char('|'), -1);
      QCOMPARE(valueText(value, type, settings), shown);
      TValueBytes bytes;
      QVERIFY(fileText(bytes, value, type, settings));
      QCOMPARE(QString::fromUtf8(bytes.toByteArray()), written);
    }
  }
};

QTEST_GUILESS_MAIN(TestFormatLocale)
#include "tst_formatlocale.moc"
