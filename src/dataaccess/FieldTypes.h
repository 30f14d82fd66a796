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

// The groupings every caller uses; none of them is spelled out anywhere else.
bool isIntegerType(TFieldType type);   // smallint, integer, word, autoinc, largeint
bool isFloatType(TFieldType type);     // float, currency: binary floating point
bool isNumericType(TFieldType type);   // integers, floats and exact decimals (ftBCD)
bool isDateTimeType(TFieldType type);  // date, time, date-and-time
// A value written as one scalar text: numbers, Booleans, dates and times.
bool isScalarType(TFieldType type);
// Short text: string, fixed char, wide string, GUID.
bool isStringType(TFieldType type);
bool isBlobType(TFieldType type);   // binary and text large objects
bool isMemoType(TFieldType type);   // text large objects
// Values typed in are kept as the text itself (strings, memos, and types with no form of their own).
bool isTextInputType(TFieldType type);
