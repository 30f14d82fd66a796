// The throw-away server that the test script starts answers on loopback to the login and its
// password, so later tests can rely on it (that it refuses a wrong one: tst_postgres_catalog).
#include "PgTestServer.h"

#include <QtTest>

#include <libpq-fe.h>

class TestPostgresServer : public QObject {
  Q_OBJECT

  static PGconn* connectWith(const QByteArray& password)
  {
    const pg_test::Server& s = pg_test::server();
    const char* keys[] = {"host", "port", "user", "password", "dbname", "connect_timeout", nullptr};
    const char* values[] = {s.Host.constData(), s.Port.constData(), s.User.constData(), password.constData(),
                            s.Database.constData(), "10", nullptr};
    return PQconnectdbParams(keys, values, 0);
  }

private slots:
  void serverAnswersTheLoginWithItsPassword()
  {
    PG_REQUIRE_SERVER();
    PGconn* conn = connectWith(pg_test::server().Password);
    if (PQstatus(conn) != CONNECTION_OK) {
      const QByteArray error = PQerrorMessage(conn);
      PQfinish(conn);
      QFAIL(error.constData());
    }
    PGresult* r = PQexec(conn, "SELECT 40 + 2, current_user");
    QCOMPARE(PQresultStatus(r), PGRES_TUPLES_OK);
    QCOMPARE(QByteArray(PQgetvalue(r, 0, 0)), QByteArray("42"));
    QCOMPARE(QByteArray(PQgetvalue(r, 0, 1)), pg_test::server().User);
    PQclear(r);
    PQfinish(conn);
  }
};

QTEST_GUILESS_MAIN(TestPostgresServer)
#include "tst_postgres_server.moc"
