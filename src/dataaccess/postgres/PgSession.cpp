#include "dataaccess/postgres/PgSession.h"

#include "dataaccess/EngineWait.h"

#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <libpq-fe.h>
#include <poll.h>

// ---- PgResult ----

PgResult::~PgResult()
{
  PQclear(FResult);
}

PgResult& PgResult::operator=(PgResult&& other) noexcept
{
  if (this != &other) {
    PQclear(FResult);
    FResult = other.FResult;
    other.FResult = nullptr;
  }
  return *this;
}

int PgResult::rows() const { return FResult ? PQntuples(FResult) : 0; }
int PgResult::columns() const { return FResult ? PQnfields(FResult) : 0; }
bool PgResult::isNull(int row, int column) const { return PQgetisnull(FResult, row, column) != 0; }

QString PgResult::text(int row, int column) const
{
  return QString::fromUtf8(PQgetvalue(FResult, row, column), PQgetlength(FResult, row, column));
}

int64_t PgResult::integer(int row, int column) const
{
  return std::strtoll(PQgetvalue(FResult, row, column), nullptr, 10);
}

int64_t PgResult::commandRows() const
{
  const char* n = FResult ? PQcmdTuples(FResult) : "";
  return *n ? std::strtoll(n, nullptr, 10) : -1;
}

QByteArray PgResult::commandTag() const
{
  return FResult ? QByteArray(PQcmdStatus(FResult)) : QByteArray();
}

// ---- PgRowReader ----

PgRowReader::PgRowReader(const PGresult* description)
{
  const int n = PQnfields(description);
  FKinds.reserve(size_t(n));
  for (int i = 0; i < n; ++i)
    FKinds.push_back(pgReadAs(PQftype(description, i)));
}

PgRowReader::PgRowReader(const std::vector<unsigned>& baseTypes)
{
  for (unsigned oid : baseTypes)
    FKinds.push_back(pgReadAs(oid));
}

void PgRowReader::read(const PGresult* result, int row, TRow& out) const
{
  out.clear();
  out.reserve(FKinds.size());
  for (size_t c = 0; c < FKinds.size(); ++c) {
    const int column = int(c);
    if (PQgetisnull(result, row, column))
      out.emplace_back();
    else
      out.push_back(pgReadValue(PQgetvalue(result, row, column), PQgetlength(result, row, column), FKinds[c]));
  }
}

void PgRowReader::readAll(const PGresult* result, std::vector<TRow>& out) const
{
  const int n = PQntuples(result);
  out.reserve(out.size() + size_t(n));
  for (int r = 0; r < n; ++r) {
    out.emplace_back();
    read(result, r, out.back());
  }
}

// ---- PgSession ----

namespace {

// The SQLSTATE as one number, five characters of six bits each, as the server itself encodes it.
int sqlStateNumber(const char* state)
{
  if (!state || std::strlen(state) != 5)
    return 0;
  int n = 0;
  for (int i = 0; i < 5; ++i)
    n |= ((state[i] - '0') & 0x3f) << (6 * i);
  return n;
}

QString field(const PGresult* r, int code)
{
  const char* v = PQresultErrorField(r, code);
  return v ? QString::fromUtf8(v).trimmed() : QString();
}

bool sqlStateIs(const PGresult* r, const char* state)
{
  const char* v = PQresultErrorField(r, PG_DIAG_SQLSTATE);
  return v && std::strcmp(v, state) == 0;
}

char firstChar(const PgResult& r, int row, int column, char otherwise)
{
  const char* v = PQgetvalue(r.get(), row, column);
  return v && *v ? *v : otherwise;
}

bool failed(const PGresult* r)
{
  if (!r)
    return true;
  switch (PQresultStatus(r)) {
  case PGRES_COMMAND_OK: case PGRES_TUPLES_OK: case PGRES_SINGLE_TUPLE: case PGRES_EMPTY_QUERY: return false;
  default: return true;
  }
}

// Bound parameters as libpq takes them.
struct ParamArrays {
  explicit ParamArrays(const std::vector<PgParam>& params)
  {
    for (const PgParam& p : params) {
      Types.push_back(p.Type);
      Values.push_back(p.Null ? nullptr : p.Data.constData());
      Lengths.push_back(int(p.Data.size()));
      Formats.push_back(p.Binary ? 1 : 0);
    }
  }
  std::vector<unsigned> Types;
  std::vector<const char*> Values;
  std::vector<int> Lengths, Formats;
};

}  // namespace

QString pgAwaitConnection(PGconn* conn, bool resetting, int timeoutSeconds)
{
  QElapsedTimer clock;
  clock.start();
  PostgresPollingStatusType status = PGRES_POLLING_WRITING;
  while (status != PGRES_POLLING_OK && status != PGRES_POLLING_FAILED) {
    const int socket = PQsocket(conn);
    const bool reading = status == PGRES_POLLING_READING;
    bool cancelled = false;
    const auto timedOut = [&] { return timeoutSeconds > 0 && clock.elapsed() > qint64(timeoutSeconds) * 1000; };
    TEngineWait::Request request;
    request.Socket = reading ? socket : -1;
    request.Ready = [&] {
      if (cancelled || timedOut())
        return true;
      pollfd p{socket, short(reading ? POLLIN : POLLOUT), 0};
      return ::poll(&p, 1, 0) > 0;
    };
    request.Cancel = [&] { cancelled = true; };
    request.What = QStringLiteral("Connecting…");
    TEngineWait::wait(request);
    if (cancelled || timedOut())
      return cancelled ? QStringLiteral("Connecting was cancelled.") : QStringLiteral("timeout expired");
    status = resetting ? PQresetPoll(conn) : PQconnectPoll(conn);
  }
  return QString();
}

PgSession::PgSession(PGconn* connection) : FConn(connection) {}

void PgSession::setReconnect(const QString& words, int timeoutSeconds, std::function<void()> afterReset)
{
  FReconnectWords = words;
  FReconnectTimeout = timeoutSeconds;
  FAfterReset = std::move(afterReset);
}

void PgSession::reconnect()
{
  // Whatever the server held for this session went with it: transactions, cursors, results sent ahead.
  FOwnTransaction = false;
  FOwnCursors.clear();
  FCommitting.clear();
  FLiveCursors.clear();
  FToClose.clear();
  FCursorsUnverified = false;
  FTypes.clear();
  FAheadOwner = nullptr;
  FAheadPending = false;
  FCommitPending = false;
  FAheadResult = PgResult();
  const QString stopped = PQresetStart(FConn) ? pgAwaitConnection(FConn, true, FReconnectTimeout) : QString();
  if (PQstatus(FConn) != CONNECTION_OK || !stopped.isEmpty()) {
    std::vector<TDBError> entries{{FReconnectWords, DBErrorCode::Connection, 0}};
    const QString reason = !stopped.isEmpty() ? stopped : QString::fromUtf8(PQerrorMessage(FConn)).trimmed();
    for (const QString& line : reason.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
      entries.push_back({line.trimmed(), DBErrorCode::Database, 0});
    throw EDBEngineError(std::move(entries));
  }
  FLost = false;
  if (FAfterReset)
    FAfterReset();
  if (OnConnectionState)
    OnConnectionState(false);
}

PgSession::~PgSession()
{
  PQfinish(FConn);
}

void PgSession::raise(const PGresult* result, const QString& purpose, int category, int textStart)
{
  std::vector<TDBError> entries{{purpose, category, 0}};
  const bool lostNow = !FLost && PQstatus(FConn) == CONNECTION_BAD;
  // A statement the user cancelled says so first, in plain words.
  const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  if (FCancelRequested && state && qstrcmp(state, "57014") == 0)
    entries.front().Message = statementCancelledText();
  const QString primary = result ? field(result, PG_DIAG_MESSAGE_PRIMARY) : QString();
  if (!primary.isEmpty()) {
    entries.push_back({primary, DBErrorCode::Database, sqlStateNumber(PQresultErrorField(result, PG_DIAG_SQLSTATE))});
    if (const QString detail = field(result, PG_DIAG_MESSAGE_DETAIL); !detail.isEmpty())
      entries.push_back({QStringLiteral("Detail: ") + detail, DBErrorCode::Database, 0});
    if (const QString hint = field(result, PG_DIAG_MESSAGE_HINT); !hint.isEmpty())
      entries.push_back({QStringLiteral("Hint: ") + hint, DBErrorCode::Database, 0});
  } else {
    QString message = QString::fromUtf8(result ? PQresultErrorMessage(result) : PQerrorMessage(FConn)).trimmed();
    if (message.isEmpty())
      message = QString::fromUtf8(PQerrorMessage(FConn)).trimmed();
    if (message.isEmpty())
      message = QStringLiteral("The server gave no reason.");
    entries.push_back({message, DBErrorCode::Database, 0});
  }
  // A failure inside the driver's own reading transaction must not leave it unusable.
  if (FOwnTransaction && PQtransactionStatus(FConn) == PQTRANS_INERROR)
    endOwnTransaction("ROLLBACK");
  if (lostNow) {
    FLost = true;
    entries.push_back({QStringLiteral("The connection to the server was lost. The next command connects again."),
                       DBErrorCode::Connection, 0});
    if (OnConnectionState)
      OnConnectionState(true);
  }
  EDBEngineError error(std::move(entries));
  // The server counts characters from 1 in all it was sent.
  if (const char* position = result ? PQresultErrorField(result, PG_DIAG_STATEMENT_POSITION) : nullptr)
    if (const int at = atoi(position) - 1 - textStart; at >= 0)
      error.SetPosition(at);
  throw error;
}

void PgSession::beginCommand()
{
  TEngineWait::checkIdle();
  if (PQstatus(FConn) == CONNECTION_BAD)
    reconnect();
  const bool cancelled = awaitAhead();
  settle();
  FCancelRequested = false;
  if (cancelled)
    throw EDBEngineError(statementCancelledText());
  if (!FToClose.empty() && PQtransactionStatus(FConn) == PQTRANS_IDLE)
    for (const QByteArray& name : std::exchange(FToClose, {}))  // outside a transaction a failure spoils nothing
      PQclear(PQexec(FConn, ("CLOSE " + name).constData()));
}

bool PgSession::awaitAhead()
{
  if (!(FAheadPending || FCommitPending) || TEngineWait::active())
    return false;
  FCancelRequested = false;
  awaitResult();
  return FCancelRequested;
}

void PgSession::awaitResult()
{
  if (!PQisBusy(FConn))
    return;
  TEngineWait::Request request;
  request.Socket = PQsocket(FConn);
  // A connection that breaks is ready too: PQgetResult then says what happened.
  request.Ready = [this] { return !PQconsumeInput(FConn) || !PQisBusy(FConn); };
  request.Cancel = [this] {
    FCancelRequested = true;
    if (PGcancel* cancel = PQgetCancel(FConn)) {
      char reason[256];
      PQcancel(cancel, reason, int(sizeof reason));
      PQfreeCancel(cancel);
    }
  };
  TEngineWait::wait(request);
}

PGresult* PgSession::nextResult()
{
  awaitResult();
  return PQgetResult(FConn);
}

// The outcome of a command sent: its last result, or the first that failed, as PQexec gives it, but
// waited for without freezing the caller.
PgResult PgSession::collect()
{
  PgResult outcome;
  try {
    while (PGresult* r = nextResult()) {
      if (outcome.get() && failed(outcome.get()))
        PQclear(r);  // the first failure is the one to report; the rest is drained
      else
        outcome = PgResult(r);
    }
  } catch (...) {
    // Refused to wait (another wait runs): the command's results are drained the blocking way, so
    // that the connection stays usable.
    while (PGresult* r = PQgetResult(FConn))
      PQclear(r);
    throw;
  }
  return outcome;
}

PgResult PgSession::exec(const QByteArray& sql, const QString& purpose, int category)
{
  beginCommand();
  if (!PQsendQuery(FConn, sql.constData()))
    raise(nullptr, purpose, category);
  PgResult r = collect();
  if (failed(r.get()))
    raise(r.get(), purpose, category);
  return r;
}

PgResult PgSession::execParams(const QByteArray& sql, const std::vector<PgParam>& params, const QString& purpose,
                               int category)
{
  beginCommand();
  const ParamArrays a(params);
  if (!PQsendQueryParams(FConn, sql.constData(), int(params.size()), a.Types.data(), a.Values.data(), a.Lengths.data(),
                         a.Formats.data(), 0))
    raise(nullptr, purpose, category);
  PgResult r = collect();
  if (failed(r.get()))
    raise(r.get(), purpose, category);
  return r;
}

QByteArray PgSession::quoteIdentifier(const QString& name) const
{
  const QByteArray utf8 = name.toUtf8();
  char* quoted = PQescapeIdentifier(FConn, utf8.constData(), size_t(utf8.size()));
  if (!quoted)
    throw EDBEngineError(QStringLiteral("Cannot quote the name '%1'.").arg(name),
                         QString::fromUtf8(PQerrorMessage(FConn)).trimmed());
  QByteArray result(quoted);
  PQfreemem(quoted);
  return result;
}

bool PgSession::standardConformingStrings() const
{
  const char* v = PQparameterStatus(FConn, "standard_conforming_strings");
  return !v || std::strcmp(v, "off") != 0;
}

void PgSession::learnTypes(std::vector<unsigned> oids)
{
  oids.erase(std::remove_if(oids.begin(), oids.end(), [this](unsigned oid) { return FTypes.count(oid) > 0; }), oids.end());
  std::sort(oids.begin(), oids.end());
  oids.erase(std::unique(oids.begin(), oids.end()), oids.end());
  while (!oids.empty()) {
    QByteArray list = "{";
    for (unsigned oid : oids) {
      if (list.size() > 1)
        list += ',';
      list += QByteArray::number(oid);
    }
    list += '}';
    PgParam p;
    p.Null = false;
    p.Data = list;
    const PgResult r = execParams(
        "SELECT t.oid, t.typtype, t.typbasetype, t.typtypmod, t.typcategory, pg_catalog.format_type(t.oid, NULL),"
        " CASE WHEN t.typtype = 'e' THEN (SELECT max(char_length(e.enumlabel)) FROM pg_catalog.pg_enum e"
        " WHERE e.enumtypid = t.oid) END, t.typnotnull"
        " FROM pg_catalog.pg_type t WHERE t.oid = ANY($1::pg_catalog.oid[])",
        {p}, QStringLiteral("Cannot read the data types of the result."));
    std::vector<unsigned> bases;
    for (int i = 0; i < r.rows(); ++i) {
      TypeRow t;
      const unsigned oid = unsigned(r.integer(i, 0));
      t.Kind = firstChar(r, i, 1, 'b');
      t.Base = unsigned(r.integer(i, 2));
      t.Typmod = int(r.integer(i, 3));
      t.Category = firstChar(r, i, 4, 'X');
      t.Name = r.text(i, 5);
      t.EnumLabelLength = r.isNull(i, 6) ? 0 : int(r.integer(i, 6));
      t.NotNull = firstChar(r, i, 7, 'f') == 't';
      FTypes[oid] = t;
      if (t.Kind == 'd' && !FTypes.count(t.Base))
        bases.push_back(t.Base);
    }
    for (unsigned oid : oids)  // a type the catalog does not know (dropped meanwhile): text
      if (!FTypes.count(oid))
        FTypes[oid] = TypeRow{'b', 0, -1, 'X', 0, false, QStringLiteral("unknown")};
    oids = bases;
  }
}

PgTypeFacts PgSession::typeFacts(unsigned oid, int typmod)
{
  if (!FTypes.count(oid))
    learnTypes({oid});
  PgTypeFacts facts;
  facts.Name = FTypes[oid].Name;
  facts.Typmod = typmod;
  unsigned current = oid;
  for (int depth = 0; depth < 32; ++depth) {  // domains over domains, followed to the base
    const TypeRow& t = FTypes[current];
    if (t.Kind != 'd')
      break;
    if (facts.Typmod < 0)
      facts.Typmod = t.Typmod;
    facts.NotNull = facts.NotNull || t.NotNull;
    if (!FTypes.count(t.Base))
      learnTypes({t.Base});
    current = t.Base;
  }
  const TypeRow& base = FTypes[current];
  facts.BaseOid = current;
  facts.Kind = base.Kind;
  facts.Category = base.Category;
  facts.EnumLabelLength = base.EnumLabelLength;
  return facts;
}

std::vector<PgResult> PgSession::runBatch(const QByteArray& sql)
{
  beginCommand();
  std::vector<PgResult> results;
  if (!PQsendQuery(FConn, sql.constData())) {
    results.emplace_back(nullptr);
    return results;
  }
  while (PGresult* r = nextResult())
    results.emplace_back(r);
  return results;
}

std::optional<PgSession::Cursor> PgSession::declareCursor(const QByteArray& query, int firstRows, PgResult* first,
                                                          const QString& purpose)
{
  beginCommand();  // a commit sent ahead must have ended before the transaction state means anything
  if (FOwnTransaction && PQtransactionStatus(FConn) == PQTRANS_INERROR)
    endOwnTransaction("ROLLBACK");
  const bool beginHere = PQtransactionStatus(FConn) == PQTRANS_IDLE;
  const QByteArray name = "kestrel_cursor_" + QByteArray::number(qulonglong(++FCursorNumber));
  // The query ends its own line: a trailing "--" comment must not swallow what follows.
  const QByteArray lead = "DECLARE " + name + " SCROLL CURSOR WITH HOLD FOR ";
  const QByteArray declare = lead + query + "\n;\n";
  const QByteArray fetch = "FETCH FORWARD " + QByteArray::number(firstRows) + " FROM " + name;
  // Inside a transaction a savepoint keeps a refused declaration from spoiling it.
  const QByteArray batch = beginHere ? "BEGIN;\n" + declare + fetch
                                     : "SAVEPOINT kestrel_cursor;\n" + declare + fetch + ";\nRELEASE SAVEPOINT kestrel_cursor";
  std::vector<PgResult> results = runBatch(batch);
  if (results.empty() || !results.front().get())
    raise(nullptr, purpose);  // nothing was sent
  size_t failedAt = results.size();
  for (size_t i = 0; i < results.size(); ++i)
    if (failed(results[i].get())) {
      failedAt = i;
      break;
    }
  if (failedAt == results.size()) {
    if (beginHere)
      FOwnTransaction = true;
    if (FOwnTransaction)
      FOwnCursors.push_back(name);
    FLiveCursors.insert(name);
    *first = std::move(results[2]);
    return Cursor{name};
  }
  if (beginHere) {
    PQclear(PQexec(FConn, "ROLLBACK"));
  } else {
    PQclear(PQexec(FConn, "ROLLBACK TO SAVEPOINT kestrel_cursor; RELEASE SAVEPOINT kestrel_cursor"));
  }
  const PGresult* error = results[failedAt].get();
  // Statements a cursor cannot hold fail when declared (the second statement of the batch).
  if (failedAt == 1 && (sqlStateIs(error, "42601") || sqlStateIs(error, "0A000")))
    return std::nullopt;
  // An error position counts from the query's start (the batch's words before it are ASCII).
  raise(error, purpose, DBErrorCode::Statement, int(batch.indexOf(declare) + lead.size()));
}

bool PgSession::cursorAlive(const Cursor& cursor)
{
  if (FCursorsUnverified) {
    const PgResult r = exec("SELECT name FROM pg_catalog.pg_cursors", QStringLiteral("Cannot read the open cursors."));
    QSet<QByteArray> open;
    for (int i = 0; i < r.rows(); ++i)
      open.insert(PQgetvalue(r.get(), i, 0));
    FLiveCursors.intersect(open);
    FCursorsUnverified = false;
  }
  return FLiveCursors.contains(cursor.Name);
}

void PgSession::closeCursor(const Cursor& cursor) noexcept
{
  if (!FLiveCursors.contains(cursor.Name))
    return;  // it ended with its transaction
  // A commit sent ahead may still be storing this cursor's rows: the cursor is closed once it has
  // ended, rather than waited for here. (Cancelling the commit instead would undo whatever the
  // query's functions did.)
  if (FCommitPending) {
    FLiveCursors.remove(cursor.Name);
    FToClose.push_back(cursor.Name);
    return;
  }
  settle();
  if (!FLiveCursors.remove(cursor.Name))
    return;
  const QByteArray close = "CLOSE " + cursor.Name;
  switch (PQtransactionStatus(FConn)) {
  case PQTRANS_IDLE:  // a failure outside a transaction spoils nothing
    PQclear(PQexec(FConn, close.constData()));
    break;
  case PQTRANS_INTRANS:
    if (FCursorsUnverified) {  // the user's transaction: a CLOSE that fails would abort it
      PgResult r(PQexec(FConn, "SELECT 1 FROM pg_catalog.pg_cursors WHERE name = '" + cursor.Name + "'"));
      if (r.rows() != 1)
        break;
    }
    PQclear(PQexec(FConn, close.constData()));
    break;
  default:  // a failed transaction of the user's: the cursor goes with it, or with the session
    break;
  }
  const auto own = std::find(FOwnCursors.begin(), FOwnCursors.end(), cursor.Name);
  if (own != FOwnCursors.end()) {
    FOwnCursors.erase(own);
    if (FOwnTransaction && FOwnCursors.empty())
      endOwnTransaction("COMMIT");
  }
}

void PgSession::leaveReadingTransaction()
{
  if (!FOwnTransaction) {
    beginCommand();  // a commit sent ahead ends here, so that the caller finds the connection free
    return;
  }
  FOwnTransaction = false;
  const std::vector<QByteArray> cursors = std::move(FOwnCursors);
  FOwnCursors.clear();
  try {
    exec("COMMIT", QStringLiteral("Cannot keep the rows of the open results on the server."));
  } catch (...) {
    // Cancelled while the server stored the rows: the transaction and its cursors are gone.
    if (PQtransactionStatus(FConn) != PQTRANS_IDLE)
      PQclear(PQexec(FConn, "ROLLBACK"));
    forgetCursorsOf(cursors);
    throw;
  }
}

void PgSession::releaseReadingTransaction()
{
  if (!FOwnTransaction || FCommitPending || TEngineWait::active())
    return;
  if (awaitAhead())
    return;  // the user cancelled the read that was under way: they are reading, not idle
  settle();
  if (!FOwnTransaction)
    return;  // ended by a read ahead that failed
  if (!PQsendQuery(FConn, "COMMIT"))
    return;  // the next command meets the connection's fault
  FCommitPending = true;
  FCommitting = std::move(FOwnCursors);
  FOwnCursors.clear();
  FOwnTransaction = false;
}

void PgSession::endOwnTransaction(const char* command) noexcept
{
  settle();
  PgResult r(PQexec(FConn, command));
  const bool committed = std::strcmp(command, "COMMIT") == 0 && PQresultStatus(r.get()) == PGRES_COMMAND_OK;
  if (!committed)
    forgetCursorsOf(FOwnCursors);
  FOwnCursors.clear();
  FOwnTransaction = false;
}

void PgSession::sendAhead(const void* owner, const QByteArray& sql, const std::vector<PgParam>& params)
{
  settle();
  FAheadResult = PgResult();
  FAheadOwner = nullptr;
  const ParamArrays a(params);
  // Should sending fail, the owner simply asks again when it needs the rows.
  if (PQsendQueryParams(FConn, sql.constData(), int(params.size()), a.Types.data(), a.Values.data(), a.Lengths.data(),
                        a.Formats.data(), 0)) {
    FAheadOwner = owner;
    FAheadPending = true;
  }
}

PgResult PgSession::takeAhead(const void* owner)
{
  if (FAheadOwner != owner || !owner)
    return PgResult();
  const bool cancelled = awaitAhead();
  settle();
  FAheadOwner = nullptr;
  FCancelRequested = false;
  if (cancelled)
    throw EDBEngineError(statementCancelledText());
  return std::move(FAheadResult);
}

void PgSession::dropAhead(const void* owner) noexcept
{
  if (FAheadOwner != owner || !owner)
    return;
  // Its result, when it comes, is thrown away by whatever next needs the connection.
  FAheadOwner = nullptr;
  if (!FAheadPending)
    FAheadResult = PgResult();
}

PgResult PgSession::drainResults() noexcept
{
  PgResult first;
  while (PGresult* r = PQgetResult(FConn)) {
    if (!first.get())
      first = PgResult(r);
    else
      PQclear(r);
  }
  return first;
}

void PgSession::forgetCursorsOf(const std::vector<QByteArray>& names)
{
  for (const QByteArray& name : names)
    FLiveCursors.remove(name);
}

void PgSession::settle() noexcept
{
  if (FCommitPending) {
    FCommitPending = false;
    if (failed(drainResults().get())) {
      // The commit was cancelled or failed: its transaction ended, and its cursors with it.
      if (PQtransactionStatus(FConn) != PQTRANS_IDLE)
        PQclear(PQexec(FConn, "ROLLBACK"));
      forgetCursorsOf(FCommitting);
    }
    FCommitting.clear();
    return;
  }
  if (!FAheadPending)
    return;
  FAheadPending = false;
  PgResult first = drainResults();
  const bool bad = failed(first.get());
  FAheadResult = FAheadOwner ? std::move(first) : PgResult();
  // A query read ahead that failed inside the reading transaction must not leave it unusable.
  if (bad && FOwnTransaction && PQtransactionStatus(FConn) == PQTRANS_INERROR)
    endOwnTransaction("ROLLBACK");
}
