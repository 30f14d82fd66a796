// Copying the grid's cells to the clipboard as tab-separated text, the form spreadsheets and other
// database tools paste.
#include "dbcontrols/DBGrid.h"

#include "dataaccess/DataSet.h"
#include "dataaccess/Field.h"
#include "dataaccess/FieldTypes.h"
#include "dataaccess/FormatSettings.h"
#include "dataaccess/ValueText.h"

#include <QClipboard>
#include <QGuiApplication>

namespace {

QString pasteCell(const QString& text)
{
  if (!text.contains(QLatin1Char('\t')) && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')) &&
      !text.startsWith(QLatin1Char('"')))
    return text;
  QString quoted = text;
  quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
  return QLatin1Char('"') + quoted + QLatin1Char('"');
}

}  // namespace

QString TDBGrid::CopyText(bool wholeRecord, bool withColumnNames) const
{
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active() || FColumns.empty() || ds->IsEmpty())
    return QString();
  int first = std::clamp(FCol, 0, ColumnCount() - 1), last = first;
  if (wholeRecord)
    first = 0, last = ColumnCount() - 1;
  QStringList names, cells;
  for (int c = first; c <= last; ++c) {
    // The record's fields, not the row read from the database: an edit under way shows its values.
    TField* field = ds->Fields(FColumns[size_t(c)].FieldIndex);
    names << pasteCell(field->DisplayLabel);
    // A text memo is copied whole (the cell shows its first line); binary data as the cell says.
    const TFieldType type = field->DataType();
    cells << pasteCell(isBlobType(type) && !isMemoType(type) ? summaryText(field->Value(), type, FormatSettings())
                                                             : valueText(field->Value(), type, FormatSettings()));
  }
  const QString row = cells.join(QLatin1Char('\t'));
  return withColumnNames ? names.join(QLatin1Char('\t')) + QLatin1Char('\n') + row : row;
}

void TDBGrid::CopyToClipboard(bool wholeRecord, bool withColumnNames) const
{
  QGuiApplication::clipboard()->setText(CopyText(wholeRecord, withColumnNames));
}
