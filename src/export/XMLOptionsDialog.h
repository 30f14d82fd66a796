#pragma once

#include <QDialog>

// Asks for the XML output file and its choices.
class TfmXMLOpts : public QDialog {
  Q_OBJECT
public:
  explicit TfmXMLOpts(QWidget* parent = nullptr);
};

extern TfmXMLOpts* fmXMLOpts;
