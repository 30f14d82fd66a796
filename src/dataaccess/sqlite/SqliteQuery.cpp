#include "dataaccess/sqlite/SqliteQuery.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/RowSpill.h"
#include "dataaccess/SqlText.h"
#include "dataaccess/sqlite/SqliteStatement.h"
#include "dataaccess/sqlite/SqliteTypeMapping.h"
#include "dataaccess/sqlite/SqliteWork.h"

#include <sqlite3.h>

namespace {

const QString runWords = QStringLiteral("Cannot run the statement.");

// Rows read when a statement opens: the first block its reader asks for (see TRowCache), and enough
// values to type the columns that declare nothing, for a fraction of a millisecond on simple rows.
constexpr int readAheadRows = 512;

// Column types: the declared type where the column comes from a table column, else the storage
// classes of the values in the rows at hand. A single row would do for neither a NULL first row nor a
// column whose classes vary.
std::vector<TColumnInfo> describeResult(sqlite3_stmt* stmt, const std::vector<TRow>& rows)
{
  std::vector<TColumnInfo> columns;
  const int n = sqlite3_column_count(stmt);
  for (int i = 0; i < n; ++i) {
    TColumnInfo c;
    c.Name = QString::fromUtf8(sqlite3_column_name(stmt, i));
    const char* declared = sqlite3_column_decltype(stmt, i);
    if (declared) {
      c.DeclaredType = QString::fromUtf8(declared);
      const TSqliteFieldType t = sqliteFieldType(c.DeclaredType);
      c.DataType = t.DataType;
      c.Size = t.Size;
      c.Precision = t.Precision;
    } else {
      unsigned seen = 0;
      for (const TRow& row : rows)
        seen |= sqliteClassOf(row[size_t(i)]);
      c.DataType = sqliteFieldTypeOfClasses(seen);
    }
    columns.push_back(c);
  }
  return columns;
}

// The next row of out to fill, reusing the storage of the rows out already holds.
TRow& slot(std::vector<TRow>& out, size_t& used)
{
  if (used == out.size())
    out.emplace_back();
  return out[used++];
}

// Rows of a statement that changes nothing: read on demand. The first rows are read when it opens
// and kept, so the first block costs no second run; going on from where the last reading stopped
// continues the live statement; a jump re-runs the statement wrapped with LIMIT/OFFSET, until the
// count has kept the rows in a temporary file.
class SqliteQueryRows : public TRowSource {
public:
  SqliteQueryRows(sqlite3* db, sqlite3_stmt* stmt, QString sqlText)
      : FDb(db), FSql(std::move(sqlText)), FLive(std::make_unique<SqliteStatement>(db, stmt, runWords))
  {
    FAhead.reserve(readAheadRows);
    while (int(FAhead.size()) < readAheadRows) {
      if (!FLive->step()) {
        finishLive();
        break;
      }
      FAhead.emplace_back();
      FLive->readRow(FAhead.back());
    }
    FLivePos = int64_t(FAhead.size());
    if (FLiveDone)
      FCount = FLivePos;
    FColumns = describeResult(stmt, FAhead);
    // A statement that can stand as a subquery can be counted and entered anywhere cheaply.
    QString trimmed = FSql.trimmed();
    while (trimmed.endsWith(QLatin1Char(';')))
      trimmed.chop(1);
    sqlite3_stmt* probe = nullptr;
    const QByteArray wrapped = QStringLiteral("SELECT count(*) FROM (%1\n)").arg(trimmed).toUtf8();
    if (sqlite3_prepare_v2(db, wrapped.constData(), int(wrapped.size()), &probe, nullptr) == SQLITE_OK && probe) {
      FWrappable = true;
      FInner = trimmed;
    }
    sqlite3_finalize(probe);
  }

  const std::vector<TColumnInfo>& columns() const override { return FColumns; }

  // Counted by running the statement again to its end. Its rows go to a temporary file on the way, so
  // that a jump to any place afterwards is a seek in the file instead of a walk from the start, and
  // every place shows the rows of one and the same run.
  int64_t count() override
  {
    if (FCount >= 0)
      return FCount;
    SqliteWork::Scope work(FDb);  // one call however many steps it takes
    SqliteStatement st(FDb, FSql, runWords);
    auto spill = std::make_unique<TRowSpill>();
    bool spilling = !spill->failed();
    int64_t n = 0;
    while (st.step()) {
      if (spilling)
        spilling = st.spillRow(*spill);
      ++n;
    }
    if (spilling && spill->finish()) {
      FSpill = std::move(spill);
      releaseReads();  // every later reading comes from the file
    }
    FCount = n;
    return FCount;
  }

  void readAt(int64_t offset, int n, std::vector<TRow>& out) override
  {
    if (FSpill) {
      FSpill->read(offset, n, out);
      return;
    }
    SqliteWork::Scope work(FDb);
    size_t used = 0;
    if (n > 0 && offset >= 0) {
      const int64_t end = offset + n;
      int64_t pos = offset;
      for (; pos < end && pos < int64_t(FAhead.size()); ++pos)
        slot(out, used) = FAhead[size_t(pos)];
      if (pos < end && (FCount < 0 || pos < FCount))
        readLive(pos, end, out, used);
    }
    out.resize(used);
  }

  // The live statement keeps a read transaction open on the file: let it go. The next reading past
  // the rows read ahead runs the statement wrapped at the place it needs (or, for a statement that
  // cannot be wrapped, again from the start: it is read-only, so running it again changes nothing).
  void releaseReads() override
  {
    if (!FLiveDone) {
      finishLive();
      FReleased = true;
    }
  }

private:
  // Rows from pos up to end, after the rows read ahead.
  void readLive(int64_t pos, int64_t end, std::vector<TRow>& out, size_t& used)
  {
    constexpr int64_t skipLimit = 10000;  // stepping over a few rows beats running the statement again
    if (FReleased && FWrappable) {
      // Taking up after a release: a statement of its own starts where the reading is and reads on.
      FLive = std::make_unique<SqliteStatement>(FDb, QStringLiteral("SELECT * FROM (%1\n) LIMIT -1 OFFSET ?1").arg(FInner), runWords);
      FLive->bindInteger(1, pos);
      FLivePos = pos;
      FLiveDone = false;
    }
    FReleased = false;
    if (FLiveDone || pos < FLivePos || pos - FLivePos > skipLimit) {
      if (FWrappable) {
        SqliteStatement st(FDb, QStringLiteral("SELECT * FROM (%1\n) LIMIT ?1 OFFSET ?2").arg(FInner), runWords);
        st.bindInteger(1, end - pos);
        st.bindInteger(2, pos);
        while (st.step())
          st.readRow(slot(out, used));
        return;
      }
      FLive->reset();
      FLivePos = 0;
      FLiveDone = false;
    }
    while (FLivePos < end) {
      if (!FLive->step()) {
        finishLive();
        FCount = FLivePos;
        return;
      }
      if (FLivePos >= pos)
        FLive->readRow(slot(out, used));
      ++FLivePos;
    }
  }

  // A statement stepped to its end must not be stepped again: SQLite would start it over. Resetting
  // it also ends its read of the database.
  void finishLive()
  {
    FLiveDone = true;
    FLive->reset();
  }

  sqlite3* FDb;
  QString FSql;
  QString FInner;
  bool FWrappable = false;
  std::unique_ptr<SqliteStatement> FLive;
  int64_t FLivePos = 0;  // position of the row the live statement gives next
  bool FLiveDone = false;
  bool FReleased = false;  // the live statement was let go before its end
  std::vector<TRow> FAhead;  // the rows read when the statement opened, positions 0 on
  std::unique_ptr<TRowSpill> FSpill;  // every row, once counted
  std::vector<TColumnInfo> FColumns;
  int64_t FCount = -1;
};


}  // namespace

TExecResult executeSqlite(sqlite3* db, const QString& sql)
{
  const QByteArray text = sql.toUtf8();
  const char* tail = text.constData();
  const char* end = text.constData() + text.size();
  TExecResult result;
  // The whole text is one call for the busy box, however many short steps its statements take.
  SqliteWork::Scope work(db);
  for (;;) {
    sqlite3_stmt* stmt = nullptr;
    const char* next = nullptr;
    int prepared = SQLITE_OK;
    {
      SqliteWork::Scope work(db);  // reading the schema may wait for another process's lock
      prepared = sqlite3_prepare_v2(db, tail, int(end - tail), &stmt, &next);
    }
    if (prepared != SQLITE_OK) {
      // SQLite names the byte of the statement it stumbled on; the editor counts in UTF-16 units.
      const int at = sqlite3_error_offset(db);
      raiseSqliteError(db, runWords, at < 0 ? -1 : int(QString::fromUtf8(text.constData(), (tail - text.constData()) + at).size()));
    }
    const QString statementText = QString::fromUtf8(tail, int(next - tail));
    tail = next;
    if (!stmt) {  // only blanks and comments were left
      if (tail >= end || SqlText::isBlank(QString::fromUtf8(tail, int(end - tail))))
        break;
      continue;
    }
    const bool last = tail >= end || SqlText::isBlank(QString::fromUtf8(tail, int(end - tail)));
    const int64_t changesBefore = sqlite3_total_changes64(db);
    if (last && sqlite3_column_count(stmt) > 0) {
      if (sqlite3_stmt_readonly(stmt)) {
        result.Rows = std::make_unique<SqliteQueryRows>(db, stmt, statementText);
      } else {
        SqliteStatement st(db, stmt, runWords);
        std::vector<TRow> rows;
        TRow row;
        while (st.step()) {
          st.readRow(row);
          rows.push_back(row);
        }
        // Every row is at hand: all of them type the columns that declare nothing (before the rows
        // are handed over).
        std::vector<TColumnInfo> columns = describeResult(stmt, rows);
        result.Rows = keptRows(std::move(columns), std::move(rows));
      }
      result.RowsAffected = sqlite3_total_changes64(db) != changesBefore ? sqlite3_changes64(db) : 0;
      return result;
    }
    {
      SqliteStatement st(db, stmt, runWords);
      while (st.step()) {
      }
    }
    // sqlite3_changes keeps the count of the last INSERT, UPDATE or DELETE; a statement that changed
    // nothing (a SELECT, a CREATE) must not report an earlier statement's count.
    result.RowsAffected = sqlite3_total_changes64(db) != changesBefore ? sqlite3_changes64(db) : 0;
    if (last)
      break;
  }
  return result;
}
