// The grids and the navigator over a real table, driven with keys and clicks. Typing and posting on
// both drivers are in tst_pendingedits; here is what the grid refuses, how texts and NULL are edited,
// and what the user sees.
#include "AppFixture.h"
#include "Backends.h"

#include "dbcontrols/DBGrid.h"
#include "dataaccess/FormatSettings.h"
#include "dbcontrols/DBNavigator.h"
#include "viewer/DBRichEdit.h"
#include "viewer/MemoViewWindow.h"

#include <QCryptographicHash>
#include <QLineEdit>
#include <QShortcut>
#include <QSignalSpy>
#include <QToolButton>
#include <QToolTip>

using namespace app_fixture;

class TestDBGrid : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;
  std::unique_ptr<test_backends::SqliteBackend> db;  // a second session on the file

  TDBGrid* grid() { return fmMain->DBGrid2; }
  TDataSet& ds() { return fmMain->qrTable; }
  QLineEdit* editor() { return grid()->viewport()->findChild<QLineEdit*>(); }

  QString stored(const QString& sql) { return db->scalar(sql); }

  // The database file's bytes: a refused edit writes nothing at all.
  QByteArray fileHash()
  {
    QFile f(folder->path(QStringLiteral("both.db")));
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

  // Opens the table in DBGrid2, with the focus, at the column.
  void open(const QString& table, int column)
  {
    fmMain->OpenTable(table);
    grid()->setFocus();
    grid()->SetSelectedIndex(column);
  }

  // Makes the grid one of the places where an edit is refused: a result, a table or view, a closed
  // table, or one with automatic editing switched off.
  TDBGrid* openRefusing(const QString& where, int column)
  {
    if (where == QLatin1String("result")) {
      fmMain->Memo1->setPlainText(QStringLiteral("SELECT id, qty, note FROM nums"));
      QTest::mouseClick(fmMain->btExecute, Qt::LeftButton);
      fmMain->DBGrid1->setFocus();
      fmMain->DBGrid1->SetSelectedIndex(column);
      return fmMain->qrSelect.Active() ? fmMain->DBGrid1 : nullptr;
    }
    const bool nums = where == QLatin1String("closed") || where == QLatin1String("no auto edit");
    open(nums ? QStringLiteral("nums") : where, column);
    if (where == QLatin1String("closed"))
      ds().Close();
    else if (nums)
      fmMain->srcTable.AutoEdit = false;
    return grid();
  }

private slots:
  void init()
  {
    folder = std::make_unique<TestFolder>();
    db = std::make_unique<test_backends::SqliteBackend>(*folder, QStringLiteral(
        "CREATE TABLE nums(id INTEGER PRIMARY KEY, qty INT NOT NULL DEFAULT 0, note TEXT, pic BLOB);"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600)"
        " INSERT INTO nums SELECT i, i * 2, 'line one' || char(10) || 'line two', x'0102' FROM n;"
        "CREATE VIEW evens AS SELECT id, qty FROM nums WHERE id % 2 = 0;"
        "CREATE TABLE gen(id INTEGER PRIMARY KEY, a INT, twice INT GENERATED ALWAYS AS (a * 2));"
        "INSERT INTO gen(id, a) VALUES (1, 5), (2, 6);"
        "CREATE TABLE vacant(id INTEGER PRIMARY KEY, w VARCHAR(10));"
        "CREATE TABLE days(id INTEGER PRIMARY KEY, d DATE, t DATETIME);"
        "INSERT INTO days VALUES (1, '1975-06-30', '1975-06-30 08:15:00.250');"
        "CREATE TABLE t(id INTEGER PRIMARY KEY, memo TEXT, str VARCHAR(10), n INTEGER, d DATE);"
        "INSERT INTO t VALUES (1, 'm', 's', 7, '2023-01-01'), (2, 'm', 's', 7, '2023-01-01');"));
    startProgram(*folder, db->aliasSection(QStringLiteral("G")));
    loginWith(QStringLiteral("u"), QString());
    doubleClick(child(root(), QStringLiteral("G")));
    fmMain->OpenTable(QStringLiteral("nums"));
    QVERIFY(ds().Active());
    // The login dialog took the activation; window shortcuts only work in the active window.
    fmMain->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(fmMain));
    grid()->setFocus();
  }
  void cleanup()
  {
    stopProgram();
    db.reset();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  void showsAWindowOfRecordsAndFollowsTheDataset()
  {
    QCOMPARE(grid()->CellText(0, 2), QStringLiteral("line one\u2026"));  // a memo's first line
    QCOMPARE(grid()->CellText(0, 3), QStringLiteral("(BLOB, 2 bytes)"));
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, cell(2, 1).center());
    QCOMPARE(ds().RecNo(), 3);
    // Down past the last record appends one; leaving it untouched drops it again.
    QTest::keyClick(grid(), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(grid()->TopPosition(), 600 - grid()->VisibleRows());
    QTest::keyClick(grid(), Qt::Key_Down);
    QCOMPARE(ds().State(), dsInsert);
    QCOMPARE(ds().RecNo(), 601);
    QTest::keyClick(grid(), Qt::Key_Up);
    QCOMPARE(ds().State(), dsBrowse);
    QCOMPARE(ds().RecordCount(), 600);
  }

  // Text that does not read is refused with the field and the text; the input stays. Esc drops the
  // cell's text, a second Esc the record's changes.
  void unreadableTextIsRefusedAndEscapeDrops()
  {
    grid()->SetSelectedIndex(1);
    QString text;
    captureAndClose(&text);
    QTest::keyClicks(grid(), QStringLiteral("x9"));
    QTest::keyClick(editor(), Qt::Key_Return);
    QCOMPARE(text, QStringLiteral("'x9' is not a valid integer value for field 'qty'."));
    QVERIFY(grid()->Editing());
    QCOMPARE(editor()->text(), QStringLiteral("x9"));
    QTest::keyClick(editor(), Qt::Key_Escape);
    QVERIFY(!grid()->Editing());
    QCOMPARE(ds().State(), dsEdit);
    QTest::keyClick(grid(), Qt::Key_Escape);
    QCOMPARE(ds().State(), dsBrowse);
    QCOMPARE(stored(QStringLiteral("SELECT qty FROM nums WHERE id = 1")), QStringLiteral("2"));
  }

  // The in-place editor shows whole years where the regional short form has two digits, an
  // untouched cell is never read back, and changing the day keeps the century and the time its
  // milliseconds.
  void datesKeepTheirCentury()
  {
    const TFormatSettings saved = FormatSettings();
    FormatSettings() = TFormatSettings::fromLocale(QLocale(QStringLiteral("de_DE")));
    open(QStringLiteral("days"), 1);
    QCOMPARE(grid()->CellText(0, 1), QStringLiteral("30.06.75"));
    QTest::keyClick(grid(), Qt::Key_F2);
    QCOMPARE(editor()->text(), QStringLiteral("30.06.1975"));
    QTest::keyClick(editor(), Qt::Key_Return);  // nothing typed: nothing is written
    QCOMPARE(ds().State(), dsBrowse);
    grid()->SetSelectedIndex(2);
    QTest::keyClick(grid(), Qt::Key_F2);
    QCOMPARE(editor()->text(), QStringLiteral("30.06.1975 08:15:00,250"));
    QTest::keyClick(editor(), Qt::Key_Escape);
    grid()->SetSelectedIndex(1);
    QTest::keyClick(grid(), Qt::Key_F2);
    editor()->selectAll();
    QTest::keyClicks(editor(), QStringLiteral("29.06.1975"));
    QTest::keyClick(editor(), Qt::Key_Return);
    ds().Post();
    FormatSettings() = saved;
    QCOMPARE(stored(QStringLiteral("SELECT d || '|' || t FROM days")), QStringLiteral("1975-06-29|1975-06-30 08:15:00.250"));
  }

  // The navigator's Delete asks first, and Cancel there keeps the record.
  void navigatorAsksBeforeDeleting()
  {
    TDBNavigator* nav = fmMain->DBNavigator1;
    QString question;
    answerNextModal([&](QWidget* w) {
      question = modalText(w);
      qobject_cast<QDialog*>(w)->reject();
    });
    nav->Buttons(TDBNavigator::nbDelete)->click();
    QCOMPARE(question, QStringLiteral("Delete record?"));
    QCOMPARE(stored(QStringLiteral("SELECT count(*) FROM nums")), QStringLiteral("600"));
  }

  // A text of one line is edited in the cell; one of several lines, or too long for a line editor,
  // opens in the memo viewer on Enter. A value the line editor would change or cut is not opened
  // (the user's own typing still replaces it). Ctrl+0 sets NULL, even in the open editor and whatever
  // the window binds to the key; a text the user empties is the empty text, not NULL. Nothing else
  // of the record, nor the other record, changes.
  void cellEdits_data()
  {
    QTest::addColumn<QString>("column");   // of table t
    QTest::addColumn<QString>("before");   // SQL expression for its value in record 1
    QTest::addColumn<QString>("keys");     // pressed in order; the record is posted after
    QTest::addColumn<QString>("after");    // the stored value, "NULL", or "=" for the very bytes of before
    QTest::addColumn<bool>("viewerOpens");
    QTest::addColumn<QString>("refused");  // the start of the reason given, empty when none
    const QString several = QStringLiteral("'a' || char(10) || 'b'"), tooLong = QStringLiteral("printf('%.40000c', 'x')");
    const QString changing = QStringLiteral("This value cannot be edited here without changing it.");
    const QString invalid = QStringLiteral("CAST(x'41FF42' AS TEXT)");
    QTest::newRow("one line: F2 and typing append") << "memo" << "'short'" << "F2 End X Return" << "shortx" << false << "";
    QTest::newRow("one line: typing replaces") << "memo" << "'short'" << "A Return" << "a" << false << "";
    QTest::newRow("NULL: typing gives text") << "memo" << "NULL" << "A Return" << "a" << false << "";
    QTest::newRow("several lines: Enter opens the viewer") << "memo" << several << "Return" << "=" << true << "";
    QTest::newRow("several lines: a key is refused") << "memo" << "'a' || char(13) || 'b'" << "A" << "=" << false
                                                     << "This text has more than one line";
    QTest::newRow("several lines: Ctrl+0 clears") << "memo" << several << "Ctrl+0" << "NULL" << false << "";
    QTest::newRow("one line too long: Enter opens the viewer") << "memo" << tooLong << "Return" << "=" << true << "";
    QTest::newRow("long string: F2 refused, nothing cut") << "str" << tooLong << "F2" << "=" << false << "This value is too long";
    QTest::newRow("string with a line break: F2 refused") << "str" << several << "F2" << "=" << false << changing;
    QTest::newRow("invalid UTF-8: F2 refused") << "str" << invalid << "F2" << "=" << false << changing;
    QTest::newRow("invalid UTF-8: typing replaces") << "str" << invalid << "A Return" << "a" << false << "";
    QTest::newRow("string: Ctrl+0") << "str" << "'abc'" << "Ctrl+0" << "NULL" << false << "";
    QTest::newRow("string: Ctrl+0 in the open editor") << "str" << "'abc'" << "F2 Backspace 9 Ctrl+0" << "NULL" << false << "";
    QTest::newRow("string: emptied") << "str" << "'abc'" << "F2 Backspace Return" << "" << false << "";
    QTest::newRow("integer: Ctrl+0") << "n" << "42" << "Ctrl+0" << "NULL" << false << "";
    QTest::newRow("date: Ctrl+0") << "d" << "'2024-02-29'" << "Ctrl+0" << "NULL" << false << "";
    QTest::newRow("date: Ctrl+0 in the open editor") << "d" << "'2024-02-29'" << "F2 Backspace 9 Ctrl+0" << "NULL" << false << "";
  }
  void cellEdits()
  {
    QFETCH(QString, column);
    QFETCH(QString, before);
    QFETCH(QString, keys);
    QFETCH(QString, after);
    QFETCH(QString, refused);
    const int index = int(QStringList({"memo", "str", "n", "d"}).indexOf(column)) + 1;
    db->exec(QStringLiteral("UPDATE t SET %1 = %2 WHERE id = 1").arg(column, before));
    open(QStringLiteral("t"), index);
    // Every value of both records, its type and its bytes.
    const QString values = QStringLiteral("SELECT group_concat(typeof(memo) || hex(memo) || ',' || typeof(str) || hex(str) || ','"
                                          " || typeof(n) || hex(n) || ',' || typeof(d) || hex(d), ',') FROM t");
    QStringList expected = stored(values).split(QLatin1Char(','));
    int windowShortcut = 0;
    QShortcut shortcut(QKeySequence(Qt::CTRL | Qt::Key_0), fmMain);
    connect(&shortcut, &QShortcut::activated, this, [&] { ++windowShortcut; });
    for (const QString& key : keys.split(QLatin1Char(' ')))
      QTest::keySequence(editor() && editor()->isVisible() ? static_cast<QWidget*>(editor()) : grid(), QKeySequence(key));
    QCOMPARE(windowShortcut, 0);
    QTEST(fmMemoView->isVisible(), "viewerOpens");
    QVERIFY2(refused.isEmpty() ? grid()->LastRefusal().isEmpty() : grid()->LastRefusal().startsWith(refused),
             qPrintable(grid()->LastRefusal()));
    if (after == QLatin1String("NULL"))
      QCOMPARE(grid()->CellText(0, index), QString());  // copies and exports see no mark
    if (ds().State() != dsBrowse)
      ds().Post();
    const QStringList now = stored(values).split(QLatin1Char(','));
    if (after != QLatin1String("=")) {
      QCOMPARE(stored(QStringLiteral("SELECT ifnull(%1, 'NULL') FROM t WHERE id = 1").arg(column)), after);
      expected[index - 1] = now[index - 1];
    }
    QCOMPARE(now, expected);
    QCOMPARE(grid()->CellIsNull(0, index), after == QLatin1String("NULL"));  // as read back
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
      QTest::addRow("view, %s", key) << "evens" << 1 << key << "'evens' cannot be edited";
    for (const char* key : {"A", "F2", "Ctrl+0"}) {
      QTest::addRow("generated column, %s", key) << "gen" << 2 << key << "Field \"twice\" is read-only.";
      QTest::addRow("BLOB column, %s", key) << "nums" << 3 << key << "Binary data cannot be edited in the grid.";
      QTest::addRow("no record, %s", key) << "vacant" << 1 << key << "There is no record here";
    }
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
    TDBGrid* g = openRefusing(where, column);
    QVERIFY(g);
    TDataSet* data = g->DataSource()->DataSet();
    if (key == QLatin1String("Down"))
      QTest::keyClick(g, Qt::Key_End, Qt::ControlModifier);
    const TDataSetState state = data->State();
    const QByteArray before = fileHash();
    QSignalSpy refused(g, &TDBGrid::editRefused);

    QTest::keySequence(g, QKeySequence(key));
    QCOMPARE(refused.count(), 1);
    const QString said = refused.at(0).at(0).toString();
    QVERIFY2(said.contains(reason), qPrintable(said));
    QVERIFY2(QToolTip::isVisible() && QToolTip::text() == said, qPrintable(QToolTip::text()));
    QVERIFY(!g->Editing());
    QCOMPARE(data->State(), state);
    // Typing on does not get round it either.
    QTest::keyClicks(g, QStringLiteral("12"));
    QCOMPARE(refused.count(), 3);
    if (data->Active())
      data->CheckBrowseMode();
    QCOMPARE(fileHash(), before);
  }

};

QTEST_MAIN(TestDBGrid)
#include "tst_dbgrid.moc"
