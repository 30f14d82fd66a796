#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>
#include <vector>

#include "dataaccess/DataSource.h"
#include "dataaccess/Database.h"
#include "dataaccess/Query.h"
#include "dataaccess/Table.h"

class QAction;
class QFileDialog;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QTabWidget;
class QTableWidget;
class QToolButton;
class QWidget;
class TCSVFile;
class TDBGrid;
class TXMLDataset;
class TDBNavigator;
class TStatusBar;
class TObject;
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
  TDBGrid* DBGrid1;
  QWidget* tbTable;
  QLabel* lbTableName;
  TDBNavigator* DBNavigator1;
  TDBGrid* DBGrid2;
  // Menus
  QMenu *File1, *ExportData, *ExportTableData1, *ExportResultData1, *Help1;
  QAction *N1, *Exit1, *ExportTableDatatoCSV, *ExportTableToXML, *ExportResultDatatoCSV, *ExportResultDatatoXML, *About1;
  QMenu *mnTablePopUp, *mnResultsPopup;
  QAction *ExporttoCSV, *ExporttoXML, *ExporttoCSV1, *ExporttoXML1;
  QAction* OpenDatabase1;
  void OpenDatabase1Click();
  // Connections managed from the window, written to the user's alias file.
  QAction *NewConnection1, *EditConnection1, *RemoveConnection1;
  // The files last opened or saved, most recent first.
  QMenu *RecentDatabases1, *RecentFiles1;
  void OpenRecentSqlFile(const QString& fileName);
  void NewConnectionClick();
  void EditConnectionClick();
  void RemoveConnectionClick();
  // Keys of everyday use: Execute (F9, Ctrl+Enter, F5); the editor's New, Open and Save.
  QAction *acExecute, *acNew, *acOpen, *acSave;
  // The seven pictures of the tree
  std::vector<QIcon> ImageList1;

  // Data access
  TDatabase Database;
  TTable Table;
  TQuery qrSelect;
  TDataSource srcSelect;
  TTable qrTable;
  TDataSource srcTable;

  // Shell
  void FormCreate();
  bool FormCloseQuery();
  void Exit1Click();
  void About1Click();
  void DatabaseAfterConnect(TDatabase& sender);
  void DatabaseAfterDisconnect(TDatabase& sender);
  void DatabaseConnectionState(TDatabase& sender, bool lost);

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
  // Opens a SQLite database file as a connection for this run (an alias named after the file).
  void OpenDatabaseFile(const QString& fileName);
  // Connects to an alias by name, as a double-click on its node would (the login asked).
  void ConnectToAliasNamed(const QString& aliasName);
  void CloseConnection();
  void LoadTableNames(TTreeNode* aliasNode);

  // Structure view
  void LoadTableFields(TTreeNode* tableNode);
  void ShowTableFields(TTreeNode* tableNode);
  static QString FieldTypeName(int dataType);

  // Query execution
  void btExecuteClick();
  void RunQuery();

  // Table data view
  void OpenTable(const QString& tableName);
  void DBGrid2DblClick();
  // Before a command closes or leaves the table's rows (leavingTable), or hides the memo viewer:
  // asks whether to save what the user changed and has not saved. Yes posts (a failed post raises
  // and keeps the edit), No drops it, Cancel returns false and the command must stop.
  bool SettlePendingEdits(bool leavingTable);

  // SQL editor
  QFileDialog* OpenDialog = nullptr;  // made at first use and kept for the run
  QFileDialog* SaveDialog = nullptr;
  QString FOpenFileName;  // the file last chosen in OpenDialog this run; Save proposes it
  bool FLatin1Text = false;  // the text came from a file that is not UTF-8 and goes back in its encoding
  bool FReplacingText = false;  // the program replaces the whole text: not an edit
  void bindEditorEvents();
  void btNewClick();
  void btOpenClick();
  void btSaveClick();
  void btCutClick();
  void btCopyClick();
  void btPasteClick();
  void btUndoClick();
  void Memo1Change();
  void Memo1KeyDown();
  void ShowEditorPos();
  QString FSqlFileName;  // the file the editor's text was last opened from or saved to
  // When the text changed since it was last made new, opened or saved: asks whether to save it.
  // False on Cancel (or a save dialog cancelled): the command that asked must stop.
  bool QuerySaveSqlText();
  void ShowSqlFileInCaption();

  // Exports
  TXMLDataset* XMLDataset;
  void ExportTableDatatoCSVClick();
  void ExporttoCSVClick();
  void ExportResultDatatoCSVClick();
  void ExporttoCSV1Click();
  void ExportTableToXMLClick();
  void ExporttoXMLClick();
  void ExportResultDatatoXMLClick();
  void ExporttoXML1Click();
  void WriteCSVHeader(TCSVFile& file, TDataSet& dataSet);
  void WriteCSVRecord(TCSVFile& file, TDataSet& dataSet);
  void ExportRecords(int row);
  void qrTableAfterScroll(TDataSet& dataSet);
  void qrSelectAfterScroll(TDataSet& dataSet);

  bool FExporting = false;
  int FExportRow = 0;
  TTreeNode* FConnectedNode = nullptr;
  class TfmConnection* ConnectionDialog = nullptr;

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  void connectAlias(TTreeNode* node, bool askLogin);
  // A schema node under parent with its picture (also when selected) and the collapsed state mark.
  TTreeNode* addSchemaNode(TTreeNode* parent, const QString& text, TObject* data, int image);
  TTreeNode* addAliasNode(TTreeNode* root, const QString& name);
  // The alias of the tree's selected node (the alias itself or anything under it); nullptr for none.
  TTreeNode* selectedAliasNode() const;
  // Closes the connection when it is over this alias; false when the user kept an unsaved edit.
  bool letGoOfAlias(TTreeNode* aliasNode);
  void editAlias(TTreeNode* aliasNode);
  // Applies a change to the user's alias file (made from the file in use) and reads it again.
  void changeAliasFile(const std::function<QByteArray(const QByteArray&)>& change);
  void bindExportEvents();
  void loadSqlFile(const QString& fileName);
  bool saveSqlText();  // Save's dialog and write; false when the dialog was cancelled
  void setSqlFileName(const QString& fileName);
  // what: the progress dialog's description; fileBaseName: the name the proposed file is given.
  void exportToCSV(TDataSet& dataSet, const QString& what, const QString& fileBaseName);
  void exportToXML(TDataSet& dataSet, const QString& what, const QString& fileBaseName);
  // Says in the status bar what went where, and remembers the folder.
  void exportDone(const QString& fileName, int64_t records, bool cancelled);
  void buildToolbar();
  void buildPanes();
  void buildMenus();
  void bindEvents();
};

extern TfmMain* fmMain;

// The panels of the main window's status bar.
namespace MainStatus {
enum : int { Connection = 0, Caret = 1, RowsAffected = 2, Record = 3, Outcome = 4 };
}

