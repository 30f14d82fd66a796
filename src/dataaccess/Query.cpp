#include "dataaccess/Query.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/Driver.h"
#include "dataaccess/SqlText.h"

std::unique_ptr<TRowSource> TQuery::OpenSource(TDriverConnection& connection)
{
  const QString text = SQL.join(QLatin1Char('\n'));
  // Parameter markers are recognised, and this program never gives them values.
  const QStringList parameters = SqlText::parameterNames(text);
  if (!parameters.isEmpty())
    throw EDatabaseError(QStringLiteral("No value for parameter '%1'").arg(parameters.first()));
  FRowsAffected = -1;
  TExecResult result = connection.execute(text);
  FRowsAffected = result.RowsAffected;
  if (!result.Rows)
    throw ENoResultSet(QStringLiteral("The statement returned no result set."));
  FieldDefsFromColumns(*result.Rows);
  return std::move(result.Rows);
}
