#include "platform/win/capture.h"

#include "platform/win/ui_internal.h"

#include <QGuiApplication>
#include <QWidget>

#include <algorithm>

namespace {
HWND g_capture = nullptr;

// Screens without a pointer (the offscreen platform) cannot grab it.
bool CanGrab(HWND h) {
  return h != nullptr && h->widget && h->widget->isVisible() &&
         QGuiApplication::platformName() != QLatin1String("offscreen");
}

// A window destroyed while it held the capture no longer holds it.
HWND LiveCapture() {
  const auto& all = vt_ui::AllWindows();
  if (g_capture != nullptr && std::find(all.begin(), all.end(), g_capture) == all.end()) g_capture = nullptr;
  return g_capture;
}
}  // namespace

HWND SetCapture(HWND hwnd) {
  HWND previous = LiveCapture();
  if (previous != nullptr && previous != hwnd && CanGrab(previous)) previous->widget->releaseMouse();
  g_capture = hwnd;
  // A hidden widget cannot grab the mouse; the capture is still remembered.
  if (CanGrab(hwnd)) hwnd->widget->grabMouse();
  return previous;
}

BOOL ReleaseCapture() {
  HWND h = LiveCapture();
  if (CanGrab(h)) h->widget->releaseMouse();
  g_capture = nullptr;
  return TRUE;
}

HWND GetCapture() { return LiveCapture(); }
