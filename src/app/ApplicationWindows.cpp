#include "app/ApplicationWindows.h"

#include "about/AboutDialog.h"
#include "uicore/BusyIndicator.h"
#include "app/MainWindow.h"
#include "dataaccess/Session.h"
#include "browser/LoginDialog.h"
#include "export/CSVOptionsDialog.h"
#include "export/ExportProgressDialog.h"
#include "export/XMLOptionsDialog.h"
#include "viewer/MemoViewWindow.h"

void CreateApplicationWindows()
{
  fmMain = new TfmMain;
  fmAbout = new TfmAbout(fmMain);
  fmExportProgress = new TfmExportProgress(fmMain);
  fmXMLOpts = new TfmXMLOpts(fmMain);
  fmMemoView = new TfmMemoView(fmMain);
  fmLogin = new TfmLogin(fmMain);
  fmCSVOpts = new TfmCSVOpts(fmMain);
  // Not one of the program's windows of its own: the sign of a long wait on the database.
  InstallBusyIndicator(new TfmBusy(fmMain));
}

void DestroyApplicationWindows()
{
  InstallBusyIndicator(nullptr);
  delete fmMain;  // sets fmMain to nullptr
  Session().ClearRunAliases();  // the files opened in this run were its own
  fmAbout = nullptr;
  fmExportProgress = nullptr;
  fmXMLOpts = nullptr;
  fmMemoView = nullptr;
  fmLogin = nullptr;
  fmCSVOpts = nullptr;
}
