#pragma once

#include <QColor>
#include <QPalette>
#include <functional>

class QWidget;

// Colours of our own (a navy caption, the navigator's glyphs) that stay readable when the desktop's
// palette is dark: the wanted colour where it stands out enough from its background, else the
// nearest lighter or darker one that does.

// Contrast of two colours as the web's accessibility guidelines reckon it, 1 to 21.
double contrastRatio(const QColor& a, const QColor& b);
// The wanted colour, or the nearest one toward white or black with a contrast of at least 4.5:1
// against the background.
QColor readableOn(const QColor& wanted, const QColor& background);
// Sets the widget's text role to the wanted colour made readable on its background role, and does
// so again whenever its palette changes.
void keepInkReadable(QWidget* widget, const QColor& wanted, QPalette::ColorRole text = QPalette::WindowText,
                     QPalette::ColorRole background = QPalette::Window);
// Calls back now and whenever the widget's palette changes (to redraw pictures in new colours).
void onPaletteChange(QWidget* widget, const std::function<void()>& redraw);
