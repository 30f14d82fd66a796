#pragma once

#include "dataaccess/DataSet.h"

#include <QStringList>

// A statement's result. Opening always carries the statement out; one that returns no rows raises
// ENoResultSet after it ran. The result is read-only.
class TQuery : public TDataSet {
public:
  QStringList SQL;
  // Rows changed by the last execution; below 0 when unknown.
  int64_t RowsAffected() const { return FRowsAffected; }

protected:
  std::unique_ptr<TRowSource> OpenSource(TDriverConnection& connection) override;

private:
  int64_t FRowsAffected = -1;
};
