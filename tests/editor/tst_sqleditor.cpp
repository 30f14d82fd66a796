#include "AppFixture.h"

#include <QClipboard>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>

#include <csignal>
#include <sys/resource.h>

using namespace app_fixture;

namespace {

const QString atStart = QStringLiteral("Line:   1  Col:   1");

QPlainTextEdit* memo() { return fmMain->Memo1; }

// The editor's lines as shown, one per entry.
QStringList lines()
{
  QStringList list;
  for (QTextBlock b = memo()->document()->begin(); b.isValid(); b = b.next())
    list << b.text();
  return list;
}

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

// Types the name into the file dialog's name box and presses its accept button.
void typeFileName(QWidget* dialog, const QString& file)
{
  auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  QVERIFY(name);
  // As a user types: the name box has the focus, so the file the dialog offered is deselected.
  QApplication::setActiveWindow(dialog);
  name->setFocus();
  QVERIFY(name->hasFocus());
  name->setText(file);
  QTest::keyClick(name, Qt::Key_Return);
}

// Clicks the toolbar button and answers its file dialog with the file; *proposed gets the file the
// dialog offered, or nothing.
void runFileDialog(QToolButton* button, const QString& file, QString* proposed = nullptr, QStringList* filters = nullptr)
{
  answerNextModal([=](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    QVERIFY(dialog);
    if (proposed) {
      const QString offered = dialog->selectedFiles().value(0);
      *proposed = QFileInfo(offered).isFile() ? offered : QString();
    }
    if (filters)
      *filters = dialog->nameFilters() << dialog->selectedNameFilter();
    typeFileName(dialog, file);
  });
  QTest::mouseClick(button, Qt::LeftButton);
  QVERIFY(allModalsAnswered());
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
    memo()->setFocus();
  }
  void cleanup()
  {
    stopProgram();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  void undoIsOneStepAndFollowsTheCommands_data()
  {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("undoEnabled");
    QTest::newRow("typing enables") << QStringList{"type:ab"} << "ab" << true;
    QTest::newRow("undo takes back the last edit only") << QStringList{"type:ab", "paste:cd", "undo"} << "ab" << false;
    QTest::newRow("no second undo, no redo") << QStringList{"type:ab", "paste:cd", "undo", "undoHandler"} << "ab" << false;
    QTest::newRow("history emptied after undo") << QStringList{"type:ab", "paste:cd", "undo", "type:x", "undo", "undoHandler"} << "ab" << false;
    QTest::newRow("new keeps the button, old text gone") << QStringList{"type:ab", "new", "undo"} << "" << true;
    QTest::newRow("new while disabled") << QStringList{"new"} << "" << false;
    QTest::newRow("open disables") << QStringList{"type:ab", "open"} << "select 1" << false;
    QTest::newRow("save disables and empties history") << QStringList{"type:ab", "save", "undoHandler"} << "ab" << false;
    QTest::newRow("cut enables") << QStringList{"open", "selectAll", "cut", "paste", "paste"} << "select 1select 1" << true;
    QTest::newRow("copy is no change") << QStringList{"open", "selectAll", "copy"} << "select 1" << false;
  }
  void undoIsOneStepAndFollowsTheCommands()
  {
    QFETCH(QStringList, steps);
    const QString query = folder->path(QStringLiteral("q.sql"));
    writeFile(query, "select 1");
    for (const QString& step : steps) {
      const QString arg = step.section(QLatin1Char(':'), 1);
      if (step.startsWith(QLatin1String("type:")))
        QTest::keyClicks(memo(), arg);
      else if (step.startsWith(QLatin1String("paste:"))) {
        QApplication::clipboard()->setText(arg);
        QTest::mouseClick(fmMain->btPaste, Qt::LeftButton);
      } else if (step == QLatin1String("selectAll"))
        QTest::keySequence(memo(), QKeySequence::SelectAll);
      else if (step == QLatin1String("undoHandler"))
        fmMain->btUndoClick();  // as if the button could still be clicked
      else if (step == QLatin1String("open"))
        runFileDialog(fmMain->btOpen, query);
      else if (step == QLatin1String("save"))
        runFileDialog(fmMain->btSave, folder->path(QStringLiteral("saved.sql")));
      else
        QTest::mouseClick(fmMain->findChild<QToolButton*>(QLatin1String("bt") + step[0].toUpper() + step.mid(1)), Qt::LeftButton);
    }
    QTEST(memo()->toPlainText(), "text");
    QTEST(fmMain->btUndo->isEnabled(), "undoEnabled");
    if (steps.contains(QLatin1String("copy")))
      QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("select 1"));
  }

  void caretText_data()
  {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("textAfter");
    QTest::newRow("typing") << "" << QKeySequence(Qt::Key_A) << "Line:   1  Col:   2" << "a";
    QTest::newRow("tab is typed") << "" << QKeySequence(Qt::Key_Tab) << "Line:   1  Col:   2" << "\t";
    QTest::newRow("return breaks the line") << "ab" << QKeySequence(Qt::Key_Right, Qt::Key_Return) << "Line:   2  Col:   1" << "a\nb";
    QTest::newRow("key down shows the place before the key") << "ab\ncd" << QKeySequence(Qt::Key_Down) << atStart << "ab\ncd";
    QTest::newRow("and catches up at the next key") << "ab\ncd" << QKeySequence(Qt::Key_Down, Qt::Key_Right) << "Line:   2  Col:   1" << "ab\ncd";
    QTest::newRow("four digits") << QString("x\n").repeated(1199) + "x" << QKeySequence(QStringLiteral("Ctrl+End, Left"))
                                 << "Line: 1200  Col:   2" << QString("x\n").repeated(1199) + "x";
    QTest::newRow("end of a backward selection") << "abc" << QKeySequence(QStringLiteral("End, Shift+Home, F2"))
                                                 << "Line:   1  Col:   4" << "abc";
  }
  void caretText()
  {
    QFETCH(QString, text);
    QFETCH(QKeySequence, keys);
    memo()->setPlainText(text);
    memo()->moveCursor(QTextCursor::Start);
    fmMain->StatusBar1->SetPanelText(1, QString());
    QTest::keySequence(memo(), keys);
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
    while (memo()->textCursor().blockNumber() < 30 && downs < 1000)
      QTest::keyClick(memo(), Qt::Key_Down), ++downs;
    QVERIFY(downs > 60);
    // Laid out afresh, the control has measured only the lines it has shown.
    memo()->setPlainText(text);
    QTest::keySequence(memo(), QKeySequence(QStringLiteral("Ctrl+End, Home")));
    QCOMPARE(panel(1), QString::asprintf("Line: %3d  Col:   4", downs + 1));
  }

  void fileRoundTrip_data()
  {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QByteArray>("saved");
    QTest::newRow("LF only") << QByteArray("select *\nfrom t\n") << QStringList{"select *", "from t", ""}
                             << QByteArray("select *\r\nfrom t\r\n");
    QTest::newRow("CR only, no break added") << QByteArray("a\rb") << QStringList{"a", "b"} << QByteArray("a\r\nb");
    QTest::newRow("empty") << QByteArray() << QStringList{""} << QByteArray();
    QTest::newRow("Latin-1 byte for byte") << QByteArray("'\xE9t\xE9'\xA0\x80\r\n") << QStringList{"'\u00E9t\u00E9'\u00A0\u0080", ""}
                                           << QByteArray("'\xE9t\xE9'\xA0\x80\r\n");
    QTest::newRow("UTF-8 with mark and no-break space") << QByteArray("\xEF\xBB\xBF\xC3\xA9\xC2\xA0x") << QStringList{QChar(0xFEFF) + QString("\u00E9\u00A0x")}
                                                        << QByteArray("\xEF\xBB\xBF\xC3\xA9\xC2\xA0x");
  }
  void fileRoundTrip()
  {
    QFETCH(QByteArray, bytes);
    const QString in = folder->path(QStringLiteral("in.sql")), out = folder->path(QStringLiteral("out"));
    writeFile(in, bytes);
    fmMain->pgTop->setCurrentWidget(fmMain->FieldSheet);
    memo()->insertPlainText(QStringLiteral("old"));
    fmMain->StatusBar1->SetPanelText(1, QStringLiteral("before"));
    runFileDialog(fmMain->btOpen, in);
    QTEST(lines(), "shown");
    QCOMPARE(panel(1), bytes.isEmpty() ? QStringLiteral("before") : atStart);
    QVERIFY(!fmMain->btUndo->isEnabled());
    QCOMPARE(fmMain->pgTop->currentWidget(), fmMain->EditSheet);
    QCOMPARE(memo()->textCursor().position(), 0);
    runFileDialog(fmMain->btSave, out);
    QTEST(fileBytes(out), "saved");
  }

  void typedCharactersOutsideLatin1AreNotLost()
  {
    const QString in = folder->path(QStringLiteral("in.sql")), out = folder->path(QStringLiteral("out.sql"));
    writeFile(in, "'\xE9'");
    runFileDialog(fmMain->btOpen, in);
    memo()->insertPlainText(QStringLiteral("\u20AC"));
    runFileDialog(fmMain->btSave, out);
    QCOMPARE(fileBytes(out), QByteArray("\xE2\x82\xAC'\xC3\xA9'"));
  }

  void saveProposesTheFileLastOpened()
  {
    const QString a = folder->path(QStringLiteral("a.sql")), b = folder->path(QStringLiteral("b.sql"));
    writeFile(a, "select 1");
    QString proposed = QStringLiteral("?");
    QStringList filters;
    runFileDialog(fmMain->btSave, b, &proposed, &filters);
    QCOMPARE(proposed, QString());
    QCOMPARE(filters, QStringList({"SQL Files (*.sql)", "All Files (*)", "SQL Files (*.sql)"}));
    runFileDialog(fmMain->btSave, b, &proposed);
    QCOMPARE(proposed, QString());  // never the name last saved to
    runFileDialog(fmMain->btOpen, a, nullptr, &filters);
    QCOMPARE(filters, QStringList({"SQL files (*.sql)", "All Files (*)", "SQL files (*.sql)"}));
    runFileDialog(fmMain->btSave, b, &proposed);
    QCOMPARE(proposed, a);
    runFileDialog(fmMain->btSave, b, &proposed);
    QCOMPARE(proposed, a);
    QCOMPARE(fileBytes(b), QByteArray("select 1"));
  }

  void failuresLeaveTheStateAsItWas_data()
  {
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file") << false << "nope.sql" << "Cannot open file %1";
    QTest::newRow("too large") << false << "huge.sql" << "Text exceeds memo capacity";
    QTest::newRow("folder missing") << true << "no/such.sql" << "Cannot create file %1";
    QTest::newRow("write fails") << true << "old.sql" << "Cannot write file %1. File too large";
  }
  void failuresLeaveTheStateAsItWas()
  {
    QFETCH(bool, save);
    QFETCH(QString, file);
    QFETCH(QString, message);
    const QString path = folder->path(file);
    QFile huge(folder->path(QStringLiteral("huge.sql")));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(64 * 1024 * 1024 + 1));
    writeFile(folder->path(QStringLiteral("old.sql")), "old");
    // While the dialogs are answered files may grow to 4 KiB only: the save of 10 KiB fails part-way.
    rlimit unlimited{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &unlimited) == 0);
    const rlimit small{4 * 1024, unlimited.rlim_max};
    signal(SIGXFSZ, SIG_IGN);

    fmMain->pgTop->setCurrentWidget(fmMain->FieldSheet);
    const QString text(10 * 1024, QLatin1Char('x'));
    memo()->insertPlainText(text);
    QString shown;
    answerNextModal([&](QWidget* w) {
      setrlimit(RLIMIT_FSIZE, &small);
      typeFileName(w, path);
    });
    answerNextModal([&](QWidget* w) {
      setrlimit(RLIMIT_FSIZE, &unlimited);
      shown = modalText(w);
      w->close();
    });
    QTest::mouseClick(save ? fmMain->btSave : fmMain->btOpen, Qt::LeftButton);
    setrlimit(RLIMIT_FSIZE, &unlimited);
    QVERIFY(allModalsAnswered());
    QCOMPARE(shown, QString(message).replace(QLatin1String("%1"), path));
    QCOMPARE(memo()->toPlainText(), save ? text : QString());
    QVERIFY(fmMain->btUndo->isEnabled());
    QCOMPARE(fmMain->pgTop->currentWidget(), fmMain->FieldSheet);
    QCOMPARE(fileBytes(folder->path(QStringLiteral("old.sql"))), QByteArray("old"));
    QTest::mouseClick(fmMain->btUndo, Qt::LeftButton);
    QCOMPARE(memo()->toPlainText(), QString());  // after a failed save the edit can still be undone
  }

  void buttonsAreInertDuringAnExport()
  {
    fmMain->pgTop->setCurrentWidget(fmMain->FieldSheet);
    fmMain->FExporting = true;
    QTest::keyClicks(memo(), QStringLiteral("abc"));
    QTest::keySequence(memo(), QKeySequence::SelectAll);
    QApplication::clipboard()->setText(QStringLiteral("clip"));
    bool dialogShown = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
      if (QWidget* w = QApplication::activeModalWidget())
        dialogShown = true, w->close();
    });
    watch.start(20);
    for (QToolButton* b : {fmMain->btNew, fmMain->btOpen, fmMain->btSave, fmMain->btCut, fmMain->btCopy,
                           fmMain->btPaste, fmMain->btUndo})
      QTest::mouseClick(b, Qt::LeftButton);
    QVERIFY(!dialogShown);
    QCOMPARE(memo()->toPlainText(), QStringLiteral("abc"));
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("clip"));
    QVERIFY(fmMain->btUndo->isEnabled());
    QCOMPARE(fmMain->pgTop->currentWidget(), fmMain->FieldSheet);
    fmMain->FExporting = false;
  }
};

QTEST_MAIN(TestSqlEditor)
#include "tst_sqleditor.moc"
