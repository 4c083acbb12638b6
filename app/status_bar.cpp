#include "app/status_bar.h"

#include "app/document.h"

#include <cstdio>

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
