#include "dataaccess/EngineWait.h"

#include "dataaccess/DBErrors.h"

#include <poll.h>

int TEngineWait::FDepth = 0;

namespace {

TEngineWait::Handler& handler()
{
  static TEngineWait::Handler h;
  return h;
}

// Without a window to keep alive: sleep on the socket until the database has news.
void blockingWait(TEngineWait::Request& request)
{
  while (!request.Ready()) {
    if (request.Socket >= 0) {
      pollfd p{request.Socket, POLLIN, 0};
      ::poll(&p, 1, 100);
    } else {
      ::poll(nullptr, 0, 5);
    }
  }
}

}  // namespace

void TEngineWait::checkIdle()
{
  if (FDepth > 0)
    throw EDBEngineError(QStringLiteral("The database is busy with another command. Wait for it to end, or cancel it."));
}

void TEngineWait::wait(Request& request)
{
  if (request.Ready())
    return;  // the answer is there already: nothing to wait for
  checkIdle();
  ++FDepth;
  try {
    if (handler().Wait)
      handler().Wait(request);
    else
      blockingWait(request);
  } catch (...) {
    --FDepth;
    throw;
  }
  --FDepth;
}

void TEngineWait::setHandler(Handler h)
{
  handler() = std::move(h);
}

bool TEngineWait::hasHandler()
{
  return bool(handler().Working);
}

bool TEngineWait::working(qint64 elapsedMs)
{
  if (!handler().Working || FDepth > 0)
    return false;
  ++FDepth;
  bool cancel = false;
  try {
    cancel = handler().Working(elapsedMs);
  } catch (...) {
    // Nothing may unwind through the database's callback; a failure in the window's events is
    // reported by their own guards.
  }
  --FDepth;
  return cancel;
}

void TEngineWait::workDone()
{
  if (handler().WorkDone)
    handler().WorkDone();
}

QString statementCancelledText()
{
  return QStringLiteral("Statement cancelled");
}
