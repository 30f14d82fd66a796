#include "dataaccess/sqlite/SqliteQuery.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/SqlText.h"
#include "dataaccess/sqlite/SqliteStatement.h"
#include "dataaccess/sqlite/SqliteTypeMapping.h"

#include <sqlite3.h>

namespace {

const QString runWords = QStringLiteral("Cannot run the statement.");

TFieldType typeOfValue(const TValue& v)
{
  switch (v.kind()) {
  case TValue::Integer: return ftLargeint;
  case TValue::Float: return ftFloat;
  case TValue::Bytes: return ftBlob;
  default: return ftMemo;
  }
}

// Column types: the declared type where the column comes from a table column, else what the first
// row holds.
std::vector<TColumnInfo> describeResult(sqlite3_stmt* stmt, const TRow* firstRow)
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
      c.DataType = firstRow ? typeOfValue((*firstRow)[size_t(i)]) : ftMemo;
    }
    columns.push_back(c);
  }
  return columns;
}

// Rows of a statement that changes nothing: read on demand. Going on from where the last reading
// stopped continues the live statement; a jump re-runs the statement wrapped with LIMIT/OFFSET.
class SqliteQueryRows : public TRowSource {
public:
  SqliteQueryRows(sqlite3* db, sqlite3_stmt* stmt, QString sqlText)
      : FDb(db), FSql(std::move(sqlText)), FLive(std::make_unique<SqliteStatement>(db, stmt, runWords))
  {
    TRow first;
    FHasPending = FLive->step();
    if (FHasPending)
      FLive->readRow(FPending);
    FColumns = describeResult(stmt, FHasPending ? &FPending : nullptr);
    FLivePos = 0;
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

  int64_t count() override
  {
    if (FCount >= 0)
      return FCount;
    if (FWrappable) {
      SqliteStatement st(FDb, QStringLiteral("SELECT count(*) FROM (%1\n)").arg(FInner), runWords);
      FCount = st.step() ? st.integer(0) : 0;
    } else {
      // Counted by stepping a second run of the statement; no row is kept.
      SqliteStatement st(FDb, FSql, runWords);
      int64_t n = 0;
      while (st.step())
        ++n;
      FCount = n;
    }
    return FCount;
  }

  void readAt(int64_t offset, int n, std::vector<TRow>& out) override
  {
    out.clear();
    if (n <= 0 || offset < 0)
      return;
    constexpr int64_t skipLimit = 10000;  // stepping over a few rows beats running the statement again
    if (offset < FLivePos || offset - FLivePos > skipLimit) {
      if (FWrappable) {
        SqliteStatement st(FDb, QStringLiteral("SELECT * FROM (%1\n) LIMIT ?1 OFFSET ?2").arg(FInner), runWords);
        st.bindInteger(1, n);
        st.bindInteger(2, offset);
        TRow row;
        while (st.step()) {
          st.readRow(row);
          out.push_back(std::move(row));
        }
        return;
      }
      FLive->reset();
      FLivePos = 0;
      FHasPending = false;
    }
    TRow row;
    while (FLivePos < offset + n) {
      if (FHasPending) {
        row = std::move(FPending);
        FHasPending = false;
      } else if (FLive->step()) {
        FLive->readRow(row);
      } else {
        FCount = FLivePos;
        break;
      }
      if (FLivePos >= offset)
        out.push_back(row);
      ++FLivePos;
    }
  }

private:
  sqlite3* FDb;
  QString FSql;
  QString FInner;
  bool FWrappable = false;
  std::unique_ptr<SqliteStatement> FLive;
  int64_t FLivePos = 0;
  TRow FPending;
  bool FHasPending = false;
  std::vector<TColumnInfo> FColumns;
  int64_t FCount = -1;
};

// Rows of a statement that changes data as it returns them (INSERT ... RETURNING): it runs once,
// to the end, and its rows are kept.
class KeptRows : public TRowSource {
public:
  KeptRows(std::vector<TColumnInfo> columns, std::vector<TRow> rows) : FColumns(std::move(columns)), FRows(std::move(rows)) {}
  const std::vector<TColumnInfo>& columns() const override { return FColumns; }
  int64_t count() override { return int64_t(FRows.size()); }
  void readAt(int64_t offset, int n, std::vector<TRow>& out) override
  {
    out.clear();
    for (int64_t i = offset; i < offset + n && i < int64_t(FRows.size()); ++i)
      out.push_back(FRows[size_t(i)]);
  }

private:
  std::vector<TColumnInfo> FColumns;
  std::vector<TRow> FRows;
};

}  // namespace

TExecResult executeSqlite(sqlite3* db, const QString& sql)
{
  const QByteArray text = sql.toUtf8();
  const char* tail = text.constData();
  const char* end = text.constData() + text.size();
  TExecResult result;
  for (;;) {
    sqlite3_stmt* stmt = nullptr;
    const char* next = nullptr;
    if (sqlite3_prepare_v2(db, tail, int(end - tail), &stmt, &next) != SQLITE_OK)
      raiseSqliteError(db, runWords);
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
        result.Rows = std::make_unique<KeptRows>(describeResult(stmt, rows.empty() ? nullptr : &rows.front()), std::move(rows));
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
