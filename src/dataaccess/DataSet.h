#pragma once

#include "dataaccess/Field.h"

#include <functional>
#include <memory>

class TDatabase;
class TDataSource;
class TDriverConnection;
class TRowCache;
class TRowSource;

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// A place in a dataset to come back to: its position and the row's values (its key finds the row
// again when rows before it were added or removed).
struct TBookmarkData {
  int64_t Position = -1;
  TRow Row;
};
using TBookmark = std::shared_ptr<const TBookmarkData>;

// A navigational dataset over the connection named by DatabaseName. Rows are read lazily into a
// bounded cache; the dataset keeps its own copy of the current record only.
class TDataSet {
public:
  TDataSet();
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

  // Navigation. Each move posts pending changes first (or drops them when nothing changed).
  void First();
  void Next();
  void Prior();
  void Last();
  int64_t MoveBy(int64_t distance);  // returns the distance moved
  bool Eof() const { return FEof; }
  bool Bof() const { return FBof; }
  bool IsEmpty();
  // 1-based number of the current record, 0 without one. Setting it moves there.
  int64_t RecNo() const;
  void SetRecNo(int64_t recNo);
  // Exact number of records, asked of the database without reading the rows.
  int RecordCount();
  int64_t RecordCount64();

  TBookmark GetBookmark() const;
  void GotoBookmark(const TBookmark& bookmark);
  void FreeBookmark(TBookmark& bookmark) { bookmark.reset(); }
  bool BookmarkValid(const TBookmark& bookmark) const { return bookmark && bookmark->Position >= 0; }
  // Reads the rows again (others may have changed them), staying on the current record.
  void Refresh();
  // Lets go of read locks and open statements while nobody reads; reading on takes up at the same
  // record. Does nothing while a call waits on the database or the controls are disabled.
  void ReleaseReads();

  // Editing. CanModify says why not in *reason.
  bool CanModify(QString* reason = nullptr) const;
  void Edit();
  void Insert();
  void Append();
  void Post();
  void Cancel();
  void Delete();
  bool Modified() const { return FModified; }
  // Posts changes that are pending, or drops an untouched edit.
  void CheckBrowseMode();
  // Asks the bound controls to hand over what they hold (an open cell editor, typed memo text), so
  // that Modified tells whether the record has changes. Raises what a field raises for bad text.
  void UpdateRecord();

  TFieldDefs& FieldDefs() { return FFieldDefs; }
  int FieldCount() const { return int(FFields.size()); }
  TField* Fields(int index) const { return FFields.at(size_t(index)).get(); }
  TField* FindField(const QString& name) const;
  TField* FieldByName(const QString& name) const;  // raises when missing

  // Attached controls stop following the dataset while disabled; calls nest. Re-enabling the
  // last level tells them that everything may have changed.
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return FDisableCount > 0; }

  // Records the predicate refuses are skipped while Filtered is true.
  bool Filtered() const { return FFiltered; }
  void SetFiltered(bool filtered);
  std::function<bool(TDataSet&)> OnFilterRecord;

  std::function<void(TDataSet&)> AfterOpen;
  std::function<void(TDataSet&)> BeforeClose;
  // After every move to the first record (empty dataset too) and every move to the next, the one
  // that sets end-of-data included; also while controls are disabled.
  std::function<void(TDataSet&)> AfterScroll;
  std::function<void(TDataSet&)> AfterPost;

  // For fields and controls.
  const TValue& CurrentValue(int fieldIndex) const;
  void SetFieldValue(int fieldIndex, const TValue& value);
  // The row at a 0-based position as the grid shows it (the record being inserted included);
  // nullptr past the end. Valid until the next call.
  const TRow* RowAt(int64_t position);
  int64_t CurrentPosition() const { return FPosition; }  // 0-based, -1 without a record
  // The count when it is known without asking the database; -1 otherwise.
  int64_t KnownRecordCount() const;
  void AddDataSource(TDataSource* source);
  void RemoveDataSource(TDataSource* source);

  // Called by the connection when it is destroyed before this dataset.
  void DatabaseGone();

protected:
  // Fills FieldDefs (by default from the source's columns) and returns the rows.
  virtual std::unique_ptr<TRowSource> OpenSource(TDriverConnection& connection) = 0;
  void FieldDefsFromColumns(const TRowSource& source);
  TDriverConnection& Connection();
  void CheckInactive(const char* what) const;
  void CheckActive() const;

private:
  enum class Notify { Active, Changed, Scrolled, Record, State, UpdateData };
  void notify(Notify what, TField* field = nullptr);
  void release();
  bool loadPosition(int64_t position);  // makes it current when it exists
  bool accepted(int64_t position);
  int64_t step(int64_t from, int direction);  // next accepted position, -1 at the end
  void afterScroll();
  void endEdit();

  QString FDatabaseName;
  TDatabase* FDatabase = nullptr;  // while open
  TDataSetState FState = dsInactive;
  TFieldDefs FFieldDefs;
  std::vector<std::unique_ptr<TField>> FFields;
  std::unique_ptr<TRowSource> FSource;
  std::unique_ptr<TRowCache> FCache;
  TRow FCurrent;        // the current record as read
  TRow FBuffer;         // the record being edited or inserted
  int64_t FPosition = -1;
  int64_t FInsertPosition = -1;  // where the record being inserted stands, in dsInsert
  int64_t FPositionBeforeInsert = -1;
  bool FModified = false;
  bool FEof = true;
  bool FBof = true;
  int FDisableCount = 0;
  bool FFiltered = false;
  int64_t FFilteredCount = -1;
  std::vector<TDataSource*> FDataSources;
};
