// A MariaDB table of a million rows (8 columns of mixed types) reached through the ODBC driver: time
// to the first screen, time to the last record, peak memory, and a walk over every record and field
// through the dataset layer (what an export does), compared in the same run with the mariadb client
// writing the same rows in batch mode to /dev/null. Targets: first screen 100 ms, last record 1 s,
// memory 100 MiB above the program's own, the walk within 1.5 times the client.
//
// The server is the one scripts/test starts, reached through its data source: KESTREL_TEST_ODBCDSN,
// KESTREL_TEST_MYHOST, _MYPORT, _MYUSER, _MYPASSWORD and _MYDATABASE. The table is made once per
// size and kept while the server lives.
//
//   build/bench/bench_odbc              1,000,000 rows
//   build/bench/bench_odbc --rows N     N rows
//   build/bench/bench_odbc --quick      20,000 rows, for CI to show that it runs; without a server it
//                                       says so and succeeds
#include "BenchBrowse.h"
#include "BenchSupport.h"
#include "dataaccess/Database.h"
#include "dataaccess/Query.h"
#include "dataaccess/Table.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

using bench::report;
using bench::resetPeak;
using bench::statusKiB;

struct Server {
  QByteArray Dsn, Host, Port, User, Password, Database;
  static Server fromEnvironment()
  {
    return {qgetenv("KESTREL_TEST_ODBCDSN"), qgetenv("KESTREL_TEST_MYHOST"), qgetenv("KESTREL_TEST_MYPORT"),
            qgetenv("KESTREL_TEST_MYUSER"), qgetenv("KESTREL_TEST_MYPASSWORD"), qgetenv("KESTREL_TEST_MYDATABASE")};
  }
  bool complete() const { return !Dsn.isEmpty() && !Host.isEmpty() && !Port.isEmpty() && !User.isEmpty() && !Database.isEmpty(); }
};

// Runs the mariadb client on sql with its output going to outputFile; returns the milliseconds it
// took, or -1 when it failed. The password goes in the environment, never on a command line.
double client(const Server& s, const QByteArray& sql, const QString& outputFile = QStringLiteral("/dev/null"))
{
  const QString program = QStandardPaths::findExecutable(QStringLiteral("mariadb"));
  if (program.isEmpty())
    return -1;
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("MYSQL_PWD"), QString::fromUtf8(s.Password));
  p.setProcessEnvironment(env);
  p.setStandardOutputFile(outputFile);
  p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  QElapsedTimer t;
  t.start();
  p.start(program, {QStringLiteral("--no-defaults"), QStringLiteral("--batch"), QStringLiteral("--skip-column-names"),
                    QStringLiteral("-h"), QString::fromUtf8(s.Host), QStringLiteral("-P"), QString::fromUtf8(s.Port),
                    QStringLiteral("-u"), QString::fromUtf8(s.User), QStringLiteral("-D"), QString::fromUtf8(s.Database),
                    QStringLiteral("-e"), QString::fromUtf8(sql)});
  p.waitForFinished(-1);
  const double ms = t.nsecsElapsed() / 1e6;
  return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 ? ms : -1;
}

// big_<rows>, made with the server's sequence engine unless it is there already.
QByteArray prepare(const Server& s, int64_t rows)
{
  const QByteArray table = "big_" + QByteArray::number(qlonglong(rows));
  QTemporaryDir folder;
  const QString answer = folder.filePath(QStringLiteral("exists"));
  client(s, "SELECT count(*) FROM information_schema.tables WHERE table_schema = DATABASE() AND table_name = '" + table + "'",
         answer);
  QFile f(answer);
  if (f.open(QIODevice::ReadOnly) && f.readAll().trimmed() == "1")
    return table;
  std::printf("making %s (%lld rows) ...\n", table.constData(), static_cast<long long>(rows));
  std::fflush(stdout);
  const QByteArray sql = "CREATE TABLE " + table + "(id INT PRIMARY KEY, qty INT, price DECIMAL(12,2), ratio DOUBLE,"
                         " name VARCHAR(40), born DATE, note TEXT, flag BOOLEAN) CHARACTER SET utf8mb4;"
                         " INSERT INTO " + table + " SELECT seq, seq % 1000, (seq % 100000) / 100, seq / 7, CONCAT('name ', seq),"
                         " DATE '2000-01-01' + INTERVAL seq % 9000 DAY, CONCAT('a note about row ', seq), seq % 2"
                         " FROM seq_1_to_" + QByteArray::number(qlonglong(rows)) + ";";
  if (client(s, sql) < 0) {
    std::fprintf(stderr, "cannot make %s\n", table.constData());
    std::exit(1);
  }
  return table;
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
    std::printf("no MariaDB server: set KESTREL_TEST_ODBCDSN, _MYHOST, _MYPORT, _MYUSER, _MYPASSWORD and "
                "_MYDATABASE (scripts/test does)\n");
    return quick ? 0 : 1;
  }
  const QByteArray table = prepare(server, rows);

  QTemporaryDir folder;
  TDatabase db;
  bench::openBenchDatabase(db, folder.filePath(QStringLiteral("aliases.ini")),
                           "[Big]\nDriver=ODBC\nDSN=" + server.Dsn + "\n", server.User, server.Password);

  resetPeak();
  const long base = statusKiB("VmHWM:");
  std::printf("\n%lld rows in %s through ODBC data source %s; the program's own memory: %.1f MiB\n",
              static_cast<long long>(rows), table.constData(), server.Dsn.constData(), base / 1024.0);
  {
    TTable t;
    t.SetDatabaseName(QStringLiteral("BenchDB"));
    t.SetTableName(QString::fromUtf8(table));
    bench::browse("table", t, base, 100);
  }

  // The walk against the client, each three times, the best of each compared.
  const QByteArray select = "SELECT id, qty, price, ratio, name, born, note, flag FROM " + table + " ORDER BY id";
  std::vector<double> ours, theirs;
  int64_t bytes = 0;
  resetPeak();
  for (int run = 0; run < 3; ++run) {
    TTable t;
    t.SetDatabaseName(QStringLiteral("BenchDB"));
    t.SetTableName(QString::fromUtf8(table));
    QElapsedTimer timer;
    timer.start();
    t.Open();
    bytes = bench::walkRecords(t);
    ours.push_back(timer.nsecsElapsed() / 1e6);
    theirs.push_back(client(server, select));
  }
  auto best = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
  std::printf("  %-46s %9.1f ms (runs %.0f, %.0f, %.0f; %.1f MiB of values)\n", "walk every record and field (dataset)",
              best(ours), ours[0], ours[1], ours[2], bytes / 1048576.0);
  if (best(theirs) > 0) {
    std::printf("  %-46s %9.1f ms (runs %.0f, %.0f, %.0f)\n", "mariadb --batch (SELECT ...) > /dev/null", best(theirs),
                theirs[0], theirs[1], theirs[2]);
    report("walk time / client time", best(ours) / best(theirs), 1.5, "x");
  } else {
    std::printf("  the mariadb client did not run: no ratio\n");
  }
  report("peak memory above the program's own, walking", (statusKiB("VmHWM:") - base) / 1024.0, 100, "MiB");

  // The same rows as a query result, read forward through the cursor (the memo a row at a time).
  // MariaDB's driver holds the whole result in client memory from the moment it runs.
  {
    resetPeak();
    TQuery q;
    q.SetDatabaseName(QStringLiteral("BenchDB"));
    q.SQL << QString::fromUtf8(select);
    QElapsedTimer timer;
    timer.start();
    q.Open();
    std::printf("  %-46s %9.1f ms\n", "query: open (the driver reads the whole result)", timer.nsecsElapsed() / 1e6);
    timer.restart();
    bench::walkRecords(q);
    const double walk = timer.nsecsElapsed() / 1e6;
    std::printf("  %-46s %9.1f ms\n", "query: walk every record and field", walk);
    if (best(theirs) > 0)
      std::printf("  %-46s %9.1f x   (no target)\n", "query walk time / client time", walk / best(theirs));
    std::printf("  %-46s %9.1f MiB (no target: the driver's)\n", "peak memory above the program's own, query",
                (statusKiB("VmHWM:") - base) / 1024.0);
  }
  return 0;
}
