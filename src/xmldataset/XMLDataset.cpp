#include "xmldataset/XMLDataset.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/DataSet.h"
#include "dataaccess/Field.h"
#include "dataaccess/FormatSettings.h"
#include "xmldataset/Base64.h"
#include "xmldataset/XMLDatasetUtils.h"
#include "xmldataset/XMLText.h"

#include <QDir>
#include <QFileDevice>
#include <QFileInfo>
#include <QSaveFile>

namespace {

QString streamName(QIODevice* stream)
{
  if (auto* file = qobject_cast<QFileDevice*>(stream))
    return QDir::toNativeSeparators(file->fileName());
  return QStringLiteral("the output stream");
}

// A line goes to the stream in one write; a short or failed write is an error that names the
// file and the system's reason.
void writeLine(QIODevice* stream, QByteArray& line)
{
  line.append("\r\n", 2);
  if (stream->write(line) != line.size())
    throw EDatabaseError(QStringLiteral("Cannot write to %1: %2").arg(streamName(stream), stream->errorString()));
  line.clear();
}

void attribute(QByteArray& line, const char* name, const QByteArray& value)
{
  line.append(' ').append(name).append("=\"");
  XMLText::appendAttributeValue(line, value);
  line.append('"');
}

void attribute(QByteArray& line, const char* name, int64_t value)
{
  line.append(' ').append(name).append("=\"").append(QByteArray::number(static_cast<qlonglong>(value))).append('"');
}

const char* fieldKindName(TFieldKind kind)
{
  switch (kind) {
  case fkData: return "data";
  case fkCalculated: return "calculated";
  case fkLookup: return "lookup";
  case fkInternalCalc: return "internalcalc";
  }
  return "unknown";
}

bool isValueKind(TFieldType t)
{
  switch (t) {
  case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint: case ftFloat: case ftCurrency:
  case ftBCD: case ftBoolean: case ftDate: case ftTime: case ftDateTime:
    return true;
  default:
    return false;
  }
}

bool isTextKind(TFieldType t)
{
  return t == ftString || t == ftFixedChar || t == ftWideString || t == ftGuid;
}

// Puts the process's format settings back however the write ends.
class FormatSwap {
public:
  FormatSwap() : FSaved(FormatSettings())
  {
    FormatSettings().DecimalSeparator = QLatin1Char('.');
    FormatSettings().ShortDateFormat = QStringLiteral("yyyy-mm-dd");
    FormatSettings().LongTimeFormat = QStringLiteral("hh:nn:ss:zzz");
  }
  ~FormatSwap() { FormatSettings() = FSaved; }

private:
  TFormatSettings FSaved;
};

}  // namespace

TXMLDataset::TXMLDataset(QObject* owner) : QObject(owner)
{
  FLink.AutoEdit = false;
}

void TXMLDataset::writeItem(QIODevice* stream, QByteArray& line, const TField& field)
{
  const TFieldType type = field.DataType();
  line.append("<field");
  attribute(line, "name", field.FieldName().toUtf8());
  if (field.IsNull()) {
    attribute(line, "size", -1);
    line.append("/>");
    writeLine(stream, line);
    return;
  }
  switch (type) {
  case ftADT: case ftArray: case ftReference: case ftDataSet:
    throw EDatabaseError(QStringLiteral("ObjectFields are not handled!"));
  case ftInterface: case ftIDispatch:
    throw EDatabaseError(QStringLiteral("InterFaceFields are not handled!"));
  case ftBytes: case ftVarBytes:
    throw EDatabaseError(QStringLiteral("BinaryFields are not handled!"));
  default:
    break;
  }
  if (isValueKind(type)) {
    attribute(line, "value", XMLText::valueText(field).toUtf8());
    line.append("/>");
    writeLine(stream, line);
    return;
  }
  // Sizes are byte lengths of the text before any encoding.
  const QByteArray text = field.AsBytes();
  attribute(line, "size", text.size());
  line.append('>');
  writeLine(stream, line);
  if (!text.isEmpty()) {
    line.append("<![CDATA[");
    writeLine(stream, line);
    if (isTextKind(type) && !UseMimeEncoding)
      XMLText::appendCharacterData(line, text);
    else
      line = Base64EncodeString(text);
    writeLine(stream, line);
    line.append("]]>");
    writeLine(stream, line);
  }
  line.append("</field>");
  writeLine(stream, line);
}

void TXMLDataset::writePacket(QIODevice* stream, TDataSet& ds, const QDateTime& now)
{
  const int recordCount = ds.RecordCount();
  const int fieldCount = ds.FieldCount();
  QByteArray line;
  line.reserve(256);
  line.append("<?xml");
  attribute(line, "version", "1.0");
  attribute(line, "standalone", "yes");
  line.append("?>");
  writeLine(stream, line);
  line.append("<datapacket");
  attribute(line, "version", QByteArray::number(double(FileVersion()), 'f', 3));
  attribute(line, "destination", TableName().toUtf8());
  const QDate d = now.date();
  const QTime t = now.time();
  attribute(line, "day", d.day());
  attribute(line, "month", d.month());
  attribute(line, "year", d.year());
  attribute(line, "hour", t.hour());
  attribute(line, "min", t.minute());
  attribute(line, "sec", t.second());
  attribute(line, "msec", t.msec());
  line.append('>');
  writeLine(stream, line);
  line.append("<metadata");
  attribute(line, "fielddefs", "yes");
  attribute(line, "indexdefs", "no");
  attribute(line, "recorddata", "yes");
  attribute(line, "changes", "yes");
  line.append('>');
  writeLine(stream, line);

  line.append("<fielddefs");
  attribute(line, "count", fieldCount);
  line.append('>');
  writeLine(stream, line);
  for (int i = 0; i < fieldCount; ++i) {
    const TField& f = *ds.Fields(i);
    line.append("<fielddef");
    attribute(line, "name", f.FieldName().toUtf8());
    attribute(line, "fieldkind", fieldKindName(f.FieldKind()));
    attribute(line, "datatype", XMLFieldTypeName(f.DataType()).toUtf8());
    attribute(line, "fieldsize", f.Size());
    attribute(line, "displaylabel", f.DisplayLabel.toUtf8());
    attribute(line, "editmask", f.EditMask.toUtf8());
    attribute(line, "displaywidth", f.DisplayWidth);
    attribute(line, "fieldindex", f.Index());
    attribute(line, "required", f.Required() ? "true" : "false");
    attribute(line, "readonly", f.ReadOnly ? "true" : "false");
    line.append("/>");
    writeLine(stream, line);
  }
  line.append("</fielddefs>");
  writeLine(stream, line);
  line.append("<indexdefs");
  attribute(line, "count", 0);
  line.append('>');
  writeLine(stream, line);
  line.append("</indexdefs>");
  writeLine(stream, line);
  line.append("</metadata>");
  writeLine(stream, line);
  line.append("<recorddata");
  attribute(line, "count", recordCount);
  line.append('>');
  writeLine(stream, line);

  ds.First();
  while (!ds.Eof()) {
    line.append("<row>");
    writeLine(stream, line);
    for (int i = 0; i < fieldCount; ++i)
      writeItem(stream, line, *ds.Fields(i));
    line.append("</row>");
    writeLine(stream, line);
    ds.Next();
    if (StopRequested) {
      ds.Last();
      ds.Next();
      StopRequested = false;
    }
  }
  line.append("</recorddata>");
  writeLine(stream, line);
}

void TXMLDataset::SaveToStream(QIODevice* stream)
{
  TDataSet* ds = DataSet();
  if (!ds || !stream)
    throw EDatabaseError(QStringLiteral("Dataset not assigned"));
  StopRequested = false;
  const QDateTime now = Clock();
  FormatSwap settings;
  const bool wasActive = ds->Active();
  if (!wasActive)
    ds->Open();
  TBookmark mark = ds->GetBookmark();
  const bool controlsWereDisabled = ds->ControlsDisabled();
  const bool wasFiltered = ds->Filtered();
  if (!controlsWereDisabled)
    ds->DisableControls();
  // Whatever ends the write, the dataset gets back its record, its state and its filter.
  auto restore = [&] {
    if (ds->Active() && wasActive && ds->BookmarkValid(mark))
      ds->GotoBookmark(mark);
    ds->FreeBookmark(mark);
    if (!wasActive)
      ds->Close();
    ds->SetFiltered(wasFiltered);
  };
  try {
    writePacket(stream, *ds, now);
    restore();
    QByteArray line("</datapacket>");
    writeLine(stream, line);
    // A buffered file reports a full disk only when its buffer goes out.
    if (auto* file = qobject_cast<QFileDevice*>(stream); file && !file->flush())
      throw EDatabaseError(QStringLiteral("Cannot write to %1: %2").arg(streamName(stream), stream->errorString()));
  } catch (...) {
    try {
      restore();
    } catch (...) {
      // The first failure is the one to report.
    }
    if (!controlsWereDisabled)
      ds->EnableControls();
    throw;
  }
  if (!controlsWereDisabled)
    ds->EnableControls();
}

void TXMLDataset::SaveToFile(const QString& fileName)
{
  if (!DataSet())
    throw EDatabaseError(QStringLiteral("Dataset not assigned"));
  const QString cannotCreate = QStringLiteral("Cannot create file %1").arg(QDir::toNativeSeparators(fileName));
  const QFileInfo target(fileName);
  if (target.exists() && !target.isFile()) {
    // A pipe or a device: there is nothing to replace, so write to it directly.
    QFile device(fileName);
    if (!device.open(QIODevice::WriteOnly))
      throw EDatabaseError(cannotCreate);
    SaveToStream(&device);
    if (!device.flush())
      throw EDatabaseError(QStringLiteral("Cannot write to %1: %2").arg(QDir::toNativeSeparators(fileName), device.errorString()));
    return;
  }
  // The new packet is written beside the target and takes its place only when complete, so a
  // failure leaves the previous file as it was. Refuse up front what could not be replaced.
  if ((target.exists() && !target.isWritable()) || !QFileInfo(target.absolutePath()).isWritable())
    throw EDatabaseError(cannotCreate);
  QSaveFile file(fileName);
  file.setDirectWriteFallback(false);
  if (!file.open(QIODevice::WriteOnly))
    throw EDatabaseError(cannotCreate);
  SaveToStream(&file);  // on failure the unfinished file is discarded with the QSaveFile
  if (!file.commit())
    throw EDatabaseError(QStringLiteral("Cannot write to %1: %2").arg(QDir::toNativeSeparators(fileName), file.errorString()));
}
