// The sort pass: the pre-pass through its hook, then the totals sort when
// the pre-pass asks for it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/sort_pass_link.h"
#include "model/engine_errors.h"
#include "model/group_levels.h"
#include "model/sort_pass.h"
#include "model/totals_readback.h"
#include "pass_fixture.h"

namespace {

struct PrepassScript {
  int code = 0;
  int sortTotals = 0;
  uint32_t ascending = 1;
  bool damaged = false;
  int calls = 0;
};
PrepassScript g_run;
std::vector<std::string> g_phases;

void WriteFile(const std::string& path, const std::vector<uint8_t>& b) {
  WorkFile f;
  ASSERT_TRUE(f.Create(path));
  f.Write(b.data(), b.size());
  f.Close();
}

// Stands in for the engine's pre-pass: leaves a totals file of a report
// record and two regions, East first.
int FakePrepass(CKmComposite* m, int, int, TotalsPrepassResult* out) {
  ++g_run.calls;
  if (g_run.code != 0) return g_run.code;
  std::vector<uint8_t> t;
  auto u8 = [&](uint8_t v) { t.push_back(v); };
  auto u16 = [&](uint16_t v) { u8(v & 0xFF), u8(v >> 8); };
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) u8(static_cast<uint8_t>(v >> (8 * i))); };
  auto f64 = [&](double v) { uint8_t b[8]; std::memcpy(b, &v, 8); t.insert(t.end(), b, b + 8); };
  auto text = [&](const char* s) { t.insert(t.end(), s, s + std::strlen(s)); };
  u8(0), f64(21), u8(0);
  u8(1), u16(4), text("East"), u8(0), f64(6), u8(0), u32(0), u32(3);
  u8(1), u16(4), text("West"), u8(0), f64(15), u8(0), u32(3), u32(3);
  if (g_run.damaged) t.resize(t.size() - 3);
  WriteFile(MakeTempFileName("TOT"), t);
  GetRecordPassState(m)->totalsSorted = 1;
  const int r = OpenTotalsFiles(m, MakeTempFileName("TOT"), "");
  out->sortTotals = g_run.sortTotals;
  out->haveDirections = 1;
  out->ascending[0] = g_run.ascending;
  out->needsReopen = 1;
  return r;
}

class SortPassTest : public PassTest {
 protected:
  SortPassTest() {
    Data("AMOUNT", kFieldNumeric);
    region = Data("REGION", 0, 10);
    grand = Total("GRAND");
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
    State()->showPhase = [](CKmComposite*, const char* text) { g_phases.push_back(text); };
    g_run = PrepassScript();
    g_phases.clear();
    SetTotalsPrepassHook(FakePrepass);
    model.preprocessedTotalDeleted = 1;
  }
  ~SortPassTest() override {
    SetTotalsPrepassHook(nullptr);
    ClosePassFiles(&model);
    RemoveWorkFiles(&model);
    model.sortKeyTable = nullptr;
    EXPECT_TRUE(LeftoverWorkFiles().empty());
  }
  FieldDef* Total(const char* name) {
    FieldDef* f = model.AddField(kFieldNumeric | kFieldNeeded | kFieldItem);
    std::snprintf(f->name, sizeof f->name, "%s", name);
    f->totalFlags = kTotalIsTotal | kTotalPreprocessed;
    return f;
  }
  // The regions in the order the read-back gives their groups.
  std::vector<double> GroupTotals() {
    std::vector<double> out;
    uint32_t mark, count;
    while (ReadNextTotalsGroup(&model, &mark, &count) == 0) out.push_back(NumberOf(byRegion));
    return out;
  }
  FieldDef *region, *grand, *byRegion;
  SortKeyTable table;
  TotalNode grandNode, regionNode;
};

TEST_F(SortPassTest, TotalsAskedForAreSortedIntoAnIndex) {
  g_run.sortTotals = 1;
  g_run.ascending = 0;  // descending: West before East
  int reopen = 0;
  ASSERT_EQ(RunSortPass(&model, 1, 2, &reopen), 0);
  EXPECT_EQ(reopen, 1);
  EXPECT_EQ(g_phases, std::vector<std::string>{"Sorting Totals"});
  EXPECT_TRUE(State()->indexFile.IsOpen());
  EXPECT_EQ(model.preprocessedTotalDeleted, 0);
  EXPECT_EQ(GroupTotals(), (std::vector<double>{15, 6}));
}

TEST_F(SortPassTest, TotalsNotAskedForStayInFileOrder) {
  ASSERT_EQ(RunSortPass(&model, 0, 0), 0);
  EXPECT_TRUE(g_phases.empty());
  EXPECT_FALSE(State()->indexFile.IsOpen());
  EXPECT_EQ(model.preprocessedTotalDeleted, 0);
  EXPECT_EQ(GroupTotals(), (std::vector<double>{6, 15}));
}

TEST_F(SortPassTest, FailuresKeepTheDeletedTotalMark) {
  g_run.code = kEngineCannotWriteTotals;
  EXPECT_EQ(RunSortPass(&model, 0, 0), kEngineCannotWriteTotals);
  EXPECT_TRUE(g_phases.empty());
  EXPECT_EQ(model.preprocessedTotalDeleted, 1);
  // A totals file the sort cannot read: the sort's silent code, no index.
  g_run = PrepassScript();
  g_run.sortTotals = 1;
  g_run.damaged = true;
  EXPECT_EQ(RunSortPass(&model, 0, 0), kEngineSilent3188);
  EXPECT_FALSE(State()->indexFile.IsOpen());
  EXPECT_EQ(model.preprocessedTotalDeleted, 1);
}

TEST_F(SortPassTest, WithoutAnEngineOrARunThereIsNothingToDo) {
  SetTotalsPrepassHook(nullptr);
  EXPECT_EQ(RunSortPass(&model, 0, 0), 0);
  EXPECT_EQ(g_run.calls, 0);
  // The engine's pre-pass on a model that is not being run does nothing.
  InstallSortPassLink();
  EXPECT_NE(GetTotalsPrepassHook(), nullptr);
  model.preprocessedTotalDeleted = 1;
  int reopen = 5;
  EXPECT_EQ(RunSortPass(&model, 0, 0, &reopen), 0);
  EXPECT_EQ(reopen, 0);
  EXPECT_TRUE(g_phases.empty());
  EXPECT_EQ(model.preprocessedTotalDeleted, 0);
}

}  // namespace
