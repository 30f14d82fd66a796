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

// The seven 16x16 pictures of the schema tree, by their index in the tree's image list.
namespace TreeImage {
enum : int { ClosedFolder = 0, OpenFolder = 1, Cabinet = 2, TableGrid = 3, Text = 4, MinusBox = 5, PlusBox = 6 };
constexpr int Count = 7;
}  // namespace TreeImage
// A tree picture by index; out of range gives a null pixmap.
QPixmap treeImage(int index);
