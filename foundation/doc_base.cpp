#include "foundation/doc_base.h"

#include "platform/win/cursor.h"

#include <cstring>

namespace {
KmDocBase* g_activeDoc = nullptr;
}  // namespace

KmDocBase* GetActiveDocBase() { return g_activeDoc; }

KmDocBase::KmDocBase() {
  static_assert(sizeof kAppTitle <= sizeof m_szAppCaption, "the caption holds the title");
  std::memcpy(m_szAppCaption, kAppTitle, sizeof kAppTitle);
  g_activeDoc = this;
}

KmDocBase::~KmDocBase() {
  if (g_activeDoc == this) g_activeDoc = nullptr;
}

void KmDocBase::UpdateViewsByHint(int hint, void* sender) {
  if (hint == 101) ++m_viewHints;
  if (m_pViews) m_pViews->UpdateAllViews(hint, sender);
}

void KmDocBase::SetWaitCursor(int on) {
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
