// The program brought up on the sample database in a folder of the test's
// own, driven through its frame's menus; dialogs (the program's own and the
// toolkit's file dialog) are answered by caption as they come up.
#pragma once

#include "app/app.h"
#include "app/document.h"
#include "app/print_run.h"
#include "core/composite.h"
#include "files/report_io.h"
#include "layout/fonts.h"
#include "layout/layout_records.h"
#include "layout/page_setup.h"
#include "platform/win/dialog.h"
#include "platform/win/menu.h"
#include "platform/win/message_box.h"
#include "platform/win/window_picture.h"
#include "tests/platform/ui/ui_test_util.h"
#include "tests/support/program_run.h"
#include "tests/support/record_line.h"
#include "tests/support/screens.h"
#include "tests/support/window_sample.h"


#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <strings.h>
#include <vector>

namespace file_menu_test {

namespace fs = std::filesystem;

// Answers dialogs by their caption while armed: each dialog window is
// answered once; a toolkit file dialog is given a path (empty: cancelled).
class DialogAnswers {
 public:
  using Action = std::function<void(HWND)>;
  using FileAction = std::function<void(const ui_test::FileDialogHandle&)>;
  void On(const std::string& caption, Action action) { actions_[caption] = std::move(action); }
  // The toolkit's file dialog of that title, every time it comes.
  void OnFile(const std::string& caption, FileAction action) { files_[caption] = std::move(action); }
  void File(const std::string& caption, const std::string& path) {
    OnFile(caption, [path](const ui_test::FileDialogHandle& fd) {
      if (path.empty())
        fd.Cancel();
      else
        fd.Choose(path);
    });
  }
  void Clear() {
    actions_.clear();
    files_.clear();
  }
  std::vector<std::string> seen;  // captions in the order they were answered
  void Arm() {
    if (armed_) return;
    armed_ = true;
    Schedule();
  }
  ~DialogAnswers() { *alive_ = false; }

 private:
  void Schedule() {
    std::shared_ptr<bool> alive = alive_;
    ui_test::After(20, [this, alive] {
      if (*alive) Turn();
    });
  }
  void Turn() {
    Schedule();
    for (const auto& [title, action] : files_)
      if (ui_test::FileDialogHandle fd = ui_test::FileDialogHandle::TakeActive(title)) {
        seen.push_back(title);
        FileAction a = action;  // the action may change the answers
        a(fd);
        return;
      }
    for (HWND h : vt_ui::AllWindows()) {
      if (!IsWindow(h) || !h->dlg || !IsWindowVisible(h) || !IsWindowEnabled(h)) continue;
      auto it = actions_.find(ui_test::Text(h));
      if (it == actions_.end() || !ui_test::TakeAnswerMark(h)) continue;
      seen.push_back(it->first);
      Action a = it->second;
      a(h);
      return;
    }
  }
  std::map<std::string, Action> actions_;
  std::map<std::string, FileAction> files_;
  bool armed_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

inline void Press(HWND dialog, int id) { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

inline void SelectListed(HWND dialog, int control, const std::string& text) {
  const LRESULT at = SendDlgItemMessageA(dialog, control, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(text.c_str()));
  ASSERT_NE(at, LB_ERR) << text;
  SendDlgItemMessageA(dialog, control, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(control, LBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(dialog, control)));
}

inline std::vector<std::string> ListItems(HWND dialog, int control, bool combo = false) {
  std::vector<std::string> out;
  const int n = static_cast<int>(SendDlgItemMessageA(dialog, control, combo ? UINT{CB_GETCOUNT} : UINT{LB_GETCOUNT}, 0, 0));
  for (int i = 0; i < n; ++i) {
    char text[300] = {};
    SendDlgItemMessageA(dialog, control, combo ? UINT{CB_GETLBTEXT} : UINT{LB_GETTEXT}, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    out.push_back(text);
  }
  return out;
}

// The data source and master table of a new report over a table of the
// sample (its customers), as the user chooses them.
inline void AnswerSampleTable(DialogAnswers& answers, const std::string& table) {
  answers.On("Data Source Connections", [](HWND d) {
    SelectListed(d, 200, "VortelleSample");
    Press(d, IDOK);
  });
  answers.On("Master  Table", [table](HWND d) {
    SelectListed(d, 200, table);
    Press(d, IDOK);
  });
}
inline void AnswerSampleCustomers(DialogAnswers& answers) { AnswerSampleTable(answers, "customers"); }

class FileMenuTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    using program_run::Capture;
    if (Capture("command -v sqlite3").empty() || Capture("command -v pdftotext").empty() ||
        Capture("ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null").empty())
      return;
    char tmpl[] = "/tmp/vt_filemenu_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    int status = -1;
    Capture("bash '" VT_SOURCE_DIR "/samples/make-sample' '" + dir_ + "' 2>&1", &status);
    if (status != 0) return;
    setenv("ODBCINI", (dir_ + "/odbc.ini").c_str(), 1);
    setenv("ODBCSYSINI", dir_.c_str(), 1);
    setenv("VORTELLE_WINDIR", dir_.c_str(), 1);
    app_ = new CKmApp;
    char name[] = "vortelle";
    char* argv[] = {name, nullptr};
    ready_ = app_->InitInstance(1, argv) != FALSE && window_sample::CancelStartDialog();
    // These runs print without asking; the Print dialog has tests of its own.
    SetPrintDialogRunner(nullptr);
  }
  static void TearDownTestSuite() {
    if (app_ != nullptr) {
      app_->ExitInstance();
      delete app_;
      app_ = nullptr;
    }
    SetMessageBoxResponder(nullptr);
    unsetenv("VORTELLE_WINDIR");
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  void SetUp() override {
    if (!ready_) GTEST_SKIP() << "sqlite3, its ODBC driver, pdftotext or the program's start-up is missing";
    doc = GetActiveKmDoc();
    ASSERT_NE(doc, nullptr);
    frame = doc->m_pMainFrame->m_hWnd;
    doc->SetModifiedFlag(FALSE);
    doc->ClearReport(TRUE);
    answers.Arm();
    // Questions are answered Yes unless a test says otherwise; each is kept.
    questions.clear();
    SetMessageBoxResponder([this](const MessageBoxRecord& r) {
      questions.push_back(r.text);
      return answer ? answer(r) : ((r.type & MB_TYPEMASK) == MB_OK ? IDOK : IDYES);
    });
  }
  void TearDown() override {
    answer = nullptr;
  }

  void Command(UINT id) { SendMessageA(frame, WM_COMMAND, id, 0); }

  // The File popup as it opens: its items' texts by command id.
  std::map<UINT, std::string> FileMenu() {
    HMENU file = GetSubMenu(GetMenu(frame), 0);
    SendMessageA(frame, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file), 0);
    std::map<UINT, std::string> items;
    for (int i = 0; i < GetMenuItemCount(file); ++i) {
      char text[300] = {};
      GetMenuStringA(file, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
      items[GetMenuItemID(file, i)] = text;
    }
    return items;
  }

  // File New on a blank report over the sample's customers, as the user chooses it.
  void NewBlankCustomers() {
    answers.On("New", [](HWND d) { Press(d, 202); });
    AnswerSampleCustomers(answers);
    Command(32000);
    ASSERT_TRUE(doc->m_bReportOpen);
    ASSERT_NE(doc->m_pModel->tableSlots[0], nullptr);
  }

  FieldDef* Field(const char* name) {
    for (FieldDef* f = doc->m_pModel->fieldList; f; f = f->next)
      if (f->table == 0 && strcasecmp(f->name, name) == 0) return f;
    ADD_FAILURE() << name;
    return nullptr;
  }

  // A record line with the fields side by side, as the field palette places them.
  void PlaceOnRecordLine(const std::vector<FieldDef*>& fields) {
    EXPECT_TRUE(PlaceFieldsOnRecordLine(*doc, fields, 20));
    doc->SetModifiedFlag(TRUE);
  }

  // Prints through File Print into a PDF of the folder: its text.
  std::string Print(const std::string& name) {
    PrintRunContext& ctx = GetPrintRunContext();
    ctx.printToFile = dir_ + "/" + name + ".pdf";
    fs::remove(ctx.printToFile);
    doc->m_pPageSetup->OutputDestination = 2;
    ctx.lastRunPrinted = false;
    Command(30030);
    EXPECT_TRUE(ctx.lastRunPrinted) << name;
    return program_run::Capture("pdftotext -layout '" + ctx.printToFile + "' - 2>/dev/null");
  }

  static std::string dir_;
  static CKmApp* app_;
  static bool ready_;
  CKmDoc* doc = nullptr;
  HWND frame = nullptr;
  DialogAnswers answers;
  std::vector<std::string> questions;
  std::function<int(const MessageBoxRecord&)> answer;
};

inline std::string FileMenuTest::dir_;
inline CKmApp* FileMenuTest::app_ = nullptr;
inline bool FileMenuTest::ready_ = false;

}  // namespace file_menu_test
