// The character pitch a user sets in Options > Ruler Spacing goes to the
// print job with the report, which still prints, after a save and reopen too.
#include "tests/app/newuser/newuser_fixture.h"

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
  EXPECT_EQ(printedPitch("pitch-10"), 10);
  stepPitch(VK_RIGHT);
  ASSERT_EQ(doc->m_settings.rulPit, 12);
  EXPECT_EQ(printedPitch("pitch-12"), 12);

  Command(kCmdSave);
  Reopen(sales);
  EXPECT_EQ(printedPitch("pitch-12-reopened"), 12);
  // Back to ten, as the settings the other scenarios start from keep it.
  stepPitch(VK_LEFT);
  EXPECT_EQ(doc->m_settings.rulPit, 10);
}

}  // namespace
}  // namespace newuser_test
