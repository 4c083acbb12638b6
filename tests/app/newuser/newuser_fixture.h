// The program started in the test process on the sample folder, once per
// test with the test's own command line, and used as a new user would: menu
// commands sent to its frame, its dialogs answered by caption as they come,
// its message boxes recorded and answered.
#pragma once

#include "app/app.h"
#include "app/document.h"
#include "app/main_frame.h"
#include "app/print_run.h"
#include "layout/page_setup.h"
#include "platform/win/message_box.h"
#include "tests/app/filemenu/file_menu_fixture.h"
#include "tests/support/program_run.h"
#include "tests/support/window_sample.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace newuser_test {

namespace fs = std::filesystem;
using file_menu_test::DialogAnswers;
using file_menu_test::ListItems;
using file_menu_test::Press;
using file_menu_test::SelectListed;
using program_run::Capture;

class NewUserTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { dir_ = window_sample::Make("/tmp/vt_newuser", {"sqlite3", "pdftotext"}); }
  static void TearDownTestSuite() {
    SetMessageBoxResponder(nullptr);
    unsetenv("VORTELLE_WINDIR");
    if (!dir_.empty()) fs::remove_all(dir_);
    dir_.clear();
  }
  void SetUp() override {
    if (dir_.empty()) GTEST_SKIP() << "no sample: the program, sqlite3, pdftotext or the SQLite ODBC driver is missing";
    // Message boxes are recorded; Yes or OK unless the test answers.
    SetMessageBoxResponder([this](const MessageBoxRecord& r) {
      boxes.push_back(r);
      return answer ? answer(r) : ((r.type & MB_TYPEMASK) == MB_OK ? IDOK : IDYES);
    });
    // The program's own message dialogs and its start dialog share the
    // program's title: messages are recorded and answered OK (or by the
    // test), the start dialog is cancelled unless the test chooses.
    answers.On(kAppTitle, [this](HWND d) {
      if (GetDlgItem(d, 204) != nullptr) {
        ++startDialogs;
        if (startChoice) startChoice(d);
        else Press(d, IDCANCEL);
        return;
      }
      messages.push_back(ui_test::Text(GetDlgItem(d, 200)));
      Press(d, messageAnswer != 0 ? messageAnswer : IDOK);
    });
  }
  void TearDown() override {
    answer = nullptr;
    startChoice = nullptr;
    Stop();
    SetPrintDialogRunner(nullptr);
  }

  // The program with these arguments after its name; false when its
  // start-up answers FALSE (the program would end).
  bool Start(std::vector<std::string> args) {
    Stop();
    app_ = std::make_unique<CKmApp>();
    args.insert(args.begin(), "vortelle");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    answers.Arm();
    if (!app_->InitInstance(static_cast<int>(argv.size()), argv.data())) return false;
    // Printing asks nothing unless a test puts its own Print dialog in.
    SetPrintDialogRunner(nullptr);
    frame = static_cast<CMainFrame*>(AfxGetThread()->m_pMainWnd);
    doc = frame != nullptr ? frame->m_pDoc : nullptr;
    return frame != nullptr && doc != nullptr;
  }
  void Stop() {
    if (app_) app_->ExitInstance();
    app_.reset();
    frame = nullptr;
    doc = nullptr;
  }
  void Command(UINT id) { SendMessageA(frame->m_hWnd, WM_COMMAND, id, 0); }
  static bool Pump(const std::function<bool()>& done) { return window_sample::PumpUntil(done); }
  std::string WindowText() const {
    char text[300] = {};
    GetWindowTextA(frame->m_hWnd, text, sizeof text);
    return text;
  }
  // Started without a report, the sample opened through File > Open and
  // saved through File > Save As under path; false when a step fails.
  bool OpenSampleSavedAs(const std::string& path) {
    if (!Start({}) || !Pump([&] { return startDialogs == 1; })) return false;
    answers.File("Open Report", dir_ + "/sales.kmw");
    Command(32001);  // File > Open
    if (!doc->m_bReportOpen) return false;
    answers.File("Save As", path);
    Command(30020);  // File > Save As
    return fs::exists(path);
  }
  // The report saved and closed, the file it names moved into a folder of
  // its own, and the report opened again, the dialog of this title taking
  // the file's new place; returns that place.
  std::string SaveMoveAndReopen(const std::string& report, const std::string& file, const char* dialog) {
    Command(30010);  // File > Save
    EXPECT_FALSE(doc->IsModified());
    Command(30000);  // File > Close
    fs::create_directories(dir_ + "/moved");
    const std::string moved = dir_ + "/moved/" + fs::path(file).filename().string();
    fs::rename(file, moved);
    messages.clear();
    answers.File("Open Report", report);
    answers.File(dialog, moved);
    Command(32001);  // File > Open
    return moved;
  }
  // The report printed to a PDF of the folder by the command; its text.
  std::string PrintedBy(UINT command, const std::string& name) {
    PrintRunContext& ctx = GetPrintRunContext();
    ctx.printToFile = dir_ + "/" + name + ".pdf";
    fs::remove(ctx.printToFile);
    doc->m_pPageSetup->OutputDestination = 2;
    Command(command);
    return Capture("pdftotext -layout '" + ctx.printToFile + "' - 2>/dev/null");
  }

  static std::string dir_;
  std::unique_ptr<CKmApp> app_;
  CMainFrame* frame = nullptr;
  CKmDoc* doc = nullptr;
  DialogAnswers answers;
  std::vector<MessageBoxRecord> boxes;
  std::function<int(const MessageBoxRecord&)> answer;
  std::vector<std::string> messages;     // the program's message dialogs, as shown
  int messageAnswer = 0;                 // their button (0: OK)
  int startDialogs = 0;                  // start dialogs seen
  std::function<void(HWND)> startChoice;  // what is chosen in it (null: Cancel)
};

inline std::string NewUserTest::dir_;

// The Export dialog answered with a format and a file.
inline void ExportAs(DialogAnswers& answers, int format, const std::string& file) {
  constexpr int kFormatList = 201, kFileEdit = 203;
  answers.On("Export", [format, file](HWND d) {
    const LRESULT n = SendDlgItemMessageA(d, kFormatList, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i)
      if (SendDlgItemMessageA(d, kFormatList, LB_GETITEMDATA, static_cast<WPARAM>(i), 0) == format) {
        SendDlgItemMessageA(d, kFormatList, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(kFormatList, LBN_SELCHANGE), 0);
      }
    SetDlgItemTextA(d, kFileEdit, file.c_str());
    Press(d, IDOK);
  });
}

}  // namespace newuser_test
