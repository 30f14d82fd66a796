#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// One alias of the engine's configuration: a section of the alias file.
struct TAliasConfig {
  QString Name;
  QString FileName;  // the alias file it came from
  int Line = 0;      // line of its section header
  struct Entry {
    QString Key;
    QString Value;
    int Line = 0;
  };
  std::vector<Entry> Entries;

  // A key's value (keys compare without regard to case); nullopt when absent.
  std::optional<QString> value(const QString& key) const;
  int lineOf(const QString& key) const;  // the key's line, or the section's when absent
  // The value of a key that must be there; raises an engine error naming file, line and key.
  QString required(const QString& key) const;
  // A path value resolved against the alias file's folder.
  QString path(const QString& key) const;
  // "file:line: message" in the engine's words.
  QString where(int line) const;
};

// The alias file: INI text, one section per alias, "key=value" lines, ";" or "#" comments.
class TAliasFile {
public:
  // Reads and parses. A line that does not read is a problem (problems()); the alias it belongs to
  // is left out and the others are read. A file that cannot be read raises EDBEngineError.
  static TAliasFile load(const QString& fileName);
  static TAliasFile parse(const QString& fileName, const QByteArray& content);

  // Where the aliases come from: $KESTREL_ALIASES; else $XDG_CONFIG_HOME/kestrel/aliases.ini (or
  // ~/.config/kestrel/aliases.ini) when it exists; else aliases.ini beside the program; else, for an
  // installed program, share/kestrel/aliases.ini beside its bin folder.
  // Empty when none of them exists (an engine without aliases).
  static QString locate();
  // The user's own alias file, the one the program writes: $KESTREL_ALIASES, else
  // $XDG_CONFIG_HOME/kestrel/aliases.ini (~/.config/kestrel/aliases.ini), whether it exists or not.
  static QString userFileName();

  const QString& fileName() const { return FFileName; }
  const std::vector<TAliasConfig>& aliases() const { return FAliases; }
  // "file:line: what is wrong" for every line that did not read, in the file's order.
  const QStringList& problems() const { return FProblems; }
  // Raises EDBEngineError with one entry per problem; does nothing without any.
  void raiseProblems() const;
  const TAliasConfig* find(const QString& name) const;

private:
  QString FFileName;
  std::vector<TAliasConfig> FAliases;
  QStringList FProblems;
};
