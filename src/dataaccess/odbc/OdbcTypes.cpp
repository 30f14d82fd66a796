#include "dataaccess/odbc/OdbcTypes.h"

#include <sqlext.h>
#include <sqlucode.h>

namespace {

// Longer strings and byte strings are memos and blobs: edited in the memo viewer, fetched in pieces.
constexpr SQLULEN longestShortValue = 8000;

bool named(const OdbcColumnType& type, const char* word)
{
  return type.TypeName.contains(QLatin1String(word), Qt::CaseInsensitive);
}

}  // namespace

OdbcFieldType odbcFieldType(const OdbcColumnType& t)
{
  const int size = int(std::min<SQLULEN>(t.Size, SQLULEN(INT32_MAX)));
  const bool isUnsigned = t.Unsigned || named(t, "unsigned");
  const bool isShort = t.Size > 0 && t.Size <= longestShortValue;
  switch (t.SqlType) {
  case SQL_BIT: return {ftBoolean, 0, 0};
  case SQL_TINYINT:
  case SQL_SMALLINT: return {isUnsigned ? ftWord : ftSmallint, 0, 0};
  case SQL_INTEGER: return {isUnsigned ? ftLargeint : t.AutoIncrement ? ftAutoInc : ftInteger, 0, 0};
  // Above 2^63 - 1 no 64-bit integer holds it: an exact decimal of 20 digits.
  case SQL_BIGINT: return isUnsigned ? OdbcFieldType{ftBCD, 0, 20} : OdbcFieldType{ftLargeint, 0, 0};
  case SQL_DECIMAL:
  case SQL_NUMERIC: return {ftBCD, std::max<int>(t.Digits, 0), size};
  case SQL_REAL:
  case SQL_FLOAT:
  case SQL_DOUBLE: return {ftFloat, 0, 0};
  case SQL_TYPE_DATE:
  case SQL_DATE: return {ftDate, 0, 0};
  case SQL_TYPE_TIME:
  case SQL_TIME: return {ftTime, 0, 0};
  case SQL_TYPE_TIMESTAMP:
  case SQL_TIMESTAMP: return {ftDateTime, 0, 0};
  case SQL_GUID: return {ftGuid, 36, 0};
  case SQL_CHAR:
  case SQL_WCHAR:
    // An enumeration's or a set's labels are not padded: only a true CHAR(n) is fixed.
    if (!isShort)
      return {ftMemo, 0, 0};
    return {named(t, "enum") || named(t, "set") ? ftString : ftFixedChar, size, 0};
  case SQL_VARCHAR:
  case SQL_WVARCHAR: return isShort ? OdbcFieldType{ftString, size, 0} : OdbcFieldType{ftMemo, 0, 0};
  case SQL_LONGVARCHAR:
  case SQL_WLONGVARCHAR: return {ftMemo, 0, 0};
  case SQL_BINARY: return isShort ? OdbcFieldType{ftBytes, size, 0} : OdbcFieldType{ftBlob, 0, 0};
  case SQL_VARBINARY: return isShort ? OdbcFieldType{ftVarBytes, size, 0} : OdbcFieldType{ftBlob, 0, 0};
  case SQL_LONGVARBINARY: return {ftBlob, 0, 0};
  default: return {ftMemo, 0, 0};  // intervals, and types of the data source's own: read as its text
  }
}

OdbcFetchAs odbcFetchAs(TFieldType type)
{
  switch (type) {
  case ftBoolean: case ftSmallint: case ftWord: case ftInteger: case ftLargeint: case ftAutoInc:
    return OdbcFetchAs::Integer;
  case ftFloat: return OdbcFetchAs::Float;
  case ftBCD: case ftDate: case ftTime: case ftDateTime: return OdbcFetchAs::Ascii;
  case ftBytes: case ftVarBytes: case ftBlob: return OdbcFetchAs::Bytes;
  default: return OdbcFetchAs::Text;
  }
}

bool odbcFetchedInPieces(TFieldType type)
{
  return isBlobType(type) || type == ftUnknown;
}
