// Running the editor's text and showing its outcome.
#include "uicore/DBErrorDialog.h"
#include "app/MainWindow.h"
#include "uicore/StatusBar.h"
#include "dataaccess/DBErrors.h"
#include "dataaccess/EngineWait.h"
#include "platform/ScreenCursor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTabWidget>

namespace {

QString elapsedText(qint64 ms)
{
  return ms < 1000 ? QCoreApplication::translate("TfmMain", "%1 ms").arg(ms)
                   : QCoreApplication::translate("TfmMain", "%1 s").arg(double(ms) / 1000.0, 0, 'f', 2);
}

// Puts the editor's caret where the database found the fault and says where that is.
EDBEngineError locatedInEditor(QPlainTextEdit* editor, const EDBEngineError& error, int textStart)
{
  QTextCursor caret(editor->document());
  caret.setPosition(std::clamp(textStart + error.Position(), 0, editor->document()->characterCount() - 1));
  editor->setTextCursor(caret);
  std::vector<TDBError> entries;
  for (int i = 0; i < error.ErrorCount(); ++i)
    entries.push_back(error.Errors(i));
  entries.push_back({QCoreApplication::translate("TfmMain", "At line %1, column %2.").arg(caret.blockNumber() + 1).arg(caret.positionInBlock() + 1),
                     DBErrorCode::Statement, 0});
  EDBEngineError located(std::move(entries));
  located.SetPosition(error.Position());
  return located;
}

}  // namespace

void TfmMain::btExecuteClick()
{
  RunQuery();
}

void TfmMain::RunQuery()
{
  if (!Database.Connected())
    return;
  // A run would close the dataset an export is walking: refused while one runs.
  if (FExporting || TEngineWait::active())
    return;
  if (!SettlePendingEdits(true))  // the run closes the table's rows
    return;
  TCursorScope cursor(crSQLWait);
  qrTable.Close();
  qrSelect.Close();
  qrSelect.SQL.clear();
  // With a selection, only the selected text runs; else the text's own lines, as they stand: a line
  // that word wrap shows as several is still one line.
  int textStart = 0;  // where the text that runs begins in the editor
  if (const QTextCursor selection = Memo1->textCursor(); selection.hasSelection()) {
    textStart = selection.selectionStart();
    QString text = selection.selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    qrSelect.SQL = text.split(QLatin1Char('\n'));
  } else {
    for (QTextBlock block = Memo1->document()->begin(); block.isValid(); block = block.next())
      qrSelect.SQL << block.text();
  }
  QElapsedTimer clock;
  clock.start();
  bool failed = false;
  try {
    qrSelect.Open();
  } catch (const ENoResultSet&) {
    // Carried out without rows: the count below is the outcome.
  } catch (const EDBEngineError& e) {
    failed = true;
    StatusBar1->SetPanelText(MainStatus::Outcome, tr("Failed after %1").arg(elapsedText(clock.elapsed())));
    if (e.Position() < 0) {
      new TfmDBError(this, e);
    } else {
      const EDBEngineError located = locatedInEditor(Memo1, e, textStart);
      ShowEditorPos();  // the caret panel says where the caret went
      new TfmDBError(this, located);
    }
  }
  const int64_t affected = qrSelect.RowsAffected();
  pgBottom->setCurrentWidget(ResultSheet);
  StatusBar1->SetPanelText(MainStatus::RowsAffected, tr("Rows affected: ") + QString::number(affected > -1 ? affected : 0));
  if (!failed) {
    const int64_t rows = qrSelect.Active() ? qrSelect.KnownRecordCount() : -1;
    const QString took = elapsedText(clock.elapsed());
    StatusBar1->SetPanelText(MainStatus::Outcome, rows < 0    ? tr("Done in %1").arg(took)
                                                  : rows == 1 ? tr("1 row in %1").arg(took)
                                                              : tr("%1 rows in %2").arg(rows).arg(took));
  }
}
