#include "dataaccess/NumberText.h"

#include <QRegularExpression>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

// "1.5e+20" as "1.5E20", "5e-05" as "5E-5"; the decimal point swapped for the separator.
QString normalized(const char* text, qsizetype n, QChar separator)
{
  QString s = QString::fromLatin1(text, n);
  const qsizetype e = s.indexOf(QLatin1Char('e'));
  if (e >= 0) {
    const int exponent = s.mid(e + 1).toInt();
    s = s.left(e) + QLatin1Char('E') + QString::number(exponent);
  }
  s.replace(QLatin1Char('.'), separator);
  return s;
}

QString special(double value)
{
  if (std::isnan(value))
    return QStringLiteral("NAN");
  return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
}

}  // namespace

QString formatFloat(double value, const TFormatSettings& settings)
{
  if (!std::isfinite(value))
    return special(value);
  char buffer[48];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  return normalized(buffer, r.ptr - buffer, settings.DecimalSeparator);
}

QString formatFloatExact(double value, const TFormatSettings& settings)
{
  if (!std::isfinite(value))
    return special(value);
  // The shortest digits that read back exactly, laid out as the 15-digit form lays them out.
  char digits[48];
  const auto r = std::to_chars(digits, digits + sizeof digits - 1, value, std::chars_format::scientific);
  *r.ptr = '\0';
  const char* e = static_cast<const char*>(std::memchr(digits, 'e', size_t(r.ptr - digits)));
  const int exponent = std::atoi(e + 1);
  int significant = 0;
  for (const char* p = digits; p < e; ++p)
    significant += *p >= '0' && *p <= '9';
  char buffer[400];
  std::to_chars_result out;
  if (exponent < -4 || exponent >= std::max(15, significant))
    out = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, std::max(significant - 1, 0));
  else
    out = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, std::max(significant - 1 - exponent, 0));
  return normalized(buffer, out.ptr - buffer, settings.DecimalSeparator);
}

namespace {

// formatFloat's plain text the direct way: the value rounded to 15 significant digits.
int formatFloatPlainRounded(double value, char separator, char* buffer)
{
  const auto r = std::to_chars(buffer, buffer + 32, value, std::chars_format::general, 15);
  const int n = int(r.ptr - buffer);
  if (std::memchr(buffer, 'e', size_t(n)))
    return -1;
  if (separator != '.')
    if (char* point = static_cast<char*>(std::memchr(buffer, '.', size_t(n))))
      *point = separator;
  return n;
}

}  // namespace

int formatFloatPlain(double value, char separator, char* buffer)
{
  if (!std::isfinite(value))
    return -1;
  // Rounding to 15 digits costs the standard library three times what the shortest digits that read
  // back as the value cost. Of several shortest texts, to_chars gives the one nearest the value, so
  // no midpoint between two 15-digit neighbours lies between those digits and the value unless the
  // digits are that midpoint (a 5 after the 15th digit and nothing more): only then does rounding
  // the digits differ from rounding the value. (With 15 digits or fewer, the digits are the
  // rounding: two 15-digit decimals never read back as the same double.)
  char sci[48];
  const auto r = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific);
  const char* p = sci;
  const bool negative = *p == '-';
  if (negative)
    ++p;
  char digits[24];
  int count = 0;
  for (; p < r.ptr && *p != 'e'; ++p)
    if (*p != '.')
      digits[count++] = *p;
  int exponent = 0;
  if (p < r.ptr)
    std::from_chars(p + (p[1] == '+' ? 2 : 1), r.ptr, exponent);
  if (count > 15) {
    const int tail = (digits[15] - '0') * 10 + (count > 16 ? digits[16] - '0' : 0);
    if (tail == 50)
      return formatFloatPlainRounded(value, separator, buffer);
    count = 15;
    if (tail > 50) {
      int i = count - 1;
      for (; i >= 0 && digits[i] == '9'; --i)
        digits[i] = '0';
      if (i >= 0) {
        ++digits[i];
      } else {
        digits[0] = '1';
        ++exponent;
      }
    }
  }
  while (count > 1 && digits[count - 1] == '0')
    --count;
  if (exponent < -4 || exponent >= 15)
    return -1;  // written with an exponent
  char* o = buffer;
  if (negative)
    *o++ = '-';
  if (exponent >= 0) {
    for (int i = 0; i <= exponent; ++i)
      *o++ = i < count ? digits[i] : '0';
    if (count > exponent + 1) {
      *o++ = separator;
      for (int i = exponent + 1; i < count; ++i)
        *o++ = digits[i];
    }
  } else {
    *o++ = '0';
    *o++ = separator;
    for (int i = -1; i > exponent; --i)
      *o++ = '0';
    for (int i = 0; i < count; ++i)
      *o++ = digits[i];
  }
  return int(o - buffer);
}

bool isDecimalText(const QString& s)
{
  static const QRegularExpression decimal(QStringLiteral("^[+-]?\\d+(\\.\\d+)?$"));
  return decimal.match(s).hasMatch();
}

bool isDecimalText(const QByteArray& s)
{
  qsizetype i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-'))
    ++i;
  const qsizetype wholeStart = i;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9')
    ++i;
  if (i == wholeStart)
    return false;
  if (i == s.size())
    return true;
  if (s[i] != '.' || ++i == s.size())
    return false;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9')
    ++i;
  return i == s.size();
}

namespace {

// True when the text is already in plain form: an optional "-", digits without a leading zero
// (but a lone "0"), and a fraction without trailing zeros; "-0" is not.
bool isPlainAlready(const QString& d)
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

}  // namespace

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

qsizetype plainDecimalInto(const QByteArray& decimal, char separator, char* out)
{
  const char* p = decimal.constData();
  const char* end = p + decimal.size();
  const bool negative = p < end && *p == '-';
  if (p < end && (*p == '+' || *p == '-'))
    ++p;
  const char* whole = p;
  while (p < end && *p != '.')
    ++p;
  const char* wholeEnd = p;
  while (wholeEnd - whole > 1 && *whole == '0')
    ++whole;
  const char* fraction = p < end ? p + 1 : end;
  const char* fractionEnd = end;
  while (fractionEnd > fraction && fractionEnd[-1] == '0')
    --fractionEnd;
  char* o = out;
  if (negative && !(wholeEnd - whole == 1 && *whole == '0' && fractionEnd == fraction))
    *o++ = '-';
  std::memcpy(o, whole, size_t(wholeEnd - whole));
  o += wholeEnd - whole;
  if (fractionEnd > fraction) {
    *o++ = separator;
    std::memcpy(o, fraction, size_t(fractionEnd - fraction));
    o += fractionEnd - fraction;
  }
  return o - out;
}

bool parseFloatText(const QString& text, QChar separator, double* value)
{
  QString t = text.trimmed();
  const QString upper = t.toUpper();
  if (upper == QLatin1String("INF") || upper == QLatin1String("+INF")) {
    *value = HUGE_VAL;
    return true;
  }
  if (upper == QLatin1String("-INF")) {
    *value = -HUGE_VAL;
    return true;
  }
  if (upper == QLatin1String("NAN")) {
    *value = std::nan("");
    return true;
  }
  if (separator != QLatin1Char('.')) {
    if (t.contains(QLatin1Char('.')))
      return false;  // a point where a comma is the separator is a typing slip, not a decimal
    t.replace(separator, QLatin1Char('.'));
  }
  static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)([eE][+-]?\\d+)?$"));
  if (!number.match(t).hasMatch())
    return false;
  const QByteArray latin = t.toLatin1();
  const char* begin = latin.constData() + (latin.startsWith('+') ? 1 : 0);
  double v = 0;
  const auto r = std::from_chars(begin, latin.constData() + latin.size(), v);
  if (r.ec != std::errc() || r.ptr != latin.constData() + latin.size())
    return false;  // out of range: refused rather than stored as infinity or zero
  *value = v;
  return true;
}
