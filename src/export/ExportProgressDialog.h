#pragma once

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QPushButton;

// The progress of a running export: what goes where, the row counter, a bar up to the record
// count and Cancel (also Esc). It cannot be closed by the user; the export's end hides it.
class TfmExportProgress : public QDialog {
  Q_OBJECT
public:
  explicit TfmExportProgress(QWidget* parent = nullptr);

  QLabel* lbDescription;
  QLabel* Label1;
  QLabel* lbExportStatus;
  QProgressBar* ExportProgressBar;
  QPushButton* btCancel;

  // Shows the dialog, centred on its owner, for an export of `maximum` rows.
  void start(const QString& description, int maximum);
  // Row `row` has become current. The status line and the bar follow at the first and the last row
  // and at most every refreshIntervalMs between; true when they did, and the dialog should be given
  // its events (a repaint per row would take longer than the row).
  bool advance(int row);
  void finish();

  void btCancelClick();
  bool FormCloseQuery() const { return false; }

  static constexpr qint64 refreshIntervalMs = 15;
  // The clock is read only every this many rows: a row takes about a microsecond.
  static constexpr int clockEveryRows = 32;

protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  QElapsedTimer FSinceRefresh;  // invalid until the first row of an export
};

extern TfmExportProgress* fmExportProgress;
// Set by the dialog's Cancel; the running export looks at it after every row.
extern bool CancelExport;
