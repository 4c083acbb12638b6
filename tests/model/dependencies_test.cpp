#include "model/field_dependencies.h"

#include "tests/expr/expr_model_fixture.h"
#include "tests/model/recordpass/condition_writer.h"
#include "expr/code_walks.h"
#include "core/engine_errors.h"
#include "model/group_levels.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Chain(FieldDef* f) {
  std::vector<std::string> names;
  for (int i = 0; f && i < 100; f = f->orderNext, ++i) names.push_back(f->name);
  return names;
}

FieldDef* AddTotal(TestModel& t, const char* name, FieldDef* of, uint8_t level) {
  FieldDef* f = t.Add(name, kFieldNumeric);
  f->totalFlags = kTotalIsTotal;
  f->totalLevel = level;
  f->refField = t.Number(of);
  return f;
}

}  // namespace

TEST(Dependencies, LevelsAndEvaluationOrder) {
  TestModel t;
  int ord = t.AddTable("ORD");
  FieldDef* qty = t.Add("QTY", kFieldNumeric, static_cast<uint8_t>(ord));
  t.Add("PRICE", kFieldNumeric, static_cast<uint8_t>(ord));
  // NET uses a field defined after it.
  FieldDef* net = t.Add("NET", kFieldCalculation);
  net->exprText = TestModel::HeapText("GROSS - 1");
  FieldDef* gross = t.AddCalc("GROSS", "QTY * PRICE");
  ASSERT_EQ(CompileFieldText(&t.m, net, nullptr), 0);
  FieldDef* rate = t.AddCalc("RATE", "0.2");
  FieldDef* page = t.AddCalc("PAGE", "PAGENO()");
  FieldDef* sum = AddTotal(t, "SUMNET", net, 1);
  FieldDef* share = t.AddCalc("SHARE", "NET / SUMNET");
  ASSERT_EQ(t.lastError, 0);

  EXPECT_EQ(PropagateFieldDependencies(&t.m), nullptr);
  EXPECT_EQ(gross->table, ord);
  EXPECT_EQ(rate->table, kTableNone);
  EXPECT_EQ(page->table, kTablePerRecord);
  EXPECT_TRUE(page->flags & kFieldPageNumber);
  EXPECT_TRUE(share->flags & kFieldTotalRelated);
  EXPECT_EQ(Chain(t.m.prefetchCalcList), (std::vector<std::string>{"RATE"}));
  // Totals and what rests on them are evaluated with each record, after what they total.
  EXPECT_EQ(Chain(t.m.calcOrderList), (std::vector<std::string>{"QTY", "GROSS", "NET", "PAGE", "SUMNET", "SHARE"}));
  EXPECT_EQ(Chain(t.m.levelTotalChains[1]), (std::vector<std::string>{}));
  (void)qty;
  (void)sum;
}

TEST(Dependencies, CyclesAreReportedNotLooped) {
  TestModel t;
  FieldDef* a = t.Add("A", kFieldCalculation);
  FieldDef* b = t.Add("B", kFieldCalculation);
  a->exprText = TestModel::HeapText("1");
  b->exprText = TestModel::HeapText("A + 1");
  ASSERT_EQ(CompileFieldText(&t.m, a, nullptr), 0);
  ASSERT_EQ(CompileFieldText(&t.m, b, nullptr), 0);
  // Now A names B: the two wait for each other.
  HeapFreeBlock(a->exprText);
  a->exprText = TestModel::HeapText("B + 1");
  ASSERT_EQ(CompileFieldText(&t.m, a, nullptr), 0);
  FieldDef* bad = PropagateFieldDependencies(&t.m);
  EXPECT_EQ(Chain(bad), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(FormatEvaluationOrderError(bad), "Calculation 'A' must be edited.  Unable to determine evaluation order");
  // PREVIOUS of itself is no cycle.
  t.AddCalc("RUN", "PREVIOUS(RUN) + 1");
  HeapFreeBlock(a->exprText);
  a->exprText = TestModel::HeapText("2");
  ASSERT_EQ(CompileFieldText(&t.m, a, nullptr), 0);
  EXPECT_EQ(PropagateFieldDependencies(&t.m), nullptr);
}

TEST(Dependencies, RemovalFollowsUsersAndDeletingKeepsExpressionsRight) {
  TestModel t;
  FieldDef* a = t.Add("A", kFieldNumeric);
  t.Add("B", kFieldNumeric);
  FieldDef* alias = t.m.AddField(kFieldNumeric | kFieldAlias);
  std::snprintf(alias->name, sizeof alias->name, "A");
  alias->refField = 0;
  FieldDef* total = AddTotal(t, "TOTA", a, 0);
  FieldDef* calc = t.AddCalc("CA", "A * 2");
  FieldDef* calc2 = t.AddCalc("CCA", "CA + 1");
  FieldDef* other = t.AddCalc("OB", "B + 1");
  ASSERT_EQ(t.lastError, 0);

  a->flags |= kFieldRemoveMark;
  EXPECT_EQ(CheckRemoval(&t.m), 0);
  for (FieldDef* f : {a, alias, total, calc, calc2}) EXPECT_TRUE(f->flags & kFieldRemovePropagated) << f->name;
  EXPECT_FALSE(other->flags & kFieldRemovePropagated);
  EXPECT_EQ(CountFieldsToRemove(&t.m), 4);
  DependencyWarning w = BuildRemoveUsersWarning(&t.m, "deleting A", a);
  EXPECT_EQ(w.text, "WARNING: The following will be removed when deleting A");
  EXPECT_EQ(w.lines, (std::vector<std::string>{"CA() / Calculation", "CCA() / Calculation", "TOTA() / Total"}));

  DeleteMarkedFields(&t.m);
  EXPECT_EQ(t.m.fieldCount, 2u);
  ASSERT_EQ(t.m.fieldList->next, other);
  // B moved from 1 to 0; its user's code follows and still evaluates B.
  std::vector<uint32_t> refs;
  ForEachFieldReference(other->code, other->codeLength, [&](uint32_t n, bool) { refs.push_back(n); });
  EXPECT_EQ(refs, (std::vector<uint32_t>{0}));
  EXPECT_EQ(PropagateFieldDependencies(&t.m), nullptr);
}

TEST(Dependencies, JoinFieldsAndPreprocessedTotals) {
  TestModel t;
  FieldDef* key = t.Add("KEY", kFieldNumeric | kFieldJoin);
  FieldDef* calc = t.AddCalc("K2", "KEY * 2");
  key->flags |= kFieldRemoveMark;
  EXPECT_EQ(CheckRemoval(&t.m), kEngineDeleteJoinField);
  EXPECT_EQ(t.m.errorField, key);
  for (FieldDef* f = t.m.fieldList; f; f = f->next) EXPECT_EQ(f->flags & 0x30u, 0u);

  EXPECT_EQ(CheckPreprocessedTotals(&t.m), 0);
  EXPECT_EQ(GetLowestPreTotalLevel(&t.m), -1);
  FieldDef* pre = AddTotal(t, "PRE", calc, 3);
  pre->totalFlags |= kTotalPreprocessed;
  pre->totalReset = 3;
  EXPECT_EQ(GetLowestPreTotalLevel(&t.m), 3);
  EXPECT_EQ(CheckPreprocessedTotals(&t.m), kEnginePreTotalUnassigned);
  t.m.groupFields[3] = 0;
  EXPECT_EQ(CheckPreprocessedTotals(&t.m), 0);

  key->flags |= kFieldNeeded;
  pre->flags |= 0;
  EXPECT_FALSE(CheckFieldRemoval(&t.m, calc));
  calc->flags |= kFieldNeeded;
  EXPECT_TRUE(CheckFieldRemoval(&t.m, calc));  // the pre-processed total goes with it
}

// With totals computed ahead, the filter may use only the lowest level of
// them, and no running total; the first check that applies answers.
TEST(Dependencies, FilterOnTotalsWithPreprocessing) {
  TestModel t;
  FieldDef* amount = t.Add("AMOUNT", kFieldNumeric);
  FieldDef* runSum = AddTotal(t, "RUNSUM", amount, 2);
  FieldDef* pre2 = AddTotal(t, "PRE2", amount, 2);
  FieldDef* pre1 = AddTotal(t, "PRE1", amount, 1);
  pre2->totalFlags |= kTotalPreprocessed;
  pre1->totalFlags |= kTotalPreprocessed;
  pre2->totalReset = pre2->totalLevel;
  pre1->totalReset = pre1->totalLevel;
  t.m.groupFields[1] = t.Number(amount);
  t.m.groupFields[2] = t.Number(amount);
  GroupSetup setup;
  // The filter "<field> > 10" as the filter dialogs store it.
  std::vector<uint8_t> code;
  auto filterOn = [&](const FieldDef* f) {
    Cond c;
    c.Field(t.Number(f)).Op(kCondGreater).Number(10).EndMark().Op(kCondEnd);
    code = c.b;
  };
  filterOn(runSum);
  EXPECT_EQ(CheckTotalsConsistency(&t.m, setup, nullptr, false, code.data(), code.size()),
            kEngineFilterRunningTotal);
  filterOn(pre2);
  EXPECT_EQ(CheckTotalsConsistency(&t.m, setup, nullptr, false, code.data(), code.size()),
            kEngineFilterHighestOnly);
  filterOn(pre1);
  EXPECT_EQ(CheckTotalsConsistency(&t.m, setup, nullptr, false, code.data(), code.size()), 0);
  // Without pre-processed totals a running total may be filtered on.
  pre2->totalFlags &= ~kTotalPreprocessed;
  pre1->totalFlags &= ~kTotalPreprocessed;
  filterOn(runSum);
  EXPECT_EQ(CheckTotalsConsistency(&t.m, setup, nullptr, false, code.data(), code.size()), 0);
}

TEST(Dependencies, APreviousValueWaitsForNothing) {
  TestModel t;
  // A running balance: each reads the other's value of the record before.
  FieldDef* closing = t.AddCalc("CLOSING", "1");
  FieldDef* opening = t.AddCalc("OPENING", "PREVIOUS(CLOSING)");
  HeapFreeBlock(closing->exprText);
  closing->exprText = TestModel::HeapText("OPENING + 1");
  ASSERT_EQ(CompileFieldText(&t.m, closing, nullptr), 0);
  ASSERT_EQ(t.lastError, 0);
  EXPECT_EQ(PropagateFieldDependencies(&t.m), nullptr);
  EXPECT_TRUE(CheckFieldReferences(&t.m, opening));
  closing->flags |= kFieldRemoveMark;
  EXPECT_FALSE(CheckFieldReferences(&t.m, closing)) << "OPENING is not marked";
  closing->flags &= ~kFieldRemoveMark;
}
