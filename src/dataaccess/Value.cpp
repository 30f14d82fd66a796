#include "dataaccess/Value.h"

bool TValue::operator==(const TValue& other) const
{
  if (FKind != other.FKind)
    return false;
  switch (FKind) {
  case Null: return true;
  case Integer: return FInt == other.FInt;
  case Float: return FFloat == other.FFloat;
  case Text:
  case Bytes: return FBytes == other.FBytes;
  }
  return false;
}
