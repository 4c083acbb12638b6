#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "expr/calendar.h"
#include "model/record_filter.h"
#include "condition_writer.h"
#include "pass_fixture.h"

namespace {


class FilterTest : public PassTest {
 protected:
  FilterTest() {
    a = Data("A", kFieldNumeric);
    r = Data("REGION", 0, 10);
    d = Data("DAY", kFieldDate);
    EXPECT_EQ(OpenScan(&model), 0);
  }
  ~FilterTest() override {
    FreeFilterCode(&model);
    std::free(model.conditionCode);
    model.conditionCode = nullptr;
  }
  int Rebuild(const Cond& c) {
    std::free(model.conditionCode);
    model.conditionCode = static_cast<uint8_t*>(std::malloc(c.b.size()));
    std::memcpy(model.conditionCode, c.b.data(), c.b.size());
    model.conditionLength = static_cast<uint16_t>(c.b.size());
    return RebuildConditionCode(&model);
  }
  bool Passes(std::vector<Cell> row) {
    rows.rows = {row};
    rows.current = 0;
    rows.ConvertFetchedRow(&model);
    return FilterRejects(&model, model.compiledFilter.get(), 0) == 0;
  }
  const uint8_t* Code() const { return model.compiledFilter.get(); }
  FieldDef *a, *r, *d;
};

TEST_F(FilterTest, AndBindsTighterAndJoinsIntoOneNode) {
  // A = 1 or A = 2 and REGION = 'x'
  Cond c;
  c.Field(0).Op(kCondEqual).Number(1).EndMark().Op(kCondOr).Field(0).Op(kCondEqual).Number(2).EndMark();
  c.Op(kCondAnd).Field(1).Op(kCondEqual).Text("x").EndMark().Op(0);
  ASSERT_EQ(Rebuild(c), 0);
  EXPECT_EQ(Code()[0], kCondOr);
  EXPECT_EQ(Code()[2], kCondEqual);      // first child: the lone condition
  EXPECT_EQ(Code()[2 + 15], kCondAnd);   // second child: the "and" of the others
  EXPECT_TRUE(Passes({Num(1), Txt("y"), Day(0)}));
  EXPECT_FALSE(Passes({Num(2), Txt("y"), Day(0)}));
  EXPECT_TRUE(Passes({Num(2), Txt("x"), Day(0)}));

  // Three conditions joined by "and" make one node with three children.
  Cond t;
  t.Field(0).Op(kCondGreater).Number(0).EndMark().Op(kCondAnd).Field(0).Op(kCondLess).Number(9).EndMark();
  t.Op(kCondAnd).Field(1).Op(kCondNotEqual).Text("z").EndMark().Op(0);
  ASSERT_EQ(Rebuild(t), 0);
  EXPECT_EQ(Code()[0], kCondAnd);
  EXPECT_EQ(Code()[1], 15 + 15 + 9);
  EXPECT_TRUE(Passes({Num(5), Txt("x"), Day(0)}));
  EXPECT_FALSE(Passes({Num(5), Txt("z"), Day(0)}));

  // Brackets override: (A = 1 or A = 2) and REGION = 'x'
  Cond b;
  b.Op(kCondOpen).Field(0).Op(kCondEqual).Number(1).EndMark().Op(kCondOr).Field(0).Op(kCondEqual).Number(2);
  b.EndMark().Op(kCondClose).Op(kCondAnd).Field(1).Op(kCondEqual).Text("x").EndMark().Op(0);
  ASSERT_EQ(Rebuild(b), 0);
  EXPECT_FALSE(Passes({Num(1), Txt("y"), Day(0)}));
  EXPECT_TRUE(Passes({Num(1), Txt("x"), Day(0)}));
}

TEST_F(FilterTest, LongChildrenTakeATwoByteLength) {
  Cond c;
  for (int i = 0; i < 10; ++i) {  // 10 conditions of 20 bytes: 200 bytes
    if (i) c.Op(kCondAnd);
    c.Field(1).Op(kCondNotEqual).Text("abcdefghijkl").EndMark();
  }
  c.Op(0);
  ASSERT_EQ(Rebuild(c), 0);
  EXPECT_EQ(Code()[0], kCondAnd);
  EXPECT_EQ(Code()[1], 0x80);
  EXPECT_EQ(Code()[2], 0xC8);
  EXPECT_TRUE(Passes({Num(0), Txt("x"), Day(0)}));
}

TEST_F(FilterTest, BadOrTooComplexCodeIsRefused) {
  Cond close;
  close.Op(kCondClose).Field(0).Op(kCondEqual).Number(1).Op(0);
  EXPECT_EQ(Rebuild(close), 2);
  EXPECT_EQ(model.compiledFilter, nullptr);
  Cond badByte;
  badByte.Field(0).Op(77).Op(0);
  EXPECT_EQ(Rebuild(badByte), 2);
  Cond cut;  // a text literal without its end, a field number cut short
  cut.Field(1).Op(kCondEqual).b.push_back(kCondText);
  cut.b.push_back('a');
  EXPECT_EQ(Rebuild(cut), 2);
  Cond shortField;
  shortField.b = {kCondField, 1, 0};
  EXPECT_EQ(Rebuild(shortField), 2);
  Cond missing;  // an operator without its field
  missing.Op(kCondEqual).Number(1).Op(0);
  EXPECT_EQ(Rebuild(missing), 2);
  Cond deep;
  for (int i = 0; i < 40; ++i) deep.Op(kCondOpen);
  deep.Field(0).Op(kCondEqual).Number(1);
  for (int i = 0; i < 40; ++i) deep.Op(kCondClose);
  deep.Op(0);
  EXPECT_EQ(Rebuild(deep), 3);
  Cond many;
  for (int i = 0; i < 40; ++i) {
    if (i) many.Op(kCondOr);
    many.Field(0).Op(kCondEqual).Number(i).EndMark();
  }
  many.Op(0);
  EXPECT_EQ(Rebuild(many), 3);  // more than 100 nodes
  Cond empty;
  empty.Op(0);
  ASSERT_EQ(Rebuild(empty), 0);
  EXPECT_TRUE(Passes({Null(), Null(), Null()}));
}

TEST_F(FilterTest, NullsSatisfyNoComparison) {
  auto check = [&](Cond c, bool onNull) {
    c.Op(0);
    ASSERT_EQ(Rebuild(c), 0);
    EXPECT_EQ(Passes({Null(), Txt("x"), Day(0)}), onNull);
  };
  check(Cond().Field(0).Op(kCondBetween).Number(-5).Number(5).EndMark(), false);
  check(Cond().Field(0).Op(kCondNotBetween).Number(1).Number(5).EndMark(), false);
  check(Cond().Field(0).Op(kCondNotEqual).Number(3).EndMark(), false);
  check(Cond().Field(0).Op(kCondOneOf).Number(0).Number(1).EndMark(), false);
  check(Cond().Field(0).Op(kCondNoneOf).Number(7).EndMark(), false);
  check(Cond().Field(0).Op(kCondLessEqual).Number(0).EndMark(), false);
  check(Cond().Field(0).Op(kCondIsNull).Logical(0).EndMark(), true);
  check(Cond().Field(0).Op(kCondIsNotNull).Logical(0).EndMark(), false);
  // A null operand field as well.
  check(Cond().Field(1).Op(kCondNotEqual).Field(0).EndMark(), false);
  // Not null: between works as usual.
  Cond c;
  c.Field(0).Op(kCondBetween).Number(-5).Number(5).EndMark().Op(0);
  ASSERT_EQ(Rebuild(c), 0);
  EXPECT_TRUE(Passes({Num(0), Txt("x"), Day(0)}));
  EXPECT_FALSE(Passes({Num(6), Txt("x"), Day(0)}));
}

TEST_F(FilterTest, NumbersWithinTheTolerance) {
  const double sum = 0.1 + 0.2;
  EXPECT_EQ(CompareNumbers(&model, sum, 0.3), 0);
  EXPECT_EQ(CompareNumbers(&model, 1.0, 1.0 + 1e-11), -1);
  model.floatTolerance = -10;
  model.toleranceRatio = 1e-10;
  EXPECT_EQ(CompareNumbers(&model, 1.0, 1.0 + 1e-11), 0);
  model.floatTolerance = 3;
  // Opposite signs and extremes: no overflow, plain order.
  EXPECT_EQ(CompareNumbers(&model, -1e308, 1e308), -1);
  EXPECT_EQ(CompareNumbers(&model, 5e-324, -5e-324), 1);
  model.exactNumbers = 1;
  EXPECT_NE(CompareNumbers(&model, sum, 0.3), 0);
}

TEST_F(FilterTest, DatePatternsAndLike) {
  SetFilterToday(2024, 5, 17);
  DateParts p{2024, 3, 9};
  DayNumber march9 = 0;
  ASSERT_EQ(YMDToJulian(p, march9), 0);
  // Any day of March 2024: year 2024 - 1600 = 424 (below 1600 gets 1600 added).
  const uint32_t anyDayOfMarch = 0x80000000u | (424u << 16) | (3u << 8) | 254u;
  EXPECT_EQ(CompareDateToPattern(static_cast<uint32_t>(march9), anyDayOfMarch), 0);
  EXPECT_EQ(CompareDateToPattern(static_cast<uint32_t>(march9) + 30, anyDayOfMarch), 1);
  const uint32_t thisYearMarch9 = 0x80000000u | (32767u << 16) | (3u << 8) | 9u;
  EXPECT_EQ(CompareDateToPattern(static_cast<uint32_t>(march9), thisYearMarch9), 0);
  Cond c;
  c.Field(2).Op(kCondEqual).Date(anyDayOfMarch).EndMark().Op(0);
  ASSERT_EQ(Rebuild(c), 0);
  EXPECT_TRUE(Passes({Num(0), Txt("x"), Day(static_cast<uint32_t>(march9))}));
  EXPECT_FALSE(Passes({Num(0), Txt("x"), Day(static_cast<uint32_t>(march9) - 10)}));
  SetFilterToday(0, 0, 0);

  Cond like;
  like.Field(1).Op(kCondLike).Text("W%t").EndMark().Op(0);
  ASSERT_EQ(Rebuild(like), 0);
  EXPECT_TRUE(Passes({Num(0), Txt("West\xB7 "), Day(0)}));  // pads and trailing blanks go
  EXPECT_FALSE(Passes({Num(0), Txt("East"), Day(0)}));
}

TEST_F(FilterTest, WalkersRenumberFieldReferences) {
  Cond c;
  c.Field(0).Op(kCondEqual).Field(2).EndMark().Op(kCondAnd).Field(1).Op(kCondEqual).Text("\x20\x02").Op(0);
  std::vector<uint8_t> code = c.b;
  EXPECT_EQ(ConditionReferencesField(code.data(), code.size(), 2), 1);
  EXPECT_EQ(ConditionRenumberAfterFieldDelete(code.data(), code.size(), 1), 1);
  EXPECT_EQ(ConditionReferencesField(code.data(), code.size(), 2), 0);  // 2 became 1
  EXPECT_EQ(ConditionReferencesField(code.data(), code.size(), 1), 1);
  EXPECT_EQ(ConditionReferencesField(code.data(), code.size(), 0xFFFFFFFFu), 1);  // the deleted one
  ConditionReplaceFieldReference(code.data(), code.size(), 0, 5);
  EXPECT_EQ(ConditionReferencesField(code.data(), code.size(), 5), 1);
  // The text literal that looks like a field token is passed over.
  EXPECT_EQ(std::memcmp(code.data() + code.size() - 4, "\x20\x02\0\0", 4), 0);
}

}  // namespace
