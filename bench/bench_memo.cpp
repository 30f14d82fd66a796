// A long text in the memo viewer as a user opens it: from binding the viewer to the field (what the
// grid's double-click does) to the viewer painted, with word wrap on and off, against Qt's own
// plain-text editor given the same text in the same run; target 0.5 s for 10 MB with wrap on.
//
//   build/bench/bench_memo            a 10 MB text of lines of 20 to 200 characters
//   build/bench/bench_memo --quick    1 MB, for CI to show that it runs
#include "BenchSupport.h"
#include "app/ApplicationWindows.h"
#include "app/MainWindow.h"
#include "viewer/DBRichEdit.h"
#include "viewer/MemoViewWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <cstdio>

#include <sqlite3.h>

namespace {

using bench::peakKiB;
using bench::resetPeak;

// Lines of varied length, so that wrapping has work to do: some fit, some wrap twice.
QByteArray longText(int bytes)
{
  QByteArray text;
  text.reserve(bytes + 256);
  const QByteArray words = "lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor ";
  for (int line = 0; text.size() < bytes; ++line) {
    const int length = 20 + (line * 37) % 181;
    for (int i = 0; i < length; ++i)
      text += words[(line + i) % words.size()];
    text += '\n';
  }
  return text;
}

QString makeDatabase(const QByteArray& text)
{
  const QString file = bench::dataFolder() + QStringLiteral("/memo-%1.db").arg(text.size());
  QFile::remove(file);
  sqlite3* db = nullptr;
  sqlite3_open(file.toUtf8().constData(), &db);
  sqlite3_exec(db, "CREATE TABLE notes(id INTEGER PRIMARY KEY, body TEXT)", nullptr, nullptr, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO notes VALUES (1, ?)", -1, &st, nullptr);
  sqlite3_bind_text(st, 1, text.constData(), int(text.size()), SQLITE_STATIC);
  sqlite3_step(st);
  sqlite3_finalize(st);
  sqlite3_close(db);
  return file;
}

// Until the window has painted what it shows now.
void painted(QWidget* window)
{
  QApplication::processEvents();
  window->grab();
}

double viewerSeconds(bool wrap)
{
  fmMemoView->hide();
  fmMemoView->DBRTF->SetWordWrap(wrap);
  QElapsedTimer t;
  t.start();
  fmMemoView->bindTo(&fmMain->srcTable, QStringLiteral("body"));
  painted(fmMemoView);
  const double s = t.nsecsElapsed() / 1e9;
  fmMemoView->hide();
  return s;
}

double plainEditorSeconds(const QString& text, bool wrap)
{
  QPlainTextEdit editor;
  editor.resize(fmMemoView->DBRTF->size());
  editor.setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
  QElapsedTimer t;
  t.start();
  editor.setPlainText(text);
  editor.show();
  painted(&editor);
  return t.nsecsElapsed() / 1e9;
}

}  // namespace

int main(int argc, char* argv[])
{
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const bool quick = app.arguments().contains(QStringLiteral("--quick"));
  const QByteArray text = longText(quick ? 1 << 20 : 10 << 20);
  bench::useAliases(bench::dataFolder() + QStringLiteral("/memo-aliases.ini"),
                    "[Memo]\nDriver=SQLite\nDatabase=" + makeDatabase(text).toUtf8() + "\n");

  CreateApplicationWindows();
  fmMain->show();
  fmMain->Database.SetAliasName(QStringLiteral("Memo"));
  fmMain->Database.Open();
  fmMain->OpenTable(QStringLiteral("notes"));
  fmMemoView->resize(800, 600);

  const QString shown = QString::fromUtf8(text);
  std::printf("memo of %.1f MB, %lld lines\n", text.size() / 1048576.0, static_cast<long long>(text.count('\n')));
  for (const bool wrap : {true, false}) {
    resetPeak();
    const long before = peakKiB();
    const double ours = viewerSeconds(wrap);
    const long ourMemory = peakKiB() - before;
    const double qt = plainEditorSeconds(shown, wrap);
    std::printf("word wrap %-3s  viewer %8.1f ms  (+%ld KiB peak)  Qt's plain editor %8.1f ms  ratio %.2f\n",
                wrap ? "on" : "off", ours * 1000, ourMemory, qt * 1000, ours / qt);
    if (wrap)
      bench::report("viewer, word wrap on", ours * 1000, 500, "ms");
    std::fflush(stdout);
  }
  return 0;
}
