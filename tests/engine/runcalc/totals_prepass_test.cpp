// The totals pre-pass: pre-processed totals known at the first record of
// their group, groups ordered by their totals, and the failures.
#include <string>
#include <unistd.h>
#include <vector>

#include "core/engine_errors.h"
#include "model/work_files.h"
#include "runcalc_fixture.h"

namespace {

class RegionRows : public TestRows<std::pair<std::string, double>> {
 public:
  FieldDef *region = nullptr, *amount = nullptr;
  void ConvertFetchedRow(CKmComposite*) override {
    std::memcpy(region->value, rows[current].first.c_str(), rows[current].first.size() + 1);
    std::memcpy(amount->value, &rows[current].second, 8);
  }
};


class TotalsPrepass : public RunCalcTest {
 protected:
  TotalsPrepass() {
    rows.region = region = Field("REGION", 0, 10);
    rows.amount = amount = Field("AMOUNT", kFieldNumeric);
    rows.rows = {{"East", 10}, {"East", 20}, {"East", 5}, {"North", 3}, {"West", 7}, {"West", 1}};
    byRegion = Total("BYREGION", amount, kSummarySum, 0);
    count = Total("COUNT", amount, kSummaryCount, 0);
    grand = Total("GRAND", amount, kSummarySum, kSummaryResetNever);
    FieldDef** tail = &model.calcOrderList;
    for (FieldDef* f : {region, amount, byRegion, count, grand}) {
      f->value = f->previous = nullptr;
      if (IsTotalField(f)) {
        f->totalFlags |= kTotalPreprocessed;
        f->needsPrevious = 1;
        *tail = f;
        tail = &f->orderNext;
      }
    }
    UseGroups({region});
    RecordPassState* st = GetRecordPassState(&model);
    st->rows = &rows;
    run.recordsOutput = 0;
  }
  ~TotalsPrepass() override { model.calcOrderList = nullptr; }
  static bool IsTotalField(const FieldDef* f) { return (f->totalFlags & kTotalIsTotal) != 0; }

  // The report pass: per record its region and the totals known then.
  struct Seen {
    std::string region;
    double byRegion, count, grand;
  };
  std::vector<Seen> Report(int* result) {
    RecordPassState* st = GetRecordPassState(&model);
    rows.next = 0;
    model.passPhase = kPhaseReportRun;
    st->summaries = true;
    run.recordsOutput = 0;
    std::vector<Seen> seen;
    int r;
    while ((r = RunRecordPass(&model, nullptr)) == 0) {
      seen.push_back({Text(region), Number(byRegion), Number(count), Number(grand)});
      ++run.recordsOutput;
      for (auto& level : calc->levels) level.runBits &= ~7;
    }
    *result = r;
    return seen;
  }

  RegionRows rows;
  FieldDef *region = nullptr, *amount = nullptr, *byRegion = nullptr, *count = nullptr, *grand = nullptr;
};

TEST_F(TotalsPrepass, GroupTotalsAreKnownAtTheFirstRecordOfTheirGroup) {
  ASSERT_EQ(OpenScan(&model), 0);
  int reopen = -1;
  ASSERT_EQ(RunTotalsPrepass(&model, 0, 0, &reopen), 0);
  EXPECT_EQ(reopen, 1);  // the records are read again from the query
  EXPECT_EQ(calc->totalsFileExists, 1);
  int r = 0;
  const std::vector<Seen> seen = Report(&r);
  EXPECT_EQ(r, kEngineEndOfData);
  ASSERT_EQ(seen.size(), 6u);
  const double want[6][2] = {{35, 3}, {35, 3}, {35, 3}, {3, 1}, {8, 2}, {8, 2}};
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].byRegion, want[i][0]) << i;
    EXPECT_EQ(seen[i].count, want[i][1]) << i;
    EXPECT_EQ(seen[i].grand, 46.0) << i;
  }
  // The same layout over changed data: the totals file is made afresh, never
  // taken over from the run before.
  rows.rows[0].second = 100;
  rows.next = 0;
  ResetRunCounters(&model);
  ASSERT_EQ(RunTotalsPrepass(&model, 0, 0, &reopen), 0);
  const std::vector<Seen> again = Report(&r);
  ASSERT_EQ(again.size(), 6u);
  EXPECT_EQ(again[0].byRegion, 125.0);
  EXPECT_EQ(again[5].grand, 136.0);
}

std::vector<int> g_counterSteps;
void RecordCounterStep(CKmComposite*, int step) { g_counterSteps.push_back(step); }

TEST_F(TotalsPrepass, GroupsSortedByTheirTotal) {
  calc->sortFields[0] = model.GetFieldIndex(byRegion);
  ASSERT_EQ(OpenScan(&model), 0);
  int reopen = -1;
  // The run status dialog's "Group totals read:" counter follows the sort's
  // read-back of the totals: reset, one count per group, then taken down.
  void (*const shown)(CKmComposite*, int) = GetRecordPassHooks().groupTotalsCounter;
  EXPECT_NE(shown, nullptr) << "the program installs the counter";
  g_counterSteps.clear();
  GetRecordPassHooks().groupTotalsCounter = RecordCounterStep;
  ASSERT_EQ(RunTotalsPrepass(&model, 0, 0, &reopen), 0);
  GetRecordPassHooks().groupTotalsCounter = shown;
  EXPECT_EQ(g_counterSteps, (std::vector<int>{0, 1, 1, 1, 2}));
  EXPECT_EQ(reopen, 0);  // the records come by group from the components file
  int r = 0;
  const std::vector<Seen> seen = Report(&r);
  EXPECT_EQ(r, kEngineEndOfData);
  std::vector<std::string> order;
  for (const Seen& s : seen) order.push_back(s.region + "=" + std::to_string(static_cast<int>(s.byRegion)));
  EXPECT_EQ(order, std::vector<std::string>({"North=3", "West=8", "West=8", "East=35", "East=35", "East=35"}));

  // Descending.
  ReleaseTotalsWork(&model);
  RemoveWorkFiles(&model);
  calc->sortAscending[0] = 0;
  rows.next = 0;
  ResetRunCounters(&model);
  ASSERT_EQ(RunTotalsPrepass(&model, 0, 0, &reopen), 0);
  order.clear();
  for (const Seen& s : Report(&r)) order.push_back(s.region);
  EXPECT_EQ(order, std::vector<std::string>({"East", "East", "East", "West", "West", "North"}));
}

TEST_F(TotalsPrepass, NoFileWithoutPreprocessedTotalsAndClearFailures) {
  for (FieldDef* f : {byRegion, count, grand}) f->totalFlags &= ~kTotalPreprocessed;
  ASSERT_EQ(OpenScan(&model), 0);
  int reopen = -1;
  EXPECT_EQ(RunTotalsPrepass(&model, 0, 0, &reopen), 0);
  EXPECT_EQ(calc->totalsFileExists, 0);
  EXPECT_EQ(access(MakeTempFileName("TOT").c_str(), F_OK), -1);

  // A pre-processed total reset at a level without a group field.
  byRegion->totalFlags |= kTotalPreprocessed;
  byRegion->totalReset = 3;
  EXPECT_EQ(RunTotalsPrepass(&model, 0, 0, &reopen), kEnginePreTotalUnassigned);
  EXPECT_EQ(calc->totalsWork, nullptr);
  byRegion->totalReset = 0;

  // A totals file cut short is refused when read back, not read past.
  ASSERT_EQ(RunTotalsPrepass(&model, 0, 0, &reopen), 0);
  ASSERT_EQ(truncate(MakeTempFileName("TOT").c_str(), 5), 0);
  int r = 0;
  Report(&r);
  EXPECT_EQ(r, kEngineCannotReadTotals);
}

}  // namespace
