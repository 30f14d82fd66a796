#pragma once

// The screen cursor of the desktop toolkit the program was designed for, on Qt's override cursor.
// Setting a cursor other than the default keeps exactly one override on Qt's stack; setting the
// default removes it, so remembering and restoring keeps the stack balanced.
enum TCursor { crDefault = 0, crArrow = -2, crHourGlass = -11, crSQLWait = -17 };

class TScreen {
public:
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor cursor);

private:
  TCursor FCursor = crDefault;
};

TScreen& Screen();

// Remembers the screen cursor, shows another one and restores the remembered one on every way out.
class TCursorScope {
public:
  explicit TCursorScope(TCursor show) : FSaved(Screen().Cursor()) { Screen().SetCursor(show); }
  ~TCursorScope() { Screen().SetCursor(FSaved); }
  TCursorScope(const TCursorScope&) = delete;
  TCursorScope& operator=(const TCursorScope&) = delete;

private:
  TCursor FSaved;
};
