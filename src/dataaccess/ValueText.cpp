#include "dataaccess/ValueText.h"

#include <QRegularExpression>
#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

// The text of a value by its own storage class.
QString ownClassText(const TValue& v, const TFormatSettings& s, TTextUse use)
{
  switch (v.kind()) {
  case TValue::Null: return QString();
  case TValue::Integer: return QString::number(v.asInteger());
  case TValue::Float: return use == TTextUse::Edit ? formatFloatExact(v.asFloat(), s) : formatFloat(v.asFloat(), s);
  case TValue::Text:
  case TValue::Bytes: return QString::fromUtf8(v.rawBytes());
  }
  return QString();
}

bool hasMillisecondToken(const QString& pattern)
{
  return pattern.contains(QLatin1Char('z'), Qt::CaseInsensitive);
}

QString timeText(const QDateTime& dt, const TFormatSettings& s, bool fullYear)
{
  QString text = formatDateTime(s.LongTimeFormat, dt, s, fullYear);
  // A regional time form has no milliseconds; a value that has some keeps them.
  const int ms = dt.time().msec();
  if (ms != 0 && !hasMillisecondToken(s.LongTimeFormat))
    text += s.DecimalSeparator + QString::number(ms).rightJustified(3, QLatin1Char('0'));
  return text;
}

QString dateTimeText(const QDateTime& dt, TFieldType type, const TFormatSettings& s, TTextUse use)
{
  const bool fullYear = use == TTextUse::Edit;
  // A date that carries a time of day, or a time that carries a day of its own, shows both: the
  // value is never cut to what its column's type announces.
  if ((type == ftDate && dt.time() != QTime(0, 0)) || (type == ftTime && dt.date() != storedTimeDay()))
    type = ftDateTime;
  if (type == ftDate)
    return formatDateTime(s.ShortDateFormat, dt, s, fullYear);
  if (type == ftTime)
    return timeText(dt, s, fullYear);
  // A moment at exactly midnight shows as its date alone.
  if (dt.time() == QTime(0, 0))
    return formatDateTime(s.ShortDateFormat, dt, s, fullYear);
  return formatDateTime(s.ShortDateFormat, dt, s, fullYear) + QLatin1Char(' ') + timeText(dt, s, fullYear);
}

// The text by the field's type; nullopt where the value's class does not fit it.
std::optional<QString> typedText(const TValue& v, TFieldType type, const TFormatSettings& s, TTextUse use)
{
  if (type == ftBoolean) {
    if (v.kind() == TValue::Integer && (v.asInteger() == 0 || v.asInteger() == 1))
      return v.asInteger() ? QStringLiteral("True") : QStringLiteral("False");
    if (v.kind() == TValue::Text) {
      const QByteArray& b = v.rawBytes();
      if (b.compare("true", Qt::CaseInsensitive) == 0)
        return QStringLiteral("True");
      if (b.compare("false", Qt::CaseInsensitive) == 0)
        return QStringLiteral("False");
    }
    return std::nullopt;
  }
  if (type == ftBCD || isFloatType(type)) {
    if (v.kind() == TValue::Text) {
      // The server's words for the special numbers, in the one spelling used everywhere.
      const QByteArray& b = v.rawBytes();
      if (b.compare("NaN", Qt::CaseInsensitive) == 0)
        return QStringLiteral("NAN");
      if (b.compare("Infinity", Qt::CaseInsensitive) == 0 || b.compare("+Infinity", Qt::CaseInsensitive) == 0)
        return QStringLiteral("INF");
      if (b.compare("-Infinity", Qt::CaseInsensitive) == 0)
        return QStringLiteral("-INF");
    }
    if (v.kind() == TValue::Text && isDecimalText(v.rawBytes())) {
      // Exact decimal text keeps every digit; only the separator is regional. Files write the plain form.
      QString d = QString::fromLatin1(v.rawBytes());
      if (use == TTextUse::File && type == ftBCD)
        d = plainDecimal(d);
      return d.replace(QLatin1Char('.'), s.DecimalSeparator);
    }
    if (v.kind() == TValue::Float && type == ftBCD && use == TTextUse::File && std::isfinite(v.asFloat())) {
      char buffer[48];
      const auto r = std::to_chars(buffer, buffer + sizeof buffer, v.asFloat(), std::chars_format::general, 15);
      return plainDecimal(QString::fromLatin1(buffer, r.ptr - buffer)).replace(QLatin1Char('.'), s.DecimalSeparator);
    }
    return std::nullopt;
  }
  if (isDateTimeType(type)) {
    if (const std::optional<QDateTime> dt = parseStoredDateTime(v))
      return dateTimeText(*dt, type, s, use);
    return std::nullopt;
  }
  return std::nullopt;
}


// "2024-02-29": a real day from 1000 on, written the way the ISO short date form writes it.
bool isPlainIsoDate(const QByteArray& b)
{
  if (b.size() != 10 || b[4] != '-' || b[7] != '-' || b[0] < '1' || b[0] > '9')
    return false;
  int parts[3] = {0, 0, 0};
  for (int i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (b[i] < '0' || b[i] > '9')
      return false;
    int& part = parts[i < 4 ? 0 : i < 7 ? 1 : 2];
    part = part * 10 + (b[i] - '0');
  }
  return QDate::isValid(parts[0], parts[1], parts[2]);
}

}  // namespace

QString valueText(const TValue& value, TFieldType type, const TFormatSettings& settings, TTextUse use)
{
  if (value.isNull())
    return QString();
  if (std::optional<QString> typed = typedText(value, type, settings, use))
    return *std::move(typed);
  return ownClassText(value, settings, use);
}

QString summaryText(const TValue& value, TFieldType type, const TFormatSettings& settings)
{
  constexpr qsizetype shownBytes = 1024;  // a cell never needs more than a screen's width of text
  if (value.kind() == TValue::Bytes)
    return QStringLiteral("(BLOB, %1 bytes)").arg(value.rawBytes().size());
  if (value.kind() == TValue::Text && (isBlobType(type) || type == ftVariant || isStringType(type))) {
    const QByteArray& raw = value.rawBytes();
    QString text = QString::fromUtf8(raw.left(shownBytes));
    static const QRegularExpression lineEnd(QStringLiteral("[\r\n]"));
    const qsizetype eol = text.indexOf(lineEnd);
    if (eol >= 0 || raw.size() > shownBytes)
      text = text.left(eol < 0 ? text.size() : eol) + QChar(0x2026);
    return text;
  }
  return valueText(value, type, settings);
}

bool fileText(TValueBytes& out, const TValue& v, TFieldType type, const TFormatSettings& settings, bool allowFast)
{
  switch (v.kind()) {
  case TValue::Null:
    out.clear();
    return true;
  case TValue::Bytes:
    out.clear();
    return false;
  case TValue::Integer:
    if (allowFast && type == ftBoolean && (v.asInteger() == 0 || v.asInteger() == 1)) {
      v.asInteger() ? out.set("True", 4) : out.set("False", 5);
      return true;
    }
    if (allowFast && type != ftBoolean && !isDateTimeType(type)) {
      const auto r = std::to_chars(out.inlineBuffer(), out.inlineBuffer() + TValueBytes::inlineCapacity, v.asInteger());
      out.useInline(r.ptr - out.inlineBuffer());
      return true;
    }
    break;
  case TValue::Float:
    // Minus zero is "-0" as a float but "0" as a plain decimal.
    if (allowFast && !isDateTimeType(type) && settings.DecimalSeparator.unicode() < 128 &&
        !(type == ftBCD && v.asFloat() == 0)) {
      const int n = formatFloatPlain(v.asFloat(), char(settings.DecimalSeparator.unicode()), out.inlineBuffer());
      if (n >= 0) {
        out.useInline(n);
        return true;
      }
    }
    break;
  case TValue::Text:
    // Exact decimal text, as a server sends its decimals: the plain form written straight out.
    if (allowFast && (type == ftBCD || isFloatType(type)) && settings.DecimalSeparator.unicode() < 128 &&
        v.rawBytes().size() <= TValueBytes::inlineCapacity && isDecimalText(v.rawBytes())) {
      const char separator = char(settings.DecimalSeparator.unicode());
      if (type == ftBCD) {
        out.useInline(plainDecimalInto(v.rawBytes(), separator, out.inlineBuffer()));
      } else {
        const QByteArray& b = v.rawBytes();
        std::replace_copy(b.begin(), b.end(), out.inlineBuffer(), '.', separator);
        out.useInline(b.size());
      }
      return true;
    }
    if (isDateTimeType(type) || type == ftBoolean || type == ftBCD || isFloatType(type)) {
      // A date already stored in the ISO form the settings ask for is its own text.
      const QByteArray& b = v.rawBytes();
      if (allowFast && type == ftDate && isPlainIsoDate(b) && settings.ShortDateFormat == QLatin1String("yyyy-mm-dd")) {
        out.borrow(b);
        return true;
      }
      if (std::optional<QString> typed = typedText(v, type, settings, TTextUse::File)) {
        out.own(typed->toUtf8());
        return true;
      }
    }
    // Stored text byte for byte, valid UTF-8 or not.
    out.borrow(v.rawBytes());
    return true;
  }
  out.own(valueText(v, type, settings, TTextUse::File).toUtf8());
  return true;
}

