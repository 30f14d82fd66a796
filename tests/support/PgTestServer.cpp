#include "PgTestServer.h"

#include <QCoreApplication>
#include <atomic>
#include <stdexcept>
#include <vector>

#include <libpq-fe.h>

namespace pg_test {

namespace {

Server readServer()
{
  Server s;
  s.Host = qgetenv("KESTREL_TEST_PGHOST");
  s.Port = qgetenv("KESTREL_TEST_PGPORT");
  s.User = qgetenv("KESTREL_TEST_PGUSER");
  s.Password = qgetenv("KESTREL_TEST_PGPASSWORD");
  s.Database = qgetenv("KESTREL_TEST_PGDATABASE");
  s.Socket = qgetenv("KESTREL_TEST_PGSOCKET");
  s.Superuser = qgetenv("KESTREL_TEST_PGSUPERUSER");
  return s;
}

PGconn* connectTo(const QString& database, bool superuser)
{
  const Server& s = server();
  const QByteArray db = database.toUtf8();
  std::vector<const char*> keys, values;
  auto add = [&](const char* k, const QByteArray& v) {
    if (!v.isEmpty()) {
      keys.push_back(k);
      values.push_back(v.constData());
    }
  };
  const bool socket = superuser && !s.Socket.isEmpty();
  add("host", socket ? s.Socket : s.Host);
  add("port", s.Port);
  add("user", socket ? s.Superuser : s.User);
  add("password", socket ? QByteArray() : s.Password);
  add("dbname", db);
  static const QByteArray timeout = "10";
  add("connect_timeout", timeout);
  keys.push_back(nullptr);
  values.push_back(nullptr);
  PGconn* conn = PQconnectdbParams(keys.data(), values.data(), 0);
  if (PQstatus(conn) != CONNECTION_OK) {
    const std::string message = PQerrorMessage(conn);
    PQfinish(conn);
    throw std::runtime_error("cannot connect to the test server: " + message);
  }
  PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
  return conn;
}

}  // namespace

const Server& server()
{
  static const Server s = readServer();
  return s;
}

bool available()
{
  const Server& s = server();
  return !s.Host.isEmpty() && !s.Port.isEmpty() && !s.User.isEmpty() && !s.Database.isEmpty();
}

bool required()
{
  return qgetenv("KESTREL_REQUIRE_PG") == "1";
}

QString unavailableReason()
{
  return QStringLiteral("No PostgreSQL server: KESTREL_TEST_PGHOST, _PGPORT, _PGUSER and _PGDATABASE are not all set "
                        "(scripts/test starts a server and sets them).");
}

Session::Session(const QString& database, bool superuser) : FConn(connectTo(database, superuser)) {}

Session::~Session()
{
  PQfinish(FConn);
}

void Session::exec(const QString& sql)
{
  PGresult* r = PQexec(FConn, sql.toUtf8().constData());
  const ExecStatusType status = PQresultStatus(r);
  const std::string message = PQresultErrorMessage(r);
  PQclear(r);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
    throw std::runtime_error("SQL failed: " + message + "\n" + sql.toStdString());
}

QStringList Session::column(const QString& sql)
{
  PGresult* r = PQexec(FConn, sql.toUtf8().constData());
  if (PQresultStatus(r) != PGRES_TUPLES_OK) {
    const std::string message = PQresultErrorMessage(r);
    PQclear(r);
    throw std::runtime_error("SQL failed: " + message);
  }
  QStringList values;
  for (int i = 0; i < PQntuples(r); ++i)
    values << (PQgetisnull(r, i, 0) ? QStringLiteral("<null>") : QString::fromUtf8(PQgetvalue(r, i, 0), PQgetlength(r, i, 0)));
  PQclear(r);
  return values;
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
  const bool super = !server().Socket.isEmpty();
  Session admin(super ? QStringLiteral("postgres") : QString::fromUtf8(server().Database), super);
  admin.exec(QStringLiteral("CREATE DATABASE %1 OWNER \"%2\"").arg(FName, QString::fromUtf8(server().User)));
}

TempDatabase::~TempDatabase()
{
  delete FSession;
  try {
    const bool super = !server().Socket.isEmpty();
    Session admin(super ? QStringLiteral("postgres") : QString::fromUtf8(server().Database), super);
    admin.exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(FName));
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
