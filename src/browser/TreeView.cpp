#include "browser/TreeView.h"

#include "uicore/ExceptionGuard.h"

#include <QHeaderView>
#include <QKeyEvent>

TTreeNode::TTreeNode(TTreeView* tree, const QString& text, TObject* data) : FTree(tree)
{
  setText(0, text);
  Data = data;
  setFlags(flags() & ~Qt::ItemIsEditable);
  SetImageIndex(0);  // every node starts with the first picture, as the root keeps it
}

TTreeNode::~TTreeNode()
{
  DeleteChildren();
  if (FTree && FTree->OnDeletion)
    FTree->OnDeletion(this);
}

void TTreeNode::DeleteChildren()
{
  const QList<QTreeWidgetItem*> children = takeChildren();
  for (QTreeWidgetItem* child : children)
    delete child;
}

void TTreeNode::SetImageIndex(int index)
{
  FImageIndex = index;
  if (FTree && index >= 0 && size_t(index) < FTree->Images.size())
    setIcon(0, FTree->Images[size_t(index)]);
  else
    setIcon(0, QIcon());
}

void TTreeNode::Expand(bool recurse)
{
  if (childCount() > 0)  // a node without children cannot open, and says nothing
    setExpanded(true);
  if (recurse)
    for (int i = 0; i < childCount(); ++i)
      Item(i)->Expand(true);
}

bool TTreeNode::operator<(const QTreeWidgetItem& other) const
{
  if (FTree && FTree->OnCompare)
    return FTree->OnCompare(const_cast<TTreeNode*>(this),
                            const_cast<TTreeNode*>(static_cast<const TTreeNode*>(&other))) < 0;
  return QTreeWidgetItem::operator<(other);
}

TTreeView::TTreeView(QWidget* parent) : QTreeWidget(parent)
{
  setHeaderHidden(true);
  setColumnCount(1);
  setIndentation(Indent);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  // A double-click means "connect" or "read the table"; it must not also fold the node away.
  setExpandsOnDoubleClick(false);
  setIconSize(QSize(16, 16));
  // Long names scroll sideways instead of being cut short.
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  header()->setStretchLastSection(false);
  connect(this, &QTreeWidget::itemClicked, this, guard([this](QTreeWidgetItem*, int) { if (OnClick) OnClick(); }));
  connect(this, &QTreeWidget::itemDoubleClicked, this,
          guard([this](QTreeWidgetItem*, int) { if (OnDblClick) OnDblClick(); }));
  connect(this, &QTreeWidget::itemExpanded, this,
          guard([this](QTreeWidgetItem* item) { if (OnExpanded) OnExpanded(static_cast<TTreeNode*>(item)); }));
  connect(this, &QTreeWidget::itemCollapsed, this,
          guard([this](QTreeWidgetItem* item) { if (OnCollapsed) OnCollapsed(static_cast<TTreeNode*>(item)); }));
}

TTreeView::~TTreeView()
{
  // Owners clear the tree while their handlers are alive; whatever is left goes without them.
  OnDeletion = nullptr;
  OnCompare = nullptr;
  Clear();
}

TTreeNode* TTreeView::AddChildObject(TTreeNode* parent, const QString& text, TObject* data)
{
  auto* node = new TTreeNode(this, text, data);
  if (parent)
    parent->addChild(node);
  else
    addTopLevelItem(node);
  return node;
}

void TTreeView::Clear()
{
  while (topLevelItemCount() > 0)
    delete takeTopLevelItem(topLevelItemCount() - 1);
}

void TTreeView::AlphaSort()
{
  sortItems(0, Qt::AscendingOrder);
}

void TTreeView::keyPressEvent(QKeyEvent* event)
{
  // Keyboard habits: Enter acts as a double-click, moving the selection acts as a click.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
    Guarded([this] { if (OnDblClick) OnDblClick(); });
    return;
  }
  QTreeWidgetItem* before = currentItem();
  QTreeWidget::keyPressEvent(event);
  if (currentItem() != before)
    Guarded([this] { if (OnClick) OnClick(); });
}
