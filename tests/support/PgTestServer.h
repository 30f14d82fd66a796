#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

typedef struct pg_conn PGconn;

// The throw-away PostgreSQL server that scripts/test starts, as its environment variables describe it:
// KESTREL_TEST_PGHOST, _PGPORT, _PGUSER, _PGPASSWORD (a login that needs its password over TCP),
// _PGDATABASE, and for setting up, _PGSOCKET and _PGSUPERUSER (trusted through the Unix socket).
namespace pg_test {

struct Server {
  QByteArray Host, Port, User, Password, Database, Socket, Superuser;
};

bool available();
const Server& server();

// A session of its own as the test login (or, superuser true, as the superuser through the socket).
// Failures raise std::runtime_error with the server's message.
class Session {
public:
  Session(const QString& database, bool superuser = false);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  void exec(const QString& sql);
  // First column of the first row; "<null>" for NULL, "<none>" without rows.
  QString scalar(const QString& sql);
  QStringList column(const QString& sql);

private:
  PGconn* FConn = nullptr;
};

// A database of its own, owned by the test login, dropped when it goes.
class TempDatabase {
public:
  explicit TempDatabase(const QString& purpose);
  ~TempDatabase();
  TempDatabase(const TempDatabase&) = delete;
  TempDatabase& operator=(const TempDatabase&) = delete;

  const QString& name() const { return FName; }
  void exec(const QString& sql) { session().exec(sql); }
  QString scalar(const QString& sql) { return session().scalar(sql); }
  QStringList column(const QString& sql) { return session().column(sql); }
  Session& session();
  // An alias file section that reaches this database.
  QByteArray aliasSection(const QString& aliasName) const;

private:
  QString FName;
  Session* FSession = nullptr;
};

}  // namespace pg_test

// At the top of a test that needs the server. With KESTREL_REQUIRE_PG=1 a test that needs the
// server fails without it instead of being skipped.
#define PG_REQUIRE_SERVER()                                                                            \
  do {                                                                                                 \
    if (!pg_test::available()) {                                                                       \
      const char* why = "No PostgreSQL server: KESTREL_TEST_PGHOST, _PGPORT, _PGUSER and _PGDATABASE " \
                        "are not all set (scripts/test starts a server and sets them).";               \
      if (qgetenv("KESTREL_REQUIRE_PG") == "1")                                                        \
        QFAIL(why);                                                                                    \
      QSKIP(why);                                                                                      \
    }                                                                                                  \
  } while (false)
