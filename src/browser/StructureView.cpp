// The structure of a table: read into field nodes once, shown from them on every click.
#include "app/MainWindow.h"
#include "uicore/PlainText.h"
#include "uicore/Glyphs.h"
#include "browser/TreeObjects.h"
#include "platform/ScreenCursor.h"

#include <QTabWidget>
#include <QTableWidget>

void TfmMain::LoadTableFields(TTreeNode* tableNode)
{
  TCursorScope cursor(crHourGlass);
  Table.Close();
  Table.SetTableName(static_cast<TBObject*>(tableNode->Data)->Name);
  tableNode->DeleteChildren();
  Table.Open();
  for (int i = 0; i < Table.FieldDefs().Count(); ++i) {
    const TFieldDef& def = Table.FieldDefs()[i];
    const TField* field = Table.Fields(i);
    auto* obj = new FDObject;
    obj->Name = def.Name;
    obj->DataType = def.DataType;
    obj->Precision = def.Precision;
    obj->Size = field->Size();
    if (obj->DataType == ftBCD)
      std::swap(obj->Precision, obj->Size);  // Size shows total digits, Precision the digits after the point
    obj->FieldNo = field->FieldNo();
    obj->Required = field->Required();
    obj->PrimaryKey = field->IsIndexField();
    addSchemaNode(tableNode, obj->Name, obj, TreeImage::Text);
  }
  Table.Close();
  TreeView1->AlphaSort();
  ShowTableFields(tableNode);
  tableNode->Expand(false);
}

void TfmMain::ShowTableFields(TTreeNode* tableNode)
{
  lvFields->setRowCount(0);
  lvFields->setRowCount(tableNode->Count());
  auto yesNo = [](bool b) { return b ? tr("Yes") : tr("No"); };
  for (int i = 0; i < tableNode->Count(); ++i) {
    const auto* f = static_cast<FDObject*>(tableNode->Item(i)->Data);
    const QString cells[] = {f->Name,
                             FieldTypeName(f->DataType),
                             QString::number(f->Size) + QLatin1Char(' '),
                             QString::number(f->Precision) + QLatin1Char(' '),
                             yesNo(f->Required),
                             yesNo(f->PrimaryKey)};
    for (int c = 0; c < 6; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      item->setToolTip(plainToolTip(cells[c]));  // the columns share the width equally and may cut a long text
      lvFields->setItem(i, c, item);
    }
  }
  pgTop->setCurrentWidget(FieldSheet);
}

QString TfmMain::FieldTypeName(int dataType)
{
  static const char* const names[] = {  // translated where they are shown
    "Unknown", "String", "16-bit integer", "32-bit integer", "16-bit unsigned integer", "Boolean", "Float",
    "Currency", "BCD", "Date", "Time", "DateTime", "Fixed bytes (binary)", "Variable bytes (binary)",
    "Auto-inc 32-bit integer", "BLOB", "Text memo", "Bitmap", "Formatted text memo", "Paradox OLE", "dBASE OLE",
    "Typed binary", "Unknown", "Char"};
  // Ordinary columns of today's databases: 64-bit integers, wide text and UUIDs have real names.
  switch (dataType) {
  case ftWideString: return tr("Wide string");
  case ftLargeint: return tr("64-bit integer");
  case ftGuid: return tr("GUID");
  default: break;
  }
  if (dataType < 0 || dataType > ftFixedChar)
    return tr("Unknown");
  return tr(names[dataType]);
}
