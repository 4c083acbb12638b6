// The sort pass: the pre-pass through its hook, then the totals sort when
// the pre-pass asks for it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/run_hooks.h"
#include "core/engine_errors.h"
#include "model/group_levels.h"
#include "model/sort_pass.h"
#include "model/totals_readback.h"
#include "pass_fixture.h"

namespace {

struct PrepassScript {
  int code = 0, sortTotals = 0, calls = 0;
  uint32_t ascending = 1;
  bool damaged = false;
} g_script;
std::vector<std::string> g_phases;

// Stands in for the engine's pre-pass: a totals file of the report record
// and two regions, East (6) before West (15).
int FakePrepass(CKmComposite* m, int, int, TotalsPrepassResult* out) {
  ++g_script.calls;
  if (g_script.code != 0) return g_script.code;
  const uint8_t report[] = {0, 0, 0, 0, 0, 0, 0, 0x35, 0x40, 0};  // 21.0
  const uint8_t east[] = {1, 4, 0, 'E', 'a', 's', 't', 0, 0, 0, 0, 0, 0, 0, 0x18, 0x40, 0, 0, 0, 0, 0, 3, 0, 0, 0};
  const uint8_t west[] = {1, 4, 0, 'W', 'e', 's', 't', 0, 0, 0, 0, 0, 0, 0, 0x2E, 0x40, 0, 3, 0, 0, 0, 3, 0, 0, 0};
  WorkFile f;
  if (!f.Create(MakeTempFileName("TOT"))) return kEngineCannotCreateTotals;
  f.Write(report, sizeof report);
  f.Write(east, sizeof east);
  f.Write(west, g_script.damaged ? sizeof west - 3 : sizeof west);
  f.Close();
  GetRecordPassState(m)->totalsSorted = 1;
  out->sortTotals = g_script.sortTotals;
  out->haveDirections = 1;
  out->ascending[0] = g_script.ascending;
  out->needsReopen = 1;
  return OpenTotalsFiles(m, MakeTempFileName("TOT"), "");
}

class SortPassTest : public PassTest {
 protected:
  SortPassTest() {
    region = Data("REGION", 0, 10);
    FieldDef* grand = Total("GRAND");
    byRegion = Total("BYREGION");
    table.keyLevels = 1;
    grandNode = TotalNode{grand, nullptr, 8};
    regionNode = TotalNode{byRegion, nullptr, 8};
    table.entries[0].chain = &grandNode;
    table.entries[1].key1 = region;
    table.entries[1].storedLength1 = 10;
    table.entries[1].chain = &regionNode;
    model.sortKeyTable = &table;
    EXPECT_EQ(OpenScan(&model), 0);
    GetRecordPassHooks().showPhase = [](CKmComposite*, const char* text) { g_phases.push_back(text); };
    g_script = PrepassScript();
    g_phases.clear();
    GetRecordPassHooks().totalsPrepass = FakePrepass;
    model.preprocessedTotalDeleted = 1;
  }
  ~SortPassTest() override {
    GetRecordPassHooks() = RecordPassHooks();
    RemoveWorkFiles(&model);
    model.sortKeyTable = nullptr;
    EXPECT_TRUE(LeftoverWorkFiles().empty());
  }
  FieldDef* Total(const char* name) {
    FieldDef* f = Data(name, kFieldNumeric);
    f->totalFlags = kTotalIsTotal | kTotalPreprocessed;
    return f;
  }
  // The group totals in the order the read-back gives them.
  std::vector<double> GroupTotals() {
    std::vector<double> out;
    uint32_t mark, count;
    while (ReadNextTotalsGroup(&model, &mark, &count) == 0) out.push_back(NumberOf(byRegion));
    return out;
  }
  FieldDef *region, *byRegion;
  SortKeyTable table;
  TotalNode grandNode, regionNode;
};

TEST_F(SortPassTest, TotalsAreSortedOnlyWhenThePrepassAsks) {
  ASSERT_EQ(RunSortPass(&model, 0, 0), 0);
  EXPECT_TRUE(g_phases.empty());
  EXPECT_EQ(model.preprocessedTotalDeleted, 0);
  EXPECT_EQ(GroupTotals(), (std::vector<double>{6, 15}));

  g_script.sortTotals = 1;
  g_script.ascending = 0;  // descending: West first
  model.preprocessedTotalDeleted = 1;
  int reopen = 0;
  ASSERT_EQ(RunSortPass(&model, 1, 2, &reopen), 0);
  EXPECT_EQ(reopen, 1);
  EXPECT_EQ(g_phases, std::vector<std::string>{"Sorting Totals"});
  EXPECT_EQ(model.preprocessedTotalDeleted, 0);
  EXPECT_EQ(GroupTotals(), (std::vector<double>{15, 6}));
}

TEST_F(SortPassTest, FailuresKeepTheDeletedTotalMark) {
  g_script.code = kEngineCannotWriteTotals;
  EXPECT_EQ(RunSortPass(&model, 0, 0), kEngineCannotWriteTotals);
  EXPECT_TRUE(g_phases.empty());
  EXPECT_EQ(model.preprocessedTotalDeleted, 1);
  // A totals file the sort cannot read: the sort's silent code, no index.
  g_script = PrepassScript();
  g_script.sortTotals = 1;
  g_script.damaged = true;
  EXPECT_EQ(RunSortPass(&model, 0, 0), kEngineSilent3188);
  EXPECT_FALSE(State()->indexFile.IsOpen());
  EXPECT_EQ(model.preprocessedTotalDeleted, 1);
  // The engine's pre-pass on a model that is not being run has nothing to do.
  RemoveWorkFiles(&model);
  State()->totalsSorted = 0;
  InstallRunHooks(nullptr);
  EXPECT_EQ(RunSortPass(&model, 0, 0), 0);
  EXPECT_EQ(model.preprocessedTotalDeleted, 0);
  RemoveRunHooks();
}

}  // namespace
