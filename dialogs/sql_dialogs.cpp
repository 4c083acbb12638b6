#include "dialogs/sql_dialogs.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "foundation/dialog_runner.h"
#include "foundation/doc_base.h"
#include "platform/win/dialog.h"
#include "platform/win/resources.h"

namespace {

constexpr UINT kStrBadLimit = 18624;

struct ShowSql {
  const std::string* generated;
  const std::string* user;
};

// The edit control shows line breaks only as CR LF.
std::string ForEdit(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

INT_PTR ShowSqlProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* s = reinterpret_cast<ShowSql*>(lParam);
      SetDlgItemTextA(dialog, kSqlGenerated, ForEdit(*s->generated).c_str());
      SetDlgItemTextA(dialog, kSqlUser, ForEdit(*s->user).c_str());
      const bool user = !s->user->empty();
      ShowWindow(GetDlgItem(dialog, kSqlUser), user ? SW_SHOW : SW_HIDE);
      ShowWindow(GetDlgItem(dialog, 311), user ? SW_SHOW : SW_HIDE);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

struct Limit {
  KmDocBase* doc;
  long* value;
};

// A whole number from 0 up; anything else is refused.
bool ParseLimit(const char* text, long* out) {
  while (*text == ' ') ++text;
  if (*text == 0) {
    *out = 0;
    return true;
  }
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  while (end && *end == ' ') ++end;
  if (errno != 0 || end == text || *end != 0 || v < 0 || v > INT_MAX) return false;
  *out = v;
  return true;
}

INT_PTR LimitProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* s = reinterpret_cast<Limit*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      s = reinterpret_cast<Limit*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      SendDlgItemMessageA(dialog, kLimitEdit, EM_LIMITTEXT, 10, 0);
      SetDlgItemTextA(dialog, kLimitEdit, std::to_string(*s->value).c_str());
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK: {
          char text[32] = {};
          GetDlgItemTextA(dialog, kLimitEdit, text, sizeof text);
          long v = 0;
          if (!ParseLimit(text, &v)) {
            if (s->doc) s->doc->ErrorBoxOwner(dialog, LoadResString(kStrBadLimit).c_str());
            SetFocus(GetDlgItem(dialog, kLimitEdit));
            return TRUE;
          }
          *s->value = v;
          EndDialog(dialog, IDOK);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

INT_PTR RunShowSqlDialog(KmDocBase* doc, HWND owner, const std::string& generated, const std::string& userSelect) {
  ShowSql s{&generated, &userSelect};
  return doc->DoModalDialog(owner, ShowSqlProc, "DShowSql", reinterpret_cast<LPARAM>(&s));
}

INT_PTR RunLimitResultDialog(KmDocBase* doc, HWND owner, long* limit) {
  Limit s{doc, limit};
  return doc->DoModalDialog(owner, LimitProc, "DLimit", reinterpret_cast<LPARAM>(&s));
}
