#include "platform/win/cursor.h"

#include <QCursor>
#include <QGuiApplication>

#include <cstdint>

namespace {
// The handles are the system cursor ids themselves; nothing is allocated.
constexpr uintptr_t kArrow = 32512;
constexpr uintptr_t kWait = 32514;
HCURSOR g_current = nullptr;
bool g_overridden = false;

HCURSOR Handle(uintptr_t id) { return reinterpret_cast<HCURSOR>(id); }
}  // namespace

HCURSOR LoadCursorA(HINSTANCE, LPCSTR id) {
  const uintptr_t n = reinterpret_cast<uintptr_t>(id);
  return (n == kArrow || n == kWait) ? Handle(n) : nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
  HCURSOR previous = g_current;
  g_current = cursor;
  if (QGuiApplication::instance() == nullptr) return previous;
  // The wait cursor goes over every window of the program; the arrow lets
  // each window show its own cursor again.
  const bool wait = cursor == Handle(kWait);
  if (wait && !g_overridden) {
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    g_overridden = true;
  } else if (!wait && g_overridden) {
    QGuiApplication::restoreOverrideCursor();
    g_overridden = false;
  }
  return previous;
}

HCURSOR GetCursor() { return g_current; }
