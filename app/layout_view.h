// The layout view: the design surface in the frame's ruler pane. Until the
// designer draws into it, it is a plain white pane that keeps the caret facts
// the status line shows.
#pragma once

#include "platform/mfc/afxwin.h"
#include "platform/win/win_types.h"
#include "platform/win/window.h"

class CKmView : public CWnd {
 public:
  CKmView() = default;
  ~CKmView() override;
  CKmView(const CKmView&) = delete;
  CKmView& operator=(const CKmView&) = delete;

  BOOL Create(HWND parent, UINT id);
  void UpdateCaretAndStatus(BOOL clear);
  int CaretUpdates() const { return m_caretUpdates; }
  // The status line formats the position again on its next refresh.
  void ForgetShownPosition() { m_nShownLine = m_nShownX = -1; }

  // The caret's band line and pixel column, and the pair the status line last showed (-1: none).
  int m_nCaretLine = 0;
  int m_nCaretX = 0;
  int m_nShownLine = -1;
  int m_nShownX = -1;

 private:
  int m_caretUpdates = 0;
};
