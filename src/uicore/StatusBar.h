#pragma once

#include <QStatusBar>
#include <vector>

class QLabel;

// A status bar of fixed-width text panels; the last one also takes the remaining width.
class TStatusBar : public QStatusBar {
  Q_OBJECT
public:
  TStatusBar(const std::vector<int>& widths, QWidget* parent = nullptr);
  void SetPanelText(int panel, const QString& text);
  QString PanelText(int panel) const;
  int PanelCount() const { return int(FPanels.size()); }

private:
  std::vector<QLabel*> FPanels;
};
