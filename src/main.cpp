#include "app/ApplicationWindows.h"
#include "app/MainWindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
  QApplication app(argc, argv);
  CreateApplicationWindows();
  fmMain->show();
  const int rc = app.exec();
  DestroyApplicationWindows();
  return rc;
}
