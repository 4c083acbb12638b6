#include "dialogs/field_format_dialog.h"

#include <cstdlib>
#include <sstream>
#include <string>

#include "core/fields.h"
#include "foundation/dialog_runner.h"
#include "foundation/doc_base.h"
#include "platform/win/dialog.h"
#include "platform/win/resources.h"

namespace {

constexpr UINT kStrNumericCaption = 18625, kStrDateCaption = 18626, kStrNumberStyles = 18627,
               kStrDateStyles = 18628, kStrBadWidth = 18629;
// The style codes in the order the lists name them.
constexpr uint32_t kNumberStyles[] = {2, 5, 7, 4, 1};
constexpr uint32_t kDateStyles[] = {0x1000, 0x2000, 0x3000, 0x4000, 1, 6, 7, 8, 0x5000, 0x6000};
constexpr uint32_t kBlankWhenZero = 0x200;
constexpr uint32_t kFourDigitYear = 0x10;
constexpr int kMaxWidth = 254, kMaxDecimals = 15;

struct State {
  KmDocBase* doc = nullptr;
  const std::vector<FieldDef*>* fields = nullptr;
  bool date = false;
};

void FillStyles(HWND dialog, UINT names) {
  std::stringstream in(LoadResString(names));
  std::string name;
  while (std::getline(in, name, ';'))
    SendDlgItemMessageA(dialog, kFormatStyle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
}

template <size_t N>
int IndexOf(const uint32_t (&codes)[N], uint32_t code) {
  for (size_t i = 0; i < N; ++i)
    if (codes[i] == code) return static_cast<int>(i);
  return 0;
}

bool ReadNumber(HWND dialog, int id, int low, int high, int* out) {
  char text[16] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != 0 || v < low || v > high) return false;
  *out = static_cast<int>(v);
  return true;
}

void Init(HWND dialog, State* s) {
  const FieldDef* f = s->fields->front();
  SetWindowTextA(dialog, LoadResString(s->date ? kStrDateCaption : kStrNumericCaption).c_str());
  if (s->date) {
    FillStyles(dialog, kStrDateStyles);
    SendDlgItemMessageA(dialog, kFormatStyle, CB_SETCURSEL, IndexOf(kDateStyles, f->formatCode & 0xF00F), 0);
    CheckDlgButton(dialog, kFormatFourDigits, (f->formatCode & 0xF0) ? BST_CHECKED : BST_UNCHECKED);
    for (int id : {static_cast<int>(kFormatWidth), static_cast<int>(kFormatDecimals), static_cast<int>(kFormatBlankZero), 311, 312})
      ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
  } else {
    FillStyles(dialog, kStrNumberStyles);
    SendDlgItemMessageA(dialog, kFormatStyle, CB_SETCURSEL, IndexOf(kNumberStyles, f->formatCode & 0xF), 0);
    SetDlgItemTextA(dialog, kFormatWidth, std::to_string(f->displayWidth).c_str());
    SetDlgItemTextA(dialog, kFormatDecimals, std::to_string(f->displayDecimals).c_str());
    CheckDlgButton(dialog, kFormatBlankZero, (f->formatCode & kBlankWhenZero) ? BST_CHECKED : BST_UNCHECKED);
    ShowWindow(GetDlgItem(dialog, kFormatFourDigits), SW_HIDE);
  }
}

bool Ok(HWND dialog, State* s) {
  const LRESULT style = SendDlgItemMessageA(dialog, kFormatStyle, CB_GETCURSEL, 0, 0);
  if (s->date) {
    const uint32_t code = kDateStyles[style < 0 ? 0 : style];
    const bool four = IsDlgButtonChecked(dialog, kFormatFourDigits) == BST_CHECKED;
    for (FieldDef* f : *s->fields)
      f->formatCode = (f->formatCode & ~(0xF00Fu | 0xF0u)) | code | (four ? kFourDigitYear : 0);
    return true;
  }
  int width = 0, decimals = 0;
  if (!ReadNumber(dialog, kFormatWidth, 1, kMaxWidth, &width) ||
      !ReadNumber(dialog, kFormatDecimals, 0, kMaxDecimals, &decimals) || decimals >= width) {
    if (s->doc) s->doc->ErrorBoxOwner(dialog, LoadResString(kStrBadWidth).c_str());
    return false;
  }
  const uint32_t code = kNumberStyles[style < 0 ? 0 : style];
  const bool blank = IsDlgButtonChecked(dialog, kFormatBlankZero) == BST_CHECKED;
  for (FieldDef* f : *s->fields) {
    f->formatCode = (f->formatCode & ~(0xFu | kBlankWhenZero)) | code | (blank ? kBlankWhenZero : 0);
    f->displayWidth = static_cast<uint32_t>(width);
    f->displayDecimals = static_cast<uint8_t>(decimals);
    f->head.width = static_cast<uint8_t>(width);
  }
  return true;
}

INT_PTR FormatProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* s = reinterpret_cast<State*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      s = reinterpret_cast<State*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      Init(dialog, s);
      return TRUE;
    case WM_COMMAND:
      if (s == nullptr) break;
      if (LOWORD(wParam) == IDOK) {
        if (Ok(dialog, s)) EndDialog(dialog, IDOK);
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

INT_PTR Run(KmDocBase* doc, HWND owner, const std::vector<FieldDef*>& fields, bool date) {
  if (fields.empty()) return IDCANCEL;
  State s;
  s.doc = doc;
  s.fields = &fields;
  s.date = date;
  return doc->DoModalDialog(owner, FormatProc, "DFieldFormat", reinterpret_cast<LPARAM>(&s));
}

}  // namespace

INT_PTR ShowNumericFieldProperties(KmDocBase* doc, HWND owner, const std::vector<FieldDef*>& fields) {
  return Run(doc, owner, fields, false);
}

INT_PTR ShowDateFieldProperties(KmDocBase* doc, HWND owner, const std::vector<FieldDef*>& fields) {
  return Run(doc, owner, fields, true);
}
