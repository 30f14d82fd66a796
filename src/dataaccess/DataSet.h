#pragma once

#include "dataaccess/Field.h"

#include <functional>
#include <memory>

class TDatabase;
class TDriverConnection;
class TDriverCursor;

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// A navigational dataset over the connection named by DatabaseName. Rows come lazily from the
// driver's cursor; nothing is read ahead of the current record.
class TDataSet {
public:
  TDataSet() = default;
  virtual ~TDataSet();
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  QString DatabaseName() const { return FDatabaseName; }
  void SetDatabaseName(const QString& name);  // while closed

  void Open();
  void Close();
  bool Active() const { return FState != dsInactive; }
  void SetActive(bool active) { active ? Open() : Close(); }
  TDataSetState State() const { return FState; }

  void First();
  void Next();
  bool Eof() const { return FEof; }
  bool Bof() const { return FBof; }
  bool IsEmpty() const { return !FHasRecord; }
  // Exact number of records, asked of the database without reading the rows.
  int RecordCount();

  TFieldDefs& FieldDefs() { return FFieldDefs; }
  int FieldCount() const { return int(FFields.size()); }
  TField* Fields(int index) const { return FFields.at(size_t(index)).get(); }
  TField* FindField(const QString& name) const;
  TField* FieldByName(const QString& name) const;  // raises when missing

  // Attached controls stop following the dataset while disabled; calls nest.
  void DisableControls() { ++FDisableCount; }
  void EnableControls() { if (FDisableCount > 0) --FDisableCount; }
  bool ControlsDisabled() const { return FDisableCount > 0; }
  bool Filtered = false;

  std::function<void(TDataSet&)> AfterOpen;
  std::function<void(TDataSet&)> BeforeClose;
  // After every move to the first record (empty dataset too) and every move to the next.
  std::function<void(TDataSet&)> AfterScroll;

  // The current record's value of a field; null without a current record.
  const TValue& CurrentValue(int fieldIndex) const;

  // Called by the connection when it is destroyed before this dataset.
  void DatabaseGone();

protected:
  // Fill FieldDefs (via AddFieldDef) and return the cursor of the first record onwards.
  virtual std::unique_ptr<TDriverCursor> OpenCursor(TDriverConnection& connection, bool refreshDefs) = 0;
  virtual int64_t CountRecords(TDriverConnection& connection) = 0;
  TDriverConnection& Connection();
  void CheckInactive(const char* what) const;

private:
  void fetchFirst();
  void release();
  void doAfterScroll();

  QString FDatabaseName;
  TDatabase* FDatabase = nullptr;  // while open
  TDataSetState FState = dsInactive;
  TFieldDefs FFieldDefs;
  std::vector<std::unique_ptr<TField>> FFields;
  std::unique_ptr<TDriverCursor> FCursor;
  TRow FCurrent;
  bool FHasRecord = false;
  bool FMovedPastFirst = false;
  bool FEof = true;
  bool FBof = true;
  int FDisableCount = 0;
  int64_t FRecordCount = -1;  // cached while open
};
