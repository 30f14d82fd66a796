#include "dataaccess/DataSet.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/Database.h"
#include "dataaccess/Driver.h"
#include "dataaccess/Session.h"

#include <limits>

TDataSet::~TDataSet()
{
  if (FDatabase)
    FDatabase->UnregisterDataSet(this);
}

void TDataSet::CheckInactive(const char* what) const
{
  if (Active())
    throw EDatabaseError(QStringLiteral("Cannot change %1 of an open dataset.").arg(QLatin1String(what)));
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

void TDataSet::Open()
{
  if (Active())
    return;
  TDatabase* db = Session().FindDatabase(FDatabaseName);
  if (!db)
    throw EDBEngineError(QStringLiteral("There is no database named '%1'.").arg(FDatabaseName));
  FFieldDefs.Clear();
  try {
    FCursor = OpenCursor(db->Connection(), true);
    FFields.clear();
    for (int i = 0; i < FFieldDefs.Count(); ++i)
      FFields.push_back(createField(*this, FFieldDefs[i], i));
    FDatabase = db;
    db->RegisterDataSet(this);
    FState = dsBrowse;
    FRecordCount = -1;
    FMovedPastFirst = false;
    fetchFirst();
  } catch (...) {
    release();  // a dataset that failed to open is closed, not half open
    throw;
  }
  if (AfterOpen)
    AfterOpen(*this);
  doAfterScroll();
}

void TDataSet::Close()
{
  if (!Active())
    return;
  if (BeforeClose)
    BeforeClose(*this);
  release();
}

void TDataSet::DatabaseGone()
{
  FDatabase = nullptr;
  release();
}

void TDataSet::release()
{
  FCursor.reset();
  FFields.clear();
  FCurrent.clear();
  FHasRecord = false;
  FEof = FBof = true;
  FState = dsInactive;
  if (FDatabase)
    FDatabase->UnregisterDataSet(this);
  FDatabase = nullptr;
}

void TDataSet::fetchFirst()
{
  if (FMovedPastFirst || !FCursor) {
    FCursor = OpenCursor(Connection(), false);
    FMovedPastFirst = false;
  }
  FHasRecord = FCursor->fetch(FCurrent);
  if (!FHasRecord)
    FCurrent.clear();
  FBof = true;
  FEof = !FHasRecord;
}

void TDataSet::doAfterScroll()
{
  if (AfterScroll)
    AfterScroll(*this);
}

void TDataSet::First()
{
  if (!Active())
    throw EDatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset."));
  fetchFirst();
  doAfterScroll();
}

void TDataSet::Next()
{
  if (!Active())
    throw EDatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset."));
  if (FEof)
    return;
  TRow row;
  if (FCursor->fetch(row)) {
    FCurrent = std::move(row);
    FMovedPastFirst = true;
    FBof = false;
  } else {
    FEof = true;  // the current record stays the last one
  }
  doAfterScroll();
}

int TDataSet::RecordCount()
{
  if (!Active())
    return 0;
  if (FRecordCount < 0)
    FRecordCount = CountRecords(Connection());
  return int(std::min<int64_t>(FRecordCount, std::numeric_limits<int>::max()));
}

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

const TValue& TDataSet::CurrentValue(int fieldIndex) const
{
  static const TValue null;
  if (!FHasRecord || fieldIndex < 0 || size_t(fieldIndex) >= FCurrent.size())
    return null;
  return FCurrent[size_t(fieldIndex)];
}
