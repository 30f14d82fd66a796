#pragma once

#include "dataaccess/DataSource.h"
#include "dbcontrols/DBGrid.h"

#include <QElapsedTimer>
#include <cstdint>

class TDataSet;
class TDatabase;

namespace bench {

// The program's grid noting when it first painted rows: what a user sees is what was painted.
struct PaintWatchingGrid : TDBGrid {
  const QElapsedTimer* clock = nullptr;
  qint64 paintedNs = -1;  // since the clock's start, when a paint first showed rows; -1 before
  void paintEvent(QPaintEvent* event) override
  {
    TDBGrid::paintEvent(event);
    if (paintedNs < 0 && clock && !CellText(TopPosition(), 0).isEmpty())
      paintedNs = clock->nsecsElapsed();
  }
};

// The program's own grid, offscreen, over a dataset: what a user would see.
struct Browser {
  TDataSource source;
  PaintWatchingGrid grid;
  explicit Browser(TDataSet& ds);
  // Paints what a user would see now, as the screen would.
  void paint() { grid.viewport()->repaint(); }
};

// Opens the dataset in a grid and reports the first screen, the count after it, the last record,
// browsing from the middle and from the top, and the peak memory above baseKiB; closes it again.
void browse(const char* title, TDataSet& ds, long baseKiB, double firstScreenTargetMs);

// Points the program at an alias file holding section (an alias named Big) and opens the database
// BenchDB on it, logged in as user.
void openBenchDatabase(TDatabase& db, const QString& aliasFile, const QByteArray& section, const QByteArray& user,
                       const QByteArray& password);

// Every record and every field's value, as an export reads them; returns the bytes of values seen.
int64_t walkRecords(TDataSet& ds);

}  // namespace bench
