#include "uicore/ExceptionGuard.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

static QPointer<QWidget>& messageParent()
{
  static QPointer<QWidget> parent;
  return parent;
}

void SetApplicationMessageParent(QWidget* window)
{
  messageParent() = window;
}

static void showMessage(const QString& text)
{
  QWidget* parent = messageParent() ? messageParent().data() : QApplication::activeWindow();
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Kestrel"), text, QMessageBox::Ok, parent);
  box.setObjectName(QStringLiteral("ApplicationExceptionBox"));
  box.setTextFormat(Qt::PlainText);  // a message quotes what the user typed or a file holds: never markup
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
