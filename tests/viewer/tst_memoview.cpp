#include "AppFixture.h"

#include "dataaccess/DataSet.h"
#include "viewer/DBRichEdit.h"

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <sqlite3.h>

using namespace app_fixture;

// Four records: two lines, one line with ABC/abc, three lines with an empty last line, no text at all.
static const char* const kNotes =
    "CREATE TABLE notes(id INTEGER PRIMARY KEY, title VARCHAR(20), body TEXT, remark TEXT);"
    "INSERT INTO notes VALUES(1, 'one', 'First line' || char(10) || 'Second line', 'remark one');"
    "INSERT INTO notes VALUES(2, 'two', 'ABC then abc, and abc again', 'remark two');"
    "INSERT INTO notes VALUES(3, 'three', 'one' || char(10) || 'two' || char(10) || 'three' || char(10), NULL);"
    "INSERT INTO notes VALUES(4, 'four', NULL, NULL);"
    "CREATE TABLE empty_notes(id INTEGER PRIMARY KEY, body TEXT);"
    "CREATE VIEW notes_view AS SELECT id, body FROM notes;"
    "CREATE TRIGGER no_secrets BEFORE UPDATE ON notes WHEN NEW.body LIKE '%secret%' "
    "BEGIN SELECT RAISE(ABORT, 'secrets may not be stored'); END;";

class TestMemoView : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;
  QString dbFile;

  static TDBRichEdit* rtf() { return fmMemoView->DBRTF; }
  static QString status(int i) { return fmMemoView->StatusBar1->PanelText(i); }
  static QStringList statusPanels() { return {status(0), status(1), status(2)}; }

  // What the table holds now, read past the program's own connection.
  QString stored(const char* column, int id, const char* table = "notes") const
  {
    sqlite3* db = nullptr;
    sqlite3_open_v2(dbFile.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    const QByteArray sql = QByteArray("SELECT ") + column + " FROM " + table + " WHERE id = ?";
    sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
    sqlite3_bind_int(st, 1, id);
    QString value = QStringLiteral("<missing>");
    if (sqlite3_step(st) == SQLITE_ROW)
      value = sqlite3_column_type(st, 0) == SQLITE_NULL
                  ? QStringLiteral("<null>")
                  : QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return value;
  }

  // As the grid's double-click binds the viewer.
  static void bind(const QString& field)
  {
    fmMemoView->DBRTF->SetDataSource(&fmMain->srcTable);
    fmMemoView->DBRTF->SetDataField(field);
    fmMemoView->FModified = false;
    fmMemoView->UpdateStatus();
    fmMemoView->show();
    QVERIFY(QTest::qWaitForWindowExposed(fmMemoView));
  }

  static void openAndBind(const QString& table = QStringLiteral("notes"), const QString& field = QStringLiteral("body"))
  {
    fmMain->OpenTable(table);
    QVERIFY(fmMain->qrTable.Active());
    bind(field);
  }

  static void placeCaret(int anchor, int position)
  {
    QTextCursor c = rtf()->textCursor();
    c.setPosition(anchor);
    c.setPosition(position, QTextCursor::KeepAnchor);
    rtf()->setTextCursor(c);
  }

  // Runs the action and tells whether a modal window came up meanwhile (closing it).
  static bool askedDuring(const std::function<void()>& action)
  {
    bool asked = false;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        asked = true;
        modal->close();
      }
    });
    watch.start();
    action();
    return asked;
  }

private slots:
  void init()
  {
    folder = std::make_unique<TestFolder>();
    dbFile = folder->createDatabase(QStringLiteral("notes.db"), QString::fromLatin1(kNotes));
    startProgram(*folder, "[Notes]\nDriver=SQLite\nDatabase=notes.db\n");
    loginWith(QStringLiteral("u"), QString());
    doubleClick(child(root(), QStringLiteral("Notes")));
    QVERIFY(fmMain->Database.Connected());
  }
  void cleanup()
  {
    stopProgram();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  // A value the editor cannot show exactly is only shown: typing, pasting and saving change nothing.
  void textItCannotKeepIsReadOnly_data()
  {
    QTest::addColumn<QString>("value");   // SQL expression stored in body of record 1
    QTest::addColumn<bool>("editable");
    QTest::newRow("invalid UTF-8") << "CAST(x'0001FF616263' AS TEXT)" << false;
    QTest::newRow("truncated sequence") << "CAST(x'61E5B1' AS TEXT)" << false;
    QTest::newRow("NUL inside, which the editor keeps") << "CAST(x'610062' AS TEXT)" << true;
    QTest::newRow("mixed line ends") << "'a' || char(13,10) || 'b' || char(10) || 'c'" << false;
    QTest::newRow("CR alone") << "'a' || char(13) || 'b'" << false;
    QTest::newRow("plain text") << "'plain ' || char(10) || 'é 🦅'" << true;
    QTest::newRow("CR LF throughout") << "'a' || char(13,10) || 'b'" << true;
  }
  void textItCannotKeepIsReadOnly()
  {
    QFETCH(QString, value);
    QFETCH(bool, editable);
    executeSql(dbFile, QStringLiteral("UPDATE notes SET body = %1 WHERE id = 1").arg(value));
    const QByteArray before = [&] {
      fmMain->OpenTable(QStringLiteral("notes"));
      return fmMain->qrTable.FieldByName(QStringLiteral("body"))->AsBytes();
    }();
    openAndBind();
    QCOMPARE(rtf()->isReadOnly(), !editable);
    QCOMPARE(fmMemoView->lbNotEditable->isVisible(), !editable);
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    rtf()->setFocus();
    QTest::keyClick(rtf(), Qt::Key_X);
    fmMemoView->btPasteClick();
    QCOMPARE(fmMemoView->FModified, editable);
    if (editable) {
      fmMemoView->btSaveClick();
      QVERIFY(fmMain->qrTable.FieldByName(QStringLiteral("body"))->AsString().contains(QStringLiteral("pasted")));
      return;
    }
    QCOMPARE(fmMain->qrTable.State(), dsBrowse);
    QVERIFY(!askedDuring([] { fmMemoView->close(); }));
    fmMain->qrTable.Refresh();
    QCOMPARE(fmMain->qrTable.FieldByName(QStringLiteral("body"))->AsBytes(), before);
    // The next record, which is plain text, can be edited again.
    openAndBind();
    fmMain->qrTable.Next();
    QVERIFY(!rtf()->isReadOnly());
    QVERIFY(fmMemoView->lbNotEditable->isHidden());
  }

  void startsHiddenUnboundAndEmpty()
  {
    QVERIFY(!fmMemoView->isVisible());
    QCOMPARE(fmMemoView->windowTitle(), QStringLiteral("Memo View"));
    QCOMPARE(statusPanels(), QStringList({"", "", ""}));
    QCOMPARE(fmMemoView->StatusBar1->PanelCount(), 3);
    QCOMPARE(fmMemoView->StatusBar1->findChild<QLabel*>(QStringLiteral("Panel0"))->width(), 100);
    QVERIFY(!rtf()->DataSource());
    QVERIFY(!rtf()->WordWrap());
    QVERIFY(!rtf()->WantTabs());
    QVERIFY(!fmMemoView->mnWordWrap->isChecked());
    QVERIFY(!fmMemoView->mnTabs->isChecked());
    QStringList hints;
    for (QToolButton* b : {fmMemoView->btSave, fmMemoView->btCut, fmMemoView->btCopy, fmMemoView->btPaste, fmMemoView->SpeedButton1})
      hints << b->toolTip();
    QCOMPARE(hints, QStringList({"Save", "Cut", "Copy", "Paste", "Find"}));
    QCOMPARE(fmMemoView->SpeedButton1->text(), QStringLiteral("Find"));
    QVERIFY(fmMemoView->edSearchStr->text().isEmpty());
    fmMemoView->show();
    QVERIFY(QTest::qWaitForWindowExposed(fmMemoView));
    QVERIFY(fmMemoView->edSearchStr->x() > fmMemoView->SpeedButton1->x());
  }

  void followsTheCurrentRecord_data()
  {
    QTest::addColumn<int>("moves");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("lines");
    QTest::newRow("first record, two lines") << 0 << "First line\nSecond line" << "2 Lines";
    QTest::newRow("one line") << 1 << "ABC then abc, and abc again" << "1 Lines";
    QTest::newRow("empty last line not counted") << 2 << "one\ntwo\nthree\n" << "3 Lines";
    QTest::newRow("null text") << 3 << "" << "0 Lines";
  }
  void followsTheCurrentRecord()
  {
    QFETCH(int, moves);
    QFETCH(QString, text);
    QFETCH(QString, lines);
    openAndBind();
    for (int i = 0; i < moves; ++i)
      fmMain->qrTable.Next();
    QCOMPARE(rtf()->toPlainText(), text);
    // Browsing is no edit: nothing is marked and the record stays unedited.
    QCOMPARE(statusPanels(), QStringList({"", "0:0", lines}));
    QVERIFY(!fmMemoView->FModified);
    QCOMPARE(fmMain->qrTable.State(), dsBrowse);

    // A closed table empties the viewer but does not hide it.
    fmMain->qrTable.Close();
    QVERIFY(rtf()->toPlainText().isEmpty());
    QVERIFY(fmMemoView->isVisible());
  }

  void typingEditsTheRecordAndSaveWritesIt()
  {
    openAndBind();
    placeCaret(0, 0);
    QTest::keyClicks(rtf(), QStringLiteral("New "));
    QCOMPARE(status(0), QStringLiteral("Modified"));
    QCOMPARE(fmMain->qrTable.State(), dsEdit);
    QCOMPARE(rtf()->toPlainText(), QStringLiteral("New First line\nSecond line"));
    QCOMPARE(stored("body", 1), QStringLiteral("First line\nSecond line"));

    QTest::mouseClick(fmMemoView->btSave, Qt::LeftButton);
    QCOMPARE(fmMain->qrTable.State(), dsBrowse);
    QCOMPARE(status(0), QString());
    QCOMPARE(stored("body", 1), QStringLiteral("New First line\nSecond line"));
    QCOMPARE(rtf()->textCursor().position(), 4);  // saving does not move the caret

    // Saved: closing asks nothing, hides the window and unbinds it.
    QVERIFY(!askedDuring([] { QVERIFY(fmMemoView->close()); }));
    QVERIFY(!fmMemoView->isVisible());
    QVERIFY(!rtf()->DataSource());
    QVERIFY(rtf()->DataField().isEmpty());
    QVERIFY(rtf()->toPlainText().isEmpty());
  }

  void saveWithoutPendingChangesKeepsTheMark()
  {
    openAndBind();
    QTest::keyClicks(rtf(), QStringLiteral("x"));
    fmMain->qrTable.Next();  // moving posts the record already
    QCOMPARE(stored("body", 1), QStringLiteral("xFirst line\nSecond line"));
    QCOMPARE(rtf()->toPlainText(), QStringLiteral("ABC then abc, and abc again"));
    fmMemoView->btSaveClick();
    QCOMPARE(status(0), QStringLiteral("Modified"));
    QCOMPARE(stored("body", 2), QStringLiteral("ABC then abc, and abc again"));
  }

  void typingIntoAnEmptyTableInsertsARecord()
  {
    openAndBind(QStringLiteral("empty_notes"));
    QTest::keyClicks(rtf(), QStringLiteral("new"));
    QCOMPARE(fmMain->qrTable.State(), dsInsert);
    QCOMPARE(rtf()->toPlainText(), QStringLiteral("new"));
    fmMemoView->btSaveClick();
    QCOMPARE(fmMain->qrTable.RecordCount(), 1);
    QCOMPARE(stored("body", 1, "empty_notes"), QStringLiteral("new"));
    QCOMPARE(rtf()->toPlainText(), QStringLiteral("new"));
    QCOMPARE(status(0), QString());
  }

  void keepsTheRecordsLineEnds()
  {
    executeSql(dbFile, QStringLiteral("UPDATE notes SET body = 'a' || char(13, 10) || 'b' WHERE id = 1"));
    openAndBind();
    QCOMPARE(status(2), QStringLiteral("2 Lines"));
    placeCaret(1, 1);
    QTest::keyClicks(rtf(), QStringLiteral("!"));
    fmMemoView->btSaveClick();
    QCOMPARE(stored("body", 1), QStringLiteral("a!\r\nb"));
  }

  void closeQuestion_data()
  {
    QTest::addColumn<int>("answer");  // a QMessageBox button, or 0 for the Escape key
    QTest::addColumn<bool>("staysOpen");
    QTest::addColumn<int>("state");  // TDataSetState
    QTest::addColumn<QString>("bodyStored");
    QTest::addColumn<QString>("titleStored");
    QTest::addColumn<QString>("titleInRecord");
    const QString original = QStringLiteral("First line\nSecond line");
    QTest::newRow("Cancel keeps window and edit")
        << int(QMessageBox::Cancel) << true << int(dsEdit) << original << "one" << "edited";
    QTest::newRow("Escape is Cancel") << 0 << true << int(dsEdit) << original << "one" << "edited";
    QTest::newRow("No drops every pending change")
        << int(QMessageBox::No) << false << int(dsBrowse) << original << "one" << "one";
    QTest::newRow("Yes posts the record")
        << int(QMessageBox::Yes) << false << int(dsBrowse) << "X" + original << "edited" << "edited";
  }
  void closeQuestion()
  {
    QFETCH(int, answer);
    QFETCH(bool, staysOpen);
    QFETCH(int, state);
    QFETCH(QString, bodyStored);
    QFETCH(QString, titleStored);
    QFETCH(QString, titleInRecord);
    openAndBind();
    QTest::keyClicks(rtf(), QStringLiteral("X"));
    fmMain->qrTable.FieldByName(QStringLiteral("title"))->SetAsString(QStringLiteral("edited"));  // as the grid would

    QString title, text;
    QMessageBox::Icon icon = QMessageBox::Warning;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    answerNextModal([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      QVERIFY(box);
      title = box->windowTitle();
      text = box->text();
      icon = box->icon();
      buttons = box->standardButtons();
      defaultButton = box->standardButton(box->defaultButton());
      if (answer == 0)
        QTest::keyClick(box, Qt::Key_Escape);
      else
        box->button(QMessageBox::StandardButton(answer))->click();
    });
    fmMemoView->close();
    QVERIFY(allModalsAnswered());
    QCOMPARE(title, QStringLiteral("Memo Changed"));
    QCOMPARE(text, QStringLiteral("Memo data has be modified. Do you want to save your changes?"));
    QCOMPARE(icon, QMessageBox::NoIcon);
    QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(defaultButton, QMessageBox::Yes);

    QCOMPARE(fmMemoView->isVisible(), staysOpen);
    QCOMPARE(rtf()->DataSource() != nullptr, staysOpen);
    QCOMPARE(int(fmMain->qrTable.State()), state);
    QCOMPARE(stored("body", 1), bodyStored);
    QCOMPARE(stored("title", 1), titleStored);
    QCOMPARE(fmMain->qrTable.FieldByName(QStringLiteral("title"))->AsString(), titleInRecord);
    if (staysOpen) {
      QCOMPARE(rtf()->toPlainText(), QStringLiteral("XFirst line\nSecond line"));
      QCOMPARE(status(0), QStringLiteral("Modified"));
    }
  }

  void failedPostKeepsTheEditAndTheWindow()
  {
    openAndBind();
    QTest::keyClicks(rtf(), QStringLiteral("secret "));
    QString failure;
    captureAndClose(&failure);
    QTest::mouseClick(fmMemoView->btSave, Qt::LeftButton);
    QVERIFY(allModalsAnswered());
    QVERIFY2(failure.contains(QStringLiteral("secrets may not be stored")), qPrintable(failure));
    QCOMPARE(status(0), QStringLiteral("Modified"));
    QCOMPARE(fmMain->qrTable.State(), dsEdit);

    // The same failure from the close question's Yes stops the close.
    answerNextModal([](QWidget* w) { qobject_cast<QMessageBox*>(w)->button(QMessageBox::Yes)->click(); });
    captureAndClose(&failure);
    fmMemoView->close();
    QVERIFY(allModalsAnswered());
    QVERIFY(fmMemoView->isVisible());
    QCOMPARE(rtf()->toPlainText(), QStringLiteral("secret First line\nSecond line"));
    QCOMPARE(stored("body", 1), QStringLiteral("First line\nSecond line"));
  }

  void refusedEdits_data()
  {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("condition");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("errorShown");
    const QString first = QStringLiteral("First line\nSecond line");
    QTest::newRow("automatic editing off") << "notes" << "noAutoEdit" << first << false;
    QTest::newRow("read-only field") << "notes" << "readOnly" << first << false;
    QTest::newRow("closed table") << "notes" << "closed" << "" << false;
    QTest::newRow("view without a key") << "notes_view" << "" << first << true;
  }
  void refusedEdits()
  {
    QFETCH(QString, table);
    QFETCH(QString, condition);
    QFETCH(QString, text);
    QFETCH(bool, errorShown);
    openAndBind(table);
    if (condition == QLatin1String("noAutoEdit"))
      fmMain->srcTable.AutoEdit = false;
    else if (condition == QLatin1String("readOnly"))
      fmMain->qrTable.FieldByName(QStringLiteral("body"))->ReadOnly = true;
    else if (condition == QLatin1String("closed"))
      fmMain->qrTable.Close();
    QString error;
    if (errorShown)
      captureAndClose(&error);
    QTest::keyClicks(rtf(), QStringLiteral("Z"));
    QVERIFY(allModalsAnswered());
    QCOMPARE(error.contains(QStringLiteral("cannot be edited")), errorShown);
    QCOMPARE(rtf()->toPlainText(), text);
    QCOMPARE(status(0), QString());
    QVERIFY(fmMain->qrTable.State() != dsEdit);
  }

  void clipboardButtons_data()
  {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("selStart");
    QTest::addColumn<int>("selEnd");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<bool>("modified");
    QTest::newRow("cut") << "btCut" << 0 << 6 << "line\nSecond line" << "First " << true;
    QTest::newRow("copy") << "btCopy" << 0 << 5 << "First line\nSecond line" << "First" << false;
    QTest::newRow("paste over the selection") << "btPaste" << 6 << 10 << "First memo\nSecond line" << "memo" << true;
    QTest::newRow("cut nothing") << "btCut" << 3 << 3 << "First line\nSecond line" << "memo" << false;
  }
  void clipboardButtons()
  {
    QFETCH(QString, button);
    QFETCH(int, selStart);
    QFETCH(int, selEnd);
    QFETCH(QString, text);
    QFETCH(QString, clipboard);
    QFETCH(bool, modified);
    openAndBind();
    QGuiApplication::clipboard()->setText(QStringLiteral("memo"));
    placeCaret(selStart, selEnd);
    QTest::mouseClick(fmMemoView->findChild<QToolButton*>(button), Qt::LeftButton);
    QCOMPARE(rtf()->toPlainText(), text);
    QCOMPARE(QGuiApplication::clipboard()->text(), clipboard);
    QCOMPARE(status(0), modified ? QStringLiteral("Modified") : QString());
    QCOMPARE(fmMain->qrTable.State(), modified ? dsEdit : dsBrowse);
  }

  void find_data()
  {
    QTest::addColumn<QString>("search");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("foundStart");  // -1: nothing found, the selection stays
    // "ABC then abc, and abc again": abc at 9 and 18, ABC at 0.
    QTest::newRow("case must match") << "abc" << 0 << 0 << 9;
    QTest::newRow("caret alone does not matter") << "ABC" << 20 << 20 << 0;
    QTest::newRow("continues after the selection") << "abc" << 9 << 12 << 18;
    QTest::newRow("backward selection counts by its end") << "abc" << 12 << 9 << 18;
    QTest::newRow("inside a word") << "gai" << 0 << 0 << 23;
    QTest::newRow("after the last hit nothing changes") << "abc" << 18 << 21 << -1;
    QTest::newRow("text not there") << "xyz" << 2 << 4 << -1;
    QTest::newRow("empty search text") << "" << 0 << 0 << -1;
  }
  void find()
  {
    QFETCH(QString, search);
    QFETCH(int, anchor);
    QFETCH(int, position);
    QFETCH(int, foundStart);
    openAndBind();
    fmMain->qrTable.Next();
    fmMemoView->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(fmMemoView));
    placeCaret(anchor, position);
    fmMemoView->edSearchStr->setFocus();
    QTest::keyClicks(fmMemoView->edSearchStr, search);
    QTest::mouseClick(fmMemoView->SpeedButton1, Qt::LeftButton);
    const QTextCursor c = rtf()->textCursor();
    if (foundStart < 0) {
      QCOMPARE(c.anchor(), anchor);
      QCOMPARE(c.position(), position);
      QCOMPARE(QApplication::focusWidget(), fmMemoView->edSearchStr);
    } else {
      QCOMPARE(c.selectionStart(), foundStart);
      QCOMPARE(c.selectedText(), search);
      QCOMPARE(QApplication::focusWidget(), rtf());
    }
    QCOMPARE(status(0), QString());
  }

  void caretPosition_data()
  {
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("shown");
    // "First line\nSecond line"
    QTest::newRow("start") << 0 << 0 << "1:1";
    QTest::newRow("end of the first line") << 10 << 10 << "1:11";
    QTest::newRow("start of the second line") << 11 << 11 << "2:1";
    QTest::newRow("selection counts by its end") << 14 << 2 << "2:4";
  }
  void caretPosition()
  {
    QFETCH(int, anchor);
    QFETCH(int, position);
    QFETCH(QString, shown);
    openAndBind();
    placeCaret(anchor, position);
    // The key is read before the control moves the caret.
    QTest::keyClick(rtf(), Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(status(1), shown);
    QCOMPARE(QString::number(fmMemoView->FLine) + ':' + QString::number(fmMemoView->FCol), shown);
    QCOMPARE(rtf()->textCursor().position(), 0);

    // A click reads the caret where the click put it.
    const QRect second = rtf()->cursorRect(QTextCursor(rtf()->document()->findBlockByNumber(1)));
    QTest::mouseClick(rtf()->viewport(), Qt::LeftButton, {}, second.center() + QPoint(1, 0));
    QCOMPARE(status(1), QStringLiteral("2:1"));
  }

  void wordWrap()
  {
    executeSql(dbFile, QStringLiteral("UPDATE notes SET body = '%1' WHERE id = 1").arg(QStringLiteral("word ").repeated(80)));
    openAndBind();
    QCOMPARE(status(2), QStringLiteral("1 Lines"));
    fmMemoView->mnWordWrap->trigger();
    QVERIFY(fmMemoView->mnWordWrap->isChecked());
    QVERIFY(rtf()->WordWrap());
    fmMemoView->UpdateStatus();
    const int wrapped = status(2).section(QLatin1Char(' '), 0, 0).toInt();
    QVERIFY2(wrapped > 2, qPrintable(status(2)));
    QCOMPARE(rtf()->document()->blockCount(), 1);
    // The caret's line is the display line it stands on.
    placeCaret(399, 399);
    fmMemoView->UpdateCaretPos();
    QCOMPARE(fmMemoView->FLine, wrapped);

    fmMemoView->mnWordWrap->trigger();
    QVERIFY(!fmMemoView->mnWordWrap->isChecked());
    QVERIFY(!rtf()->WordWrap());
    fmMemoView->UpdateStatus();
    QCOMPARE(status(2), QStringLiteral("1 Lines"));
  }

  void tabs_data()
  {
    QTest::addColumn<bool>("wantTabs");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("modified");
    QTest::newRow("Tab moves the focus") << false << "First line\nSecond line" << "";
    QTest::newRow("Tab inserts a tab") << true << "\tFirst line\nSecond line" << "Modified";
  }
  void tabs()
  {
    QFETCH(bool, wantTabs);
    QFETCH(QString, text);
    QFETCH(QString, modified);
    openAndBind();
    if (wantTabs)
      fmMemoView->mnTabs->trigger();
    QCOMPARE(fmMemoView->mnTabs->isChecked(), wantTabs);
    QCOMPARE(rtf()->WantTabs(), wantTabs);
    fmMemoView->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(fmMemoView));
    rtf()->setFocus();
    placeCaret(0, 0);
    QTest::keyClick(rtf(), Qt::Key_Tab);
    QCOMPARE(rtf()->toPlainText(), text);
    QCOMPARE(status(0), modified);
    QCOMPARE(rtf()->hasFocus(), wantTabs);

    // A second click on the item turns it back.
    fmMemoView->mnTabs->trigger();
    QCOMPARE(fmMemoView->mnTabs->isChecked(), !wantTabs);
    QCOMPARE(rtf()->WantTabs(), !wantTabs);
  }

  void hideByTheTreeUnbindsWithoutAsking()
  {
    openAndBind();
    QTest::keyClicks(rtf(), QStringLiteral("X"));
    QCOMPARE(status(0), QStringLiteral("Modified"));
    QVERIFY(!askedDuring([] { fmMemoView->hide(); }));
    QVERIFY(!fmMemoView->isVisible());
    QVERIFY(!rtf()->DataSource());
    QVERIFY(rtf()->DataField().isEmpty());
    QVERIFY(rtf()->toPlainText().isEmpty());

    // The next binding starts clean, even though the previous edit was never saved.
    bind(QStringLiteral("remark"));
    QCOMPARE(rtf()->toPlainText(), QStringLiteral("remark one"));
    QCOMPARE(status(0), QString());
  }

  void rebindingWhileVisibleShowsTheOtherField()
  {
    openAndBind();
    fmMemoView->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(fmMemoView));
    rtf()->setFocus();
    QTest::keyClicks(rtf(), QStringLiteral("X"));
    // Going to the grid takes the focus away, which hands the typed text to the record.
    fmMain->windowHandle()->requestActivate();
    QTRY_COMPARE(QApplication::activeWindow(), fmMain);
    QCOMPARE(fmMain->qrTable.FieldByName(QStringLiteral("body"))->AsString(), QStringLiteral("XFirst line\nSecond line"));

    bind(QStringLiteral("remark"));
    QVERIFY(fmMemoView->isVisible());
    QCOMPARE(rtf()->DataField(), QStringLiteral("remark"));
    QCOMPARE(rtf()->toPlainText(), QStringLiteral("remark one"));
    QCOMPARE(status(0), QString());
    QTest::keyClicks(rtf(), QStringLiteral("Y"));
    fmMemoView->btSaveClick();
    QCOMPARE(stored("remark", 1), QStringLiteral("Yremark one"));
    QCOMPARE(stored("body", 1), QStringLiteral("XFirst line\nSecond line"));
  }

  // Typed memo text is asked about before the main window goes, with the viewer's own question.
  void closingTheMainWindowAsksAboutTheText()
  {
    openAndBind();
    QTest::keyClicks(rtf(), QStringLiteral("X"));
    QString asked, title;
    answerNextModal([&](QWidget* w) {
      asked = modalText(w);
      title = w->windowTitle();
      qobject_cast<QMessageBox*>(w)->button(QMessageBox::No)->click();
    });
    QVERIFY(fmMain->close());
    QCOMPARE(title, QStringLiteral("Memo Changed"));
    QCOMPARE(stored("body", 1), QStringLiteral("First line\nSecond line"));
    QVERIFY(!fmMemoView->isVisible());
  }
};

QTEST_MAIN(TestMemoView)
#include "tst_memoview.moc"
