#include "model/table_field_marks.h"

#include "core/composite.h"
#include "core/fields.h"

void MarkTableFields(CKmComposite* m, bool on) {
  if (!on) return;
  for (uint32_t slot = 1; slot < static_cast<uint32_t>(kMaxTables); ++slot) {
    const TableSlot* t = m->tableSlots[slot];
    if (t == nullptr) continue;
    for (const JoinLink* l = &t->link; l != nullptr; l = l->next)
      for (int i = 0; i < 5 && l->pairs[i][0] != kNoField; ++i)
        for (int side = 0; side < 2; ++side)
          if (FieldDef* f = m->GetFieldAt(l->pairs[i][side])) f->flags |= kFieldNeeded;
  }
}
