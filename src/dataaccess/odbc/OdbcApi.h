#pragma once

// What the ODBC driver shares about the ODBC call interface: handles that free themselves, text in
// the driver manager's UTF-16 and back, and the diagnostics of a failed call as an engine error.
// Text goes through the wide ("W") calls, so that the data source converts from its own character
// set and nothing depends on the client's.
#include "dataaccess/DBErrors.h"

#include <QString>
#include <vector>

#include <sql.h>
#include <sqlext.h>

class OdbcHandle {
public:
  OdbcHandle() = default;
  // Allocates a handle of the type under parent; raises in the given words when it cannot.
  OdbcHandle(SQLSMALLINT type, SQLHANDLE parent, const QString& purpose);
  ~OdbcHandle();
  OdbcHandle(OdbcHandle&& other) noexcept : FType(other.FType), FHandle(other.FHandle) { other.FHandle = SQL_NULL_HANDLE; }
  OdbcHandle& operator=(OdbcHandle&& other) noexcept;
  OdbcHandle(const OdbcHandle&) = delete;
  OdbcHandle& operator=(const OdbcHandle&) = delete;

  SQLHANDLE get() const { return FHandle; }
  SQLSMALLINT type() const { return FType; }

private:
  SQLSMALLINT FType = 0;
  SQLHANDLE FHandle = SQL_NULL_HANDLE;
};

// UTF-16 as the driver manager takes it, terminated, and back.
std::vector<SQLWCHAR> odbcText(const QString& text);
QString odbcString(const SQLWCHAR* text, qsizetype length = -1);

// Every diagnostic record of the handle ("SQLSTATE 28000, native error 1045: the message"), in order.
std::vector<TDBError> odbcDiagnostics(SQLSMALLINT type, SQLHANDLE handle);
// Raises the handle's diagnostics after one entry in the engine's words. Without any record the
// entry says that the call failed with the given return code.
[[noreturn]] void odbcRaise(const QString& purpose, int category, SQLSMALLINT type, SQLHANDLE handle,
                            SQLRETURN result = SQL_ERROR);
// Raises unless the call succeeded (warnings included) or found no data.
inline SQLRETURN odbcCheck(SQLRETURN result, const QString& purpose, int category, SQLSMALLINT type, SQLHANDLE handle)
{
  if (!SQL_SUCCEEDED(result) && result != SQL_NO_DATA)
    odbcRaise(purpose, category, type, handle, result);
  return result;
}
