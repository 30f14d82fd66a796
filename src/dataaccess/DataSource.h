#pragma once
#include <vector>

class TDataSet;
class TDataSource;
class TField;

// A control's end of a data binding: it hears what happened to the dataset.
class TDataLink {
public:
  virtual ~TDataLink();
  TDataSource* DataSource() const { return FDataSource; }
  void SetDataSource(TDataSource* source);
  TDataSet* DataSet() const;
  bool Active() const;

  virtual void ActiveChanged() {}
  virtual void DataSetChanged() {}    // anything may have changed
  virtual void DataSetScrolled() {}   // another record became current
  virtual void RecordChanged(TField* /*field*/) {}  // a value of the current record changed
  virtual void StateChanged() {}
  virtual void UpdateData() {}        // hand pending input to the record before it is posted

private:
  TDataSource* FDataSource = nullptr;
};

// Binds a dataset to controls (grids, navigator, memo viewer). With AutoEdit, a control's change
// puts the current record into edit mode.
class TDataSource {
public:
  TDataSource() = default;
  ~TDataSource();
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;

  TDataSet* DataSet() const { return FDataSet; }
  void SetDataSet(TDataSet* dataSet);
  bool AutoEdit = true;
  // For controls about to change a value: edit mode when AutoEdit allows; false when the value may
  // not change.
  bool Edit();

  void AddLink(TDataLink* link);
  void RemoveLink(TDataLink* link);

  // From the dataset.
  void NotifyActiveChanged();
  void NotifyDataSetChanged();
  void NotifyDataSetScrolled();
  void NotifyRecordChanged(TField* field);
  void NotifyStateChanged();
  void NotifyUpdateData();
  void DataSetGone(TDataSet* dataSet);

private:
  template <class F>
  void each(F f);
  TDataSet* FDataSet = nullptr;
  std::vector<TDataLink*> FLinks;
};
