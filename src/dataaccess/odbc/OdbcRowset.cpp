#include "dataaccess/odbc/OdbcRowset.h"

#include "dataaccess/odbc/OdbcTypes.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

constexpr size_t blockBytes = 4 * 1024 * 1024;  // the largest rowset buffer
constexpr SQLULEN mostRows = 500;                // rows per fetch
constexpr SQLLEN pieceBytes = 64 * 1024;         // a long value is read this much at a time
constexpr size_t piecesBatch = 256;              // rows with long values read in one call of the worker
constexpr int prefixCharacters = 512;            // of a long value bound with the other columns

size_t aligned(size_t n)
{
  return (n + 7) & ~size_t(7);
}

// Text comes as UTF-8 character data where the data source was seen to give it so, else in UTF-16.
SQLSMALLINT cType(OdbcFetchAs as, bool utf8)
{
  switch (as) {
  case OdbcFetchAs::Integer: return SQL_C_SBIGINT;
  case OdbcFetchAs::Float: return SQL_C_DOUBLE;
  case OdbcFetchAs::Ascii: return SQL_C_CHAR;
  case OdbcFetchAs::Text: return utf8 ? SQL_C_CHAR : SQL_C_WCHAR;
  case OdbcFetchAs::Bytes: return SQL_C_BINARY;
  }
  return SQL_C_CHAR;
}

// Bytes a bound value of the field needs: in UTF-8 up to four bytes a character, in UTF-16 two
// units for a character outside the basic plane.
SQLLEN widthOf(const TColumnInfo& f, OdbcFetchAs as, bool utf8)
{
  switch (as) {
  case OdbcFetchAs::Integer: return sizeof(int64_t);
  case OdbcFetchAs::Float: return sizeof(double);
  case OdbcFetchAs::Ascii: return std::max(f.Precision, 0) + 8 + 64;  // sign, point and exponent; or a date's text
  case OdbcFetchAs::Text:
    return utf8 ? SQLLEN(4 * std::max(f.Size, 1) + 1) : SQLLEN(2 * std::max(f.Size, 1) + 1) * SQLLEN(sizeof(SQLWCHAR));
  case OdbcFetchAs::Bytes: return std::max(f.Size, 1);
  }
  return 0;
}

}  // namespace

OdbcRowset::OdbcRowset(OdbcSession& session, SQLHSTMT statement, const std::vector<TColumnInfo>& fields, const QString& purpose,
                       OdbcLongValues longValues)
    : FSession(session), FStatement(statement), FPurpose(purpose), FUtf8(session.textAsUtf8()), FLongValues(longValues)
{
  bool pieces = false;
  for (size_t i = 0; i < fields.size(); ++i) {
    const OdbcFetchAs as = odbcFetchAs(fields[i].DataType);
    FAs.push_back(as);
    const bool isLong = odbcFetchedInPieces(fields[i].DataType);
    // Every column after one read in pieces is read so too: SQLGetData is meant for the columns after
    // the bound ones, and MariaDB's driver returns nothing for one that has bound columns after it.
    pieces = pieces || (isLong && longValues == OdbcLongValues::InPieces);
    if (pieces) {
      FBoundIndex.push_back(-1);
      continue;
    }
    Bound b;
    b.Column = int(i) + 1;
    b.As = as;
    b.Long = isLong;
    b.Offset = FRowBytes + sizeof(SQLLEN);
    if (isLong) {
      TColumnInfo prefix = fields[i];
      prefix.Size = prefixCharacters;
      b.Width = widthOf(prefix, as, FUtf8);
    } else {
      b.Width = widthOf(fields[i], as, FUtf8);
    }
    FRowBytes = aligned(b.Offset + size_t(b.Width));
    FBoundIndex.push_back(int(FBound.size()));
    FBound.push_back(b);
  }
  FRowBytes = std::max<size_t>(FRowBytes, sizeof(SQLLEN));
  const bool anyInPieces = std::find(FBoundIndex.begin(), FBoundIndex.end(), -1) != FBoundIndex.end();
  // Long values are read from a rowset of one row: SQLGetData on a row of a larger block, after
  // SQLSetPos, is optional in ODBC, and MariaDB's driver, which claims it, reads only the first row.
  FInPieces = anyInPieces;
  FRowsetSize = anyInPieces ? 1 : std::clamp<SQLULEN>(blockBytes / FRowBytes, 1, mostRows);
  FBlock.assign(FRowBytes * FRowsetSize, 0);
  FStatus.assign(FRowsetSize, 0);
  const auto check = [&](SQLRETURN r) { odbcCheck(r, purpose, DBErrorCode::Statement, SQL_HANDLE_STMT, statement); };
  check(SQLSetStmtAttr(statement, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(FRowBytes), 0));
  check(SQLSetStmtAttr(statement, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(FRowsetSize), 0));
  check(SQLSetStmtAttr(statement, SQL_ATTR_ROW_STATUS_PTR, FStatus.data(), 0));
  check(SQLSetStmtAttr(statement, SQL_ATTR_ROWS_FETCHED_PTR, &FFetched, 0));
  for (const Bound& b : FBound)
    check(SQLBindCol(statement, SQLUSMALLINT(b.Column), cType(b.As, FUtf8), FBlock.data() + b.Offset, b.Width,
                     reinterpret_cast<SQLLEN*>(FBlock.data() + b.Offset - sizeof(SQLLEN))));
}

int OdbcRowset::fetch(std::vector<TRow>& out)
{
  if (!FPending.empty()) {
    const int rows = int(FPending.size());
    for (size_t place : FPendingCut)
      FCut.push_back(out.size() + place);
    std::move(FPending.begin(), FPending.end(), std::back_inserter(out));
    FPending.clear();
    FPendingCut.clear();
    return rows;
  }
  if (FEnded)
    return 0;
  if (FInPieces)
    return fetchInPieces(out);
  return fetchBlock() ? take(0, out, FCut) : 0;
}

bool OdbcRowset::fetchBlock()
{
  FRowsetStart += SQLLEN(FFetched);
  FFetched = 0;
  if (FSession.run(FPurpose, FStatement, [this] { return SQLFetchScroll(FStatement, SQL_FETCH_NEXT, 0); }) == SQL_NO_DATA) {
    FEnded = true;
    return false;
  }
  if (FFetched < FRowsetSize)
    FEnded = true;
  return true;
}

int OdbcRowset::take(SQLULEN first, std::vector<TRow>& out, std::vector<size_t>& cut)
{
  if (FLongValues != OdbcLongValues::Refetched)
    return convert(first, out, cut);
  std::vector<size_t> places;
  const int rows = convert(first, out, places);
  if (places.empty())
    return rows;
  // Each row cut short is fetched alone, its long values read in pieces; then the cursor goes back
  // to the rowset's last row, for the next fetch to go on after it hundreds of rows at a time.
  const SQLULEN fetched = FFetched;
  const SQLRETURN r = FSession.run(FPurpose, FStatement, [&]() -> SQLRETURN {
    SQLSetStmtAttr(FStatement, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(1)), 0);
    SQLRETURN step = SQL_SUCCESS;
    for (size_t i = 0; i < places.size() && SQL_SUCCEEDED(step); ++i) {
      step = SQLFetchScroll(FStatement, SQL_FETCH_ABSOLUTE, FRowsetStart + SQLLEN(FCutInRowset[i]) + 1);
      for (size_t c = 0; c < FAs.size() && SQL_SUCCEEDED(step); ++c)
        if (FBound[size_t(FBoundIndex[c])].Long)
          if (const SQLRETURN g = readInPieces(int(c) + 1, FAs[c], out[places[i]][c]); !SQL_SUCCEEDED(g) && g != SQL_NO_DATA)
            step = g;
    }
    if (SQL_SUCCEEDED(step))
      step = SQLFetchScroll(FStatement, SQL_FETCH_ABSOLUTE, FRowsetStart + SQLLEN(fetched));
    SQLSetStmtAttr(FStatement, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(FRowsetSize), 0);
    return step;
  });
  FFetched = fetched;
  if (r == SQL_NO_DATA)  // a row of the rowset gone from the result cannot be: say so rather than show it cut
    throw EDBEngineError(FPurpose, QStringLiteral("A row of the result could not be read again."));
  return rows;
}

// Rows with long values come one at a time, and each value in pieces: a turn of the worker thread
// per fetch and per piece would cost many times the values, so a batch of rows is fetched and read
// in one call of the worker.
int OdbcRowset::fetchInPieces(std::vector<TRow>& out)
{
  std::vector<TRow> rows;
  const SQLRETURN r = FSession.run(FPurpose, FStatement, [&]() -> SQLRETURN {
    while (rows.size() < piecesBatch) {
      FFetched = 0;
      const SQLRETURN f = SQLFetch(FStatement);
      if (f == SQL_NO_DATA) {
        FEnded = true;
        break;
      }
      if (!SQL_SUCCEEDED(f))
        return f;
      if (FFetched == 0 || FStatus[0] == SQL_ROW_ERROR || FStatus[0] == SQL_ROW_NOROW)
        continue;
      TRow row(FAs.size());
      for (size_t c = 0; c < FAs.size(); ++c) {
        if (FBoundIndex[c] >= 0) {
          readBound(FBlock.data(), FBound[size_t(FBoundIndex[c])], row[c]);
        } else if (const SQLRETURN g = readInPieces(int(c) + 1, FAs[c], row[c]); !SQL_SUCCEEDED(g) && g != SQL_NO_DATA) {
          return g;
        }
      }
      rows.push_back(std::move(row));
    }
    return rows.empty() && FEnded ? SQL_NO_DATA : SQL_SUCCESS;
  });
  if (r == SQL_NO_DATA)
    FEnded = true;
  std::move(rows.begin(), rows.end(), std::back_inserter(out));
  return int(rows.size());
}

int OdbcRowset::convert(SQLULEN first, std::vector<TRow>& out, std::vector<size_t>& cut)
{
  FCutInRowset.clear();
  int rows = 0;
  for (SQLULEN r = first; r < FFetched; ++r) {
    if (FStatus[r] == SQL_ROW_ERROR || FStatus[r] == SQL_ROW_NOROW)
      continue;
    TRow row(FAs.size());
    const char* bytes = FBlock.data() + r * FRowBytes;
    bool isCut = false;
    for (size_t c = 0; c < FAs.size(); ++c) {  // every column is bound here (see fetchInPieces)
      const Bound& b = FBound[size_t(FBoundIndex[c])];
      readBound(bytes, b, row[c]);
      isCut = isCut || (b.Long && cutShort(bytes, r, b));
    }
    if (isCut) {
      cut.push_back(out.size());
      FCutInRowset.push_back(r);
    }
    out.push_back(std::move(row));
    ++rows;
  }
  return rows;
}

// A value is taken as whole only when its length leaves room in the buffer and its terminator
// stands where the length says: MariaDB's driver, converting to UTF-16, can report a length short of
// what it wrote, and success, for text it cut.
bool OdbcRowset::cutShort(const char* row, SQLULEN r, const Bound& b) const
{
  SQLLEN indicator = 0;
  std::memcpy(&indicator, row + b.Offset - sizeof(SQLLEN), sizeof indicator);
  if (indicator == SQL_NULL_DATA)
    return false;
  if (indicator < 0 || FStatus[r] == SQL_ROW_SUCCESS_WITH_INFO)
    return true;
  const char* data = row + b.Offset;
  // Room for a character more: a driver may stop before one that would not fit whole.
  const auto cutChars = [&] { return indicator > b.Width - 5 || data[indicator] != 0; };
  switch (b.As) {
  case OdbcFetchAs::Text: {
    if (FUtf8)
      return cutChars();
    constexpr SQLLEN unit = sizeof(SQLWCHAR);
    if (indicator % unit != 0 || indicator > b.Width - 3 * unit)
      return true;
    SQLWCHAR terminator = 1;
    std::memcpy(&terminator, data + indicator, sizeof terminator);
    return terminator != 0;
  }
  case OdbcFetchAs::Ascii:
    return cutChars();
  case OdbcFetchAs::Bytes:
    return indicator >= b.Width;
  case OdbcFetchAs::Integer:
  case OdbcFetchAs::Float:
    return false;
  }
  return true;
}

int64_t OdbcRowset::skip(int64_t n)
{
  int64_t skipped = std::min<int64_t>(n, int64_t(FPending.size()));
  FPending.erase(FPending.begin(), FPending.begin() + qsizetype(skipped));
  std::erase_if(FPendingCut, [&](size_t place) { return place < size_t(skipped); });
  for (size_t& place : FPendingCut)
    place -= size_t(skipped);
  if (FInPieces) {
    // A row at a time, nothing read: the rows stepped over in one call of the worker.
    FSession.run(FPurpose, FStatement, [&]() -> SQLRETURN {
      while (skipped < n) {
        const SQLRETURN f = SQLFetch(FStatement);
        if (f == SQL_NO_DATA) {
          FEnded = true;
          return SQL_SUCCESS;
        }
        if (!SQL_SUCCEEDED(f))
          return f;
        ++skipped;
      }
      return SQL_SUCCESS;
    });
    return skipped;
  }
  while (skipped < n && !FEnded) {
    if (!fetchBlock())
      break;
    // The rows of the last rowset past the ones stepped over are kept for the next fetch.
    if (skipped + int64_t(FFetched) > n) {
      take(SQLULEN(n - skipped), FPending, FPendingCut);
      return n;
    }
    skipped += int64_t(FFetched);
  }
  return skipped;
}

void OdbcRowset::readBound(const char* row, const Bound& b, TValue& out) const
{
  SQLLEN indicator = 0;
  std::memcpy(&indicator, row + b.Offset - sizeof(SQLLEN), sizeof indicator);
  const char* data = row + b.Offset;
  if (indicator == SQL_NULL_DATA) {
    out.setNull();
    return;
  }
  switch (b.As) {
  case OdbcFetchAs::Integer: {
    int64_t v = 0;
    std::memcpy(&v, data, sizeof v);
    out.setInteger(v);
    return;
  }
  case OdbcFetchAs::Float: {
    double v = 0;
    std::memcpy(&v, data, sizeof v);
    out.setFloat(v);
    return;
  }
  case OdbcFetchAs::Ascii:
    out.setBytes(TValue::Text, data, qsizetype(std::clamp<SQLLEN>(indicator, 0, b.Width - 1)));
    return;
  case OdbcFetchAs::Text: {
    if (FUtf8) {
      out.setBytes(TValue::Text, data, qsizetype(std::clamp<SQLLEN>(indicator, 0, b.Width - 1)));
      return;
    }
    const SQLLEN units = std::clamp<SQLLEN>(indicator, 0, b.Width - SQLLEN(sizeof(SQLWCHAR))) / SQLLEN(sizeof(SQLWCHAR));
    out = TValue::text(QStringView(reinterpret_cast<const char16_t*>(data), units).toUtf8());
    return;
  }
  case OdbcFetchAs::Bytes:
    out.setBytes(TValue::Bytes, data, qsizetype(std::clamp<SQLLEN>(indicator, 0, b.Width)));
    return;
  }
}

SQLRETURN OdbcRowset::readInPieces(int column, OdbcFetchAs as, TValue& out)
{
  SQLLEN indicator = 0;
  const auto getData = [&](SQLSMALLINT type, void* buffer, SQLLEN bytes) {
    return SQLGetData(FStatement, SQLUSMALLINT(column), type, buffer, bytes, &indicator);
  };
  if (as == OdbcFetchAs::Integer || as == OdbcFetchAs::Float) {
    int64_t integer = 0;
    double real = 0;
    const SQLRETURN r = getData(as == OdbcFetchAs::Integer ? SQL_C_SBIGINT : SQL_C_DOUBLE,
                                as == OdbcFetchAs::Integer ? static_cast<void*>(&integer) : static_cast<void*>(&real), 0);
    if (!SQL_SUCCEEDED(r))
      return r;
    if (indicator == SQL_NULL_DATA)
      out.setNull();
    else if (as == OdbcFetchAs::Integer)
      out.setInteger(integer);
    else
      out.setFloat(real);
    return r;
  }
  // Text comes in UTF-8 or UTF-16 (decimals and dates in ASCII), each piece ending with a
  // terminating unit; bytes come as they are.
  const SQLSMALLINT type = cType(as, FUtf8);
  const SQLLEN unit = type == SQL_C_WCHAR ? SQLLEN(sizeof(SQLWCHAR)) : 1;
  const SQLLEN terminator = type == SQL_C_BINARY ? 0 : unit;
  std::vector<char> piece(static_cast<size_t>(pieceBytes));
  QByteArray bytes;
  for (;;) {
    // A piece of UTF-8 may stop short of a character that would not fit: its end is found after its
    // terminator, before bytes that UTF-8 never holds.
    if (type == SQL_C_CHAR)
      std::memset(piece.data() + pieceBytes - 8, 0xFF, 8);
    const SQLRETURN r = getData(type, piece.data(), pieceBytes);
    if (r == SQL_NO_DATA)
      break;
    if (!SQL_SUCCEEDED(r))
      return r;
    if (indicator == SQL_NULL_DATA) {
      out.setNull();
      return r;
    }
    const SQLLEN room = pieceBytes - terminator;
    SQLLEN got = indicator == SQL_NO_TOTAL || indicator > room ? room : indicator;
    if (type == SQL_C_CHAR && got == room) {
      SQLLEN end = pieceBytes - 1;
      while (end > pieceBytes - 8 && static_cast<unsigned char>(piece[size_t(end)]) == 0xFF)
        --end;
      if (piece[size_t(end)] == 0)
        got = end;
    }
    bytes.append(piece.data(), qsizetype(got));
    if (r == SQL_SUCCESS)
      break;
  }
  if (type == SQL_C_WCHAR)
    out = TValue::text(QStringView(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / unit).toUtf8());
  else
    out = type == SQL_C_CHAR ? TValue::text(std::move(bytes)) : TValue::bytes(std::move(bytes));
  return SQL_SUCCESS;
}

std::vector<TColumnInfo> describeOdbcResult(SQLHSTMT statement, const QString& purpose)
{
  SQLSMALLINT count = 0;
  odbcCheck(SQLNumResultCols(statement, &count), purpose, DBErrorCode::Statement, SQL_HANDLE_STMT, statement);
  std::vector<TColumnInfo> columns;
  for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(count); ++c) {
    SQLWCHAR name[256] = {};
    SQLSMALLINT nameLength = 0, nullable = SQL_NULLABLE_UNKNOWN;
    OdbcColumnType type;
    odbcCheck(SQLDescribeColW(statement, c, name, 256, &nameLength, &type.SqlType, &type.Size, &type.Digits, &nullable), purpose,
              DBErrorCode::Statement, SQL_HANDLE_STMT, statement);
    SQLLEN isUnsigned = SQL_FALSE;
    SQLColAttributeW(statement, c, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &isUnsigned);
    type.Unsigned = isUnsigned == SQL_TRUE;
    SQLWCHAR typeName[128] = {};
    SQLSMALLINT typeNameLength = 0;
    SQLColAttributeW(statement, c, SQL_DESC_TYPE_NAME, typeName, sizeof typeName, &typeNameLength, nullptr);
    type.TypeName = odbcString(typeName);
    const OdbcFieldType f = odbcFieldType(type);
    TColumnInfo column;
    column.Name = odbcString(name, std::min<qsizetype>(nameLength, 255));
    column.DataType = f.DataType;
    column.Size = f.Size;
    column.Precision = f.Precision;
    column.DeclaredType = type.TypeName;
    columns.push_back(column);
  }
  return columns;
}
