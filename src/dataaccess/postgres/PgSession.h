#pragma once

#include "dataaccess/DBErrors.h"
#include "dataaccess/postgres/PgValues.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

// A result that clears itself.
class PgResult {
public:
  PgResult() = default;
  explicit PgResult(PGresult* result) : FResult(result) {}
  ~PgResult();
  PgResult(PgResult&& other) noexcept : FResult(other.FResult) { other.FResult = nullptr; }
  PgResult& operator=(PgResult&& other) noexcept;
  PgResult(const PgResult&) = delete;
  PgResult& operator=(const PgResult&) = delete;

  PGresult* get() const { return FResult; }
  int rows() const;
  int columns() const;
  bool isNull(int row, int column) const;
  QString text(int row, int column) const;
  int64_t integer(int row, int column) const;
  // The rows a command reported in its status ("UPDATE 3"); -1 when it reports none.
  int64_t commandRows() const;
  QByteArray commandTag() const;

private:
  PGresult* FResult = nullptr;
};

// Turns a result's rows into values, each column as its type says (see PgValues).
class PgRowReader {
public:
  PgRowReader() = default;
  explicit PgRowReader(const PGresult* description);
  explicit PgRowReader(const std::vector<unsigned>& baseTypes);
  void read(const PGresult* result, int row, TRow& out) const;
  void readAll(const PGresult* result, std::vector<TRow>& out) const;

private:
  std::vector<PgReadAs> FKinds;
};

// Waits for libpq's non-blocking connection of conn (or its reset) to end, each step awaited through
// TEngineWait, so that the busy box shows and Cancel stops it. libpq leaves connect_timeout to the
// caller in this mode: the whole attempt is given that many seconds here. Returns why the attempt
// was stopped ("" when it ran to its end; PQstatus tells how).
QString pgAwaitConnection(PGconn* conn, bool resetting, int timeoutSeconds);

// One libpq connection and what the driver keeps about it: the types it has looked up, and the
// transaction it opens for its cursors. Every failure is an EDBEngineError.
class PgSession {
public:
  explicit PgSession(PGconn* connection);  // takes it over
  ~PgSession();
  PgSession(const PgSession&) = delete;
  PgSession& operator=(const PgSession&) = delete;

  PGconn* handle() const { return FConn; }

  // When a command finds the link to the server broken, the session says so (lost true); the next
  // command first tries once to make it again with the same settings, waiting with the window alive
  // for at most timeoutSeconds, then runs afterReset (the session's settings) and says so (lost
  // false). A failed attempt raises in the given words.
  void setReconnect(const QString& words, int timeoutSeconds, std::function<void()> afterReset);
  std::function<void(bool lost)> OnConnectionState;

  // Runs SQL text without parameters and returns its (last) result; failures raise in the given words.
  PgResult exec(const QByteArray& sql, const QString& purpose, int category = DBErrorCode::Statement);
  // The next result of the command sent, waited for through TEngineWait (the window stays alive and
  // the user may cancel); nullptr when the command has no more. Raises when another wait runs.
  PGresult* nextResult();
  // Before a command is sent: refuses while another call waits, takes in what was read ahead, and
  // forgets an earlier cancel.
  void beginCommand();
  PgResult execParams(const QByteArray& sql, const std::vector<PgParam>& params, const QString& purpose,
                      int category = DBErrorCode::Statement);
  // Raises the result's error (or the connection's, without a result) with the engine's words first.
  // textStart: characters sent before the text an error position is to count from.
  [[noreturn]] void raise(const PGresult* result, const QString& purpose, int category = DBErrorCode::Statement,
                          int textStart = 0);
  // An identifier quoted by libpq.
  QByteArray quoteIdentifier(const QString& name) const;

  // The field type facts of a type, its domains followed; asks the catalog once per unknown type.
  PgTypeFacts typeFacts(unsigned oid, int typmod);
  void learnTypes(std::vector<unsigned> oids);
  // The user's statements may have changed types (an enum's labels, a domain).
  void forgetTypes() { FTypes.clear(); }

  // Cursors are declared WITH HOLD, inside a transaction. Outside the user's own transaction the
  // driver opens one for them ("reading transaction"); committing it lets the server keep the rows
  // of the cursors still open (in a temporary file if need be), so that they can be read on without
  // any transaction, lock or snapshot held, and without running their query again.
  struct Cursor {
    QByteArray Name;
  };
  // Declares a scrollable cursor over the query and fetches its first rows into *first. nullopt when
  // the server refuses the statement as a cursor's query (SELECT ... INTO, data-modifying WITH, FOR
  // UPDATE); any other failure raises.
  std::optional<Cursor> declareCursor(const QByteArray& query, int firstRows, PgResult* first, const QString& purpose);
  void closeCursor(const Cursor& cursor) noexcept;
  // False once the cursor is gone: the transaction it was declared in was rolled back, or the user's
  // statements closed it. Asks the server once after the user's statements ran.
  bool cursorAlive(const Cursor& cursor);
  // Commits the reading transaction, so that what follows (the user's statements, edits) runs as if no
  // cursor were open. Waits (cancellably) while the server stores the rows of the open cursors.
  void leaveReadingTransaction();
  // The same, when nobody reads: the commit is sent without waiting for it, and the next command
  // collects its outcome.
  void releaseReadingTransaction();
  bool inReadingTransaction() const { return FOwnTransaction; }
  // The user's statements may end the transaction their cursors live in, or close them.
  void forgetCursors() { FCursorsUnverified = true; }
  bool standardConformingStrings() const;

  // One query sent ahead of need (a walk's next chunk), so the server produces it while the rows
  // before it are used. Anything else that needs the connection first collects its result, which
  // then waits for its owner.
  void sendAhead(const void* owner, const QByteArray& sql, const std::vector<PgParam>& params);
  // The result of the owner's query sent ahead (waiting for it if need be); empty when there is none.
  PgResult takeAhead(const void* owner);
  void dropAhead(const void* owner) noexcept;
  // Collects the result of what was sent ahead (a query, the reading transaction's commit), so that
  // the connection is free. Blocks: for paths that cannot wait with the window alive.
  void settle() noexcept;

private:
  bool FCancelRequested = false;  // the user cancelled the command being waited for
  void awaitResult();
  PgResult collect();
  struct TypeRow {
    char Kind = 'b';
    unsigned Base = 0;
    int Typmod = -1;
    char Category = 'X';
    int EnumLabelLength = 0;
    bool NotNull = false;
    QString Name;
  };
  void endOwnTransaction(const char* command) noexcept;
  // The first result of what was sent, the rest read and dropped: the connection is free after.
  PgResult drainResults() noexcept;
  // A transaction that did not commit took its cursors with it.
  void forgetCursorsOf(const std::vector<QByteArray>& names);
  void ownTransactionEnded(bool committed);
  // Waits with the window alive for what was sent ahead; true when the user cancelled the wait.
  bool awaitAhead();
  std::vector<PgResult> runBatch(const QByteArray& sql);

  void reconnect();
  PGconn* FConn;
  bool FLost = false;
  QString FReconnectWords;
  int FReconnectTimeout = 15;
  std::function<void()> FAfterReset;
  bool FOwnTransaction = false;
  std::vector<QByteArray> FOwnCursors;    // declared in the reading transaction and still open
  std::vector<QByteArray> FCommitting;    // those of a reading transaction whose commit was sent ahead
  QSet<QByteArray> FLiveCursors;          // the cursors this session knows to be open
  std::vector<QByteArray> FToClose;       // closed while a commit sent ahead ran: closed after it
  bool FCursorsUnverified = false;
  uint64_t FCursorNumber = 0;
  std::unordered_map<unsigned, TypeRow> FTypes;
  const void* FAheadOwner = nullptr;
  bool FAheadPending = false;
  bool FCommitPending = false;  // the reading transaction's commit was sent ahead
  PgResult FAheadResult;
};
