// The File Properties dialog: the report's title, subject, author, keywords
// and comments, with the document's title shown above them.
#pragma once

#include "platform/win/window.h"

#include <string>

class KmDocBase;

class CFilePropertiesDlg {
 public:
  explicit CFilePropertiesDlg(KmDocBase* doc) : m_pDoc(doc) {}
  // IDOK or IDCANCEL (-1 when the template is missing).
  INT_PTR DoModal();

  // The dialog's own texts, in its order; copied in before and out after.
  std::string m_strDocTitle;
  std::string m_strComments;
  std::string m_strAuthor;
  std::string m_strKeywords;
  std::string m_strTitle;
  std::string m_strSubject;

 private:
  static INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void Exchange(HWND dialog, bool save);
  KmDocBase* m_pDoc;
};

// Control ids of the template.
enum : int {
  IDC_FP_COMMENTS = 1101,
  IDC_FP_AUTHOR = 1102,
  IDC_FP_KEYWORDS = 1103,
  IDC_FP_TITLE = 1104,
  IDC_FP_SUBJECT = 1105,
  IDC_FP_REPORT = 1106,
  IDC_FP_HELP = 300,
};
constexpr WORD kFilePropertiesHelpContext = 1084;
constexpr int kFilePropertiesMaxText = 255;
