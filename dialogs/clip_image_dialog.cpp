#include "dialogs/clip_image_dialog.h"

#include "foundation/doc_base.h"
#include "layout/layout_records.h"
#include "platform/win/beep.h"
#include "platform/win/dialog.h"

namespace {

enum : int { kPath = 200 };

struct ClipImageParams {
  KmDocBase* doc;
  const std::function<bool(const std::string&)>* save;
};

INT_PTR ClipImageProc(HWND d, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* p = reinterpret_cast<ClipImageParams*>(GetWindowLongPtrA(d, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(d, DWLP_USER, lParam);
      p = reinterpret_cast<ClipImageParams*>(lParam);
      p->doc->CenterDialogOnOwner(d);
      // The picture's name must fit the report's picture record.
      SendDlgItemMessageA(d, kPath, EM_LIMITTEXT, kPictureNameSize - 1, 0);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        char text[kPictureNameSize] = {};
        GetDlgItemTextA(d, kPath, text, sizeof text);
        if (text[0] == 0) {
          MessageBeep(0);
          SetFocus(GetDlgItem(d, kPath));
          return TRUE;
        }
        if (!(*p->save)(text)) {
          SetFocus(GetDlgItem(d, kPath));
          return TRUE;
        }
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

bool RunClipImageDialog(KmDocBase& doc, const std::function<bool(const std::string& path)>& save) {
  ClipImageParams p{&doc, &save};
  return doc.DoModalDialog(doc.GetOwnerWindow(), ClipImageProc, "DClipImg", reinterpret_cast<LPARAM>(&p)) == IDOK;
}
