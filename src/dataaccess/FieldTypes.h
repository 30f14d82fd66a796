#pragma once

#include <QString>

// The engine's field data types. The ordinals are fixed: views and file formats index tables by them.
enum TFieldType : unsigned char {
  ftUnknown = 0, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD,
  ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic, ftFmtMemo,
  ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar, ftWideString, ftLargeint, ftADT,
  ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob, ftVariant, ftInterface, ftIDispatch, ftGuid
};

constexpr int ftLastFieldType = ftGuid;

// The enumerator's own name ("ftString"), for messages and tests.
QString fieldTypeIdentifier(TFieldType type);

bool isIntegerType(TFieldType type);
bool isBlobType(TFieldType type);   // binary and text large objects
bool isMemoType(TFieldType type);   // text large objects
