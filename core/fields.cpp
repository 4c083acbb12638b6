// The field list, table slots, relations and the report item order of the
// model. Field numbers are positions in the list, so every deletion renumbers
// what refers to fields by number.
#include "core/fields.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/compiled_code.h"
#include "core/condition_code.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "core/engine_errors.h"
#include "core/field_references.h"

namespace {

constexpr uint32_t kIncludeAllRecordsId = 1239;
constexpr int kMaxAliasHops = 16;

void FreeJoinChain(JoinLink* first) {
  JoinLink* b = first;
  while (b != nullptr) {
    JoinLink* next = b->next;
    HeapFreeBlock(b);
    b = next;
  }
}

}  // namespace

void MakeUpperBaseName(const char* path, char* out, size_t outSize) {
  if (outSize == 0) return;
  out[0] = 0;
  if (path == nullptr) return;
  const char* base = path;
  for (const char* p = path; *p; ++p)
    if (*p == ':' || *p == '\\' || *p == '/') base = p + 1;
  size_t i = 0;
  for (; base[i] && i + 1 < outSize; ++i)
    out[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(base[i])));
  out[i] = 0;
}

const char* ItemShapeName(ItemShape shape) {
  switch (shape) {
    case ItemShape::Text: return "text";
    case ItemShape::Field: return "field";
    case ItemShape::LineBox: return "line or box";
    case ItemShape::Picture: return "picture";
    case ItemShape::Chart: return "chart";
    case ItemShape::Ole: return "OLE item";
    default: return "item of several kinds";
  }
}

// ---- Field list

FieldDef* CKmComposite::AddField(uint32_t flags) {
  FieldDef* f = new (std::nothrow) FieldDef;
  if (f == nullptr) return nullptr;
  f->head.flags = kItemKindField;
  f->flags = flags;
  if (fieldList == nullptr) {
    fieldList = f;
  } else {
    FieldDef* last = fieldList;
    while (last->next != nullptr) last = last->next;
    last->next = f;
  }
  ++fieldCount;
  FreeFieldIndex();
  return f;
}

FieldDef* CKmComposite::AddFieldAlias(FieldDef* aliased) {
  const uint32_t n = GetFieldIndex(aliased);
  if (n == kNoField) return nullptr;
  FieldDef* f = AddField((aliased->flags & 0x32fccu) | kFieldAlias);
  if (f == nullptr) return nullptr;
  std::memcpy(f->name, aliased->name, sizeof f->name);
  f->value = aliased->value;
  f->table = aliased->table;
  f->flags2 = aliased->flags2;
  f->refField = n;
  return f;
}

void CKmComposite::SyncAliasNames() {
  for (FieldDef* f = fieldList; f != nullptr; f = f->next) {
    if ((f->flags & kFieldAlias) == 0) continue;
    // Follow the chain to the field it finally refers to; a cycle ends the walk.
    const FieldDef* to = f;
    for (int hop = 0; hop < kMaxAliasHops && to != nullptr && (to->flags & kFieldAlias); ++hop)
      to = GetFieldAt(to->refField);
    if (to != nullptr && to != f && (to->flags & kFieldAlias) == 0)
      std::memcpy(f->name, to->name, sizeof f->name);
  }
}

FieldDef* CKmComposite::GetFieldAt(uint32_t n) const {
  if (n >= fieldCount) return nullptr;
  if (fieldIndex != nullptr) return fieldIndex[n];
  FieldDef* f = fieldList;
  for (uint32_t i = 0; f != nullptr && i < n; ++i) f = f->next;
  return f;
}

uint32_t CKmComposite::GetFieldIndex(const FieldDef* field) const {
  if (field == nullptr) return kNoField;
  uint32_t i = 0;
  for (const FieldDef* f = fieldList; f != nullptr; f = f->next, ++i)
    if (f == field) return i;
  return kNoField;
}

bool CKmComposite::BuildFieldIndex() {
  FreeFieldIndex();
  if (fieldCount == 0) return true;
  fieldIndex = static_cast<FieldDef**>(HeapAllocZero(0, fieldCount * sizeof(FieldDef*)));
  if (fieldIndex == nullptr) return false;
  uint32_t i = 0;
  for (FieldDef* f = fieldList; f != nullptr && i < fieldCount; f = f->next) fieldIndex[i++] = f;
  return true;
}

void CKmComposite::FreeFieldIndex() {
  if (fieldIndex != nullptr) HeapFreeBlock(fieldIndex);
  fieldIndex = nullptr;
}

namespace {

// A list of slots ended by the first all-ones entry loses slot at; the later
// ones move up with their companion values.
template <typename T>
void CloseSlot(T* values, int count, int at, T empty) {
  for (int i = at; i + 1 < count; ++i) values[i] = values[i + 1];
  values[count - 1] = empty;
}

void FollowNumber(uint32_t& ref, uint32_t n) {
  if (ref == kNoField) return;
  if (ref == n) ref = kNoField;
  else if (ref > n) --ref;
}

}  // namespace

void CKmComposite::RemoveFieldFromSlots(uint32_t n) {
  for (int i = 0; i < 8; ++i)
    if (groupFields[i] == n) {
      CloseSlot<uint32_t>(groupFields, 8, i, kNoField);
      CloseSlot<uint8_t>(groupFlags, 8, i, 0);
      break;
    }
  for (int i = 0; i < 8; ++i)
    if (sortFields[i] == n) {
      CloseSlot<uint32_t>(sortFields, 8, i, kNoField);
      CloseSlot<uint16_t>(sortWords, 8, i, 0);
      CloseSlot<uint16_t>(sortLengths, 8, i, 1);
      break;
    }
  for (uint32_t& g : groupFields) FollowNumber(g, n);
  for (uint32_t& s : sortFields) FollowNumber(s, n);
  FollowNumber(recordRepeatField, n);
  FollowNumber(currentField, n);
}

bool CKmComposite::DeleteField(FieldDef* field, uint32_t options) {
  const uint32_t n = GetFieldIndex(field);
  if (n == kNoField) return false;  // internal error: nothing is removed
  FreeFieldIndex();

  if ((field->flags & (kFieldAlias | kFieldItem)) == 0 && field->table < 128 &&
      (field->flags2 & kField2NotInTable) == 0) {
    TableSlot* slot = field->table < kMaxTables ? tableSlots[field->table] : nullptr;
    if (slot != nullptr) {
      if (slot->fieldCount > 0) --slot->fieldCount;
      if (slot->firstField == field) slot->firstField = field->next;
    }
  }

  if ((options & 2) == 0) {
    for (int s = 0; s < kMaxTables; ++s) {
      if (tableSlots[s] == nullptr) continue;
      for (JoinLink* b = &tableSlots[s]->link; b != nullptr; b = b->next)
        for (auto& pair : b->pairs)
          for (uint32_t& v : pair)
            if (v != kNoField && v > n) --v;
      if (tableSlots[s]->fieldNumber != kNoField && tableSlots[s]->fieldNumber > n)
        --tableSlots[s]->fieldNumber;
    }
    for (FieldDef* f = fieldList; f != nullptr; f = f->next) {
      if (f == field) continue;
      const bool refers = (f->flags & kFieldAlias) ||
                          ((f->flags & kFieldCalculation) && (f->flags & kFieldTotalRelated)) ||
                          (f->totalFlags & kTotalIsTotal);
      if ((options & 4) == 0 && refers && f->refField > n && f->refField != kNoField &&
          (f->flags2 & kField2KeepRefNumber) == 0)
        --f->refField;
    }
    RenumberFieldReferences(this, n);
    // The report's filter is condition code, not expression code. A test on
    // the field that went keeps its place with no field: the filter is not
    // silently lost, and the checks before a run stop it until it is edited.
    // Its compiled form is made again from the renumbered code when next needed.
    ConditionRenumberAfterFieldDelete(conditionCode, conditionLength, n);
    compiledFilter.reset();
    RemoveFieldFromSlots(n);
    if (fieldRemovedHook != nullptr) fieldRemovedHook(this, n);
  }

  if ((field->totalFlags & kTotalPreprocessed) && (field->flags2 & 0x10)) preprocessedTotalDeleted = 1;

  // The item order keeps the field's head; a deleted field must leave it.
  for (ReportItemHead** p = &itemListHead; *p != nullptr; p = &(*p)->nextInOrder)
    if (*p == &field->head) {
      *p = field->head.nextInOrder;
      break;
    }

  HeapFreeBlock(field->text);
  HeapFreeBlock(field->exprText);
  HeapFreeBlock(field->code);
  HeapFreeBlock(field->sqlText);
  HeapFreeBlock(field->conditionText);
  HeapFreeBlock(field->conditionCode);
  if (fieldList == field) {
    fieldList = field->next;
  } else {
    FieldDef* prev = fieldList;
    while (prev->next != field) prev = prev->next;
    prev->next = field->next;
  }
  if (!noFetchState && releaseFieldData != nullptr && (field->flags & kFieldCalculation) == 0)
    releaseFieldData(this, field);
  if (selectionField == field) selectionField = nullptr;
  if (errorField == field) errorField = nullptr;
  delete field;
  --fieldCount;
  return true;
}

const FieldDef* CKmComposite::AliasedField(const FieldDef* field) const {
  const FieldDef* to = field;
  for (int hop = 0; hop < kMaxAliasHops && to != nullptr && (to->flags & kFieldAlias); ++hop)
    to = GetFieldAt(to->refField);
  return to != nullptr && !(to->flags & kFieldAlias) ? to : field;
}

uint32_t CKmComposite::GetFieldWidth(const FieldDef* field) const {
  const FieldDef* f = field;
  for (int hop = 0; hop < kMaxAliasHops && f != nullptr; ++hop) {
    const bool alias = (f->flags & kFieldAlias) != 0;
    const bool plainTotal = (f->totalFlags & kTotalIsTotal) && FieldKind(f) == 0;
    if (!alias && !plainTotal) break;
    const FieldDef* to = GetFieldAt(f->refField);
    if (to == nullptr || to == f) break;
    f = to;
  }
  if (f == nullptr) return 1;
  const uint32_t flags = f->flags;
  if (flags & kFieldLogical) return 2;
  if (flags & (kFieldDate | kFieldDateTime | kFieldTime)) return 12;
  if (flags & kFieldMemo) return 255;
  if (flags & kFieldNumeric) return 8;
  const uint32_t limit = defaultTextWidth + 1;
  if (f->flags2 & kField2FilterText) {
    std::string text;
    CKmComposite* self = const_cast<CKmComposite*>(this);
    if (describeFilter == nullptr || !describeFilter(self, &text)) text = GetResString(kIncludeAllRecordsId, 0);
    return static_cast<uint32_t>(text.size() + 1);
  }
  uint32_t n;
  if (flags & kFieldCalculation) {
    n = DeclaredLength(f);
    if (n == 0) n = defaultTextWidth;
  } else {
    n = f->width;
  }
  n += 1;
  return n > limit ? limit : n;
}

uint32_t CKmComposite::GetFieldStorageSize(const FieldDef* field) const {
  const uint32_t w = GetFieldWidth(field);
  return (doubleWidthWord || (field->flags & kFieldDoubleWidth)) ? 2 * w : w;
}

void CKmComposite::FormatQualifiedFieldName(const FieldDef* field, char* out, size_t outSize) const {
  if (outSize == 0) return;
  const TableSlot* slot = field->table < kMaxTables ? tableSlots[field->table] : nullptr;
  if (slot != nullptr) {
    const char* qualifier = useSelectNames ? slot->path : slot->alias;
    std::snprintf(out, outSize, "%s.%s", qualifier, field->name);
  } else {
    std::snprintf(out, outSize, "%s", field->name);
  }
}

void CKmComposite::NormalizeDateKind(FieldDef* field) {
  if ((field->flags & kFieldKindMask) != kFieldDateTime) return;
  field->flags = (field->flags & ~kFieldDateTime) | kFieldDate;
}

void CKmComposite::SwapFieldRecords(FieldDef* oldField, FieldDef* newField) {
  const uint32_t from = GetFieldIndex(oldField);
  const uint32_t to = GetFieldIndex(newField);
  if (from == kNoField || to == kNoField) return;
  for (int s = 0; s < kMaxTables; ++s) {
    TableSlot* t = tableSlots[s];
    if (t == nullptr) continue;
    for (JoinLink* b = &t->link; b != nullptr; b = b->next)
      for (auto& pair : b->pairs)
        for (uint32_t& v : pair)
          if (v == from) v = to;
    if (t->fieldNumber == from) t->fieldNumber = to;
  }
  for (FieldDef* f = fieldList; f != nullptr; f = f->next) {
    if (f->refField == from) f->refField = to;
  }
  ReplaceFieldReference(this, from, to);
  ConditionReplaceFieldReference(conditionCode, conditionLength, from, to);
  compiledFilter.reset();
  for (uint32_t& g : groupFields)
    if (g == from) g = to;
  // The sort, the line repetition and the current field follow as the groups do.
  for (uint32_t& g : sortFields)
    if (g == from) g = to;
  if (recordRepeatField == from) recordRepeatField = to;
  if (currentField == from) currentField = to;
  if (swapFieldHook != nullptr) swapFieldHook(this, from, to);

  // The new record takes the old one's place in the layout and its roles.
  ReportItemHead head = oldField->head;
  newField->head = head;
  for (ReportItemHead** p = &itemListHead; *p != nullptr; p = &(*p)->nextInOrder)
    if (*p == &oldField->head) {
      *p = &newField->head;
      break;
    }
  newField->flags = (newField->flags & ~0xdccbu) | (oldField->flags & 0xdccbu);
  newField->flags2 = oldField->flags2;
  newField->totalFlags = oldField->totalFlags;
  newField->joinUses = oldField->joinUses;
  newField->refField = oldField->refField;
  newField->totalReset = oldField->totalReset;
  newField->totalLevel = oldField->totalLevel;
  newField->totalFunction = oldField->totalFunction;
  // The output the user chose for the item stays (the match has the same kind).
  newField->formatCode = oldField->formatCode;
  newField->timeFormat = oldField->timeFormat;
  newField->displayWidth = oldField->displayWidth;
  newField->displayDecimals = oldField->displayDecimals;
  if (errorField == oldField) errorField = newField;
}

// ---- Memo value headers

void CKmComposite::CopyValueHeader(uint8_t* toValue, const uint8_t* fromValue) {
  uint8_t* to = toValue - kValueHeaderSize;
  const uint8_t* from = fromValue - kValueHeaderSize;
  uint8_t keep[12];
  std::memcpy(keep, to + value_header::kReadBlock, 12);  // read block and double size
  std::memmove(to, from, kValueHeaderSize);
  std::memcpy(to + value_header::kReadBlock, keep, 12);
}

uint8_t* CKmComposite::GetValueHeader(uint8_t* value) {
  uint8_t* block;
  std::memcpy(&block, value - kValueHeaderSize + value_header::kReadBlock, sizeof block);
  return block;
}

void CKmComposite::ResetMemoBuffers() {
  for (FieldDef* f = fieldList; f != nullptr; f = f->next) {
    if ((f->flags & kFieldMemo) == 0 || f->value == nullptr) continue;
    uint8_t* cur = f->value - kValueHeaderSize;
    std::memset(cur + value_header::kInsertField, 0, 4);
    uint8_t* prev = f->previous != nullptr ? f->previous - kValueHeaderSize : nullptr;
    if (prev != nullptr) {
      std::memcpy(prev + value_header::kSavedPosition, prev + value_header::kFirstPosition, 4);
      std::memset(prev + value_header::kInsertField, 0, 4);
    }
  }
}

// ---- Table slots

uint32_t CKmComposite::AddTableSlot(const char* name, const char* alias, uint8_t order,
                                    uint8_t relationBits, FieldDef* firstField) {
  for (uint32_t s = 0; s < static_cast<uint32_t>(kMaxTables); ++s) {
    if (tableSlots[s] != nullptr) continue;
    TableSlot* t = new (std::nothrow) TableSlot;
    if (t == nullptr) return kNoField;
    t->order = order;
    t->relationBits = relationBits;
    if (alias != nullptr) std::snprintf(t->alias, sizeof t->alias, "%s", alias);
    if (name != nullptr) std::snprintf(t->path, sizeof t->path, "%s", name);
    t->firstField = firstField;
    std::memset(t->link.pairs, 0xFF, sizeof t->link.pairs);
    t->link.next = nullptr;
    tableSlots[s] = t;
    ++tableCount;
    return s;
  }
  return kNoField;
}

void CKmComposite::FreeTableSlot(uint32_t n) {
  if (n >= static_cast<uint32_t>(kMaxTables) || tableSlots[n] == nullptr) return;
  FreeJoinChain(tableSlots[n]->link.next);
  if (releaseTableData != nullptr) releaseTableData(tableSlots[n]);
  delete tableSlots[n];
  tableSlots[n] = nullptr;
  if (tableCount > 0) --tableCount;
}

int32_t CKmComposite::SetRelation(uint32_t slot, int kind, uint8_t typeBits, const uint32_t* pairs) {
  if (slot >= static_cast<uint32_t>(kMaxTables) || tableSlots[slot] == nullptr) return kEngineInternalSetup;
  TableSlot* t = tableSlots[slot];
  size_t count = 0;
  if (pairs != nullptr)
    while (pairs[2 * count] != kNoField) ++count;

  // Make every extra block first, so that a failure leaves the slot as it was.
  JoinLink* chain = nullptr;
  JoinLink** tail = &chain;
  for (size_t done = 5; done < count; done += 5) {
    JoinLink* b = static_cast<JoinLink*>(HeapAllocZero(0, sizeof(JoinLink)));
    if (b == nullptr) {
      FreeJoinChain(chain);
      return kEngineNoMemory;
    }
    *tail = b;
    tail = &b->next;
  }
  FreeJoinChain(t->link.next);
  t->link.next = chain;
  t->relationBits = static_cast<uint8_t>((t->relationBits & kRelationKeptBits) | typeBits | kRelationSet |
                                         (kind == 1 ? kRelationApproxNext : 0) |
                                         (kind == 2 ? kRelationApproxPrev : 0));
  JoinLink* b = &t->link;
  for (size_t i = 0; b != nullptr; b = b->next) {
    for (int k = 0; k < 5; ++k, ++i) {
      if (i < count) {
        b->pairs[k][0] = pairs[2 * i];
        b->pairs[k][1] = pairs[2 * i + 1];
        FieldDef* f = GetFieldAt(pairs[2 * i]);
        if (f != nullptr) {
          f->flags |= kFieldJoin;
          if (f->joinUses < 255) ++f->joinUses;
        }
      } else {
        b->pairs[k][0] = b->pairs[k][1] = kNoField;
      }
    }
  }
  ComputeTableOrder();
  return kEngineOk;
}

void CKmComposite::ComputeTableOrder() {
  if (tableSlots[0] != nullptr) tableSlots[0]->order = 0;
  for (int s = 1; s < kMaxTables; ++s) {
    TableSlot* t = tableSlots[s];
    if (t != nullptr) t->order = (t->link.pairs[0][0] == kNoField) ? 0 : 255;
  }
  for (bool changed = true; changed;) {
    changed = false;
    for (int s = 1; s < kMaxTables; ++s) {
      TableSlot* t = tableSlots[s];
      if (t == nullptr || t->order != 255) continue;
      int highest = 0;
      bool ready = true;
      for (const JoinLink* b = &t->link; b != nullptr && ready; b = b->next) {
        for (const auto& pair : b->pairs) {
          if (pair[0] == kNoField) continue;
          const FieldDef* f = GetFieldAt(pair[0]);
          const uint32_t table = (f != nullptr && f->table < kMaxTables) ? f->table : 0;
          const TableSlot* owner = tableSlots[table];
          if (owner == nullptr || owner->order == 255) {
            ready = false;
            break;
          }
          if (owner->order > highest) highest = owner->order;
        }
      }
      if (ready && highest < 254) {
        t->order = static_cast<uint8_t>(highest + 1);
        changed = true;
      }
    }
  }
}

void CKmComposite::GetTableOrder(uint8_t map[100]) const {
  std::memset(map, 255, 100);
  int k = 0;
  for (int order = 0; order <= 255; ++order)
    for (int s = 1; s < kMaxTables; ++s)
      if (tableSlots[s] != nullptr && tableSlots[s]->order == order) map[k++] = static_cast<uint8_t>(s);
}

// ---- Report item order

int64_t CKmComposite::ItemPosition(const ReportItemHead* item) const {
  const int64_t w = layoutWidthWord;
  if (item->flags & kItemGraphicKinds) return static_cast<int64_t>(item->top) * w + item->left;
  const int32_t y = (item->bottom != 0 ? item->bottom : item->top) - item->descent;
  return static_cast<int64_t>(y) * w + item->left;
}

void CKmComposite::UnlinkItem(ReportItemHead* item) {
  if (item->prevInOrder != nullptr) item->prevInOrder->nextInOrder = item->nextInOrder;
  else if (itemListHead == item) itemListHead = item->nextInOrder;
  if (item->nextInOrder != nullptr) item->nextInOrder->prevInOrder = item->prevInOrder;
  else if (itemListTail == item) itemListTail = item->prevInOrder;
  item->nextInOrder = item->prevInOrder = nullptr;
}

void CKmComposite::InsertItemByPosition(ReportItemHead* item) {
  const int64_t key = ItemPosition(item);
  ReportItemHead* at = itemListHead;
  while (at != nullptr && ItemPosition(at) <= key) at = at->nextInOrder;
  item->nextInOrder = at;
  item->prevInOrder = at != nullptr ? at->prevInOrder : itemListTail;
  if (item->prevInOrder != nullptr) item->prevInOrder->nextInOrder = item;
  else itemListHead = item;
  if (at != nullptr) at->prevInOrder = item;
  else itemListTail = item;
}

void CKmComposite::RelinkItemBackPointers() {
  ReportItemHead* prev = nullptr;
  for (ReportItemHead* it = itemListHead; it != nullptr; it = it->nextInOrder) {
    it->prevInOrder = prev;
    prev = it;
  }
  itemListTail = prev;
}

void CKmComposite::CheckItemPosition(ReportItemHead* item) {
  const int64_t key = ItemPosition(item);
  const bool afterPrev = item->prevInOrder == nullptr || ItemPosition(item->prevInOrder) <= key;
  const bool beforeNext = item->nextInOrder == nullptr || key <= ItemPosition(item->nextInOrder);
  if (afterPrev && beforeNext) return;
  UnlinkItem(item);
  InsertItemByPosition(item);
}

std::string FieldGoneFromTableText(uint32_t flags, const char* name, const char* table) {
  char text[600];
  std::snprintf(text, sizeof text, GetResString((flags & kFieldJoin) ? 730 : 732, 0),
                GetResString(static_cast<UINT>(ObjectKindCode(flags)), 1), name, table != nullptr ? table : "");
  return text;
}

int ObjectKindCode(uint32_t flags) {
  switch (flags & kFieldKindMask) {
    case kFieldNumeric: return 8;
    case kFieldLogical: return 11;
    case kFieldMemo: return 12;
    case kFieldDate: return 10;
    case kFieldDateTime: return 800;
    case kFieldTime: return 801;
    default: return 9;
  }
}
