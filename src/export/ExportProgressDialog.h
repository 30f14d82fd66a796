#pragma once

#include <QDialog>

// The progress dialog of a running export.
class TfmExportProgress : public QDialog {
  Q_OBJECT
public:
  explicit TfmExportProgress(QWidget* parent = nullptr);
};

extern TfmExportProgress* fmExportProgress;
