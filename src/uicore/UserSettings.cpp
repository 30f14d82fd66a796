#include "uicore/UserSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace UserSettings {

namespace {

QSettings settings()
{
  return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kestrel"), QStringLiteral("kestrel"));
}

}  // namespace

QStringList recentFiles(const QString& list)
{
  QStringList files = settings().value(QStringLiteral("recent/") + list).toStringList();
  files.removeIf([](const QString& f) { return !QFileInfo(f).isFile(); });
  return files.mid(0, recentCount);
}

void addRecentFile(const QString& list, const QString& fileName)
{
  const QString path = QFileInfo(fileName).absoluteFilePath();
  QStringList files = settings().value(QStringLiteral("recent/") + list).toStringList();
  files.removeAll(path);
  files.prepend(path);
  settings().setValue(QStringLiteral("recent/") + list, files.mid(0, recentCount));
}

QString folder(const QString& kind)
{
  const QString dir = settings().value(QStringLiteral("folders/") + kind).toString();
  return QFileInfo(dir).isDir() ? dir : QString();
}

void rememberFolderOf(const QString& kind, const QString& fileName)
{
  settings().setValue(QStringLiteral("folders/") + kind, QFileInfo(fileName).absolutePath());
}

QByteArray state(const QString& key)
{
  return settings().value(QStringLiteral("window/") + key).toByteArray();
}

void setState(const QString& key, const QByteArray& value)
{
  settings().setValue(QStringLiteral("window/") + key, value);
}

}  // namespace UserSettings
