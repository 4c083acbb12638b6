#include "data/placeholder_field.h"

#include "core/composite.h"

#include <cstdio>
#include <cstring>

FieldDef* AddPlaceholderField(CKmComposite* m, uint32_t flags, const char* name, uint32_t table) {
  // Only the kind is kept: the check before a run names it ("Numeric join field ...").
  FieldDef* f = m->AddField(flags & kFieldKindMask);
  if (f == nullptr) return nullptr;
  if (name == nullptr) name = "";
  // A report saved with the stand-in names it so already: one prefix only.
  if (std::strncmp(name, "?_", 2) == 0) name += 2;
  std::snprintf(f->name, sizeof f->name, "?_%.127s", name);
  f->table = static_cast<uint8_t>(table);
  f->flags2 |= kField2NotInTable;
  // Never placed on the layout: it only holds the join's place.
  f->head.flags &= ~kItemKindField;
  return f;
}
