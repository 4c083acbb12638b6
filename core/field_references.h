// Compiled code names fields by their number in the field list: deleting or
// replacing a field walks every field's code to keep those numbers right.
#pragma once

#include <cstddef>
#include <cstdint>

class CKmComposite;

bool ExpressionReferencesField(const uint8_t* code, size_t length, uint32_t n);
// After field n was deleted: references above n move down by one; code that
// still references n is freed and the field is left without it.
void RenumberFieldReferences(CKmComposite* m, uint32_t n);
void ReplaceFieldReference(CKmComposite* m, uint32_t oldNumber, uint32_t newNumber);
