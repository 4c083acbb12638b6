// Group headers and footers around records and pages, with the five group
// options.
#include "tests/support/run_harness.h"

#include <gtest/gtest.h>

namespace {

std::vector<FakeRecord> Keys(const std::vector<std::vector<int>>& keys) {
  std::vector<FakeRecord> out;
  for (const auto& k : keys) out.push_back(FakeRecord{k});
  return out;
}

// Title, page header, the group headers, record, footers, summary and page
// footer of one line each; a page long enough for every band unless short.
struct GroupRun : RunHarness {
  GroupRun(int levels, bool longPage = true) {
    if (longPage) driver.pageLength = 100000;
    AddBand(kBandTitle, 1);
    AddBand(kBandPageHeader, 1);
    for (int i = 0; i < levels; ++i) AddBand(static_cast<BYTE>(kBandGroupHeader + i), 1);
    AddBand(kBandRecord, 1);
    for (int i = levels - 1; i >= 0; --i) AddBand(static_cast<BYTE>(kBandGroupFooter + i), 1);
    AddBand(kBandSummary, 1);
    AddBand(kBandPageFooter, 1);
  }
};

TEST(RunGroups, BandsComeInOrderOverTwoLevels) {
  GroupRun h(2);
  h.SetGroups({0, 0});
  h.SetRecords(Keys({{1, 1}, {1, 1}, {1, 2}, {2, 3}}));
  h.Run();
  ASSERT_EQ(h.SentPages().size(), 1u);
  EXPECT_EQ(h.SentPages()[0],
            "T PH#1 GH0 GH1 R1 R2 GF1 GH1 R3 GF1 GF0 GH0 GH1 R4 GF1 GF0 S PF#1");
}

TEST(RunGroups, EmptySlotEndsTheUsedLevels) {
  GroupRun h(2);
  h.SetGroups({0});
  CalcOf(h.run).levels[2].field = 7;  // after the empty slot: ignored
  h.SetRecords(Keys({{1}, {2}}));
  h.Run();
  EXPECT_EQ(h.SentPages()[0], "T PH#1 GH0 R1 GF0 GH0 R2 GF0 S PF#1");
}

TEST(RunGroups, SwapHeaderReplacesThePageHeader) {
  GroupRun h(1);
  h.SetGroups({kGroupSwapHeader});
  h.SetRecords(Keys({{1}, {1}, {2}, {2}}));
  h.Run();
  EXPECT_EQ(h.SentPages(), (std::vector<std::string>{"T GH0 R1 R2 GF0 PF#1", "GH0 R3 R4 GF0 S PF#2"}));
}

TEST(RunGroups, ResetPageNumbersFromOneAndSendsByPageCount) {
  GroupRun h(1);
  h.SetGroups({kGroupResetPage});
  h.SetRecords(Keys({{1}, {1}, {2}, {3}}));
  h.run->startPage = 2;
  h.Run();
  std::vector<std::string> pages = h.AllPages();
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[1], "PH#1 GH0 R3 GF0 PF#1");
  EXPECT_EQ(pages[2], "PH#1 GH0 R4 GF0 S PF#1");
  // The printed number restarts; the page range counts pages begun.
  EXPECT_EQ(h.driver.pages[0].send, 0);
  EXPECT_EQ(h.driver.pages[1].send, 1);
  EXPECT_EQ(h.driver.pages[2].send, 1);
}

TEST(RunGroups, RepeatHeaderOpensEveryPageOfItsGroupOnce) {
  GroupRun h(1, false);
  h.SetGroups({kGroupRepeatHeader});
  std::vector<std::vector<int>> keys(17, std::vector<int>{1});  // 6 + 7 + 4
  h.SetRecords(Keys(keys));
  h.Run();
  std::vector<std::string> pages = h.SentPages();
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0].find("T PH#1 GH0 R1 "), 0u);
  EXPECT_EQ(pages[1].find("PH#2 GH0 R"), 0u);
  EXPECT_EQ(pages[2].find("PH#3 GH0 R"), 0u);
  for (const std::string& p : pages) EXPECT_EQ(p.find("GH0", p.find("GH0") + 1), std::string::npos) << p;

  GroupRun plain(1, false);  // without the option the header is not repeated
  plain.SetGroups({0});
  plain.SetRecords(Keys(keys));
  plain.Run();
  EXPECT_EQ(plain.SentPages()[1].find("PH#2 R"), 0u);
}

TEST(RunGroups, FooterThatDoesNotFitMovesToTheNextPage) {
  RunHarness h;
  h.AddBand(kBandPageHeader, 1);
  h.AddBand(kBandGroupHeader, 1);
  h.AddBand(kBandRecord, 1);
  h.AddBand(kBandGroupFooter, 3);
  h.AddBand(kBandPageFooter, 1);
  h.SetGroups({0});
  // Header and six records fill the first page to 960; the 360 footer
  // cannot follow them.
  std::vector<std::vector<int>> keys(6, std::vector<int>{1});
  h.SetRecords(Keys(keys));
  h.Run();
  EXPECT_EQ(h.SentPages(), (std::vector<std::string>{"PH#1 GH0 R1 R2 R3 R4 R5 R6 PF#1", "PH#2 GF0 PF#2"}));
}

TEST(RunGroups, SwapFooterTakesThePageFootersPlace) {
  GroupRun h(1);
  h.SetGroups({kGroupSwapFooter});
  h.SetRecords(Keys({{1}, {2}}));
  h.Run();
  // Each swapped footer closes its page at the bottom; the Summary follows
  // on a page of its own.
  EXPECT_EQ(h.SentPages(), (std::vector<std::string>{"T PH#1 GH0 R1 GF0", "PH#2 GH0 R2 GF0", "PH#3 S PF#3"}));
}

}  // namespace
