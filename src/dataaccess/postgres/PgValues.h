#pragma once

#include "dataaccess/FieldTypes.h"
#include "dataaccess/Value.h"

#include <QByteArray>
#include <QString>

// Type OIDs of the built-in types the driver treats specially (fixed in every PostgreSQL release).
namespace PgOid {
constexpr unsigned Bool = 16, Bytea = 17, Char = 18, Name = 19, Int8 = 20, Int2 = 21, Int4 = 23, Text = 25,
                   Oid = 26, Xid = 28, Cid = 29, Json = 114, Xml = 142, Cidr = 650, Float4 = 700, Float8 = 701,
                   MacAddr8 = 774, Money = 790, MacAddr = 829, Inet = 869, BpChar = 1042, VarChar = 1043,
                   Date = 1082, Time = 1083, Timestamp = 1114, TimestampTz = 1184, Interval = 1186,
                   TimeTz = 1266, Bit = 1560, VarBit = 1562, Numeric = 1700, Uuid = 2950, PgLsn = 3220,
                   Jsonb = 3802;
}

// What the catalog says about a column's type, domains already followed to their base type.
struct PgTypeFacts {
  unsigned BaseOid = 0;
  int Typmod = -1;         // of the column, or of the innermost domain that sets one
  char Category = 'X';     // pg_type.typcategory of the base type
  char Kind = 'b';         // pg_type.typtype of the base type: b(ase), e(num), c(omposite), r(ange), ...
  int EnumLabelLength = 0; // longest label of an enum, in characters
  bool NotNull = false;    // a domain on the way to the base type refuses NULL
  QString Name;            // as format_type spells the declared type
};

struct PgFieldType {
  TFieldType DataType = ftUnknown;
  int Size = 0;
  int Precision = 0;
};

// The engine field type of a column (see docs/postgres-types.md). numbered: an integer column whose
// default draws from a sequence, or an identity column.
PgFieldType pgFieldType(const PgTypeFacts& type, bool numbered = false);

// How a column's text, as the server sends it, becomes a value.
enum class PgReadAs : unsigned char { Text, Integer, Float, Boolean, Bytes, Money, TimestampTz };
PgReadAs pgReadAs(unsigned baseOid);
TValue pgReadValue(const char* data, int length, PgReadAs how);

// A value as a bound parameter: text the server casts to the column's type, or raw bytes for bytea.
struct PgParam {
  QByteArray Data;
  bool Null = true;
  bool Binary = false;
  unsigned Type = 0;  // 0: let the server infer it
};
PgParam pgParam(const TValue& value, unsigned typeOid);

// Types whose equality operator tells two stored values apart exactly; others are compared by text.
bool pgHasExactEquality(unsigned baseOid);
