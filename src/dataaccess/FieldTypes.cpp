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
