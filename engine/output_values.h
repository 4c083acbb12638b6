// Value helpers of the output: whether a field's value counts as blank, and
// copying a field's current value by its kind.
#pragma once

#include "core/fields.h"
#include "platform/win/win_types.h"

// By the field's kind: logical never; number when it equals blankNumber (the
// application's blank-number value) or +infinity; date when its day number
// is one of the three empty markers; date-time when both its day and its
// time are empty; time when its time equals blankNumber; text when empty or
// all blanks (read up to its terminator, at most 255 bytes).
int IsValueBlank(const FieldDef* field, const BYTE* value, double blankNumber);

constexpr int kTextValueSlot = 255;
