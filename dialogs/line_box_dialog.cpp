#include "dialogs/line_box_dialog.h"

#include "dialogs/chart_sheet.h"
#include "foundation/doc_base.h"
#include "platform/win/dialog.h"
#include "platform/win/resources.h"

#include <cstdio>
#include <iterator>

namespace {

constexpr UINT kNoneText = 48;  // " (None)"
// The hatch styles 0-5, then no pattern.
const char* const kPatternNames[] = {"Horizontal", "Vertical", "Diagonal down", "Diagonal up", "Cross", "Diagonal cross"};
constexpr int kPatternCount = static_cast<int>(std::size(kPatternNames));

LRESULT Send(HWND d, int id, UINT message, WPARAM w = 0, LPARAM l = 0) { return SendDlgItemMessageA(d, id, message, w, l); }

// The sixteen colours, with " (None)" last when a colour may be left out.
void FillColours(HWND d, int id, BYTE code, bool none) {
  for (int i = 0; i < kColorCount; ++i) {
    const LRESULT at = Send(d, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LoadResString(ColorTable[i].nameId).c_str()));
    Send(d, id, CB_SETITEMDATA, static_cast<WPARAM>(at), i);
  }
  if (none) {
    const LRESULT at = Send(d, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LoadResString(kNoneText).c_str()));
    Send(d, id, CB_SETITEMDATA, static_cast<WPARAM>(at), kNoColour);
  }
  // A code outside the table shows as black, or as none where none is offered.
  int at = code < kColorCount ? code : none ? kColorCount : 0;
  Send(d, id, CB_SETCURSEL, static_cast<WPARAM>(at));
}

BYTE ChosenColour(HWND d, int id, BYTE previous) {
  const LRESULT at = Send(d, id, CB_GETCURSEL);
  if (at < 0) return previous;
  return at >= kColorCount ? kNoColour : static_cast<BYTE>(at);
}

void FillThickness(HWND d, BYTE thickness) {
  int at = 0;
  for (int i = 0; i < static_cast<int>(std::size(kLineThicknesses)); ++i) {
    char text[8];
    std::snprintf(text, sizeof text, "%d", kLineThicknesses[i]);
    Send(d, kLineBoxThickness, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (kLineThicknesses[i] <= thickness) at = i;
  }
  Send(d, kLineBoxThickness, CB_SETCURSEL, static_cast<WPARAM>(at));
}

void Init(HWND d, const LineBoxItem& x, bool line) {
  FillThickness(d, x.thickness);
  FillColours(d, kLineBoxColour, x.borderColour, false);
  if (line) return;
  CheckDlgButton(d, kBoxShowLeft, (x.borders & kBorderLeft) ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(d, kBoxShowRight, (x.borders & kBorderRight) ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(d, kBoxShowTop, (x.borders & kBorderTop) ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(d, kBoxShowBottom, (x.borders & kBorderBottom) ? BST_CHECKED : BST_UNCHECKED);
  for (const char* name : kPatternNames) Send(d, kBoxPattern, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  Send(d, kBoxPattern, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LoadResString(kNoneText).c_str()));
  Send(d, kBoxPattern, CB_SETCURSEL, static_cast<WPARAM>(x.pattern < kPatternCount ? x.pattern : kPatternCount));
  FillColours(d, kBoxForeground, x.foreColour, false);
  FillColours(d, kBoxBackground, x.backColour, true);
}

void Store(HWND d, LineBoxItem& x, bool line) {
  const LRESULT t = Send(d, kLineBoxThickness, CB_GETCURSEL);
  if (t >= 0 && t < static_cast<LRESULT>(std::size(kLineThicknesses))) x.thickness = kLineThicknesses[t];
  x.borderColour = ChosenColour(d, kLineBoxColour, x.borderColour);
  if (line) return;
  WORD borders = static_cast<WORD>(x.borders & ~(kBorderLeft | kBorderRight | kBorderTop | kBorderBottom));
  if (IsDlgButtonChecked(d, kBoxShowLeft) == BST_CHECKED) borders |= kBorderLeft;
  if (IsDlgButtonChecked(d, kBoxShowRight) == BST_CHECKED) borders |= kBorderRight;
  if (IsDlgButtonChecked(d, kBoxShowTop) == BST_CHECKED) borders |= kBorderTop;
  if (IsDlgButtonChecked(d, kBoxShowBottom) == BST_CHECKED) borders |= kBorderBottom;
  x.borders = borders;
  const LRESULT p = Send(d, kBoxPattern, CB_GETCURSEL);
  if (p >= 0) x.pattern = p < kPatternCount ? static_cast<BYTE>(p) : kNoPattern;
  x.foreColour = ChosenColour(d, kBoxForeground, x.foreColour);
  x.backColour = ChosenColour(d, kBoxBackground, x.backColour);
}

bool IsColourList(int id) { return id == kLineBoxColour || id == kBoxForeground || id == kBoxBackground; }

bool IsLine(const LineBoxItem& x) { return (x.borders & kBorderDrawnAsLine) != 0 || (x.head.flags & kItemKindLine) != 0; }

INT_PTR LineBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* item = reinterpret_cast<LineBoxItem*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    // The colour lists show each colour beside its name.
    case WM_MEASUREITEM:
      if (!IsColourList(static_cast<int>(wParam))) return FALSE;
      MeasureColorItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_DRAWITEM: {
      if (!IsColourList(static_cast<int>(wParam))) return FALSE;
      const auto* drawn = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      const auto code = static_cast<BYTE>(drawn->itemData);
      DrawColorItem(drawn, code < kColorCount ? ColorTableValue(code) : RGB(255, 255, 255), code >= kColorCount);
      if (drawn->itemState & ODS_SELECTED) DrawColorItemFrame(drawn);
      return TRUE;
    }
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      item = reinterpret_cast<LineBoxItem*>(lParam);
      Init(dialog, *item, IsLine(*item));
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        Store(dialog, *item, IsLine(*item));
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

INT_PTR RunLineBoxDialog(KmDocBase* doc, HWND owner, LineBoxItem* item) {
  if (doc == nullptr || item == nullptr) return IDCANCEL;
  return doc->DoModalDialog(owner, LineBoxProc, IsLine(*item) ? "DLine" : "DBox", reinterpret_cast<LPARAM>(item));
}
