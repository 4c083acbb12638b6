#include "foundation/dialog_runner.h"

#include "app/document.h"
#include "foundation/message_dialog.h"
#include "platform/win/beep.h"
#include "platform/win/help.h"
#include "platform/win/hook.h"
#include "platform/win/message_box.h"
#include "ui_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {
using ui_test::WhenRunning;

// A plain dialog procedure over the information template: commands end it.
std::vector<UINT> g_seen;
int g_helpCommands = 0;
INT_PTR PlainProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM) {
  g_seen.push_back(msg);
  if (msg == WM_COMMAND && LOWORD(wParam) == 300) ++g_helpCommands;
  if (msg == WM_INITDIALOG) return TRUE;
  if (msg == WM_COMMAND) {
    if (LOWORD(wParam) == 300) return TRUE;
    EndDialog(dlg, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

std::vector<std::pair<UINT, WPARAM>> g_buttonKeys;
WNDPROC g_buttonProc = nullptr;
LRESULT RecordingButtonProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_KEYDOWN) g_buttonKeys.emplace_back(msg, wParam);
  return CallWindowProcA(g_buttonProc, h, msg, wParam, lParam);
}

class DialogRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::Start();
    ClearHelpRequests();
    g_seen.clear();
    SetMessageBoxResponder([](const MessageBoxRecord&) { return IDOK; });
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "VtRunnerFrame";
    RegisterClassA(&wc);
    frameWnd = CreateWindowExA(0, "VtRunnerFrame", "Frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 480, nullptr,
                               nullptr, nullptr, nullptr);
    paletteWnd = CreateWindowExA(0, "VtRunnerFrame", "Insert Field", WS_POPUP | WS_CAPTION | WS_VISIBLE, 10, 10, 100,
                                 200, frameWnd, nullptr, nullptr, nullptr);
    frame.m_hWnd = frameWnd;
    frame.m_wndStatusBar.m_pDoc = &doc;
    palette.m_hWnd = paletteWnd;
    doc.m_pMainFrame = &frame;
    doc.m_pInsertFieldPalette = &palette;
    doc.m_pView = &view;
  }
  void TearDown() override {
    SetMessageBoxResponder(nullptr);
    DestroyWindow(frameWnd);
  }

  HWND frameWnd = nullptr, paletteWnd = nullptr;
  CMainFrame frame;
  CWnd palette;
  CKmView view;
  CKmDoc doc;
};

TEST_F(DialogRunnerTest, NestedDialogsKeepTheFilterAndPaletteStateUntilTheOuterEnds) {
  INT_PTR inner = 0;
  WhenRunning([&] {
    HWND outer = ui_test::ActiveDialog();
    EXPECT_EQ(ModalNestingCount(), 1);
    EXPECT_EQ(InstalledMsgFilterHookCount(), 1);
    EXPECT_FALSE(IsWindowEnabled(paletteWnd));
    EXPECT_FALSE(IsWindowEnabled(frameWnd)) << "the owner is disabled while its dialog runs";
    EXPECT_TRUE(frame.m_wState & 0x8000);
    HHOOK hook = doc.m_hMsgFilterHook;
    EXPECT_NE(hook, nullptr);

    WhenRunning([&] {
      EXPECT_EQ(ModalNestingCount(), 2);
      EXPECT_EQ(InstalledMsgFilterHookCount(), 1) << "only the outermost dialog hooks";
      EXPECT_FALSE(IsWindowEnabled(outer));
      ui_test::KeyToFocus(Qt::Key_Return);
    });
    inner = doc.DoModalDialog(outer, PlainProc, "DInfo_Mess", 0);
    EXPECT_EQ(ModalNestingCount(), 1);
    EXPECT_EQ(doc.m_hMsgFilterHook, hook);
    EXPECT_EQ(InstalledMsgFilterHookCount(), 1);
    EXPECT_FALSE(IsWindowEnabled(paletteWnd));
    EXPECT_TRUE(frame.m_wState & 0x8000);
    EXPECT_EQ(frame.m_wndStatusBar.ReportNameShown(), 0) << "the status line waits for the outer dialog";
    ui_test::KeyToFocus(Qt::Key_Escape);
  });
  INT_PTR outerResult = doc.DoModalDialog(frameWnd, PlainProc, "DInfo_Mess", 0);
  EXPECT_EQ(inner, IDOK);
  EXPECT_EQ(outerResult, IDCANCEL);
  EXPECT_EQ(ModalNestingCount(), 0);
  EXPECT_EQ(InstalledMsgFilterHookCount(), 0);
  EXPECT_EQ(doc.m_hMsgFilterHook, nullptr);
  EXPECT_TRUE(IsWindowEnabled(paletteWnd));
  EXPECT_TRUE(IsWindowEnabled(frameWnd));
  EXPECT_FALSE(frame.m_wState & 0x8000);
  EXPECT_EQ(frame.m_wndStatusBar.ReportNameShown(), 1);
  EXPECT_EQ(view.CaretUpdates(), 0);

  // With a report open the views are refreshed instead.
  doc.m_bReportOpen = TRUE;
  doc.m_bViewUpdate = TRUE;
  WhenRunning([] { ui_test::KeyToFocus(Qt::Key_Escape); });
  doc.DoModalDialog(frameWnd, PlainProc, "DInfo_Mess", 0);
  EXPECT_EQ(doc.m_viewHints, 1);
  EXPECT_EQ(view.CaretUpdates(), 1);
  EXPECT_EQ(frame.m_wndStatusBar.ReportNameShown(), 1);
}

TEST_F(DialogRunnerTest, F1PostsHelpOnceAndIsEatenButCtrlF1ReachesTheControl) {
  g_buttonKeys.clear();
  WhenRunning([&] {
    HWND dlg = ui_test::ActiveDialog();
    HWND ok = GetDlgItem(dlg, IDOK);
    g_buttonProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(ok, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingButtonProc)));
    SetFocus(ok);
    ui_test::KeyToFocus(Qt::Key_F1);
    ui_test::KeyToFocus(Qt::Key_F1, Qt::ControlModifier);
    WhenRunning([dlg] {
      EXPECT_TRUE(IsWindow(dlg));
      ui_test::KeyToFocus(Qt::Key_Escape);
    });
  });
  g_helpCommands = 0;
  doc.DoModalDialog(frameWnd, PlainProc, "DInfo_Mess", 0);
  EXPECT_EQ(g_helpCommands, 1) << "F1 posts Help once; Ctrl+F1 does not";
  ASSERT_EQ(g_buttonKeys.size(), 1u) << "only Ctrl+F1 reaches the button";
  EXPECT_EQ(g_buttonKeys[0].second, static_cast<WPARAM>(VK_F1));
  EXPECT_EQ(std::count(g_seen.begin(), g_seen.end(), static_cast<UINT>(WM_KEYDOWN)), 0);
}

TEST_F(DialogRunnerTest, SpinHelpersStepWithinLimitsAndLeaveBadTextAlone) {
  HWND parent = CreateWindowExA(0, "VtRunnerFrame", "", WS_OVERLAPPED, 0, 0, 200, 100, nullptr, nullptr, nullptr,
                                nullptr);
  HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 0, 0, 80, 20, parent,
                              reinterpret_cast<HMENU>(101), nullptr, nullptr);
  ASSERT_NE(edit, nullptr);

  SetDlgItemTextA(parent, 101, "1.05");
  SpinDecimalField(parent, 101, 0, 110, 0);
  EXPECT_EQ(ui_test::Text(edit), "1.10");
  SpinDecimalField(parent, 101, 0, 110, 0);
  EXPECT_EQ(ui_test::Text(edit), "1.10");
  SetDlgItemTextA(parent, 101, " 0.05");
  SpinDecimalField(parent, 101, 0, 110, 1);
  EXPECT_EQ(ui_test::Text(edit), "0.00") << "not below the minimum";
  SetDlgItemTextA(parent, 101, "1,5");
  SpinDecimalField(parent, 101, 0, 110, 0);
  EXPECT_EQ(ui_test::Text(edit), "1,5") << "unparsable text is left alone";
  DestroyWindow(parent);
}

TEST_F(DialogRunnerTest, MeasureEditDropsLettersWithABeepAndPassesDigitsDecimalAndBackspace) {
  HWND parent = CreateWindowExA(0, "VtRunnerFrame", "", WS_OVERLAPPED, 0, 0, 200, 100, nullptr, nullptr, nullptr,
                                nullptr);
  HWND edit = CreateWindowExA(0, "EDIT", "1", WS_CHILD | WS_VISIBLE, 0, 0, 80, 20, parent,
                              reinterpret_cast<HMENU>(102), nullptr, nullptr);
  HWND other = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 0, 30, 80, 20, parent,
                               reinterpret_cast<HMENU>(103), nullptr, nullptr);
  SubclassMeasureEdit(parent, 102);
  SubclassMeasureEdit(parent, 102);  // twice must not make the edit call itself
  SendMessageA(edit, EM_SETSEL, 1, 1);
  long beeps = BeepCount();
  ui_test::Key(edit, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
  EXPECT_EQ(ui_test::Text(edit), "1");
  EXPECT_EQ(BeepCount(), beeps + 1);
  ui_test::Key(edit, Qt::Key_Period, Qt::NoModifier, QStringLiteral("."));
  ui_test::Key(edit, Qt::Key_5, Qt::NoModifier, QStringLiteral("5"));
  EXPECT_EQ(ui_test::Text(edit), "1.5");
  ui_test::Key(edit, Qt::Key_Backspace, Qt::NoModifier, QStringLiteral("\b"));
  EXPECT_EQ(ui_test::Text(edit), "1.");
  EXPECT_EQ(BeepCount(), beeps + 1);
  // An edit that is not subclassed takes letters.
  ui_test::Key(other, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
  EXPECT_EQ(ui_test::Text(other), "a");
  UnsubclassMeasureEdit(edit);
  ui_test::Key(edit, Qt::Key_B, Qt::NoModifier, QStringLiteral("b"));
  EXPECT_EQ(ui_test::Text(edit), "1.b");
  DestroyWindow(parent);
  UnsubclassMeasureEdit(edit);  // gone: nothing happens
}

TEST_F(DialogRunnerTest, ContextHelpAnswersOnlyForItsControl) {
  HWND parent = CreateWindowExA(0, "VtRunnerFrame", "", WS_OVERLAPPED, 100, 100, 300, 200, nullptr, nullptr, nullptr,
                                nullptr);
  HWND ctl = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 10, 10, 50, 20, parent,
                             reinterpret_cast<HMENU>(104), nullptr, nullptr);
  RECT r;
  GetWindowRect(ctl, &r);
  auto pos = [](LONG x, LONG y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); };
  EXPECT_TRUE(OnContextMenuHelp(parent, parent, pos(r.right, r.bottom), 104, 77)) << "edges belong to the control";
  EXPECT_FALSE(OnContextMenuHelp(parent, parent, pos(r.right + 1, r.bottom), 104, 77));
  EXPECT_FALSE(OnContextMenuHelp(parent, parent, 0, 104, 77));
  EXPECT_TRUE(OnContextMenuHelp(parent, ctl, 0, 104, 77));
  ASSERT_EQ(HelpRequests().size(), 2u);
  EXPECT_EQ(HelpRequests()[1].command, static_cast<UINT>(HELP_CONTEXTMENU));
  EXPECT_EQ(HelpRequests()[1].hwnd, ctl);
  EXPECT_EQ(HelpRequests()[1].pairs, (std::vector<DWORD>{104, 77}));

  HELPINFO hi{sizeof(HELPINFO), HELPINFO_WINDOW, 104, ctl, 0, {0, 0}};
  EXPECT_TRUE(OnContextHelp(&hi, 104, 88));
  EXPECT_FALSE(OnContextHelp(&hi, 105, 88));
  EXPECT_FALSE(OnContextHelp(nullptr, 104, 88));
  ASSERT_EQ(HelpRequests().size(), 3u);
  EXPECT_EQ(HelpRequests()[2].command, static_cast<UINT>(HELP_WM_HELP));
  EXPECT_EQ(HelpRequests()[2].pairs, (std::vector<DWORD>{104, 88}));
  DestroyWindow(parent);
}
// A message goes down the chain once: each hook hands it on to the one after
// the hook that runs, even when it names the handle of a hook before it (as a
// box over a dialog with a hook of its own may); the last one answers.
std::vector<int> g_hookOrder;
HHOOK g_firstHook = nullptr;
LRESULT HookOf(int n, int code, WPARAM wParam, LPARAM lParam) {
  g_hookOrder.push_back(n);
  if (g_hookOrder.size() > 6) return 0;  // gone round: stop so the test fails rather than hangs
  return n == 3 ? 7 : CallNextHookEx(g_firstHook, code, wParam, lParam);
}
TEST(HookChain, AMessageVisitsEachHookOnceWhicheverHandleIsNamed) {
  HHOOK last = SetWindowsHookExA(WH_MSGFILTER, [](int c, WPARAM w, LPARAM l) { return HookOf(3, c, w, l); }, nullptr, 0);
  HHOOK middle = SetWindowsHookExA(WH_MSGFILTER, [](int c, WPARAM w, LPARAM l) { return HookOf(2, c, w, l); }, nullptr, 0);
  g_firstHook = SetWindowsHookExA(WH_MSGFILTER, [](int c, WPARAM w, LPARAM l) { return HookOf(1, c, w, l); }, nullptr, 0);
  MSG msg{};
  EXPECT_TRUE(CallMsgFilterA(&msg, MSGF_DIALOGBOX));
  EXPECT_EQ(g_hookOrder, (std::vector<int>{1, 2, 3}));
  for (HHOOK h : {g_firstHook, middle, last}) EXPECT_TRUE(UnhookWindowsHookEx(h));
}
}  // namespace
