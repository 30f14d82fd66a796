#include "dataaccess/Database.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/DataSet.h"
#include "dataaccess/Driver.h"
#include "dataaccess/Session.h"

#include <algorithm>

TDatabase::TDatabase()
{
  Session().AddDatabase(this);
}

TDatabase::~TDatabase()
{
  // Datasets may outlive us in teardown order; they must not reach a dead connection.
  for (TDataSet* ds : FDataSets)
    ds->DatabaseGone();
  FConnection.reset();
  Session().RemoveDatabase(this);
}

static void requireClosed(bool connected, const char* what)
{
  if (connected)
    throw EDatabaseError(QStringLiteral("Cannot change %1 of an open database.").arg(QLatin1String(what)));
}

void TDatabase::SetDatabaseName(const QString& name)
{
  requireClosed(Connected(), "the database name");
  FDatabaseName = name;
}

void TDatabase::SetAliasName(const QString& name)
{
  requireClosed(Connected(), "the alias");
  FAliasName = name;
}

QString TDatabase::ParamValue(const QString& name) const
{
  for (const QString& line : Params) {
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq >= 0 && line.left(eq).compare(name, Qt::CaseInsensitive) == 0)
      return line.mid(eq + 1);
  }
  return QString();
}

void TDatabase::Open()
{
  if (Connected())
    return;
  if (FAliasName.isEmpty())
    throw EDBEngineError(QStringLiteral("Database '%1' has no alias to connect to.").arg(FDatabaseName));
  const TAliasConfig& alias = Session().FindAlias(FAliasName);
  const QString driverName = alias.required(QStringLiteral("Driver"));
  TDriver* driver = findDriver(driverName);
  if (!driver)
    throw EDBEngineError(QStringLiteral("%1: alias '%2' names the unknown driver '%3' (known: %4).")
                             .arg(alias.where(alias.lineOf(QStringLiteral("Driver"))), alias.Name, driverName,
                                  driverNames().join(QStringLiteral(", "))));
  FConnection = driver->connect(alias, ParamValue(QStringLiteral("USER NAME")), ParamValue(QStringLiteral("PASSWORD")));
  FLost = false;
  FConnection->ConnectionStateChanged = [this](bool lost) {
    FLost = lost;
    if (OnConnectionState)
      OnConnectionState(*this, lost);
  };
  if (AfterConnect)
    AfterConnect(*this);
}

void TDatabase::Close()
{
  if (!Connected())
    return;
  const std::vector<TDataSet*> dataSets = FDataSets;  // closing may unregister
  for (TDataSet* ds : dataSets)
    ds->Close();
  FConnection.reset();
  if (AfterDisconnect)
    AfterDisconnect(*this);
}

TDriverConnection& TDatabase::Connection()
{
  if (!FConnection)
    throw EDBEngineError(QStringLiteral("Database '%1' is not open.").arg(FDatabaseName));
  return *FConnection;
}

void TDatabase::RegisterDataSet(TDataSet* dataSet)
{
  if (std::find(FDataSets.begin(), FDataSets.end(), dataSet) == FDataSets.end())
    FDataSets.push_back(dataSet);
}

void TDatabase::UnregisterDataSet(TDataSet* dataSet)
{
  FDataSets.erase(std::remove(FDataSets.begin(), FDataSets.end(), dataSet), FDataSets.end());
}
