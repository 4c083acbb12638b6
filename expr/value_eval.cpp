// The value evaluator: runs one CompiledCode over the current field values
// and writes the result into the caller's buffer.
#include "expr/value_eval.h"

#include <cmath>
#include <cstring>
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
constexpr uint32_t kUdfCallBudget = 1000000;
constexpr uint32_t kIncludeAllRecordsId = 1239;

void* CellPointer(const TaggedStackValue& c) {
  void* p;
  std::memcpy(&p, c.payload, sizeof p);
  return p;
}

bool IsFieldTag(uint8_t tag) { return tag == kTagFieldRef || tag == kTagFieldPrevRef; }

// Literals carry no pending flags of their own.
template <typename F>
void PushLiteral(CKmComposite* m, F push) {
  const uint32_t saved = m->valueFlags;
  m->valueFlags = 0;
  push();
  m->valueFlags = saved;
}

void PushArithmetic(CKmComposite* m, double v) {
  if (std::isnan(v)) {
    // Set before the push so that the cell itself is marked.
    m->valueFlags |= kValueFlagNull;
    v = 0.0;
  }
  PushNumber(m, v);
}

// Days moved by n; anything outside the calendar is the invalid date.
uint32_t MoveDay(uint32_t day, double n) {
  if (std::isnan(n)) n = 0.0;
  n = std::trunc(n);
  if (n > 1e9) n = 1e9;
  if (n < -1e9) n = -1e9;
  const int64_t r = static_cast<int64_t>(day) + static_cast<int64_t>(n);
  if (r < 0 || r > kMaxDay) return kBadDay;
  return static_cast<uint32_t>(r);
}

// The IIF condition: false for 0 or the null number, an empty text, a null
// date, an empty long text.
bool PopCondition(CKmComposite* m) {
  TaggedStackValue c;
  if (!PeekCell(m, 0, &c)) {
    DropCell(m);
    return false;
  }
  if (c.tag == kTagString || (IsFieldTag(c.tag) && (FieldKind(static_cast<FieldDef*>(CellPointer(c))) == 0 ||
                                                     FieldKind(static_cast<FieldDef*>(CellPointer(c))) == kFieldMemo)) ||
      c.tag == kTagEmptyLongText) {
    if (c.tag == kTagEmptyLongText) {
      DropCell(m);
      return false;
    }
    size_t n = PopString(m, m->stringWork1, m->stringWorkSize + 1);
    PadToBlanks(m, m->stringWork1);
    return CutTrailingBlanks(m->stringWork1, n) != 0;
  }
  if (TopIsDateOrTime(m) && !TopIsTime(m)) {
    uint32_t day;
    double time;
    PopDateTime(m, &day, &time);
    return day != kNullDay;
  }
  if (c.tag == kTagTime) {
    const double t = PopTime(m);
    return t != kNull;
  }
  // The null number is a false condition, not a missing value.
  const uint8_t* raw = nullptr;
  if (c.tag == kTagNumber) {
    raw = c.payload;
  } else if (IsFieldTag(c.tag)) {
    const FieldDef* f = static_cast<const FieldDef*>(CellPointer(c));
    if ((f->flags & kFieldNumeric) && !(f->flags & kFieldLogical)) raw = FieldValuePointer(m, f, c.tag == kTagFieldPrevRef);
  }
  if (raw != nullptr && c.status == 0) {
    double v;
    std::memcpy(&v, raw, 8);
    if (v == kNull) {
      DropCell(m);
      return false;
    }
  }
  return PopNumber(m) != 0.0;
}

// The built-in comparison over a length, as CompareTextWithModel would judge
// two texts of that length: bytes, or with case folded.
bool EqualSpan(const char* a, const char* b, size_t n, bool casefold) {
  if (!casefold) return std::memcmp(a, b, n) == 0;
  for (size_t i = 0; i < n; ++i)
    if (FoldTextCase(static_cast<unsigned char>(a[i])) != FoldTextCase(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// Zero value of a user function's result type, marked in error.
void PushFailedCall(CKmComposite* m, uint8_t resultType) {
  const uint32_t saved = m->valueFlags;
  m->valueFlags |= kValueFlagNull;
  switch (resultType & ~0x40) {
    case 4: PushString(m, "", 0); break;
    case 7: PushDate(m, 0); break;
    case 22: PushDateTime(m, 0, 0.0); break;
    case 23: PushTime(m, 0.0); break;
    default: PushNumber(m, 0.0); break;
  }
  m->valueFlags = saved;
  m->resultLogical = (resultType & 0x40) ? 1 : 0;
}

// Binds an argument frame over the top n cells; false when the limits are
// reached or the cells are not there.
bool BindFrame(CKmComposite* m, unsigned n, bool logical) {
  if (m->frameDepth >= kMaxUdfFrames || n > 0x7F) return false;
  if (m->frameSlotsUsed + static_cast<int32_t>(n) > kMaxUdfArgSlots) return false;
  uint8_t* end = m->evalStackTop;
  const int32_t first = m->frameSlotsUsed;
  for (int i = static_cast<int>(n) - 1; i >= 0; --i) {
    TaggedStackValue c;
    if (!DecodeCellEndingAt(m->evalStackBase, end, &c)) return false;
    m->frameSlots[first + i] = end;
    end -= c.cellSize;
  }
  m->frameBase[m->frameDepth] = end;
  m->frameTable[m->frameDepth] = static_cast<uint8_t>(n | (logical ? 0x80 : 0));
  m->frameDepth++;
  m->frameSlotsUsed += static_cast<int32_t>(n);
  m->currentFrame = first;
  return true;
}

// Moves the result over the frame's arguments and removes the frame.
void ReturnFromFrame(CKmComposite* m) {
  const int32_t depth = m->frameDepth - 1;
  const uint8_t record = m->frameTable[depth];
  uint8_t* base = m->frameBase[depth];
  TaggedStackValue c;
  if (!m->evalStackOverflow && DecodeCellEndingAt(m->evalStackBase, m->evalStackTop, &c) &&
      c.payload >= base) {
    std::memmove(base, c.payload, c.cellSize);
    m->evalStackTop = base + c.cellSize;
  }
  m->resultLogical = (record & 0x80) ? 1 : 0;
  m->frameDepth = depth;
  m->frameSlotsUsed -= record & 0x7F;
  m->currentFrame = depth > 0 ? m->frameSlotsUsed - (m->frameTable[depth - 1] & 0x7F) : -1;
}

// The argument cell i of the current frame.
bool FrameArgument(const CKmComposite* m, uint32_t i, TaggedStackValue* out) {
  if (m->frameDepth == 0) return false;
  const uint32_t count = m->frameTable[m->frameDepth - 1] & 0x7F;
  if (i >= count) return false;
  return DecodeCellEndingAt(m->evalStackBase, m->frameSlots[m->currentFrame + i], out);
}

void WriteZero(void* result, uint8_t tag, const FieldDef* f, bool logical) {
  uint8_t* out = static_cast<uint8_t*>(result);
  if (tag == kTagString || tag == kTagQuery || (f != nullptr && FieldKind(f) == 0)) {
    out[0] = 0;
  } else if (logical || (f != nullptr && (f->flags & kFieldLogical))) {
    out[0] = 0;
  } else if (tag == kTagDate || (f != nullptr && FieldKind(f) == kFieldDate)) {
    std::memset(out, 0, 4);
  } else if (tag == kTagNumber || (f != nullptr && (f->flags & kFieldNumeric))) {
    std::memset(out, 0, 8);
  } else if (f != nullptr && (f->flags & kFieldMemo)) {
    out[0] = 0;
  } else {
    std::memset(out, 0, 12);
  }
}

int32_t WriteText(CKmComposite* m, void* result, uint32_t size, const char* text, size_t n) {
  char* out = static_cast<char*>(result);
  int32_t rc = kEvalOk;
  if (n > size) {
    n = size;
    rc = kEvalStringCut;
  }
  std::memmove(out, text, n);
  out[n] = 0;
  return rc;
}

int32_t WriteResult(CKmComposite* m, void* result, uint32_t size, int32_t* previousLongText) {
  uint8_t* out = static_cast<uint8_t*>(result);
  TaggedStackValue c;
  if (!DecodeCellEndingAt(m->evalStackBase, m->evalStackTop, &c)) {
    m->valueFlags |= kValueFlagNull;
    std::memset(out, 0, 8);
    return kEvalOk;
  }
  // Writing takes the cell like a pop: its status joins the pending flags.
  m->valueFlags |= c.status;
  FieldDef* f = nullptr;
  bool previous = false;
  if (c.tag == kTagEmptyLongText) {
    f = EmptyLongTextField();
  } else if (IsFieldTag(c.tag)) {
    f = static_cast<FieldDef*>(CellPointer(c));
    previous = c.tag == kTagFieldPrevRef;
  }
  const bool logical = m->lastResultLogical != 0 || (f != nullptr && (f->flags & kFieldLogical));
  if (f != nullptr && FieldValuePointer(m, f, previous) == nullptr && f != EmptyLongTextField())
    m->valueFlags |= kValueFlagNull;
  if (m->valueFlags != 0) {
    WriteZero(out, c.tag, f, logical);
    return kEvalOk;
  }
  if (f != nullptr) {
    const uint8_t* v = FieldValuePointer(m, f, previous);
    const uint32_t kind = FieldKind(f);
    if (f->flags & kFieldLogical) {
      out[0] = (v[0] != 0) ? 1 : 0;
      m->lastResultLogical = 1;
    } else if (f->flags & kFieldMemo) {
      // The text itself, bounded by the caller's size: the caller's buffer
      // need not be a memo buffer with a header in front.
      if (previousLongText != nullptr && previous) *previousLongText = 1;
      if (v == nullptr) {
        out[0] = 0;
        return kEvalOk;
      }
      const size_t width = m->GetFieldWidth(f);
      const void* nul = std::memchr(v, 0, width);
      const size_t n = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - v) : width;
      return WriteText(m, out, size, reinterpret_cast<const char*>(v), n);
    } else if (f->flags & kFieldTime) {
      std::memcpy(out + 4, v + 4, 8);
    } else if (f->flags & kFieldDateTime) {
      std::memcpy(out, v, 12);
    } else if (f->flags & kFieldDate) {
      std::memcpy(out, v, 4);
    } else if (f->flags & kFieldNumeric) {
      std::memcpy(out, v, 8);
    } else if (kind == 0) {
      const size_t width = m->GetFieldWidth(f);
      const void* nul = std::memchr(v, 0, width);
      const size_t n = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - v) : width;
      return WriteText(m, out, size, reinterpret_cast<const char*>(v), n);
    }
    return kEvalOk;
  }
  switch (c.tag) {
    case kTagQuery: {
      std::string text;
      if (m->describeFilter == nullptr || !m->describeFilter(m, &text)) {
        text = GetResString(kIncludeAllRecordsId, 0);
      }
      return WriteText(m, out, size, text.data(), text.size());
    }
    case kTagString:
      return WriteText(m, out, size, reinterpret_cast<const char*>(c.payload), c.payloadSize - 5);
    case kTagDate:
      std::memcpy(out, c.payload, 4);
      return kEvalOk;
    case kTagDateTime:
      std::memcpy(out, c.payload, 12);
      return kEvalOk;
    case kTagTime:
      std::memcpy(out + 4, c.payload, 8);
      return kEvalOk;
    case kTagNumber:
      if (m->lastResultLogical) {
        double v;
        std::memcpy(&v, c.payload, 8);
        out[0] = v != 0.0 ? 1 : 0;
      } else {
        std::memcpy(out, c.payload, 8);
      }
      return kEvalOk;
    default:
      // Markers and keywords are never results of well-formed code.
      m->valueFlags |= kValueFlagNull;
      std::memset(out, 0, 8);
      return kEvalOk;
  }
}

}  // namespace

int32_t EvaluateCompiledExpression(CKmComposite* m, const uint8_t* code, void* result,
                                   uint32_t resultSize, uint32_t* flagsOut,
                                   int32_t* previousLongTextOut) {
  if (!m->InitEvalArea()) return kEvalStackOverflow;
  if (resultSize == 0 || resultSize > m->stringWorkSize) resultSize = resultSize == 0 ? m->stringWorkSize : resultSize;
  m->codePointer = code;
  m->evalStackTop = m->evalStackBase;
  m->valueFlags = 0;
  m->lastResultLogical = 0;
  m->evalStackOverflow = 0;
  m->evaluating = 1;
  m->callDepth = 0;
  m->frameDepth = 0;
  m->frameSlotsUsed = 0;
  m->currentFrame = -1;
  m->udfCallBudget = kUdfCallBudget;
  if (previousLongTextOut != nullptr) *previousLongTextOut = 0;

  int32_t rc = kEvalOk;
  const uint8_t* pc = code;
  if (pc == nullptr) {
    rc = kEvalBadOpcode;
    goto done;
  }
  for (;;) {
    m->resultLogical = 0;
    const uint8_t op = *pc++;
    switch (op) {
      case OP_ADD: {
        const double r = PopNumber(m), l = PopNumber(m);
        PushArithmetic(m, l + r);
        break;
      }
      case OP_SUB: {
        const double r = PopNumber(m), l = PopNumber(m);
        PushArithmetic(m, l - r);
        break;
      }
      case OP_DIV: {
        const double r = PopNumber(m), l = PopNumber(m);
        if (r == 0.0) {
          m->valueFlags |= kValueFlagNull;
          PushNumber(m, 0.0);
        } else {
          PushArithmetic(m, l / r);
        }
        break;
      }
      case OP_MUL: {
        const double r = PopNumber(m), l = PopNumber(m);
        PushArithmetic(m, l * r);
        break;
      }
      case OP_POW: {
        const double r = PopNumber(m), l = PopNumber(m);
        if ((l == 0.0 && r == 0.0) || (l < 0.0 && r != std::floor(r))) {
          m->valueFlags = kValueFlagNull;
          PushNumber(m, 0.0);
        } else {
          PushArithmetic(m, std::pow(l, r));
        }
        break;
      }
      case OP_PLUS:
        break;
      case OP_NEG:
        PushArithmetic(m, -PopNumber(m));
        break;
      case OP_PERCENT: {
        const double r = PopNumber(m), l = PopNumber(m);
        PushArithmetic(m, l * r / 100.0);
        break;
      }
      case OP_END:
        if (m->callDepth > 0) {
          ReturnFromFrame(m);
          pc = m->returnStack[--m->callDepth];
          break;
        }
        rc = WriteResult(m, result, resultSize, previousLongTextOut);
        goto done;
      case OP_NUMBER: {
        const double v = GetF64(pc + 1);
        pc += kOperandBytes<OP_NUMBER>;
        PushLiteral(m, [&] { PushNumber(m, v); });
        break;
      }
      case OP_FIELD:
      case OP_FIELD_PREV: {
        FieldDef* f = m->GetFieldAt(GetU32(pc));
        pc += kOperandBytes<OP_FIELD, OP_FIELD_PREV>;
        if (f == nullptr) {
          rc = kEvalBadOpcode;
          goto done;
        }
        PushFieldRef(m, f, op == OP_FIELD_PREV);
        break;
      }
      case OP_TABLE: {
        const uint32_t slot = GetU32(pc);
        pc += kOperandBytes<OP_TABLE>;
        PushTableRef(m, slot < static_cast<uint32_t>(kMaxTables) ? m->tableSlots[slot] : nullptr);
        break;
      }
      case OP_CALL: {
        const uint32_t word = GetU32(pc);
        m->argumentCount = pc[4];
        pc += kOperandBytes<OP_CALL>;
        const uint32_t slot = word & kCallIdMask;
        const BuiltinFunctionRecord* fn = GetBuiltinFunction(slot);
        if (slot > m->highestBuiltinSlot || fn == nullptr || fn->evaluate == nullptr) {
          rc = kEvalNoFunction;
          goto done;
        }
        m->resultLogical = ((word & kCallLogicalBit) || (fn->resultType & 0x40)) ? 1 : 0;
        m->codePointer = pc;
        const uint32_t saved = m->valueFlags;
        const int hr = fn->evaluate(m);
        if (slot != kSlotError) m->valueFlags |= saved;
        if (hr != 0) {
          rc = hr;
          goto done;
        }
        break;
      }
      case OP_TRUE:
      case OP_FALSE:
        PushLiteral(m, [&] { PushNumber(m, op == OP_TRUE ? 1.0 : 0.0); });
        m->resultLogical = 1;
        break;
      case OP_EQ: case OP_NE: case OP_LE: case OP_GE: case OP_LT: case OP_GT:
        ApplyComparison(m, op);
        break;
      case OP_AND: {
        const double r = PopNumber(m), l = PopNumber(m);
        PushNumber(m, (l != 0.0 && r != 0.0) ? 1.0 : 0.0);
        m->resultLogical = 1;
        break;
      }
      case OP_OR: {
        const double r = PopNumber(m), l = PopNumber(m);
        PushNumber(m, (l != 0.0 || r != 0.0) ? 1.0 : 0.0);
        m->resultLogical = 1;
        break;
      }
      case OP_NOT:
        PushNumber(m, PopNumber(m) == 0.0 ? 1.0 : 0.0);
        m->resultLogical = 1;
        break;
      case OP_CONCAT:
      case OP_CONCAT_TRIM: {
        const size_t rn = PopString(m, m->stringWork2, m->stringWorkSize + 1);
        size_t ln = PopString(m, m->stringWork1, m->stringWorkSize + 1);
        if (op == OP_CONCAT_TRIM) ln = CutTrailingBlanks(m->stringWork1, ln);
        const size_t take = rn < m->stringWorkSize - ln ? rn : m->stringWorkSize - ln;
        std::memcpy(m->stringWork1 + ln, m->stringWork2, take);
        PushString(m, m->stringWork1, ln + take);
        break;
      }
      case OP_CONTAINS: {
        const size_t rn = PopString(m, m->stringWork2, m->stringWorkSize + 1);
        const size_t ln = PopString(m, m->stringWork1, m->stringWorkSize + 1);
        PadToBlanks(m, m->stringWork2);
        PadToBlanks(m, m->stringWork1);
        bool found = false;
        if (ln != 0 && ln <= rn) {
          for (size_t pos = rn - ln + 1; pos-- > 0 && !found;) {
            if (m->compareText == nullptr) {
              found = EqualSpan(m->stringWork1, m->stringWork2 + pos, ln, m->CompareCaseCombined != 0);
              continue;
            }
            std::memcpy(m->stringScratch, m->stringWork2 + pos, ln);
            m->stringScratch[ln] = 0;
            found = CompareTextWithModel(m, m->stringWork1, m->stringScratch) == 0;
          }
        }
        PushNumber(m, found ? 1.0 : 0.0);
        m->resultLogical = 1;
        break;
      }
      case OP_STRING: {
        const uint32_t n = GetU32(pc);
        const char* text = reinterpret_cast<const char*>(pc + 4);
        pc += kOperandBytes<OP_STRING> + static_cast<size_t>(n);
        PushLiteral(m, [&] { PushString(m, text, n != 0 ? n - 1 : 0); });
        break;
      }
      case OP_EMPTY_ARG:
        PushEmptyArgument(m);
        break;
      case OP_DATE_DIFF: {
        const uint32_t r = PopDate(m), l = PopDate(m);
        if (r == kNullDay || l == kNullDay) {
          m->valueFlags |= kValueFlagNull;
          PushNumber(m, 0.0);
        } else {
          PushNumber(m, static_cast<double>(static_cast<int32_t>(l)) - static_cast<int32_t>(r));
        }
        break;
      }
      case OP_DATE_ADD:
      case OP_DATE_SUB: {
        uint32_t day;
        double n;
        if (op == OP_DATE_ADD && TopIsDate(m)) {
          day = PopDate(m);
          n = PopNumber(m);
        } else {
          n = PopNumber(m);
          day = PopDate(m);
        }
        if (day == kNullDay) {
          m->valueFlags |= kValueFlagNull;
          PushDate(m, kNullDay);
        } else {
          PushDate(m, MoveDay(day, op == OP_DATE_ADD ? n : -n));
        }
        break;
      }
      case OP_MERGE_FLAGS:
        if (!m->evalStackOverflow && m->evalStackTop - m->evalStackBase >= 2) {
          m->evalStackTop[-2] = static_cast<uint8_t>(m->evalStackTop[-2] | m->valueFlags);
        }
        m->valueFlags = 0;
        break;
      case OP_EMPTY_LONGTEXT:
        PushEmptyLongText(m);
        break;
      case OP_PARAM:
      case OP_PARAM_PREV: {
        const uint32_t i = GetU32(pc);
        pc += kOperandBytes<OP_PARAM, OP_PARAM_PREV>;
        TaggedStackValue c;
        if (!FrameArgument(m, i, &c)) {
          rc = kEvalBadOpcode;
          goto done;
        }
        uint8_t tag = c.tag, status = c.status;
        if (op == OP_PARAM_PREV && tag == kTagFieldRef) {
          FieldDef* f = static_cast<FieldDef*>(CellPointer(c));
          tag = kTagFieldPrevRef;
          status = FieldRefStatus(m, f, true);
        }
        PushCellCopy(m, c, tag, status);
        break;
      }
      case OP_UDF_CALL: {
        const uint32_t word = GetU32(pc);
        const uint8_t argc = pc[4];
        pc += kOperandBytes<OP_UDF_CALL>;
        UdfCallTarget target;
        if (m->findUdf == nullptr || !m->findUdf(m, word & kCallIdMask, &target)) {
          rc = kEvalNoFunction;
          goto done;
        }
        const bool logical = (word & kCallLogicalBit) != 0 || (target.resultType & 0x40) != 0;
        if (m->callDepth < kMaxUdfCalls && m->udfCallBudget > 0 && target.code != nullptr &&
            BindFrame(m, argc, logical)) {
          --m->udfCallBudget;
          m->returnStack[m->callDepth++] = pc;
          pc = target.code;
        } else {
          for (unsigned i = 0; i < argc; ++i) DropCell(m);
          PushFailedCall(m, target.resultType | (logical ? 0x40 : 0));
        }
        break;
      }
      case OP_JUMP_FALSE: {
        const int32_t offset = static_cast<int32_t>(GetU32(pc));
        m->valueFlags = 0;
        if (offset <= 0) {
          rc = kEvalBadOpcode;
          goto done;
        }
        if (PopCondition(m)) {
          pc += kOperandBytes<OP_JUMP_FALSE>;
        } else {
          pc += offset;
        }
        break;
      }
      case OP_JUMP: {
        const int32_t offset = static_cast<int32_t>(GetU32(pc));
        // Only forward jumps are ever written; anything else could loop.
        if (offset <= 0) {
          rc = kEvalBadOpcode;
          goto done;
        }
        pc += offset;
        break;
      }
      case OP_DATE: {
        const uint32_t day = GetU32(pc);
        pc += kOperandBytes<OP_DATE>;
        PushLiteral(m, [&] { PushDate(m, day); });
        break;
      }
      case OP_DATETIME: {
        const uint32_t day = GetU32(pc);
        const double t = GetF64(pc + 4);
        pc += kOperandBytes<OP_DATETIME>;
        PushLiteral(m, [&] { PushDateTime(m, day, t); });
        break;
      }
      case OP_TIME: {
        const double t = GetF64(pc);
        pc += kOperandBytes<OP_TIME>;
        PushLiteral(m, [&] { PushTime(m, t); });
        break;
      }
      case OP_KEYWORD: {
        const uint8_t tag = pc[0], value = pc[1];
        pc += kOperandBytes<OP_KEYWORD>;
        if (tag != kTagDatePart && tag != kTagTimePart && tag != kTagTimeLayout) {
          rc = kEvalBadOpcode;
          goto done;
        }
        PushLiteral(m, [&] { PushKeyword(m, tag, value); });
        break;
      }
      default:
        rc = kEvalBadOpcode;
        goto done;
    }
    m->lastResultLogical = m->resultLogical;
  }

done:
  m->codePointer = pc;
  if (flagsOut != nullptr) *flagsOut = m->valueFlags;
  m->evaluating = 0;
  if (rc == kEvalOk && m->evalStackOverflow) rc = kEvalStackOverflow;
  return rc;
}
