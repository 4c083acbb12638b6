// Driving the program's modal dialogs from a test: a queue of steps, each
// waiting for a dialog (by caption, or a message box by its text) and acting
// on it. The queue is looked at on a short timer, so a step runs inside the
// modal loop of the dialog it waits for.
#pragma once

#include "platform/win/dialog.h"
#include "platform/win/ui_internal.h"
#include "tests/platform/ui/ui_test_util.h"
#include "tests/support/answer_box.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace options_test {

inline std::string ControlText(HWND dialog, int id) { return ui_test::Text(GetDlgItem(dialog, id)); }

class DialogSteps {
 public:
  using Action = std::function<void(HWND)>;
  ~DialogSteps() { *alive_ = false; }

  // A dialog with this caption.
  void Dialog(const std::string& caption, Action action) {
    steps_.push_back({caption, false, std::move(action), false, ""});
  }
  // The toolkit's file dialog with this title, given the path (empty: cancelled).
  void File(const std::string& title, const std::string& path) {
    steps_.push_back({title, false, nullptr, true, path});
  }
  // A message box whose text holds part; its text is kept and it is answered with button.
  void Message(const std::string& part, int button = IDOK) {
    steps_.push_back({part, true,
                      [this, button](HWND box) {
                        messages.push_back(ControlText(box, 200));
                        PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
                      },
                      false, ""});
  }
  // Runs fn (which opens the first dialog) with the steps armed; every step must have run.
  void Run(const std::function<void()>& fn) {
    running_ = true;
    Schedule();
    fn();
    running_ = false;
    EXPECT_TRUE(steps_.empty()) << "still waiting for " << (steps_.empty() ? "" : steps_.front().match);
    steps_.clear();
  }
  std::vector<std::string> messages;

 private:
  struct Step {
    std::string match;
    bool message;
    Action action;
    bool file = false;
    std::string path;
  };
  static bool IsMessageBox(HWND h) {
    char cls[64] = {};
    HWND text = GetDlgItem(h, 200);
    return text != nullptr && GetClassNameA(text, cls, sizeof cls) > 0 && std::string(cls) == "STATIC" &&
           GetDlgItem(h, 201) != nullptr && GetDlgItem(h, 202) != nullptr;
  }
  HWND Find(const Step& s) const {
    if (!s.message) return answer_box::Find({s.match});
    for (HWND h : vt_ui::AllWindows()) {
      if (!IsWindow(h) || !h->dlg || !IsWindowVisible(h) || !IsWindowEnabled(h)) continue;
      if (IsMessageBox(h) && ControlText(h, 200).find(s.match) != std::string::npos) return h;
    }
    return nullptr;
  }
  void Schedule() {
    std::shared_ptr<bool> alive = alive_;
    ui_test::After(15, [this, alive] {
      if (*alive) Turn();
    });
  }
  void Turn() {
    if (!running_) return;
    if (!steps_.empty() && steps_.front().file) {
      Schedule();
      const Step& s = steps_.front();
      if (ui_test::AnswerFileDialog([&s](const std::string& title, std::string* file) {
            if (title != s.match) return false;
            *file = s.path;
            return true;
          }))
        steps_.pop_front();
      return;
    }
    // A dialog no step answers is failed and closed by the test programs'
    // watchdog; a step whose dialog never comes is reported when fn returns.
    HWND d = steps_.empty() ? nullptr : Find(steps_.front());
    Schedule();
    if (d == nullptr) return;
    Step s = std::move(steps_.front());
    steps_.pop_front();
    s.action(d);
  }
  bool running_ = false;
  std::deque<Step> steps_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

inline void Press(HWND dialog, int id) {
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
// Posted, so a message box the button opens runs its loop after the step returns.
inline void Post(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
inline void SetText(HWND dialog, int id, const std::string& text) { SetDlgItemTextA(dialog, id, text.c_str()); }
inline void Choose(HWND dialog, int id, int index) {
  SendDlgItemMessageA(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
inline int Find(HWND dialog, int id, const std::string& text) {
  return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                              reinterpret_cast<LPARAM>(text.c_str())));
}
inline bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
inline bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

}  // namespace options_test
