#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cstdio>

#include <sqlite3.h>

namespace bench {

long statusKiB(const char* key)
{
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly))
    return -1;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith(key))
      return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLong();
  return -1;
}

void resetPeak()
{
  QFile f(QStringLiteral("/proc/self/clear_refs"));
  if (f.open(QIODevice::WriteOnly))
    f.write("5");
}

void report(const char* what, double value, double target, const char* unit)
{
  std::printf("  %-46s %9.1f %-3s target %6.4g %-3s ratio %.2f  %s\n", what, value, unit, target, unit, value / target,
              value <= target ? "ok" : "MISSED");
  std::fflush(stdout);
}

int64_t rowsAsked(const QStringList& args, int64_t quickRows, int64_t fullRows)
{
  if (const qsizetype i = args.indexOf(QStringLiteral("--rows")); i >= 0 && i + 1 < args.size())
    return args.at(i + 1).toLongLong();
  return args.contains(QStringLiteral("--quick")) ? quickRows : fullRows;
}

double timeCommand(const QString& command, int runs)
{
  double best = -1;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
      std::fprintf(stderr, "'%s' failed: %s\n", qPrintable(command), p.readAllStandardError().constData());
      return -1;
    }
    const double s = t.nsecsElapsed() / 1e9;
    best = best < 0 ? s : std::min(best, s);
  }
  return best;
}

QString dataFolder()
{
  const QString folder = QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../bench-data")).absolutePath();
  QDir().mkpath(folder);
  return folder;
}

void useAliases(const QString& file, const QByteArray& content)
{
  QFile f(file);
  f.open(QIODevice::WriteOnly | QIODevice::Truncate);
  f.write(content);
  f.close();
  qputenv("KESTREL_ALIASES", f.fileName().toUtf8());
}

QString exportRows(int64_t rows)
{
  const QString file = QStringLiteral("%1/export-%2.db").arg(dataFolder()).arg(rows);
  if (QFileInfo::exists(file))
    return file;
  const QString tmp = file + QStringLiteral(".tmp");
  QFile::remove(tmp);
  sqlite3* db = nullptr;
  sqlite3_open(tmp.toUtf8().constData(), &db);
  const QByteArray sql = QStringLiteral(
      "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
      "CREATE TABLE rows(id INTEGER PRIMARY KEY, qty INT, price DECIMAL(12,2), ratio REAL, born DATE, name VARCHAR(40),"
      " note TEXT, flag BOOLEAN);"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1)"
      " INSERT INTO rows SELECT i, i % 1000, (i % 100000) / 100.0, i / 7.0, date(2451545 + i % 9000), 'name ' || i,"
      " 'a note about row ' || i, i % 2 FROM n;").arg(rows).toUtf8();
  sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
  sqlite3_close(db);
  QFile::rename(tmp, file);
  return file;
}

}  // namespace bench
