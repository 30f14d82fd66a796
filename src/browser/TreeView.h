#pragma once

#include <QTreeWidget>
#include <functional>
#include <vector>

// The root class of data objects that tree nodes carry.
class TObject {
public:
  virtual ~TObject() = default;
};

class TTreeView;

// A tree node with a data object, picture indexes and a state index. Deleting a node deletes its
// children first; each deletion goes through the tree's OnDeletion handler.
class TTreeNode : public QTreeWidgetItem {
public:
  ~TTreeNode() override;

  TObject* Data = nullptr;
  QString Text() const { return text(0); }
  int ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int index);
  int SelectedIndex() const { return FSelectedIndex; }
  void SetSelectedIndex(int index) { FSelectedIndex = index; }
  int StateIndex = -1;

  TTreeNode* Parent() const { return static_cast<TTreeNode*>(parent()); }
  int Count() const { return childCount(); }
  TTreeNode* Item(int index) const { return static_cast<TTreeNode*>(child(index)); }
  void DeleteChildren();
  void Expand(bool recurse);
  TTreeView* TreeView() const { return FTree; }

  bool operator<(const QTreeWidgetItem& other) const override;

private:
  friend class TTreeView;
  TTreeNode(TTreeView* tree, const QString& text, TObject* data);
  TTreeView* FTree;
  int FImageIndex = 0;
  int FSelectedIndex = 0;
};

class TTreeView : public QTreeWidget {
  Q_OBJECT
public:
  explicit TTreeView(QWidget* parent = nullptr);
  ~TTreeView() override;

  // Adds a node as the last child of parent (nullptr: at the top level).
  TTreeNode* AddChildObject(TTreeNode* parent, const QString& text, TObject* data);
  void Clear();  // deletes every node
  TTreeNode* Selected() const { return static_cast<TTreeNode*>(currentItem()); }
  void SetSelected(TTreeNode* node) { setCurrentItem(node); }
  int TopCount() const { return topLevelItemCount(); }
  TTreeNode* TopItem(int index) const { return static_cast<TTreeNode*>(topLevelItem(index)); }
  void FullExpand()
  {
    for (int i = 0; i < topLevelItemCount(); ++i)
      TopItem(i)->Expand(true);
  }
  // Sorts every level by OnCompare.
  void AlphaSort();

  std::vector<QIcon> Images;  // the pictures that image indexes refer to
  int Indent = 19;

  std::function<void()> OnClick;
  std::function<void()> OnDblClick;
  std::function<int(TTreeNode*, TTreeNode*)> OnCompare;
  std::function<void(TTreeNode*)> OnDeletion;
  std::function<void(TTreeNode*)> OnExpanded;
  std::function<void(TTreeNode*)> OnCollapsed;

protected:
  void keyPressEvent(QKeyEvent* event) override;
};
