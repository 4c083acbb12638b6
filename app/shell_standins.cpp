#include "app/shell_standins.h"

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

void CKmStatusBar::SetText(const char* text) {
  if (text == nullptr) text = "";
  std::snprintf(m_text, sizeof m_text, "%s", text);
}

void CKmStatusBar::ShowReportName() {
  ++m_reportNameShown;
  if (m_pDoc == nullptr || !m_pDoc->m_bReportOpen) return;
  char buf[400];
  std::snprintf(buf, sizeof buf, "%s: %s", "Report",
                m_pDoc->m_szReportName[0] ? m_pDoc->m_szReportName : "(None)");
  SetText(buf);
}

void CKmMainFrame::ShowTitleWindow(BOOL show) { m_titleShowing = show != 0; }

void CKmView::UpdateCaretAndStatus(BOOL) { ++m_caretUpdates; }
