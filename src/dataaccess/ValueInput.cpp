// Typed text into stored values: the reading half of the value text module (ValueText.h).

#include "dataaccess/ValueText.h"

#include <QDate>
#include <QRegularExpression>
#include <QTime>
#include <cmath>

namespace {

// The decimal part in canonical form ("-12.50"), or empty when the text is no plain decimal number.
// An exponent is folded in, so that a decimal shown as "1E-7" reads back.
QString canonicalDecimal(const QString& text, QChar separator)
{
  QString t = text.trimmed();
  if (separator != QLatin1Char('.')) {
    if (t.contains(QLatin1Char('.')))
      return QString();  // a point where a comma is the separator is a typing slip, not a decimal
    t.replace(separator, QLatin1Char('.'));
  }
  static const QRegularExpression decimal(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)$"));
  if (decimal.match(t).hasMatch())
    return t;
  static const QRegularExpression scientific(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)[eE][+-]?\\d{1,4}$"));
  return scientific.match(t).hasMatch() ? plainDecimal(t) : QString();
}

// A two-digit year is the one of the hundred years centred on this one.
int nearestYear(int twoDigits)
{
  const int now = QDate::currentDate().year();
  int year = now - now % 100 + twoDigits;
  if (year > now + 49)
    year -= 100;
  else if (year < now - 50)
    year += 100;
  return year;
}

std::optional<QDate> parseDate(const QString& text, const TFormatSettings& settings)
{
  const QString t = text.trimmed();
  // ISO first, with the signed and expanded years a date outside 0000-9999 is written with.
  static const QRegularExpression iso(QStringLiteral("^([+-]?\\d{4,})-(\\d{1,2})-(\\d{1,2})$"));
  if (const auto m = iso.match(t); m.hasMatch()) {
    bool ok = false;
    const int year = m.captured(1).toInt(&ok);
    const QDate d = ok ? QDate(qtYear(year), m.captured(2).toInt(), m.captured(3).toInt()) : QDate();
    return d.isValid() ? std::optional<QDate>(d) : std::nullopt;
  }
  // The order of day, month and year comes from the short date format.
  const QString order = settings.ShortDateFormat.toLower();
  const qsizetype dPos = order.indexOf(QLatin1Char('d')), mPos = order.indexOf(QLatin1Char('m')),
                  yPos = order.indexOf(QLatin1Char('y'));
  static const QRegularExpression parts(QStringLiteral("^([+-]?\\d{1,6})\\D(\\d{1,2})\\D([+-]?\\d{1,6})$"));
  const auto m = parts.match(t);
  if (!m.hasMatch() || dPos < 0 || mPos < 0 || yPos < 0)
    return std::nullopt;
  std::vector<std::pair<qsizetype, char>> fields = {{dPos, 'd'}, {mPos, 'm'}, {yPos, 'y'}};
  std::sort(fields.begin(), fields.end());
  int day = 0, month = 0, year = 0;
  for (int i = 0; i < 3; ++i) {
    const QString part = m.captured(i + 1);
    const char which = fields[size_t(i)].second;
    if (which != 'y' && (part.startsWith(QLatin1Char('-')) || part.startsWith(QLatin1Char('+'))))
      return std::nullopt;
    const int v = part.toInt();
    if (which == 'd')
      day = v;
    else if (which == 'm')
      month = v;
    else
      year = part.size() <= 2 ? nearestYear(v) : qtYear(v);
  }
  const QDate d(year, month, day);
  return d.isValid() ? std::optional<QDate>(d) : std::nullopt;
}

std::optional<QTime> parseTime(const QString& text, const TFormatSettings& settings)
{
  QString t = text.trimmed();
  if (settings.TimeSeparator != QLatin1Char(':'))
    t.replace(settings.TimeSeparator, QLatin1Char(':'));
  static const QRegularExpression time(QStringLiteral("^(\\d{1,2}):(\\d{2})(?::(\\d{2})(?:[.,:](\\d{1,3}))?)?$"));
  const auto m = time.match(t);
  if (!m.hasMatch())
    return std::nullopt;
  const int ms = m.captured(4).isEmpty() ? 0 : m.captured(4).leftJustified(3, QLatin1Char('0')).toInt();
  const QTime v(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), ms);
  return v.isValid() ? std::optional<QTime>(v) : std::nullopt;
}

std::optional<TValue> parseDateTime(const QString& text, const TFormatSettings& settings)
{
  const QString trimmed = text.trimmed();
  static const QRegularExpression dateEnd(QStringLiteral("[ T]"));
  const qsizetype blank = trimmed.indexOf(dateEnd);
  const auto d = parseDate(blank < 0 ? trimmed : trimmed.left(blank), settings);
  if (!d)
    return std::nullopt;
  QTime t(0, 0);
  if (blank >= 0) {
    const auto parsed = parseTime(trimmed.mid(blank + 1), settings);
    if (!parsed)
      return std::nullopt;
    t = *parsed;
  }
  return TValue::text(isoDateText(*d) + QLatin1Char(' ') + isoTimeText(t));
}

// A column of any storage class: digits that are an integer's own text become that integer,
// everything else is kept as text.
TValue variantValue(const QString& text)
{
  bool ok = false;
  const qlonglong v = text.toLongLong(&ok);
  if (ok && QString::number(v) == text)
    return TValue::integer(v);
  return TValue::text(text);
}

}  // namespace

std::optional<TValue> parseFieldText(const QString& text, TFieldType type, const TFormatSettings& settings)
{
  if (isTextInputType(type))
    return TValue::text(text);
  if (type == ftVariant)
    return variantValue(text);
  if (text.trimmed().isEmpty())
    return TValue();
  switch (type) {
  case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint: {
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok);
    return ok ? std::optional<TValue>(TValue::integer(v)) : std::nullopt;
  }
  case ftFloat: case ftCurrency: {
    double v = 0;
    return parseFloatText(text, settings.DecimalSeparator, &v) ? std::optional<TValue>(TValue::real(v)) : std::nullopt;
  }
  case ftBCD: {
    // The special numbers in the words exact decimal types take them in.
    double special = 0;
    if (parseFloatText(text, settings.DecimalSeparator, &special) && !std::isfinite(special))
      return TValue::text(std::isnan(special) ? QStringLiteral("NaN") : special > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity"));
    // Kept as exact decimal text: no digit is rounded away on the way in.
    const QString d = canonicalDecimal(text, settings.DecimalSeparator);
    return d.isEmpty() ? std::nullopt : std::optional<TValue>(TValue::text(d));
  }
  case ftBoolean: {
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("yes") || t == QLatin1String("1"))
      return TValue::integer(1);
    if (t == QLatin1String("false") || t == QLatin1String("no") || t == QLatin1String("0"))
      return TValue::integer(0);
    return std::nullopt;
  }
  case ftDate:
    if (const auto d = parseDate(text, settings))
      return TValue::text(isoDateText(*d));
    return parseDateTime(text, settings);  // a date with its time of day, as such a value is shown
  case ftTime:
    if (const auto t = parseTime(text, settings))
      return TValue::text(isoTimeText(*t));
    return parseDateTime(text, settings);
  case ftDateTime:
    return parseDateTime(text, settings);
  default:
    return TValue::bytes(text.toUtf8());
  }
}

QString fieldValueKind(TFieldType type)
{
  if (isIntegerType(type))
    return QStringLiteral("integer");
  switch (type) {
  case ftFloat: case ftCurrency: return QStringLiteral("floating-point");
  case ftBCD: return QStringLiteral("decimal");
  case ftBoolean: return QStringLiteral("boolean");
  case ftDate: return QStringLiteral("date");
  case ftTime: return QStringLiteral("time");
  case ftDateTime: return QStringLiteral("date and time");
  default: return QStringLiteral("text");
  }
}
