#include "dataaccess/DBErrors.h"

#include <QStringList>

EDatabaseError::EDatabaseError(const QString& message) : std::runtime_error(message.toStdString()) {}

static QString joinMessages(const std::vector<TDBError>& errors)
{
  QStringList lines;
  for (const TDBError& e : errors)
    lines << e.Message;
  return lines.join(QLatin1Char('\n'));
}

EDBEngineError::EDBEngineError(std::vector<TDBError> errors)
    : EDatabaseError(joinMessages(errors)), FErrors(std::move(errors))
{
}

EDBEngineError::EDBEngineError(const QString& engineMessage, const QString& databaseMessage, int nativeError)
    : EDBEngineError(std::vector<TDBError>{{engineMessage, DBErrorCode::Connection, 0},
                                           {databaseMessage, DBErrorCode::Database, nativeError}})
{
}

EDBEngineError::EDBEngineError(const QString& engineMessage)
    : EDBEngineError(std::vector<TDBError>{{engineMessage, DBErrorCode::Configuration, 0}})
{
}
