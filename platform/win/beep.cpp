#include "platform/win/beep.h"

#include "platform/win/ui_app.h"

#include <QApplication>
#include <QGuiApplication>

namespace {
long g_beeps = 0;
UINT g_lastType = 0;
}  // namespace

BOOL MessageBeep(UINT type) {
  ++g_beeps;
  g_lastType = type;
  // Headless runs have no bell to ring.
  if (UiApplicationRunning() && QGuiApplication::platformName() != QLatin1String("offscreen") &&
      QGuiApplication::platformName() != QLatin1String("minimal"))
    QApplication::beep();
  return TRUE;
}

long BeepCount() { return g_beeps; }
UINT LastBeepType() { return g_lastType; }
