#include "xmldataset/XMLDataset.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/DataSet.h"
#include "dataaccess/Field.h"
#include "dataaccess/FormatSettings.h"
#include "dataaccess/Table.h"
#include "dataaccess/ValueText.h"
#include "xmldataset/Base64.h"
#include "xmldataset/XMLDatasetUtils.h"
#include "xmldataset/XMLText.h"

#include <QDir>
#include <QFileDevice>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cstring>

namespace {

QString streamName(QIODevice* stream)
{
  if (auto* file = qobject_cast<QFileDevice*>(stream))
    return QDir::toNativeSeparators(file->fileName());
  return QStringLiteral("the output stream");
}

template <class Out>
void attribute(Out& line, const char* name, const QByteArray& value)
{
  line.append(' ');
  line.append(name, qsizetype(qstrlen(name)));
  line.append("=\"", 2);
  XMLText::appendAttributeValue(line, value);
  line.append('"');
}

template <class Out>
void attribute(Out& line, const char* name, int64_t value)
{
  attribute(line, name, QByteArray::number(static_cast<qlonglong>(value)));
}

template <class Out>
void attribute(Out& line, const char* name, const char* value)
{
  attribute(line, name, QByteArray(value));
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

// Where the packet comes from, for messages.
QString sourceName(const TDataSet& ds)
{
  if (const auto* table = dynamic_cast<const TTable*>(&ds))
    return QStringLiteral("table \"%1\"").arg(table->TableName());
  return QStringLiteral("the query result");
}

// Text that XML 1.0 cannot carry is never written raw: the write stops with a message that says
// where, and the previous file stays (the packet is written beside it).
template <class Where>
void checkCarried(const char* text, qsizetype n, const Where& where, bool mimeWouldCarry)
{
  if (XMLText::firstForbiddenCharacter(text, n) < 0)
    return;
  QString message = QStringLiteral("Cannot write the XML file: %1 holds characters that XML cannot carry "
                                   "(control characters, or bytes that are not UTF-8 text).").arg(where());
  if (mimeWouldCarry)
    message += QStringLiteral(" Export with \"Use MIME encoding for string fields\" to write it base64-encoded.");
  throw EDatabaseError(message);
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

// The packet's text on its way to the stream. Lines are gathered into chunks of 64 KiB, so that a
// million rows are not a million writes; a short or failed write is an error that names the file
// and the system's reason.
class XMLPacketOutput {
public:
  explicit XMLPacketOutput(QIODevice* stream) : FStream(stream), FBuffer(chunk + 4096, Qt::Uninitialized) {}

  // Appends without QByteArray's general insert path: this runs for every byte of the packet.
  void append(const char* text, qsizetype n)
  {
    if (FLength + n > FBuffer.size())
      FBuffer.resize(std::max(FBuffer.size() * 2, FLength + n));
    std::memcpy(FBuffer.data() + FLength, text, size_t(n));
    FLength += n;
  }
  void append(char c) { append(&c, 1); }
  void append(const QByteArray& text) { append(text.constData(), text.size()); }
  template <size_t N>
  void append(const char (&literal)[N]) { append(literal, qsizetype(N - 1)); }
  // Room for n bytes written in place.
  char* grow(qsizetype n)
  {
    if (FLength + n > FBuffer.size())
      FBuffer.resize(std::max(FBuffer.size() * 2, FLength + n));
    char* at = FBuffer.data() + FLength;
    FLength += n;
    return at;
  }
  void endLine()
  {
    append("\r\n", 2);
    if (FLength >= chunk)
      flush();
  }
  template <size_t N>
  void line(const char (&literal)[N])
  {
    append(literal);
    endLine();
  }
  void flush()
  {
    if (FLength == 0)
      return;
    if (FStream->write(FBuffer.constData(), FLength) != FLength)
      throw EDatabaseError(QStringLiteral("Cannot write to %1: %2").arg(streamName(FStream), FStream->errorString()));
    FLength = 0;
  }

private:
  static constexpr qsizetype chunk = 64 * 1024;
  QIODevice* FStream;
  QByteArray FBuffer;
  qsizetype FLength = 0;
};

TXMLDataset::TXMLDataset(QObject* owner) : QObject(owner)
{
  FLink.AutoEdit = false;
}

void TXMLDataset::writeItem(XMLPacketOutput& out, const QByteArray& opening, const TField& field, int64_t row)
{
  const auto where = [&] {
    return QStringLiteral("field \"%1\" in row %2 of %3").arg(field.FieldName()).arg(row).arg(sourceName(field.DataSet()));
  };
  const TFieldType type = field.DataType();
  XMLPacketOutput& line = out;
  line.append(opening);  // "<field name=\"...\"", made once per field
  if (field.IsNull()) {
    line.append(" size=\"-1\"/>");
    out.endLine();
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
  if (isScalarType(type)) {
    // A value of another storage class is written by its own; binary data as a hex literal.
    TValueBytes text;
    if (!fileText(text, field.Value(), type, FormatSettings()))
      text.own("x'" + field.Value().rawBytes().toHex() + '\'');
    checkCarried(text.data(), text.size(), where, false);
    line.append(" value=\"", 8);
    XMLText::appendAttributeValue(line, text.data(), text.size());
    line.append("\"/>", 3);
    out.endLine();
    return;
  }
  // Sizes are byte lengths of the text before any encoding.
  const QByteArray text = field.AsBytes();
  attribute(line, "size", text.size());
  line.append('>');
  out.endLine();
  if (!text.isEmpty()) {
    out.line("<![CDATA[");
    if (isStringType(type) && !UseMimeEncoding) {
      checkCarried(text.constData(), text.size(), where, true);
      XMLText::appendCharacterData(line, text);
    } else {
      // Encoded straight into the output, at its final length.
      Base64EncodeBuffer(text.constData(), text.size(), line.grow(Base64EncodedLength(text.size())));
    }
    out.endLine();
    out.line("]]>");
  }
  out.line("</field>");
}

void TXMLDataset::writePacket(XMLPacketOutput& out, TDataSet& ds, const QDateTime& now)
{
  const int recordCount = ds.RecordCount();
  const int fieldCount = ds.FieldCount();
  XMLPacketOutput& line = out;
  line.append("<?xml");
  attribute(line, "version", "1.0");
  attribute(line, "standalone", "yes");
  line.append("?>");
  out.endLine();
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
  out.endLine();
  line.append("<metadata");
  attribute(line, "fielddefs", "yes");
  attribute(line, "indexdefs", "no");
  attribute(line, "recorddata", "yes");
  attribute(line, "changes", "yes");
  line.append('>');
  out.endLine();

  line.append("<fielddefs");
  attribute(line, "count", fieldCount);
  line.append('>');
  out.endLine();
  for (int i = 0; i < fieldCount; ++i) {
    const TField& f = *ds.Fields(i);
    for (const QString& name : {f.FieldName(), f.DisplayLabel, f.EditMask}) {
      const QByteArray utf8 = name.toUtf8();
      checkCarried(utf8.constData(), utf8.size(), [&] {
        return QStringLiteral("the name of field %1 of %2").arg(i + 1).arg(sourceName(ds));
      }, false);
    }
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
    out.endLine();
  }
  line.append("</fielddefs>");
  out.endLine();
  line.append("<indexdefs");
  attribute(line, "count", int64_t(0));
  line.append('>');
  out.endLine();
  line.append("</indexdefs>");
  out.endLine();
  line.append("</metadata>");
  out.endLine();
  line.append("<recorddata");
  attribute(line, "count", recordCount);
  line.append('>');
  out.endLine();

  std::vector<QByteArray> openings;
  for (int i = 0; i < fieldCount; ++i) {
    QByteArray opening("<field");
    attribute(opening, "name", ds.Fields(i)->FieldName().toUtf8());
    openings.push_back(opening);
  }
  ds.First();
  int64_t row = 0;
  while (!ds.Eof()) {
    ++row;
    out.line("<row>");
    for (int i = 0; i < fieldCount; ++i)
      writeItem(out, openings[size_t(i)], *ds.Fields(i), row);
    line.append("</row>");
    out.endLine();
    ds.Next();
    if (StopRequested) {
      ds.Last();
      ds.Next();
      StopRequested = false;
    }
  }
  line.append("</recorddata>");
  out.endLine();
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
    XMLPacketOutput out(stream);
    writePacket(out, *ds, now);
    restore();
    out.line("</datapacket>");
    out.flush();
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
    if (!device.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
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
  // Unbuffered: the writer hands over large chunks, and an error must show at the write that failed.
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
    throw EDatabaseError(cannotCreate);
  SaveToStream(&file);  // on failure the unfinished file is discarded with the QSaveFile
  if (!file.commit())
    throw EDatabaseError(QStringLiteral("Cannot write to %1: %2").arg(QDir::toNativeSeparators(fileName), file.errorString()));
}
