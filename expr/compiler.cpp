#include "expr/compiler.h"

#include "expr/builtin_table.h"
#include "expr/calendar.h"
#include "expr/code_walks.h"
#include "core/compiled_code.h"
#include "expr/compiler_state.h"
#include "expr/date_text.h"
#include "expr/scanner.h"
#include "expr/udf.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Entry {
  enum Kind { kStart, kOperator, kOpen, kFrame, kOperand } kind = kStart;
  int token = 0;
  bool unary = false;
  size_t pos = 0;
  // Operand.
  uint8_t cls = 0;
  size_t codeStart = 0;
  // Call frame.
  int32_t function = 0;
  bool open = false;
  int argc = 0;
  uint8_t firstClass = 0, thirdClass = 0, lastClass = 0;
  size_t hole1 = 0, hole2 = 0;
  bool iifPending = false;
  std::vector<uint8_t> argList;
};

bool IsNumeric(uint8_t c) { return (c & 0x7F) == kClassNumber; }
bool IsText(uint8_t c) { return (c & 0xBF) == kClassString; }
bool IsDateLike(uint8_t c) { return c == kClassDate || c == kClassDateTime; }
bool SameClass(uint8_t a, uint8_t b) { return (a & 0xBF) == (b & 0xBF); }

int BinaryPrecedence(int tok) {
  switch (tok) {
    case kTokOr: return 1;
    case kTokAnd: return 2;
    case kTokEqual: case kTokNotEqual: case kTokLessEqual: case kTokGreaterEqual:
    case kTokLess: case kTokGreater: return 3;
    case kTokPlus: case kTokMinus: return 4;
    case kTokMultiply: case kTokDivide: case kTokPercent: case kTokContains: return 5;
    case kTokPower: return 6;
    default: return -1;
  }
}

bool IsComparison(int tok) { return tok >= kTokEqual && tok <= kTokGreater; }

uint8_t ComparisonOpcode(int tok) {
  switch (tok) {
    case kTokEqual: return OP_EQ;
    case kTokNotEqual: return OP_NE;
    case kTokLessEqual: return OP_LE;
    case kTokGreaterEqual: return OP_GE;
    case kTokLess: return OP_LT;
    default: return OP_GT;
  }
}

uint8_t ArithmeticOpcode(int tok) {
  switch (tok) {
    case kTokPlus: return OP_ADD;
    case kTokMinus: return OP_SUB;
    case kTokDivide: return OP_DIV;
    case kTokMultiply: return OP_MUL;
    case kTokPower: return OP_POW;
    default: return OP_PERCENT;
  }
}

uint8_t FieldClass(const FieldDef* f) {
  uint32_t k = f->flags;
  if (k & kFieldLogical) return kClassLogical;
  if (k & kFieldNumeric) return kClassNumber;
  if (k & kFieldMemo) return kClassLongText;
  if (k & kFieldTime) return kClassTime;
  if (k & kFieldDateTime) return kClassDateTime;
  if (k & kFieldDate) return kClassDate;
  return kClassString;
}

// Whether an argument type accepts an operand class.
bool Accepts(uint8_t base, uint8_t cls) {
  switch (base) {
    case 1: case 65: return IsNumeric(cls);
    case 4: return IsText(cls);
    case 7: return IsDateLike(cls);
    case 8: return cls == kClassTable;
    case 16: return cls != kClassLongText && cls != kClassTable;
    case 17: return cls != kClassTable;
    case 9: case 20: return IsText(cls) || cls == kClassLongText;
    case 21: return cls == kClassQuery;
    case 22: return IsDateLike(cls) || cls == kClassTime;
    case 23: return cls == kClassTime || cls == kClassDateTime;
    case 24: return cls == kClassDatePart;
    case 25: case 26: return cls == kClassDatePart || cls == kClassTimePart;
    case 27: return cls == kClassTimeLayout;
    default: return false;
  }
}

class Generator {
 public:
  Generator(CKmComposite* m, FieldDef* field) : m_(m), st_(GetCompilerState(m)), field_(field) {}

  int Run(const char* text, uint32_t* errorPosition, std::vector<uint8_t>* code, uint8_t* resultClass);

 private:
  int Fail(int code, size_t pos) {
    errPos_ = pos;
    return code;
  }
  bool Overflow() const { return w_.size() > kCodeBufferSize; }
  Entry& Top(size_t depth = 0) { return stack_[stack_.size() - 1 - depth]; }
  bool TopIs(Entry::Kind k, size_t depth = 0) const {
    return stack_.size() > depth && stack_[stack_.size() - 1 - depth].kind == k;
  }
  void PushOperand(uint8_t cls, size_t pos, size_t codeStart) {
    Entry e;
    e.kind = Entry::kOperand;
    e.cls = cls;
    e.pos = pos;
    e.codeStart = codeStart;
    stack_.push_back(e);
  }
  int Shift(const ScanToken& t);
  int Reduce(int incomingPrecedence, size_t pos);
  int ReduceBinary(size_t pos);
  int Argument(Entry& frame, bool closing, size_t pos);
  int CloseCall(size_t pos);
  // The writer appends only; an argument rewritten after the fact is put back whole.
  void Rewrite(const std::vector<uint8_t>& bytes) {
    w_ = CodeWriter{};
    for (uint8_t b : bytes) w_.Op(b);
  }
  int OpenIifs() const {
    int n = 0;
    for (const Entry& e : stack_)
      if (e.kind == Entry::kFrame && e.iifPending) ++n;
    return n;
  }

  CKmComposite* m_;
  CompilerState* st_;
  FieldDef* field_;
  CodeWriter w_;
  std::vector<Entry> stack_;
  size_t errPos_ = 0;
  size_t prevStart_ = 0;  // start of the token before the one being read
  int prevCode_ = kTokStart;
};

int Generator::Run(const char* text, uint32_t* errorPosition, std::vector<uint8_t>* code,
                   uint8_t* resultClass) {
  ExpressionScan scan;
  int err = PrepareExpressionText(m_, scan, text);
  if (err) {
    if (errorPosition) *errorPosition = static_cast<uint32_t>(scan.position);
    return err;
  }
  Entry start;
  start.kind = Entry::kStart;
  stack_.push_back(start);
  ScanToken t;
  for (;;) {
    int tok = NextExpressionToken(m_, scan, t, true);
    err = Shift(t);
    if (err == -1) break;  // finished
    if (err) {
      if (errorPosition) *errorPosition = static_cast<uint32_t>(errPos_);
      return err;
    }
    prevStart_ = t.start;
    prevCode_ = tok;
  }
  if (Overflow()) {
    if (errorPosition) *errorPosition = static_cast<uint32_t>(t.start);
    return 9;
  }
  if (resultClass) *resultClass = Top().cls;
  *code = w_.Take();
  return 0;
}

int Generator::Shift(const ScanToken& t) {
  const size_t pos = t.start;
  if (stack_.size() > kCodeBufferSize / 6) return Fail(10, pos);
  // A function name must be followed by its parenthesis.
  if (TopIs(Entry::kFrame) && !Top().open && t.code != kTokOpen) return Fail(1, pos);
  const size_t at = w_.size();
  switch (t.code) {
    case kTokNumber:
      w_.Number(t.number, t.pointCount);
      PushOperand(kClassNumber, pos, at);
      break;
    case kTokField: {
      FieldDef* f = FieldAtNumber(m_, t.value);
      if (!f) return Fail(12, pos);
      if (f->flags2 & kField2FilterText) return Fail(58, pos);
      if (f->flags2 & kField2NotInTable) return Fail(62, pos);
      w_.Field(t.value);
      PushOperand(FieldClass(f), pos, at);
      break;
    }
    case kTokTable:
      w_.Table(t.value);
      PushOperand(kClassTable, pos, at);
      break;
    case kTokTrue:
    case kTokFalse:
      w_.Op(t.code == kTokTrue ? OP_TRUE : OP_FALSE);
      PushOperand(kClassLogical, pos, at);
      break;
    case kTokString:
      w_.String(t.text.data(), t.text.size());
      PushOperand(t.text.empty() ? kClassEmptyString : kClassString, pos, at);
      break;
    case kTokDate:
      // Wildcard patterns belong to filters; in an expression they are no date.
      if (t.value == InvalidDate || IsDatePattern(t.value)) return Fail(55, pos);
      w_.Date(t.value);
      PushOperand(kClassDate, pos, at);
      break;
    case kTokDateTime:
      if (t.value == InvalidDate || IsDatePattern(t.value) || t.time == kNullNumber) return Fail(55, pos);
      w_.DateTime(t.value, t.time);
      PushOperand(kClassDateTime, pos, at);
      break;
    case kTokTime:
      if (t.time == kNullNumber) return Fail(55, pos);
      w_.Time(t.time);
      PushOperand(kClassTime, pos, at);
      break;
    case kTokKeyword:
      w_.Keyword(t.keywordTag, t.keywordValue);
      PushOperand(t.keywordClass, pos, at);
      break;
    case kTokFunction: {
      if (TopIs(Entry::kOperand)) return Fail(1, pos);
      Entry e;
      e.kind = Entry::kFrame;
      e.function = t.function;
      e.pos = pos;
      e.codeStart = at;
      if (t.function >= 0) {
        uint32_t slot = static_cast<uint32_t>(t.function);
        uint8_t count = BuiltinArgCount(slot);
        e.argList.push_back(count);
        unsigned n = (count == kArgCountRepeat) ? 1 : count;
        for (unsigned i = 0; i < n; ++i) e.argList.push_back(BuiltinArgType(slot, i));
      }
      stack_.push_back(e);
      break;
    }
    case kTokAmbiguous:
      return Fail(15, pos);
    case kTokError:
      return Fail(12, pos);
    case kTokOpen:
      if (TopIs(Entry::kOperand)) return Fail(1, pos);
      if (TopIs(Entry::kFrame) && !Top().open) {
        Top().open = true;
      } else {
        Entry e;
        e.kind = Entry::kOpen;
        e.pos = pos;
        stack_.push_back(e);
      }
      break;
    case kTokComma:
    case kTokClose: {
      bool afterOpen = prevCode_ == kTokComma ||
                       (prevCode_ == kTokOpen && TopIs(Entry::kFrame) && Top().open);
      if (afterOpen) {
        size_t a = w_.Op(OP_EMPTY_ARG);
        PushOperand(kClassEmptyArgument, pos, a);
      }
      if (int e = Reduce(0, pos)) return e;
      if (TopIs(Entry::kOperand) && TopIs(Entry::kFrame, 1) && Top(1).open) {
        if (t.code == kTokComma) {
          if (int e = Argument(Top(1), false, pos)) return e;
          stack_.pop_back();
        } else {
          if (int e = CloseCall(pos)) return e;
        }
      } else if (t.code == kTokClose && TopIs(Entry::kOperand) && TopIs(Entry::kOpen, 1)) {
        Entry arg = Top();
        stack_.pop_back();
        stack_.pop_back();
        stack_.push_back(arg);
      } else if (t.code == kTokClose) {
        bool open = false;
        for (const Entry& e : stack_)
          open = open || e.kind == Entry::kOpen || (e.kind == Entry::kFrame && e.open);
        return Fail(open ? 1 : 11, pos);
      } else {
        return Fail(1, pos);
      }
      break;
    }
    case kTokEnd: {
      if (int e = Reduce(0, pos)) return e;
      if (stack_.size() == 2 && TopIs(Entry::kOperand)) {
        uint8_t c = Top().cls;
        if (IsNumeric(c) || IsText(c) || c == kClassLongText || c == kClassDate ||
            c == kClassQuery || c == kClassTime || c == kClassDateTime) {
          w_.End();
          if (Overflow()) return Fail(9, pos);
          return -1;
        }
        return Fail(1, pos);
      }
      bool open = false;
      for (const Entry& e : stack_)
        open = open || e.kind == Entry::kOpen || e.kind == Entry::kFrame;
      return Fail(open ? 11 : 1, pos);
    }
    default: {  // operators
      bool operandBefore = TopIs(Entry::kOperand);
      bool unary = t.code == kTokNot || (!operandBefore && (t.code == kTokPlus || t.code == kTokMinus));
      if (!unary) {
        if (!operandBefore) return Fail(1, pos);
        int prec = BinaryPrecedence(t.code);
        if (prec < 0) return Fail(1, pos);
        if (int e = Reduce(prec, pos)) return e;
      } else if (operandBefore) {
        return Fail(1, pos);
      }
      Entry e;
      e.kind = Entry::kOperator;
      e.token = t.code;
      e.unary = unary;
      e.pos = pos;
      stack_.push_back(e);
      break;
    }
  }
  if (Overflow()) return Fail(9, pos);
  return 0;
}

int Generator::Reduce(int incoming, size_t pos) {
  for (;;) {
    if (stack_.size() >= 3 && TopIs(Entry::kOperand) && TopIs(Entry::kOperator, 1) &&
        !Top(1).unary && TopIs(Entry::kOperand, 2) && BinaryPrecedence(Top(1).token) >= incoming) {
      if (int e = ReduceBinary(pos)) return e;
      continue;
    }
    if (stack_.size() >= 2 && TopIs(Entry::kOperand) && TopIs(Entry::kOperator, 1) && Top(1).unary) {
      int prec = Top(1).token == kTokNot ? 2 : 7;
      uint8_t c = Top().cls;
      if (prec >= incoming && IsNumeric(c)) {
        int tok = Top(1).token;
        w_.Op(tok == kTokNot ? OP_NOT : tok == kTokMinus ? OP_NEG : OP_PLUS);
        Entry arg = Top();
        stack_.pop_back();
        stack_.pop_back();
        arg.cls = tok == kTokNot ? kClassLogical : kClassNumber;
        stack_.push_back(arg);
        continue;
      }
    }
    return 0;
  }
}

int Generator::ReduceBinary(size_t pos) {
  Entry r = Top();
  int tok = Top(1).token;
  Entry l = Top(2);
  stack_.resize(stack_.size() - 3);
  uint8_t a = l.cls, b = r.cls;
  uint8_t op = 0xFF;
  uint8_t cls = static_cast<uint8_t>(a & 0x7F);
  bool logical = IsComparison(tok) || tok == kTokContains || tok == kTokAnd || tok == kTokOr;
  if (IsNumeric(a) && IsNumeric(b)) {
    if (tok == kTokContains) return Fail(6, pos);
    op = IsComparison(tok) ? ComparisonOpcode(tok)
         : tok == kTokAnd  ? static_cast<uint8_t>(OP_AND)
         : tok == kTokOr   ? static_cast<uint8_t>(OP_OR)
                           : ArithmeticOpcode(tok);
  } else if (IsText(a) && IsText(b)) {
    if (tok == kTokPlus) op = OP_CONCAT;
    else if (tok == kTokMinus) op = OP_CONCAT_TRIM;
    else if (IsComparison(tok)) op = ComparisonOpcode(tok);
    else if (tok == kTokContains) op = OP_CONTAINS;
    else return Fail(6, pos);
    cls = kClassString;
  } else if (a == kClassLongText && IsText(b)) {
    if (tok != kTokEqual && tok != kTokNotEqual) return Fail(6, pos);
    op = ComparisonOpcode(tok);
  } else if (IsDateLike(a) && IsDateLike(b)) {
    if (tok == kTokMinus) {
      op = OP_DATE_DIFF;
      cls = kClassNumber;
    } else if (IsComparison(tok)) {
      op = ComparisonOpcode(tok);
    } else {
      return Fail(6, pos);
    }
  } else if (IsDateLike(a) && IsNumeric(b) && (tok == kTokPlus || tok == kTokMinus)) {
    op = tok == kTokPlus ? OP_DATE_ADD : OP_DATE_SUB;
  } else if (IsNumeric(a) && IsDateLike(b) && tok == kTokPlus) {
    op = OP_DATE_ADD;
    cls = b;
  } else {
    return Fail(6, pos);
  }
  w_.Op(op);
  PushOperand(logical ? kClassLogical : cls, l.pos, l.codeStart);
  return 0;
}

// Checks the argument on top of the stack against the frame's list.
int Generator::Argument(Entry& frame, bool closing, size_t pos) {
  Entry& arg = Top();
  const uint8_t cls = arg.cls;
  const int k = ++frame.argc;
  if (k > 255) return Fail(2, prevStart_);
  if (frame.function < 0 && frame.argList.empty()) {
    UdfInfo info;
    uint32_t id = static_cast<uint32_t>(-frame.function);
    if (!GetUdfInfo(m_, id, &info) || !info.compiled ||
        !info.argumentList)
      return Fail(21, pos);
    unsigned n = info.argumentList[0] == kArgCountRepeat ? 1 : info.argumentList[0];
    frame.argList.assign(info.argumentList, info.argumentList + 1 + n);
  }
  const uint8_t count = frame.argList[0];
  const uint32_t slot = frame.function >= 0 ? static_cast<uint32_t>(frame.function) : 0xFFFFFFFFu;

  if (count == kArgCountCase) {
    if (cls == kClassEmptyArgument) return Fail(5, pos);
    if (cls == kClassTable) return Fail(4, prevStart_);
    bool value = k == 1 || (k % 2 == 0 && !closing);
    if (cls == kClassLongText && value) return Fail(4, prevStart_);
    if (k == 1) frame.firstClass = cls;
    else if (k == 3) frame.thirdClass = cls;
    if (closing) {
      if (k < 4 || k % 2 != 0) return Fail(17, prevStart_);
      if (!SameClass(cls, frame.thirdClass)) return Fail(4, prevStart_);
    } else if (k >= 2 && k != 3) {
      if (!SameClass(cls, k % 2 == 0 ? frame.firstClass : frame.thirdClass)) return Fail(4, prevStart_);
    }
    w_.Op(OP_MERGE_FLAGS);
    return 0;
  }

  uint8_t type;
  if (count == kArgCountRepeat) {
    type = frame.argList[1];
  } else {
    if (k > count) return Fail(2, prevStart_);
    type = frame.argList[k];
  }
  const bool optional = type & kArgOptional;
  const bool previous = type & kArgPrevious;
  const uint8_t base = type & 0x5F;
  if (cls == kClassEmptyArgument) {
    if (!optional && base != kArgNone) return Fail(5, pos);
  } else if (base == kArgNone) {
    return Fail(2, prevStart_);
  } else if (base == kArgField) {
    const uint8_t* c = w_.data();
    if (arg.codeStart + 1 + kOperandBytes<OP_FIELD> != w_.size() || c[arg.codeStart] != OP_FIELD)
      return Fail(18, prevStart_);
    if (slot == kSlotPrevious || previous) {
      uint32_t n = GetU32(c + arg.codeStart + 1);
      std::vector<uint8_t> bytes = w_.Take();
      static_assert(OperandLayout(OP_FIELD) == OperandLayout(OP_FIELD_PREV), "rewritten in place");
      bytes[arg.codeStart] = OP_FIELD_PREV;
      Rewrite(bytes);
      if (FieldDef* f = FieldAtNumber(m_, n)) f->flags |= kFieldDoubleWidth;
    }
  } else if (base == kArgSame) {
    if (cls == kClassEmptyString && frame.firstClass == kClassLongText) {
      // An empty literal where a long text is expected: the empty long-text marker.
      std::vector<uint8_t> bytes = w_.Take();
      bytes.resize(arg.codeStart);
      bytes.push_back(OP_EMPTY_LONGTEXT);
      Rewrite(bytes);
      arg.cls = kClassLongText;
    } else if (!SameClass(cls, frame.firstClass)) {
      return Fail(4, prevStart_);
    }
  } else if (!Accepts(base, cls)) {
    return Fail(4, prevStart_);
  }
  // The class an argument of type "same" is compared with: the one before it.
  frame.firstClass = arg.cls;
  frame.lastClass = arg.cls;
  if (k == 1) frame.thirdClass = arg.cls;  // the interval of DTEADD

  if (slot == kSlotInList) w_.Op(OP_MERGE_FLAGS);
  if (slot == kSlotIif && !closing) {
    if (k == 1) {
      if (OpenIifs() >= kMaxOpenIifs) return Fail(20, pos);
      frame.hole1 = w_.Jump(OP_JUMP_FALSE);
      frame.iifPending = true;
    } else if (k == 2) {
      frame.hole2 = w_.Jump(OP_JUMP);
      w_.PatchJump(frame.hole1, w_.size());
    }
  }
  return 0;
}

int Generator::CloseCall(size_t pos) {
  Entry& frame = Top(1);
  uint8_t interval = 0;
  if (int e = Argument(frame, true, pos)) return e;
  const uint8_t lastClass = Top().cls;
  interval = frame.thirdClass;
  stack_.pop_back();
  Entry f = Top();
  stack_.pop_back();
  const uint8_t count = f.argList[0];
  int argc = f.argc;
  if (count != kArgCountCase && count != kArgCountRepeat) {
    for (int k = argc + 1; k <= count; ++k) {
      if (!(f.argList[k] & kArgOptional)) return Fail(5, pos);
      w_.Op(OP_EMPTY_ARG);
    }
    if (argc < count) argc = count;
  }
  uint8_t resultType;
  if (f.function >= 0) {
    uint32_t slot = static_cast<uint32_t>(f.function);
    if (slot == kSlotIif) {
      if (argc != 3) return Fail(5, pos);
      w_.PatchJump(f.hole2, w_.size());
    }
    if (slot == kSlotDteAdd) {
      if (lastClass == kClassDateTime || (lastClass == kClassTime && interval == kClassDatePart) ||
          (lastClass == kClassDate && interval == kClassTimePart))
        slot = kSlotDteAddDateTime;
      else if (lastClass == kClassTime)
        slot = kSlotDteAddTime;
    }
    const BuiltinFunctionRecord* rec = GetBuiltinFunction(slot);
    resultType = rec ? rec->resultType : kResultNumber;
    f.function = static_cast<int32_t>(slot);
  } else {
    UdfInfo info;
    GetUdfInfo(m_, static_cast<uint32_t>(-f.function), &info);
    resultType = info.resultType;
  }
  uint8_t cls;
  switch (resultType) {
    case kResultString: cls = kClassString; break;
    case kResultDate: cls = kClassDate; break;
    case kResultTime: cls = kClassTime; break;
    case kResultDateTime: cls = kClassDateTime; break;
    case kResultQuery: cls = kClassQuery; break;
    case kResultSame: cls = count == kArgCountCase ? f.thirdClass : lastClass; break;
    default: cls = (resultType & kResultLogicalBit) ? kClassLogical : kClassNumber; break;
  }
  if (cls == kClassEmptyString) cls = kClassString;
  bool logical = cls & 0x80;
  if (f.function >= 0)
    w_.Call(static_cast<uint32_t>(f.function), static_cast<uint8_t>(argc), logical);
  else
    w_.UdfCall(static_cast<uint32_t>(-f.function), static_cast<uint8_t>(argc), logical);
  PushOperand(cls, f.pos, f.codeStart);
  return 0;
}

uint32_t KindFlagsOfClass(uint8_t cls) {
  if (cls == kClassLogical) return kFieldLogical;
  if (IsNumeric(cls)) return kFieldNumeric;
  if (cls == kClassDate) return kFieldDate;
  if (cls == kClassDateTime) return kFieldDateTime;
  if (cls == kClassTime) return kFieldTime;
  if (cls == kClassLongText) return kFieldMemo;
  return 0;
}

}  // namespace

int GenerateExpressionCode(CKmComposite* m, const char* text, uint32_t* errorPosition,
                           std::vector<uint8_t>* code, uint8_t* resultClass, FieldDef* field) {
  Generator g(m, field);
  return g.Run(text, errorPosition, code, resultClass);
}

int CompileExpression(CKmComposite* m, const char* text, uint32_t* errorPosition,
                      CompileOutput* out, FieldDef* field, uint8_t* udfResultType, int mode) {
  CompilerState* st = GetCompilerState(m);
  GetDateOrder(ModelDateSettings(m));
  const uint32_t textLength = static_cast<uint32_t>(std::strlen(text));
  CompileOutput local;
  CompileOutput& o = out ? *out : local;
  o = CompileOutput{};
  uint32_t pos = 0;

  auto once = [&](uint32_t& errPos, int& scanError, int& checkError, uint32_t& checkPos) {
    std::vector<uint8_t> code;
    uint8_t cls = 0;
    int err = GenerateExpressionCode(m, text, &errPos, &code, &cls, field);
    if (err) return err;
    st->lastResultClass = cls;
    DependencyScan dep;
    scanError = ScanExpressionDependencies(m, code.data(), code.size(), &dep, field,
                                           udfResultType != nullptr, mode == 1 || mode == 2 ? 5 : 1);
    // The output description (the type evaluator) is not made here: every
    // try's would be put back afterwards, so the callers make it once over
    // the code they keep.
    if (!scanError && st->hooks.checkFieldForExpression)
      checkError = st->hooks.checkFieldForExpression(m, field, code.data(), code.size(), &checkPos);
    o.code = std::move(code);
    o.typeFlags = dep.typeFlags;
    o.tableLevel = dep.tableLevel;
    o.groupField = dep.groupField;
    o.resultClass = cls;
    return 0;
  };

  if (!field && !udfResultType) {
    int scanError = 0, checkError = 0;
    uint32_t checkPos = 0;
    int err = once(pos, scanError, checkError, checkPos);
    if (!err && checkError) {
      err = checkError;
      pos = checkPos;
    } else if (!err && scanError) {
      err = scanError;
      pos = 1;
    }
    if (err) o.code.clear();
    if (errorPosition) *errorPosition = err ? pos : 0;
    return err;
  }

  static const uint32_t kFieldTries[7][2] = {{0, 254},      {kFieldNumeric, 1}, {kFieldDate, 0},
                                             {kFieldLogical, 0}, {kFieldMemo, 254},
                                             {kFieldDateTime, 0}, {kFieldTime, 0}};
  static const uint8_t kUdfTries[7] = {4, 1, 7, 65, 9, 22, 23};
  uint32_t savedFlags = field ? field->flags : 0;
  const uint32_t savedFlags2 = field ? field->flags2 : 0;
  const uint8_t savedTotalFlags = field ? field->totalFlags : 0;
  uint32_t savedLength = field ? DeclaredLength(field) : 0;
  uint8_t savedUdfType = udfResultType ? *udfResultType : 0;
  int firstError = 0, scanError = 0, checkError = 0;
  uint32_t firstPos = 0, checkPos = 0;
  bool matched = false, keepsPrevious = false;
  CompileOutput best;
  for (int i = 0; i < 7 && !matched; ++i) {
    uint32_t assumed = kFieldTries[i][0];
    if (field) {
      field->flags = (field->flags & ~kFieldKindMask) | assumed;
      if (kFieldTries[i][1]) SetDeclaredLength(field, kFieldTries[i][1]);
    } else {
      *udfResultType = static_cast<uint8_t>((savedUdfType & 0x1000) | kUdfTries[i]);
    }
    uint32_t p = 0;
    scanError = checkError = 0;
    int err = once(p, scanError, checkError, checkPos);
    if (field && (field->flags & kFieldDoubleWidth) && !(savedFlags & kFieldDoubleWidth))
      keepsPrevious = true;
    if (err) {
      if (!firstError) {
        firstError = err;
        firstPos = p;
      }
      continue;
    }
    // The scan's refusals (SQLEXP's, the server's) do not depend on the
    // assumed type: another try would only ask the server again.
    if (scanError) break;
    if (udfResultType) assumed = KindFlagsOfClass(o.resultClass);
    if ((o.typeFlags & kFieldKindMask) == assumed && !scanError && !checkError) {
      matched = true;
      best = o;
    }
  }
  if (field) {
    field->flags = savedFlags | (keepsPrevious ? kFieldDoubleWidth : 0);
    SetDeclaredLength(field, savedLength);
  } else {
    *udfResultType = savedUdfType;
  }
  int err;
  if (checkError) {
    err = checkError;
    pos = checkPos;
  } else if (scanError) {
    err = scanError;
    pos = 1;
  } else if (matched) {
    err = 0;
    o = best;
  } else if (firstError) {
    err = firstError;
    pos = firstPos;
  } else {
    err = 6;
    pos = textLength;
  }
  if (err) o.code.clear();
  // A refused text leaves the field as it was: the scan's marks of the tries
  // (QUERY, PREVIOUS) would otherwise refuse the field's users later.
  if (err && field) {
    field->flags = savedFlags;
    field->flags2 = savedFlags2;
    field->totalFlags = savedTotalFlags;
  }
  if (errorPosition) *errorPosition = err ? pos : 0;
  return err;
}

int CompileFieldText(CKmComposite* m, FieldDef* field, uint32_t* errorPosition) {
  const bool calculation = field->flags & kFieldCalculation;
  const char* text = calculation ? field->exprText : field->conditionText;
  uint8_t*& slot = calculation ? field->code : field->conditionCode;
  uint32_t& length = calculation ? field->codeLength : field->conditionLength;
  if (!text) return 1;
  CompileOutput out;
  int err = CompileExpression(m, text, errorPosition, &out, calculation ? field : nullptr, nullptr, 1);
  if (err) return err;
  auto* block = static_cast<uint8_t*>(HeapAllocZero(0, static_cast<DWORD>(out.code.size())));
  if (!block) return 24;
  std::memcpy(block, out.code.data(), out.code.size());
  if (slot) HeapFreeBlock(slot);
  slot = block;
  length = static_cast<uint32_t>(out.code.size());
  if (calculation) field->flags = (field->flags & ~kFieldKindMask) | (out.typeFlags & kFieldKindMask);
  return 0;
}

const char* CompileErrorText(int code) {
  if (code < 0 || code > 67) code = 1;
  const char* text = GetResString(kCompileErrorTextBase + static_cast<uint32_t>(code), 0);
  if (!text[0]) text = GetResString(kCompileErrorTextBase + 1, 0);
  return text;
}

void FormatFunctionPrototype(CKmComposite* m, const char* name, char* out, size_t outSize) {
  if (!outSize) return;
  out[0] = '\0';
  size_t len = std::strlen(name);
  std::vector<uint8_t> list;
  std::string shown;
  int slot = FindBuiltinExact(name, len);
  if (slot >= 0 && static_cast<uint32_t>(slot) <= m->highestBuiltinSlot + 1) {
    shown = GetBuiltinFunction(static_cast<uint32_t>(slot))->name;
    uint8_t count = BuiltinArgCount(static_cast<uint32_t>(slot));
    list.push_back(count);
    for (unsigned i = 0; i < (count == kArgCountRepeat ? 1u : count); ++i)
      list.push_back(BuiltinArgType(static_cast<uint32_t>(slot), i));
  } else {
    uint32_t id = 0;
    UdfInfo info;
    if (!FindUdfIdByName(m, name, len, false, &id) ||
        !GetUdfInfo(m, id, &info) || !info.argumentList)
      return;
    shown = name;
    uint8_t count = info.argumentList[0];
    list.assign(info.argumentList, info.argumentList + 1 + (count == kArgCountRepeat ? 1 : count));
  }
  bool optFirst = std::strcmp(GetResString(1600, 0), "1") == 0;
  std::string s = shown + "(";
  unsigned n = list[0] == kArgCountRepeat ? 1 : list[0];
  for (unsigned i = 0; i < n; ++i) {
    uint8_t type = list[1 + i];
    uint8_t base = type & 0x1F;
    std::string word;
    if (type & 0x40) word = "log";
    else if (base == 4) word = "char";
    else if (base == 1) word = "num";
    else if (base == 7) word = "date";
    else if (base == 5) word = "field";
    else if (base == 8) word = "table";
    else if (base == 22 || base == 23) word = "dt";
    else if (base == 26) word = "interval";
    else if (base == 6) word = "";
    else word = "value";
    if (type & kArgOptional) word = optFirst ? "opt " + word : word + " opt";
    if (i) s += ",";
    s += word;
  }
  if (list[0] == kArgCountRepeat) s += "...";
  s += ")";
  if (s.size() > 79) s.resize(79);
  std::snprintf(out, outSize, "%s", s.c_str());
}
