#include "uicore/Ink.h"

#include <QEvent>
#include <QWidget>

#include <cmath>

namespace {

double luminance(const QColor& c)
{
  const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
  return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// Runs a callback on each palette change of the widget it watches.
class PaletteWatch : public QObject {
public:
  PaletteWatch(QWidget* widget, std::function<void()> changed) : QObject(widget), FChanged(std::move(changed))
  {
    widget->installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* event) override
  {
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) && !FBusy) {
      FBusy = true;  // setting the palette below raises another change
      FChanged();
      FBusy = false;
    }
    return false;
  }

private:
  std::function<void()> FChanged;
  bool FBusy = false;
};

}  // namespace

double contrastRatio(const QColor& a, const QColor& b)
{
  const double x = luminance(a), y = luminance(b);
  return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

QColor readableOn(const QColor& wanted, const QColor& background)
{
  constexpr double enough = 4.5;
  if (contrastRatio(wanted, background) >= enough)
    return wanted;
  // Toward white on a dark background, toward black on a light one, in small steps of mixing.
  const QColor target = luminance(background) < 0.5 ? QColor(Qt::white) : QColor(Qt::black);
  for (int step = 1; step <= 20; ++step) {
    const double t = step / 20.0;
    const QColor mixed = QColor::fromRgbF(float(wanted.redF() + (target.redF() - wanted.redF()) * t),
                                          float(wanted.greenF() + (target.greenF() - wanted.greenF()) * t),
                                          float(wanted.blueF() + (target.blueF() - wanted.blueF()) * t));
    if (contrastRatio(mixed, background) >= enough)
      return mixed;
  }
  return target;
}

void onPaletteChange(QWidget* widget, const std::function<void()>& redraw)
{
  redraw();
  new PaletteWatch(widget, redraw);
}

void keepInkReadable(QWidget* widget, const QColor& wanted, QPalette::ColorRole text, QPalette::ColorRole background)
{
  onPaletteChange(widget, [widget, wanted, text, background] {
    QPalette palette = widget->palette();
    const QColor ink = readableOn(wanted, palette.color(background));
    if (palette.color(text) != ink) {
      palette.setColor(text, ink);
      widget->setPalette(palette);
    }
  });
}
