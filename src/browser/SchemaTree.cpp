// The schema tree's fill and event handlers of the main window.
#include "app/MainWindow.h"
#include "uicore/Glyphs.h"
#include "dataaccess/EngineWait.h"
#include "browser/TreeObjects.h"
#include "dataaccess/Session.h"
#include "viewer/MemoViewWindow.h"

#include <QCollator>

void TfmMain::FillAliasTree()
{
  QStringList list;
  TreeView1->Clear();
  TTreeNode* root = TreeView1->AddChildObject(nullptr, tr("Databases"), nullptr);
  try {
    Session().GetAliasNames(list);
    for (const QString& name : list)
      addAliasNode(root, name);
    TreeView1->AlphaSort();
  } catch (...) {
    TreeView1->FullExpand();
    throw;
  }
  TreeView1->FullExpand();
  // The aliases that read are in the tree; now say which lines did not.
  Session().RaiseAliasFileProblems();
}

TTreeNode* TfmMain::addAliasNode(TTreeNode* root, const QString& name)
{
  auto* obj = new DBObject;
  obj->Name = name;
  return addSchemaNode(root, name, obj, TreeImage::Cabinet);
}

TTreeNode* TfmMain::addSchemaNode(TTreeNode* parent, const QString& text, TObject* data, int image)
{
  TTreeNode* node = TreeView1->AddChildObject(parent, text, data);
  node->SetImageIndex(image);
  node->StateIndex = TreeImage::MinusBox;
  node->SetSelectedIndex(image);
  return node;
}

void TfmMain::TreeView1Click()
{
  TTreeNode* node = TreeView1->Selected();
  if (!node)
    return;
  if (dynamic_cast<TBObject*>(node->Data))
    ShowTableFields(node);
  else if (dynamic_cast<FDObject*>(node->Data))
    ShowTableFields(node->Parent());
}

void TfmMain::TreeView1DblClick()
{
  // Nothing starts while an export runs or a call waits on the database.
  if (FExporting || TEngineWait::active())
    return;
  TTreeNode* node = TreeView1->Selected();
  // Connecting and opening a table close the table's rows; every double-click hides the memo viewer.
  const bool leavesTable = node && (dynamic_cast<DBObject*>(node->Data) || dynamic_cast<TBObject*>(node->Data));
  if (!SettlePendingEdits(leavesTable))
    return;
  if (fmMemoView)
    fmMemoView->hide();
  if (!node)
    return;
  if (dynamic_cast<DBObject*>(node->Data)) {
    ConnectToAlias();
  } else if (auto* table = dynamic_cast<TBObject*>(node->Data)) {
    const QString name = table->Name;  // LoadTableFields leaves the node alone, but keep our own copy
    LoadTableFields(node);
    OpenTable(name);
  }
}

int TfmMain::TreeView1Compare(TTreeNode* node1, TTreeNode* node2)
{
  TObject* data = node1->Data;
  if (dynamic_cast<DBObject*>(data) || dynamic_cast<TBObject*>(data)) {
    static const QCollator collator = [] {
      // The C locale asks for no language at all; its byte order would put "éclair" after "Zulu".
      // Sort such names as the language-neutral order does instead.
      QLocale locale = QLocale::system();
      if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
      QCollator c(locale);
      c.setCaseSensitivity(Qt::CaseInsensitive);
      return c;
    }();
    const int r = collator.compare(node1->Text(), node2->Text());
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
  }
  auto* f1 = dynamic_cast<FDObject*>(data);
  auto* f2 = dynamic_cast<FDObject*>(node2->Data);
  if (f1 && f2)
    return f1->FieldNo - f2->FieldNo;
  return 0;
}

void TfmMain::TreeView1Deletion(TTreeNode* node)
{
  delete node->Data;
  node->Data = nullptr;
}

void TfmMain::TreeView1Expanded(TTreeNode* node)
{
  node->StateIndex = TreeImage::PlusBox;
}

void TfmMain::TreeView1Collapsed(TTreeNode* node)
{
  node->StateIndex = TreeImage::MinusBox;
}
