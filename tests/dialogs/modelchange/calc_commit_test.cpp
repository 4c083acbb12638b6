#include "model/calc_fields.h"

#include "tests/expr/expr_model_fixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {


struct CommitModel : TestModel {
  int ord = AddTable("ORD");
  FieldDef* qty = Add("QTY", kFieldNumeric, static_cast<uint8_t>(ord));
  FieldDef* cust = Add("CUST", 0, static_cast<uint8_t>(ord));
  CommitModel() {
    SetDeclaredLength(cust, 10);
    cust->displayWidth = 10;
  }
  FieldDef* Define(const char* name, const char* text, FieldDef* field) {
    CalcDefRequest r;
    r.kind = kCalcKindField;
    r.name = name;
    r.text = text;
    r.field = field;
    uint32_t count = 0;
    PendingCalcDefinition pending;
    if (DefineCalcField(&m, &r, &count, &pending) != 0) return nullptr;
    CommitCalcDefinition(&m, nullptr, &r, &pending);
    return r.field;
  }
};

}  // namespace

TEST(CalcCommit, ChangedTextFieldRemeasuresItsUsersAndKeepsItsOwnDisplay) {
  CommitModel t;
  FieldDef* label = t.Define("LABEL", "CUST + 'x'", nullptr);
  ASSERT_NE(label, nullptr);
  FieldDef* user = t.Define("USER", "LABEL + 'y'", nullptr);
  ASSERT_NE(user, nullptr);
  const uint32_t before = user->displayWidth;
  label->displayWidth = 5;  // set by the user in the layout
  ASSERT_EQ(t.Define(nullptr, "CUST + 'xxxxxxxxxx'", label), label);
  EXPECT_GT(user->displayWidth, before);
  EXPECT_EQ(label->displayWidth, 5u);
  for (FieldDef* f = t.m.fieldList; f; f = f->next) EXPECT_EQ(f->flags & 0x30, 0u) << f->name;
}

TEST(CalcCommit, ChangeReachingAPreprocessedTotalIsNoted) {
  CommitModel t;
  FieldDef* net = t.Define("NET", "QTY * 2", nullptr);
  ASSERT_NE(net, nullptr);
  FieldDef* total = t.Add("PRE", kFieldNumeric | kFieldTotalRelated);
  total->totalFlags = kTotalIsTotal | kTotalPreprocessed;
  total->refField = t.Number(net);
  total->totalReset = 255;
  total->totalLevel = 253;
  net->flags |= kFieldNeeded;
  t.m.preprocessedTotalDeleted = 0;
  ASSERT_EQ(t.Define(nullptr, "QTY * 3", net), net);
  EXPECT_EQ(t.m.preprocessedTotalDeleted, 1);
  // A new field touches nothing that exists.
  t.m.preprocessedTotalDeleted = 0;
  ASSERT_NE(t.Define("OTHER", "QTY + 1", nullptr), nullptr);
  EXPECT_EQ(t.m.preprocessedTotalDeleted, 0);
}

// A sort key that would become a page number is refused, and the field keeps
// its definition; the same text is taken once the field sorts nothing.
TEST(CalcCommit, ASortKeyCannotBecomeAPageNumber) {
  CommitModel t;
  FieldDef* net = t.Define("NET", "QTY * 2", nullptr);
  ASSERT_NE(net, nullptr);
  t.m.sortFields[0] = t.Number(net);
  CalcDefRequest r;
  r.kind = kCalcKindField;
  r.text = "PAGENO()";
  r.field = net;
  uint32_t count = 0;
  PendingCalcDefinition pending;
  EXPECT_EQ(DefineCalcField(&t.m, &r, &count, &pending), kCalcPageNumberSort);
  EXPECT_EQ(net->flags & kFieldPageNumber, 0u);
  t.m.sortFields[0] = kNoField;
  EXPECT_EQ(t.Define(nullptr, "PAGENO()", net), net);
  EXPECT_NE(net->flags & kFieldPageNumber, 0u);
}
