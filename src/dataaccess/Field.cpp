#include "dataaccess/Field.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/DataSet.h"
#include "dataaccess/FormatSettings.h"
#include "dataaccess/ValueText.h"

const TFieldDef* TFieldDefs::Find(const QString& name) const
{
  for (const TFieldDef& d : FItems)
    if (d.Name.compare(name, Qt::CaseInsensitive) == 0)
      return &d;
  return nullptr;
}

TField::TField(TDataSet& dataSet, const TFieldDef& def, int index)
    : ReadOnly(def.ReadOnly),
      DisplayLabel(def.Name),
      FDataSet(dataSet),
      FFieldName(def.Name),
      FDataType(def.DataType),
      FSize(def.Size),
      FFieldNo(def.FieldNo),
      FIndex(index),
      FRequired(def.Required),
      FIsIndexField(def.InIndex)
{
}

const TValue& TField::Value() const
{
  return FDataSet.CurrentValue(FIndex);
}

QString TField::AsString() const
{
  return valueText(Value(), FDataType, FormatSettings());
}

std::optional<QDateTime> TField::AsDateTime() const
{
  return parseStoredDateTime(Value());
}

QByteArray TField::AsBytes() const
{
  const TValue& v = Value();
  if (v.kind() == TValue::Text || v.kind() == TValue::Bytes)
    return v.rawBytes();
  return AsString().toUtf8();
}

void TField::SetValue(const TValue& value)
{
  FDataSet.SetFieldValue(FIndex, value);
}

void TField::SetAsString(const QString& text)
{
  const std::optional<TValue> value = parseFieldText(text, FDataType, FormatSettings());
  if (!value)
    throw EDatabaseError(QStringLiteral("'%1' is not a valid %2 value for field '%3'.")
                             .arg(text, fieldValueKind(FDataType), FFieldName));
  SetValue(*value);
}

QString TField::EditText() const
{
  return valueText(Value(), FDataType, FormatSettings(), TTextUse::Edit);
}

std::unique_ptr<TField> createField(TDataSet& dataSet, const TFieldDef& def, int index)
{
  if (isMemoType(def.DataType))
    return std::make_unique<TMemoField>(dataSet, def, index);
  if (isBlobType(def.DataType))
    return std::make_unique<TBlobField>(dataSet, def, index);
  return std::make_unique<TField>(dataSet, def, index);
}
