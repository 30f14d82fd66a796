// What the user typed into the table view and has not saved, before a command leaves it.
//
// Connecting, running a statement, opening another table and closing the window all close the table
// dataset; the memo viewer is hidden on every double-click in the tree. None of them may throw away
// an edit without the user's say, so each asks first, once, and stops on Cancel.
#include "app/MainWindow.h"
#include "dbcontrols/DBGrid.h"
#include "viewer/MemoViewWindow.h"

#include <QMessageBox>

bool TfmMain::SettlePendingEdits(bool leavingTable)
{
  // The memo viewer's text first, with the viewer's own question: it is the text the user sees.
  if (fmMemoView && !fmMemoView->settleChangedText())
    return false;
  if (!leavingTable || !qrTable.Active() || (qrTable.State() != dsEdit && qrTable.State() != dsInsert))
    return true;
  qrTable.UpdateRecord();  // the grid's open cell editor hands over its text
  if (!qrTable.Modified()) {
    qrTable.Cancel();  // an edit begun but nothing changed
    return true;
  }
  QMessageBox box(QMessageBox::Question, QStringLiteral("Kestrel"),
                  tr("Save changes to the record?"), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
  box.setDefaultButton(QMessageBox::Yes);
  switch (box.exec()) {
  case QMessageBox::Yes:
    qrTable.Post();  // a refused post raises: the record stays in edit mode and the command stops
    return true;
  case QMessageBox::No:
    qrTable.Cancel();
    return true;
  default:
    return false;
  }
}
