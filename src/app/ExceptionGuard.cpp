#include "app/ExceptionGuard.h"

#include "app/MainWindow.h"

#include <QApplication>
#include <QMessageBox>

static void showMessage(const QString& text)
{
  QWidget* parent = fmMain ? static_cast<QWidget*>(fmMain) : QApplication::activeWindow();
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Kestrel"), text, QMessageBox::Ok, parent);
  box.setObjectName(QStringLiteral("ApplicationExceptionBox"));
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);
  box.exec();
}

void ApplicationHandleException(const std::exception& e)
{
  showMessage(QString::fromUtf8(e.what()));
}

void ApplicationHandleUnknownException()
{
  showMessage(QStringLiteral("An unknown error occurred."));
}
