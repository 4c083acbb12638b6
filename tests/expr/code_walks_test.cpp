#include "expr/code_walks.h"

#include "core/compiled_code.h"
#include "expr/scanner.h"
#include "expr_model_fixture.h"

#include <gtest/gtest.h>

namespace {

std::vector<uint32_t> Refs(const FieldDef* f) {
  std::vector<uint32_t> r;
  ForEachFieldReference(f->code, f->codeLength, [&](uint32_t n, bool) { r.push_back(n); });
  return r;
}

}  // namespace

TEST(CodeWalks, DependencyScanLevelsAndFlags) {
  TestModel t;
  int cust = t.AddTable("CUST");
  int ord = t.AddTable("ORD");
  FieldDef* name = t.Add("NAME", 0, static_cast<uint8_t>(cust));
  t.Add("QTY", kFieldNumeric, static_cast<uint8_t>(ord));
  CompileOutput out;
  ASSERT_EQ(t.Compile("PAGENO() + QTY", nullptr, nullptr, &out), 0);
  EXPECT_EQ(out.tableLevel, 0xFE);
  EXPECT_TRUE(out.typeFlags & kFieldPageNumber);
  EXPECT_EQ(out.typeFlags & kFieldKindMask, kFieldNumeric);
  ASSERT_EQ(t.Compile("QTY * 2", nullptr, nullptr, &out), 0);
  EXPECT_EQ(out.tableLevel, ord);
  ASSERT_EQ(t.Compile("NAME + STR(QTY)", nullptr, nullptr, &out), 0);
  EXPECT_EQ(out.tableLevel, 0);  // several tables
  ASSERT_EQ(t.Compile("1 + 2", nullptr, nullptr, &out), 0);
  EXPECT_EQ(out.tableLevel, 0xFF);
  ASSERT_EQ(t.Compile("RECNO()", nullptr, nullptr, &out), 0);
  EXPECT_TRUE(out.typeFlags & kFieldRecordNumber);

  // A reference to a total makes the expression total-related and names its group field.
  FieldDef* sum = t.Add("SUMQTY", kFieldNumeric);
  sum->totalFlags = kTotalIsTotal;
  sum->totalLevel = 2;
  ASSERT_EQ(t.Compile("SUMQTY / 2", nullptr, nullptr, &out), 0);
  EXPECT_TRUE(out.typeFlags & kFieldTotalRelated);
  EXPECT_EQ(out.groupField, sum);
  (void)name;

  // SQLEXP stands alone on one literal, and never in a user function.
  FieldDef* derived = t.Add("DERIVED", kFieldNumeric | kFieldCalculation);
  uint32_t pos = 0;
  EXPECT_EQ(CompileExpression(&t.m, "SQLEXP('a + b')", &pos, &out, derived, nullptr, 1), 0);
  EXPECT_EQ(out.tableLevel, 0xFE);
  EXPECT_EQ(CompileExpression(&t.m, "SQLEXP('a') + 1", &pos, &out, derived, nullptr, 1), 1);
  EXPECT_EQ(pos, 1u);
  uint8_t udfType = 1;
  EXPECT_EQ(CompileExpression(&t.m, "SQLEXP('a')", &pos, &out, nullptr, &udfType, 1), 67);

  // A code without its end is refused, not read past.
  const uint8_t cut[] = {OP_NUMBER, 0, 0, 0};
  DependencyScan d;
  EXPECT_EQ(ScanExpressionDependencies(&t.m, cut, sizeof cut, &d, nullptr, false, 1), 1);
}

TEST(CodeWalks, DeletingAFieldRenumbersAndDropsBrokenCode) {
  TestModel t;
  t.Add("A", kFieldNumeric);
  t.Add("B", kFieldNumeric);
  t.Add("C", kFieldNumeric);
  t.Add("D", kFieldNumeric);
  FieldDef* usesC = t.AddCalc("X", "C + D");
  FieldDef* usesD = t.AddCalc("Y", "D * 2 + PREVIOUS(D)");
  ASSERT_EQ(t.lastError, 0);
  EXPECT_EQ(FindFieldReferencing(&t.m, 2), usesC);
  EXPECT_EQ(FindFieldReferencing(&t.m, 3), usesC);
  EXPECT_EQ(FindFieldReferencing(&t.m, 0), nullptr);

  RenumberFieldReferences(&t.m, 2);
  EXPECT_EQ(usesC->code, nullptr);  // it used the deleted field
  EXPECT_EQ(Refs(usesD), (std::vector<uint32_t>{2, 2}));

  ReplaceFieldReference(&t.m, 2, 0);
  EXPECT_EQ(Refs(usesD), (std::vector<uint32_t>{0, 0}));
  usesD->flags |= kFieldNeeded;
  EXPECT_EQ(FindUncompiledField(&t.m), nullptr);
  usesC->flags |= kFieldNeeded;
  EXPECT_EQ(FindUncompiledField(&t.m), usesC);
}

TEST(CodeWalks, RenamingRewritesDependentTexts) {
  TestModel t;
  int cust = t.AddTable("CUST");
  FieldDef* qty = t.Add("QTY", kFieldNumeric, static_cast<uint8_t>(cust));
  t.Add("PRICE", kFieldNumeric, static_cast<uint8_t>(cust));
  FieldDef* a = t.AddCalc("A", "qty * price + CUST.QTY - LEN('qty')");
  FieldDef* b = t.AddCalc("B", "IIF(QTY > 1, \"QTY\", [x])");
  FieldDef* c = t.AddCalc("C", "PRICE");
  ASSERT_EQ(t.lastError, 0);
  RenameInCompiledCode(&t.m, kRenameField, t.Number(qty), -1, "ITEM COUNT", "QTY");
  EXPECT_STREQ(a->exprText, "ITEM\\ COUNT * price + CUST.ITEM\\ COUNT - LEN('qty')");
  EXPECT_STREQ(b->exprText, "IIF(ITEM\\ COUNT > 1, \"QTY\", [x])");
  EXPECT_STREQ(c->exprText, "PRICE");
  // The renamed texts compile to the same code once the field has its new name.
  std::vector<uint8_t> before(a->code, a->code + a->codeLength);
  std::snprintf(qty->name, sizeof qty->name, "ITEM COUNT");
  ASSERT_EQ(CompileFieldText(&t.m, a, nullptr), 0);
  EXPECT_EQ(std::vector<uint8_t>(a->code, a->code + a->codeLength), before);

  RenameInCompiledCode(&t.m, kRenameTable, kNoField, cust, "CLIENT", "CUST");
  EXPECT_STREQ(a->exprText, "ITEM\\ COUNT * price + CLIENT.ITEM\\ COUNT - LEN('qty')");

  RenameInCompiledCode(&t.m, kRenameField, t.Number(t.fields[1]), -1, nullptr, nullptr);
  EXPECT_STREQ(c->exprText, "CUST.PRICE");

  EXPECT_EQ(ReplaceNameInExpressionText(&t.m, "PRICE + 1", "T 1"), "T\\ 1.PRICE + 1");
  EXPECT_EQ(EscapeExpressionName("a+b(c)"), "a\\+b\\(c\\)");
}

TEST(CodeWalks, UseMarksAndCalls) {
  TestModel t;
  FieldDef* a = t.Add("A", kFieldNumeric);
  FieldDef* b = t.AddCalc("B", "A + 1");
  FieldDef* c = t.AddCalc("C", "B * 2");
  FieldDef* d = t.AddCalc("D", "COPY()");
  ASSERT_EQ(t.lastError, 0);
  c->flags |= kFieldNeeded;
  bool changed = false;
  MarkRequiredFields(&t.m, &changed, true);
  EXPECT_TRUE(changed);
  EXPECT_TRUE(a->flags & kFieldNeeded);
  EXPECT_TRUE(b->flags & kFieldNeeded);
  EXPECT_FALSE(d->flags & kFieldNeeded);
  EXPECT_FALSE(b->flags & kFieldRemovePropagated);
  EXPECT_FALSE(UsesCopyFunction(&t.m));
  d->flags |= kFieldNeeded;
  EXPECT_TRUE(UsesCopyFunction(&t.m));
  EXPECT_TRUE(CodeCallsFunction(d->code, d->codeLength, 69, true));
  EXPECT_FALSE(CodeCallsFunction(d->code, d->codeLength, 69, false));

  a->flags |= kFieldRemoveMark;
  EXPECT_TRUE(CheckFieldReferences(&t.m, b));
  EXPECT_FALSE(CheckFieldReferences(&t.m, c));

  double v = 2.5;
  uint8_t buf[12] = {};
  std::memcpy(buf, &v, 8);
  EXPECT_TRUE(IsFieldValueSet(&t.m, a, buf));
  v = -1.7976931348623157e308;
  std::memcpy(buf, &v, 8);
  EXPECT_FALSE(IsFieldValueSet(&t.m, a, buf));
  FieldDef* s = t.Add("S", 0);
  EXPECT_FALSE(IsFieldValueSet(&t.m, s, reinterpret_cast<const uint8_t*>("   ")));
  EXPECT_TRUE(IsFieldValueSet(&t.m, s, reinterpret_cast<const uint8_t*>(" x ")));
}

// Before a run: join fields and the group chains get their "needed" byte,
// the engine-computed flag follows the fields, and a self-reference is noted.
TEST(CodeWalks, RequiredFieldsJoinChainsAndSelfReference) {
  TestModel t;
  FieldDef* key = t.Add("KEY", kFieldNumeric);
  FieldDef* keyCalc = t.AddCalc("KEYCALC", "KEY + 1");
  FieldDef* amount = t.Add("AMOUNT", kFieldNumeric);
  FieldDef* share = t.AddCalc("SHARE", "AMOUNT / 2");
  FieldDef* loner = t.AddCalc("LONER", "AMOUNT * 3");
  ASSERT_EQ(t.lastError, 0);
  keyCalc->flags |= kFieldJoin | kFieldNeeded;
  share->flags |= kFieldNeeded;
  t.m.levelTotalChains[2] = share;  // evaluated at a group break
  share->orderNext = nullptr;
  bool changed = false;
  MarkRequiredFields(&t.m, &changed, true);
  EXPECT_EQ(keyCalc->needed, 1);
  EXPECT_EQ(key->needed, 1);            // reached from the join field
  EXPECT_EQ(share->needed, 1);          // in a level chain
  EXPECT_EQ(amount->needed, 1);
  EXPECT_EQ(loner->needed, 0);
  EXPECT_FALSE(loner->flags & kFieldNeeded);
  EXPECT_FALSE(share->flags & kFieldRemovePropagated);
  EXPECT_EQ(t.m.engineComputedFields, 0);
  loner->flags |= 0xE000;
  MarkRequiredFields(&t.m, &changed, true);
  EXPECT_EQ(t.m.engineComputedFields, 1);

  // A calculation that uses its own previous value refers to itself.
  FieldDef* running = t.AddCalc("RUNNING", "AMOUNT");
  ASSERT_EQ(t.lastError, 0);
  FieldDef* again = t.AddCalc("AGAIN", "RUNNING + 1");
  ASSERT_EQ(t.lastError, 0);
  EXPECT_FALSE(again->totalFlags & kTotalLevelZero);
  running->totalFlags |= kTotalLevelZero;
  DependencyScan d;
  ScanExpressionDependencies(&t.m, again->code, again->codeLength, &d, again, false, 0);
  EXPECT_TRUE(again->totalFlags & kTotalLevelZero);  // through a field that refers to itself
}

// A calculation resting only on pre-processed totals is pre-processed too.
TEST(CodeWalks, PreprocessedOnlyDependencies) {
  TestModel t;
  FieldDef* pre = t.Add("PRE", kFieldNumeric);
  pre->totalFlags = kTotalIsTotal | kTotalPreprocessed;
  FieldDef* running = t.Add("RUN", kFieldNumeric);
  running->totalFlags = kTotalIsTotal;
  FieldDef* onlyPre = t.AddCalc("ONLYPRE", "PRE * 2");
  FieldDef* mixed = t.AddCalc("MIXED", "PRE + RUN");
  ASSERT_EQ(t.lastError, 0);
  EXPECT_TRUE(onlyPre->totalFlags & kTotalPreprocessed);
  EXPECT_FALSE(mixed->totalFlags & kTotalPreprocessed);
}
