#include <gtest/gtest.h>
#include "model/field_compile.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/engine_errors.h"
#include "foundation/byte_order.h"
#include "model/field_dependencies.h"
#include "model/group_levels.h"
#include "model/totals_readback.h"
#include "pass_fixture.h"

namespace {

// A totals file of one key level: the report record (grand total) and one
// record per region with its total and its group in the components file.
class TotalsTest : public PassTest {
 protected:
  TotalsTest() {
    amount = Data("AMOUNT", kFieldNumeric);
    region = Data("REGION", 0, 10);
    grand = Total("GRAND", 254);
    byRegion = Total("BYREGION", 0);
    for (int i = 1; i <= 6; ++i) rows.rows.push_back({Num(i), Txt(i <= 3 ? "East" : "West")});
    table.keyLevels = 1;
    table.entries[0].chain = &grandNode;
    grandNode = TotalNode{grand, nullptr, 8};
    table.entries[1].key1 = region;
    table.entries[1].storedLength1 = 10;
    table.entries[1].chain = &regionNode;
    regionNode = TotalNode{byRegion, nullptr, 8};
    model.sortKeyTable = &table;
    EXPECT_EQ(OpenScan(&model), 0);
    State()->totalsSorted = 1;
    model.passPhase = kPhaseReportRun;
  }
  ~TotalsTest() override { model.sortKeyTable = nullptr; }
  FieldDef* Total(const char* name, uint8_t level) {
    FieldDef* f = model.AddField(kFieldNumeric | kFieldNeeded | kFieldItem);
    std::snprintf(f->name, sizeof f->name, "%s", name);
    f->totalFlags = kTotalIsTotal | kTotalPreprocessed;
    f->totalLevel = level;
    return f;
  }
  struct Bytes {
    std::vector<uint8_t> b;
    Bytes& U8(uint8_t v) { b.push_back(v); return *this; }
    Bytes& U16(uint16_t v) { b.push_back(v & 0xFF); b.push_back(v >> 8); return *this; }
    Bytes& U32(uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i))); return *this; }
    Bytes& F64(double v) { const uint8_t* p = reinterpret_cast<const uint8_t*>(&v); b.insert(b.end(), p, p + 8); return *this; }
    Bytes& Text(const char* s) { b.insert(b.end(), s, s + std::strlen(s)); return *this; }
  };
  static void Write(const std::string& path, const std::vector<uint8_t>& b) {
    WorkFile f;
    ASSERT_TRUE(f.Create(path));
    f.Write(b.data(), b.size());
    f.Close();
  }
  // Report record, then East (records 1-3 at TMP index 0) and West (4-6 at 3).
  std::vector<uint8_t> TotFile(std::vector<size_t>* starts) {
    Bytes t;
    t.U8(0).F64(21).U8(0);
    starts->push_back(t.b.size());
    t.U8(1).U16(4).Text("East").U8(0).F64(6).U8(0).U32(0).U32(3);
    starts->push_back(t.b.size());
    t.U8(1).U16(4).Text("West").U8(0).F64(15).U8(0).U32(3).U32(3);
    return t.b;
  }
  void WriteComponents() {
    WorkFile tmp;
    ASSERT_TRUE(tmp.Create(MakeTempFileName("TMP")));
    for (uint32_t n = 1; n <= 6; ++n) tmp.WriteU32(n);
    tmp.Close();
    State()->tmpName = MakeTempFileName("TMP");
    ASSERT_EQ(OpenPassFiles(&model, MakeTempFileName("TMP")), 0);
  }
  // The records the pass delivers, with the group total seen at each.
  std::vector<std::pair<uint32_t, double>> Replay(int* end) {
    std::vector<std::pair<uint32_t, double>> out;
    while ((*end = RunRecordPass(&model, nullptr)) == 0) out.push_back({model.recordNumber, NumberOf(byRegion)});
    return out;
  }
  FieldDef *amount, *region, *grand, *byRegion;
  SortKeyTable table;
  TotalNode grandNode, regionNode;
};

TEST_F(TotalsTest, GroupsComeFromTheTotalsFileInFileOrIndexOrder) {
  std::vector<size_t> starts;
  Write(MakeTempFileName("TOT"), TotFile(&starts));
  WriteComponents();
  ASSERT_EQ(OpenTotalsFiles(&model, MakeTempFileName("TOT"), ""), 0);
  int end = 0;
  auto seen = Replay(&end);
  EXPECT_EQ(end, kEngineEndOfData);
  using P = std::pair<uint32_t, double>;
  EXPECT_EQ(seen, (std::vector<P>{{1, 6}, {2, 6}, {3, 6}, {4, 15}, {5, 15}, {6, 15}}));
  EXPECT_EQ(NumberOf(grand), 21);

  // Through an index that puts West first.
  Bytes idx;
  idx.U32(static_cast<uint32_t>(starts[1])).U32(static_cast<uint32_t>(starts[0]));
  Write(MakeTempFileName("GF#"), idx.b);
  ASSERT_EQ(OpenTotalsFiles(&model, MakeTempFileName("TOT"), MakeTempFileName("GF#")), 0);
  RewindScan(&model);
  seen = Replay(&end);
  EXPECT_EQ(end, kEngineEndOfData);
  EXPECT_EQ(seen, (std::vector<P>{{4, 15}, {5, 15}, {6, 15}, {1, 6}, {2, 6}, {3, 6}}));
  ClosePassFiles(&model);
  RemoveWorkFiles(&model);
  EXPECT_TRUE(LeftoverWorkFiles().empty());
}

TEST_F(TotalsTest, DamagedTotalsFilesEndTheReadBack) {
  std::vector<size_t> starts;
  const std::vector<uint8_t> good = TotFile(&starts);
  WriteComponents();
  auto firstGroup = [&](const std::vector<uint8_t>& tot, const std::vector<uint8_t>* index) {
    Write(MakeTempFileName("TOT"), tot);
    if (index) Write(MakeTempFileName("GF#"), *index);
    EXPECT_EQ(OpenTotalsFiles(&model, MakeTempFileName("TOT"), index ? MakeTempFileName("GF#") : ""), 0);
    RewindScan(&model);
    uint32_t mark, count;
    int r;
    while ((r = ReadNextTotalsGroup(&model, &mark, &count)) == 0) {}
    return r;
  };
  for (size_t cut = 1; cut < good.size(); ++cut) {
    if (cut == starts[1] || cut == starts[0]) continue;  // whole records: a clean end
    std::vector<uint8_t> t(good.begin(), good.begin() + cut);
    EXPECT_EQ(firstGroup(t, nullptr), kEngineCannotReadTotals) << cut;
  }
  std::vector<uint8_t> t = good;
  t[starts[0] + 1] = 0xFF;  // a text key length far past the record
  t[starts[0] + 2] = 0xFF;
  EXPECT_EQ(firstGroup(t, nullptr), kEngineCannotReadTotals);
  t = good;
  t[starts[0]] = 7;  // a level the table does not have
  EXPECT_EQ(firstGroup(t, nullptr), kEngineCannotReadTotals);
  regionNode.storedLength = 200;  // more bytes than the total's buffer
  EXPECT_EQ(firstGroup(good, nullptr), kEngineCannotReadTotals);
  regionNode.storedLength = 8;

  Bytes half;
  half.U32(static_cast<uint32_t>(starts[0])).U16(1);
  EXPECT_EQ(firstGroup(good, &half.b), kEngineCannotReadTotalsIndex);
  Bytes past;
  past.U32(100000);
  EXPECT_EQ(firstGroup(good, &past.b), kEngineCannotReadTotals);
  EXPECT_EQ(firstGroup(good, nullptr), kEngineEndOfData);
  ClosePassFiles(&model);
  RemoveWorkFiles(&model);
  RemoveWorkFile(MakeTempFileName("GF#"));
  EXPECT_TRUE(LeftoverWorkFiles().empty());
}

TEST_F(TotalsTest, TotalsSortOrdersTheGroupsThroughAnIndex) {
  Bytes t;
  t.U8(0).F64(21).U8(0);
  const uint32_t west = static_cast<uint32_t>(t.b.size());
  t.U8(1).U16(4).Text("West").U8(0).F64(15).U8(0).U32(3).U32(3);
  const uint32_t east = static_cast<uint32_t>(t.b.size());
  t.U8(1).U16(4).Text("East").U8(0).F64(6).U8(0).U32(0).U32(3);
  Write(MakeTempFileName("TOT"), t.b);
  WriteComponents();
  ASSERT_EQ(OpenTotalsFiles(&model, MakeTempFileName("TOT"), ""), 0);
  std::string index;
  ASSERT_EQ(SortTotals(&model, nullptr, &index), 0);
  EXPECT_EQ(index.substr(index.size() - 4), ".GF#");
  // The report record once, then each group's own record.
  EXPECT_EQ(ReadPositions(index), (std::vector<uint32_t>{0, east, west}));
  ASSERT_EQ(OpenTotalsFiles(&model, MakeTempFileName("TOT"), index), 0);
  int end = 0;
  auto seen = Replay(&end);
  EXPECT_EQ(end, kEngineEndOfData);
  using P = std::pair<uint32_t, double>;
  EXPECT_EQ(seen, (std::vector<P>{{1, 6}, {2, 6}, {3, 6}, {4, 15}, {5, 15}, {6, 15}}));

  const uint32_t descending[1] = {0};
  ASSERT_EQ(OpenTotalsFiles(&model, MakeTempFileName("TOT"), ""), 0);
  ASSERT_EQ(SortTotals(&model, descending, &index), 0);
  EXPECT_EQ(ReadPositions(index), (std::vector<uint32_t>{0, west, east}));

  // A damaged totals file fails the sort and leaves no run or index behind.
  t.b.resize(t.b.size() - 3);
  Write(MakeTempFileName("TOT"), t.b);
  ASSERT_EQ(OpenTotalsFiles(&model, MakeTempFileName("TOT"), ""), 0);
  EXPECT_EQ(SortTotals(&model, nullptr, &index), kEngineSilent3188);
  EXPECT_TRUE(index.empty());
  ClosePassFiles(&model);
  RemoveWorkFiles(&model);
  EXPECT_TRUE(LeftoverWorkFiles().empty());
}

TEST_F(TotalsTest, PreprocessedTotalsLoadAtBreaksAndBreakValuesSwap) {
  std::vector<size_t> starts;
  Write(MakeTempFileName("TOT"), TotFile(&starts));
  State()->totalsSorted = 0;  // the records come in data order; totals at the breaks
  table.entries[1].storedLength1 = 4;
  // Without sorted totals the last-key records carry no count and flag.
  Bytes t;
  t.U8(0).F64(21).U8(0).U8(1).U16(4).Text("East").U8(0).F64(6).U8(0).U8(1).U16(4).Text("West").U8(0).F64(15).U8(0);
  Write(MakeTempFileName("TOT"), t.b);
  ASSERT_EQ(OpenTotalsFiles(&model, MakeTempFileName("TOT"), ""), 0);
  ASSERT_EQ(LoadPreprocessedTotals(&model, 0), 0);
  EXPECT_EQ(NumberOf(grand), 21);
  EXPECT_EQ(NumberOf(byRegion), 6);
  ASSERT_EQ(LoadPreprocessedTotals(&model, 1), 0);
  EXPECT_EQ(NumberOf(byRegion), 15);
  EXPECT_EQ(LoadPreprocessedTotals(&model, 1), kEngineCannotReadTotals);  // past the last group
  ClosePassFiles(&model);
  RemoveWorkFiles(&model);

  // A field showing break values is evaluated for the current and the
  // previous record; the accepted count ends where it started.
  FieldDef* tenfold = CompileField(&model, "TENFOLD", "AMOUNT * 10", false, nullptr);
  ASSERT_NE(tenfold, nullptr);
  tenfold->needsPrevious = 1;
  amount->needsPrevious = 1;
  PropagateFieldDependencies(&model);
  tenfold->flags |= kFieldNeeded | kFieldPageNumber;  // as the dependency scan marks such fields
  ASSERT_EQ(OpenScan(&model), 0);
  const double now = 5, before = 3;
  std::memcpy(amount->value, &now, 8);
  std::memcpy(amount->previous, &before, 8);
  State()->acceptedCount = 7;
  SwapValueBuffers(&model);
  EXPECT_EQ(NumberOf(tenfold), 50);
  double prev;
  std::memcpy(&prev, tenfold->previous, 8);
  EXPECT_EQ(prev, 30);
  EXPECT_EQ(NumberOf(amount), 5);
  EXPECT_EQ(State()->acceptedCount, 7u);
  EXPECT_TRUE(LeftoverWorkFiles().empty());
}

TEST_F(TotalsTest, SortAndGroupChecks) {
  GroupSetup s;
  FieldDef* keys[kKeyLevels];
  uint32_t kinds[kKeyLevels];
  s.sortFields[0] = 1;  // REGION
  s.directions[0] = 1;
  EXPECT_EQ(CheckSortAndGroupFields(&model, s, keys, kinds), -1);
  EXPECT_EQ(keys[0], region);
  // A running total (not pre-processed) cannot be sorted on.
  byRegion->totalFlags = kTotalIsTotal;
  s.sortFields[0] = 3;
  EXPECT_EQ(CheckSortAndGroupFields(&model, s, keys, kinds), 1);
  EXPECT_EQ(model.lastEngineError, kEngineSortRunningTotal);
  byRegion->totalFlags = kTotalIsTotal | kTotalPreprocessed;
  // Sorting on the region total: the group field of the level it restarts
  // at becomes the key (not of the level it takes values at).
  byRegion->totalLevel = 0;
  byRegion->totalReset = 1;
  s.levels[0].field = 0;  // AMOUNT
  s.levels[1].field = 1;  // REGION
  s.sortFields[0] = 3;
  s.sortFields[1] = 0;
  EXPECT_EQ(CheckSortAndGroupFields(&model, s, keys, kinds), 1);  // group keys out of order
  EXPECT_EQ(model.lastEngineError, kEngineSortGroupOutOfSynch);
  s.levels[0].field = 1;
  s.levels[1].field = 0;
  byRegion->totalReset = 0;  // now a total of the REGION level
  byRegion->totalLevel = 253;
  EXPECT_EQ(CheckSortAndGroupFields(&model, s, keys, kinds), -1);
  EXPECT_EQ(keys[0], region);
  EXPECT_EQ(kinds[0], 1u);
  EXPECT_EQ(keys[1], amount);
  s.recordLimit = 1;
  EXPECT_EQ(CheckSortAndGroupFields(&model, s, keys, kinds), -2);
  EXPECT_EQ(s.totalsSortNeeded, 0);
  EXPECT_EQ(CheckSortForTotals(&model, s, keys, kinds), -2);
  EXPECT_EQ(s.totalsSortNeeded, 1);
  EXPECT_EQ(model.totalsSortWord, 1) << "the run lists must fetch the sort fields";
  s.recordLimit = 0;
  EXPECT_EQ(CheckSortForTotals(&model, s, keys, kinds), -1);
  EXPECT_EQ(model.totalsSortWord, 0);
}

TEST_F(TotalsTest, SelectionField) {
  EXPECT_EQ(CompileSelectionField(&model, ""), 0);
  EXPECT_EQ(model.selectionField, nullptr);
  const uint32_t count = model.fieldCount;
  EXPECT_EQ(CompileSelectionField(&model, "AMOUNT +"), kEngineSelectionCompile);
  EXPECT_EQ(CompileSelectionField(&model, "AMOUNT + 1"), kEngineInvalidFilter);
  byRegion->totalFlags = kTotalIsTotal;  // a running total
  EXPECT_EQ(CompileSelectionField(&model, "BYREGION > 5"), kEngineInvalidFilter);
  EXPECT_EQ(model.fieldCount, count);
  ASSERT_EQ(CompileSelectionField(&model, "AMOUNT > 4"), 0);
  ASSERT_NE(model.selectionField, nullptr);
  EXPECT_EQ(State()->deferredSelection, 0);
  PropagateFieldDependencies(&model);
  ASSERT_EQ(OpenScan(&model), 0);
  model.passPhase = kPhaseTotalsPrepass;
  std::vector<uint32_t> seen;
  int r;
  while ((r = RunRecordPass(&model, nullptr)) == 0) seen.push_back(model.recordNumber);
  EXPECT_EQ(r, kEngineEndOfData);
  EXPECT_EQ(seen, (std::vector<uint32_t>{5, 6}));
  RemoveSelectionField(&model);
  EXPECT_EQ(model.fieldCount, count);
  RemoveWorkFiles(&model);
}

}  // namespace
