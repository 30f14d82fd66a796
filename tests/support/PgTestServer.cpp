#include "PgTestServer.h"

#include <QCoreApplication>
#include <atomic>
#include <stdexcept>

#include <libpq-fe.h>

namespace pg_test {

namespace {

PGconn* connectTo(const QString& database, bool superuser)
{
  const Server& s = server();
  const QByteArray db = database.toUtf8();
  // Empty values are left to libpq's defaults.
  const bool socket = superuser && !s.Socket.isEmpty();
  const char* keys[] = {"host", "port", "user", "password", "dbname", "connect_timeout", nullptr};
  const char* values[] = {(socket ? s.Socket : s.Host).constData(), s.Port.constData(),
                          (socket ? s.Superuser : s.User).constData(), socket ? "" : s.Password.constData(),
                          db.constData(), "10", nullptr};
  PGconn* conn = PQconnectdbParams(keys, values, 0);
  if (PQstatus(conn) != CONNECTION_OK) {
    const std::string message = PQerrorMessage(conn);
    PQfinish(conn);
    throw std::runtime_error("cannot connect to the test server: " + message);
  }
  PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
  return conn;
}

// The first column of the rows; a statement without rows passes only when rows are not needed.
QStringList run(PGconn* conn, const QString& sql, bool needRows)
{
  PGresult* r = PQexec(conn, sql.toUtf8().constData());
  if (PQstatus(conn) == CONNECTION_BAD) {  // a test stopped and started the server
    PQclear(r);
    PQreset(conn);
    r = PQexec(conn, sql.toUtf8().constData());
  }
  const ExecStatusType status = PQresultStatus(r);
  const std::string message = PQresultErrorMessage(r);
  QStringList values;
  for (int i = 0; status == PGRES_TUPLES_OK && i < PQntuples(r); ++i)
    values << (PQgetisnull(r, i, 0) ? QStringLiteral("<null>") : QString::fromUtf8(PQgetvalue(r, i, 0), PQgetlength(r, i, 0)));
  PQclear(r);
  if (status != PGRES_TUPLES_OK && (needRows || status != PGRES_COMMAND_OK))
    throw std::runtime_error("SQL failed: " + message + "\n" + sql.toStdString());
  return values;
}

// A session on a database other than the ones it makes or drops.
Session adminSession()
{
  const bool super = !server().Socket.isEmpty();
  return Session(super ? QStringLiteral("postgres") : QString::fromUtf8(server().Database), super);
}

}  // namespace

const Server& server()
{
  static const Server s{qgetenv("KESTREL_TEST_PGHOST"), qgetenv("KESTREL_TEST_PGPORT"), qgetenv("KESTREL_TEST_PGUSER"),
                        qgetenv("KESTREL_TEST_PGPASSWORD"), qgetenv("KESTREL_TEST_PGDATABASE"),
                        qgetenv("KESTREL_TEST_PGSOCKET"), qgetenv("KESTREL_TEST_PGSUPERUSER")};
  return s;
}

bool available()
{
  const Server& s = server();
  return !s.Host.isEmpty() && !s.Port.isEmpty() && !s.User.isEmpty() && !s.Database.isEmpty();
}

Session::Session(const QString& database, bool superuser) : FConn(connectTo(database, superuser)) {}

Session::~Session()
{
  PQfinish(FConn);
}

QStringList Session::column(const QString& sql)
{
  return run(FConn, sql, true);
}

void Session::exec(const QString& sql)
{
  run(FConn, sql, false);
}

QString Session::scalar(const QString& sql)
{
  const QStringList values = column(sql);
  return values.isEmpty() ? QStringLiteral("<none>") : values.first();
}

TempDatabase::TempDatabase(const QString& purpose)
{
  static std::atomic<int> serial{0};
  FName = QStringLiteral("kestrel_%1_%2_%3").arg(purpose).arg(QCoreApplication::applicationPid()).arg(++serial);
  adminSession().exec(QStringLiteral("CREATE DATABASE %1 OWNER \"%2\"").arg(FName, QString::fromUtf8(server().User)));
}

TempDatabase::~TempDatabase()
{
  delete FSession;
  try {
    adminSession().exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(FName));
  } catch (const std::exception& e) {
    qWarning("%s", e.what());
  }
}

Session& TempDatabase::session()
{
  if (!FSession)
    FSession = new Session(FName);
  return *FSession;
}

QByteArray TempDatabase::aliasSection(const QString& aliasName) const
{
  return "[" + aliasName.toUtf8() + "]\nDriver=PostgreSQL\nHost=" + server().Host + "\nPort=" + server().Port +
         "\nDatabase=" + FName.toUtf8() + "\n";
}

}  // namespace pg_test
