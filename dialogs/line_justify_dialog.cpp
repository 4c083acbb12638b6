#include "dialogs/line_justify_dialog.h"

#include "foundation/doc_base.h"
#include "platform/win/dialog.h"

namespace {

enum : int { kLeft = 210, kCenter = 211, kRight = 212, kSpread = 213 };

struct JustifyParams {
  KmDocBase* doc;
  LineJustify* mode;
};

INT_PTR LineJustifyProc(HWND d, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* p = reinterpret_cast<JustifyParams*>(GetWindowLongPtrA(d, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(d, DWLP_USER, lParam);
      p = reinterpret_cast<JustifyParams*>(lParam);
      p->doc->CenterDialogOnOwner(d);
      for (int id = kLeft; id <= kSpread; ++id)
        CheckDlgButton(d, id, id - kLeft == static_cast<int>(*p->mode) ? BST_CHECKED : BST_UNCHECKED);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        for (int id = kLeft; id <= kSpread; ++id)
          if (IsDlgButtonChecked(d, id) == BST_CHECKED) *p->mode = static_cast<LineJustify>(id - kLeft);
        EndDialog(d, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(d, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

bool RunLineJustifyDialog(KmDocBase& doc, LineJustify* mode) {
  if (mode == nullptr) return false;
  JustifyParams p{&doc, mode};
  return doc.DoModalDialog(doc.GetOwnerWindow(), LineJustifyProc, "DLJustify", reinterpret_cast<LPARAM>(&p)) == IDOK;
}
