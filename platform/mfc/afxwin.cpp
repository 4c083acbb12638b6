#include "platform/mfc/afxwin.h"

#include "platform/win/message_box.h"

int CWnd::MessageBox(LPCSTR text, LPCSTR caption, UINT type) {
  return MessageBoxA(GetSafeHwnd(), text, caption, type);
}

CWinThread* AfxGetThread() {
  static CWinThread thread;
  return &thread;
}

namespace {
LRESULT ObjectWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CWnd*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr || self->m_hWnd != hwnd) return DefWindowProcA(hwnd, msg, wParam, lParam);
  return self->WindowProc(msg, wParam, lParam);
}
}  // namespace

BOOL CWnd::CreateChild(LPCSTR className, DWORD style, HWND parent, UINT id) {
  m_hWnd = CreateWindowExA(0, className, "", WS_CHILD | style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), nullptr, nullptr);
  if (m_hWnd == nullptr) return FALSE;
  SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ObjectWndProc));
  return TRUE;
}

void CWnd::DestroyOwnWindow() {
  if (!IsWindow(m_hWnd)) return;
  SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
  DestroyWindow(m_hWnd);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(m_hWnd, message, wParam, lParam);
}
