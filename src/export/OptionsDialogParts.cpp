#include "export/OptionsDialogParts.h"

#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>

namespace OptionsDialogParts {

QFileDialog* makeSaveDialog(QDialog* owner, const char* name)
{
  auto* dialog = new QFileDialog(owner);
  dialog->setObjectName(QLatin1String(name));
  // Qt's own dialog, chosen before anything else is set: it keeps its state between uses
  // the same way on every desktop.
  dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
  return dialog;
}

void browse(QFileDialog* dialog, QLineEdit* fileName)
{
  if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
    fileName->setText(dialog->selectedFiles().constFirst());
}

}  // namespace OptionsDialogParts
