#include "tests/engine/bandoutput/band_fixture.h"

#include "charts/chart.h"
#include "platform/win/ui_app.h"

#include <gmock/gmock.h>

#include <cstring>

using ::testing::ElementsAre;

namespace {

class AcrossRows : public BandFixture {
 protected:
  void Build() {
    name = AddTextField(AddLine(kBandRecord), 0, 10, "");
    int second = AddLine(kBandRecord);
    note = AddTextField(second, 2, 8, "");
    AddBox(0, 1, 0, 15);
    flag = AddTextField(AddLine(kBandSummary), 0, 1, "");  // held by a band the rows never print
    flag->flags = kFieldLogical;
    Finish();
    layout.Lines().lines[second].objectId = 0;  // the note line prints when the flag is set
    run.recordsAcrossExtra = 2;  // three records a row
    s->columnWidth = 200;
  }
  int Record(const char* n, const char* text) {
    std::strcpy(reinterpret_cast<char*>(name->value), n);
    std::strcpy(reinterpret_cast<char*>(note->value), text);
    flag->value[0] = text[0] != 0;
    return Band(kBandRecord);
  }
  FieldDef* name = nullptr;
  FieldDef* note = nullptr;
  FieldDef* flag = nullptr;
};

}  // namespace

TEST_F(AcrossRows, ThreeRecordsGoOutSideBySideAfterTheThird) {
  Build();
  driver.y = 1000;
  ASSERT_EQ(Record("Ann", "a1"), 0);
  ASSERT_EQ(Record("Bob", ""), 0);  // no second line
  EXPECT_TRUE(driver.lines.empty());
  EXPECT_TRUE(driver.boxes.empty());
  ASSERT_EQ(Record("Cyd", "c1"), 0);
  // Row line 0: each record at its place; row line 1: Bob's place stays empty.
  ASSERT_EQ(driver.lines.size(), 5u);
  EXPECT_THAT(driver.Texts(), ElementsAre("Ann", "Bob", "Cyd", "a1", "c1"));
  EXPECT_THAT(driver.lines[1].dump, ::testing::HasSubstr("<1:200>"));
  EXPECT_THAT(driver.lines[2].dump, ::testing::HasSubstr("<1:400>"));
  EXPECT_THAT(driver.lines[4].dump, ::testing::HasSubstr("<1:419>"));  // 20 pixels in, third place
  EXPECT_EQ(driver.lines[0].y, driver.lines[2].y);
  EXPECT_EQ(driver.lines[3].y, driver.lines[0].y + 120);
  // One box per record, each from the row's top to its second line's bottom.
  ASSERT_EQ(driver.boxes.size(), 3u);
  EXPECT_EQ(driver.boxes[0].top, driver.boxes[2].top);
  EXPECT_EQ(driver.boxes[1].left - driver.boxes[0].left, 1250);  // 200 screen pixels at 600 dpi
  EXPECT_EQ(run.recordHeight, 240);
  EXPECT_EQ(s->rowRecords, 0);

  // A partly filled row is sent when the run flushes it.
  driver.lines.clear();
  ASSERT_EQ(Record("Dee", ""), 0);
  EXPECT_TRUE(driver.lines.empty());
  EXPECT_EQ(FlushAcrossRow(&run, 0), 1);
  EXPECT_THAT(driver.Texts(), ElementsAre("Dee"));
}

TEST_F(AcrossRows, RowsKeepTogetherAndInvisiblePagesStillTakeTheirHeight) {
  Build();
  run.topOfPage = 0;
  driver.y = driver.pageLength - 150;  // room for one row line only
  Record("Ann", "a1");
  Record("Bob", "b1");
  ASSERT_EQ(Record("Cyd", "c1"), 0);
  EXPECT_EQ(CountPages(), 1);
  ASSERT_EQ(driver.lines.size(), 6u);
  EXPECT_EQ(driver.lines[0].page, 2);

  run.startPage = 5;  // pages before it are laid out, not drawn
  driver.lines.clear();
  driver.log.clear();
  Record("Dee", "d1");
  Record("Eve", "e1");
  ASSERT_EQ(Record("Fay", "f1"), 0);
  EXPECT_TRUE(driver.lines.empty());
  EXPECT_THAT(driver.log, ElementsAre("18:60", "18:60", "5:100:0", "5:100:0", "18:60"));
}

// A page-break line inside the Record band cuts the row: each page gets the
// part of the row's lines and boxes that stands on its lines, one copy per
// record.
TEST_F(AcrossRows, ARowCutByAPageBreakKeepsItsBoxesOnBothPages) {
  const int top = AddLine(kBandRecord);
  name = AddTextField(top, 0, 10, "");
  AddLine(kBandRecord, 0x01);  // the page breaks here
  const int below = AddLine(kBandRecord);
  note = AddTextField(below, 2, 8, "");
  AddBox(top, below, 0, 15);           // across the break
  AddBox(below, below, 0, 12, false);  // a rule under the second line
  Finish();
  run.recordsAcrossExtra = 2;
  s->columnWidth = 200;
  driver.y = 1000;
  for (const char* n : {"Ann", "Bob", "Cyd"}) {
    std::strcpy(reinterpret_cast<char*>(name->value), n);
    std::strcpy(reinterpret_cast<char*>(note->value), "x");
    ASSERT_EQ(Band(kBandRecord), 0);
  }
  EXPECT_EQ(CountPages(), 1);
  ASSERT_EQ(driver.lines.size(), 6u);
  EXPECT_EQ(driver.lines[0].page, 1);
  EXPECT_EQ(driver.lines[3].page, 2);
  // The box's upper part closes at the bottom of the first line on page 1,
  // its lower part starts at the top of page 2; each once per record. (Printer
  // pixels at 600 dpi: 1000 decipoints down are 833, one line of 120 is 100.)
  ASSERT_EQ(driver.boxes.size(), 6u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(driver.boxes[i].top, 833) << i;
    EXPECT_EQ(driver.boxes[i].bottom, 933) << i;
    EXPECT_LE(driver.boxes[3 + i].top, 1) << i;  // the top of the page
    EXPECT_EQ(driver.boxes[3 + i].bottom, 100) << i;
  }
  EXPECT_EQ(driver.boxes[1].left - driver.boxes[0].left, 1250);
  // The rule under the second line, on page 2 with it.
  ASSERT_EQ(driver.flatLines.size(), 3u);
  EXPECT_EQ(driver.flatLines[0].bottom, 100);
}

namespace {

struct OneValue : ChartValueSource {
  double value = 0;
  bool Number(uint32_t, double* v) override { return *v = value, true; }
  std::string Text(uint32_t) override { return std::string(); }
};

}  // namespace

// A chart in a records-across Record band is drawn once per row and placed
// at each record's place; its values are those collected up to the row.
TEST_F(AcrossRows, AChartInTheRowIsPlacedForEachRecord) {
  UiStartApplication();
  name = AddTextField(AddLine(kBandRecord, 0, 360), 0, 10, "");
  ChartTableEntry entry;
  entry.head.flags = kItemKindChart;
  entry.head.bandLine = 0;
  entry.head.left = 20, entry.head.right = 139;
  entry.head.top = 0, entry.head.bottom = 40;
  entry.chart.reset(std::make_unique<CKmChart>(nullptr));
  ChartTableEntry* added = layout.charts.Append(entry);
  CKmChart* chart = ChartOf(*added);
  chart->Settings().series = {{0, "n"}};
  OneValue v;
  for (double x : {3.0, 4.0}) {
    v.value = x;
    chart->FeedLevel(kChartLevelRecord, false, v);
  }
  Finish();
  run.recordsAcrossExtra = 2;
  s->columnWidth = 200;
  for (const char* n : {"Ann", "Bob", "Cyd"}) {
    std::strcpy(reinterpret_cast<char*>(name->value), n);
    ASSERT_EQ(Band(kBandRecord), 0);
  }
  ASSERT_EQ(driver.charts.size(), 3u);
  EXPECT_EQ(driver.charts[1].x - driver.charts[0].x, 200);
  EXPECT_EQ(driver.charts[2].x - driver.charts[1].x, 200);
  EXPECT_EQ(driver.charts[0].metafile, driver.charts[2].metafile);
  EXPECT_GT(driver.charts[0].width, 100);
  EXPECT_EQ(added->metafileCache.Count(), 1u);
}
