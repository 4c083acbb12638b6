// The test programs' watchdog: a modal dialog no step answers fails the test
// with its name and is closed, whichever kind it is, and only the innermost
// waiting dialog is blamed.
#include "tests/platform/support/dialog_watchdog.h"

#include "platform/win/commdlg.h"
#include "platform/win/dialog.h"
#include "platform/win/message_box.h"
#include "ui_test_util.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace {

INT_PTR CaptionProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    SetWindowTextA(dlg, reinterpret_cast<const char*>(lParam));
    SetDlgItemTextA(dlg, 200, "Nobody reads this");
    return TRUE;
  }
  if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dlg, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

BOOL OpenUnanswered(const char* title) {
  char file[260] = {};
  OPENFILENAMEA ofn;
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.lpstrTitle = title;
  return GetOpenFileNameA(&ofn);
}

class DialogWatchdogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::Start();
    SetMessageBoxResponder(nullptr);
    old_ = dialog_watchdog::SetPatience(5);
  }
  void TearDown() override { dialog_watchdog::SetPatience(old_); }
  int old_ = 0;
};

TEST_F(DialogWatchdogTest, EachKindOfModalDialogLeftWaitingFailsByNameAndIsClosed) {
  INT_PTR result = 0;
  EXPECT_NONFATAL_FAILURE(
      result = DialogBoxParamA(nullptr, "DOk_Can", nullptr, CaptionProc, reinterpret_cast<LPARAM>("Left Alone")),
      "\"Left Alone\" (Nobody reads this) was left waiting");
  EXPECT_EQ(result, -99);
  BOOL chosen = TRUE;
  EXPECT_NONFATAL_FAILURE(chosen = OpenUnanswered("Unanswered Open"), "\"Unanswered Open\" was left waiting");
  EXPECT_FALSE(chosen);
  EXPECT_NONFATAL_FAILURE(MessageBoxA(nullptr, "Nobody clicks", "Box", MB_OK), "\"Box\" (Nobody clicks)");
}

TEST_F(DialogWatchdogTest, OnlyTheInnermostDialogIsBlamedAndTheOuterOneGoesOn) {
  BOOL chosen = TRUE;
  INT_PTR outer = 0;
  // The outer dialog's step opens a file dialog it never answers, then
  // answers the outer one itself.
  ui_test::WhenRunning([&] {
    HWND d = ui_test::ActiveDialog();
    ASSERT_NE(d, nullptr);
    chosen = OpenUnanswered("Inner Open");
    SendMessageA(d, WM_COMMAND, IDOK, 0);
  });
  EXPECT_NONFATAL_FAILURE(
      outer = DialogBoxParamA(nullptr, "DOk_Can", nullptr, CaptionProc, reinterpret_cast<LPARAM>("Outer")),
      "\"Inner Open\" was left waiting");
  EXPECT_FALSE(chosen);
  EXPECT_EQ(outer, IDOK) << "the outer dialog was answered by its step, not closed";
}

}  // namespace
