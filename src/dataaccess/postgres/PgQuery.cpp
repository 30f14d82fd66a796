#include "dataaccess/postgres/PgQuery.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/EngineWait.h"
#include "dataaccess/postgres/PgSession.h"
#include "dataaccess/postgres/PgStatements.h"

#include <algorithm>
#include <iterator>

#include <libpq-fe.h>

namespace {

const QString runWords = QStringLiteral("Cannot run the statement.");

constexpr int firstRows = 256;       // the first screen, read with the declaration
constexpr int largestChunk = 16384;  // how far a reading that walks on may run ahead, in rows

// Reads on demand through a scrollable cursor. A reading that goes on where the last one stopped
// ("a walk") is served from rows fetched in growing chunks, the next chunk asked for before this
// one is converted so that the server produces it meanwhile; a jump moves the cursor. Memory holds
// at most a chunk or two.
class PgCursorRows : public TRowSource {
public:
  // mayRunAgain: the query is the driver's own reading of a table, which may run again once its
  // cursor is gone; the user's statement never does (it may have effects that nobody can see).
  PgCursorRows(PgSession& session, QByteArray query, QString purpose, QString readOnlyReason, bool mayRunAgain)
      : FSession(session), FQuery(std::move(query)), FPurpose(std::move(purpose)), FReadOnly(std::move(readOnlyReason)),
        FMayRunAgain(mayRunAgain)
  {
  }
  ~PgCursorRows() override
  {
    FSession.dropAhead(this);
    if (FCursor)
      FSession.closeCursor(*FCursor);
  }

  // A cursor declared by the caller with its first rows.
  void adopt(const PgSession::Cursor& cursor, PgResult first)
  {
    FCursor = cursor;
    FColumns = describePgResult(FSession, first.get());
    takeFirst(first);
  }
  void setColumns(std::vector<TColumnInfo> columns) { FColumns = std::move(columns); }

  const std::vector<TColumnInfo>& columns() const override { return FColumns; }

  int64_t count() override
  {
    if (FCount >= 0)
      return FCount;
    ensureCursor();
    absorbAhead();
    if (FPos < 0)
      moveTo(0);
    const PgResult r = FSession.exec("MOVE FORWARD ALL FROM " + FCursor->Name, FPurpose);
    FCount = FPos + std::max<int64_t>(0, r.commandRows());
    FPos = FCount;
    return FCount;
  }

  void readAt(int64_t offset, int n, std::vector<TRow>& out) override
  {
    out.clear();
    if (n <= 0 || offset < 0 || (FCount >= 0 && offset >= FCount))
      return;
    ensureCursor();
    const bool walking = offset >= FBufferStart && offset <= bufferEnd();
    if (walking) {
      FBuffer.erase(FBuffer.begin(), FBuffer.begin() + qsizetype(offset - FBufferStart));
    } else {
      absorbAhead();
      FBuffer.clear();
      FChunk = firstRows;
    }
    FBufferStart = offset;
    while (int64_t(FBuffer.size()) < n && !(FCount >= 0 && bufferEnd() >= FCount)) {
      const int64_t from = bufferEnd();
      int limit = 0;
      PgResult r;
      if (FRequested && FRequestedFrom == from) {
        limit = FRequestedLimit;
        r = FSession.takeAhead(this);
        FRequested = false;
        if (r.get() && PQresultStatus(r.get()) == PGRES_TUPLES_OK)
          FPos = from + r.rows();
        else
          r = PgResult(), FPos = -1;  // its outcome is unknown: the cursor is placed anew
      } else {
        absorbAhead();
      }
      bool onRow = true;
      if (!r.get()) {
        if (FPos != from)
          onRow = moveTo(from);
        if (walking)
          FChunk = std::min(FChunk * 2, largestChunk);
        limit = std::max(n - int(FBuffer.size()), FChunk);
        r = FSession.exec("FETCH FORWARD " + QByteArray::number(limit) + " FROM " + FCursor->Name, FPurpose);
        FPos = from + r.rows();
      }
      const int got = r.rows();
      if (got < limit && (onRow || got > 0))
        FCount = from + got;
      if (walking && got == limit) {
        FChunk = std::min(FChunk * 2, largestChunk);
        FSession.sendAhead(this, "FETCH FORWARD " + QByteArray::number(FChunk) + " FROM " + FCursor->Name, {});
        FRequested = true;
        FRequestedFrom = from + got;
        FRequestedLimit = FChunk;
      }
      FReader.readAll(r.get(), FBuffer);
      if (got == 0)
        break;
    }
    const size_t take = std::min(FBuffer.size(), size_t(n));
    out.reserve(take);
    std::move(FBuffer.begin(), FBuffer.begin() + qsizetype(take), std::back_inserter(out));
    FBuffer.erase(FBuffer.begin(), FBuffer.begin() + qsizetype(take));
    FBufferStart += int64_t(take);
  }

  // Nobody reads: the reading transaction is committed, the server keeps the rows, and reading
  // takes up at the same place.
  void releaseReads() override
  {
    absorbAhead();
    FSession.releaseReadingTransaction();
  }

  bool canModify(QString* reason) const override
  {
    if (reason)
      *reason = FReadOnly;
    return false;
  }

private:
  int64_t bufferEnd() const { return FBufferStart + int64_t(FBuffer.size()); }

  // Places the cursor so that the next FETCH returns row `row` (0-based); false when there is no
  // such row.
  bool moveTo(int64_t row)
  {
    const PgResult moved = FSession.exec("MOVE ABSOLUTE " + QByteArray::number(qlonglong(row)) + " FROM " + FCursor->Name, FPurpose);
    FPos = row;
    return row == 0 || moved.commandRows() > 0;
  }

  // The chunk asked for ahead, kept when it follows the buffer; the cursor's place known again.
  void absorbAhead()
  {
    if (!FRequested)
      return;
    FRequested = false;
    const PgResult r = FSession.takeAhead(this);
    if (!r.get() || PQresultStatus(r.get()) != PGRES_TUPLES_OK) {
      FPos = -1;
      return;
    }
    FPos = FRequestedFrom + r.rows();
    if (FRequestedFrom == bufferEnd()) {
      if (r.rows() < FRequestedLimit)
        FCount = FRequestedFrom + r.rows();
      FReader.readAll(r.get(), FBuffer);
    }
  }

  void takeFirst(const PgResult& first)
  {
    FReader = PgRowReader(first.get());
    FBuffer.clear();
    FReader.readAll(first.get(), FBuffer);
    FBufferStart = 0;
    FPos = int64_t(FBuffer.size());
    FChunk = firstRows;
    FRequested = false;
    if (FBuffer.size() < size_t(firstRows))
      FCount = int64_t(FBuffer.size());
  }

  // A cursor is gone when the transaction it was declared in was rolled back or the user's
  // statements closed it. The driver's own reading of a table declares it again; a user's statement
  // is not run a second time.
  void ensureCursor()
  {
    if (FCursor && FSession.cursorAlive(*FCursor))
      return;
    FSession.dropAhead(this);
    FRequested = false;
    if (FCursor && !FMayRunAgain)
      throw EDBEngineError(FPurpose, QStringLiteral("The rows of this result are no longer kept by the server (the "
                                                    "reading was cancelled, its transaction rolled back, or the "
                                                    "connection to the server was lost). Run the statement again to "
                                                    "see them."));
    FCursor.reset();
    PgResult first;
    const std::optional<PgSession::Cursor> cursor = FSession.declareCursor(FQuery, firstRows, &first, FPurpose);
    if (!cursor)
      throw EDBEngineError(FPurpose, QStringLiteral("The statement cannot be read through a cursor."));
    FCursor = cursor;
    if (FColumns.empty())
      FColumns = describePgResult(FSession, first.get());
    FCount = -1;
    takeFirst(first);
  }

  PgSession& FSession;
  QByteArray FQuery;
  QString FPurpose;
  QString FReadOnly;
  bool FMayRunAgain;
  std::optional<PgSession::Cursor> FCursor;
  std::vector<TColumnInfo> FColumns;
  PgRowReader FReader;
  int64_t FPos = 0;  // the row the next FETCH returns; -1 when unknown
  int64_t FCount = -1;
  std::vector<TRow> FBuffer;  // rows from FBufferStart on
  int64_t FBufferStart = 0;
  int FChunk = firstRows;
  // A FETCH sent ahead: up to FRequestedLimit rows from FRequestedFrom on.
  bool FRequested = false;
  int64_t FRequestedFrom = 0;
  int FRequestedLimit = 0;
};


// Rows changed, from the command status: rows a query returned are no change.
int64_t rowsAffected(const PgResult& r, bool returnedRows)
{
  const int64_t n = r.commandRows();
  if (n < 0)
    return 0;
  const QByteArray tag = r.commandTag();
  if (returnedRows && (tag.startsWith("SELECT") || tag.startsWith("FETCH")))
    return 0;
  return n;
}

// Sends the text as one simple query, as psql would: the server runs its statements in order (as one
// transaction unless they say otherwise). Rows come one at a time and only those of the last
// statement (by the count of statements) are kept.
TExecResult runSimple(PgSession& session, const QByteArray& text, size_t statements)
{
  PGconn* conn = session.handle();
  session.beginCommand();
  if (!PQsendQuery(conn, text.constData()))
    session.raise(nullptr, runWords);
  PQsetSingleRowMode(conn);
  size_t completed = 0;
  std::vector<TRow> rows, lastRows;
  PgRowReader reader;
  bool haveReader = false, lastHasRows = false;
  int64_t affected = -1;
  PgResult lastDescription, error;
  while (PGresult* raw = session.nextResult()) {
    PgResult r(raw);
    const bool keep = completed + 1 >= statements;
    switch (PQresultStatus(raw)) {
    case PGRES_SINGLE_TUPLE:
      if (keep) {
        if (!haveReader) {
          reader = PgRowReader(raw);
          haveReader = true;
        }
        rows.emplace_back();
        reader.read(raw, 0, rows.back());
      }
      break;
    case PGRES_TUPLES_OK:
      if (keep && PQntuples(raw) > 0)  // should single-row mode not have taken
        PgRowReader(raw).readAll(raw, rows);
      lastRows = std::move(rows);
      rows.clear();
      haveReader = false;
      lastHasRows = true;
      affected = rowsAffected(r, true);
      lastDescription = std::move(r);
      ++completed;
      break;
    case PGRES_COMMAND_OK:
      rows.clear();
      lastRows.clear();
      haveReader = false;
      lastHasRows = false;
      affected = rowsAffected(r, false);
      ++completed;
      break;
    case PGRES_EMPTY_QUERY:
      break;
    case PGRES_COPY_IN:
      // There is no data to give; the server answers the refusal with an error.
      PQputCopyEnd(conn, "COPY FROM STDIN is not supported here; use COPY FROM a server file or INSERT");
      break;
    case PGRES_COPY_OUT: {
      char* buffer = nullptr;
      while (PQgetCopyData(conn, &buffer, 0) > 0)
        PQfreemem(buffer);
      break;
    }
    default:
      if (!error.get())
        error = std::move(r);
      break;
    }
  }
  if (error.get())
    session.raise(error.get(), runWords);
  if (completed == 0 && PQstatus(conn) != CONNECTION_OK)
    session.raise(nullptr, runWords);
  TExecResult result;
  result.RowsAffected = affected;
  if (lastHasRows)
    result.Rows = keptRows(describePgResult(session, lastDescription.get()), std::move(lastRows));
  return result;
}

}  // namespace

std::vector<TColumnInfo> describePgResult(PgSession& session, const PGresult* result)
{
  const int n = PQnfields(result);
  std::vector<unsigned> oids;
  for (int i = 0; i < n; ++i)
    oids.push_back(PQftype(result, i));
  session.learnTypes(oids);
  std::vector<TColumnInfo> columns;
  for (int i = 0; i < n; ++i) {
    TColumnInfo c;
    c.Name = QString::fromUtf8(PQfname(result, i));
    const PgTypeFacts facts = session.typeFacts(PQftype(result, i), PQfmod(result, i));
    const PgFieldType t = pgFieldType(facts);
    c.DataType = t.DataType;
    c.Size = t.Size;
    c.Precision = t.Precision;
    c.DeclaredType = facts.Name;
    columns.push_back(c);
  }
  return columns;
}

std::unique_ptr<TRowSource> openPgCursorRows(PgSession& session, const QByteArray& query, std::vector<TColumnInfo> columns,
                                             const QString& purpose, const QString& readOnlyReason)
{
  auto rows = std::make_unique<PgCursorRows>(session, query, purpose, readOnlyReason, true);
  rows->setColumns(std::move(columns));
  return rows;
}

namespace {

// Runs a step of the user's text, `sent` holding the part of it that begins at byte userStart after
// sentStart bytes of the driver's own. An error position the server gives (characters into `sent`)
// is moved to where it lies in the user's text, in UTF-16 units, or dropped when it lies outside.
template <class Step>
auto locatingErrors(const QByteArray& user, qsizetype userStart, const QByteArray& sent, qsizetype sentStart, Step&& step)
{
  try {
    return step();
  } catch (EDBEngineError& e) {
    if (e.Position() >= 0) {
      qsizetype byte = 0;
      for (int chars = 0; chars < e.Position() && byte < sent.size(); ++chars)
        for (++byte; byte < sent.size() && (uchar(sent.at(byte)) & 0xC0) == 0x80; ++byte) {
        }
      const qsizetype at = userStart + byte - sentStart;
      e.SetPosition(byte >= sentStart && at <= user.size() ? int(QString::fromUtf8(user.constData(), at).size()) : -1);
    }
    throw;
  }
}

}  // namespace

TExecResult executePostgres(PgSession& session, const QString& sql)
{
  // The user's statements never run inside the driver's reading transaction: BEGIN, VACUUM and
  // COMMIT then mean what they say.
  session.leaveReadingTransaction();
  session.forgetCursors();
  session.forgetTypes();
  const QByteArray text = sql.toUtf8();
  const std::vector<PgStatement> statements = splitPgStatements(text, session.standardConformingStrings());
  if (statements.empty())
    return {};
  const PgStatement& last = statements.back();
  if (!pgMayBeCursorQuery(last))
    return locatingErrors(text, 0, text, 0, [&] { return runSimple(session, text, statements.size()); });
  if (statements.size() > 1) {
    // The statements before the last, as the user wrote them, up to where the last begins.
    const QByteArray head = text.left(last.Offset);
    locatingErrors(text, 0, head, 0, [&] { return runSimple(session, head, statements.size() - 1); });
  }
  // Each row of the user's query is computed once: a scrollable cursor would compute the rows again
  // when read backwards, and again when its transaction commits, calling any function in the query a
  // second time. A materialized WITH keeps the rows as they come (in a temporary file past work_mem).
  // The query ends its own line: a trailing "--" comment must not swallow the closing parenthesis.
  const QByteArray wrapStart = "WITH kestrel_rows AS MATERIALIZED (\n";
  const QByteArray once = wrapStart + last.Text + "\n) SELECT * FROM kestrel_rows";
  PgResult first;
  if (const std::optional<PgSession::Cursor> cursor = locatingErrors(
          text, last.Offset, once, wrapStart.size(), [&] { return session.declareCursor(once, firstRows, &first, runWords); })) {
    auto rows = std::make_unique<PgCursorRows>(session, once, runWords,
                                               QStringLiteral("The result of a query cannot be edited."), false);
    rows->adopt(*cursor, std::move(first));
    TExecResult result;
    result.Rows = std::move(rows);
    result.RowsAffected = 0;
    return result;
  }
  // SELECT ... INTO, data-modifying WITH, FOR UPDATE: run as it is, its rows (if any) kept.
  return locatingErrors(text, last.Offset, last.Text, 0, [&] { return runSimple(session, last.Text, 1); });
}
