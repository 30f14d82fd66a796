#pragma once

#include <QMainWindow>
#include <memory>
#include <vector>

#include "dataaccess/Database.h"
#include "dataaccess/Table.h"

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QTabWidget;
class QTableWidget;
class QToolButton;
class QWidget;
class TStatusBar;
class TTreeNode;
class TTreeView;

// The main window. Its members are defined in the folder of the subsystem they belong to: the
// shell here, the tree, connection and structure view in browser/, the table view in viewer/.
class TfmMain : public QMainWindow {
  Q_OBJECT
public:
  TfmMain();
  ~TfmMain() override;

  // Toolbar
  QWidget* Panel1;
  QToolButton *btNew, *btOpen, *btSave, *btCut, *btCopy, *btPaste, *btUndo;
  TStatusBar* StatusBar1;
  // Left pane
  QWidget* Panel2;
  TTreeView* TreeView1;
  QSplitter* Splitter1;
  // Right pane
  QSplitter* Splitter2;
  QWidget *Panel3, *Panel4, *Panel5, *Panel6, *Panel7;
  QTabWidget* pgTop;
  QWidget* FieldSheet;
  QTableWidget* lvFields;
  QWidget* EditSheet;
  QPlainTextEdit* Memo1;
  QToolButton* btExecute;
  QTabWidget* pgBottom;
  QWidget* ResultSheet;
  QWidget* DBGrid1;
  QWidget* tbTable;
  QLabel* lbTableName;
  QWidget* DBNavigator1;
  QWidget* DBGrid2;
  // Menus
  QMenu *File1, *ExportData, *ExportTableData1, *ExportResultData1, *Help1;
  QAction *N1, *Exit1, *ExportTableDatatoCSV, *ExportTableToXML, *ExportResultDatatoCSV, *ExportResultDatatoXML, *About1;
  QMenu *mnTablePopUp, *mnResultsPopup;
  QAction *ExporttoCSV, *ExporttoXML, *ExporttoCSV1, *ExporttoXML1;
  // The seven pictures of the tree
  std::vector<QIcon> ImageList1;

  // Data access
  TDatabase Database;
  TTable Table;
  TTable qrTable;

  // Shell
  void FormCreate();
  bool FormCloseQuery();
  void Exit1Click();
  void About1Click();
  void DatabaseAfterConnect(TDatabase& sender);
  void DatabaseAfterDisconnect(TDatabase& sender);

  // Schema tree
  void FillAliasTree();
  void TreeView1Click();
  void TreeView1DblClick();
  int TreeView1Compare(TTreeNode* node1, TTreeNode* node2);
  void TreeView1Deletion(TTreeNode* node);
  void TreeView1Expanded(TTreeNode* node);
  void TreeView1Collapsed(TTreeNode* node);

  // Connection
  void ConnectToAlias();
  void CloseConnection();
  void LoadTableNames(TTreeNode* aliasNode);

  // Structure view
  void LoadTableFields(TTreeNode* tableNode);
  void ShowTableFields(TTreeNode* tableNode);
  static QString FieldTypeName(int dataType);

  // Table data view
  void OpenTable(const QString& tableName);

  bool FExporting = false;
  int FExportRow = 0;
  TTreeNode* FConnectedNode = nullptr;

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  void buildToolbar();
  void buildPanes();
  void buildMenus();
  void bindEvents();
};

extern TfmMain* fmMain;
extern bool CancelExport;
