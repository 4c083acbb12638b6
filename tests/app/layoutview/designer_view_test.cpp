// The program with the sample report open in the designer: the items stand
// where the printed PDF puts them, the status line follows the caret, and the
// pictures of the main window (top and end of each sample report) and of the
// popup menus for people to look at.
#include "app/app.h"
#include "app/document.h"
#include "app/frame_bars.h"
#include "app/sample_report.h"
#include "expr/functions_common.h"
#include "core/composite.h"
#include "files/report_io.h"
#include "foundation/units.h"
#include "layout/layout_helpers.h"
#include "layout/page_setup.h"
#include "platform/win/caret.h"
#include "platform/win/common_controls.h"
#include "platform/win/cursor.h"
#include "dialogs/edit_text.h"
#include "layout/item_tables.h"
#include "platform/win/menu.h"
#include "platform/win/ui_app.h"
#include "platform/win/window_picture.h"
#include "tests/platform/support/cut_texts.h"
#include "tests/support/screens.h"

#include "tests/support/sample_document.h"
#include "tests/support/window_sample.h"

#include "tests/support/pdf_words.h"
#include "tests/support/program_run.h"
#include "charts/chart.h"
#include "dialogs/line_box_dialog.h"
#include "layout/chart_size.h"
#include "platform/image/image_library.h"
#include "tests/dialogs/fieldeditors/dialog_steps.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
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
using Word = PdfWord;
std::vector<Word> PdfWords(const std::string& pdf) { return ReadPdfWords(pdf, 1, 1); }

// Day, month and year as digits with one of - / . between them.
bool IsDateText(const std::string& s) {
  const int most[] = {4, 2, 4};
  size_t at = 0;
  for (int part = 0; part < 3; ++part) {
    if (part > 0) {
      if (at >= s.size() || (s[at] != '-' && s[at] != '/' && s[at] != '.')) return false;
      ++at;
    }
    int digits = 0;
    while (at < s.size() && s[at] >= '0' && s[at] <= '9') ++at, ++digits;
    if (digits < 1 || digits > most[part]) return false;
  }
  return at == s.size();
}

const std::string& DesignerViewFolder();

class DesignerView : public ::testing::Test {
 protected:
  // One sample folder for the whole suite: the ODBC library keeps the data
  // sources it has read for the life of the process.
  // Made once for the process, since the editing suite derives from this one:
  // a second folder would leave the ODBC library on the first one's data sources.
  static void SetUpTestSuite() {
    if (!s_made) s_dir = window_sample::Make("/tmp/vt_designer", {"sqlite3", "pdftotext"});
    s_made = true;
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
  static bool s_made;
  friend const std::string& DesignerViewFolder();
  std::string dir_;
  std::unique_ptr<CKmApp> app_;
};
std::string DesignerView::s_dir;
bool DesignerView::s_made = false;
const std::string& DesignerViewFolder() { return DesignerView::s_dir; }
// The sample folder goes when the process ends.
const struct SampleFolderRemover {
  ~SampleFolderRemover() {
    if (!DesignerViewFolder().empty()) fs::remove_all(DesignerViewFolder());
  }
} g_sample_folder_remover;

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


// --- editing the layout by mouse and keys, then saving, reading back and printing ---

class DesignerEditing : public DesignerView {
 protected:
  // A copy of the sample report to edit.
  std::string CopyOfSample(const std::string& name) {
    const std::string path = dir_ + "/" + name + ".kmw";
    fs::copy_file(dir_ + "/sales.kmw", path, fs::copy_options::overwrite_existing);
    return path;
  }
  // The report printed by the program (/G) to the PDF beside it: page 1's words.
  std::vector<Word> Printed(const std::string& report) {
    int status = -1;
    const std::string output =
        Capture("cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + dir_ + "' timeout 120 '" +
                    ProgramPath() + "' /G '" + report + "' 2>&1",
                &status);
    EXPECT_EQ(status, 0) << output;
    return PdfWords(fs::path(report).replace_extension(".pdf").string());
  }
  void Close() {
    auto* frame = static_cast<CMainFrame*>(AfxGetThread()->m_pMainWnd);
    if (app_ && frame) DestroyWindow(frame->m_hWnd);
    if (app_) app_->ExitInstance();
    app_.reset();
  }
  FieldDef* Field(CKmDoc& doc, const char* name) {
    for (FieldDef* f = doc.m_pModel->fieldList; f != nullptr; f = f->next)
      if (std::strcmp(f->name, name) == 0 && IsPlacedField(f)) return f;
    return nullptr;
  }
  static LPARAM At(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }
  void Press(HWND w, int x, int y, WPARAM keys = 0) { SendMessageA(w, WM_LBUTTONDOWN, keys | 1, At(x, y)); }
  void MoveTo(HWND w, int x, int y, WPARAM keys = 1) { SendMessageA(w, WM_MOUSEMOVE, keys, At(x, y)); }
  void Release(HWND w, int x, int y, WPARAM keys = 0) { SendMessageA(w, WM_LBUTTONUP, keys, At(x, y)); }
  void Drag(HWND w, POINT a, POINT b, WPARAM keys = 0) {
    Press(w, a.x, a.y, keys);
    MoveTo(w, (a.x + b.x) / 2, (a.y + b.y) / 2, keys | 1);
    MoveTo(w, b.x, b.y, keys | 1);
    Release(w, b.x, b.y, keys);
  }
  void Click(HWND w, POINT p, WPARAM keys = 0) {
    Press(w, p.x, p.y, keys);
    Release(w, p.x, p.y, keys);
  }
  POINT Centre(CKmView& v, const ReportItemHead& h) {
    const RECT r = v.ViewRect(h);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  void Send(CMainFrame* f, UINT id) { SendMessageA(f->m_hWnd, WM_COMMAND, id, 0); }
  // The words printed on the line whose words end at y.
  static std::vector<Word> OnLine(const std::vector<Word>& words, double y) {
    std::vector<Word> out;
    for (const Word& w : words)
      if (std::fabs(w.yMax - y) < 0.5) out.push_back(w);
    return out;
  }
  static const Word* Find(const std::vector<Word>& words, const std::string& text) {
    for (const Word& w : words)
      if (w.text == text) return &w;
    return nullptr;
  }
  // A box over band lines first to last, as the box tool makes them.
  static LineBoxItem* AddBox(LayoutTables& t, int first, int last, int left, int right) {
    LineBoxItem box = MakeNewBox();
    const BandLineRec& top = t.Lines().lines[first];
    box.head.bandLine = static_cast<uint8_t>(first);
    box.head.left = left;
    box.head.right = right;
    box.head.top = top.bottom - top.pixelHeight + 1;
    box.head.bottom = t.Lines().lines[last].bottom;
    box.head.height = box.head.bottom - box.head.top + 1;
    LineBoxItem* b = t.linesBoxes.Append(box);
    BuildLayoutItemOrder(t);
    return b;
  }
  // A printed cell: 72 points over the ruler pitch of 10.
  static constexpr double kCellPoints = 7.2;
};

TEST_F(DesignerEditing, FiveFieldsSelectedByClicksAndABandMoveByDragAndKeys) {
  const std::vector<Word> before = Printed(dir_ + "/sales.kmw");
  const std::string report = CopyOfSample("moved");
  CMainFrame* frame = Open(report);
  ASSERT_NE(frame, nullptr);
  CKmDoc& doc = *frame->m_pDoc;
  CKmView& v = frame->m_wndLayoutView;
  const char* names[] = {"order_id", "order_date", "product", "quantity", "amount"};
  std::vector<FieldDef*> fields;
  for (const char* n : names) {
    fields.push_back(Field(doc, n));
    ASSERT_NE(fields.back(), nullptr) << n;
  }
  std::vector<int> lefts;
  for (FieldDef* f : fields) lefts.push_back(f->head.left);
  // One by a click, a second by Shift and a click, three more by a band with Ctrl.
  Click(v.m_hWnd, Centre(v, fields[0]->head));
  Click(v.m_hWnd, Centre(v, fields[1]->head), kMouseShift);
  const int y = Centre(v, fields[2]->head).y;
  Drag(v.m_hWnd, POINT{fields[1]->head.right + 8, y}, POINT{fields[4]->head.right + 8, y + 2}, kMouseControl);
  ASSERT_EQ(v.CountSelected(), 5);
  // Dragged two cells right (and a little down, which the line snapping ignores) ...
  const POINT grab = Centre(v, fields[0]->head);
  Drag(v.m_hWnd, grab, POINT{grab.x + 21, grab.y + 3});
  // The first field's anchor (its right edge: a number) lands on the cell
  // grid, and the others move with it.
  const int moved = fields[0]->head.left - lefts[0];
  EXPECT_NEAR(moved, 20, 1);
  EXPECT_EQ(GetAlignedX(*doc.m_pLayout, fields[0]->head) % 10, 0);
  for (size_t i = 0; i < fields.size(); ++i) EXPECT_EQ(fields[i]->head.left, lefts[i] + moved) << names[i];
  EXPECT_EQ(v.MoveSnapshotCount(), 5);
  // ... and one more by Edit > Move Fields and the Right key.
  Send(frame, 30150);
  SendMessageA(frame->m_hWnd, WM_COMMAND, 20007, 0);
  SendMessageA(frame->m_hWnd, WM_COMMAND, 20046, 0);
  for (size_t i = 0; i < fields.size(); ++i) {
    EXPECT_EQ(fields[i]->head.left, lefts[i] + moved + 10) << names[i];
    EXPECT_EQ(fields[i]->head.bandLine, 3) << names[i];
  }
  Send(frame, 30010);  // File > Save
  EXPECT_FALSE(doc.IsModified());
  Close();

  // Read back: the fields stand where they were put.
  frame = Open(report);
  ASSERT_NE(frame, nullptr);
  for (size_t i = 0; i < fields.size(); ++i) {
    FieldDef* f = Field(*frame->m_pDoc, names[i]);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->head.left, lefts[i] + moved + 10) << names[i];
  }
  Close();

  // Printed: every word of the first order line as far to the right.
  const std::vector<Word> after = Printed(report);
  ASSERT_FALSE(before.empty());
  ASSERT_FALSE(after.empty());
  const Word* first = Find(before, "Order");
  ASSERT_NE(first, nullptr);
  // The first order line is the fourth printed line.
  std::vector<double> ys;
  for (const Word& w : before)
    if (std::find_if(ys.begin(), ys.end(), [&](double e) { return std::fabs(e - w.yMax) < 0.5; }) == ys.end())
      ys.push_back(w.yMax);
  std::sort(ys.begin(), ys.end());
  ASSERT_GE(ys.size(), 4u);
  const std::vector<Word> line0 = OnLine(before, ys[3]), line1 = OnLine(after, ys[3]);
  ASSERT_EQ(line0.size(), line1.size());
  ASSERT_GE(line0.size(), 5u);
  for (size_t i = 0; i < line0.size(); ++i) {
    EXPECT_EQ(line1[i].text, line0[i].text);
    EXPECT_NEAR(line1[i].xMin - line0[i].xMin, (moved + 10) * kCellPoints / 10, 0.6) << line0[i].text;
  }
  // The heading line did not move.
  EXPECT_NEAR(Find(after, "Order")->xMin, first->xMin, 0.1);
}

TEST_F(DesignerEditing, FieldsAndBoxesResizeByTheirHandles) {
  const std::vector<Word> before = Printed(dir_ + "/sales.kmw");
  const std::string report = CopyOfSample("resized");
  CMainFrame* frame = Open(report);
  ASSERT_NE(frame, nullptr);
  CKmDoc& doc = *frame->m_pDoc;
  CKmView& v = frame->m_wndLayoutView;
  LayoutTables& t = *doc.m_pLayout;
  // A box drawn with Insert > Box on the blank line below the customer totals.
  Send(frame, 30450);
  const BandLineRec& blank = t.Lines().lines[5];
  Drag(v.m_hWnd, POINT{563 - t.scrollX, blank.bottom - blank.pixelHeight + 4 - t.scrollY},
       POINT{657 - t.scrollX, blank.bottom - 3 - t.scrollY});
  ASSERT_EQ(t.linesBoxes.Count(), 1);
  LineBoxItem* b = t.linesBoxes.At(0);
  EXPECT_EQ(b->head.left, 560);
  EXPECT_EQ(b->head.right, 660);
  EXPECT_EQ(b->head.bandLine, 5);
  // The amount wider by three cells at its right handle, the product narrower
  // by two at its left: each takes a width in characters by its kind.
  FieldDef* amount = Field(doc, "amount");
  FieldDef* product = Field(doc, "product");
  ASSERT_TRUE(amount && product);
  const int amountRight = amount->head.right, productLeft = product->head.left;
  const int amountWidth = amount->head.width, productWidth = product->head.width;
  Click(v.m_hWnd, Centre(v, amount->head));
  const int ay = Centre(v, amount->head).y;
  Drag(v.m_hWnd, POINT{amount->head.right + 1, ay}, POINT{amount->head.right + 31, ay});
  EXPECT_GT(static_cast<int>(amount->head.width), amountWidth);
  const int amountMoved = amount->head.right - amountRight;
  EXPECT_GT(amountMoved, 0);
  Click(v.m_hWnd, Centre(v, product->head));
  const int py = Centre(v, product->head).y;
  Drag(v.m_hWnd, POINT{product->head.left, py}, POINT{product->head.left + 20, py});
  EXPECT_EQ(product->head.left, productLeft + 20);
  EXPECT_NE(static_cast<int>(product->head.width), productWidth);
  const int amountChars = amount->head.width, productChars = product->head.width;
  // The box by each of its handles: corners, then edges.
  v.ClearSelection();
  v.SelectObject(b->head, true);
  const int top = b->head.top, bottom = b->head.bottom;
  const int mid = (top + bottom) / 2;
  Drag(v.m_hWnd, POINT{b->head.left - 1, mid}, POINT{541, mid});  // left edge to a cell
  EXPECT_EQ(b->head.left, 540);
  Drag(v.m_hWnd, POINT{b->head.right + 2, mid}, POINT{711, mid});  // right edge
  EXPECT_EQ(b->head.right, 709);
  Drag(v.m_hWnd, POINT{(b->head.left + b->head.right) / 2, b->head.bottom + 2},
       POINT{(b->head.left + b->head.right) / 2, t.Lines().lines[6].bottom - 3});  // bottom edge a line down
  EXPECT_EQ(b->head.bottom, t.Lines().lines[6].bottom);
  Drag(v.m_hWnd, POINT{b->head.right + 2, b->head.bottom + 2},
       POINT{731, t.Lines().lines[6].bottom - 3});  // bottom-right corner
  EXPECT_EQ(b->head.right, 729);
  EXPECT_EQ(b->head.bottom, t.Lines().lines[6].bottom);
  Drag(v.m_hWnd, POINT{b->head.left - 1, b->head.top - 1}, POINT{522, t.Lines().lines[4].bottom - 3});  // top-left
  EXPECT_EQ(b->head.left, 520);
  EXPECT_EQ(b->head.top, t.Lines().lines[4].bottom - t.Lines().lines[4].pixelHeight + 1);
  EXPECT_EQ(b->head.bandLine, 4);
  EXPECT_EQ(b->head.bottom, t.Lines().lines[6].bottom);
  const RECT boxRect{b->head.left, b->head.top, b->head.right, b->head.bottom};
  Send(frame, 30010);
  Close();

  frame = Open(report);
  ASSERT_NE(frame, nullptr);
  LayoutTables& t2 = *frame->m_pDoc->m_pLayout;
  ASSERT_EQ(t2.linesBoxes.Count(), 1);
  const ReportItemHead& readBox = t2.linesBoxes.At(0)->head;
  EXPECT_EQ(readBox.left, boxRect.left);
  EXPECT_EQ(readBox.right, boxRect.right);
  EXPECT_EQ(readBox.top, boxRect.top);
  EXPECT_EQ(readBox.bottom, boxRect.bottom);
  EXPECT_EQ(Field(*frame->m_pDoc, "amount")->head.width, amountChars);
  EXPECT_EQ(Field(*frame->m_pDoc, "product")->head.width, productChars);
  Close();

  // Printed: the amounts end where their field now ends; the products start two cells right.
  const std::vector<Word> after = Printed(report);
  const Word* total0 = Find(before, "Amount");
  ASSERT_NE(total0, nullptr);
  int compared = 0;
  auto totalsLine = [&](const Word& w) {
    for (const Word& t : before)
      if ((t.text == "Customer" || t.text == "Grand") && std::fabs(t.yMax - w.yMax) < 0.5) return true;
    return false;
  };
  for (const Word& w0 : before) {
    // The order lines' amounts only.
    if (w0.text.find('.') == std::string::npos || w0.xMax < total0->xMin || totalsLine(w0)) continue;
    for (const Word& w1 : after)
      if (w1.text == w0.text && std::fabs(w1.yMax - w0.yMax) < 0.5) {
        EXPECT_NEAR(w1.xMax - w0.xMax, amountMoved * kCellPoints / 10, 0.8) << w0.text;
        ++compared;
        break;
      }
  }
  EXPECT_GE(compared, 3);
  const Word* firstProduct0 = nullptr;
  const Word* firstProduct1 = nullptr;
  const Word* heading0 = Find(before, "Product");
  ASSERT_NE(heading0, nullptr);
  for (const Word& w : before)
    if (w.yMax > heading0->yMax + 20 && std::fabs(w.xMin - heading0->xMin) < 1 && firstProduct0 == nullptr) firstProduct0 = &w;
  ASSERT_NE(firstProduct0, nullptr);
  for (const Word& w : after)
    if (w.text == firstProduct0->text && std::fabs(w.yMax - firstProduct0->yMax) < 0.5) firstProduct1 = &w;
  ASSERT_NE(firstProduct1, nullptr);
  EXPECT_NEAR(firstProduct1->xMin - firstProduct0->xMin, 2 * kCellPoints, 0.6);
}

TEST_F(DesignerEditing, AFieldDraggedIntoTheGroupFooterPrintsThere) {
  const std::vector<Word> before = Printed(dir_ + "/sales.kmw");
  const std::string report = CopyOfSample("footer");
  CMainFrame* frame = Open(report);
  ASSERT_NE(frame, nullptr);
  CKmDoc& doc = *frame->m_pDoc;
  CKmView& v = frame->m_wndLayoutView;
  LayoutTables& t = *doc.m_pLayout;
  FieldDef* date = Field(doc, "order_date");
  ASSERT_NE(date, nullptr);
  ASSERT_EQ(date->head.bandLine, 3);
  const POINT c = Centre(v, date->head);
  const int step = t.Lines().lines[4].bottom - t.Lines().lines[3].bottom;
  Drag(v.m_hWnd, c, POINT{c.x, c.y + step});
  EXPECT_EQ(date->head.bandLine, 4);
  EXPECT_EQ(t.Lines().lines[4].kind, kBandGroupFooter);
  EXPECT_EQ(date->head.bottom - date->head.descent, t.Lines().lines[4].baseline) << "laid out on the footer";
  Send(frame, 30010);
  Close();

  frame = Open(report);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(Field(*frame->m_pDoc, "order_date")->head.bandLine, 4);
  Close();

  const std::vector<Word> after = Printed(report);
  // The date column's x, from the page before.
  const Word* heading = Find(before, "Date");
  ASSERT_NE(heading, nullptr);
  const Word* total = Find(after, "Customer");
  ASSERT_NE(total, nullptr);
  int onFooter = 0, elsewhere = 0;
  // Every customer's total line.
  auto onTotalLine = [&](const Word& w) {
    for (const Word& t : after)
      if (t.text == "Customer" && std::fabs(t.yMax - w.yMax) < 0.5) return true;
    return false;
  };
  for (const Word& w : after)
    if (IsDateText(w.text)) (onTotalLine(w) ? onFooter : elsewhere)++;
  EXPECT_GE(onFooter, 1) << "a date on the customer total line";
  EXPECT_EQ(elsewhere, 0) << "no date on the order lines";
  int before_dates = 0;
  for (const Word& w : before)
    if (IsDateText(w.text)) ++before_dates;
  EXPECT_GT(before_dates, 1);
}

TEST_F(DesignerEditing, TextTypedInPlaceEditedAndACancelledEdit) {
  const std::string report = CopyOfSample("typed");
  CMainFrame* frame = Open(report);
  ASSERT_NE(frame, nullptr);
  CKmDoc& doc = *frame->m_pDoc;
  CKmView& v = frame->m_wndLayoutView;
  LayoutTables& t = *doc.m_pLayout;
  const BandLineRec& title = t.Lines().lines[0];
  Click(v.m_hWnd, POINT{403 - t.scrollX, title.baseline - 3 - t.scrollY});
  ASSERT_EQ(v.m_nCaretX, 400);
  auto pump = [] { PumpUntil([] { return true; }); };
  SendMessageA(v.m_hWnd, WM_CHAR, 'D', 1);
  ASSERT_TRUE(v.EditorOpen());
  for (char ch : std::string("raft")) SendMessageA(v.TextEditor()->Window(), WM_CHAR, static_cast<unsigned char>(ch), 1);
  SendMessageA(v.TextEditor()->Window(), WM_KEYDOWN, VK_RETURN, 1);
  pump();
  ASSERT_FALSE(v.EditorOpen());
  ASSERT_NE(t.currentItem, nullptr);
  TextItem* draft = reinterpret_cast<TextItem*>(t.currentItem);
  EXPECT_STREQ(draft->text, "Draft");
  // Edited: one more letter.
  Click(v.m_hWnd, Centre(v, draft->head));
  Send(frame, 32771);
  ASSERT_TRUE(v.EditorOpen());
  SendMessageA(v.TextEditor()->Window(), WM_CHAR, 'X', 1);
  SendMessageA(v.TextEditor()->Window(), WM_KEYDOWN, VK_RETURN, 1);
  pump();
  EXPECT_STREQ(draft->text, "DraftX");
  // A cancelled edit changes nothing.
  Send(frame, 32771);
  ASSERT_TRUE(v.EditorOpen());
  for (char ch : std::string("zzz")) SendMessageA(v.TextEditor()->Window(), WM_CHAR, static_cast<unsigned char>(ch), 1);
  SendMessageA(v.TextEditor()->Window(), WM_KEYDOWN, VK_ESCAPE, 1);
  pump();
  EXPECT_FALSE(v.EditorOpen());
  EXPECT_STREQ(draft->text, "DraftX");
  Send(frame, 30010);
  Close();

  const std::vector<Word> after = Printed(report);
  const Word* typed = Find(after, "DraftX");
  ASSERT_NE(typed, nullptr);
  const Word* heading = Find(after, "Orders");
  ASSERT_NE(heading, nullptr);
  EXPECT_NEAR(typed->xMin - heading->xMin, 40 * kCellPoints, 1.0) << "at column 40";
  EXPECT_LT(std::fabs(typed->yMax - heading->yMax), 6.0) << "on the title line";
  EXPECT_EQ(Find(after, "DraftXzzz"), nullptr);
}

TEST_F(DesignerEditing, SplitterDragsAndRulerDoubleClickAsksForSpacing) {
  CMainFrame* frame = Open(dir_ + "/sales.kmw");
  ASSERT_NE(frame, nullptr);
  const int bar = frame->SplitterX();
  RECT band{};
  GetClientRect(frame->GetBandPane(), &band);
  const int y = GetMenuBarHeight(frame->m_hWnd) + 100;
  SendMessageA(frame->m_hWnd, WM_LBUTTONDOWN, 1, At(bar + 1, y));
  EXPECT_TRUE(frame->SplitterDragging());
  EXPECT_EQ(GetCursor(), frame->Cursors().Get(kCursorSplitter));
  SendMessageA(frame->m_hWnd, WM_MOUSEMOVE, 1, At(bar + 61, y));
  SendMessageA(frame->m_hWnd, WM_LBUTTONUP, 0, At(bar + 61, y));
  EXPECT_FALSE(frame->SplitterDragging());
  EXPECT_EQ(frame->SplitterX(), bar + 60);
  RECT pane{};
  GetWindowRect(frame->GetRulerPane(), &pane);
  POINT origin{pane.left, pane.top};
  ScreenToClient(frame->m_hWnd, &origin);
  EXPECT_EQ(origin.x, bar + 60 + kSplitterGap) << "the ruler pane follows";
  // The ruler's double click runs Format > Rulers; a changed spacing reaches the grid.
  int asked = 0;
  dialog_steps::OnDialog(
      [&](HWND d) {
        ++asked;
        EXPECT_EQ(ui_test::Text(d), "Ruler Spacing");
        SendDlgItemMessageA(d, 200, TBM_SETPOS, TRUE, 12);
        ui_test::Click(GetDlgItem(d, IDOK));
      },
      [&] { SendMessageA(frame->m_wndRulerView.HorizontalBar().m_hWnd, WM_LBUTTONDBLCLK, 1, At(40, 5)); });
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(frame->m_pDoc->m_pLayout->metrics.pitch, 12);
  EXPECT_TRUE(frame->m_pDoc->IsModified());
  dialog_steps::OnDialog(
      [&](HWND d) {
        ++asked;
        ui_test::Click(GetDlgItem(d, IDCANCEL));
      },
      [&] { SendMessageA(frame->m_wndRulerView.VerticalBar().m_hWnd, WM_RBUTTONDOWN, 2, At(5, 40)); });
  EXPECT_EQ(asked, 2);
  frame->m_pDoc->SetModifiedFlag(FALSE);
  // The screen's colours: the frame answers for its pictures (none here).
  EXPECT_EQ(SendMessageA(frame->m_hWnd, WM_QUERYNEWPALETTE, 0, 0), 0);
  SendMessageA(frame->m_hWnd, WM_PALETTECHANGED, 0, 0);
}

TEST_F(DesignerEditing, ScreensSelectionHandlesAndInPlaceEditor) {
  CMainFrame* frame = Open(dir_ + "/sales.kmw");
  ASSERT_NE(frame, nullptr);
  CKmDoc& doc = *frame->m_pDoc;
  CKmView& v = frame->m_wndLayoutView;
  LayoutTables& t = *doc.m_pLayout;
  LineBoxItem* b = AddBox(t, 2, 4, 640, 759);
  ASSERT_NE(b, nullptr);
  Click(v.m_hWnd, Centre(v, Field(doc, "order_id")->head));
  Click(v.m_hWnd, Centre(v, Field(doc, "product")->head), kMouseShift);
  Click(v.m_hWnd, POINT{b->head.left - t.scrollX, (b->head.top + b->head.bottom) / 2 - t.scrollY}, kMouseControl);
  ASSERT_EQ(v.CountSelected(), 3);
  PumpUntil([] { return true; });
  EXPECT_TRUE(SaveWindowPicture(frame->m_hWnd, ScreenPath("designer-selection-handles").c_str()));
  // A band being drawn.
  Press(v.m_hWnd, 30, t.Lines().lines[5].bottom - 4 - t.scrollY);
  MoveTo(v.m_hWnd, 420, t.Lines().lines[6].bottom + 20 - t.scrollY);
  PumpUntil([] { return true; });
  EXPECT_TRUE(SaveWindowPicture(frame->m_hWnd, ScreenPath("designer-rubber-band").c_str()));
  Send(frame, 20045);
  Release(v.m_hWnd, 420, t.Lines().lines[6].bottom + 20 - t.scrollY);
  // The in-place editor open on the title line, once the band's messages are done.
  PumpUntil([] { return true; });
  Click(v.m_hWnd, POINT{403 - t.scrollX, t.Lines().lines[0].baseline - 3 - t.scrollY});
  SendMessageA(v.m_hWnd, WM_CHAR, 'N', 1);
  ASSERT_TRUE(v.EditorOpen());
  for (char ch : std::string("ew text")) {
    ASSERT_NE(v.TextEditor(), nullptr) << "the editor closed before '" << ch << "'";
    SendMessageA(v.TextEditor()->Window(), WM_CHAR, static_cast<unsigned char>(ch), 1);
  }
  // The bars' idle update leaves the entry open (the format bar came with the report).
  doc.m_pBars->UpdateActionBar();
  doc.m_pBars->UpdateFormatBar();
  ASSERT_NE(v.TextEditor(), nullptr);
  PumpUntil([] { return true; });
  EXPECT_TRUE(SaveWindowPicture(frame->m_hWnd, ScreenPath("designer-in-place-editor").c_str()));
  ASSERT_NE(v.TextEditor(), nullptr);
  SendMessageA(v.TextEditor()->Window(), WM_KEYDOWN, VK_ESCAPE, 1);
  PumpUntil([] { return true; });
  doc.SetModifiedFlag(FALSE);
}

// --- Duplicate Fields, centring, the line and box dialogs, the outline tools ---

// Field items on a band line (copies of fields count too).
int FieldsOnLine(CKmDoc& doc, int line) {
  int n = 0;
  for (FieldDef* f = doc.m_pModel->fieldList; f != nullptr; f = f->next)
    if ((f->head.flags & kItemKindField) && f->head.bandLine == line) ++n;
  return n;
}

TEST_F(DesignerEditing, DuplicateFieldsPlacedByKeysAndATitleCentred) {
  const std::vector<Word> before = Printed(dir_ + "/sales.kmw");
  const std::string report = CopyOfSample("duplicated");
  CMainFrame* frame = Open(report);
  ASSERT_NE(frame, nullptr);
  CKmDoc& doc = *frame->m_pDoc;
  CKmView& v = frame->m_wndLayoutView;
  LayoutTables& t = *doc.m_pLayout;
  FieldDef* country = Field(doc, "country");
  ASSERT_NE(country, nullptr);
  const int onGroup = FieldsOnLine(doc, 2);
  const int countryLeft = country->head.left;
  // A copy let go where it started leaves nothing behind.
  Click(v.m_hWnd, Centre(v, Field(doc, "company")->head));
  Send(frame, 30160);
  EXPECT_EQ(FieldsOnLine(doc, 2), onGroup + 1);
  Send(frame, 20046);
  EXPECT_EQ(FieldsOnLine(doc, 2), onGroup);
  EXPECT_EQ(v.MoveSnapshotCount(), 0);
  // The country copied and put twenty cells to the right with Ctrl+Right.
  Click(v.m_hWnd, Centre(v, country->head));
  Send(frame, 30160);
  for (int i = 0; i < 4; ++i) Send(frame, 20009);
  Send(frame, 20046);
  ASSERT_EQ(FieldsOnLine(doc, 2), onGroup + 1);
  EXPECT_EQ(country->head.left, countryLeft) << "the source stays";
  EXPECT_FALSE(country->head.flags & kItemSelected);
  ASSERT_EQ(v.CountSelected(), 1);
  EXPECT_EQ(v.FirstSelected()->left, countryLeft + 200);
  // Ctrl+F7 centres the title in the report's width (75 cells).
  TextItem* title = nullptr;
  for (TextItem* x = t.textHead; x != nullptr; x = x->nextText)
    if (std::strcmp(x->text, "Orders by customer") == 0) title = x;
  ASSERT_NE(title, nullptr);
  Click(v.m_hWnd, Centre(v, title->head));
  Send(frame, 20044);
  EXPECT_EQ(title->alignment & 0xF0, kAlignCentre);
  EXPECT_NEAR((title->head.left + title->head.right) / 2.0, 375, 1.0);
  Send(frame, 30010);
  Close();

  frame = Open(report);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(FieldsOnLine(*frame->m_pDoc, 2), onGroup + 1);
  Close();

  const std::vector<Word> after = Printed(report);
  const double left = 36;  // half-inch margin
  // Each customer's country printed twice, the copy twenty cells on.
  int pairs = 0;
  for (const Word& w : before) {
    if (std::fabs(w.xMin - (left + 32 * kCellPoints)) > 1.0) continue;
    const Word* copy = nullptr;
    for (const Word& a : after)
      if (a.text == w.text && std::fabs(a.yMax - w.yMax) < 0.5 && std::fabs(a.xMin - w.xMin - 20 * kCellPoints) < 1.0)
        copy = &a;
    EXPECT_NE(copy, nullptr) << w.text;
    ++pairs;
  }
  EXPECT_GE(pairs, 2);
  const Word* first = Find(after, "Orders");
  const Word* last = Find(after, "customer");
  ASSERT_TRUE(first && last);
  EXPECT_NEAR((first->xMin + last->xMax) / 2, left + 37.5 * kCellPoints, kCellPoints) << "centred on the page";
}

TEST_F(DesignerEditing, ScreensLineAndBoxPropertiesFromTheMenuAndADoubleClick) {
  using dialog_steps::OnDialog;
  const std::string report = CopyOfSample("lineboxes");
  CMainFrame* frame = Open(report);
  ASSERT_NE(frame, nullptr);
  CKmDoc& doc = *frame->m_pDoc;
  CKmView& v = frame->m_wndLayoutView;
  LayoutTables& t = *doc.m_pLayout;
  const BandLineRec& blank = t.Lines().lines[5];
  const int top = blank.bottom - blank.pixelHeight + 4 - t.scrollY, bottom = blank.bottom - 3 - t.scrollY;
  // Two boxes and a line drawn with the tools on the blank line.
  Send(frame, 30450);
  Drag(v.m_hWnd, POINT{63 - t.scrollX, top}, POINT{157 - t.scrollX, bottom});
  Send(frame, 30450);
  Drag(v.m_hWnd, POINT{203 - t.scrollX, top}, POINT{297 - t.scrollX, bottom});
  Send(frame, 30440);
  Drag(v.m_hWnd, POINT{643 - t.scrollX, bottom}, POINT{737 - t.scrollX, bottom});
  ASSERT_EQ(t.linesBoxes.Count(), 3);
  LineBoxItem* a = t.linesBoxes.At(0);
  LineBoxItem* b = t.linesBoxes.At(1);
  LineBoxItem* line = t.linesBoxes.At(2);
  ASSERT_TRUE((a->head.flags & kItemKindBox) && (line->head.flags & kItemKindLine));
  // Format > Properties on both boxes: the first box's dialog, its choices for both.
  v.ClearSelection();
  v.SelectObject(a->head, true);
  v.SelectObject(b->head, true);
  OnDialog([&](HWND d) {
    EXPECT_EQ(ui_test::Text(d), "Box Properties");
    EXPECT_EQ(IsDlgButtonChecked(d, kBoxShowLeft), static_cast<UINT>(BST_CHECKED));
    SendDlgItemMessageA(d, kLineBoxThickness, CB_SETCURSEL, 2, 0);  // 4
    SendDlgItemMessageA(d, kLineBoxColour, CB_SETCURSEL, 12, 0);    // Blue
    CheckDlgButton(d, kBoxShowLeft, BST_UNCHECKED);
    SendDlgItemMessageA(d, kBoxPattern, CB_SETCURSEL, 4, 0);     // Cross
    SendDlgItemMessageA(d, kBoxBackground, CB_SETCURSEL, 11, 0);  // Yellow
    EXPECT_TRUE(SaveWindowPicture(d, ScreenPath("box-properties").c_str()));
    EXPECT_EQ(CutControlTexts(d), std::vector<std::string>{}) << "labels and every colour's name show whole";
    ui_test::Click(GetDlgItem(d, IDOK));
  }, [&] { Send(frame, 30504); });
  // The dialog edits the current box (the first selected in item order).
  ASSERT_TRUE(t.currentItem == &a->head || t.currentItem == &b->head);
  LineBoxItem* edited = t.currentItem == &a->head ? a : b;
  LineBoxItem* other = edited == a ? b : a;
  EXPECT_EQ(edited->thickness, 4);
  EXPECT_EQ(edited->borders & 0xF, kBorderRight | kBorderTop | kBorderBottom);
  EXPECT_EQ(edited->pattern, 4);
  EXPECT_EQ(edited->backColour, 11);
  EXPECT_EQ(other->thickness, 4) << "the other box takes the attributes";
  EXPECT_EQ(other->borderColour, 12);
  EXPECT_EQ(other->backColour, 11);
  EXPECT_EQ(other->pattern, 4);
  EXPECT_EQ(other->borders & 0xF, 0xF) << "but keeps its sides";
  // A double click on the line opens its dialog; Cancel changes nothing.
  const POINT onLine{690 - t.scrollX, line->head.top - t.scrollY};
  OnDialog([&](HWND d) { ui_test::Click(GetDlgItem(d, IDCANCEL)); },
           [&] { SendMessageA(v.m_hWnd, WM_LBUTTONDBLCLK, 1, At(onLine.x, onLine.y)); });
  EXPECT_EQ(line->thickness, 1);
  OnDialog([&](HWND d) {
    EXPECT_EQ(ui_test::Text(d), "Line Properties");
    EXPECT_EQ(GetDlgItem(d, kBoxPattern), nullptr);
    SendDlgItemMessageA(d, kLineBoxThickness, CB_SETCURSEL, 1, 0);  // 2
    SendDlgItemMessageA(d, kLineBoxColour, CB_SETCURSEL, 9, 0);     // Red
    EXPECT_TRUE(SaveWindowPicture(d, ScreenPath("line-properties").c_str()));
    ui_test::Click(GetDlgItem(d, IDOK));
  }, [&] { SendMessageA(v.m_hWnd, WM_LBUTTONDBLCLK, 1, At(onLine.x, onLine.y)); });
  EXPECT_EQ(line->thickness, 2);
  EXPECT_EQ(line->borderColour, 9);
  PumpUntil([] { return true; });
  EXPECT_TRUE(SaveWindowPicture(frame->m_hWnd, ScreenPath("designer-lines-and-boxes").c_str()));
  Send(frame, 30010);
  Close();

  frame = Open(report);
  ASSERT_NE(frame, nullptr);
  LayoutTables& t2 = *frame->m_pDoc->m_pLayout;
  ASSERT_EQ(t2.linesBoxes.Count(), 3);
  int boxes = 0, lines = 0;
  for (int i = 0; i < 3; ++i) {
    const LineBoxItem& x = *t2.linesBoxes.At(i);
    if (x.head.flags & kItemKindBox) {
      ++boxes;
      EXPECT_EQ(x.thickness, 4);
      EXPECT_EQ(x.pattern, 4);
      EXPECT_EQ(x.borderColour, 12);
      EXPECT_EQ(x.backColour, 11);
    } else {
      ++lines;
      EXPECT_EQ(x.thickness, 2);
      EXPECT_EQ(x.borderColour, 9);
    }
  }
  EXPECT_EQ(boxes, 2);
  EXPECT_EQ(lines, 1);
  Close();
  const std::vector<Word> after = Printed(report);
  EXPECT_NE(Find(after, "Grand"), nullptr) << "the report prints with its boxes and line";
}

TEST_F(DesignerEditing, ScreensPictureAndChartOutlinedResizedAndPrinted) {
  using dialog_steps::OnDialog;
  const std::string report = CopyOfSample("outlined");
  // A picture twice as wide as high.
  const std::string png = dir_ + "/outlined-logo.png";
  {
    ImageLibrary lib;
    std::vector<uint8_t> px(80 * 40 * 4, 0x80);
    void* image = lib.ImgCreateHandle(80, 40, px.data(), px.size());
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(lib.ImgSaveBitmap(image, png.c_str()), 0);
    lib.ImgDeleteBitmap(image);
  }
  CMainFrame* frame = Open(report);
  ASSERT_NE(frame, nullptr);
  CKmDoc& doc = *frame->m_pDoc;
  CKmView& v = frame->m_wndLayoutView;
  LayoutTables& t = *doc.m_pLayout;
  // Insert > Picture: the tool's cursor and prompt, then an outline on the title line.
  Send(frame, 30460);
  EXPECT_EQ(v.ToolMode(), 0x21u);
  const BandLineRec& title = t.Lines().lines[0];
  const int titleTop = title.bottom - title.pixelHeight + 1 - t.scrollY;
  Press(v.m_hWnd, 603 - t.scrollX, titleTop + 1);
  MoveTo(v.m_hWnd, 700 - t.scrollX, titleTop + 80);
  PumpUntil([] { return true; });
  EXPECT_TRUE(SaveWindowPicture(frame->m_hWnd, ScreenPath("designer-picture-outline").c_str()));
  dialog_steps::OnFileDialog([&](const ui_test::FileDialogHandle& fd) {
    EXPECT_NE(fd.NameFilter().find("All Picture Files"), std::string::npos) << fd.NameFilter();
    EXPECT_TRUE(fd.SavePicture(ScreenPath("dialog-picture-file")));
    fd.Choose(png);
  }, [&] { Release(v.m_hWnd, 700 - t.scrollX, titleTop + 80); });
  EXPECT_EQ(v.ToolMode(), 0u);
  ASSERT_EQ(t.pictures.Count(), 1);
  const ReportItemHead& pic = t.pictures.At(0)->head;
  EXPECT_EQ(pic.left, 600);
  EXPECT_LE(pic.right, 700);
  EXPECT_NEAR((pic.right - pic.left + 1) / double(pic.bottom - pic.top + 1), 2.0, 0.1) << "the aspect kept";
  // Insert > Chart: an outline from the Summary line; its sheet sets up a pie.
  Send(frame, 30470);
  EXPECT_EQ(v.ToolMode(), 0x11u);
  const BandLineRec& summary = t.Lines().lines[6];
  const int y0 = summary.bottom - summary.pixelHeight + 2 - t.scrollY;
  Press(v.m_hWnd, 42 - t.scrollX, y0);
  MoveTo(v.m_hWnd, 300 - t.scrollX, y0 + 150);
  OnDialog([&](HWND d) {
    auto pick = [&](int id, UINT find, const char* text) {
      return SendDlgItemMessageA(d, id, find, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text));
    };
    SendDlgItemMessageA(d, 500, CB_SETCURSEL, pick(500, CB_FINDSTRINGEXACT, "Pie"), 0);
    SendDlgItemMessageA(d, 510, CB_SETCURSEL, pick(510, CB_FINDSTRINGEXACT, "Group 1"), 0);
    SendDlgItemMessageA(d, 511, CB_SETCURSEL, pick(511, CB_FINDSTRINGEXACT, "company"), 0);
    SendDlgItemMessageA(d, 512, LB_SETSEL, TRUE, pick(512, LB_FINDSTRINGEXACT, "CustomerTotal"));
    SetDlgItemTextA(d, 520, "Outlined");
    ui_test::Click(GetDlgItem(d, IDOK));
  }, [&] { Release(v.m_hWnd, 300 - t.scrollX, y0 + 150); });
  ASSERT_EQ(t.charts.Count(), 1);
  ChartTableEntry& chart = *t.charts.At(0);
  EXPECT_EQ(chart.head.left, 40);
  EXPECT_EQ(chart.head.right, 300);
  EXPECT_EQ(chart.head.bandLine, 6);
  // Wider by its right handle: the stored size follows.
  const uint32_t width0 = chart.sizeWords[0];
  EXPECT_EQ(width0, 260u) << "hundredths of an inch";
  v.ClearSelection();
  v.SelectObject(chart.head, true);
  const int mid = (chart.head.top + chart.head.bottom) / 2 - t.scrollY;
  Drag(v.m_hWnd, POINT{chart.head.right + 1 - t.scrollX, mid}, POINT{401 - t.scrollX, mid});
  EXPECT_EQ(chart.head.right, 399);
  EXPECT_EQ(chart.sizeWords[0], 359u);
  PumpUntil([] { return true; });
  EXPECT_TRUE(SaveWindowPicture(frame->m_hWnd, ScreenPath("designer-picture-and-chart-placed").c_str()));
  const RECT chartRect{chart.head.left, chart.head.top, chart.head.right, chart.head.bottom};
  const uint32_t heightWord = chart.sizeWords[1];
  Send(frame, 30010);
  Close();

  frame = Open(report);
  ASSERT_NE(frame, nullptr);
  LayoutTables& t2 = *frame->m_pDoc->m_pLayout;
  ASSERT_EQ(t2.charts.Count(), 1);
  ASSERT_EQ(t2.pictures.Count(), 1);
  const ChartTableEntry& read = *t2.charts.At(0);
  EXPECT_EQ(read.sizeWords[0], 359u);
  EXPECT_EQ(read.sizeWords[1], heightWord);
  EXPECT_EQ(read.head.right - read.head.left, chartRect.right - chartRect.left);
  EXPECT_NE(std::string(t2.pictures.At(0)->fileName).find("outlined-logo.png"), std::string::npos);
  Close();
  const std::vector<Word> after = Printed(report);
  EXPECT_NE(Find(after, "Outlined"), nullptr) << "the chart's title printed";
  const std::string images = Capture("pdfimages -list '" + dir_ + "/outlined.pdf' 2>/dev/null");
  EXPECT_NE(images.find("image"), std::string::npos) << images;
}

// Two charts outlined on the Summary line, one tied to its bottom band line,
// both stretched up into the blank group footer by their top handles: the top
// one goes with the footer and prints once per customer, the bottom one stays
// with the Summary line under it and prints once.
TEST_F(DesignerEditing, ChartsResizedIntoTheFooterKeepTheBandLineOfTheirAnchor) {
  using dialog_steps::OnDialog;
  const std::string report = CopyOfSample("anchored");
  CMainFrame* frame = Open(report);
  ASSERT_NE(frame, nullptr);
  CKmDoc& doc = *frame->m_pDoc;
  CKmView& v = frame->m_wndLayoutView;
  LayoutTables& t = *doc.m_pLayout;
  // The report opened says charts can be placed: Insert > Chart is enabled.
  EXPECT_NE(doc.m_nChartWord, 0);
  EXPECT_TRUE(frame->IsCommandEnabled(30470));
  auto place = [&](int left, int right, const char* title, bool bottom) {
    Send(frame, 30470);
    EXPECT_EQ(v.ToolMode(), 0x11u);
    const BandLineRec& summary = t.Lines().lines[6];
    const int y0 = summary.bottom - summary.pixelHeight + 2 - t.scrollY;
    Press(v.m_hWnd, left + 2 - t.scrollX, y0);
    MoveTo(v.m_hWnd, right - t.scrollX, y0 + 150);
    OnDialog([&](HWND d) {
      auto pick = [&](int id, UINT find, const char* text) {
        return SendDlgItemMessageA(d, id, find, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text));
      };
      SendDlgItemMessageA(d, 500, CB_SETCURSEL, pick(500, CB_FINDSTRINGEXACT, "Pie"), 0);
      SendDlgItemMessageA(d, 510, CB_SETCURSEL, pick(510, CB_FINDSTRINGEXACT, "Group 1"), 0);
      SendDlgItemMessageA(d, 511, CB_SETCURSEL, pick(511, CB_FINDSTRINGEXACT, "company"), 0);
      SendDlgItemMessageA(d, 512, LB_SETSEL, TRUE, pick(512, LB_FINDSTRINGEXACT, "CustomerTotal"));
      CheckDlgButton(d, 505, bottom ? BST_CHECKED : BST_UNCHECKED);
      SetDlgItemTextA(d, 520, title);
      ui_test::Click(GetDlgItem(d, IDOK));
    }, [&] { Release(v.m_hWnd, right - t.scrollX, y0 + 150); });
    ChartTableEntry* e = t.charts.At(t.charts.Count() - 1);
    EXPECT_EQ(e->head.bandLine, 6) << "placed on the line of its top";
    EXPECT_EQ(ChartOf(*e)->GetAnchorMode() != 0, bottom);
    return e;
  };
  ChartTableEntry* top = place(40, 300, "Topchart", false);
  ChartTableEntry* bottom = place(360, 620, "Bottomchart", true);
  ASSERT_EQ(t.charts.Count(), 2);
  // Each stretched up by its top handle into the blank footer line.
  const BandLineRec& footer = t.Lines().lines[5];
  const int footerTop = footer.bottom - footer.pixelHeight + 1;
  for (ChartTableEntry* e : {top, bottom}) {
    v.ClearSelection();
    v.SelectObject(e->head, true);
    const int mid = (e->head.left + e->head.right) / 2 - t.scrollX;
    Drag(v.m_hWnd, POINT{mid, e->head.top - t.scrollY}, POINT{mid, footerTop + 3 - t.scrollY});
    EXPECT_EQ(e->head.top, footerTop);
  }
  const int under = [&] {
    for (int i = 0; i < kBandLineCount; ++i)
      if (bottom->head.bottom <= t.Lines().lines[i].bottom) return i;
    return -1;
  }();
  EXPECT_EQ(top->head.bandLine, 5) << "a top-anchored chart goes with the line under its top";
  EXPECT_EQ(bottom->head.bandLine, under) << "a bottom-anchored chart stays with the line under its bottom";
  EXPECT_EQ(t.Lines().lines[under].kind, kBandSummary);
  EXPECT_EQ(bottom->head.top, footerTop) << "the relayout keeps it where it was stretched to";
  PumpUntil([] { return true; });
  EXPECT_TRUE(SaveWindowPicture(frame->m_hWnd, ScreenPath("designer-charts-anchored").c_str()));
  Send(frame, 30010);
  Close();

  frame = Open(report);
  ASSERT_NE(frame, nullptr);
  LayoutTables& t2 = *frame->m_pDoc->m_pLayout;
  ASSERT_EQ(t2.charts.Count(), 2);
  EXPECT_EQ(t2.charts.At(0)->head.bandLine, 5);
  EXPECT_EQ(t2.charts.At(1)->head.bandLine, under);
  // File > Close: no report, so no charts to place until one is opened.
  Send(frame, 30000);
  EXPECT_EQ(frame->m_pDoc->m_nChartWord, 0);
  EXPECT_FALSE(frame->IsCommandEnabled(30470));
  Close();
  Printed(report);
  const std::string text = Capture("pdftotext '" + dir_ + "/anchored.pdf' - 2>/dev/null");
  auto count = [&](const std::string& word) {
    int n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
    return n;
  };
  EXPECT_GT(count("Topchart"), 1) << "once in each customer's footer";
  EXPECT_EQ(count("Bottomchart"), 1) << "once, in the Summary";
}

}  // namespace
