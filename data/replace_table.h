// Replacing the table of a slot: the old fields are parked while the new
// table opens, then matched by name and kind; references move to the
// matches and unmatched fields go with what uses them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CKmComposite;
struct FieldDef;
struct TableOverrideContext;

// A replacement between its open and its finish or cancel, held by the
// caller: the slot, its old name and alias, and its old fields, parked.
struct TableReplacement {
  bool active = false;
  uint32_t slot = 0;
  std::string oldName, oldAlias;
  std::vector<FieldDef*> parked;
  FieldDef* oldFirst = nullptr;  // the slot's run of fields before the replacement
  uint32_t oldCount = 0;
};

// Starts a replacement: no field keeps a previous value and no function its
// marks, and pending is empty. 0.
int BeginReplaceTable(CKmComposite* m, TableReplacement* pending);
// After a committed replacement: the calculations that rest on the slot's
// fields are compiled again from their texts and described again.
void RecheckAfterReplace(CKmComposite* m, uint32_t slot);
// Opens the new table in the slot; 0 or the failed open's code (the old
// fields then return to the slot). A replacement already under way in
// pending is tried again with the new table; an unchanged table name
// without a query starts none.
int ReplaceTable(CKmComposite* m, TableReplacement* pending, uint32_t slot, const char* name, const char* queryText,
                 const char* const* names, const char* alias, const TableOverrideContext& ctx);
// The new field that takes the parked field's place, or null.
FieldDef* FindMatchingField(CKmComposite* m, const TableReplacement& pending, const FieldDef* oldField);
// Counts (count) the fields that would go, leaving them marked for the
// warning that lists them; with commit they go, the matches take over and
// the replacement ends. 0, or 3126 when a linking field would go (nothing
// done, no marks left).
int FinishReplaceTable(CKmComposite* m, TableReplacement* pending, bool commit, uint32_t* count);
// The old fields return to the slot; the replacement ends.
void CancelReplaceTable(CKmComposite* m, TableReplacement* pending);
