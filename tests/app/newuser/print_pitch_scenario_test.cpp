// The character pitch a user sets with Format > Rulers (F8) goes to the
// print job with the report, which still prints, after a save and reopen too;
// the layout's cell takes it at once, as after a double-click on the ruler,
// and the report is marked changed.
#include "tests/app/newuser/newuser_fixture.h"

#include "designer/design_view.h"
#include "tests/platform/ui/ui_test_util.h"

namespace newuser_test {
namespace {

constexpr UINT kCmdRulerSpacing = 30206, kCmdSave = 30010, kCmdPrint = 30030;

TEST_F(NewUserTest, ThePrintJobTakesTheDocumentsCharacterPitch) {
  const std::string sales = dir_ + "/sales.kmw";
  ASSERT_TRUE(Start({sales}));
  // The report printed; the pitch its job was given.
  auto printedPitch = [&](const std::string& name) {
    const std::string text = PrintedBy(kCmdPrint, name);
    EXPECT_NE(text.find("Alder & Sons"), std::string::npos) << text;
    return GetPrintRunContext().page.pitch;
  };
  // One step of the horizontal track bar: two characters an inch.
  auto stepPitch = [&](UINT key) {
    answers.On("Ruler Spacing", [key](HWND d) {
      SendMessageA(GetDlgItem(d, 200), WM_KEYDOWN, key, 0);
      Press(d, IDOK);
    });
    Command(kCmdRulerSpacing);
  };
  // Where twelve presses of Right take the caret from the line's start.
  auto twelveCells = [&] {
    HWND view = doc->m_pView->m_hWnd;
    ui_test::Key(view, Qt::Key_Home);
    for (int i = 0; i < 12; ++i) ui_test::Key(view, Qt::Key_Right);
    return doc->m_pView->m_nCaretX;
  };
  EXPECT_EQ(printedPitch("pitch-10"), 10);
  EXPECT_EQ(twelveCells(), 120) << "twelve cells of a tenth of an inch";
  ASSERT_FALSE(doc->IsModified());
  stepPitch(VK_RIGHT);
  ASSERT_EQ(doc->m_settings.rulPit, 12);
  EXPECT_TRUE(doc->IsModified());
  EXPECT_EQ(twelveCells(), 96) << "an inch: twelve cells of a twelfth";
  EXPECT_EQ(printedPitch("pitch-12"), 12);

  Command(kCmdSave);
  Reopen(sales);
  EXPECT_EQ(twelveCells(), 96);
  EXPECT_EQ(printedPitch("pitch-12-reopened"), 12);
  // Back to ten, as the settings the other scenarios start from keep it.
  stepPitch(VK_LEFT);
  EXPECT_EQ(doc->m_settings.rulPit, 10);
}

}  // namespace
}  // namespace newuser_test
