// Ends a dialog left running by a failed expectation, so a test cannot hang
// in a modal loop. Armed for the guard's lifetime through the window layer's
// own timer.
#pragma once

#include "tests/platform/ui/ui_test_util.h"
#include "platform/win/window.h"

class DialogGuard {
 public:
  DialogGuard() : id_((ui_test::Start(), SetTimer(nullptr, 0, 20000, &Fire))) {}
  ~DialogGuard() { KillTimer(nullptr, id_); }
  DialogGuard(const DialogGuard&) = delete;
  DialogGuard& operator=(const DialogGuard&) = delete;

 private:
  static void Fire(HWND, UINT, UINT_PTR, DWORD) {
    if (HWND d = ui_test::ActiveDialog()) EndDialog(d, -99);
  }
  UINT_PTR id_;
};
