// A PostgreSQL table of a million rows (8 columns of mixed types) on the local server: time to the
// first screen, time to the last record, peak memory, and a walk over every record and field through
// the dataset layer (what an export does), compared in the same run with psql's \copy of the same
// rows to /dev/null. Targets: first screen 100 ms, last record 1 s, memory flat (100 MiB above the
// program's own), the walk within 1.5 times psql. The walk is shown a second time with each record
// also written as the CSV export writes it, for how much the writer's own text adds.
//
// The server is the one scripts/test starts, found through KESTREL_TEST_PGHOST, _PGPORT, _PGUSER,
// _PGPASSWORD and _PGDATABASE (and _PGSOCKET/_PGSUPERUSER to make a database of its own). The table
// is made once per size and kept while the server lives.
//
//   build/bench/bench_postgres              1,000,000 rows
//   build/bench/bench_postgres --rows N     N rows
//   build/bench/bench_postgres --quick      20,000 rows, for CI to show that it runs; without a
//                                           server it says so and succeeds
#include "BenchBrowse.h"
#include "BenchSupport.h"
#include "dataaccess/DataSource.h"
#include "dataaccess/Database.h"
#include "dataaccess/Query.h"
#include "dataaccess/Table.h"
#include "dbcontrols/DBGrid.h"
#include "export/CSVWriter.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include <libpq-fe.h>

namespace {

using bench::report;
using bench::resetPeak;
using bench::statusKiB;

struct Server {
  QByteArray Host, Port, User, Password, Database, Socket, Superuser;
  static Server fromEnvironment()
  {
    return {qgetenv("KESTREL_TEST_PGHOST"), qgetenv("KESTREL_TEST_PGPORT"), qgetenv("KESTREL_TEST_PGUSER"),
            qgetenv("KESTREL_TEST_PGPASSWORD"), qgetenv("KESTREL_TEST_PGDATABASE"), qgetenv("KESTREL_TEST_PGSOCKET"),
            qgetenv("KESTREL_TEST_PGSUPERUSER")};
  }
  bool complete() const { return !Host.isEmpty() && !Port.isEmpty() && !User.isEmpty() && !Database.isEmpty(); }
};

PGconn* connectTo(const Server& s, const QByteArray& database, bool superuser)
{
  const bool socket = superuser && !s.Socket.isEmpty();
  const QByteArray host = socket ? s.Socket : s.Host, user = socket ? s.Superuser : s.User,
                   password = socket ? QByteArray() : s.Password;
  const char* keys[] = {"host", "port", "user", "password", "dbname", nullptr};
  const char* values[] = {host.constData(), s.Port.constData(), user.constData(), password.constData(),
                          database.constData(), nullptr};
  PGconn* conn = PQconnectdbParams(keys, values, 0);
  if (PQstatus(conn) != CONNECTION_OK) {
    std::fprintf(stderr, "cannot connect: %s\n", PQerrorMessage(conn));
    std::exit(1);
  }
  PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
  return conn;
}

QByteArray scalar(PGconn* conn, const QByteArray& sql)
{
  PGresult* r = PQexec(conn, sql.constData());
  const ExecStatusType status = PQresultStatus(r);
  if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
    std::fprintf(stderr, "%s failed: %s\n", sql.constData(), PQresultErrorMessage(r));
    std::exit(1);
  }
  const QByteArray v = status == PGRES_TUPLES_OK && PQntuples(r) > 0 ? QByteArray(PQgetvalue(r, 0, 0)) : QByteArray();
  PQclear(r);
  return v;
}

// A database of the benchmark's own (made by the superuser when there is one) holding big_<rows>.
QByteArray prepare(const Server& s, int64_t rows, QByteArray* table)
{
  QByteArray database = s.Database;
  if (!s.Socket.isEmpty()) {
    database = "kestrel_bench";
    PGconn* admin = connectTo(s, "postgres", true);
    if (scalar(admin, "SELECT count(*) FROM pg_database WHERE datname = 'kestrel_bench'") == "0")
      scalar(admin, "CREATE DATABASE kestrel_bench OWNER \"" + s.User + "\"");
    PQfinish(admin);
  }
  *table = "big_" + QByteArray::number(qlonglong(rows));
  PGconn* conn = connectTo(s, database, false);
  if (scalar(conn, "SELECT count(*) FROM pg_class WHERE relname = '" + *table + "' AND relkind = 'r'") == "0") {
    std::printf("making %s (%lld rows) ...\n", table->constData(), static_cast<long long>(rows));
    std::fflush(stdout);
    scalar(conn, "CREATE TABLE " + *table + "(id int PRIMARY KEY, qty int, price numeric(12,2), ratio float8,"
                 " name varchar(40), born date, note text, flag boolean)");
    scalar(conn, "INSERT INTO " + *table + " SELECT i, i % 1000, (i % 100000) / 100.0, i / 7.0, 'name ' || i,"
                 " date '2000-01-01' + i % 9000, 'a note about row ' || i, i % 2 = 1"
                 " FROM generate_series(1, " + QByteArray::number(qlonglong(rows)) + ") i");
    scalar(conn, "VACUUM ANALYZE " + *table);
  }
  PQfinish(conn);
  return database;
}


// Forget the peak so far, so that what came before does not count.



// The same, each record also written as the CSV export writes it, into a buffer emptied as a file
// write would; returns the bytes of CSV.
int64_t walkAsCsv(TDataSet& ds)
{
  int64_t bytes = 0;
  QByteArray buffer;
  ds.DisableControls();
  for (ds.First(); !ds.Eof(); ds.Next()) {
    CSVWriter::appendRecord(buffer, ds, false);
    if (buffer.size() >= 1 << 20) {
      bytes += buffer.size();
      buffer.clear();
    }
  }
  ds.EnableControls();
  return bytes + buffer.size();
}

double psqlCopy(const Server& s, const QByteArray& database, const QByteArray& select)
{
  const QString psql = QStandardPaths::findExecutable(QStringLiteral("psql"));
  if (psql.isEmpty())
    return -1;
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("PGPASSWORD"), QString::fromUtf8(s.Password));  // never on a command line
  p.setProcessEnvironment(env);
  p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  QElapsedTimer t;
  t.start();
  p.start(psql, {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-h"), QString::fromUtf8(s.Host),
                 QStringLiteral("-p"), QString::fromUtf8(s.Port), QStringLiteral("-U"), QString::fromUtf8(s.User),
                 QStringLiteral("-d"), QString::fromUtf8(database), QStringLiteral("-c"),
                 QStringLiteral("\\copy (%1) TO '/dev/null' CSV").arg(QString::fromUtf8(select))});
  p.waitForFinished(-1);
  const double ms = t.nsecsElapsed() / 1e6;
  return p.exitCode() == 0 ? ms : -1;
}

}  // namespace

int main(int argc, char* argv[])
{
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  const bool quick = args.contains(QStringLiteral("--quick"));
  const int64_t rows = bench::rowsAsked(args, 20000, 1000000);
  const Server server = Server::fromEnvironment();
  if (!server.complete()) {
    std::printf("no PostgreSQL server: set KESTREL_TEST_PGHOST, _PGPORT, _PGUSER, _PGPASSWORD and _PGDATABASE "
                "(scripts/test does)\n");
    return quick ? 0 : 1;
  }
  QByteArray table;
  const QByteArray database = prepare(server, rows, &table);

  QTemporaryDir folder;
  TDatabase db;
  bench::openBenchDatabase(db, folder.filePath(QStringLiteral("aliases.ini")),
                           "[Big]\nDriver=PostgreSQL\nHost=" + server.Host + "\nPort=" + server.Port + "\nDatabase=" + database + "\n", server.User, server.Password);

  resetPeak();
  const long base = statusKiB("VmHWM:");
  std::printf("\n%lld rows in %s on %s:%s; the program's own memory: %.1f MiB\n", static_cast<long long>(rows),
              table.constData(), server.Host.constData(), server.Port.constData(), base / 1024.0);
  {
    TTable t;
    t.SetDatabaseName(QStringLiteral("BenchDB"));
    t.SetTableName(QString::fromUtf8(table));
    bench::browse("table", t, base, 100);
  }

  // The walks against psql, each three times, the best of each compared.
  const QByteArray select = "SELECT id, qty, price, ratio, name, born, note, flag FROM " + table + " ORDER BY id";
  std::vector<double> ours, csv, theirs;
  int64_t bytes = 0, csvBytes = 0;
  resetPeak();
  for (int run = 0; run < 3; ++run) {
    QElapsedTimer timer;
    {
      TTable t;
      t.SetDatabaseName(QStringLiteral("BenchDB"));
      t.SetTableName(QString::fromUtf8(table));
      timer.start();
      t.Open();
      bytes = bench::walkRecords(t);
      ours.push_back(timer.nsecsElapsed() / 1e6);
    }
    {
      TTable t;
      t.SetDatabaseName(QStringLiteral("BenchDB"));
      t.SetTableName(QString::fromUtf8(table));
      timer.restart();
      t.Open();
      csvBytes = walkAsCsv(t);
      csv.push_back(timer.nsecsElapsed() / 1e6);
    }
    theirs.push_back(psqlCopy(server, database, select));
  }
  auto best = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
  std::printf("  %-46s %9.1f ms (runs %.0f, %.0f, %.0f; %.1f MiB of values)\n", "walk every record and field (dataset)",
              best(ours), ours[0], ours[1], ours[2], bytes / 1048576.0);
  std::printf("  %-46s %9.1f ms (runs %.0f, %.0f, %.0f; %.1f MiB of CSV)\n", "the same, written as the CSV export does",
              best(csv), csv[0], csv[1], csv[2], csvBytes / 1048576.0);
  if (best(theirs) > 0) {
    std::printf("  %-46s %9.1f ms (runs %.0f, %.0f, %.0f)\n", "psql \\copy (SELECT ...) TO '/dev/null' CSV", best(theirs),
                theirs[0], theirs[1], theirs[2]);
    report("walk time / psql time", best(ours) / best(theirs), 1.5, "x");
    std::printf("  %-46s %9.1f x   (the CSV writer's own text included)\n", "CSV walk time / psql time",
                best(csv) / best(theirs));
  } else {
    std::printf("  psql \\copy did not run: no ratio\n");
  }
  report("peak memory above the program's own, walking", (statusKiB("VmHWM:") - base) / 1024.0, 100, "MiB");

  // A query over the same rows: first screen and last record through the cursor.
  {
    TQuery q;
    q.SetDatabaseName(QStringLiteral("BenchDB"));
    q.SQL << QString::fromUtf8("SELECT id, name, price, born FROM " + table + " WHERE flag");
    bench::Browser b(q);
    QElapsedTimer timer;
    timer.start();
    q.Open();
    b.paint();
    report("query: open and show the first screen", timer.nsecsElapsed() / 1e6, 100, "ms");
    timer.restart();
    q.Last();
    b.paint();
    report("query: go to the last record", timer.nsecsElapsed() / 1e6, 1000, "ms");
    // Letting go of the reading transaction while nobody reads: the commit is sent at once, and the
    // server stores the rows the cursor has not yet given (in a temporary file past work_mem); the
    // next reading waits for that, then reads from the stored rows.
    q.SetRecNo(q.RecordCount64() / 2);
    b.paint();
    timer.restart();
    q.ReleaseReads();
    const double release = timer.nsecsElapsed() / 1e6;
    timer.restart();
    for (int i = 0; i < 1000; ++i)
      q.Next();
    b.paint();
    const double takeUp = timer.nsecsElapsed() / 1e6;
    timer.restart();
    for (int i = 0; i < 1000; ++i)
      q.Next();
    b.paint();
    std::printf("  %-46s %9.1f ms release, %.1f ms to read 1,000 rows on (the server storing the rows), "
                "%.1f ms the next 1,000\n", "query: let go of the transaction, take up", release, takeUp,
                timer.nsecsElapsed() / 1e6);
    timer.restart();
    bench::walkRecords(q);
    std::printf("  %-46s %9.1f ms\n", "query: walk every record and field", timer.nsecsElapsed() / 1e6);
    report("peak memory above the program's own, query", (statusKiB("VmHWM:") - base) / 1024.0, 100, "MiB");
  }
  return 0;
}
