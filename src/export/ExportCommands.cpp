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
#include "export/OptionsDialogParts.h"
#include "dataaccess/SqlText.h"
#include "uicore/StatusBar.h"
#include "uicore/UserSettings.h"
#include "export/XMLOptionsDialog.h"
#include "xmldataset/XMLDataset.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>

#include <exception>
#include <optional>

namespace {

// One export from its start steps to its end steps. The end steps run however the export ends, so
// that no failure leaves the progress dialog up, the window refusing to close or the grids frozen.
class TExportRun {
public:
  // The start steps: the dialog, the dataset's controls let go and the dataset on its first record,
  // not counted; then the row counter, the running flag and a fresh Cancel.
  TExportRun(TfmMain& form, TDataSet& dataSet, const QString& description, int firstRow)
      : FForm(form), FDataSet(dataSet)
  {
    fmExportProgress->start(description, dataSet.RecordCount());
    dataSet.DisableControls();
    FStarted = true;
    try {
      dataSet.First();
    } catch (...) {
      finish();
      throw;
    }
    form.FExportRow = firstRow;
    form.FExporting = true;
    CancelExport = false;
  }
  TExportRun(const TExportRun&) = delete;
  TExportRun& operator=(const TExportRun&) = delete;

  // The end steps: the dataset back on its first record (a move still counted), the dialog hidden,
  // the flag cleared, the controls following the dataset again. A failure of the move is raised once
  // the window is idle.
  void finish()
  {
    if (!FStarted)
      return;
    FStarted = false;
    std::exception_ptr failure;
    if (FForm.FExporting && FDataSet.Active()) {
      try {
        FDataSet.First();
      } catch (...) {
        failure = std::current_exception();
      }
    }
    fmExportProgress->finish();
    FForm.FExporting = false;
    FDataSet.EnableControls();
    if (failure)
      std::rethrow_exception(failure);
  }

  ~TExportRun()
  {
    try {
      finish();
    } catch (...) {
      // Ended by a failure already on its way: that one is the one to report.
    }
  }

private:
  TfmMain& FForm;
  TDataSet& FDataSet;
  bool FStarted = false;
};

// A table name as the tree lists it ("Order Items" quoted on PostgreSQL), as a file would be named.
QString unquoted(const QString& tableName)
{
  const QString name = SqlText::firstTableName(QStringLiteral("FROM ") + tableName);
  return name.isEmpty() ? tableName : name;
}

QString tableDescription(const QString& tableName)
{
  return TfmMain::tr("Exporting table \"%1\" to ").arg(tableName);
}

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
    exportToCSV(qrTable, tableDescription(qrTable.TableName()), unquoted(qrTable.TableName()));
}

void TfmMain::ExporttoCSVClick()
{
  if (ExportData->isEnabled() && !FExporting)
    ExportTableDatatoCSVClick();
}

void TfmMain::ExportResultDatatoCSVClick()
{
  if (!FExporting)
    exportToCSV(qrSelect, tr("Exporting Results Table to "), SqlText::firstTableName(qrSelect.SQL.join(QLatin1Char('\n'))));
}

void TfmMain::ExporttoCSV1Click()
{
  ExportResultDatatoCSVClick();
}

void TfmMain::ExportTableToXMLClick()
{
  if (!FExporting)
    exportToXML(qrTable, tableDescription(qrTable.TableName()), unquoted(qrTable.TableName()));
}

void TfmMain::ExporttoXMLClick()
{
  if (ExportData->isEnabled() && !FExporting)
    ExportTableToXMLClick();
}

void TfmMain::ExportResultDatatoXMLClick()
{
  if (!FExporting)
    exportToXML(qrSelect, tr("Exporting Results Table to "), SqlText::firstTableName(qrSelect.SQL.join(QLatin1Char('\n'))));
}

void TfmMain::ExporttoXML1Click()
{
  ExportResultDatatoXMLClick();
}

// ---- the progress step ----

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
  // Every move counts; events go through (the dialog repaints, Cancel is heard) when the dialog has
  // been brought up to date.
  if (fmExportProgress->advance(row))
    QApplication::processEvents();
  XMLDataset->StopRequested = CancelExport;
}

void TfmMain::exportDone(const QString& fileName, int64_t records, bool cancelled)
{
  UserSettings::rememberFolderOf(QStringLiteral("export"), fileName);
  const QString shown = QDir::toNativeSeparators(fileName);
  StatusBar1->SetPanelText(MainStatus::Outcome,
                           cancelled ? tr("Export cancelled: %1 holds the first %2 records").arg(shown, QString::number(records))
                           : records == 1 ? tr("1 record written to %1").arg(shown)
                                          : tr("%1 records written to %2").arg(QString::number(records), shown));
}

// ---- CSV ----

void TfmMain::WriteCSVHeader(TCSVFile& file, TDataSet& dataSet)
{
  CSVWriter::appendHeader(file, dataSet, fmCSVOpts->cbQuotes->isChecked());
}

void TfmMain::WriteCSVRecord(TCSVFile& file, TDataSet& dataSet)
{
  CSVWriter::appendRecord(file, dataSet, fmCSVOpts->cbQuotes->isChecked());
}

void TfmMain::exportToCSV(TDataSet& dataSet, const QString& what, const QString& fileBaseName)
{
  if (!dataSet.Active() || TEngineWait::active())
    return;
  OptionsDialogParts::propose(fmCSVOpts->edFileName, fileBaseName, QStringLiteral("csv"));
  if (fmCSVOpts->exec() != QDialog::Accepted)
    return;
  const QString fileName = fmCSVOpts->edFileName->text();
  // Made before the start steps: a file that cannot be made changes nothing. Left uncommitted by a
  // failure, it goes and the previous file stays.
  TCSVFile file(fileName);
  std::optional<TExportRun> run;
  try {
    run.emplace(*this, dataSet, what + fileName, 1);
    if (fmCSVOpts->cbFieldNames->isChecked())
      WriteCSVHeader(file, dataSet);
    int64_t written = 0;
    while (!dataSet.Eof() && !CancelExport) {
      WriteCSVRecord(file, dataSet);
      ++written;
      dataSet.Next();
    }
    file.commit();  // a cancelled export is complete too: it replaces the previous file
    exportDone(fileName, written, CancelExport);
  } catch (const EDBEngineError& e) {
    new TfmDBError(this, e);
  }
  if (run)
    run->finish();
}

// ---- XML ----

void TfmMain::exportToXML(TDataSet& dataSet, const QString& what, const QString& fileBaseName)
{
  if (!dataSet.Active() || TEngineWait::active())
    return;
  OptionsDialogParts::propose(fmXMLOpts->edFilename, fileBaseName, QStringLiteral("xml"));
  if (fmXMLOpts->exec() != QDialog::Accepted)
    return;
  const QString fileName = fmXMLOpts->edFilename->text();
  std::optional<TExportRun> run;
  try {
    run.emplace(*this, dataSet, what + fileName, 0);
    XMLDataset->SetDataSet(&dataSet);
    XMLDataset->UseMimeEncoding = fmXMLOpts->cbMIME->isChecked();
    XMLDataset->SaveToFile(fileName);
    exportDone(fileName, XMLDataset->RowsWritten(), CancelExport);
  } catch (const EDBEngineError& e) {
    new TfmDBError(this, e);
  }
  if (run)
    run->finish();
}
