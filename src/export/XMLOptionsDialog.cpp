#include "export/XMLOptionsDialog.h"

#include "uicore/ExceptionGuard.h"
#include "export/OptionsDialogParts.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TfmXMLOpts* fmXMLOpts = nullptr;

TfmXMLOpts::TfmXMLOpts(QWidget* parent) : QDialog(parent)
{
  setObjectName(QStringLiteral("fmXMLOpts"));
  setWindowTitle(tr("XML Options"));
  setFixedSize(400, 126);

  Label1 = new QLabel(tr("Output File"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(12, 12, 200, 18);
  edFilename = new QLineEdit(this);
  edFilename->setObjectName(QStringLiteral("edFilename"));
  edFilename->setGeometry(12, 32, 290, 24);
  Label1->setBuddy(edFilename);
  btBrowse = new QPushButton(tr("Browse"), this);
  btBrowse->setObjectName(QStringLiteral("btBrowse"));
  btBrowse->setGeometry(310, 31, 78, 26);
  cbMIME = new QCheckBox(tr("Use MIME encoding for string fields"), this);
  cbMIME->setObjectName(QStringLiteral("cbMIME"));
  cbMIME->setGeometry(12, 66, 300, 20);
  btCancel = new QPushButton(tr("Cancel"), this);
  btCancel->setObjectName(QStringLiteral("btCancel"));
  btCancel->setGeometry(310, 94, 78, 26);
  btOK = new QPushButton(tr("OK"), this);
  btOK->setObjectName(QStringLiteral("btOK"));
  btOK->setGeometry(226, 94, 78, 26);
  // No default button: Enter confirms nothing in this dialog.
  for (QPushButton* b : {btBrowse, btCancel, btOK}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }
  setTabOrder(edFilename, btBrowse);
  setTabOrder(btBrowse, cbMIME);
  setTabOrder(cbMIME, btCancel);
  setTabOrder(btCancel, btOK);

  connect(btOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(btBrowse, &QPushButton::clicked, this, guard([this] { btBrowseClick(); }));
}

void TfmXMLOpts::btBrowseClick()
{
  // Made at the first Browse: a file dialog is slow to build and most runs never need one.
  if (!XMLSaveDialog)
    XMLSaveDialog = OptionsDialogParts::makeSaveDialog(this, "XMLSaveDialog", tr("XML files (*.xml)"), QStringLiteral("xml"));
  OptionsDialogParts::browse(XMLSaveDialog, edFilename);
}

void TfmXMLOpts::keyPressEvent(QKeyEvent* event)
{
  // Neither Esc nor Enter answers this dialog; a focused button still takes Space.
  if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}
