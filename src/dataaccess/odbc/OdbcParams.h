#pragma once

// Values bound as statement parameters: each kept in storage of its own until the statement has run.
#include "dataaccess/Value.h"
#include "dataaccess/odbc/OdbcTypes.h"

#include <QByteArray>
#include <vector>

#include <sql.h>
#include <sqlext.h>

class OdbcParams {
public:
  // A value for a column of the given SQL type; text goes as UTF-16, integers as 64-bit.
  void add(const TValue& value, const OdbcColumnType& column);
  // Binds them all, in order, as the statement's parameters; failures raise in the given words.
  void bind(SQLHSTMT statement, const QString& purpose);
  size_t size() const { return FParams.size(); }

private:
  struct Param {
    SQLSMALLINT CType = SQL_C_CHAR;
    SQLSMALLINT SqlType = SQL_VARCHAR;
    SQLULEN Size = 0;
    SQLSMALLINT Digits = 0;
    QByteArray Data;
    SQLLEN Indicator = 0;
  };
  std::vector<Param> FParams;  // never moved once bound: the driver holds their addresses
};
