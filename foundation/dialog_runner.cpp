#include "foundation/dialog_runner.h"

#include "foundation/message_dialog.h"
#include "platform/win/dialog.h"
#include "platform/win/help.h"
#include "platform/win/hook.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
// Program-wide: the hook and the disabled palette belong to the outermost dialog.
int s_modalNesting = 0;
KmDocBase* s_hookDoc = nullptr;
WNDPROC s_savedEditProc = nullptr;

const char* HelpFile() {
  KmDocBase* doc = GetActiveDocBase();
  return doc ? doc->GetHelpFileName() : "";
}

HWND PaletteWindow(KmDocBase* doc) {
  return doc->m_pInsertFieldPalette && IsWindow(doc->m_pInsertFieldPalette->m_hWnd) ? doc->m_pInsertFieldPalette->m_hWnd
                                                                                      : nullptr;
}

bool IsDialogWindow(HWND hwnd) {
  char name[16];
  return GetClassNameA(hwnd, name, sizeof name) > 0 && std::strcmp(name, kDialogClassName) == 0;
}

// The dialog that holds a window: the focus may sit in a compound control
// (the edit of a combo box), whose parent is not the dialog.
HWND DialogOf(HWND hwnd) {
  for (HWND w = hwnd; w != nullptr; w = (GetWindowLongA(w, GWL_STYLE) & WS_CHILD) ? GetParent(w) : nullptr)
    if (IsDialogWindow(w)) return w;
  return GetParent(hwnd);
}

// Hundredths from "d.dd" with the document's decimal character; -1 when it does not parse.
long ParseHundredths(const char* text, char decimal) {
  const char* p = text;
  if (*p == ' ') ++p;
  if (!std::isdigit(static_cast<unsigned char>(*p)) && *p != decimal) return -1;
  long whole = 0;
  while (std::isdigit(static_cast<unsigned char>(*p))) whole = whole * 10 + (*p++ - '0');
  long frac = 0;
  int digits = 0;
  if (*p == decimal) {
    ++p;
    while (std::isdigit(static_cast<unsigned char>(*p)) && digits < 2) {
      frac = frac * 10 + (*p++ - '0');
      ++digits;
    }
    while (*p == '0') ++p;
  }
  if (*p != '\0') return -1;
  if (digits == 1) frac *= 10;
  long v = whole * 100 + frac;
  return v > 65535 ? -1 : v;
}
}  // namespace

int ModalNestingCount() { return s_modalNesting; }

INT_PTR KmDocBase::DoModalDialog(HWND owner, DLGPROC proc, const char* templateName, LPARAM param) {
  if (proc == nullptr) return 0;
  BeginModalState();
  INT_PTR r = DialogBoxParamA(nullptr, templateName, owner, proc, param);
  if (r == -1) SystemModalMessage("Cannot display dialog box. Check available memory.");
  EndModalState();
  return r;
}

INT_PTR KmDocBase::DoModalDialogNoParam(HWND owner, DLGPROC proc, const char* templateName) {
  return DoModalDialog(owner, proc, templateName, 0);
}

void KmDocBase::BeginModalState() {
  SetFrameModal(true);
  if (s_modalNesting == 0) {
    m_pfnMsgFilter = DialogMsgFilterProc;
    m_hMsgFilterHook = SetWindowsHookExA(WH_MSGFILTER, DialogMsgFilterProc, nullptr, 0);
    s_hookDoc = this;
    if (HWND palette = PaletteWindow(this)) EnableWindow(palette, FALSE);
  }
  ++s_modalNesting;
  CWnd* main = AfxGetThread()->GetMainWnd();
  if (main && IsIconic(main->m_hWnd)) ShowWindow(main->m_hWnd, SW_SHOWNORMAL);
}

void KmDocBase::EndModalState() {
  // An unmatched end leaves the count at zero rather than below it.
  if (s_modalNesting > 0) --s_modalNesting;
  if (s_modalNesting != 0) return;
  if (m_hMsgFilterHook) UnhookWindowsHookEx(m_hMsgFilterHook);
  m_hMsgFilterHook = nullptr;
  if (s_hookDoc == this) s_hookDoc = nullptr;
  SetFrameModal(false);
  if (!m_bReportOpen || m_bShowNameOnly) {
    ShowStatusReportName();
  } else {
    if (m_bViewUpdate) UpdateViewsByHint(101, nullptr);
    UpdateViewCaret();
  }
  if (HWND palette = PaletteWindow(this); palette != nullptr && !m_bRunHoldsPalette) EnableWindow(palette, TRUE);
}

LRESULT DialogMsgFilterProc(int code, WPARAM wParam, LPARAM lParam) {
  const MSG* msg = reinterpret_cast<const MSG*>(lParam);
  if (code == MSGF_DIALOGBOX && msg && msg->message == WM_KEYDOWN && msg->wParam == VK_F1 &&
      GetKeyState(VK_CONTROL) >= 0) {
    HWND focus = GetFocus();
    if (focus && GetParent(focus)) {
      PostMessageA(DialogOf(focus), WM_COMMAND, 300, 0);
      return 1;
    }
  }
  if (s_hookDoc && s_hookDoc->m_hMsgFilterHook) return CallNextHookEx(s_hookDoc->m_hMsgFilterHook, code, wParam, lParam);
  return 0;
}

void KmDocBase::CenterDialogOnOwner(HWND dialog) {
  RECT frame, dlg;
  HWND owner = GetOwnerWindow();
  // Without a main frame the desktop stands in for it.
  if (!GetWindowRect(IsWindow(owner) ? owner : GetDesktopWindow(), &frame) || !GetWindowRect(dialog, &dlg)) return;
  int x = frame.left + ((frame.right - frame.left) - (dlg.right - dlg.left)) / 2;
  int y = frame.top + ((frame.bottom - frame.top) - (dlg.bottom - dlg.top)) / 2;
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void DrawDialogIcon(HWND dialog, int controlId, UINT iconId) {
  HWND control = GetDlgItem(dialog, controlId);
  if (control == nullptr) return;
  InvalidateRect(control, nullptr, TRUE);
  UpdateWindow(control);
  HDC dc = GetDC(control);
  DrawIcon(dc, 0, 0, LoadIconA(nullptr, MAKEINTRESOURCEA(iconId)));
  ReleaseDC(control, dc);
}

void KmDocBase::ShowDialogHelp(HWND dialog, WORD context) {
  // Focus and default go to OK; a dialog without OK (Yes/No/Help) keeps its
  // first other button, so Enter never answers with a button that is not there.
  int target = IDOK;
  if (GetDlgItem(dialog, IDOK) == nullptr) {
    static const int kOthers[] = {IDYES, IDNO, IDCANCEL};
    target = 0;
    for (int id : kOthers) {
      if (GetDlgItem(dialog, id)) {
        target = id;
        break;
      }
    }
  }
  if (target) SetFocus(GetDlgItem(dialog, target));
  SendMessageA(GetDlgItem(dialog, 300), BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
  if (target) SendMessageA(dialog, DM_SETDEFID, static_cast<WPARAM>(target), 0);
  WinHelpA(m_hOwnerWnd ? m_hOwnerWnd : GetOwnerWindow(), GetHelpFileName(), HELP_CONTEXT, context);
}

HFONT GetAnsiVarFont() { return GetStockObject(ANSI_VAR_FONT); }

BOOL OnContextHelp(const HELPINFO* info, int controlId, DWORD context) {
  if (info == nullptr || info->iCtrlId != controlId) return 0;
  DWORD ids[4] = {static_cast<DWORD>(controlId), context, 0, 0};
  return WinHelpA(static_cast<HWND>(info->hItemHandle), HelpFile(), HELP_WM_HELP, reinterpret_cast<ULONG_PTR>(ids));
}

BOOL OnContextMenuHelp(HWND dialog, HWND clicked, LPARAM screenPos, int controlId, DWORD context) {
  HWND control = GetDlgItem(dialog, controlId);
  if (control == nullptr) return 0;
  bool hit = clicked == control;
  if (!hit && clicked == dialog && screenPos != 0) {
    RECT r;
    GetWindowRect(control, &r);
    int x = GET_X_LPARAM(screenPos), y = GET_Y_LPARAM(screenPos);
    hit = x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
  }
  if (!hit) return 0;
  DWORD ids[4] = {static_cast<DWORD>(controlId), context, 0, 0};
  return WinHelpA(control, HelpFile(), HELP_CONTEXTMENU, reinterpret_cast<ULONG_PTR>(ids));
}

void SpinDecimalField(HWND dialog, int controlId, int minimum, int maximum, int direction) {
  KmDocBase* doc = GetActiveDocBase();
  char decimal = doc ? doc->m_cDecimal : '.';
  char text[6];
  GetDlgItemTextA(dialog, controlId, text, sizeof text);
  long v = ParseHundredths(text, decimal);
  if (v < 0) return;
  if (direction == 1) {
    v -= 10;
    if (v < minimum) v = minimum;
  } else {
    v += 10;
    if (v > maximum) v = maximum;
  }
  if (v < 0) v = 0;
  char out[24];
  std::snprintf(out, sizeof out, "%ld%c%02ld", v / 100, decimal, v % 100);
  SetDlgItemTextA(dialog, controlId, out);
}

void SubclassMeasureEdit(HWND dialog, int controlId) {
  HWND edit = GetDlgItem(dialog, controlId);
  if (edit == nullptr) return;
  WNDPROC current = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(edit, GWLP_WNDPROC));
  if (current == MeasureEditProc) return;  // saving ourselves would loop
  s_savedEditProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(MeasureEditProc)));
}

LRESULT MeasureEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CHAR && wParam >= 32) {
    KmDocBase* doc = GetActiveDocBase();
    char decimal = doc ? doc->m_cDecimal : '.';
    unsigned char c = static_cast<unsigned char>(wParam);
    if (!(c >= '0' && c <= '9') && c != static_cast<unsigned char>(decimal)) {
      ErrorBeep();
      return 0;
    }
  }
  return CallWindowProcA(s_savedEditProc, edit, message, wParam, lParam);
}

void UnsubclassMeasureEdit(HWND edit) {
  if (IsWindow(edit) && s_savedEditProc)
    SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(s_savedEditProc));
}
