#include "engine/output_values.h"

#include "foundation/byte_order.h"
#include "core/composite.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

bool IsEmptyDay(DWORD day) { return day == 0x80000000u || day == 0x7FFFFFFFu || day == 0x80000001u; }

}  // namespace

int IsValueBlank(const FieldDef* field, const BYTE* value, double blankNumber) {
  if (!field || !value) return 1;
  uint32_t kind = field->flags;
  if (kind & kFieldLogical) return 0;
  if (kind & kFieldNumeric) {
    double d = GetF64(value);
    return d == blankNumber || d == std::numeric_limits<double>::infinity();
  }
  if (kind & kFieldDateTime) return IsEmptyDay(GetU32(value)) && GetF64(value + 4) == blankNumber;
  if (kind & kFieldTime) return GetF64(value + 4) == blankNumber;
  if (kind & kFieldDate) return IsEmptyDay(GetU32(value));
  for (int i = 0; i < kTextValueSlot && value[i]; ++i)
    if (value[i] != ' ') return 0;
  return 1;
}

