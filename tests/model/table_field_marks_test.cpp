// The link fields of the lookup tables are needed by every pass.
#include "model/table_field_marks.h"
#include "core/composite.h"
#include "core/fields.h"

#include <gtest/gtest.h>

TEST(TableFieldMarks, BothFieldsOfEveryLinkPairOfALookupAreNeeded) {
  CKmComposite m(nullptr);
  FieldDef* key = m.AddField(0);
  FieldDef* other = m.AddField(0);
  FieldDef* lookupKey = m.AddField(0);
  ASSERT_EQ(m.AddTableSlot("orders", "O", 0, 0, nullptr), 0u);
  const uint32_t lookup = m.AddTableSlot("customers", "C", 1, 0x10, nullptr);
  ASSERT_EQ(lookup, 1u);
  m.tableSlots[lookup]->link.pairs[0][0] = m.GetFieldIndex(key);
  m.tableSlots[lookup]->link.pairs[0][1] = m.GetFieldIndex(lookupKey);
  MarkTableFields(&m, false);
  EXPECT_EQ(key->flags & kFieldNeeded, 0u);
  MarkTableFields(&m, true);
  EXPECT_NE(key->flags & kFieldNeeded, 0u);
  EXPECT_NE(lookupKey->flags & kFieldNeeded, 0u);
  EXPECT_EQ(other->flags & kFieldNeeded, 0u);
  m.FreeTableSlot(lookup);
  m.FreeTableSlot(0);
  while (m.fieldList) m.DeleteField(m.fieldList, 2 | 4);
}
