#pragma once

#include "dataaccess/Value.h"

#include <QByteArray>
#include <QTemporaryFile>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

// Rows written once, in order, to a temporary file and read back by position: a result of millions of
// rows is kept on disk, so that any place in it is a seek away, while memory holds one file offset
// per indexEvery rows. The file goes with the object.
class TRowSpill {
public:
  TRowSpill();
  ~TRowSpill();
  TRowSpill(const TRowSpill&) = delete;
  TRowSpill& operator=(const TRowSpill&) = delete;

  // A row is written value by value: beginRow with the number of values, then each value, then
  // endRow. endRow is false once the rows no longer fit (the disk is full, or the values are so large
  // that reading them again from the database is the better bargain): the spill then holds nothing.
  void beginRow(int values);
  void addNull() { *room(1) = tagNull; }
  void addInteger(int64_t v) { addFixed(tagInteger, v); }
  void addFloat(double v) { addFixed(tagFloat, v); }
  void addBytes(TValue::Kind kind, const char* data, qsizetype n);
  bool endRow();
  bool append(const TRow& row);
  // Writes out what is buffered; false when that fails.
  bool finish();
  bool failed() const { return FFailed; }
  int64_t rows() const { return FRows; }
  // Where spills are written.
  static QString folder();
  // Up to n rows from position offset on, into out's storage. Raises EDBEngineError when the file
  // cannot be read back.
  void read(int64_t offset, int n, std::vector<TRow>& out);

private:
  enum Tag : char { tagNull, tagInteger, tagFloat, tagText, tagBytes };
  // Room for n more bytes at the end of the buffer, written out first when it is full.
  char* room(qsizetype n)
  {
    if (FUsed + n > FCapacity)
      makeRoom(n);
    char* p = FBuffer.get() + FUsed;
    FUsed += n;
    return p;
  }
  void makeRoom(qsizetype n);
  template <class T> void addFixed(Tag tag, T v)
  {
    char* p = room(1 + sizeof v);
    *p = tag;
    std::memcpy(p + 1, &v, sizeof v);
  }
  void putLength(uint64_t n);
  bool flush();
  void fail();

  static constexpr int indexEvery = 256;
  std::unique_ptr<QTemporaryFile> FFile;
  std::unique_ptr<char[]> FBuffer;  // rows not yet written
  qsizetype FUsed = 0;
  qsizetype FCapacity = 0;
  int64_t FWritten = 0;      // bytes in the file
  int64_t FRows = 0;
  int64_t FLimit = 0;        // the most the file may take
  std::vector<int64_t> FIndex;  // file offset of rows 0, indexEvery, 2 * indexEvery, ...
  bool FFailed = false;
  QByteArray FReadBuffer;    // a window of the file being read
  int64_t FReadStart = -1;   // file offset of FReadBuffer's first byte
};
