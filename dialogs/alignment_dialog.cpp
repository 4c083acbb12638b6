#include "dialogs/alignment_dialog.h"

#include "foundation/dialog_runner.h"
#include "foundation/doc_base.h"
#include "platform/win/dialog.h"

namespace {

INT_PTR AlignmentProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* alignment = reinterpret_cast<uint8_t*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      alignment = reinterpret_cast<uint8_t*>(lParam);
      // A byte outside the three codes shows as left.
      const int code = (*alignment >> 4) & 0xF;
      const int button = code == 2 ? kAlignCenterButton : code == 3 ? kAlignRightButton : kAlignLeftButton;
      CheckDlgButton(dialog, button, BST_CHECKED);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        uint8_t code = 0x10;
        if (IsDlgButtonChecked(dialog, kAlignCenterButton) == BST_CHECKED) code = 0x20;
        if (IsDlgButtonChecked(dialog, kAlignRightButton) == BST_CHECKED) code = 0x30;
        *alignment = code;
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

INT_PTR RunAlignmentDialog(KmDocBase* doc, HWND owner, uint8_t* alignment) {
  return doc->DoModalDialog(owner, AlignmentProc, "DJLCR", reinterpret_cast<LPARAM>(alignment));
}
