#include "BenchBrowse.h"

#include "BenchSupport.h"
#include "dataaccess/DataSet.h"
#include "dataaccess/Database.h"
#include "dataaccess/Session.h"
#include "dataaccess/Field.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

namespace bench {

Browser::Browser(TDataSet& ds)
{
  grid.resize(800, 600);
  grid.SetDataSource(&source);
  source.SetDataSet(&ds);
  grid.show();
}

void browse(const char* title, TDataSet& ds, long baseKiB, double firstScreenTargetMs)
{
  std::printf("%s\n", title);
  Browser b(ds);
  QElapsedTimer t;
  // As the window does it: the command opens the data, the event loop paints the grid; timed to the
  // paint that put rows on the screen.
  b.grid.clock = &t;
  t.start();
  ds.Open();
  while (b.grid.paintedNs < 0 && t.elapsed() < 600000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  report("open to the first screen painted (event loop)", b.grid.paintedNs / 1e6, firstScreenTargetMs, "ms");
  while (ds.KnownRecordCount() < 0 && t.elapsed() < 600000)  // the grid counts once the rows are shown
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  std::printf("  %-46s %9.1f ms (%lld rows)\n", "count the rows, after the first screen",
              (t.nsecsElapsed() - b.grid.paintedNs) / 1e6, static_cast<long long>(ds.KnownRecordCount()));
  // The same in process, without the event loop: open and paint called directly.
  ds.Close();
  t.restart();
  ds.Open();
  b.paint();
  std::printf("  %-46s %9.1f ms\n", "open and paint, called directly (in process)", t.nsecsElapsed() / 1e6);
  ds.RecordCount64();

  t.restart();
  ds.Last();
  b.paint();
  report("go to the last record", t.nsecsElapsed() / 1e6, 1000, "ms");
  t.restart();
  ds.SetRecNo(ds.RecordCount64() / 2);
  b.paint();
  for (int i = 0; i < 1000; ++i)  // browse on from the middle
    ds.Next();
  b.paint();
  const double middle = t.nsecsElapsed() / 1e6;
  t.restart();
  ds.First();
  for (int i = 0; i < 1000; ++i)
    ds.Next();
  b.paint();
  std::printf("  %-46s %9.1f ms (middle and 1,000 rows on), %.1f ms (top and 1,000 rows on)\n", "browse", middle,
              t.nsecsElapsed() / 1e6);
  // Letting go of the read lock while nobody reads, and taking up reading at the same record.
  ds.SetRecNo(ds.RecordCount64() / 2);
  for (int i = 0; i < 1000; ++i)
    ds.Next();
  t.restart();
  ds.ReleaseReads();
  const double release = t.nsecsElapsed() / 1e6;
  t.restart();
  for (int i = 0; i < 1000; ++i)
    ds.Next();
  b.paint();
  std::printf("  %-46s %9.1f ms release, %.1f ms to read 1,000 rows on from the middle\n", "let go of the read lock, take up",
              release, t.nsecsElapsed() / 1e6);
  report("peak memory above the program's own", (statusKiB("VmHWM:") - baseKiB) / 1024.0, 100, "MiB");
  ds.Close();
}

void openBenchDatabase(TDatabase& db, const QString& aliasFile, const QByteArray& section, const QByteArray& user,
                       const QByteArray& password)
{
  useAliases(aliasFile, section);
  Session().SetActive(false);
  Session().SetActive(true);
  db.SetDatabaseName(QStringLiteral("BenchDB"));
  db.SetAliasName(QStringLiteral("Big"));
  db.Params << QStringLiteral("USER NAME=") + QString::fromUtf8(user) << QStringLiteral("PASSWORD=") + QString::fromUtf8(password);
  db.Open();
}

int64_t walkRecords(TDataSet& ds)
{
  int64_t bytes = 0;
  ds.DisableControls();
  for (ds.First(); !ds.Eof(); ds.Next())
    for (int i = 0; i < ds.FieldCount(); ++i)
      bytes += ds.Fields(i)->Value().rawBytes().size();
  ds.EnableControls();
  return bytes;
}

}  // namespace bench
