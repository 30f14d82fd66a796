// The XML datapacket: the base64 encoder against coreutils' base64 and openssl's, and the writer
// against the SQLite shell writing the same rows as CSV, in the same run, with the ratios.
//
//   build/bench/bench_xml            256 MiB for base64, 1 million rows for the writer
//   build/bench/bench_xml --quick    small sizes, for CI to show that it runs
#include "BenchSupport.h"
#include "dataaccess/Database.h"
#include "dataaccess/Session.h"
#include "dataaccess/Table.h"
#include "xmldataset/Base64.h"
#include "xmldataset/XMLDataset.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <cstdio>

#include <sqlite3.h>

namespace {

using bench::peakKiB;
using bench::resetPeak;
using bench::timeCommand;



// Seconds a shell command takes, best of a few runs; -1 when it cannot run.

void benchBase64(const QString& folder, int64_t bytes, int runs)
{
  const QString input = QStringLiteral("%1/random-%2.bin").arg(folder).arg(bytes);
  QByteArray data(bytes, Qt::Uninitialized);
  QRandomGenerator rng(42);
  rng.fillRange(reinterpret_cast<quint32*>(data.data()), bytes / 4);
  QFile f(input);
  f.open(QIODevice::WriteOnly);
  f.write(data);
  f.close();

  QByteArray out(Base64EncodedLength(bytes), Qt::Uninitialized);
  double best = -1;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer t;
    t.start();
    Base64EncodeBuffer(data.constData(), bytes, out.data());
    const double s = t.nsecsElapsed() / 1e9;
    best = best < 0 ? s : std::min(best, s);
  }
  const double coreutils = timeCommand(QStringLiteral("base64 -w 76 '%1' > /dev/null").arg(input), runs);
  const double openssl = timeCommand(QStringLiteral("openssl base64 -in '%1' -out /dev/null").arg(input), runs);
  const double faster = coreutils < 0 ? openssl : openssl < 0 ? coreutils : std::min(coreutils, openssl);
  std::printf("base64 of %.0f MiB (best of %d)\n", bytes / 1048576.0, runs);
  std::printf("  Kestrel            %8.1f ms  %6.2f GB/s\n", best * 1000, bytes / best / 1e9);
  if (coreutils > 0)
    std::printf("  base64 -w 76       %8.1f ms  %6.2f GB/s  (Kestrel %.2fx faster)\n", coreutils * 1000, bytes / coreutils / 1e9, coreutils / best);
  if (openssl > 0)
    std::printf("  openssl base64     %8.1f ms  %6.2f GB/s  (Kestrel %.2fx faster)\n", openssl * 1000, bytes / openssl / 1e9, openssl / best);
  if (faster > 0)
    std::printf("  target: at least 2x the faster tool -> %.2fx  %s\n", faster / best, faster / best >= 2 ? "ok" : "MISSED");
  QFile::remove(input);
}


void benchWriter(const QString& folder, int64_t rows, int runs)
{
  const QString dbFile = bench::exportRows(rows);
  bench::useAliases(folder + QStringLiteral("/xml-aliases.ini"), "[Rows]\nDriver=SQLite\nDatabase=" + dbFile.toUtf8() + "\n");
  Session().SetActive(false);
  Session().SetActive(true);
  TDatabase db;
  db.SetDatabaseName(QStringLiteral("XmlBench"));
  db.SetAliasName(QStringLiteral("Rows"));
  db.Open();
  TTable table;
  table.SetDatabaseName(QStringLiteral("XmlBench"));
  table.SetTableName(QStringLiteral("rows"));
  TXMLDataset writer;
  writer.SetDataSet(&table);
  const QString out = folder + QStringLiteral("/export.xml");
  resetPeak();
  const long before = peakKiB();
  double best = -1;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer t;
    t.start();
    writer.SaveToFile(out);
    const double s = t.nsecsElapsed() / 1e9;
    best = best < 0 ? s : std::min(best, s);
  }
  const double mib = QFileInfo(out).size() / 1048576.0;
  const long peak = peakKiB() - before;
  const double shell = timeCommand(QStringLiteral("sqlite3 -csv '%1' 'SELECT * FROM rows' > /dev/null").arg(dbFile), runs);
  std::printf("datapacket of %lld rows x 8 columns (best of %d)\n", static_cast<long long>(rows), runs);
  std::printf("  Kestrel writer     %8.1f ms  %9.0f rows/s  %6.1f MB/s  peak memory +%.1f MiB\n", best * 1000, rows / best,
              mib * 1.048576 / best, peak / 1024.0);
  if (shell > 0)
    std::printf("  sqlite3 -csv       %8.1f ms  -> Kestrel takes %.2fx its time (target at most 2x)  %s\n", shell * 1000,
                best / shell, best / shell <= 2 ? "ok" : "MISSED");
  QFile::remove(out);
}

}  // namespace

int main(int argc, char* argv[])
{
  QCoreApplication app(argc, argv);
  const bool quick = app.arguments().contains(QStringLiteral("--quick"));
  const QString folder = bench::dataFolder();
  if (!app.arguments().contains(QStringLiteral("--writer-only")))
    benchBase64(folder, quick ? (4 << 20) : (256 << 20), quick ? 1 : 3);
  benchWriter(folder, quick ? 20000 : 1000000, quick ? 1 : 2);
  return 0;
}
