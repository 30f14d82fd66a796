// The SQL editor of the main window: Memo1, its seven toolbar commands and the caret text in status
// panel 1.

#include "uicore/ExceptionGuard.h"
#include "app/MainWindow.h"
#include "uicore/UserSettings.h"
#include "uicore/StatusBar.h"
#include "platform/FileSink.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QStringDecoder>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QToolButton>

#include <memory>
#include <stdexcept>

namespace {

// The most a .sql file may hold; a larger one would make the editor crawl or exhaust memory.
constexpr qint64 memoCapacity = 64 * 1024 * 1024;

// A file that cannot be opened, read, created or written.
class EFileError : public std::runtime_error {
public:
  explicit EFileError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

QString shownName(const QString& fileName)
{
  return QDir::toNativeSeparators(fileName);
}

// Qt's widget dialogs, so that they keep their state between uses the same way everywhere.
QFileDialog* newFileDialog(QWidget* owner, QFileDialog::AcceptMode mode, const QString& filters)
{
  auto* dialog = new QFileDialog(owner);
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setAcceptMode(mode);
  // The open dialog takes any name: a missing file is reported when it is read.
  dialog->setFileMode(QFileDialog::AnyFile);
  // An existing file is replaced without a question.
  dialog->setOption(QFileDialog::DontConfirmOverwrite);
  dialog->setNameFilters(filters.split(QStringLiteral(";;")));
  dialog->selectNameFilter(dialog->nameFilters().value(0));
  return dialog;
}

// The file's text with "\n" between lines. A file that is not valid UTF-8 is read byte for byte as
// Latin-1, so that saving it again gives back the same bytes.
QString readSqlFile(const QString& fileName, bool* latin1)
{
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    throw EFileError(QStringLiteral("Cannot open file %1").arg(shownName(fileName)));
  const QByteArray bytes = file.read(memoCapacity + 1);
  if (file.error() != QFileDevice::NoError)
    throw EFileError(QStringLiteral("Cannot open file %1").arg(shownName(fileName)));
  if (bytes.size() > memoCapacity)
    throw EFileError(QStringLiteral("Text exceeds memo capacity"));

  // Keep a byte order mark as a character, so that it is written back.
  QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::ConvertInitialBom);
  QString text = utf8.decode(bytes);
  *latin1 = utf8.hasError();
  if (*latin1)
    text = QString::fromLatin1(bytes);
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

// The editor's lines joined by CR LF. Read block by block: QTextDocument::toPlainText would turn
// no-break spaces into spaces.
QString memoText(const QPlainTextEdit* memo)
{
  QString text;
  for (QTextBlock b = memo->document()->begin(); b.isValid(); b = b.next()) {
    if (b != memo->document()->begin())
      text += QLatin1String("\r\n");
    text += b.text();
  }
  return text;
}

bool fitsLatin1(const QString& text)
{
  for (QChar c : text)
    if (c.unicode() > 0xFF)
      return false;
  return true;
}

// A regular file is written to a temporary copy that replaces it only when complete, so that a
// failed save does not destroy the file it was meant to replace; devices and pipes are written in
// place. A file the user may change in a folder that takes no new files is written in place too.
void writeSqlFile(const QString& fileName, const QByteArray& bytes)
{
  try {
    TFileSink sink(fileName, TFileSink::Replacement::OrWriteInPlace);
    sink.write(bytes.constData(), bytes.size());
    sink.commit();
  } catch (const EFileSinkError& e) {
    if (e.stage() == EFileSinkError::Create)
      throw EFileError(QStringLiteral("Cannot create file %1").arg(shownName(fileName)));
    throw EFileError(QStringLiteral("Cannot write file %1. %2").arg(shownName(fileName), e.reason()));
  }
}

// Runs the key-down handler before the control takes the key.
class KeyDownFilter : public QObject {
public:
  KeyDownFilter(TfmMain* form, QObject* parent) : QObject(parent), FForm(form) {}

  bool eventFilter(QObject*, QEvent* event) override
  {
    if (event->type() == QEvent::KeyPress)
      Guarded([this] { FForm->Memo1KeyDown(); });
    return false;
  }

private:
  TfmMain* FForm;
};

// The display lines of a block. QPlainTextEdit lays out only the blocks it has shown, so lay it out
// now: a block not yet laid out would count as one line however long it is.
int displayLineCount(QAbstractTextDocumentLayout* layout, const QTextBlock& block)
{
  if (block.layout()->lineCount() == 0)
    layout->blockBoundingRect(block);
  return qMax(1, block.layout()->lineCount());
}

}  // namespace

void TfmMain::bindEditorEvents()
{
  connect(btNew, &QToolButton::clicked, this, guard([this] { btNewClick(); }));
  connect(btOpen, &QToolButton::clicked, this, guard([this] { btOpenClick(); }));
  connect(btSave, &QToolButton::clicked, this, guard([this] { btSaveClick(); }));
  connect(btCut, &QToolButton::clicked, this, guard([this] { btCutClick(); }));
  connect(btCopy, &QToolButton::clicked, this, guard([this] { btCopyClick(); }));
  connect(btPaste, &QToolButton::clicked, this, guard([this] { btPasteClick(); }));
  connect(btUndo, &QToolButton::clicked, this, guard([this] { btUndoClick(); }));
  connect(Memo1, &QPlainTextEdit::textChanged, this, guard([this] {
            if (!FReplacingText)
              Memo1Change();
          }));
  Memo1->installEventFilter(new KeyDownFilter(this, Memo1));
  connect(Memo1->document(), &QTextDocument::modificationChanged, this, [this] { ShowSqlFileInCaption(); });
  setSqlFileName(QString());
}

void TfmMain::btNewClick()
{
  if (FExporting)
    return;
  if (!QuerySaveSqlText())
    return;
  {
    QScopedValueRollback replacing(FReplacingText, true);
    Memo1->clear();  // also empties the undo history
  }
  FLatin1Text = false;
  setSqlFileName(QString());
  pgTop->setCurrentWidget(EditSheet);
}

void TfmMain::btOpenClick()
{
  if (FExporting)
    return;
  if (!QuerySaveSqlText())
    return;
  if (!OpenDialog) {
    OpenDialog = newFileDialog(this, QFileDialog::AcceptOpen, QStringLiteral("SQL files (*.sql);;All Files (*)"));
    if (const QString folder = UserSettings::folder(QStringLiteral("sql")); !folder.isEmpty())
      OpenDialog->setDirectory(folder);
  }
  if (OpenDialog->exec() != QDialog::Accepted)
    return;
  loadSqlFile(OpenDialog->selectedFiles().value(0));
}

void TfmMain::OpenRecentSqlFile(const QString& fileName)
{
  if (FExporting)
    return;
  if (!QuerySaveSqlText())
    return;
  loadSqlFile(fileName);
}

void TfmMain::loadSqlFile(const QString& fileName)
{
  // Read first: a file that cannot be read leaves the text, and its undo step, as they were.
  bool latin1 = false;
  const QString text = readSqlFile(fileName, &latin1);
  FOpenFileName = fileName;
  UserSettings::addRecentFile(QStringLiteral("sql"), fileName);
  UserSettings::rememberFolderOf(QStringLiteral("sql"), fileName);
  {
    QScopedValueRollback replacing(FReplacingText, true);
    Memo1->setPlainText(text);
    Memo1->moveCursor(QTextCursor::Start);
  }
  FLatin1Text = latin1;
  if (!text.isEmpty())
    Memo1Change();
  Memo1->document()->clearUndoRedoStacks();
  btUndo->setEnabled(false);
  setSqlFileName(FOpenFileName);
  pgTop->setCurrentWidget(EditSheet);
}

void TfmMain::btSaveClick()
{
  if (FExporting)
    return;
  saveSqlText();
}

bool TfmMain::saveSqlText()
{
  if (!SaveDialog) {
    SaveDialog = newFileDialog(this, QFileDialog::AcceptSave, QStringLiteral("SQL Files (*.sql);;All Files (*)"));
    SaveDialog->setDefaultSuffix(QStringLiteral("sql"));  // a name typed without one gets ".sql"
  }
  if (OpenDialog)
    SaveDialog->setDirectory(OpenDialog->directory());
  else if (const QString folder = UserSettings::folder(QStringLiteral("sql")); !folder.isEmpty())
    SaveDialog->setDirectory(folder);
  // Propose the file last opened, never the one last saved to.
  if (!FOpenFileName.isEmpty())
    SaveDialog->selectFile(FOpenFileName);
  else if (auto* name = SaveDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
    name->clear();  // selectFile ignores an empty name
  if (SaveDialog->exec() != QDialog::Accepted)
    return false;
  const QString fileName = SaveDialog->selectedFiles().value(0);

  const QString text = memoText(Memo1);
  // Characters typed that Latin-1 cannot hold would be lost: such a text goes out as UTF-8.
  const bool latin1 = FLatin1Text && fitsLatin1(text);
  writeSqlFile(fileName, latin1 ? text.toLatin1() : text.toUtf8());
  UserSettings::addRecentFile(QStringLiteral("sql"), fileName);
  UserSettings::rememberFolderOf(QStringLiteral("sql"), fileName);
  FLatin1Text = latin1;
  Memo1->document()->clearUndoRedoStacks();
  btUndo->setEnabled(false);
  setSqlFileName(fileName);
  return true;
}

bool TfmMain::QuerySaveSqlText()
{
  if (!Memo1->document()->isModified())
    return true;
  QMessageBox box(QMessageBox::Question, QStringLiteral("Kestrel"), tr("Save changes to the SQL text?"),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
  box.setDefaultButton(QMessageBox::Yes);
  switch (box.exec()) {
  case QMessageBox::Yes:
    return saveSqlText();  // a save cancelled in its dialog stops the command too; a failed write raises
  case QMessageBox::No:
    return true;
  default:
    return false;
  }
}

void TfmMain::setSqlFileName(const QString& fileName)
{
  FSqlFileName = fileName;
  Memo1->document()->setModified(false);
  ShowSqlFileInCaption();
}

void TfmMain::ShowSqlFileInCaption()
{
  // The file the text belongs to, and a change mark while the text differs from it.
  QString caption = QStringLiteral("Kestrel");
  if (!FSqlFileName.isEmpty())
    caption += QStringLiteral(" - ") + QFileInfo(FSqlFileName).fileName();
  if (Memo1->document()->isModified())
    caption += QLatin1Char('*');
  setWindowTitle(caption);
}

void TfmMain::btCutClick()
{
  if (!FExporting)
    Memo1->cut();
}

void TfmMain::btCopyClick()
{
  if (!FExporting)
    Memo1->copy();
}

void TfmMain::btPasteClick()
{
  if (!FExporting)
    Memo1->paste();
}

void TfmMain::btUndoClick()
{
  if (FExporting)
    return;
  if (!Memo1->document()->isUndoAvailable())
    return;
  Memo1->undo();
  // One step deep: the undone edit cannot be redone and nothing older can be undone.
  Memo1->document()->clearUndoRedoStacks();
  btUndo->setEnabled(false);
}

void TfmMain::Memo1Change()
{
  btUndo->setEnabled(true);
  ShowEditorPos();
}

void TfmMain::Memo1KeyDown()
{
  ShowEditorPos();
}

void TfmMain::ShowEditorPos()
{
  // Line and column of the display line, as the user sees them: a wrapped line counts as several.
  QTextDocument* doc = Memo1->document();
  QAbstractTextDocumentLayout* layout = doc->documentLayout();
  const int caret = Memo1->textCursor().selectionEnd();
  const QTextBlock caretBlock = doc->findBlock(caret);
  int line = 0;
  for (QTextBlock b = doc->begin(); b.isValid() && b != caretBlock; b = b.next())
    line += displayLineCount(layout, b);
  int col = caret - caretBlock.position();
  displayLineCount(layout, caretBlock);
  const QTextLine textLine = caretBlock.layout()->lineForTextPosition(col);
  if (textLine.isValid()) {
    line += textLine.lineNumber();
    col -= textLine.textStart();
  }
  StatusBar1->SetPanelText(MainStatus::Caret, QString::asprintf("Line: %3d  Col: %3d", line + 1, col + 1));
}
