// The texts a new user reads, whole: the About box's lines, a message's
// caption, the band pane's names (and no pane left after Close), and the
// colour lists with each colour beside its name. Pictures of each.
#include "tests/app/newuser/newuser_fixture.h"

#include "platform/win/gdi.h"
#include "platform/win/window_picture.h"
#include "tests/support/image_compare.h"
#include "tests/support/screens.h"

namespace newuser_test {
namespace {

constexpr UINT kCmdAbout = 32032, kCmdClose = 30000, kCmdDefaults = 32018;

// Whether the static control's text fits it on its lines, in its own font.
bool TextFits(HWND control) {
  char text[300] = {};
  GetWindowTextA(control, text, sizeof text);
  RECT box{};
  GetClientRect(control, &box);
  RECT need{0, 0, box.right, 0};
  HDC dc = GetDC(control);
  DrawTextA(dc, text, -1, &need, DT_CALCRECT | DT_WORDBREAK);
  ReleaseDC(control, dc);
  return need.right <= box.right && need.bottom <= box.bottom;
}

TEST_F(NewUserTest, ScreensAboutBoxMessageCaptionBandPaneAndColourList) {
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  ASSERT_TRUE(doc->m_bReportOpen);

  // Help > About: each line whole.
  bool aboutShown = false;
  answers.On("About VORTELLE Report Designer", [&](HWND d) {
    aboutShown = true;
    for (int id : {200, 207, 208}) EXPECT_TRUE(TextFits(GetDlgItem(d, id))) << id << ": " << ui_test::Text(GetDlgItem(d, id));
    EXPECT_TRUE(SaveWindowPicture(d, ScreenPath("about-box").c_str()));
    Press(d, IDOK);
  });
  Command(kCmdAbout);
  EXPECT_TRUE(aboutShown);

  // A message: its window is wide enough for the caption in the title bar.
  int captionRoom = 0, captionNeed = 0;
  answers.On(kAppTitle, [&](HWND d) {
    RECT w{};
    GetWindowRect(d, &w);
    captionRoom = w.right - w.left;
    RECT need{0, 0, 0, 0};
    HDC dc = GetDC(d);
    DrawTextA(dc, kAppTitle, -1, &need, DT_CALCRECT | DT_SINGLELINE);
    ReleaseDC(d, dc);
    captionNeed = need.right;
    EXPECT_TRUE(SaveWindowPicture(d, ScreenPath("message-caption").c_str()));
    Press(d, IDOK);
  });
  Command(32024);  // Help > Help Topics: the message that no viewer exists
  EXPECT_GT(captionRoom, captionNeed * 3 / 2) << "the caption is shown whole beside the title bar's buttons";

  // The band pane with the sample's names, then after Close: no grey pane stays.
  EXPECT_TRUE(SaveWindowPicture(frame->m_hWnd, ScreenPath("band-pane-open").c_str()));
  Command(kCmdClose);
  ASSERT_FALSE(doc->m_bReportOpen);
  const std::string closed = ScreenPath("band-pane-after-close");
  ASSERT_TRUE(SaveWindowPicture(frame->m_hWnd, closed.c_str()));
  RECT pane{};
  GetWindowRect(frame->m_wndBandView.m_hWnd, &pane);
  POINT origin{pane.left, pane.top};
  ScreenToClient(frame->m_hWnd, &origin);
  EXPECT_EQ(CountColourPixels(closed, origin.x, origin.y, pane.right - pane.left, pane.bottom - pane.top, 0xC0C0C0), 0)
      << "a grey band pane stays after Close";

  // The default settings' colour list: the chosen colour's swatch beside its name.
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  bool defaultsShown = false;
  answers.On("Default Settings", [&](HWND d) {
    defaultsShown = true;
    HWND list = GetDlgItem(d, 223);
    ASSERT_NE(list, nullptr);
    SendMessageA(list, CB_SETCURSEL, 9, 0);  // Red
    const std::string path = ScreenPath("colour-list");
    EXPECT_TRUE(SaveWindowPicture(d, path.c_str()));
    RECT r{};
    GetWindowRect(list, &r);
    POINT at{r.left, r.top};
    ScreenToClient(d, &at);
    EXPECT_GT(CountColourPixels(path, at.x, at.y, r.right - r.left, r.bottom - r.top, 0xFF0000), 20)
        << "no swatch of the chosen colour";
    Press(d, IDCANCEL);
  });
  Command(kCmdDefaults);
  EXPECT_TRUE(defaultsShown);
}

}  // namespace
}  // namespace newuser_test
