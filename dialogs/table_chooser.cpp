#include "dialogs/table_chooser.h"

#include "foundation/dialog_runner.h"
#include "foundation/doc_base.h"
#include "platform/win/dialog.h"
#include "foundation/heap_strings.h"

namespace {

constexpr int kNameEdit = 200;
constexpr int kMaxName = 261;
constexpr UINT kMasterTitle = 6120;
constexpr UINT kRelatedTitle = 6121;

struct Question {
  bool master = true;
  std::string name;
};

INT_PTR TableNameProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* q = reinterpret_cast<Question*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      q = reinterpret_cast<Question*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      SetWindowTextA(dialog, GetResString(q->master ? kMasterTitle : kRelatedTitle, 0));
      SendDlgItemMessageA(dialog, kNameEdit, EM_LIMITTEXT, kMaxName - 1, 0);
      SetDlgItemTextA(dialog, kNameEdit, q->name.c_str());
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK: {
          char text[kMaxName] = {};
          GetDlgItemTextA(dialog, kNameEdit, text, sizeof text);
          q->name = text;
          while (!q->name.empty() && q->name.back() == ' ') q->name.pop_back();
          // An empty name chooses nothing; the dialog stays for another.
          if (q->name.empty()) return TRUE;
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

class TypedChooser : public TableChooser {
 public:
  bool ChooseTable(KmDocBase& doc, bool master, const std::string& current, std::string* chosen) override {
    Question q;
    q.master = master;
    q.name = current;
    if (doc.DoModalDialog(doc.GetOwnerWindow(), TableNameProc, "DTableName", reinterpret_cast<LPARAM>(&q)) != IDOK)
      return false;
    *chosen = q.name;
    return true;
  }
};

}  // namespace

TableChooser& TypedTableChooser() {
  static TypedChooser chooser;
  return chooser;
}
