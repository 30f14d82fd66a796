#pragma once

#include "dataaccess/EngineWait.h"

#include <QDialog>

class QLabel;
class QPushButton;

// The sign that the program waits for the database, and its Cancel button. Nothing shows for a call
// that ends within busyDelayMs; after that a small modal box gives the elapsed time. While a call
// waits the window paints, but the user cannot start another command: user input is held back at
// first, and the box is modal.
class TfmBusy : public QDialog {
  Q_OBJECT
public:
  explicit TfmBusy(QWidget* owner);

  QLabel* lbWhat;
  QLabel* lbElapsed;
  QPushButton* btCancel;

  // The handler TEngineWait runs: waits for the request, keeping the event loop going.
  void Wait(TEngineWait::Request& request);
  // A stretch of work on this thread (SQLite): keeps the window alive, shows the box after
  // busyDelayMs; true once the user cancelled. WorkDone ends the stretch.
  bool Work(qint64 elapsedMs);
  void WorkDone();
  // True from Cancel until the next wait begins.
  bool CancelRequested() const { return FCancelRequested; }

  static constexpr int busyDelayMs = 300;

protected:
  void reject() override;  // Esc and the close box cancel; the box stays until the call ends
  void closeEvent(QCloseEvent* event) override;

private:
  void cancel();
  TEngineWait::Request* FRequest = nullptr;
  bool FCancelRequested = false;
  bool FWorking = false;
};

// Installs the busy box as the engine's way of waiting (and removes it again with nullptr).
void InstallBusyIndicator(TfmBusy* busy);
