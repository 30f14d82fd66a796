#include "platform/FileSink.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// Room past a chunk for the line or record that crosses its end, so that it needs no reallocation.
constexpr qsizetype chunkSlack = 4096;

QString tr(const char* text)
{
  return QCoreApplication::translate("TFileSink", text);
}

QString shown(const QString& fileName)
{
  return fileName.isEmpty() ? QStringLiteral("\"\"") : QDir::toNativeSeparators(fileName);
}

QString systemReason(int error)
{
  return QString::fromLocal8Bit(std::strerror(error));
}

QString messageFor(EFileSinkError::Stage stage, const QString& shownName, const QString& reason)
{
  return (stage == EFileSinkError::Create ? tr("Cannot create file %1. %2") : tr("Cannot write to %1: %2"))
      .arg(shownName, reason);
}

}  // namespace

EFileSinkError::EFileSinkError(Stage stage, const QString& shownName, const QString& reason)
    : std::runtime_error(messageFor(stage, shownName, reason).toStdString()),
      FStage(stage),
      FShownName(shownName),
      FReason(reason)
{
}

TFileSink::TFileSink(const QString& fileName, Replacement replacement)
    : FShownName(shown(fileName)), FBuffer(chunkSize + chunkSlack, Qt::Uninitialized)
{
  if (fileName.isEmpty())
    fail(EFileSinkError::Create, tr("No file name was given."));
  const QFileInfo target(fileName);
  if (target.exists() && !target.isFile()) {
    // A folder is refused here too, by the open, with its reason.
    auto device = std::make_unique<QFile>(fileName);
    if (!device->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
      fail(EFileSinkError::Create, device->errorString());
    FOwned = std::move(device);
  } else {
    // Asked before anything is made beside it; QSaveFile's own refusal would not give the reason.
    if (target.exists() && ::access(QFile::encodeName(fileName).constData(), W_OK) != 0)
      fail(EFileSinkError::Create, systemReason(errno));
    auto copy = std::make_unique<QSaveFile>(fileName);
    copy->setDirectWriteFallback(replacement == Replacement::OrWriteInPlace);
    if (!copy->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
      fail(EFileSinkError::Create, copy->errorString());
    FOwned = std::move(copy);
  }
  FDevice = FOwned.get();
}

TFileSink::TFileSink(QIODevice* stream) : FDevice(stream), FBuffer(chunkSize + chunkSlack, Qt::Uninitialized)
{
  auto* file = qobject_cast<QFileDevice*>(stream);
  FShownName = file ? shown(file->fileName()) : tr("the output stream");
}

TFileSink::~TFileSink() = default;

void TFileSink::fail(EFileSinkError::Stage stage, const QString& reason) const
{
  throw EFileSinkError(stage, FShownName, reason);
}

void TFileSink::writeOut(const char* data, qsizetype n)
{
  while (n > 0) {
    const qint64 done = FDevice->write(data, n);
    if (done <= 0)
      fail(EFileSinkError::Write, FDevice->errorString());
    data += done;
    n -= done;
  }
}

void TFileSink::flush()
{
  const qsizetype n = FLength;
  FLength = 0;  // what failed to go is not offered again
  writeOut(FBuffer.constData(), n);
}

void TFileSink::write(const char* data, qsizetype n)
{
  flush();
  writeOut(data, n);
}

void TFileSink::commit()
{
  flush();
  if (auto* copy = qobject_cast<QSaveFile*>(FOwned.get())) {
    if (!copy->commit())
      fail(EFileSinkError::Write, copy->errorString());
  } else if (auto* file = qobject_cast<QFileDevice*>(FDevice)) {
    // A caller's buffered file reports a full disk only when its buffer goes out.
    if (!file->flush())
      fail(EFileSinkError::Write, file->errorString());
    if (FOwned)
      file->close();
  }
}
