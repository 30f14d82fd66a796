#pragma once
// Small pictures drawn in code with QPainter, so the program carries no image
// files or resources. Every function here needs a QGuiApplication (or
// QApplication) to exist already, because QPixmap cannot be created without one.
#include <QIcon>
#include <QPixmap>

enum class ToolGlyph { New, Open, Save, Cut, Copy, Paste, Undo };

// An icon with QIcon::Normal and QIcon::Disabled pixmaps set explicitly
// (each at 16x16 and, for hi-dpi screens, at 32x32 with device pixel ratio 2).
QIcon toolGlyphIcon(ToolGlyph glyph);
// A 16x16 pixmap (device pixel ratio 1); disabled gives the grey, flattened look.
QPixmap toolGlyphPixmap(ToolGlyph glyph, bool disabled);

// The seven 16x16 pictures of the schema tree, index 0..6 as listed; out of range gives a null pixmap.
// 0 closed folder, 1 open folder, 2 filing cabinet, 3 table grid, 4 text, 5 minus box, 6 plus box.
QPixmap treeImage(int index);
constexpr int treeImageCount = 7;
