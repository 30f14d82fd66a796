#include "export/CSVOptionsDialog.h"

TfmCSVOpts* fmCSVOpts = nullptr;

TfmCSVOpts::TfmCSVOpts(QWidget* parent) : QDialog(parent)
{
  setObjectName(QStringLiteral("fmCSVOpts"));
  setWindowTitle(QStringLiteral("CSV Options"));
}
