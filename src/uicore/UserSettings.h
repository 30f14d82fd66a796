#pragma once

#include <QString>
#include <QStringList>

// What the program remembers for its user between runs (QSettings, in the user's configuration
// folder): lists of recent files, the folders last used, window and splitter states. Never a
// password or anything typed into a login.
namespace UserSettings {

constexpr int recentCount = 8;

// Most recent first, without files that are gone.
QStringList recentFiles(const QString& list);
// Puts the file first in the list, which keeps recentCount entries.
void addRecentFile(const QString& list, const QString& fileName);

// The folder last used for a kind of file ("sql", "export", "database"); empty when none.
QString folder(const QString& kind);
// Remembers the folder of this file for its kind.
void rememberFolderOf(const QString& kind, const QString& fileName);

QByteArray state(const QString& key);
void setState(const QString& key, const QByteArray& value);

}  // namespace UserSettings
