#include "uicore/BusyIndicator.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int pollMs = 20;  // how often readiness is asked when the socket says nothing

}  // namespace

TfmBusy::TfmBusy(QWidget* owner) : QDialog(owner)
{
  setObjectName(QStringLiteral("fmBusy"));
  setWindowTitle(tr("Working…"));
  setWindowModality(Qt::ApplicationModal);
  setMinimumWidth(260);  // room for the title and a longer "what"
  auto* layout = new QVBoxLayout(this);
  lbWhat = new QLabel(tr("Waiting for the database…"), this);
  lbWhat->setObjectName(QStringLiteral("lbWhat"));
  lbElapsed = new QLabel(this);
  lbElapsed->setObjectName(QStringLiteral("lbElapsed"));
  btCancel = new QPushButton(tr("Cancel"), this);
  btCancel->setObjectName(QStringLiteral("btCancel"));
  layout->addWidget(lbWhat);
  layout->addWidget(lbElapsed);
  layout->addWidget(btCancel, 0, Qt::AlignRight);
  connect(btCancel, &QPushButton::clicked, this, [this] { cancel(); });
}

void TfmBusy::cancel()
{
  if (!isVisible() || FCancelRequested)
    return;
  FCancelRequested = true;
  btCancel->setEnabled(false);
  lbWhat->setText(tr("Cancelling…"));
  if (FRequest && FRequest->Cancel)
    FRequest->Cancel();
}

bool TfmBusy::Work(qint64 elapsedMs)
{
  if (!FWorking) {
    FWorking = true;
    FCancelRequested = false;
    btCancel->setEnabled(true);
    lbWhat->setText(tr("Working…"));
  }
  if (elapsedMs >= busyDelayMs && !isVisible())
    show();
  lbElapsed->setText(QStringLiteral("%1 s").arg(double(elapsedMs) / 1000.0, 0, 'f', 1));
  // The box is modal once shown: user input may flow then, and reaches only it.
  QCoreApplication::processEvents(isVisible() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
  return FCancelRequested;
}

void TfmBusy::WorkDone()
{
  if (!FWorking)
    return;
  FWorking = false;
  hide();
}

void TfmBusy::reject()
{
  cancel();
}

void TfmBusy::closeEvent(QCloseEvent* event)
{
  event->ignore();
  cancel();
}

void TfmBusy::Wait(TEngineWait::Request& request)
{
  FRequest = &request;
  FCancelRequested = false;
  btCancel->setEnabled(true);
  lbWhat->setText(request.What.isEmpty() ? tr("Waiting for the database…") : request.What);
  QElapsedTimer elapsed;
  elapsed.start();
  QEventLoop loop;
  const auto check = [&] {
    if (request.Ready())
      loop.quit();
  };
  std::unique_ptr<QSocketNotifier> notifier;
  if (request.Socket >= 0) {
    notifier = std::make_unique<QSocketNotifier>(request.Socket, QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, &loop, check);
  }
  QTimer tick;
  connect(&tick, &QTimer::timeout, &loop, [&] {
    check();
    lbElapsed->setText(QStringLiteral("%1 s").arg(double(elapsed.elapsed()) / 1000.0, 0, 'f', 1));
    if (elapsed.elapsed() >= busyDelayMs && !isVisible()) {
      show();
      loop.quit();  // from now on the box is modal and user input may flow: run the loop again for it
    }
  });
  tick.start(pollMs);
  // First without user input: a call that ends soon shows nothing and cannot be interrupted by a click.
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  if (!request.Ready()) {
    if (!isVisible())
      show();
    loop.exec();
  }
  hide();
  FRequest = nullptr;
}

void InstallBusyIndicator(TfmBusy* busy)
{
  if (!busy) {
    TEngineWait::setHandler({});
    return;
  }
  TEngineWait::Handler handler;
  handler.Wait = [busy](TEngineWait::Request& request) { busy->Wait(request); };
  handler.Working = [busy](qint64 elapsedMs) { return busy->Work(elapsedMs); };
  handler.WorkDone = [busy] { busy->WorkDone(); };
  TEngineWait::setHandler(std::move(handler));
}
