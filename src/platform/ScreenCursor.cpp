#include "platform/ScreenCursor.h"

#include <QCursor>
#include <QGuiApplication>

static Qt::CursorShape shapeOf(TCursor cursor)
{
  switch (cursor) {
  case crHourGlass: return Qt::WaitCursor;
  case crSQLWait: return Qt::BusyCursor;
  default: return Qt::ArrowCursor;
  }
}

TScreen& Screen()
{
  static TScreen screen;
  return screen;
}

void TScreen::SetCursor(TCursor cursor)
{
  if (cursor == FCursor)
    return;
  const bool hadOverride = FCursor != crDefault;
  FCursor = cursor;
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    return;
  if (cursor == crDefault) {
    if (hadOverride)
      QGuiApplication::restoreOverrideCursor();
  } else if (hadOverride) {
    QGuiApplication::changeOverrideCursor(QCursor(shapeOf(cursor)));
  } else {
    QGuiApplication::setOverrideCursor(QCursor(shapeOf(cursor)));
  }
}
