// The export commands of the main window: options, the progress dialog and its steps, the CSV
// record loop and the XML writer.
#include "uicore/DBErrorDialog.h"
#include "uicore/ExceptionGuard.h"
#include "app/MainWindow.h"
#include "dataaccess/DBErrors.h"
#include "dataaccess/EngineWait.h"
#include "export/CSVOptionsDialog.h"
#include "export/CSVWriter.h"
#include "export/ExportProgressDialog.h"
#include "export/XMLOptionsDialog.h"
#include "xmldataset/XMLDataset.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>

namespace {
// The dialog is brought up to date at most this often: a repaint per row would take longer than
// the row.
constexpr qint64 progressIntervalMs = 15;
}  // namespace

void TfmMain::bindExportEvents()
{
  XMLDataset = new TXMLDataset(this);
  XMLDataset->setObjectName(QStringLiteral("XMLDataset"));
  qrTable.AfterScroll = [this](TDataSet& ds) { qrTableAfterScroll(ds); };
  qrSelect.AfterScroll = [this](TDataSet& ds) { qrSelectAfterScroll(ds); };
  const std::pair<QAction*, void (TfmMain::*)()> commands[] = {
    {ExportTableDatatoCSV, &TfmMain::ExportTableDatatoCSVClick}, {ExporttoCSV, &TfmMain::ExporttoCSVClick},
    {ExportResultDatatoCSV, &TfmMain::ExportResultDatatoCSVClick}, {ExporttoCSV1, &TfmMain::ExporttoCSV1Click},
    {ExportTableToXML, &TfmMain::ExportTableToXMLClick}, {ExporttoXML, &TfmMain::ExporttoXMLClick},
    {ExportResultDatatoXML, &TfmMain::ExportResultDatatoXMLClick}, {ExporttoXML1, &TfmMain::ExporttoXML1Click}};
  for (const auto& [action, handler] : commands)
    connect(action, &QAction::triggered, this, guard([this, handler = handler] { (this->*handler)(); }));
}

// ---- commands ----
// None of them starts while an export runs: a second export inside the first would corrupt it.

void TfmMain::ExportTableDatatoCSVClick()
{
  if (!FExporting)
    exportToCSV(qrTable, QStringLiteral("Exporting table \"%1\" to ").arg(qrTable.TableName()));
}

void TfmMain::ExporttoCSVClick()
{
  if (ExportData->isEnabled() && !FExporting)
    ExportTableDatatoCSVClick();
}

void TfmMain::ExportResultDatatoCSVClick()
{
  if (!FExporting)
    exportToCSV(qrSelect, QStringLiteral("Exporting Results Table to "));
}

void TfmMain::ExporttoCSV1Click()
{
  ExportResultDatatoCSVClick();
}

void TfmMain::ExportTableToXMLClick()
{
  if (!FExporting)
    exportToXML(qrTable, QStringLiteral("Exporting table \"%1\" to ").arg(qrTable.TableName()));
}

void TfmMain::ExporttoXMLClick()
{
  if (ExportData->isEnabled() && !FExporting)
    ExportTableToXMLClick();
}

void TfmMain::ExportResultDatatoXMLClick()
{
  if (!FExporting)
    exportToXML(qrSelect, QStringLiteral("Exporting Results Table to "));
}

void TfmMain::ExporttoXML1Click()
{
  ExportResultDatatoXMLClick();
}

// ---- the shared steps ----

void TfmMain::startExport(TDataSet& dataSet, const QString& description)
{
  fmExportProgress->ExportProgressBar->setRange(0, dataSet.RecordCount());
  fmExportProgress->ExportProgressBar->setValue(0);
  fmExportProgress->lbExportStatus->clear();
  fmExportProgress->setWindowTitle(QStringLiteral("Export Table"));
  fmExportProgress->lbDescription->setText(description);
  fmExportProgress->show();
  fmExportProgress->move(geometry().center() - fmExportProgress->rect().center());
  dataSet.DisableControls();
  dataSet.First();
  FLastProgress = -1;
}

void TfmMain::endExport(TDataSet& dataSet)
{
  if (dataSet.Active())
    dataSet.First();  // still counted: FExporting is set until the dialog goes
  fmExportProgress->hide();
  FExporting = false;
  dataSet.EnableControls();
}

void TfmMain::qrTableAfterScroll(TDataSet&)
{
  if (FExporting)
    ExportRecords(++FExportRow);
}

void TfmMain::qrSelectAfterScroll(TDataSet&)
{
  if (FExporting)
    ExportRecords(++FExportRow);
}

void TfmMain::ExportRecords(int row)
{
  // Every move counts; the dialog is redrawn and Cancel heard at the first and the last row and
  // every few milliseconds between.
  // The clock itself is read only every 32 rows: a row takes about a microsecond.
  const int maximum = fmExportProgress->ExportProgressBar->maximum();
  const bool look = FLastProgress < 0 || row >= maximum || (row & 31) == 0;
  const qint64 now = look ? QDateTime::currentMSecsSinceEpoch() : 0;
  if (look && (FLastProgress < 0 || now - FLastProgress >= progressIntervalMs || row >= maximum)) {
    FLastProgress = now;
    fmExportProgress->lbExportStatus->setText(QStringLiteral("Exporting Row %1 of %2 ...").arg(row).arg(maximum));
    fmExportProgress->ExportProgressBar->setValue(std::min(row, maximum));
    QApplication::processEvents();
  }
  XMLDataset->StopRequested = CancelExport;
}

// ---- CSV ----

void TfmMain::WriteCSVHeader(TCSVFile& file, TDataSet& dataSet)
{
  CSVWriter::appendHeader(file.buffer(), dataSet, fmCSVOpts->cbQuotes->isChecked());
  file.flushIfFull();
}

void TfmMain::WriteCSVRecord(TCSVFile& file, TDataSet& dataSet)
{
  CSVWriter::appendRecord(file.buffer(), dataSet, fmCSVOpts->cbQuotes->isChecked());
  file.flushIfFull();
}

void TfmMain::exportToCSV(TDataSet& dataSet, const QString& what)
{
  if (!dataSet.Active() || TEngineWait::active())
    return;
  if (fmCSVOpts->exec() != QDialog::Accepted)
    return;
  const QString fileName = fmCSVOpts->edFileName->text();
  std::unique_ptr<TCSVFile> file;
  try {
    file = std::make_unique<TCSVFile>(fileName);  // before the start steps: a failure changes nothing
    startExport(dataSet, what + fileName);
    FExportRow = 1;
    FExporting = true;
    CancelExport = false;
    if (fmCSVOpts->cbFieldNames->isChecked())
      WriteCSVHeader(*file, dataSet);
    while (!dataSet.Eof() && !CancelExport) {
      WriteCSVRecord(*file, dataSet);
      dataSet.Next();
    }
    file->commit();  // a cancelled export is complete too: it replaces the previous file
  } catch (const EDBEngineError& e) {
    file.reset();  // the unfinished file goes; the previous one stays
    new TfmDBError(this, e);
    if (FExporting)
      endExport(dataSet);
    return;
  } catch (...) {
    // Any other failure leaves the window idle before its message is shown.
    file.reset();
    if (FExporting)
      endExport(dataSet);
    throw;
  }
  endExport(dataSet);
}

// ---- XML ----

void TfmMain::exportToXML(TDataSet& dataSet, const QString& what)
{
  if (!dataSet.Active() || TEngineWait::active())
    return;
  if (fmXMLOpts->exec() != QDialog::Accepted)
    return;
  const QString fileName = fmXMLOpts->edFilename->text();
  bool started = false;
  try {
    startExport(dataSet, what + fileName);
    started = true;
    XMLDataset->SetDataSet(&dataSet);
    XMLDataset->UseMimeEncoding = fmXMLOpts->cbMIME->isChecked();
    FExportRow = 0;
    FExporting = true;
    CancelExport = false;
    XMLDataset->SaveToFile(fileName);
  } catch (const EDBEngineError& e) {
    new TfmDBError(this, e);
    if (started) {
      FExporting = true;  // the end steps' move to the first record is counted as always
      endExport(dataSet);
    }
    return;
  } catch (...) {
    if (started) {
      FExporting = true;
      endExport(dataSet);
    }
    throw;
  }
  endExport(dataSet);
}
