#include "dataaccess/Table.h"

#include "dataaccess/DBErrors.h"


void TTable::SetTableName(const QString& name)
{
  CheckInactive("the table name");
  FTableName = name;
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
