#include "designer/line_drag.h"

#include "layout/band_line_layout.h"
#include "platform/win/capture.h"
#include "platform/win/ui_app.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class RecordingView : public LineDragView {
 public:
  bool captured = false;
  int height = 100;
  std::vector<int> toggles;
  int redraws = 0, drops = 0, cursor = -1;
  void CaptureMouse(bool on) override { captured = on; }
  int LayoutClientWidth() override { return 300; }
  int LayoutClientHeight() override { return height; }
  void ToggleDragLine(int y) override { toggles.push_back(y); }
  void SetEdgeCursor(int edge) override { cursor = edge; }
  void RedrawPanes() override { ++redraws; }
  void UpdateAfterDrop() override { ++drops; }
};

// Three Record lines at 96 pixels per inch without snapping: line 0 of 16
// pixels (0-15), line 1 freeform, half an inch = 48 pixels (16-63), line 2
// of 16 (64-79).
struct LineDrag : ::testing::Test {
  LayoutTables t;
  RecordingView view;
  LineEdgeDrag drag;
  void SetUp() override {
    t.metrics.snapping = false;
    CreateLinesRequest r;
    r.count = 3;
    r.placement = LinePlacement::Band;
    ASSERT_TRUE(CreateBandLines(t, r));
    t.bandRecords[1].heightMode = kHeightMeasure;
    t.bandRecords[1].height = 50;
    t.bandRecords[1].pixelHeight = 0;  // from the explicit height
    RelayoutAfterFontChange(t, true, kNoAnchor);
    ASSERT_EQ(t.bandRecords[1].bottom, 63);
    ASSERT_EQ(t.bandRecords[1].pixelHeight, 48);
  }
};

TEST_F(LineDrag, BottomEdgeDragTracksAndGivesTheLineItsNewHeight) {
  EXPECT_EQ(drag.HoverEdge(t, view, 61), 2);
  EXPECT_EQ(view.cursor, 2);
  EXPECT_EQ(drag.HoverEdge(t, view, 18), 1);
  EXPECT_EQ(drag.HoverEdge(t, view, 40), 0);
  EXPECT_FALSE(drag.Press(t, view, 40));  // not on an edge
  EXPECT_FALSE(drag.Press(t, view, 8));   // automatic lines have no edges

  ASSERT_TRUE(drag.Press(t, view, 61));
  EXPECT_TRUE(view.captured);
  EXPECT_EQ(t.modeWord, kModeLineEdgeDrag);
  EXPECT_EQ(drag.Line(), 1);
  drag.Track(t, view, 70);
  drag.Track(t, view, 70);  // unchanged: nothing drawn
  drag.Track(t, view, 66);
  EXPECT_EQ(view.toggles, (std::vector<int>{61, 61, 70, 70, 66}));
  EXPECT_EQ(drag.LowestY(), 70);
  drag.Track(t, view, 75);
  EXPECT_TRUE(drag.Release(t, view));
  EXPECT_EQ(view.toggles.back(), 75);  // the last line is taken away
  EXPECT_FALSE(view.captured);
  EXPECT_EQ(t.modeWord, 0);
  EXPECT_FALSE(drag.Active());
  EXPECT_EQ(view.drops, 1);
  // 75 - 15 = 60 pixels: 62 hundredths of an inch, back to 60 pixels.
  EXPECT_EQ(t.bandRecords[1].height, 62u);
  EXPECT_EQ(t.bandRecords[1].bottom, 75);
  EXPECT_EQ(t.bandRecords[2].bottom, 91);
}

TEST_F(LineDrag, ATopEdgeDraggedBelowTheBottomChangesNothingButRedraws) {
  ASSERT_TRUE(drag.Press(t, view, 18));
  EXPECT_EQ(drag.Edge(), 1);
  drag.Track(t, view, 70);
  EXPECT_FALSE(drag.Release(t, view));
  EXPECT_EQ(t.bandRecords[1].bottom, 63);
  EXPECT_EQ(t.bandRecords[1].height, 50u);
  EXPECT_EQ(view.drops, 1);
  EXPECT_EQ(t.modeWord, 0);
  EXPECT_FALSE(drag.Release(t, view));  // no second end
  EXPECT_EQ(view.drops, 1);
}

TEST_F(LineDrag, LeavingTheViewScrollsWithinTheLaidOutLines) {
  ASSERT_TRUE(drag.Press(t, view, 61));
  drag.Track(t, view, -3);  // already at the top: nothing moves, still redrawn
  EXPECT_EQ(t.scrollY, 0);
  EXPECT_EQ(view.redraws, 1);
  drag.Track(t, view, 40);  // the redraw took the old line away: only the new one
  EXPECT_EQ(view.toggles, (std::vector<int>{61, 40}));
  drag.Track(t, view, 100);
  EXPECT_EQ(t.scrollY, 32);  // two default line heights
  for (int i = 0; i < 200; ++i) drag.Track(t, view, 150);
  const int end = t.bandRecords[256].bottom - view.height;
  EXPECT_EQ(t.scrollY, end);
  drag.Track(t, view, -1);
  EXPECT_EQ(t.scrollY, end - 32);
  t.scrollY = 32;
  drag.Track(t, view, 50);
  EXPECT_TRUE(drag.Release(t, view));
  // 50 + 32 - 15 = 67 pixels, kept as 69 hundredths of an inch: 66 pixels.
  EXPECT_EQ(t.bandRecords[1].bottom, 81);
}

LRESULT PlainProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

TEST(LineDragWindows, ThePaneHoldsTheCaptureWhileTheLineIsDragged) {
  UiStartApplication();
  WNDCLASSA wc{};
  wc.lpfnWndProc = PlainProc;
  wc.lpszClassName = "VtLineDragPane";
  RegisterClassA(&wc);
  HWND pane = CreateWindowExA(0, "VtLineDragPane", "Bands", WS_OVERLAPPED, 0, 0, 60, 200, nullptr, nullptr,
                              nullptr, nullptr);
  HWND view = CreateWindowExA(0, "VtLineDragPane", "Layout", WS_OVERLAPPED, 0, 0, 300, 200, nullptr, nullptr,
                              nullptr, nullptr);
  ASSERT_NE(pane, nullptr);
  ShowWindow(pane, SW_SHOW);
  ShowWindow(view, SW_SHOW);
  LayoutTables t;
  t.metrics.snapping = false;
  CreateLinesRequest r;
  r.count = 2;
  r.placement = LinePlacement::Band;
  ASSERT_TRUE(CreateBandLines(t, r));
  t.bandRecords[0].heightMode = kHeightMeasure;
  t.bandRecords[0].height = 50;
  t.bandRecords[0].pixelHeight = 0;
  RelayoutAfterFontChange(t, true, kNoAnchor);
  WindowLineDragView v(pane, view, nullptr, nullptr);
  EXPECT_GT(v.LayoutClientHeight(), 0);
  LineEdgeDrag drag;
  ASSERT_TRUE(drag.Press(t, v, 45));
  EXPECT_EQ(GetCapture(), pane);
  EXPECT_EQ(v.DrawnY(), 45);
  drag.Track(t, v, 80);
  EXPECT_EQ(v.DrawnY(), 80);
  EXPECT_TRUE(drag.Release(t, v));
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(v.DrawnY(), -1);
  EXPECT_EQ(t.bandRecords[0].bottom, 80);
  // A window destroyed while it holds the capture gives it up.
  SetCapture(view);
  DestroyWindow(view);
  EXPECT_EQ(GetCapture(), nullptr);
  DestroyWindow(pane);
}

}  // namespace
