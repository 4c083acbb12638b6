// The few framework window classes the foundation calls: a window object over
// a window handle, and the thread object that knows the main window.
#pragma once

#include "platform/win/window.h"

class CWnd {
 public:
  CWnd() = default;
  explicit CWnd(HWND hwnd) : m_hWnd(hwnd) {}
  virtual ~CWnd() = default;
  HWND GetSafeHwnd() const { return m_hWnd; }
  // The system message box owned by this window.
  int MessageBox(LPCSTR text, LPCSTR caption = nullptr, UINT type = 0);
  // A child window of a registered class whose messages come to WindowProc.
  BOOL CreateChild(LPCSTR className, DWORD style, HWND parent, UINT id);
  // Lets go of the window and destroys it (for destructors: no message reaches the object after).
  void DestroyOwnWindow();
  // The messages of a window made by CreateChild; the default procedure by default.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  HWND m_hWnd = nullptr;
};

class CWinThread {
 public:
  CWnd* GetMainWnd() { return m_pMainWnd; }
  CWnd* m_pMainWnd = nullptr;
};

// The program's one user-interface thread.
CWinThread* AfxGetThread();
