#include "platform/win/caret.h"

#include "platform/win/ui_internal.h"

#include <QPainter>

namespace {
// The one caret of the user-interface thread, as Win32 keeps it.
struct CaretState {
  HWND owner = nullptr;
  int x = 0, y = 0, w = 0, h = 0;
  int hideCount = 1;  // a new caret starts hidden
};
CaretState g_caret;

void Repaint() {
  if (!IsWindow(g_caret.owner) || !g_caret.owner->widget) return;
  g_caret.owner->widget->update(QRect(g_caret.x, g_caret.y, g_caret.w, g_caret.h));
}
}  // namespace

BOOL CreateCaret(HWND hwnd, HBITMAP, int width, int height) {
  if (!IsWindow(hwnd)) return FALSE;
  DestroyCaret();
  g_caret.owner = hwnd;
  g_caret.x = g_caret.y = 0;
  g_caret.w = width > 0 ? width : 1;
  g_caret.h = height > 0 ? height : 1;
  g_caret.hideCount = 1;
  return TRUE;
}

BOOL DestroyCaret() {
  if (g_caret.owner == nullptr) return FALSE;
  Repaint();
  g_caret = CaretState{};
  return TRUE;
}

BOOL SetCaretPos(int x, int y) {
  if (g_caret.owner == nullptr) return FALSE;
  Repaint();
  g_caret.x = x;
  g_caret.y = y;
  Repaint();
  return TRUE;
}

BOOL GetCaretPos(POINT* pt) {
  if (g_caret.owner == nullptr || pt == nullptr) return FALSE;
  pt->x = g_caret.x;
  pt->y = g_caret.y;
  return TRUE;
}

BOOL ShowCaret(HWND hwnd) {
  if (g_caret.owner == nullptr || (hwnd != nullptr && hwnd != g_caret.owner)) return FALSE;
  if (g_caret.hideCount > 0) --g_caret.hideCount;
  Repaint();
  return TRUE;
}

BOOL HideCaret(HWND hwnd) {
  if (g_caret.owner == nullptr || (hwnd != nullptr && hwnd != g_caret.owner)) return FALSE;
  ++g_caret.hideCount;
  Repaint();
  return TRUE;
}

BOOL GetShownCaret(HWND* hwnd, RECT* rect) {
  if (g_caret.owner == nullptr || g_caret.hideCount > 0) return FALSE;
  if (hwnd) *hwnd = g_caret.owner;
  if (rect) *rect = RECT{g_caret.x, g_caret.y, g_caret.x + g_caret.w, g_caret.y + g_caret.h};
  return TRUE;
}

namespace vt_ui {
void PaintCaret(HWND hwnd, QPainter* painter) {
  if (painter == nullptr || hwnd != g_caret.owner || g_caret.hideCount > 0) return;
  painter->save();
  painter->setClipping(false);
  painter->setCompositionMode(QPainter::RasterOp_NotDestination);
  painter->fillRect(QRect(g_caret.x, g_caret.y, g_caret.w, g_caret.h), Qt::black);
  painter->restore();
}

void DropCaretOf(HWND hwnd) {
  if (g_caret.owner == hwnd) g_caret = CaretState{};
}
}  // namespace vt_ui
