// Dialogs built from the compiled templates, with the modal loop and the
// default dialog behaviour (default button, Escape, close box, fonts).
#include "platform/win/dialog.h"

#include "platform/win/gdi.h"
#include "platform/win/menu.h"
#include "platform/win/ui_app.h"
#include "platform/win/ui_internal.h"
#include "platform/win/unattended.h"

#include <QApplication>
#include <QEventLoop>
#include <QFontMetrics>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <strings.h>

namespace vt_res {
const DialogTemplateData* FindDialogTemplate(LPCSTR name) {
  if (name == nullptr || IS_INTRESOURCE(name)) return nullptr;
  for (unsigned i = 0; i < kDialogCount; ++i)
    if (strcasecmp(kDialogTable[i].name, name) == 0) return &kDialogTable[i];
  return nullptr;
}
}  // namespace vt_res

namespace {
int Scale(int v, int mul, int div) {
  long long p = static_cast<long long>(v) * mul;
  return static_cast<int>((p >= 0 ? p + div / 2 : p - div / 2) / div);
}

// Dialog base units of a font: the average width of the letters, and the cell height.
void BaseUnits(HFONT font, int* bx, int* by) {
  QFontMetrics fm(vt_ui::FontOf(font));
  int w = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  *bx = std::max(1, (w / 26 + 1) / 2);
  *by = std::max(1, fm.ascent() + fm.descent());
}

DialogRec* Rec(HWND h) { return IsWindow(h) && h->dlg ? h->dlg.get() : nullptr; }

bool FirstTabStop(HWND dlg, HWND* out) {
  for (HWND w : vt_ui::AllWindows()) {
    if (w->parent == dlg && (w->style & WS_TABSTOP) && !(w->style & WS_DISABLED) && (w->style & WS_VISIBLE)) {
      *out = w;
      return true;
    }
  }
  return false;
}

HWND CreateFromTemplate(const vt_res::DialogTemplateData* t, HWND owner, DLGPROC proc, LPARAM param) {
  UiStartApplication();
  HFONT font = nullptr;
  bool ownsFont = false;
  if (t->faceName != nullptr && t->faceName[0] != '\0') {
    font = CreateFontA(-Scale(t->pointSize, kScreenDpi, 72), 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0,
                       VARIABLE_PITCH | FF_SWISS, t->faceName);
    ownsFont = font != nullptr;
  }
  if (font == nullptr) font = GetStockObject(DEFAULT_GUI_FONT);
  int bx, by;
  BaseUnits(font, &bx, &by);

  DWORD style = t->style & ~static_cast<DWORD>(WS_VISIBLE | WS_CHILD);
  style |= WS_POPUP;
  HWND ownerRoot = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
  int cw = Scale(t->cx, bx, 4), ch = Scale(t->cy, by, 8);
  HWND dlg = CreateWindowExA(0, kDialogClassName, t->caption, style, 0, 0, 0, 0, ownerRoot, nullptr, nullptr, nullptr);
  if (dlg == nullptr) {
    if (ownsFont) DeleteObject(font);
    return nullptr;
  }
  DialogRec* d = dlg->dlg.get();
  d->font = font;
  d->ownsFont = ownsFont;
  d->baseX = bx;
  d->baseY = by;
  RECT in = vt_ui::NonClientInsets(dlg);
  int ww = cw + in.left + in.right, wh = ch + in.top + in.bottom;
  int x, y;
  if (t->style & DS_CENTER) {
    RECT area;
    if (ownerRoot) GetWindowRect(ownerRoot, &area);
    else GetWindowRect(GetDesktopWindow(), &area);
    x = area.left + (area.right - area.left - ww) / 2;
    y = area.top + (area.bottom - area.top - wh) / 2;
  } else {
    POINT o{0, 0};
    if (ownerRoot) ClientToScreen(ownerRoot, &o);
    // The template's position counts from the owner's client area below
    // its menu bar, which here lies inside that area.
    if (ownerRoot) o.y += GetMenuBarHeight(ownerRoot);
    x = o.x + Scale(t->x, bx, 4);
    y = o.y + Scale(t->y, by, 8);
  }
  MoveWindow(dlg, x, y, ww, wh, FALSE);

  for (int i = 0; i < t->itemCount; ++i) {
    const vt_res::DialogItemData& it = t->items[i];
    HWND c = CreateWindowExA(it.exStyle, it.className, it.text, it.style | WS_CHILD, Scale(it.x, bx, 4),
                             Scale(it.y, by, 8), Scale(it.cx, bx, 4), Scale(it.cy, by, 8), dlg,
                             reinterpret_cast<HMENU>(static_cast<uintptr_t>(it.id)), nullptr, nullptr);
    if (c == nullptr) {
      DestroyWindow(dlg);
      return nullptr;
    }
    SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    if (it.className && strcasecmp(it.className, "BUTTON") == 0 && (it.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
      d->defId = it.id;
  }

  d->proc = proc;
  HWND first = nullptr;
  FirstTabStop(dlg, &first);
  INT_PTR r = SendMessageA(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
  if (IsWindow(dlg) && r && first) SetFocus(first);
  return IsWindow(dlg) ? dlg : nullptr;
}

void ShowWithFocus(HWND dlg) {
  HWND focus = GetFocus();
  ShowWindow(dlg, SW_SHOW);
  if (focus && IsChild(dlg, focus)) SetFocus(focus);
}
}  // namespace

LRESULT DefDlgProcA(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  DialogRec* d = Rec(h);
  if (d == nullptr) return DefWindowProcA(h, msg, wParam, lParam);
  switch (msg) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_CLOSE: {
      HWND cancel = GetDlgItem(h, IDCANCEL);
      if (cancel == nullptr || IsWindowEnabled(cancel))
        SendMessageA(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
      return 0;
    }
    case DM_GETDEFID:
      return d->defId ? static_cast<LRESULT>(MAKELONG(static_cast<WORD>(d->defId), DC_HASDEFID)) : 0;
    case DM_SETDEFID: {
      HWND old = GetDlgItem(h, d->defId);
      if (old && old->cls->name == "BUTTON") SendMessageA(old, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
      d->defId = static_cast<int>(wParam);
      HWND now = GetDlgItem(h, d->defId);
      if (now && now->cls->name == "BUTTON") SendMessageA(now, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
      return TRUE;
    }
    case WM_SETFONT:
      d->font = reinterpret_cast<HFONT>(wParam);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(d->font);
    case WM_DESTROY:
      if (!d->ended) {
        d->ended = true;
        if (d->endedOut) *d->endedOut = true;
        if (d->loop) d->loop->quit();
      }
      return 0;
    case WM_PAINT:
      return 0;
    default:
      return DefWindowProcA(h, msg, wParam, lParam);
  }
}

LRESULT vt_ui::DialogClassProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  DialogRec* d = Rec(h);
  if (d && d->proc) {
    d->msgResult = 0;
    INT_PTR r = d->proc(h, msg, wParam, lParam);
    if (msg == WM_INITDIALOG) return r;
    if (!IsWindow(h) || h->dlg == nullptr) return r ? r : 0;
    if (r) {
      if (msg == WM_CTLCOLORSTATIC) return r;
      if (msg == WM_DESTROY) DefDlgProcA(h, msg, wParam, lParam);
      return h->dlg->msgResult;
    }
  }
  return DefDlgProcA(h, msg, wParam, lParam);
}

namespace {
// An unattended run answers a dialog at once: its caption and texts go to
// standard error, then its default button (the focused push button, else the
// dialog's default id, else Cancel) is pressed. A dialog that does not end on
// that ends with Cancel; the caller never waits.
void AnswerUnattended(HWND dlg) {
  CountRefusedModalLoop();
  char caption[256] = {};
  GetWindowTextA(dlg, caption, sizeof caption);
  std::string text;
  for (HWND w : vt_ui::AllWindows()) {
    if (w->parent != dlg) continue;
    char cls[16] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (strcasecmp(cls, "Static") != 0) continue;
    char part[1024] = {};
    if (GetWindowTextA(w, part, sizeof part) <= 0) continue;
    if (!text.empty()) text += ' ';
    text += part;
  }
  WriteUnattendedMessage(caption, text.c_str());
  int id = IDCANCEL;
  HWND focus = GetFocus();
  char focusCls[16] = {};
  if (focus != nullptr && GetParent(focus) == dlg && GetClassNameA(focus, focusCls, sizeof focusCls) > 0 &&
      strcasecmp(focusCls, "Button") == 0) {
    id = GetDlgCtrlID(focus);
  } else {
    const LRESULT def = SendMessageA(dlg, DM_GETDEFID, 0, 0);
    if (HIWORD(def) == DC_HASDEFID) id = LOWORD(def);
  }
  SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
  if (IsWindow(dlg) && dlg->dlg && !dlg->dlg->ended) EndDialog(dlg, IDCANCEL);
}
}  // namespace

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param) {
  const vt_res::DialogTemplateData* t = vt_res::FindDialogTemplate(templateName);
  if (t == nullptr) return -1;
  if (owner != nullptr && !IsWindow(owner)) owner = nullptr;
  HWND ownerRoot = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
  // The owner is disabled before the dialog is built, as Windows does.
  bool reenable = false;
  if (ownerRoot && IsWindowEnabled(ownerRoot)) {
    EnableWindow(ownerRoot, FALSE);
    reenable = true;
  }
  INT_PTR result = -1;
  bool ended = false;
  HWND dlg = CreateFromTemplate(t, owner, proc, param);
  if (dlg != nullptr) {
    DialogRec* d = dlg->dlg.get();
    d->modal = true;
    d->resultOut = &result;
    d->endedOut = &ended;
    if (d->ended) {
      ended = true;
      result = d->result;
    } else if (IsUnattendedRun()) {
      AnswerUnattended(dlg);
      if (IsWindow(dlg) && dlg->dlg) result = dlg->dlg->result;
    } else {
      ShowWithFocus(dlg);
      QEventLoop loop;
      if (IsWindow(dlg) && dlg->dlg && !dlg->dlg->ended) {
        dlg->dlg->loop = &loop;
        int saved = vt_ui::SwapManualPumpDepth(0);
        vt_ui::SetModalLoopDepth(vt_ui::ModalLoopDepth() + 1);
        loop.exec();
        vt_ui::SetModalLoopDepth(vt_ui::ModalLoopDepth() - 1);
        vt_ui::SwapManualPumpDepth(saved);
      }
      if (IsWindow(dlg) && dlg->dlg) {
        dlg->dlg->loop = nullptr;
        result = dlg->dlg->result;
      }
    }
    if (!ended && IsWindow(dlg) && dlg->dlg) result = dlg->dlg->result;
    if (reenable && IsWindow(ownerRoot)) EnableWindow(ownerRoot, TRUE);
    reenable = false;
    if (IsWindow(dlg)) {
      dlg->dlg->resultOut = nullptr;
      dlg->dlg->endedOut = nullptr;
      DestroyWindow(dlg);
    }
    if (IsWindow(ownerRoot)) SetActiveWindow(ownerRoot);
  }
  if (reenable && IsWindow(ownerRoot)) EnableWindow(ownerRoot, TRUE);
  return result;
}

HWND CreateDialogParamA(HINSTANCE, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param) {
  const vt_res::DialogTemplateData* t = vt_res::FindDialogTemplate(templateName);
  if (t == nullptr) return nullptr;
  HWND dlg = CreateFromTemplate(t, owner, proc, param);
  if (dlg && (t->style & WS_VISIBLE)) ShowWithFocus(dlg);
  return dlg;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  DialogRec* d = Rec(dialog);
  if (d == nullptr) return FALSE;
  d->result = result;
  d->ended = true;
  if (d->resultOut) *d->resultOut = result;
  if (d->endedOut) *d->endedOut = true;
  if (d->loop) d->loop->quit();
  if (!d->modal) ShowWindow(dialog, SW_HIDE);
  return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
  if (!IsWindow(dialog)) return nullptr;
  for (HWND w : vt_ui::AllWindows())
    if (w->parent == dialog && static_cast<int>(w->id) == id) return w;
  return nullptr;
}

int GetDlgCtrlID(HWND hwnd) { return IsWindow(hwnd) && hwnd->parent ? static_cast<int>(hwnd->id) : 0; }

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendMessageA(GetDlgItem(dialog, id), message, wParam, lParam);
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) { return SetWindowTextA(GetDlgItem(dialog, id), text); }

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size) {
  HWND c = GetDlgItem(dialog, id);
  if (c == nullptr) {
    if (buffer && size > 0) buffer[0] = '\0';
    return 0;
  }
  return static_cast<UINT>(GetWindowTextA(c, buffer, size));
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
  char buf[16];
  if (isSigned) std::snprintf(buf, sizeof buf, "%d", static_cast<int>(value));
  else std::snprintf(buf, sizeof buf, "%u", value);
  return SetDlgItemTextA(dialog, id, buf);
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
  if (translated) *translated = FALSE;
  HWND c = GetDlgItem(dialog, id);
  if (c == nullptr) return 0;
  char buf[64];
  GetWindowTextA(c, buf, sizeof buf);
  const char* p = buf;
  while (*p == ' ' || *p == '\t') ++p;
  bool neg = false;
  if (isSigned && (*p == '-' || *p == '+')) neg = *p++ == '-';
  if (!std::isdigit(static_cast<unsigned char>(*p))) return 0;
  unsigned long long v = 0;
  while (std::isdigit(static_cast<unsigned char>(*p))) {
    v = v * 10 + static_cast<unsigned>(*p++ - '0');
    if (v > 0xFFFFFFFFull) return 0;
  }
  while (*p == ' ' || *p == '\t') ++p;
  if (*p != '\0') return 0;
  if (isSigned) {
    if ((!neg && v > 0x7FFFFFFFull) || (neg && v > 0x80000000ull)) return 0;
    if (translated) *translated = TRUE;
    return static_cast<UINT>(neg ? -static_cast<long long>(v) : static_cast<long long>(v));
  }
  if (translated) *translated = TRUE;
  return static_cast<UINT>(v);
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  HWND c = GetDlgItem(dialog, id);
  if (c == nullptr) return FALSE;
  SendMessageA(c, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  return static_cast<UINT>(SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0));
}

BOOL MapDialogRect(HWND dialog, RECT* r) {
  DialogRec* d = Rec(dialog);
  if (d == nullptr || r == nullptr) return FALSE;
  r->left = Scale(r->left, d->baseX, 4);
  r->right = Scale(r->right, d->baseX, 4);
  r->top = Scale(r->top, d->baseY, 8);
  r->bottom = Scale(r->bottom, d->baseY, 8);
  return TRUE;
}

LONG GetDialogBaseUnits() {
  UiStartApplication();
  int bx, by;
  BaseUnits(GetStockObject(DEFAULT_GUI_FONT), &bx, &by);
  return static_cast<LONG>(MAKELONG(static_cast<WORD>(bx), static_cast<WORD>(by)));
}
