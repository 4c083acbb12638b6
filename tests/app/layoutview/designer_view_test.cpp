// The program with the sample report open in the designer: the items stand
// where the printed PDF puts them, the status line follows the caret, and the
// pictures of the main window (top and end of each sample report) and of the
// popup menus for people to look at.
#include "app/app.h"
#include "app/document.h"
#include "app/sample_report.h"
#include "expr/functions_common.h"
#include "core/composite.h"
#include "files/report_io.h"
#include "foundation/units.h"
#include "layout/page_setup.h"
#include "platform/win/caret.h"
#include "platform/win/menu.h"
#include "platform/win/ui_app.h"
#include "platform/win/window_picture.h"
#include "tests/support/screens.h"

#include "tests/support/sample_document.h"

#include "tests/support/program_run.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using program_run::Capture;
using program_run::Have;
using program_run::ProgramPath;



bool PumpUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 500; ++i) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    if (done()) return true;
    ::usleep(10000);
  }
  return done();
}

// One word of the printed page, in points from the top left.
struct Word {
  double xMin, yMin, xMax, yMax;
  std::string text;
};

std::vector<Word> PdfWords(const std::string& pdf) {
  std::vector<Word> words;
  const std::string html = Capture("pdftotext -bbox -f 1 -l 1 '" + pdf + "' - 2>/dev/null");
  std::regex re(R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="([0-9.]+)" yMax="([0-9.]+)">([^<]*)</word>)re");
  for (auto it = std::sregex_iterator(html.begin(), html.end(), re); it != std::sregex_iterator(); ++it)
    words.push_back(Word{std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]), std::stod((*it)[4]), (*it)[5]});
  return words;
}

class DesignerView : public ::testing::Test {
 protected:
  // One sample folder for the whole suite: the ODBC library keeps the data
  // sources it has read for the life of the process.
  static void SetUpTestSuite() {
    if (!fs::exists(ProgramPath()) || !Have("sqlite3") || !Have("pdftotext") ||
        Capture("ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null").empty())
      return;
    char tmpl[] = "/tmp/vt_designer_XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    int status = -1;
    Capture("bash '" VT_SOURCE_DIR "/samples/make-sample' '" + dir + "' 2>&1", &status);
    if (status != 0) return;
    std::ofstream(dir + "/kmw.ini", std::ios::app) << "\n[Preferences]\nShowSplash=0\n";
    setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("VORTELLE_WINDIR", dir.c_str(), 1);
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
    SampleDocument sample;
    std::string error;
    if (sample.Write("VortelleSample", dir + "/sales.kmw", &error)) s_dir = dir;
  }
  static void TearDownTestSuite() {
    ::unsetenv("VORTELLE_WINDIR");
    if (!s_dir.empty()) fs::remove_all(s_dir);
    s_dir.clear();
  }
  void SetUp() override {
    if (s_dir.empty()) GTEST_SKIP() << "no sample: the program, sqlite3, pdftotext or the SQLite ODBC driver is missing";
    dir_ = s_dir;
  }
  void TearDown() override {
    if (app_) app_->ExitInstance();
    app_.reset();
  }

  // The program started on the report, its frame shown at 1000 x 720.
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

  static std::string s_dir;
  std::string dir_;
  std::unique_ptr<CKmApp> app_;
};
std::string DesignerView::s_dir;

TEST_F(DesignerView, ItemsStandWhereThePrintedPageHasThem) {
  int status = -1;
  const std::string output =
      Capture("cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + dir_ + "' timeout 120 '" +
                  ProgramPath() + "' /G '" + dir_ + "/sales.kmw' 2>&1",
              &status);
  ASSERT_EQ(status, 0) << output;
  const std::vector<Word> words = PdfWords(dir_ + "/sales.pdf");
  ASSERT_FALSE(words.empty());

  CMainFrame* frame = Open(dir_ + "/sales.kmw");
  ASSERT_NE(frame, nullptr);
  CKmDoc& doc = *frame->m_pDoc;
  ASSERT_TRUE(doc.m_bReportOpen);
  LayoutTables& t = *doc.m_pLayout;
  const PageSetupRec& page = *doc.m_pPageSetup;
  // Across, the layout counts character cells of a whole number of pixels
  // (10 at 96 per inch and 10 to the inch): a printed inch is pitch cells.
  // Down, layout pixels are 96 to the inch, but a line's height comes from
  // the screen's fonts on the layout and from the printer's on the page, which
  // differ by under a pixel a line: each line's step from the one above is
  // compared, and the items of a line share its printed baseline.
  const double cellsPerPoint = GridPitch(t.metrics) / 72.0;
  const int cell = CharCellWidth(t.metrics, 1);
  const double left = page.LeftMargin / 100.0 * 72.0;
  auto printedX = [&](const Word& w) { return (w.xMin - left) * cellsPerPoint * cell; };
  auto printedRight = [&](const Word& w) { return (w.xMax - left) * cellsPerPoint * cell; };
  // The page's printed lines from the top (the bottoms of their words).
  std::vector<double> printedLines;
  for (const Word& w : words)
    if (std::find_if(printedLines.begin(), printedLines.end(), [&](double y) { return std::fabs(y - w.yMax) < 0.5; }) ==
        printedLines.end())
      printedLines.push_back(w.yMax);
  std::sort(printedLines.begin(), printedLines.end());
  // The title, headings, the first customer's heading and first order line
  // print once, one after the other: layout lines 0 to 3 are printed lines 0 to 3.
  ASSERT_GE(printedLines.size(), 4u);
  // Numbers end in the field's last pixel column; everything else starts at its left.
  struct Item {
    const ReportItemHead* head;
    const Word* word;
    bool right;
  };
  std::vector<Item> items;
  auto add = [&](const ReportItemHead& h) {
    if (h.bandLine > 3) return;
    const double y = printedLines[h.bandLine];
    for (const Word& w : words)
      if (std::fabs(w.yMax - y) < 0.5) {
        if (std::fabs(printedX(w) - h.left) <= 3) {
          items.push_back({&h, &w, false});
          return;
        }
        if (std::fabs(printedRight(w) - h.right) <= 3) {
          items.push_back({&h, &w, true});
          return;
        }
      }
    ADD_FAILURE() << "nothing printed at line " << int(h.bandLine) << " x " << h.left;
  };
  for (TextItem* x = t.textHead; x != nullptr; x = x->nextText) add(x->head);
  for (FieldDef* f = doc.m_pModel->fieldList; f != nullptr; f = f->next)
    if (f->head.flags & kItemKindField) add(f->head);
  int compared = 0;
  for (const Item& it : items) {
    const double printed = it.right ? printedRight(*it.word) : printedX(*it.word);
    const int edge = it.right ? it.head->right : it.head->left;
    EXPECT_LE(std::fabs(printed - edge), 1.0) << it.word->text << " printed at x " << printed << ", layout " << edge;
    const int line = it.head->bandLine;
    if (line > 0) {
      const double printedStep = (printedLines[line] - printedLines[line - 1]) * 96.0 / 72.0;
      const int layoutStep = t.Lines().lines[line].bottom - t.Lines().lines[line - 1].bottom;
      EXPECT_LE(std::fabs(printedStep - layoutStep), 1.0) << "line " << line << " printed " << printedStep
                                                           << " below the one above, on the layout " << layoutStep;
    }
    // The item stands on its line's baseline on the layout too.
    EXPECT_EQ(it.head->bottom - it.head->descent, t.Lines().lines[line].baseline) << it.word->text;
    // And the view shows it there, less the scroll offsets.
    const RECT v = frame->m_wndLayoutView.ViewRect(*it.head);
    EXPECT_EQ(v.left, it.head->left - t.scrollX);
    EXPECT_EQ(v.bottom, it.head->bottom - t.scrollY);
    ++compared;
  }
  EXPECT_GE(compared, 9) << "headings and the first lines' fields";
}

TEST_F(DesignerView, StatusLineFollowsTheCaretAndTheCurrentObject) {
  CMainFrame* frame = Open(dir_ + "/sales.kmw");
  ASSERT_NE(frame, nullptr);
  CKmView& view = frame->m_wndLayoutView;
  CKmStatusBar& bar = frame->m_wndStatusBar;
  auto send = [&](UINT id) { SendMessageA(frame->m_hWnd, WM_COMMAND, id, 0); };
  send(20030);  // Ctrl+Home
  send(20007);  // Right
  send(20007);
  send(20001);  // Down
  EXPECT_EQ(view.CaretLine(), 1);
  EXPECT_STREQ(bar.GetPositionText(), "Line:   2   Inch: 0.20");
  // A click on the record line puts the caret there.
  const BandLineRec& rec = frame->m_pDoc->m_pLayout->Lines().lines[3];
  SendMessageA(view.m_hWnd, WM_LBUTTONDOWN, 1, MAKELPARAM(101, static_cast<WORD>(rec.baseline - 3)));
  SendMessageA(view.m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(101, static_cast<WORD>(rec.baseline - 3)));
  EXPECT_STREQ(bar.GetPositionText(), "Line:   4   Inch: 1.00");
  // Tab makes the next object current; the status line prompts for it.
  send(20014);
  ASSERT_NE(frame->m_pDoc->m_pLayout->currentItem, nullptr);
  EXPECT_STRNE(bar.GetPaneText(0), "");

  // The system's notices: another window active takes the caret; the program
  // active again brings it back; changed fonts are made again for every item.
  ASSERT_TRUE(GetShownCaret(nullptr, nullptr));
  SendMessageA(frame->m_hWnd, WM_ACTIVATE, 0, 0);
  EXPECT_FALSE(GetShownCaret(nullptr, nullptr));
  SendMessageA(frame->m_hWnd, WM_ACTIVATEAPP, 1, 0);
  HWND owner = nullptr;
  EXPECT_TRUE(GetShownCaret(&owner, nullptr));
  EXPECT_EQ(owner, view.m_hWnd);
  SendMessageA(frame->m_hWnd, WM_FONTCHANGE, 0, 0);
  for (TextItem* x = frame->m_pDoc->m_pLayout->textHead; x; x = x->nextText) EXPECT_NE(x->head.fontHandle, nullptr);
  const RECT first = view.ViewRect(frame->m_pDoc->m_pLayout->textHead->head);
  EXPECT_GT(first.right, first.left);
  // An unchanged report lets the session end.
  EXPECT_EQ(SendMessageA(frame->m_hWnd, WM_QUERYENDSESSION, 0, 0), 1);
}

TEST_F(DesignerView, ScreensSampleReportsInTheDesigner) {
  std::vector<std::string> reports{dir_ + "/sales.kmw"};
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(VT_SOURCE_DIR "/samples", ec))
    if (e.path().extension() == ".kmw" || e.path().extension() == ".KMW") reports.push_back(e.path().string());
  for (const std::string& report : reports) {
    SCOPED_TRACE(report);
    CMainFrame* frame = Open(report);
    ASSERT_NE(frame, nullptr);
    const std::string name = fs::path(report).stem().string();
    EXPECT_TRUE(SaveWindowPicture(frame->m_hWnd, ScreenPath("designer-" + name + "-top").c_str()));
    // To the end: the caret below the last used line.
    SendMessageA(frame->m_hWnd, WM_COMMAND, 20031, 0);
    EXPECT_TRUE(SaveWindowPicture(frame->m_hWnd, ScreenPath("designer-" + name + "-end").c_str()));
    if (report == reports.front()) {
      // With the grid, field names and a marked line.
      CKmView& view = frame->m_wndLayoutView;
      SendMessageA(frame->m_hWnd, WM_COMMAND, 20030, 0);
      SendMessageA(frame->m_hWnd, WM_COMMAND, 30214, 0);
      SendMessageA(frame->m_hWnd, WM_COMMAND, 30204, 0);
      const BandLineRec& rec = frame->m_pDoc->m_pLayout->Lines().lines[3];
      const int y = rec.bottom - 2 + frame->m_wndBandView.GetRulerOffset();
      SendMessageA(frame->m_wndBandView.m_hWnd, WM_LBUTTONDOWN, 1, MAKELPARAM(10, static_cast<WORD>(y)));
      SendMessageA(frame->m_wndBandView.m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(10, static_cast<WORD>(y)));
      EXPECT_TRUE(SaveWindowPicture(frame->m_hWnd, ScreenPath("designer-" + name + "-grid-names-marked").c_str()));
      HMENU line = view.BuildLinePopup();
      EXPECT_TRUE(SaveMenuPicture(line, ScreenPath("popup-line").c_str()));
      DestroyMenu(line);
      // The object popup over a field, and over empty layout.
      view.ClearSelection();
      view.UnmarkAllLines();
      ReportItemHead* field = nullptr;
      for (ReportItemHead* h = frame->m_pDoc->m_pLayout->orderHead; h; h = h->nextInOrder)
        if (h->flags & kItemKindField) field = field ? field : h;
      ASSERT_NE(field, nullptr);
      field->flags |= kItemSelected;
      frame->m_pDoc->m_pLayout->currentItem = field;
      HMENU object = view.BuildObjectPopup();
      EXPECT_TRUE(SaveMenuPicture(object, ScreenPath("popup-object-field").c_str()));
      DestroyMenu(object);
      view.ClearSelection();
      frame->m_pDoc->m_pLayout->currentItem = nullptr;
      object = view.BuildObjectPopup();
      EXPECT_TRUE(SaveMenuPicture(object, ScreenPath("popup-object-empty").c_str()));
      DestroyMenu(object);
    }
    DestroyWindow(frame->m_hWnd);
    app_.reset();
  }
}

}  // namespace
