#include "platform/mfc/afxwin.h"

#include "platform/win/message_box.h"

int CWnd::MessageBox(LPCSTR text, LPCSTR caption, UINT type) {
  return MessageBoxA(GetSafeHwnd(), text, caption, type);
}

CWinThread* AfxGetThread() {
  static CWinThread thread;
  return &thread;
}
