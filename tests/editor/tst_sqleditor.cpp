// The SQL editor: New, Open and Save through the file dialogs, the question about changed text,
// the window's caption, and the colours of the SQL typed.
#include "AppFixture.h"

#include "editor/SqlHighlighter.h"
#include "uicore/Ink.h"

#include <QClipboard>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextLayout>
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

using Kind = TSqlHighlighter::Kind;
const Kind kinds[] = {Kind::Keyword, Kind::String, Kind::Identifier, Kind::Comment, Kind::Number};

const TSqlHighlighter* highlighter() { return memo()->document()->findChild<TSqlHighlighter*>(); }

// The kind whose colour a character of the editor's text has: k keyword, s string, i quoted
// identifier, c comment, n number, '.' plain.
QChar markAt(int position)
{
  const QTextBlock block = memo()->document()->findBlock(position);
  const int inBlock = position - block.position();
  for (const QTextLayout::FormatRange& r : block.layout()->formats())
    for (size_t k = 0; k < std::size(kinds); ++k)
      if (inBlock >= r.start && inBlock < r.start + r.length && r.format == highlighter()->Format(kinds[k]))
        return QLatin1Char("ksicn"[k]);
  return QLatin1Char('.');
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

  // Line ends come back as CR LF, Latin-1 stays Latin-1 unless a character typed needs UTF-8, and a
  // byte order mark stays. Save proposes the file opened, and adds ".sql" to a name typed without it.
  void fileRoundTrip_data()
  {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("typed");  // at the start, before saving
    QTest::addColumn<QByteArray>("saved");
    QTest::newRow("LF, CR") << QByteArray("a\nb\rc\n") << QStringList{"a", "b", "c", ""} << "" << QByteArray("a\r\nb\r\nc\r\n");
    QTest::newRow("Latin-1") << QByteArray("'\xE9'\xA0\x80\r\n") << QStringList{"'\u00E9'\u00A0\u0080", ""} << ""
                             << QByteArray("'\xE9'\xA0\x80\r\n");
    QTest::newRow("Latin-1 and a euro typed, no break added") << QByteArray("'\xE9'") << QStringList{"'\u00E9'"} << "\u20AC"
                                              << QByteArray("\xE2\x82\xAC'\xC3\xA9'");
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF\xC3\xA9\xC2\xA0x")
                                    << QStringList{QChar(0xFEFF) + QString("\u00E9\u00A0x")} << ""
                                    << QByteArray("\xEF\xBB\xBF\xC3\xA9\xC2\xA0x");
  }
  void fileRoundTrip()
  {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, typed);
    const QString in = folder->path(QStringLiteral("in.sql")), out = folder->path(QStringLiteral("out"));
    writeFile(in, bytes);
    answerFileDialog(in);
    click(fmMain->btOpen);
    QTEST(memo()->document()->toRawText().split(QChar::ParagraphSeparator), "shown");  // no-break spaces kept
    memo()->insertPlainText(typed);
    QString offered;
    answerFileDialog(out, &offered);
    click(fmMain->btSave);
    QCOMPARE(offered, QStringLiteral("in.sql"));
    QTEST(fileBytes(out + QStringLiteral(".sql")), "saved");
  }

  // A file that cannot be read or written says so and leaves the text, its undo step and the file on
  // disk as they were.
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
    writeFile(folder->path(QStringLiteral("huge.sql")), QByteArray(64 * 1024 * 1024 + 1, ' '));
    writeFile(folder->path(QStringLiteral("old.sql")), "old");
    const QString text(10 * 1024, QLatin1Char('x'));
    memo()->insertPlainText(text);

    // From the dialog's answer to the message, files may grow to 4 KiB only: a save of 10 KiB fails.
    rlimit unlimited{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &unlimited) == 0);
    const rlimit small{4 * 1024, unlimited.rlim_max};
    signal(SIGXFSZ, SIG_IGN);
    if (button == QLatin1String("Open"))
      answerNextModal([](QWidget* w) { qobject_cast<QMessageBox*>(w)->button(QMessageBox::No)->click(); });  // once it is read
    answerNextModal([&](QWidget*) { setrlimit(RLIMIT_FSIZE, &small); });  // the dialog stays for the next answer
    answerFileDialog(path);
    QString shown;
    captureAndClose(&shown);
    click(fmMain->findChild<QToolButton*>(QLatin1String("bt") + button));
    setrlimit(RLIMIT_FSIZE, &unlimited);
    QCOMPARE(shown, QString(message).replace(QLatin1String("%1"), path));
    QCOMPARE(memo()->toPlainText(), text);  // a file that cannot be read replaces nothing
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
    for (const char* command : {"New", "Open", "Close"}) {
      QTest::addRow("%s, yes", command) << command << int(QMessageBox::Yes) << true;
      QTest::addRow("%s, yes, save cancelled", command) << command << int(QMessageBox::Yes) << false;
      QTest::addRow("%s, no", command) << command << int(QMessageBox::No) << false;
      QTest::addRow("%s, cancel", command) << command << int(QMessageBox::Cancel) << false;
    }
  }
  void changedTextIsAskedAbout()
  {
    QFETCH(QString, command);
    QFETCH(int, reply);
    QFETCH(bool, saveDialogAnswered);
    const QString other = folder->path(QStringLiteral("q.sql")), saved = folder->path(QStringLiteral("s.sql"));
    writeFile(other, "select 1");
    QTest::keyClicks(memo(), QStringLiteral("typed"));
    QString asked;
    answerNextModal([&asked, reply](QWidget* w) {
      asked = modalText(w);
      qobject_cast<QMessageBox*>(w)->button(QMessageBox::StandardButton(reply))->click();
    });
    if (reply == QMessageBox::Yes)
      saveDialogAnswered ? answerFileDialog(saved) : answerNextModal({});  // the save dialog, cancelled
    const bool goesOn = reply == QMessageBox::No || saveDialogAnswered;
    if (command == QLatin1String("Open") && goesOn)
      answerFileDialog(other);
    if (command == QLatin1String("Close"))
      QCOMPARE(fmMain->close(), goesOn);
    else
      click(fmMain->findChild<QToolButton*>(QLatin1String("bt") + command));
    QCOMPARE(asked, QStringLiteral("Save changes to the SQL text?"));
    const QString replaced = command == QLatin1String("New")    ? QString()
                             : command == QLatin1String("Open") ? QStringLiteral("select 1")
                                                                : QStringLiteral("typed");
    QCOMPARE(memo()->toPlainText(), goesOn ? replaced : QStringLiteral("typed"));
    QCOMPARE(fmMain->isVisible(), command != QLatin1String("Close") || !goesOn);
    QCOMPARE(fileBytes(saved), saveDialogAnswered ? QByteArray("typed") : QByteArray("<missing>"));
  }

  // The caption names the file the text belongs to and marks a change. Save proposes no name while
  // no file was opened, never the file last saved to.
  void captionShowsTheFileAndAChange()
  {
    QTest::keyClicks(memo(), QStringLiteral("x"));
    QCOMPARE(fmMain->windowTitle(), QStringLiteral("Kestrel*"));
    for (int i = 0; i < 2; ++i) {
      QString offered = QStringLiteral("?");
      answerFileDialog(folder->path(QStringLiteral("s.sql")), &offered);
      click(fmMain->btSave);
      QCOMPARE(offered, QString());
    }
    QCOMPARE(fmMain->windowTitle(), QStringLiteral("Kestrel - s.sql"));
    QTest::keyClicks(memo(), QStringLiteral("y"));
    QCOMPARE(fmMain->windowTitle(), QStringLiteral("Kestrel - s.sql*"));
    click(fmMain->btUndo);  // back to the text as saved: nothing to ask about
    QCOMPARE(fmMain->windowTitle(), QStringLiteral("Kestrel - s.sql"));
    click(fmMain->btNew);
    QCOMPARE(fmMain->windowTitle(), QStringLiteral("Kestrel"));
  }

  // While an export runs the editor's commands do nothing: no dialog, no change.
  void commandsDoNothingDuringAnExport()
  {
    QTest::keyClicks(memo(), QStringLiteral("ab"));
    QApplication::clipboard()->setText(QStringLiteral("zz"));
    QTest::keySequence(memo(), QKeySequence::SelectAll);
    fmMain->FExporting = true;
    for (const char* command : {"New", "Open", "Save", "Cut", "Copy", "Paste", "Undo"})
      click(fmMain->findChild<QToolButton*>(QLatin1String("bt") + QLatin1String(command)));
    fmMain->FExporting = false;
    QCOMPARE(memo()->toPlainText(), QStringLiteral("ab"));
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("zz"));
  }

  // Each row: a text, and the marks of its characters (see markAt); a blank skips one (line breaks
  // too). The same words inside strings, quoted names and comments are no keywords, and comments
  // and literals run on over lines, a string left open to the end.
  void tokensGetTheirColour_data()
  {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("marks");
    QTest::newRow("keywords in any case, hidden in a string and a quoted name")
        << "select 'from ''where''' From \"select\"\"x\" x" << "kkkkkk ssssssssssssssss kkkk iiiiiiiiiii .";
    QTest::newRow("numbers, not digits in names; line comment")
        << "SELECT 12.5e-3, .5, t1, 2x -- FROM 'x'" << "kkkkkk nnnnnnn  nn  ..  .. ccccccccccc";
    QTest::newRow("comment, string and quoted name over lines, unclosed string")
        << "SELECT /* FROM\nWHERE */ 'a\nFROM' \"a\nb\" FROM t 'x FROM"
        << "kkkkkk ccccccc cccccccc ss sssss ii ii kkkk . sssssss";
  }
  // The text is coloured first and then shown on a dark palette: what is shown is recoloured, in
  // colours lightened until they stand out.
  void tokensGetTheirColour()
  {
    QFETCH(QString, text);
    QFETCH(QString, marks);
    memo()->setPlainText(text);
    QPalette dark = memo()->palette();
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    memo()->setPalette(dark);
    for (Kind kind : kinds)
      QVERIFY(contrastRatio(highlighter()->Format(kind).foreground().color(), dark.color(QPalette::Base)) >= 4.5);
    QString seen;
    for (int p = 0; p < text.size(); ++p)
      seen += marks.at(p) == QLatin1Char(' ') ? QChar(QLatin1Char(' ')) : markAt(p);
    QCOMPARE(seen, marks);
  }
};

QTEST_MAIN(TestSqlEditor)
#include "tst_sqleditor.moc"
