#include "AppFixture.h"
#include "Backends.h"

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

static const QString kFirst = QStringLiteral("First line\nSecond line");

class TestMemoView : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;
  std::unique_ptr<test_backends::SqliteBackend> db;  // a second session on the file

  static TDBRichEdit* rtf() { return fmMemoView->DBRTF; }
  static QString status(int i) { return fmMemoView->StatusBar1->PanelText(i); }

  // What the table holds now, read past the program's own connection.
  QString stored(const QString& expression, int id = 1, const QString& table = QStringLiteral("notes")) const
  {
    return db->scalar(QStringLiteral("SELECT %1 FROM %2 WHERE id = %3").arg(expression, table).arg(id));
  }

  // Binds the viewer to a field of the table view, as the grid's double-click does.
  static void bind(const QString& field)
  {
    fmMemoView->bindTo(&fmMain->srcTable, field);
    QVERIFY(QTest::qWaitForWindowExposed(fmMemoView));
  }

  static void openAndBind(const QString& table = QStringLiteral("notes"), const QString& field = QStringLiteral("body"))
  {
    fmMain->OpenTable(table);
    QVERIFY(fmMain->qrTable.Active());
    bind(field);
  }

  static void activate()
  {
    fmMemoView->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(fmMemoView));
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
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (QWidget* modal = QApplication::activeModalWidget())
        asked = modal->close();
    });
    watch.start(20);
    action();
    return asked;
  }

private slots:
  void init()
  {
    folder = std::make_unique<TestFolder>();
    db = std::make_unique<test_backends::SqliteBackend>(*folder, QString::fromLatin1(kNotes));
    startProgram(*folder, db->aliasSection(QStringLiteral("Notes")));
    loginWith(QStringLiteral("u"), QString());
    doubleClick(child(root(), QStringLiteral("Notes")));
    QVERIFY(fmMain->Database.Connected());
  }
  void cleanup()
  {
    stopProgram();
    db.reset();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  // A value the editor cannot show exactly is only shown: typing, pasting and saving change nothing.
  // One it can show is written back as it was, with what was typed and pasted, line ends and all.
  void textItCannotKeepIsReadOnly_data()
  {
    QTest::addColumn<QString>("value");   // SQL expression stored in body of record 1
    QTest::addColumn<bool>("editable");
    QTest::newRow("invalid UTF-8") << "CAST(x'0001FF616263' AS TEXT)" << false;
    QTest::newRow("NUL inside, which the editor keeps") << "CAST(x'610062' AS TEXT)" << true;
    QTest::newRow("mixed line ends") << "'a' || char(13,10) || 'b' || char(10) || 'c'" << false;
    QTest::newRow("CR alone") << "'a' || char(13) || 'b'" << false;
    QTest::newRow("CR LF throughout") << "'a' || char(13,10) || 'b'" << true;
  }
  void textItCannotKeepIsReadOnly()
  {
    QFETCH(QString, value);
    QFETCH(bool, editable);
    db->exec(QStringLiteral("UPDATE notes SET body = %1 WHERE id = 1").arg(value));
    const QString before = stored("hex(body)");
    openAndBind();
    QCOMPARE(rtf()->isReadOnly(), !editable);
    QCOMPARE(fmMemoView->lbNotEditable->isVisible(), !editable);
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    rtf()->setFocus();
    placeCaret(1, 1);
    QTest::keyClick(rtf(), Qt::Key_X);
    fmMemoView->btPasteClick();
    QCOMPARE(fmMemoView->FModified, editable);
    QVERIFY(!askedDuring([] { fmMemoView->btSaveClick(); }));
    if (editable) {
      // The first character of each editable value is one byte.
      QCOMPARE(stored(QStringLiteral("hex(body) = substr(hex(%1), 1, 2) || hex('xpasted') || substr(hex(%1), 3)").arg(value)),
               QStringLiteral("1"));
      QCOMPARE(status(0), QString());
      QCOMPARE(rtf()->textCursor().position(), 8);  // saving does not move the caret
      // Saved: closing asks nothing and unbinds the window.
      QVERIFY(!askedDuring([] { QVERIFY(fmMemoView->close()); }));
      QVERIFY(!rtf()->DataSource());
      return;
    }
    QCOMPARE(fmMain->qrTable.State(), dsBrowse);
    QVERIFY(!askedDuring([] { fmMemoView->close(); }));
    QCOMPARE(stored("hex(body)"), before);
    // The next record, which is plain text, can be edited again.
    openAndBind();
    fmMain->qrTable.Next();
    QVERIFY(!rtf()->isReadOnly());
    QVERIFY(fmMemoView->lbNotEditable->isHidden());
  }

  void followsTheCurrentRecord_data()
  {
    QTest::addColumn<int>("moves");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("lines");
    QTest::newRow("first record, two lines") << 0 << kFirst << "2 Lines";
    QTest::newRow("one line") << 1 << "ABC then abc, and abc again" << "1 Lines";
    QTest::newRow("empty last line not counted") << 2 << "one\ntwo\nthree\n" << "3 Lines";
    QTest::newRow("null text") << 3 << "" << "0 Lines";
  }
  void followsTheCurrentRecord()
  {
    QFETCH(int, moves);
    QFETCH(QString, lines);
    openAndBind();
    for (int i = 0; i < moves; ++i)
      fmMain->qrTable.Next();
    QTEST(rtf()->toPlainText(), "text");
    // Browsing is no edit: nothing is marked and the record stays unedited.
    QCOMPARE(QStringList({status(0), status(1), status(2)}), QStringList({"", "0:0", lines}));
    QVERIFY(!fmMemoView->FModified);
    QCOMPARE(fmMain->qrTable.State(), dsBrowse);

    // A closed table empties the viewer but does not hide it.
    fmMain->qrTable.Close();
    QVERIFY(rtf()->toPlainText().isEmpty());
    QVERIFY(fmMemoView->isVisible());
  }

  void typingIntoAnEmptyTableInsertsARecord()
  {
    openAndBind(QStringLiteral("empty_notes"));
    QTest::keyClicks(rtf(), QStringLiteral("new"));
    QCOMPARE(fmMain->qrTable.State(), dsInsert);
    fmMemoView->btSaveClick();
    QCOMPARE(fmMain->qrTable.RecordCount(), 1);
    QCOMPARE(stored("body", 1, "empty_notes"), QStringLiteral("new"));
    QCOMPARE(rtf()->toPlainText(), QStringLiteral("new"));
    QCOMPARE(status(0), QString());
  }

  void closeQuestion_data()
  {
    QTest::addColumn<int>("answer");  // a QMessageBox button, or 0 for the Escape key
    QTest::addColumn<bool>("staysOpen");
    QTest::addColumn<int>("state");  // TDataSetState
    QTest::addColumn<QString>("stored");  // title|body
    QTest::addColumn<QString>("titleInRecord");
    const QString original = "one|" + kFirst;
    QTest::newRow("Cancel keeps window and edit") << int(QMessageBox::Cancel) << true << int(dsEdit) << original << "edited";
    QTest::newRow("Escape is Cancel") << 0 << true << int(dsEdit) << original << "edited";
    QTest::newRow("No drops every pending change") << int(QMessageBox::No) << false << int(dsBrowse) << original << "one";
    QTest::newRow("Yes posts the record") << int(QMessageBox::Yes) << false << int(dsBrowse) << "edited|X" + kFirst << "edited";
  }
  void closeQuestion()
  {
    QFETCH(int, answer);
    QFETCH(bool, staysOpen);
    openAndBind();
    QTest::keyClicks(rtf(), QStringLiteral("X"));
    fmMain->qrTable.FieldByName(QStringLiteral("title"))->SetAsString(QStringLiteral("edited"));  // as the grid would

    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    answerNextModal([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      QVERIFY(box);
      defaultButton = box->standardButton(box->defaultButton());
      answer == 0 ? QTest::keyClick(box, Qt::Key_Escape) : box->button(QMessageBox::StandardButton(answer))->click();
    });
    fmMemoView->close();
    QVERIFY(allModalsAnswered());
    QCOMPARE(defaultButton, QMessageBox::Yes);
    QCOMPARE(fmMemoView->isVisible(), staysOpen);
    QCOMPARE(rtf()->DataSource() != nullptr, staysOpen);
    QTEST(int(fmMain->qrTable.State()), "state");
    QTEST(stored("title || '|' || body"), "stored");
    QTEST(fmMain->qrTable.FieldByName(QStringLiteral("title"))->AsString(), "titleInRecord");
    if (staysOpen) {
      QCOMPARE(rtf()->toPlainText(), "X" + kFirst);
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
    QCOMPARE(rtf()->toPlainText(), "secret " + kFirst);
    QCOMPARE(stored("body"), kFirst);
  }

  void refusedEdits_data()
  {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("condition");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("errorShown");
    QTest::newRow("automatic editing off") << "notes" << "noAutoEdit" << kFirst << false;
    QTest::newRow("read-only field") << "notes" << "readOnly" << kFirst << false;
    QTest::newRow("closed table") << "notes" << "closed" << "" << false;
    QTest::newRow("view without a key") << "notes_view" << "" << kFirst << true;
  }
  void refusedEdits()
  {
    QFETCH(QString, table);
    QFETCH(QString, condition);
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
    QTEST(rtf()->toPlainText(), "text");
    QCOMPARE(status(0), QString());
    QVERIFY(fmMain->qrTable.State() != dsEdit);
  }

  void find_data()
  {
    QTest::addColumn<QString>("search");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("foundStart");  // -1: nothing found, the selection stays
    // "ABC then abc, and abc again": abc at 9 and 18, ABC at 0.
    QTest::newRow("case must match") << "abc" << 0 << 0 << 9;
    QTest::newRow("continues after the selection") << "abc" << 9 << 12 << 18;
    QTest::newRow("backward selection counts by its end") << "abc" << 12 << 9 << 18;
    QTest::newRow("after the last hit nothing changes") << "abc" << 18 << 21 << -1;
  }
  void find()
  {
    QFETCH(QString, search);
    QFETCH(int, anchor);
    QFETCH(int, position);
    QFETCH(int, foundStart);
    openAndBind();
    fmMain->qrTable.Next();
    activate();
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
    QCOMPARE(status(0), QString());  // selecting is no edit
  }

  void caretPosition_data()
  {
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("shown");
    // "First line\nSecond line"
    QTest::newRow("end of the first line") << 10 << 10 << "1:11";
    QTest::newRow("selection counts by its end") << 14 << 2 << "2:4";
  }
  void caretPosition()
  {
    QFETCH(int, anchor);
    QFETCH(int, position);
    openAndBind();
    placeCaret(anchor, position);
    // The key is read before the control moves the caret.
    QTest::keyClick(rtf(), Qt::Key_Home, Qt::ControlModifier);
    QTEST(status(1), "shown");
    QCOMPARE(rtf()->textCursor().position(), 0);

    // A click reads the caret where the click put it.
    const QRect second = rtf()->cursorRect(QTextCursor(rtf()->document()->findBlockByNumber(1)));
    QTest::mouseClick(rtf()->viewport(), Qt::LeftButton, {}, second.center() + QPoint(1, 0));
    QCOMPARE(status(1), QStringLiteral("2:1"));
  }

  // Word wrap counts display lines, and the caret's line is the display line it stands on.
  void wordWrap()
  {
    db->exec(QStringLiteral("UPDATE notes SET body = '%1' WHERE id = 1").arg(QStringLiteral("word ").repeated(80)));
    openAndBind();
    QCOMPARE(status(2), QStringLiteral("1 Lines"));
    for (bool on : {true, false}) {
      fmMemoView->mnWordWrap->trigger();
      QCOMPARE(fmMemoView->mnWordWrap->isChecked(), on);
      placeCaret(399, 399);
      fmMemoView->UpdateCaretPos();
      const int lines = status(2).section(QLatin1Char(' '), 0, 0).toInt();
      QVERIFY2(on ? lines > 2 : lines == 1, qPrintable(status(2)));
      QCOMPARE(fmMemoView->FLine, lines);
      QCOMPARE(rtf()->document()->blockCount(), 1);
    }
  }

  // Tab moves the focus on unless the Tabs item is checked; a second click on it turns it back.
  void tabs_data()
  {
    QTest::addColumn<bool>("wantTabs");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("modified");
    QTest::newRow("Tab moves the focus") << false << kFirst << "";
    QTest::newRow("Tab inserts a tab") << true << "\t" + kFirst << "Modified";
  }
  void tabs()
  {
    QFETCH(bool, wantTabs);
    openAndBind();
    if (wantTabs)
      fmMemoView->mnTabs->trigger();
    QCOMPARE(fmMemoView->mnTabs->isChecked(), wantTabs);
    activate();
    rtf()->setFocus();
    placeCaret(0, 0);
    QTest::keyClick(rtf(), Qt::Key_Tab);
    QTEST(rtf()->toPlainText(), "text");
    QTEST(status(0), "modified");
    QCOMPARE(rtf()->hasFocus(), wantTabs);
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
    QVERIFY(!rtf()->DataSource());
    // The next binding starts clean, even though the previous edit was never saved.
    bind(QStringLiteral("remark"));
    QCOMPARE(status(0), QString());
  }

  void rebindingWhileVisibleShowsTheOtherField()
  {
    openAndBind();
    activate();
    rtf()->setFocus();
    QTest::keyClicks(rtf(), QStringLiteral("X"));
    // Going to the grid takes the focus away, which hands the typed text to the record.
    fmMain->windowHandle()->requestActivate();
    QTRY_COMPARE(QApplication::activeWindow(), fmMain);
    QCOMPARE(fmMain->qrTable.FieldByName(QStringLiteral("body"))->AsString(), "X" + kFirst);

    bind(QStringLiteral("remark"));
    QCOMPARE(rtf()->DataField(), QStringLiteral("remark"));
    QCOMPARE(rtf()->toPlainText(), QStringLiteral("remark one"));
    QCOMPARE(status(0), QString());
    QTest::keyClicks(rtf(), QStringLiteral("Y"));
    fmMemoView->btSaveClick();
    QCOMPARE(stored("remark || '|' || body"), "Yremark one|X" + kFirst);
  }
};

QTEST_MAIN(TestMemoView)
#include "tst_memoview.moc"
