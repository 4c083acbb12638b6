// The band pane on the sample report: the pane is as wide as its longest
// band name needs (the sample's group bands are named after their field),
// so no name is cut.
#include "tests/app/newuser/new_user_fixture.h"

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
  EXPECT_TRUE(SaveWindowPicture(Frame(), ScreenPath("designer-sample-band-pane").c_str()));
}

}  // namespace
}  // namespace new_user
