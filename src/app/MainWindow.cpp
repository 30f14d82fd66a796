#include "app/MainWindow.h"

#include "about/AboutDialog.h"
#include "uicore/ExceptionGuard.h"
#include "uicore/Glyphs.h"
#include "uicore/Ink.h"
#include "uicore/PlainText.h"
#include "uicore/StatusBar.h"
#include "uicore/UserSettings.h"
#include "dataaccess/EngineWait.h"
#include "viewer/MemoViewWindow.h"
#include "dbcontrols/DBGrid.h"
#include "dbcontrols/DBNavigator.h"
#include "editor/SqlHighlighter.h"
#include "browser/TreeView.h"
#include "dataaccess/Session.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

TfmMain* fmMain = nullptr;


namespace {

QWidget* panel(const char* name, QWidget* parent)
{
  auto* w = new QWidget(parent);
  w->setObjectName(QLatin1String(name));
  return w;
}

QToolButton* speedButton(const char* name, const QString& hint, const QIcon& icon, QWidget* parent)
{
  auto* b = new QToolButton(parent);
  b->setObjectName(QLatin1String(name));
  b->setToolTip(hint);
  b->setIcon(icon);
  b->setAutoRaise(true);  // flat until the mouse is over it
  b->setFixedSize(23, 25);
  b->setFocusPolicy(Qt::NoFocus);
  return b;
}

QAction* menuItem(QMenu* menu, const char* name, const QString& caption)
{
  QAction* a = menu->addAction(caption);
  a->setObjectName(QLatin1String(name));
  return a;
}

}  // namespace

TfmMain::TfmMain()
{
  setObjectName(QStringLiteral("fmMain"));
  SetApplicationMessageParent(this);
  setWindowTitle(QStringLiteral("Kestrel"));
  QFont f = font();
  f.setPixelSize(13);
  setFont(f);
  resize(802, 500);

  Database.SetDatabaseName(QStringLiteral("KestrelDB"));
  Database.LoginPrompt = false;
  Database.SessionName = QStringLiteral("Default");
  Table.SetDatabaseName(QStringLiteral("KestrelDB"));
  qrTable.SetDatabaseName(QStringLiteral("KestrelDB"));
  qrSelect.SetDatabaseName(QStringLiteral("KestrelDB"));
  srcSelect.SetDataSet(&qrSelect);
  srcTable.SetDataSet(&qrTable);

  for (int i = 0; i < TreeImage::Count; ++i)
    ImageList1.push_back(QIcon(treeImage(i)));

  buildToolbar();
  buildPanes();
  buildMenus();
  bindEvents();
  // As the user left it the last time.
  restoreGeometry(UserSettings::state(QStringLiteral("geometry")));
  Splitter1->restoreState(UserSettings::state(QStringLiteral("Splitter1")));
  Splitter2->restoreState(UserSettings::state(QStringLiteral("Splitter2")));
  Guarded([this] { FormCreate(); });
}

TfmMain::~TfmMain()
{
  // The tree's nodes own their data objects; delete them while the deletion handler can run.
  TreeView1->Clear();
  TreeView1->OnDeletion = nullptr;
  Database.AfterDisconnect = nullptr;
  Database.OnConnectionState = nullptr;
  Database.Close();
  // The grids outlive these members as child widgets; they must not hear of them any more.
  DBGrid1->SetDataSource(nullptr);
  DBGrid2->SetDataSource(nullptr);
  DBNavigator1->SetDataSource(nullptr);
  if (fmMain == this)
    fmMain = nullptr;
}

void TfmMain::buildToolbar()
{
  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("ClientArea"));
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  setCentralWidget(central);

  Panel1 = panel("Panel1", central);
  Panel1->setFixedHeight(37);
  auto* tools = new QHBoxLayout(Panel1);
  tools->setContentsMargins(4, 6, 4, 6);
  tools->setSpacing(0);
  btNew = speedButton("btNew", tr("New Query"), toolGlyphIcon(ToolGlyph::New), Panel1);
  btOpen = speedButton("btOpen", tr("Open a query"), toolGlyphIcon(ToolGlyph::Open), Panel1);
  btSave = speedButton("btSave", tr("Save Query"), toolGlyphIcon(ToolGlyph::Save), Panel1);
  btCut = speedButton("btCut", tr("Cut"), toolGlyphIcon(ToolGlyph::Cut), Panel1);
  btCopy = speedButton("btCopy", tr("Copy"), toolGlyphIcon(ToolGlyph::Copy), Panel1);
  btPaste = speedButton("btPaste", tr("Paste"), toolGlyphIcon(ToolGlyph::Paste), Panel1);
  btUndo = speedButton("btUndo", tr("Undo editing changes"), toolGlyphIcon(ToolGlyph::Undo), Panel1);
  btUndo->setEnabled(false);
  for (QToolButton* b : {btNew, btOpen, btSave})
    tools->addWidget(b);
  tools->addSpacing(8);
  for (QToolButton* b : {btCut, btCopy, btPaste})
    tools->addWidget(b);
  tools->addSpacing(8);
  tools->addWidget(btUndo);
  tools->addStretch(1);
  layout->addWidget(Panel1);

  StatusBar1 = new TStatusBar({200, 140, 130, 140, 50}, this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->SetPanelText(MainStatus::Connection, tr("Disconnected"));
  setStatusBar(StatusBar1);
}

void TfmMain::buildPanes()
{
  QWidget* central = centralWidget();
  Splitter1 = new QSplitter(Qt::Horizontal, central);
  Splitter1->setObjectName(QStringLiteral("Splitter1"));
  Splitter1->setHandleWidth(5);
  Splitter1->setChildrenCollapsible(false);
  static_cast<QVBoxLayout*>(central->layout())->addWidget(Splitter1, 1);

  Panel2 = panel("Panel2", Splitter1);
  auto* left = new QVBoxLayout(Panel2);
  left->setContentsMargins(0, 0, 0, 0);
  TreeView1 = new TTreeView(Panel2);
  TreeView1->setObjectName(QStringLiteral("TreeView1"));
  TreeView1->Images = ImageList1;
  left->addWidget(TreeView1);

  Panel3 = panel("Panel3", Splitter1);
  auto* right = new QVBoxLayout(Panel3);
  right->setContentsMargins(0, 0, 0, 0);
  Splitter2 = new QSplitter(Qt::Vertical, Panel3);
  Splitter2->setObjectName(QStringLiteral("Splitter2"));
  Splitter2->setHandleWidth(5);
  Splitter2->setChildrenCollapsible(false);
  right->addWidget(Splitter2);
  Splitter1->addWidget(Panel2);
  Splitter1->addWidget(Panel3);
  Splitter1->setStretchFactor(1, 1);
  Splitter1->setSizes({185, 802 - 185 - 5});

  // Upper pages: the structure list and the SQL editor.
  Panel4 = panel("Panel4", Splitter2);
  auto* top = new QVBoxLayout(Panel4);
  top->setContentsMargins(0, 0, 0, 0);
  pgTop = new QTabWidget(Panel4);
  pgTop->setObjectName(QStringLiteral("pgTop"));
  pgTop->setTabPosition(QTabWidget::North);
  top->addWidget(pgTop);

  FieldSheet = panel("FieldSheet", pgTop);
  auto* fieldLayout = new QVBoxLayout(FieldSheet);
  fieldLayout->setContentsMargins(0, 0, 0, 0);
  lvFields = new QTableWidget(0, 6, FieldSheet);
  lvFields->setObjectName(QStringLiteral("lvFields"));
  lvFields->setHorizontalHeaderLabels({tr("Name"), tr("Type"), tr("Size"),
                                       tr("Precision"), tr("Required"),
                                       tr("Primary Key")});
  lvFields->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);  // equal shares of the width
  lvFields->verticalHeader()->hide();
  lvFields->verticalHeader()->setDefaultSectionSize(18);
  lvFields->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvFields->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvFields->setSelectionMode(QAbstractItemView::SingleSelection);
  lvFields->setShowGrid(true);
  lvFields->setWordWrap(false);
  QFont bold = lvFields->font();
  bold.setBold(true);
  bold.setPixelSize(13);
  lvFields->setFont(bold);
  fieldLayout->addWidget(lvFields);
  pgTop->addTab(FieldSheet, tr("Fields"));

  EditSheet = panel("EditSheet", pgTop);
  auto* editLayout = new QHBoxLayout(EditSheet);
  editLayout->setContentsMargins(0, 0, 0, 0);
  editLayout->setSpacing(0);
  Memo1 = new QPlainTextEdit(EditSheet);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setTabChangesFocus(false);
  new TSqlHighlighter(Memo1);
  editLayout->addWidget(Memo1, 1);
  Panel6 = panel("Panel6", EditSheet);
  Panel6->setFixedWidth(33);
  btExecute = new QToolButton(Panel6);
  btExecute->setObjectName(QStringLiteral("btExecute"));
  btExecute->setToolTip(tr("Execute (F9, Ctrl+Enter, F5); with a selection, the selected text only"));
  btExecute->setText(QStringLiteral("\u25B6"));  // a play mark: run the statement
  btExecute->setAutoRaise(true);
  btExecute->setGeometry(4, 4, 25, 25);
  btExecute->setEnabled(false);
  editLayout->addWidget(Panel6);
  pgTop->addTab(EditSheet, tr("SQL Editor"));
  pgTop->setCurrentWidget(FieldSheet);

  // Lower pages: query results and the table's rows.
  Panel5 = panel("Panel5", Splitter2);
  auto* bottom = new QVBoxLayout(Panel5);
  bottom->setContentsMargins(0, 0, 0, 0);
  pgBottom = new QTabWidget(Panel5);
  pgBottom->setObjectName(QStringLiteral("pgBottom"));
  pgBottom->setTabPosition(QTabWidget::South);
  bottom->addWidget(pgBottom);

  ResultSheet = panel("ResultSheet", pgBottom);
  auto* resultLayout = new QVBoxLayout(ResultSheet);
  resultLayout->setContentsMargins(0, 0, 0, 0);
  DBGrid1 = new TDBGrid(ResultSheet);
  DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
  // Results are read-only and selected a whole row at a time.
  DBGrid1->Options = (TDBGrid::DefaultOptions & ~TDBGrid::dgEditing) | TDBGrid::dgRowSelect;
  DBGrid1->ReadOnly = true;
  DBGrid1->SetDataSource(&srcSelect);
  resultLayout->addWidget(DBGrid1);
  pgBottom->addTab(ResultSheet, tr("Results"));

  tbTable = panel("tbTable", pgBottom);
  auto* tableLayout = new QVBoxLayout(tbTable);
  tableLayout->setContentsMargins(0, 0, 0, 0);
  tableLayout->setSpacing(0);
  Panel7 = panel("Panel7", tbTable);
  Panel7->setFixedHeight(29);
  auto* strip = new QHBoxLayout(Panel7);
  strip->setContentsMargins(6, 2, 6, 2);
  lbTableName = new QLabel(Panel7);
  lbTableName->setTextFormat(Qt::PlainText);  // a table name, as written
  lbTableName->setObjectName(QStringLiteral("lbTableName"));
  QFont navyBold = lbTableName->font();
  navyBold.setBold(true);
  lbTableName->setFont(navyBold);
  keepInkReadable(lbTableName, QColor(0x00, 0x00, 0x80));  // navy, lightened on a dark palette
  strip->addWidget(lbTableName, 1);
  DBNavigator1 = new TDBNavigator(Panel7);
  DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
  DBNavigator1->SetDataSource(&srcTable);
  strip->addWidget(DBNavigator1);
  tableLayout->addWidget(Panel7);
  DBGrid2 = new TDBGrid(tbTable);
  DBGrid2->setObjectName(QStringLiteral("DBGrid2"));
  DBGrid2->SetDataSource(&srcTable);
  tableLayout->addWidget(DBGrid2, 1);
  pgBottom->addTab(tbTable, tr("Table Data"));
  pgBottom->setCurrentWidget(ResultSheet);

  Splitter2->addWidget(Panel4);
  Splitter2->addWidget(Panel5);
  Splitter2->setStretchFactor(1, 1);
  Splitter2->setSizes({209, 200});
}

void TfmMain::buildMenus()
{
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu"));
  File1 = bar->addMenu(tr("&File"));
  File1->setObjectName(QStringLiteral("File1"));
  OpenDatabase1 = menuItem(File1, "OpenDatabase1", tr("&Open SQLite Database..."));
  OpenDatabase1->setShortcut(Qt::CTRL | Qt::SHIFT | Qt::Key_O);
  NewConnection1 = menuItem(File1, "NewConnection1", tr("&New Connection..."));
  EditConnection1 = menuItem(File1, "EditConnection1", tr("&Edit Connection..."));
  RemoveConnection1 = menuItem(File1, "RemoveConnection1", tr("&Remove Connection"));
  File1->addSeparator();
  RecentDatabases1 = File1->addMenu(tr("Recent &Databases"));
  RecentDatabases1->setObjectName(QStringLiteral("RecentDatabases1"));
  RecentFiles1 = File1->addMenu(tr("Recent SQL &Files"));
  RecentFiles1->setObjectName(QStringLiteral("RecentFiles1"));
  // Filled as they open, from what is remembered now.
  const auto fillRecent = [this](QMenu* menu, const QString& list, const std::function<void(const QString&)>& open) {
    menu->clear();
    const QStringList files = UserSettings::recentFiles(list);
    for (int i = 0; i < files.size(); ++i) {
      QAction* a = menu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(files[i]).fileName()));
      a->setToolTip(plainToolTip(QDir::toNativeSeparators(files[i])));
      a->setStatusTip(QDir::toNativeSeparators(files[i]));
      connect(a, &QAction::triggered, this, guard([open, file = files[i]] { open(file); }));
    }
    if (files.isEmpty())
      menu->addAction(tr("(none)"))->setEnabled(false);
  };
  connect(RecentDatabases1, &QMenu::aboutToShow, this, [=, this] {
    fillRecent(RecentDatabases1, QStringLiteral("databases"), [this](const QString& f) { OpenDatabaseFile(f); });
  });
  connect(RecentFiles1, &QMenu::aboutToShow, this, [=, this] {
    fillRecent(RecentFiles1, QStringLiteral("sql"), [this](const QString& f) { OpenRecentSqlFile(f); });
  });
  N1 = File1->addSeparator();
  N1->setObjectName(QStringLiteral("N1"));
  Exit1 = menuItem(File1, "Exit1", tr("E&xit"));

  ExportData = bar->addMenu(tr("&Export "));
  ExportData->setObjectName(QStringLiteral("ExportData"));
  ExportData->setEnabled(false);
  ExportTableData1 = ExportData->addMenu(tr("Export &Table Data"));
  ExportTableData1->setObjectName(QStringLiteral("ExportTableData1"));
  ExportTableDatatoCSV = menuItem(ExportTableData1, "ExportTableDatatoCSV", tr("Export Table Data to &CSV..."));
  ExportTableToXML = menuItem(ExportTableData1, "ExportTableToXML", tr("Export Table Data to &XML..."));
  ExportResultData1 = ExportData->addMenu(tr("Export &Result Data"));
  ExportResultData1->setObjectName(QStringLiteral("ExportResultData1"));
  ExportResultDatatoCSV = menuItem(ExportResultData1, "ExportResultDatatoCSV", tr("Export Result Data to &CSV..."));
  ExportResultDatatoXML = menuItem(ExportResultData1, "ExportResultDatatoXML", tr("Export Result Data to &XML..."));

  Help1 = bar->addMenu(tr("&Help"));
  Help1->setObjectName(QStringLiteral("Help1"));
  About1 = menuItem(Help1, "About1", tr("&About Kestrel..."));

  mnTablePopUp = new QMenu(this);
  mnTablePopUp->setObjectName(QStringLiteral("mnTablePopUp"));
  ExporttoCSV = menuItem(mnTablePopUp, "ExporttoCSV", tr("Export to &CSV..."));
  ExporttoXML = menuItem(mnTablePopUp, "ExporttoXML", tr("Export to &XML..."));
  mnResultsPopup = new QMenu(this);
  mnResultsPopup->setObjectName(QStringLiteral("mnResultsPopup"));
  ExporttoCSV1 = menuItem(mnResultsPopup, "ExporttoCSV1", tr("Export to &CSV..."));
  ExporttoXML1 = menuItem(mnResultsPopup, "ExporttoXML1", tr("Export to &XML"));

  for (auto [grid, menu] : {std::pair{DBGrid1, mnResultsPopup}, std::pair{DBGrid2, mnTablePopUp}}) {
    // Copying, as every grid of a database tool offers it; the export commands follow.
    QAction* before = menu->actions().value(0);
    const auto copyItem = [this, grid = grid, menu = menu, before](const QString& caption, bool wholeRecord, bool withNames) {
      auto* a = new QAction(caption, menu);
      menu->insertAction(before, a);
      connect(a, &QAction::triggered, this, guard([grid, wholeRecord, withNames] { grid->CopyToClipboard(wholeRecord, withNames); }));
      return a;
    };
    copyItem(tr("C&opy"), false, false)->setShortcut(QKeySequence::Copy);
    copyItem(tr("Copy &Row"), true, false);
    copyItem(tr("Copy with Column &Names"), true, true);
    menu->insertSeparator(before);
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid, &QWidget::customContextMenuRequested, this,
            [grid, menu](const QPoint& pos) { menu->popup(grid->mapToGlobal(pos)); });
  }
}

void TfmMain::bindEvents()
{
  connect(Exit1, &QAction::triggered, this, guard([this] { Exit1Click(); }));
  connect(About1, &QAction::triggered, this, guard([this] { About1Click(); }));
  connect(OpenDatabase1, &QAction::triggered, this, guard([this] { OpenDatabase1Click(); }));
  connect(NewConnection1, &QAction::triggered, this, guard([this] { NewConnectionClick(); }));
  connect(EditConnection1, &QAction::triggered, this, guard([this] { EditConnectionClick(); }));
  connect(RemoveConnection1, &QAction::triggered, this, guard([this] { RemoveConnectionClick(); }));
  connect(btExecute, &QToolButton::clicked, this, guard([this] { btExecuteClick(); }));
  // The keys act as the buttons would, and only while the button could be pressed.
  const auto windowKeys = [this](const char* name, const QList<QKeySequence>& keys, QToolButton* button,
                                 std::function<void()> click, bool editorPageOnly) {
    auto* a = new QAction(this);
    a->setObjectName(QLatin1String(name));
    a->setShortcuts(keys);
    a->setShortcutContext(Qt::WindowShortcut);
    addAction(a);
    connect(a, &QAction::triggered, this, guard([this, button, click, editorPageOnly] {
              if (button->isEnabled() && (!editorPageOnly || pgTop->currentWidget() == EditSheet))
                click();
            }));
    return a;
  };
  acExecute = windowKeys("acExecute", {Qt::Key_F9, Qt::CTRL | Qt::Key_Return, Qt::CTRL | Qt::Key_Enter, Qt::Key_F5},
                         btExecute, [this] { btExecuteClick(); }, false);
  acNew = windowKeys("acNew", {QKeySequence::New}, btNew, [this] { btNewClick(); }, true);
  acOpen = windowKeys("acOpen", {QKeySequence::Open}, btOpen, [this] { btOpenClick(); }, true);
  acSave = windowKeys("acSave", {QKeySequence::Save}, btSave, [this] { btSaveClick(); }, true);
  // F10 opens the menu bar at its first menu, as Alt with a menu's letter opens that menu.
  auto* menuKey = new QAction(this);
  menuKey->setObjectName(QStringLiteral("acMenuBar"));
  menuKey->setShortcut(Qt::Key_F10);
  addAction(menuKey);
  connect(menuKey, &QAction::triggered, this, [this] { menuBar()->setActiveAction(File1->menuAction()); });
  DBGrid2->OnDblClick = [this] { DBGrid2DblClick(); };
  // The record panel follows the grid of the page on show.
  const auto showRecord = [this] {
    const auto* grid = pgBottom->currentWidget() == tbTable ? DBGrid2 : DBGrid1;
    StatusBar1->SetPanelText(MainStatus::Record, grid->RecordText());
  };
  for (TDBGrid* grid : {DBGrid1, DBGrid2})
    connect(grid, &TDBGrid::recordTextChanged, this, showRecord);
  connect(pgBottom, &QTabWidget::currentChanged, this, showRecord);
  bindExportEvents();
  Database.AfterConnect = [this](TDatabase& db) { DatabaseAfterConnect(db); };
  Database.AfterDisconnect = [this](TDatabase& db) { DatabaseAfterDisconnect(db); };
  Database.OnConnectionState = [this](TDatabase& db, bool lost) { DatabaseConnectionState(db, lost); };

  TreeView1->OnClick = [this] { TreeView1Click(); };
  TreeView1->OnDblClick = [this] { TreeView1DblClick(); };
  TreeView1->OnCompare = [this](TTreeNode* a, TTreeNode* b) { return TreeView1Compare(a, b); };
  TreeView1->OnDeletion = [this](TTreeNode* n) { TreeView1Deletion(n); };
  TreeView1->OnExpanded = [this](TTreeNode* n) { TreeView1Expanded(n); };
  TreeView1->OnCollapsed = [this](TTreeNode* n) { TreeView1Collapsed(n); };
  bindEditorEvents();
}

void TfmMain::FormCreate()
{
  FExporting = false;
  // The program sets the cursor itself around long engine calls.
  Session().SetActive(false);
  Session().SQLHourGlass = false;
  Session().SetActive(true);
  FillAliasTree();
}

bool TfmMain::FormCloseQuery()
{
  if (FExporting || TEngineWait::active())
    return false;
  // Asked while the window is still shown, so that Cancel keeps everything as it was.
  return SettlePendingEdits(true) && QuerySaveSqlText();
}

void TfmMain::closeEvent(QCloseEvent* event)
{
  bool canClose = false;
  Guarded([&] { canClose = FormCloseQuery(); });
  if (!canClose) {
    event->ignore();
    return;
  }
  // Everything is settled: the other windows go without questions, and with the main window the
  // last window of the program closes, which ends the run.
  if (fmMemoView)
    fmMemoView->hide();
  UserSettings::setState(QStringLiteral("geometry"), saveGeometry());
  UserSettings::setState(QStringLiteral("Splitter1"), Splitter1->saveState());
  UserSettings::setState(QStringLiteral("Splitter2"), Splitter2->saveState());
  event->accept();
}

void TfmMain::Exit1Click()
{
  close();
}

void TfmMain::About1Click()
{
  fmAbout->exec();
}

void TfmMain::DatabaseAfterConnect(TDatabase&)
{
  ExportData->setEnabled(true);
}

void TfmMain::DatabaseAfterDisconnect(TDatabase&)
{
  ExportData->setEnabled(false);
}

// The connection stays open while the server is away: the next command connects again, and the
// panel says which of the two holds.
void TfmMain::DatabaseConnectionState(TDatabase& sender, bool lost)
{
  StatusBar1->SetPanelText(MainStatus::Connection, (lost ? tr("Connection lost: ") : tr("Connected: ")) + sender.AliasName());
}
