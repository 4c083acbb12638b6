// The status line at the bottom of the main frame.
#pragma once

#include "platform/mfc/afxwin.h"
#include "platform/win/window.h"

class CKmDoc;

class CKmStatusBar {
 public:
  // At most 100 characters are kept; null empties the text.
  void SetText(const char* text);
  // "label: name" of the open report, or "(None)".
  void ShowReportName();
  const char* GetText() const { return m_text; }
  int ReportNameShown() const { return m_reportNameShown; }

  CKmDoc* m_pDoc = nullptr;

 private:
  char m_text[101] = {};
  int m_reportNameShown = 0;
};
