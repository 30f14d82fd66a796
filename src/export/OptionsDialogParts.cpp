#include "export/OptionsDialogParts.h"

#include "uicore/UserSettings.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

namespace OptionsDialogParts {

QFileDialog* makeSaveDialog(QDialog* owner, const char* name, const QString& filter, const QString& suffix)
{
  auto* dialog = new QFileDialog(owner);
  dialog->setObjectName(QLatin1String(name));
  // Qt's own dialog, chosen before anything else is set: it keeps its state between uses
  // the same way on every desktop.
  dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setNameFilters({filter, QDialog::tr("All Files (*)")});
  dialog->setDefaultSuffix(suffix);
  return dialog;
}

void browse(QFileDialog* dialog, QLineEdit* fileName)
{
  const QFileInfo current(fileName->text());
  if (!fileName->text().isEmpty() && current.absoluteDir().exists()) {
    dialog->setDirectory(current.absolutePath());
    dialog->selectFile(current.fileName());
  }
  if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
    fileName->setText(dialog->selectedFiles().constFirst());
}

QString proposedFileName(const QString& what, const QString& suffix, const QString& previous)
{
  QString base = what.trimmed();
  for (QChar& c : base)
    if (QStringLiteral("/\\:*?\"<>|").contains(c) || c.unicode() < 0x20)
      c = QLatin1Char('_');
  if (base.isEmpty() || base.startsWith(QLatin1Char('.')))
    base.prepend(QStringLiteral("result"));
  QString folder = UserSettings::folder(QStringLiteral("export"));
  if (folder.isEmpty() && !previous.isEmpty() && QFileInfo(previous).isAbsolute() && QFileInfo(previous).absoluteDir().exists())
    folder = QFileInfo(previous).absolutePath();
  if (folder.isEmpty())
    folder = QDir::homePath();
  return QDir(folder).filePath(base + QLatin1Char('.') + suffix);
}

void propose(QLineEdit* fileName, const QString& what, const QString& suffix)
{
  static const char* const proposedFor = "kestrelProposedFor";
  if (!fileName->text().isEmpty() && fileName->property(proposedFor).toString() == what)
    return;
  fileName->setText(proposedFileName(what, suffix, fileName->text()));
  fileName->setProperty(proposedFor, what);
}

}  // namespace OptionsDialogParts
