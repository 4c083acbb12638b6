#include "foundation/message_dialog.h"

#include "foundation/dialog_runner.h"
#include "foundation/heap_strings.h"
#include "platform/win/beep.h"
#include "platform/win/dialog.h"
#include "platform/win/gdi.h"
#include "platform/win/message_box.h"
#include "platform/win/unattended.h"
#include "platform/win/wsprintf.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace {
// The document whose message-dialog fields the running message dialog reads.
KmDocBase* s_msgDoc = nullptr;

KmDocBase* MsgDoc() { return s_msgDoc ? s_msgDoc : GetActiveDocBase(); }

struct StyleInfo {
  const char* templateName;
  UINT icon;
  UINT focus;
};
const StyleInfo kStyles[9] = {
    {"DEx_Mess", IDI_EXCLAMATION, IDOK}, {"DYNY_Mess", IDI_QUESTION, IDYES}, {"DYNN_Mess", IDI_QUESTION, IDNO},
    {"DYNC_Mess", IDI_QUESTION, IDYES},  {"DInfo_Mess", IDI_ASTERISK, IDOK}, {"DEx_Mess", IDI_HAND, IDOK},
    {"DOk_Can", IDI_EXCLAMATION, IDCANCEL}, {"DIgnore", IDI_HAND, IDOK},     {"DYNCH_Mess", IDI_QUESTION, IDYES}};

// The typed arguments of a message: each conversion takes exactly what the
// caller passed, and a conversion past the last argument prints nothing.
class MsgArgSource : public FormatArgSource {
 public:
  MsgArgSource(const MsgArg* args, int count) : args_(args), count_(args ? count : 0) {}
  bool Serves(char) const override { return true; }
  bool Count(int*) override { return false; }
  bool Next(const FormatConversion& conv, FormatValue* value) override {
    if (next_ >= count_) return false;
    const MsgArg& a = args_[next_++];
    switch (conv.letter) {
      case 's':
        value->isText = a.isText;
        value->text = a.text;
        SetSigned(value, a.number);
        break;
      case 'd':
      case 'i':
        SetSigned(value, a.isText ? 0 : static_cast<int>(a.number));
        break;
      case 'c':
        value->magnitude = a.isText ? (a.text ? static_cast<unsigned char>(a.text[0]) : 0) : (a.number & 0xFF);
        break;
      default:
        // Unsigned conversions work on 32 bits, as the program's numbers are.
        value->magnitude = a.isText ? 0 : static_cast<uint32_t>(a.number);
        break;
    }
    return true;
  }

 private:
  static void SetSigned(FormatValue* value, long long n) {
    value->negative = n < 0;
    value->magnitude = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
  }
  const MsgArg* args_;
  int count_;
  int next_ = 0;
};

RECT WindowRectOf(HWND hwnd) {
  RECT r{0, 0, 0, 0};
  GetWindowRect(hwnd, &r);
  return r;
}
}  // namespace

void FormatMessageText(char* out, size_t size, const char* format, const MsgArg* args, int count) {
  MsgArgSource source(args, count);
  FormatBounded(out, size, format, source);
}

void ErrorBeep() { MessageBeep(0); }

INT_PTR KmDocBase::ShowMessageDialog(HWND owner, const char* text, const char* caption, int style) {
  if (owner == nullptr) {
    CWnd* main = AfxGetThread()->GetMainWnd();
    owner = main ? main->m_hWnd : nullptr;
  }
  if (!m_bReportOpen) HideTitleWindow();
  if (style < 0 || style > 8) style = kMsgError;
  // Nobody is there to answer: the text goes to standard error and the
  // button that has the focus is the answer.
  if (IsUnattendedRun()) {
    WriteUnattendedMessage(caption, text);
    CountRefusedModalLoop();
    return static_cast<INT_PTR>(kStyles[style].focus);
  }
  m_uMsgIcon = kStyles[style].icon;
  m_uMsgFocusId = kStyles[style].focus;
  m_pszMsgCaption = caption;
  KmDocBase* saved = s_msgDoc;
  s_msgDoc = this;
  INT_PTR r = DoModalDialog(owner, MessageDialogProc, kStyles[style].templateName,
                            reinterpret_cast<LPARAM>(text ? text : ""));
  s_msgDoc = saved;
  return r <= 0 ? static_cast<INT_PTR>(IDCANCEL) : r;
}

INT_PTR MessageDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  KmDocBase* doc = MsgDoc();
  switch (message) {
    case WM_INITDIALOG: {
      const char* text = reinterpret_cast<const char*>(lParam);
      if (text == nullptr) text = "";
      SizeMessageDialog(dialog, text);
      SetWindowTextA(dialog, doc && doc->m_pszMsgCaption ? doc->m_pszMsgCaption : "");
      SetDlgItemTextA(dialog, 200, text);
      SetFocus(GetDlgItem(dialog, doc ? static_cast<int>(doc->m_uMsgFocusId) : IDOK));
      return FALSE;
    }
    case WM_PAINT:
      if (doc) DrawDialogIcon(dialog, 201, doc->m_uMsgIcon);
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) == 300) {
        if (doc) doc->ShowDialogHelp(dialog, kMessageHelpContext);
      } else {
        EndDialog(dialog, LOWORD(wParam));
      }
      return TRUE;
    default:
      return FALSE;
  }
}

// Room the title bar's own buttons take beside the caption, in pixels.
constexpr int kTitleBarButtons = 110;

void SizeMessageDialog(HWND dialog, const char* text) {
  RECT desk = WindowRectOf(GetDesktopWindow());
  int deskW = desk.right - desk.left;
  MoveWindow(dialog, desk.left, desk.top, deskW, desk.bottom - desk.top, FALSE);

  RECT icon = WindowRectOf(GetDlgItem(dialog, 201));
  int iconW = icon.right - icon.left, iconH = icon.bottom - icon.top;
  static const int kButtons[] = {IDOK, IDYES, IDNO, IDCANCEL, 300};
  int count = 0, bw = 0, bh = 0;
  for (int id : kButtons) {
    HWND b = GetDlgItem(dialog, id);
    if (b == nullptr) continue;
    ++count;
    RECT r = WindowRectOf(b);
    bw = r.right - r.left;
    bh = r.bottom - r.top;
  }

  HWND textCtl = GetDlgItem(dialog, 200);
  RECT tr{icon.right + 5, 20, deskW / 2, icon.bottom};
  SetWindowPos(textCtl, nullptr, 0, 0, 5, iconH, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  HDC dc = GetDC(textCtl);
  DrawTextA(dc, text, -1, &tr, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_EXTERNALLEADING);
  // The caption is read whole too: the title bar's font is larger than the
  // dialog's, and its buttons take room beside it.
  KmDocBase* owner = MsgDoc();
  const char* caption = owner != nullptr && owner->m_pszMsgCaption != nullptr ? owner->m_pszMsgCaption : "";
  RECT cr{0, 0, deskW / 2, 0};
  DrawTextA(dc, caption, -1, &cr, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  ReleaseDC(textCtl, dc);
  const int captionW = (cr.right - cr.left) * 3 / 2 + kTitleBarButtons;

  int textW = tr.right - tr.left;
  if (textW < count * bw) textW = count * bw + 5;
  if (textW < captionW - iconW - 45) textW = captionW - iconW - 45;
  int cap = deskW - icon.right - 15 - 3 * GetSystemMetrics(SM_CXFIXEDFRAME);
  if (textW > cap) textW = cap;
  int textH = std::max<int>(tr.bottom - tr.top, iconH);

  MoveWindow(textCtl, icon.right + 5, 20, textW, textH, FALSE);
  HWND frameCtl = GetDlgItem(dialog, 202);
  MoveWindow(frameCtl, 5, 10, textW + 30 + iconW, textH + 30, FALSE);
  RECT frame = WindowRectOf(frameCtl);

  int dlgW = frame.right + 10 + 2 * GetSystemMetrics(SM_CXBORDER);
  int dlgH = frame.bottom + GetSystemMetrics(SM_CYFIXEDFRAME) + 20 + bh;
  MoveWindow(dialog, 0, 0, dlgW, dlgH, FALSE);
  RECT dr = WindowRectOf(dialog);

  int x = (dr.right - dr.left) / 2 - GetSystemMetrics(SM_CXFIXEDFRAME);
  if (count == 1) x -= bw / 2;
  else if (count == 2) x -= bw + 5;
  else if (count >= 3) x -= bw + bw / 2 + 10;
  int y = dr.bottom - 10 - 2 * bh - GetSystemMetrics(SM_CYFIXEDFRAME);
  for (int id : kButtons) {
    HWND b = GetDlgItem(dialog, id);
    if (b == nullptr) continue;
    MoveWindow(b, x, y, bw, bh, FALSE);
    x += bw + 10;
  }
  KmDocBase* doc = MsgDoc();
  if (doc) doc->CenterDialogOnOwner(dialog);
}

void KmDocBase::SystemModalMessage(const char* text) {
  HideTitleWindow();
  MessageBoxA(m_hOwnerWnd, text, "Hollowmark", MB_SYSTEMMODAL | MB_OK);
}

// --- the ShowErrorText family ---

int KmDocBase::ShowErrorText(const char* text, CWnd* owner) {
  char caption[sizeof m_szAppCaption];
  std::memcpy(caption, m_szAppCaption, sizeof caption);
  MessageBeep(0);
  ShowMessageDialog(owner ? owner->m_hWnd : nullptr, text, caption, kMsgError);
  return 0;
}

int KmDocBase::ShowErrorId(UINT id, CWnd* owner) {
  char text[256];
  CopyBounded(text, sizeof text, GetResString(id, 0));
  return ShowErrorText(text, owner);
}

int KmDocBase::ShowErrorTwoIds(UINT id1, UINT id2) {
  char text[kMessageBufferSize];
  CopyBounded(text, sizeof text, GetResString(id1, 0));
  AppendBounded(text, sizeof text, " ");
  AppendBounded(text, sizeof text, GetResString(id2, 1));
  return ShowErrorText(text, nullptr);
}

namespace {
int ShowFormatted(KmDocBase* doc, const char* format, std::initializer_list<MsgArg> args) {
  char text[kMessageBufferSize];
  FormatMessageText(text, sizeof text, format, args.begin(), static_cast<int>(args.size()));
  return doc->ShowErrorText(text, nullptr);
}
}  // namespace

int KmDocBase::ShowErrorFmt1(const char* f, MsgArg a1) { return ShowFormatted(this, f, {a1}); }
int KmDocBase::ShowErrorFmt2(const char* f, MsgArg a1, MsgArg a2) { return ShowFormatted(this, f, {a1, a2}); }
int KmDocBase::ShowErrorFmt3(const char* f, MsgArg a1, MsgArg a2, MsgArg a3) { return ShowFormatted(this, f, {a1, a2, a3}); }
int KmDocBase::ShowErrorFmt4(const char* f, MsgArg a1, MsgArg a2, MsgArg a3, MsgArg a4) {
  return ShowFormatted(this, f, {a1, a2, a3, a4});
}
int KmDocBase::ShowErrorFmt5(const char* f, MsgArg a1, MsgArg a2, MsgArg a3, MsgArg a4, MsgArg a5) {
  return ShowFormatted(this, f, {a1, a2, a3, a4, a5});
}
int KmDocBase::ShowErrorFmtNum(const char* f, long n) { return ShowFormatted(this, f, {n}); }
int KmDocBase::ShowErrorFmtNum2(const char* f, long n1, long n2) { return ShowFormatted(this, f, {n1, n2}); }
int KmDocBase::ShowErrorFmtChar(const char* f, int ch) { return ShowFormatted(this, f, {ch & 0xFF}); }

int KmDocBase::MessageBoxId(UINT id, CWnd* owner, UINT type) {
  char text[256];
  CopyBounded(text, sizeof text, GetResString(id, 0));
  MessageBeep(0);
  if (owner == nullptr) owner = AfxGetThread()->GetMainWnd();
  MessageBoxA(owner ? owner->m_hWnd : nullptr, text, m_szAppCaption, type);
  return 0;
}

// --- the ErrorBox family ---

namespace {
enum class Owner { Frame, Active, Given };

INT_PTR Box(KmDocBase* doc, Owner kind, HWND given, int style, const char* format, std::initializer_list<MsgArg> args,
            bool noArgs) {
  doc->SetWaitCursor(0);
  ErrorBeep();
  char text[kMessageBufferSize];
  // A message without arguments is shown literally, so a "%" in a file name
  // or a data-source message cannot reach for arguments that are not there.
  if (noArgs) CopyMessageText(text, sizeof text, format);
  else FormatMessageText(text, sizeof text, format, args.begin(), static_cast<int>(args.size()));
  HWND owner = given;
  if (kind == Owner::Frame) {
    owner = doc->GetOwnerWindow();
    if (owner == nullptr) return 0;
  } else if (kind == Owner::Active) {
    owner = doc->GetOwnerWindow();
    if (!IsWindow(owner)) owner = GetActiveWindow();
  }
  char caption[64];
  CopyBounded(caption, sizeof caption, doc->GetAppCaption());
  return doc->ShowMessageDialog(owner, text, caption, style);
}
}  // namespace

INT_PTR KmDocBase::ErrorBox(const char* f) {
  Box(this, Owner::Frame, nullptr, kMsgError, f, {}, true);
  return 0;
}
INT_PTR KmDocBase::ErrorBox1(const char* f, MsgArg a1) { return Box(this, Owner::Frame, nullptr, kMsgError, f, {a1}, false); }
INT_PTR KmDocBase::ErrorBox2(const char* f, MsgArg a1, MsgArg a2) {
  return Box(this, Owner::Frame, nullptr, kMsgError, f, {a1, a2}, false);
}
INT_PTR KmDocBase::ErrorBox3(const char* f, MsgArg a1, MsgArg a2, MsgArg a3) {
  Box(this, Owner::Frame, nullptr, kMsgError, f, {a1, a2, a3}, false);
  return 0;
}
INT_PTR KmDocBase::ErrorBox4(const char* f, MsgArg a1, MsgArg a2, MsgArg a3, MsgArg a4) {
  Box(this, Owner::Frame, nullptr, kMsgError, f, {a1, a2, a3, a4}, false);
  return 0;
}
INT_PTR KmDocBase::ErrorBox5(const char* f, MsgArg a1, MsgArg a2, MsgArg a3, MsgArg a4, MsgArg a5) {
  Box(this, Owner::Frame, nullptr, kMsgError, f, {a1, a2, a3, a4, a5}, false);
  return 0;
}
INT_PTR KmDocBase::ErrorBox1NoResult(const char* f, MsgArg a1) {
  Box(this, Owner::Frame, nullptr, kMsgError, f, {a1}, false);
  return 0;
}
INT_PTR KmDocBase::ErrorBox2NoResult(const char* f, MsgArg a1, MsgArg a2) {
  Box(this, Owner::Frame, nullptr, kMsgError, f, {a1, a2}, false);
  return 0;
}
INT_PTR KmDocBase::ErrorBoxChar(const char* f, int ch) {
  Box(this, Owner::Frame, nullptr, kMsgError, f, {ch & 0xFF}, false);
  return 0;
}
void KmDocBase::ErrorBoxActive(const char* f) { Box(this, Owner::Active, nullptr, kMsgError, f, {}, true); }
void KmDocBase::ErrorBoxOwner(HWND owner, const char* f) { Box(this, Owner::Given, owner, kMsgError, f, {}, true); }
void KmDocBase::ErrorBoxOwner1(HWND owner, const char* f, MsgArg a1) {
  Box(this, Owner::Given, owner, kMsgError, f, {a1}, false);
}
INT_PTR KmDocBase::WarningBox(const char* f) { return Box(this, Owner::Frame, nullptr, kMsgWarning, f, {}, true); }
INT_PTR KmDocBase::WarningBox1(const char* f, MsgArg a1) {
  return Box(this, Owner::Frame, nullptr, kMsgWarning, f, {a1}, false);
}
void KmDocBase::WarningBoxOwner(HWND owner, const char* f) { Box(this, Owner::Given, owner, kMsgWarning, f, {}, true); }
void KmDocBase::WarningBoxOwner1(HWND owner, const char* f, MsgArg a1) {
  Box(this, Owner::Given, owner, kMsgWarning, f, {a1}, false);
}

void KmDocBase::InternalErrorBox(int code) {
  char text[256];
  CopyBounded(text, sizeof text, GetResString(627, 0));
  Box(this, Owner::Frame, nullptr, kMsgError, "%s (%d)", {text, code}, false);
}

void KmDocBase::InternalErrorBox2(int code1, int code2) {
  char text[256];
  CopyBounded(text, sizeof text, GetResString(627, 0));
  Box(this, Owner::Frame, nullptr, kMsgError, "%s %04x (%04x)", {text, code1, code2}, false);
}
