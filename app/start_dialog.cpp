#include "app/start_dialog.h"

#include "app/document.h"
#include "app/splash.h"
#include "foundation/heap_strings.h"
#include "platform/win/dialog.h"
#include "platform/win/wsprintf.h"
#include "platform/win/hook.h"
#include "platform/win/message_box.h"

#include <cctype>

namespace {

constexpr int kFirstChoice = 200;
constexpr int kWizardLabel = 205;
constexpr int kHelpButton = 300;
constexpr UINT kCmdAbout = 32032;
constexpr WORD kStartHelpContext = 1080;
constexpr WORD kModalBit = 0x8000;
constexpr UINT kIdsNoDialog = 62417;

struct StartState {
  CKmDoc* doc;
  BOOL openAllowed;
  int choice;
  HWND dialog;
  // This dialog's own hook: the dialog runner keeps the document's handle for
  // a box opened over it (Help, About), and each must pass on from itself.
  HHOOK hook;
};

// The running dialog's state, for the hook (one start dialog at a time).
StartState* g_running = nullptr;

StartState* State(HWND d) { return reinterpret_cast<StartState*>(GetWindowLongPtrA(d, DWLP_USER)); }

LRESULT StartDialogHook(int code, WPARAM wParam, LPARAM lParam) {
  HHOOK self = g_running != nullptr ? g_running->hook : nullptr;
  auto* msg = reinterpret_cast<MSG*>(lParam);
  // Only keys typed in the start dialog are its own: a box over it (Help,
  // About) takes its Enter and letters itself.
  HWND d = g_running != nullptr ? g_running->dialog : nullptr;
  if (code == MSGF_DIALOGBOX && msg != nullptr && d != nullptr && msg->hwnd != nullptr && GetParent(msg->hwnd) == d) {
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_F1) {
      const bool ctrl = GetKeyState(VK_CONTROL) < 0;
      if (!ctrl) {
        PostMessageA(d, WM_COMMAND, kHelpButton, 0);
        return 1;
      }
      if (g_running->openAllowed) {
        PostMessageA(d, WM_COMMAND, kCmdAbout, 0);
        return 1;
      }
    }
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) {
      HWND focus = GetFocus();
      if (focus != GetDlgItem(d, IDCANCEL) && focus != GetDlgItem(d, kHelpButton)) {
        PostMessageA(d, WM_COMMAND, IDOK, 0);
        return 1;
      }
    }
    const bool alt = msg->message == WM_SYSKEYDOWN || (msg->message == WM_KEYDOWN && GetKeyState(VK_MENU) < 0);
    if (alt) {
      int choice = -1;
      switch (std::toupper(static_cast<int>(msg->wParam))) {
        case 'B': choice = 2; break;
        case 'I': choice = 1; break;
        case 'T': choice = 3; break;
        case 'O': choice = g_running->openAllowed ? 4 : -1; break;
        case 'R': choice = IsWindowEnabled(GetDlgItem(d, kFirstChoice)) ? 0 : -1; break;
        default: break;
      }
      if (choice >= 0) {
        g_running->choice = choice;
        PostMessageA(d, WM_COMMAND, IDOK, 1);
        return 1;
      }
    }
  }
  return CallNextHookEx(self, code, wParam, lParam);
}

INT_PTR StartDialogProc(HWND d, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(d, DWLP_USER, lParam);
      StartState& s = *State(d);
      s.dialog = d;
      s.doc->CenterDialogOnOwner(d);
      if (s.openAllowed) SetWindowTextA(d, s.doc->GetAppCaption());
      const bool wizards = s.doc->FindWizardProgram() != FALSE;
      if (!wizards) {
        EnableWindow(GetDlgItem(d, kFirstChoice), FALSE);
        EnableWindow(GetDlgItem(d, kWizardLabel), FALSE);
      }
      s.choice = wizards ? 0 : 1;
      SetFocus(GetDlgItem(d, kFirstChoice + s.choice));
      return FALSE;
    }
    case WM_COMMAND: {
      StartState& s = *State(d);
      const int id = LOWORD(wParam);
      if (id >= kFirstChoice && id <= kFirstChoice + 4 && HIWORD(wParam) == BN_CLICKED) {
        s.choice = id - kFirstChoice;
        EndDialog(d, s.choice + 1);
        return TRUE;
      }
      switch (id) {
        case IDOK: {
          // Enter takes the focused choice; an Alt key has set its own (lParam 1).
          HWND focus = GetFocus();
          for (int i = 0; lParam == 0 && i < 5; ++i)
            if (focus != nullptr && focus == GetDlgItem(d, kFirstChoice + i)) s.choice = i;
          EndDialog(d, s.choice + 1);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(d, 0);
          return TRUE;
        case kHelpButton:
          s.doc->ShowDialogHelp(d, kStartHelpContext);
          return TRUE;
        case kCmdAbout:
          ShowAboutBox(d);
          return TRUE;
        default:
          return FALSE;
      }
    }
    default:
      return FALSE;
  }
}

}  // namespace

int RunStartDialog(CKmDoc& doc, BOOL openAllowed) {
  StartState state{&doc, openAllowed, 0, nullptr, nullptr};
  if (doc.m_pMainFrame != nullptr) doc.m_pMainFrame->m_wState |= kModalBit;
  StartState* outer = g_running;
  g_running = &state;
  state.hook = SetWindowsHookExA(WH_MSGFILTER, StartDialogHook, nullptr, 0);
  CWnd* palette = doc.m_pInsertFieldPalette;
  if (palette != nullptr && palette->m_hWnd != nullptr) EnableWindow(palette->m_hWnd, FALSE);
  INT_PTR r = DialogBoxParamA(nullptr, openAllowed ? "DNewOpen" : "DFileNew", doc.GetOwnerWindow(), StartDialogProc,
                              reinterpret_cast<LPARAM>(&state));
  if (r == -1) doc.SystemModalMessage(GetResString(kIdsNoDialog, 0));
  if (state.hook != nullptr) UnhookWindowsHookEx(state.hook);
  g_running = outer;
  if (doc.m_pView != nullptr && doc.m_bReportOpen) doc.m_pView->UpdateCaretAndStatus(0);
  if (doc.m_pMainFrame != nullptr) doc.m_pMainFrame->m_wState &= static_cast<WORD>(~kModalBit);
  if (palette != nullptr && palette->m_hWnd != nullptr) EnableWindow(palette->m_hWnd, TRUE);
  return static_cast<int>(r);
}

