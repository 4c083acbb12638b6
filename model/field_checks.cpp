#include "model/field_checks.h"

#include "core/composite.h"

namespace {
constexpr uint32_t kPageReset = 254;

bool IsTotalOrRelated(const FieldDef* f) { return IsTotal(f) || (f->flags & kFieldTotalRelated) != 0; }
bool IsPreprocessed(const FieldDef* f) { return (f->totalFlags & kTotalPreprocessed) != 0; }

bool AllPass(const CKmComposite& model, const uint32_t slots[8], bool (*test)(const FieldDef*)) {
  for (int i = 0; i < 8 && slots[i] != kNoField; ++i) {
    const FieldDef* f = model.GetFieldAt(slots[i]);
    if (f == nullptr || !test(f)) return false;
  }
  return true;
}
}  // namespace

bool IsPlainTextObject(const FieldDef* field) {
  return field != nullptr && (field->flags & kFieldNumeric) != 0 && !IsTotal(field) &&
         (field->flags2 & kField2NotInTable) == 0 && (field->flags & 0x842) == 0;
}

bool IsSortableField(const FieldDef* field) {
  if (field == nullptr) return false;
  if (IsTotalOrRelated(field) && !(IsPreprocessed(field) && (field->flags2 & 2) == 0)) return false;
  return (field->flags & 0x2c03) == 0 && (field->flags2 & kField2NotInTable) == 0 &&
         (field->totalFlags & kTotalLevelZero) == 0;
}

bool IsGroupableField(const FieldDef* field) {
  if (field == nullptr) return false;
  if (IsTotalOrRelated(field) && !IsPreprocessed(field)) return false;
  return (field->flags & 0x2803) == 0 && (field->flags2 & kField2NotInTable) == 0;
}

bool IsBandFieldValid(const CKmComposite& model, const FieldDef* field) {
  if (field == nullptr) return false;
  if ((field->flags & kFieldAlias) != 0 || (field->flags2 & kField2NotInTable) != 0) return false;
  if (IsTotal(field) && field->totalReset == kPageReset) return false;
  if ((field->flags & kFieldTotalRelated) != 0) {
    const FieldDef* totalled = model.GetFieldAt(field->refField);
    if (totalled != nullptr && IsTotal(totalled) && totalled->totalReset == kPageReset) return false;
  }
  return true;
}

int ValidateSlotTables(const CKmComposite& model) {
  return AllPass(model, model.sortFields, &IsSortableField) && AllPass(model, model.groupFields, &IsGroupableField)
             ? 1
             : 0;
}

bool IsSortSlotField(const CKmComposite& model, uint32_t field) {
  for (int i = 0; i < 8 && model.sortFields[i] != kNoField; ++i)
    if (model.sortFields[i] == field) return true;
  return false;
}
