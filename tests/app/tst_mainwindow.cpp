// The main window and its dialogs: opening a database file without editing any alias file, and the
// window as it starts; what it remembers between runs; the database error dialog; names and values
// that look like markup, shown as written wherever the program shows text; and the keys of everyday
// use, pressed as a user presses them: Execute from the keyboard and on a selection, Tab between the
// grid's columns, and copying cells.
#include "AppFixture.h"

#include "uicore/DBErrorDialog.h"
#include "dataaccess/DBErrors.h"
#include "dbcontrols/DBGrid.h"
#include "dbcontrols/DBNavigator.h"

#include <QAction>
#include <QClipboard>
#include <QDirIterator>
#include <QFileDialog>
#include <QLineEdit>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QToolTip>

using namespace app_fixture;

namespace {

const QString markupTable = QStringLiteral("<h1>T</h1>");
const QString markupColumn = QStringLiteral("<b>n</b>");
const QByteArray itemsAlias = "[Keys]\nDriver=SQLite\nDatabase=keys.db\n";

// The menu's entries as they show when it opens.
QList<QAction*> entries(QMenu* menu)
{
  emit menu->aboutToShow();
  return menu->actions();
}

QStringList texts(QMenu* menu)
{
  QStringList texts;
  for (QAction* a : entries(menu))
    texts << a->text();
  return texts;
}

}  // namespace

class TestMainWindow : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;

  QString makeDatabase(const QString& relativePath)
  {
    QDir().mkpath(QFileInfo(folder->path(relativePath)).path());
    return folder->createDatabase(relativePath, QStringLiteral("CREATE TABLE parts(id INTEGER PRIMARY KEY, name TEXT);"
                                                               "INSERT INTO parts VALUES (1, 'gear');"));
  }

  // Starts the program over an alias to a database of items and of a table whose names look like markup.
  void startOverItems()
  {
    folder->createDatabase(QStringLiteral("keys.db"), QStringLiteral(
        "CREATE TABLE items(id INTEGER PRIMARY KEY, name VARCHAR(20), note TEXT, qty INTEGER);"
        "INSERT INTO items VALUES (1, 'bolt', 'first line' || char(10) || 'second line, bolt again', 7),"
        " (2, 'tab' || char(9) || 'bed', '\"quoted', NULL);"
        "CREATE TABLE \"%1\"(id INTEGER PRIMARY KEY, \"%2\" INTEGER GENERATED ALWAYS AS (id) VIRTUAL, v INTEGER);"
        "INSERT INTO \"%1\"(id, v) VALUES (1, 1);").arg(markupTable, markupColumn));
    startProgram(*folder, itemsAlias);
  }

  // Connects to the items, with the main window active for the keys.
  void connectToItems(const QString& user = QStringLiteral("u"), const QString& password = QString())
  {
    startOverItems();
    loginWith(user, password);
    doubleClick(child(root(), QStringLiteral("Keys")));
    QVERIFY(fmMain->Database.Connected());
    fmMain->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(fmMain));
  }

  void openTable(const QString& name = QStringLiteral("items"))
  {
    connectToItems();
    doubleClick(child(child(root(), QStringLiteral("Keys")), name));
    QVERIFY(fmMain->qrTable.Active());
    fmMain->DBGrid2->setFocus();
    QTRY_VERIFY(fmMain->DBGrid2->hasFocus());
  }

  QString resultColumn() { return fmMain->qrSelect.Active() ? fmMain->qrSelect.Fields(0)->FieldName() : QString(); }

private slots:
  void init() { folder = std::make_unique<TestFolder>(); }
  void cleanup()
  {
    stopProgram();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  // A name that is not a file is refused rather than made into a new, empty database, as is an
  // unknown alias, and the window stays as it starts: nothing connected, and the commands that need
  // a connection off. A file becomes an alias named after it, connected at once without a login; the
  // same file opened again is the same alias, another file of the same name gets a name of its own.
  // The configured aliases still connect through the login.
  void aFileBecomesAnAliasOfThisRun()
  {
    startOverItems();
    const QString missing = folder->path(QStringLiteral("missing.db"));
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, fmMain->OpenDatabaseFile(missing));
    QVERIFY(!QFile::exists(missing));
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, fmMain->OpenDatabaseFile(folder->path(QStringLiteral("."))));
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, fmMain->ConnectToAliasNamed(QStringLiteral("Nowhere")));
    QVERIFY(!fmMain->Database.Connected());
    QCOMPARE(childTexts(root()), QStringList{QStringLiteral("Keys")});
    QCOMPARE(panel(0), QStringLiteral("Disconnected"));
    QVERIFY(!fmMain->ExportData->isEnabled());
    QVERIFY(!fmMain->btExecute->isEnabled());
    const QString file = makeDatabase(QStringLiteral("shop.db"));
    fmMain->OpenDatabaseFile(file);
    QCOMPARE(fmMain->Database.AliasName(), QStringLiteral("shop"));
    QCOMPARE(childTexts(child(root(), QStringLiteral("shop"))), QStringList{QStringLiteral("parts")});
    fmMain->OpenDatabaseFile(file);
    fmMain->OpenDatabaseFile(makeDatabase(QStringLiteral("elsewhere/shop.db")));
    QCOMPARE(fmMain->Database.AliasName(), QStringLiteral("shop (2)"));
    QCOMPARE(childTexts(root()), (QStringList{"Keys", "shop", "shop (2)"}));
    loginWith(QStringLiteral("u"), QString());
    fmMain->ConnectToAliasNamed(QStringLiteral("keys"));
    QCOMPARE(fmMain->Database.AliasName(), QStringLiteral("Keys"));
  }

  // The next run remembers the database file opened from the File menu and the last eight SQL
  // files, most recent first and each once, leaving out one gone from disk; choosing one opens it.
  // The window comes back at its size with its splitters where they were left. What is remembered
  // holds no password, nor the user name typed at a login.
  void rememberedBetweenRuns()
  {
    connectToItems(QStringLiteral("someone-unusual"), QStringLiteral("pa55-word-kept-nowhere"));
    const QString file = makeDatabase(QStringLiteral("menu.db"));
    answerNextModal([file](QWidget* w) {
      auto* dialog = qobject_cast<QFileDialog*>(w);
      QVERIFY(dialog);
      // Typed into the name box, as a user would: selectFile() leaves the box alone once it has the
      // focus, which the dialog gives it as it shows, sooner or later than this runs.
      auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      QVERIFY(name);
      name->setText(file);
      QCOMPARE(dialog->selectedFiles(), QStringList{file});
      static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
    });
    fmMain->OpenDatabase1->trigger();
    QVERIFY(allModalsAnswered());
    QCOMPARE(fmMain->Database.AliasName(), QStringLiteral("menu"));
    QCOMPARE(texts(fmMain->RecentFiles1), QStringList{QStringLiteral("(none)")});
    for (int i : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 9}) {
      QFile f(folder->path(QStringLiteral("q%1.sql").arg(i)));
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("SELECT " + QByteArray::number(i));
      f.close();
      fmMain->OpenRecentSqlFile(f.fileName());
    }
    QFile::remove(folder->path(QStringLiteral("q8.sql")));
    fmMain->resize(900, 640);
    fmMain->Splitter1->setSizes({300, 595});
    const QList<int> splitter = fmMain->Splitter1->sizes();
    fmMain->close();
    stopProgram();
    startProgram(*folder, itemsAlias);
    QCOMPARE(fmMain->size(), QSize(900, 640));
    QCOMPARE(fmMain->Splitter1->sizes(), splitter);
    QCOMPARE(texts(fmMain->RecentFiles1), (QStringList{"&1 q9.sql", "&2 q10.sql", "&3 q7.sql", "&4 q6.sql",
                                                       "&5 q5.sql", "&6 q4.sql", "&7 q3.sql"}));
    entries(fmMain->RecentFiles1).value(1)->trigger();
    QCOMPARE(fmMain->Memo1->toPlainText(), QStringLiteral("SELECT 10"));
    QCOMPARE(texts(fmMain->RecentDatabases1), QStringList{QStringLiteral("&1 menu.db")});
    entries(fmMain->RecentDatabases1).value(0)->trigger();
    QCOMPARE(fmMain->Database.AliasName(), QStringLiteral("menu"));
    QByteArray remembered;
    for (QDirIterator it(folder->path(QStringLiteral("config")), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
      QFile f(it.next());
      QVERIFY(f.open(QIODevice::ReadOnly));
      remembered += f.readAll();
    }
    QVERIFY(remembered.contains("menu.db"));  // what was remembered was looked at
    QVERIFY(!remembered.contains("pa55-word-kept-nowhere"));
    QVERIFY(!remembered.contains("someone-unusual"));
  }

  // The error dialog shows each entry of the error followed by an empty line, to read and copy but
  // not to change; Enter closes it and it goes away by itself.
  void errorDialogShowsEveryEntryFollowedByAnEmptyLine_data()
  {
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("text");
    QTest::newRow("three, one of two lines") << QStringList{"A", "first\nsecond", "Z"} << "A\n\nfirst\nsecond\n\nZ\n";
    QTest::newRow("none") << QStringList{} << "";
    QTest::newRow("more than fit") << QStringList(30, QStringLiteral("entry")) << QString("entry\n\n").repeated(30).chopped(1);
  }
  void errorDialogShowsEveryEntryFollowedByAnEmptyLine()
  {
    QFETCH(QStringList, entries);
    QFETCH(QString, text);
    startProgram(*folder, "");
    std::vector<TDBError> list;
    for (const QString& m : entries)
      list.push_back({m, 1, 0});
    QString shown, copied;
    QPointer<TfmDBError> dialog;
    QApplication::clipboard()->clear();
    answerNextModal([&](QWidget* w) {
      dialog = qobject_cast<TfmDBError*>(w);
      QVERIFY(dialog);
      QTest::keyClicks(dialog->RTF, QStringLiteral("xy"));
      QTest::keyClick(dialog->RTF, Qt::Key_Backspace);
      QTest::keySequence(dialog->RTF, QKeySequence::SelectAll);
      QTest::keySequence(dialog->RTF, QKeySequence::Copy);
      copied = QApplication::clipboard()->text();
      shown = dialog->RTF->toPlainText();
      QTest::keyClick(dialog, Qt::Key_Return);
    });
    new TfmDBError(fmMain, EDBEngineError(list));
    QVERIFY(allModalsAnswered());
    QCOMPARE(shown, text);
    QCOMPARE(copied, text);
    QVERIFY(dialog);  // released later, not while the constructor still runs
    QTRY_VERIFY(!dialog);
  }

  // A label that took "<h1>T</h1>" for markup would show a big "T" instead: the table caption, the
  // structure's tooltips, the grid's refusals and message boxes show such names and values as written.
  void markupIsShownAsWritten()
  {
    openTable(markupTable);
    QLabel* caption = fmMain->lbTableName;
    QCOMPARE(caption->text(), QStringLiteral("Table: ") + markupTable);
    QVERIFY(caption->sizeHint().width() >= caption->fontMetrics().horizontalAdvance(caption->text()));
    const QString tip = fmMain->lvFields->item(1, 0)->toolTip();
    QVERIFY(!Qt::mightBeRichText(tip) || tip.contains(markupColumn.toHtmlEscaped()));
    // The grid's refusal names the read-only column as written.
    TDBGrid* grid = fmMain->DBGrid2;
    grid->SetSelectedIndex(1);
    QTest::keyClick(grid, Qt::Key_F2);
    QVERIFY(grid->LastRefusal().contains(markupColumn));
    QVERIFY2(QToolTip::text().contains(markupColumn.toHtmlEscaped()), qPrintable(QToolTip::text()));
    // A value typed that does not read is quoted in the message as typed, in a box of plain text.
    grid->SetSelectedIndex(2);
    QString text;
    answerNextModal([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      QVERIFY(box);
      text = (box->textFormat() == Qt::PlainText ? QString() : QStringLiteral("not plain: ")) + box->text();
      box->accept();
    });
    QTest::keyClicks(grid, QStringLiteral("<h1>9</h1>"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(allModalsAnswered());
    QCOMPARE(text, QStringLiteral("'<h1>9</h1>' is not a valid integer value for field 'v'."));
    fmMain->qrTable.Cancel();
  }

  // Each key runs the editor's text, or only its selection, as the button does, and types nothing;
  // without a connection it does nothing, as the disabled button would.
  void execute_data()
  {
    QTest::addColumn<QString>("keys");  // none: the Execute button
    QTest::addColumn<QString>("selected");  // none: the whole text
    QTest::addColumn<QString>("column");
    const QString twoLines = QStringLiteral("SELECT 2\n  AS second");
    QTest::newRow("F9: the whole text, its last result") << "F9" << "" << "third";
    QTest::newRow("Ctrl+Return, one line selected") << "Ctrl+Return" << "SELECT 1 AS first" << "first";
    QTest::newRow("Ctrl+Enter on the keypad, across lines") << "Ctrl+Num+Enter" << twoLines << "second";
    QTest::newRow("F5") << "F5" << "" << "third";
    QTest::newRow("the button, across lines") << "" << twoLines << "second";
  }
  void execute()
  {
    QFETCH(QString, keys);
    QFETCH(QString, selected);
    const QString text = QStringLiteral("SELECT 1 AS first;\nSELECT 2\n  AS second;\nSELECT 3 AS third");
    connectToItems();
    fmMain->pgTop->setCurrentWidget(fmMain->EditSheet);
    fmMain->Memo1->setPlainText(text);
    fmMain->Memo1->setFocus();
    QTRY_VERIFY(fmMain->Memo1->hasFocus());
    QTextCursor cursor = fmMain->Memo1->textCursor();
    cursor.setPosition(text.indexOf(selected));
    cursor.setPosition(text.indexOf(selected) + selected.size(), QTextCursor::KeepAnchor);
    fmMain->Memo1->setTextCursor(cursor);
    const auto press = [&] {
      keys.isEmpty() ? QTest::mouseClick(fmMain->btExecute, Qt::LeftButton) : QTest::keySequence(fmMain->Memo1, keys);
    };
    press();
    QTEST(resultColumn(), "column");
    QCOMPARE(fmMain->Memo1->toPlainText(), text);
    fmMain->CloseConnection();
    press();
    QVERIFY(allModalsAnswered());
    QVERIFY(!fmMain->qrSelect.Active());
  }

  // Tab and Shift+Tab move between the columns and keep the focus in the grid, browsing, editing
  // or inserting (by key or by the navigator).
  void tabMovesBetweenColumns()
  {
    openTable();
    TDBGrid* grid = fmMain->DBGrid2;
    grid->SetSelectedIndex(2);
    QTest::keyClick(grid, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(grid->SelectedIndex(), 1);
    QTest::keyClicks(grid, QStringLiteral("nut"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(grid->SelectedIndex(), 2);
    QVERIFY(grid->isAncestorOf(QApplication::focusWidget()) || grid->hasFocus());
    QCOMPARE(fmMain->qrTable.FieldByName(QStringLiteral("name"))->AsString(), QStringLiteral("nut"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    for (bool byNavigator : {false, true}) {
      byNavigator ? fmMain->DBNavigator1->Buttons(TDBNavigator::nbInsert)->click() : QTest::keyClick(grid, Qt::Key_Insert);
      QCOMPARE(fmMain->qrTable.State(), dsInsert);
      QTest::keyClick(grid, Qt::Key_Tab);
      QVERIFY(grid->hasFocus());
      QTest::keyClick(grid, Qt::Key_Escape);
    }
  }

  // Copies are tab-separated text as the grid shows it, an edit under way as the user sees it; a
  // value with a tab, a line break or a leading quote is quoted so that it pastes into one cell.
  void copyingCells()
  {
    openTable();
    TDBGrid* grid = fmMain->DBGrid2;
    fmMain->qrTable.SetRecNo(2);
    QCOMPARE(grid->CopyText(true, false), QStringLiteral("2\t\"tab\tbed\"\t\"\"\"quoted\"\t"));  // NULL as nothing
    fmMain->qrTable.SetRecNo(1);
    QCOMPARE(grid->CopyText(true, true),
             QStringLiteral("id\tname\tnote\tqty\n1\tbolt\t\"first line\nsecond line, bolt again\"\t7"));
    grid->SetSelectedIndex(1);
    QTest::keyClicks(grid, QStringLiteral("washer"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("washer"));
  }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
