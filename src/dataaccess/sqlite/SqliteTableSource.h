#pragma once

#include "dataaccess/Driver.h"

struct sqlite3;

// A table's rows in key order. Tables with a primary key (or a row id) are read by key ranges, so
// any block of rows costs an index seek whatever its depth; the row id rides along as a hidden value.
std::unique_ptr<TRowSource> openSqliteTable(sqlite3* db, const QString& tableName, const TTableDescription& description);
// Lets the connection note the key at regular places while it counts a table's rows.
void registerSqliteRowMarks(sqlite3* db);
