#include "dataaccess/DateTimeText.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>

namespace {

constexpr double unixEpochJulianDay = 2440587.5;
constexpr qint64 msPerDay = 86400000;
constexpr double lastJulianDay = 5373484.499999;  // 9999-12-31 23:59:59.999, as far as SQLite reads days

std::optional<QDateTime> fromJulianDay(double jd)
{
  const double ms = std::round((jd - unixEpochJulianDay) * double(msPerDay));
  return QDateTime::fromMSecsSinceEpoch(qint64(ms), Qt::UTC);
}

std::optional<QDateTime> fromNumber(double n)
{
  if (!std::isfinite(n))
    return std::nullopt;
  if (n >= 0.0 && n <= lastJulianDay)
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
  const QDate date(qtYear(y), mo, d);
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
  // Date with optional time, or time alone; each with an optional zone. A year may carry a sign
  // and more than four digits.
  static const QRegularExpression iso(QStringLiteral(
      "^(?:([+-]?\\d{4,})-(\\d{2})-(\\d{2})(?:[ T]+(\\d{2}):(\\d{2})(?::(\\d{2})(?:\\.(\\d+))?)?)?"
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
  QDate date = storedTimeDay();
  if (!m.captured(1).isEmpty()) {
    bool ok = false;
    const int year = m.captured(1).toInt(&ok);
    date = ok ? QDate(qtYear(year), m.captured(2).toInt(), m.captured(3).toInt()) : QDate();
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
  if (v < 0) {
    out += QLatin1Char('-');
    v = -v;
  }
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

// A year as ISO 8601 writes it: at least four digits, a minus sign before the year 0. Years past 9999
// go without the plus sign of the expanded form, which the databases' own date readers refuse.
void appendYear(QString& out, int astronomical)
{
  appendPadded(out, astronomical, 4);
}

}  // namespace

QDate storedTimeDay()
{
  return QDate(2000, 1, 1);
}

int astronomicalYear(const QDate& date)
{
  const int y = date.year();
  return y < 0 ? y + 1 : y;
}

int qtYear(int astronomical)
{
  return astronomical <= 0 ? astronomical - 1 : astronomical;
}

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

QString formatDateTime(const QString& pattern, const QDateTime& value, const TFormatSettings& settings, bool fullYear)
{
  const QDate d = value.date();
  int year = 0, month = 0, day = 0;
  d.getDate(&year, &month, &day);  // once: each of year(), month(), day() works the calendar out anew
  const int astronomical = year < 0 ? year + 1 : year;
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
    if (k == QLatin1Char('y')) {
      // Two digits only where they cannot be mistaken for another century's year's whole.
      if (run <= 2 && !fullYear && astronomical >= 0 && astronomical <= 9999)
        appendPadded(out, astronomical % 100, 2);
      else
        appendYear(out, astronomical);
    } else if (k == QLatin1Char('m') && lastWasHour)
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

QString isoDateText(const QDate& date)
{
  QString out;
  out.reserve(10);
  appendYear(out, astronomicalYear(date));
  out += QLatin1Char('-');
  appendPadded(out, date.month(), 2);
  out += QLatin1Char('-');
  appendPadded(out, date.day(), 2);
  return out;
}

QString isoTimeText(const QTime& t)
{
  return t.msec() ? t.toString(QStringLiteral("HH:mm:ss.zzz")) : t.toString(QStringLiteral("HH:mm:ss"));
}
