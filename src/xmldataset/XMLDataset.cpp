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
#include "platform/FileSink.h"

#include <utility>

namespace {

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

// The settings a packet's values are written in: the user's, with a decimal point and ISO dates, so
// that the file reads the same everywhere. Handed to the writer rather than put in place of the
// process's settings: a window repainting while the export lets events through keeps the user's.
TFormatSettings packetSettings()
{
  TFormatSettings settings = FormatSettings();
  settings.DecimalSeparator = QLatin1Char('.');
  settings.ShortDateFormat = QStringLiteral("yyyy-mm-dd");
  settings.LongTimeFormat = QStringLiteral("hh:nn:ss:zzz");
  return settings;
}

// A file failure in the writer's own terms.
template <class F>
void asDatabaseError(F&& write)
{
  try {
    write();
  } catch (const EFileSinkError& e) {
    throw EDatabaseError(e.message());
  }
}

}  // namespace

// The packet's text on its way out: gathered by the sink, which writes it a chunk at a time, and
// the settings its values are written in.
class XMLPacketOutput {
public:
  XMLPacketOutput(TFileSink& sink, const TFormatSettings& settings) : Settings(settings), FSink(sink) {}

  template <class... Bytes>
  void append(Bytes&&... bytes) { FSink.append(std::forward<Bytes>(bytes)...); }
  char* grow(qsizetype n) { return FSink.grow(n); }
  void endLine()
  {
    FSink.append("\r\n", 2);
    FSink.flushIfFull();
  }
  template <size_t N>
  void line(const char (&literal)[N])
  {
    FSink.append(literal);
    endLine();
  }

  const TFormatSettings Settings;

private:
  TFileSink& FSink;
};

TXMLDataset::TXMLDataset(QObject* owner) : QObject(owner)
{
  FLink.AutoEdit = false;
}

void TXMLDataset::writeItem(XMLPacketOutput& out, const QByteArray& opening, const TField& field, int64_t row)
{
  const auto where = [&] {
    return QStringLiteral("field \"%1\" in row %2 of %3").arg(field.FieldName(), QString::number(row), sourceName(field.DataSet()));
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
    if (!fileText(text, field.Value(), type, out.Settings))
      text.own("x'" + field.Value().rawBytes().toHex() + '\'');
    checkCarried(text.data(), text.size(), where, false);
    line.append(" value=\"", 8);
    XMLText::appendAttributeValue(line, text.data(), text.size());
    line.append("\"/>", 3);
    out.endLine();
    return;
  }
  // Sizes are byte lengths of the text before any encoding.
  // As TField::AsBytes, but in the packet's settings.
  const TValue& value = field.Value();
  const QByteArray text = value.kind() == TValue::Text || value.kind() == TValue::Bytes
                              ? value.rawBytes()
                              : valueText(value, type, out.Settings).toUtf8();
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
        return QStringLiteral("the name of field %1 of %2").arg(QString::number(i + 1), sourceName(ds));
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
  int64_t& row = FRowsWritten;
  row = 0;
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
  if (!DataSet() || !stream)
    throw EDatabaseError(QStringLiteral("Dataset not assigned"));
  asDatabaseError([&] {
    TFileSink sink(stream);
    save(sink);
  });
}

void TXMLDataset::SaveToFile(const QString& fileName)
{
  if (!DataSet())
    throw EDatabaseError(QStringLiteral("Dataset not assigned"));
  asDatabaseError([&] {
    TFileSink sink(fileName);  // made before the dataset is touched: a file that cannot be made changes nothing
    save(sink);
  });
}

void TXMLDataset::save(TFileSink& sink)
{
  TDataSet* ds = DataSet();
  StopRequested = false;
  const QDateTime now = Clock();
  XMLPacketOutput out(sink, packetSettings());
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
    writePacket(out, *ds, now);
    restore();
    out.line("</datapacket>");
    sink.commit();
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
