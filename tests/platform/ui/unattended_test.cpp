// In an unattended run no box or dialog may wait for an answer: the
// message-box layer, the dialog layer and the program's own message dialog
// each write their text to standard error and take the default answer at
// once, without starting a modal loop.
#include "app/document.h"
#include "foundation/message_dialog.h"
#include "platform/win/dialog.h"
#include "platform/win/message_box.h"
#include "platform/win/unattended.h"
#include "ui_test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Never ends by itself: only the layer can end it.
INT_PTR StubbornProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG ? TRUE : FALSE; }

class Unattended : public testing::Test {
 protected:
  void SetUp() override {
    SetUnattendedRun(true);
  }
  void TearDown() override {
    SetUnattendedRun(false);
    SetUnattendedSubject(nullptr);
  }
  // Fails the test instead of hanging when a loop starts after all.
};

TEST_F(Unattended, MessageBoxesAnswerWithTheirDefaultAndNameTheSubject) {
  const long before = RefusedModalLoops();
  SetUnattendedSubject("/data/orders.kmw");
  testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxA(nullptr, "Replace it?\r\nYes or no", "Caption", MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "Go on?", "Caption", MB_YESNOCANCEL), IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "Stop", nullptr, MB_OK), IDOK);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("vortelle: /data/orders.kmw: Caption: Replace it?  Yes or no\n"), std::string::npos) << err;
  EXPECT_EQ(RefusedModalLoops(), before + 3);
}

TEST_F(Unattended, DialogsArePressedOrEndedWithoutALoop) {
  const long before = RefusedModalLoops();
  testing::internal::CaptureStderr();
  EXPECT_EQ(DialogBoxParamA(nullptr, "DOk_Can", nullptr, StubbornProc, 0), IDCANCEL);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(RefusedModalLoops(), before + 1);

  CKmDoc doc;
  testing::internal::CaptureStderr();
  EXPECT_EQ(doc.ShowMessageDialog(nullptr, "Delete join?", "Caption", kMsgYesNoFocusNo), IDNO);
  EXPECT_EQ(doc.ShowMessageDialog(nullptr, "Print anyway?", "Caption", kMsgOkCancel), IDCANCEL);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Caption: Delete join?"), std::string::npos) << err;
  EXPECT_EQ(RefusedModalLoops(), before + 3);
}

}  // namespace
