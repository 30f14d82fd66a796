#pragma once

#include <QDialog>

class QCheckBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;

// Asks for the CSV output file and its choices. Made once; keeps its values from one export to the next.
class TfmCSVOpts : public QDialog {
  Q_OBJECT
public:
  explicit TfmCSVOpts(QWidget* parent = nullptr);

  QLabel* Label1;
  QLineEdit* edFileName;
  QPushButton* btBrowse;
  QCheckBox* cbFieldNames;
  QCheckBox* cbQuotes;
  QPushButton* btOK;
  QPushButton* btCancel;
  QFileDialog* SaveDialog = nullptr;  // kept from the first Browse on, so it offers its last file

  void btBrowseClick();

protected:
  void keyPressEvent(QKeyEvent* event) override;
};

extern TfmCSVOpts* fmCSVOpts;
