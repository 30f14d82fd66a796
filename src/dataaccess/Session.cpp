#include "dataaccess/Session.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/Database.h"
#include "dataaccess/Driver.h"

#include <algorithm>

TSession& Session()
{
  static TSession session;
  return session;
}

void TSession::SetActive(bool active)
{
  if (active == FActive)
    return;
  FActive = active;
  if (active)
    FAliases.reset();
}

const TAliasFile& TSession::aliasFile()
{
  if (!FAliases) {
    const QString file = TAliasFile::locate();
    FAliases = file.isEmpty() ? TAliasFile() : TAliasFile::load(file);
  }
  return *FAliases;
}

QString TSession::AliasFileName()
{
  return aliasFile().fileName();
}

void TSession::GetAliasNames(QStringList& list)
{
  list.clear();
  for (const TAliasConfig& a : aliasFile().aliases())
    list << a.Name;
  for (const TAliasConfig& a : FRunAliases)
    list << a.Name;
}

void TSession::AddRunAlias(TAliasConfig alias)
{
  FRunAliases.push_back(std::move(alias));
}

QString TSession::RunAliasOf(const QString& databaseFile) const
{
  for (const TAliasConfig& alias : FRunAliases)
    if (alias.value(QStringLiteral("Database")) == databaseFile)
      return alias.Name;
  return QString();
}

QString TSession::UnusedAliasName(const QString& base)
{
  QStringList names;
  GetAliasNames(names);
  QString name = base;
  for (int n = 2; names.contains(name, Qt::CaseInsensitive); ++n)
    name = QStringLiteral("%1 (%2)").arg(base, QString::number(n));
  return name;
}

const TAliasConfig& TSession::FindAlias(const QString& aliasName)
{
  const TAliasFile& file = aliasFile();
  if (const TAliasConfig* alias = file.find(aliasName))
    return *alias;
  for (const TAliasConfig& alias : FRunAliases)
    if (alias.Name.compare(aliasName, Qt::CaseInsensitive) == 0)
      return alias;
  if (file.fileName().isEmpty())
    throw EDBEngineError(QStringLiteral("Unknown alias '%1': no alias file was found.").arg(aliasName));
  throw EDBEngineError(QStringLiteral("Unknown alias '%1': it is not defined in %2.").arg(aliasName, file.fileName()));
}

void TSession::GetTableNames(const QString& databaseName, const QString& pattern, bool /*extensions*/,
                             bool systemTables, QStringList& list)
{
  TDatabase* db = FindDatabase(databaseName);
  if (!db || !db->Connected())
    throw EDBEngineError(QStringLiteral("Database '%1' is not open.").arg(databaseName));
  list = db->Connection().tableNames(pattern, systemTables);
}

TDatabase* TSession::FindDatabase(const QString& databaseName) const
{
  for (TDatabase* db : FDatabases)
    if (db->DatabaseName().compare(databaseName, Qt::CaseInsensitive) == 0)
      return db;
  return nullptr;
}

void TSession::AddDatabase(TDatabase* database)
{
  FDatabases.push_back(database);
}

void TSession::RemoveDatabase(TDatabase* database)
{
  FDatabases.erase(std::remove(FDatabases.begin(), FDatabases.end(), database), FDatabases.end());
}
