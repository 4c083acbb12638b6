// Replacing the table of a slot: the old fields are parked while the new
// table opens, then matched by name and kind; references move to the
// matches and unmatched fields go with what uses them.
#pragma once

#include <cstdint>

class CKmComposite;
struct FieldDef;
struct TableOverrideContext;

// Opens the new table in the slot; 0 or the failed open's code (the old
// fields then return to the slot).
int ReplaceTable(CKmComposite* m, uint32_t slot, const char* name, const char* queryText, const char* const* names,
                 const char* alias, const TableOverrideContext& ctx);
// The new field that takes the parked field's place, or null.
FieldDef* FindMatchingField(CKmComposite* m, const FieldDef* oldField);
// Counts (count) the fields that would go; with commit they go and the
// matches take over. 0, or 3126 when a linking field would go (nothing done).
int FinishReplaceTable(CKmComposite* m, bool commit, uint32_t* count);
void CancelReplaceTable(CKmComposite* m);
bool IsReplacingTable(const CKmComposite* m);
