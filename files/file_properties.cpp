#include "files/file_properties.h"

#include "foundation/doc_base.h"
#include "files/report_io.h"
#include "platform/win/dialog.h"
#include "platform/win/resources.h"

namespace {

constexpr UINT kUntitledTitle = 61310;  // "Untitled", the title property of a new report

struct Binding {
  int id;
  std::string CFilePropertiesDlg::*text;
};
const Binding kEdits[] = {
    {IDC_FP_COMMENTS, &CFilePropertiesDlg::m_strComments}, {IDC_FP_AUTHOR, &CFilePropertiesDlg::m_strAuthor},
    {IDC_FP_KEYWORDS, &CFilePropertiesDlg::m_strKeywords}, {IDC_FP_TITLE, &CFilePropertiesDlg::m_strTitle},
    {IDC_FP_SUBJECT, &CFilePropertiesDlg::m_strSubject},
};

}  // namespace

INT_PTR CFilePropertiesDlg::DoModal() {
  if (m_pDoc == nullptr) return -1;
  return m_pDoc->DoModalDialog(m_pDoc->GetOwnerWindow(), &DialogProc, "FILE_PROPERTIES",
                               reinterpret_cast<LPARAM>(this));
}

void CFilePropertiesDlg::Exchange(HWND dialog, bool save) {
  if (!save) SetDlgItemTextA(dialog, IDC_FP_REPORT, m_strDocTitle.c_str());
  for (const Binding& b : kEdits) {
    if (save) {
      char text[kFilePropertiesMaxText + 1] = {};
      GetDlgItemTextA(dialog, b.id, text, sizeof text);
      this->*b.text = text;
    } else {
      SetDlgItemTextA(dialog, b.id, (this->*b.text).substr(0, kFilePropertiesMaxText).c_str());
    }
  }
}

INT_PTR CFilePropertiesDlg::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CFilePropertiesDlg*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      self = reinterpret_cast<CFilePropertiesDlg*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      for (const Binding& b : kEdits) SendDlgItemMessageA(dialog, b.id, EM_LIMITTEXT, kFilePropertiesMaxText, 0);
      self->Exchange(dialog, false);
      self->m_pDoc->CenterDialogOnOwner(dialog);
      return TRUE;
    case WM_COMMAND:
      if (self == nullptr) return FALSE;
      switch (LOWORD(wParam)) {
        case IDOK:
          self->Exchange(dialog, true);
          EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case IDC_FP_HELP:
          self->m_pDoc->ShowDialogHelp(dialog, kFilePropertiesHelpContext);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

int CKmRepIO::RunPropertiesDialog() {
  CFilePropertiesDlg dlg(m_pDoc);
  dlg.m_strDocTitle = m_summary.m_pDocTitle ? *m_summary.m_pDocTitle : "";
  dlg.m_strComments = m_summary.m_strComments;
  dlg.m_strAuthor = m_summary.m_strAuthor;
  dlg.m_strKeywords = m_summary.m_strKeywords;
  dlg.m_strTitle = m_summary.m_strTitle;
  // A report with a name whose title was never set offers its name, not the
  // placeholder a new report starts with.
  if (dlg.m_strTitle == LoadResString(kUntitledTitle) && !dlg.m_strDocTitle.empty()) {
    dlg.m_strTitle = dlg.m_strDocTitle;
    const size_t dot = dlg.m_strTitle.find_last_of('.');
    if (dot != std::string::npos && dot > 0) dlg.m_strTitle.erase(dot);
  }
  dlg.m_strSubject = m_summary.m_strSubject;
  if (dlg.DoModal() != IDOK) return 0;
  // The document's title is shown only; the title property is its own text.
  m_summary.m_strComments = dlg.m_strComments;
  m_summary.m_strAuthor = dlg.m_strAuthor;
  m_summary.m_strKeywords = dlg.m_strKeywords;
  m_summary.m_strTitle = dlg.m_strTitle;
  m_summary.m_strSubject = dlg.m_strSubject;
  NoteReportModified(m_pDoc);
  return 1;
}
