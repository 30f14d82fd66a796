#include "dataaccess/ValueText.h"

#include <QRegularExpression>
#include <cmath>

namespace {

constexpr double unixEpochJulianDay = 2440587.5;
constexpr qint64 msPerDay = 86400000;

std::optional<QDateTime> fromJulianDay(double jd)
{
  const double ms = std::round((jd - unixEpochJulianDay) * double(msPerDay));
  return QDateTime::fromMSecsSinceEpoch(qint64(ms), Qt::UTC);
}

std::optional<QDateTime> fromNumber(double n)
{
  if (!std::isfinite(n))
    return std::nullopt;
  if (n >= 0.0 && n <= 5373484.499999)
    return fromJulianDay(n);
  if (n >= -210866760000.0 && n <= 253402300799.0)
    return QDateTime::fromMSecsSinceEpoch(qint64(std::round(n * 1000.0)), Qt::UTC);
  return std::nullopt;
}

// Digits at s[i, i+n) as a number, or -1.
int digitsAt(const QByteArray& s, qsizetype i, int n)
{
  if (i + n > s.size())
    return -1;
  int v = 0;
  for (int k = 0; k < n; ++k) {
    const char c = s[i + k];
    if (c < '0' || c > '9')
      return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

// The common forms, "YYYY-MM-DD" and "YYYY-MM-DD HH:MM:SS[.fff]", read without the general pattern.
std::optional<std::optional<QDateTime>> fromPlainIso(const QByteArray& s)
{
  if (s.size() != 10 && s.size() != 19 && !(s.size() > 20 && s[19] == '.'))
    return std::nullopt;
  const int y = digitsAt(s, 0, 4), mo = digitsAt(s, 5, 2), d = digitsAt(s, 8, 2);
  if (y < 0 || mo < 0 || d < 0 || s[4] != '-' || s[7] != '-')
    return std::nullopt;
  const QDate date(y, mo, d);
  if (s.size() == 10)
    return std::optional<QDateTime>(date.isValid() ? std::optional<QDateTime>(QDateTime(date, QTime(0, 0), Qt::UTC)) : std::nullopt);
  const int h = digitsAt(s, 11, 2), mi = digitsAt(s, 14, 2), sec = digitsAt(s, 17, 2);
  if (h < 0 || mi < 0 || sec < 0 || (s[10] != ' ' && s[10] != 'T') || s[13] != ':' || s[16] != ':')
    return std::nullopt;
  int ms = 0;
  if (s.size() > 20) {
    // Milliseconds from the first three digits, rounded by the fourth, as the general reading does.
    int scale = 100;
    for (qsizetype i = 20; i < s.size(); ++i) {
      if (s[i] < '0' || s[i] > '9')
        return std::nullopt;  // a zone or more: the general reading
      if (i < 23) {
        ms += (s[i] - '0') * scale;
        scale /= 10;
      }
    }
    if (s.size() > 23 && s[23] >= '5')
      ++ms;
    ms = std::min(ms, 999);
  }
  const QTime time(h, mi, sec, ms);
  if (!date.isValid() || !time.isValid())
    return std::optional<QDateTime>(std::nullopt);
  return std::optional<QDateTime>(QDateTime(date, time, Qt::UTC));
}

std::optional<QDateTime> fromText(const QString& raw)
{
  // Date with optional time, or time alone; each with an optional zone.
  static const QRegularExpression iso(QStringLiteral(
      "^(?:(\\d{4})-(\\d{2})-(\\d{2})(?:[ T]+(\\d{2}):(\\d{2})(?::(\\d{2})(?:\\.(\\d+))?)?)?"
      "|(\\d{2}):(\\d{2})(?::(\\d{2})(?:\\.(\\d+))?)?)\\s*(Z|[+-]\\d{2}:\\d{2})?$"));
  const QString text = raw.trimmed();
  if (text.isEmpty())
    return std::nullopt;
  const QRegularExpressionMatch m = iso.match(text);
  if (!m.hasMatch()) {
    bool ok = false;
    const double n = text.toDouble(&ok);
    return ok ? fromNumber(n) : std::nullopt;
  }
  // Groups 4-7 are the time after a date, 8-11 a time alone.
  const int t0 = m.captured(1).isEmpty() ? 8 : 4;
  const QString hours = m.captured(t0), minutes = m.captured(t0 + 1), seconds = m.captured(t0 + 2),
                fraction = m.captured(t0 + 3);
  QDate date(2000, 1, 1);  // a time alone stands on SQLite's default day
  if (!m.captured(1).isEmpty()) {
    date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!date.isValid())
      return std::nullopt;
  }
  QTime time(0, 0);
  if (!hours.isEmpty()) {
    const int ms = fraction.isEmpty() ? 0 : int(std::lround((QStringLiteral("0.") + fraction).toDouble() * 1000));
    time = QTime(hours.toInt(), minutes.toInt(), seconds.toInt(), std::min(ms, 999));
    if (!time.isValid())
      return std::nullopt;
  }
  QDateTime result(date, time, Qt::UTC);
  const QString zone = m.captured(12);
  if (!zone.isEmpty() && zone != QLatin1String("Z")) {
    const int minutes = zone.mid(1, 2).toInt() * 60 + zone.mid(4, 2).toInt();
    result = result.addSecs((zone.startsWith(QLatin1Char('+')) ? -60 : 60) * minutes);  // to UTC
  }
  return result;
}

void appendPadded(QString& out, int v, int width)
{
  char digits[12];
  int n = 0;
  do {
    digits[n++] = char('0' + v % 10);
    v /= 10;
  } while (v > 0 && n < 11);
  for (int i = n; i < width; ++i)
    out += QLatin1Char('0');
  while (n > 0)
    out += QLatin1Char(digits[--n]);
}

bool isDecimalText(const QString& s)
{
  static const QRegularExpression decimal(QStringLiteral("^[+-]?\\d+(\\.\\d+)?$"));
  return decimal.match(s).hasMatch();
}

}  // namespace

std::optional<QDateTime> parseStoredDateTime(const TValue& value)
{
  switch (value.kind()) {
  case TValue::Integer: return fromNumber(double(value.asInteger()));
  case TValue::Float: return fromNumber(value.asFloat());
  case TValue::Text:
    if (const auto plain = fromPlainIso(value.rawBytes()))
      return *plain;
    return fromText(QString::fromUtf8(value.rawBytes()));
  default: return std::nullopt;
  }
}

QString formatDateTime(const QString& pattern, const QDateTime& value, const TFormatSettings& settings)
{
  const QDate d = value.date();
  int year = 0, month = 0, day = 0;
  d.getDate(&year, &month, &day);  // once: each of year(), month(), day() works the calendar out anew
  const QTime t = value.time();
  QString out;
  out.reserve(pattern.size() + 8);
  bool lastWasHour = false;
  for (qsizetype i = 0; i < pattern.size();) {
    const QChar c = pattern.at(i);
    if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
      const qsizetype end = pattern.indexOf(c, i + 1);
      out += pattern.mid(i + 1, end < 0 ? -1 : end - i - 1);
      i = end < 0 ? pattern.size() : end + 1;
      continue;
    }
    const auto lower = [](QChar ch) { return ch.unicode() >= 'A' && ch.unicode() <= 'Z' ? QChar(ch.unicode() + 32) : ch; };
    const QChar k = lower(c);
    qsizetype run = 1;
    while (i + run < pattern.size() && lower(pattern.at(i + run)) == k)
      ++run;
    bool hour = false;
    if (k == QLatin1Char('y'))
      run <= 2 ? appendPadded(out, year % 100, 2) : appendPadded(out, year, 4);
    else if (k == QLatin1Char('m') && lastWasHour)
      appendPadded(out, t.minute(), run >= 2 ? 2 : 1);
    else if (k == QLatin1Char('m') && run >= 3)
      out += run >= 4 ? QLocale::c().monthName(month) : QLocale::c().monthName(month, QLocale::ShortFormat);
    else if (k == QLatin1Char('m'))
      appendPadded(out, month, run >= 2 ? 2 : 1);
    else if (k == QLatin1Char('d') && run >= 3)
      out += run >= 4 ? QLocale::c().dayName(d.dayOfWeek()) : QLocale::c().dayName(d.dayOfWeek(), QLocale::ShortFormat);
    else if (k == QLatin1Char('d'))
      appendPadded(out, day, run >= 2 ? 2 : 1);
    else if (k == QLatin1Char('h')) {
      appendPadded(out, t.hour(), run >= 2 ? 2 : 1);
      hour = true;
    } else if (k == QLatin1Char('n'))
      appendPadded(out, t.minute(), run >= 2 ? 2 : 1);
    else if (k == QLatin1Char('s'))
      appendPadded(out, t.second(), run >= 2 ? 2 : 1);
    else if (k == QLatin1Char('z'))
      appendPadded(out, t.msec(), run >= 3 ? 3 : 1);
    else if (c == QLatin1Char('/'))
      out += QString(run, settings.DateSeparator);
    else if (c == QLatin1Char(':'))
      out += QString(run, settings.TimeSeparator);
    else
      out += pattern.mid(i, run);
    if (k != QLatin1Char(':') && !c.isSpace())
      lastWasHour = hour;
    i += run;
  }
  return out;
}

QString formatFloat(double value, const TFormatSettings& settings)
{
  if (std::isnan(value))
    return QStringLiteral("NAN");
  if (std::isinf(value))
    return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
  QString s = QString::number(value, 'g', 15);
  // The exponent as "E20" and "E-5": no plus sign, no leading zeros.
  const qsizetype e = s.indexOf(QLatin1Char('e'));
  if (e >= 0) {
    const int exponent = s.mid(e + 1).toInt();
    s = s.left(e) + QLatin1Char('E') + QString::number(exponent);
  }
  s.replace(QLatin1Char('.'), settings.DecimalSeparator);
  return s;
}

QString valueText(const TValue& value, TFieldType type, const TFormatSettings& settings)
{
  if (value.isNull())
    return QString();
  const QString stored = value.kind() == TValue::Integer ? QString::number(value.asInteger())
                         : value.kind() == TValue::Float ? formatFloat(value.asFloat(), settings)
                                                         : QString::fromUtf8(value.rawBytes());
  switch (type) {
  case ftBoolean:
    if (value.kind() == TValue::Integer)
      return value.asInteger() ? QStringLiteral("True") : QStringLiteral("False");
    if (stored.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
      return QStringLiteral("True");
    if (stored.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
      return QStringLiteral("False");
    return stored;
  case ftBCD:
  case ftFloat:
  case ftCurrency:
    // Exact decimal text keeps every digit; only the separator is regional.
    if (value.kind() == TValue::Text && isDecimalText(stored))
      return QString(stored).replace(QLatin1Char('.'), settings.DecimalSeparator);
    return stored;
  case ftDate:
  case ftTime:
  case ftDateTime: {
    const std::optional<QDateTime> dt = parseStoredDateTime(value);
    if (!dt)
      return stored;
    if (type == ftDate)
      return formatDateTime(settings.ShortDateFormat, *dt, settings);
    if (type == ftTime)
      return formatDateTime(settings.LongTimeFormat, *dt, settings);
    // A moment at midnight shows as its date alone (milliseconds alone do not count).
    const QTime t = dt->time();
    if (t.hour() == 0 && t.minute() == 0 && t.second() == 0)
      return formatDateTime(settings.ShortDateFormat, *dt, settings);
    return formatDateTime(settings.ShortDateFormat, *dt, settings) + QLatin1Char(' ') +
           formatDateTime(settings.LongTimeFormat, *dt, settings);
  }
  default:
    return stored;
  }
}
