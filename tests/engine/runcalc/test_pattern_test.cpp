#include <string>
#include <vector>

#include "engine/report_run.h"
#include "engine/test_pattern.h"
#include "foundation/band_lines.h"
#include "tests/support/run_harness.h"

#include <gtest/gtest.h>

namespace {

// A page of 5 Record bands of 360 per column, three columns; the driver
// logs each start of a column's page part ("header"), each move back up to
// the next column and each page end ("end 1"), the run's output each band
// with the column it went to and the page footer.
class PatternDriver : public FakeDriver {
 public:
  int BeginPage(PageOutputState* s, int top, int send) override {
    steps->push_back("header");
    return FakeDriver::BeginPage(s, top, send);
  }
  int MoveDown(PageOutputState* s, int distance, int render) override {
    if (distance < 0) steps->push_back("end 1");
    return FakeDriver::MoveDown(s, distance, render);
  }
  LONG EndPage(PageOutputState* s, int send) override {
    steps->push_back("end 1");
    return FakeDriver::EndPage(s, send);
  }
  bool HasEntry(int ordinal) const override { return spaceLeftKnown || ordinal != 10; }
  std::vector<std::string>* steps = nullptr;
  bool spaceLeftKnown = true;
};

class PatternOutput : public HarnessOutput {
 public:
  int OutputBand(KmDocBase* doc, int band, int fitLimit) override {
    if (fitLimit == 0 && band == kBandRecord)
      steps->push_back("band 60 col " + std::to_string(RunOf(doc)->currentColumn));
    if (fitLimit == 0 && band == kBandPageFooter) steps->push_back("footer");
    return HarnessOutput::OutputBand(doc, band, fitLimit);
  }
  std::vector<std::string>* steps = nullptr;
};

struct PatternRun : RunHarness {
  explicit PatternRun(int columns) {
    AddBand(kBandRecord, 1, 360);
    AddBand(kBandPageFooter, 1, 120);
    pattern.steps = &steps;
    patternOutput.steps = &steps;
    pattern.pageLength = 5 * 360 + 120;
    run->driver = &pattern;
    run->output = &patternOutput;
    run->columnsAcross = static_cast<uint32_t>(columns);
  }
  ~PatternRun() { run->driver = &driver; }
  int Count(const std::string& step) const {
    int n = 0;
    for (const auto& s : steps) n += s == step;
    return n;
  }
  std::vector<std::string> steps;
  PatternDriver pattern;
  PatternOutput patternOutput;
};

TEST(TestPattern, FillsEveryColumnWithRecordBandsWithoutAPriorRun) {
  PatternRun h(3);
  // No report ran before: the record height is worked out by the pass itself.
  ASSERT_EQ(h.run->recordHeight, 0);
  EXPECT_EQ(RunTestPattern(h.run), 0);
  EXPECT_EQ(h.run->recordHeight, 360);
  for (int c = 1; c <= 3; ++c) EXPECT_EQ(h.Count("band 60 col " + std::to_string(c)), 5) << c;
  // Every column begins at the page's top and ends there; the page footer
  // comes once, in the last.
  EXPECT_EQ(h.Count("header"), 3);
  EXPECT_EQ(h.Count("footer"), 1);
  EXPECT_EQ(h.Count("end 1"), 3);
  EXPECT_EQ(h.steps.front(), "header");
  EXPECT_EQ(h.steps.back(), "end 1");
}

TEST(TestPattern, NoRecordBandOrNoSpaceMeasureStillEnds) {
  {
    PatternRun h(1);
    h.run->printRecordBand = false;
    RunTestPattern(h.run);
    EXPECT_EQ(h.Count("band 60 col 1"), 0);
    EXPECT_EQ(h.Count("end 1"), 1);
  }
  // A driver that cannot tell the space left: the column ends all the same.
  PatternRun h(1);
  h.pattern.spaceLeftKnown = false;
  RunTestPattern(h.run);
  EXPECT_GT(h.Count("band 60 col 1"), 5);
  EXPECT_EQ(h.Count("end 1"), 1);
}

}  // namespace
