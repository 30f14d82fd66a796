#pragma once

#include <QDialog>

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

  void btCancelClick();
  bool FormCloseQuery() const { return false; }

protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

extern TfmExportProgress* fmExportProgress;
// Set by the dialog's Cancel; the running export looks at it after every row.
extern bool CancelExport;
