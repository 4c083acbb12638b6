#include "foundation/text_helpers.h"
#include "model/total_description.h"
#include "core/composite.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

class TotalDescription : public ::testing::Test {
 protected:
  ~TotalDescription() override {
    while (m.fieldList) m.DeleteField(m.fieldList, 2);
    for (int i = 0; i < kMaxTables; ++i) m.FreeTableSlot(static_cast<uint32_t>(i));
  }
  FieldDef* Add(const char* name, uint32_t flags, uint8_t table = kTableNone) {
    FieldDef* f = m.AddField(flags | kFieldItem);
    std::snprintf(f->name, sizeof f->name, "%s", name);
    f->table = table;
    return f;
  }
  FieldDef* Total(FieldDef* of, uint8_t function, uint8_t reset, uint8_t level) {
    FieldDef* t = Add("total", kFieldNumeric);
    t->totalFlags = kTotalIsTotal;
    t->refField = m.GetFieldIndex(of);
    t->totalFunction = function;
    t->totalReset = reset;
    t->totalLevel = level;
    return t;
  }
  std::string Describe(const FieldDef* f, int qualify) {
    char buf[300];
    BuildTotalDescription(&m, f, buf, sizeof buf, qualify, [this](int level) -> const FieldDef* {
      return level == 1 ? region : nullptr;
    });
    return buf;
  }
  CKmComposite m{nullptr};
  FieldDef* region = nullptr;
};

TEST_F(TotalDescription, PartsInOrder) {
  const uint8_t orders = static_cast<uint8_t>(m.AddTableSlot("ORDERS", "O", 0, 0, nullptr));
  FieldDef* amount = Add("AMOUNT", kFieldNumeric, orders);
  region = Add("REGION", 0, orders);
  FieldDef* sum = Total(amount, 1, 255, 253);
  EXPECT_EQ(Describe(sum, 1), "Sum(AMOUNT, Grand, Every, Running)") << "one table: never qualified";

  m.AddTableSlot("ITEMS", "I", 1, 0, nullptr);
  EXPECT_EQ(Describe(sum, 1), "Sum(O.AMOUNT, Grand, Every, Running)");
  EXPECT_EQ(Describe(sum, 0), "Sum(AMOUNT, Grand, Every, Running)");

  FieldDef* avg = Total(sum, 2, 1, 0);
  avg->totalFlags |= kTotalPreprocessed;
  avg->conditionLength = 4;
  EXPECT_EQ(Describe(avg, 1), "Average(total(), O.REGION, Group 1, Pre-processed, Conditional)");

  FieldDef* count = Total(amount, 0, 254, 254);
  EXPECT_EQ(Describe(m.AddFieldAlias(count), 0), "Count(AMOUNT, Page, Page, Running)");
  count->totalLevel = 255;
  EXPECT_EQ(Describe(count, 0), "Count(AMOUNT, Page, Report, Running)");
}

TEST_F(TotalDescription, EmptyWhenNothingToDescribeAndCutToTheBuffer) {
  FieldDef* amount = Add("AMOUNT", kFieldNumeric);
  EXPECT_EQ(Describe(amount, 0), "") << "not a total";
  FieldDef* sum = Total(amount, 1, 255, 253);
  sum->refField = 999;
  EXPECT_EQ(Describe(sum, 0), "") << "the totalled field is gone";
  sum->refField = m.GetFieldIndex(amount);
  char small[8];
  BuildTotalDescription(&m, sum, small, sizeof small, 0, nullptr);
  EXPECT_STREQ(small, "Sum(AMO");
}

}  // namespace
