#include <gtest/gtest.h>
#include "model/field_compile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/engine_errors.h"
#include "expr/functions_common.h"
#include "expr/value_helpers.h"
#include "foundation/byte_order.h"
#include "model/field_dependencies.h"
#include "model/filter_spec.h"
#include "model/record_filter.h"
#include "model/record_sort.h"
#include "condition_writer.h"
#include "pass_fixture.h"

namespace {

const char* kRegions[] = {"East", "West", "North", "South"};

class RecordPassTest : public PassTest {
 protected:
  RecordPassTest() {
    amount = Data("AMOUNT", kFieldNumeric);
    region = Data("REGION", 0, 10);
    for (int i = 1; i <= 300; ++i) {
      Cell a = i % 17 == 0 ? Null() : Num((i * 37) % 250);
      rows.rows.push_back({a, Txt(kRegions[i % 4])});
    }
  }
  ~RecordPassTest() override {
    FreeFilterCode(&model);
    std::free(model.conditionCode);
    model.conditionCode = nullptr;
  }
  FieldDef* Calc(const char* name, const char* text) {
    FieldDef* f = CompileField(&model, name, text, false, nullptr);
    EXPECT_NE(f, nullptr) << text;
    if (f) f->flags |= kFieldNeeded;
    return f;
  }
  // AMOUNT >= 100 and (REGION = 'East' or REGION = 'West')
  void SetFilter() {
    std::vector<uint8_t> c;
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) c.push_back(static_cast<uint8_t>(v >> (8 * i))); };
    auto text = [&](const char* s) { c.push_back(kCondText); c.insert(c.end(), s, s + std::strlen(s) + 1); };
    const double hundred = 100;
    c.push_back(kCondField), u32(0), c.push_back(kCondGreaterEqual), c.push_back(kCondNumber);
    c.insert(c.end(), reinterpret_cast<const uint8_t*>(&hundred), reinterpret_cast<const uint8_t*>(&hundred) + 8);
    c.push_back(kCondEndMark), c.push_back(kCondAnd), c.push_back(kCondOpen);
    c.push_back(kCondField), u32(1), c.push_back(kCondEqual), text("East"), c.push_back(kCondEndMark);
    c.push_back(kCondOr);
    c.push_back(kCondField), u32(1), c.push_back(kCondEqual), text("West"), c.push_back(kCondEndMark);
    c.push_back(kCondClose), c.push_back(0);
    model.conditionCode = static_cast<uint8_t*>(std::malloc(c.size()));
    std::memcpy(model.conditionCode, c.data(), c.size());
    model.conditionLength = static_cast<uint16_t>(c.size());
    ASSERT_EQ(RebuildConditionCode(&model), 0);
    State()->filterOn = 1;
  }
  bool Accepted(int i) const {
    if (i % 17 == 0) return false;  // null amounts never pass ">="
    return (i * 37) % 250 >= 100 && (i % 4 == 0 || i % 4 == 1);
  }
  FieldDef* amount;
  FieldDef* region;
};

TEST_F(RecordPassTest, FilteredPassWritesComponentsAndReplaysThem) {
  FieldDef* twice = Calc("TWICE", "AMOUNT * 2");
  FieldDef* plus = Calc("PLUS", "TWICE + 1");
  ASSERT_EQ(PropagateFieldDependencies(&model), nullptr);
  SetFilter();
  ASSERT_EQ(OpenScan(&model), 0);
  State();
  model.passPhase = kPhaseTotalsPrepass;
  std::vector<uint32_t> seen;
  int r;
  while ((r = RunRecordPass(&model, nullptr)) == 0) {
    const uint32_t n = model.recordNumber;
    seen.push_back(n);
    EXPECT_EQ(NumberOf(twice), NumberOf(amount) * 2) << n;
    EXPECT_EQ(NumberOf(plus), NumberOf(amount) * 2 + 1) << n;
  }
  EXPECT_EQ(r, kEngineEndOfData);
  EXPECT_EQ(model.recordNumber, 300u) << "the end of the data fetched no record";
  std::vector<uint32_t> expected;
  for (int i = 1; i <= 300; ++i)
    if (Accepted(i)) expected.push_back(static_cast<uint32_t>(i));
  EXPECT_EQ(seen, expected);
  const std::string tmp = State()->tmpName;
  EXPECT_EQ(tmp.substr(tmp.size() - 4), ".TMP");
  EXPECT_EQ(ReadPositions(tmp), expected);

  // The report run replays the accepted records by number.
  model.passPhase = kPhaseReportRun;
  ASSERT_EQ(OpenPassFiles(&model, tmp), 0);
  RewindScan(&model);
  rows.next = 0;
  std::vector<uint32_t> replay;
  while ((r = RunRecordPass(&model, nullptr)) == 0) {
    replay.push_back(model.recordNumber);
    EXPECT_EQ(NumberOf(twice), NumberOf(amount) * 2);
  }
  EXPECT_EQ(r, kEngineEndOfData);
  EXPECT_EQ(replay, expected);
  ClosePassFiles(&model);
  RemoveWorkFiles(&model);
  EXPECT_TRUE(LeftoverWorkFiles().empty());
  FreeFieldBuffers(&model);
  EXPECT_EQ(amount->value, nullptr);
  EXPECT_EQ(twice->value, nullptr);
}

// The totals pre-pass over records the program sorted reads them through
// their positions and keeps the accepted ones in that order: the report run
// reads them back from its components file group by group.
TEST_F(RecordPassTest, TotalsPrepassKeepsTheSortedOrderInItsComponents) {
  SetFilter();
  ASSERT_EQ(OpenScan(&model), 0);
  std::vector<uint32_t> sorted, expected;
  for (uint32_t i = 300; i >= 1; --i) {
    if (i % 3 != 0) sorted.push_back(i);  // the sort's output: the records in its order
    if (i % 3 != 0 && Accepted(static_cast<int>(i))) expected.push_back(i);
  }
  const std::string positions = MakeTempFileName("SO#");
  {
    WorkFile out;
    ASSERT_TRUE(out.Create(positions));
    for (uint32_t n : sorted) ASSERT_TRUE(out.WriteU32(n));
  }
  ASSERT_EQ(OpenPassFiles(&model, positions), 0);
  model.passPhase = kPhaseTotalsPrepass;
  std::vector<uint32_t> seen;
  int r;
  while ((r = RunRecordPass(&model, nullptr)) == 0) seen.push_back(model.recordNumber);
  EXPECT_EQ(r, kEngineEndOfData);
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(ReadPositions(State()->tmpName), expected);
  ClosePassFiles(&model);
  RemoveWorkFiles(&model);
  RemoveWorkFile(positions);
  EXPECT_TRUE(LeftoverWorkFiles().empty());
  FreeFieldBuffers(&model);
}

// The records the filter rejects take no place in the report: RECNO() counts
// the accepted ones and PREVIOUS() gives the one accepted before it, read
// from the query or replayed in another order through their positions (the
// filter tested again there), as when the database left them out.
TEST_F(RecordPassTest, RejectedRecordsTakeNoPlaceForRecnoAndPrevious) {
  InstallBuiltinFunctionHandlers();
  FieldDef* number = Calc("NO", "RECNO()");
  FieldDef* before = Calc("BEFORE", "PREVIOUS(AMOUNT)");
  ASSERT_EQ(PropagateFieldDependencies(&model), nullptr);
  SetFilter();
  ASSERT_EQ(OpenScan(&model), 0);
  model.passPhase = kPhaseReportRun;
  auto expectPlaces = [&](const std::vector<uint32_t>& order, const char* how) {
    SCOPED_TRACE(how);
    rows.next = 0;
    RewindScan(&model);
    std::vector<uint32_t> accepted;
    for (uint32_t i : order)
      if (Accepted(static_cast<int>(i))) accepted.push_back(i);
    size_t place = 0;
    while (RunRecordPass(&model, nullptr) == 0) {
      ASSERT_LT(place, accepted.size());
      EXPECT_EQ(model.recordNumber, accepted[place]);
      EXPECT_EQ(NumberOf(number), static_cast<double>(place + 1));
      if (place == 0) {
        EXPECT_TRUE(IsNullNumber(NumberOf(before)));
      } else {
        EXPECT_EQ(NumberOf(before), static_cast<double>((accepted[place - 1] * 37) % 250)) << accepted[place];
      }
      ++place;
    }
    EXPECT_EQ(place, accepted.size());
  };
  std::vector<uint32_t> order;
  for (uint32_t i = 1; i <= 300; ++i) order.push_back(i);
  expectPlaces(order, "from the query");
  std::reverse(order.begin(), order.end());
  const std::string positions = MakeTempFileName("SO#");
  {
    WorkFile out;
    ASSERT_TRUE(out.Create(positions));
    for (uint32_t n : order) ASSERT_TRUE(out.WriteU32(n));
  }
  ASSERT_EQ(OpenPassFiles(&model, positions), 0);
  expectPlaces(order, "through positions");
  ClosePassFiles(&model);
  RemoveWorkFile(positions);
  FreeFieldBuffers(&model);
}

// A filter on a total holds where the totals are not known yet (the record
// sort, the totals pre-pass): those passes keep every record the rest of the
// filter lets through, and the report run decides on the total.
TEST_F(RecordPassTest, ConditionsOnTotalsHoldUntilTheReportRun) {
  FieldDef* total = model.AddField(kFieldNumeric | kFieldNeeded);
  std::snprintf(total->name, sizeof total->name, "TOT");
  total->totalFlags = kTotalIsTotal;
  ASSERT_EQ(PropagateFieldDependencies(&model), nullptr);
  Cond c;
  c.Field(model.GetFieldIndex(amount)).Op(kCondGreaterEqual).Number(100).EndMark();
  c.Op(kCondAnd).Field(model.GetFieldIndex(total)).Op(kCondGreater).Number(5).EndMark().Op(0);
  model.conditionCode = static_cast<uint8_t*>(std::malloc(c.b.size()));
  std::memcpy(model.conditionCode, c.b.data(), c.b.size());
  model.conditionLength = static_cast<uint16_t>(c.b.size());
  ASSERT_EQ(RebuildConditionCode(&model), 0);
  State()->filterOn = 1;
  State()->filterUsesTotals = CodeUsesTotals(&model, model.conditionCode, model.conditionLength);
  ASSERT_EQ(State()->filterUsesTotals, 1);
  ASSERT_EQ(OpenScan(&model), 0);
  auto accepted = [&](int32_t phase) {
    model.passPhase = phase;
    RewindScan(&model);
    rows.next = 0;
    int n = 0;
    while (RunRecordPass(&model, nullptr) == 0) ++n;
    return n;
  };
  int amountsOver100 = 0;
  for (int i = 1; i <= 300; ++i) amountsOver100 += i % 17 != 0 && (i * 37) % 250 >= 100;
  EXPECT_EQ(accepted(kPhaseIdle), amountsOver100);
  EXPECT_EQ(accepted(kPhaseTotalsPrepass), amountsOver100);
  EXPECT_EQ(accepted(kPhaseReportRun), 0) << "the total, never summed here, is null";
  const double six = 6;
  std::memcpy(total->value, &six, 8);
  EXPECT_EQ(accepted(kPhaseReportRun), amountsOver100);
  RemoveWorkFiles(&model);
  FreeFieldBuffers(&model);
}

// The engine's side of totals, as the pass sees it: running sums and a log.
std::vector<std::string> g_summaryLog;
int FakeSummaries(CKmComposite* m, FieldDef* total, int what) {
  if (total == nullptr) {
    g_summaryLog.push_back(std::to_string(what));
    return 0;
  }
  g_summaryLog.push_back(total->name);
  FieldDef* source = m->GetFieldAt(total->refField);
  double sum, add;
  std::memcpy(&sum, total->value, 8);
  std::memcpy(&add, source->value, 8);
  if (IsNullNumber(sum)) sum = 0;
  if (IsNullNumber(add)) add = 0;
  sum += add;
  std::memcpy(total->value, &sum, 8);
  return 0;
}

TEST_F(RecordPassTest, CalculationsRunInThreeSweepsAroundTheTotals) {
  FieldDef* total = model.AddField(kFieldNumeric | kFieldNeeded | kFieldItem | kFieldCalculation);
  std::strcpy(total->name, "SUMAMT");
  total->totalFlags = kTotalIsTotal;
  total->refField = 0;  // AMOUNT
  total->totalLevel = 0;
  FieldDef* twice = Calc("TWICE", "AMOUNT * 2");
  FieldDef* onTotal = Calc("ONTOTAL", "SUMAMT * 2");
  FieldDef* late = Calc("LATE", "SUMAMT + 1000");
  PropagateFieldDependencies(&model);
  // The order and marks the dependency pass gives such fields.
  onTotal->flags |= kFieldTotalRelated;
  onTotal->refField = model.GetFieldIndex(total);
  late->flags |= kFieldTotalRelated;
  late->refField = model.GetFieldIndex(total);
  late->flags2 |= 0x40;
  // The late one first: the sweeps, not the list, put it after the totals.
  model.calcOrderList = late;
  late->orderNext = twice;
  twice->orderNext = total;
  total->orderNext = onTotal;
  onTotal->orderNext = nullptr;
  ASSERT_EQ(OpenScan(&model), 0);
  GetRecordPassHooks().updateSummaries = FakeSummaries;
  State()->summaries = true;
  model.passPhase = kPhaseReportRun;
  g_summaryLog.clear();
  double sum = 0;
  for (int i = 1; i <= 20; ++i) {
    ASSERT_EQ(RunRecordPass(&model, nullptr), 0);
    if (i % 17 != 0) sum += (i * 37) % 250;
    if (i % 17 != 0) {
      EXPECT_EQ(NumberOf(twice), NumberOf(amount) * 2);
    }
    EXPECT_EQ(NumberOf(total), sum);
    EXPECT_EQ(NumberOf(onTotal), sum * 2) << i;  // after the total's update
    EXPECT_EQ(NumberOf(late), sum + 1000);
  }
  // Per record: after sweep 0, the total in sweep 1, after sweep 1.
  ASSERT_GE(g_summaryLog.size(), 3u);
  EXPECT_EQ(g_summaryLog[0], "1");
  EXPECT_EQ(g_summaryLog[1], "SUMAMT");
  EXPECT_EQ(g_summaryLog[2], "2");
  model.calcOrderList = nullptr;
}

TEST_F(RecordPassTest, ListingPassReadsEveryRecord) {
  amount->flags &= ~kFieldNeeded;
  amount->needsPrevious = 1;
  ASSERT_EQ(BeginTmpPass(&model), 0);
  State();
  EXPECT_TRUE(IsTmpPassActive(&model));
  EXPECT_NE(amount->value, nullptr);
  EXPECT_EQ(amount->previous, nullptr);
  int n = 0;
  while (NextTmpRecord(&model) == 0) ++n;
  EXPECT_EQ(n, 300);
  EXPECT_EQ(EndTmpPass(&model), 0);
  EXPECT_FALSE(IsTmpPassActive(&model));
  EXPECT_EQ(amount->value, nullptr);
  EXPECT_TRUE(LeftoverWorkFiles().empty());
}

// A field whose flags hold two value kinds (as a damaged report can give
// it) is measured by one kind and written by another: its buffers have room
// for either.
TEST_F(RecordPassTest, AFieldOfTwoValueKindsHasRoomForEither) {
  FieldDef* both = Calc("BOTH", "AMOUNT * 2");
  ASSERT_NE(both, nullptr);
  both->flags |= kFieldLogical;
  both->needsPrevious = 1;
  ASSERT_EQ(model.GetFieldWidth(both), 2u);
  ASSERT_EQ(BeginTmpPass(&model), 0);
  ASSERT_NE(both->value, nullptr);
  double v = 0;
  std::memcpy(&v, both->value, 8);  // cleared as a number: past the 2 bytes its width gives
  EXPECT_EQ(v, GetNullNumber());
  EXPECT_EQ(EndTmpPass(&model), 0);
}

TEST_F(RecordPassTest, RejectedStoppedAndFailedPassesLeaveNoFiles) {
  ASSERT_EQ(OpenScan(&model), 0);
  State();
  model.passPhase = kPhaseTotalsPrepass;
  // A selection that rejects everything: the end without any record.
  FieldDef* sel = Calc("SEL", "AMOUNT > 1000");
  ASSERT_EQ(PropagateFieldDependencies(&model), nullptr);
  ASSERT_EQ(OpenScan(&model), 0);
  model.selectionField = sel;
  EXPECT_EQ(RunRecordPass(&model, nullptr), kEngineEndOfData);
  EXPECT_EQ(State()->acceptedCount, 0u);
  EXPECT_EQ(model.recordsDone, 300u);
  model.selectionField = nullptr;

  // A call-back that stops at once: before the selection is asked.
  RewindScan(&model);
  rows.next = 0;
  model.selectionField = sel;
  EXPECT_EQ(RunRecordPass(&model, [](CKmComposite*) { return 1; }), kEngineStopped);
  EXPECT_EQ(model.recordsDone, 1u);
  model.selectionField = nullptr;

  // A fetch failure after some accepted records.
  RewindScan(&model);
  rows.next = 0;
  rows.failAt = 5;
  int r;
  while ((r = RunRecordPass(&model, nullptr)) == 0) {}
  EXPECT_EQ(r, kEngineFetchFailed);
  EXPECT_EQ(ReadPositions(State()->tmpName), (std::vector<uint32_t>{1, 2, 3, 4}));
  RemoveWorkFiles(&model);
  EXPECT_TRUE(LeftoverWorkFiles().empty());

  // A position file that is not there, or holds half a number.
  EXPECT_EQ(OpenPassFiles(&model, MakeTempFileName("NONE")), kEnginePositionFileOpen);
  WorkFile half;
  ASSERT_TRUE(half.Create(MakeTempFileName("POS")));
  half.WriteU32(2);
  half.Write("\x01\x00", 2);
  half.Close();
  ASSERT_EQ(OpenPassFiles(&model, MakeTempFileName("POS")), 0);
  EXPECT_EQ(RunRecordPass(&model, nullptr), 0);
  EXPECT_EQ(model.recordNumber, 2u);
  EXPECT_EQ(RunRecordPass(&model, nullptr), kEngineCannotReadComponents);
  ClosePassFiles(&model);

  // A pass that reads the work files back opens the run's totals index too;
  // an index that has gone is its own error, and nothing stays open.
  State()->indexName = MakeTempFileName("IDX");
  EXPECT_EQ(OpenPassFilesForRead(&model, MakeTempFileName("POS")), kEngineCannotCreateTotalsIndex);
  EXPECT_FALSE(State()->positionFile.IsOpen());
  WorkFile index;
  ASSERT_TRUE(index.Create(MakeTempFileName("IDX")));
  index.WriteU32(7);
  index.Close();
  ASSERT_EQ(OpenPassFilesForRead(&model, MakeTempFileName("POS")), 0);
  EXPECT_TRUE(State()->positionFile.IsOpen());
  uint32_t first = 0;
  EXPECT_EQ(State()->indexFile.ReadU32(&first), 1);
  EXPECT_EQ(first, 7u);
  ClosePassFiles(&model);
  EXPECT_FALSE(State()->indexFile.IsOpen());
  EXPECT_FALSE(State()->positionFile.IsOpen());
  // A second read-back pass opens the index again from its start.
  ASSERT_EQ(OpenPassFilesForRead(&model, MakeTempFileName("POS")), 0);
  first = 0;
  EXPECT_EQ(State()->indexFile.ReadU32(&first), 1);
  EXPECT_EQ(first, 7u);
  ClosePassFiles(&model);
  RemoveWorkFiles(&model);
  RemoveWorkFile(MakeTempFileName("POS"));
  EXPECT_TRUE(LeftoverWorkFiles().empty());
}

TEST_F(RecordPassTest, RecordSortOrdersTheSelectedRecords) {
  SetFilter();
  ASSERT_EQ(OpenScan(&model), 0);
  State();
  model.passPhase = kPhaseReportRun;
  SetRecordSortSettings(&model, 10000, 0, 1);
  FieldDef* keys[3] = {region, amount, nullptr};
  const uint32_t asc[2] = {1, 0};
  std::string name;
  ASSERT_EQ(SortRecords(&model, keys, asc, &name), 0);
  std::vector<uint32_t> got = ReadPositions(name);
  std::vector<uint32_t> expected;
  for (int i = 1; i <= 300; ++i)
    if (Accepted(i)) expected.push_back(static_cast<uint32_t>(i));
  std::stable_sort(expected.begin(), expected.end(), [](uint32_t x, uint32_t y) {
    const int rx = x % 4 == 0 ? 0 : 1, ry = y % 4 == 0 ? 0 : 1;  // East before West
    if (rx != ry) return rx < ry;
    return (x * 37) % 250 > (y * 37) % 250;
  });
  EXPECT_EQ(got, expected);
  RemoveWorkFile(name);
  EXPECT_TRUE(LeftoverWorkFiles().empty());

  // Many records, a small pool: runs merge and nothing stays behind.
  rows.rows.clear();
  for (int i = 1; i <= 4000; ++i) rows.rows.push_back({Num(i % 13), Txt(kRegions[i % 4])});
  State()->filterOn = 0;
  RewindScan(&model);
  rows.next = 0;
  static std::vector<std::string> shown;
  shown.clear();
  GetRecordPassHooks().showPhase = [](CKmComposite*, const char* text) { shown.push_back(text); };
  GetRecordPassHooks().showStatus = [](CKmComposite*, const char* label, uint32_t n) {
    shown.push_back(label ? std::string(label) + " " + std::to_string(n) : "-");
  };
  ASSERT_EQ(SortRecords(&model, keys, asc, &name), 0);
  ASSERT_GE(shown.size(), 3u);
  EXPECT_EQ(shown[0], "Merging");
  EXPECT_EQ(shown[1].rfind("Merge files remaining: ", 0), 0u);
  EXPECT_EQ(shown.back(), "-");
  got = ReadPositions(name);
  ASSERT_EQ(got.size(), 4000u);
  for (size_t i = 1; i < got.size(); ++i) {
    const int ra = std::string(kRegions[got[i - 1] % 4]).compare(kRegions[got[i] % 4]);
    ASSERT_LE(ra, 0);
    if (ra == 0) {
      ASSERT_GE(got[i - 1] % 13, got[i] % 13);
      if (got[i - 1] % 13 == got[i] % 13) {
        ASSERT_LT(got[i - 1], got[i]);
      }
    }
  }
  RemoveWorkFile(name);

  // A fetch failure ends the sort: the name is emptied, no file stays.
  RewindScan(&model);
  rows.next = 0;
  rows.failAt = 3000;
  EXPECT_EQ(SortRecords(&model, keys, asc, &name), 1);
  EXPECT_TRUE(name.empty());
  EXPECT_TRUE(LeftoverWorkFiles().empty());
}

}  // namespace
