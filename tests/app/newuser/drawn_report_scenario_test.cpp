// The sample report as a new user goes on drawing it: the caret and what is
// drawn below the last band line stay on the report's lines, the page
// set-up's top margin places the first line, a filled box frames a total
// without hiding it, and a join adds no layout items. Each scenario saves,
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

// A click, Down, Page Down and Ctrl+End below the last band line leave the
// caret on that line; a box, a line and a chart drawn in the white space
// below the report end on its last line and make no band line. The report
// prints on as many pages as before.
TEST_F(DrawnReport, CaretAndObjectsDrawnBelowTheReportStayOnItsLines) {
  ASSERT_NE(Start(), nullptr);
  ASSERT_TRUE(Run(kFilePrint, {}));
  const int pagesBefore = Pages(Dir() + "/sales.pdf");
  ASSERT_GT(pagesBefore, 0);
  const int last = Last();
  const int lastBottom = LineRec(last).bottom;

  Mouse(ViewWindow(), QEvent::MouseButtonPress, 100, BelowReport(40));
  Mouse(ViewWindow(), QEvent::MouseButtonRelease, 100, BelowReport(40));
  EXPECT_EQ(View().CaretLine(), last) << "a click below the report";
  ui_test::Key(ViewWindow(), Qt::Key_Down);
  EXPECT_EQ(View().CaretLine(), last) << "Down on the last line";
  ui_test::Key(ViewWindow(), Qt::Key_PageDown);
  EXPECT_EQ(View().CaretLine(), last) << "Page Down on the last line";
  ui_test::Key(ViewWindow(), Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(View().CaretLine(), last) << "Ctrl+End";
  char position[32];
  std::snprintf(position, sizeof position, "Line: %3d", last + 1);
  EXPECT_EQ(std::string(MainFrame().m_wndStatusBar.GetPaneText(1)).rfind(position, 0), 0u)
      << MainFrame().m_wndStatusBar.GetPaneText(1);

  // A box and a line drawn from the white space.
  SendMessageA(Frame(), WM_COMMAND, kBoxTool, 0);
  Drag(ViewWindow(), POINT{60, BelowReport(30)}, POINT{200, BelowReport(90)});
  SendMessageA(Frame(), WM_COMMAND, kLineTool, 0);
  Drag(ViewWindow(), POINT{300, BelowReport(60)}, POINT{500, BelowReport(60)});
  ASSERT_EQ(Layout().linesBoxes.Count(), 2);
  // A chart drawn there; its sheet is taken as it comes.
  SendMessageA(Frame(), WM_COMMAND, kChartTool, 0);
  Mouse(ViewWindow(), QEvent::MouseButtonPress, 520, BelowReport(20));
  Mouse(ViewWindow(), QEvent::MouseMove, 650, BelowReport(100));
  EXPECT_TRUE(While([&] { Mouse(ViewWindow(), QEvent::MouseButtonRelease, 700, BelowReport(140)); },
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
  EXPECT_EQ(Last(), last) << "no band grew";
  EXPECT_EQ(LineRec(last).bottom, lastBottom);
  for (int i = 0; i < Layout().linesBoxes.Count(); ++i) {
    const ReportItemHead& h = Layout().linesBoxes.At(i)->head;
    EXPECT_LE(h.bottom, lastBottom) << i;
    EXPECT_LE(h.bandLine, last) << i;
  }
  EXPECT_LE(Layout().charts.At(0)->head.bottom, lastBottom);
  EXPECT_LE(Layout().charts.At(0)->head.bandLine, last);

  const std::string pdf = SaveReopenPrint();
  EXPECT_EQ(Last(), last);
  EXPECT_EQ(Layout().linesBoxes.Count(), 2);
  EXPECT_EQ(Pages(pdf), pagesBefore) << "no pages of empty bands";
  EXPECT_NE(program_run::Capture("pdftotext '" + pdf + "' -").find("Grand total"), std::string::npos);
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
