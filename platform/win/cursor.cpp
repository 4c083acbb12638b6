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

// The shapes the layer has, by system cursor id.
bool ShapeOf(uintptr_t id, Qt::CursorShape* shape) {
  switch (id) {
    case kWait: *shape = Qt::WaitCursor; return true;
    case 32515: *shape = Qt::CrossCursor; return true;
    case 32642: *shape = Qt::SizeFDiagCursor; return true;
    case 32643: *shape = Qt::SizeBDiagCursor; return true;
    case 32644: *shape = Qt::SizeHorCursor; return true;
    case 32645: *shape = Qt::SizeVerCursor; return true;
    case 32646: *shape = Qt::SizeAllCursor; return true;
    default: return false;
  }
}
}  // namespace

HCURSOR LoadCursorA(HINSTANCE, LPCSTR id) {
  const uintptr_t n = reinterpret_cast<uintptr_t>(id);
  Qt::CursorShape shape;
  return (n == kArrow || ShapeOf(n, &shape)) ? Handle(n) : nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
  HCURSOR previous = g_current;
  g_current = cursor;
  if (QGuiApplication::instance() == nullptr) return previous;
  // A shaped cursor (wait, sizing, moving) goes over every window of the
  // program; the arrow lets each window show its own cursor again.
  Qt::CursorShape shape;
  const bool shaped = ShapeOf(reinterpret_cast<uintptr_t>(cursor), &shape);
  if (shaped && !g_overridden) {
    QGuiApplication::setOverrideCursor(QCursor(shape));
    g_overridden = true;
  } else if (shaped) {
    QGuiApplication::changeOverrideCursor(QCursor(shape));
  } else if (g_overridden) {
    QGuiApplication::restoreOverrideCursor();
    g_overridden = false;
  }
  return previous;
}

HCURSOR GetCursor() { return g_current; }
