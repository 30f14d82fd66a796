#pragma once

#include <QString>

class QDialog;
class QFileDialog;
class QLineEdit;

// What the two export option dialogs share: the save dialog behind Browse and the file name they
// propose.
namespace OptionsDialogParts {

// A save dialog for one kind of file ("CSV files (*.csv)", suffix "csv"): a name typed without a
// suffix gets it, and choosing a file that exists asks before it is replaced.
QFileDialog* makeSaveDialog(QDialog* owner, const char* name, const QString& filter, const QString& suffix);
// Runs it, starting at the file the edit names; a confirmed file goes into the edit, a cancelled
// dialog leaves the edit alone.
void browse(QFileDialog* dialog, QLineEdit* fileName);
// The file an export of this data proposes: "<what>.<suffix>" in the folder last exported to, else
// in the folder of the file named before, else in the home folder. Characters a file name cannot
// hold become '_'; an empty name is "result".
QString proposedFileName(const QString& what, const QString& suffix, const QString& previous);
// Puts the proposed name into the edit, unless the edit still holds a name given for the same data:
// exporting that again offers what the user chose or typed the time before.
void propose(QLineEdit* fileName, const QString& what, const QString& suffix);

}  // namespace OptionsDialogParts
