#include "dataaccess/DataSource.h"

#include "dataaccess/DataSet.h"

#include <algorithm>

TDataLink::~TDataLink()
{
  SetDataSource(nullptr);
}

void TDataLink::SetDataSource(TDataSource* source)
{
  if (source == FDataSource)
    return;
  if (FDataSource)
    FDataSource->RemoveLink(this);
  FDataSource = source;
  if (FDataSource)
    FDataSource->AddLink(this);
  ActiveChanged();
}

TDataSet* TDataLink::DataSet() const
{
  return FDataSource ? FDataSource->DataSet() : nullptr;
}

bool TDataLink::Active() const
{
  TDataSet* ds = DataSet();
  return ds && ds->Active();
}

TDataSource::~TDataSource()
{
  SetDataSet(nullptr);
  for (TDataLink* link : std::vector<TDataLink*>(FLinks))
    link->SetDataSource(nullptr);
}

void TDataSource::SetDataSet(TDataSet* dataSet)
{
  if (dataSet == FDataSet)
    return;
  if (FDataSet)
    FDataSet->RemoveDataSource(this);
  FDataSet = dataSet;
  if (FDataSet)
    FDataSet->AddDataSource(this);
  NotifyActiveChanged();
}

void TDataSource::DataSetGone(TDataSet* dataSet)
{
  if (dataSet == FDataSet) {
    FDataSet = nullptr;
    NotifyActiveChanged();
  }
}

bool TDataSource::Edit()
{
  if (!FDataSet || !FDataSet->Active())
    return false;
  if (FDataSet->State() == dsEdit || FDataSet->State() == dsInsert)
    return true;
  if (!AutoEdit)
    return false;
  FDataSet->Edit();
  return true;
}

void TDataSource::AddLink(TDataLink* link)
{
  if (std::find(FLinks.begin(), FLinks.end(), link) == FLinks.end())
    FLinks.push_back(link);
}

void TDataSource::RemoveLink(TDataLink* link)
{
  FLinks.erase(std::remove(FLinks.begin(), FLinks.end(), link), FLinks.end());
}

template <class F>
void TDataSource::each(F f)
{
  // A link may unbind itself while it is told.
  for (TDataLink* link : std::vector<TDataLink*>(FLinks))
    if (std::find(FLinks.begin(), FLinks.end(), link) != FLinks.end())
      f(link);
}

void TDataSource::NotifyActiveChanged() { each([](TDataLink* l) { l->ActiveChanged(); }); }
void TDataSource::NotifyDataSetChanged() { each([](TDataLink* l) { l->DataSetChanged(); }); }
void TDataSource::NotifyDataSetScrolled() { each([](TDataLink* l) { l->DataSetScrolled(); }); }
void TDataSource::NotifyRecordChanged(TField* field) { each([field](TDataLink* l) { l->RecordChanged(field); }); }
void TDataSource::NotifyStateChanged() { each([](TDataLink* l) { l->StateChanged(); }); }
void TDataSource::NotifyUpdateData() { each([](TDataLink* l) { l->UpdateData(); }); }
