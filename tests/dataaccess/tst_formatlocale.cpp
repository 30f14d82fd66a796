// The format settings start from the user's locale: run with a German one (see tests/CMakeLists.txt).
#include "dataaccess/FormatSettings.h"
#include "dataaccess/ValueText.h"

#include <QtTest>

class TestFormatLocale : public QObject {
  Q_OBJECT

private slots:
  void startsFromTheLocale()
  {
    QCOMPARE(QLocale::system().name(), QStringLiteral("de_DE"));
    const TFormatSettings& s = FormatSettings();
    QCOMPARE(s.DecimalSeparator, QLatin1Char(','));
    QCOMPARE(s.DateSeparator, QLatin1Char('.'));
    QCOMPARE(s.TimeSeparator, QLatin1Char(':'));
    QCOMPARE(valueText(TValue::text(QByteArray("2024-02-29 13:05:09")), ftDateTime, s).left(8), QStringLiteral("29.02.24"));
    QCOMPARE(valueText(TValue::real(1234.5), ftFloat, s), QStringLiteral("1234,5"));
    QCOMPARE(valueText(TValue::text(QByteArray("13:05:09")), ftTime, s), QStringLiteral("13:05:09"));
  }
};

QTEST_GUILESS_MAIN(TestFormatLocale)
#include "tst_formatlocale.moc"
