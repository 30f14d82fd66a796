#pragma once

#include <QByteArray>
#include <QString>
#include <utility>
#include <vector>

// Changes to the alias file made from the window. Each works on the file's text and changes only
// the lines of the one alias: every comment, blank line, other alias and line ending stays as the
// user wrote it.
struct TAliasSettings {
  QString Name;
  std::vector<std::pair<QString, QString>> Entries;  // key and value, in the order to write them
};

// The text with the alias added at the end (oldName empty) or the alias oldName changed to these
// settings: its header renamed, keys kept in place with their new values, keys no longer set
// removed, new keys added after its last key.
QByteArray aliasFileWithAlias(const QByteArray& content, const QString& oldName, const TAliasSettings& alias);
// The text without the alias: its header and the lines up to the next alias's comments or header.
QByteArray aliasFileWithoutAlias(const QByteArray& content, const QString& name);

// Why these settings cannot be written as an alias, or empty: a name the file could not read back
// (empty, with brackets or a line break, or starting with a comment mark) or a value with a line
// break.
QString aliasSettingsFault(const TAliasSettings& alias);

// The text a new user alias file starts from: the file in use (the one beside the program), with
// the database files of its SQLite aliases made absolute so that they still name the same files
// from the new file's folder. Empty when there is none.
QByteArray userAliasFileStart(const QString& fileInUse);
// Writes the file whole or not at all (the old one stays until the new one is complete), making
// its folder first. Raises EDatabaseError with the system's reason.
void writeAliasFile(const QString& fileName, const QByteArray& content);
