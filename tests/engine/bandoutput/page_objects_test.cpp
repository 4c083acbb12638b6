#include "engine/output_messages.h"
#include "engine/page_objects.h"
#include "tests/engine/bandoutput/band_fixture.h"

#include <gmock/gmock.h>

#include <cstring>
#include <string>
#include <vector>

namespace {
// Decipoints to the fixture's 600-dpi printer pixels.
WORD Ppx(LONG dp) { return static_cast<WORD>((dp * 600 + 360) / 720); }

// A picture ten pixels wide at column `left` filling its band line.
PictureItem& AddPicture(LayoutTables& layout, int line, int left, void* image = nullptr) {
  PictureItem p;
  p.head.flags = kItemKindPicture;
  p.head.bandLine = static_cast<uint8_t>(line);
  p.head.left = left;
  p.head.right = left + 99;
  p.head.top = 0;
  p.head.bottom = layout.Lines().lines[line].bottom;
  p.image = image;
  return *layout.pictures.Append(p);
}
}  // namespace

TEST_F(BandFixture, BoxAroundARecordIsDrawnOnceAfterItsLastLine) {
  for (int i = 0; i < 3; ++i) AddText(AddLine(kBandRecord), 2, "row");
  AddBox(0, 2, 0, 20);
  AddBox(2, 2, 0, 20, false)->head.top = layout.Lines().lines[2].bottom;  // a rule under the last row
  Finish();
  driver.y = 1000;
  run.topOfPage = 0;
  ASSERT_EQ(Band(kBandRecord), 0);
  ASSERT_EQ(driver.boxes.size(), 1u);
  const LineBoxRecord& b = driver.boxes[0];
  EXPECT_EQ(b.top, Ppx(1000));
  EXPECT_EQ(b.bottom, Ppx(1000 + 3 * 120));
  EXPECT_EQ(b.attributes, kNewBoxBorders);
  EXPECT_EQ(b.left, 0);
  EXPECT_EQ(b.right, 1200);  // 200 layout pixels: 192 screen pixels at 96 per inch
  EXPECT_EQ(b.fillColour, 0xFF000000u);
  // A flat line is sent with its bottom as its top.
  ASSERT_EQ(driver.flatLines.size(), 1u);
  EXPECT_EQ(driver.flatLines[0].top, driver.flatLines[0].bottom);
  EXPECT_EQ(driver.flatLines[0].bottom, Ppx(1360));
  EXPECT_EQ(s->openLinesBoxes, 0);
}

TEST_F(BandFixture, BoxCutByAPageEndContinuesOnTheNextPage) {
  for (int i = 0; i < 3; ++i) AddText(AddLine(kBandRecord), 2, "row");
  AddBox(0, 2, 0, 20);
  Finish();
  run.topOfPage = 0;
  driver.y = driver.pageLength - 250;  // two rows fit
  ASSERT_EQ(Band(kBandRecord), 0);
  ASSERT_EQ(driver.boxes.size(), 2u);
  // First part: down to the page's end, without its bottom side.
  EXPECT_EQ(driver.boxes[0].top, Ppx(driver.pageLength - 250));
  EXPECT_EQ(driver.boxes[0].bottom, Ppx(driver.pageLength));
  EXPECT_EQ(driver.boxes[0].attributes, kNewBoxBorders & ~kBorderBottom);
  // Second part: from the new page's top, without its top side.
  EXPECT_EQ(driver.boxes[1].top, Ppx(1));
  EXPECT_EQ(driver.boxes[1].bottom, Ppx(120));
  EXPECT_EQ(driver.boxes[1].attributes, kNewBoxBorders & ~kBorderTop);

  // The next record's box is whole again.
  driver.boxes.clear();
  ASSERT_EQ(Band(kBandRecord), 0);
  ASSERT_EQ(driver.boxes.size(), 1u);
  EXPECT_EQ(driver.boxes[0].attributes, kNewBoxBorders);
}

TEST_F(BandFixture, BoxGrowsWithAWrappedFieldInside) {
  AddTextField(AddLine(kBandRecord), 0, 6, "one two three", 0x40);
  AddBox(0, 0, 0, 10);
  Finish();
  driver.y = 1000;
  ASSERT_EQ(Band(kBandRecord), 0);
  EXPECT_EQ(driver.lines.size(), 3u);
  ASSERT_EQ(driver.boxes.size(), 1u);
  EXPECT_EQ(driver.boxes[0].top, Ppx(1000));
  EXPECT_EQ(driver.boxes[0].bottom, Ppx(1000 + 3 * 120));
}

TEST_F(BandFixture, BoxFromGroupHeaderToFooterSpansTheRecords) {
  AddText(AddLine(kBandGroupHeader), 0, "head");
  AddText(AddLine(kBandRecord), 0, "rec");
  AddText(AddLine(kBandGroupFooter), 0, "foot");
  AddBox(0, 2, 0, 10);
  Finish();
  driver.y = 500;
  run.topOfPage = 0;
  ASSERT_EQ(Band(kBandGroupHeader), 0);
  ASSERT_EQ(Band(kBandRecord), 0);
  ASSERT_EQ(Band(kBandRecord), 0);
  EXPECT_TRUE(driver.boxes.empty());
  ASSERT_EQ(Band(kBandGroupFooter), 0);
  ASSERT_EQ(driver.boxes.size(), 1u);
  EXPECT_EQ(driver.boxes[0].top, Ppx(500));
  EXPECT_EQ(driver.boxes[0].bottom, Ppx(500 + 4 * 120));

  // A page the run ends itself cuts the box, which goes on below the next
  // page's header.
  driver.boxes.clear();
  ASSERT_EQ(Band(kBandGroupHeader), 0);
  run.pageFooterHeight = 300;
  SpanningGraphicsAtPageChange(&run);  // the page ends
  ASSERT_EQ(driver.boxes.size(), 1u);
  EXPECT_EQ(driver.boxes[0].bottom, Ppx(driver.pageLength - 300));
  SpanningGraphicsAtPageChange(&run);  // still the same page: nothing opens
  driver.y = 400;
  ++run.pageCount;
  SpanningGraphicsAtPageChange(&run);  // the next page has its header
  ASSERT_EQ(Band(kBandGroupFooter), 0);
  ASSERT_EQ(driver.boxes.size(), 2u);
  EXPECT_EQ(driver.boxes[1].top, Ppx(400));
  EXPECT_EQ(driver.boxes[1].attributes, kNewBoxBorders & ~kBorderTop);
}

TEST_F(BandFixture, PicturesOfTheSameFileShareOneImageAndRefusalsStopTheRun) {
  int l = AddLine(kBandRecord, 0, 720);
  AddText(l, 0, "pic");
  int dummy1 = 1, dummy2 = 2;
  for (int i = 0; i < 2; ++i) {
    PictureItem& p = AddPicture(layout, l, 100 + 200 * i, i == 0 ? &dummy1 : &dummy2);
    std::strcpy(p.fileName, "/pics/logo.png");
    p.shownWidth = p.shownHeight = 100;
  }
  Finish();
  driver.y = 100;
  ASSERT_EQ(Band(kBandRecord), 0);
  ASSERT_EQ(driver.pictures.size(), 2u);
  EXPECT_EQ(driver.pictures[0].image, &dummy1);
  EXPECT_EQ(driver.pictures[1].image, &dummy1);
  EXPECT_STREQ(driver.pictures[1].fileName, "logo.png");
  EXPECT_EQ(driver.pictures[0].y, Ppx(100 + 720));  // the bottom of its line
  EXPECT_EQ(driver.pictures[0].x, 96);
  EXPECT_EQ(s->waitingPictures, 0);

  // A box the library refuses stops the run, said once as a lack of memory.
  static std::vector<std::string> said;
  said.clear();
  SetOutputMessageSink([](const std::string& text, const std::string&) { said.push_back(text); });
  driver.refuse = 19;
  AddBox(l, l, 0, 5);
  Finish();
  EXPECT_EQ(Band(kBandRecord), -1);
  EXPECT_EQ(said, std::vector<std::string>{"Insufficient memory for print/preview"});
  SetOutputMessageSink(nullptr);
}

TEST_F(BandFixture, PictureWaitingWhileTheOverflowOutputsThePageFooterIsStillPlaced) {
  int l = AddLine(kBandRecord);
  AddText(l, 0, "row");
  AddPicture(layout, l, 100);
  AddText(AddLine(kBandPageFooter), 0, "footer");
  Finish();
  run.topOfPage = 0;
  driver.y = driver.pageLength - 50;
  ASSERT_EQ(Band(kBandRecord), 0);
  EXPECT_THAT(driver.Texts(), ::testing::ElementsAre("footer", "row"));
  ASSERT_EQ(driver.pictures.size(), 1u);
  EXPECT_EQ(driver.pictures[0].y, Ppx(120));
  EXPECT_EQ(s->waitingPictures, 0);
}

// The colour table's values always go in the record; the colours drawn
// take the system's for the codes that name one when the page store asks.
TEST_F(BandFixture, LineAndBoxColoursNamingASystemColourFollowThePageStore) {
  AddText(AddLine(kBandRecord), 2, "row");
  LineBoxItem* box = AddBox(0, 0, 0, 20);
  box->borderColour = kNoColour;
  box->foreColour = 0;
  box->backColour = 15;
  LineBoxItem* blue = AddBox(0, 0, 30, 10);
  blue->borderColour = 9;
  blue->backColour = kNoColour;
  Finish();
  for (LONG system : {0, 1}) {
    page.useSystemColors = system;
    driver.boxes.clear();
    ASSERT_EQ(Band(kBandRecord), 0);
    ASSERT_EQ(driver.boxes.size(), 2u);
    const LineBoxRecord& b = driver.boxes[0].left == 0 ? driver.boxes[0] : driver.boxes[1];
    const LineBoxRecord& other = driver.boxes[0].left == 0 ? driver.boxes[1] : driver.boxes[0];
    EXPECT_EQ(b.lineColour, ColorTableValue(kNoColour));
    EXPECT_EQ(b.fillColour, ColorTableValue(15));
    EXPECT_EQ(b.lineColourShown, system ? GetSysColor(COLOR_WINDOW) : ColorTableValue(kNoColour));
    EXPECT_EQ(b.secondColourShown, system ? GetSysColor(COLOR_WINDOWTEXT) : ColorTableValue(0));
    EXPECT_EQ(b.fillColourShown, system ? GetSysColor(COLOR_WINDOW) : ColorTableValue(15));
    // A table colour is the same either way; no fill stays none.
    EXPECT_EQ(other.lineColourShown, ColorTableValue(9));
    EXPECT_EQ(other.fillColourShown, 0xFF000000u);
  }
}
