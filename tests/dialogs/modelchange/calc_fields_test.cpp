#include "model/calc_fields.h"

#include "tests/expr/expr_model_fixture.h"
#include "expr/code_walks.h"
#include "model/field_dependencies.h"
#include "expr/udf.h"

#include <gtest/gtest.h>

namespace {

struct CalcModel : TestModel {
  int ord = AddTable("ORD");
  FieldDef* qty = Add("QTY", kFieldNumeric, static_cast<uint8_t>(ord));
  FieldDef* name = Add("CUST", 0, static_cast<uint8_t>(ord));

  int Define(CalcDefRequest& r, const char* fieldName, const char* text, FieldDef* field,
             uint32_t* count = nullptr) {
    r.kind = kCalcKindField;
    r.name = fieldName;
    r.text = text;
    r.field = field;
    uint32_t c = 0;
    int rc = DefineCalcField(&m, &r, count ? count : &c, &pending);
    return rc;
  }
  FieldDef* NewCalc(const char* fieldName, const char* text) {
    CalcDefRequest r;
    if (Define(r, fieldName, text, nullptr) != 0) return nullptr;
    CommitCalcDefinition(&m, nullptr, &r, &pending);
    return r.field;
  }
  uint32_t Count() const { return m.fieldCount; }
  PendingCalcDefinition pending;
};

std::string Text(const char* t) {
  std::string s = t ? t : "";
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace

TEST(CalcFieldName, RulesInOrder) {
  CalcModel t;
  FieldDef* net = t.NewCalc("NET", "QTY * 2");
  ASSERT_NE(net, nullptr);
  EXPECT_EQ(CheckCalcFieldName(&t.m, "net", net), 0);  // own name in other case
  EXPECT_EQ(CheckCalcFieldName(&t.m, "net", nullptr), kCalcNameUsed);
  EXPECT_EQ(CheckCalcFieldName(&t.m, "qty", nullptr), kCalcNameUsed);
  EXPECT_EQ(CheckCalcFieldName(&t.m, "and", nullptr), kCalcBadName);
  EXPECT_EQ(CheckCalcFieldName(&t.m, "Yes", nullptr), kCalcBadName);
  EXPECT_EQ(CheckCalcFieldName(&t.m, ".F.", nullptr), kCalcBadName);
  EXPECT_EQ(CheckCalcFieldName(&t.m, "NOT", nullptr), 0);
  EXPECT_EQ(CheckCalcFieldName(&t.m, "", nullptr), kCalcBadName);
  EXPECT_EQ(CheckCalcFieldName(&t.m, "1ST", nullptr), kCalcBadName);
  EXPECT_EQ(CheckCalcFieldName(&t.m, "A B", nullptr), kCalcBadName);
  EXPECT_EQ(CheckCalcFieldName(&t.m, "A_1", nullptr), 0);
}

TEST(CalcFieldName, ErrorMaps) {
  EXPECT_EQ(MapUdfParseError(1), 46);
  EXPECT_EQ(MapUdfParseError(6), 51);
  EXPECT_EQ(MapUdfParseError(7), 24);
  EXPECT_EQ(MapUdfParseError(8), 52);
  EXPECT_EQ(MapUdfParseError(9), 53);
  EXPECT_EQ(MapUdfParseError(10), -1);
  EXPECT_EQ(MapUdfParseError(0), -1);
  EXPECT_EQ(MapFunctionUseError(3126), 54);
  EXPECT_EQ(MapFunctionUseError(3125), -1);
}

TEST(CalcDefinition, NewFieldCommitsWithFormatAndText) {
  CalcModel t;
  const uint32_t before = t.Count();
  CalcDefRequest r;
  ASSERT_EQ(t.Define(r, "NET", "QTY * 2   ", nullptr), 0);
  EXPECT_EQ(r.status, kCalcStatusAccepted);
  EXPECT_TRUE(HasPendingCalcDefinition(t.pending));
  CommitCalcDefinition(&t.m, nullptr, &r, &t.pending);
  EXPECT_FALSE(HasPendingCalcDefinition(t.pending));
  ASSERT_NE(r.field, nullptr);
  EXPECT_EQ(t.Count(), before + 1);
  EXPECT_STREQ(r.field->name, "NET");
  EXPECT_EQ(Text(r.field->exprText), "QTY * 2");
  EXPECT_TRUE(r.field->flags & kFieldNumeric);
  EXPECT_TRUE(r.field->flags & kFieldCalculation);
  EXPECT_EQ(r.field->formatCode, 0x3005u);
  EXPECT_TRUE(r.field->totalFlags & kTotalHidden);
  for (FieldDef* g = t.m.fieldList; g; g = g->next) EXPECT_EQ(g->flags & 0x30, 0u) << g->name;
}

TEST(CalcDefinition, RefusalsAndCancelLeaveNoHalfMadeField) {
  CalcModel t;
  const uint32_t before = t.Count();
  CalcDefRequest r;
  // Compile error: the new field goes again.
  EXPECT_NE(t.Define(r, "BAD", "QTY +", nullptr), 0);
  EXPECT_EQ(t.Count(), before);
  EXPECT_FALSE(HasPendingCalcDefinition(t.pending));
  // Bad name.
  EXPECT_EQ(t.Define(r, "AND", "1", nullptr), kCalcBadName);
  EXPECT_EQ(r.status, kCalcStatusErrorPosition);
  EXPECT_EQ(t.Count(), before);
  // Text too long for the expression buffer.
  // Blanks inside the text count; trailing ones do not.
  std::string big = "QTY" + std::string(1030, ' ') + "+ 1";
  std::string fits = "QTY" + std::string(900, ' ') + "+ 1" + std::string(400, ' ');
  ASSERT_EQ(t.Define(r, "FITS", fits.c_str(), nullptr), 0);
  CancelCalcDefinition(&t.m, &r, &t.pending);
  EXPECT_NE(t.Define(r, "BIG", big.c_str(), nullptr), 0);
  EXPECT_EQ(t.Count(), before);
  // The compiler's slack counts against the buffer too.
  t.m.compileExtraLength1 = 200;
  EXPECT_EQ(t.Define(r, "BIG", fits.c_str(), nullptr), kCalcBufferOverflow);
  t.m.compileExtraLength1 = 0;
  EXPECT_EQ(t.Count(), before);
  // A caller that cancels a new field is left with the list as it was.
  ASSERT_EQ(t.Define(r, "NEWONE", "QTY + 1", nullptr), 0);
  EXPECT_EQ(t.Count(), before + 1);
  CancelCalcDefinition(&t.m, &r, &t.pending);
  EXPECT_EQ(t.Count(), before);
  EXPECT_FALSE(HasPendingCalcDefinition(t.pending));
}

TEST(CalcDefinition, ACheckWithADefinitionWaitingDropsThatOneFirst) {
  CalcModel t;
  const uint32_t before = t.Count();
  CalcDefRequest first, second;
  ASSERT_EQ(t.Define(first, "ONE", "QTY + 1", nullptr), 0);
  ASSERT_EQ(t.Define(second, "TWO", "QTY + 2", nullptr), 0);
  EXPECT_EQ(t.Count(), before + 1);  // ONE went again
  CancelCalcDefinition(&t.m, &second, &t.pending);
  EXPECT_EQ(t.Count(), before);
  EXPECT_FALSE(HasPendingCalcDefinition(t.pending));
}

TEST(CalcDefinition, ChangeCancelRestoresAndCommitRenamesUsers) {
  CalcModel t;
  FieldDef* net = t.NewCalc("NET", "QTY * 2");
  FieldDef* gross = t.NewCalc("GROSS", "NET + 1");
  ASSERT_NE(gross, nullptr);
  uint8_t* oldCode = net->code;
  CalcDefRequest r;
  ASSERT_EQ(t.Define(r, "NETTO", "QTY * 3", net), 0);
  EXPECT_STREQ(net->name, "NETTO");
  CancelCalcDefinition(&t.m, &r, &t.pending);
  EXPECT_STREQ(net->name, "NET");
  EXPECT_EQ(net->code, oldCode);
  EXPECT_EQ(Text(net->exprText), "QTY * 2");

  ASSERT_EQ(t.Define(r, "NETTO", "QTY * 3", net), 0);
  CommitCalcDefinition(&t.m, nullptr, &r, &t.pending);
  EXPECT_STREQ(net->name, "NETTO");
  EXPECT_EQ(Text(net->exprText), "QTY * 3");
  EXPECT_NE(Text(gross->exprText).find("NETTO"), std::string::npos) << gross->exprText;
}

TEST(CalcDefinition, TypeChangeCountsBrokenUsersAndCommitDropsTheirCode) {
  CalcModel t;
  FieldDef* net = t.NewCalc("NET", "QTY * 2");
  FieldDef* gross = t.NewCalc("GROSS", "NET + 1");
  t.NewCalc("HALF", "NET / 2");
  CalcDefRequest r;
  uint32_t count = 99;
  // Numeric to text: both users break.
  ASSERT_EQ(t.Define(r, nullptr, "CUST", net, &count), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_TRUE(gross->flags & kFieldRemovePropagated);
  CommitCalcDefinition(&t.m, nullptr, &r, &t.pending);
  EXPECT_EQ(net->flags & kFieldNumeric, 0u);
  EXPECT_EQ(gross->code, nullptr);
  EXPECT_EQ(gross->flags & 0x30, 0u);
}

TEST(CalcDefinition, CycleNamesTheCulprit) {
  CalcModel t;
  FieldDef* a = t.NewCalc("A", "QTY + 1");
  t.NewCalc("B", "A + 1");
  CalcDefRequest r;
  const uint8_t* oldCode = a->code;
  EXPECT_EQ(t.Define(r, nullptr, "B + 1", a), kCalcCircular);
  ASSERT_NE(r.culprit, nullptr);
  EXPECT_STREQ(r.culprit, "B");
  EXPECT_EQ(a->code, oldCode);
  EXPECT_FALSE(HasPendingCalcDefinition(t.pending));
}

TEST(CalcDefinition, ConditionsOfTotals) {
  CalcModel t;
  FieldDef* total = t.Add("SUMQ", kFieldNumeric);
  total->totalFlags = kTotalIsTotal;
  total->refField = t.Number(t.qty);
  CalcDefRequest r;
  r.kind = kCalcKindCondition;
  r.field = total;
  r.text = "QTY > 5";
  uint32_t count = 0;
  ASSERT_EQ(DefineCalcField(&t.m, &r, &count, &t.pending), 0);
  CommitCalcDefinition(&t.m, nullptr, &r, &t.pending);
  ASSERT_NE(total->conditionCode, nullptr);
  EXPECT_EQ(Text(total->conditionText), "QTY > 5");
  // A condition resting on a total is refused and the old one stays.
  FieldDef* share = t.NewCalc("SHARE", "QTY / SUMQ");
  ASSERT_NE(share, nullptr);
  r.text = "SHARE > 1";
  EXPECT_EQ(DefineCalcField(&t.m, &r, &count, &t.pending), kCalcConditionOnTotal);
  EXPECT_EQ(Text(total->conditionText), "QTY > 5");
  // An empty text removes the condition.
  r.text = "   ";
  ASSERT_EQ(DefineCalcField(&t.m, &r, &count, &t.pending), 0);
  CommitCalcDefinition(&t.m, nullptr, &r, &t.pending);
  EXPECT_EQ(total->conditionCode, nullptr);
  EXPECT_EQ(total->conditionText, nullptr);
}

TEST(CalcDefinition, TrialCompileChangesNothing) {
  CalcModel t;
  const uint32_t before = t.Count();
  CalcDefRequest r;
  r.kind = kCalcKindField;
  r.name = "TRY";
  r.text = "QTY * 4";
  EXPECT_EQ(TrialCompileCalcField(&t.m, &r), 0);
  r.text = "QTY *";
  EXPECT_NE(TrialCompileCalcField(&t.m, &r), 0);
  EXPECT_EQ(r.status, kCalcStatusErrorPosition);
  r.text = "1";
  r.name = "or";
  EXPECT_EQ(TrialCompileCalcField(&t.m, &r), kCalcBadName);
  EXPECT_EQ(t.Count(), before);
}

TEST(CalcDefinition, SameNamedFieldsOfANewTableKeepReferencesApart) {
  CalcModel t;
  FieldDef* label = t.NewCalc("LABEL", "CUST + 'x'");
  ASSERT_NE(label, nullptr);
  int other = t.AddTable("C2");
  t.Add("CUST", 0, static_cast<uint8_t>(other));
  RenameDuplicateFields(&t.m, other);
  EXPECT_EQ(Text(label->exprText), "ORD.CUST + 'x'");
}

// A removal, once committed, leaves one field fewer and no function.
static void CommitRemovalOfLastFunction(CalcModel& t, CalcDefRequest& del) {
  const uint32_t before = t.Count();
  CommitCalcDefinition(&t.m, nullptr, &del, &t.pending);
  EXPECT_EQ(t.Count(), before - 1);
  EXPECT_EQ(t.m.udfList, nullptr);
}

TEST(CalcDefinition, UserFunctionsDefinedChangedAndRemoved) {
  CalcModel t;
  InstallUdfHooks(&t.m);
  CalcDefRequest r;
  r.kind = 2;
  r.name = "TWICE(N_AMT)";
  r.text = "AMT * 2";
  uint32_t count = 9;
  ASSERT_EQ(DefineCalcField(&t.m, &r, &count, &t.pending), 0);
  EXPECT_EQ(count, 0u);
  CommitCalcDefinition(&t.m, nullptr, &r, &t.pending);
  ASSERT_NE(r.function, nullptr);
  UdfNode* twice = r.function;
  EXPECT_FALSE(HasPendingCalcDefinition(t.pending));

  // Heading errors come back as calculation codes.
  CalcDefRequest bad;
  bad.kind = 2;
  bad.name = "NOPAREN";
  bad.text = "1";
  EXPECT_EQ(DefineCalcField(&t.m, &bad, &count, &t.pending), 47);
  EXPECT_EQ(bad.status, kCalcStatusErrorPosition);

  FieldDef* user = t.NewCalc("DOUBLED", "TWICE(QTY)");
  ASSERT_NE(user, nullptr);
  // A change cancelled keeps the body.
  r.text = "AMT * 3";
  ASSERT_EQ(DefineCalcField(&t.m, &r, &count, &t.pending), 0);
  CancelCalcDefinition(&t.m, &r, &t.pending);
  EXPECT_EQ(std::string(twice->body).substr(0, 7), "AMT * 2");

  // Removing a function used by a linking field is refused and names it.
  CalcDefRequest del;
  del.kind = 2;
  del.status = 1;
  del.function = twice;
  user->flags |= kFieldJoin;
  EXPECT_EQ(DefineCalcField(&t.m, &del, &count, &t.pending), kCalcUdfUsedInLink);
  ASSERT_NE(del.culprit, nullptr);
  EXPECT_STREQ(del.culprit, "DOUBLED");
  user->flags &= ~kFieldJoin;
  del.status = 1;
  ASSERT_EQ(DefineCalcField(&t.m, &del, &count, &t.pending), 0);
  EXPECT_EQ(count, 1u);
  CommitRemovalOfLastFunction(t, del);
}

TEST(CalcDefinition, RemovingAFunctionTakesItsCallersThroughOtherFunctions) {
  CalcModel t;
  InstallUdfHooks(&t.m);
  auto define = [&](const char* heading, const char* body) -> UdfNode* {
    CalcDefRequest r;
    r.kind = 2;
    r.name = heading;
    r.text = body;
    uint32_t count = 0;
    if (DefineCalcField(&t.m, &r, &count, &t.pending) != 0) return nullptr;
    CommitCalcDefinition(&t.m, nullptr, &r, &t.pending);
    return r.function;
  };
  UdfNode* twice = define("TWICE(N_AMT)", "AMT * 2");
  ASSERT_NE(twice, nullptr);
  UdfNode* quad = define("QUAD(N_AMT)", "TWICE(TWICE(AMT))");
  ASSERT_NE(quad, nullptr);
  FieldDef* viaQuad = t.NewCalc("BIG", "QUAD(QTY) + 1");
  ASSERT_NE(viaQuad, nullptr);

  // A field that reaches the function only through another one links a table:
  // the removal is refused and names it. Once it does not, the removal waits.
  CalcDefRequest del;
  del.kind = 2;
  del.function = twice;
  uint32_t count = 0;
  for (const uint32_t join : {kFieldJoin, 0u}) {
    viaQuad->flags = (viaQuad->flags & ~kFieldJoin) | join;
    del.status = 1;
    const int rc = DefineCalcField(&t.m, &del, &count, &t.pending);
    EXPECT_EQ(rc, join ? kCalcUdfUsedInLink : 0);
    if (join) {
      EXPECT_STREQ(del.culprit, "BIG");
    }
  }
  EXPECT_EQ(count, 1u);
  // The function, the one calling it and the field calling that one are gone.
  CommitRemovalOfLastFunction(t, del);
}

TEST(CalcDefinition, ASortFieldCannotBecomeAPageNumber) {
  CalcModel t;
  FieldDef* key = t.NewCalc("KEY", "QTY + 1");
  ASSERT_NE(key, nullptr);
  t.m.sortFields[0] = t.m.GetFieldIndex(key);
  CalcDefRequest r;
  EXPECT_EQ(t.Define(r, nullptr, "PAGENO()", key), kCalcPageNumberSort);
  EXPECT_EQ(Text(key->exprText), "QTY + 1") << "the old definition stays";
  // Out of the sort it may.
  t.m.sortFields[0] = kNoField;
  CalcDefRequest again;
  EXPECT_EQ(t.Define(again, nullptr, "PAGENO()", key), 0);
  CancelCalcDefinition(&t.m, &again, &t.pending);
}
