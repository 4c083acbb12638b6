// The current object and the caret as a user meets them on the sample
// report: a text typed over the right end of the company field and a box
// drawn round the page header; Tab and Shift+Tab step the current object
// through them while the clicked field stays the one selected, the status
// line names each (a box by its width and height); the caret starts at the
// left of the first line after the report is closed and opened again, and
// after the system's fonts change. Saved, reopened and printed.
#include "tests/app/drawnreport/drawn_report_fixture.h"

#include "designer/design_view.h"
#include "dialogs/edit_text.h"
#include "layout/layout_helpers.h"
#include "platform/win/caret.h"
#include "tests/platform/ui/ui_test_util.h"

#include <cctype>
#include <cstdio>

namespace newuser_test {
namespace {

constexpr UINT kCmdInsertBox = 30450;

class CurrentObject : public DrawnReport {
 protected:
  CKmView& View() { return *doc->m_pView; }
  LayoutTables& Layout() { return *doc->m_pLayout; }
  std::string Status() { return frame->m_wndStatusBar.GetText(); }
  // Letters typed where the keyboard focus is, the view opening the editor
  // on the first; Enter stores the text.
  void TypeText(const std::string& word) {
    for (char c : word) {
      HWND target = View().EditorOpen() ? View().TextEditor()->Window() : View().m_hWnd;
      ui_test::Key(target, Qt::Key_A + (std::toupper(static_cast<unsigned char>(c)) - 'A'), Qt::NoModifier,
                   QString(QChar(c)));
    }
    ASSERT_TRUE(View().EditorOpen());
    ui_test::Key(View().TextEditor()->Window(), Qt::Key_Return);
    ASSERT_TRUE(Pump([&] { return !View().EditorOpen(); }));
  }
  void Tab(bool back = false) {
    ui_test::Key(View().m_hWnd, back ? Qt::Key_Backtab : Qt::Key_Tab, back ? Qt::ShiftModifier : Qt::NoModifier);
  }
  // The caret as the view holds it and as the screen shows it.
  void ExpectCaretAtStart(const char* after) {
    SCOPED_TRACE(after);
    EXPECT_EQ(View().CaretLine(), 0);
    EXPECT_EQ(View().m_nCaretX, 0);
    POINT p{};
    ASSERT_TRUE(GetCaretPos(&p)) << "the caret shows";
    EXPECT_EQ(p.x, 0);
  }
};

TEST_F(CurrentObject, TabStepsThroughOverlappingObjectsLeavingTheSelectionAndTheCaretStartsAfresh) {
  const std::string report = StartOnCopy("tabbing");
  ASSERT_FALSE(report.empty());
  FieldDef* company = PlacedField("company");
  FieldDef* country = PlacedField("country");
  ASSERT_TRUE(company && country);

  // "note" typed from two cells short of the company's right end.
  const int cell = (company->head.right + 1) / 30;
  View().MoveCaretToPoint(company->head.right - 2 * cell - Layout().scrollX,
                          company->head.bottom - 3 - Layout().scrollY, true, true);
  TypeText("note");
  TextItem* note = TextNamed("note");
  ASSERT_NE(note, nullptr);
  ASSERT_EQ(note->head.bandLine, company->head.bandLine);
  ASSERT_LT(note->head.left, company->head.right) << "the text lies over the field's right end";
  ASSERT_GT(note->head.right, company->head.right);
  ASSERT_LT(note->head.right, country->head.left);

  // A box round the page header.
  const BandLineRec& header = LineOfKind(kBandPageHeader);
  Command(kCmdInsertBox);
  Drag(2, Top(header), 600, header.bottom - 1);
  ASSERT_EQ(Layout().linesBoxes.Count(), 1);
  const ReportItemHead& box = Layout().linesBoxes.At(0)->head;

  // The company clicked: selected and current. Tab reaches the text over
  // its end, then the country; Shift+Tab goes back the same way. The
  // company stays the one object selected; the status line follows.
  View().ClearSelection();
  ClickOn(company->head);
  ASSERT_EQ(Layout().currentItem, &company->head);
  ASSERT_EQ(View().CountSelected(), 1);
  const std::string companyPrompt = Status();
  const std::pair<bool, const ReportItemHead*> steps[] = {
      {false, &note->head}, {false, &country->head}, {true, &note->head}, {true, &company->head}};
  for (const auto& [back, want] : steps) {
    Tab(back);
    EXPECT_EQ(Layout().currentItem, want) << (back ? "Shift+Tab" : "Tab");
    EXPECT_EQ(View().CountSelected(), 1);
    EXPECT_TRUE(company->head.flags & kItemSelected);
    EXPECT_EQ(View().m_nCaretX, GetAlignedX(Layout(), *want)) << "the caret on the object";
  }
  EXPECT_EQ(Status(), companyPrompt);
  EXPECT_FALSE(note->head.flags & kItemSelected);
  Tab();
  EXPECT_EQ(Status(), "Text: \"note\"");

  // Tab on round the report reaches the box, its width and height named.
  for (int i = 0; i < 100 && Layout().currentItem != &box; ++i) Tab();
  ASSERT_EQ(Layout().currentItem, &box);
  char band[40] = {}, tail[16] = {};
  double width = 0, height = 0;
  ASSERT_EQ(std::sscanf(Status().c_str(), "Box (%39[^,],%lfW x %lfH inches%15s", band, &width, &height, tail), 4)
      << Status();
  EXPECT_STREQ(tail, ")") << Status();
  // In the layout's own inches: 100 pixels across, 96 down.
  EXPECT_NEAR(width, (box.right - box.left) / 100.0, 0.006) << Status();
  EXPECT_NEAR(height, (box.bottom - box.top) / 96.0, 0.006) << Status();
  EXPECT_GE(width, 6) << Status();
  EXPECT_LT(height, 0.5) << Status();
  EXPECT_EQ(View().CountSelected(), 1) << "the box was not selected";

  // Closed and opened again: the caret starts at the left of the first line.
  ClickOn(country->head);
  ASSERT_GT(View().m_nCaretX, 0);
  SaveAndReopen(report);
  ASSERT_TRUE(doc->m_bReportOpen);
  ExpectCaretAtStart("reopened");

  // The same after the system's fonts change, which measures the layout again.
  ClickOn(PlacedField("country")->head);
  ASSERT_GT(View().m_nCaretX, 0);
  ASSERT_GT(View().CaretLine(), 0);
  SendMessageA(frame->m_hWnd, WM_FONTCHANGE, 0, 0);
  ExpectCaretAtStart("fonts changed");

  ASSERT_NE(TextNamed("note"), nullptr);
  ASSERT_EQ(Layout().linesBoxes.Count(), 1);
  const std::string text = PrintedBy(kCmdPrint, "tabbing");
  EXPECT_NE(text.find("note"), std::string::npos) << text;
  EXPECT_NE(text.find("Alder & Sons"), std::string::npos) << text;
}

}  // namespace
}  // namespace newuser_test
