// The stand-in for a join's linking field that its table no longer has.
#pragma once

#include <cstdint>

class CKmComposite;
struct FieldDef;

// A field named "?_" and up to 127 characters of name, of the kind that
// flags give, in the table, marked as no longer in its table; null when
// memory runs out.
FieldDef* AddPlaceholderField(CKmComposite* m, uint32_t flags, const char* name, uint32_t table);
