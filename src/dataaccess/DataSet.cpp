#include "dataaccess/DataSet.h"

#include "dataaccess/EngineWait.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/DataSource.h"
#include "dataaccess/Database.h"
#include "dataaccess/Driver.h"
#include "dataaccess/RowCache.h"
#include "dataaccess/Session.h"

#include <algorithm>
#include <limits>

TDataSet::TDataSet() = default;

TDataSet::~TDataSet()
{
  for (TDataSource* ds : FDataSources)
    ds->DataSetGone(this);
  if (FDatabase)
    FDatabase->UnregisterDataSet(this);
}

void TDataSet::CheckInactive(const char* what) const
{
  if (Active())
    throw EDatabaseError(QStringLiteral("Cannot change %1 of an open dataset.").arg(QLatin1String(what)));
}

void TDataSet::CheckActive() const
{
  if (!Active())
    throw EDatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset."));
}

void TDataSet::SetDatabaseName(const QString& name)
{
  CheckInactive("the database name");
  FDatabaseName = name;
}

TDriverConnection& TDataSet::Connection()
{
  if (!FDatabase)
    throw EDatabaseError(QStringLiteral("Dataset is not open."));
  return FDatabase->Connection();
}

void TDataSet::FieldDefsFromColumns(const TRowSource& source)
{
  const std::vector<TColumnInfo>& columns = source.columns();
  for (size_t i = 0; i < columns.size(); ++i) {
    const TColumnInfo& c = columns[i];
    FFieldDefs.Add({c.Name, c.DataType, c.Size, c.Precision, c.Required, int(i) + 1, c.KeyPosition > 0, c.ReadOnly});
  }
}

// ---- opening and closing ----

void TDataSet::Open()
{
  if (Active())
    return;
  TDatabase* db = Session().FindDatabase(FDatabaseName);
  if (!db)
    throw EDBEngineError(QStringLiteral("There is no database named '%1'.").arg(FDatabaseName));
  FFieldDefs.Clear();
  try {
    FSource = OpenSource(db->Connection());
    FCache = std::make_unique<TRowCache>(FSource.get());
    FFields.clear();
    for (int i = 0; i < FFieldDefs.Count(); ++i)
      FFields.push_back(createField(*this, FFieldDefs[i], i));
    FDatabase = db;
    db->RegisterDataSet(this);
    FState = dsBrowse;
    FFilteredCount = -1;
    FModified = false;
    const int64_t first = step(-1, 1);
    if (first < 0 || !loadPosition(first)) {
      FPosition = -1;
      FCurrent.clear();
    }
    FBof = true;
    FEof = FPosition < 0;
  } catch (...) {
    release();  // a dataset that failed to open is closed, not half open
    throw;
  }
  notify(Notify::Active);
  if (AfterOpen)
    AfterOpen(*this);
  afterScroll();
}

void TDataSet::Close()
{
  if (!Active())
    return;
  if (BeforeClose)
    BeforeClose(*this);
  release();
  notify(Notify::Active);
}

void TDataSet::DatabaseGone()
{
  FDatabase = nullptr;
  release();
}

void TDataSet::release()
{
  FCache.reset();
  FSource.reset();
  FFields.clear();
  FCurrent.clear();
  FBuffer.clear();
  FPosition = -1;
  FModified = false;
  FEof = FBof = true;
  FState = dsInactive;
  if (FDatabase)
    FDatabase->UnregisterDataSet(this);
  FDatabase = nullptr;
}

// ---- reading ----

bool TDataSet::loadPosition(int64_t position)
{
  const TRow* row = FCache->row(position);
  if (!row)
    return false;
  assignRow(FCurrent, *row);  // a copy of its own: the cache reads into its rows again without a new buffer
  FPosition = position;
  return true;
}

bool TDataSet::accepted(int64_t position)
{
  if (!FFiltered || !OnFilterRecord)
    return true;
  const TRow saved = FCurrent;
  const int64_t savedPosition = FPosition;
  bool result = false;
  if (loadPosition(position))
    result = OnFilterRecord(*this);
  FCurrent = saved;
  FPosition = savedPosition;
  return result;
}

int64_t TDataSet::step(int64_t from, int direction)
{
  for (int64_t p = from + direction; p >= 0; p += direction) {
    if (!FCache->row(p))
      return -1;
    if (accepted(p))
      return p;
  }
  return -1;
}

void TDataSet::afterScroll()
{
  if (AfterScroll)
    AfterScroll(*this);
}

const TValue& TDataSet::CurrentValue(int fieldIndex) const
{
  static const TValue null;
  const TRow& row = FState == dsEdit || FState == dsInsert ? FBuffer : FCurrent;
  if (fieldIndex < 0 || size_t(fieldIndex) >= row.size())
    return null;
  return row[size_t(fieldIndex)];
}

const TRow* TDataSet::RowAt(int64_t position)
{
  if (!Active() || position < 0)
    return nullptr;
  if (FState == dsInsert) {
    if (position == FInsertPosition)
      return &FBuffer;
    if (position > FInsertPosition)
      --position;
  } else if (FState == dsEdit && position == FPosition) {
    return &FBuffer;
  }
  // While a call waits on the database the window still paints: it shows what is in memory only.
  if (TEngineWait::active())
    return FCache->cachedRow(position);
  return FCache->row(position);
}

int64_t TDataSet::KnownRecordCount() const
{
  if (!Active())
    return 0;
  if (FFiltered && OnFilterRecord)
    return FFilteredCount;
  return FCache->knownEnd();
}

bool TDataSet::IsEmpty()
{
  return FState != dsInsert && FPosition < 0;
}

int64_t TDataSet::RecNo() const
{
  if (FState == dsInsert)
    return FInsertPosition + 1;
  return FPosition + 1;
}

int64_t TDataSet::RecordCount64()
{
  if (!Active())
    return 0;
  if (FFiltered && OnFilterRecord) {
    if (FFilteredCount < 0) {
      int64_t n = 0;
      for (int64_t p = step(-1, 1); p >= 0; p = step(p, 1))
        ++n;
      FFilteredCount = n;
    }
    return FFilteredCount;
  }
  const int64_t count = FSource->count();
  FCache->setKnownEnd(count);
  return count;
}

int TDataSet::RecordCount()
{
  return int(std::min<int64_t>(RecordCount64(), std::numeric_limits<int>::max()));
}

// ---- navigation ----

void TDataSet::First()
{
  CheckActive();
  CheckBrowseMode();
  const int64_t p = step(-1, 1);
  if (p < 0 || !loadPosition(p)) {
    FPosition = -1;
    FCurrent.clear();
  }
  FBof = true;
  FEof = FPosition < 0;
  notify(Notify::Scrolled);
  afterScroll();
}

void TDataSet::Next()
{
  CheckActive();
  CheckBrowseMode();
  if (FEof)
    return;
  const int64_t p = step(FPosition, 1);
  if (p >= 0 && loadPosition(p))
    FBof = false;
  else
    FEof = true;  // the current record stays the last one
  notify(Notify::Scrolled);
  afterScroll();
}

void TDataSet::Prior()
{
  CheckActive();
  CheckBrowseMode();
  if (FBof)
    return;
  const int64_t p = step(FPosition, -1);
  if (p >= 0 && loadPosition(p))
    FEof = false;
  else
    FBof = true;
  notify(Notify::Scrolled);
  afterScroll();
}

void TDataSet::Last()
{
  CheckActive();
  CheckBrowseMode();
  int64_t p;
  if (FFiltered && OnFilterRecord) {
    p = FSource->count() - 1;
    while (p >= 0 && !accepted(p))
      --p;
  } else {
    p = RecordCount64() - 1;
  }
  if (p >= 0 && loadPosition(p)) {
    FBof = false;
  } else {
    FPosition = -1;
    FCurrent.clear();
    FBof = true;
  }
  FEof = true;
  notify(Notify::Scrolled);
  afterScroll();
}

int64_t TDataSet::MoveBy(int64_t distance)
{
  CheckActive();
  CheckBrowseMode();
  if (distance == 0 || FPosition < 0 || (distance > 0 && FEof) || (distance < 0 && FBof))
    return 0;
  const int64_t start = FPosition;
  if (FFiltered && OnFilterRecord) {
    const int direction = distance > 0 ? 1 : -1;
    for (int64_t left = distance > 0 ? distance : -distance; left > 0; --left) {
      const int64_t p = step(FPosition, direction);
      if (p < 0) {
        (direction > 0 ? FEof : FBof) = true;
        break;
      }
      loadPosition(p);
    }
  } else if (distance > 0) {
    if (!loadPosition(start + distance)) {
      loadPosition(RecordCount64() - 1);
      FEof = true;
    }
  } else if (!loadPosition(std::max<int64_t>(0, start + distance)) || start + distance < 0) {
    FBof = true;
  }
  if (FPosition != start) {
    if (distance > 0)
      FBof = false;
    else
      FEof = false;
  }
  notify(Notify::Scrolled);
  afterScroll();
  return FPosition - start;
}

void TDataSet::SetRecNo(int64_t recNo)
{
  CheckActive();
  CheckBrowseMode();
  if (FPosition < 0)
    return;
  const int64_t target = std::max<int64_t>(1, recNo) - 1;
  if (target == FPosition)
    return;
  MoveBy(target - FPosition);
}

TBookmark TDataSet::GetBookmark() const
{
  auto b = std::make_shared<TBookmarkData>();
  b->Position = FPosition;
  b->Row = FCurrent;
  return b;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark)
{
  CheckActive();
  CheckBrowseMode();
  if (!BookmarkValid(bookmark))
    throw EDatabaseError(QStringLiteral("Record not found."));
  int64_t p = FSource->positionOf(bookmark->Row);
  if (p >= 0)
    FCache->clear();  // the row was found by key: what the cache holds may have moved since
  else
    p = bookmark->Position;
  if (!loadPosition(p) && !loadPosition(RecordCount64() - 1))
    throw EDatabaseError(QStringLiteral("Record not found."));
  FEof = FBof = false;
  notify(Notify::Scrolled);
  afterScroll();
}

void TDataSet::ReleaseReads()
{
  // Someone walking the rows with the controls held (an export) is reading, however quiet the
  // window: letting go now would make every later block start over from an offset.
  if (Active() && !TEngineWait::active() && !ControlsDisabled())
    FSource->releaseReads();
}

void TDataSet::Refresh()
{
  CheckActive();
  CheckBrowseMode();
  FSource->refresh();
  int64_t found = -1;
  if (FPosition >= 0) {
    try {
      found = FSource->positionOf(FCurrent);
    } catch (const EDBEngineError& e) {
      // The search for the current row is a detail of refreshing: the user asked to refresh, and
      // the engine's reason (a lock, a lost file) is what they need to read.
      std::vector<TDBError> errors{{QStringLiteral("Cannot refresh the records."), e.Errors(0).ErrorCode, 0}};
      for (int i = 1; i < e.ErrorCount(); ++i)
        errors.push_back(e.Errors(i));
      throw EDBEngineError(std::move(errors));
    }
  }
  FCache->clear();
  FFilteredCount = -1;
  if (!loadPosition(found >= 0 ? found : std::max<int64_t>(FPosition, 0)) && !loadPosition(RecordCount64() - 1)) {
    FPosition = -1;
    FCurrent.clear();
  }
  FEof = FBof = FPosition < 0;
  notify(Notify::Changed);
}

// ---- editing ----

bool TDataSet::CanModify(QString* reason) const
{
  if (!Active()) {
    if (reason)
      *reason = QStringLiteral("Cannot perform this operation on a closed dataset.");
    return false;
  }
  return FSource->canModify(reason);
}

void TDataSet::Edit()
{
  CheckActive();
  if (FState == dsEdit || FState == dsInsert)
    return;
  QString reason;
  if (!FSource->canModify(&reason))
    throw EDBEngineError(reason);
  if (FPosition < 0) {
    Insert();
    return;
  }
  FBuffer = FCurrent;
  FModified = false;
  FState = dsEdit;
  notify(Notify::State);
}

void TDataSet::Insert()
{
  CheckActive();
  CheckBrowseMode();
  QString reason;
  if (!FSource->canModify(&reason))
    throw EDBEngineError(reason);
  FPositionBeforeInsert = FPosition;
  FInsertPosition = std::max<int64_t>(FPosition, 0);
  FBuffer.assign(size_t(FieldCount()), TValue());
  FModified = false;
  FState = dsInsert;
  FEof = FBof = false;
  notify(Notify::State);
  notify(Notify::Changed);
  afterScroll();
}

void TDataSet::Append()
{
  CheckActive();
  CheckBrowseMode();
  const int64_t count = FSource->count();
  Insert();
  FInsertPosition = count;
  notify(Notify::Changed);
}

void TDataSet::SetFieldValue(int fieldIndex, const TValue& value)
{
  CheckActive();
  if (FState != dsEdit && FState != dsInsert)
    throw EDatabaseError(QStringLiteral("Dataset not in edit or insert mode."));
  TField* field = Fields(fieldIndex);
  if (field->ReadOnly)
    throw EDatabaseError(QStringLiteral("Field '%1' cannot be modified.").arg(field->FieldName()));
  FBuffer[size_t(fieldIndex)] = value;
  FModified = true;
  FFilteredCount = -1;
  notify(Notify::Record, field);
}

void TDataSet::Post()
{
  CheckActive();
  if (FState != dsEdit && FState != dsInsert)
    return;
  notify(Notify::UpdateData);
  int64_t target = FPosition;
  if (FState == dsEdit) {
    if (FModified) {
      FSource->updateRow(FCurrent, FBuffer);  // raises on a conflict: the edit stays as it is
      FCache->clear();
      const int64_t p = FSource->positionOf(FBuffer);
      if (p >= 0)
        target = p;
    }
  } else {
    const TRow stored = FSource->insertRow(FBuffer);
    FCache->clear();
    const int64_t p = stored.empty() ? -1 : FSource->positionOf(stored);
    target = p >= 0 ? p : std::max<int64_t>(0, FSource->count() - 1);
  }
  endEdit();
  if (!loadPosition(target) && !loadPosition(std::max<int64_t>(0, RecordCount64() - 1))) {
    FPosition = -1;
    FCurrent.clear();
  }
  FEof = FBof = FPosition < 0;
  FFilteredCount = -1;
  notify(Notify::State);
  notify(Notify::Changed);
  if (AfterPost)
    AfterPost(*this);
}

void TDataSet::endEdit()
{
  FState = dsBrowse;
  FBuffer.clear();
  FModified = false;
}

void TDataSet::Cancel()
{
  if (FState != dsEdit && FState != dsInsert)
    return;
  const bool wasInsert = FState == dsInsert;
  endEdit();
  if (wasInsert) {
    FPosition = FPositionBeforeInsert;
    if (FPosition >= 0)
      loadPosition(FPosition);
    FEof = FBof = FPosition < 0;
  }
  notify(Notify::State);
  notify(Notify::Changed);
}

void TDataSet::Delete()
{
  CheckActive();
  if (FState == dsInsert) {
    Cancel();
    return;
  }
  if (FPosition < 0)
    throw EDatabaseError(QStringLiteral("Cannot perform this operation on an empty dataset."));
  QString reason;
  if (!FSource->canModify(&reason))
    throw EDBEngineError(reason);
  if (FState == dsEdit)
    endEdit();  // deleting the record drops its pending changes
  FSource->deleteRow(FCurrent);
  FCache->clear();
  const int64_t count = RecordCount64();
  const int64_t p = std::min(FPosition, count - 1);
  if (p < 0 || !loadPosition(p)) {
    FPosition = -1;
    FCurrent.clear();
  }
  FEof = FPosition < 0 || FPosition == count - 1;
  FBof = FPosition <= 0;
  FFilteredCount = -1;
  notify(Notify::State);
  notify(Notify::Changed);
  afterScroll();
}

void TDataSet::UpdateRecord()
{
  if (FState == dsEdit || FState == dsInsert)
    notify(Notify::UpdateData);
}

void TDataSet::CheckBrowseMode()
{
  if (FState != dsEdit && FState != dsInsert)
    return;
  notify(Notify::UpdateData);
  if (FModified)
    Post();
  else
    Cancel();
}

// ---- fields, filter, controls ----

TField* TDataSet::FindField(const QString& name) const
{
  for (const auto& f : FFields)
    if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0)
      return f.get();
  return nullptr;
}

TField* TDataSet::FieldByName(const QString& name) const
{
  if (TField* f = FindField(name))
    return f;
  throw EDatabaseError(QStringLiteral("Field '%1' not found.").arg(name));
}

void TDataSet::SetFiltered(bool filtered)
{
  if (filtered == FFiltered)
    return;
  FFiltered = filtered;
  FFilteredCount = -1;
  if (Active())
    First();
}

void TDataSet::DisableControls()
{
  ++FDisableCount;
}

void TDataSet::EnableControls()
{
  if (FDisableCount == 0)
    return;
  if (--FDisableCount == 0)
    notify(Notify::Changed);
}

void TDataSet::AddDataSource(TDataSource* source)
{
  if (std::find(FDataSources.begin(), FDataSources.end(), source) == FDataSources.end())
    FDataSources.push_back(source);
}

void TDataSet::RemoveDataSource(TDataSource* source)
{
  FDataSources.erase(std::remove(FDataSources.begin(), FDataSources.end(), source), FDataSources.end());
}

void TDataSet::notify(Notify what, TField* field)
{
  // While controls are disabled they hear nothing but requests to hand over their edits.
  if (FDisableCount > 0 && what != Notify::UpdateData)
    return;
  const std::vector<TDataSource*> sources = FDataSources;
  for (TDataSource* ds : sources) {
    switch (what) {
    case Notify::Active: ds->NotifyActiveChanged(); break;
    case Notify::Changed: ds->NotifyDataSetChanged(); break;
    case Notify::Scrolled: ds->NotifyDataSetScrolled(); break;
    case Notify::Record: ds->NotifyRecordChanged(field); break;
    case Notify::State: ds->NotifyStateChanged(); break;
    case Notify::UpdateData: ds->NotifyUpdateData(); break;
    }
  }
}
