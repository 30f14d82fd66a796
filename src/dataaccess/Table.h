#pragma once

#include "dataaccess/DataSet.h"
#include "dataaccess/Driver.h"

// A table's rows, open on its primary key order; one field per column, in the table's order.
class TTable : public TDataSet {
public:
  QString TableName() const { return FTableName; }
  void SetTableName(const QString& name);  // while closed

protected:
  std::unique_ptr<TRowSource> OpenSource(TDriverConnection& connection) override;

private:
  QString FTableName;
};
