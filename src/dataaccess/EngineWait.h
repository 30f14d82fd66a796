#pragma once

// How the engine waits for a database without freezing the window of the program that called it.
//
// Engine calls stay synchronous for their callers. Where a call has to wait for the database (a
// statement running on a server), the driver hands the wait to TEngineWait: the program installs a
// handler that keeps the window alive meanwhile (painting, a busy sign, a Cancel button), and without
// a handler the wait simply blocks. One wait at a time: a call that would start a second one while
// the first waits is refused, so nothing can re-enter a connection that is busy.
#include <QString>
#include <functional>

class TEngineWait {
public:
  struct Request {
    int Socket = -1;                // becomes readable when the database has news; -1: poll
    std::function<bool()> Ready;    // true once the call can go on without blocking
    std::function<void()> Cancel;   // asks the database to stop the call; the call then fails
    QString What;                   // what the call does, for the busy sign
  };
  using Handler = std::function<void(Request&)>;

  // Waits until request.Ready() is true. Raises EDBEngineError when another wait is running.
  static void wait(Request& request);
  static bool active() { return FDepth > 0; }
  // Raises EDBEngineError while a wait runs: a driver calls it before it sends anything.
  static void checkIdle();
  // The program's way of waiting; an empty handler restores the blocking default.
  static void setHandler(Handler handler);

private:
  static int FDepth;
};

// The message of a statement that the user cancelled.
QString statementCancelledText();
