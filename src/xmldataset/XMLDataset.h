#pragma once

#include "dataaccess/DataSource.h"

#include <QDateTime>
#include <QObject>
#include <cstdint>
#include <functional>

class QIODevice;
class TFileSink;
class XMLPacketOutput;
class TDataSet;
class TField;

// Writes a dataset as an XML datapacket, to a file or to a stream: the whole dataset from its
// first record to its end, one line at a time, with the dataset's position, state and filter
// restored afterwards. Values are written in the packet's own format settings; the process's are
// left alone. A handler of the dataset's after-scroll notification may set StopRequested to end the
// write after the current row.
class TXMLDataset : public QObject {
  Q_OBJECT
public:
  explicit TXMLDataset(QObject* owner = nullptr);

  TDataSet* DataSet() const { return FLink.DataSet(); }  // none once the dataset is destroyed
  void SetDataSet(TDataSet* dataSet) { FLink.SetDataSet(dataSet); }
  bool UseMimeEncoding = false;
  bool StopRequested = false;

  // Published properties that read fixed values; assignments are accepted and ignored, as stored
  // form data assigns them.
  QString TableName() const { return QString(); }
  void SetTableName(const QString&) {}
  float FileVersion() const { return 2.0f; }
  void SetFileVersion(float) {}
  QDateTime PacketTime() const { return QDateTime(); }
  void SetPacketTime(const QDateTime&) {}
  float PacketVersion = 0.0f;
  int RecordCount() const { return 0; }
  void SetRecordCount(int) {}
  int FieldDefCount() const { return 0; }
  void SetFieldDefCount(int) {}
  int IndexDefCount() const { return 0; }
  void SetIndexDefCount(int) {}
  bool HasFieldDefs() const { return false; }
  void SetHasFieldDefs(bool) {}
  bool HasIndexDefs() const { return false; }
  void SetHasIndexDefs(bool) {}
  bool HasRecordData() const { return false; }
  void SetHasRecordData(bool) {}
  bool HasChanges() const { return false; }
  void SetHasChanges(bool) {}

  // Through a TFileSink: a regular file is written beside its target and replaces it only when the
  // packet is complete; a pipe or a device is written directly. Raises "Cannot create file %1. %2",
  // with the system's reason, before the dataset is touched when the target cannot be created or
  // replaced, and "Cannot write to %1: %2" when a write fails.
  void SaveToFile(const QString& fileName);
  // Writes at the stream's position; the stream stays open. Any failure restores what the write
  // changed and then reaches the caller.
  void SaveToStream(QIODevice* stream);
  // The rows the last packet holds (fewer than the dataset's when a stop ended it).
  int64_t RowsWritten() const { return FRowsWritten; }

  // The clock read once per packet; tests set a fixed one.
  std::function<QDateTime()> Clock = [] { return QDateTime::currentDateTime(); };

private:
  void save(TFileSink& sink);  // the packet, with the dataset given back however the write ends
  void writePacket(XMLPacketOutput& out, TDataSet& ds, const QDateTime& now);
  void writeItem(XMLPacketOutput& out, const QByteArray& opening, const TField& field, int64_t row);

  TDataSource FLink;
  int64_t FRowsWritten = 0;
};
