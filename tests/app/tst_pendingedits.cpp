// A record being edited is never thrown away without a word: every command that closes or leaves the
// table's rows asks first, on every driver, through the program's own windows.
#include "AppFixture.h"
#include "BackendProgram.h"

#include "dbcontrols/DBGrid.h"
#include "viewer/DBRichEdit.h"

#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

using namespace app_fixture;
using namespace test_backends;

namespace {

const char* const schema =
    "CREATE TABLE nums(id INTEGER PRIMARY KEY, qty INT NOT NULL DEFAULT 0, name VARCHAR(20), note TEXT);"
    "INSERT INTO nums VALUES (1, 2, 'stored', 'stored'), (2, 4, 'second', 'second');"
    "CREATE TABLE other(id INTEGER PRIMARY KEY, v VARCHAR(10));"
    "INSERT INTO other VALUES (1, 'x');";

// How the user answers the question, and what the database does with a Yes.
enum class Answer { Yes, No, Cancel, YesRefused, YesChangedElsewhere };

}  // namespace

Q_DECLARE_METATYPE(Answer)

class TestPendingEdits : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;
  std::unique_ptr<Backend> backend;

  TTreeNode* alias() { return child(root(), QStringLiteral("Edits")); }
  TTreeNode* table(const QString& name) { return child(alias(), backend->listed(name)); }
  TDBGrid* grid() { return fmMain->DBGrid2; }
  TDataSet& ds() { return fmMain->qrTable; }

  // Types into the first record: into the name cell, leaving the cell editor open as a user who has
  // not pressed Enter yet, or into the note, in the memo viewer bound to it as the grid's double-click does.
  void type(bool inMemoViewer)
  {
    grid()->SetSelectedIndex(inMemoViewer ? 3 : 2);
    if (inMemoViewer) {
      fmMain->DBGrid2DblClick();
      QVERIFY(fmMemoView->isVisible());
      fmMemoView->DBRTF->selectAll();
    }
    QTest::keyClicks(inMemoViewer ? static_cast<QWidget*>(fmMemoView->DBRTF) : grid(), QStringLiteral("typed"));
    QCOMPARE(ds().State(), dsEdit);
    QVERIFY(inMemoViewer ? fmMemoView->FModified : grid()->Editing());
  }

  // The column typed into, as stored: the grid edits the name, the memo viewer the note.
  QString stored(bool inMemoViewer)
  {
    return backend->scalar(QStringLiteral("SELECT %1 FROM nums WHERE id = 1").arg(inMemoViewer ? "note" : "name"));
  }

  // Answers the question, and the error a refused post shows after it; returns what was asked.
  void answer(Answer a, const QString& title, QString* asked, QString* error)
  {
    answerNextModal([=](QWidget* w) {
      *asked = w->windowTitle() + QLatin1Char('|') + modalText(w);
      auto* box = qobject_cast<QMessageBox*>(w);
      QVERIFY(box);
      QCOMPARE(w->windowTitle(), title);
      box->button(a == Answer::No ? QMessageBox::No : a == Answer::Cancel ? QMessageBox::Cancel : QMessageBox::Yes)->click();
    });
    if (a == Answer::YesRefused || a == Answer::YesChangedElsewhere)
      captureAndClose(error);
  }

  bool executeOther()
  {
    fmMain->Memo1->setPlainText(QStringLiteral("SELECT id FROM other"));
    QTest::mouseClick(fmMain->btExecute, Qt::LeftButton);
    return fmMain->qrSelect.Active();
  }

  // Runs a command that closes or leaves the table's rows; tells whether it was carried out.
  bool runPath(const QString& path, bool loginAfterwards)
  {
    if (path == QLatin1String("reconnect")) {
      if (loginAfterwards)
        loginWith(backend->user(), backend->password());
      doubleClick(alias());
      // Nothing of the closed connection stays on screen.
      return fmMain->Database.Connected() && !ds().Active() && fmMain->lbTableName->text().isEmpty() &&
             fmMain->lvFields->rowCount() == 0;
    }
    if (path == QLatin1String("execute"))
      return executeOther();
    if (path == QLatin1String("open another table")) {
      doubleClick(table(QStringLiteral("other")));
      return ds().Active() && fmMain->lbTableName->text().endsWith(backend->listed(QStringLiteral("other")));
    }
    if (path == QLatin1String("close box"))
      fmMain->close();
    else
      fmMain->Exit1->trigger();
    return !fmMain->isVisible();
  }

private slots:
  void initTestCase_data() { addDriverRows(); }

  void init()
  {
    folder = std::make_unique<TestFolder>();
    if (onPostgres())
      PG_REQUIRE_SERVER();
    if (onOdbc())
      MARIA_REQUIRE_SERVER();
    backend = startProgramOn(*folder, QString::fromLatin1(schema), QStringLiteral("Edits"));
    connectThroughTheTree(*backend, QStringLiteral("Edits"));
    doubleClick(table(QStringLiteral("nums")));
    QVERIFY(ds().Active());
    grid()->setFocus();
  }
  void cleanup() { stopProgramOn(backend, folder); }

  void everyPathAsksFirst_data()
  {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("inMemoViewer");
    QTest::addColumn<Answer>("reply");
    const std::pair<const char*, Answer> replies[] = {{"yes", Answer::Yes}, {"no", Answer::No}, {"cancel", Answer::Cancel},
                                                      {"yes, refused", Answer::YesRefused},
                                                      {"yes, row changed elsewhere", Answer::YesChangedElsewhere}};
    for (const char* path : {"reconnect", "execute", "open another table", "close box", "File > Exit"})
      for (bool memo : {false, true})
        for (const auto& [name, reply] : replies)
          QTest::addRow("%s, %s, %s", path, memo ? "memo viewer" : "grid", name) << QString::fromLatin1(path) << memo << reply;
  }
  void everyPathAsksFirst()
  {
    QFETCH(QString, path);
    QFETCH(bool, inMemoViewer);
    QFETCH(Answer, reply);
    type(inMemoViewer);
    if (reply == Answer::YesRefused)
      ds().FieldByName(QStringLiteral("qty"))->Clear();  // NOT NULL: the database refuses the post
    if (reply == Answer::YesChangedElsewhere)
      backend->exec(QStringLiteral("UPDATE nums SET qty = 99 WHERE id = 1"));
    QString asked, error;
    answer(reply, inMemoViewer ? QStringLiteral("Memo Changed") : QStringLiteral("Kestrel"), &asked, &error);
    const bool goesOn = reply == Answer::Yes || reply == Answer::No;
    const bool carriedOut = runPath(path, goesOn);
    QVERIFY(allModalsAnswered());
    QVERIFY2(asked.contains(inMemoViewer ? "Do you want to save your changes?" : "Save changes to the record?"),
             qPrintable(asked));
    QCOMPARE(carriedOut, goesOn);
    QCOMPARE(stored(inMemoViewer), reply == Answer::Yes ? QStringLiteral("typed") : QStringLiteral("stored"));
    if (reply == Answer::YesRefused)
      QVERIFY2(error.contains(QStringLiteral("qty")), qPrintable(error));  // a refused post says why
    if (reply == Answer::YesChangedElsewhere)
      QVERIFY2(error.contains(QStringLiteral("changed by another user")), qPrintable(error));
    if (!goesOn) {
      // Everything stays as it was: the record in edit mode with the user's text, the windows shown.
      QCOMPARE(ds().State(), dsEdit);
      ds().UpdateRecord();
      QCOMPARE(ds().FieldByName(inMemoViewer ? "note" : "name")->AsString(), QStringLiteral("typed"));
      QCOMPARE(fmMemoView->isVisible(), inMemoViewer);
    }
  }

  // Nothing changed, nothing asked: an edit begun and left untouched is dropped quietly.
  void untouchedEditsAskNothing()
  {
    QTest::keyClick(grid(), Qt::Key_F2);
    QVERIFY(grid()->Editing());
    QVERIFY(executeOther());
    QVERIFY(allModalsAnswered());
  }

  // Closing the main window with unsaved memo text: the question comes while the main window is
  // still shown, and after Yes or No the run ends, as it really runs, through the application's
  // event loop.
  void closingWithUnsavedMemoTextEndsTheRun_data()
  {
    QTest::addColumn<bool>("save");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
  }
  void closingWithUnsavedMemoTextEndsTheRun()
  {
    QFETCH(bool, save);
    type(true);
    bool mainShownWhenAsked = false;
    answerNextModal([&](QWidget* w) {
      mainShownWhenAsked = fmMain->isVisible();
      qobject_cast<QMessageBox*>(w)->button(save ? QMessageBox::Yes : QMessageBox::No)->click();
    });
    QTimer::singleShot(0, fmMain, [] { fmMain->close(); });
    QTimer watchdog;
    watchdog.callOnTimeout([] { QCoreApplication::exit(1); });
    watchdog.start(10000);
    QVERIFY2(QApplication::exec() == 0, "the run did not end when the main window closed");
    QVERIFY(mainShownWhenAsked);
    QVERIFY(!fmMemoView->isVisible());
    QCOMPARE(stored(true), save ? QStringLiteral("typed") : QStringLiteral("stored"));
  }
};

QTEST_MAIN(TestPendingEdits)
#include "tst_pendingedits.moc"
