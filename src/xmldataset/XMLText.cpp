#include "xmldataset/XMLText.h"

#include "dataaccess/Field.h"

#include <QRegularExpression>
#include <cmath>

namespace XMLText {

void appendAttributeValue(QByteArray& out, const QByteArray& value)
{
  for (char c : value) {
    switch (c) {
    case '"': out.append("&quot;"); break;
    case '<': out.append("&lt;"); break;
    case '&': out.append("&amp;"); break;
    case '\r': out.append("&#13;"); break;
    case '\n': out.append("&#10;"); break;
    case '\t': out.append("&#9;"); break;
    default: out.append(c);
    }
  }
}

void appendCharacterData(QByteArray& out, const QByteArray& text)
{
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    const char c = text[i];
    if (c == ']' && i + 2 < n && text[i + 1] == ']' && text[i + 2] == '>') {
      out.append("]]]]><![CDATA[>");
      i += 2;
    } else if (c == '\r') {
      out.append("]]>&#13;<![CDATA[");
    } else {
      out.append(c);
    }
  }
}

QString plainDecimal(const QString& decimal)
{
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
