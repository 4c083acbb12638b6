// The report's logic defined from the program's menus: a user function, two
// calculated fields (the first Verify failing), a total, four fields from the
// Insert Field palette onto the record band and one into a group header, a
// second group level sorting descending, a sort field, a filter with a date
// range and a list, an auto-total. The report is saved, read back, printed
// to PDF by the program, and the printed figures equal SQLite's for the same
// selection and grouping.
#include "app/app.h"
#include "app/document.h"
#include "app/field_commands.h"
#include "app/frame_bars.h"
#include "app/main_frame.h"
#include "core/composite.h"
#include "core/condition_code.h"
#include "dialogs/calc_field_dialog.h"
#include "dialogs/field_dialog.h"
#include "dialogs/field_format_dialog.h"
#include "dialogs/field_list_box.h"
#include "dialogs/filter_dialog.h"
#include "dialogs/font_dialog.h"
#include "dialogs/insert_field_dialog.h"
#include "dialogs/order_dialogs.h"
#include "dialogs/sql_dialogs.h"
#include "expr/functions_common.h"
#include "expr/udf.h"
#include "files/report_io.h"
#include "layout/band_line_layout.h"
#include "layout/field_width.h"
#include "layout/fonts.h"
#include "layout/layout_helpers.h"
#include "layout/layout_records.h"
#include "model/filter_spec.h"
#include "model/group_levels.h"
#include "model/selection_conditions.h"
#include "platform/win/window_picture.h"
#include "tests/platform/ui/ui_test_util.h"
#include "tests/dialogs/fieldeditors/dialog_steps.h"
#include "tests/support/program_run.h"
#include "tests/support/sample_document.h"
#include "tests/support/window_sample.h"
#include "tests/support/screens.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using program_run::Capture;
using program_run::Have;
using program_run::ProgramPath;
using ui_test::Click;
using ui_test::WhenRunning;

bool PumpUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 500; ++i) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    if (done()) return true;
    ::usleep(10000);
  }
  return done();
}

using dialog_steps::Message;
using dialog_steps::OnDialog;

using dialog_steps::Field;
using dialog_steps::PickField;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

std::vector<double> Numbers(const std::string& line) {
  std::vector<double> out;
  std::istringstream words(line);
  std::string s;
  auto digit = [&s](size_t i) { return i < s.size() && s[i] >= '0' && s[i] <= '9'; };
  while (words >> s) {
    // A word that is a number as printed: -?[0-9][0-9,]*.?[0-9]*
    size_t i = s[0] == '-' ? 1 : 0;
    if (!digit(i)) continue;
    while (digit(i) || (i < s.size() && s[i] == ',')) ++i;
    if (i < s.size() && s[i] == '.') ++i;
    while (digit(i)) ++i;
    if (i != s.size()) continue;
    s.erase(std::remove(s.begin(), s.end(), ','), s.end());
    out.push_back(std::stod(s));
  }
  return out;
}

bool HasNumber(const std::vector<double>& values, double v) {
  for (double x : values)
    if (std::fabs(x - v) < 0.006) return true;
  return false;
}

class FieldScenario : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_dir = window_sample::Make("/tmp/vt_field_scenario", {"sqlite3", "pdftotext"}); }
  static void TearDownTestSuite() {
    ::unsetenv("VORTELLE_WINDIR");
    if (!s_dir.empty()) fs::remove_all(s_dir);
    s_dir.clear();
  }
  void SetUp() override {
    if (s_dir.empty()) GTEST_SKIP() << "no sample: the program, sqlite3, pdftotext or the SQLite ODBC driver is missing";
    // The user functions' library is looked for beside the program, then in the working folder.
    saved_ = fs::current_path();
    fs::current_path(s_dir);
  }
  void TearDown() override {
    Close();
    if (!saved_.empty()) fs::current_path(saved_);
  }
  CMainFrame* Open(const std::string& report) {
    app_ = std::make_unique<CKmApp>();
    std::string arg0 = "vortelle";
    std::vector<char*> argv{arg0.data(), const_cast<char*>(report.c_str())};
    if (!app_->InitInstance(static_cast<int>(argv.size()), argv.data())) return nullptr;
    auto* frame = static_cast<CMainFrame*>(AfxGetThread()->m_pMainWnd);
    if (frame == nullptr) return nullptr;
    PumpUntil([&] { return IsWindowVisible(frame->m_hWnd) && frame->m_pDoc && frame->m_pDoc->m_bReportOpen; });
    ShowWindow(frame->m_hWnd, SW_SHOWNORMAL);
    MoveWindow(frame->m_hWnd, 0, 0, 1000, 720, TRUE);
    PumpUntil([] { return true; });
    return frame;
  }
  // The sample report, as the program's own writer saves it.
  static bool WriteSample(const std::string& report, std::string* error) {
    SampleDocument sample;
    return sample.Write("VortelleSample", report, error);
  }
  // The sample report written afresh as report and opened; null when either fails.
  CMainFrame* OpenNewSample(const std::string& report) {
    std::string error;
    if (!WriteSample(report, &error)) {
      ADD_FAILURE() << error;
      return nullptr;
    }
    return Open(report);
  }
  void Close() {
    if (app_) app_->ExitInstance();
    app_.reset();
  }
  // A click on the layout at a line and a character column (the caret goes there).
  void ClickAt(CMainFrame* frame, int line, int column, bool twice = false) {
    CKmView& view = frame->m_wndLayoutView;
    const LayoutTables& t = *frame->m_pDoc->m_pLayout;
    const BandLineRec& rec = t.Lines().lines[line];
    const int x = column * 10 + 2 - t.scrollX, y = rec.bottom - 3 - t.scrollY;
    SendMessageA(view.m_hWnd, WM_LBUTTONDOWN, 1, MAKELPARAM(x, y));
    SendMessageA(view.m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    if (twice) SendMessageA(view.m_hWnd, WM_LBUTTONDBLCLK, 1, MAKELPARAM(x, y));
  }
  // The report printed to PDF by the program (/G), as pdftotext lays it
  // out; false with the program's output when the print failed.
  static bool PrintToText(const std::string& report, const std::string& pdf, std::string* text) {
    int status = -1;
    *text = Capture("cd '" + s_dir + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + s_dir + "' " +
                        program_run::ProgramLeakOptions() + " timeout 120 '" + ProgramPath() + "' /G '" + report +
                        "' 2>&1",
                    &status);
    if (status != 0) return false;
    *text = Capture("pdftotext -layout '" + pdf + "' - 2>/dev/null");
    return true;
  }
  static std::vector<std::string> SampleProducts() {
    return Lines(Capture("sqlite3 '" + s_dir + "/sample.db' \"select distinct product from order_lines\""));
  }
  static int LastLineOf(CKmDoc& doc, BYTE kind) {
    int last = -1;
    for (int i = 0; i <= doc.m_bandLines.lastUsed; ++i)
      if (doc.m_bandLines.lines[i].kind == kind) last = i;
    return last;
  }

  static std::string s_dir;
  fs::path saved_;
  std::unique_ptr<CKmApp> app_;
};
std::string FieldScenario::s_dir;

TEST_F(FieldScenario, ScreensReportLogicFromTheMenusPrintsSqliteFigures) {
  const std::string report = s_dir + "/sales.kmw";
  CMainFrame* frame = Open(report);
  ASSERT_NE(frame, nullptr);
  CKmDoc& doc = *frame->m_pDoc;
  CKmComposite* m = doc.m_pModel;
  auto send = [&](UINT id) { SendMessageA(frame->m_hWnd, WM_COMMAND, id, 0); };

  // Calculations > User Function > New: the one editor, as a function.
  OnDialog([&](HWND list) {
    OnDialog([&](HWND editor) {
      EXPECT_EQ(ui_test::Text(editor), "User Function");
      SetDlgItemTextA(editor, kCalcNameEdit, "TWICE(N_X)");
      SetDlgItemTextA(editor, kCalcTextEdit, "X * 2");
      Click(GetDlgItem(editor, IDOK));
    }, [&] { Click(GetDlgItem(list, 301)); });
    Click(GetDlgItem(list, IDCANCEL));
  }, [&] { send(30720); });
  ASSERT_NE(m->udfList, nullptr);
  EXPECT_STREQ(m->udfList->name, "TWICE");

  // Calculations > Calculated Field > New: Verify fails at the misspelt
  // name, with the compiler's message and the caret there; then two fields.
  std::string refusal, lineShown, valid;
  DWORD caret = 0;
  OnDialog([&](HWND list) {
    OnDialog([&](HWND editor) {
      SetDlgItemTextA(editor, kCalcNameEdit, "NET");
      SetDlgItemTextA(editor, kCalcTextEdit, "quantity * unit_pric");
      refusal = Message([&] { Click(GetDlgItem(editor, kCalcVerify)); });
      lineShown = ui_test::Text(GetDlgItem(editor, kCalcMessageLine));
      SendDlgItemMessageA(editor, kCalcTextEdit, EM_GETSEL, reinterpret_cast<WPARAM>(&caret), 0);
      // The field list pastes the right name at the end of the text.
      SetDlgItemTextA(editor, kCalcTextEdit, "quantity * ");
      SendDlgItemMessageA(editor, kCalcTextEdit, EM_SETSEL, 11, 11);
      PickField(editor, kCalcFieldList, "unit_price");
      SendMessageA(editor, WM_COMMAND, MAKEWPARAM(kCalcFieldList, LBN_DBLCLK), 0);
      Click(GetDlgItem(editor, kCalcVerify));
      valid = ui_test::Text(GetDlgItem(editor, kCalcMessageLine));
      Click(GetDlgItem(editor, IDOK));
    }, [&] { Click(GetDlgItem(list, kFieldNewButton)); });
    for (const auto& def : {std::make_pair("TWICEQ", "TWICE(quantity)"), std::make_pair("PRICEX2", "TWICE(unit_price)"),
                            std::make_pair("COUNTRYUP", "UPPER(country)")})
      OnDialog([&](HWND editor) {
        SetDlgItemTextA(editor, kCalcNameEdit, def.first);
        SetDlgItemTextA(editor, kCalcTextEdit, def.second);
        Click(GetDlgItem(editor, IDOK));
      }, [&] { Click(GetDlgItem(list, kFieldNewButton)); });
    EXPECT_EQ(SendDlgItemMessageA(list, kFieldListBoxId, LB_GETCOUNT, 0, 0), 4);
    Click(GetDlgItem(list, IDCANCEL));
  }, [&] { send(30700); });
  EXPECT_FALSE(refusal.empty());
  EXPECT_NE(lineShown.find("(at character 12)"), std::string::npos) << lineShown;
  EXPECT_EQ(caret, 11u) << "the caret stands where the compiler stopped";
  EXPECT_EQ(valid, "The expression is valid.");
  FieldDef* net = Field(m, "NET");
  ASSERT_NE(net, nullptr);
  EXPECT_STREQ(net->exprText, "quantity * unit_price");
  ASSERT_NE(Field(m, "TWICEQ"), nullptr);

  // Calculations > Total Field > New: the sum of NET over the report.
  std::string sourcePrompt;
  OnDialog([&](HWND list) {
    OnDialog([&](HWND total) {
      SetDlgItemTextA(total, 200, "NetSum");
      Click(GetDlgItem(total, 221));  // Sum
      // The total dialog lists its sources by name.
      const LRESULT at = SendDlgItemMessageA(total, 201, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                             reinterpret_cast<LPARAM>("NET"));
      ASSERT_GE(at, 0);
      SendDlgItemMessageA(total, 201, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
      SendMessageA(total, WM_COMMAND, MAKEWPARAM(201, LBN_SELCHANGE), 0);
      sourcePrompt = frame->m_wndStatusBar.GetText();
      SendDlgItemMessageA(total, 202, CB_SETCURSEL, 0, 0);  // grand total
      SendMessageA(total, WM_COMMAND, MAKEWPARAM(202, CBN_SELCHANGE), 0);
      Click(GetDlgItem(total, IDOK));
    }, [&] { Click(GetDlgItem(list, kFieldNewButton)); });
    Click(GetDlgItem(list, IDCANCEL));
  }, [&] { send(30710); });
  FieldDef* netSum = Field(m, "NetSum");
  ASSERT_NE(netSum, nullptr);
  EXPECT_NE(sourcePrompt.find("quantity * unit_price"), std::string::npos)
      << "the chosen source's prompt is on the status bar: " << sourcePrompt;

  // Group Order: a second level, the order number, descending.
  OnDialog([&](HWND d) {
    EXPECT_EQ(ui_test::Text(d), "Group Order");
    EXPECT_EQ(SendDlgItemMessageA(d, kOrderList, LB_GETCOUNT, 0, 0), 1);
    PickField(d, kOrderFieldList, "order_id");
    Click(GetDlgItem(d, kOrderAdd));
    CheckDlgButton(d, kOrderDescending, BST_CHECKED);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(kOrderDescending, BN_CLICKED), 0);
    Click(GetDlgItem(d, IDOK));
  }, [&] { send(30630); });
  EXPECT_EQ(m->groupFields[1], m->GetFieldIndex(Field(m, "order_id")));
  EXPECT_EQ(m->sortFields[1], m->groupFields[1]);
  EXPECT_TRUE(m->sortWords[1] & kSortDescending);
  const int groupHeader = LastLineOf(doc, kBandGroupHeader + 1);
  ASSERT_GE(groupHeader, 0) << "the new level has its header line";

  // Sort Order: the product after the group fields.
  OnDialog([&](HWND d) {
    EXPECT_EQ(SendDlgItemMessageA(d, kOrderList, LB_GETCOUNT, 0, 0), 2);
    PickField(d, kOrderFieldList, "product");
    Click(GetDlgItem(d, kOrderAdd));
    Click(GetDlgItem(d, IDOK));
  }, [&] { send(30620); });
  EXPECT_EQ(m->sortFields[2], m->GetFieldIndex(Field(m, "product")));
  EXPECT_TRUE(m->sortWords[1] & kSortDescending);

  // Filter: a date range and a list; a wrong date is refused as it is added.
  std::string dateRefusal;
  OnDialog([&](HWND d) {
    PickField(d, kFilterField, "order_date", true);
    SendDlgItemMessageA(d, kFilterOperator, CB_SETCURSEL, kCondBetween - 1, 0);
    SetDlgItemTextA(d, kFilterValue, "{01/01/1998},{13/45/1998}");
    dateRefusal = Message([&] { Click(GetDlgItem(d, kFilterAdd)); });
    EXPECT_EQ(SendDlgItemMessageA(d, kFilterRows, LB_GETCOUNT, 0, 0), 0) << "a refused row is not added";
    SetDlgItemTextA(d, kFilterValue, "{01/01/1998},{03/15/1998}");
    Click(GetDlgItem(d, kFilterAdd));
    CheckDlgButton(d, kFilterAnd, BST_CHECKED);
    PickField(d, kFilterField, "country", true);
    SendDlgItemMessageA(d, kFilterOperator, CB_SETCURSEL, kCondOneOf - 1, 0);
    SetDlgItemTextA(d, kFilterValue, "'United Kingdom','Norway','Sweden'");
    Click(GetDlgItem(d, kFilterAdd));
    EXPECT_EQ(m->conditionCode, nullptr) << "nothing changes before OK";
    Click(GetDlgItem(d, IDOK));
  }, [&] { send(30640); });
  EXPECT_FALSE(dateRefusal.empty());
  ASSERT_NE(m->conditionCode, nullptr);
  EXPECT_EQ(CountSelectConditions(m), 2);

  // Database > Show SQL: the SELECT the run executes, read-only.
  std::string shownSql;
  OnDialog([&](HWND d) {
    shownSql = ui_test::Text(GetDlgItem(d, kSqlGenerated));
    EXPECT_TRUE(GetWindowLongPtrA(GetDlgItem(d, kSqlGenerated), GWL_STYLE) & ES_READONLY);
    Click(GetDlgItem(d, IDOK));
  }, [&] { send(30650); });
  EXPECT_EQ(shownSql.rfind("select", 0), 0u) << shownSql;
  EXPECT_NE(shownSql.find("from order_lines"), std::string::npos) << shownSql;
  EXPECT_NE(shownSql.find("between"), std::string::npos) << "the filter goes into the WHERE: " << shownSql;
  // A number sorts with a missing value as 0, as the program sorts it.
  EXPECT_NE(shownSql.find("coalesce(\"order_id\", 0) desc"), std::string::npos) << shownSql;

  // Four fields from the palette onto a second record line, one into the new group header.
  const int firstRecord = LastLineOf(doc, kBandRecord);
  // The band-line commands are not this part's: the line comes from the routine the field dialogs use.
  const int record = InsertLineInBand(doc, kBandRecord);
  ASSERT_EQ(record, LastLineOf(doc, kBandRecord));
  ASSERT_EQ(record, firstRecord + 1);
  frame->m_wndLayoutView.RedrawAllPanes();
  ClickAt(frame, record, 4, true);  // a double-click on an empty spot opens the palette
  ASSERT_TRUE(doc.m_pInsertField && IsWindowVisible(doc.m_pInsertField->m_hWnd));
  HWND palette = doc.m_pInsertField->m_hWnd;
  auto insert = [&](int line, int column, const char* name, bool byButton) {
    ClickAt(frame, line, column);
    EXPECT_EQ(frame->m_wndLayoutView.m_nCaretX, column * 10) << name;
    EXPECT_EQ(frame->m_wndLayoutView.CaretLine(), line) << name;
    PickField(palette, kInsertFieldList, name);
    if (byButton) Click(GetDlgItem(palette, kInsertFieldButton));
    else SendMessageA(palette, WM_COMMAND, MAKEWPARAM(kInsertFieldList, LBN_DBLCLK), 0);
  };
  insert(record, 4, "unit_price", false);
  insert(record, 16, "NET", true);
  insert(record, 34, "TWICEQ", false);
  insert(record, 44, "PRICEX2", true);
  insert(LastLineOf(doc, kBandGroupHeader), 54, "COUNTRYUP", false);
  insert(LastLineOf(doc, kBandSummary), 64, "NetSum", true);
  EXPECT_TRUE(ui_test::Text(GetDlgItem(palette, kInsertFieldPrompt)).size() > 0);
  int onRecord = 0;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
    if ((f->head.flags & kItemKindField) && f->head.bandLine == record) ++onRecord;
  EXPECT_EQ(onRecord, 4);
  EXPECT_TRUE(net->head.flags & kItemKindField);
  EXPECT_EQ(net->head.column, 16);
  Click(GetDlgItem(palette, IDCANCEL));
  EXPECT_FALSE(IsWindow(palette));
  // F2 on the placed calculation opens its expression.
  ClickAt(frame, record, 18);
  OnDialog([&](HWND d) {
    EXPECT_EQ(ui_test::Text(GetDlgItem(d, kCalcNameEdit)), "NET");
    EXPECT_EQ(ui_test::Text(GetDlgItem(d, kCalcTextEdit)), "quantity * unit_price");
    Click(GetDlgItem(d, IDCANCEL));
  }, [&] { send(20078); });

  // Auto Total over the quantity of the first record line: a total per customer.
  FieldDef* quantity = Field(m, "quantity");
  ASSERT_NE(quantity, nullptr);
  frame->m_wndLayoutView.ClearSelection();
  frame->m_wndLayoutView.SelectObject(quantity->head, true);
  OnDialog([&](HWND d) {
    const int entries = static_cast<int>(SendDlgItemMessageA(d, 202, CB_GETCOUNT, 0, 0));
    ASSERT_GE(entries, 3);
    SendDlgItemMessageA(d, 202, CB_SETCURSEL, 2, 0);  // the customer group
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(202, CBN_SELCHANGE), 0);
    Click(GetDlgItem(d, 221));
    Click(GetDlgItem(d, IDOK));
  }, [&] { send(30740); });
  FieldDef* autoTotal = nullptr;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
    if (IsTotal(f) && std::strncmp(f->name, "Total", 5) == 0) autoTotal = f;
  ASSERT_NE(autoTotal, nullptr);
  EXPECT_TRUE(autoTotal->head.flags & kItemKindField);
  EXPECT_EQ(doc.m_bandLines.lines[autoTotal->head.bandLine].kind, kBandGroupFooter);
  EXPECT_EQ(GetAlignedX(*doc.m_pLayout, autoTotal->head), GetAlignedX(*doc.m_pLayout, quantity->head))
      << "the total stands under the field it totals";
  EXPECT_EQ(net->head.pointSize, quantity->head.pointSize) << "a placed field takes the layout's body font";

  // Format > Properties (F9): NET's picture with two decimals, the order date's with the day first and four digits.
  frame->m_wndLayoutView.ClearSelection();
  frame->m_wndLayoutView.SelectObject(net->head, true);
  OnDialog([&](HWND d) {
    EXPECT_EQ(ui_test::Text(d), "Numeric Field Properties");
    SendDlgItemMessageA(d, kFormatStyle, CB_SETCURSEL, 1, 0);  // Fixed
    SetDlgItemTextA(d, kFormatDecimals, "20");
    Message([&] { Click(GetDlgItem(d, IDOK)); });  // more decimals than width: refused
    SetDlgItemTextA(d, kFormatWidth, "10");
    SetDlgItemTextA(d, kFormatDecimals, "2");
    Click(GetDlgItem(d, IDOK));
  }, [&] { send(30504); });
  EXPECT_EQ(net->displayDecimals, 2);
  FieldDef* orderDate = Field(m, "order_date");
  ASSERT_NE(orderDate, nullptr);
  frame->m_wndLayoutView.ClearSelection();
  frame->m_wndLayoutView.SelectObject(orderDate->head, true);
  OnDialog([&](HWND d) {
    EXPECT_EQ(ui_test::Text(d), "Date Field Properties");
    SendDlgItemMessageA(d, kFormatStyle, CB_SETCURSEL, 2, 0);  // dd.mm.yy
    CheckDlgButton(d, kFormatFourDigits, BST_CHECKED);
    Click(GetDlgItem(d, IDOK));
  }, [&] { send(30504); });
  frame->m_wndLayoutView.ClearSelection();

  EXPECT_TRUE(SaveWindowPicture(frame->m_hWnd, ScreenPath("field-dialogs-scenario").c_str()));
  send(30010);  // File > Save
  EXPECT_FALSE(doc.IsModified());
  Close();

  // Read back: the definitions, the order and the filter came through the file.
  frame = Open(report);
  ASSERT_NE(frame, nullptr);
  m = frame->m_pDoc->m_pModel;
  ASSERT_NE(Field(m, "NET"), nullptr);
  EXPECT_STREQ(Field(m, "NET")->exprText, "quantity * unit_price");
  ASSERT_NE(Field(m, "NetSum"), nullptr);
  EXPECT_EQ(m->groupFields[1], m->GetFieldIndex(Field(m, "order_id")));
  EXPECT_TRUE(m->sortWords[1] & kSortDescending);
  EXPECT_EQ(m->sortFields[2], m->GetFieldIndex(Field(m, "product")));
  ASSERT_EQ(CountSelectConditions(m), 2);
  std::string filter;
  EXPECT_TRUE(DescribeFilter(m, &filter));
  EXPECT_NE(filter.find("in the range"), std::string::npos) << filter;
  EXPECT_NE(filter.find("in the list"), std::string::npos) << filter;
  Close();

  // Printed by the program, against SQLite's figures for the same selection.
  std::string text;
  ASSERT_TRUE(PrintToText(report, s_dir + "/sales.pdf", &text)) << text;
  const std::string where =
      "where order_date between '1998-01-01' and '1998-03-15' and country in ('United Kingdom','Norway','Sweden')";
  const std::vector<std::string> rows = Lines(Capture(
      "sqlite3 -separator '|' '" + s_dir + "/sample.db' \"select company, sum(quantity) from order_lines " + where +
      " group by company order by company\""));
  ASSERT_EQ(rows.size(), 3u);
  const std::vector<std::string> printed = Lines(text);
  // Each customer prints once, in name order, and its auto-total follows it.
  size_t at = 0;
  for (const std::string& row : rows) {
    const std::string company = row.substr(0, row.find('|'));
    const double quantitySum = std::stod(row.substr(row.find('|') + 1));
    size_t found = at;
    while (found < printed.size() && printed[found].find(company) == std::string::npos) ++found;
    ASSERT_LT(found, printed.size()) << company << " is not printed\n" << text;
    bool totalSeen = false;
    for (size_t i = found + 1; i < printed.size() && !totalSeen; ++i) {
      if (printed[i].find("Customer total") != std::string::npos) {
        // The auto-total line follows the customer's total line.
        for (size_t j = i; j < printed.size() && j < i + 4 && !totalSeen; ++j)
          totalSeen = HasNumber(Numbers(printed[j]), quantitySum);
      }
    }
    EXPECT_TRUE(totalSeen) << company << " sums " << quantitySum << "\n" << text;
    at = found + 1;
  }
  EXPECT_EQ(text.find("Castell"), std::string::npos) << "Germany is not in the list";
  EXPECT_EQ(text.find("Fennick"), std::string::npos);
  // Alder & Sons' two orders print with the later order first.
  const size_t later = text.find("1003"), earlier = text.find("1001");
  ASSERT_NE(later, std::string::npos);
  ASSERT_NE(earlier, std::string::npos);
  EXPECT_LT(later, earlier);
  // The grand total of NET (a new total prints without decimals) ends the
  // summary line: SQLite's sum of quantity * unit_price.
  const double netTotal = std::stod(Capture("sqlite3 '" + s_dir + "/sample.db' \"select round(sum(quantity * unit_price)) from order_lines " + where + "\""));
  bool grandSeen = false;
  for (const std::string& line : printed)
    if (line.find("Grand total") != std::string::npos) {
      const std::vector<double> values = Numbers(line);
      grandSeen = grandSeen || (!values.empty() && std::fabs(values.back() - netTotal) < 0.5);
    }
  EXPECT_TRUE(grandSeen) << netTotal << "\n" << text;
  // Each line's NET (with its two decimals), TWICEQ and PRICEX2 print on the
  // second record line (the Wool socks line: 50 x 12.50).
  bool socks = false;
  for (const std::string& line : printed) {
    const std::vector<double> values = Numbers(line);
    socks = socks || (line.find("625.00") != std::string::npos && HasNumber(values, 100) && HasNumber(values, 25));
  }
  // The order date in its new picture.
  EXPECT_NE(text.find("19.01.1998"), std::string::npos) << text;
  EXPECT_TRUE(socks) << text;
  // The group header's calculated field: the country in capitals.
  EXPECT_NE(text.find("NORWAY"), std::string::npos) << text;
  EXPECT_NE(text.find("UNITED KINGDOM"), std::string::npos) << text;

  // The shown SELECT runs as it stands and gives the rows in the printed order.
  std::string sql = shownSql;
  sql.erase(std::remove(sql.begin(), sql.end(), '\r'), sql.end());
  std::ofstream(s_dir + "/shown.sql") << sql << ";\n";
  int sqlStatus = -1;
  const std::string result = Capture("sqlite3 -separator '|' '" + s_dir + "/sample.db' < '" + s_dir + "/shown.sql' 2>&1", &sqlStatus);
  EXPECT_EQ(sqlStatus, 0) << result << sql;
  const size_t alder = result.find("Alder"), bright = result.find("Brightwater");
  EXPECT_NE(alder, std::string::npos) << result;
  EXPECT_LT(alder, bright) << result;
}

// A field placed twice prints in both places; the character field and text
// sheets and the Font dialog change what prints, through save and read-back.
// Sort Order and Group Order refuse a calculation on the page number (the
// records are ordered before the pages exist) as the filter refuses it; a
// filter on a calculation the database is not given prints only the rows it
// lets through, with the totals of those rows alone.
TEST_F(FieldScenario, PageNumberOrdersAreRefusedAndACalculationFilterPrintsItsRows) {
  const std::string report = s_dir + "/pageorder.kmw";
  CMainFrame* frame = OpenNewSample(report);
  ASSERT_NE(frame, nullptr);
  CKmDoc& doc = *frame->m_pDoc;
  CKmComposite* m = doc.m_pModel;
  auto send = [&](UINT id) { SendMessageA(frame->m_hWnd, WM_COMMAND, id, 0); };
  OnDialog([&](HWND list) {
    for (const auto& def : {std::make_pair("PG", "PAGENO()"), std::make_pair("LOCALAMT", "amount + MONLEN(order_date) * 0")})
      OnDialog([&](HWND editor) {
        SetDlgItemTextA(editor, kCalcNameEdit, def.first);
        SetDlgItemTextA(editor, kCalcTextEdit, def.second);
        Click(GetDlgItem(editor, IDOK));
      }, [&] { Click(GetDlgItem(list, kFieldNewButton)); });
    Click(GetDlgItem(list, IDCANCEL));
  }, [&] { send(30700); });
  ASSERT_NE(Field(m, "PG"), nullptr);
  ASSERT_NE(Field(m, "LOCALAMT"), nullptr);
  uint32_t sortBefore[8], groupBefore[8];
  std::copy(std::begin(m->sortFields), std::end(m->sortFields), sortBefore);
  std::copy(std::begin(m->groupFields), std::end(m->groupFields), groupBefore);

  const std::string refusal = "Cannot sort or group on page number field";
  for (UINT command : {30620u, 30630u}) {
    std::string said;
    LRESULT listed = -1;
    OnDialog([&](HWND d) {
      const LRESULT before = SendDlgItemMessageA(d, kOrderList, LB_GETCOUNT, 0, 0);
      PickField(d, kOrderFieldList, "PG");
      said = Message([&] { Click(GetDlgItem(d, kOrderAdd)); });
      listed = SendDlgItemMessageA(d, kOrderList, LB_GETCOUNT, 0, 0) - before;
      Click(GetDlgItem(d, IDOK));
    }, [&] { send(command); });
    EXPECT_EQ(said, refusal) << command;
    EXPECT_EQ(listed, 0) << command;
  }
  EXPECT_TRUE(std::equal(std::begin(sortBefore), std::end(sortBefore), std::begin(m->sortFields)));
  EXPECT_TRUE(std::equal(std::begin(groupBefore), std::end(groupBefore), std::begin(m->groupFields)));

  // Database > Filter: the calculation above 600.
  OnDialog([&](HWND d) {
    PickField(d, kFilterField, "LOCALAMT", true);
    SendDlgItemMessageA(d, kFilterOperator, CB_SETCURSEL, kCondGreater - 1, 0);
    SetDlgItemTextA(d, kFilterValue, "600");
    Click(GetDlgItem(d, kFilterAdd));
    Click(GetDlgItem(d, IDOK));
  }, [&] { send(30640); });
  ASSERT_EQ(CountSelectConditions(m), 1);
  send(30010);
  EXPECT_FALSE(doc.IsModified());
  Close();

  std::string text;
  ASSERT_TRUE(PrintToText(report, s_dir + "/pageorder.pdf", &text)) << text;
  // The order lines printed: an order number, then its date.
  std::multiset<std::string> printed, expected;
  for (const std::string& line : Lines(text)) {
    std::istringstream words(line);
    std::string order, date;
    words >> order >> date;
    if (order.size() == 4 && order.rfind("10", 0) == 0 && date.find('/') != std::string::npos) {
      const std::vector<double> values = Numbers(line);
      ASSERT_FALSE(values.empty()) << line;
      char amount[32];
      std::snprintf(amount, sizeof amount, "%.2f", values.back());
      printed.insert(order + " " + amount);
    }
  }
  for (const std::string& row : Lines(Capture("sqlite3 '" + s_dir + "/sample.db' "
                                               "\"select order_id || ' ' || printf('%.2f', amount) from order_lines "
                                               "where amount > 600\"")))
    expected.insert(row);
  ASSERT_EQ(expected.size(), 4u);
  EXPECT_EQ(printed, expected) << text;
  const std::string grand = Capture("sqlite3 '" + s_dir + "/sample.db' "
                                    "\"select count(*) || ' ' || printf('%.2f', sum(amount)) from order_lines "
                                    "where amount > 600\"");
  bool found = false;
  for (const std::string& line : Lines(text))
    if (line.find("Grand total") != std::string::npos) {
      found = true;
      const std::vector<double> values = Numbers(line);
      ASSERT_EQ(values.size(), 2u) << line;
      char shown[64];
      std::snprintf(shown, sizeof shown, "%.0f %.2f", values[0], values[1]);
      EXPECT_EQ(shown + std::string("\n"), grand) << line;
    }
  EXPECT_TRUE(found) << text;
}

TEST_F(FieldScenario, PlacedCopiesPrintAndPropertySheetsReachThePage) {
  const std::string report = s_dir + "/copies.kmw";
  CMainFrame* frame = OpenNewSample(report);
  ASSERT_NE(frame, nullptr);
  CKmDoc& doc = *frame->m_pDoc;
  CKmComposite* m = doc.m_pModel;
  auto send = [&](UINT id) { SendMessageA(frame->m_hWnd, WM_COMMAND, id, 0); };
  auto text = [&](const char* words) -> TextItem* {
    for (TextItem* x = frame->m_pDoc->m_pLayout->textHead; x != nullptr; x = x->nextText)
      if (x->text != nullptr && std::strcmp(x->text, words) == 0) return x;
    return nullptr;
  };

  // The product again, from the palette, on a second record line.
  const int record = InsertLineInBand(doc, kBandRecord);
  ASSERT_GE(record, 0);
  frame->m_wndLayoutView.RedrawAllPanes();
  send(30400);
  ASSERT_TRUE(doc.m_pInsertField && IsWindowVisible(doc.m_pInsertField->m_hWnd));
  HWND palette = doc.m_pInsertField->m_hWnd;
  ClickAt(frame, record, 30);
  PickField(palette, kInsertFieldList, "product");
  Click(GetDlgItem(palette, kInsertFieldButton));
  Click(GetDlgItem(palette, IDCANCEL));
  int copies = 0;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
    if ((f->flags & kFieldAlias) && f->head.bandLine == record) ++copies;
  EXPECT_EQ(copies, 1) << "a field already placed goes on as a copy";

  // Character Field Properties on the company: five characters wide; a
  // justified field that does not wrap is refused first.
  FieldDef* company = Field(m, "company");
  ASSERT_NE(company, nullptr);
  frame->m_wndLayoutView.ClearSelection();
  frame->m_wndLayoutView.SelectObject(company->head, true);
  std::string refusal;
  OnDialog([&](HWND d) {
    EXPECT_EQ(ui_test::Text(d), "Character Field Properties");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, kFormatStyle)));
    SetDlgItemTextA(d, kFormatWidth, "5");
    SendDlgItemMessageA(d, kFormatAlignment, CB_SETCURSEL, 3, 0);  // Justify
    refusal = Message([&] { Click(GetDlgItem(d, IDOK)); });
    EXPECT_EQ(company->displayWidth, 30u) << "a refused sheet changes nothing";
    SendDlgItemMessageA(d, kFormatAlignment, CB_SETCURSEL, 2, 0);  // Right
    Click(GetDlgItem(d, IDOK));
  }, [&] { send(30504); });
  EXPECT_FALSE(refusal.empty());
  EXPECT_EQ(company->displayWidth, 5u);
  EXPECT_EQ((company->formatCode >> 4) & 0xF, 3u) << "right-aligned";

  // Text Properties on "Grand total": its Font button picks 14 points, bold
  // off, underline on; Cancel of the Font dialog first leaves it alone.
  TextItem* grand = text("Grand total");
  ASSERT_NE(grand, nullptr);
  frame->m_wndLayoutView.ClearSelection();
  frame->m_wndLayoutView.SelectObject(grand->head, true);
  OnDialog([&](HWND d) {
    EXPECT_EQ(ui_test::Text(d), "Text Properties");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, kFormatWidth)));
    OnDialog([&](HWND f) { Click(GetDlgItem(f, IDCANCEL)); }, [&] { Click(GetDlgItem(d, kFormatFont)); });
    OnDialog([&](HWND f) {
      EXPECT_EQ(ui_test::Text(f), "Font");
      EXPECT_EQ(IsDlgButtonChecked(f, kFontBold), static_cast<UINT>(BST_CHECKED));
      SetDlgItemTextA(f, kFontSize, "900");
      Message([&] { Click(GetDlgItem(f, IDOK)); });  // beyond 500 points
      SetDlgItemTextA(f, kFontSize, "14");
      CheckDlgButton(f, kFontBold, BST_UNCHECKED);
      CheckDlgButton(f, kFontUnderline, BST_CHECKED);
      Click(GetDlgItem(f, IDOK));
    }, [&] { Click(GetDlgItem(d, kFormatFont)); });
    EXPECT_TRUE(grand->head.fontStyle & 1) << "the font waits for the sheet's OK";
    SendDlgItemMessageA(d, kFormatAlignment, CB_SETCURSEL, 2, 0);
    Click(GetDlgItem(d, IDOK));
  }, [&] { send(30504); });
  EXPECT_EQ(grand->head.pointSize, 140);
  EXPECT_EQ(grand->head.fontStyle & 7, 4);
  EXPECT_EQ(grand->alignment >> 4, 3) << "right";

  // Format > Font on the title: italic, the size kept.
  TextItem* title = text("Orders by customer");
  ASSERT_NE(title, nullptr);
  const int titleSize = title->head.pointSize;
  frame->m_wndLayoutView.ClearSelection();
  frame->m_wndLayoutView.SelectObject(title->head, true);
  OnDialog([&](HWND f) {
    CheckDlgButton(f, kFontItalic, BST_CHECKED);
    Click(GetDlgItem(f, IDOK));
  }, [&] { send(30502); });
  EXPECT_EQ(title->head.fontStyle & 3, 3) << "bold kept, italic on";
  EXPECT_EQ(title->head.pointSize, titleSize);
  frame->m_wndLayoutView.ClearSelection();

  // Group Order: the customer's header repeats on each page.
  OnDialog([&](HWND d) {
    SendDlgItemMessageA(d, kOrderList, LB_SETCURSEL, 0, 0);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(kOrderList, LBN_SELCHANGE), 0);
    CheckDlgButton(d, kOrderRepeatHeader, BST_CHECKED);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(kOrderRepeatHeader, BN_CLICKED), 0);
    Click(GetDlgItem(d, IDOK));
  }, [&] { send(30630); });
  EXPECT_EQ(m->groupFlags[0] & 0x20, 0x20);

  send(30010);
  EXPECT_FALSE(doc.IsModified());
  Close();

  frame = Open(report);
  ASSERT_NE(frame, nullptr);
  m = frame->m_pDoc->m_pModel;
  EXPECT_EQ(m->groupFlags[0] & 0x20, 0x20) << "the group option came through the file";
  copies = 0;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
    if (f->flags & kFieldAlias) {
      ++copies;
      EXPECT_TRUE(f->flags & kFieldItem) << "the copy is still a layout item";
    }
  EXPECT_EQ(copies, 1);
  EXPECT_EQ(Field(m, "company")->displayWidth, 5u);
  grand = text("Grand total");
  ASSERT_NE(grand, nullptr);
  EXPECT_EQ(grand->head.pointSize, 140);
  EXPECT_EQ(grand->head.fontStyle & 7, 4);
  Close();

  std::string printed;
  ASSERT_TRUE(PrintToText(report, s_dir + "/copies.pdf", &printed)) << printed;
  // Every order line's product prints on both record lines.
  const std::vector<std::string> products = SampleProducts();
  ASSERT_FALSE(products.empty());
  for (const std::string& product : products) {
    const std::string shown = product.substr(0, 14);
    const std::string rows = Capture("sqlite3 '" + s_dir + "/sample.db' \"select count(*) from order_lines where product = '" + product + "'\"");
    size_t count = 0;
    for (size_t at = printed.find(shown); at != std::string::npos; at = printed.find(shown, at + 1)) ++count;
    EXPECT_EQ(count, 2u * std::stoul(rows)) << product << "\n" << printed;
  }
  // The company prints in its five characters.
  EXPECT_NE(printed.find("Brigh"), std::string::npos) << printed;
  EXPECT_EQ(printed.find("Brightwater"), std::string::npos) << printed;
  const std::string fonts = Capture("pdffonts '" + s_dir + "/copies.pdf' 2>/dev/null");
  EXPECT_NE(fonts.find("BoldItalic"), std::string::npos) << fonts;
}

// A face picked in the format bar's font box for one field: the other items
// of the default font keep a font in the designer, through save and
// read-back, and print in both faces.
TEST_F(FieldScenario, ScreensFormatBarFontLeavesTheDefaultFontsInPlace) {
  const std::string report = s_dir + "/facebox.kmw";
  CMainFrame* frame = OpenNewSample(report);
  ASSERT_NE(frame, nullptr);
  CKmDoc& doc = *frame->m_pDoc;
  DocFonts& fonts = *doc.m_pFonts;
  FrameBars* bars = doc.m_pBars;
  ASSERT_NE(bars, nullptr);
  doc.m_settings.formatBar = 1;
  bars->UpdateActionBar();
  const int other = FindFontByFace(fonts, "DejaVu Serif", false);
  if (other < 0 || other == fonts.defaultIndex) GTEST_SKIP() << "no second face to pick";
  const std::string face = fonts.table[static_cast<size_t>(other)].logFont.lfFaceName;
  // The items of the default face, size and look, the company aside.
  FieldDef* company = Field(doc.m_pModel, "company");
  ASSERT_NE(company, nullptr);
  auto plainItems = [&] {
    std::vector<ReportItemHead*> out;
    ForEachLayoutItem(*doc.m_pLayout, [&](ReportItemHead& h) {
      if ((h.flags & kItemGraphicKinds) == 0 && &h != &company->head && h.fontIndex == fonts.defaultIndex &&
          h.pointSize == fonts.defaultSize && (h.fontStyle & 0xF) == 0)
        out.push_back(&h);
    });
    return out;
  };
  auto expectDefaultFonts = [&](const char* when) {
    ASSERT_NE(fonts.regularDefault, nullptr) << when;
    EXPECT_TRUE(fonts.ownership & kOwnRegularDefault) << when;
    EXPECT_GT(fonts.defaultLineHeight, 0) << when;
    const std::vector<ReportItemHead*> plain = plainItems();
    EXPECT_FALSE(plain.empty()) << when;
    for (ReportItemHead* h : plain) {
      EXPECT_EQ(h->fontHandle, fonts.regularDefault) << when;
      EXPECT_EQ(h->height, fonts.defaultLineHeight) << when;
    }
  };
  // The record line's plain fields take the default size from the size box:
  // they are then in the default font.
  frame->m_wndLayoutView.ClearSelection();
  for (const char* name : {"order_id", "product", "quantity"}) {
    FieldDef* f = Field(doc.m_pModel, name);
    ASSERT_NE(f, nullptr) << name;
    frame->m_wndLayoutView.SelectObject(f->head, true);
  }
  bars->UpdateFormatBar();
  SetWindowTextA(bars->m_hSizeBox, std::to_string(fonts.defaultSize / 10).c_str());
  SendMessageA(frame->m_hWnd, WM_COMMAND, kSizeBoxEnter, 0);
  EXPECT_EQ(plainItems().size(), 3u);
  expectDefaultFonts("after the size box");

  // Another face for the company from the font box, then a size.
  frame->m_wndLayoutView.ClearSelection();
  frame->m_wndLayoutView.SelectObject(company->head, true);
  bars->UpdateFormatBar();
  HWND box = bars->m_hFontBox;
  SendMessageA(box, CB_SETCURSEL, static_cast<WPARAM>(other), 0);
  SendMessageA(GetParent(box), WM_COMMAND, MAKEWPARAM(kFontBox, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
  EXPECT_EQ(company->head.fontIndex, other);
  EXPECT_NE(company->head.fontHandle, nullptr);
  EXPECT_NE(company->head.fontHandle, fonts.regularDefault);
  expectDefaultFonts("after the font box");
  SetWindowTextA(bars->m_hSizeBox, "14");
  SendMessageA(frame->m_hWnd, WM_COMMAND, kSizeBoxEnter, 0);
  EXPECT_EQ(company->head.pointSize, 140);
  expectDefaultFonts("after the company's size");
  frame->m_wndLayoutView.ClearSelection();
  frame->m_wndLayoutView.RedrawAllPanes();
  PumpUntil([] { return true; });
  EXPECT_TRUE(SaveWindowPicture(frame->m_hWnd, ScreenPath("format-bar-font-box").c_str()));

  SendMessageA(frame->m_hWnd, WM_COMMAND, 30010, 0);
  EXPECT_FALSE(doc.IsModified());
  Close();

  frame = Open(report);
  ASSERT_NE(frame, nullptr);
  company = Field(frame->m_pDoc->m_pModel, "company");
  ASSERT_NE(company, nullptr);
  DocFonts& again = *frame->m_pDoc->m_pFonts;
  ASSERT_GE(company->head.fontIndex, 0);
  EXPECT_EQ(std::string(again.table[static_cast<size_t>(company->head.fontIndex)].logFont.lfFaceName), face);
  EXPECT_EQ(company->head.pointSize, 140);
  ForEachLayoutItem(*frame->m_pDoc->m_pLayout, [&](ReportItemHead& h) {
    if ((h.flags & kItemGraphicKinds) == 0) {
      EXPECT_NE(h.fontHandle, nullptr);
    }
  });
  Close();

  std::string printed;
  ASSERT_TRUE(PrintToText(report, s_dir + "/facebox.pdf", &printed)) << printed;
  EXPECT_NE(printed.find("Brightwater Ltd"), std::string::npos) << printed;
  EXPECT_NE(printed.find("Canvas tent"), std::string::npos) << printed;
  EXPECT_NE(printed.find("Grand total"), std::string::npos) << printed;
  const std::string used = Capture("pdffonts '" + s_dir + "/facebox.pdf' 2>/dev/null");
  EXPECT_NE(used.find("DejaVuSerif"), std::string::npos) << used;
}

// Where every field and text of the layout stands, by what it is and its line.
std::map<std::string, std::vector<int>> Rectangles(CKmDoc& doc) {
  std::map<std::string, std::vector<int>> out;
  ForEachLayoutItem(*doc.m_pLayout, [&](ReportItemHead& h) {
    if (h.flags & kItemGraphicKinds) return;
    const FieldDef* f = FieldOfItem(&h);
    const TextItem* x = f == nullptr ? reinterpret_cast<const TextItem*>(&h) : nullptr;
    const std::string what = f != nullptr ? std::string(f->name) : std::string(x->text != nullptr ? x->text : "");
    out[what + "@" + std::to_string(h.bandLine)] = {h.left, h.right, h.top, h.bottom};
  });
  return out;
}

// A text, a number with its picture and a date from the palette are as wide
// as the samples they show, in their own fonts, around the anchor of their
// alignment, after the property sheet, the alignment buttons and the size
// box; saved and opened again every field and text keeps its rectangle, and
// the right-aligned figures print ending in one column.
TEST_F(FieldScenario, FieldsMeasureTheirShownTextAndKeepTheirRectanglesThroughSaveAndReopen) {
  const std::string report = s_dir + "/extents.kmw";
  CMainFrame* frame = OpenNewSample(report);
  ASSERT_NE(frame, nullptr);
  CKmDoc& doc = *frame->m_pDoc;
  CKmComposite* m = doc.m_pModel;
  LayoutTables& t = *doc.m_pLayout;
  CKmView& view = frame->m_wndLayoutView;
  FrameBars* bars = doc.m_pBars;
  ASSERT_NE(bars, nullptr);
  auto send = [&](UINT id) { SendMessageA(frame->m_hWnd, WM_COMMAND, id, 0); };
  auto select = [&](FieldDef* f) {
    view.ClearSelection();
    view.SelectObject(f->head, true);
    bars->UpdateFormatBar();
  };
  auto shownWidth = [&](const FieldDef* f) {
    const std::string s = FieldShownText(t, f->head);
    return MeasureTextWidth(t, static_cast<HFONT>(f->head.fontHandle), s.c_str(), static_cast<int>(s.size()));
  };
  auto width = [](const FieldDef* f) { return f->head.right - f->head.left; };

  const int record = InsertLineInBand(doc, kBandRecord);
  ASSERT_GE(record, 0);
  view.RedrawAllPanes();
  send(30400);
  ASSERT_TRUE(doc.m_pInsertField && IsWindowVisible(doc.m_pInsertField->m_hWnd));
  HWND palette = doc.m_pInsertField->m_hWnd;
  auto place = [&](int column, const char* name) -> FieldDef* {
    ClickAt(frame, record, column);
    PickField(palette, kInsertFieldList, name);
    Click(GetDlgItem(palette, kInsertFieldButton));
    for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
      if ((f->head.flags & kItemKindField) && f->head.bandLine == record && std::strcmp(f->name, name) == 0) return f;
    return nullptr;
  };
  FieldDef* product = place(2, "product");
  FieldDef* amount = place(24, "amount");
  FieldDef* date = place(44, "order_date");
  Click(GetDlgItem(palette, IDCANCEL));
  ASSERT_NE(product, nullptr);
  ASSERT_NE(amount, nullptr);
  ASSERT_NE(date, nullptr);
  EXPECT_EQ(FieldShownText(t, product->head), "<" + std::string(product->displayWidth - 1, 'x'));
  for (const FieldDef* f : {product, amount, date}) {
    EXPECT_FALSE(FieldShownText(t, f->head).empty()) << f->name;
    EXPECT_GT(width(f), 0) << f->name;
    EXPECT_EQ(width(f), shownWidth(f)) << f->name;
  }

  // The amount's sheet: fixed with two decimals, right-aligned. Its sample
  // is its new picture and its right edge stays where the sheet found it.
  select(amount);
  const int amountWas = width(amount);
  const int amountRight = amount->head.right;
  OnDialog([&](HWND d) {
    EXPECT_EQ(ui_test::Text(d), "Numeric Field Properties");
    SendDlgItemMessageA(d, kFormatStyle, CB_SETCURSEL, 1, 0);  // Fixed
    SetDlgItemTextA(d, kFormatWidth, "8");
    SetDlgItemTextA(d, kFormatDecimals, "2");
    SendDlgItemMessageA(d, kFormatAlignment, CB_SETCURSEL, 2, 0);  // Right
    Click(GetDlgItem(d, IDOK));
  }, [&] { send(30504); });
  EXPECT_EQ(FieldAlignment(*amount), 2);
  const std::string picture = FieldShownText(t, amount->head);
  EXPECT_NE(picture.find(doc.m_intl.sDecimal), std::string::npos) << picture;
  EXPECT_EQ(width(amount), shownWidth(amount)) << picture;
  EXPECT_NE(width(amount), amountWas) << picture;
  EXPECT_EQ(amount->head.right, amountRight);
  EXPECT_EQ(GetAlignedX(t, amount->head), amountRight);

  // The product centred by the format bar keeps its width; the date grows
  // with its font from the size box.
  select(product);
  const int productLeft = product->head.left;
  send(kAlignCentreButton);
  EXPECT_EQ(FieldAlignment(*product), 1);
  EXPECT_EQ(FieldShownText(t, product->head)[0], '^');
  EXPECT_EQ(width(product), shownWidth(product));
  EXPECT_EQ(product->head.left, productLeft);
  select(date);
  const int dateWidth = width(date), dateHeight = date->head.height;
  SetWindowTextA(bars->m_hSizeBox, "18");
  send(kSizeBoxEnter);
  EXPECT_EQ(date->head.pointSize, 180);
  EXPECT_GT(width(date), dateWidth);
  EXPECT_GT(date->head.height, dateHeight);
  EXPECT_EQ(width(date), shownWidth(date));
  view.ClearSelection();

  const std::map<std::string, std::vector<int>> before = Rectangles(doc);
  const int sampleRight = Field(m, "amount")->head.right;
  ASSERT_NE(Field(m, "amount"), amount);
  const double pointsPerPixel = 72.0 / CharCellWidth(t.metrics, t.metrics.pitch);
  EXPECT_GE(before.size(), 20u);
  send(30010);
  EXPECT_FALSE(doc.IsModified());
  Close();
  frame = Open(report);
  ASSERT_NE(frame, nullptr);
  const std::map<std::string, std::vector<int>> after = Rectangles(*frame->m_pDoc);
  EXPECT_EQ(after.size(), before.size());
  for (const auto& [what, rect] : before) {
    const auto found = after.find(what);
    ASSERT_NE(found, after.end()) << what;
    EXPECT_EQ(found->second, rect) << what << " (left, right, top, bottom)";
  }
  Close();

  // Printed, the amounts of both record lines end in two columns as far
  // apart as the two fields' right edges on the layout, whatever their length.
  std::string text;
  ASSERT_TRUE(PrintToText(report, s_dir + "/extents.pdf", &text)) << text;
  const std::string words = Capture("pdftotext -bbox '" + s_dir + "/extents.pdf' - 2>/dev/null");
  std::map<long, std::set<size_t>> lengthsByEnd;  // tenths of a point -> lengths of the figures ending there
  std::map<long, int> countByEnd;
  for (const std::string& line : Lines(words)) {
    // <word xMin=".." yMin=".." xMax=".." yMax="..">figure</word>, the figures with two decimals.
    const size_t x = line.find("xMax=\""), open = line.find('>'), close = line.find("</word>");
    if (x == std::string::npos || open == std::string::npos || close == std::string::npos || close < open) continue;
    const std::string figure = line.substr(open + 1, close - open - 1);
    const size_t point = figure.find('.');
    if (point == std::string::npos || point == 0 || figure.size() - point != 3 || Numbers(figure).empty()) continue;
    const long end = std::lround(std::stod(line.substr(x + 6)) * 10);
    lengthsByEnd[end].insert(figure.size());
    ++countByEnd[end];
  }
  const int orderLines = std::stoi(Capture("sqlite3 '" + s_dir + "/sample.db' \"select count(*) from order_lines\""));
  std::vector<long> columns;  // ends where every order line's amount ends, in more than one length
  for (const auto& [end, count] : countByEnd)
    if (count >= orderLines && lengthsByEnd[end].size() > 1) columns.push_back(end);
  ASSERT_EQ(columns.size(), 2u) << words;
  EXPECT_NEAR((columns[1] - columns[0]) / 10.0, (sampleRight - amountRight) * pointsPerPixel, 1.0) << words;
}

}  // namespace
