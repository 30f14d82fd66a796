#include "AppFixture.h"

#include <QClipboard>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTextBlock>
#include <QToolButton>

#include <csignal>
#include <sys/resource.h>

using namespace app_fixture;

namespace {

QPlainTextEdit* memo() { return fmMain->Memo1; }
void click(QToolButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

QByteArray fileBytes(const QString& path)
{
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
}

// Answers the next file dialog as a user does, typing the name into its name box; *offered gets the
// name the dialog proposed.
void answerFileDialog(const QString& file, QString* offered = nullptr)
{
  answerNextModal([=](QWidget* w) {
    auto* name = w->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(name);
    if (offered)
      *offered = name->text();
    QApplication::setActiveWindow(w);
    name->setFocus();  // typing there drops the file the dialog had selected
    name->setText(file);
    QTest::keyClick(name, Qt::Key_Return);
  });
}

// Answers the next question box with the button.
void answerQuestion(QMessageBox::StandardButton button, QString* asked = nullptr)
{
  answerNextModal([=](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    QVERIFY(box);
    if (asked)
      *asked = box->text();
    box->button(button)->click();
  });
}

}  // namespace

class TestSqlEditor : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;

private slots:
  void init()
  {
    folder = std::make_unique<TestFolder>();
    startProgram(*folder, "");
    fmMain->pgTop->setCurrentWidget(fmMain->EditSheet);
  }
  void cleanup()
  {
    stopProgram();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  void undoIsOneStepDeep_data()
  {
    // t: typed, c: put on the clipboard, all: select all, handler: btUndoClick, export: an export runs
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("undoEnabled");
    QTest::addColumn<QString>("clipboard");
    QTest::newRow("last edit only") << QStringList{"t:ab", "c:cd", "Paste", "Undo"} << "ab" << false << "cd";
    QTest::newRow("history emptied") << QStringList{"t:ab", "c:c", "Paste", "Undo", "t:x", "Undo", "handler"} << "ab" << false << "c";
    QTest::newRow("new keeps the button") << QStringList{"t:ab", "answer:No", "New", "Undo"} << "" << true << "";
    QTest::newRow("new while disabled") << QStringList{"New"} << "" << false << "";
    QTest::newRow("open disables") << QStringList{"t:ab", "answer:No", "Open"} << "select 1" << false << "";
    QTest::newRow("save disables") << QStringList{"t:ab", "Save", "handler"} << "ab" << false << "";
    QTest::newRow("cut and paste") << QStringList{"Open", "all", "Cut", "Paste", "Paste"} << "select 1select 1" << true << "select 1";
    QTest::newRow("copy is no change") << QStringList{"Open", "all", "Copy"} << "select 1" << false << "select 1";
    QTest::newRow("inert during an export") << QStringList{"t:ab", "c:zz", "export", "all", "New", "Open", "Save", "Cut", "Copy", "Paste", "Undo"}
                                            << "ab" << true << "zz";
  }
  void undoIsOneStepDeep()
  {
    QFETCH(QStringList, steps);
    writeFile(folder->path(QStringLiteral("q.sql")), "select 1");
    QApplication::clipboard()->clear();
    for (const QString& step : steps) {
      if (step.startsWith(QLatin1String("t:")))
        QTest::keyClicks(memo(), step.mid(2));
      else if (step.startsWith(QLatin1String("c:")))
        QApplication::clipboard()->setText(step.mid(2));
      else if (step == QLatin1String("all"))
        QTest::keySequence(memo(), QKeySequence::SelectAll);
      else if (step == QLatin1String("handler"))
        fmMain->btUndoClick();  // as if the disabled button were clicked
      else if (step == QLatin1String("export"))
        fmMain->FExporting = true;
      else if (step.startsWith(QLatin1String("answer:")))
        answerQuestion(step.mid(7) == QLatin1String("No") ? QMessageBox::No : QMessageBox::Yes);
      else {
        if (step == QLatin1String("Open") || step == QLatin1String("Save"))
          answerFileDialog(folder->path(step == QLatin1String("Open") ? "q.sql" : "s.sql"));
        click(fmMain->findChild<QToolButton*>(QLatin1String("bt") + step));
      }
    }
    QCOMPARE(allModalsAnswered(), !fmMain->FExporting);  // no file dialog during an export
    fmMain->FExporting = false;
    QTEST(memo()->toPlainText(), "text");
    QTEST(fmMain->btUndo->isEnabled(), "undoEnabled");
    QTEST(QApplication::clipboard()->text(), "clipboard");
  }

  void caretText_data()
  {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("textAfter");
    QTest::newRow("typing") << "" << "A" << "Line:   1  Col:   2" << "a";
    QTest::newRow("tab is typed") << "" << "Tab" << "Line:   1  Col:   2" << "\t";
    QTest::newRow("return") << "ab" << "Right, Return" << "Line:   2  Col:   1" << "a\nb";
    QTest::newRow("shows the place before the key") << "ab\ncd" << "Down" << "Line:   1  Col:   1" << "ab\ncd";
    QTest::newRow("catches up at the next key") << "ab\ncd" << "Down, Right" << "Line:   2  Col:   1" << "ab\ncd";
    const QString many = QString("x\n").repeated(1199) + "x";
    QTest::newRow("four digits") << many << "Ctrl+End, Left" << "Line: 1200  Col:   2" << many;
    QTest::newRow("end of a backward selection") << "abc" << "End, Shift+Home, F2" << "Line:   1  Col:   4" << "abc";
  }
  void caretText()
  {
    QFETCH(QString, text);
    QFETCH(QString, keys);
    memo()->setPlainText(text);
    QTest::keySequence(memo(), QKeySequence(keys));
    QTEST(panel(1), "shown");
    QTEST(memo()->toPlainText(), "textAfter");
  }

  void wrappedLineCountsAsSeveral()
  {
    const QString text = QStringList(30, QString("select ").repeated(80)).join(QLatin1Char('\n')) + "\nend";
    memo()->setPlainText(text);
    QTest::keySequence(memo(), QKeySequence(QStringLiteral("Down, End")));
    QCOMPARE(panel(1), QStringLiteral("Line:   2  Col:   1"));
    int downs = 1;  // the control moves by display line
    for (; memo()->textCursor().blockNumber() < 30 && downs < 1000; ++downs)
      QTest::keyClick(memo(), Qt::Key_Down);
    QVERIFY(downs > 60);
    memo()->setPlainText(text);  // laid out afresh: the control measures only what it shows
    QTest::keySequence(memo(), QKeySequence(QStringLiteral("Ctrl+End, Home")));
    QCOMPARE(panel(1), QString::asprintf("Line: %3d  Col:   4", downs + 1));
  }

  void fileRoundTrip_data()
  {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("typed");  // at the start, before saving
    QTest::addColumn<QByteArray>("saved");
    QTest::newRow("LF only") << QByteArray("a\nb\n") << QStringList{"a", "b", ""} << "" << QByteArray("a\r\nb\r\n");
    QTest::newRow("CR only, no break added") << QByteArray("a\rb") << QStringList{"a", "b"} << "" << QByteArray("a\r\nb");
    QTest::newRow("empty") << QByteArray() << QStringList{""} << "" << QByteArray();
    QTest::newRow("Latin-1") << QByteArray("'\xE9'\xA0\x80\r\n") << QStringList{"'\u00E9'\u00A0\u0080", ""} << ""
                             << QByteArray("'\xE9'\xA0\x80\r\n");
    QTest::newRow("Latin-1 and a euro typed") << QByteArray("'\xE9'") << QStringList{"'\u00E9'"} << "\u20AC"
                                              << QByteArray("\xE2\x82\xAC'\xC3\xA9'");
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF\xC3\xA9\xC2\xA0x") << QStringList{QChar(0xFEFF) + QString("\u00E9\u00A0x")}
                                    << "" << QByteArray("\xEF\xBB\xBF\xC3\xA9\xC2\xA0x");
  }
  void fileRoundTrip()
  {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, typed);
    const QString in = folder->path(QStringLiteral("in.sql")), out = folder->path(QStringLiteral("out"));
    writeFile(in, bytes);
    fmMain->pgTop->setCurrentWidget(fmMain->FieldSheet);
    memo()->insertPlainText(QStringLiteral("old"));
    fmMain->StatusBar1->SetPanelText(1, QStringLiteral("before"));
    answerQuestion(QMessageBox::No);  // the changed text goes
    answerFileDialog(in);
    click(fmMain->btOpen);
    QStringList lines;
    for (QTextBlock b = memo()->document()->begin(); b.isValid(); b = b.next())
      lines << b.text();
    QTEST(lines, "shown");
    QCOMPARE(panel(1), bytes.isEmpty() ? QStringLiteral("before") : QStringLiteral("Line:   1  Col:   1"));
    QCOMPARE(fmMain->pgTop->currentWidget(), fmMain->EditSheet);
    memo()->insertPlainText(typed);
    answerFileDialog(out);
    click(fmMain->btSave);
    QTEST(fileBytes(out + QStringLiteral(".sql")), "saved");  // a name typed without a suffix gets ".sql"
  }

  void saveProposesTheFileLastOpened()
  {
    writeFile(folder->path(QStringLiteral("a.sql")), "select 1");
    QToolButton *open = fmMain->btOpen, *save = fmMain->btSave;
    for (auto [button, file, proposed] : {std::tuple{save, "b.sql", ""}, {save, "b.sql", ""}, {open, "a.sql", ""},
                                          {save, "b.sql", "a.sql"}, {save, "c.sql", "a.sql"}}) {
      QString offered;
      answerFileDialog(folder->path(file), &offered);
      click(button);
      QCOMPARE(offered, QString::fromLatin1(proposed));
    }
    QCOMPARE(fileBytes(folder->path(QStringLiteral("c.sql"))), QByteArray("select 1"));
  }

  void failuresLeaveTheStateAsItWas_data()
  {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file") << "Open" << "nope.sql" << "Cannot open file %1";
    QTest::newRow("too large") << "Open" << "huge.sql" << "Text exceeds memo capacity";
    QTest::newRow("folder missing") << "Save" << "no/such.sql" << "Cannot create file %1";
    QTest::newRow("write fails") << "Save" << "old.sql" << "Cannot write file %1. File too large";
  }
  void failuresLeaveTheStateAsItWas()
  {
    QFETCH(QString, button);
    QFETCH(QString, file);
    QFETCH(QString, message);
    const QString path = folder->path(file);
    QFile huge(folder->path(QStringLiteral("huge.sql")));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(64 * 1024 * 1024 + 1));
    writeFile(folder->path(QStringLiteral("old.sql")), "old");
    fmMain->pgTop->setCurrentWidget(fmMain->FieldSheet);
    const QString text(10 * 1024, QLatin1Char('x'));
    memo()->insertPlainText(text);

    // From the dialog's answer to the message, files may grow to 4 KiB only: a save of 10 KiB fails.
    rlimit unlimited{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &unlimited) == 0);
    const rlimit small{4 * 1024, unlimited.rlim_max};
    signal(SIGXFSZ, SIG_IGN);
    if (button == QLatin1String("Open"))
      answerQuestion(QMessageBox::No);  // the changed text may go, once the file is read
    answerNextModal([&](QWidget*) { setrlimit(RLIMIT_FSIZE, &small); });  // the dialog stays for the next answer
    answerFileDialog(path);
    QString shown;
    captureAndClose(&shown);
    click(fmMain->findChild<QToolButton*>(QLatin1String("bt") + button));
    setrlimit(RLIMIT_FSIZE, &unlimited);
    QVERIFY(allModalsAnswered());

    QCOMPARE(shown, QString(message).replace(QLatin1String("%1"), path));
    QCOMPARE(memo()->toPlainText(), text);  // a file that cannot be read replaces nothing
    QVERIFY(fmMain->btUndo->isEnabled());
    QCOMPARE(fmMain->pgTop->currentWidget(), fmMain->FieldSheet);
    QCOMPARE(fileBytes(folder->path(QStringLiteral("old.sql"))), QByteArray("old"));
    click(fmMain->btUndo);  // after a failed save the edit can still be undone
    QCOMPARE(memo()->toPlainText(), QString());
  }

  // Changed text is never replaced or closed without a word: New, Open and closing the main window
  // ask, Yes saves as Save does, No goes on, Cancel (or a save dialog cancelled) stops.
  void changedTextIsAskedAbout_data()
  {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("reply");
    QTest::addColumn<bool>("saveDialogAnswered");
    QTest::addColumn<QString>("text");      // the editor's text afterwards
    QTest::addColumn<QByteArray>("saved");  // what s.sql holds afterwards
    for (const char* command : {"New", "Open", "Close"}) {
      const QString replaced = QLatin1String(command) == QLatin1String("New")    ? QString()
                               : QLatin1String(command) == QLatin1String("Open") ? QStringLiteral("select 1")
                                                                                 : QStringLiteral("typed");
      QTest::addRow("%s, yes", command) << command << int(QMessageBox::Yes) << true << replaced << QByteArray("typed");
      QTest::addRow("%s, yes, save cancelled", command) << command << int(QMessageBox::Yes) << false << "typed" << QByteArray("<missing>");
      QTest::addRow("%s, no", command) << command << int(QMessageBox::No) << false << replaced << QByteArray("<missing>");
      QTest::addRow("%s, cancel", command) << command << int(QMessageBox::Cancel) << false << "typed" << QByteArray("<missing>");
    }
  }
  void changedTextIsAskedAbout()
  {
    QFETCH(QString, command);
    QFETCH(int, reply);
    QFETCH(bool, saveDialogAnswered);
    writeFile(folder->path(QStringLiteral("q.sql")), "select 1");
    QTest::keyClicks(memo(), QStringLiteral("typed"));
    QString asked;
    answerQuestion(QMessageBox::StandardButton(reply), &asked);
    if (reply == QMessageBox::Yes) {
      if (saveDialogAnswered)
        answerFileDialog(folder->path(QStringLiteral("s.sql")));
      else
        answerNextModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    }
    const bool goesOn = reply == QMessageBox::No || saveDialogAnswered;
    if (command == QLatin1String("Open") && goesOn)
      answerFileDialog(folder->path(QStringLiteral("q.sql")));
    if (command == QLatin1String("Close"))
      QCOMPARE(fmMain->close(), goesOn);
    else
      click(fmMain->findChild<QToolButton*>(QLatin1String("bt") + command));
    QVERIFY(allModalsAnswered());
    QCOMPARE(asked, QStringLiteral("Save changes to the SQL text?"));
    QTEST(memo()->toPlainText(), "text");
    QCOMPARE(fmMain->isVisible(), command != QLatin1String("Close") || !goesOn);
    const QByteArray saved = fileBytes(folder->path(QStringLiteral("s.sql")));
    QTEST(saved, "saved");
    // Unchanged text asks nothing.
    if (goesOn && command != QLatin1String("Close")) {
      if (command == QLatin1String("Open"))
        answerFileDialog(folder->path(QStringLiteral("q.sql")));
      click(fmMain->findChild<QToolButton*>(QLatin1String("bt") + command));
      QVERIFY(allModalsAnswered());
    }
  }

  // The caption names the file the text belongs to and marks a change.
  void captionShowsTheFileAndAChange()
  {
    QCOMPARE(fmMain->windowTitle(), QStringLiteral("Kestrel"));
    QTest::keyClicks(memo(), QStringLiteral("x"));
    QCOMPARE(fmMain->windowTitle(), QStringLiteral("Kestrel*"));
    answerFileDialog(folder->path(QStringLiteral("s.sql")));
    click(fmMain->btSave);
    QCOMPARE(fmMain->windowTitle(), QStringLiteral("Kestrel - s.sql"));
    QTest::keyClicks(memo(), QStringLiteral("y"));
    QCOMPARE(fmMain->windowTitle(), QStringLiteral("Kestrel - s.sql*"));
    click(fmMain->btUndo);  // back to the text as saved: nothing to ask about
    QCOMPARE(fmMain->windowTitle(), QStringLiteral("Kestrel - s.sql"));
    click(fmMain->btNew);
    QVERIFY(allModalsAnswered());
    QCOMPARE(fmMain->windowTitle(), QStringLiteral("Kestrel"));
  }
};

QTEST_MAIN(TestSqlEditor)
#include "tst_sqleditor.moc"
