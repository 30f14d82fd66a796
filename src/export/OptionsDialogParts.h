#pragma once

#include <QString>

class QDialog;
class QFileDialog;
class QLineEdit;

// What the two export option dialogs share: the save dialog behind Browse.
namespace OptionsDialogParts {

// A save dialog with the toolkit's defaults (no filter, no extension, no overwrite question of its
// own: the export replaces the file), kept so that it offers the file it returned last time.
QFileDialog* makeSaveDialog(QDialog* owner, const char* name);
// Runs it; a confirmed file goes into the edit, a cancelled dialog leaves the edit alone.
void browse(QFileDialog* dialog, QLineEdit* fileName);

}  // namespace OptionsDialogParts
