#include "export/CSVWriter.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/DataSet.h"
#include "dataaccess/FormatSettings.h"
#include "dataaccess/ValueText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstring>

namespace {

bool isQuotedKind(TFieldType t)
{
  // Text memos count as strings here: on this engine they are the ordinary text columns.
  return t == ftString || t == ftFixedChar || t == ftMemo || t == ftFmtMemo;
}

// Appends into a byte array without its general insert path, for the text of one record.
class RecordOut {
public:
  explicit RecordOut(QByteArray& target) : FTarget(target), FLength(target.size())
  {
    FTarget.resize(std::max<qsizetype>(FTarget.capacity(), FLength + 4096));
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

template <class Out>
void appendCell(Out& out, const char* text, qsizetype n, bool quote)
{
  bool special = false;
  for (qsizetype i = 0; i < n; ++i) {
    const char c = text[i];
    if (c == ',' || c == '"' || c == '\r' || c == '\n') {
      special = true;
      break;
    }
  }
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
void appendCell(Out& out, const QByteArray& text, bool quote)
{
  appendCell(out, text.constData(), text.size(), quote);
}

}  // namespace

namespace CSVWriter {

void appendHeader(QByteArray& out, const TDataSet& dataSet, bool quoteStrings)
{
  for (int i = 0; i < dataSet.FieldCount(); ++i) {
    if (i > 0)
      out.append(',');
    appendCell(out, dataSet.Fields(i)->FieldName().toUtf8(), quoteStrings);
  }
  out.append("\r\n");
}

void appendRecord(QByteArray& target, const TDataSet& dataSet, bool quoteStrings)
{
  RecordOut out(target);
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

}  // namespace CSVWriter

TCSVFile::TCSVFile(const QString& fileName) : FFileName(fileName)
{
  const QString cannotCreate = QStringLiteral("Cannot create file %1").arg(QDir::toNativeSeparators(fileName));
  if (fileName.isEmpty())
    throw EDatabaseError(QStringLiteral("Cannot create file \"\": no file name was given."));
  const QFileInfo target(fileName);
  if (target.exists() && !target.isFile()) {
    // A pipe or a device has nothing to replace: written directly.
    auto device = std::make_unique<QFile>(fileName);
    if (!device->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
      throw EDatabaseError(cannotCreate + QStringLiteral(". ") + device->errorString());
    FDevice = std::move(device);
  } else {
    // Written beside the target, which it replaces when complete: a failure leaves the old file.
    if ((target.exists() && !target.isWritable()) || !QFileInfo(target.absolutePath()).isWritable())
      throw EDatabaseError(cannotCreate);
    auto file = std::make_unique<QSaveFile>(fileName);
    file->setDirectWriteFallback(false);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
      throw EDatabaseError(cannotCreate + QStringLiteral(". ") + file->errorString());
    FDevice = std::move(file);
  }
  FBuffer.reserve(256 * 1024);
}

TCSVFile::~TCSVFile() = default;  // an uncommitted QSaveFile discards its unfinished file

void TCSVFile::write()
{
  if (FBuffer.isEmpty())
    return;
  if (FDevice->write(FBuffer.constData(), FBuffer.size()) != FBuffer.size())
    throw EDatabaseError(QStringLiteral("Cannot write to %1: %2").arg(QDir::toNativeSeparators(FFileName), FDevice->errorString()));
  FBuffer.resize(0);
}

void TCSVFile::flushIfFull()
{
  if (FBuffer.size() >= 192 * 1024)
    write();
}

void TCSVFile::commit()
{
  write();
  if (auto* save = dynamic_cast<QSaveFile*>(FDevice.get())) {
    if (!save->commit())
      throw EDatabaseError(QStringLiteral("Cannot write to %1: %2").arg(QDir::toNativeSeparators(FFileName), save->errorString()));
  } else {
    static_cast<QFile*>(FDevice.get())->close();
  }
}
