// The value evaluator's stack: TaggedStackValue cells in the
// model's work area. Cells are written and read with memcpy from their end:
// payload, status byte, tag byte.
#include "expr/value_eval.h"
#include "foundation/text_helpers.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "expr/builtin_table.h"
#include "core/compiled_code.h"
#include "expr/value_helpers.h"
#include "foundation/heap_strings.h"

namespace {

constexpr uint32_t kNullDay = 0x80000001u;
constexpr uint32_t kBadDay = 0x7FFFFFFFu;
constexpr uint32_t kMaxDay = 292499;
constexpr double kNull = -1.7976931348623157e308;
constexpr uint32_t kStringTrailer = 4;  // the u32 count after the characters

bool IsNumericOrLogicalField(const FieldDef* f) {
  return (f->flags & (kFieldNumeric | kFieldLogical)) != 0 &&
         (f->flags & (kFieldDate | kFieldDateTime | kFieldTime | kFieldMemo)) == 0;
}
bool IsTimeField(const FieldDef* f) { return (f->flags & kFieldTime) != 0; }
bool IsDateTimeField(const FieldDef* f) { return !IsTimeField(f) && (f->flags & kFieldDateTime) != 0; }
bool IsDateField(const FieldDef* f) {
  return !IsTimeField(f) && !IsDateTimeField(f) && (f->flags & kFieldDate) != 0;
}
bool IsMemoField(const FieldDef* f) { return (f->flags & kFieldMemo) != 0; }
bool IsTextField(const FieldDef* f) { return FieldKind(f) == 0; }

bool IsFieldTag(uint8_t tag) { return tag == kTagFieldRef || tag == kTagFieldPrevRef; }

// ---- raw cell access

bool HasRoom(CKmComposite* m, size_t bytes) {
  if (m->evalStackOverflow) return false;
  if (m->evalStackTop == nullptr ||
      static_cast<size_t>(m->evalStackLimit - m->evalStackTop) < bytes) {
    m->evalStackOverflow = 1;
    return false;
  }
  return true;
}

void PushRaw(CKmComposite* m, uint8_t tag, uint8_t status, const void* payload, size_t size) {
  if (!HasRoom(m, size + 2)) return;
  if (size != 0) std::memcpy(m->evalStackTop, payload, size);
  m->evalStackTop[size] = status;
  m->evalStackTop[size + 1] = tag;
  m->evalStackTop += size + 2;
}

uint8_t CurrentStatus(const CKmComposite* m) { return static_cast<uint8_t>(m->valueFlags); }

// Removes the top cell, ORing its status into the pending flags; false (and
// a null flag) when there is no cell to take.
bool TakeTop(CKmComposite* m, TaggedStackValue* cell) {
  if (m->evalStackOverflow) return false;
  if (!DecodeCellEndingAt(m->evalStackBase, m->evalStackTop, cell)) {
    m->valueFlags |= kValueFlagNull;
    return false;
  }
  m->evalStackTop -= cell->cellSize;
  m->valueFlags |= cell->status;
  return true;
}

double LoadF64(const uint8_t* p) {
  double v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
uint32_t LoadU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
void* LoadPtr(const uint8_t* p) {
  void* v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

FieldDef g_emptyLongText = [] {
  FieldDef f;
  f.flags = kFieldMemo;
  std::strcpy(f.name, "");
  return f;
}();

uint32_t ValidDay(CKmComposite* m, uint32_t day) {
  if (day == kNullDay || day <= kMaxDay) return day;
  m->valueFlags |= kValueFlagNull;
  return kNullDay;
}

// Length of a field's text, bounded by its storage width.
size_t FieldTextLength(const CKmComposite* m, const FieldDef* f, const uint8_t* v) {
  size_t width = m->GetFieldWidth(f);
  const void* nul = std::memchr(v, 0, width);
  return nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - v) : width;
}

}  // namespace

// ---- cells

// Payload bytes of a cell by its tag; strings are variable (0 here).
static uint32_t FixedPayloadSize(uint8_t tag) {
  switch (tag) {
    case kTagNumber:
    case kTagTime:
      return 8;
    case kTagFieldRef:
    case kTagFieldPrevRef:
    case kTagTable:
      return sizeof(void*);
    case kTagDate:
      return 4;
    case kTagDateTime:
      return 12;
    case kTagDatePart:
    case kTagTimePart:
    case kTagTimeLayout:
      return 1;
    default:
      return 0;
  }
}

static bool KnownTag(uint8_t tag) {
  switch (tag) {
    case kTagNumber: case kTagString: case kTagFieldRef: case kTagEmptyArg: case kTagDate:
    case kTagTable: case kTagFieldPrevRef: case kTagEmptyLongText: case kTagQuery:
    case kTagDateTime: case kTagTime: case kTagDatePart: case kTagTimePart: case kTagTimeLayout:
      return true;
    default:
      return false;
  }
}

bool DecodeCellEndingAt(const uint8_t* base, const uint8_t* end, TaggedStackValue* out) {
  if (base == nullptr || end == nullptr || end < base + 2) return false;
  const size_t avail = static_cast<size_t>(end - base);
  const uint8_t tag = end[-1];
  if (!KnownTag(tag)) return false;
  uint32_t payload = FixedPayloadSize(tag);
  if (tag == kTagString) {
    if (avail < 2 + kStringTrailer) return false;
    const uint32_t count = LoadU32(end - 2 - kStringTrailer);
    if (count == 0 || count > avail - 2 - kStringTrailer) return false;
    payload = count + kStringTrailer;
  }
  if (payload + 2 > avail) return false;
  out->tag = tag;
  out->status = end[-2];
  out->payloadSize = payload;
  out->cellSize = payload + 2;
  out->payload = end - out->cellSize;
  return true;
}

FieldDef* EmptyLongTextField() { return &g_emptyLongText; }

namespace {
// A value whose buffer keeps the record before in its second half (a memo's
// is read from its previous buffer when it has one).
bool KeepsPreviousInValue(const CKmComposite* m, const FieldDef* f) {
  if ((f->flags & kFieldDoubleWidth) == 0 && (m == nullptr || m->doubleWidthWord == 0)) return false;
  return !IsMemoField(f) || f->previous == nullptr;
}
}  // namespace

uint8_t FieldRefStatus(const CKmComposite* m, const FieldDef* f, bool previous) {
  if (!previous) return f->valueStatus & 7;
  // The previous value keeps its own status: for a value kept in the second
  // half of the field's buffer, in the three bits above the current ones,
  // where the record pass copied it with the value; else beside the
  // previous buffer.
  if (KeepsPreviousInValue(m, f)) return (f->valueStatus >> 3) & 7;
  return f->previousStatus & 7;
}

uint8_t* FieldValuePointer(const CKmComposite* m, const FieldDef* f, bool previous) {
  if (f == nullptr || f->value == nullptr) return nullptr;
  if (!previous) return f->value;
  // The second half before the previous buffer: a group's pass exchanges the
  // whole buffer with the previous one, and PREVIOUS then reads the record
  // before the one that ended the group.
  if (KeepsPreviousInValue(m, f)) return IsMemoField(f) ? f->value + kMemoBufferSize : f->value + m->GetFieldWidth(f);
  return f->previous;
}

// ---- pushes

void PushNumber(CKmComposite* m, double v) { PushRaw(m, kTagNumber, CurrentStatus(m), &v, 8); }

void PushNumberWithStatus(CKmComposite* m, double v, uint8_t status) {
  PushRaw(m, kTagNumber, status, &v, 8);
}

void PushString(CKmComposite* m, const char* text, size_t length) {
  if (length > m->stringWorkSize) length = m->stringWorkSize;
  const size_t cell = length + 1 + kStringTrailer + 2;
  if (!HasRoom(m, cell)) return;
  uint8_t* p = m->evalStackTop;
  if (length != 0) std::memmove(p, text, length);
  p[length] = 0;
  const uint32_t count = static_cast<uint32_t>(length + 1);
  std::memcpy(p + length + 1, &count, 4);
  p[length + 5] = CurrentStatus(m);
  p[length + 6] = kTagString;
  m->evalStackTop += cell;
}

void PushDate(CKmComposite* m, uint32_t day) { PushRaw(m, kTagDate, CurrentStatus(m), &day, 4); }

void PushDateTime(CKmComposite* m, uint32_t day, double time) {
  uint8_t b[12];
  std::memcpy(b, &day, 4);
  std::memcpy(b + 4, &time, 8);
  PushRaw(m, kTagDateTime, CurrentStatus(m), b, 12);
}

void PushTime(CKmComposite* m, double time) { PushRaw(m, kTagTime, CurrentStatus(m), &time, 8); }

void PushFieldRef(CKmComposite* m, FieldDef* field, bool previous) {
  PushRaw(m, previous ? kTagFieldPrevRef : kTagFieldRef, FieldRefStatus(m, field, previous), &field,
          sizeof field);
}

void PushKeyword(CKmComposite* m, uint8_t tag, uint8_t value) {
  PushRaw(m, tag, CurrentStatus(m), &value, 1);
}

void PushTableRef(CKmComposite* m, TableSlot* slot) {
  PushRaw(m, kTagTable, CurrentStatus(m), &slot, sizeof slot);
}

void PushCellCopy(CKmComposite* m, const TaggedStackValue& cell, uint8_t tag, uint8_t status) {
  // The source may lie in the stack itself; HasRoom keeps the copy inside it.
  if (!HasRoom(m, cell.cellSize)) return;
  std::memmove(m->evalStackTop, cell.payload, cell.payloadSize);
  m->evalStackTop[cell.payloadSize] = status;
  m->evalStackTop[cell.payloadSize + 1] = tag;
  m->evalStackTop += cell.cellSize;
}

void PushQueryMarker(CKmComposite* m) { PushRaw(m, kTagQuery, CurrentStatus(m), nullptr, 0); }
void PushEmptyArgument(CKmComposite* m) { PushRaw(m, kTagEmptyArg, 0, nullptr, 0); }
void PushEmptyLongText(CKmComposite* m) { PushRaw(m, kTagEmptyLongText, 0, nullptr, 0); }

// ---- pops

double PopNumber(CKmComposite* m) {
  // The common case first: a number cell on top.
  uint8_t* top = m->evalStackTop;
  if (!m->evalStackOverflow && top != nullptr && top - m->evalStackBase >= 10 && top[-1] == kTagNumber) {
    const uint8_t status = top[-2];
    m->evalStackTop = top - 10;
    m->valueFlags |= status;
    if (status != 0) return 0.0;
    const double v = LoadF64(top - 10);
    if (v == kNull) {
      m->valueFlags |= kValueFlagNull;
      return 0.0;
    }
    return v;
  }
  TaggedStackValue c;
  if (!TakeTop(m, &c)) return 0.0;
  if (c.status != 0) return 0.0;
  double v = 0.0;
  if (c.tag == kTagNumber) {
    v = LoadF64(c.payload);
  } else if (IsFieldTag(c.tag)) {
    const FieldDef* f = static_cast<const FieldDef*>(LoadPtr(c.payload));
    const uint8_t* p = FieldValuePointer(m, f, c.tag == kTagFieldPrevRef);
    if (p == nullptr) {
      m->valueFlags |= kValueFlagNull;
      return 0.0;
    }
    if (f->flags & kFieldLogical) return p[0] != 0 ? 1.0 : 0.0;
    if (IsNumericOrLogicalField(f)) v = LoadF64(p);
  }
  if (v == kNull) {
    m->valueFlags |= kValueFlagNull;
    return 0.0;
  }
  return v;
}

int64_t PopRoundedInt(CKmComposite* m) {
  const double r = std::floor(PopNumber(m) + 0.5);
  if (std::isnan(r)) return 0;
  if (r >= 9.2233720368547758e18) return std::numeric_limits<int64_t>::max();
  if (r <= -9.2233720368547758e18) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(r);
}

size_t PopString(CKmComposite* m, char* buffer, size_t capacity) {
  if (capacity == 0) return 0;
  buffer[0] = 0;
  TaggedStackValue c;
  if (!TakeTop(m, &c) || c.status != 0) return 0;
  const char* src = nullptr;
  size_t n = 0;
  if (c.tag == kTagString) {
    src = reinterpret_cast<const char*>(c.payload);
    n = c.payloadSize - kStringTrailer - 1;
  } else if (IsFieldTag(c.tag)) {
    const FieldDef* f = static_cast<const FieldDef*>(LoadPtr(c.payload));
    const uint8_t* p = FieldValuePointer(m, f, c.tag == kTagFieldPrevRef);
    if (p == nullptr) {
      if (f != &g_emptyLongText) m->valueFlags |= kValueFlagNull;
      return 0;
    }
    if (IsTextField(f) || IsMemoField(f)) {
      src = reinterpret_cast<const char*>(p);
      n = FieldTextLength(m, f, p);
    }
  }
  if (src == nullptr) return 0;
  if (n > capacity - 1) n = capacity - 1;
  std::memmove(buffer, src, n);
  buffer[n] = 0;
  return n;
}

uint32_t PopDate(CKmComposite* m) {
  TaggedStackValue c;
  if (!TakeTop(m, &c)) return kNullDay;
  if (c.status != 0) return 0;
  uint32_t day = kNullDay;
  if (c.tag == kTagDate || c.tag == kTagDateTime) {
    day = LoadU32(c.payload);
  } else if (IsFieldTag(c.tag)) {
    const FieldDef* f = static_cast<const FieldDef*>(LoadPtr(c.payload));
    const uint8_t* p = FieldValuePointer(m, f, c.tag == kTagFieldPrevRef);
    if (p != nullptr && (IsDateField(f) || IsDateTimeField(f))) day = LoadU32(p);
  }
  return ValidDay(m, day);
}

void PopDateTime(CKmComposite* m, uint32_t* day, double* time) {
  *day = kNullDay;
  *time = kNull;
  TaggedStackValue c;
  if (!TakeTop(m, &c)) return;
  if (c.status != 0) {
    *day = 0;
    *time = 0.0;
    return;
  }
  const uint8_t* p = nullptr;
  bool isDate = false, isDateTime = false, isTime = false;
  if (c.tag == kTagDate) {
    p = c.payload, isDate = true;
  } else if (c.tag == kTagDateTime) {
    p = c.payload, isDateTime = true;
  } else if (c.tag == kTagTime) {
    isTime = true;
    *time = LoadF64(c.payload);
  } else if (IsFieldTag(c.tag)) {
    const FieldDef* f = static_cast<const FieldDef*>(LoadPtr(c.payload));
    p = FieldValuePointer(m, f, c.tag == kTagFieldPrevRef);
    if (p == nullptr) return;
    if (IsTimeField(f)) {
      isTime = true;
      *time = LoadF64(p + 4);
    } else if (IsDateTimeField(f)) {
      isDateTime = true;
    } else if (IsDateField(f)) {
      isDate = true;
    }
  }
  if (isDate) {
    *day = ValidDay(m, LoadU32(p));
    *time = (*day == kNullDay) ? kNull : 0.0;
  } else if (isDateTime) {
    *day = ValidDay(m, LoadU32(p));
    *time = LoadF64(p + 4);
  } else if (isTime) {
    *day = (*time == kNull) ? kNullDay : 0;
  }
}

double PopTime(CKmComposite* m) {
  TaggedStackValue c;
  if (!TakeTop(m, &c) || c.status != 0) return 0.0;
  double t = kNull;
  if (c.tag == kTagTime) {
    t = LoadF64(c.payload);
  } else if (c.tag == kTagDateTime) {
    t = LoadF64(c.payload + 4);
  } else if (IsFieldTag(c.tag)) {
    const FieldDef* f = static_cast<const FieldDef*>(LoadPtr(c.payload));
    const uint8_t* p = FieldValuePointer(m, f, c.tag == kTagFieldPrevRef);
    if (p != nullptr && (IsTimeField(f) || IsDateTimeField(f))) t = LoadF64(p + 4);
  }
  if (t == kNull) return t;
  if (!(t >= 0.0) || std::isinf(t)) {
    m->valueFlags |= kValueFlagNull;
    return 0.0;
  }
  return t;
}

FieldDef* PopFieldRef(CKmComposite* m, bool* previous) {
  if (previous) *previous = false;
  TaggedStackValue c;
  if (!TakeTop(m, &c)) return &g_emptyLongText;
  if (c.tag == kTagEmptyLongText) return &g_emptyLongText;
  if (!IsFieldTag(c.tag)) return &g_emptyLongText;
  if (previous) *previous = (c.tag == kTagFieldPrevRef);
  return static_cast<FieldDef*>(LoadPtr(c.payload));
}

uint8_t PopKeyword(CKmComposite* m, uint8_t* tag) {
  if (tag) *tag = 0;
  TaggedStackValue c;
  if (!TakeTop(m, &c)) return 0;
  if (c.tag != kTagDatePart && c.tag != kTagTimePart && c.tag != kTagTimeLayout) return 0;
  if (tag) *tag = c.tag;
  return c.payload[0];
}

TableSlot* PopTableRef(CKmComposite* m) {
  TaggedStackValue c;
  if (!TakeTop(m, &c) || c.tag != kTagTable) return nullptr;
  return static_cast<TableSlot*>(LoadPtr(c.payload));
}

bool DropEmptyArgument(CKmComposite* m) {
  if (TopTag(m) != kTagEmptyArg) return false;
  TaggedStackValue c;
  TakeTop(m, &c);
  return true;
}

void DropCell(CKmComposite* m) {
  TaggedStackValue c;
  TakeTop(m, &c);
}

// ---- tests

bool PeekCell(const CKmComposite* m, unsigned depth, TaggedStackValue* out) {
  if (m->evalStackOverflow) return false;
  const uint8_t* end = m->evalStackTop;
  for (unsigned i = 0;; ++i) {
    if (!DecodeCellEndingAt(m->evalStackBase, end, out)) return false;
    if (i == depth) return true;
    end -= out->cellSize;
  }
}

uint8_t TopTag(const CKmComposite* m) {
  TaggedStackValue c;
  return PeekCell(m, 0, &c) ? c.tag : 0;
}

static const FieldDef* TopField(const CKmComposite* m) {
  TaggedStackValue c;
  if (!PeekCell(m, 0, &c) || !IsFieldTag(c.tag)) return nullptr;
  return static_cast<const FieldDef*>(LoadPtr(c.payload));
}

bool TopIsNumber(const CKmComposite* m) {
  if (TopTag(m) == kTagNumber) return true;
  const FieldDef* f = TopField(m);
  return f != nullptr && IsNumericOrLogicalField(f);
}

bool TopIsString(const CKmComposite* m) {
  if (TopTag(m) == kTagString) return true;
  const FieldDef* f = TopField(m);
  return f != nullptr && IsTextField(f);
}

bool TopIsDate(const CKmComposite* m) {
  if (TopTag(m) == kTagDate) return true;
  const FieldDef* f = TopField(m);
  return f != nullptr && (IsDateField(f) || IsDateTimeField(f));
}

bool TopIsDateOrTime(const CKmComposite* m) {
  const uint8_t t = TopTag(m);
  if (t == kTagDate || t == kTagDateTime || t == kTagTime) return true;
  const FieldDef* f = TopField(m);
  return f != nullptr && (IsDateField(f) || IsDateTimeField(f) || IsTimeField(f));
}

bool TopIsTime(const CKmComposite* m) {
  if (TopTag(m) == kTagTime) return true;
  const FieldDef* f = TopField(m);
  return f != nullptr && (IsTimeField(f) || IsDateTimeField(f));
}

void RotateStack(CKmComposite* m, unsigned n) {
  if (n == 0 || m->evalStackOverflow || m->rotateBuffer == nullptr) return;
  TaggedStackValue c;
  if (!PeekCell(m, n, &c)) return;
  // The cell moves through a buffer sized for the largest cell, and the cells
  // above it slide down over its place.
  uint8_t* start = const_cast<uint8_t*>(c.payload);
  const size_t size = c.cellSize;
  std::memcpy(m->rotateBuffer, start, size);
  const size_t above = static_cast<size_t>(m->evalStackTop - (start + size));
  std::memmove(start, start + size, above);
  std::memcpy(start + above, m->rotateBuffer, size);
}

// ---- comparisons

char* PadToBlanks(const CKmComposite* m, char* text) {
  return PadCharsToBlanks(text, static_cast<unsigned char>(m->SpaceDotChar));
}

size_t CutTrailingBlanks(char* text, size_t length) {
  while (length > 0 && text[length - 1] == ' ') --length;
  text[length] = 0;
  return length;
}

namespace {
struct FoldTable {
  unsigned char map[256];
  constexpr FoldTable() : map() {
    for (int c = 0; c < 256; ++c) {
      int f = c;
      if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) f = c + 32;
      else if (c == 0x8A || c == 0x8C || c == 0x8E) f = c + 16;
      else if (c == 0x9F) f = 0xFF;
      map[c] = static_cast<unsigned char>(f);
    }
  }
};
constexpr FoldTable kFold;
}  // namespace

const unsigned char kTextFoldMap[256] = {
#define F(i) kFold.map[i]
#define F8(i) F(i), F(i + 1), F(i + 2), F(i + 3), F(i + 4), F(i + 5), F(i + 6), F(i + 7)
#define F64(i) F8(i), F8(i + 8), F8(i + 16), F8(i + 24), F8(i + 32), F8(i + 40), F8(i + 48), F8(i + 56)
    F64(0), F64(64), F64(128), F64(192)
#undef F64
#undef F8
#undef F
};

int CompareTextWithModel(CKmComposite* m, const char* a, const char* b) {
  if (m->compareText != nullptr) return m->compareText(m, a, b, m->IdenticalCompare, m->CompareCaseCombined);
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  if (!m->CompareCaseCombined) return std::strcmp(a, b);
  for (;; ++x, ++y) {
    const unsigned char p = FoldTextCase(*x), q = FoldTextCase(*y);
    if (p != q) return p < q ? -1 : 1;
    if (p == 0) return 0;
  }
}

int CompareNumbersWithTolerance(const CKmComposite* m, double a, double b) {
  if (a == kNull) a = 0.0;
  if (b == kNull) b = 0.0;
  const double d = a - b;
  if (d == 0.0) return 0;
  if (!m->exactNumbers) {
    if (m->floatTolerance >= 1) {
      // Distance in units of the last place, without signed overflow; doubles
      // of different sign are never within the tolerance.
      const uint64_t ba = DoubleBits(a), bb = DoubleBits(b);
      if ((ba >> 63) == (bb >> 63)) {
        const uint64_t diff = ba > bb ? ba - bb : bb - ba;
        if (diff < static_cast<uint64_t>(m->floatTolerance)) return 0;
      }
    } else if (m->floatTolerance < 0) {
      const double scale = std::fmax(std::fabs(a), std::fabs(b));
      if (scale > 0.0 && std::fabs(d) / scale < m->toleranceRatio) return 0;
    }
  }
  return d >= 0.0 ? 1 : -1;
}

namespace {

bool IsLongTextCell(const CKmComposite* m, unsigned depth) {
  TaggedStackValue c;
  if (!PeekCell(m, depth, &c)) return false;
  if (c.tag == kTagEmptyLongText) return true;
  if (!IsFieldTag(c.tag)) return false;
  return IsMemoField(static_cast<const FieldDef*>(LoadPtr(c.payload)));
}

size_t PopCleanString(CKmComposite* m, char* buffer) {
  size_t n = PopString(m, buffer, m->stringWorkSize + 1);
  PadToBlanks(m, buffer);
  return CutTrailingBlanks(buffer, n);
}

int CompareDays(const CKmComposite* m, uint32_t a, uint32_t b) {
  if (a == b) return 0;
  if (a == kNullDay || b == kNullDay) {
    const int nullSide = m->nullOrdering > 0 ? 1 : -1;
    return a == kNullDay ? nullSide : -nullSide;
  }
  const int64_t d = static_cast<int64_t>(static_cast<int32_t>(a)) - static_cast<int32_t>(b);
  return d < 0 ? -1 : 1;
}

}  // namespace

bool ComparisonHolds(uint8_t op, int c) {
  switch (op) {
    case OP_EQ: return c == 0;
    case OP_NE: return c != 0;
    case OP_LE: return c <= 0;
    case OP_GE: return c >= 0;
    case OP_LT: return c < 0;
    case OP_GT: return c > 0;
    default: return false;
  }
}

void ApplyComparison(CKmComposite* m, uint8_t op) {
  int c = 0;
  if (TopIsNumber(m)) {
    const double r = PopNumber(m);
    const double l = PopNumber(m);
    c = CompareNumbersWithTolerance(m, l, r);
  } else if (TopIsString(m) || IsLongTextCell(m, 0)) {
    if ((op == OP_EQ || op == OP_NE) && IsLongTextCell(m, 1) && m->matchLongText != nullptr) {
      char* r = m->stringWork2;
      PopString(m, r, m->stringWorkSize + 1);
      PadToBlanks(m, r);
      bool previous = false;
      FieldDef* memo = PopFieldRef(m, &previous);
      c = m->matchLongText(m, r, memo, previous) ? 0 : 1;
    } else {
      PopCleanString(m, m->stringWork2);
      PopCleanString(m, m->stringWork1);
      c = CompareTextWithModel(m, m->stringWork1, m->stringWork2);
    }
  } else if (TopIsDateOrTime(m)) {
    uint32_t rd, ld;
    double rt, lt;
    PopDateTime(m, &rd, &rt);
    PopDateTime(m, &ld, &lt);
    if (op == OP_EQ || op == OP_NE) {
      const bool ln = ld == kNullDay && lt == kNull, rn = rd == kNullDay && rt == kNull;
      if (ln || rn) {
        c = (ln && rn) ? 0 : (ln ? -1 : 1);
      } else {
        c = CompareDays(m, ld, rd);
        if (c == 0) c = CompareNumbersWithTolerance(m, lt, rt);
      }
    } else {
      c = CompareDays(m, ld, rd);
      if (c == 0) c = CompareNumbersWithTolerance(m, lt, rt);
    }
  } else {
    uint32_t r = PopDate(m), l = PopDate(m);
    if (r == kNullDay) r = 0;
    if (l == kNullDay) l = 0;
    const int32_t a = static_cast<int32_t>(l), b = static_cast<int32_t>(r);
    c = a < b ? -1 : (a > b ? 1 : 0);
  }
  PushNumber(m, ComparisonHolds(op, c) ? 1.0 : 0.0);
  m->resultLogical = 1;
}
