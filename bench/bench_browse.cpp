// Browsing tables and query results of millions of rows: time to the first screen, time to the last
// record, and peak memory after browsing the top, the middle and the end, for a table and for a
// SELECT over it, each against its target (first screen 50 ms, last record 1 s, memory 100 MiB above
// the program's own before it opened anything). The grid is the program's own, offscreen.
//
//   build/bench/bench_browse                 1 and 10 million rows (the databases are made once and
//                                            kept in build/bench-data)
//   build/bench/bench_browse --rows N        one size
//   build/bench/bench_browse --quick         20,000 rows, for CI to show that it runs
#include "BenchBrowse.h"
#include "BenchSupport.h"
#include "uicore/ExceptionGuard.h"
#include "dataaccess/DataSource.h"
#include "dataaccess/Database.h"
#include "dataaccess/Query.h"
#include "dataaccess/Session.h"
#include "dataaccess/Table.h"
#include "dbcontrols/DBGrid.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <cstdio>

#include <sqlite3.h>

namespace {

using bench::report;
using bench::resetPeak;
using bench::statusKiB;


// Forget the peak so far, so that making the database does not count.


// 8 columns of mixed types; made once per size and kept.
QString makeDatabase(const QString& folder, int64_t rows)
{
  const QString file = QStringLiteral("%1/browse-%2.db").arg(folder).arg(rows);
  if (QFileInfo::exists(file))
    return file;
  std::printf("making %s (%lld rows) ...\n", qPrintable(file), static_cast<long long>(rows));
  std::fflush(stdout);
  const QString tmp = file + QStringLiteral(".tmp");
  QFile::remove(tmp);
  sqlite3* db = nullptr;
  sqlite3_open(tmp.toUtf8().constData(), &db);
  const QByteArray sql = QStringLiteral(
      "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
      "CREATE TABLE big(id INTEGER PRIMARY KEY, qty INT, price DECIMAL(12,2), ratio REAL, name VARCHAR(40),"
      " born DATE, note TEXT, flag BOOLEAN);"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1)"
      " INSERT INTO big SELECT i, i % 1000, (i % 100000) / 100.0, i / 7.0, 'name ' || i,"
      " date(2451545 + i % 9000), 'a note about row ' || i, i % 2 FROM n;").arg(rows).toUtf8();
  char* error = nullptr;
  if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::fprintf(stderr, "cannot make the database: %s\n", error);
    std::exit(1);
  }
  sqlite3_close(db);
  QFile::rename(tmp, file);
  return file;
}

}  // namespace

int main(int argc, char* argv[])
{
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  std::vector<int64_t> sizes = {1000000, 10000000};
  if (args.contains(QStringLiteral("--quick")))
    sizes = {20000};
  if (const qsizetype i = args.indexOf(QStringLiteral("--rows")); i >= 0 && i + 1 < args.size())
    sizes = {args.at(i + 1).toLongLong()};
  const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/../bench-data");
  QDir().mkpath(folder);

  for (int64_t rows : sizes) {
    const QString file = makeDatabase(QDir(folder).absolutePath(), rows);
    bench::useAliases(QDir(folder).absoluteFilePath(QStringLiteral("aliases.ini")), "[Big]\nDriver=SQLite\nDatabase=" + file.toUtf8() + "\n");
    Session().SetActive(false);
    Session().SetActive(true);
    TDatabase db;
    db.SetDatabaseName(QStringLiteral("BenchDB"));
    db.SetAliasName(QStringLiteral("Big"));
    db.Open();

    resetPeak();
    const long base = statusKiB("VmHWM:");
    std::printf("\n%lld rows (%.0f MiB file); the program's own memory: %.1f MiB\n", static_cast<long long>(rows),
                QFileInfo(file).size() / 1048576.0, base / 1024.0);
    TTable table;
    table.SetDatabaseName(QStringLiteral("BenchDB"));
    table.SetTableName(QStringLiteral("big"));
    bench::browse("table big", table, base, 50);

    resetPeak();
    const long queryBase = statusKiB("VmHWM:");
    TQuery query;
    query.SetDatabaseName(QStringLiteral("BenchDB"));
    query.SQL << QStringLiteral("SELECT id, name, price, born FROM big WHERE flag = 1");
    bench::browse("SELECT id, name, price, born FROM big WHERE flag = 1", query, queryBase, 50);
  }
  return 0;
}
