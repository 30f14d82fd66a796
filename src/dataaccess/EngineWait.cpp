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
    if (handler())
      handler()(request);
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

QString statementCancelledText()
{
  return QStringLiteral("Statement cancelled");
}
