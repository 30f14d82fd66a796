#include "export/CSVWriter.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/DataSet.h"
#include "dataaccess/FormatSettings.h"
#include "dataaccess/ValueText.h"
#include "xmldataset/XMLText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <charconv>
#include <cmath>
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

// The common values written straight from their stored form, without text temporaries; false
// when the general rendering is needed. Gives the same text as cellText.
template <class Out>
bool appendPlainCell(Out& out, const TField& field, bool quote)
{
  const TValue& v = field.Value();
  const TFieldType type = field.DataType();
  char buffer[64];
  switch (v.kind()) {
  case TValue::Null:
    appendCell(out, "", 0, quote);
    return true;
  case TValue::Integer:
    if (isIntegerType(type) || type == ftBCD) {
      const auto r = std::to_chars(buffer, buffer + sizeof buffer, v.asInteger());
      appendCell(out, buffer, r.ptr - buffer, quote);
      return true;
    }
    if (type == ftBoolean) {
      appendCell(out, v.asInteger() ? "True" : "False", v.asInteger() ? 4 : 5, quote);
      return true;
    }
    return false;
  case TValue::Float: {
    if (!(type == ftFloat || type == ftCurrency || type == ftBCD) || !std::isfinite(v.asFloat()))
      return false;
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v.asFloat(), std::chars_format::general, 15);
    const qsizetype n = r.ptr - buffer;
    if (std::memchr(buffer, 'e', size_t(n)))
      return false;  // exponent forms take the general path
    const QChar separator = FormatSettings().DecimalSeparator;
    if (separator != QLatin1Char('.'))
      if (char* point = static_cast<char*>(std::memchr(buffer, '.', size_t(n))))
        *point = char(separator.unicode() < 128 ? separator.unicode() : '.');
    if (separator.unicode() >= 128)
      return false;
    appendCell(out, buffer, n, quote);
    return true;
  }
  case TValue::Text:
  case TValue::Bytes:
    switch (type) {
    case ftString: case ftFixedChar: case ftWideString: case ftGuid: case ftMemo: case ftFmtMemo:
      appendCell(out, v.rawBytes(), quote);
      return true;
    case ftDate: {
      // A date stored as ISO text is already in an ISO short date format.
      const QByteArray& b = v.rawBytes();
      if (b.size() == 10 && b[4] == '-' && b[7] == '-' && FormatSettings().ShortDateFormat == QLatin1String("yyyy-mm-dd") &&
          QDate::fromString(QLatin1String(b), Qt::ISODate).isValid()) {
        appendCell(out, b, quote);
        return true;
      }
      return false;
    }
    default:
      return false;
    }
  }
  return false;
}

}  // namespace

namespace CSVWriter {

QByteArray cellText(const TField& field)
{
  const TFieldType type = field.DataType();
  const TValue& v = field.Value();
  if (v.isNull())
    return QByteArray();
  switch (type) {
  case ftString: case ftFixedChar: case ftWideString: case ftGuid: case ftMemo: case ftFmtMemo:
    return field.AsBytes();
  case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint:
    if (v.kind() == TValue::Integer)
      return QByteArray::number(static_cast<qlonglong>(v.asInteger()));
    return field.AsString().toUtf8();
  case ftBCD: {
    // The exact decimal, with the regional separator: no digit is cut.
    QString plain = XMLText::plainDecimal(v.kind() == TValue::Float ? QString::number(v.asFloat(), 'g', 15)
                                          : v.kind() == TValue::Integer ? QString::number(v.asInteger())
                                                                        : QString::fromUtf8(v.rawBytes()));
    return plain.replace(QLatin1Char('.'), FormatSettings().DecimalSeparator).toUtf8();
  }
  case ftFloat: case ftCurrency:
    if (v.kind() == TValue::Float && FormatSettings().DecimalSeparator == QLatin1Char('.')) {
      const QByteArray text = QByteArray::number(v.asFloat(), 'g', 15);
      if (!text.contains('e'))
        return text;
    }
    return field.AsString().toUtf8();
  case ftBoolean: case ftDate: case ftTime: case ftDateTime:
    return field.AsString().toUtf8();
  default:
    return QByteArray();  // binary and other large objects: an empty cell
  }
}

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
  for (int i = 0; i < dataSet.FieldCount(); ++i) {
    if (i > 0)
      out.append(',');
    const TField& f = *dataSet.Fields(i);
    const bool quote = quoteStrings && isQuotedKind(f.DataType());
    if (!appendPlainCell(out, f, quote))
      appendCell(out, cellText(f), quote);
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
