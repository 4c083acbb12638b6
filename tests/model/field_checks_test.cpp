#include "model/field_checks.h"
#include "core/composite.h"

#include <gtest/gtest.h>

TEST(FieldChecks, SortGroupAndPlainNumberRules) {
  FieldDef data;
  data.flags = kFieldNumeric;
  EXPECT_TRUE(IsPlainTextObject(&data));
  EXPECT_TRUE(IsSortableField(&data));
  EXPECT_TRUE(IsGroupableField(&data));
  FieldDef page;
  page.flags = kFieldNumeric | kFieldPageNumber;
  EXPECT_FALSE(IsPlainTextObject(&page));
  EXPECT_FALSE(IsSortableField(&page));
  FieldDef memo;
  memo.flags = kFieldMemo;
  EXPECT_FALSE(IsPlainTextObject(&memo));
  EXPECT_FALSE(IsSortableField(&memo));
  EXPECT_FALSE(IsGroupableField(&memo));
  // Record numbers (0x400) may be grouped on but not sorted on.
  FieldDef recno;
  recno.flags = kFieldRecordNumber;
  EXPECT_FALSE(IsSortableField(&recno));
  EXPECT_TRUE(IsGroupableField(&recno));
  FieldDef total;
  total.flags = kFieldNumeric;
  total.totalFlags = kTotalIsTotal;
  EXPECT_FALSE(IsPlainTextObject(&total));
  EXPECT_FALSE(IsSortableField(&total));
  EXPECT_FALSE(IsGroupableField(&total));
  total.totalFlags |= kTotalPreprocessed;
  EXPECT_TRUE(IsSortableField(&total));
  EXPECT_TRUE(IsGroupableField(&total));
  total.flags2 = 2;
  EXPECT_FALSE(IsSortableField(&total));
  EXPECT_TRUE(IsGroupableField(&total));
  total.flags2 = kField2NotInTable;
  EXPECT_FALSE(IsGroupableField(&total));
  EXPECT_FALSE(IsSortableField(nullptr));
}

TEST(FieldChecks, BandValidityAndSlotTables) {
  CKmComposite model(nullptr);
  FieldDef* amount = model.AddField(kFieldNumeric);                // 0
  FieldDef* pageTotal = model.AddField(kFieldNumeric);             // 1
  pageTotal->totalFlags = kTotalIsTotal;
  pageTotal->totalReset = 254;
  FieldDef* related = model.AddField(kFieldNumeric | kFieldTotalRelated);  // 2
  related->refField = 1;
  FieldDef* alias = model.AddField(kFieldNumeric | kFieldAlias);   // 3
  alias->refField = 0;
  EXPECT_TRUE(IsBandFieldValid(model, amount));
  EXPECT_FALSE(IsBandFieldValid(model, pageTotal));
  EXPECT_FALSE(IsBandFieldValid(model, related));
  EXPECT_FALSE(IsBandFieldValid(model, alias));
  pageTotal->totalReset = 255;
  EXPECT_TRUE(IsBandFieldValid(model, pageTotal));
  EXPECT_TRUE(IsBandFieldValid(model, related));

  const int32_t sortOk[8] = {0, -1, 2, 2, 2, 2, 2, 2};  // -1 ends the list
  const int32_t groupOk[8] = {0, -1, -1, -1, -1, -1, -1, -1};
  EXPECT_EQ(ValidateSlotTables(model, sortOk, groupOk), 1);
  const int32_t sortTotal[8] = {0, 1, -1, -1, -1, -1, -1, -1};
  EXPECT_EQ(ValidateSlotTables(model, sortTotal, groupOk), 0);
  const int32_t groupGone[8] = {9, -1, -1, -1, -1, -1, -1, -1};
  EXPECT_EQ(ValidateSlotTables(model, sortOk, groupGone), 0);
}
