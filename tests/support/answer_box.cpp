#include "tests/support/answer_box.h"

#include "platform/win/dialog.h"
#include "platform/win/ui_internal.h"
#include "tests/support/window_sample.h"

#include "tests/platform/ui/ui_test_util.h"

#include <algorithm>
#include <vector>

namespace answer_box {
namespace {


bool Answered(HWND h) { return ui_test::HasAnswerMark(h); }

bool Is(HWND h, const Box& box) {
  if (!IsWindow(h) || h->parent != nullptr || !h->widget || !IsWindowVisible(h) || !IsWindowEnabled(h)) return false;
  if (h->dlg && h->dlg->ended) return false;
  char name[64] = {};
  GetClassNameA(h, name, sizeof name);
  if (box.windowClass != name || h->text != box.caption) return false;
  return box.control == 0 || GetDlgItem(h, box.control) != nullptr;
}

std::vector<Answer*>& Armed() {
  static std::vector<Answer*> armed;
  return armed;
}

}  // namespace

HWND Find(const Box& box) {
  const std::vector<HWND>& all = vt_ui::AllWindows();
  for (auto it = all.rbegin(); it != all.rend(); ++it)
    if (Is(*it, box) && !Answered(*it)) return *it;
  return nullptr;
}

HWND Take(const Box& box) {
  HWND h = Find(box);
  if (h != nullptr) ui_test::TakeAnswerMark(h);
  return h;
}

std::string Text(HWND box, int control) {
  char text[1024] = {};
  GetDlgItemTextA(box, control, text, sizeof text);
  return text;
}

void Click(HWND box, int button) { PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0); }

std::function<bool()> Step(const Box& box, std::function<void(HWND)> act) {
  return [box, act = std::move(act)] {
    HWND d = Take(box);
    if (d == nullptr) return false;
    act(d);
    return true;
  };
}

std::function<bool()> Press(const Box& box, int button, std::string* message) {
  return Step(box, [button, message](HWND d) {
    if (message != nullptr) *message = Text(d, 200);
    Click(d, button);
  });
}

HWND WaitFor(const Box& box) {
  HWND found = nullptr;
  window_sample::PumpUntil([&] { return (found = Find(box)) != nullptr; });
  return found;
}

Answer::Answer(Box box, std::function<void(HWND)> act) : box_(std::move(box)), act_(std::move(act)) {
  Armed().push_back(this);
  timer_ = SetTimer(nullptr, 0, 20, &Answer::Tick);
}

Answer::Answer(Box box, int button, std::string* message)
    : Answer(std::move(box), [button, message](HWND d) {
        if (message != nullptr) *message = Text(d, 200);
        Click(d, button);
      }) {}

Answer::~Answer() {
  KillTimer(nullptr, timer_);
  Armed().erase(std::find(Armed().begin(), Armed().end(), this));
}

void Answer::Tick(HWND, UINT, UINT_PTR id, DWORD) {
  for (Answer* a : Armed()) {
    if (a->timer_ != id) continue;
    if (HWND d = Take(a->box_)) {
      ++a->count_;
      a->act_(d);
    }
    return;
  }
}

}  // namespace answer_box
