#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The throw-away MariaDB server that scripts/test starts, reached through unixODBC as its environment
// variables describe it: KESTREL_TEST_MYHOST, _MYPORT, _MYDATABASE, _MYUSER and _MYPASSWORD (a
// password full of ;, {, }, = and blanks), _MYUSER2 and _MYPASSWORD2 (the same without '}'),
// _ODBCDRIVER (the name the MariaDB ODBC driver is registered under) and _ODBCDSN (a data source of
// the database).
namespace maria_test {

struct Server {
  QByteArray Host, Port, Database, User, Password, User2, Password2, Driver, Dsn;
};

bool available();
const Server& server();

// A driver connection string that reaches the database (without user and password).
QByteArray connectionString(const QString& database);

// A database of its own, made and used by the second login, dropped when it goes. Failures raise
// std::runtime_error with the server's message.
class TempDatabase {
public:
  explicit TempDatabase(const QString& purpose);
  ~TempDatabase();
  TempDatabase(const TempDatabase&) = delete;
  TempDatabase& operator=(const TempDatabase&) = delete;

  const QString& name() const { return FName; }
  // Runs SQL text (one statement; MariaDB's client runs several when they are separated by ";").
  void exec(const QString& sql) { scalar(sql); }
  // First column of the first row as text; "<null>" for NULL, "<none>" without rows.
  QString scalar(const QString& sql);
  // An alias file section that reaches this database by a connection string.
  QByteArray aliasSection(const QString& aliasName) const;

private:
  QString FName;
  void* FEnvironment = nullptr;
  void* FConnection = nullptr;
};

}  // namespace maria_test

// At the top of a test that needs the server. With KESTREL_REQUIRE_MARIADB=1 a test that needs the
// server fails without it instead of being skipped.
#define MARIA_REQUIRE_SERVER()                                                                                     \
  do {                                                                                                             \
    if (!maria_test::available()) {                                                                                \
      const char* why = "No MariaDB server: KESTREL_TEST_MYHOST, _MYPORT, _MYUSER, _MYUSER2, _ODBCDRIVER and "      \
                        "_ODBCDSN are not all set (scripts/test starts a server and sets them).";                  \
      if (qgetenv("KESTREL_REQUIRE_MARIADB") == "1")                                                               \
        QFAIL(why);                                                                                                \
      QSKIP(why);                                                                                                  \
    }                                                                                                              \
  } while (false)
