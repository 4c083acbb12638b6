// Steps of a test that drives modal dialogs: act on the dialog an action
// opens, answer the message it shows.
#pragma once

#include "tests/platform/ui/ui_test_util.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace dialog_steps {

// Runs fn on the dialog the action opens (fn ends it); the action returns
// when it has closed. An action that opens no dialog is a failure, and fn
// does not run later on another one.
inline void OnDialog(const std::function<void(HWND)>& fn, const std::function<void()>& action) {
  auto pending = std::make_shared<bool>(true);
  ui_test::WhenRunning([fn, pending] {
    if (!*pending) return;
    *pending = false;
    HWND d = ui_test::ActiveDialog();
    ASSERT_NE(d, nullptr);
    fn(d);
  });
  action();
  if (*pending) ADD_FAILURE() << "no dialog opened";
  *pending = false;
}

// The text of the message the action shows, answered with OK.
inline std::string Message(const std::function<void()>& action) {
  std::string text;
  OnDialog([&](HWND m) {
    text = ui_test::Text(GetDlgItem(m, 200));
    ui_test::Click(GetDlgItem(m, IDOK));
  }, action);
  return text;
}

}  // namespace dialog_steps
