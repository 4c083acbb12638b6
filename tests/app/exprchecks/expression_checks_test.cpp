// The checks every compiled expression goes through, met from the program's
// Calculated Field editor on the SQLite sample: a field that another field
// uses, or that the filter tests, may not become QUERY(); a user function
// may not call it; SQLEXP's column is put to the server, whose refusal the
// user reads. What was refused changes nothing: the report is saved, read
// back and printed by the program, the derived column printing SQLite's
// figures.
#include "app/app.h"
#include "app/document.h"
#include "app/field_commands.h"
#include "app/main_frame.h"
#include "app/print_run.h"
#include "core/composite.h"
#include "core/condition_code.h"
#include "dialogs/calc_field_dialog.h"
#include "dialogs/field_dialog.h"
#include "dialogs/field_list_box.h"
#include "dialogs/filter_dialog.h"
#include "dialogs/insert_field_dialog.h"
#include "expr/udf.h"
#include "foundation/heap_strings.h"
#include "layout/band_line_layout.h"
#include "layout/layout_records.h"
#include "layout/page_setup.h"
#include "model/selection_conditions.h"
#include "platform/win/window_picture.h"
#include "tests/dialogs/fieldeditors/dialog_steps.h"
#include "tests/platform/ui/ui_test_util.h"
#include "tests/support/program_run.h"
#include "tests/support/sample_document.h"
#include "tests/support/screens.h"
#include "tests/support/window_sample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using dialog_steps::Field;
using dialog_steps::Message;
using dialog_steps::Messages;
using dialog_steps::OnDialog;
using dialog_steps::PickField;
using program_run::Capture;
using program_run::ProgramPath;
using ui_test::Click;

constexpr UINT kCmdPrint = 30030, kCmdSave = 30010, kCmdFilter = 30640, kCmdCalculated = 30700,
               kCmdFunctions = 30720;
constexpr int kFunctionList = 300, kFunctionNew = 301, kFunctionEdit = 302;

class ExpressionChecks : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_dir = window_sample::Make("/tmp/vt_expression_checks", {"sqlite3", "pdftotext"}); }
  static void TearDownTestSuite() {
    ::unsetenv("VORTELLE_WINDIR");
    if (!s_dir.empty()) fs::remove_all(s_dir);
    s_dir.clear();
  }
  void SetUp() override {
    if (s_dir.empty()) GTEST_SKIP() << "no sample: the program, sqlite3, pdftotext or the SQLite ODBC driver is missing";
    // The user functions' library is looked for in the working folder.
    saved_ = fs::current_path();
    fs::current_path(s_dir);
  }
  void TearDown() override {
    Close();
    if (!saved_.empty()) fs::current_path(saved_);
  }
  // The report opened as the program opens it; the messages it shows on the
  // way are answered and kept.
  CMainFrame* Open(const std::string& report, std::vector<std::string>* shown = nullptr) {
    app_ = std::make_unique<CKmApp>();
    CMainFrame* frame = nullptr;
    std::vector<std::string> texts = Messages(nullptr, [&] { frame = window_sample::StartFrame(*app_, {report}); });
    if (shown) *shown = texts;
    if (frame) SetPrintDialogRunner(nullptr);
    return frame;
  }
  void Close() {
    if (app_) app_->ExitInstance();
    app_.reset();
  }
  void Send(CMainFrame* frame, UINT id) { SendMessageA(frame->m_hWnd, WM_COMMAND, id, 0); }

  // File > Print to a file: the message that stops it; no file is made.
  std::string PrintStopped(CMainFrame* frame, const std::string& name) {
    PrintRunContext& ctx = GetPrintRunContext();
    ctx.printToFile = s_dir + "/" + name + ".pdf";
    std::remove(ctx.printToFile.c_str());
    frame->m_pDoc->m_pPageSetup->OutputDestination = 2;
    ctx.lastRunPrinted = false;
    const std::string text = Message([&] { Send(frame, kCmdPrint); });
    EXPECT_FALSE(ctx.lastRunPrinted);
    EXPECT_FALSE(fs::exists(ctx.printToFile));
    return text;
  }

  // Saved under another name, reopened (its messages on the way kept), stopped
  // again in the window, then printed with /G: the message on standard error.
  void ExpectStoppedEverywhere(CMainFrame* frame, const std::string& name, const std::string& message,
                               std::vector<std::string>* onOpen) {
    const std::string report = s_dir + "/" + name + ".kmw";
    ASSERT_TRUE(frame->m_pDoc->OnSaveDocument(report.c_str()));
    frame->m_pDoc->SetModifiedFlag(FALSE);
    Close();
    frame = Open(report, onOpen);
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(frame->m_pDoc->m_bReportOpen);
    EXPECT_EQ(PrintStopped(frame, name + "_reopened"), message);
    EXPECT_FALSE(frame->m_pDoc->IsModified()) << "the report stays as it was read";
    Close();

    int status = 0;
    const std::string err = program_run::Capture(
        "cd '" + s_dir + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + s_dir + "' " +
            program_run::ProgramLeakOptions() + " timeout 120 '" + program_run::ProgramPath() + "' /G '" + report +
            "' 2>&1 >/dev/null",
        &status);
    EXPECT_NE(status, 0) << err;
    EXPECT_NE(err.find(message), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(s_dir + "/" + name + ".pdf"));
  }

  // The list the command opens, its New button, the name and the text in
  // the editor, OK; a message the editor gives instead is a failure.
  void Define(CMainFrame* frame, UINT command, int newButton, const char* name, const char* text) {
    OnDialog([&](HWND list) {
      OnDialog([&](HWND editor) {
        SetDlgItemTextA(editor, kCalcNameEdit, name);
        SetDlgItemTextA(editor, kCalcTextEdit, text);
        const std::vector<std::string> said = Messages(editor, [&] { Click(GetDlgItem(editor, IDOK)); });
        if (!said.empty()) {
          ADD_FAILURE() << name << ": " << said[0];
          Click(GetDlgItem(editor, IDCANCEL));
        }
      }, [&] { Click(GetDlgItem(list, newButton)); });
      Click(GetDlgItem(list, IDCANCEL));
    }, [&] { Send(frame, command); });
  }

  static std::string s_dir;
  fs::path saved_;
  std::unique_ptr<CKmApp> app_;
};
std::string ExpressionChecks::s_dir;

TEST_F(ExpressionChecks, ScreensCalculatedFieldEditorRefusesWhatTheChecksRefuse) {
  const std::string report = s_dir + "/sales.kmw";
  CMainFrame* frame = Open(report);
  ASSERT_NE(frame, nullptr);
  CKmDoc& doc = *frame->m_pDoc;
  CKmComposite* m = doc.m_pModel;
  auto send = [&](UINT id) { SendMessageA(frame->m_hWnd, WM_COMMAND, id, 0); };

  // Calculations > Calculated Field > New: three plain fields, one using
  // another, and a derived column the server computes; a column the server
  // does not know is refused on Verify with the server's own words.
  std::vector<std::string> probeRefusal;
  std::string probeLine, probeValid;
  OnDialog([&](HWND list) {
    for (const auto& def : {std::make_pair("BASE", "quantity"), std::make_pair("USESBASE", "BASE + 1"),
                            std::make_pair("CTRY", "country")})
      OnDialog([&](HWND editor) {
        SetDlgItemTextA(editor, kCalcNameEdit, def.first);
        SetDlgItemTextA(editor, kCalcTextEdit, def.second);
        Click(GetDlgItem(editor, IDOK));
      }, [&] { Click(GetDlgItem(list, kFieldNewButton)); });
    OnDialog([&](HWND editor) {
      SetDlgItemTextA(editor, kCalcNameEdit, "DOUBLED");
      SetDlgItemTextA(editor, kCalcTextEdit, "SQLEXP('quantity * no_such_column')");
      probeRefusal = Messages(editor, [&] { Click(GetDlgItem(editor, kCalcVerify)); });
      probeLine = ui_test::Text(GetDlgItem(editor, kCalcMessageLine));
      SetDlgItemTextA(editor, kCalcTextEdit, "SQLEXP('quantity * 2')");
      Click(GetDlgItem(editor, kCalcVerify));
      probeValid = ui_test::Text(GetDlgItem(editor, kCalcMessageLine));
      Click(GetDlgItem(editor, IDOK));
    }, [&] { Click(GetDlgItem(list, kFieldNewButton)); });
    Click(GetDlgItem(list, IDCANCEL));
  }, [&] { send(30700); });
  ASSERT_EQ(probeRefusal.size(), 2u) << "the server's message, then the editor's: " << probeLine;
  EXPECT_NE(probeRefusal[0].find("no_such_column"), std::string::npos) << probeRefusal[0];
  EXPECT_EQ(probeRefusal[1], "Syntax error");
  EXPECT_NE(probeLine.find("Syntax error"), std::string::npos) << probeLine;
  EXPECT_EQ(probeValid, "The expression is valid.");
  ASSERT_NE(Field(m, "DOUBLED"), nullptr);
  EXPECT_GT(Field(m, "DOUBLED")->displayWidth, 0u) << "the server's column gives the new field its look";
  ASSERT_NE(Field(m, "USESBASE"), nullptr);

  // Filter: the records of one country, through CTRY.
  OnDialog([&](HWND d) {
    PickField(d, kFilterField, "CTRY", true);
    SendDlgItemMessageA(d, kFilterOperator, CB_SETCURSEL, kCondEqual - 1, 0);
    SetDlgItemTextA(d, kFilterValue, "'Norway'");
    Click(GetDlgItem(d, kFilterAdd));
    Click(GetDlgItem(d, IDOK));
  }, [&] { send(30640); });
  ASSERT_NE(m->conditionCode, nullptr);
  ASSERT_EQ(CountSelectConditions(m), 1);

  // BASE is used by USESBASE, CTRY by the filter: neither may become
  // QUERY(), on Verify nor on OK, and each keeps its expression.
  struct Refusal {
    std::string verify, ok, line;
  } base, ctry;
  auto tryQuery = [&](const char* name, Refusal* r, bool picture) {
    OnDialog([&](HWND list) {
      PickField(list, kFieldListBoxId, name);
      OnDialog([&](HWND editor) {
        SetDlgItemTextA(editor, kCalcTextEdit, "QUERY()");
        r->verify = Message([&] { Click(GetDlgItem(editor, kCalcVerify)); });
        r->line = ui_test::Text(GetDlgItem(editor, kCalcMessageLine));
        if (picture) {
          EXPECT_TRUE(SaveWindowPicture(editor, ScreenPath("calc-field-query-refused").c_str()));
        }
        r->ok = Message([&] { Click(GetDlgItem(editor, IDOK)); });
        Click(GetDlgItem(editor, IDCANCEL));
      }, [&] { Click(GetDlgItem(list, kFieldEditButton)); });
      Click(GetDlgItem(list, IDCANCEL));
    }, [&] { send(30700); });
  };
  tryQuery("BASE", &base, true);
  tryQuery("CTRY", &ctry, false);
  EXPECT_EQ(base.verify, "Function used in another function cannot contain QUERY()");
  EXPECT_EQ(base.ok, base.verify);
  EXPECT_NE(base.line.find("Function used in another function cannot contain QUERY()"), std::string::npos);
  EXPECT_EQ(ctry.verify, "Function used in the filter cannot contain QUERY()");
  EXPECT_EQ(ctry.ok, ctry.verify);
  EXPECT_STREQ(Field(m, "BASE")->exprText, "quantity");
  EXPECT_STREQ(Field(m, "CTRY")->exprText, "country");

  // Calculations > User Function > New: QUERY() has no place in a function.
  std::string udfRefusal;
  OnDialog([&](HWND list) {
    OnDialog([&](HWND editor) {
      SetDlgItemTextA(editor, kCalcNameEdit, "QF(N_X)");
      SetDlgItemTextA(editor, kCalcTextEdit, "QUERY()");
      udfRefusal = Message([&] { Click(GetDlgItem(editor, IDOK)); });
      Click(GetDlgItem(editor, IDCANCEL));
    }, [&] { Click(GetDlgItem(list, 301)); });
    Click(GetDlgItem(list, IDCANCEL));
  }, [&] { send(30720); });
  EXPECT_EQ(udfRefusal, "Cannot use QUERY() in a user-defined function");
  EXPECT_EQ(m->udfList, nullptr);

  // USESBASE and DOUBLED onto a new record line, from the Insert Field palette.
  const int record = InsertLineInBand(doc, kBandRecord);
  ASSERT_GE(record, 0);
  frame->m_wndLayoutView.RedrawAllPanes();
  const LayoutTables& t = *doc.m_pLayout;
  auto clickAt = [&](int line, int column, bool twice) {
    const BandLineRec& rec = t.Lines().lines[line];
    const int x = column * 10 + 2 - t.scrollX, y = rec.bottom - 3 - t.scrollY;
    SendMessageA(frame->m_wndLayoutView.m_hWnd, WM_LBUTTONDOWN, 1, MAKELPARAM(x, y));
    SendMessageA(frame->m_wndLayoutView.m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    if (twice) SendMessageA(frame->m_wndLayoutView.m_hWnd, WM_LBUTTONDBLCLK, 1, MAKELPARAM(x, y));
  };
  clickAt(record, 4, true);
  ASSERT_TRUE(doc.m_pInsertField && IsWindowVisible(doc.m_pInsertField->m_hWnd));
  HWND palette = doc.m_pInsertField->m_hWnd;
  clickAt(record, 4, false);
  PickField(palette, kInsertFieldList, "USESBASE");
  Click(GetDlgItem(palette, kInsertFieldButton));
  clickAt(record, 24, false);
  PickField(palette, kInsertFieldList, "DOUBLED");
  Click(GetDlgItem(palette, kInsertFieldButton));
  Click(GetDlgItem(palette, IDCANCEL));
  EXPECT_TRUE(Field(m, "DOUBLED")->head.flags & kItemKindField);
  send(30010);  // File > Save
  EXPECT_FALSE(doc.IsModified());
  Close();

  // Read back: the definitions as accepted, the filter through CTRY.
  frame = Open(report);
  ASSERT_NE(frame, nullptr);
  m = frame->m_pDoc->m_pModel;
  ASSERT_NE(Field(m, "DOUBLED"), nullptr);
  EXPECT_STREQ(Field(m, "DOUBLED")->exprText, "SQLEXP('quantity * 2')");
  EXPECT_STREQ(Field(m, "BASE")->exprText, "quantity");
  EXPECT_EQ(CountSelectConditions(m), 1);
  Close();

  // Printed by the program: each Norwegian line's quantity + 1 (the
  // program's) beside its doubled quantity (the server's).
  int status = -1;
  std::string out = Capture("cd '" + s_dir + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + s_dir + "' " +
                                program_run::ProgramLeakOptions() + " timeout 120 '" + ProgramPath() + "' /G '" +
                                report + "' 2>&1",
                            &status);
  ASSERT_EQ(status, 0) << out;
  const std::string text = Capture("pdftotext -layout '" + s_dir + "/sales.pdf' - 2>/dev/null");
  std::istringstream rows(Capture("sqlite3 -separator ' ' '" + s_dir +
                                  "/sample.db' \"select quantity + 1, quantity * 2 from order_lines where country = "
                                  "'Norway'\""));
  std::string row;
  int seen = 0;
  while (std::getline(rows, row)) {
    std::istringstream pair(row);
    long doubled = 0, plusOne = 0;
    pair >> plusOne >> doubled;
    bool found = false;
    std::istringstream lines(text);
    std::string line;
    while (!found && std::getline(lines, line)) {
      std::istringstream words(line);
      std::vector<std::string> w;
      for (std::string s; words >> s;) w.push_back(s);
      for (size_t i = 0; i + 1 < w.size() && !found; ++i)
        found = std::atof(w[i].c_str()) == plusOne && std::atof(w[i + 1].c_str()) == doubled;
    }
    EXPECT_TRUE(found) << row << "\n" << text;
    ++seen;
  }
  EXPECT_GT(seen, 0);
  EXPECT_EQ(text.find("Castell"), std::string::npos) << "only Norway's records print";
}

// A report the user damaged through the program's own dialogs (a field its
// filter tests deleted, a user function whose callee was deleted) opens and
// stays as it is, but no run starts: Print in the window shows the message
// that names what to edit and makes no file, before and after a save and
// reopen, and the command line's /G run ends with the same message on
// standard error, a failed exit and no output file.
TEST_F(ExpressionChecks, AFilterOverADeletedFieldStopsEveryRun) {
  CMainFrame* frame = Open(s_dir + "/sales.kmw");
  ASSERT_NE(frame, nullptr);
  CKmComposite* m = frame->m_pDoc->m_pModel;

  // A calculation, and the filter on it: Norway's records.
  Define(frame, kCmdCalculated, kFieldNewButton, "NATION", "country");
  OnDialog([&](HWND d) {
    Click(GetDlgItem(d, kFilterClear));
    PickField(d, kFilterField, "NATION", true);
    SendDlgItemMessageA(d, kFilterOperator, CB_SETCURSEL, kCondEqual - 1, 0);
    SetDlgItemTextA(d, kFilterValue, "'Norway'");
    Click(GetDlgItem(d, kFilterAdd));
    Click(GetDlgItem(d, IDOK));
  }, [&] { Send(frame, kCmdFilter); });
  ASSERT_EQ(CountSelectConditions(m), 1);

  // The calculation deleted from its list (the question answered OK): the
  // filter keeps its test, now on no field, and printing stops.
  std::vector<std::string> asked;
  OnDialog([&](HWND list) {
    PickField(list, kFieldListBoxId, "NATION");
    asked = Messages(list, [&] { Click(GetDlgItem(list, kFieldDeleteButton)); });
    Click(GetDlgItem(list, IDCANCEL));
  }, [&] { Send(frame, kCmdCalculated); });
  ASSERT_EQ(Field(m, "NATION"), nullptr) << (asked.empty() ? "" : asked[0]);
  ASSERT_NE(m->conditionCode, nullptr) << "the filter is not silently dropped";
  EXPECT_TRUE(ConditionReferencesField(m->conditionCode, m->conditionLength, kNoField));
  const std::string message = "Filter must be edited: fields deleted";
  EXPECT_EQ(PrintStopped(frame, "filter_gone"), message);
  EXPECT_TRUE(frame->m_pDoc->m_bReportOpen);

  std::vector<std::string> onOpen;
  ExpectStoppedEverywhere(frame, "filter_gone", message, &onOpen);
  ASSERT_FALSE(onOpen.empty());
  EXPECT_EQ(onOpen[0], message) << "the reader says so on opening";
}

// A stored filter whose code cannot be read (a damaged file) is not dropped,
// which would print every record: the report opens saying the filter must be
// edited, and nothing prints, in the window or under /G, until it is.
TEST_F(ExpressionChecks, ADamagedStoredFilterStopsEveryRun) {
  const std::string report = s_dir + "/damaged_filter.kmw";
  {
    SampleDocument sample;
    std::string error;
    ASSERT_TRUE(BuildSampleReport(sample.doc, sample.io, "VortelleSample", &error)) << error;
    CKmComposite* m = sample.doc.m_pModel;
    // A test with an operator no selection row makes.
    const uint8_t damaged[] = {kCondField, 1, 0, 0, 0, 99, kCondLogical, 1, kCondEndMark, kCondEnd};
    HeapFreeBlock(m->conditionCode);
    m->conditionCode = static_cast<uint8_t*>(HeapAllocZero(0, sizeof damaged));
    ASSERT_NE(m->conditionCode, nullptr);
    std::memcpy(m->conditionCode, damaged, sizeof damaged);
    m->conditionLength = sizeof damaged;
    ASSERT_EQ(sample.io.SaveReportFile(report.c_str()), kRepIoOk);
  }
  const std::string message = "Filter must be edited: fields deleted";
  std::vector<std::string> onOpen;
  CMainFrame* frame = Open(report, &onOpen);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(onOpen, std::vector<std::string>{message});
  EXPECT_EQ(CountSelectConditions(frame->m_pDoc->m_pModel), 1) << "a row the user can edit or remove";
  EXPECT_EQ(PrintStopped(frame, "damaged_filter"), message);
  ExpectStoppedEverywhere(frame, "damaged_filter_saved", message, &onOpen);
  EXPECT_EQ(onOpen, std::vector<std::string>{message});
}

TEST_F(ExpressionChecks, AUserFunctionWhoseCalleeChangedStopsEveryRun) {
  CMainFrame* frame = Open(s_dir + "/sales.kmw");
  ASSERT_NE(frame, nullptr);
  CKmComposite* m = frame->m_pDoc->m_pModel;

  // Calculations > User Function: TWICE, and ONEMORE calling it; a
  // calculation calls ONEMORE.
  Define(frame, kCmdFunctions, kFunctionNew, "TWICE(N_X)", "X * 2");
  Define(frame, kCmdFunctions, kFunctionNew, "ONEMORE(N_X)", "TWICE(X) + 1");
  Define(frame, kCmdCalculated, kFieldNewButton, "BUMPED", "ONEMORE(quantity)");
  ASSERT_NE(Field(m, "BUMPED"), nullptr);
  ASSERT_NE(Field(m, "BUMPED")->code, nullptr);

  // TWICE edited to take two numbers: ONEMORE's call of it no longer fits,
  // and ONEMORE loses its code rather than pass TWICE one number.
  std::vector<std::string> said;
  OnDialog([&](HWND list) {
    const LRESULT at = SendDlgItemMessageA(list, kFunctionList, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                           reinterpret_cast<LPARAM>("TWICE"));
    ASSERT_NE(at, LB_ERR);
    SendDlgItemMessageA(list, kFunctionList, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
    OnDialog([&](HWND editor) {
      SetDlgItemTextA(editor, kCalcNameEdit, "TWICE(N_X, N_Y)");
      SetDlgItemTextA(editor, kCalcTextEdit, "X * Y");
      said = Messages(editor, [&] { Click(GetDlgItem(editor, IDOK)); });
      if (!said.empty() && IsWindow(editor)) Click(GetDlgItem(editor, IDCANCEL));
    }, [&] { Click(GetDlgItem(list, kFunctionEdit)); });
    Click(GetDlgItem(list, IDCANCEL));
  }, [&] { Send(frame, kCmdFunctions); });
  EXPECT_TRUE(said.empty()) << said[0];
  UdfNode* onemore = FindUdfByName(m, "ONEMORE", 7, false);
  ASSERT_NE(onemore, nullptr);
  EXPECT_EQ(onemore->code, nullptr) << "its call of TWICE no longer fits";
  const std::string message = "User function 'ONEMORE' must be edited";
  EXPECT_EQ(PrintStopped(frame, "function_changed"), message);

  std::vector<std::string> onOpen;
  ExpectStoppedEverywhere(frame, "function_changed", message, &onOpen);
  // Read again, ONEMORE does not compile, and so neither does the field calling it.
  EXPECT_EQ(onOpen, std::vector<std::string>{"Calculated field 'BUMPED' must be edited"});
}

// Two calculations that each wait for the other: the editor refuses it, but
// a report file may still hold it (written by hand or elsewhere). Opened,
// the report names the calculation that cannot be ordered; without its code
// no run starts, in the window or under /G.
TEST_F(ExpressionChecks, CalculationsThatWaitForEachOtherStopEveryRun) {
  CMainFrame* frame = Open(s_dir + "/sales.kmw");
  ASSERT_NE(frame, nullptr);
  CKmComposite* m = frame->m_pDoc->m_pModel;
  Define(frame, kCmdCalculated, kFieldNewButton, "FIRSTCALC", "quantity + 1");
  Define(frame, kCmdCalculated, kFieldNewButton, "SECONDCALC", "FIRSTCALC * 2");
  std::vector<std::string> said;
  OnDialog([&](HWND list) {
    PickField(list, kFieldListBoxId, "FIRSTCALC");
    OnDialog([&](HWND editor) {
      SetDlgItemTextA(editor, kCalcTextEdit, "SECONDCALC + 1");
      said = Messages(editor, [&] { Click(GetDlgItem(editor, IDOK)); });
      if (!said.empty()) Click(GetDlgItem(editor, IDCANCEL));
    }, [&] { Click(GetDlgItem(list, kFieldEditButton)); });
    Click(GetDlgItem(list, IDCANCEL));
  }, [&] { Send(frame, kCmdCalculated); });
  ASSERT_EQ(said, std::vector<std::string>{"Circular calculations. Cannot evaluate SECONDCALC"});
  FieldDef* first = Field(m, "FIRSTCALC");
  ASSERT_NE(first, nullptr);
  ASSERT_STREQ(first->exprText, "quantity + 1");
  // The text the editor refused, as such a file would hold it.
  const char cycle[] = "SECONDCALC + 1";
  HeapFreeBlock(first->exprText);
  first->exprText = static_cast<char*>(HeapAllocZero(0, sizeof cycle));
  std::memcpy(first->exprText, cycle, sizeof cycle);

  std::vector<std::string> onOpen;
  const std::string message = "Calculated field 'FIRSTCALC' must be edited";
  ExpectStoppedEverywhere(frame, "calc_cycle", message, &onOpen);
  EXPECT_NE(std::find(onOpen.begin(), onOpen.end(), message), onOpen.end()) << "the reader names it on opening";
}

}  // namespace
