#include "designer/paste_image.h"

#include "layout/band_line_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

// Keeps a copy of the pixels as the "image"; can refuse to make one.
class Host : public PasteImageHost {
 public:
  bool refuse = false;
  int waitDepth = 0, waitCalls = 0;
  std::vector<UINT> errors;
  std::vector<std::unique_ptr<ClipboardImage>> images;
  void WaitCursor(bool on) override {
    waitDepth += on ? 1 : -1;
    ++waitCalls;
  }
  void* CreateImage(const ClipboardImage& image) override {
    if (refuse) return nullptr;
    images.push_back(std::make_unique<ClipboardImage>(image));
    return images.back().get();
  }
  void ShowError(UINT id) override { errors.push_back(id); }
};

ClipboardImage Pixels(int w, int h) {
  ClipboardImage i;
  i.width = w;
  i.height = h;
  for (int n = 0; n < w * h; ++n) i.bgra.insert(i.bgra.end(), {uint8_t(n), 0x20, 0x30, 0xFF});
  return i;
}

struct Paste : ::testing::Test {
  LayoutTables t;
  Host host;
  void SetUp() override {
    t.metrics.snapping = false;
    CreateLinesRequest r;
    r.count = 2;
    r.placement = LinePlacement::Band;
    ASSERT_TRUE(CreateBandLines(t, r));
    RelayoutAfterFontChange(t, false, kNoAnchor);  // lines 0-15, 16-31
    t.currentLine = 1;
  }
  void TearDown() override { ClearClipboard(); }
};

TEST_F(Paste, TheClipboardBitmapBecomesAPictureAtTheCaret) {
  ASSERT_TRUE(SetClipboardImage(Pixels(3, 40)));
  EXPECT_TRUE(CanPasteClipboardImage(true, false));
  EXPECT_FALSE(CanPasteClipboardImage(false, false));
  EXPECT_FALSE(CanPasteClipboardImage(true, true));

  PictureItem* p = PasteClipboardImage(t, host, 30);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(t.pictures.Count(), 1);
  EXPECT_EQ(host.waitDepth, 0);
  EXPECT_TRUE(host.errors.empty());
  ASSERT_EQ(host.images.size(), 1u);
  EXPECT_EQ(p->image, host.images[0].get());
  EXPECT_EQ(host.images[0]->bgra, Pixels(3, 40).bgra);  // read back byte for byte
  EXPECT_EQ(p->head.left, 30);
  EXPECT_EQ(p->head.top, 16);  // the caret line's top
  EXPECT_EQ(p->head.right, 32);
  EXPECT_EQ(p->head.bottom, 55);
  EXPECT_EQ(p->head.bandLine, 1);
  EXPECT_STREQ(p->fileName, "(from clipboard)");
  EXPECT_EQ(p->shownHeight, 42);  // 40 pixels at 96 per inch in hundredths, rounded
  EXPECT_EQ(t.currentItem, &p->head);
  // Lines were added down to the one holding the picture's bottom.
  EXPECT_EQ(t.Lines().lastUsed, 3);
}

TEST_F(Paste, NoBitmapOrNoImageGivesTheMessageAndNoPicture) {
  ClearClipboard();
  EXPECT_FALSE(CanPasteClipboardImage(true, false));
  EXPECT_EQ(PasteClipboardImage(t, host, 0), nullptr);
  EXPECT_EQ(host.errors, std::vector<UINT>{kPasteNoMemoryMessage});
  EXPECT_EQ(host.waitDepth, 0);
  EXPECT_EQ(t.pictures.Count(), 0);

  ASSERT_TRUE(SetClipboardImage(Pixels(2, 2)));
  host.refuse = true;
  EXPECT_EQ(PasteClipboardImage(t, host, 0), nullptr);
  EXPECT_EQ(host.errors.size(), 2u);
  EXPECT_EQ(t.pictures.Count(), 0);
}

TEST_F(Paste, PixelBlocksThatDoNotMatchTheirSizeAreRefused) {
  ClipboardImage bad = Pixels(4, 4);
  bad.bgra.resize(10);
  EXPECT_FALSE(SetClipboardImage(bad));
  bad.width = -4;
  EXPECT_FALSE(SetClipboardImage(bad));
  EXPECT_FALSE(SetClipboardImage(ClipboardImage()));
  ClipboardImage huge;
  huge.width = 1 << 20;
  huge.height = 1 << 20;
  EXPECT_FALSE(SetClipboardImage(huge));
}

}  // namespace
