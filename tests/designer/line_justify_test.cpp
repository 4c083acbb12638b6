#include "designer/line_justify.h"

#include "layout/band_line_layout.h"

#include <gtest/gtest.h>

#include <array>

namespace {

// Two Record lines; three texts on line 1 (marked) and one on line 0.
struct LineJustifyTest : ::testing::Test {
  LayoutTables t;
  std::array<TextItem, 4> x{};
  void SetUp() override {
    t.metrics.snapping = false;
    CreateLinesRequest r;
    r.count = 2;
    r.placement = LinePlacement::Band;
    ASSERT_TRUE(CreateBandLines(t, r));
    Put(0, 1, 100, 139);  // 40 wide
    Put(1, 1, 10, 29);    // 20 wide, leftmost
    Put(2, 1, 200, 259);  // 60 wide
    Put(3, 0, 50, 69);
    for (size_t i = 0; i + 1 < x.size(); ++i) x[i].nextText = &x[i + 1];
    t.textHead = &x[0];
    t.bandRecords[1].flags |= kLineMarked;
  }
  void TearDown() override { t.textHead = nullptr; }
  void Put(size_t i, int line, int left, int right) {
    x[i].head.bandLine = static_cast<uint8_t>(line);
    x[i].head.left = left;
    x[i].head.right = right;
  }
};

TEST_F(LineJustifyTest, SpreadPutsTheRowFromEdgeToEdgeWithEvenGaps) {
  ASSERT_TRUE(JustifyMarkedLines(t, LineJustify::Spread, 600));
  // 120 pixels of items in 600: two gaps of 240, in left-to-right order.
  EXPECT_EQ(x[1].head.left, 0);
  EXPECT_EQ(x[1].head.right, 19);
  EXPECT_EQ(x[0].head.left, 260);
  EXPECT_EQ(x[0].head.right, 299);
  EXPECT_EQ(x[2].head.left, 540);
  EXPECT_EQ(x[2].head.right, 599);
  EXPECT_EQ(x[3].head.left, 50) << "an unmarked line stays";
  // Again: nothing moves any more.
  EXPECT_FALSE(JustifyMarkedLines(t, LineJustify::Spread, 600));
}

TEST_F(LineJustifyTest, UnevenRoomEndsTheLastItemAtTheEdge) {
  ASSERT_TRUE(JustifyMarkedLines(t, LineJustify::Spread, 601));
  EXPECT_EQ(x[2].head.right, 600);
  EXPECT_EQ(x[0].head.left - x[1].head.right - 1, 241);
  EXPECT_EQ(x[2].head.left - x[0].head.right - 1, 240);
}

TEST_F(LineJustifyTest, LeftCenterAndRightMoveTheRowAsABlock) {
  ASSERT_TRUE(JustifyMarkedLines(t, LineJustify::Right, 600));
  EXPECT_EQ(x[2].head.right, 599);
  EXPECT_EQ(x[1].head.left, 599 - 249);
  EXPECT_EQ(x[0].head.left - x[1].head.left, 90) << "the gaps stay";
  ASSERT_TRUE(JustifyMarkedLines(t, LineJustify::Left, 600));
  EXPECT_EQ(x[1].head.left, 0);
  EXPECT_EQ(x[2].head.right, 249);
  ASSERT_TRUE(JustifyMarkedLines(t, LineJustify::Center, 600));
  EXPECT_EQ(x[1].head.left, 175);
  EXPECT_EQ(x[2].head.right, 424);
}

TEST_F(LineJustifyTest, ARowWiderThanTheLayoutAndGraphicsStayPut) {
  EXPECT_FALSE(JustifyMarkedLines(t, LineJustify::Spread, 100));
  EXPECT_FALSE(JustifyMarkedLines(t, LineJustify::Right, 200)) << "the row spans 250";
  EXPECT_EQ(x[1].head.left, 10);
  x[2].head.flags |= kItemKindBox;
  ASSERT_TRUE(JustifyMarkedLines(t, LineJustify::Left, 200));
  EXPECT_EQ(x[2].head.left, 200) << "a box is not part of the row";
  EXPECT_EQ(x[1].head.left, 0);
  x[0].head.flags |= kItemDeleted;
  t.bandRecords[1].flags &= static_cast<BYTE>(~kLineMarked);
  EXPECT_FALSE(JustifyMarkedLines(t, LineJustify::Right, 600)) << "no line marked";
}

}  // namespace
