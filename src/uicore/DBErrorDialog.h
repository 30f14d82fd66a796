#pragma once

#include <QDialog>

class EDBEngineError;
class QPlainTextEdit;
class QPushButton;

// Shows every entry of an engine error, each followed by an empty line. Constructing it shows it
// modally; it releases itself once control is back in the event loop.
class TfmDBError : public QDialog {
  Q_OBJECT
public:
  TfmDBError(QWidget* owner, const EDBEngineError& error);

  QPlainTextEdit* RTF;
  QPushButton* btOK;
};
