// Connecting the main window's database to an alias.
#include "uicore/DBErrorDialog.h"
#include "app/MainWindow.h"
#include "uicore/Glyphs.h"
#include "uicore/StatusBar.h"
#include "browser/LoginDialog.h"
#include "browser/TreeObjects.h"
#include "dataaccess/DBErrors.h"
#include "dataaccess/Session.h"
#include "platform/ScreenCursor.h"

#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QToolButton>

void TfmMain::ConnectToAlias()
{
  TCursorScope cursor(crHourGlass);
  try {
    CloseConnection();
    if (FConnectedNode)
      FConnectedNode->DeleteChildren();
    TTreeNode* selected = TreeView1->Selected();
    Database.SetAliasName(selected->Text());
    QString user, password;
    if (!fmLogin->askCredentials(Database.AliasName(), user, password))
      return;
    Database.Params.clear();
    Database.Params << QStringLiteral("USER NAME=") + user;
    Database.Params << QStringLiteral("PASSWORD=") + password;
    Database.Open();
    FConnectedNode = selected;
    LoadTableNames(FConnectedNode);
    StatusBar1->SetPanelText(MainStatus::Connection, tr("Connected: ") + Database.AliasName());
  } catch (const EDBEngineError& e) {
    new TfmDBError(this, e);
  }
  btExecute->setEnabled(true);
}

void TfmMain::CloseConnection()
{
  Database.Close();
  // Nothing of the closed connection stays on screen: another alias's structure or caption would
  // pass for the new one's. Closing the database closed both datasets, which empties the grids.
  lbTableName->clear();
  lvFields->setRowCount(0);
  StatusBar1->SetPanelText(MainStatus::Connection, QString());
  btExecute->setEnabled(false);
}

void TfmMain::LoadTableNames(TTreeNode* aliasNode)
{
  QStringList list;
  Session().GetTableNames(Database.DatabaseName(), QString(), true, false, list);
  for (const QString& name : list) {
    auto* obj = new TBObject;
    obj->Name = name;
    TTreeNode* node = TreeView1->AddChildObject(aliasNode, name, obj);
    node->SetImageIndex(TreeImage::TableGrid);
    node->StateIndex = TreeImage::MinusBox;
    node->SetSelectedIndex(TreeImage::TableGrid);
  }
  TreeView1->AlphaSort();
  aliasNode->Expand(false);
}
