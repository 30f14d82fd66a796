#include "dataaccess/odbc/OdbcWorker.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/EngineWait.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <sqlext.h>

OdbcWorker::OdbcWorker() : FSignal(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
  if (FSignal < 0)
    throw EDBEngineError(QStringLiteral("Cannot start the ODBC connection's worker: the system has no event descriptor left."));
  FThread = std::thread([this] { loop(); });
}

OdbcWorker::~OdbcWorker()
{
  {
    std::lock_guard lock(FMutex);
    FStop = true;
  }
  FWake.notify_one();
  FThread.join();
  ::close(FSignal);
}

void OdbcWorker::loop()
{
  std::unique_lock lock(FMutex);
  for (;;) {
    FWake.wait(lock, [this] { return FStop || (FCall && !FDone); });
    if (FStop)
      return;
    const std::function<SQLRETURN()>* call = FCall;
    lock.unlock();
    const SQLRETURN result = (*call)();
    lock.lock();
    FResult = result;
    FDone = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(FSignal, &one, sizeof one);
  }
}

SQLRETURN OdbcWorker::run(const QString& what, SQLHSTMT statement, const std::function<SQLRETURN()>& call)
{
  TEngineWait::checkIdle();
  FCancelled = false;
  {
    std::lock_guard lock(FMutex);
    FCall = &call;
    FDone = false;
  }
  FWake.notify_one();
  const auto done = [this] {
    std::lock_guard lock(FMutex);
    return FDone;
  };
  TEngineWait::Request request;
  request.Socket = FSignal;
  request.Ready = done;
  request.Cancel = [this, statement] {
    FCancelled = true;
    SQLCancel(statement);  // made to be called from another thread while the statement runs
  };
  request.What = what;
  const auto finish = [this] {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t drained = ::read(FSignal, &count, sizeof count);
    std::lock_guard lock(FMutex);
    FCall = nullptr;
    return FResult;
  };
  try {
    TEngineWait::wait(request);
  } catch (...) {
    // The call cannot be left running on the handles: stop it, and wait for it without the window.
    SQLCancel(statement);
    while (!done()) {
      pollfd p{FSignal, POLLIN, 0};
      ::poll(&p, 1, 100);
    }
    finish();
    throw;
  }
  return finish();
}
