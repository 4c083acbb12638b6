// A report whose picture file was moved: opening it says which file is
// missing and lets the user show where it went; the picture then shows and
// the new place is saved. Ignoring the question keeps the picture with its
// stored place.
#include "tests/app/newuser/newuser_fixture.h"

#include "app/open_report.h"
#include "layout/layout_records.h"
#include "tests/support/metafile_bytes.h"

namespace newuser_test {
namespace {

constexpr UINT kCmdOpen = 32001;
constexpr UINT kCmdClose = 30000;
constexpr UINT kCmdInsertPicture = 30460;

TEST_F(NewUserTest, AMovedPictureIsAskedForOnOpenAndItsNewPlaceIsSaved) {
  const std::string report = dir_ + "/pictured.kmw";
  fs::copy_file(dir_ + "/sales.kmw", report, fs::copy_options::overwrite_existing);
  ASSERT_TRUE(Start({report}));
  ASSERT_TRUE(doc->m_bReportOpen);
  ShowWindow(frame->m_hWnd, SW_SHOWNORMAL);
  MoveWindow(frame->m_hWnd, 0, 0, 1000, 720, TRUE);
  Pump([] { return true; });
  LayoutTables& layout = *doc->m_pLayout;
  const std::string logo = dir_ + "/logo.wmf";
  ASSERT_TRUE(metafile_bytes::WriteFile(logo, metafile_bytes::PlaceableWmf(1440, 1440, 720, 0xFF0000, 0, 0, 1440, 720)));
  answers.File("Picture File", logo);
  Command(kCmdInsertPicture);
  const BandLineRec& title = layout.Lines().lines[0];
  const LPARAM at = MAKELPARAM(500 - layout.scrollX, title.bottom - 2 - layout.scrollY);
  SendMessageA(frame->m_wndLayoutView.m_hWnd, WM_LBUTTONDOWN, 1, at);
  SendMessageA(frame->m_wndLayoutView.m_hWnd, WM_LBUTTONUP, 0, at);
  ASSERT_EQ(layout.pictures.Count(), 1);
  // Moved: the open asks for it, and the chosen file is taken.
  const std::string moved = SaveMoveAndReopen(report, logo, "Picture File");
  ASSERT_TRUE(doc->m_bReportOpen);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Cannot open picture file\r\nlogo.wmf");
  ASSERT_EQ(layout.pictures.Count(), 1);
  EXPECT_EQ(std::string(layout.pictures.At(0)->fileName), moved);
  EXPECT_NE(layout.pictures.At(0)->image, nullptr) << "the chosen file is shown";
  EXPECT_TRUE(doc->IsModified());

  // Saved there: the next open finds it without a question, and it prints.
  Command(kCmdFileSave);
  Command(kCmdClose);
  messages.clear();
  Command(kCmdOpen);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_TRUE(messages.empty()) << messages[0];
  EXPECT_EQ(std::string(layout.pictures.At(0)->fileName), moved);
  const std::string text = PrintedBy(30030, "pictured");
  EXPECT_NE(text.find("Orders by customer"), std::string::npos) << text;

  // Gone again and ignored: the picture stays, with the place it was saved with.
  Command(kCmdClose);
  fs::remove(moved);
  messages.clear();
  messageAnswer = IDCANCEL;  // Ignore
  Command(kCmdOpen);
  messageAnswer = 0;
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(messages.size(), 1u) << testing::PrintToString(messages);
  ASSERT_EQ(layout.pictures.Count(), 1);
  EXPECT_EQ(std::string(layout.pictures.At(0)->fileName), moved);
  EXPECT_FALSE(doc->IsModified());
}

}  // namespace
}  // namespace newuser_test
