#pragma once

#include "dataaccess/FieldTypes.h"
#include "dataaccess/Value.h"

#include <QDateTime>
#include <QString>
#include <optional>
#include <memory>
#include <vector>

class TDataSet;

// The definition of one column of a dataset, as the driver described it.
struct TFieldDef {
  QString Name;
  TFieldType DataType = ftUnknown;
  int Size = 0;       // string length; for ftBCD the digits after the point
  int Precision = 0;  // for ftBCD the total number of digits
  bool Required = false;
  int FieldNo = 0;    // 1-based position in the record
  bool InIndex = false;  // member of the index the dataset is open on
  bool ReadOnly = false;
};

class TFieldDefs {
public:
  int Count() const { return int(FItems.size()); }
  const TFieldDef& Items(int index) const { return FItems.at(size_t(index)); }
  const TFieldDef& operator[](int index) const { return Items(index); }
  void Clear() { FItems.clear(); }
  void Add(TFieldDef def) { FItems.push_back(std::move(def)); }
  const TFieldDef* Find(const QString& name) const;

private:
  std::vector<TFieldDef> FItems;
};

enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc };

// A field of an open dataset: reads the current record's value.
class TField {
public:
  TField(TDataSet& dataSet, const TFieldDef& def, int index);
  virtual ~TField() = default;

  QString FieldName() const { return FFieldName; }
  TFieldType DataType() const { return FDataType; }
  int Size() const { return FSize; }
  int FieldNo() const { return FFieldNo; }
  int Index() const { return FIndex; }
  TFieldKind FieldKind() const { return fkData; }
  bool Required() const { return FRequired; }
  bool ReadOnly = false;
  QString DisplayLabel;
  int DisplayWidth = 0;
  QString EditMask;
  // Member of the index on which the dataset is open.
  bool IsIndexField() const { return FIsIndexField; }

  TDataSet& DataSet() const { return FDataSet; }
  const TValue& Value() const;
  bool IsNull() const { return Value().isNull(); }
  // The value as text by the process's format settings; null is the empty text.
  virtual QString AsString() const;
  // Date and time fields: the stored value read as a date and time (UTC, with milliseconds).
  std::optional<QDateTime> AsDateTime() const;
  // Memo and binary fields: the whole content as bytes; other fields: AsString in UTF-8.
  QByteArray AsBytes() const;

  // Changing the value needs the dataset in edit or insert mode.
  void SetValue(const TValue& value);
  void Clear() { SetValue(TValue()); }
  // Text read by the field's type and the process's format settings; text that does not read
  // raises an error naming the field and the text, and the value stays as it was.
  void SetAsString(const QString& text);
  // The text an editor shows for the value: AsString, but exact where display forms round.
  QString EditText() const;

private:
  TDataSet& FDataSet;
  QString FFieldName;
  TFieldType FDataType;
  int FSize;
  int FFieldNo;
  int FIndex;
  bool FRequired;
  bool FIsIndexField;
};

class TBlobField : public TField {
public:
  using TField::TField;
};

// Text large objects.
class TMemoField : public TBlobField {
public:
  using TBlobField::TBlobField;
};

std::unique_ptr<TField> createField(TDataSet& dataSet, const TFieldDef& def, int index);
