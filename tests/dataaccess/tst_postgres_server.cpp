// The throw-away server that the test script starts answers on loopback and asks for the login's
// password, so later tests can rely on it.
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

  void serverRefusesAWrongPassword()
  {
    PG_REQUIRE_SERVER();
    PGconn* conn = connectWith("not the password");
    const bool refused = PQstatus(conn) != CONNECTION_OK;
    const QByteArray error = PQerrorMessage(conn);
    PQfinish(conn);
    QVERIFY2(refused, "the server let a wrong password in: TCP connections must need the password");
    QVERIFY2(error.contains("password authentication failed"), error.constData());
  }
};

QTEST_GUILESS_MAIN(TestPostgresServer)
#include "tst_postgres_server.moc"
