#pragma once

#include <QDialog>

// The About box. Its content (version information) arrives with the version resource reader.
class TfmAbout : public QDialog {
  Q_OBJECT
public:
  explicit TfmAbout(QWidget* parent = nullptr);
};

extern TfmAbout* fmAbout;
