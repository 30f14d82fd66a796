#include "dataaccess/FormatSettings.h"

#include <QLocale>

QString formatPatternFromQt(const QString& qtPattern, bool isTime)
{
  QString out;
  bool quoted = false;
  for (qsizetype i = 0; i < qtPattern.size(); ++i) {
    const QChar c = qtPattern.at(i);
    if (c == QLatin1Char('\'')) {
      quoted = !quoted;
      out += QLatin1Char('"');
      continue;
    }
    if (quoted) {
      out += c;
      continue;
    }
    if (c == QLatin1Char('M'))
      out += QLatin1Char('m');  // month
    else if (isTime && c == QLatin1Char('m'))
      out += QLatin1Char('n');  // minute
    else if (c == QLatin1Char('H'))
      out += QLatin1Char('h');
    else if (c == QLatin1Char('t') || c == QLatin1Char('A') || c == QLatin1Char('a') ||
             c == QLatin1Char('P') || c == QLatin1Char('p'))
      continue;  // zones and am/pm markers: times render on the 24-hour clock
    else
      out += c;
  }
  return out.trimmed();
}

static QChar firstSeparator(const QString& pattern, QChar fallback)
{
  for (QChar c : pattern)
    if (!c.isLetter() && !c.isSpace() && c != QLatin1Char('"'))
      return c;
  return fallback;
}

TFormatSettings TFormatSettings::fromSystemLocale()
{
  return fromLocale(QLocale::system());
}

TFormatSettings TFormatSettings::fromLocale(const QLocale& locale)
{
  TFormatSettings s;
  if (locale.language() == QLocale::C)
    return s;  // the C locale: ISO forms and a decimal point
  s.DecimalSeparator = locale.decimalPoint().isEmpty() ? QLatin1Char('.') : locale.decimalPoint().at(0);
  s.ShortDateFormat = formatPatternFromQt(locale.dateFormat(QLocale::ShortFormat), false);
  s.LongTimeFormat = formatPatternFromQt(locale.timeFormat(QLocale::LongFormat), true);
  s.DateSeparator = firstSeparator(s.ShortDateFormat, QLatin1Char('/'));
  s.TimeSeparator = firstSeparator(s.LongTimeFormat, QLatin1Char(':'));
  return s;
}

TFormatSettings& FormatSettings()
{
  static TFormatSettings settings = TFormatSettings::fromSystemLocale();
  return settings;
}
