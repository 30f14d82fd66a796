// The keys of everyday use, pressed as a user presses them: Execute from the keyboard and on a
// selection, the editor's New/Open/Save keys, Tab between the grid's columns, copying cells, and
// finding in the memo viewer.
#include "AppFixture.h"

#include "dbcontrols/DBGrid.h"
#include "dbcontrols/DBNavigator.h"
#include "viewer/DBRichEdit.h"

#include <QClipboard>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTextBlock>
#include <QToolButton>

using namespace app_fixture;

class TestKeys : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;

  void connect()
  {
    folder->createDatabase(QStringLiteral("keys.db"), QStringLiteral(
        "CREATE TABLE items(id INTEGER PRIMARY KEY, name VARCHAR(20), note TEXT, qty INTEGER);"
        "INSERT INTO items VALUES (1, 'bolt', 'first line' || char(10) || 'second line, bolt again', 7),"
        " (2, 'tab' || char(9) || 'bed', '\"quoted', NULL);"));
    startProgram(*folder, "[Keys]\nDriver=SQLite\nDatabase=keys.db\n");
    loginWith(QStringLiteral("u"), QString());
    doubleClick(child(root(), QStringLiteral("Keys")));
    QVERIFY(fmMain->Database.Connected());
    fmMain->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(fmMain));
  }

  void openItems()
  {
    doubleClick(child(child(root(), QStringLiteral("Keys")), QStringLiteral("items")));
    QVERIFY(fmMain->qrTable.Active());
    fmMain->DBGrid2->setFocus();
    QTRY_VERIFY(fmMain->DBGrid2->hasFocus());
  }

  // The editor's text, typed in, with the caret in the editor.
  void type(const QString& sql)
  {
    fmMain->pgTop->setCurrentWidget(fmMain->EditSheet);
    fmMain->Memo1->setPlainText(sql);
    fmMain->Memo1->setFocus();
    QTRY_VERIFY(fmMain->Memo1->hasFocus());
  }

  QString resultColumn() { return fmMain->qrSelect.Active() ? fmMain->qrSelect.Fields(0)->FieldName() : QString(); }

private slots:
  void init()
  {
    folder = std::make_unique<TestFolder>();
    connect();
  }
  void cleanup()
  {
    stopProgram();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  void executeKeys_data()
  {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("F9") << int(Qt::Key_F9) << int(Qt::NoModifier);
    QTest::newRow("Ctrl+Return") << int(Qt::Key_Return) << int(Qt::ControlModifier);
    QTest::newRow("Ctrl+Enter on the keypad") << int(Qt::Key_Enter) << int(Qt::ControlModifier | Qt::KeypadModifier);
    QTest::newRow("F5") << int(Qt::Key_F5) << int(Qt::NoModifier);
  }
  void executeKeys()
  {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    type(QStringLiteral("SELECT 1 AS one"));
    QTest::keyClick(fmMain->Memo1, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(resultColumn(), QStringLiteral("one"));
    QCOMPARE(fmMain->Memo1->toPlainText(), QStringLiteral("SELECT 1 AS one"));  // the key typed nothing
    // Without a connection the key does nothing, as the disabled button would.
    fmMain->CloseConnection();
    fmMain->qrSelect.Close();
    QTest::keyClick(fmMain->Memo1, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QVERIFY(allModalsAnswered());
    QVERIFY(!fmMain->qrSelect.Active());
  }

  // With a selection only the selected text runs, from the button as from the keys.
  void executeRunsTheSelection_data()
  {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("column");
    const QString text = QStringLiteral("SELECT 1 AS first;\nSELECT 2\n  AS second;\nSELECT 3 AS third");
    QTest::newRow("no selection: the whole text, its last result") << 0 << 0 << "third";
    QTest::newRow("one line") << 0 << int(text.indexOf(';')) << "first";
    QTest::newRow("across lines") << int(text.indexOf(QLatin1String("SELECT 2"))) << int(text.indexOf(QLatin1String("second")) + 6)
                                  << "second";
  }
  void executeRunsTheSelection()
  {
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, column);
    type(QStringLiteral("SELECT 1 AS first;\nSELECT 2\n  AS second;\nSELECT 3 AS third"));
    QTextCursor cursor = fmMain->Memo1->textCursor();
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    fmMain->Memo1->setTextCursor(cursor);
    QTest::mouseClick(fmMain->btExecute, Qt::LeftButton);
    QCOMPARE(resultColumn(), column);
  }

  // Alt with a menu's letter opens that menu, F10 the first; a letter then picks an item.
  void menusFromTheKeyboard_data()
  {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("menu");
    QTest::newRow("Alt+F") << int(Qt::Key_F) << int(Qt::AltModifier) << "File1";
    QTest::newRow("Alt+E") << int(Qt::Key_E) << int(Qt::AltModifier) << "ExportData";
    QTest::newRow("Alt+H") << int(Qt::Key_H) << int(Qt::AltModifier) << "Help1";
    QTest::newRow("F10") << int(Qt::Key_F10) << int(Qt::NoModifier) << "File1";
  }
  void menusFromTheKeyboard()
  {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, menu);
    QTest::keyClick(fmMain, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QMenu* open = fmMain->findChild<QMenu*>(menu);
    QVERIFY(open);
    QTRY_VERIFY(open->isVisible());
    QTest::keyClick(open, Qt::Key_Escape);
    QTRY_VERIFY(!open->isVisible());
  }

  // The Help menu's letter A opens the About box.
  void aMenuItemByItsLetter()
  {
    QTest::keyClick(fmMain, Qt::Key_H, Qt::AltModifier);
    QTRY_VERIFY(fmMain->Help1->isVisible());
    bool aboutShown = false;
    answerNextModal([&aboutShown](QWidget* w) {
      aboutShown = w == fmAbout;
      w->close();
    });
    QTest::keyClick(fmMain->Help1, Qt::Key_A);
    QTRY_VERIFY(allModalsAnswered());
    QVERIFY(aboutShown);
  }

  // Ctrl+N acts as the New button, but only while the editor's page is the one shown.
  void editorKeysOnlyOnTheEditorPage()
  {
    type(QStringLiteral("SELECT 1"));
    fmMain->Memo1->document()->setModified(false);
    fmMain->pgTop->setCurrentWidget(fmMain->FieldSheet);
    QTest::keyClick(fmMain, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(fmMain->Memo1->toPlainText(), QStringLiteral("SELECT 1"));
    fmMain->pgTop->setCurrentWidget(fmMain->EditSheet);
    QTest::keyClick(fmMain->Memo1, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(fmMain->Memo1->toPlainText(), QString());
  }

  // Tab and Shift+Tab move between the columns and keep the focus in the grid, browsing or editing.
  void tabMovesBetweenColumns()
  {
    openItems();
    TDBGrid* grid = fmMain->DBGrid2;
    grid->SetSelectedIndex(0);
    QTest::keyClick(grid, Qt::Key_Tab);
    QCOMPARE(grid->SelectedIndex(), 1);
    QVERIFY(grid->hasFocus());
    QTest::keyClick(grid, Qt::Key_Tab);
    QCOMPARE(grid->SelectedIndex(), 2);
    QTest::keyClick(grid, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(grid->SelectedIndex(), 1);
    QVERIFY(grid->hasFocus());
    QTest::keyClicks(grid, QStringLiteral("nut"));  // types into the cell: the record is edited
    QVERIFY(grid->Editing());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(grid->SelectedIndex(), 2);
    QVERIFY(grid->isAncestorOf(QApplication::focusWidget()) || grid->hasFocus());
    QCOMPARE(fmMain->qrTable.FieldByName(QStringLiteral("name"))->AsString(), QStringLiteral("nut"));
    // Inserting, by key or by the navigator, keeps the focus in the grid for typing and Tab.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    for (bool byNavigator : {false, true}) {
      if (byNavigator)
        fmMain->DBNavigator1->Buttons(TDBNavigator::nbInsert)->click();
      else
        QTest::keyClick(grid, Qt::Key_Insert);
      QCOMPARE(fmMain->qrTable.State(), dsInsert);
      QVERIFY(grid->hasFocus());
      QTest::keyClick(grid, Qt::Key_Tab);
      QVERIFY(grid->hasFocus());
      QTest::keyClick(grid, Qt::Key_Escape);
    }
  }

  // Copies are tab-separated text as the grid shows it; a value with a tab, a line break or a
  // leading quote is quoted so that it pastes into one cell.
  void copyingCells_data()
  {
    QTest::addColumn<int>("record");
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("wholeRecord");
    QTest::addColumn<bool>("withNames");
    QTest::addColumn<QString>("expected");
    QTest::newRow("a cell") << 1 << 1 << false << false << "bolt";
    QTest::newRow("a cell with a tab") << 2 << 1 << false << false << "\"tab\tbed\"";
    QTest::newRow("a cell with a line break") << 1 << 2 << false << false << "\"first line\nsecond line, bolt again\"";
    QTest::newRow("a record, NULL as nothing") << 2 << 0 << true << false << "2\t\"tab\tbed\"\t\"\"\"quoted\"\t";
    QTest::newRow("with column names") << 1 << 3 << true << true
                                       << "id\tname\tnote\tqty\n1\tbolt\t\"first line\nsecond line, bolt again\"\t7";
  }
  void copyingCells()
  {
    QFETCH(int, record);
    QFETCH(int, column);
    QFETCH(bool, wholeRecord);
    QFETCH(bool, withNames);
    QFETCH(QString, expected);
    openItems();
    fmMain->qrTable.SetRecNo(record);
    fmMain->DBGrid2->SetSelectedIndex(column);
    QCOMPARE(fmMain->DBGrid2->CopyText(wholeRecord, withNames), expected);
    if (!wholeRecord) {  // Ctrl+C puts the same on the clipboard
      QGuiApplication::clipboard()->clear();
      QTest::keyClick(fmMain->DBGrid2, Qt::Key_C, Qt::ControlModifier);
      QCOMPARE(QGuiApplication::clipboard()->text(), expected);
    }
  }

  // An edit under way is copied as the user sees it, not as the database holds it.
  void copyingAnEditedCell()
  {
    openItems();
    fmMain->DBGrid2->SetSelectedIndex(1);
    QTest::keyClicks(fmMain->DBGrid2, QStringLiteral("washer"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(fmMain->DBGrid2->CopyText(false, false), QStringLiteral("washer"));
  }

  // Ctrl+F goes to the search box, Enter there finds, F3 finds the next.
  void findingInTheMemoViewer()
  {
    openItems();
    fmMain->DBGrid2->SetSelectedIndex(2);
    fmMain->DBGrid2DblClick();
    QTRY_VERIFY(fmMemoView->isVisible());
    fmMemoView->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(fmMemoView));
    QTRY_COMPARE(QApplication::activeWindow(), fmMemoView);
    fmMemoView->DBRTF->setFocus();
    QTest::keyClick(fmMemoView->DBRTF, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(fmMemoView->edSearchStr->hasFocus());
    QTest::keyClicks(fmMemoView->edSearchStr, QStringLiteral("line"));
    QTest::keyClick(fmMemoView->edSearchStr, Qt::Key_Return);
    const QString text = fmMemoView->DBRTF->toPlainText();
    QCOMPARE(fmMemoView->DBRTF->textCursor().selectionStart(), int(text.indexOf(QLatin1String("line"))));
    QTest::keyClick(fmMemoView->edSearchStr, Qt::Key_F3);
    QCOMPARE(fmMemoView->DBRTF->textCursor().selectionStart(), int(text.indexOf(QLatin1String("line"), 7)));
  }
};

QTEST_MAIN(TestKeys)
#include "tst_keys.moc"
