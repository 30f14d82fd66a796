// Opening a table's rows on the "Table Data" page.
#include "app/DBErrorDialog.h"
#include "app/MainWindow.h"
#include "dataaccess/DBErrors.h"
#include "platform/ScreenCursor.h"

#include <QLabel>
#include <QTabWidget>

void TfmMain::OpenTable(const QString& tableName)
{
  TCursorScope cursor(crHourGlass);
  try {
    qrTable.Close();
    lbTableName->clear();
    qrTable.SetTableName(tableName);
    qrTable.Open();
    lbTableName->setText(QStringLiteral("Table: ") + tableName);
    pgBottom->setCurrentWidget(tbTable);
  } catch (const EDBEngineError& e) {
    new TfmDBError(this, e);
  }
}
