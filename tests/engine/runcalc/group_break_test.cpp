#include <string>
#include <vector>

#include "engine/output_values.h"
#include "foundation/band_lines.h"
#include "runcalc_fixture.h"

namespace {

class GroupBreak : public RunCalcTest {
 protected:
  GroupBreak() {
    region = Field("REGION", 0, 300);
    day = Field("DAY", kFieldDate);
    amount = Field("AMOUNT", kFieldNumeric);
    UseGroups({region, day, amount});
    ResetGroupBreaks(calc, 0);
  }
  void Set(const std::string& r, uint32_t d, double a) {
    SetText(region, r);
    SetDay(day, d);
    SetNumber(amount, a);
  }
  // Which levels break for the record: their pending bits as "012".
  std::string Breaks(const std::string& r, uint32_t d, double a) {
    Set(r, d, a);
    for (int i = 0; i < calc->levelsUsed; ++i) calc->levels[i].runBits = 0;
    std::string out;
    if (!DetectGroupBreak(calc)) return out;
    for (int i = 0; i < calc->levelsUsed; ++i)
      if (calc->levels[i].runBits & kRunBreakPending) out += static_cast<char>('0' + i);
    return out;
  }
  FieldDef* region = nullptr;
  FieldDef* day = nullptr;
  FieldDef* amount = nullptr;
};

TEST_F(GroupBreak, EveryLevelComparesByItsType) {
  UseCaseFoldingCollation();
  EXPECT_EQ(Breaks("East", 100, 1), "012");  // the first record breaks every level
  EXPECT_EQ(calc->brokenLevel, 0);
  EXPECT_EQ(Breaks("East", 100, 1), "");
  EXPECT_EQ(Breaks("EAST", 100, 1), "");  // equal under the collation
  EXPECT_EQ(Breaks("EAST", 100, 2), "2");
  EXPECT_EQ(calc->brokenLevel, 2);
  EXPECT_EQ(Breaks("EAST", 101, 2), "12");
  EXPECT_EQ(Breaks("West", 101, 2), "012");
  // Empty values compare as values: null after null is no break.
  EXPECT_EQ(Breaks("West", 0x80000001u, GetNullNumber()), "12");
  EXPECT_EQ(Breaks("West", 0x80000001u, GetNullNumber()), "");
  EXPECT_EQ(Breaks("West", 0x80000001u, 0), "2");
  EXPECT_EQ(Breaks("", 0x80000001u, 0), "012");
  EXPECT_EQ(Breaks("", 0x80000001u, 0), "");
}

TEST_F(GroupBreak, TextsCompareOverTheirFirst254Characters) {
  const std::string a = std::string(254, 'x') + "A";
  const std::string b = std::string(254, 'x') + "B";
  EXPECT_EQ(Breaks(a, 1, 1), "012");
  EXPECT_EQ(Breaks(b, 1, 1), "");
  EXPECT_EQ(Breaks(std::string(253, 'x') + "y", 1, 1), "012");
  // The slot holds at most 254 characters and stays zero-filled after them.
  EXPECT_EQ(calc->previousGroup[254], 0);
}

// The totals at each break are checked against SQLite in the grouped-totals
// test; here the bands a break asks for.
TEST_F(GroupBreak, BreakBeforeARecordRunsFootersThenHeaders) {
  calc->levelsUsed = 2;  // region and day
  static uint32_t output;
  output = 0;
  calc->hooks.recordsOutput = [](ReportRun*) { return output; };
  static std::vector<std::string> log;
  log.clear();
  calc->hooks.outputGroupFooters = [](ReportRun*) { return log.push_back("footers"), 0; };
  calc->hooks.outputGroupHeaders = [](ReportRun*, int mode) {
    return log.push_back("headers " + std::to_string(mode)), 0;
  };
  const std::pair<const char*, uint32_t> rows[] = {{"East", 1}, {"East", 1}, {"East", 2}, {"West", 2}, {"West", 2}};
  for (const auto& r : rows) {
    Set(r.first, r.second, 0);
    ASSERT_EQ(UpdateSummariesOf(calc, nullptr, 1), 0);
    ASSERT_EQ(HandleGroupBreak(calc), 0);
    ++output;
    for (auto& level : calc->levels) level.runBits &= ~7;  // as the record loop does
  }
  // The first record breaks every level without a footer before it.
  EXPECT_EQ(log, std::vector<std::string>({"footers", "headers 1", "footers", "headers 1"}));
}

TEST_F(GroupBreak, PageOptionsAndTheSpaceAGroupChangeNeeds) {
  model.passPhase = kPhaseReportRun;
  calc->levels[1].options = kGroupSwapFooter;
  calc->levels[2].options = kGroupSwapHeader;
  calc->hooks.bandHeightToBreak = [](ReportRun*, int band) { return band == kBandGroupFooter + 1 ? 300 : 0; };
  Breaks("East", 1, 1);
  EXPECT_EQ(calc->pageAffectingBreak, 1);
  EXPECT_EQ(calc->swapHeaderPending, 1);
  EXPECT_EQ(calc->reservedFooterSpace, 300);
  EXPECT_EQ(calc->pageResetPending, 0);

  // Headers of 100 and footers of 200 per level with a record of 50.
  calc->levels[1].options = calc->levels[2].options = 0;
  calc->reservedFooterSpace = 0;
  static int32_t asked;
  calc->hooks.recordsOutput = [](ReportRun*) { return 3u; };
  calc->hooks.recordHeight = [](ReportRun*) { return 50; };
  calc->hooks.bandHeight = [](ReportRun*, int band, int) {
    return band >= kBandGroupFooter ? 200 : 100;
  };
  calc->hooks.doesNotFit = [](ReportRun*, int32_t h) { return asked = h, h > 500; };
  int pageBreakLine = 0;
  calc->headerSpace = 0;
  calc->levels[0].runBits = 0;
  calc->levels[1].runBits = calc->levels[2].runBits = kRunBreakPending;
  EXPECT_TRUE(GroupChangeDoesNotFit(calc, &pageBreakLine));
  EXPECT_EQ(asked, 2 * 200 + 2 * 100 + 50);
  EXPECT_EQ(calc->headerSpace, 200);
  EXPECT_EQ(pageBreakLine, 0);
  // A footer with a page-break line decides alone.
  calc->hooks.bandHasPageBreakLine = [](ReportRun*, int band) { return band == kBandGroupFooter + 2; };
  calc->headerSpace = 0;
  EXPECT_TRUE(GroupChangeDoesNotFit(calc, &pageBreakLine));
  EXPECT_EQ(pageBreakLine, 1);
}

}  // namespace
