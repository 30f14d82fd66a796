#include "dataaccess/odbc/OdbcApi.h"

OdbcHandle::OdbcHandle(SQLSMALLINT type, SQLHANDLE parent, const QString& purpose) : FType(type)
{
  const SQLRETURN r = SQLAllocHandle(type, parent, &FHandle);
  if (!SQL_SUCCEEDED(r)) {
    FHandle = SQL_NULL_HANDLE;
    // The parent's diagnostics tell why: a handle that was never made has none.
    const SQLSMALLINT parentType = type == SQL_HANDLE_STMT ? SQL_HANDLE_DBC : SQL_HANDLE_ENV;
    if (parent == SQL_NULL_HANDLE)
      throw EDBEngineError(purpose, QStringLiteral("The ODBC driver manager could not set up its environment."));
    odbcRaise(purpose, DBErrorCode::Connection, parentType, parent, r);
  }
}

OdbcHandle::~OdbcHandle()
{
  if (FHandle != SQL_NULL_HANDLE)
    SQLFreeHandle(FType, FHandle);
}

OdbcHandle& OdbcHandle::operator=(OdbcHandle&& other) noexcept
{
  if (this != &other) {
    if (FHandle != SQL_NULL_HANDLE)
      SQLFreeHandle(FType, FHandle);
    FType = other.FType;
    FHandle = other.FHandle;
    other.FHandle = SQL_NULL_HANDLE;
  }
  return *this;
}

std::vector<SQLWCHAR> odbcText(const QString& text)
{
  static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager's wide characters are UTF-16");
  std::vector<SQLWCHAR> out(size_t(text.size()) + 1, 0);
  for (qsizetype i = 0; i < text.size(); ++i)
    out[size_t(i)] = SQLWCHAR(text.at(i).unicode());
  return out;
}

QString odbcString(const SQLWCHAR* text, qsizetype length)
{
  if (!text)
    return QString();
  if (length < 0)
    for (length = 0; text[length]; ++length) {
    }
  return QString(reinterpret_cast<const QChar*>(text), length);
}

std::vector<TDBError> odbcDiagnostics(SQLSMALLINT type, SQLHANDLE handle)
{
  std::vector<TDBError> entries;
  if (handle == SQL_NULL_HANDLE)
    return entries;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::vector<SQLWCHAR> message(1024, 0);
    SQLRETURN r = SQLGetDiagRecW(type, handle, record, state, &native, message.data(), SQLSMALLINT(message.size()), &length);
    if (r == SQL_SUCCESS_WITH_INFO && length >= SQLSMALLINT(message.size())) {
      message.assign(size_t(length) + 1, 0);
      r = SQLGetDiagRecW(type, handle, record, state, &native, message.data(), SQLSMALLINT(message.size()), &length);
    }
    if (!SQL_SUCCEEDED(r))
      break;
    const QString text = odbcString(message.data(), std::min<qsizetype>(length, qsizetype(message.size()) - 1)).trimmed();
    entries.push_back({QStringLiteral("SQLSTATE %1, native error %2: %3").arg(odbcString(state, 5), QString::number(native), text),
                       DBErrorCode::Database, int(native)});
  }
  return entries;
}

void odbcRaise(const QString& purpose, int category, SQLSMALLINT type, SQLHANDLE handle, SQLRETURN result)
{
  std::vector<TDBError> entries{{purpose, category, 0}};
  std::vector<TDBError> records = odbcDiagnostics(type, handle);
  if (records.empty())
    records.push_back({result == SQL_INVALID_HANDLE ? QStringLiteral("The ODBC call was given an invalid handle.")
                                                    : QStringLiteral("The ODBC call failed (return code %1) without saying why.").arg(result),
                       DBErrorCode::Database, 0});
  entries.insert(entries.end(), records.begin(), records.end());
  throw EDBEngineError(std::move(entries));
}
