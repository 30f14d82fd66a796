#pragma once

#include "dataaccess/FieldTypes.h"
#include "dataaccess/Value.h"

#include <QString>

struct TSqliteFieldType {
  TFieldType DataType = ftUnknown;
  int Size = 0;
  int Precision = 0;
};

// Field type of a column from its declared type (see docs/sqlite-types.md). isRowIdAlias is true for
// the INTEGER PRIMARY KEY column of a rowid table whose values all fit in 32 bits, which SQLite
// numbers by itself.
TSqliteFieldType sqliteFieldType(const QString& declaredType, bool isRowIdAlias = false);

// Storage classes met among a result column's values, as bits.
enum TSqliteClassSeen : unsigned {
  scInteger = 1, scFloat = 2, scText = 4, scBlob = 8
};

// The storage class bit of a value, 0 for NULL.
unsigned sqliteClassOf(const TValue& value);

// Field type of a result column that has no declared type, from the storage classes of its non-NULL
// values: one class gives its own type, integers with floats give ftFloat, anything else (or nothing
// seen) ftVariant.
TFieldType sqliteFieldTypeOfClasses(unsigned classesSeen);
