#pragma once

// How the engine waits for a database without freezing the window of the program that called it.
//
// Engine calls stay synchronous for their callers. Where a call has to wait for the database (a
// statement running on a server), the driver hands the wait to TEngineWait: the program installs a
// handler that keeps the window alive meanwhile (painting, a busy sign, a Cancel button), and without
// a handler the wait simply blocks. One wait at a time: a call that would start a second one while
// the first waits is refused, so nothing can re-enter a connection that is busy.
#include <QString>
#include <QtGlobal>
#include <functional>

class TEngineWait {
public:
  struct Request {
    int Socket = -1;                // becomes readable when the database has news; -1: poll
    std::function<bool()> Ready;    // true once the call can go on without blocking
    std::function<void()> Cancel;   // asks the database to stop the call; the call then fails
    QString What;                   // what the call does, for the busy sign
  };
  // The program's way of waiting: Wait runs until a request is ready; Working is called now and
  // then while a call works on this thread (SQLite) and returns true when the user asked to cancel;
  // WorkDone ends such a stretch of work.
  struct Handler {
    std::function<void(Request&)> Wait;
    std::function<bool(qint64 elapsedMs)> Working;
    std::function<void()> WorkDone;
  };

  // Waits until request.Ready() is true. Raises EDBEngineError when another wait is running.
  static void wait(Request& request);
  static bool active() { return FDepth > 0; }
  // Raises EDBEngineError while a wait runs: a driver calls it before it sends anything.
  static void checkIdle();
  // The program's way of waiting; an empty handler restores the blocking default.
  static void setHandler(Handler handler);
  static bool hasHandler();

  // For a call that works on this thread: keeps the window alive for a moment (counting as a wait,
  // so that nothing re-enters the connection meanwhile). True when the user asked to cancel.
  static bool working(qint64 elapsedMs);
  // The call has ended: its busy sign goes.
  static void workDone();

private:
  static int FDepth;
};

// The message of a statement that the user cancelled.
QString statementCancelledText();
