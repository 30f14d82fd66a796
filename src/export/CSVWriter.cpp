#include "export/CSVWriter.h"

#include "dataaccess/DataSet.h"
#include "dataaccess/FormatSettings.h"
#include "dataaccess/ValueText.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

bool isQuotedKind(TFieldType t)
{
  // Text memos count as strings here: on this engine they are the ordinary text columns.
  return t == ftString || t == ftFixedChar || t == ftMemo || t == ftFmtMemo;
}

// Room made ahead for one record: most records fit without a reallocation.
constexpr qsizetype recordRoom = 4096;

// Appends into a byte array without its general insert path, for the text of one record.
class RecordOut {
public:
  explicit RecordOut(QByteArray& target) : FTarget(target), FLength(target.size())
  {
    FTarget.resize(std::max<qsizetype>(FTarget.capacity(), FLength + recordRoom));
  }
  ~RecordOut() { FTarget.resize(FLength); }
  void append(const char* text, qsizetype n)
  {
    if (FLength + n > FTarget.size())
      FTarget.resize(std::max(FTarget.size() * 2, FLength + n));
    std::memcpy(FTarget.data() + FLength, text, size_t(n));
    FLength += n;
  }
  void append(char c) { append(&c, 1); }

private:
  QByteArray& FTarget;
  qsizetype FLength;
};

// The bytes that make a cell need quotes, as a table: one look per byte instead of four comparisons.
constexpr std::array<bool, 256> specialBytes = [] {
  std::array<bool, 256> t{};
  for (const unsigned char c : {',', '"', '\r', '\n'})
    t[c] = true;
  return t;
}();

template <class Out>
void appendCell(Out& out, const char* text, qsizetype n, bool quote)
{
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  const bool special = std::any_of(bytes, bytes + n, [](unsigned char c) { return specialBytes[c]; });
  if (special) {
    out.append('"');
    for (qsizetype i = 0; i < n; ++i) {
      if (text[i] == '"')
        out.append('"');
      out.append(text[i]);
    }
    out.append('"');
  } else if (quote) {
    out.append('"');
    out.append(text, n);
    out.append('"');
  } else {
    out.append(text, n);
  }
}

template <class Out>
void appendRecordTo(Out& out, const TDataSet& dataSet, bool quoteStrings)
{
  const TFormatSettings& settings = FormatSettings();
  TValueBytes text;
  for (int i = 0; i < dataSet.FieldCount(); ++i) {
    if (i > 0)
      out.append(',');
    const TField& f = *dataSet.Fields(i);
    // Values stored as binary data have no text: their cells stay empty.
    fileText(text, f.Value(), f.DataType(), settings);
    appendCell(out, text.data(), text.size(), quoteStrings && isQuotedKind(f.DataType()));
  }
  out.append("\r\n", 2);
}

}  // namespace

namespace CSVWriter {

void appendHeader(TFileSink& out, const TDataSet& dataSet, bool quoteStrings)
{
  for (int i = 0; i < dataSet.FieldCount(); ++i) {
    if (i > 0)
      out.append(',');
    const QByteArray name = dataSet.Fields(i)->FieldName().toUtf8();
    appendCell(out, name.constData(), name.size(), quoteStrings);
  }
  out.append("\r\n", 2);
  out.flushIfFull();
}

void appendRecord(TFileSink& out, const TDataSet& dataSet, bool quoteStrings)
{
  appendRecordTo(out, dataSet, quoteStrings);
  out.flushIfFull();
}

void appendRecord(QByteArray& target, const TDataSet& dataSet, bool quoteStrings)
{
  RecordOut out(target);
  appendRecordTo(out, dataSet, quoteStrings);
}

}  // namespace CSVWriter
