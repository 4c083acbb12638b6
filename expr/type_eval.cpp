// The type evaluator: runs code over descriptions instead of values, so that
// a calculated field knows its width and format before any record is read.
#include "expr/type_eval.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "expr/builtin_table.h"
#include "core/compiled_code.h"
#include "expr/number_text.h"
#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"

// ---- stack

void PushTypeCell(CKmComposite* m, const ValueCell& cell) {
  if (m->typeStackOverflow || m->typeStack == nullptr) return;
  if (m->typeStackCount >= m->typeStackCapacity) {
    m->typeStackOverflow = 1;
    return;
  }
  m->typeStack[m->typeStackCount++] = cell;
}

ValueCell PopTypeCell(CKmComposite* m) {
  if (m->typeStackOverflow || m->typeStackCount == 0) return ValueCell();
  return m->typeStack[--m->typeStackCount];
}

ValueCell* PeekTypeCell(CKmComposite* m, unsigned depth) {
  if (m->typeStackOverflow || depth >= m->typeStackCount) return nullptr;
  return &m->typeStack[m->typeStackCount - 1 - depth];
}

// ---- descriptions

void ApplyDigitRule(ValueCell* c) {
  if (c->intDigits + c->decimals > 19) {
    if (c->decimals > 2) c->decimals = 2;
    c->intDigits = static_cast<uint8_t>(19 - c->decimals);
  }
  if (c->intDigits == 0 && c->decimals == 0) c->intDigits = 1;
  c->width = static_cast<uint32_t>(c->intDigits) + c->decimals;
}

ValueCell DescribeNumber(int intDigits, int decimals) {
  ValueCell c;
  c.kind = kKindNumber;
  c.format = kFormatNumber;
  c.intDigits = static_cast<uint8_t>(intDigits < 0 ? 0 : (intDigits > 255 ? 255 : intDigits));
  c.decimals = static_cast<uint8_t>(decimals < 0 ? 0 : (decimals > 255 ? 255 : decimals));
  ApplyDigitRule(&c);
  return c;
}

ValueCell DescribeDate() {
  ValueCell c;
  c.kind = kKindDate;
  c.format = kFormatDate;
  c.width = 8;
  return c;
}

ValueCell DescribeDateTime() {
  ValueCell c;
  c.kind = kKindDateTime;
  c.format = kFormatDate;
  c.format2 = kFormat2DateTime;
  c.width = 24;
  return c;
}

ValueCell DescribeTime() {
  ValueCell c;
  c.kind = kKindTime;
  c.format = kFormatTime;
  c.format2 = kFormat2Time;
  c.width = 13;
  return c;
}

// The width of a logical value: the document's (the longer of its true and
// false texts) once the model belongs to one.
static uint32_t LogicalWidth(const CKmComposite* m) {
  const int32_t w = m->owner != nullptr ? m->owner->m_settings.logicalWidth : m->logicalWidth;
  return static_cast<uint32_t>(std::max<int32_t>(w, 1));
}

ValueCell DescribeLogical(const CKmComposite* m) {
  ValueCell c;
  c.kind = kKindLogical;
  c.format = kFormatText;
  c.width = LogicalWidth(m);
  c.intDigits = 1;
  return c;
}

ValueCell DescribeString(const CKmComposite* m, uint32_t length) {
  ValueCell c;
  c.kind = kKindString;
  c.format = kFormatText;
  if (length > m->stringWorkSize) length = m->stringWorkSize;
  c.length = c.width = length;
  return c;
}

ValueCell DescribeLongText() {
  ValueCell c;
  c.kind = kKindString;
  c.format = kFormatLongText;
  c.length = c.width = 1;
  return c;
}

int IntegerDigitsOf(double v, int decimals) {
  if (v >= 1e20) return 20;
  const std::string text = FormatFixed(v, decimals < 0 ? 0 : decimals);
  int digits = 0;
  bool leading = true;
  for (char ch : text) {
    if (ch == '.') break;
    if (ch < '0' || ch > '9') continue;
    if (leading && ch == '0') continue;
    leading = false;
    ++digits;
  }
  if (!text.empty() && text[0] == '-') ++digits;
  return digits;
}

namespace {

int Style(uint32_t format) { return static_cast<int>(format & 0xF); }

uint32_t CombineFormats(uint8_t op, uint32_t lf, uint32_t rf) {
  const int l = Style(lf), r = Style(rf);
  int s = 5;
  switch (op) {
    case OP_ADD:
    case OP_SUB:
      s = (l == r) ? l : ((l == 6 || r == 6) ? 6 : 5);
      break;
    case OP_DIV:
    case OP_POW:
      s = (l == r) ? (l == 6 ? 7 : 5) : l;
      break;
    case OP_MUL:
    case OP_PERCENT:
      if (l == r) s = (l == 7) ? 7 : 5;
      else s = (l == 6 || r == 6) ? 6 : ((l == 7 || r == 7) ? 7 : 5);
      break;
    default:
      break;
  }
  return 0x3000u | static_cast<uint32_t>(s);
}

// A logical operand of arithmetic counts as a number one digit wide.
ValueCell AsNumber(const ValueCell& c) {
  if (CellKind(c) != kKindLogical) return c;
  return DescribeNumber(1, 0);
}

ValueCell DescribeField(CKmComposite* m, const FieldDef* f) {
  ValueCell c;
  const uint32_t flags = f->flags;
  if (flags & kFieldTime) c.kind = kKindTime;
  else if (flags & kFieldDateTime) c.kind = kKindDateTime;
  else if (flags & kFieldDate) c.kind = kKindDate;
  else if (flags & kFieldLogical) c.kind = kKindLogical;
  else if (flags & kFieldNumeric) c.kind = kKindNumber;
  else c.kind = kKindString;
  c.format = f->formatCode;
  c.format2 = f->timeFormat;
  c.width = f->displayWidth;
  c.decimals = f->displayDecimals;
  if (c.kind == kKindNumber)
    c.intDigits = static_cast<uint8_t>(c.width > c.decimals ? c.width - c.decimals : 0);
  if (c.kind == kKindString) {
    if (flags & kFieldCalculation) c.length = DeclaredLength(f);
    else if (flags & kFieldItem) c.length = 0;
    else c.length = f->width < m->stringWorkSize ? f->width : m->stringWorkSize;
  }
  return c;
}

ValueCell DescribeResultType(CKmComposite* m, uint8_t resultType, bool failed) {
  switch (resultType & ~kResultLogicalBit) {
    case kResultString: return DescribeString(m, failed ? 1 : 10);
    case kResultDate: return DescribeDate();
    case kResultDateTime: return DescribeDateTime();
    case kResultTime: return DescribeTime();
    default:
      if ((resultType & kResultLogicalBit) && !failed) {
        ValueCell c = DescribeLogical(m);
        c.kind |= kKindConstant;
        return c;
      }
      return DescribeNumber(failed ? 1 : 6, 0);
  }
}

// The field's own default description; a type failure is not an error.
int32_t Fallback(CKmComposite* m, FieldDef* f) {
  const uint32_t flags = f->flags;
  f->displayDecimals = 0;
  if (flags & kFieldTime) {
    f->formatCode = kFormatTime, f->timeFormat = kFormat2Time, f->displayWidth = 13;
  } else if (flags & kFieldDateTime) {
    f->formatCode = kFormatDate, f->timeFormat = kFormat2DateTime, f->displayWidth = 24;
  } else if (flags & kFieldDate) {
    f->formatCode = kFormatDate, f->displayWidth = 8;
  } else if (flags & kFieldMemo) {
    f->formatCode = kFormatLongText, f->displayWidth = 254;
  } else if (flags & kFieldLogical) {
    f->formatCode = kFormatText, f->displayWidth = LogicalWidth(m);
  } else if (flags & kFieldNumeric) {
    f->formatCode = kFormatNumber, f->displayWidth = 1;
  } else {
    f->formatCode = kFormatText, f->displayWidth = 254;
  }
  SetDeclaredLength(f, 0);
  m->typeStackCount = 0;
  return 0;
}

// The value buffers are made again at the new length by the record pass.
void FreeValueBuffers(FieldDef* f) {
  const size_t front = (f->flags & kFieldMemo) ? kValueHeaderSize : 0;
  uint8_t* block = f->value != nullptr ? f->value - front : nullptr;
  if (f->previous != nullptr) {
    uint8_t* prev = f->previous - front;
    const size_t size = block != nullptr ? HeapBlockSize(block) : 0;
    if (block == nullptr || prev < block || prev >= block + size) HeapFreeBlock(prev);
  }
  if (block != nullptr) HeapFreeBlock(block);
  f->value = nullptr;
  f->previous = nullptr;
}

struct TypeFrame {
  uint32_t first;  // index in the type stack of the first argument
  uint32_t count;
};

}  // namespace

int32_t InferExpressionType(CKmComposite* m, const uint8_t* code, FieldDef* field) {
  if (code == nullptr || field == nullptr || (field->flags2 & kField2ValueSetElsewhere)) return 0;
  if (!m->InitEvalArea()) return Fallback(m, field);
  m->typeStackCount = 0;
  m->typeStackOverflow = 0;
  m->resultLogical = 0;
  const uint8_t* returns[kMaxUdfCalls];
  TypeFrame frames[kMaxUdfFrames];
  int calls = 0, depth = 0, slotsUsed = 0;
  bool failed = false;
  const uint8_t* pc = code;

  for (;;) {
    const uint8_t op = *pc++;
    switch (op) {
      case OP_ADD:
      case OP_SUB: {
        const ValueCell r = AsNumber(PopTypeCell(m)), l = AsNumber(PopTypeCell(m));
        ValueCell c = DescribeNumber(std::max(l.intDigits, r.intDigits) + (op == OP_ADD ? 1 : 0),
                                     std::max(l.decimals, r.decimals));
        c.format = CombineFormats(op, l.format, r.format);
        PushTypeCell(m, c);
        break;
      }
      case OP_DIV:
      case OP_POW: {
        const ValueCell r = AsNumber(PopTypeCell(m)), l = AsNumber(PopTypeCell(m));
        ValueCell c = DescribeNumber(l.intDigits, l.decimals);
        c.format = CombineFormats(op, l.format, r.format);
        PushTypeCell(m, c);
        break;
      }
      case OP_MUL:
      case OP_PERCENT: {
        const ValueCell r = AsNumber(PopTypeCell(m)), l = AsNumber(PopTypeCell(m));
        const int decimals = (l.decimals == 2 || r.decimals == 2) ? 2 : std::max(l.decimals, r.decimals);
        ValueCell c = DescribeNumber(l.intDigits + r.intDigits, decimals);
        c.format = CombineFormats(op, l.format, r.format);
        PushTypeCell(m, c);
        break;
      }
      case OP_PLUS:
        break;
      case OP_NEG: {
        ValueCell c = PopTypeCell(m);
        if (c.kind & kKindConstant) {
          c.value = -c.value;
          if (c.value < 0) {
            if (c.intDigits < 255) ++c.intDigits;
            ++c.width;
          }
        }
        PushTypeCell(m, c);
        break;
      }
      case OP_NUMBER: {
        const uint8_t points = pc[0];
        const double v = GetF64(pc + 1);
        pc += kOperandBytes<OP_NUMBER>;
        const int decimals = points == 0 ? 0 : points - 1;
        ValueCell c = DescribeNumber(IntegerDigitsOf(v, decimals), decimals);
        c.kind |= kKindConstant;
        c.value = v;
        PushTypeCell(m, c);
        break;
      }
      case OP_FIELD:
      case OP_FIELD_PREV: {
        const FieldDef* f = m->GetFieldAt(GetU32(pc));
        pc += kOperandBytes<OP_FIELD, OP_FIELD_PREV>;
        if (f == nullptr) return Fallback(m, field);
        PushTypeCell(m, DescribeField(m, f));
        break;
      }
      case OP_TABLE: {
        ValueCell c;
        c.kind = kKindTable;
        c.width = 8;
        c.value = GetU32(pc);
        pc += kOperandBytes<OP_TABLE>;
        PushTypeCell(m, c);
        break;
      }
      case OP_CALL: {
        const uint32_t word = GetU32(pc);
        m->argumentCount = pc[4];
        pc += kOperandBytes<OP_CALL>;
        const uint32_t slot = word & kCallIdMask;
        const BuiltinFunctionRecord* fn = GetBuiltinFunction(slot);
        if (slot > m->highestBuiltinSlot || fn == nullptr || fn->inferType == nullptr) return Fallback(m, field);
        m->resultLogical = (fn->resultType & kResultLogicalBit) ? 1 : 0;
        m->codePointer = pc;
        const int rc = fn->inferType(m);
        if (rc != 0) return rc;
        break;
      }
      case OP_UDF_CALL: {
        const uint32_t word = GetU32(pc);
        const uint8_t argc = pc[4];
        pc += kOperandBytes<OP_UDF_CALL>;
        UdfCallTarget target;
        if (m->findUdf == nullptr || !m->findUdf(m, word & kCallIdMask, &target)) return Fallback(m, field);
        const bool binds = !failed && calls < kMaxUdfCalls && depth < kMaxUdfFrames &&
                           slotsUsed + argc <= kMaxUdfArgSlots && m->typeStackCount >= argc;
        if (binds && target.code == nullptr) {
          for (unsigned i = 0; i < argc; ++i) PopTypeCell(m);
          PushTypeCell(m, DescribeResultType(m, target.resultType, false));
        } else if (binds) {
          frames[depth++] = TypeFrame{m->typeStackCount - argc, argc};
          slotsUsed += argc;
          returns[calls++] = pc;
          pc = target.code;
        } else {
          failed = true;
          depth = 0;
          slotsUsed = 0;
          for (unsigned i = 0; i < argc; ++i) PopTypeCell(m);
          PushTypeCell(m, DescribeResultType(m, target.resultType & ~kResultLogicalBit, true));
        }
        break;
      }
      case OP_TRUE:
      case OP_FALSE: {
        ValueCell c = DescribeLogical(m);
        c.kind |= kKindConstant;
        c.value = op == OP_TRUE ? 1.0 : 0.0;
        PushTypeCell(m, c);
        break;
      }
      case OP_EQ: case OP_NE: case OP_LE: case OP_GE: case OP_LT: case OP_GT:
      case OP_AND: case OP_OR: case OP_CONTAINS:
        PopTypeCell(m);
        PopTypeCell(m);
        PushTypeCell(m, DescribeLogical(m));
        break;
      case OP_NOT:
        PopTypeCell(m);
        PushTypeCell(m, DescribeLogical(m));
        break;
      case OP_CONCAT:
      case OP_CONCAT_TRIM: {
        const ValueCell r = PopTypeCell(m), l = PopTypeCell(m);
        ValueCell c = DescribeString(m, 0);
        const uint64_t width = static_cast<uint64_t>(l.width) + r.width;
        const uint64_t length = (l.length == 0 || r.length == 0) ? 0 : static_cast<uint64_t>(l.length) + r.length;
        c.width = static_cast<uint32_t>(width > m->stringWorkSize ? m->stringWorkSize : width);
        c.length = static_cast<uint32_t>(length > m->stringWorkSize ? m->stringWorkSize : length);
        PushTypeCell(m, c);
        break;
      }
      case OP_STRING: {
        const uint32_t n = GetU32(pc);
        const char* text = reinterpret_cast<const char*>(pc + 4);
        pc += kOperandBytes<OP_STRING> + static_cast<size_t>(n);
        const uint32_t chars = n > 0 ? n - 1 : 0;
        ValueCell c = DescribeString(m, chars < 1 ? 1 : chars);
        c.kind |= kKindConstant;
        // The text read as a number: digits before and after its point.
        const std::string s(text, chars);
        size_t i = s.find_first_not_of(' ');
        uint8_t before = 0, after = 0;
        bool point = false;
        for (; i != std::string::npos && i < s.size(); ++i) {
          const char ch = s[i];
          if (ch == '.' && !point) point = true;
          else if (ch >= '0' && ch <= '9') (point ? after : before) += (before < 250 && after < 250) ? 1 : 0;
          else break;
        }
        c.textIntDigits = before;
        c.textDecimals = after;
        c.value = std::strtod(s.c_str(), nullptr);
        PushTypeCell(m, c);
        break;
      }
      case OP_EMPTY_ARG: {
        ValueCell c;
        c.kind = kKindEmpty;
        PushTypeCell(m, c);
        break;
      }
      case OP_MERGE_FLAGS:
        break;
      case OP_EMPTY_LONGTEXT:
        PushTypeCell(m, DescribeLongText());
        break;
      case OP_DATE_DIFF:
        PopTypeCell(m);
        PopTypeCell(m);
        PushTypeCell(m, DescribeNumber(3, 0));
        break;
      case OP_DATE_ADD:
      case OP_DATE_SUB: {
        const ValueCell r = PopTypeCell(m), l = PopTypeCell(m);
        const uint32_t rk = CellKind(r);
        ValueCell c = (rk == kKindDate || rk == kKindDateTime) ? r : l;
        c.kind &= ~kKindConstant;
        PushTypeCell(m, c);
        break;
      }
      case OP_PARAM:
      case OP_PARAM_PREV: {
        const uint32_t i = GetU32(pc);
        pc += kOperandBytes<OP_PARAM, OP_PARAM_PREV>;
        if (depth == 0 || i >= frames[depth - 1].count) return Fallback(m, field);
        const uint32_t at = frames[depth - 1].first + i;
        if (at >= m->typeStackCount) return Fallback(m, field);
        PushTypeCell(m, m->typeStack[at]);
        break;
      }
      case OP_JUMP_FALSE:
      case OP_JUMP:
        pc += kOperandBytes<OP_JUMP_FALSE, OP_JUMP>;
        break;
      case OP_DATE:
        pc += kOperandBytes<OP_DATE>;
        PushTypeCell(m, DescribeDate());
        break;
      case OP_DATETIME:
        pc += kOperandBytes<OP_DATETIME>;
        PushTypeCell(m, DescribeDateTime());
        break;
      case OP_TIME:
        pc += kOperandBytes<OP_TIME>;
        PushTypeCell(m, DescribeTime());
        break;
      case OP_KEYWORD: {
        ValueCell c;
        c.kind = kKindKeyword;
        c.keywordTag = pc[0];
        c.value = pc[1];
        pc += kOperandBytes<OP_KEYWORD>;
        PushTypeCell(m, c);
        break;
      }
      case OP_END: {
        if (calls > 0) {
          pc = returns[--calls];
          if (!failed && depth > 0) {
            // The result replaces the frame's arguments.
            const TypeFrame fr = frames[--depth];
            slotsUsed -= static_cast<int>(fr.count);
            const ValueCell result = PopTypeCell(m);
            if (!m->typeStackOverflow) {
              m->typeStackCount = fr.first <= m->typeStackCount ? fr.first : m->typeStackCount;
              PushTypeCell(m, result);
            }
          }
          break;
        }
        if (m->typeStackOverflow || m->typeStackCount == 0) return Fallback(m, field);
        const ValueCell top = m->typeStack[m->typeStackCount - 1];
        field->formatCode = top.format;
        if (field->timeFormat > 0x8000) field->timeFormat = top.format2;
        field->displayDecimals = top.decimals;
        uint32_t width = top.width == 0 ? 1 : top.width;
        field->displayWidth = width > 254 ? 254 : width;
        if (top.length != DeclaredLength(field) && field->value != nullptr) FreeValueBuffers(field);
        SetDeclaredLength(field, top.length);
        m->typeStackCount = 0;
        return 0;
      }
      default:
        return Fallback(m, field);
    }
  }
}
