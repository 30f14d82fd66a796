#pragma once

#include "dataaccess/AliasConfig.h"

#include <QStringList>
#include <deque>
#include <optional>
#include <vector>

class TDatabase;

// The engine's session: its aliases, and the connections that run in it by database name.
class TSession {
public:
  QString SessionName = QStringLiteral("Default");
  // When on, the engine would show a wait cursor during server calls. The program turns it off and
  // sets the cursor itself; this engine never touches the cursor either way.
  bool SQLHourGlass = true;

  bool Active() const { return FActive; }
  // Activating re-reads the alias configuration on next use.
  void SetActive(bool active);

  // Every configured alias name, in the configuration's order. Raises EDBEngineError when the
  // alias file cannot be read or does not parse.
  void GetAliasNames(QStringList& list);
  // The alias's settings; EDBEngineError when the alias is not configured.
  const TAliasConfig& FindAlias(const QString& aliasName);

  // The table names of the open database called databaseName. pattern uses * and ? (empty: all);
  // extensions would add file extensions to names of file-based tables (none here).
  void GetTableNames(const QString& databaseName, const QString& pattern, bool extensions, bool systemTables,
                     QStringList& list);

  // The connection component with this DatabaseName (compared without regard to case), or nullptr.
  TDatabase* FindDatabase(const QString& databaseName) const;
  void AddDatabase(TDatabase* database);
  void RemoveDatabase(TDatabase* database);

  // Raises EDBEngineError naming every line of the alias file that did not read (the aliases of
  // those lines are left out; the others are listed).
  void RaiseAliasFileProblems() { aliasFile().raiseProblems(); }
  // Reads the alias file again on next use, as after the program changed it.
  void ReloadAliases() { FAliases.reset(); }
  // Which alias file is in use; empty when none exists. For tests and messages.
  QString AliasFileName();

  // An alias for this run only (a database file opened from the window or the command line): listed
  // and found after the configured ones, never written to a file. Its name must be new.
  void AddRunAlias(TAliasConfig alias);
  void ClearRunAliases() { FRunAliases.clear(); }
  // A name no alias has yet: base, else "base (2)", "base (3)" ...
  QString UnusedAliasName(const QString& base);
  // The run alias over this database file, or empty.
  QString RunAliasOf(const QString& databaseFile) const;

private:
  const TAliasFile& aliasFile();

  bool FActive = true;
  std::optional<TAliasFile> FAliases;
  std::deque<TAliasConfig> FRunAliases;  // a deque: FindAlias hands out references
  std::vector<TDatabase*> FDatabases;
};

// The default session, "Default".
TSession& Session();
