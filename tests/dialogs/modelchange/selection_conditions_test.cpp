#include "model/selection_conditions.h"

#include "tests/expr/expr_model_fixture.h"
#include "model/record_filter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct FilterModel : TestModel {
  int t1 = AddTable("ORD");
  int t2 = AddTable("CUST");
  FieldDef* a = Add("A", 0, static_cast<uint8_t>(t1));
  FieldDef* b = Add("B", kFieldNumeric, static_cast<uint8_t>(t1));
  FieldDef* c = Add("C", kFieldNumeric, static_cast<uint8_t>(t1));
  FieldDef* paid = Add("PAID", kFieldLogical, static_cast<uint8_t>(t1));
  FieldDef* name1 = Add("NAME", 0, static_cast<uint8_t>(t1));
  FieldDef* name2 = Add("NAME", 0, static_cast<uint8_t>(t2));
  FieldDef* page = Add("PG", kFieldNumeric | kFieldPageNumber);
  ~FilterModel() {
    if (m.conditionCode) HeapFreeBlock(m.conditionCode);
    m.conditionCode = nullptr;
  }
  SelectConditionRow Row(uint8_t joining, uint8_t open, FieldDef* f, uint8_t op, const char* values, uint8_t close) {
    SelectConditionRow r;
    r.joining = joining;
    r.open = open;
    r.field = Number(f);
    r.op = op;
    std::snprintf(r.values, sizeof r.values, "%s", values);
    r.close = close;
    return r;
  }
  int Check(SelectConditionRow r, int* pos = nullptr, SelectConditionRow* out = nullptr) {
    int code = 0, p = 0;
    ParseConditionValue(&m, &r, &code, &p);
    if (pos) *pos = p;
    if (out) *out = r;
    return code;
  }
};

}  // namespace

TEST(SelectionConditions, RowsRoundTripThroughConditionCode) {
  FilterModel t;
  // A = 'x' and (B > 5 or C = -2.5)
  std::vector<SelectConditionRow> rows = {t.Row(0, 0, t.a, kCondEqual, "'x'", 0),
                                          t.Row(1, 1, t.b, kCondGreater, "5", 0),
                                          t.Row(2, 0, t.c, kCondOneOf, "1,,-2.5", 1)};
  int code = -1, row = -1;
  ASSERT_EQ(ParseConditionList(&t.m, 3, rows.data(), &code, &row), 1) << code << " row " << row;
  uint32_t failure = 1;
  bool changed = false;
  ASSERT_EQ(ApplyConditionEdits(&t.m, 3, rows.data(), &failure, &changed), 1);
  EXPECT_TRUE(changed);
  EXPECT_EQ(t.m.conditionLength, ConditionCodeLength(&t.m, 3, rows.data()));
  EXPECT_EQ(CountSelectConditions(&t.m), 3);
  // The record filter can read what was written.
  const uint8_t* p = t.m.conditionCode;
  const uint8_t* end = p + t.m.conditionLength;
  while (p < end && *p) {
    size_t n = ConditionTokenSize(p, end);
    ASSERT_GT(n, 0u);
    p += n;
  }
  EXPECT_EQ(p + 1, end);

  std::vector<SelectConditionRow> back(3);
  ASSERT_EQ(FormatSelectCondition(&t.m, 3, back.data()), 1);
  EXPECT_EQ(back[0].joining, 0);
  EXPECT_STREQ(back[0].values, "'x'");
  EXPECT_EQ(back[1].joining, 1);
  EXPECT_EQ(back[1].open, 1);
  EXPECT_EQ(back[1].op, kCondGreater);
  EXPECT_STREQ(back[1].values, "5");
  EXPECT_EQ(back[2].joining, 2);
  EXPECT_STREQ(back[2].values, "1,,-2.5");
  EXPECT_EQ(back[2].close, 1);
  // Writing the same rows again changes nothing.
  ASSERT_EQ(ApplyConditionEdits(&t.m, 3, back.data(), &failure, &changed), 1);
  EXPECT_FALSE(changed);
  // No rows: the filter goes.
  ASSERT_EQ(ApplyConditionEdits(&t.m, 0, nullptr, &failure, &changed), 1);
  EXPECT_TRUE(changed);
  EXPECT_EQ(t.m.conditionCode, nullptr);
  EXPECT_EQ(CountSelectConditions(&t.m), 0);
}

TEST(SelectionConditions, ValueChecks) {
  FilterModel t;
  SelectConditionRow out;
  EXPECT_EQ(t.Check(t.Row(0, 0, t.b, kCondEqual, "", 0), nullptr, &out), 0);
  EXPECT_EQ(out.op, kCondIsNull);
  EXPECT_EQ(out.operand, kConditionEmptyBecameNull);
  EXPECT_EQ(t.Check(t.Row(0, 0, t.b, kCondNotEqual, "", 0), nullptr, &out), 0);
  EXPECT_EQ(out.op, kCondIsNotNull);
  EXPECT_EQ(t.Check(t.Row(0, 0, t.b, kCondGreater, "", 0)), kCondErrRangeEmpty);
  EXPECT_EQ(t.Check(t.Row(0, 0, t.b, kCondBetween, "10,5", 0)), kCondErrRangeOrder);
  EXPECT_EQ(t.Check(t.Row(0, 0, t.b, kCondBetween, "5", 0)), kCondErrRangeTwo);
  EXPECT_EQ(t.Check(t.Row(0, 0, t.b, kCondBetween, "5,", 0)), kCondErrRangeEmpty);
  EXPECT_EQ(t.Check(t.Row(0, 0, t.b, kCondOneOf, "1", 0)), kCondErrListTwo);
  EXPECT_EQ(t.Check(t.Row(0, 0, t.b, kCondOneOf, "1,,2", 0)), 0);
  EXPECT_EQ(t.Check(t.Row(0, 0, t.b, kCondEqual, "1,2", 0)), kCondErrSingle);
  int pos = 0;
  EXPECT_EQ(t.Check(t.Row(0, 0, t.b, kCondEqual, "  'x'", 0), &pos), kCondErrNumber);
  EXPECT_EQ(pos, 2);
  EXPECT_EQ(t.Check(t.Row(0, 0, t.a, kCondEqual, "5", 0)), kCondErrText);
  EXPECT_EQ(t.Check(t.Row(0, 0, t.a, kCondEqual, "'open", 0)), kCondErrUnterminated);
  EXPECT_EQ(t.Check(t.Row(0, 0, t.b, kCondEqual, "1e19", 0)), kCondErrInvalid);
  EXPECT_EQ(t.Check(t.Row(0, 0, t.b, kCondEqual, "1 2", 0)), kCondErrInvalid);
  EXPECT_EQ(t.Check(t.Row(0, 0, t.paid, kCondEqual, "true", 0)), 0);
  EXPECT_EQ(t.Check(t.Row(0, 0, t.b, kCondEqual, "FALSE", 0)), kCondErrLogical);
  // Field operands: same kind, qualified when the name is not unique, not in ranges.
  EXPECT_EQ(t.Check(t.Row(0, 0, t.b, kCondEqual, "C", 0), nullptr, &out), 0);
  EXPECT_EQ(out.operand, t.Number(t.c));
  EXPECT_EQ(t.Check(t.Row(0, 0, t.b, kCondEqual, "A", 0)), kCondErrTypes);
  EXPECT_EQ(t.Check(t.Row(0, 0, t.a, kCondEqual, "NAME", 0)), kCondErrQualify);
  EXPECT_EQ(t.Check(t.Row(0, 0, t.a, kCondEqual, "cust.NAME", 0), nullptr, &out), 0);
  EXPECT_EQ(out.operand, t.Number(t.name2));
  EXPECT_EQ(t.Check(t.Row(0, 0, t.b, kCondBetween, "C,5", 0)), kCondErrFieldInRange);
  EXPECT_EQ(t.Check(t.Row(0, 0, t.page, kCondEqual, "1", 0)), kCondErrPageNumber);
  SelectConditionRow missing;
  missing.op = kCondEqual;
  EXPECT_EQ(t.Check(missing), kCondErrFieldMissing);
}

TEST(SelectionConditions, BracketsQuotesAndDamagedCode) {
  FilterModel t;
  std::vector<SelectConditionRow> rows = {t.Row(0, 2, t.b, kCondEqual, "1", 0), t.Row(1, 0, t.c, kCondEqual, "2", 1)};
  int code = 0, row = -1;
  EXPECT_EQ(ParseConditionList(&t.m, 2, rows.data(), &code, &row), 0);
  EXPECT_EQ(code, kCondErrBrackets);
  EXPECT_EQ(row, 0);

  // A text holding both quote characters is shown in brackets.
  std::vector<SelectConditionRow> q = {t.Row(0, 0, t.a, kCondEqual, "[it's \"x\"]", 0)};
  uint32_t failure = 0;
  bool changed = false;
  ASSERT_EQ(ApplyConditionEdits(&t.m, 1, q.data(), &failure, &changed), 1);
  EXPECT_EQ(ChooseQuoteChar(&t.m), '[');
  SelectConditionRow back;
  ASSERT_EQ(FormatSelectCondition(&t.m, 1, &back), 1);
  EXPECT_STREQ(back.values, "[it's \"x\"]");

  // A condition without its field reference, or cut short, is refused.
  uint8_t damaged[] = {kCondNumber, 0, 0, 0, 0, 0, 0, 0, 0, kCondEndMark, 0};
  HeapFreeBlock(t.m.conditionCode);
  t.m.conditionCode = static_cast<uint8_t*>(HeapAllocZero(0, sizeof damaged));
  std::memcpy(t.m.conditionCode, damaged, sizeof damaged);
  t.m.conditionLength = sizeof damaged;
  EXPECT_EQ(FormatSelectCondition(&t.m, 1, &back), 0);
  uint8_t cut[] = {kCondField, 1, 0, 0, 0, kCondEqual, kCondNumber, 0, 0};
  HeapFreeBlock(t.m.conditionCode);
  t.m.conditionCode = static_cast<uint8_t*>(HeapAllocZero(0, sizeof cut));
  std::memcpy(t.m.conditionCode, cut, sizeof cut);
  t.m.conditionLength = sizeof cut;
  EXPECT_EQ(FormatSelectCondition(&t.m, 1, &back), 0);
  EXPECT_EQ(FormatSelectCondition(&t.m, 5, &back), 0);
}
