#include "export/CSVOptionsDialog.h"

#include "uicore/ExceptionGuard.h"
#include "export/OptionsDialogParts.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TfmCSVOpts* fmCSVOpts = nullptr;

TfmCSVOpts::TfmCSVOpts(QWidget* parent) : QDialog(parent)
{
  setObjectName(QStringLiteral("fmCSVOpts"));
  setWindowTitle(tr("CSV Options"));
  setFixedSize(400, 150);

  Label1 = new QLabel(tr("Output File"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(12, 12, 200, 18);
  edFileName = new QLineEdit(this);
  edFileName->setObjectName(QStringLiteral("edFileName"));
  edFileName->setGeometry(12, 32, 290, 24);
  Label1->setBuddy(edFileName);
  btBrowse = new QPushButton(tr("Browse"), this);
  btBrowse->setObjectName(QStringLiteral("btBrowse"));
  btBrowse->setGeometry(310, 31, 78, 26);
  btBrowse->setAutoDefault(false);
  cbFieldNames = new QCheckBox(tr("Put field names in first row"), this);
  cbFieldNames->setObjectName(QStringLiteral("cbFieldNames"));
  cbFieldNames->setGeometry(12, 66, 260, 20);
  cbQuotes = new QCheckBox(tr("Quoted strings"), this);
  cbQuotes->setObjectName(QStringLiteral("cbQuotes"));
  cbQuotes->setGeometry(12, 90, 260, 20);
  btOK = new QPushButton(tr("OK"), this);
  btOK->setObjectName(QStringLiteral("btOK"));
  btOK->setDefault(true);
  btOK->setGeometry(226, 116, 78, 26);
  btCancel = new QPushButton(tr("Cancel"), this);
  btCancel->setObjectName(QStringLiteral("btCancel"));
  btCancel->setAutoDefault(false);
  btCancel->setGeometry(310, 116, 78, 26);
  setTabOrder(edFileName, btBrowse);
  setTabOrder(btBrowse, cbFieldNames);
  setTabOrder(cbFieldNames, cbQuotes);
  setTabOrder(cbQuotes, btOK);
  setTabOrder(btOK, btCancel);

  connect(btOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(btBrowse, &QPushButton::clicked, this, guard([this] { btBrowseClick(); }));
}

void TfmCSVOpts::btBrowseClick()
{
  // Made at the first Browse: a file dialog is slow to build and most runs never need one.
  if (!SaveDialog)
    SaveDialog = OptionsDialogParts::makeSaveDialog(this, "SaveDialog", tr("CSV files (*.csv)"), QStringLiteral("csv"));
  OptionsDialogParts::browse(SaveDialog, edFileName);
}

void TfmCSVOpts::keyPressEvent(QKeyEvent* event)
{
  if (event->key() == Qt::Key_Escape) {  // no button answers Esc here
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}
