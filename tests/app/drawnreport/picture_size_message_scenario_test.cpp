// A picture's width left empty in Picture Properties is refused with the
// width message ("Invalid field width value"); the size then typed is kept
// through save and reopen, and the report prints.
#include "tests/app/drawnreport/drawn_report_fixture.h"

namespace newuser_test {
namespace {

constexpr UINT kCmdFormatProperties = 30504;

TEST_F(DrawnReport, AnEmptyPictureWidthIsRefusedAsAFieldWidth) {
  const std::string report = StartOnCopy("emptywidth");
  ASSERT_FALSE(report.empty());
  const int top = Top(LineOfKind(kBandTitle));
  InsertLogo(400, top, 499, top + 49);
  ASSERT_EQ(doc->m_pLayout->pictures.Count(), 1);
  frame->m_wndLayoutView.ClearSelection();
  frame->m_wndLayoutView.SelectObject(doc->m_pLayout->pictures.At(0)->head, true);
  std::vector<std::string> said;
  answers.On("Picture Properties", [&](HWND d) {
    SetDlgItemTextA(d, 1001, "");
    Press(d, IDOK);
    said = messages;
    // Still open: a width given, taken.
    SetDlgItemTextA(d, 1001, "1.00");
    SetDlgItemTextA(d, 1002, "0.50");
    Press(d, IDOK);
  });
  messages.clear();
  Command(kCmdFormatProperties);
  EXPECT_EQ(said, std::vector<std::string>{"Invalid field width value"});
  const int width = doc->m_pLayout->pictures.At(0)->head.right - doc->m_pLayout->pictures.At(0)->head.left + 1;

  SaveAndReopen(report);
  ASSERT_TRUE(doc->m_bReportOpen);
  ASSERT_EQ(doc->m_pLayout->pictures.Count(), 1);
  EXPECT_EQ(doc->m_pLayout->pictures.At(0)->head.right - doc->m_pLayout->pictures.At(0)->head.left + 1, width);
  const std::string text = PrintedBy(kCmdPrint, "emptywidth");
  EXPECT_NE(text.find("Orders by customer"), std::string::npos) << text;
}

}  // namespace
}  // namespace newuser_test
