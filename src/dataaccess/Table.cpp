#include "dataaccess/Table.h"

#include "dataaccess/DBErrors.h"

#include <algorithm>

void TTable::SetTableName(const QString& name)
{
  CheckInactive("the table name");
  FTableName = name;
}

std::vector<int> TTable::IndexFieldNos() const
{
  std::vector<std::pair<int, int>> key;  // position in key, field number
  for (size_t i = 0; i < FDescription.Columns.size(); ++i)
    if (FDescription.Columns[i].KeyPosition > 0)
      key.emplace_back(FDescription.Columns[i].KeyPosition, int(i) + 1);
  std::sort(key.begin(), key.end());
  std::vector<int> result;
  for (const auto& k : key)
    result.push_back(k.second);
  return result;
}

std::unique_ptr<TDriverCursor> TTable::OpenCursor(TDriverConnection& connection, bool refreshDefs)
{
  if (FTableName.isEmpty())
    throw EDatabaseError(QStringLiteral("No table name given."));
  if (refreshDefs) {
    FDescription = connection.describeTable(FTableName);
    for (size_t i = 0; i < FDescription.Columns.size(); ++i) {
      const TColumnInfo& c = FDescription.Columns[i];
      FieldDefs().Add({c.Name, c.DataType, c.Size, c.Precision, c.Required, int(i) + 1, c.KeyPosition > 0});
    }
  }
  return connection.openTableRows(FTableName, FDescription);
}

int64_t TTable::CountRecords(TDriverConnection& connection)
{
  return connection.tableRowCount(FTableName);
}
