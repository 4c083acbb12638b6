#include "expr/functions_common.h"
#include "foundation/text_helpers.h"

#include "expr/calendar.h"
#include "expr/collation.h"
#include "expr/type_eval.h"
#include "expr/value_eval.h"
#include "core/composite.h"

#include <algorithm>
#include <cstring>

BuiltinDocumentState& ActiveBuiltinDocument() {
  static BuiltinDocumentState state;
  return state;
}

void InstallBuiltinFunctionHandlers() {
  InstallNumericFunctions();
  InstallStringFunctions();
  InstallFlipTransformFunctions();
  InstallDateFunctions();
}

// ---------------------------------------------------------------------------
ValueClass ClassOfTop(const CKmComposite* m) {
  if (TopIsNumber(m)) return ValueClass::Number;
  if (TopIsString(m)) return ValueClass::String;
  switch (TopTag(m)) {
    case kTagDate: return ValueClass::Date;
    case kTagDateTime: return ValueClass::DateTime;
    case kTagTime: return ValueClass::Time;
    case kTagFieldRef:
    case kTagFieldPrevRef: {
      TaggedStackValue c;
      if (PeekCell(m, 0, &c)) {
        FieldDef* f;
        std::memcpy(&f, c.payload, sizeof f);
        if (f->flags & kFieldTime) return ValueClass::Time;
        if (f->flags & kFieldDateTime) return ValueClass::DateTime;
        if (f->flags & kFieldDate) return ValueClass::Date;
      }
      return ValueClass::Other;
    }
    default:
      return ValueClass::Other;
  }
}

PoppedValue PopByClass(CKmComposite* m, ValueClass cls) {
  PoppedValue v;
  v.cls = cls;
  switch (cls) {
    case ValueClass::Number:
      v.number = PopNumber(m);
      break;
    case ValueClass::String: {
      size_t n = PopTextPadToBlank(m, m->stringScratch);
      n = CutTrailingBlanks(m->stringScratch, n);
      v.text.assign(m->stringScratch, n);
      break;
    }
    case ValueClass::Date:
      v.day = PopDate(m);
      break;
    case ValueClass::DateTime:
    case ValueClass::Time:
      PopDateTime(m, &v.day, &v.time);
      break;
    case ValueClass::Other:
      if (TopTag(m) == kTagFieldRef || TopTag(m) == kTagFieldPrevRef || TopTag(m) == kTagEmptyLongText) {
        v.field = PopFieldRef(m, &v.previous);
      } else {
        v.day = PopDate(m);
        v.cls = ValueClass::Date;
      }
      break;
  }
  return v;
}

void PushPopped(CKmComposite* m, const PoppedValue& v) {
  switch (v.cls) {
    case ValueClass::Number: PushNumber(m, v.number); break;
    case ValueClass::String: PushString(m, v.text.data(), v.text.size()); break;
    case ValueClass::Date: PushDate(m, v.day); break;
    case ValueClass::DateTime: PushDateTime(m, v.day, v.time); break;
    case ValueClass::Time: PushTime(m, v.time); break;
    case ValueClass::Other:
      if (v.field) PushFieldRef(m, v.field, v.previous);
      else PushEmptyLongText(m);
      break;
  }
}

namespace {
// Days first, then times; a null day sorts by the model's null ordering.
int CompareDateTimes(const CKmComposite* m, uint32_t da, double ta, uint32_t db, double tb) {
  const bool na = da == EmptyDate, nb = db == EmptyDate;
  if (na || nb) {
    if (na && nb) return 0;
    int nullSide = m->nullOrdering > 0 ? 1 : -1;
    return na ? nullSide : -nullSide;
  }
  int32_t a = static_cast<int32_t>(da), b = static_cast<int32_t>(db);
  if (a != b) return a < b ? -1 : 1;
  if (ta != tb) return ta < tb ? -1 : 1;
  return 0;
}
}  // namespace

int CompareValues(CKmComposite* m, const PoppedValue& a, const PoppedValue& b) {
  switch (a.cls) {
    case ValueClass::Number:
      return a.number < b.number ? -1 : a.number > b.number ? 1 : 0;
    case ValueClass::String:
      return CompareTextWithModel(m, a.text.c_str(), b.text.c_str());
    case ValueClass::DateTime:
    case ValueClass::Time:
      return CompareDateTimes(m, a.day, a.time, b.day, b.time);
    case ValueClass::Date:
      return CompareDateTimes(m, a.day, 0, b.day, 0);
    case ValueClass::Other:
      return a.field == b.field ? 0 : 1;
  }
  return 0;
}

bool EqualValues(CKmComposite* m, const PoppedValue& a, const PoppedValue& b) {
  if (a.cls == ValueClass::Number) return CompareNumbersWithTolerance(m, a.number, b.number) == 0;
  return CompareValues(m, a, b) == 0;
}

// ---------------------------------------------------------------------------
size_t PopText(CKmComposite* m, char* buffer) { return PopString(m, buffer, m->stringWorkSize + 1); }

size_t PopTextPadToBlank(CKmComposite* m, char* buffer) {
  const size_t n = PopText(m, buffer);
  PadCharsToBlanks(buffer, static_cast<unsigned char>(m->SpaceDotChar));
  return n;
}

size_t TrimText(const CKmComposite* m, char* text, size_t length) {
  text[length] = 0;
  return TrimTrailing(text, static_cast<unsigned char>(m->SpaceDotChar));
}

void PushText(CKmComposite* m, const char* text) { PushString(m, text, std::strlen(text)); }

void SetErrorFlag(CKmComposite* m) { m->valueFlags |= kValueFlagNull; }

int64_t PopRoundedClamped(CKmComposite* m, int64_t lo, int64_t hi) {
  return std::max(lo, std::min(hi, PopRoundedInt(m)));
}

double PopOptionalNumber(CKmComposite* m, double defaultValue, bool* given) {
  if (DropEmptyArgument(m)) {
    if (given) *given = false;
    return defaultValue;
  }
  if (given) *given = true;
  return PopNumber(m);
}

// ---------------------------------------------------------------------------
void PushNumberCell(CKmComposite* m, int intDigits, int decimals, uint32_t format) {
  ValueCell c = DescribeNumber(intDigits, decimals);
  c.format = format;
  PushTypeCell(m, c);
}

void PushStringCell(CKmComposite* m, uint32_t width, uint32_t length) {
  ValueCell c = DescribeString(m, width);
  c.length = std::min(length, m->stringWorkSize);
  PushTypeCell(m, c);
}

void PushLogicalCell(CKmComposite* m) { PushTypeCell(m, DescribeLogical(m)); }

void DropTypeCells(CKmComposite* m, unsigned n) {
  for (unsigned i = 0; i < n; ++i) PopTypeCell(m);
}

int LogicalTypeHandler(CKmComposite* m) {
  DropTypeCells(m, m->argumentCount);
  PushLogicalCell(m);
  return 0;
}

int DigitsOfWidth(uint32_t w) { return w < 10 ? 1 : w < 100 ? 2 : 3; }

uint32_t CombineNumberFormats(uint32_t a, uint32_t b) {
  uint32_t sa = a & 0xF, sb = b & 0xF;
  uint32_t r;
  if (sa == sb) r = sa;
  else r = (sa == 6 || sb == 6) ? 6 : 5;
  return 0x3000 | r;
}
