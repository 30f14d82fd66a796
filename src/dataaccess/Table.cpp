#include "dataaccess/Table.h"

#include "dataaccess/DBErrors.h"

void TTable::SetTableName(const QString& name)
{
  CheckInactive("the table name");
  FTableName = name;
}

std::unique_ptr<TRowSource> TTable::OpenSource(TDriverConnection& connection)
{
  if (FTableName.isEmpty())
    throw EDatabaseError(QStringLiteral("No table name given."));
  const TTableDescription description = connection.describeTable(FTableName);
  std::unique_ptr<TRowSource> source = connection.openTable(FTableName, description);
  FieldDefsFromColumns(*source);
  return source;
}
