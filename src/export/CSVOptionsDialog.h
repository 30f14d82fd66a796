#pragma once

#include <QDialog>

// Asks for the CSV output file and its choices.
class TfmCSVOpts : public QDialog {
  Q_OBJECT
public:
  explicit TfmCSVOpts(QWidget* parent = nullptr);
};

extern TfmCSVOpts* fmCSVOpts;
