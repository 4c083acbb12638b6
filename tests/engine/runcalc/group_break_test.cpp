#include <string>
#include <vector>

#include "app/document.h"
#include "engine/output_values.h"
#include "engine/run_report.h"
#include "foundation/band_lines.h"
#include "runcalc_fixture.h"
#include "tests/engine/stub_page_driver.h"

#include <deque>

namespace {

// The group bands a run outputs, by name.
class BandLog : public RunOutput {
 public:
  int OutputBand(KmDocBase* doc, int band, int fitLimit) override {
    if (fitLimit == 0) bands.push_back(band);
    return doc->m_nRunState;
  }
  std::vector<int> bands;
};

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
  // The run goes to a page of the document: each group band one line of the
  // given height (its item's font height), the page's space left as given.
  void OnPage(int spaceLeft) {
    lines_.assign(kBandLineTableRecords, BandLineRec());
    doc.m_bandLines.lines = lines_.data();
    ClearBandLineTable(doc.m_bandLines);
    doc.m_bandLines.lastUsed = -1;
    doc.m_pModel = &model;
    doc.m_pRun = &run;
    run.doc = &doc;
    run.driver = &driver;
    run.page = &page;
    run.output = &log;
    driver.spaceLeft = spaceLeft;
  }
  // A band line of the kind, its item that height; returns the item.
  ReportItemHead* Line(int kind, int height, BYTE flags = 0) {
    const int i = ++doc.m_bandLines.lastUsed;
    lines_[static_cast<size_t>(i)].kind = static_cast<BYTE>(kind);
    lines_[static_cast<size_t>(i)].flags = flags;
    items_.emplace_back();
    ReportItemHead& item = items_.back();
    item.bandLine = static_cast<uint8_t>(i);
    item.pointSize = height;
    if (!items_.empty() && items_.size() > 1) items_[items_.size() - 2].nextInOrder = &item;
    model.itemListHead = &items_.front();
    return &item;
  }
  ~GroupBreak() override {
    model.itemListHead = nullptr;
    doc.m_pRun = nullptr;
    doc.m_pModel = nullptr;
    doc.m_bandLines.lines = nullptr;
    run.doc = nullptr;
    run.output = &PageOutput();
  }
  FieldDef* region = nullptr;
  FieldDef* day = nullptr;
  FieldDef* amount = nullptr;
  CKmDoc doc;
  StubPageDriver driver;
  PageOutputState page;
  BandLog log;
  std::vector<BandLineRec> lines_;
  std::deque<ReportItemHead> items_;
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
  // A reset forgets the last values: the next record breaks every level again.
  ResetGroupBreaks(calc, 0);
  EXPECT_EQ(Breaks("", 0x80000001u, 0), "012");
}

TEST_F(GroupBreak, TextsCompareOverTheirFirst254Characters) {
  const std::string a = std::string(254, 'x') + "A";
  const std::string b = std::string(254, 'x') + "B";
  EXPECT_EQ(Breaks(a, 1, 1), "012");
  EXPECT_EQ(Breaks(b, 1, 1), "");
  EXPECT_EQ(Breaks(std::string(253, 'x') + "y", 1, 1), "012");
}

// The totals at each break are checked against SQLite in the grouped-totals
// test; here the bands a break asks for.
TEST_F(GroupBreak, BreakBeforeARecordRunsFootersThenHeaders) {
  OnPage(100000);
  for (int level = 0; level < 2; ++level) {
    Line(kBandGroupHeader + level, 100);
    Line(kBandGroupFooter + level, 100);
  }
  calc->levelsUsed = 2;  // region and day
  run.recordsOutput = 0;
  const std::pair<const char*, uint32_t> rows[] = {{"East", 1}, {"East", 1}, {"East", 2}, {"West", 2}, {"West", 2}};
  for (const auto& r : rows) {
    Set(r.first, r.second, 0);
    ASSERT_EQ(UpdateSummariesOf(calc, nullptr, 1), 0);
    ASSERT_EQ(HandleGroupBreak(calc), 0);
    ++run.recordsOutput;
    for (auto& level : calc->levels) level.runBits &= ~7;  // as the record loop does
  }
  // The bands output, a stretch of footers and one of headers per break.
  std::vector<std::string> steps;
  for (int band : log.bands) {
    const std::string step = band >= kBandGroupFooter ? "footers" : "headers 1";
    if (steps.empty() || steps.back() != step) steps.push_back(step);
  }
  // The first record breaks every level without a footer before it.
  EXPECT_EQ(steps, std::vector<std::string>({"footers", "headers 1", "footers", "headers 1"}));
}

TEST_F(GroupBreak, PageOptionsAndTheSpaceAGroupChangeNeeds) {
  model.passPhase = kPhaseReportRun;
  OnPage(500);
  ReportItemHead* footer1 = Line(kBandGroupFooter + 1, 300);
  calc->levels[1].options = kGroupSwapFooter;
  calc->levels[2].options = kGroupSwapHeader;
  Breaks("East", 1, 1);
  EXPECT_EQ(calc->pageAffectingBreak, 1);
  EXPECT_EQ(calc->swapHeaderPending, 1);
  EXPECT_EQ(calc->reservedFooterSpace, 300);
  EXPECT_EQ(calc->pageResetPending, 0);

  // Headers of 100 and footers of 200 per level with a record of 50.
  footer1->pointSize = 200;
  Line(kBandGroupFooter + 2, 200);
  for (int level = 0; level < 3; ++level) Line(kBandGroupHeader + level, 100);
  calc->levels[1].options = calc->levels[2].options = 0;
  calc->reservedFooterSpace = 0;
  run.recordsOutput = 3;
  run.recordHeight = 50;
  int pageBreakLine = 0;
  calc->headerSpace = 0;
  calc->levels[0].runBits = 0;
  calc->levels[1].runBits = calc->levels[2].runBits = kRunBreakPending;
  EXPECT_TRUE(GroupChangeDoesNotFit(calc, &pageBreakLine));
  EXPECT_EQ(calc->headerSpace, 200);
  EXPECT_EQ(pageBreakLine, 0);
  // The height asked for: exactly what fits in a space of that size.
  int32_t asked = 0;
  for (int32_t space : {649, 650}) {
    driver.spaceLeft = space;
    calc->headerSpace = 0;
    if (!GroupChangeDoesNotFit(calc, &pageBreakLine)) {
      asked = space;
      break;
    }
  }
  EXPECT_EQ(asked, 2 * 200 + 2 * 100 + 50);
  // A footer with a page-break line decides alone.
  Line(kBandGroupFooter + 2, 0, 1);
  driver.spaceLeft = 100000;
  calc->headerSpace = 0;
  EXPECT_TRUE(GroupChangeDoesNotFit(calc, &pageBreakLine));
  EXPECT_EQ(pageBreakLine, 1);
}

}  // namespace
