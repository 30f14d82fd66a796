// The grids and the navigator over a real table, driven with keys and clicks.
#include "AppFixture.h"

#include "dbcontrols/DBGrid.h"
#include "dataaccess/FormatSettings.h"
#include "dbcontrols/DBNavigator.h"
#include "viewer/DBRichEdit.h"
#include "viewer/MemoViewWindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QTabWidget>
#include <QToolButton>

#include <sqlite3.h>

using namespace app_fixture;

class TestDBGrid : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;
  QString file;

  TDBGrid* grid() { return fmMain->DBGrid2; }
  TDataSet& ds() { return fmMain->qrTable; }
  QLineEdit* editor() { return grid()->viewport()->findChild<QLineEdit*>(); }

  QString stored(const QString& sql)
  {
    sqlite3* db = nullptr;
    sqlite3_open(file.toUtf8().constData(), &db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr);
    QString r = sqlite3_step(st) == SQLITE_ROW ? QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))) : QString();
    sqlite3_finalize(st);
    sqlite3_close(db);
    return r;
  }

private slots:
  void init()
  {
    folder = std::make_unique<TestFolder>();
    file = folder->createDatabase(QStringLiteral("g.db"), QStringLiteral(
        "CREATE TABLE nums(id INTEGER PRIMARY KEY, qty INT NOT NULL DEFAULT 0, note TEXT, pic BLOB);"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600)"
        " INSERT INTO nums SELECT i, i * 2, 'line one' || char(10) || 'line two', x'0102' FROM n;"));
    startProgram(*folder, "[G]\nDriver=SQLite\nDatabase=g.db\n");
    loginWith(QStringLiteral("u"), QString());
    doubleClick(child(root(), QStringLiteral("G")));
    fmMain->OpenTable(QStringLiteral("nums"));
    QVERIFY(ds().Active());
    grid()->setFocus();
  }
  void cleanup()
  {
    stopProgram();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  void showsAWindowOfRecordsAndFollowsTheDataset()
  {
    QCOMPARE(grid()->CellText(0, 0), QStringLiteral("1"));
    QCOMPARE(grid()->CellText(0, 2), QStringLiteral("line one\u2026"));   // a memo's first line
    QCOMPARE(grid()->CellText(0, 3), QStringLiteral("(BLOB, 2 bytes)"));
    QTRY_COMPARE(grid()->verticalScrollBar()->maximum(), 599);             // once counted
    QTest::keyClick(grid(), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(ds().RecNo(), 600);
    QCOMPARE(grid()->TopPosition(), 600 - grid()->VisibleRows());
    QCOMPARE(grid()->verticalScrollBar()->value(), 599);
    QTest::keyClick(grid(), Qt::Key_PageUp);
    QCOMPARE(ds().RecNo(), 600 - grid()->VisibleRows());
    QTest::keyClick(grid(), Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(ds().RecNo(), 1);
    QCOMPARE(grid()->TopPosition(), 0);
    // The scroll bar moves the record.
    grid()->verticalScrollBar()->setValue(300);
    QCOMPARE(ds().RecNo(), 301);
    // A click on a row makes it current.
    QTest::keyClick(grid(), Qt::Key_Home, Qt::ControlModifier);
    const int rowHeight = grid()->fontMetrics().height() + 4;
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, QPoint(40, (rowHeight + 2) + rowHeight * 2 + rowHeight / 2));
    QCOMPARE(ds().RecNo(), 3);
  }

  void typingEditsAndMovingPosts()
  {
    QTest::keyClick(grid(), Qt::Key_Down);
    QTest::keyClick(grid(), Qt::Key_Right);  // qty
    QTest::keyClicks(grid(), QStringLiteral("77"));
    QVERIFY(grid()->Editing());
    QCOMPARE(ds().State(), dsEdit);
    QTest::keyClick(editor(), Qt::Key_Down);  // commits the cell, moves, posts
    QCOMPARE(ds().State(), dsBrowse);
    QCOMPARE(ds().RecNo(), 3);
    QCOMPARE(stored(QStringLiteral("SELECT qty FROM nums WHERE id = 2")), QStringLiteral("77"));

    // Text that does not read is refused with the field and the text; the input stays.
    QString text;
    captureAndClose(&text);
    QTest::keyClicks(grid(), QStringLiteral("x9"));
    QTest::keyClick(editor(), Qt::Key_Return);
    QVERIFY(allModalsAnswered());
    QCOMPARE(text, QStringLiteral("'x9' is not a valid integer value for field 'qty'."));
    QVERIFY(grid()->Editing());
    QCOMPARE(editor()->text(), QStringLiteral("x9"));
    // Esc drops the cell's text, a second Esc the record's changes.
    QTest::keyClick(editor(), Qt::Key_Escape);
    QVERIFY(!grid()->Editing());
    QTest::keyClick(grid(), Qt::Key_Escape);
    QCOMPARE(ds().State(), dsBrowse);
    QCOMPARE(stored(QStringLiteral("SELECT qty FROM nums WHERE id = 3")), QStringLiteral("6"));
  }

  void memoAndBinaryCellsAreNotEditedInPlace()
  {
    QTest::keyClick(grid(), Qt::Key_End);  // the BLOB column
    QTest::keyClicks(grid(), QStringLiteral("a"));
    QVERIFY(!grid()->Editing());
    QCOMPARE(ds().State(), dsBrowse);
  }

  // The in-place editor shows whole years whatever the regional short form, an untouched cell is
  // never read back, and changing the day keeps the century.
  void datesKeepTheirCentury_data()
  {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("edited");
    QTest::addColumn<QString>("typed");
    QTest::newRow("en_US") << "en_US" << "6/30/75" << "6/30/1975" << "6/29/1975";
    QTest::newRow("de_DE") << "de_DE" << "30.06.75" << "30.06.1975" << "29.06.1975";
  }
  void datesKeepTheirCentury()
  {
    QFETCH(QString, locale);
    QFETCH(QString, shown);
    QFETCH(QString, edited);
    QFETCH(QString, typed);
    const TFormatSettings saved = FormatSettings();
    FormatSettings() = TFormatSettings::fromLocale(QLocale(locale));
    executeSql(file, QStringLiteral("CREATE TABLE days(id INTEGER PRIMARY KEY, d DATE, t DATETIME);"
                                    "INSERT INTO days VALUES (1, '1975-06-30', '1975-06-30 08:15:00.250');"));
    fmMain->OpenTable(QStringLiteral("days"));
    grid()->setFocus();
    grid()->SetSelectedIndex(1);
    QCOMPARE(grid()->CellText(0, 1), shown);
    QTest::keyClick(grid(), Qt::Key_F2);
    QVERIFY(grid()->Editing());
    QCOMPARE(editor()->text(), edited);
    QTest::keyClick(editor(), Qt::Key_Return);  // nothing typed: nothing is written
    QCOMPARE(ds().State(), dsBrowse);
    // The date-time keeps its milliseconds in the editor too.
    grid()->SetSelectedIndex(2);
    QTest::keyClick(grid(), Qt::Key_F2);
    QVERIFY2(editor()->text().startsWith(edited) && editor()->text().endsWith(QStringLiteral("250")), qPrintable(editor()->text()));
    QTest::keyClick(editor(), Qt::Key_Escape);
    grid()->SetSelectedIndex(1);
    QTest::keyClick(grid(), Qt::Key_F2);
    editor()->selectAll();
    QTest::keyClicks(editor(), typed);
    QTest::keyClick(editor(), Qt::Key_Return);
    ds().Post();
    FormatSettings() = saved;
    QCOMPARE(stored(QStringLiteral("SELECT d || '|' || t FROM days")), QStringLiteral("1975-06-29|1975-06-30 08:15:00.250"));
  }

  // A text the one-line editor would change is not opened for editing; typing over it replaces it.
  void textTheEditorCannotShowIsNotOpened_data()
  {
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("opens");
    QTest::newRow("plain") << "'plain'" << true;
    QTest::newRow("invalid UTF-8") << "CAST(x'41FF42' AS TEXT)" << false;
    QTest::newRow("line break") << "'a' || char(10) || 'b'" << false;
    QTest::newRow("number in a text column") << "42" << true;
  }
  void textTheEditorCannotShowIsNotOpened()
  {
    QFETCH(QString, value);
    QFETCH(bool, opens);
    executeSql(file, QStringLiteral("CREATE TABLE words(id INTEGER PRIMARY KEY, w VARCHAR(20));"
                                    "INSERT INTO words VALUES (1, %1);").arg(value));
    const QString before = stored(QStringLiteral("SELECT hex(w) FROM words"));
    fmMain->OpenTable(QStringLiteral("words"));
    grid()->setFocus();
    grid()->SetSelectedIndex(1);
    QTest::keyClick(grid(), Qt::Key_F2);
    QCOMPARE(grid()->Editing(), opens);
    if (grid()->Editing())
      QTest::keyClick(editor(), Qt::Key_Return);
    QCOMPARE(ds().State(), dsBrowse);
    QCOMPARE(stored(QStringLiteral("SELECT hex(w) FROM words")), before);
    // The user's own text replaces the value: that is the user's say.
    QTest::keyClicks(grid(), QStringLiteral("new"));
    QTest::keyClick(editor(), Qt::Key_Return);
    ds().Post();
    QCOMPARE(stored(QStringLiteral("SELECT w FROM words")), QStringLiteral("new"));
  }

  void navigatorButtons()
  {
    TDBNavigator* nav = fmMain->DBNavigator1;
    QStringList hints;
    for (int b = 0; b < TDBNavigator::ButtonCount; ++b)
      hints << nav->Buttons(TDBNavigator::Button(b))->toolTip();
    QCOMPARE(hints, QStringList({"First record", "Prior record", "Next record", "Last record", "Insert record",
                                 "Delete record", "Edit record", "Post edit", "Cancel edit", "Refresh data"}));
    QVERIFY(!nav->Buttons(TDBNavigator::nbFirst)->isEnabled());  // at the first record
    QVERIFY(!nav->Buttons(TDBNavigator::nbPost)->isEnabled());
    nav->Buttons(TDBNavigator::nbLast)->click();
    QCOMPARE(ds().RecNo(), 600);
    QVERIFY(!nav->Buttons(TDBNavigator::nbNext)->isEnabled());
    nav->Buttons(TDBNavigator::nbPrior)->click();
    QCOMPARE(ds().RecNo(), 599);

    nav->Buttons(TDBNavigator::nbInsert)->click();
    QCOMPARE(ds().State(), dsInsert);
    QVERIFY(nav->Buttons(TDBNavigator::nbPost)->isEnabled());
    ds().FieldByName(QStringLiteral("qty"))->SetAsString(QStringLiteral("5"));
    nav->Buttons(TDBNavigator::nbPost)->click();
    QCOMPARE(stored(QStringLiteral("SELECT count(*) FROM nums")), QStringLiteral("601"));
    QCOMPARE(ds().FieldByName(QStringLiteral("id"))->AsString(), QStringLiteral("601"));

    // Delete asks first; Cancel keeps the record, OK removes it.
    QString question;
    answerNextModal([&](QWidget* w) {
      question = modalText(w);
      qobject_cast<QDialog*>(w)->reject();
    });
    nav->Buttons(TDBNavigator::nbDelete)->click();
    QCOMPARE(question, QStringLiteral("Delete record?"));
    QCOMPARE(stored(QStringLiteral("SELECT count(*) FROM nums")), QStringLiteral("601"));
    answerNextModal([](QWidget* w) { qobject_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click(); });
    nav->Buttons(TDBNavigator::nbDelete)->click();
    QCOMPARE(stored(QStringLiteral("SELECT count(*) FROM nums")), QStringLiteral("600"));

    nav->Buttons(TDBNavigator::nbEdit)->click();
    ds().FieldByName(QStringLiteral("note"))->SetAsString(QStringLiteral("dropped"));
    nav->Buttons(TDBNavigator::nbCancel)->click();
    QCOMPARE(ds().State(), dsBrowse);
    QVERIFY(ds().FieldByName(QStringLiteral("note"))->AsString() != QLatin1String("dropped"));
  }

  void concurrentChangeKeepsTheEdit()
  {
    QTest::keyClick(grid(), Qt::Key_Right);
    QTest::keyClicks(grid(), QStringLiteral("123"));
    executeSql(file, QStringLiteral("UPDATE nums SET note = 'elsewhere' WHERE id = 1"));
    QString text;
    captureAndClose(&text);
    fmMain->DBNavigator1->Buttons(TDBNavigator::nbPost)->click();
    QVERIFY(allModalsAnswered());
    QVERIFY2(text.contains(QStringLiteral("changed or deleted by another user")), qPrintable(text));
    QCOMPARE(ds().State(), dsEdit);
    QCOMPARE(ds().FieldByName(QStringLiteral("qty"))->AsString(), QStringLiteral("123"));
    QCOMPARE(stored(QStringLiteral("SELECT qty FROM nums WHERE id = 1")), QStringLiteral("2"));
  }

  // A double-click opens the memo viewer on memo columns only, on the current record.
  void doubleClickOpensTheMemoViewer_data()
  {
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("opens");
    QTest::newRow("integer") << 1 << false;
    QTest::newRow("memo") << 2 << true;
    QTest::newRow("binary") << 3 << false;
  }
  void doubleClickOpensTheMemoViewer()
  {
    QFETCH(int, column);
    QFETCH(bool, opens);
    QTest::keyClick(grid(), Qt::Key_Down);
    grid()->SetSelectedIndex(column);
    const int rowHeight = grid()->fontMetrics().height() + 4;
    const int x = 12 + [&] { int left = 0; for (int c = 0; c < column; ++c) left += grid()->ColumnWidth(c); return left; }() + 5;
    QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, QPoint(x, rowHeight + 2 + rowHeight + rowHeight / 2));
    QCOMPARE(fmMemoView->isVisible(), opens);
    if (opens) {
      QCOMPARE(fmMemoView->DBRTF->toPlainText(), QStringLiteral("line one\nline two"));
      QCOMPARE(fmMemoView->DBRTF->DataField(), QStringLiteral("note"));
      executeSql(file, QStringLiteral("UPDATE nums SET note = 'third' WHERE id = 3"));
      ds().Refresh();
      QTest::keyClick(grid(), Qt::Key_Down);  // it follows the grid's record
      QCOMPARE(fmMemoView->DBRTF->toPlainText(), QStringLiteral("third"));
      fmMemoView->hide();
    }
  }

  void downPastTheLastRecordAppends()
  {
    QTest::keyClick(grid(), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(grid(), Qt::Key_Down);
    QCOMPARE(ds().State(), dsInsert);
    QCOMPARE(ds().RecNo(), 601);
    QCOMPARE(grid()->CellText(600, 0), QString());
    QTest::keyClick(grid(), Qt::Key_Up);  // nothing typed: the new record goes away
    QCOMPARE(ds().State(), dsBrowse);
    QCOMPARE(ds().RecordCount(), 600);
  }
};

QTEST_MAIN(TestDBGrid)
#include "tst_dbgrid.moc"
