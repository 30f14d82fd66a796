#include "dataaccess/RowSpill.h"

#include "dataaccess/DBErrors.h"

#include <QDir>
#include <QStandardPaths>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace {

// The file: per row the number of values, then each value as a kind byte and its content: 8 bytes
// for numbers, a length and the bytes for text and binary values. Lengths are 7 bits a byte.

constexpr qsizetype bufferBytes = 1 << 20;
constexpr qsizetype readWindowBytes = 256 << 10;
constexpr int64_t mostBytes = int64_t(16) << 30;
// Past this size a spill whose rows average more than largeRowBytes stops: values that large are read
// again from the database faster than they are copied to the disk.
constexpr int64_t largeCheckBytes = int64_t(64) << 20;
constexpr int64_t largeRowBytes = 4096;

[[noreturn]] void unreadable(const QString& why)
{
  throw EDBEngineError(QStringLiteral("Cannot read the rows kept in a temporary file."), why);
}

}  // namespace

// The temporary folder, unless it lives in memory (tmpfs, as on many systems): rows put there would
// take the very memory the file is meant to spare, so they go to the user's cache folder instead.
QString TRowSpill::folder()
{
  const QString temp = QDir::tempPath();
  const QByteArray type = QStorageInfo(temp).fileSystemType();
  if (type != "tmpfs" && type != "ramfs")
    return temp;
  const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/kestrel");
  return QDir().mkpath(cache) ? cache : temp;
}

TRowSpill::TRowSpill()
{
  const QString where = folder();
  FFile = std::make_unique<QTemporaryFile>(where + QStringLiteral("/kestrel-rows-XXXXXX"));
  if (!FFile->open()) {
    FFailed = true;
    return;
  }
  FLimit = std::min<int64_t>(mostBytes, QStorageInfo(where).bytesAvailable() / 2);
  FBuffer = std::make_unique<char[]>(size_t(bufferBytes));
  FCapacity = bufferBytes;
}

TRowSpill::~TRowSpill() = default;

void TRowSpill::makeRoom(qsizetype n)
{
  // A failed spill keeps taking values into its buffer until the row ends, and then says so.
  if (!FFailed)
    flush();
  FUsed = 0;
  if (n > FCapacity) {
    FBuffer = std::make_unique<char[]>(size_t(n));
    FCapacity = n;
  }
}

void TRowSpill::putLength(uint64_t n)
{
  char bytes[10];
  int used = 0;
  while (n >= 0x80) {
    bytes[used++] = char(n | 0x80);
    n >>= 7;
  }
  bytes[used++] = char(n);
  std::memcpy(room(used), bytes, size_t(used));
}

void TRowSpill::beginRow(int values)
{
  if (FRows % indexEvery == 0 && !FFailed)
    FIndex.push_back(FWritten + FUsed);
  putLength(uint64_t(values));
}

void TRowSpill::addBytes(TValue::Kind kind, const char* data, qsizetype n)
{
  *room(1) = kind == TValue::Text ? tagText : tagBytes;
  putLength(uint64_t(n));
  if (n > 0)
    std::memcpy(room(n), data, size_t(n));
}

bool TRowSpill::endRow()
{
  if (FFailed)
    return false;
  ++FRows;
  const int64_t total = FWritten + FUsed;
  if (total > FLimit || (total > largeCheckBytes && total / FRows > largeRowBytes)) {
    fail();
    return false;
  }
  return true;
}

bool TRowSpill::append(const TRow& row)
{
  beginRow(int(row.size()));
  for (const TValue& v : row) {
    switch (v.kind()) {
    case TValue::Null: addNull(); break;
    case TValue::Integer: addInteger(v.asInteger()); break;
    case TValue::Float: addFloat(v.asFloat()); break;
    case TValue::Text:
    case TValue::Bytes: addBytes(v.kind(), v.rawBytes().constData(), v.rawBytes().size()); break;
    }
  }
  return endRow();
}

bool TRowSpill::finish()
{
  return !FFailed && flush();
}

bool TRowSpill::flush()
{
  const char* p = FBuffer.get();
  qsizetype left = FUsed;
  while (left > 0) {
    const ssize_t n = ::write(FFile->handle(), p, size_t(left));
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      fail();
      return false;
    }
    p += n;
    left -= n;
    FWritten += n;
  }
  FUsed = 0;
  return true;
}

void TRowSpill::fail()
{
  FFailed = true;
  FIndex = {};
  FFile.reset();  // removes the file: nothing in it is of use
}

void TRowSpill::read(int64_t offset, int n, std::vector<TRow>& out)
{
  if (FFailed || FUsed > 0)
    unreadable(QStringLiteral("The rows were not all written."));
  if (offset < 0 || offset >= FRows || n <= 0) {
    out.clear();
    return;
  }
  size_t used = 0;
  int64_t pos = FIndex[size_t(offset / indexEvery)];
  // The bytes from pos on, read from the file in windows so that large values cost only themselves.
  auto take = [&](int64_t bytes) -> const char* {
    if (pos < FReadStart || pos + bytes > FReadStart + FReadBuffer.size()) {
      const qsizetype want = qsizetype(std::min<int64_t>(std::max<int64_t>(bytes, readWindowBytes), FWritten - pos));
      if (want < bytes)
        unreadable(QStringLiteral("The file ends before its rows do."));
      FReadBuffer.resize(want);
      qsizetype got = 0;
      while (got < want) {
        const ssize_t r = ::pread(FFile->handle(), FReadBuffer.data() + got, size_t(want - got), pos + got);
        if (r < 0 && errno == EINTR)
          continue;
        if (r <= 0) {
          FReadStart = -1;
          unreadable(r < 0 ? QString::fromLocal8Bit(std::strerror(errno)) : QStringLiteral("The file ends before its rows do."));
        }
        got += r;
      }
      FReadStart = pos;
    }
    const char* p = FReadBuffer.constData() + (pos - FReadStart);
    pos += bytes;
    return p;
  };
  auto length = [&]() {
    uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      const auto b = static_cast<unsigned char>(*take(1));
      v |= uint64_t(b & 0x7f) << shift;
      if (!(b & 0x80))
        return v;
    }
    unreadable(QStringLiteral("A length in the file is damaged."));
  };
  const int64_t end = std::min<int64_t>(FRows, offset + n);
  for (int64_t row = offset - offset % indexEvery; row < end; ++row) {
    const bool wanted = row >= offset;
    const uint64_t values = length();
    TRow* r = nullptr;
    if (wanted) {
      if (used == out.size())
        out.emplace_back();
      r = &out[used++];
      r->resize(size_t(values));
    }
    for (uint64_t i = 0; i < values; ++i) {
      const char tag = *take(1);
      switch (tag) {
      case tagNull:
        if (r)
          (*r)[i].setNull();
        break;
      case tagInteger:
      case tagFloat: {
        const char* p = take(8);
        if (r && tag == tagInteger) {
          int64_t v;
          std::memcpy(&v, p, 8);
          (*r)[i].setInteger(v);
        } else if (r) {
          double v;
          std::memcpy(&v, p, 8);
          (*r)[i].setFloat(v);
        }
        break;
      }
      case tagText:
      case tagBytes: {
        const int64_t bytes = int64_t(length());
        if (r)
          (*r)[i].setBytes(tag == tagText ? TValue::Text : TValue::Bytes, take(bytes), qsizetype(bytes));
        else
          pos += bytes;  // skipped without reading
        break;
      }
      default: unreadable(QStringLiteral("A value in the file is damaged."));
      }
    }
  }
  out.resize(used);
}
