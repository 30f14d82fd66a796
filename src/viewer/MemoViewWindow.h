#pragma once

#include <QMainWindow>

// The memo viewer: a separate window bound to a text memo field of the table grid.
class TfmMemoView : public QMainWindow {
  Q_OBJECT
public:
  explicit TfmMemoView(QWidget* parent = nullptr);
};

extern TfmMemoView* fmMemoView;
