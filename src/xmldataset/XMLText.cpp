#include "xmldataset/XMLText.h"

#include "dataaccess/Field.h"
#include "dataaccess/FormatSettings.h"
#include "dataaccess/ValueText.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace XMLText {

// True when the text is already in plain form: an optional "-", digits without a leading zero
// (but a lone "0"), and a fraction without trailing zeros; "-0" is not.
static bool isPlainAlready(const QString& d)
{
  qsizetype i = d.startsWith(QLatin1Char('-')) ? 1 : 0;
  const qsizetype wholeStart = i;
  while (i < d.size() && d[i].isDigit())
    ++i;
  const qsizetype wholeLength = i - wholeStart;
  if (wholeLength == 0 || (wholeLength > 1 && d[wholeStart] == QLatin1Char('0')))
    return false;
  if (i == d.size())
    return !(wholeStart == 1 && d[1] == QLatin1Char('0'));
  if (d[i] != QLatin1Char('.') || i + 1 == d.size() || d.endsWith(QLatin1Char('0')))
    return false;
  for (++i; i < d.size(); ++i)
    if (!d[i].isDigit())
      return false;
  return true;
}

QString plainDecimal(const QString& decimal)
{
  if (isPlainAlready(decimal))
    return decimal;
  static const QRegularExpression form(QStringLiteral("^([+-]?)(\\d*)(?:\\.(\\d*))?(?:[eE]([+-]?\\d+))?$"));
  const QRegularExpressionMatch m = form.match(decimal.trimmed());
  if (!m.hasMatch() || (m.captured(2).isEmpty() && m.captured(3).isEmpty()))
    return decimal;
  // Digits and the place of the point, the exponent folded in.
  QString digits = m.captured(2) + m.captured(3);
  qsizetype point = m.captured(2).size() + (m.captured(4).isEmpty() ? 0 : m.captured(4).toInt());
  if (point < 0) {
    digits.prepend(QString(-point, QLatin1Char('0')));
    point = 0;
  }
  if (point > digits.size())
    digits.append(QString(point - digits.size(), QLatin1Char('0')));
  QString whole = digits.left(point), fraction = digits.mid(point);
  while (whole.size() > 1 && whole.startsWith(QLatin1Char('0')))
    whole.remove(0, 1);
  if (whole.isEmpty())
    whole = QStringLiteral("0");
  while (fraction.endsWith(QLatin1Char('0')))
    fraction.chop(1);
  QString result = fraction.isEmpty() ? whole : whole + QLatin1Char('.') + fraction;
  if (m.captured(1) == QLatin1String("-") && result != QLatin1String("0"))
    result.prepend(QLatin1Char('-'));
  return result;
}

QByteArray valueBytes(const TField& field)
{
  const TValue& v = field.Value();
  const TFieldType type = field.DataType();
  if (v.kind() == TValue::Integer && isIntegerType(type))
    return QByteArray::number(static_cast<qlonglong>(v.asInteger()));
  // Numbers straight to bytes: the writer's decimal separator is the point these forms use.
  if (v.kind() == TValue::Float && std::isfinite(v.asFloat()) &&
      (type == ftFloat || type == ftCurrency || type == ftBCD) && FormatSettings().DecimalSeparator == QLatin1Char('.')) {
    QByteArray text = QByteArray::number(v.asFloat(), 'g', 15);
    if (!text.contains('e'))
      return text;
    if (type == ftBCD)
      return plainDecimal(QString::fromLatin1(text)).toUtf8();
    return formatFloat(v.asFloat(), FormatSettings()).toUtf8();
  }
  // A date stored as ISO text is already in the writer's date form.
  if (type == ftDate && v.kind() == TValue::Text && v.rawBytes().size() == 10 &&
      FormatSettings().ShortDateFormat == QLatin1String("yyyy-mm-dd")) {
    const QByteArray& b = v.rawBytes();
    const QDate d = QDate::fromString(QLatin1String(b), Qt::ISODate);
    if (d.isValid() && b[4] == '-' && b[7] == '-')
      return b;
  }
  return valueText(field).toUtf8();
}

QString valueText(const TField& field)
{
  if (field.DataType() == ftBCD) {
    const TValue& v = field.Value();
    switch (v.kind()) {
    case TValue::Integer: return QString::number(v.asInteger());
    case TValue::Float: return plainDecimal(QString::number(v.asFloat(), 'g', 15));
    default: return plainDecimal(QString::fromUtf8(v.rawBytes()));
    }
  }
  return field.AsString();
}

}  // namespace XMLText
