#include "browser/LoginDialog.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TfmLogin* fmLogin = nullptr;

TfmLogin::TfmLogin(QWidget* parent) : QDialog(parent)
{
  setObjectName(QStringLiteral("fmLogin"));
  setWindowTitle(tr("Database Connect"));
  setFixedSize(437, 196);

  Bevel1 = new QFrame(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameShape(QFrame::Panel);
  Bevel1->setFrameShadow(QFrame::Raised);
  Bevel1->setGeometry(8, 8, 421, 137);

  QFont bold = font();
  bold.setBold(true);
  Label1 = new QLabel(tr("Database:"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setFont(bold);
  Label1->setGeometry(24, 22, 90, 18);
  lbDatabase = new QLabel(this);
  lbDatabase->setTextFormat(Qt::PlainText);  // an alias name, as written
  lbDatabase->setObjectName(QStringLiteral("lbDatabase"));
  lbDatabase->setFont(bold);
  lbDatabase->setGeometry(120, 22, 290, 18);

  User = new QLabel(tr("User"), this);
  User->setObjectName(QStringLiteral("User"));
  User->setGeometry(24, 62, 90, 18);
  edUser = new QLineEdit(this);
  edUser->setObjectName(QStringLiteral("edUser"));
  edUser->setGeometry(120, 58, 290, 24);
  User->setBuddy(edUser);

  Password = new QLabel(tr("Password"), this);
  Password->setObjectName(QStringLiteral("Password"));
  Password->setGeometry(24, 102, 90, 18);
  edPassword = new QLineEdit(this);
  edPassword->setObjectName(QStringLiteral("edPassword"));
  edPassword->setEchoMode(QLineEdit::Password);
  edPassword->setGeometry(120, 98, 290, 24);
  Password->setBuddy(edPassword);

  btOK = new QPushButton(tr("OK"), this);
  btOK->setObjectName(QStringLiteral("btOK"));
  btOK->setDefault(true);
  btOK->setGeometry(266, 158, 75, 25);
  connect(btOK, &QPushButton::clicked, this, &QDialog::accept);
  btCancel = new QPushButton(tr("Cancel"), this);
  btCancel->setObjectName(QStringLiteral("btCancel"));
  btCancel->setGeometry(350, 158, 75, 25);
  connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);

  setTabOrder(edUser, edPassword);
  setTabOrder(edPassword, btOK);
  setTabOrder(btOK, btCancel);
  edUser->setFocus();
}

void TfmLogin::keyPressEvent(QKeyEvent* event)
{
  // Esc is not Cancel in this dialog: a stray key must not throw away what was typed.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool TfmLogin::askCredentials(const QString& alias, QString& user, QString& password)
{
  lbDatabase->setText(alias);
  if (exec() != QDialog::Accepted)
    return false;
  user = edUser->text();
  password = edPassword->text();
  return true;
}
