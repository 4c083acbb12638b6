// The sample report as a new user goes on drawing it: the caret goes below
// the last band line and what is drawn there stays where drawn, the page
// set-up's top margin places the first line, a filled box frames a total
// without hiding it, the status line gives drawn sizes in the layout's
// inches, and a join adds no layout items. Each scenario saves,
// reads the report back and prints it; the PDF is read back.
#include "tests/app/newuser/new_user_fixture.h"
#include "tests/app/filemenu/file_menu_fixture.h"

#include "app/recent_files.h"
#include "core/composite.h"
#include "designer/design_view.h"
#include "dialogs/line_box_dialog.h"
#include "layout/item_tables.h"
#include "layout/layout_records.h"
#include "tests/support/pdf_words.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace new_user {
namespace {

constexpr UINT kFilePrint = 30030;
constexpr UINT kFileSave = 30010;
constexpr UINT kPageSetup = 30512;
constexpr UINT kLineTool = 30440;
constexpr UINT kBoxTool = 30450;
constexpr UINT kChartTool = 30470;
constexpr UINT kObjectProperties = 30504;
constexpr UINT kJoins = 30610;

void Mouse(HWND window, QEvent::Type type, int x, int y) {
  QWidget* w = window->widget.data();
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent e(type, QPoint(x, y), w->mapToGlobal(QPoint(x, y)),
                type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

void Press(HWND d, int id) { SendMessageA(d, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

// Picks the entry of a field combo or list that names the field.
void SelectNamed(HWND dialog, int control, const std::string& name, bool combo) {
  HWND box = GetDlgItem(dialog, control);
  const int n = static_cast<int>(SendMessageA(box, combo ? UINT{CB_GETCOUNT} : UINT{LB_GETCOUNT}, 0, 0));
  for (int i = 0; i < n; ++i) {
    char text[300] = {};
    SendMessageA(box, combo ? UINT{CB_GETLBTEXT} : UINT{LB_GETTEXT}, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    const std::string t = text;
    if (t == name || (t.size() > 2 && t.compare(2, name.size(), name) == 0 &&
                      (t.size() == 2 + name.size() || t[2 + name.size()] == ' '))) {
      SendMessageA(box, combo ? UINT{CB_SETCURSEL} : UINT{LB_SETCURSEL}, static_cast<WPARAM>(i), 0);
      SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(control, combo ? UINT{CBN_SELCHANGE} : UINT{LBN_SELCHANGE}),
                   reinterpret_cast<LPARAM>(box));
      return;
    }
  }
  ADD_FAILURE() << name << " is not offered";
}

class DrawnReport : public NewUser {
 protected:
  CKmView& View() { return MainFrame().m_wndLayoutView; }
  HWND ViewWindow() { return View().m_hWnd; }
  LayoutTables& Layout() { return *Doc().m_pLayout; }
  const BandLineRec& LineRec(int i) { return Doc().m_bandLines.lines[i]; }
  int Last() { return Doc().m_bandLines.lastUsed; }
  // The y of the view that far below the last band line.
  int BelowReport(int pixels) { return LineRec(Last()).bottom + pixels - Layout().scrollY; }
  void Drag(HWND w, POINT from, POINT to) {
    Mouse(w, QEvent::MouseButtonPress, from.x, from.y);
    Mouse(w, QEvent::MouseMove, (from.x + to.x) / 2, (from.y + to.y) / 2);
    Mouse(w, QEvent::MouseMove, to.x, to.y);
    Mouse(w, QEvent::MouseButtonRelease, to.x, to.y);
  }
  // The dialog of that caption when it shows, given to act once.
  std::function<bool()> OnDialog(const std::string& caption, std::function<void(HWND)> act) {
    return [caption, act] {
      HWND d = ui_test::ActiveDialog();
      if (d == nullptr || ui_test::Text(d) != caption || !ui_test::TakeAnswerMark(d)) return false;
      act(d);
      return true;
    };
  }
  // Ctrl+S, the report read back from the recent-file list, printed: the PDF.
  std::string SaveReopenPrint() {
    SendMessageA(Frame(), WM_COMMAND, kFileSave, 0);
    EXPECT_FALSE(Doc().IsModified());
    SendMessageA(Frame(), WM_COMMAND, kCmdRecentFileFirst, 0);
    EXPECT_TRUE(Doc().m_bReportOpen);
    EXPECT_TRUE(Run(kFilePrint, {}));
    return Dir() + "/sales.pdf";
  }
  static int Pages(const std::string& pdf) {
    const std::string info = program_run::Capture("pdfinfo '" + pdf + "' 2>/dev/null");
    const size_t at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
  }
};

// Ctrl+Home, Page Down, Page Up and Ctrl+End move the caret by ten lines or
// to the ends, on past the report's last line, scrolling as they go; a click
// in the white space under the report puts the caret on the empty line under
// the pointer, and Insert > Band Line (Shift+F11) grows the report down to
// it with lines of the last band. Saved, read back and printed.
TEST_F(DrawnReport, TheCaretGoesBelowTheReportAndBandLineGrowsItThere) {
  ASSERT_NE(Start(), nullptr);
  const int last = Last();
  const BYTE lastKind = LineRec(last).kind;
  const int height = View().ClientHeight();
  ASSERT_GT(height, 0);
  const int total = LineRec(kBandLineCount - 1).bottom;
  auto expectCaret = [&](int line, int scroll, const char* what) {
    EXPECT_EQ(View().CaretLine(), line) << what;
    EXPECT_EQ(Layout().scrollY, scroll) << what;
  };

  ui_test::Key(ViewWindow(), Qt::Key_Home, Qt::ControlModifier);
  expectCaret(0, 0, "Ctrl+Home");
  // Page Down: ten lines at a time, below the last line too; a line below
  // the view scrolls it to the middle (never past the table's end).
  int line = 0, scroll = 0;
  for (int presses = 0; presses < 6; ++presses) {
    line = std::min(kBandLineCount - 1, line + 10);
    const int bottom = LineRec(line).bottom;
    if (bottom >= scroll + height) scroll = std::max(0, std::min(bottom - height / 2, total - height));
    ui_test::Key(ViewWindow(), Qt::Key_PageDown);
    expectCaret(line, scroll, "Page Down");
    EXPECT_EQ(View().CaretY(), LineRec(line).baseline);
  }
  EXPECT_GT(line, last) << "the caret went below the report";
  EXPECT_GT(scroll, 0) << "the view followed it";
  // Page Up: ten lines back; a line above the view brings it back.
  line -= 10;
  {
    const BandLineRec& r = LineRec(line);
    if (r.bottom - r.pixelHeight < scroll) scroll = r.bottom > height ? std::max(0, r.bottom - height / 2) : 0;
  }
  ui_test::Key(ViewWindow(), Qt::Key_PageUp);
  expectCaret(line, scroll, "Page Up");
  // Ctrl+End: the line after the last used one, at the left, in view.
  const BandLineRec& after = LineRec(last + 1);
  ui_test::Key(ViewWindow(), Qt::Key_End, Qt::ControlModifier);
  expectCaret(last + 1, std::max(0, after.bottom + after.pixelHeight - height - 1), "Ctrl+End");
  EXPECT_EQ(View().m_nCaretX, 0);
  EXPECT_EQ(View().CaretY(), after.baseline);

  // A click three lines under the report: the caret on the line under the pointer.
  const int lineHeight = after.pixelHeight;
  const int y = BelowReport(lineHeight * 3 - lineHeight / 2);
  Mouse(ViewWindow(), QEvent::MouseButtonPress, 100, y);
  Mouse(ViewWindow(), QEvent::MouseButtonRelease, 100, y);
  const int clicked = BandAtY(Doc().m_bandLines, y + Layout().scrollY);
  EXPECT_EQ(clicked, last + 3);
  EXPECT_EQ(View().CaretLine(), clicked) << "a click below the report";
  char position[32];
  std::snprintf(position, sizeof position, "Line: %3d", clicked + 1);
  EXPECT_EQ(std::string(MainFrame().m_wndStatusBar.GetPaneText(1)).rfind(position, 0), 0u)
      << MainFrame().m_wndStatusBar.GetPaneText(1);
  EXPECT_EQ(Last(), last) << "a click grows nothing";
  // Shift+F11: the report grows down to the caret's line, with the last band's lines.
  ui_test::Key(ViewWindow(), Qt::Key_F11, Qt::ShiftModifier);
  ASSERT_EQ(Last(), clicked);
  for (int i = last + 1; i <= clicked; ++i) EXPECT_EQ(LineRec(i).kind, lastKind) << i;
  EXPECT_TRUE(Doc().IsModified());

  const std::string pdf = SaveReopenPrint();
  EXPECT_EQ(Last(), clicked);
  EXPECT_EQ(LineRec(clicked).kind, lastKind);
  EXPECT_NE(program_run::Capture("pdftotext '" + pdf + "' -").find("Grand total"), std::string::npos);
}

// A box, a line and a chart drawn in the white space below the report stay
// where they were drawn: the report grows down to them as typing there
// grows it, and each is on the line under its top. Saved, read back and
// printed, the box is on paper where the grown lines print.
TEST_F(DrawnReport, ObjectsDrawnBelowTheReportStayWhereDrawn) {
  ASSERT_NE(Start(), nullptr);
  const int last = Last();
  const BYTE lastKind = LineRec(last).kind;
  const int lastBottom = LineRec(last).bottom;
  // Scrolled with the scroll bar until the report's end is near the top.
  const int thumb = std::max(0, (lastBottom - 40) / 10);
  SendMessageA(MainFrame().m_wndRulerView.m_hWnd, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, thumb), 0);
  ASSERT_LT(BelowReport(240), View().ClientHeight());
  // The lines under layout y as they are laid out now (the empty ones too).
  auto lineAt = [&](int viewY) { return BandAtY(Doc().m_bandLines, viewY + Layout().scrollY); };
  auto topOf = [&](int i) { return LineRec(i).bottom - LineRec(i).pixelHeight + 1; };

  // A box from 30 to 90 pixels under the report: snapped to the lines under
  // its corners, not moved up onto the report.
  SendMessageA(Frame(), WM_COMMAND, kBoxTool, 0);
  const int boxTop = lineAt(BelowReport(30)), boxBottom = lineAt(BelowReport(90));
  const int boxTopY = topOf(boxTop), boxBottomY = LineRec(boxBottom).bottom;
  Drag(ViewWindow(), POINT{60, BelowReport(30)}, POINT{200, BelowReport(90)});
  ASSERT_EQ(Layout().linesBoxes.Count(), 1);
  const ReportItemHead& box = Layout().linesBoxes.At(0)->head;
  EXPECT_EQ(box.top, boxTopY);
  EXPECT_EQ(box.bottom, boxBottomY);
  EXPECT_EQ(box.bandLine, boxTop);
  EXPECT_EQ(View().CaretLine(), boxTop) << "the new box is current, the caret at it";
  EXPECT_GE(Last(), boxBottom) << "the report grew down to the box";
  for (int i = last + 1; i <= Last(); ++i) EXPECT_EQ(LineRec(i).kind, lastKind) << i;
  // A line drawn across, further down: on the line under it.
  SendMessageA(Frame(), WM_COMMAND, kLineTool, 0);
  const int rule = lineAt(BelowReport(120));
  Drag(ViewWindow(), POINT{300, BelowReport(120)}, POINT{500, BelowReport(120)});
  ASSERT_EQ(Layout().linesBoxes.Count(), 2);
  const ReportItemHead& drawn = Layout().linesBoxes.At(1)->head;
  EXPECT_EQ(drawn.bandLine, rule);
  EXPECT_EQ(drawn.top, LineRec(rule).bottom);
  EXPECT_GE(Last(), rule);
  // A chart drawn there, of the customers' totals.
  SendMessageA(Frame(), WM_COMMAND, kChartTool, 0);
  const int chartTop = BelowReport(150);
  Mouse(ViewWindow(), QEvent::MouseButtonPress, 520, chartTop);
  Mouse(ViewWindow(), QEvent::MouseMove, 650, BelowReport(200));
  EXPECT_TRUE(While([&] { Mouse(ViewWindow(), QEvent::MouseButtonRelease, 700, BelowReport(230)); },
                    {[] {
                      HWND d = ui_test::ActiveDialog();
                      if (d == nullptr || GetDlgItem(d, 500) == nullptr || !ui_test::TakeAnswerMark(d)) return false;
                      // A pie of the customers' totals.
                      auto pick = [&](int id, UINT find, const char* text) {
                        return SendDlgItemMessageA(d, id, find, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text));
                      };
                      SendDlgItemMessageA(d, 500, CB_SETCURSEL, pick(500, CB_FINDSTRINGEXACT, "Pie"), 0);
                      SendDlgItemMessageA(d, 510, CB_SETCURSEL, pick(510, CB_FINDSTRINGEXACT, "Group 1"), 0);
                      SendDlgItemMessageA(d, 511, CB_SETCURSEL, pick(511, CB_FINDSTRINGEXACT, "company"), 0);
                      SendDlgItemMessageA(d, 512, LB_SETSEL, TRUE, pick(512, LB_FINDSTRINGEXACT, "CustomerTotal"));
                      ui_test::Click(GetDlgItem(d, IDOK));
                      return true;
                    }}));
  ASSERT_EQ(Layout().charts.Count(), 1);
  const ReportItemHead& chart = Layout().charts.At(0)->head;
  EXPECT_GT(chart.top, lastBottom + 140) << "where it was drawn";
  EXPECT_EQ(chart.bandLine, BandAtY(Doc().m_bandLines, chart.top));
  EXPECT_GE(Last(), BandAtY(Doc().m_bandLines, chart.bottom));
  const int grown = Last();

  const std::string pdf = SaveReopenPrint();
  EXPECT_EQ(Last(), grown);
  ASSERT_EQ(Layout().linesBoxes.Count(), 2);
  EXPECT_EQ(Layout().linesBoxes.At(0)->head.top, boxTopY);
  EXPECT_EQ(Layout().linesBoxes.At(0)->head.bottom, boxBottomY);
  EXPECT_EQ(Layout().linesBoxes.At(1)->head.top, LineRec(rule).bottom);
  ASSERT_EQ(Layout().charts.Count(), 1);
  EXPECT_NE(program_run::Capture("pdftotext '" + pdf + "' -").find("Grand total"), std::string::npos);
  // On paper the box is as tall as drawn: below the grand total (it is on
  // the summary's new lines), left of the chart, a dark side about that high.
  const std::vector<PdfWord> words = ReadPdfWords(pdf, 1, 1);
  double total = -1;
  for (size_t i = 0; i + 1 < words.size(); ++i)
    if (words[i].text == "Grand" && words[i + 1].text == "total") total = words[i].yMax;
  ASSERT_GT(total, 0) << "the grand total on page 1";
  const std::string png = Dir() + "/below";
  program_run::Capture("pdftoppm -r 72 -f 1 -l 1 -png -singlefile '" + pdf + "' '" + png + "'");
  QImage page(QString::fromStdString(png + ".png"));
  ASSERT_FALSE(page.isNull());
  int longest = 0;
  for (int x = 0; x < std::min(page.width(), 300); ++x) {
    int run = 0;
    for (int y = static_cast<int>(total) + 1; y < page.height(); ++y) {
      run = page.pixelColor(x, y).lightness() < 128 ? run + 1 : 0;
      longest = std::max(longest, run);
    }
  }
  const int drawnPoints = (boxBottomY - boxTopY + 1) * 72 / 96;
  EXPECT_NEAR(longest, drawnPoints, 3) << "the box's side, as tall as drawn";
  if (!HasFailure()) std::filesystem::remove(png + ".png");
}

// Page Setup's top margin of 1.00 in (and landscape): the first line of
// every page prints an inch down, not at the paper's edge.
TEST_F(DrawnReport, TheTopMarginPlacesTheFirstLineOfEveryPage) {
  ASSERT_NE(Start(), nullptr);
  for (bool landscape : {false, true}) {
    SCOPED_TRACE(landscape ? "landscape" : "portrait");
    EXPECT_TRUE(Run(kPageSetup, {OnDialog("Page Setup", [&](HWND d) {
                      SetDlgItemTextA(d, 201, "1.00");
                      SetDlgItemTextA(d, 203, "0.50");
                      CheckDlgButton(d, 230, landscape ? BST_UNCHECKED : BST_CHECKED);
                      CheckDlgButton(d, 231, landscape ? BST_CHECKED : BST_UNCHECKED);
                      Press(d, IDOK);
                    })}));
    ASSERT_EQ(Doc().m_pPageSetup->TopMargin, 100);
    const std::string pdf = SaveReopenPrint();
    ASSERT_EQ(Doc().m_pPageSetup->TopMargin, 100);
    const std::vector<PdfWord> words = ReadPdfWords(pdf);
    ASSERT_FALSE(words.empty());
    std::vector<double> top(static_cast<size_t>(words.back().page + 1), 1e9);
    for (const PdfWord& w : words) top[static_cast<size_t>(w.page)] = std::min(top[static_cast<size_t>(w.page)], w.yMin);
    for (size_t p = 0; p < top.size(); ++p) {
      EXPECT_GE(top[p], 72.0 - 1.0) << "page " << p + 1 << ": the first line begins at the margin";
      EXPECT_LT(top[p], 72.0 + 20.0) << "page " << p + 1;
    }
  }
}

// A yellow box drawn around the customer total: the preview and the PDF
// paint the fill first and the total over it, as the layout shows them.
TEST_F(DrawnReport, AFilledBoxFramesTheTotalWithoutHidingIt) {
  ASSERT_NE(Start(), nullptr);
  const int footer = 4;  // the customer-total line
  ASSERT_EQ(LineRec(footer).kind, kBandGroupFooter);
  const BandLineRec& line = LineRec(footer);
  const int top = line.bottom - line.pixelHeight + 1 - Layout().scrollY, bottom = line.bottom - Layout().scrollY;
  SendMessageA(Frame(), WM_COMMAND, kBoxTool, 0);
  Drag(ViewWindow(), POINT{480 - Layout().scrollX, top}, POINT{640 - Layout().scrollX, bottom});
  ASSERT_EQ(Layout().linesBoxes.Count(), 1);
  LineBoxItem* box = Layout().linesBoxes.At(0);
  View().ClearSelection();
  View().SelectObject(box->head, true);
  EXPECT_TRUE(Run(kObjectProperties, {OnDialog("Box Properties", [](HWND d) {
                    SendDlgItemMessageA(d, kBoxBackground, CB_SETCURSEL, 11, 0);  // Yellow
                    SendMessageA(d, WM_COMMAND, IDOK, 0);
                  })}));
  ASSERT_EQ(box->backColour, 11);

  const std::string pdf = SaveReopenPrint();
  ASSERT_EQ(Layout().linesBoxes.Count(), 1);
  EXPECT_EQ(Layout().linesBoxes.At(0)->backColour, 11);
  // The first customer's total (the amount, right of the count): its words lie on yellow, and its glyphs are
  // painted over it (dark pixels inside the word's box).
  const std::vector<PdfWord> words = ReadPdfWords(pdf, 1, 1);
  const PdfWord* total = nullptr;
  for (size_t i = 0; i + 1 < words.size() && total == nullptr; ++i)
    if (words[i].text == "Customer" && words[i + 1].text == "total")
      for (size_t j = i + 2; j < words.size() && total == nullptr; ++j)
        if (words[j].yMin > words[i].yMin - 2 && words[j].yMin < words[i].yMin + 2 && words[j].xMin > 390 &&
            words[j].text.find_first_of("0123456789") != std::string::npos)
          total = &words[j];
  ASSERT_NE(total, nullptr) << "a customer total on page 1";
  SCOPED_TRACE(total->text + " at " + std::to_string(total->xMin) + "," + std::to_string(total->yMin));
  const std::string png = Dir() + "/fill";
  program_run::Capture("pdftoppm -r 72 -f 1 -l 1 -png -singlefile '" + pdf + "' '" + png + "'");
  QImage page(QString::fromStdString(png + ".png"));
  ASSERT_FALSE(page.isNull());
  // The fill's extent on the page, then the total's glyphs inside it.
  QRect fill;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x) {
      const QColor c = page.pixelColor(x, y);
      if (c.red() > 200 && c.green() > 200 && c.blue() < 80) fill |= QRect(x, y, 1, 1);
    }
  ASSERT_FALSE(fill.isEmpty()) << "the box is filled";
  const QRect word(QPoint(static_cast<int>(total->xMin), static_cast<int>(total->yMin)),
                   QPoint(static_cast<int>(total->xMax), static_cast<int>(total->yMax)));
  // Inside the box's borders, which are dark themselves.
  const QRect under = fill.adjusted(2, 2, -2, -2).intersected(word);
  ASSERT_GT(under.width() * under.height(), word.width() * word.height() / 3) << "the fill lies behind the total";
  // Dark pixels of glyphs; a row dark from end to end is a border of the box.
  int dark = 0;
  for (int y = under.top(); y <= under.bottom(); ++y) {
    int row = 0;
    for (int x = under.left(); x <= under.right(); ++x) {
      const QColor c = page.pixelColor(x, y);
      if (c.red() < 100 && c.green() < 100 && c.blue() < 100) ++row;
    }
    if (row < under.width()) dark += row;
  }
  EXPECT_GT(dark, 5) << "the total's glyphs show over the fill";
  if (!HasFailure()) std::filesystem::remove(png + ".png");
}

// The longest run of dark pixels along a row of page 1 printed at 72 pixels
// an inch: a drawn box's or line's printed width, in points.
int LongestDarkRun(const std::string& pdf, const std::string& png) {
  program_run::Capture("pdftoppm -r 72 -f 1 -l 1 -png -singlefile '" + pdf + "' '" + png + "'");
  QImage page(QString::fromStdString(png + ".png"));
  int longest = 0;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0, run = 0; x < page.width(); ++x) {
      const QColor c = page.pixelColor(x, y);
      run = c.red() < 100 && c.green() < 100 && c.blue() < 100 ? run + 1 : 0;
      longest = std::max(longest, run);
    }
  std::filesystem::remove(png + ".png");
  return longest;
}

// The status line gives a drawn box's and line's sizes in the layout's own
// inches (100 pixels across): a box seven and a half inches wide reads
// 7.50W, a line of 7.70 inches 7.70, and they print that wide.
TEST_F(DrawnReport, TheStatusLineGivesDrawnSizesInTheLayoutsInches) {
  ASSERT_NE(Start(), nullptr);
  MoveWindow(Frame(), 0, 0, 1000, 720, TRUE);
  Pump([] { return true; });
  ASSERT_GT(View().ClientWidth(), 800);
  const int footer = 4;  // the customer-total line
  const BandLineRec& line = LineRec(footer);
  const int top = line.bottom - line.pixelHeight + 1 - Layout().scrollY, bottom = line.bottom - Layout().scrollY;
  SendMessageA(Frame(), WM_COMMAND, kBoxTool, 0);
  Drag(ViewWindow(), POINT{20 - Layout().scrollX, top}, POINT{770 - Layout().scrollX, bottom});
  ASSERT_EQ(Layout().linesBoxes.Count(), 1);
  LineBoxItem* box = Layout().linesBoxes.At(0);
  ASSERT_EQ(box->head.right - box->head.left, 750);
  // Drawn, it is the current object: the status line names it.
  EXPECT_NE(std::string(MainFrame().m_wndStatusBar.GetText()).find("7.50W"), std::string::npos)
      << MainFrame().m_wndStatusBar.GetText();

  const BandLineRec& title = LineRec(0);
  const int y = title.bottom - 2 - Layout().scrollY;
  SendMessageA(Frame(), WM_COMMAND, kLineTool, 0);
  Drag(ViewWindow(), POINT{10 - Layout().scrollX, y}, POINT{780 - Layout().scrollX, y});
  ASSERT_EQ(Layout().linesBoxes.Count(), 2);
  LineBoxItem* rule = Layout().linesBoxes.At(1);
  ASSERT_EQ(rule->head.right - rule->head.left, 770);
  EXPECT_NE(std::string(MainFrame().m_wndStatusBar.GetText()).find("7.70 inches"), std::string::npos)
      << MainFrame().m_wndStatusBar.GetText();

  const std::string pdf = SaveReopenPrint();
  ASSERT_EQ(Layout().linesBoxes.Count(), 2);
  const int longest = LongestDarkRun(pdf, Dir() + "/sizes");
  EXPECT_NEAR(longest, 7.70 * 72, 3) << "the line prints 7.70 inches long (points)";
  const std::string text = program_run::Capture("pdftotext -layout '" + pdf + "' -");
  EXPECT_NE(text.find("Customer total"), std::string::npos) << text;
}

// Database > Joins > New, customers on company: the joined table's fields
// are offered, not put on the layout; the layout's items are all ones a
// click can select. Saved, read back and printed the same.
TEST_F(DrawnReport, AJoinPutsNoFieldsOnTheLayout) {
  ASSERT_NE(Start(), nullptr);
  auto placed = [&] {
    int n = 0;
    for (FieldDef* f = Doc().m_pModel->fieldList; f; f = f->next)
      if (IsPlacedField(f)) ++n;
    return n;
  };
  const int before = placed();
  // Each dialog is answered inside the one that opened it.
  file_menu_test::DialogAnswers answers;
  // Without joins the command opens New Join; the list of joins follows.
  answers.On("Joins", [](HWND d) { Press(d, IDCANCEL); });
  answers.On("New Join", [](HWND d) {
    Press(d, 203);  // the related table from the list
    SelectNamed(d, 201, "company", true);
    SelectNamed(d, 205, "company", true);
    Press(d, IDOK);
  });
  answers.On("Related Table", [](HWND l) {
    SelectNamed(l, 200, "customers", false);
    Press(l, IDOK);
  });
  answers.Arm();
  SendMessageA(Frame(), WM_COMMAND, kJoins, 0);
  EXPECT_EQ(answers.seen, (std::vector<std::string>{"New Join", "Related Table", "Joins"}));
  int joined = 0;
  for (int s = 1; s < kMaxTables; ++s) joined += Doc().m_pModel->tableSlots[s] != nullptr;
  ASSERT_EQ(joined, 1);
  EXPECT_EQ(placed(), before) << "no field of the joined table is on the layout";
  for (FieldDef* f = Doc().m_pModel->fieldList; f; f = f->next) {
    if (f->table != 0) {
      EXPECT_FALSE(IsPlacedField(f)) << f->name;
    }
  }

  // A report saved by an earlier version kept the joined fields as items
  // at no place: opened, they stay off the layout.
  FieldDef* ghost = nullptr;
  for (FieldDef* f = Doc().m_pModel->fieldList; f; f = f->next)
    if (f->table != 0 && std::strcmp(f->name, "credit_limit") == 0) ghost = f;
  ASSERT_NE(ghost, nullptr);
  ghost->head.flags |= kItemKindField;
  ghost->totalFlags &= static_cast<uint8_t>(~kTotalHidden);
  BuildLayoutItemOrder(Layout());
  Doc().SetModifiedFlag(TRUE);
  const std::string pdf = SaveReopenPrint();
  EXPECT_EQ(placed(), before) << "the kept item is off the layout";
  const std::string text = program_run::Capture("pdftotext -layout '" + pdf + "' -");
  EXPECT_EQ(text.find("-999999"), std::string::npos);
  EXPECT_NE(text.find("Grand total"), std::string::npos);
}

}  // namespace
}  // namespace new_user
