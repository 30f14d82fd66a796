#include "dataaccess/sqlite/SqliteWork.h"

#include "dataaccess/EngineWait.h"

#include <QElapsedTimer>

#include <chrono>
#include <map>
#include <thread>

#include <sqlite3.h>

namespace SqliteWork {

struct State {
  QElapsedTimer Clock;      // since the outermost call was first asked about (invalid until then)
  QElapsedTimer LockClock;  // since a wait for a lock began outside any call
  qint64 LastMomentMs = 0;  // when the window was last handed a moment, on Clock
  int Depth = 0;
  bool Cancelled = false;
};

namespace {

constexpr int progressOps = 10000;      // virtual machine steps between two looks at the clock
constexpr qint64 quietMs = 50;          // a call this short never hands out a moment
constexpr qint64 momentEveryMs = 20;    // the window's share while a call works: paints, the box's clock
constexpr qint64 lockWaitAloneMs = 5000;  // without a window to keep alive, the longest wait for a lock
constexpr auto lockRetry = std::chrono::milliseconds(10);

std::map<sqlite3*, State>& states()
{
  static std::map<sqlite3*, State> s;
  return s;
}

int onProgress(void* p)
{
  auto* s = static_cast<State*>(p);
  if (s->Depth == 0)
    return 0;
  if (s->Cancelled)
    return 1;
  if (!s->Clock.isValid()) {
    s->Clock.start();  // the call has run some thousand steps already: from here on it is timed
    return 0;
  }
  const qint64 ms = s->Clock.elapsed();
  // The handler runs every few thousand steps; the window needs a moment only now and then.
  if (ms < quietMs || ms - s->LastMomentMs < momentEveryMs)
    return 0;
  s->LastMomentMs = ms;
  if (TEngineWait::working(ms))
    s->Cancelled = true;
  return s->Cancelled ? 1 : 0;  // non-zero interrupts the statement
}

int onBusy(void* p, int tries)
{
  auto* s = static_cast<State*>(p);
  if (s->Cancelled)
    return 0;
  if (tries == 0)
    s->LockClock.start();
  const qint64 ms = s->Depth > 0 && s->Clock.isValid() ? s->Clock.elapsed() : s->LockClock.elapsed();
  if (!TEngineWait::hasHandler()) {
    if (ms > lockWaitAloneMs)
      return 0;
  } else if (TEngineWait::working(ms)) {
    s->Cancelled = true;
    return 0;  // stop waiting: the call fails with SQLITE_BUSY, and says it was cancelled
  }
  std::this_thread::sleep_for(lockRetry);
  return 1;
}

}  // namespace

void attach(sqlite3* db)
{
  State& s = states()[db];
  sqlite3_progress_handler(db, progressOps, onProgress, &s);
  sqlite3_busy_handler(db, onBusy, &s);
}

void detach(sqlite3* db)
{
  sqlite3_progress_handler(db, 0, nullptr, nullptr);
  sqlite3_busy_handler(db, nullptr, nullptr);
  states().erase(db);
}

bool cancelled(sqlite3* db)
{
  const auto it = states().find(db);
  return it != states().end() && it->second.Cancelled;
}

State* stateOf(sqlite3* db)
{
  const auto it = states().find(db);
  return it != states().end() ? &it->second : nullptr;
}

Scope::Scope(State* state) : FState(state)
{
  if (FState && FState->Depth++ == 0) {
    FState->Clock.invalidate();
    FState->LastMomentMs = 0;
    FState->Cancelled = false;
  }
}

Scope::~Scope()
{
  if (FState && --FState->Depth == 0)
    TEngineWait::workDone();
}

}  // namespace SqliteWork
