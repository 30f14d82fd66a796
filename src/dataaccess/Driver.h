#pragma once

#include "dataaccess/AliasConfig.h"
#include "dataaccess/FieldTypes.h"
#include "dataaccess/Value.h"

#include <QStringList>
#include <cstdint>
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
  QString DeclaredType; // as the database declares it, for messages and documentation
};

struct TTableDescription {
  std::vector<TColumnInfo> Columns;
  bool HasRowId = false;  // rows can be found by a row id when there is no key
};

// A forward cursor over rows; each fetched row has one value per column.
class TDriverCursor {
public:
  virtual ~TDriverCursor() = default;
  virtual const std::vector<TColumnInfo>& columns() const = 0;
  virtual bool fetch(TRow& row) = 0;  // false at the end
};

// One open connection to a database. Every failure is an EDBEngineError.
class TDriverConnection {
public:
  virtual ~TDriverConnection() = default;
  // User tables and views, each name usable as a table name; pattern uses * and ? (empty: all).
  virtual QStringList tableNames(const QString& pattern, bool systemTables) = 0;
  virtual TTableDescription describeTable(const QString& tableName) = 0;
  // All rows of a table, every column of the description, in primary key order.
  virtual std::unique_ptr<TDriverCursor> openTableRows(const QString& tableName,
                                                       const TTableDescription& description) = 0;
  virtual int64_t tableRowCount(const QString& tableName) = 0;
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
