#include "app/document.h"

#include "platform/win/cursor.h"

#include <cstdio>
#include <cstring>

namespace {
CKmDoc* g_activeDoc = nullptr;
}  // namespace

CKmDoc* GetActiveKmDoc() { return g_activeDoc; }

CKmDoc::CKmDoc() { g_activeDoc = this; }
CKmDoc::~CKmDoc() {
  if (g_activeDoc == this) g_activeDoc = nullptr;
}

HWND CKmDoc::GetOwnerWindow() const { return m_pMainFrame ? m_pMainFrame->m_hWnd : nullptr; }

void CKmDoc::UpdateViewsByHint(int hint, void*) {
  if (hint == 101) ++m_viewHints;
}

void CKmDoc::SetWaitCursor(int on) {
  if (on) {
    // Only the first call of a nesting remembers what it replaces, so the
    // last "off" brings back the cursor from before the first "on".
    HCURSOR replaced = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    if (!m_bWaitCursor) m_hCursorBeforeWait = replaced;
  } else {
    ++m_waitCursorOff;
    SetCursor(m_hCursorBeforeWait ? m_hCursorBeforeWait : LoadCursorA(nullptr, IDC_ARROW));
    m_hCursorBeforeWait = nullptr;
  }
  m_bWaitCursor = on != 0;
}
