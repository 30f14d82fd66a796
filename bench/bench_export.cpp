// The export commands as a user runs them, offscreen, with the option dialogs answered here: a
// table of a million rows to CSV and to an XML datapacket, against the SQLite shell writing the
// same rows as CSV in the same run, with the ratios and the peak memory.
//
//   build/bench/bench_export            1 million rows
//   build/bench/bench_export --quick    20,000 rows, for CI to show that it runs
#include "BenchSupport.h"
#include "app/ApplicationWindows.h"
#include "app/MainWindow.h"
#include "dataaccess/Session.h"
#include "export/CSVOptionsDialog.h"
#include "export/XMLOptionsDialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include <sqlite3.h>

namespace {

using bench::peakKiB;
using bench::resetPeak;
using bench::timeCommand;





// Answers the next modal dialog with a function, as a user would fill it in.
void answer(std::function<void(QWidget*)> fill)
{
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, fill] {
    if (QWidget* w = QApplication::activeModalWidget()) {
      timer->stop();
      timer->deleteLater();
      fill(w);
    }
  });
  timer->start(5);
}

double runExport(QAction* command)
{
  QElapsedTimer t;
  t.start();
  command->trigger();
  return t.nsecsElapsed() / 1e9;
}

}  // namespace

int main(int argc, char* argv[])
{
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const bool quick = app.arguments().contains(QStringLiteral("--quick"));
  const int64_t rows = quick ? 20000 : 1000000;
  const QString folder = bench::dataFolder();
  const QString db = bench::exportRows(rows);
  bench::useAliases(folder + QStringLiteral("/export-aliases.ini"), "[Rows]\nDriver=SQLite\nDatabase=" + db.toUtf8() + "\n");

  CreateApplicationWindows();
  fmMain->show();
  fmMain->Database.SetAliasName(QStringLiteral("Rows"));
  fmMain->Database.Open();
  fmMain->OpenTable(QStringLiteral("rows"));

  const QString csv = folder + QStringLiteral("/export.csv");
  const QString xml = folder + QStringLiteral("/export.xml");
  resetPeak();
  const long base = peakKiB();
  // Best of a few runs on each side, so that a busy moment of the machine does not decide.
  const int runs = quick ? 1 : 3;
  double csvTime = -1;
  for (int i = 0; i < runs; ++i) {
    answer([&](QWidget*) {
      fmCSVOpts->edFileName->setText(csv);
      fmCSVOpts->cbFieldNames->setChecked(true);
      fmCSVOpts->btOK->click();
    });
    const double t = runExport(fmMain->ExportTableDatatoCSV);
    csvTime = csvTime < 0 ? t : std::min(csvTime, t);
  }
  const long csvPeak = peakKiB() - base;
  if (app.arguments().contains(QStringLiteral("--csv-only"))) {
    std::printf("CSV %.1f ms\n", csvTime * 1000);
    return 0;
  }
  resetPeak();
  double xmlTime = -1;
  for (int i = 0; i < runs; ++i) {
    answer([&](QWidget*) {
      fmXMLOpts->edFilename->setText(xml);
      fmXMLOpts->btOK->click();
    });
    const double t = runExport(fmMain->ExportTableToXML);
    xmlTime = xmlTime < 0 ? t : std::min(xmlTime, t);
  }
  const long xmlPeak = peakKiB() - base;
  // The shell writes a file too, as an export does: both pay for putting the bytes on disk.
  const QString shellCsv = folder + QStringLiteral("/export-shell.csv");
  const double shell = timeCommand(QStringLiteral("sqlite3 -csv -header '%1' 'SELECT * FROM rows' > '%2'").arg(db, shellCsv), runs);
  QFile::remove(shellCsv);

  std::printf("exports of %lld rows x 8 columns through the commands (best of %d)\n", static_cast<long long>(rows), runs);
  std::printf("  sqlite3 -csv          %8.1f ms\n", shell * 1000);
  std::printf("  Kestrel CSV           %8.1f ms  %.2fx the shell (target at most 0.8x)  %s  peak memory +%.1f MiB  %.0f MiB file\n",
              csvTime * 1000, csvTime / shell, csvTime <= 0.8 * shell ? "ok" : "MISSED", csvPeak / 1024.0,
              QFileInfo(csv).size() / 1048576.0);
  std::printf("  Kestrel XML           %8.1f ms  %.2fx the shell (target at most 1.5x)  %s  peak memory +%.1f MiB  %.0f MiB file\n",
              xmlTime * 1000, xmlTime / shell, xmlTime <= 1.5 * shell ? "ok" : "MISSED", xmlPeak / 1024.0,
              QFileInfo(xml).size() / 1048576.0);
  QFile::remove(csv);
  QFile::remove(xml);
  DestroyApplicationWindows();
  return 0;
}
