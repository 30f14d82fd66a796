#include "dataaccess/odbc/OdbcParams.h"

#include "dataaccess/odbc/OdbcApi.h"

void OdbcParams::add(const TValue& value, const OdbcColumnType& column)
{
  Param p;
  p.SqlType = column.SqlType;
  p.Size = column.Size;
  p.Digits = column.Digits;
  switch (value.kind()) {
  case TValue::Null:
    p.Indicator = SQL_NULL_DATA;
    if (p.SqlType == SQL_UNKNOWN_TYPE)
      p.SqlType = SQL_VARCHAR;
    break;
  case TValue::Integer: {
    const int64_t v = value.asInteger();
    p.CType = SQL_C_SBIGINT;
    p.Data = QByteArray(reinterpret_cast<const char*>(&v), sizeof v);
    break;
  }
  case TValue::Float: {
    const double v = value.asFloat();
    p.CType = SQL_C_DOUBLE;
    p.Data = QByteArray(reinterpret_cast<const char*>(&v), sizeof v);
    break;
  }
  case TValue::Text: {
    const QString text = QString::fromUtf8(value.rawBytes());
    p.CType = SQL_C_WCHAR;
    p.Data = QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    break;
  }
  case TValue::Bytes:
    p.CType = SQL_C_BINARY;
    p.Data = value.rawBytes();
    break;
  }
  if (value.kind() != TValue::Null)
    p.Indicator = p.Data.size();
  if (p.Size == 0)
    p.Size = SQLULEN(std::max<qsizetype>(p.Data.size(), 1));
  FParams.push_back(std::move(p));
}

void OdbcParams::bind(SQLHSTMT statement, const QString& purpose)
{
  for (size_t i = 0; i < FParams.size(); ++i) {
    Param& p = FParams[i];
    odbcCheck(SQLBindParameter(statement, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, p.CType, p.SqlType, p.Size, p.Digits,
                               p.Data.data(), p.Data.size(), &p.Indicator),
              purpose, DBErrorCode::Statement, SQL_HANDLE_STMT, statement);
  }
}
