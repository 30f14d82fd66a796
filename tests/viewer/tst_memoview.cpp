// The memo viewer bound to a text field of the table view: what it shows and counts, what it writes
// back, and when it asks. Closing the main window with unsaved text is in tst_pendingedits.
#include "AppFixture.h"
#include "Backends.h"

#include "dataaccess/DataSet.h"
#include "viewer/DBRichEdit.h"

#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
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

  static void openAndBind(const QString& table = QStringLiteral("notes"))
  {
    fmMain->OpenTable(table);
    QVERIFY(fmMain->qrTable.Active());
    bind(QStringLiteral("body"));
  }

  // Makes the viewer the active window with the focus in its text, the caret at its start.
  static void activate()
  {
    fmMemoView->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(fmMemoView));
    rtf()->setFocus();
    rtf()->moveCursor(QTextCursor::Start);
  }

  // Runs the action and tells whether a modal window came up meanwhile (closing it).
  static bool askedDuring(const std::function<void()>& action)
  {
    answerNextModal({});
    action();
    return allModalsAnswered();
  }

private slots:
  void init()
  {
    folder = std::make_unique<TestFolder>();
    db = std::make_unique<test_backends::SqliteBackend>(*folder, QString::fromLatin1(kNotes));
    startProgram(*folder, db->aliasSection(QStringLiteral("Notes")));
    loginWith(QStringLiteral("u"), QString());
    doubleClick(child(root(), QStringLiteral("Notes")));
  }
  void cleanup()
  {
    stopProgram();
    db.reset();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  // A value the editor cannot show exactly is only shown, and so is one the data may not take:
  // typing, pasting and saving change nothing. One it can show is written back as it was, with
  // what was typed and pasted, line ends and all; into an empty table as a new record.
  void whatCannotBeEditedStaysAsItWas_data()
  {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("value");  // SQL expression stored in body of record 1 first; empty: as it is
    QTest::addColumn<QString>("condition");
    QTest::addColumn<bool>("editable");
    QTest::newRow("invalid UTF-8") << "notes" << "CAST(x'0001FF616263' AS TEXT)" << "" << false;
    QTest::newRow("NUL inside, which the editor keeps") << "notes" << "CAST(x'610062' AS TEXT)" << "" << true;
    QTest::newRow("mixed line ends") << "notes" << "'a' || char(13,10) || 'b' || char(10) || 'c'" << "" << false;
    QTest::newRow("CR LF throughout") << "notes" << "'a' || char(13,10) || 'b'" << "" << true;
    QTest::newRow("automatic editing off") << "notes" << "" << "noAutoEdit" << false;
    QTest::newRow("read-only field") << "notes" << "" << "readOnly" << false;
    QTest::newRow("closed table") << "notes" << "" << "closed" << false;
    QTest::newRow("view without a key, refused by the database") << "notes_view" << "" << "" << false;
    QTest::newRow("empty table: typing inserts a record") << "empty_notes" << "" << "" << true;
  }
  void whatCannotBeEditedStaysAsItWas()
  {
    QFETCH(QString, table);
    QFETCH(QString, value);
    QFETCH(QString, condition);
    QFETCH(bool, editable);
    if (!value.isEmpty())
      db->exec(QStringLiteral("UPDATE notes SET body = %1 WHERE id = 1").arg(value));
    const QString hexBody = QStringLiteral("group_concat(hex(body))");  // empty while there is no record
    const QString before = stored(hexBody, 1, table);
    openAndBind(table);
    if (condition == QLatin1String("noAutoEdit"))
      fmMain->srcTable.AutoEdit = false;
    else if (condition == QLatin1String("readOnly"))
      fmMain->qrTable.FieldByName(QStringLiteral("body"))->ReadOnly = true;
    else if (condition == QLatin1String("closed"))
      fmMain->qrTable.Close();
    const QString shown = rtf()->toPlainText();
    QCOMPARE(fmMemoView->lbNotEditable->isVisible(), !value.isEmpty() && !editable);
    QString error, again;
    if (table == QLatin1String("notes_view")) {
      captureAndClose(&error);
      captureAndClose(&again);
    }
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    activate();
    QTest::keyClick(rtf(), Qt::Key_X);
    fmMemoView->btPasteClick();
    QVERIFY(allModalsAnswered());
    QCOMPARE(error.contains(QStringLiteral("cannot be edited")), table == QLatin1String("notes_view"));
    QCOMPARE(fmMemoView->FModified, editable);
    QVERIFY(!askedDuring([] { fmMemoView->btSaveClick(); }));
    QCOMPARE(status(0), QString());
    if (editable) {
      QCOMPARE(stored(hexBody, 1, table), QString::fromLatin1(QByteArray("xpasted").toHex().toUpper()) + before);
      QCOMPARE(rtf()->textCursor().position(), 7);  // saving does not move the caret
      return;
    }
    QCOMPARE(rtf()->toPlainText(), shown);
    QVERIFY(fmMain->qrTable.State() != dsEdit);
    QVERIFY(!askedDuring([] { fmMemoView->close(); }));
    QCOMPARE(stored(hexBody, 1, table), before);
  }

  // Browsing is no edit: nothing is marked and the record stays unedited. A closed table empties
  // the viewer but does not hide it.
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
    QCOMPARE(QStringList({status(0), status(1), status(2)}), QStringList({"", "0:0", lines}));
    QCOMPARE(fmMain->qrTable.State(), dsBrowse);
    fmMain->qrTable.Close();
    QCOMPARE(rtf()->toPlainText(), QString());
    QVERIFY(fmMemoView->isVisible());
  }

  // Closing with changed text asks, Yes by default; the answer decides for the whole record. A Yes
  // the database refuses says why and keeps the window, the edit and the stored record.
  void closeQuestion_data()
  {
    QTest::addColumn<int>("answer");  // a QMessageBox button, or 0 for the Escape key
    QTest::addColumn<QString>("typed");
    QTest::newRow("Cancel keeps window and edit") << int(QMessageBox::Cancel) << "X";
    QTest::newRow("Escape is Cancel") << 0 << "X";
    QTest::newRow("No drops every pending change") << int(QMessageBox::No) << "X";
    QTest::newRow("Yes posts the record") << int(QMessageBox::Yes) << "X";
    QTest::newRow("Yes, refused by the database") << int(QMessageBox::Yes) << "secret ";
  }
  void closeQuestion()
  {
    QFETCH(int, answer);
    QFETCH(QString, typed);
    openAndBind();
    QTest::keyClicks(rtf(), typed);
    fmMain->qrTable.FieldByName(QStringLiteral("title"))->SetAsString(QStringLiteral("edited"));  // as the grid would
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    answerNextModal([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      QVERIFY(box);
      defaultButton = box->standardButton(box->defaultButton());
      answer == 0 ? QTest::keyClick(box, Qt::Key_Escape) : box->button(QMessageBox::StandardButton(answer))->click();
    });
    const bool refused = typed.startsWith(QLatin1String("secret"));
    const bool staysOpen = answer == QMessageBox::Cancel || answer == 0 || refused;
    QString failure;
    if (refused)
      captureAndClose(&failure);
    fmMemoView->close();
    QCOMPARE(defaultButton, QMessageBox::Yes);
    QCOMPARE(failure.contains(QStringLiteral("secrets may not be stored")), refused);
    QCOMPARE(fmMemoView->isVisible(), staysOpen);
    QCOMPARE(rtf()->DataSource() != nullptr, staysOpen);
    QCOMPARE(fmMain->qrTable.State(), staysOpen ? dsEdit : dsBrowse);
    const bool posted = answer == QMessageBox::Yes && !refused;
    QCOMPARE(stored("title || '|' || body"), posted ? "edited|X" + kFirst : "one|" + kFirst);
    QCOMPARE(fmMain->qrTable.FieldByName(QStringLiteral("title"))->AsString(), answer == QMessageBox::No ? "one" : "edited");
    if (staysOpen) {
      QCOMPARE(rtf()->toPlainText(), typed + kFirst);
      QCOMPARE(status(0), QStringLiteral("Modified"));
    }
  }

  // Going to the main window hands the typed text to the record; binding another field while the
  // viewer is up shows that field, clean; the tree's hiding unbinds without asking.
  void rebindingAndHiding()
  {
    openAndBind();
    activate();
    QTest::keyClicks(rtf(), QStringLiteral("X"));
    fmMain->windowHandle()->requestActivate();
    QTRY_COMPARE(QApplication::activeWindow(), fmMain);
    QCOMPARE(fmMain->qrTable.FieldByName(QStringLiteral("body"))->AsString(), "X" + kFirst);
    bind(QStringLiteral("remark"));
    QCOMPARE(rtf()->toPlainText(), QStringLiteral("remark one"));
    QTest::keyClicks(rtf(), QStringLiteral("Y"));
    fmMemoView->btSaveClick();
    QCOMPARE(stored("remark || '|' || body"), "Yremark one|X" + kFirst);
    QTest::keyClicks(rtf(), QStringLiteral("Z"));
    QCOMPARE(status(0), QStringLiteral("Modified"));
    QVERIFY(!askedDuring([] { fmMemoView->hide(); }));
    QVERIFY(!rtf()->DataSource());
    // The next binding starts clean, even though the previous edit was never saved.
    bind(QStringLiteral("remark"));
    QCOMPARE(status(0), QString());
  }

  // A long wrapped text shows at once; its display lines are counted afterwards, in slices, and the
  // caret's line, asked for meanwhile, follows the count.
  void aLongWrappedTextIsCountedAfterItShows()
  {
    // 10,000 lines of 300 characters: each wraps over several display lines.
    db->exec(QStringLiteral("UPDATE notes SET body = (WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n"
                            " WHERE i < 10000) SELECT group_concat(replace(hex(zeroblob(60)), '00', 'word '), char(10)) FROM n)"
                            " WHERE id = 1"));
    fmMemoView->mnWordWrapClick();
    openAndBind();
    QCOMPARE(status(MemoStatus::Lines), QString());  // still counting
    QTextCursor end = rtf()->textCursor();
    end.movePosition(QTextCursor::End);
    rtf()->setTextCursor(end);
    fmMemoView->DBRTFClick();
    QTRY_VERIFY_WITH_TIMEOUT(!status(MemoStatus::Lines).isEmpty(), 30000);
    const int lines = status(MemoStatus::Lines).section(QLatin1Char(' '), 0, 0).toInt();
    QVERIFY2(lines >= 3 * 10000, qPrintable(status(MemoStatus::Lines)));
    QCOMPARE(status(MemoStatus::Caret).section(QLatin1Char(':'), 0, 0).toInt(), lines);
  }
};

QTEST_MAIN(TestMemoView)
#include "tst_memoview.moc"
