#include "app/layout_view.h"

#include "platform/win/gdi.h"

namespace {
constexpr const char* kViewClass = "KmLayoutView";

bool RegisterViewClass() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    wc.lpszClassName = kViewClass;
    registered = RegisterClassA(&wc) != 0;
  }
  return registered;
}
}  // namespace

CKmView::~CKmView() {
  if (IsWindow(m_hWnd)) DestroyWindow(m_hWnd);
}

BOOL CKmView::Create(HWND parent, UINT id) {
  if (!RegisterViewClass()) return FALSE;
  m_hWnd = CreateWindowExA(0, kViewClass, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), nullptr, nullptr);
  return m_hWnd != nullptr;
}

void CKmView::UpdateCaretAndStatus(BOOL) { ++m_caretUpdates; }
