#include "dataaccess/FieldInput.h"

#include <QDate>
#include <QRegularExpression>
#include <QTime>

namespace {

bool isTextType(TFieldType type)
{
  switch (type) {
  case ftString: case ftFixedChar: case ftWideString: case ftMemo: case ftFmtMemo: case ftOraClob: case ftGuid:
  case ftUnknown:
    return true;
  default:
    return false;
  }
}

// The decimal part in canonical form ("-12.50"), or empty when the text is no plain decimal number.
QString canonicalDecimal(const QString& text, QChar separator)
{
  QString t = text.trimmed();
  if (separator != QLatin1Char('.')) {
    if (t.contains(QLatin1Char('.')))
      return QString();  // a point where a comma is the separator is a typing slip, not a decimal
    t.replace(separator, QLatin1Char('.'));
  }
  static const QRegularExpression decimal(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)$"));
  return decimal.match(t).hasMatch() ? t : QString();
}

std::optional<QDate> parseDate(const QString& text, const TFormatSettings& settings)
{
  const QString t = text.trimmed();
  static const QRegularExpression iso(QStringLiteral("^(\\d{4})-(\\d{1,2})-(\\d{1,2})$"));
  if (const auto m = iso.match(t); m.hasMatch()) {
    const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    return d.isValid() ? std::optional<QDate>(d) : std::nullopt;
  }
  // The order of day, month and year comes from the short date format.
  const QString order = settings.ShortDateFormat.toLower();
  const qsizetype dPos = order.indexOf(QLatin1Char('d')), mPos = order.indexOf(QLatin1Char('m')),
                  yPos = order.indexOf(QLatin1Char('y'));
  static const QRegularExpression parts(QStringLiteral("^(\\d{1,4})\\D(\\d{1,2})\\D(\\d{1,4})$"));
  const auto m = parts.match(t);
  if (!m.hasMatch() || dPos < 0 || mPos < 0 || yPos < 0)
    return std::nullopt;
  std::vector<std::pair<qsizetype, char>> fields = {{dPos, 'd'}, {mPos, 'm'}, {yPos, 'y'}};
  std::sort(fields.begin(), fields.end());
  int day = 0, month = 0, year = 0;
  for (int i = 0; i < 3; ++i) {
    const int v = m.captured(i + 1).toInt();
    (fields[size_t(i)].second == 'd' ? day : fields[size_t(i)].second == 'm' ? month : year) = v;
    if (fields[size_t(i)].second == 'y' && m.captured(i + 1).size() <= 2)
      year = 2000 + v < QDate::currentDate().year() + 50 ? 2000 + v : 1900 + v;
  }
  const QDate d(year, month, day);
  return d.isValid() ? std::optional<QDate>(d) : std::nullopt;
}

std::optional<QTime> parseTime(const QString& text, const TFormatSettings& settings)
{
  QString t = text.trimmed();
  if (settings.TimeSeparator != QLatin1Char(':'))
    t.replace(settings.TimeSeparator, QLatin1Char(':'));
  static const QRegularExpression time(QStringLiteral("^(\\d{1,2}):(\\d{2})(?::(\\d{2})(?:[.,](\\d{1,3}))?)?$"));
  const auto m = time.match(t);
  if (!m.hasMatch())
    return std::nullopt;
  const int ms = m.captured(4).isEmpty() ? 0 : m.captured(4).leftJustified(3, QLatin1Char('0')).toInt();
  const QTime v(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), ms);
  return v.isValid() ? std::optional<QTime>(v) : std::nullopt;
}

QString isoTime(const QTime& t)
{
  return t.msec() ? t.toString(QStringLiteral("HH:mm:ss.zzz")) : t.toString(QStringLiteral("HH:mm:ss"));
}

}  // namespace

std::optional<TValue> parseFieldText(const QString& text, TFieldType type, const TFormatSettings& settings)
{
  if (isTextType(type))
    return TValue::text(text);
  if (text.trimmed().isEmpty())
    return TValue();
  switch (type) {
  case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint: {
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok);
    return ok ? std::optional<TValue>(TValue::integer(v)) : std::nullopt;
  }
  case ftFloat: case ftCurrency: {
    const QString d = canonicalDecimal(text, settings.DecimalSeparator);
    bool ok = false;
    const double v = d.toDouble(&ok);
    return ok && !d.isEmpty() ? std::optional<TValue>(TValue::real(v)) : std::nullopt;
  }
  case ftBCD: {
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
  case ftDate: {
    const auto d = parseDate(text, settings);
    return d ? std::optional<TValue>(TValue::text(d->toString(QStringLiteral("yyyy-MM-dd")))) : std::nullopt;
  }
  case ftTime: {
    const auto t = parseTime(text, settings);
    return t ? std::optional<TValue>(TValue::text(isoTime(*t))) : std::nullopt;
  }
  case ftDateTime: {
    const QString trimmed = text.trimmed();
    const qsizetype blank = trimmed.indexOf(QRegularExpression(QStringLiteral("[ T]")));
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
    return TValue::text(d->toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') + isoTime(t));
  }
  default:
    return TValue::bytes(text.toUtf8());
  }
}

QString fieldValueKind(TFieldType type)
{
  switch (type) {
  case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint: return QStringLiteral("integer");
  case ftFloat: case ftCurrency: return QStringLiteral("floating-point");
  case ftBCD: return QStringLiteral("decimal");
  case ftBoolean: return QStringLiteral("boolean");
  case ftDate: return QStringLiteral("date");
  case ftTime: return QStringLiteral("time");
  case ftDateTime: return QStringLiteral("date and time");
  default: return QStringLiteral("text");
  }
}
