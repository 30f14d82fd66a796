#include "dataaccess/postgres/PgValues.h"

#include "dataaccess/NumberText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

#include <libpq-fe.h>

namespace {

// numeric's type modifier packs precision and a signed 11-bit scale, offset by the varlena header.
void numericPrecisionScale(int typmod, int& precision, int& scale)
{
  const int packed = typmod - 4;
  precision = (packed >> 16) & 0xffff;
  scale = ((packed & 0x7ff) ^ 1024) - 1024;
}

// The longest text the server writes for types of bounded output; 0 when unbounded.
int boundedTextLength(const PgTypeFacts& t)
{
  switch (t.BaseOid) {
  case PgOid::Name: return 63;
  case PgOid::Char: return 1;
  case PgOid::Oid: case PgOid::Xid: case PgOid::Cid: return 10;
  case PgOid::Inet: case PgOid::Cidr: return 49;       // IPv6 with an embedded IPv4 address and a /128 mask
  case PgOid::MacAddr: return 17;
  case PgOid::MacAddr8: return 23;
  case PgOid::PgLsn: return 17;
  case PgOid::TimeTz: return 24;                        // 24:00:00.000000+15:59:59
  case PgOid::Interval: return 67;                      // every field at its extreme, in the postgres style
  case PgOid::Bit: case PgOid::VarBit: return t.Typmod > 0 ? t.Typmod : 0;
  default: break;
  }
  if (t.Kind == 'e')
    return std::max(1, t.EnumLabelLength);
  return 0;
}


int hexDigit(char c)
{
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

TValue readBytea(const char* data, int length)
{
  if (length >= 2 && data[0] == '\\' && data[1] == 'x') {
    QByteArray out;
    out.resize((length - 2) / 2);
    char* to = out.data();
    for (int i = 2; i + 1 < length; i += 2) {
      const int hi = hexDigit(data[i]), lo = hexDigit(data[i + 1]);
      if (hi < 0 || lo < 0)
        return TValue::text(QByteArray(data, length));
      *to++ = char(hi << 4 | lo);
    }
    return TValue::bytes(std::move(out));
  }
  // The older escape format, should a server still send it.
  size_t n = 0;
  unsigned char* raw = PQunescapeBytea(reinterpret_cast<const unsigned char*>(data), &n);
  if (!raw)
    return TValue::text(QByteArray(data, length));
  TValue v = TValue::bytes(QByteArray(reinterpret_cast<const char*>(raw), qsizetype(n)));
  PQfreemem(raw);
  return v;
}

}  // namespace

PgFieldType pgFieldType(const PgTypeFacts& t, bool numbered)
{
  switch (t.BaseOid) {
  case PgOid::Int2: return {ftSmallint, 0, 0};
  case PgOid::Int4: return {numbered ? ftAutoInc : ftInteger, 0, 0};
  case PgOid::Int8: return {ftLargeint, 0, 0};
  case PgOid::Bool: return {ftBoolean, 0, 0};
  case PgOid::Float4: case PgOid::Float8: return {ftFloat, 0, 0};
  case PgOid::Money: return {ftCurrency, 0, 0};
  case PgOid::Numeric: {
    if (t.Typmod < 4)
      return {ftBCD, 0, 0};  // unconstrained: any number of digits, kept exactly
    int precision = 0, scale = 0;
    numericPrecisionScale(t.Typmod, precision, scale);
    // A negative scale rounds to tens, hundreds...: no digits after the point, more before it.
    if (scale < 0)
      return {ftBCD, 0, precision - scale};
    return {ftBCD, scale, precision};
  }
  case PgOid::VarChar:
    return t.Typmod >= 4 ? PgFieldType{ftString, t.Typmod - 4, 0} : PgFieldType{ftMemo, 0, 0};
  case PgOid::BpChar:
    return t.Typmod >= 4 ? PgFieldType{ftFixedChar, t.Typmod - 4, 0} : PgFieldType{ftMemo, 0, 0};
  case PgOid::Text: case PgOid::Json: case PgOid::Jsonb: case PgOid::Xml: return {ftMemo, 0, 0};
  case PgOid::Date: return {ftDate, 0, 0};
  case PgOid::Time: return {ftTime, 0, 0};
  case PgOid::Timestamp: case PgOid::TimestampTz: return {ftDateTime, 0, 0};
  case PgOid::Bytea: return {ftBlob, 0, 0};
  case PgOid::Uuid: return {ftGuid, 36, 0};
  default: break;
  }
  // Everything else travels as the server's text: short forms as strings the grid can edit in place,
  // the unbounded ones (arrays, ranges, composites, geometry, extension types) as memos.
  if (const int length = boundedTextLength(t))
    return {ftString, length, 0};
  return {ftMemo, 0, 0};
}

PgReadAs pgReadAs(unsigned baseOid)
{
  switch (baseOid) {
  case PgOid::Int2: case PgOid::Int4: case PgOid::Int8: return PgReadAs::Integer;
  case PgOid::Float4: case PgOid::Float8: return PgReadAs::Float;
  case PgOid::Bool: return PgReadAs::Boolean;
  case PgOid::Bytea: return PgReadAs::Bytes;
  case PgOid::Money: return PgReadAs::Money;
  case PgOid::TimestampTz: return PgReadAs::TimestampTz;
  default: return PgReadAs::Text;
  }
}

TValue pgReadValue(const char* data, int length, PgReadAs how)
{
  switch (how) {
  case PgReadAs::Integer: {
    int64_t v = 0;
    const auto r = std::from_chars(data, data + length, v);
    if (r.ec == std::errc() && r.ptr == data + length)
      return TValue::integer(v);
    break;
  }
  case PgReadAs::Float: {
    // from_chars reads the server's NaN and Infinity too, and never looks at the process locale.
    double v = 0;
    const auto r = std::from_chars(data, data + length, v);
    if (r.ec == std::errc() && r.ptr == data + length)
      return TValue::real(v);
    break;
  }
  case PgReadAs::Boolean:
    if (length == 1 && (data[0] == 't' || data[0] == 'f'))
      return TValue::integer(data[0] == 't' ? 1 : 0);
    break;
  case PgReadAs::Bytes:
    return readBytea(data, length);
  case PgReadAs::Money: {
    // With lc_monetary C the server writes "-$1,234.56": the plain decimal is what the grid formats.
    QByteArray plain;
    plain.reserve(length);
    for (int i = 0; i < length; ++i)
      if (data[i] != '$' && data[i] != ',')
        plain += data[i];
    if (isDecimalText(plain))
      return TValue::text(std::move(plain));
    break;
  }
  case PgReadAs::TimestampTz: {
    // "2024-01-02 03:04:05.5+00": the zone as +hh:mm, the ISO form every reader of the value knows.
    QByteArray text(data, length);
    if (length >= 3 && (data[length - 3] == '+' || data[length - 3] == '-') && std::isdigit(uchar(data[length - 2])) &&
        std::isdigit(uchar(data[length - 1])) && length >= 4 && std::isdigit(uchar(data[length - 4])))
      text += ":00";
    return TValue::text(std::move(text));
  }
  case PgReadAs::Text:
    break;
  }
  return TValue::text(QByteArray(data, length));
}

PgParam pgParam(const TValue& value, unsigned typeOid)
{
  PgParam p;
  p.Type = typeOid;
  switch (value.kind()) {
  case TValue::Null:
    return p;
  case TValue::Integer:
    p.Data = QByteArray::number(qlonglong(value.asInteger()));
    break;
  case TValue::Float: {
    const double v = value.asFloat();
    if (std::isnan(v)) {
      p.Data = "NaN";
    } else if (std::isinf(v)) {
      p.Data = v > 0 ? "Infinity" : "-Infinity";
    } else {
      // The shortest text that reads back as the same double: nothing is rounded on the way out.
      char buffer[32];
      const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
      p.Data = QByteArray(buffer, int(r.ptr - buffer));
    }
    break;
  }
  case TValue::Text:
  case TValue::Bytes:
    p.Data = value.rawBytes();
    p.Binary = typeOid == PgOid::Bytea;
    break;
  }
  p.Null = false;
  return p;
}

bool pgHasExactEquality(unsigned baseOid)
{
  switch (baseOid) {
  case PgOid::Bool: case PgOid::Int2: case PgOid::Int4: case PgOid::Int8: case PgOid::Float4: case PgOid::Float8:
  case PgOid::Numeric: case PgOid::Money: case PgOid::Text: case PgOid::VarChar: case PgOid::BpChar: case PgOid::Name:
  case PgOid::Char: case PgOid::Date: case PgOid::Time: case PgOid::Timestamp: case PgOid::TimestampTz:
  case PgOid::Bytea: case PgOid::Uuid: case PgOid::Jsonb: case PgOid::Oid:
    return true;
  default:
    return false;
  }
}
