#pragma once

// How the types an ODBC data source reports become the engine's field types, and how values of each
// are fetched (see docs/odbc-types.md).
#include "dataaccess/FieldTypes.h"

#include <QString>

#include <sql.h>

// A column's type as the data source describes it (SQLColumns, or SQLDescribeCol and
// SQLColAttribute for a result).
struct OdbcColumnType {
  SQLSMALLINT SqlType = SQL_UNKNOWN_TYPE;
  SQLULEN Size = 0;       // characters, digits or bytes; 0 when unknown or unlimited
  SQLSMALLINT Digits = 0; // digits after the point
  bool Unsigned = false;
  bool AutoIncrement = false;  // the data source numbers new rows in it (SQL_DESC_AUTO_UNIQUE_VALUE)
  QString TypeName;       // the data source's own name ("ENUM", "INT UNSIGNED")
};

struct OdbcFieldType {
  TFieldType DataType = ftUnknown;
  int Size = 0;
  int Precision = 0;
};

OdbcFieldType odbcFieldType(const OdbcColumnType& type);

// How a field's values are fetched: the C type asked of the driver and the value it becomes.
enum class OdbcFetchAs : unsigned char {
  Integer,  // SQL_C_SBIGINT, an integer value
  Float,    // SQL_C_DOUBLE
  Ascii,    // SQL_C_CHAR: decimals, dates and times, whose text is ASCII; kept as text
  Text,     // SQL_C_WCHAR, kept as UTF-8 text
  Bytes,    // SQL_C_BINARY
};
OdbcFetchAs odbcFetchAs(TFieldType type);
// Long values (memos, blobs) are fetched piece by piece with SQLGetData rather than bound.
bool odbcFetchedInPieces(TFieldType type);
