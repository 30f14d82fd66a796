#pragma once

// SQLite works on the caller's thread. While one of its calls takes long (a step through a large
// join, a wait for another process's lock), its progress and busy handlers hand the window a moment
// now and then through TEngineWait, and stop the call when the user cancels: the progress handler
// interrupts the statement, the busy handler stops waiting for the lock.
struct sqlite3;

namespace SqliteWork {

// Installs the handlers on a connection the driver opened, and removes them before it closes.
void attach(sqlite3* db);
void detach(sqlite3* db);
// True when the last call on the connection was stopped by the user.
bool cancelled(sqlite3* db);
// The connection's handler state (nullptr for a connection not attached), for Scope.
struct State* stateOf(sqlite3* db);

// A call that may take long; the clock the handlers read starts here. Calls nest: the outermost counts.
class Scope {
public:
  explicit Scope(sqlite3* db) : Scope(stateOf(db)) {}
  // Costs a counter: the clock starts only once the call has run long enough to be asked.
  explicit Scope(State* state);
  ~Scope();
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

private:
  struct State* FState;
};

}  // namespace SqliteWork
