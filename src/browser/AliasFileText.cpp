#include "browser/AliasFileText.h"

#include "dataaccess/AliasConfig.h"
#include "dataaccess/DBErrors.h"
#include "platform/FileSink.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

namespace {

// The file's lines without their ends, and the end it uses (CR LF when its first line has one).
struct Lines {
  QList<QByteArray> Items;
  QByteArray End = "\n";
  bool EndsWithBreak = true;

  explicit Lines(const QByteArray& content)
  {
    if (content.isEmpty())
      return;
    Items = content.split('\n');
    EndsWithBreak = content.endsWith('\n');
    if (EndsWithBreak)
      Items.removeLast();
    if (!Items.isEmpty() && Items.first().endsWith('\r'))
      End = "\r\n";
    for (QByteArray& line : Items)
      if (line.endsWith('\r'))
        line.chop(1);
  }
  QByteArray join() const
  {
    QByteArray out;
    for (qsizetype i = 0; i < Items.size(); ++i) {
      out += Items.at(i);
      if (i + 1 < Items.size() || EndsWithBreak)
        out += End;
    }
    return out;
  }
};

QByteArray trimmedLine(const QByteArray& line)
{
  QByteArray t = line.trimmed();
  if (t.startsWith("\xEF\xBB\xBF"))
    t = t.mid(3).trimmed();
  return t;
}

bool isHeader(const QByteArray& line) { return trimmedLine(line).startsWith('['); }
bool isComment(const QByteArray& line)
{
  const QByteArray t = trimmedLine(line);
  return t.isEmpty() || t.startsWith(';') || t.startsWith('#');
}
QString headerName(const QByteArray& line)
{
  const QByteArray t = trimmedLine(line);
  return QString::fromUtf8(t.mid(1, t.size() - 2)).trimmed();
}
QString keyOf(const QByteArray& line)
{
  const QByteArray t = trimmedLine(line);
  const qsizetype eq = t.indexOf('=');
  return eq < 0 ? QString() : QString::fromUtf8(t.left(eq)).trimmed();
}

// The alias's header line and the line after its last key; -1 when the alias is not there.
std::pair<qsizetype, qsizetype> sectionOf(const Lines& lines, const QString& name)
{
  for (qsizetype i = 0; i < lines.Items.size(); ++i) {
    if (!isHeader(lines.Items.at(i)) || headerName(lines.Items.at(i)).compare(name, Qt::CaseInsensitive) != 0)
      continue;
    qsizetype end = i + 1;
    for (qsizetype j = i + 1; j < lines.Items.size() && !isHeader(lines.Items.at(j)); ++j)
      if (!isComment(lines.Items.at(j)))
        end = j + 1;
    return {i, end};
  }
  return {-1, -1};
}

QByteArray entryLine(const QString& key, const QString& value) { return (key + QLatin1Char('=') + value).toUtf8(); }

}  // namespace

QString aliasSettingsFault(const TAliasSettings& alias)
{
  const QString name = alias.Name.trimmed();
  if (name.isEmpty())
    return QStringLiteral("The connection needs a name.");
  if (name.contains(QLatin1Char('[')) || name.contains(QLatin1Char(']')) || name.contains(QLatin1Char('\n')) ||
      name.contains(QLatin1Char('\r')) || name.startsWith(QLatin1Char(';')) || name.startsWith(QLatin1Char('#')))
    return QStringLiteral("A connection name cannot hold '[', ']' or a line break, nor start with ';' or '#'.");
  for (const auto& [key, value] : alias.Entries)
    if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')))
      return QStringLiteral("%1 cannot hold a line break.").arg(key);
  return QString();
}

QByteArray aliasFileWithAlias(const QByteArray& content, const QString& oldName, const TAliasSettings& alias)
{
  Lines lines(content);
  const auto [header, end] = oldName.isEmpty() ? std::pair<qsizetype, qsizetype>{-1, -1} : sectionOf(lines, oldName);
  if (header < 0) {
    if (!lines.Items.isEmpty() && !trimmedLine(lines.Items.last()).isEmpty())
      lines.Items << QByteArray();  // a blank line between aliases
    lines.Items << ('[' + alias.Name.toUtf8() + ']');
    for (const auto& [key, value] : alias.Entries)
      lines.Items << entryLine(key, value);
    lines.EndsWithBreak = true;
    return lines.join();
  }
  lines.Items[header] = '[' + alias.Name.toUtf8() + ']';
  std::vector<bool> written(alias.Entries.size(), false);
  qsizetype last = end;
  for (qsizetype i = end - 1; i > header; --i) {
    const QString key = keyOf(lines.Items.at(i));
    if (isComment(lines.Items.at(i)) || key.isEmpty())
      continue;
    bool kept = false;
    for (size_t e = 0; e < alias.Entries.size(); ++e)
      if (alias.Entries[e].first.compare(key, Qt::CaseInsensitive) == 0) {
        lines.Items[i] = entryLine(key, alias.Entries[e].second);  // the key as the user spelled it
        written[e] = kept = true;
      }
    if (!kept) {
      lines.Items.removeAt(i);
      --last;
    }
  }
  for (size_t e = 0; e < alias.Entries.size(); ++e)
    if (!written[e])
      lines.Items.insert(last++, entryLine(alias.Entries[e].first, alias.Entries[e].second));
  return lines.join();
}

QByteArray aliasFileWithoutAlias(const QByteArray& content, const QString& name)
{
  Lines lines(content);
  const auto [header, end] = sectionOf(lines, name);
  if (header < 0)
    return content;
  qsizetype to = end;
  while (to < lines.Items.size() && trimmedLine(lines.Items.at(to)).isEmpty())
    ++to;  // the blank lines after it go too
  qsizetype from = header;
  if (to == lines.Items.size())  // the last alias: the blank lines that set it apart go too
    while (from > 0 && trimmedLine(lines.Items.at(from - 1)).isEmpty())
      --from;
  lines.Items.remove(from, to - from);
  return lines.join();
}

QByteArray userAliasFileStart(const QString& fileInUse)
{
  if (fileInUse.isEmpty())
    return QByteArray();
  QFile file(fileInUse);
  if (!file.open(QIODevice::ReadOnly))
    throw EDatabaseError(QStringLiteral("Cannot read the alias file %1: %2.").arg(QDir::toNativeSeparators(fileInUse), file.errorString()));
  QByteArray content = file.readAll();
  const TAliasFile aliases = TAliasFile::parse(QFileInfo(fileInUse).absoluteFilePath(), content);
  for (const TAliasConfig& a : aliases.aliases()) {
    const std::optional<QString> database = a.value(QStringLiteral("Database"));
    if (a.value(QStringLiteral("Driver")).value_or(QString()).compare(QLatin1String("SQLite"), Qt::CaseInsensitive) != 0 ||
        !database || QDir::isAbsolutePath(*database))
      continue;
    TAliasSettings settings{a.Name, {}};
    for (const TAliasConfig::Entry& e : a.Entries)
      settings.Entries.emplace_back(e.Key, e.Key.compare(QLatin1String("Database"), Qt::CaseInsensitive) == 0
                                               ? a.path(QStringLiteral("Database")) : e.Value);
    content = aliasFileWithAlias(content, a.Name, settings);
  }
  return content;
}

void writeAliasFile(const QString& fileName, const QByteArray& content)
{
  const QString folder = QFileInfo(fileName).absolutePath();
  if (!QDir().mkpath(folder))
    throw EDatabaseError(QStringLiteral("Cannot create the folder %1.").arg(QDir::toNativeSeparators(folder)));
  try {
    TFileSink sink(fileName);
    sink.write(content.constData(), content.size());
    sink.commit();
  } catch (const EFileSinkError& e) {
    throw EDatabaseError(QString::fromUtf8(e.what()));
  }
}
