#include "model/relation_wording.h"

#include "tests/expr/expr_model_fixture.h"

#include <gtest/gtest.h>

namespace {

struct Relations : ::testing::Test {
  TestModel t;
  int orders = 0, cust = 0;
  FieldDef* custnoMaster = nullptr;
  FieldDef* custno = nullptr;
  void SetUp() override {
    orders = t.AddTable("ORDERS");
    cust = t.AddTable("CUST");
    custnoMaster = t.Add("CUSTNO", kFieldNumeric, static_cast<uint8_t>(orders));
    custno = t.Add("CUSTNO", kFieldNumeric, static_cast<uint8_t>(cust));
    t.m.tableSlots[cust]->order = 1;
  }
  void Link(uint8_t bits, int pairs) {
    TableSlot* s = t.m.tableSlots[cust];
    s->relationBits = bits;
    for (int i = 0; i < pairs; ++i) {
      s->link.pairs[i][0] = t.Number(custnoMaster);
      s->link.pairs[i][1] = t.Number(custno);
    }
  }
};

}  // namespace

TEST_F(Relations, ExpressionForm) {
  std::string s;
  Link(0x10 | 0x40, 3);
  ASSERT_EQ(FormatRelationExpression(&t.m, 1, s), 0);
  EXPECT_EQ(s, "join(ORDERS.CUSTNO..., CUST.CUSTNO..., skip)");
  Link(0x10 | 0x02 | 0x20, 1);
  t.m.tableSlots[cust]->link.pairs[1][0] = kNoField;
  t.m.tableSlots[cust]->link.pairs[1][1] = kNoField;
  t.m.tableSlots[cust]->link.pairs[2][0] = kNoField;
  t.m.tableSlots[cust]->link.pairs[2][1] = kNoField;
  FormatRelationExpression(&t.m, 1, s);
  EXPECT_EQ(s, "approxlo(ORDERS.CUSTNO, CUST.CUSTNO, related-blank)");
  // A long name is cut to 10 characters; a calculated report side has no
  // table and, without SQL text, cannot be joined by the database.
  FieldDef* calc = t.AddCalc("CALCULATEDKEY", "1");
  t.m.tableSlots[cust]->link.pairs[0][0] = t.Number(calc);
  t.m.tableSlots[cust]->relationBits = 0x10 | 0x04 | 0x60;
  FormatRelationExpression(&t.m, 1, s);
  EXPECT_EQ(s, "? approxhi(CALCULATED, CUST.CUSTNO, initial-blank)");
  std::string sentence;
  DescribeRelation(&t.m, 1, sentence);
  EXPECT_NE(sentence.find("use the CALCULATEDKEY field to look up the matching or next CUST table"), std::string::npos);

  EXPECT_EQ(FormatRelationExpression(&t.m, 2, s), 1);
  EXPECT_EQ(FormatRelationExpression(&t.m, 0, s), 1);
  EXPECT_EQ(FindTableByAlias(&t.m, "cust"), 1);
  EXPECT_EQ(FindTableByAlias(&t.m, "NONE"), -1);
}

TEST_F(Relations, Sentences) {
  std::string s;
  ASSERT_EQ(DescribeRelation(&t.m, 1, s), 0);
  EXPECT_EQ(s, "For each ORDERS record, use every CUST record.  ");
  Link(0x10 | 0x40, 1);
  DescribeRelation(&t.m, 1, s);
  EXPECT_EQ(s,
            "For each ORDERS record, use the CUSTNO field to look up the matching CUST table record using its "
            "CUSTNO field. If no CUST record is found, skip the ORDERS table record. ");
  Link(0x10 | 0x02 | 0x20, 2);
  DescribeRelation(&t.m, 1, s);
  EXPECT_EQ(s,
            "For each ORDERS record, use the CUSTNO field and others to look up the matching CUST table record "
            "using its CUSTNO field and others. For each ORDERS record without a matching CUST record, use one "
            "blank CUST record.  ");
}

TEST_F(Relations, FieldUsingTable) {
  EXPECT_EQ(FindFieldUsingTable(&t.m, cust), nullptr);
  FieldDef* viaCalc = t.AddCalc("TWICE", "ORDERS.CUSTNO * 2");
  t.AddCalc("FROMCALC", "TWICE + 1");
  FieldDef* user = t.AddCalc("USER", "CUST.CUSTNO + 1");
  ASSERT_EQ(t.lastError, 0);
  EXPECT_EQ(FindFieldUsingTable(&t.m, cust), user);
  EXPECT_EQ(FindFieldUsingTable(&t.m, orders), viaCalc);
  user->flags |= kFieldRemoveMark;
  EXPECT_EQ(FindFieldUsingTable(&t.m, cust), nullptr);
}
