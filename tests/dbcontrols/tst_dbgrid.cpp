// The grids and the navigator over a real table, driven with keys and clicks.
#include "AppFixture.h"

#include "dbcontrols/DBGrid.h"
#include "dataaccess/FormatSettings.h"
#include "dbcontrols/DBNavigator.h"
#include "viewer/DBRichEdit.h"
#include "viewer/MemoViewWindow.h"

#include <QCryptographicHash>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalSpy>
#include <QToolButton>
#include <QToolTip>

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

  // The database file's bytes: a refused edit writes nothing at all.
  QByteArray fileHash()
  {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1) : QByteArray();
  }

  // Where a cell of DBGrid2 lies in its viewport, inside its lines: past the row indicator and
  // the title row.
  QRect cell(int row, int column)
  {
    const int rowHeight = grid()->fontMetrics().height() + 4;
    int x = 12;
    for (int c = 0; c < column; ++c)
      x += grid()->ColumnWidth(c);
    return QRect(x + 1, rowHeight + 2 + row * rowHeight + 1, grid()->ColumnWidth(column) - 3, rowHeight - 3);
  }

  static int pixelsOf(const QImage& image, const std::function<bool(QColor)>& test)
  {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        n += test(image.pixelColor(x, y)) ? 1 : 0;
    return n;
  }

  // Makes the grid one of the places where an edit is refused.
  TDBGrid* openRefusing(const QString& where)
  {
    if (where == QLatin1String("result")) {
      fmMain->Memo1->setPlainText(QStringLiteral("SELECT id, qty, note FROM nums"));
      QTest::mouseClick(fmMain->btExecute, Qt::LeftButton);
      fmMain->DBGrid1->setFocus();
      return fmMain->qrSelect.Active() ? fmMain->DBGrid1 : nullptr;
    }
    if (where == QLatin1String("view")) {
      executeSql(file, QStringLiteral("CREATE VIEW evens AS SELECT id, qty FROM nums WHERE id % 2 = 0"));
      fmMain->OpenTable(QStringLiteral("evens"));
    } else if (where == QLatin1String("generated")) {
      executeSql(file, QStringLiteral("CREATE TABLE gen(id INTEGER PRIMARY KEY, a INT, twice INT GENERATED ALWAYS AS (a * 2));"
                                      "INSERT INTO gen(id, a) VALUES (1, 5), (2, 6);"));
      fmMain->OpenTable(QStringLiteral("gen"));
    } else if (where == QLatin1String("closed")) {
      ds().Close();
    } else if (where == QLatin1String("no auto edit")) {
      fmMain->srcTable.AutoEdit = false;
    } else if (where == QLatin1String("empty")) {
      executeSql(file, QStringLiteral("CREATE TABLE vacant(id INTEGER PRIMARY KEY, w VARCHAR(10))"));
      fmMain->OpenTable(QStringLiteral("vacant"));
    }
    grid()->setFocus();
    return grid();
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
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, cell(2, 1).center());
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

  // A text the one-line editor would change is not opened for editing, and the grid says why;
  // typing over it replaces it.
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
    QCOMPARE(grid()->LastRefusal(), opens ? QString() : QStringLiteral("This value cannot be edited here without changing it."));
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
    executeSql(file, QStringLiteral("UPDATE nums SET note = 'second' WHERE id = 2"));
    ds().Refresh();
    QTest::keyClick(grid(), Qt::Key_Down);
    grid()->SetSelectedIndex(column);
    QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, cell(1, column).center());
    QCOMPARE(fmMemoView->isVisible(), opens);
    QCOMPARE(fmMemoView->DBRTF->toPlainText(), opens ? QStringLiteral("second") : QString());
  }

  // A text of one line is edited in the cell like a string; one of several lines, or too long for a
  // line editor, opens in the memo viewer on Enter and is never cut or replaced by a stray key.
  void textsEditInPlaceOrInTheMemoViewer_data()
  {
    QTest::addColumn<QString>("column");  // of table texts
    QTest::addColumn<QString>("before");  // SQL expression for the value first stored
    QTest::addColumn<QString>("keys");    // pressed in order; the record is posted after
    QTest::addColumn<QString>("after");   // the stored text, "NULL", or the length of a long one
    QTest::addColumn<bool>("viewerOpens");
    QTest::addColumn<QString>("refused");  // the start of the reason given, empty when none
    const QString several = QStringLiteral("'a' || char(10) || 'b'"), tooLong = QStringLiteral("printf('%.40000c', 'x')");
    QTest::newRow("one line: F2 and typing append") << "memo" << "'short'" << "F2 End X Return" << "shortx" << false << "";
    QTest::newRow("one line: typing replaces") << "memo" << "'short'" << "A Return" << "a" << false << "";
    QTest::newRow("NULL: typing gives text") << "memo" << "NULL" << "A Return" << "a" << false << "";
    QTest::newRow("several lines: Enter opens the viewer") << "memo" << several << "Return" << "a\\nb" << true << "";
    QTest::newRow("several lines: a key is refused") << "memo" << "'a' || char(13) || 'b'" << "A" << "a\\rb" << false
                                                     << "This text has more than one line";
    QTest::newRow("several lines: Ctrl+0 clears") << "memo" << several << "Ctrl+0" << "NULL" << false << "";
    QTest::newRow("one line too long: Enter opens the viewer") << "memo" << tooLong << "Return" << "40000" << true << "";
    QTest::newRow("long string: F2 refused, nothing cut") << "str" << tooLong << "F2" << "40000" << false
                                                          << "This value is too long";
  }
  void textsEditInPlaceOrInTheMemoViewer()
  {
    QFETCH(QString, column);
    QFETCH(QString, before);
    QFETCH(QString, keys);
    QFETCH(QString, after);
    executeSql(file, QStringLiteral("CREATE TABLE texts(id INTEGER PRIMARY KEY, memo TEXT, str VARCHAR(10));"
                                    "INSERT INTO texts(id, %1) VALUES (1, %2);").arg(column, before));
    fmMain->OpenTable(QStringLiteral("texts"));
    grid()->setFocus();
    grid()->SetSelectedIndex(column == QLatin1String("memo") ? 1 : 2);
    for (const QString& key : keys.split(QLatin1Char(' ')))
      QTest::keySequence(editor() && editor()->isVisible() ? static_cast<QWidget*>(editor()) : grid(), QKeySequence(key));
    QTEST(fmMemoView->isVisible(), "viewerOpens");
    QFETCH(QString, refused);
    QVERIFY2(refused.isEmpty() ? grid()->LastRefusal().isEmpty() : grid()->LastRefusal().startsWith(refused),
             qPrintable(grid()->LastRefusal()));
    if (ds().State() != dsBrowse)
      ds().Post();
    const QString value = stored(QStringLiteral("SELECT CASE WHEN %1 IS NULL THEN 'NULL' WHEN length(%1) > 100 "
                                                 "THEN length(%1) ELSE replace(replace(%1, char(10), '\\n'), char(13), '\\r') END FROM texts")
                                      .arg(column));
    QCOMPARE(value, after);
  }

  // Each way of changing data that the grid cannot take says why, at the cell and once, and leaves
  // the data as it was.
  void refusedEditsSayWhy_data()
  {
    QTest::addColumn<QString>("where");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("key");  // "Down" is pressed on the last record
    QTest::addColumn<QString>("reason");
    for (const char* key : {"A", "F2", "Return", "Ins", "Ctrl+Del", "Ctrl+0", "Down"})
      QTest::addRow("result, %s", key) << "result" << 1 << key << "This result is read-only.";
    for (const char* key : {"A", "F2", "Ins", "Ctrl+Del", "Ctrl+0", "Down"})
      QTest::addRow("view, %s", key) << "view" << 1 << key << "'evens' cannot be edited";
    for (const char* key : {"A", "F2", "Ctrl+0"}) {
      QTest::addRow("generated column, %s", key) << "generated" << 2 << key << "Field \"twice\" is read-only.";
      QTest::addRow("BLOB column, %s", key) << "nums" << 3 << key << "Binary data cannot be edited in the grid.";
      QTest::addRow("no record, %s", key) << "empty" << 1 << key << "There is no record here";
    }
    QTest::newRow("memo of several lines, A") << "nums" << 2 << "A" << "This text has more than one line";
    for (const char* key : {"A", "F2", "Ins", "Ctrl+Del", "Ctrl+0"})
      QTest::addRow("closed, %s", key) << "closed" << 1 << key << "No data is open here to edit.";
    for (const char* key : {"A", "Return", "Ins", "Ctrl+0", "Down"})
      QTest::addRow("no auto edit, %s", key) << "no auto edit" << 1 << key << "Editing is switched off";
  }
  void refusedEditsSayWhy()
  {
    QFETCH(QString, where);
    QFETCH(int, column);
    QFETCH(QString, key);
    QFETCH(QString, reason);
    TDBGrid* g = openRefusing(where);
    QVERIFY(g);
    g->SetSelectedIndex(column);
    if (key == QLatin1String("Down"))
      QTest::keyClick(g, Qt::Key_End, Qt::ControlModifier);
    const TDataSetState state = g->DataSource()->DataSet()->State();
    const int64_t recNo = g->DataSource()->DataSet()->RecNo();
    const QByteArray before = fileHash();
    QSignalSpy refused(g, &TDBGrid::editRefused);

    QTest::keySequence(g, QKeySequence(key));
    QCOMPARE(refused.count(), 1);
    const QString said = refused.at(0).at(0).toString();
    QVERIFY2(said.contains(reason), qPrintable(said));
    QCOMPARE(g->LastRefusal(), said);
    QVERIFY2(QToolTip::isVisible() && QToolTip::text() == said, qPrintable(QToolTip::text()));
    QVERIFY(!g->Editing());
    QCOMPARE(g->DataSource()->DataSet()->State(), state);
    QCOMPARE(g->DataSource()->DataSet()->RecNo(), recNo);
    // Typing on does not get round it either.
    QTest::keyClicks(g, QStringLiteral("12"));
    QVERIFY(!g->Editing());
    QCOMPARE(refused.count(), 3);
    if (g->DataSource()->DataSet()->Active())
      g->DataSource()->DataSet()->CheckBrowseMode();
    QCOMPARE(fileHash(), before);
  }

  // A cell that can be edited takes the key and says nothing.
  void editableCellsRefuseNothing_data()
  {
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("state");
    QTest::newRow("typing") << "A" << int(dsEdit);
    QTest::newRow("Insert") << "Ins" << int(dsInsert);
    QTest::newRow("Ctrl+0") << "Ctrl+0" << int(dsEdit);
    QTest::newRow("Down at the end") << "Down" << int(dsInsert);
  }
  void editableCellsRefuseNothing()
  {
    QFETCH(QString, key);
    executeSql(file, QStringLiteral("CREATE TABLE words(id INTEGER PRIMARY KEY, w VARCHAR(20)); INSERT INTO words VALUES (1, 'w');"));
    fmMain->OpenTable(QStringLiteral("words"));
    grid()->setFocus();
    grid()->SetSelectedIndex(1);
    if (key == QLatin1String("Down"))
      QTest::keyClick(grid(), Qt::Key_End, Qt::ControlModifier);
    QSignalSpy refused(grid(), &TDBGrid::editRefused);
    QTest::keySequence(grid(), QKeySequence(key));
    QCOMPARE(refused.count(), 0);
    QCOMPARE(grid()->EditRefusal(), QString());
    QTEST(int(ds().State()), "state");
    ds().Cancel();
  }

  // Ctrl+0 (or the pop-up menu's command, through SetSelectedFieldNull) sets NULL, which the
  // database stores as NULL, not as an empty text or a zero; a text the user empties is stored as
  // the empty text, which is not NULL.
  void ctrlZeroSetsNull_data()
  {
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("string") << 1 << "key" << "NULL";
    QTest::newRow("integer") << 2 << "key" << "NULL";
    QTest::newRow("date") << 3 << "key" << "NULL";
    QTest::newRow("string, in the open editor") << 1 << "editor" << "NULL";
    QTest::newRow("date, in the open editor") << 3 << "editor" << "NULL";
    QTest::newRow("integer, menu command") << 2 << "command" << "NULL";
    QTest::newRow("string, emptied") << 1 << "emptied" << "''";
  }
  void ctrlZeroSetsNull()
  {
    QFETCH(int, column);
    QFETCH(QString, how);
    QFETCH(QString, quoted);
    const bool toNull = quoted == QLatin1String("NULL");
    executeSql(file, QStringLiteral("CREATE TABLE typed(id INTEGER PRIMARY KEY, s VARCHAR(20), n INTEGER, d DATE);"
                                    "INSERT INTO typed VALUES (1, 'abc', 42, '2024-02-29'), (2, 'def', 7, '2023-01-01');"));
    fmMain->OpenTable(QStringLiteral("typed"));
    grid()->SetSelectedIndex(column);
    const QString name = ds().Fields(column)->FieldName();
    const QString otherRecord = stored(QStringLiteral("SELECT quote(s) || quote(n) || quote(d) FROM typed WHERE id = 2"));
    // The key is the cell's while the grid has the focus, whatever the window binds to it.
    int windowShortcut = 0;
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_0), fmMain);
    fmMain->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(fmMain));
    grid()->setFocus();
    connect(shortcut, &QShortcut::activated, this, [&] { ++windowShortcut; });

    if (how == QLatin1String("editor") || how == QLatin1String("emptied")) {
      QTest::keyClick(grid(), Qt::Key_F2);
      QTest::keyClick(editor(), Qt::Key_Backspace);
      QTest::keyClicks(editor(), toNull ? QStringLiteral("9") : QString());
      QVERIFY(grid()->Editing());
      QTest::keyClick(editor(), toNull ? Qt::Key_0 : Qt::Key_Return, toNull ? Qt::ControlModifier : Qt::NoModifier);
    } else if (how == QLatin1String("command")) {
      grid()->SetSelectedFieldNull();
    } else {
      QTest::keyClick(grid(), Qt::Key_0, Qt::ControlModifier);
    }
    delete shortcut;
    QCOMPARE(windowShortcut, 0);
    QVERIFY(!grid()->Editing());
    QCOMPARE(ds().State(), dsEdit);
    QCOMPARE(ds().Fields(column)->IsNull(), toNull);
    QCOMPARE(grid()->CellIsNull(0, column), toNull);
    QCOMPARE(grid()->CellText(0, column), QString());  // copies and exports see no mark
    fmMain->DBNavigator1->Buttons(TDBNavigator::nbPost)->click();
    QCOMPARE(ds().State(), dsBrowse);
    QCOMPARE(stored(QStringLiteral("SELECT quote(%1) FROM typed WHERE id = 1").arg(name)), quoted);
    QCOMPARE(stored(QStringLiteral("SELECT count(*) FROM typed WHERE s IS NULL OR n IS NULL OR d IS NULL")),
             toNull ? QStringLiteral("1") : QStringLiteral("0"));
    QCOMPARE(stored(QStringLiteral("SELECT quote(s) || quote(n) || quote(d) FROM typed WHERE id = 2")), otherRecord);
    QCOMPARE(grid()->CellIsNull(0, column), toNull);  // read back from the database
  }

  // NULL shows as a dimmed mark in the disabled text colour; the empty text shows nothing.
  void nullIsMarkedAndEmptyTextIsNot()
  {
    executeSql(file, QStringLiteral("CREATE TABLE marks(id INTEGER PRIMARY KEY, s VARCHAR(20));"
                                    "INSERT INTO marks VALUES (1, NULL), (2, ''), (3, 'x');"));
    fmMain->OpenTable(QStringLiteral("marks"));
    QPalette pal = grid()->palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    pal.setColor(QPalette::Disabled, QPalette::Text, QColor(255, 0, 0));
    grid()->setPalette(pal);
    QTest::keyClick(grid(), Qt::Key_End, Qt::ControlModifier);  // the marked rows are not current
    QVERIFY(grid()->CellIsNull(0, 1));
    QVERIFY(!grid()->CellIsNull(1, 1));
    QCOMPARE(grid()->CellText(0, 1), QString());
    QCOMPARE(grid()->CellText(1, 1), QString());

    const QImage shown = grid()->viewport()->grab().toImage();
    const auto reddish = [](QColor c) { return c.red() > 160 && c.green() < 120 && c.blue() < 120; };
    const auto inked = [](QColor c) { return c != QColor(Qt::white); };
    const QImage nullCell = shown.copy(cell(0, 1)), emptyCell = shown.copy(cell(1, 1)), textCell = shown.copy(cell(2, 1));
    QVERIFY(pixelsOf(nullCell, reddish) > 10);
    QCOMPARE(pixelsOf(emptyCell, inked), 0);
    QVERIFY(pixelsOf(textCell, inked) > 0);
    QCOMPARE(pixelsOf(textCell, reddish), 0);
    QVERIFY(nullCell != emptyCell);
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
