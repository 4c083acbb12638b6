// The program on the sample report in the test process, offscreen, as a new
// user meets it: commands posted to the frame as the menus and keys send
// them, and steps that run on a timer while a modal loop (a dialog, the
// preview's page wait) holds the program. A step that never comes true ends
// the loop it waits in, so a failing test stops instead of hanging.
#pragma once

#include "app/app.h"
#include "app/document.h"
#include "app/main_frame.h"
#include "app/preview_view.h"
#include "app/print_run.h"
#include "app/run_status.h"
#include "engine/output_messages.h"
#include "platform/win/dialog.h"
#include "platform/win/ui_app.h"
#include "platform/win/ui_internal.h"
#include "tests/platform/ui/ui_test_util.h"
#include "tests/support/answer_box.h"
#include "tests/support/program_run.h"
#include "tests/support/sample_document.h"
#include "tests/support/window_sample.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace new_user {

class NewUser : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_dir = window_sample::Make("/tmp/vt_newuser", {"sqlite3", "pdftotext"}); }
  static void TearDownTestSuite() {
    ::unsetenv("VORTELLE_WINDIR");
    if (!s_dir.empty()) std::filesystem::remove_all(s_dir);
    s_dir.clear();
  }
  void SetUp() override {
    if (s_dir.empty()) GTEST_SKIP() << "no sample: the program, sqlite3, poppler or the SQLite ODBC driver is missing";
    s_self = this;
    messages_.clear();
    // Each scenario starts from the sample report as made.
    SampleDocument sample;
    std::string error;
    ASSERT_TRUE(sample.Write("VortelleSample", s_dir + "/sales.kmw", &error)) << error;
    timer_ = SetTimer(nullptr, 0, 20, &Tick);
  }
  void TearDown() override {
    KillTimer(nullptr, timer_);
    SetOutputMessageSink(nullptr);
    if (app_) {
      if (AfxGetThread()->GetMainWnd()) DestroyWindow(AfxGetThread()->GetMainWnd()->m_hWnd);
      app_->ExitInstance();
    }
    app_.reset();
    s_self = nullptr;
  }

  // The program on the sample report (or what args name), its frame shown.
  CMainFrame* Start(std::vector<std::string> args = {}) {
    if (args.empty()) args.push_back(s_dir + "/sales.kmw");
    app_ = std::make_unique<CKmApp>();
    frame_ = window_sample::StartFrame(*app_, args);
    // Print runs print without asking; the Print dialog has tests of its own.
    SetPrintDialogRunner(nullptr);
    // The run's messages are kept for the test rather than shown in a box.
    SetOutputMessageSink([](const std::string& text, const std::string&) {
      if (s_self != nullptr) s_self->messages_.push_back(text);
    });
    return frame_;
  }
  CKmDoc& Doc() { return *frame_->m_pDoc; }
  CMainFrame& MainFrame() { return *frame_; }
  HWND Frame() const { return frame_->m_hWnd; }

  // The command sent as the menu sends it; the steps run one after the
  // other on the timer while it runs (a step answering false is tried again).
  // True when every step ran before the command ended.
  bool Run(UINT command, std::vector<std::function<bool()>> steps) {
    return While([&] { SendMessageA(Frame(), WM_COMMAND, command, 0); }, std::move(steps));
  }
  // The same for what the user does (a key, a click).
  bool While(const std::function<void()>& act, std::vector<std::function<bool()>> steps) {
    steps_ = std::move(steps);
    next_ = 0;
    ticks_ = 0;
    running_ = true;
    act();
    // What the act started may end on a later turn of the queue.
    Pump([&] { return next_ >= steps_.size(); });
    const bool done = next_ == steps_.size();
    running_ = false;
    steps_.clear();
    return done;
  }
  // Runs the window layer's queue until done() (about three seconds at most).
  static bool Pump(const std::function<bool()>& done) { return window_sample::PumpUntil(done); }

  static std::string Dir() { return s_dir; }
  std::vector<std::string> messages_;

 private:
  static void Tick(HWND, UINT, UINT_PTR, DWORD) {
    NewUser* t = s_self;
    if (t == nullptr || !t->running_) return;
    if (t->next_ < t->steps_.size() && t->steps_[t->next_]()) {
      ++t->next_;
      t->ticks_ = 0;
      return;
    }
    // A step not coming true, or the command not ending after the last one,
    // for some twenty seconds: end what waits.
    if (++t->ticks_ < 1000) return;
    t->next_ = t->steps_.size() + 1;
    t->running_ = false;
    if (CPreview* v = ActivePreview()) v->OnPreviewCommand(kCmdPreviewClose);
    if (HWND box = RunStatusWindow()) SendMessageA(box, WM_COMMAND, IDCANCEL, 0);
    for (HWND h : vt_ui::AllWindows())
      if (IsWindow(h) && h->dlg) EndDialog(h, -99);
  }

  static inline std::string s_dir;
  static inline NewUser* s_self = nullptr;
  std::unique_ptr<CKmApp> app_;
  CMainFrame* frame_ = nullptr;
  UINT_PTR timer_ = 0;
  std::vector<std::function<bool()>> steps_;
  size_t next_ = 0;
  int ticks_ = 0;
  bool running_ = false;
};

}  // namespace new_user
