// The table's rows on the "Table Data" page.
#include "uicore/DBErrorDialog.h"
#include "app/MainWindow.h"
#include "dataaccess/DBErrors.h"
#include "dbcontrols/DBGrid.h"
#include "platform/ScreenCursor.h"
#include "viewer/DBRichEdit.h"
#include "viewer/MemoViewWindow.h"

#include <QLabel>
#include <QTabWidget>

void TfmMain::OpenTable(const QString& tableName)
{
  TCursorScope cursor(crHourGlass);
  try {
    qrSelect.Close();
    qrTable.Close();
    lbTableName->clear();
    qrTable.SetTableName(tableName);
    qrTable.Open();
    lbTableName->setText(tr("Table: ") + tableName);
    pgBottom->setCurrentWidget(tbTable);
  } catch (const EDBEngineError& e) {
    new TfmDBError(this, e);
  }
}

void TfmMain::DBGrid2DblClick()
{
  TField* field = DBGrid2->SelectedField();
  if (!dynamic_cast<TMemoField*>(field))
    return;
  fmMemoView->bindTo(&srcTable, field->FieldName());
}
