#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

// Asks for the user name and password of a connection. Reused for every attempt, so it shows what
// was typed the time before.
class TfmLogin : public QDialog {
  Q_OBJECT
public:
  explicit TfmLogin(QWidget* parent = nullptr);

  QFrame* Bevel1;
  QLabel* Label1;
  QLabel* lbDatabase;
  QLabel* User;
  QLineEdit* edUser;
  QLabel* Password;
  QLineEdit* edPassword;
  QPushButton* btOK;
  QPushButton* btCancel;

  // Asks for the user name and password of the alias; false when the user cancelled.
  bool askCredentials(const QString& alias, QString& user, QString& password);

protected:
  void keyPressEvent(QKeyEvent* event) override;
};

extern TfmLogin* fmLogin;
