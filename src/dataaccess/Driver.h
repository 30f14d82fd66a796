#pragma once

#include "dataaccess/AliasConfig.h"
#include "dataaccess/FieldTypes.h"
#include "dataaccess/Value.h"

#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// What a driver says about one column of a table or of a result.
struct TColumnInfo {
  QString Name;
  TFieldType DataType = ftUnknown;
  int Size = 0;
  int Precision = 0;
  bool Required = false;
  int KeyPosition = 0;  // 1-based place in the primary key, 0 when not a member
  bool ReadOnly = false;  // computed by the database (generated columns)
  QString DeclaredType; // as the database declares it, for messages and documentation
};

struct TTableDescription {
  std::vector<TColumnInfo> Columns;
  bool HasRowId = false;  // rows can be found by a row id when there is no key
};

// Rows of a table or a query result, read by position: nothing is read that is not asked for, so a
// source of a hundred million rows costs what the asked rows cost. A row may carry hidden values
// after the visible columns (a row id to find it again). Every failure is an EDBEngineError.
class TRowSource {
public:
  virtual ~TRowSource() = default;
  virtual const std::vector<TColumnInfo>& columns() const = 0;
  // Exact number of rows, asked of the database without reading them all into memory.
  virtual int64_t count() = 0;
  // Up to n rows from position offset on (fewer at the end). Rows already in out are storage the
  // source may reuse; what it leaves there is exactly the rows read.
  virtual void readAt(int64_t offset, int n, std::vector<TRow>& out) = 0;
  // Keyed sources: up to n rows right after, or right before, a row they returned, in order.
  // False when the source cannot seek by key; then readAt serves.
  virtual bool readAfter(const TRow& row, int n, std::vector<TRow>& out);
  virtual bool readBefore(const TRow& row, int n, std::vector<TRow>& out);
  // Position of a row by its key, -1 when the source cannot tell or the row is gone.
  virtual int64_t positionOf(const TRow& row);
  // Forgets what it remembers of the data (its count), so that the next reading sees what others
  // changed meanwhile.
  virtual void refresh() {}
  // Lets go of what the source holds open in the database between readings (a read lock, an open
  // statement), so that other sessions are not held up by a result the user only looks at. The next
  // reading takes up at the same place; nothing that could change data is run again.
  virtual void releaseReads() {}

  // Editing. canModify says why not in *reason. Writes use bound parameters and find their row by
  // key (or row id) with its original values, so a row that another session changed or removed
  // meanwhile is noticed: that raises EDBEngineError and nothing is written.
  virtual bool canModify(QString* reason) const;
  virtual void updateRow(const TRow& original, const TRow& changed);
  // Returns the row as stored, defaults and generated values included.
  virtual TRow insertRow(const TRow& values);
  virtual void deleteRow(const TRow& original);

protected:
  // Raises canModify's reason as an engine error when the rows cannot be edited.
  void requireModifiable() const;
};

// True when the row holds every column of the key (row indexes) and none of them is NULL: a key
// range needs them all, and a NULL in a legacy key orders but never compares.
bool keyComplete(const TRow& row, const std::vector<int>& key);

// What a driver tells the user when a write matched no row as it was read: the row looked up again by
// its key says whether another user deleted it (now null) or changed it. lookedUp false: the row
// could not be looked up by a key, and either may have happened.
QString unmatchedRowReason(bool lookedUp, const TRow* now, const TRow& original);
// Why a table without a primary key cannot be edited.
QString noKeyReason(const QString& tableName);

// Rows a statement returned as it ran (INSERT ... RETURNING and the like): kept in memory, since
// running the statement again would do it again.
std::unique_ptr<TRowSource> keptRows(std::vector<TColumnInfo> columns, std::vector<TRow> rows);

// The outcome of a statement: its rows when it returned any, and the rows it changed.
struct TExecResult {
  std::unique_ptr<TRowSource> Rows;  // null when the statement returned no result set
  int64_t RowsAffected = -1;         // below 0 when unknown
};

// One open connection to a database. Every failure is an EDBEngineError.
class TDriverConnection {
public:
  virtual ~TDriverConnection() = default;
  // Told when the link to the server is found broken (true), and when a later command has made it
  // again (false). Drivers without a server never call it.
  std::function<void(bool lost)> ConnectionStateChanged;
  // User tables and views, each name usable as a table name; pattern uses * and ? (empty: all).
  virtual QStringList tableNames(const QString& pattern, bool systemTables) = 0;
  virtual TTableDescription describeTable(const QString& tableName) = 0;
  // A table's rows in primary key order, every column of the description.
  virtual std::unique_ptr<TRowSource> openTable(const QString& tableName, const TTableDescription& description) = 0;
  // Carries out the text: several statements in order, the last one's rows and count are the result.
  virtual TExecResult execute(const QString& sql) = 0;
};

class TDriver {
public:
  virtual ~TDriver() = default;
  virtual QString name() const = 0;
  // Connects with the alias's settings; user and password come from the login, never from the file.
  virtual std::unique_ptr<TDriverConnection> connect(const TAliasConfig& alias, const QString& user,
                                                     const QString& password) = 0;
};

// The drivers the engine knows, by name (compared without regard to case); nullptr when unknown.
TDriver* findDriver(const QString& name);
QStringList driverNames();
