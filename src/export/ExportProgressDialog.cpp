#include "export/ExportProgressDialog.h"

TfmExportProgress* fmExportProgress = nullptr;

TfmExportProgress::TfmExportProgress(QWidget* parent) : QDialog(parent)
{
  setObjectName(QStringLiteral("fmExportProgress"));
  setWindowTitle(QStringLiteral("SQL Export"));
}
