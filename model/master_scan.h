// The scan of the master table's current record that gives a memo field its
// value: the memo's text is read through the field's memo reader into the
// field's 255-character window, as the value band output prints and tests.
// A long text column is read the same way, as far as its own width goes.
#pragma once

#include <cstdint>

#include "core/fields.h"

class CKmComposite;
struct FieldDef;
struct FormatSettings;

// Whether the field takes its value by that scan (a memo or long text with a reader).
bool ReadsByMasterScan(CKmComposite* model, FieldDef* field);
// False for a field that never does (a number, date, time or logical): no
// reader is looked for.
inline bool MayReadByMasterScan(const FieldDef* field) {
  return field != nullptr && (FieldKind(field) == 0 || FieldKind(field) == kFieldMemo);
}
// Reads count characters of the current record's memo text into value, the
// field's current or previous buffer: kMemoWindow starts at the text's
// beginning, fewer go on from the characters already there (the window
// moves on by that many). 0 when read, or when the field takes no value by
// a scan; else the engine code of the failed read. format: how values the
// memo names are written (null: they come out empty).
int ScanMasterTable(CKmComposite* model, FieldDef* field, uint8_t* value, uint32_t count, int flags,
                    const FormatSettings* format = nullptr);
