#include "dataaccess/AliasConfig.h"

#include "dataaccess/DBErrors.h"

#include <QCoreApplication>
#include <QDir>
#include <QHash>
#include <QSet>
#include <QFile>
#include <QFileInfo>

std::optional<QString> TAliasConfig::value(const QString& key) const
{
  for (const Entry& e : Entries)
    if (e.Key.compare(key, Qt::CaseInsensitive) == 0)
      return e.Value;
  return std::nullopt;
}

int TAliasConfig::lineOf(const QString& key) const
{
  for (const Entry& e : Entries)
    if (e.Key.compare(key, Qt::CaseInsensitive) == 0)
      return e.Line;
  return Line;
}

QString TAliasConfig::where(int line) const
{
  return QStringLiteral("%1:%2").arg(QDir::toNativeSeparators(FileName), QString::number(line));
}

QString TAliasConfig::required(const QString& key) const
{
  const std::optional<QString> v = value(key);
  if (!v || v->isEmpty())
    throw EDBEngineError(QStringLiteral("%1: alias '%2' has no '%3' setting.").arg(where(Line), Name, key));
  return *v;
}

QString TAliasConfig::path(const QString& key) const
{
  const QString p = required(key);
  if (QDir::isAbsolutePath(p))
    return QDir::cleanPath(p);
  return QDir::cleanPath(QFileInfo(FileName).absoluteDir().filePath(p));
}

TAliasFile TAliasFile::load(const QString& fileName)
{
  // A pipe would hold the start-up forever and a device feed it without end: a regular file of a
  // size an alias file can have, or a clear message.
  constexpr qint64 largest = 16 * 1024 * 1024;
  const QString shown = QDir::toNativeSeparators(fileName);
  const QFileInfo info(fileName);
  if (info.exists() && !info.isFile())
    throw EDBEngineError(QStringLiteral("Cannot read the alias file %1: it is not a regular file.").arg(shown));
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    throw EDBEngineError(QStringLiteral("Cannot read the alias file %1: %2.").arg(shown, file.errorString()));
  const QByteArray content = file.read(largest + 1);
  if (content.size() > largest)
    throw EDBEngineError(QStringLiteral("Cannot read the alias file %1: it is larger than 16 MiB.").arg(shown));
  return parse(info.absoluteFilePath(), content);
}

TAliasFile TAliasFile::parse(const QString& fileName, const QByteArray& content)
{
  TAliasFile result;
  result.FFileName = fileName;
  const QString text = QString::fromUtf8(content);
  const QStringList lines = text.split(QLatin1Char('\n'));
  // A bad line costs only the alias it belongs to: the others stay usable, and every bad line is
  // named, not just the first.
  std::vector<bool> bad;  // per alias read
  bool inBadSection = false;  // the keys under a header that could not be read belong to nothing
  auto problem = [&](int line, const QString& what) {
    result.FProblems << QStringLiteral("%1:%2: %3").arg(QDir::toNativeSeparators(fileName), QString::number(line), what);
  };
  // Names seen so far, case folded, with their lines: looked up, not searched, so that reading stays
  // linear in the file's size however many aliases or keys it holds.
  QHash<QString, int> sectionLines;
  QSet<QString> sectionKeys;
  for (int i = 0; i < lines.size(); ++i) {
    const int lineNo = i + 1;
    QString line = lines.at(i);
    if (line.endsWith(QLatin1Char('\r')))
      line.chop(1);
    if (i == 0 && line.startsWith(QChar(0xFEFF)))
      line.remove(0, 1);
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#')))
      continue;
    if (trimmed.startsWith(QLatin1Char('['))) {
      inBadSection = true;
      sectionKeys.clear();
      if (!trimmed.endsWith(QLatin1Char(']'))) {
        problem(lineNo, QStringLiteral("a section header must end with ']'."));
        continue;
      }
      const QString name = trimmed.mid(1, trimmed.size() - 2).trimmed();
      if (name.isEmpty()) {
        problem(lineNo, QStringLiteral("the alias name is empty."));
        continue;
      }
      if (const auto seen = sectionLines.constFind(name.toCaseFolded()); seen != sectionLines.cend()) {
        problem(lineNo, QStringLiteral("alias '%1' is already defined on line %2.").arg(name, QString::number(*seen)));
        continue;
      }
      sectionLines.insert(name.toCaseFolded(), lineNo);
      inBadSection = false;
      TAliasConfig alias;
      alias.Name = name;
      alias.FileName = fileName;
      alias.Line = lineNo;
      result.FAliases.push_back(std::move(alias));
      bad.push_back(false);
      continue;
    }
    if (inBadSection)
      continue;  // already reported with its header
    const qsizetype eq = trimmed.indexOf(QLatin1Char('='));
    const QString key = eq < 0 ? QString() : trimmed.left(eq).trimmed();
    QString what;
    if (eq < 0)
      what = QStringLiteral("expected 'key=value' or '[alias]', found '%1'.").arg(trimmed);
    else if (key.isEmpty())
      what = QStringLiteral("the key before '=' is empty.");
    else if (result.FAliases.empty())
      what = QStringLiteral("'%1' stands before the first [alias] section.").arg(key);
    else if (sectionKeys.contains(key.toCaseFolded()))
      what = QStringLiteral("'%1' is set twice in alias '%2'.").arg(key, result.FAliases.back().Name);
    if (!what.isEmpty()) {
      problem(lineNo, what);
      if (!result.FAliases.empty())
        bad.back() = true;  // an alias with a line that does not read is not used half-read
      continue;
    }
    sectionKeys.insert(key.toCaseFolded());
    result.FAliases.back().Entries.push_back({key, trimmed.mid(eq + 1).trimmed(), lineNo});
  }
  std::vector<TAliasConfig> good;
  good.reserve(result.FAliases.size());
  for (size_t a = 0; a < result.FAliases.size(); ++a)
    if (!bad[a])
      good.push_back(std::move(result.FAliases[a]));
  result.FAliases = std::move(good);
  return result;
}

void TAliasFile::raiseProblems() const
{
  if (FProblems.isEmpty())
    return;
  std::vector<TDBError> entries;
  for (const QString& p : FProblems)
    entries.push_back({p, DBErrorCode::Configuration, 0});
  throw EDBEngineError(std::move(entries));
}

const TAliasConfig* TAliasFile::find(const QString& name) const
{
  for (const TAliasConfig& a : FAliases)
    if (a.Name.compare(name, Qt::CaseInsensitive) == 0)
      return &a;
  return nullptr;
}

QString TAliasFile::userFileName()
{
  const QByteArray named = qgetenv("KESTREL_ALIASES");
  if (!named.isEmpty())
    return QString::fromLocal8Bit(named);
  QString configHome = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
  if (configHome.isEmpty())
    configHome = QDir::homePath() + QStringLiteral("/.config");
  return configHome + QStringLiteral("/kestrel/aliases.ini");
}

QString TAliasFile::locate()
{
  // A file named by KESTREL_ALIASES is named on purpose: a missing one is an error, not a fallback.
  const QString user = userFileName();
  if (!qEnvironmentVariableIsEmpty("KESTREL_ALIASES") || QFileInfo::exists(user))
    return user;
  if (QCoreApplication::instance()) {
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/aliases.ini");
    if (QFileInfo::exists(beside))
      return beside;
    // Installed: bin/kestrel with its data in share/kestrel.
    const QString installed = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/kestrel/aliases.ini");
    if (QFileInfo::exists(installed))
      return QFileInfo(installed).absoluteFilePath();
  }
  return QString();
}
