#include <string>
#include <vector>

#include "engine/report_run.h"
#include "engine/test_pattern.h"
#include "foundation/band_lines.h"
#include "runcalc_fixture.h"

namespace {

// A page of 5 Record bands per column; the hooks log what the pass asks for.
struct PatternLog {
  std::vector<std::string> steps;
  int32_t recordHeight = 0;
  int column = 1;
  int onPage = 0;
  int columns = 3;
  int printRecordBand = 1;
  bool spaceLeftKnown = true;
};
PatternLog g;

class TestPattern : public RunCalcTest {
 protected:
  TestPattern() {
    g = PatternLog();
    run.calc = calc;
    calc->run = &run;
    RunCalcHooks& h = calc->hooks;
    h.columnsAcross = [](ReportRun*) { return g.columns; };
    h.printRecordBand = [](ReportRun*) { return g.printRecordBand; };
    h.setCurrentColumn = [](ReportRun*, int c) { g.column = c, g.onPage = 0; };
    h.bandHeight = [](ReportRun*, int band, int mode) { return band == kBandRecord && mode == 0 ? 360 : 0; };
    h.recordHeight = [](ReportRun*) { return g.recordHeight; };
    h.setRecordHeight = [](ReportRun*, int32_t v) { g.recordHeight = v; };
    h.outputPageBreakBands = [](ReportRun*, int part) {
      return g.steps.push_back(part ? "footer" : "header"), 0;
    };
    h.outputBand = [](ReportRun*, int band) {
      ++g.onPage;
      return g.steps.push_back("band " + std::to_string(band) + " col " + std::to_string(g.column)), 0;
    };
    h.recordDoesNotFit = [](ReportRun*) { return g.spaceLeftKnown && g.onPage >= 5; };
    h.endPage = [](ReportRun*, int last) { return g.steps.push_back("end " + std::to_string(last)), 0; };
  }
  int Count(const std::string& step) const {
    int n = 0;
    for (const auto& s : g.steps) n += s == step;
    return n;
  }
  ReportRun run;
};

TEST_F(TestPattern, FillsEveryColumnWithRecordBandsWithoutAPriorRun) {
  // No report ran before: the record height is worked out by the pass itself.
  ASSERT_EQ(g.recordHeight, 0);
  EXPECT_EQ(RunTestPattern(&run), 0);
  EXPECT_EQ(g.recordHeight, 360);
  for (int c = 1; c <= 3; ++c) EXPECT_EQ(Count("band 60 col " + std::to_string(c)), 5) << c;
  EXPECT_EQ(Count("header"), 3);
  EXPECT_EQ(Count("footer"), 3);
  EXPECT_EQ(Count("end 1"), 3);
  EXPECT_EQ(g.steps.front(), "header");
  EXPECT_EQ(g.steps.back(), "end 1");
}

TEST_F(TestPattern, NoRecordBandOrNoSpaceMeasureStillEnds) {
  g.columns = 1;
  g.printRecordBand = 0;
  RunTestPattern(&run);
  EXPECT_EQ(Count("band 60 col 1"), 0);
  EXPECT_EQ(Count("end 1"), 1);

  // A driver that cannot tell the space left: the column ends all the same.
  g = PatternLog();
  g.columns = 1;
  g.spaceLeftKnown = false;
  RunTestPattern(&run);
  EXPECT_GT(Count("band 60 col 1"), 5);
  EXPECT_EQ(Count("end 1"), 1);
}

}  // namespace
