#pragma once

#include "dataaccess/Value.h"

#include <QString>

class TRowSpill;
struct sqlite3;
struct sqlite3_stmt;
namespace SqliteWork {
struct State;
}

// Raises the connection's last error as an engine error, with the engine's own words first.
// position: where in the statement text the fault lies (see EDBEngineError::Position).
[[noreturn]] void raiseSqliteError(sqlite3* db, const QString& engineMessage, int position = -1);

// A prepared statement that finalizes itself. Steps raise engine errors in the given words.
class SqliteStatement {
public:
  SqliteStatement(sqlite3* db, const QString& sql, const QString& purpose);
  // Takes over a statement prepared elsewhere.
  SqliteStatement(sqlite3* db, sqlite3_stmt* stmt, const QString& purpose);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  void bind(int index, const TValue& value);  // 1-based
  void bindText(int index, const QString& value);
  void bindInteger(int index, int64_t value);
  bool step();    // true with a row, false when done
  void reset();   // back to the start, bindings kept; releases the read lock
  int columnCount() const;
  TValue value(int column) const;
  void readRow(TRow& row) const;  // every column
  // Every column into the spill, as readRow would read them; TRowSpill::endRow's answer.
  bool spillRow(TRowSpill& spill) const;
  QString text(int column) const;
  int64_t integer(int column) const;
  bool readOnly() const;
  sqlite3_stmt* handle() const { return FStmt; }

private:
  sqlite3* FDb;
  sqlite3_stmt* FStmt = nullptr;
  QString FPurpose;
  SqliteWork::State* FWork;  // the connection's long-call watch, looked up once
};
