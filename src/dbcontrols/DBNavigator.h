#pragma once

#include "dataaccess/DataSource.h"

#include <QWidget>
#include <array>

class QToolButton;

// The record navigator: ten buttons that move through, edit and refresh the bound dataset.
class TDBNavigator : public QWidget, private TDataLink {
  Q_OBJECT
public:
  enum Button { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel, nbRefresh };
  static constexpr int ButtonCount = 10;

  explicit TDBNavigator(QWidget* parent = nullptr);
  ~TDBNavigator() override;

  void SetDataSource(TDataSource* source) { TDataLink::SetDataSource(source); }
  TDataSource* DataSource() const { return TDataLink::DataSource(); }
  bool ConfirmDelete = true;
  QToolButton* Buttons(Button b) const { return FButtons[size_t(b)]; }
  // Carries out a button's command, as a click does.
  void BtnClick(Button b);

private:
  void ActiveChanged() override { updateButtons(); }
  void DataSetChanged() override { updateButtons(); }
  void DataSetScrolled() override { updateButtons(); }
  void StateChanged() override { updateButtons(); }
  void RecordChanged(TField*) override { updateButtons(); }
  void updateButtons();

  std::array<QToolButton*, ButtonCount> FButtons{};
};
