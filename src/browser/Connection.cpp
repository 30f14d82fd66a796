// Connecting the main window's database to an alias.
#include "uicore/DBErrorDialog.h"
#include "app/MainWindow.h"
#include "uicore/Glyphs.h"
#include "uicore/StatusBar.h"
#include "uicore/UserSettings.h"
#include "browser/AliasFileText.h"
#include "browser/ConnectionDialog.h"
#include "browser/LoginDialog.h"
#include "browser/TreeObjects.h"
#include "dataaccess/DBErrors.h"
#include "dataaccess/Session.h"
#include "dataaccess/EngineWait.h"
#include "platform/ScreenCursor.h"
#include "viewer/MemoViewWindow.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include <QLabel>
#include <QMessageBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QToolButton>

void TfmMain::ConnectToAlias()
{
  connectAlias(TreeView1->Selected(), true);
}

void TfmMain::connectAlias(TTreeNode* selected, bool askLogin)
{
  TCursorScope cursor(crHourGlass);
  try {
    CloseConnection();
    if (FConnectedNode)
      FConnectedNode->DeleteChildren();
    Database.SetAliasName(selected->Text());
    QString user, password;
    if (askLogin && !fmLogin->askCredentials(Database.AliasName(), user, password))
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

void TfmMain::OpenDatabaseFile(const QString& fileName)
{
  // Nothing starts while an export runs or a call waits on the database.
  if (FExporting || TEngineWait::active())
    return;
  const QFileInfo info(fileName);
  // Opening a name that is not there would make a new, empty database: say so instead.
  if (!info.isFile())
    throw EDatabaseError(tr("Cannot open %1: there is no such file.").arg(QDir::toNativeSeparators(fileName)));
  if (!SettlePendingEdits(true))  // connecting closes the table's rows
    return;
  if (fmMemoView)
    fmMemoView->hide();
  UserSettings::addRecentFile(QStringLiteral("databases"), info.absoluteFilePath());
  UserSettings::rememberFolderOf(QStringLiteral("database"), info.absoluteFilePath());
  // The same file opened again is the same alias.
  QString name = Session().RunAliasOf(info.absoluteFilePath());
  TTreeNode* node = nullptr;
  if (name.isEmpty()) {
    TAliasConfig alias;
    alias.Name = name = Session().UnusedAliasName(info.completeBaseName());
    alias.Entries = {{QStringLiteral("Driver"), QStringLiteral("SQLite"), 0},
                     {QStringLiteral("Database"), info.absoluteFilePath(), 0}};
    Session().AddRunAlias(alias);
    node = addAliasNode(TreeView1->TopItem(0), name);
    TreeView1->AlphaSort();
  } else {
    for (int i = 0; i < TreeView1->TopItem(0)->Count() && !node; ++i)
      if (TreeView1->TopItem(0)->Item(i)->Text() == name)
        node = TreeView1->TopItem(0)->Item(i);
  }
  TreeView1->SetSelected(node);
  connectAlias(node, false);  // a file has no login
}

void TfmMain::ConnectToAliasNamed(const QString& aliasName)
{
  TTreeNode* root = TreeView1->TopItem(0);
  for (int i = 0; root && i < root->Count(); ++i)
    if (root->Item(i)->Text().compare(aliasName, Qt::CaseInsensitive) == 0) {
      TreeView1->SetSelected(root->Item(i));
      TreeView1DblClick();
      return;
    }
  throw EDatabaseError(tr("There is no alias '%1'.").arg(aliasName));
}

void TfmMain::OpenDatabase1Click()
{
  QFileDialog dialog(this, tr("Open SQLite Database"));
  dialog.setObjectName(QStringLiteral("OpenDatabaseDialog"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters({tr("SQLite databases (*.db *.sqlite *.sqlite3 *.db3)"), tr("All files (*)")});
  if (const QString folder = UserSettings::folder(QStringLiteral("database")); !folder.isEmpty())
    dialog.setDirectory(folder);
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
    OpenDatabaseFile(dialog.selectedFiles().constFirst());
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
    addSchemaNode(aliasNode, name, obj, TreeImage::TableGrid);
  }
  TreeView1->AlphaSort();
  aliasNode->Expand(false);
}

TTreeNode* TfmMain::selectedAliasNode() const
{
  TTreeNode* node = TreeView1->Selected();
  TTreeNode* root = TreeView1->TopItem(0);
  while (node && node->Parent() && node->Parent() != root)
    node = node->Parent();
  return node && node != root ? node : nullptr;
}

bool TfmMain::letGoOfAlias(TTreeNode* aliasNode)
{
  if (!Database.Connected() || FConnectedNode != aliasNode)
    return true;
  if (!SettlePendingEdits(true))
    return false;
  if (fmMemoView)
    fmMemoView->hide();
  CloseConnection();
  aliasNode->DeleteChildren();
  FConnectedNode = nullptr;
  return true;
}

void TfmMain::changeAliasFile(const std::function<QByteArray(const QByteArray&)>& change)
{
  const QString inUse = Session().AliasFileName();
  const QString target = TAliasFile::userFileName();
  // The first change makes the user's own file, from the aliases in use so that none goes missing.
  QByteArray content;
  if (!inUse.isEmpty() && QFileInfo(inUse) == QFileInfo(target)) {
    QFile file(inUse);
    if (!file.open(QIODevice::ReadOnly))
      throw EDatabaseError(tr("Cannot read the alias file %1: %2.").arg(QDir::toNativeSeparators(inUse), file.errorString()));
    content = file.readAll();
  } else {
    content = userAliasFileStart(inUse);
  }
  writeAliasFile(target, change(content));
  Session().ReloadAliases();
}

void TfmMain::editAlias(TTreeNode* aliasNode)
{
  if (FExporting || TEngineWait::active())
    return;
  const QString oldName = aliasNode ? aliasNode->Text() : QString();
  std::optional<TAliasConfig> existing;
  if (aliasNode) {
    existing = Session().FindAlias(oldName);
    if (existing->FileName.isEmpty())
      throw EDatabaseError(tr("\"%1\" was opened from a file for this run only; there is nothing to edit.").arg(oldName));
  }
  if (!ConnectionDialog)
    ConnectionDialog = new TfmConnection(this);
  QStringList names;
  Session().GetAliasNames(names);
  const auto nameTaken = [&](const QString& name) {
    return name.compare(oldName, Qt::CaseInsensitive) != 0 &&
           std::any_of(names.begin(), names.end(), [&](const QString& n) { return n.compare(name, Qt::CaseInsensitive) == 0; });
  };
  TAliasSettings settings;
  if (!ConnectionDialog->ask(existing ? &*existing : nullptr, nameTaken, settings))
    return;
  // A connection over the old settings would go on as if they still held.
  if (aliasNode && !letGoOfAlias(aliasNode))
    return;
  changeAliasFile([&](const QByteArray& content) { return aliasFileWithAlias(content, oldName, settings); });
  if (aliasNode) {
    aliasNode->setText(0, settings.Name);
    static_cast<DBObject*>(aliasNode->Data)->Name = settings.Name;
  } else {
    aliasNode = addAliasNode(TreeView1->TopItem(0), settings.Name);
  }
  TreeView1->AlphaSort();
  TreeView1->SetSelected(aliasNode);
}

void TfmMain::NewConnectionClick()
{
  editAlias(nullptr);
}

void TfmMain::EditConnectionClick()
{
  TTreeNode* node = selectedAliasNode();
  if (!node)
    throw EDatabaseError(tr("Select the connection to edit in the tree."));
  editAlias(node);
}

void TfmMain::RemoveConnectionClick()
{
  if (FExporting || TEngineWait::active())
    return;
  TTreeNode* node = selectedAliasNode();
  if (!node)
    throw EDatabaseError(tr("Select the connection to remove in the tree."));
  const QString name = node->Text();
  if (Session().FindAlias(name).FileName.isEmpty())
    throw EDatabaseError(tr("\"%1\" was opened from a file for this run only; it goes when the program ends.").arg(name));
  QMessageBox question(QMessageBox::Question, QStringLiteral("Kestrel"),
                       tr("Remove the connection \"%1\"?\n\nIts database stays as it is.").arg(name),
                       QMessageBox::Yes | QMessageBox::No, this);
  question.setTextFormat(Qt::PlainText);
  question.setDefaultButton(QMessageBox::No);
  if (question.exec() != QMessageBox::Yes)
    return;
  if (!letGoOfAlias(node))
    return;
  changeAliasFile([&](const QByteArray& content) { return aliasFileWithoutAlias(content, name); });
  delete node;
}
