#pragma once

// An export run through the program's own commands over a file already at the path, and the verdict
// of tests/export/readback.py, which reads the file back with other programs and compares it with
// the database. Shared by the export tests of every database.
#include "AppFixture.h"
#include "ExportAnswers.h"

#include "dataaccess/FormatSettings.h"
#include "export/ExportProgressDialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

namespace export_readback {

// What stands at the path before an export: a complete export replaces it, a refused one keeps it.
inline const QByteArray previousContent = "previous content\r\n";

struct ExportRun {
  QString messages;    // the message boxes and error dialogs the export brought up, closed
  QByteArray written;  // the file afterwards
};

// Exports the open table (fromTable) or the last result to file, with options such as
// "csv names quotes" or "xml mime", ISO dates and "." as the decimal point.
inline ExportRun exportOverPreviousFile(const QString& file, const QString& options, bool fromTable)
{
  ExportRun run;
  QFile old(file);
  if (!old.open(QIODevice::WriteOnly) || old.write(previousContent) != previousContent.size())
    return {QStringLiteral("cannot write the previous file"), QByteArray()};
  old.close();
  QStringList texts;
  QTimer catcher;
  QObject::connect(&catcher, &QTimer::timeout, [&texts] {
    QWidget* w = QApplication::activeModalWidget();
    if (!w || !w->isVisible() || w == fmCSVOpts || w == fmXMLOpts || w == fmExportProgress || qobject_cast<QFileDialog*>(w))
      return;
    texts << w->windowTitle() + QStringLiteral(": ") + modalText(w);
    qobject_cast<QDialog*>(w) ? qobject_cast<QDialog*>(w)->accept() : void(w->close());
  });
  catcher.start(20);
  FormatSettings() = TFormatSettings{};
  const bool csv = options.startsWith(QLatin1String("csv"));
  csv ? export_answers::answerCSV(file, options.contains(QLatin1String("names")), options.contains(QLatin1String("quotes")))
      : export_answers::answerXML(file, options.contains(QLatin1String("mime")));
  (csv ? (fromTable ? fmMain->ExportTableDatatoCSV : fmMain->ExportResultDatatoCSV)
       : (fromTable ? fmMain->ExportTableToXML : fmMain->ExportResultDatatoXML))->trigger();
  run.messages = texts.join(QLatin1String(" | "));
  if (old.open(QIODevice::ReadOnly))
    run.written = old.readAll();
  return run;
}

// The message of an XML export refused for text that XML 1.0 cannot carry as character data.
inline QString xmlRefusal(const QString& field, int row, const QString& where)
{
  return QStringLiteral("Cannot write the XML file: field \"%1\" in row %2 of %3 holds characters that XML cannot carry "
                        "(control characters, or bytes that are not UTF-8 text). Export with \"Use MIME encoding for "
                        "string fields\" to write it base64-encoded.")
      .arg(field)
      .arg(row)
      .arg(where);
}

// What the read-back script prints for the arguments.
inline QJsonDocument readbackScript(const QStringList& args)
{
  QProcess p;
  p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  p.start(QStringLiteral("python3"), QStringList{qEnvironmentVariable("KESTREL_SOURCE_DIR") + "/tests/export/readback.py"} + args);
  p.waitForFinished(120000);
  return QJsonDocument::fromJson(p.readAllStandardOutput());
}

// Runs the read-back script on an exported file: every difference it found goes to the log on a
// line of its own (a failure message alone would be cut short), and the summary comes back; empty
// when the file holds what the database holds.
inline QString readbackDifferences(const QStringList& args)
{
  const QJsonObject verdict = readbackScript(args).object();
  if (verdict.isEmpty())
    return QStringLiteral("the readback gave no answer");
  const QJsonArray errors = verdict.value(QStringLiteral("errors")).toArray();
  for (const QJsonValue& e : errors)
    qInfo().noquote() << e.toString();
  if (errors.isEmpty())
    return QString();
  return QStringLiteral("the file differs from the database in %1 places; first: %2")
      .arg(verdict.value(QStringLiteral("errorCount")).toInt())
      .arg(errors.at(0).toString());
}

}  // namespace export_readback
