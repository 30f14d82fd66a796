#pragma once

#include "TestSupport.h"

#include "about/AboutDialog.h"
#include "app/ApplicationWindows.h"
#include "app/MainWindow.h"
#include "uicore/StatusBar.h"
#include "browser/LoginDialog.h"
#include "browser/TreeObjects.h"
#include "browser/TreeView.h"
#include "dataaccess/Session.h"
#include "viewer/MemoViewWindow.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

// Helpers shared by the window tests: the windows made as the program makes them, over a given
// alias file, and the usual answers to the login dialog.
namespace app_fixture {

// Creates the program's windows over the alias file, shows the main window and waits for it.
inline void startProgram(TestFolder& folder, const QByteArray& aliases)
{
  folder.writeAliases(aliases);
  // What the program remembers between runs stays in the test's folder.
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path(QStringLiteral("config")));
  CreateApplicationWindows();
  fmMain->show();
  QVERIFY(QTest::qWaitForWindowExposed(fmMain));
  // Keys for the window (shortcuts, menu letters) reach only the active window.
  fmMain->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(fmMain));
}

inline void stopProgram()
{
  DestroyApplicationWindows();
}

inline TTreeNode* root() { return fmMain->TreeView1->TopItem(0); }

inline TTreeNode* child(TTreeNode* parent, const QString& text)
{
  for (int i = 0; i < parent->Count(); ++i)
    if (parent->Item(i)->Text() == text)
      return parent->Item(i);
  return nullptr;
}

inline QStringList childTexts(TTreeNode* parent)
{
  QStringList texts;
  for (int i = 0; i < parent->Count(); ++i)
    texts << parent->Item(i)->Text();
  return texts;
}

inline void click(TTreeNode* node)
{
  TTreeView* tree = fmMain->TreeView1;
  tree->scrollToItem(node);
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(node).center());
}

// Selects the node and double-clicks it as a user would.
inline void doubleClick(TTreeNode* node)
{
  click(node);
  QTest::mouseDClick(fmMain->TreeView1->viewport(), Qt::LeftButton, {}, fmMain->TreeView1->visualItemRect(node).center());
}

// Answers the next login dialog with OK after typing the user name and password.
inline void loginWith(const QString& user, const QString& password)
{
  answerNextModal([user, password](QWidget* w) {
    auto* login = qobject_cast<TfmLogin*>(w);
    QVERIFY(login);
    login->edUser->setText(user);
    login->edPassword->setText(password);
    QTest::mouseClick(login->btOK, Qt::LeftButton);
  });
}

// Answers the next modal window by closing it and keeps its text.
inline void captureAndClose(QString* text, QString* title = nullptr)
{
  answerNextModal([text, title](QWidget* w) {
    *text = modalText(w);
    if (title)
      *title = w->windowTitle();
    qobject_cast<QDialog*>(w) ? qobject_cast<QDialog*>(w)->accept() : void(w->close());
  });
}

inline QString panel(int i) { return fmMain->StatusBar1->PanelText(i); }

}  // namespace app_fixture
