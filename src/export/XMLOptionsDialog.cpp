#include "export/XMLOptionsDialog.h"

TfmXMLOpts* fmXMLOpts = nullptr;

TfmXMLOpts::TfmXMLOpts(QWidget* parent) : QDialog(parent)
{
  setObjectName(QStringLiteral("fmXMLOpts"));
  setWindowTitle(QStringLiteral("XML Options"));
}
