#pragma once

#include "dataaccess/FieldTypes.h"

#include <QString>

struct TSqliteFieldType {
  TFieldType DataType = ftUnknown;
  int Size = 0;
  int Precision = 0;
};

// Field type of a column from its declared type (see docs/sqlite-types.md). isRowIdAlias is true for
// the INTEGER PRIMARY KEY column of a rowid table, which SQLite numbers by itself.
TSqliteFieldType sqliteFieldType(const QString& declaredType, bool isRowIdAlias = false);
