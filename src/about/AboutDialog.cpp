#include "about/AboutDialog.h"

#include <QPushButton>

TfmAbout* fmAbout = nullptr;

TfmAbout::TfmAbout(QWidget* parent) : QDialog(parent)
{
  setObjectName(QStringLiteral("fmAbout"));
  setWindowTitle(QStringLiteral("About Kestrel"));
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("btOK"));
  ok->setDefault(true);
  ok->setGeometry(160, 150, 75, 25);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  setFixedSize(395, 190);
}
