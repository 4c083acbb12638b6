// Spins and track bars as a user works them: clicks on a spin's arrows ask
// the parent first (which may refuse the step), then move within the range and
// show the number in the buddy edit; a track bar moves by its line and page
// sizes, stays in its range and tells the parent each move.
#include "platform/win/common_controls.h"
#include "tests/platform/ui/ui_test_util.h"

#include <QSlider>
#include <QToolButton>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Heard {
  std::vector<NMUPDOWN> steps;
  std::vector<std::pair<WORD, int>> scrolls;  // code, position
  bool refuse = false;
};
Heard* g_heard = nullptr;

LRESULT ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NOTIFY && g_heard) {
    const auto* n = reinterpret_cast<const NMUPDOWN*>(lParam);
    if (n->hdr.code == UDN_DELTAPOS) g_heard->steps.push_back(*n);
    return g_heard->refuse ? 1 : 0;
  }
  if ((msg == WM_HSCROLL || msg == WM_VSCROLL) && g_heard) {
    HWND from = reinterpret_cast<HWND>(lParam);
    const int pos = from && GetDlgCtrlID(from) == 2 ? static_cast<int>(SendMessageA(from, TBM_GETPOS, 0, 0))
                                                    : static_cast<short>(HIWORD(wParam));
    g_heard->scrolls.push_back({LOWORD(wParam), pos});
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

class CommonControls : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::Start();
    WNDCLASSA wc{};
    wc.lpfnWndProc = ParentProc;
    wc.lpszClassName = "VtCommonControlsParent";
    RegisterClassA(&wc);
    g_heard = &heard;
    top = CreateWindowExA(0, "VtCommonControlsParent", "", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                          nullptr, nullptr);
  }
  void TearDown() override {
    g_heard = nullptr;
    DestroyWindow(top);
  }
  QToolButton* Arrow(HWND spin, int which) {
    auto buttons = spin->widget->findChildren<QToolButton*>();
    for (QToolButton* b : buttons)
      if (b->arrowType() == (which > 0 ? Qt::UpArrow : Qt::DownArrow)) return b;
    return nullptr;
  }
  Heard heard;
  HWND top = nullptr;
};

TEST_F(CommonControls, SpinStepsWithinItsRangeIntoItsBuddyUnlessTheParentRefuses) {
  HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 10, 10, 40, 20, top, reinterpret_cast<HMENU>(1),
                              nullptr, nullptr);
  HWND spin = CreateWindowExA(0, kUpDownClassName, "", WS_CHILD | WS_VISIBLE | UDS_AUTOBUDDY | UDS_SETBUDDYINT, 50,
                              10, 16, 20, top, reinterpret_cast<HMENU>(3), nullptr, nullptr);
  ASSERT_NE(spin, nullptr);
  EXPECT_EQ(reinterpret_cast<HWND>(SendMessageA(spin, UDM_GETBUDDY, 0, 0)), edit);
  SendMessageA(spin, UDM_SETRANGE32, 4, 6);
  SendMessageA(spin, UDM_SETPOS32, 0, 5);
  EXPECT_EQ(ui_test::Text(edit), "5");
  QToolButton* up = Arrow(spin, 1);
  QToolButton* down = Arrow(spin, -1);
  ASSERT_NE(up, nullptr);
  ASSERT_NE(down, nullptr);
  up->click();
  EXPECT_EQ(ui_test::Text(edit), "6");
  up->click();  // at the top: asked, but nothing moves
  EXPECT_EQ(ui_test::Text(edit), "6");
  ASSERT_EQ(heard.steps.size(), 2u);
  EXPECT_EQ(heard.steps[0].iPos, 5);
  EXPECT_EQ(heard.steps[0].iDelta, 1);
  EXPECT_EQ(heard.steps[0].hdr.idFrom, 3u);
  EXPECT_EQ(heard.steps[0].hdr.hwndFrom, spin);
  ASSERT_EQ(heard.scrolls.size(), 1u);
  EXPECT_EQ(heard.scrolls[0].first, SB_THUMBPOSITION);
  EXPECT_EQ(heard.scrolls[0].second, 6);
  // A number typed into the buddy is where the next step starts.
  SetWindowTextA(edit, "5");
  down->click();
  EXPECT_EQ(ui_test::Text(edit), "4");
  EXPECT_EQ(SendMessageA(spin, UDM_GETPOS32, 0, 0), 4);
  // The parent refuses: the position stays.
  heard.refuse = true;
  SendMessageA(spin, WM_KEYDOWN, VK_UP, 0);
  EXPECT_EQ(ui_test::Text(edit), "4");
  EXPECT_EQ(heard.steps.back().iDelta, 1);
  // A disabled spin does nothing.
  heard.refuse = false;
  const size_t asked = heard.steps.size();
  EnableWindow(spin, FALSE);
  SendMessageA(spin, WM_KEYDOWN, VK_UP, 0);
  EXPECT_EQ(heard.steps.size(), asked);
}

TEST_F(CommonControls, TrackBarMovesByLinesAndPagesWithinItsRange) {
  HWND track = CreateWindowExA(0, kTrackBarClassName, "", WS_CHILD | WS_VISIBLE | TBS_AUTOTICKS, 10, 40, 200, 24,
                               top, reinterpret_cast<HMENU>(2), nullptr, nullptr);
  ASSERT_NE(track, nullptr);
  SendMessageA(track, TBM_SETRANGE, FALSE, static_cast<LPARAM>(MAKELONG(4, 30)));
  SendMessageA(track, TBM_SETLINESIZE, 0, 2);
  SendMessageA(track, TBM_SETPAGESIZE, 0, 4);
  SendMessageA(track, TBM_SETTICFREQ, 2, 0);
  SendMessageA(track, TBM_SETPOS, TRUE, 10);
  EXPECT_TRUE(heard.scrolls.empty());  // setting the position tells nobody
  EXPECT_EQ(SendMessageA(track, TBM_GETPOS, 0, 0), 10);
  EXPECT_EQ(SendMessageA(track, TBM_GETRANGEMIN, 0, 0), 4);
  EXPECT_EQ(SendMessageA(track, TBM_GETRANGEMAX, 0, 0), 30);
  SendMessageA(track, WM_KEYDOWN, VK_RIGHT, 0);
  EXPECT_EQ(SendMessageA(track, TBM_GETPOS, 0, 0), 12);
  ASSERT_GE(heard.scrolls.size(), 2u);
  EXPECT_EQ(heard.scrolls[0].first, TB_LINEDOWN);
  EXPECT_EQ(heard.scrolls[0].second, 12);
  EXPECT_EQ(heard.scrolls[1].first, TB_ENDTRACK);
  for (int i = 0; i < 10; ++i) SendMessageA(track, WM_KEYDOWN, VK_NEXT, 0);
  EXPECT_EQ(SendMessageA(track, TBM_GETPOS, 0, 0), 30);
  SendMessageA(track, WM_KEYDOWN, VK_HOME, 0);
  EXPECT_EQ(SendMessageA(track, TBM_GETPOS, 0, 0), 4);
  // The real keys of a focused bar do the same.
  SetFocus(track);
  ui_test::Key(track, Qt::Key_PageDown);
  EXPECT_EQ(SendMessageA(track, TBM_GETPOS, 0, 0), 8);
  // Dragging the thumb is heard while it moves.
  auto* slider = qobject_cast<QSlider*>(track->widget.data());
  ASSERT_NE(slider, nullptr);
  heard.scrolls.clear();
  slider->triggerAction(QAbstractSlider::SliderMove);
  ASSERT_FALSE(heard.scrolls.empty());
  EXPECT_EQ(heard.scrolls[0].first, TB_THUMBTRACK);
}

}  // namespace
