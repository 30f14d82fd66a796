// The throw-away server that the test script starts answers on loopback, so later tests can rely on it.
#include <QtTest>

#include <libpq-fe.h>

class TestPostgresServer : public QObject {
  Q_OBJECT

private slots:
  void serverAnswers()
  {
    const QByteArray port = qgetenv("KESTREL_TEST_PGPORT");
    if (port.isEmpty())
      QSKIP("KESTREL_TEST_PGPORT is not set: run through scripts/test, which starts the server");
    const QByteArray host = qgetenv("KESTREL_TEST_PGHOST"), user = qgetenv("KESTREL_TEST_PGUSER"),
                     db = qgetenv("KESTREL_TEST_PGDATABASE");
    const char* keys[] = {"host", "port", "user", "dbname", "connect_timeout", nullptr};
    const char* values[] = {host.constData(), port.constData(), user.constData(), db.constData(), "10", nullptr};
    PGconn* conn = PQconnectdbParams(keys, values, 0);
    const bool ok = PQstatus(conn) == CONNECTION_OK;
    const QByteArray error = PQerrorMessage(conn);
    if (!ok) {
      PQfinish(conn);
      QFAIL(error.constData());
    }
    PGresult* r = PQexec(conn, "SELECT 40 + 2");
    QCOMPARE(PQresultStatus(r), PGRES_TUPLES_OK);
    QCOMPARE(QByteArray(PQgetvalue(r, 0, 0)), QByteArray("42"));
    PQclear(r);
    PQfinish(conn);
  }
};

QTEST_GUILESS_MAIN(TestPostgresServer)
#include "tst_postgres_server.moc"
