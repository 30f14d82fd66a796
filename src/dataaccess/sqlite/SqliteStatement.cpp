#include "dataaccess/sqlite/SqliteStatement.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/EngineWait.h"
#include "dataaccess/RowSpill.h"
#include "dataaccess/sqlite/SqliteWork.h"

#include <sqlite3.h>

void raiseSqliteError(sqlite3* db, const QString& engineMessage, int position)
{
  const int code = db ? sqlite3_extended_errcode(db) : SQLITE_ERROR;
  QString dbMessage = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(code));
  // SQLite's words for a file deleted or renamed while open read as if the file were write-protected.
  if (code == SQLITE_READONLY_DBMOVED)
    dbMessage = QStringLiteral("The database file was deleted or moved while it was open: %1").arg(dbMessage);
  // A call the user stopped says so first, in plain words.
  const bool cancelled = db && SqliteWork::cancelled(db) && ((code & 0xff) == SQLITE_INTERRUPT || (code & 0xff) == SQLITE_BUSY);
  EDBEngineError error(std::vector<TDBError>{{cancelled ? statementCancelledText() : engineMessage, DBErrorCode::Statement, 0},
                                             {dbMessage, DBErrorCode::Database, code}});
  error.SetPosition(position);
  throw error;
}

SqliteStatement::SqliteStatement(sqlite3* db, const QString& sql, const QString& purpose)
    : FDb(db), FPurpose(purpose), FWork(SqliteWork::stateOf(db))
{
  TEngineWait::checkIdle();
  const QByteArray text = sql.toUtf8();
  SqliteWork::Scope work(FWork);  // reading the schema may wait for a lock
  if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &FStmt, nullptr) != SQLITE_OK)
    raiseSqliteError(db, purpose);
}

SqliteStatement::SqliteStatement(sqlite3* db, sqlite3_stmt* stmt, const QString& purpose)
    : FDb(db), FStmt(stmt), FPurpose(purpose), FWork(SqliteWork::stateOf(db))
{
}

SqliteStatement::~SqliteStatement()
{
  sqlite3_finalize(FStmt);
}

void SqliteStatement::bind(int index, const TValue& value)
{
  switch (value.kind()) {
  case TValue::Null: sqlite3_bind_null(FStmt, index); break;
  case TValue::Integer: sqlite3_bind_int64(FStmt, index, value.asInteger()); break;
  case TValue::Float: sqlite3_bind_double(FStmt, index, value.asFloat()); break;
  case TValue::Text:
    sqlite3_bind_text64(FStmt, index, value.rawBytes().constData(), sqlite3_uint64(value.rawBytes().size()),
                        SQLITE_TRANSIENT, SQLITE_UTF8);
    break;
  case TValue::Bytes:
    sqlite3_bind_blob64(FStmt, index, value.rawBytes().constData(), sqlite3_uint64(value.rawBytes().size()),
                        SQLITE_TRANSIENT);
    break;
  }
}

void SqliteStatement::bindText(int index, const QString& value)
{
  bind(index, TValue::text(value));
}

void SqliteStatement::bindInteger(int index, int64_t value)
{
  sqlite3_bind_int64(FStmt, index, value);
}

bool SqliteStatement::step()
{
  SqliteWork::Scope work(FWork);
  const int rc = sqlite3_step(FStmt);
  if (rc == SQLITE_ROW)
    return true;
  if (rc == SQLITE_DONE)
    return false;
  sqlite3_reset(FStmt);
  raiseSqliteError(FDb, FPurpose);
}

void SqliteStatement::reset()
{
  sqlite3_reset(FStmt);
}

int SqliteStatement::columnCount() const
{
  return sqlite3_column_count(FStmt);
}

TValue SqliteStatement::value(int column) const
{
  switch (sqlite3_column_type(FStmt, column)) {
  case SQLITE_INTEGER: return TValue::integer(sqlite3_column_int64(FStmt, column));
  case SQLITE_FLOAT: return TValue::real(sqlite3_column_double(FStmt, column));
  case SQLITE_TEXT: {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(FStmt, column));
    return TValue::text(QByteArray(p, sqlite3_column_bytes(FStmt, column)));
  }
  case SQLITE_BLOB: {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(FStmt, column));
    return TValue::bytes(QByteArray(p, sqlite3_column_bytes(FStmt, column)));
  }
  default: return TValue();
  }
}

namespace {

// Hands each column of the statement's row to the sink, as the kind of value SQLite stored.
template <class Sink> void eachColumn(sqlite3_stmt* stmt, int n, Sink&& sink)
{
  for (int i = 0; i < n; ++i) {
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER: sink.integer(i, sqlite3_column_int64(stmt, i)); break;
    case SQLITE_FLOAT: sink.real(i, sqlite3_column_double(stmt, i)); break;
    case SQLITE_TEXT: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
      sink.bytes(i, TValue::Text, p, sqlite3_column_bytes(stmt, i));
      break;
    }
    case SQLITE_BLOB: {
      const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt, i));
      sink.bytes(i, TValue::Bytes, p, sqlite3_column_bytes(stmt, i));
      break;
    }
    default: sink.null(i);
    }
  }
}

}  // namespace

void SqliteStatement::readRow(TRow& row) const
{
  struct Into {
    TRow& Row;
    void integer(int i, int64_t v) { Row[size_t(i)].setInteger(v); }
    void real(int i, double v) { Row[size_t(i)].setFloat(v); }
    void bytes(int i, TValue::Kind kind, const char* p, int n) { Row[size_t(i)].setBytes(kind, p, n); }
    void null(int i) { Row[size_t(i)].setNull(); }
  };
  const int n = columnCount();
  row.resize(size_t(n));
  eachColumn(FStmt, n, Into{row});
}

bool SqliteStatement::spillRow(TRowSpill& spill) const
{
  struct Into {
    TRowSpill& Spill;
    void integer(int, int64_t v) { Spill.addInteger(v); }
    void real(int, double v) { Spill.addFloat(v); }
    void bytes(int, TValue::Kind kind, const char* p, int n) { Spill.addBytes(kind, p, n); }
    void null(int) { Spill.addNull(); }
  };
  const int n = columnCount();
  spill.beginRow(n);
  eachColumn(FStmt, n, Into{spill});
  return spill.endRow();
}

QString SqliteStatement::text(int column) const
{
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(FStmt, column));
  return p ? QString::fromUtf8(p, sqlite3_column_bytes(FStmt, column)) : QString();
}

int64_t SqliteStatement::integer(int column) const
{
  return sqlite3_column_int64(FStmt, column);
}

bool SqliteStatement::readOnly() const
{
  return sqlite3_stmt_readonly(FStmt) != 0;
}
