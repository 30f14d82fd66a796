#pragma once

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

class QIODevice;

// A file that could not be made or written: which of the two, the file, and the system's reason.
class EFileSinkError : public std::runtime_error {
public:
  enum Stage { Create, Write };
  // what() is "Cannot create file %1. %2" or "Cannot write to %1: %2".
  EFileSinkError(Stage stage, const QString& shownName, const QString& reason);
  Stage stage() const { return FStage; }
  const QString& shownName() const { return FShownName; }  // native separators, "\"\"" for no name
  const QString& reason() const { return FReason; }
  QString message() const { return QString::fromUtf8(what()); }

private:
  Stage FStage;
  QString FShownName;
  QString FReason;
};

// Bytes on their way to a file, gathered into chunks and handed over with every write checked.
//
// A regular file, or a new one, is written to a temporary copy beside it that takes its place only at
// commit(): a failed write, or a sink dropped before commit(), leaves the previous file as it was.
// Anything else that exists (a pipe, a device) is written directly, since replacing it would put a
// plain file where it was. A stream the caller opened is written at its position and stays open.
//
// Below the chunks nothing is buffered, and a short write is retried until the write that fails
// says why: a full disk is reported with the system's reason where it happens, never as success at
// a later flush. Failures raise EFileSinkError.
class TFileSink {
public:
  enum class Replacement {
    Always,          // a file whose folder takes no new files is refused
    OrWriteInPlace,  // ... is written in place instead; a failure then leaves it cut off
  };

  explicit TFileSink(const QString& fileName, Replacement replacement = Replacement::Always);
  explicit TFileSink(QIODevice* stream);
  ~TFileSink();  // an uncommitted copy is discarded
  TFileSink(const TFileSink&) = delete;
  TFileSink& operator=(const TFileSink&) = delete;

  // Gathering: these run for every byte written, so they stay inline and never write.
  void append(const char* data, qsizetype n) { std::memcpy(grow(n), data, size_t(n)); }
  void append(char c) { *grow(1) = c; }
  void append(const QByteArray& bytes) { append(bytes.constData(), bytes.size()); }
  template <size_t N>
  void append(const char (&literal)[N]) { append(literal, qsizetype(N - 1)); }
  // Room for n bytes, to be filled in place.
  char* grow(qsizetype n)
  {
    if (FLength + n > FBuffer.size())
      FBuffer.resize(std::max(FBuffer.size() * 2, FLength + n));
    char* at = FBuffer.data() + FLength;
    FLength += n;
    return at;
  }

  // Hands the gathered bytes over once a chunk has gathered; callers call it where a line or a
  // record ends.
  void flushIfFull()
  {
    if (FLength >= chunkSize)
      flush();
  }
  void flush();
  // Hands over what has gathered, then the bytes given, without copying them.
  void write(const char* data, qsizetype n);
  // Hands over the rest and completes the file: the copy takes the target's place; a file written
  // directly is closed; a caller's stream is flushed and stays open.
  void commit();

  const QString& shownName() const { return FShownName; }

  // A write per chunk keeps the number of system calls low without holding much in memory.
  static constexpr qsizetype chunkSize = 64 * 1024;

private:
  [[noreturn]] void fail(EFileSinkError::Stage stage, const QString& reason) const;
  void writeOut(const char* data, qsizetype n);

  QString FShownName;
  std::unique_ptr<QIODevice> FOwned;
  QIODevice* FDevice = nullptr;
  QByteArray FBuffer;
  qsizetype FLength = 0;
};
