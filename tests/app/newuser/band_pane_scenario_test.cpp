// The band pane on the sample report: the pane is as wide as its longest
// band name needs (the sample's group bands are named after their field),
// so no name is cut. The names are in the program's bold interface font,
// made at start-up.
#include "tests/app/newuser/new_user_fixture.h"

#include "platform/win/gdi.h"
#include "platform/win/profile.h"
#include "platform/win/window_picture.h"
#include "tests/support/screens.h"

#include <string>

namespace new_user {
namespace {

TEST_F(NewUser, ScreensTheBandPaneShowsEveryBandNameWhole) {
  WritePrivateProfileStringA("Save List", "BandWidth", nullptr, (Dir() + "/kmw.ini").c_str());
  ASSERT_NE(Start(), nullptr);
  CBandView& pane = MainFrame().m_wndBandView;
  RECT c{};
  GetClientRect(pane.m_hWnd, &c);
  EXPECT_GT(pane.NamesWidth(), 80) << "the sample's group names need more than the default width";
  EXPECT_GE(c.right, pane.NamesWidth());
  HFONT ui = Doc().m_hUiFont;
  ASSERT_NE(ui, nullptr);
  LOGFONTA font{};
  ASSERT_GT(GetObjectA(ui, sizeof font, &font), 0);
  EXPECT_EQ(font.lfWeight, 700);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(font.lfHeight, GetDeviceCaps(screen, LOGPIXELSY) / 8);
  ReleaseDC(nullptr, screen);
  // The names are measured in that font: without it (the stock font) they need less.
  const int boldWidth = pane.NamesWidth();
  Doc().m_hUiFont = nullptr;
  const int plainWidth = pane.NamesWidth();
  Doc().m_hUiFont = ui;
  EXPECT_GT(boldWidth, plainWidth);
  EXPECT_TRUE(SaveWindowPicture(Frame(), ScreenPath("designer-sample-band-pane").c_str()));
}

}  // namespace
}  // namespace new_user
