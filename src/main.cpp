#include "about/AboutDialog.h"
#include "app/MainWindow.h"
#include "browser/LoginDialog.h"
#include "export/CSVOptionsDialog.h"
#include "export/ExportProgressDialog.h"
#include "export/XMLOptionsDialog.h"
#include "viewer/MemoViewWindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
  QApplication app(argc, argv);
  // The windows are made once, in this order, and kept for the whole run; the first is the main window.
  fmMain = new TfmMain;
  fmAbout = new TfmAbout(fmMain);
  fmExportProgress = new TfmExportProgress(fmMain);
  fmXMLOpts = new TfmXMLOpts(fmMain);
  fmMemoView = new TfmMemoView(fmMain);
  fmLogin = new TfmLogin(fmMain);
  fmCSVOpts = new TfmCSVOpts(fmMain);
  fmMain->show();
  const int rc = app.exec();
  delete fmMain;
  return rc;
}
