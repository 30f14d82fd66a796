#include "uicore/StatusBar.h"

#include <QLabel>

TStatusBar::TStatusBar(const std::vector<int>& widths, QWidget* parent) : QStatusBar(parent)
{
  setSizeGripEnabled(true);
  for (size_t i = 0; i < widths.size(); ++i) {
    auto* panel = new QLabel(this);
    panel->setObjectName(QStringLiteral("Panel%1").arg(i));
    panel->setTextFormat(Qt::PlainText);  // names and file names are shown as written, never as markup
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    const bool last = i + 1 == widths.size();
    if (last)
      panel->setMinimumWidth(widths[i]);
    else
      panel->setFixedWidth(widths[i]);
    addWidget(panel, last ? 1 : 0);
    FPanels.push_back(panel);
  }
}

void TStatusBar::SetPanelText(int panel, const QString& text)
{
  FPanels.at(size_t(panel))->setText(text);
}

QString TStatusBar::PanelText(int panel) const
{
  return FPanels.at(size_t(panel))->text();
}
