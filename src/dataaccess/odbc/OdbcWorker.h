#pragma once

// ODBC calls block until the data source answers. A connection's calls that may wait (running a
// statement, fetching, the catalog) run on a thread of its own while the caller waits through
// TEngineWait, so the window stays alive, shows the busy sign and can cancel: Cancel calls SQLCancel
// on the statement that runs. One call at a time; the caller's thread does nothing else with the
// connection meanwhile. (Connecting, which SQLCancel cannot stop, has a thread of its own: see
// OdbcSession.)
#include <QString>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include <sql.h>

class OdbcWorker {
public:
  OdbcWorker();
  ~OdbcWorker();
  OdbcWorker(const OdbcWorker&) = delete;
  OdbcWorker& operator=(const OdbcWorker&) = delete;

  // Runs call on the worker thread and returns its result once it has ended. statement is what
  // Cancel stops. Raises EDBEngineError, without running the call, while another
  // engine wait runs.
  SQLRETURN run(const QString& what, SQLHSTMT statement, const std::function<SQLRETURN()>& call);
  // True when the user cancelled the last call run.
  bool cancelled() const { return FCancelled; }

private:
  void loop();
  std::thread FThread;
  std::mutex FMutex;
  std::condition_variable FWake;
  const std::function<SQLRETURN()>* FCall = nullptr;  // the call to run; null when idle
  SQLRETURN FResult = SQL_SUCCESS;
  bool FDone = false;
  bool FStop = false;
  bool FCancelled = false;
  int FSignal = -1;  // an eventfd: readable once the call has ended
};
