// The main frame window: its state word and the splash (title) window.
#pragma once

#include "app/status_bar.h"
#include "platform/mfc/afxwin.h"
#include "platform/win/window.h"

class CKmMainFrame : public CWnd {
 public:
  // With 0, takes the splash (title) window down if it is showing; with nonzero, shows it.
  void ShowTitleWindow(BOOL show);
  bool TitleWindowShowing() const { return m_titleShowing; }

  WORD m_wState = 0;  // bit 0x8000: a modal dialog of the program is running
  CKmStatusBar m_wndStatusBar;

 private:
  bool m_titleShowing = false;
};
