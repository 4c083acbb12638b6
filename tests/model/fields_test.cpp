#include <gtest/gtest.h>
#include "model/field_compile.h"
#include "expr/value_eval.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/compiled_code.h"
#include "core/condition_code.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "core/engine_errors.h"

namespace {

class ModelTest : public ::testing::Test {
 protected:
  ModelTest() : model(nullptr) {}
  ~ModelTest() override {
    while (model.fieldList != nullptr) model.DeleteField(model.fieldList, 2 | 4);
    for (uint32_t s = 0; s < 100; ++s) model.FreeTableSlot(s);
  }
  FieldDef* Field(const char* name, uint32_t flags = 0, uint8_t table = 255) {
    FieldDef* f = model.AddField(flags);
    std::snprintf(f->name, sizeof f->name, "%s", name);
    f->table = table;
    return f;
  }
  // Code referring to the given field numbers, on the heap as the model keeps it.
  uint8_t* CodeFor(std::vector<uint32_t> fields, uint32_t* length) {
    CodeWriter w;
    for (uint32_t n : fields) w.Field(n);
    for (size_t i = 1; i < fields.size(); ++i) w.Op(OP_ADD);
    w.End();
    uint8_t* code = static_cast<uint8_t*>(HeapAllocZero(0, static_cast<DWORD>(w.size())));
    std::memcpy(code, w.data(), w.size());
    *length = static_cast<uint32_t>(w.size());
    return code;
  }
  std::vector<uint32_t> FieldsIn(const FieldDef* f) {
    std::vector<uint32_t> out;
    CodeReader r(f->code, f->codeLength);
    Instruction in;
    while (r.Next(&in))
      if (in.op == OP_FIELD) out.push_back(in.u32);
    return out;
  }
  CKmComposite model;
};

TEST_F(ModelTest, FieldNumbersArePositions) {
  FieldDef* a = Field("A");
  FieldDef* b = Field("B");
  FieldDef* c = Field("C");
  EXPECT_EQ(a->head.flags, 0x80u);
  EXPECT_EQ(model.fieldCount, 3u);
  EXPECT_EQ(model.GetFieldAt(2), c);
  EXPECT_EQ(model.GetFieldAt(3), nullptr);
  EXPECT_EQ(model.GetFieldIndex(b), 1u);
  EXPECT_EQ(model.GetFieldIndex(nullptr), kNoField);
  FieldDef stranger;
  EXPECT_EQ(model.GetFieldIndex(&stranger), kNoField);
  EXPECT_FALSE(model.DeleteField(&stranger, 0));  // nothing removed
  EXPECT_EQ(model.fieldCount, 3u);

  ASSERT_TRUE(model.BuildFieldIndex());
  EXPECT_EQ(model.GetFieldAt(1), b);
  model.DeleteField(a, 0);  // the head moves
  EXPECT_EQ(model.fieldList, b);
  EXPECT_EQ(model.GetFieldAt(0), b);  // the stale index was dropped
  model.DeleteField(c, 0);  // the last one: its predecessor ends the list
  EXPECT_EQ(b->next, nullptr);
  EXPECT_EQ(model.fieldCount, 1u);
}

TEST_F(ModelTest, DeletingRenumbersEveryReference) {
  model.AddTableSlot("MASTER", "M", 0, 0, nullptr);
  model.AddTableSlot("LOOKUP", "L", 255, 0, nullptr);
  Field("K0", kFieldNumeric, 0);
  FieldDef* gone = Field("GONE", kFieldNumeric, 0);
  Field("K1", kFieldNumeric, 1);
  FieldDef* alias = Field("AL", kFieldAlias);
  alias->refField = 2;
  FieldDef* calc = Field("CALC", kFieldCalculation | kFieldNumeric, 254);
  calc->code = CodeFor({0, 2}, &calc->codeLength);
  FieldDef* uses = Field("USES", kFieldCalculation | kFieldNumeric, 254);
  uses->code = CodeFor({1}, &uses->codeLength);
  const uint32_t pairs[] = {0, 2, kNoField};
  ASSERT_EQ(model.SetRelation(1, 0, 0x20, pairs), 0);
  uint32_t removed = kNoField;
  static uint32_t* seen;
  seen = &removed;
  model.fieldRemovedHook = [](CKmComposite*, uint32_t n) { *seen = n; };

  ASSERT_TRUE(model.DeleteField(gone, 0));
  EXPECT_EQ(removed, 1u);
  EXPECT_EQ(model.tableSlots[1]->link.pairs[0][0], 0u);
  EXPECT_EQ(model.tableSlots[1]->link.pairs[0][1], 1u);
  EXPECT_EQ(alias->refField, 1u);
  EXPECT_EQ(FieldsIn(calc), (std::vector<uint32_t>{0, 1}));
  // Code that used the deleted field means nothing now and is dropped.
  EXPECT_EQ(uses->code, nullptr);

  // Option 2 keeps link numbers, option 4 other fields' references.
  FieldDef* k0 = model.GetFieldAt(0);
  model.DeleteField(k0, 2 | 4);
  EXPECT_EQ(model.tableSlots[1]->link.pairs[0][1], 1u);
  EXPECT_EQ(alias->refField, 1u);
}

TEST_F(ModelTest, RelationsFillLinkBlocksAndOrderTables) {
  ASSERT_EQ(model.AddTableSlot("M", "M", 0, 0, nullptr), 0u);
  ASSERT_EQ(model.AddTableSlot("A", "A", 255, 0, nullptr), 1u);
  ASSERT_EQ(model.AddTableSlot("B", "B", 255, 0, nullptr), 2u);
  ASSERT_EQ(model.AddTableSlot("C", "C", 255, 0, nullptr), 3u);
  for (int i = 0; i < 6; ++i) Field("M", kFieldNumeric, 0);  // 0-5
  Field("A1", kFieldNumeric, 1);                               // 6
  Field("B1", kFieldNumeric, 2);                               // 7
  Field("C1", kFieldNumeric, 3);                               // 8

  // Six pairs: the inline block and one heap block holding the sixth.
  const uint32_t six[] = {0, 6, 1, 6, 2, 6, 3, 6, 4, 6, 5, 6, kNoField};
  ASSERT_EQ(model.SetRelation(1, 1, 0x40, six), 0);
  TableSlot* a = model.tableSlots[1];
  ASSERT_NE(a->link.next, nullptr);
  EXPECT_EQ(a->link.next->pairs[0][0], 5u);
  EXPECT_EQ(a->link.next->pairs[1][0], kNoField);
  EXPECT_EQ(a->link.next->next, nullptr);
  EXPECT_EQ(a->relationBits, 0x10 | 0x40 | 4);
  EXPECT_EQ(model.GetFieldAt(0)->joinUses, 1);
  EXPECT_TRUE(model.GetFieldAt(0)->flags & kFieldJoin);
  EXPECT_EQ(a->order, 1);

  // C links through B, B through C: a cycle stays unordered.
  const uint32_t viaB[] = {7, 8, kNoField};
  model.SetRelation(3, 0, 0, viaB);
  EXPECT_EQ(model.tableSlots[3]->order, 1);  // B has no relation: order 0
  const uint32_t viaC[] = {8, 7, kNoField};
  model.SetRelation(2, 0, 0, viaC);
  EXPECT_EQ(model.tableSlots[2]->order, 255);
  EXPECT_EQ(model.tableSlots[3]->order, 255);
  // C now links through A: B, waiting for C, is ordered after it.
  const uint32_t viaA[] = {6, 8, kNoField};
  model.SetRelation(3, 0, 0, viaA);
  EXPECT_EQ(model.tableSlots[3]->order, 2);
  EXPECT_EQ(model.tableSlots[2]->order, 3);
  uint8_t map[100];
  model.GetTableOrder(map);
  EXPECT_EQ(map[0], 1);
  EXPECT_EQ(map[1], 3);
  EXPECT_EQ(map[2], 2);
  EXPECT_EQ(map[3], 255);

  // Setting a shorter relation frees the extra block (the sanitizer sees leaks).
  const uint32_t one[] = {0, 6, kNoField};
  model.SetRelation(1, 0, 0, one);
  EXPECT_EQ(a->link.next, nullptr);
}

TEST_F(ModelTest, TableSlotsRunOut) {
  for (uint32_t s = 0; s < 100; ++s) ASSERT_EQ(model.AddTableSlot("T", "T", 0, 0, nullptr), s);
  EXPECT_EQ(model.AddTableSlot("T", "T", 0, 0, nullptr), kNoField);
  EXPECT_EQ(model.tableCount, 100u);
  EXPECT_EQ(model.tableSlots[100], nullptr);
  model.FreeTableSlot(42);
  EXPECT_EQ(model.AddTableSlot("X", "XALIAS_TOO_LONG", 0, 0, nullptr), 42u);
  EXPECT_STREQ(model.tableSlots[42]->alias, "XALIAS_T");  // 8 characters kept
  EXPECT_EQ(model.tableSlots[42]->fieldNumber, kNoField);
  EXPECT_EQ(model.tableSlots[42]->link.pairs[4][1], kNoField);
}

TEST_F(ModelTest, StorageWidths) {
  FieldDef* text = Field("T", 0, 0);
  text->width = 30;
  EXPECT_EQ(model.GetFieldWidth(text), 31u);
  text->width = 1000;
  EXPECT_EQ(model.GetFieldWidth(text), 255u);  // never above the default + 1
  FieldDef* calc = Field("C", kFieldCalculation, 254);
  EXPECT_EQ(model.GetFieldWidth(calc), 255u);  // declared 0: the default width
  SetDeclaredLength(calc, 300);
  EXPECT_EQ(model.GetFieldWidth(calc), 255u);
  SetDeclaredLength(calc, 12);
  EXPECT_EQ(model.GetFieldWidth(calc), 13u);
  EXPECT_EQ(model.GetFieldWidth(Field("N", kFieldNumeric)), 8u);
  EXPECT_EQ(model.GetFieldWidth(Field("L", kFieldLogical | kFieldNumeric)), 2u);
  EXPECT_EQ(model.GetFieldWidth(Field("D", kFieldDateTime)), 12u);
  EXPECT_EQ(model.GetFieldWidth(Field("M", kFieldMemo)), 255u);
  FieldDef* alias = Field("A", kFieldAlias);
  alias->refField = 0;
  EXPECT_EQ(model.GetFieldWidth(alias), 255u);
  alias->refField = model.GetFieldIndex(alias);  // an alias of itself ends the walk
  EXPECT_GE(model.GetFieldWidth(alias), 1u);
  FieldDef* filter = Field("F", 0);
  filter->flags2 |= kField2FilterText;
  EXPECT_EQ(model.GetFieldWidth(filter), std::strlen("Include all records") + 1);
  FieldDef* dbl = Field("W", kFieldNumeric | kFieldDoubleWidth);
  EXPECT_EQ(model.GetFieldStorageSize(dbl), 16u);

  char name[300];
  model.AddTableSlot("CUSTOMER", "CUST", 0, 0, nullptr);
  model.FormatQualifiedFieldName(text, name, sizeof name);
  EXPECT_STREQ(name, "CUST.T");
  model.FormatQualifiedFieldName(calc, name, sizeof name);
  EXPECT_STREQ(name, "C");
  char base[64];
  MakeUpperBaseName("c:\\data\\orders.dbf", base, sizeof base);
  EXPECT_STREQ(base, "ORDERS.DBF");
  MakeUpperBaseName("", base, sizeof base);
  EXPECT_STREQ(base, "");
}

TEST_F(ModelTest, ItemsKeepVerticalOrder) {
  model.layoutWidthWord = 1000;
  ReportItemHead a, b, c, d;
  a.top = 10, a.left = 5, a.flags = kItemKindBox;
  b.top = 10, b.left = 5, b.flags = kItemKindBox;  // equal position: after a
  c.bottom = 8, c.descent = 2, c.left = 0;          // a text: baseline 6
  d.top = 50, d.flags = kItemKindPicture;
  for (ReportItemHead* it : {&a, &b, &c, &d}) model.InsertItemByPosition(it);
  EXPECT_EQ(model.itemListHead, &c);
  EXPECT_EQ(c.nextInOrder, &a);
  EXPECT_EQ(a.nextInOrder, &b);
  EXPECT_EQ(model.itemListTail, &d);
  d.top = 0;  // moved above everything
  model.CheckItemPosition(&d);
  EXPECT_EQ(model.itemListHead, &d);
  EXPECT_EQ(d.nextInOrder, &c);
  EXPECT_EQ(model.itemListTail, &b);
  model.UnlinkItem(&b);
  EXPECT_EQ(model.itemListTail, &a);
  a.prevInOrder = nullptr;  // damaged back links are rebuilt from the head
  model.RelinkItemBackPointers();
  EXPECT_EQ(a.prevInOrder, &c);
}

TEST(EngineErrorsTest, EveryCodeHasItsText) {
  CKmComposite model(nullptr);
  EXPECT_STREQ(model.GetEngineErrorText(1), "Internal file setup error");
  EXPECT_STREQ(model.GetEngineErrorText(3073), "Look-up failure");
  EXPECT_STREQ(model.GetEngineErrorText(3121), "Insufficient memory");
  EXPECT_STREQ(model.GetEngineErrorText(3094), "Insufficient file handles");
  for (int32_t silent : {3074, 3075, 3097, 3112, 3188}) EXPECT_EQ(model.GetEngineErrorText(silent), nullptr);
  for (int32_t other : {3099, 3150, 4000, 42}) {
    EXPECT_STREQ(model.GetEngineErrorText(other), "Cannot read  database") << other;
  }
  EXPECT_EQ(std::string(model.GetEngineErrorText(3198)), model.GetEngineErrorText(3199));
  model.maxMatchLength = 12;
  EXPECT_STREQ(model.GetEngineErrorText(3114), "Match length must be between 1 and 12");
  FieldDef f;
  std::strcpy(f.name, "CUSTNO");
  model.errorField = &f;
  EXPECT_STREQ(model.GetEngineErrorText(3126), "Cannot delete join field 'CUSTNO'");
  std::strcpy(model.errorName, "TOTAL");
  EXPECT_STREQ(model.GetEngineErrorText(3240), "Duplicate result table field name: 'TOTAL'");
  // Every listed code between 3073 and 3241 gives a text or is silent.
  int withText = 0;
  for (int32_t code = 3073; code <= 3241; ++code) {
    const uint32_t id = EngineErrorStringId(code);
    if (id != 0 && id != kEngineFallbackTextId) {
      ASSERT_NE(model.GetEngineErrorText(code), nullptr);
      EXPECT_STRNE(model.GetEngineErrorText(code), "") << code;
      ++withText;
    }
  }
  EXPECT_EQ(withText, 62);
}

TEST(EngineErrorsTest, ShowingAndReporting) {
  CKmComposite model(nullptr);
  static std::vector<std::string> shown;
  shown.clear();
  SetEngineErrorDisplay([](void*, const char* text) {
    shown.push_back(text);
    return 1;
  });
  EXPECT_NE(model.ShowEngineError(3091), nullptr);  // has a text, never shown
  EXPECT_EQ(model.ShowEngineError(3075), nullptr);
  EXPECT_NE(model.ShowEngineErrorFor(reinterpret_cast<void*>(1), 3170), nullptr);
  EXPECT_EQ(shown, std::vector<std::string>{"Cannot open text file (file may be in use)"});
  SetEngineErrorDisplay(nullptr);
  for (int32_t quiet : {3091, 3106, 3170}) EXPECT_FALSE(CKmComposite::IsReportableError(quiet));
  EXPECT_TRUE(CKmComposite::IsReportableError(3121));
}

}  // namespace

namespace {

TEST_F(ModelTest, AliasesFollowTheirField) {
  FieldDef* a = Field("AMOUNT", kFieldNumeric | kFieldNeeded, 0);
  a->flags2 = 0x800;
  uint8_t value[8] = {};
  a->value = value;
  FieldDef* al = model.AddFieldAlias(a);
  ASSERT_NE(al, nullptr);
  EXPECT_EQ(al->flags, (a->flags & 0x32fccu) | kFieldAlias);
  EXPECT_EQ(al->refField, 0u);
  EXPECT_EQ(al->value, value);
  EXPECT_EQ(al->table, 0);
  std::strcpy(a->name, "TOTAL");
  FieldDef* al2 = model.AddFieldAlias(al);  // an alias of the alias
  model.SyncAliasNames();
  EXPECT_STREQ(al->name, "TOTAL");
  EXPECT_STREQ(al2->name, "TOTAL");
  a->value = nullptr;
  al->value = al2->value = nullptr;
  FieldDef stranger;
  EXPECT_EQ(model.AddFieldAlias(&stranger), nullptr);
}

TEST_F(ModelTest, CompileFieldMakesACalculation) {
  FieldDef* c = CompileField(&model, "C", "1 + 2 * 3", false, nullptr);
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(c->flags & kFieldCalculation);
  EXPECT_EQ(FieldKind(c), kFieldNumeric);
  EXPECT_STREQ(c->exprText, "1 + 2 * 3");
  ASSERT_NE(c->code, nullptr);
  uint8_t result[16] = {};
  uint32_t flags = 0;
  EXPECT_EQ(EvaluateCompiledExpression(&model, c->code, result, 0, &flags, nullptr), 0);
  double v;
  std::memcpy(&v, result, 8);
  EXPECT_EQ(v, 7.0);
  const uint32_t count = model.fieldCount;
  EXPECT_EQ(CompileField(&model, "BAD", "1 +", false, nullptr), nullptr);
  EXPECT_EQ(model.fieldCount, count);  // the half-made field is gone
  FieldDef* kept = CompileField(&model, "KEPT", "1 +", true, model.fieldList);
  ASSERT_NE(kept, nullptr);  // with another list a bad text still yields a field
  EXPECT_EQ(kept->code, nullptr);
  EXPECT_EQ(kept->flags, 0x88u);
}

}  // namespace

namespace {

TEST_F(ModelTest, SwappingARecordMovesEveryReference) {
  model.AddTableSlot("M", "M", 0, 0, nullptr);
  model.AddTableSlot("L", "L", 255, 0, nullptr);
  FieldDef* oldKey = Field("KEY", kFieldNumeric | kFieldJoin, 0);  // 0
  FieldDef* other = Field("L1", kFieldNumeric, 1);                 // 1
  FieldDef* newKey = Field("KEY", kFieldNumeric, 1);               // 2
  FieldDef* calc = Field("C", kFieldCalculation | kFieldNumeric, 254);
  calc->code = CodeFor({0, 1}, &calc->codeLength);
  calc->refField = 0;
  oldKey->head.left = 123;
  oldKey->joinUses = 2;
  const uint32_t pairs[] = {0, 1, kNoField};
  model.SetRelation(1, 0, 0, pairs);
  model.errorField = oldKey;
  model.SwapFieldRecords(oldKey, newKey);
  EXPECT_EQ(model.tableSlots[1]->link.pairs[0][0], 2u);
  EXPECT_EQ(calc->refField, 2u);
  EXPECT_EQ(FieldsIn(calc), (std::vector<uint32_t>{2, 1}));
  EXPECT_EQ(newKey->head.left, 123);
  EXPECT_EQ(newKey->joinUses, oldKey->joinUses);
  EXPECT_TRUE(newKey->flags & kFieldJoin);
  EXPECT_EQ(model.errorField, newKey);
  (void)other;
}

TEST_F(ModelTest, MemoHeadersAndDateKinds) {
  // Two memo buffers: the copy keeps the target's read block and double size.
  std::vector<uint8_t> a(kMemoBufferSize, 0), b(kMemoBufferSize, 0);
  uint8_t* va = a.data() + kValueHeaderSize;
  uint8_t* vb = b.data() + kValueHeaderSize;
  std::memset(a.data(), 0x11, kValueHeaderSize);
  std::memset(b.data(), 0x22, kValueHeaderSize);
  CKmComposite::CopyValueHeader(vb, va);
  EXPECT_EQ(b[value_header::kInsertField], 0x11);
  EXPECT_EQ(b[value_header::kFirstPosition], 0x11);
  EXPECT_EQ(b[value_header::kReadBlock], 0x22);
  EXPECT_EQ(b[value_header::kDoubleSize + 3], 0x22);
  uint8_t* block = reinterpret_cast<uint8_t*>(0x1234);
  std::memcpy(a.data() + value_header::kReadBlock, &block, sizeof block);
  EXPECT_EQ(CKmComposite::GetValueHeader(va), block);

  FieldDef* memo = Field("M", kFieldMemo);
  memo->value = va;
  memo->previous = vb;
  uint32_t first = 77;
  std::memcpy(b.data() + value_header::kFirstPosition, &first, 4);
  model.ResetMemoBuffers();
  uint32_t saved, insert;
  std::memcpy(&saved, b.data() + value_header::kSavedPosition, 4);
  std::memcpy(&insert, a.data() + value_header::kInsertField, 4);
  EXPECT_EQ(saved, 77u);
  EXPECT_EQ(insert, 0u);
  memo->value = memo->previous = nullptr;

  FieldDef* dt = Field("DT", kFieldDateTime | kFieldNeeded);
  model.NormalizeDateKind(dt);
  EXPECT_EQ(FieldKind(dt), kFieldDate);
  EXPECT_TRUE(dt->flags & kFieldNeeded);
  FieldDef* tm = Field("T", kFieldTime);
  model.NormalizeDateKind(tm);  // only the date-time kind changes
  EXPECT_EQ(FieldKind(tm), kFieldTime);
}

}  // namespace

namespace {
// The report's filter is condition code: deleting a field moves the later
// field numbers in it down, and a filter on the deleted field is dropped.
TEST_F(ModelTest, DeletingAFieldRenumbersOrDropsTheReportFilter) {
  FieldDef* a = Field("A");
  FieldDef* b = Field("B");
  Field("C");
  auto setFilter = [&](uint32_t field) {
    uint8_t code[kCondFieldSize + 1 + kCondNumberSize + 2];
    size_t n = PutConditionField(code, field);
    code[n++] = kCondGreater;
    n += PutConditionNumber(code + n, 3);
    code[n++] = kCondEndMark;
    code[n++] = kCondEnd;
    HeapFreeBlock(model.conditionCode);
    model.conditionCode = static_cast<uint8_t*>(HeapAllocZero(0, static_cast<DWORD>(n)));
    std::memcpy(model.conditionCode, code, n);
    model.conditionLength = static_cast<uint16_t>(n);
  };
  setFilter(2);
  ASSERT_TRUE(model.DeleteField(b, 0));
  ASSERT_NE(model.conditionCode, nullptr);
  EXPECT_EQ(ConditionFieldNumber(model.conditionCode), 1u);
  setFilter(0);
  ASSERT_TRUE(model.DeleteField(a, 0));
  EXPECT_EQ(model.conditionCode, nullptr);
}
}  // namespace
