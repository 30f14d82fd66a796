#include "dataaccess/FieldTypes.h"

QString fieldTypeIdentifier(TFieldType type)
{
  static const char* const names[] = {
    "ftUnknown", "ftString", "ftSmallint", "ftInteger", "ftWord", "ftBoolean", "ftFloat", "ftCurrency",
    "ftBCD", "ftDate", "ftTime", "ftDateTime", "ftBytes", "ftVarBytes", "ftAutoInc", "ftBlob", "ftMemo",
    "ftGraphic", "ftFmtMemo", "ftParadoxOle", "ftDBaseOle", "ftTypedBinary", "ftCursor", "ftFixedChar",
    "ftWideString", "ftLargeint", "ftADT", "ftArray", "ftReference", "ftDataSet", "ftOraBlob", "ftOraClob",
    "ftVariant", "ftInterface", "ftIDispatch", "ftGuid"};
  if (type > ftLastFieldType)
    return QStringLiteral("ft(%1)").arg(int(type));
  return QString::fromLatin1(names[type]);
}

bool isIntegerType(TFieldType type)
{
  switch (type) {
  case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint: return true;
  default: return false;
  }
}

bool isFloatType(TFieldType type)
{
  return type == ftFloat || type == ftCurrency;
}

bool isNumericType(TFieldType type)
{
  return isIntegerType(type) || isFloatType(type) || type == ftBCD;
}

bool isDateTimeType(TFieldType type)
{
  return type == ftDate || type == ftTime || type == ftDateTime;
}

bool isScalarType(TFieldType type)
{
  return isNumericType(type) || isDateTimeType(type) || type == ftBoolean;
}

bool isStringType(TFieldType type)
{
  return type == ftString || type == ftFixedChar || type == ftWideString || type == ftGuid;
}

bool isBlobType(TFieldType type)
{
  switch (type) {
  case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: case ftParadoxOle: case ftDBaseOle:
  case ftTypedBinary: case ftOraBlob: case ftOraClob: return true;
  default: return false;
  }
}

bool isMemoType(TFieldType type)
{
  return type == ftMemo || type == ftFmtMemo || type == ftOraClob;
}

bool isTextInputType(TFieldType type)
{
  return isStringType(type) || isMemoType(type) || type == ftUnknown;
}
