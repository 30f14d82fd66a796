#pragma once

#include <QDialog>

class QCheckBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;

// Asks for the XML output file and whether text fields are written base64-encoded. Made once;
// keeps its values from one export to the next. Enter does not confirm it.
class TfmXMLOpts : public QDialog {
  Q_OBJECT
public:
  explicit TfmXMLOpts(QWidget* parent = nullptr);

  QLabel* Label1;
  QLineEdit* edFilename;
  QPushButton* btBrowse;
  QCheckBox* cbMIME;
  QPushButton* btCancel;
  QPushButton* btOK;
  QFileDialog* XMLSaveDialog = nullptr;  // kept from the first Browse on, so it offers its last file

  void btBrowseClick();

protected:
  void keyPressEvent(QKeyEvent* event) override;
};

extern TfmXMLOpts* fmXMLOpts;
