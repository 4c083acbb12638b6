#include "model/field_checks.h"
#include "core/composite.h"

#include <gtest/gtest.h>

#include <algorithm>

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

  const uint32_t sortOk[8] = {0, kNoField, 2, 2, 2, 2, 2, 2};  // an empty slot ends the list
  std::copy(sortOk, sortOk + 8, model.sortFields);
  model.groupFields[0] = 0;
  EXPECT_EQ(ValidateSlotTables(model), 1);
  EXPECT_TRUE(IsSortSlotField(model, 0));
  EXPECT_FALSE(IsSortSlotField(model, 2));
  model.sortFields[1] = 1;  // a page total
  EXPECT_EQ(ValidateSlotTables(model), 0);
  model.sortFields[1] = kNoField;
  model.groupFields[0] = 9;  // a field that has gone
  EXPECT_EQ(ValidateSlotTables(model), 0);
}
