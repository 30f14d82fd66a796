#pragma once

#include "dataaccess/DataSource.h"
#include "dbcontrols/DBGrid.h"

class TDataSet;

namespace bench {

// The program's own grid, offscreen, over a dataset: what a user would see.
struct Browser {
  TDataSource source;
  TDBGrid grid;
  explicit Browser(TDataSet& ds);
  // Paints what a user would see now, as the screen would.
  void paint() { grid.viewport()->repaint(); }
};

// Opens the dataset in a grid and reports the first screen, the count after it, the last record,
// browsing from the middle and from the top, and the peak memory above baseKiB; closes it again.
void browse(const char* title, TDataSet& ds, long baseKiB, double firstScreenTargetMs);

}  // namespace bench
