#include "MariaTestServer.h"

#include <QCoreApplication>
#include <QStringList>

#include <stdexcept>

#include <sql.h>
#include <sqlext.h>

namespace maria_test {

namespace {

std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle)
{
  std::string all;
  SQLCHAR state[6], message[1024];
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  for (SQLSMALLINT i = 1; SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message, &length) == SQL_SUCCESS; ++i)
    all += std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(message) + "\n";
  return all;
}

}  // namespace

bool available()
{
  const Server& s = server();
  return !(s.Host.isEmpty() || s.Port.isEmpty() || s.User.isEmpty() || s.User2.isEmpty() || s.Driver.isEmpty() || s.Dsn.isEmpty());
}

const Server& server()
{
  static const Server s{qgetenv("KESTREL_TEST_MYHOST"),     qgetenv("KESTREL_TEST_MYPORT"),  qgetenv("KESTREL_TEST_MYDATABASE"),
                        qgetenv("KESTREL_TEST_MYUSER"),     qgetenv("KESTREL_TEST_MYPASSWORD"), qgetenv("KESTREL_TEST_MYUSER2"),
                        qgetenv("KESTREL_TEST_MYPASSWORD2"), qgetenv("KESTREL_TEST_ODBCDRIVER"), qgetenv("KESTREL_TEST_ODBCDSN")};
  return s;
}

QByteArray connectionString(const QString& database)
{
  const Server& s = server();
  return "DRIVER={" + s.Driver + "};SERVER=" + s.Host + ";PORT=" + s.Port + ";DATABASE=" + database.toUtf8();
}

TempDatabase::TempDatabase(const QString& purpose)
    : FName(QStringLiteral("kestrel_%1_%2").arg(purpose).arg(QCoreApplication::applicationPid()))
{
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &FEnvironment);
  SQLSetEnvAttr(FEnvironment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, FEnvironment, &FConnection);
  SQLHDBC dbc = FConnection;
  const Server& s = server();
  const QByteArray text = connectionString(QString()) + ";UID=" + s.User2 + ";PWD={" + s.Password2 + "};CHARSET=utf8mb4;OPTION=67108864";  // several statements in one call
  if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)text.constData(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
    throw std::runtime_error("cannot connect to the MariaDB test server: " + diagnostics(SQL_HANDLE_DBC, dbc));
  exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(FName));
  exec(QStringLiteral("CREATE DATABASE %1 CHARACTER SET utf8mb4").arg(FName));
  exec(QStringLiteral("USE %1").arg(FName));
}

TempDatabase::~TempDatabase()
{
  try {
    exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(FName));
  } catch (...) {
  }
  SQLDisconnect(FConnection);
  SQLFreeHandle(SQL_HANDLE_DBC, FConnection);
  SQLFreeHandle(SQL_HANDLE_ENV, FEnvironment);
}

QString TempDatabase::scalar(const QString& sql)
{
  SQLHSTMT st = nullptr;
  SQLAllocHandle(SQL_HANDLE_STMT, FConnection, &st);
  const QByteArray text = sql.toUtf8();
  const SQLRETURN r = SQLExecDirect(st, (SQLCHAR*)text.constData(), SQL_NTS);
  if (!SQL_SUCCEEDED(r) && r != SQL_NO_DATA) {
    const std::string why = diagnostics(SQL_HANDLE_STMT, st);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    throw std::runtime_error("MariaDB refused " + text.toStdString() + ": " + why);
  }
  QString result = QStringLiteral("<none>");
  SQLSMALLINT columns = 0;
  SQLNumResultCols(st, &columns);
  if (columns > 0 && SQL_SUCCEEDED(SQLFetch(st))) {
    char buffer[4096];
    SQLLEN indicator = 0;
    SQLGetData(st, 1, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
    result = indicator == SQL_NULL_DATA ? QStringLiteral("<null>") : QString::fromUtf8(buffer);
  }
  // Every result of several statements is read, so that the connection is free for the next.
  while (SQL_SUCCEEDED(SQLMoreResults(st))) {
  }
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  return result;
}

QByteArray TempDatabase::aliasSection(const QString& aliasName) const
{
  return "[" + aliasName.toUtf8() + "]\nDriver=ODBC\nConnectionString=" + connectionString(FName) + "\n";
}

}  // namespace maria_test
