#include "model/condition_dates.h"

#include "tests/expr/expr_model_fixture.h"
#include "expr/compiler_state.h"
#include "model/record_filter.h"
#include "model/selection_conditions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct DateModel : TestModel {
  FieldDef* due = Add("DUE", kFieldDate);
  FieldDef* stamp = Add("STAMP", kFieldDateTime);
  FieldDef* at = Add("AT", kFieldTime);
  FieldDef* qty = Add("QTY", kFieldNumeric);
  ~DateModel() {
    if (m.conditionCode) HeapFreeBlock(m.conditionCode);
    m.conditionCode = nullptr;
  }
  SelectConditionRow Row(FieldDef* f, uint8_t op, const char* values) {
    SelectConditionRow r;
    r.field = Number(f);
    r.op = op;
    std::snprintf(r.values, sizeof r.values, "%s", values);
    return r;
  }
  int Check(SelectConditionRow r) {
    int code = 0, pos = 0;
    ParseConditionValue(&m, &r, &code, &pos);
    return code;
  }
  // Writes the rows as condition code and reads them back as text.
  std::vector<std::string> RoundTrip(std::vector<SelectConditionRow> rows) {
    for (size_t i = 1; i < rows.size(); ++i) rows[i].joining = 1;
    int code = 0, row = 0;
    EXPECT_EQ(ParseConditionList(&m, static_cast<int>(rows.size()), rows.data(), &code, &row), 1) << code;
    uint32_t failure = 0;
    bool changed = false;
    EXPECT_EQ(ApplyConditionEdits(&m, static_cast<int>(rows.size()), rows.data(), &failure, &changed), 1);
    EXPECT_EQ(m.conditionLength, ConditionCodeLength(&m, static_cast<int>(rows.size()), rows.data()));
    std::vector<SelectConditionRow> back(rows.size());
    EXPECT_EQ(FormatSelectCondition(&m, static_cast<int>(back.size()), back.data()), 1);
    std::vector<std::string> out;
    for (auto& b : back) out.push_back(b.values);
    return out;
  }
};

}  // namespace

TEST(ConditionDates, DatesPatternsAndTimesRoundTrip) {
  DateModel t;
  const std::vector<std::string> first =
      t.RoundTrip({t.Row(t.due, kCondEqual, "{12/31/1999}"), t.Row(t.due, kCondBetween, "{1/5/2000},{02/01/2000}"),
                   t.Row(t.due, kCondEqual, "{12/*/1999}"), t.Row(t.stamp, kCondGreater, "{3/4/2001 13:05:09}"),
                   t.Row(t.stamp, kCondLess, "{3/4/2001}"), t.Row(t.at, kCondEqual, "{7:30:00}")});
  ASSERT_EQ(first.size(), 6u);
  EXPECT_EQ(first[0], "{12/31/1999}");
  EXPECT_EQ(first[1], "{01/05/2000},{02/01/2000}");
  EXPECT_NE(first[2].find('*'), std::string::npos) << first[2];
  EXPECT_NE(first[3].find("2001"), std::string::npos) << first[3];
  EXPECT_EQ(first[4], "{03/04/2001}");
  EXPECT_NE(first[5], "{}");
  // The text written back reads as the same code.
  const std::vector<uint8_t> code(t.m.conditionCode, t.m.conditionCode + t.m.conditionLength);
  std::vector<SelectConditionRow> again = {t.Row(t.due, kCondEqual, first[0].c_str()),
                                           t.Row(t.due, kCondBetween, first[1].c_str()),
                                           t.Row(t.due, kCondEqual, first[2].c_str()),
                                           t.Row(t.stamp, kCondGreater, first[3].c_str()),
                                           t.Row(t.stamp, kCondLess, first[4].c_str()),
                                           t.Row(t.at, kCondEqual, first[5].c_str())};
  EXPECT_EQ(t.RoundTrip(again), first);
  EXPECT_EQ(std::vector<uint8_t>(t.m.conditionCode, t.m.conditionCode + t.m.conditionLength), code);
}

TEST(ConditionDates, ChecksAgainstTheField) {
  DateModel t;
  EXPECT_EQ(t.Check(t.Row(t.due, kCondEqual, "{2/30/2001}")), kCondErrBadDate);
  EXPECT_EQ(t.Check(t.Row(t.due, kCondEqual, "{12/31/1999")), kCondErrInvalid);
  EXPECT_EQ(t.Check(t.Row(t.qty, kCondEqual, "{12/31/1999}")), kCondErrNumber);
  EXPECT_EQ(t.Check(t.Row(t.due, kCondEqual, "{7:30}")), kCondErrDate);
  EXPECT_EQ(t.Check(t.Row(t.at, kCondEqual, "{12/31/1999}")), kCondErrTime);
  EXPECT_EQ(t.Check(t.Row(t.due, kCondEqual, "{3/4/2001 13:05}")), kCondErrDate);
  EXPECT_EQ(t.Check(t.Row(t.stamp, kCondEqual, "{12/*/1999}")), kCondErrDateTime);
  EXPECT_EQ(t.Check(t.Row(t.due, kCondBetween, "{2/1/2000},{1/5/2000}")), kCondErrRangeOrder);
  EXPECT_EQ(t.Check(t.Row(t.at, kCondBetween, "{9:00},{8:00}")), kCondErrRangeOrder);
  EXPECT_EQ(t.Check(t.Row(t.due, kCondOneOf, "{1/5/2000},{2/1/2000}")), 0);
  // Blank braces are an empty value: equal becomes "is null".
  SelectConditionRow r = t.Row(t.due, kCondEqual, "{ }");
  int code = 0, pos = 0;
  EXPECT_EQ(ParseConditionValue(&t.m, &r, &code, &pos), 1);
  EXPECT_EQ(r.op, kCondIsNull);
}

TEST(ConditionDates, StoredTokensAreReadWithinTheirBounds) {
  DateModel t;
  const uint8_t shortDate[] = {kCondDate, 1, 2};
  EXPECT_EQ(FormatConditionDate(&t.m, shortDate, sizeof shortDate), "{}");
  const uint8_t empty[] = {kCondDate, 0x01, 0x00, 0x00, 0x80};
  EXPECT_EQ(FormatConditionDate(&t.m, empty, sizeof empty), "{}");
  const uint8_t invalid[] = {kCondDate, 0xFF, 0xFF, 0xFF, 0x7F};
  EXPECT_EQ(FormatConditionDate(&t.m, invalid, sizeof invalid), "{}");
  uint8_t badTime[9] = {kCondTime};
  const double huge = 1e300;
  std::memcpy(badTime + 1, &huge, 8);
  EXPECT_EQ(FormatConditionDate(&t.m, badTime, sizeof badTime), "{}");
  EXPECT_EQ(FormatConditionDate(&t.m, nullptr, 0), "{}");
}
