// Steps of a test that drives modal dialogs: act on the dialog an action
// opens, answer the message it shows.
#pragma once

#include "core/composite.h"
#include "dialogs/field_list_box.h"
#include "tests/platform/ui/ui_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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

// Runs fn on the file dialog the action opens (fn ends it, e.g. by Choose);
// the action returns when it has closed. It may take a few turns of the
// loop to show.
inline void OnFileDialog(const std::function<void(const ui_test::FileDialogHandle&)>& fn,
                         const std::function<void()>& action) {
  auto tries = std::make_shared<int>(50);
  auto look = std::make_shared<std::function<void()>>();
  std::weak_ptr<std::function<void()>> again = look;
  *look = [fn, tries, again] {
    if (*tries <= 0) return;
    if (ui_test::FileDialogHandle fd = ui_test::FileDialogHandle::TakeActive()) {
      *tries = 0;
      fn(fd);
      return;
    }
    if (--*tries > 0)
      if (auto next = again.lock()) ui_test::After(20, *next);
  };
  ui_test::WhenRunning(*look);
  action();
  if (*tries != 0) ADD_FAILURE() << "no file dialog opened";
  *tries = 0;
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

// The program's message box: its text (200), icon (201) and frame (202),
// and an OK button.
inline bool IsMessageBox(HWND d) {
  for (int id : {200, 201, 202, static_cast<int>(IDOK)})
    if (GetDlgItem(d, id) == nullptr) return false;
  return true;
}

// The texts of the messages the action shows one after the other, each
// answered with OK. Only message boxes are answered, and only while the
// action runs: the dialog a later step opens is not one of them.
inline std::vector<std::string> Messages(HWND owner, const std::function<void()>& action) {
  auto texts = std::make_shared<std::vector<std::string>>();
  auto seen = std::make_shared<HWND>(nullptr);
  auto done = std::make_shared<bool>(false);
  auto answer = std::make_shared<std::function<void()>>();
  *answer = [texts, seen, answer, owner, done] {
    if (*done) return;
    HWND d = ui_test::ActiveDialog();
    // Wait for a new message box over the editor (the last one may still be
    // closing).
    if (d == nullptr || d == *seen || d == owner || !IsMessageBox(d)) {
      if (texts->size() < 4) ui_test::WhenRunning(*answer);
      return;
    }
    *seen = d;
    texts->push_back(ui_test::Text(GetDlgItem(d, 200)));
    ui_test::WhenRunning(*answer);
    ui_test::Click(GetDlgItem(d, IDOK));
  };
  ui_test::WhenRunning(*answer);
  action();
  // The chain ends with the action.
  *done = true;
  *answer = [] {};
  return *texts;
}

// Selects the entry of the field named (not an alias) in a field list or
// combo and tells the dialog, as a click would.
inline bool PickField(HWND d, int id, const char* name, bool combo = false) {
  const int count = static_cast<int>(SendDlgItemMessageA(d, id, combo ? UINT{CB_GETCOUNT} : UINT{LB_GETCOUNT}, 0, 0));
  for (int i = 0; i < count; ++i) {
    FieldDef* f = GetListedField(d, id, i);
    if (f != nullptr && std::strcmp(f->name, name) == 0 && !(f->flags & kFieldAlias)) {
      SendDlgItemMessageA(d, id, combo ? UINT{CB_SETCURSEL} : UINT{LB_SETCURSEL}, static_cast<WPARAM>(i), 0);
      SendMessageA(d, WM_COMMAND, MAKEWPARAM(id, combo ? UINT{CBN_SELCHANGE} : UINT{LBN_SELCHANGE}), 0);
      return true;
    }
  }
  ADD_FAILURE() << name << " is not listed";
  return false;
}

// The model's field of that name (not an alias), or null.
inline FieldDef* Field(CKmComposite* m, const char* name) {
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
    if (std::strcmp(f->name, name) == 0 && !(f->flags & kFieldAlias)) return f;
  return nullptr;
}

}  // namespace dialog_steps
