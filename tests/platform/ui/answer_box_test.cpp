// The scenarios' way of answering a window: by its class and caption (and a
// control of its own), whichever window is active, each window once.
#include "tests/support/answer_box.h"

#include "platform/win/dialog.h"
#include "ui_test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace {

INT_PTR TextProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    const auto* texts = reinterpret_cast<const char* const*>(lParam);
    SetWindowTextA(dlg, texts[0]);
    SetDlgItemTextA(dlg, 200, texts[1]);
    return TRUE;
  }
  if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dlg, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

// A run's status box, modeless with its own control 200, is the active window
// while a message box is up (as on a loaded machine): the step answers the
// message, named by its caption, and the status box is left alone.
TEST(AnswerBox, FindsTheNamedBoxNotTheActiveWindow) {
  ui_test::Start();
  const char* status[] = {"Printing", "sales.kmw"};
  HWND statusBox = CreateDialogParamA(nullptr, "DInfo_Mess", nullptr, TextProc, reinterpret_cast<LPARAM>(status));
  ASSERT_NE(statusBox, nullptr);
  ShowWindow(statusBox, SW_SHOWNORMAL);
  const answer_box::Box message{"Program", 200};
  EXPECT_EQ(answer_box::Find(message), nullptr);
  EXPECT_EQ(answer_box::Find({"Printing", 200}), statusBox);
  EXPECT_EQ(answer_box::Find({"Printing", 999}), nullptr) << "a control it lacks";
  EXPECT_EQ(answer_box::Find({"Printing", 200, "Other"}), nullptr) << "another class";

  std::string shown, activeWas;
  const char* texts[] = {"Program", "Cannot read record cache"};
  ui_test::WhenRunning([&] {
    SetActiveWindow(statusBox);
    activeWas = ui_test::Text(GetActiveWindow());
  });
  int answered = 0;
  {
    const answer_box::Answer ok(message, IDOK, &shown);
    EXPECT_EQ(DialogBoxParamA(nullptr, "DOk_Can", nullptr, TextProc, reinterpret_cast<LPARAM>(texts)), IDOK);
    answered = ok.count();
  }
  EXPECT_EQ(activeWas, "Printing");
  EXPECT_EQ(shown, "Cannot read record cache");
  EXPECT_EQ(answered, 1);
  EXPECT_TRUE(IsWindow(statusBox)) << "the status box was not answered";

  // A box that takes no input (under a dialog of its own) is not found.
  EnableWindow(statusBox, FALSE);
  EXPECT_EQ(answer_box::Find({"Printing", 200}), nullptr);
  EnableWindow(statusBox, TRUE);

  // A polled step takes a box once: a second step waits for another one.
  auto first = answer_box::Press({"Printing", 200}, IDCANCEL);
  auto second = answer_box::Press({"Printing", 200}, IDCANCEL);
  EXPECT_TRUE(first());
  EXPECT_FALSE(second());
  DestroyWindow(statusBox);
}

}  // namespace
