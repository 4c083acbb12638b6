#include "dialogs/font_dialog.h"

#include "foundation/doc_base.h"
#include "platform/win/dialog.h"
#include "platform/win/resources.h"

namespace {

constexpr UINT kStrBadSize = 18630;
constexpr int kStyleIds[] = {kFontBold, kFontItalic, kFontUnderline};

void Init(HWND dialog, const FontDialogParams* p) {
  for (const std::string& face : p->faces)
    SendDlgItemMessageA(dialog, kFontFace, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(face.c_str()));
  SendDlgItemMessageA(dialog, kFontFace, CB_SETCURSEL, static_cast<WPARAM>(p->font), 0);
  for (const std::string& size : p->sizes)
    SendDlgItemMessageA(dialog, kFontSize, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(size.c_str()));
  SetDlgItemTextA(dialog, kFontSize, p->sizeText.c_str());
  for (int i = 0; i < 3; ++i) CheckDlgButton(dialog, kStyleIds[i], static_cast<UINT>(p->styles[i]));
}

bool Ok(HWND dialog, KmDocBase* doc, FontDialogParams* p) {
  const LRESULT font = SendDlgItemMessageA(dialog, kFontFace, CB_GETCURSEL, 0, 0);
  char text[32] = {};
  GetDlgItemTextA(dialog, kFontSize, text, sizeof text);
  const std::string sizeText = text;
  int size = -1;
  // An untouched size keeps each item's own.
  if (sizeText.find_first_not_of(' ') != std::string::npos && sizeText != p->sizeText) {
    size = p->parseSize ? p->parseSize(sizeText, font < 0 ? p->font : static_cast<int>(font)) : -1;
    if (size < 0) {
      if (doc) doc->ErrorBoxOwner(dialog, LoadResString(kStrBadSize).c_str());
      SetFocus(GetDlgItem(dialog, kFontSize));
      return false;
    }
  }
  p->font = font < 0 ? -1 : static_cast<int>(font);
  p->size = size;
  for (int i = 0; i < 3; ++i) p->styles[i] = static_cast<int>(IsDlgButtonChecked(dialog, kStyleIds[i]));
  return true;
}

struct State {
  KmDocBase* doc;
  FontDialogParams* params;
};

INT_PTR FontProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* s = reinterpret_cast<State*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      s = reinterpret_cast<State*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      Init(dialog, s->params);
      return TRUE;
    case WM_COMMAND:
      if (s == nullptr) break;
      if (LOWORD(wParam) == IDOK) {
        if (Ok(dialog, s->doc, s->params)) EndDialog(dialog, IDOK);
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

INT_PTR RunFontDialog(KmDocBase* doc, HWND owner, FontDialogParams* params) {
  State s{doc, params};
  return doc->DoModalDialog(owner, FontProc, "DFont", reinterpret_cast<LPARAM>(&s));
}
