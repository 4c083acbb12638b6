// The program started in the test process on the sample folder, once per
// test with the test's own command line, and used as a new user would: menu
// commands sent to its frame, its dialogs answered by caption as they come,
// its message boxes recorded and answered.
#pragma once

#include "app/app.h"
#include "app/document.h"
#include "app/frame_bars.h"
#include "app/main_frame.h"
#include "app/print_run.h"
#include "app/tool_bars.h"
#include "core/composite.h"
#include "core/fields.h"
#include "layout/layout_records.h"
#include "layout/page_setup.h"
#include "platform/win/message_box.h"
#include "tests/app/filemenu/file_menu_fixture.h"
#include "tests/support/program_run.h"
#include "tests/support/window_sample.h"
#include "tests/platform/ui/ui_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
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
  // Database > Master Table answered: Table..., the table picked from the
  // list, OK. (The warning, when the change removes fields, is the test's.)
  void AnswerMasterTable(const std::string& table) {
    answers.On("Master Table", [](HWND d) {
      Press(d, 210);
      Press(d, IDOK);
    });
    answers.On("Master  Table", [table](HWND l) {
      SelectListed(l, 200, table);
      Press(l, IDOK);
    });
  }
  // The SQL Select dialog answered with this statement.
  void AnswerStatement(const std::string& sql) {
    answers.On("SQL Select", [sql](HWND d) {
      SetDlgItemTextA(d, 203, sql.c_str());
      Press(d, IDOK);
    });
  }
  // The report's field of that name, placed or not; the one placed on the
  // layout (not held for Undo or in the designer's clipboard); its text of
  // that wording.
  FieldDef* FieldNamed(const char* name) {
    for (FieldDef* f = doc->m_pModel->fieldList; f != nullptr; f = f->next)
      if (std::strcmp(f->name, name) == 0) return f;
    return nullptr;
  }
  FieldDef* PlacedField(const char* name) {
    for (FieldDef* f = doc->m_pModel->fieldList; f != nullptr; f = f->next)
      if (std::strcmp(f->name, name) == 0 && IsPlacedField(f) && !(f->head.flags & (kItemDeleted | kItemInClipboard)))
        return f;
    return nullptr;
  }
  TextItem* TextNamed(const char* text) {
    for (TextItem* t = doc->m_pLayout->textHead; t != nullptr; t = t->nextText)
      if (t->text != nullptr && std::strcmp(t->text, text) == 0 && !(t->head.flags & (kItemDeleted | kItemInClipboard)))
        return t;
    return nullptr;
  }
  // The format bar switched on and shown.
  FrameBars& ShowFormatBar() {
    FrameBars& bars = *doc->m_pBars;
    doc->m_settings.formatBar = 1;
    bars.UpdateActionBar();
    EXPECT_TRUE(bars.FormatBarShown());
    return bars;
  }
  // A click on a button of a tool bar; the bar takes it only when the button is enabled.
  static void ClickButton(CToolBarWnd& bar, UINT id) {
    const RECT r = bar.SlotRect(id);
    ui_test::MouseClick(bar.m_hWnd->widget.data(), QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2), false);
  }
  // A click of the mouse on an object of the layout, at its middle.
  void ClickOn(const ReportItemHead& h) {
    const LayoutTables& t = *doc->m_pLayout;
    const QPoint at((h.left + h.right) / 2 - t.scrollX, (h.top + h.bottom) / 2 - t.scrollY);
    ui_test::MouseClick(frame->m_wndLayoutView.m_hWnd->widget.data(), at, false);
  }
  // File > Close (when a report is open), then File > Open of that report.
  void Reopen(const std::string& path) {
    if (doc->m_bReportOpen) Command(30000);
    answers.File("Open Report", path);
    Command(32001);
    ASSERT_EQ(doc->GetPathName(), path);
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

// The Export dialog answered with a format and a file, its Options first
// when asked (the test answers them).
inline void ExportAs(DialogAnswers& answers, int format, const std::string& file, bool options = false) {
  constexpr int kFormatList = 201, kFileEdit = 203, kOptions = 204;
  answers.On("Export", [format, file, options](HWND d) {
    const LRESULT n = SendDlgItemMessageA(d, kFormatList, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i)
      if (SendDlgItemMessageA(d, kFormatList, LB_GETITEMDATA, static_cast<WPARAM>(i), 0) == format) {
        SendDlgItemMessageA(d, kFormatList, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(kFormatList, LBN_SELCHANGE), 0);
      }
    SetDlgItemTextA(d, kFileEdit, file.c_str());
    if (options) Press(d, kOptions);
    Press(d, IDOK);
  });
}

}  // namespace newuser_test
