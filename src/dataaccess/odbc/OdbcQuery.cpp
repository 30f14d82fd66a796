#include "dataaccess/odbc/OdbcQuery.h"

#include "dataaccess/odbc/OdbcRowset.h"
#include "dataaccess/odbc/OdbcSession.h"

#include <QRegularExpression>

#include <algorithm>
#include <iterator>
#include <optional>

namespace {

const QString runWords = QStringLiteral("Cannot run the statement.");

// Reads a query forward through its cursor. Rows from FBufferStart on are at hand; a reading before
// them runs the query again. The count is asked of the data source (the query wrapped in a count),
// or, where it refuses that, counted by stepping over a second run.
class OdbcCursorRows : public TRowSource {
public:
  OdbcCursorRows(OdbcSession& session, QString query, std::vector<TColumnInfo> columns, QString purpose, QString readOnly)
      : FSession(session), FQuery(std::move(query)), FColumns(std::move(columns)), FPurpose(std::move(purpose)),
        FReadOnly(std::move(readOnly))
  {
  }

  // Takes over a statement already run, its result not yet read.
  void adopt(OdbcHandle statement)
  {
    FStatement = std::move(statement);
    SQLULEN cursor = SQL_CURSOR_FORWARD_ONLY;
    SQLGetStmtAttr(FStatement.get(), SQL_ATTR_CURSOR_TYPE, &cursor, 0, nullptr);
    FRowset.emplace(FSession, FStatement.get(), FColumns, FPurpose,
                    cursor == SQL_CURSOR_STATIC ? OdbcLongValues::Refetched : OdbcLongValues::InPieces);
    FBufferStart = FNext = 0;
    FBuffer.clear();
  }

  const std::vector<TColumnInfo>& columns() const override { return FColumns; }

  int64_t count() override
  {
    if (FCount >= 0)
      return FCount;
    // The query as the inside of a count: a trailing ";" or comment must not end it early.
    QString inner = FQuery.trimmed();
    while (inner.endsWith(QLatin1Char(';')))
      inner = inner.chopped(1).trimmed();
    try {
      OdbcHandle st = FSession.newStatement(FPurpose);
      const std::vector<SQLWCHAR> text = odbcText(QStringLiteral("SELECT COUNT(*) FROM (%1\n) kestrel_count").arg(inner));
      SQLHSTMT h = st.get();
      FSession.run(FPurpose, h, [&] { return SQLExecDirectW(h, const_cast<SQLWCHAR*>(text.data()), SQL_NTS); });
      int64_t n = -1;
      SQLLEN indicator = 0;
      if (FSession.run(FPurpose, h, [&] { return SQLFetch(h); }) != SQL_NO_DATA &&
          SQL_SUCCEEDED(SQLGetData(h, 1, SQL_C_SBIGINT, &n, 0, &indicator)) && indicator != SQL_NULL_DATA)
        FCount = n;
    } catch (const EDBEngineError&) {
      // Not every query can stand inside another (a data source's own commands): stepped over instead.
    }
    if (FCount < 0) {
      OdbcHandle st = start();
      OdbcRowset rowset(FSession, st.get(), FColumns, FPurpose);
      FCount = rowset.skip(INT64_MAX);
    }
    return FCount;
  }

  void readAt(int64_t offset, int n, std::vector<TRow>& out) override
  {
    out.clear();
    if (n <= 0 || offset < 0 || (FCount >= 0 && offset >= FCount))
      return;
    if (!FRowset || offset < FBufferStart)
      adopt(start());
    // Rows before the reading are dropped: memory holds what is asked and a rowset.
    const int64_t drop = std::min<int64_t>(offset - FBufferStart, int64_t(FBuffer.size()));
    FBuffer.erase(FBuffer.begin(), FBuffer.begin() + qsizetype(drop));
    FBufferStart += drop;
    try {
      if (FBufferStart < offset) {
        FNext += FRowset->skip(offset - FBufferStart);
        FBufferStart = FNext;
      }
      while (int64_t(FBuffer.size()) < offset - FBufferStart + n) {
        const int got = FRowset->fetch(FBuffer);
        FNext += got;
        if (got == 0) {
          FCount = FNext;
          break;
        }
      }
    } catch (const EDBEngineError&) {
      // A cursor that failed (cancelled, its connection lost) gives nothing more: the next reading
      // runs the query anew.
      releaseReads();
      throw;
    }
    const int64_t from = offset - FBufferStart;
    if (from >= int64_t(FBuffer.size()))
      return;
    const int64_t take = std::min<int64_t>(n, int64_t(FBuffer.size()) - from);
    out.reserve(size_t(take));
    std::copy(FBuffer.begin() + qsizetype(from), FBuffer.begin() + qsizetype(from + take), std::back_inserter(out));
  }

  // The cursor holds the data source's result open: let it go; a later reading runs the query again.
  void releaseReads() override
  {
    FRowset.reset();
    FStatement = OdbcHandle();
    FBuffer.clear();
  }

  bool canModify(QString* reason) const override
  {
    if (reason)
      *reason = FReadOnly;
    return false;
  }

private:
  OdbcHandle start()
  {
    FRowset.reset();
    FStatement = OdbcHandle();
    OdbcHandle st = FSession.newStatement(FPurpose);
    const std::vector<SQLWCHAR> text = odbcText(FQuery);
    SQLHSTMT h = st.get();
    FSession.prepareQuery(h);
    FSession.run(FPurpose, h, [&] { return SQLExecDirectW(h, const_cast<SQLWCHAR*>(text.data()), SQL_NTS); });
    return st;
  }

  OdbcSession& FSession;
  QString FQuery;
  std::vector<TColumnInfo> FColumns;
  QString FPurpose;
  QString FReadOnly;
  OdbcHandle FStatement;
  std::optional<OdbcRowset> FRowset;
  std::vector<TRow> FBuffer;  // rows from FBufferStart on
  int64_t FBufferStart = 0;
  int64_t FNext = 0;  // position of the row the cursor gives next
  int64_t FCount = -1;
};

bool isQuery(const QString& sql)
{
  // Comments before the first word do not change what the statement is.
  static const QRegularExpression start(QStringLiteral("^(\\s|--[^\\n]*\\n|/\\*.*?\\*/)*SELECT\\b"),
                                        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
  return start.match(sql).hasMatch();
}

// Whether text goes on after a semicolon that ends a statement: outside quotes ('...', "...", `...`,
// with doubled quotes and backslash escapes) and comments (--, #, /* */), something but blanks and
// comments follows it.
bool holdsSeveralStatements(const QString& sql)
{
  bool ended = false;
  for (qsizetype i = 0; i < sql.size(); ++i) {
    const QChar c = sql.at(i);
    const QChar next = i + 1 < sql.size() ? sql.at(i + 1) : QChar();
    if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`')) {
      if (ended)
        return true;
      for (++i; i < sql.size() && sql.at(i) != c; ++i)
        if (sql.at(i) == QLatin1Char('\\') && c != QLatin1Char('`'))
          ++i;
    } else if ((c == QLatin1Char('-') && next == QLatin1Char('-')) || c == QLatin1Char('#')) {
      while (i < sql.size() && sql.at(i) != QLatin1Char('\n'))
        ++i;
    } else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
      const qsizetype end = sql.indexOf(QStringLiteral("*/"), i + 2);
      i = end < 0 ? sql.size() : end + 1;
    } else if (c == QLatin1Char(';')) {
      ended = true;
    } else if (ended && !c.isSpace()) {
      return true;
    }
  }
  return false;
}

}  // namespace

TExecResult executeOdbc(OdbcSession& session, const QString& sql)
{
  // Several statements in one call are a batch that not every data source takes, and MariaDB's
  // driver, refusing one, keeps the connection locked to the thread that sent it: one at a time.
  if (holdsSeveralStatements(sql))
    throw EDBEngineError(runWords, QStringLiteral("Through ODBC, run one statement at a time: select it and run the selection."));
  OdbcHandle st = session.newStatement(runWords);
  SQLHSTMT h = st.get();
  const bool query = isQuery(sql);
  if (query)
    session.prepareQuery(h);
  const std::vector<SQLWCHAR> text = odbcText(sql);
  session.run(runWords, h, [&] { return SQLExecDirectW(h, const_cast<SQLWCHAR*>(text.data()), SQL_NTS); });
  TExecResult result;
  SQLSMALLINT columns = 0;
  SQLNumResultCols(h, &columns);
  if (columns == 0) {
    SQLLEN affected = -1;
    SQLRowCount(h, &affected);
    result.RowsAffected = affected;
    return result;
  }
  std::vector<TColumnInfo> fields = describeOdbcResult(h, runWords);
  const QString readOnly = QStringLiteral("The result of a query cannot be edited.");
  result.RowsAffected = 0;
  if (query) {
    auto rows = std::make_unique<OdbcCursorRows>(session, sql, std::move(fields), runWords, readOnly);
    rows->adopt(std::move(st));
    result.Rows = std::move(rows);
    return result;
  }
  std::vector<TRow> kept;
  OdbcRowset rowset(session, h, fields, runWords);
  while (rowset.fetch(kept) > 0) {
  }
  result.Rows = keptRows(std::move(fields), std::move(kept));
  return result;
}

std::unique_ptr<TRowSource> openOdbcQueryRows(OdbcSession& session, const QString& query, std::vector<TColumnInfo> columns,
                                              const QString& purpose, const QString& readOnlyReason)
{
  return std::make_unique<OdbcCursorRows>(session, query, std::move(columns), purpose, readOnlyReason);
}
