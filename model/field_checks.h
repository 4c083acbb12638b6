// Which report fields may be printed as plain numbers, sorted on, grouped on,
// or placed on a band line.
#pragma once

#include "core/fields.h"

#include <cstdint>

class CKmComposite;

// A numeric field that is not a total, not outside the tables (flags2 0x100)
// and none of alias, total-related or page number (flags 0x842).
bool IsPlainTextObject(const FieldDef* field);
// Neither a total nor total-related, unless a pre-processed total (for sorting
// also not flags2 2); none of flags 0x2c03 (sort) or 0x2803 (group), none of
// flags2 0x100, and for sorting no level-zero total mark.
bool IsSortableField(const FieldDef* field);
bool IsGroupableField(const FieldDef* field);
// False for an alias, a field outside the tables, a total reset per page, or
// a total-related field whose totalled field is such a total.
bool IsBandFieldValid(const CKmComposite& model, const FieldDef* field);
// 1 when every field of the model's eight sort slots is sortable and of its
// eight group slots groupable (an empty slot ends each list; a missing field fails).
int ValidateSlotTables(const CKmComposite& model);
// Whether the field of that number is one of the model's sort keys.
bool IsSortSlotField(const CKmComposite& model, uint32_t field);
