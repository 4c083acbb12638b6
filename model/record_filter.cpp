#include "model/record_filter.h"

#include "expr/calendar.h"
#include "expr/collation.h"
#include "expr/value_eval.h"
#include "expr/value_helpers.h"
#include "foundation/byte_order.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "core/fields.h"
#include "model/memo_text.h"
#include "model/record_pass.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kMaxPending = 30;
constexpr int kMaxNodes = 100;

enum TokenClass { kClsEnd, kClsOpen, kClsClose, kClsAnd, kClsOr, kClsOperator, kClsOperand, kClsBad };

// Parse actions.
enum Action { A_ACCEPT, A_PUSH, A_ERROR, A_POPB, A_REDUCE };
const Action kActions[7][7] = {
    //            end       (        )        and      or       op       operand
    /* end */ {A_ACCEPT, A_PUSH, A_ERROR, A_PUSH, A_PUSH, A_PUSH, A_PUSH},
    /* (   */ {A_ERROR, A_PUSH, A_POPB, A_PUSH, A_PUSH, A_PUSH, A_PUSH},
    /* )   */ {A_ERROR, A_ERROR, A_ERROR, A_ERROR, A_ERROR, A_ERROR, A_ERROR},
    /* and */ {A_REDUCE, A_PUSH, A_REDUCE, A_REDUCE, A_REDUCE, A_PUSH, A_PUSH},
    /* or  */ {A_REDUCE, A_PUSH, A_REDUCE, A_PUSH, A_REDUCE, A_PUSH, A_PUSH},
    /* op  */ {A_REDUCE, A_ERROR, A_REDUCE, A_REDUCE, A_REDUCE, A_ERROR, A_PUSH},
    /* opd */ {A_REDUCE, A_ERROR, A_REDUCE, A_REDUCE, A_REDUCE, A_REDUCE, A_REDUCE},
};

TokenClass ClassOf(uint8_t b) {
  if (b == kCondEnd) return kClsEnd;
  if (b == kCondOpen) return kClsOpen;
  if (b == kCondClose) return kClsClose;
  if (b == kCondAnd) return kClsAnd;
  if (b == kCondOr) return kClsOr;
  if (IsConditionComparison(b)) return kClsOperator;
  if (IsConditionOperand(b)) return kClsOperand;
  return kClsBad;
}

struct Node {
  TokenClass cls;
  const uint8_t* token;
  size_t size;
  int first = -1;  // first child
  int next = -1;   // next sibling
};

struct Tree {
  std::vector<Node> nodes;
  int Add(TokenClass cls, const uint8_t* token, size_t size) {
    if (nodes.size() >= static_cast<size_t>(kMaxNodes)) return -1;
    nodes.push_back(Node{cls, token, size});
    return static_cast<int>(nodes.size()) - 1;
  }
  void AppendSibling(int head, int n) {
    while (nodes[head].next >= 0) head = nodes[head].next;
    nodes[head].next = n;
  }
};

// Writes a node (prefix order) into out (null: only counts); false when a
// child length does not fit in 15 bits.
bool WriteNode(const Tree& t, int i, std::vector<uint8_t>* out, size_t* total) {
  const Node& n = t.nodes[i];
  if (n.cls == kClsOperand) {
    if (out) out->insert(out->end(), n.token, n.token + n.size);
    *total += n.size;
    return true;
  }
  const uint8_t op = n.token[0];
  const bool withLength = HasConditionLength(op);
  size_t childBytes = 0;
  for (int c = n.first; c >= 0; c = t.nodes[c].next)
    if (!WriteNode(t, c, nullptr, &childBytes)) return false;
  if (childBytes > kCondMaxLength) return false;
  if (out) {
    out->push_back(op);
    if (withLength) {
      uint8_t length[2];
      out->insert(out->end(), length, length + PutConditionLength(length, childBytes));
    }
    size_t ignored = 0;
    for (int c = n.first; c >= 0; c = t.nodes[c].next) WriteNode(t, c, out, &ignored);
  }
  *total += 1 + (withLength ? ConditionLengthBytes(childBytes) : 0) + childBytes;
  return true;
}

int Build(const uint8_t* code, size_t length, std::vector<uint8_t>* out) {
  struct Entry {
    TokenClass cls;
    const uint8_t* token;
    size_t size;
  };
  std::vector<Entry> stack;
  stack.push_back(Entry{kClsEnd, nullptr, 0});
  std::vector<int> nodeStack;
  Tree tree;
  const uint8_t* p = code;
  const uint8_t* end = code + length;
  for (;;) {
    while (p < end && *p == kCondEndMark) ++p;
    const uint8_t* token = p;
    size_t size;
    TokenClass cls;
    if (p >= end) {
      cls = kClsEnd;  // a code without its 0 ends where its length ends
      size = 0;
    } else {
      cls = ClassOf(*p);
      if (cls == kClsBad) return 2;
      size = ConditionTokenSize(p, end);
      if (size == 0) return 2;
    }
    const Action a = kActions[stack.back().cls][cls];
    switch (a) {
      case A_ERROR:
        return 2;
      case A_ACCEPT:
        if (nodeStack.size() != 1) return 2;
        {
          size_t total = 0;
          if (!WriteNode(tree, nodeStack[0], nullptr, &total)) return 3;
          out->clear();
          out->reserve(total + 1);
          WriteNode(tree, nodeStack[0], out, &total);
          out->push_back(kCondEnd);
        }
        return 0;
      case A_PUSH:
        if (stack.size() >= static_cast<size_t>(kMaxPending)) return 3;
        stack.push_back(Entry{cls, token, size});
        p += size;
        break;
      case A_POPB:
        stack.pop_back();
        p += size;
        break;
      case A_REDUCE: {
        const Entry e = stack.back();
        stack.pop_back();
        if (e.cls == kClsOperand) {
          const int leaf = tree.Add(kClsOperand, e.token, e.size);
          if (leaf < 0) return 3;
          if (!nodeStack.empty() && tree.nodes[nodeStack.back()].cls == kClsOperand)
            tree.AppendSibling(nodeStack.back(), leaf);
          else
            nodeStack.push_back(leaf);
        } else if (e.cls == kClsOperator) {
          // A condition starts with its field.
          if (nodeStack.empty() || tree.nodes[nodeStack.back()].cls != kClsOperand ||
              tree.nodes[nodeStack.back()].token[0] != kCondField)
            return 2;
          const int n = tree.Add(kClsOperator, e.token, e.size);
          if (n < 0) return 3;
          tree.nodes[n].first = nodeStack.back();
          nodeStack.back() = n;
        } else {  // and, or
          if (nodeStack.size() < 2) return 2;
          const int right = nodeStack.back();
          nodeStack.pop_back();
          const int left = nodeStack.back();
          nodeStack.pop_back();
          if (tree.nodes[left].cls == kClsOperand || tree.nodes[right].cls == kClsOperand) return 2;
          int joined;
          if (tree.nodes[left].cls == e.cls) {
            tree.AppendSibling(tree.nodes[left].first, right);
            joined = left;
          } else if (tree.nodes[right].cls == e.cls) {
            tree.nodes[left].next = tree.nodes[right].first;
            tree.nodes[right].first = left;
            joined = right;
          } else {
            joined = tree.Add(e.cls, e.token, e.size);
            if (joined < 0) return 3;
            tree.nodes[joined].first = left;
            tree.nodes[left].next = right;
          }
          nodeStack.push_back(joined);
        }
        break;
      }
    }
  }
}

// ---- Evaluation

int g_todayYear = 0, g_todayMonth = 0, g_todayDay = 0;

bool IsDateKind(uint32_t kind) { return (kind & (kFieldDate | kFieldDateTime | kFieldTime)) != 0; }

// The value is null: the fetched null bit, a calculation flagged missing or
// in error or a total in error (as SQL's NULL, it satisfies no comparison),
// or the null marker of its kind.
bool IsNullField(const FieldDef* f) {
  if (f->value == nullptr) return true;
  if (f->totalFlags & kTotalNullValue) return true;
  if ((f->flags & kFieldCalculation) && (f->valueStatus & kValueFlagNull)) return true;
  if (IsTotal(f) && (f->valueStatus & 7)) return true;
  const uint32_t kind = FieldKind(f);
  if (kind & kFieldNumeric) return IsNullNumber(GetF64(f->value));
  if (kind & kFieldDate) return GetU32(f->value) == EmptyDate;
  if (kind & kFieldDateTime) return GetU32(f->value) == EmptyDate && IsNullNumber(GetF64(f->value + 4));
  if (kind & kFieldTime) return IsNullNumber(GetF64(f->value + 4));
  return false;
}

bool InvolvesTotals(const FieldDef* f) {
  return (f->flags & (kFieldPreviousRelated | kFieldTotalRelated)) || (f->totalFlags & kTotalIsTotal);
}

// A field's text with pads made blanks and trailing blanks cut.
std::string FieldText(CKmComposite* m, const FieldDef* f) {
  if (f->value == nullptr) return std::string();
  const size_t width = (f->flags & kFieldMemo) ? kMemoValueBytes : m->GetFieldWidth(f);
  const void* nul = std::memchr(f->value, 0, width);
  const size_t n = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - f->value) : width;
  std::string s(reinterpret_cast<const char*>(f->value), n);
  return s;
}

std::string Tidy(CKmComposite* m, std::string s) {
  const char pad = static_cast<char>(m->SpaceDotChar);
  for (char& c : s)
    if (c == pad) c = ' ';
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace

bool EmptyItemMatchesMissing(const FieldDef* f) { return FieldKind(f) == 0 && !(f->flags & kFieldMemo); }

bool IsEmptyTextItem(CKmComposite* m, const uint8_t* t) {
  if (*t != kCondText && *t != kCondText2) return false;
  const std::string v = ConditionText(t);
  return v.find_first_not_of(std::string(" ") + static_cast<char>(m->SpaceDotChar)) == std::string::npos;
}

bool IsEmptyTextValue(CKmComposite* m, const FieldDef* f) {
  if (f->value == nullptr || !EmptyItemMatchesMissing(f)) return false;
  if ((f->flags & kFieldCalculation) && (f->valueStatus & kValueFlagNull)) return false;
  if (IsTotal(f) && (f->valueStatus & 7)) return false;
  return Tidy(m, FieldText(m, f)).empty();
}

namespace {

bool NetWareNullsCompare(CKmComposite* m) { return m->nullsCompareAsValues != nullptr && m->nullsCompareAsValues(m); }

// An operand token as a value buffer for the field's kind; text operands in text.
struct Operand {
  uint8_t bytes[16] = {};
  std::string text;
  const FieldDef* field = nullptr;  // a field operand
};

Operand ReadOperand(CKmComposite* m, const uint8_t* tok) {
  Operand o;
  const double nullNumber = GetNullNumber();
  switch (tok[0]) {
    case kCondField: {
      o.field = m->GetFieldAt(ConditionFieldNumber(tok));
      if (o.field != nullptr && o.field->value != nullptr) {
        const uint32_t kind = FieldKind(o.field);
        if (kind == 0 || (o.field->flags & kFieldMemo)) o.text = FieldText(m, o.field);
        else std::memcpy(o.bytes, o.field->value, IsDateKind(kind) ? 12 : (kind & kFieldLogical) ? 1 : 8);
      }
      break;
    }
    case kCondText:
    case kCondText2:
      o.text = ConditionText(tok);
      break;
    case kCondNumber:
      PutF64(o.bytes, ConditionNumber(tok));
      break;
    case kCondDate:
      PutU32(o.bytes, ConditionDay(tok));
      PutF64(o.bytes + 4, nullNumber);
      break;
    case kCondLogical:
      o.bytes[0] = ConditionLogical(tok);
      break;
    case kCondDateTime:
      PutU32(o.bytes, ConditionDay(tok));
      PutF64(o.bytes + 4, ConditionDateTimeTime(tok));
      break;
    case kCondTime:
      PutF64(o.bytes + 4, ConditionNumber(tok));
      break;
  }
  return o;
}

MemoReader* MemoReaderOf(CKmComposite* m, const FieldDef* f) {
  if (!(f->flags & kFieldMemo) || m->FindAttachment<RecordPassState>() == nullptr) return nullptr;
  return PassMemoReader(m, const_cast<FieldDef*>(f));
}

int CompareFieldTo(CKmComposite* m, const FieldDef* f, const Operand& o) {
  const uint32_t kind = FieldKind(f);
  if (kind == 0 || (f->flags & kFieldMemo)) {
    const std::string a = Tidy(m, FieldText(m, f));
    const std::string b = Tidy(m, o.text);
    return CompareTextWithModel(m, a.c_str(), b.c_str());
  }
  return CompareTypedValues(m, f->value, o.bytes, f->flags);
}

int EvaluateNode(CKmComposite* m, const uint8_t*& p, int totalsAsTrue);

// The operand tokens of one condition; short lists stay off the heap.
class OperandList {
 public:
  void push_back(const uint8_t* t) {
    if (n_ < kInline) inline_[n_] = t;
    else more_.push_back(t);
    ++n_;
  }
  size_t size() const { return n_; }
  bool empty() const { return n_ == 0; }
  const uint8_t* operator[](size_t i) const { return i < kInline ? inline_[i] : more_[i - kInline]; }
  template <typename Fn>
  bool Any(Fn fn) const {
    for (size_t i = 0; i < n_; ++i)
      if (fn((*this)[i])) return true;
    return false;
  }

 private:
  static constexpr size_t kInline = 16;
  const uint8_t* inline_[kInline];
  std::vector<const uint8_t*> more_;
  size_t n_ = 0;
};

int EvaluateCondition(CKmComposite* m, uint8_t op, const uint8_t*& p, const uint8_t* end, int totalsAsTrue) {
  // p is at the field token; end is past the node.
  const FieldDef* f = m->GetFieldAt(ConditionFieldNumber(p));
  p += kCondFieldSize;
  OperandList operands;
  for (const uint8_t* q = p; q < end;) {
    operands.push_back(q);
    const size_t n = ConditionTokenSize(q, end);
    if (n == 0) break;
    q += n;
  }
  p = end;
  if (f == nullptr) return 0;
  bool totals = InvolvesTotals(f);
  if (op <= kCondLessEqual && !operands.empty() && operands[0][0] == kCondField) {
    const FieldDef* g = m->GetFieldAt(ConditionFieldNumber(operands[0]));
    if (g != nullptr && InvolvesTotals(g)) totals = true;
  }
  if (totals && totalsAsTrue) return 1;
  if (op == kCondIsNull || op == kCondIsNotNull) {
    const bool empty = IsNullField(f) || IsEmptyTextValue(m, f);
    return (op == kCondIsNull) == empty ? 1 : 0;
  }
  // A missing text is the empty text to an empty item of an equality or a list.
  const bool emptyItem = (op == kCondEqual || op == kCondNotEqual || op == kCondOneOf || op == kCondNoneOf) &&
                         operands.Any([&](const uint8_t* t) { return IsEmptyTextItem(m, t); });
  // A null field or operand field satisfies no comparison (the database's rule).
  if (!NetWareNullsCompare(m)) {
    if (IsNullField(f) && !(emptyItem && IsEmptyTextValue(m, f))) return 0;
    if (operands.Any([&](const uint8_t* t) {
          if (t[0] != kCondField) return false;
          const FieldDef* g = m->GetFieldAt(ConditionFieldNumber(t));
          return g == nullptr || IsNullField(g);
        }))
      return 0;
  }
  if (operands.empty()) return 0;
  switch (op) {
    case kCondBetween:
    case kCondNotBetween: {
      if (operands.size() < 2) return 0;
      const int r = CompareFieldTo(m, f, ReadOperand(m, operands[0]));
      int r2 = 0;
      if (r >= 0) r2 = CompareFieldTo(m, f, ReadOperand(m, operands[1]));
      const bool inside = r >= 0 && r2 <= 0;
      return (op == kCondBetween) == inside ? 1 : 0;
    }
    case kCondOneOf:
    case kCondNoneOf: {
      MemoReader* memo = MemoReaderOf(m, f);
      const bool found = operands.Any([&](const uint8_t* t) {
        if (memo != nullptr) return MatchCondition(m, ReadOperand(m, t).text.c_str(), *memo, 0) != 0;
        return CompareFieldTo(m, f, ReadOperand(m, t)) == 0;
      });
      return (op == kCondOneOf) == found ? 1 : 0;
    }
    case kCondLike:
    case kCondNotLike: {
      const Operand o = ReadOperand(m, operands[0]);
      if (MemoReader* memo = MemoReaderOf(m, f)) {
        const bool match = MatchCondition(m, o.text.c_str(), *memo, 1) != 0;
        return (op == kCondLike) == match ? 1 : 0;
      }
      const std::string pattern = Tidy(m, o.text);
      const std::string value = Tidy(m, FieldText(m, f));
      const bool match = MatchWildcard(pattern.c_str(), value.c_str()) != 0;
      return (op == kCondLike) == match ? 1 : 0;
    }
    default: {
      const int r = CompareFieldTo(m, f, ReadOperand(m, operands[0]));
      switch (op) {
        case kCondEqual: return r == 0;
        case kCondNotEqual: return r != 0;
        case kCondGreater: return r > 0;
        case kCondGreaterEqual: return r >= 0;
        case kCondLess: return r < 0;
        case kCondLessEqual: return r <= 0;
      }
      return 0;
    }
  }
}

// The extent of a condition node without a length: its field and operands.
const uint8_t* ConditionEnd(const uint8_t* p) {
  p += kCondFieldSize;
  for (;;) {
    const uint8_t b = *p;
    if (!IsConditionOperand(b)) return p;
    // The generated code is trusted; the bound only has to hold any token.
    const size_t n =
        ConditionTokenSize(p, p + kCondLongestFixedToken + 1 + std::strlen(reinterpret_cast<const char*>(p)));
    if (n == 0) return p;
    p += n;
  }
}

int EvaluateNode(CKmComposite* m, const uint8_t*& p, int totalsAsTrue) {
  const uint8_t op = *p++;
  if (op == kCondAnd || op == kCondOr) {
    const size_t len = ReadConditionLength(p);
    const uint8_t* end = p + len;
    int value = op == kCondAnd ? 1 : 0;
    while (p < end) {
      value = EvaluateNode(m, p, totalsAsTrue);
      if ((op == kCondAnd && !value) || (op == kCondOr && value)) break;
    }
    p = end;
    return value;
  }
  if (op == kCondOneOf || op == kCondNoneOf) {
    const size_t len = ReadConditionLength(p);
    const uint8_t* end = p + len;
    return EvaluateCondition(m, op, p, end, totalsAsTrue);
  }
  if (IsConditionComparison(op) && *p == kCondField) {
    const uint8_t* end = ConditionEnd(p);
    return EvaluateCondition(m, op, p, end, totalsAsTrue);
  }
  return 0;
}

}  // namespace

int RebuildConditionCode(CKmComposite* m) {
  FreeFilterCode(m);
  std::vector<uint8_t> out;
  if (m->conditionCode == nullptr || m->conditionLength == 0 || m->conditionCode[0] == 0) {
    out.push_back(kCondEnd);
  } else {
    const int r = Build(m->conditionCode, m->conditionLength, &out);
    if (r != 0) return r;
  }
  uint8_t* block = static_cast<uint8_t*>(HeapAllocZero(0, static_cast<DWORD>(out.size())));
  if (block == nullptr) return 1;
  std::memcpy(block, out.data(), out.size());
  m->compiledFilter.reset(block);
  return 0;
}

void FreeFilterCode(CKmComposite* m) { m->compiledFilter.reset(); }

int FilterRejects(CKmComposite* m, const uint8_t* code, int totalsAsTrue) {
  if (code == nullptr || code[0] == kCondEnd) return 0;
  const uint8_t* p = code;
  return EvaluateNode(m, p, totalsAsTrue) ? 0 : 1;
}

int CompareNumbers(CKmComposite* m, double a, double b) {
  const int r = CompareNumbersWithTolerance(m, a, b);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

void SetFilterToday(int year, int month, int day) {
  g_todayYear = year;
  g_todayMonth = month;
  g_todayDay = day;
}

int CompareDateToPattern(uint32_t day, uint32_t pattern) {
  int y = static_cast<int>((pattern >> 16) & 0x7FFF);
  int mo = static_cast<int>((pattern >> 8) & 0xFF);
  int d = static_cast<int>(pattern & 0xFF);
  int ty = g_todayYear, tm = g_todayMonth, td = g_todayDay;
  if (ty == 0) {
    DateParts today;
    GetToday(today);
    ty = today.year;
    tm = today.month;
    td = today.day;
  }
  int any = 0;
  if (y == 32767) y = ty;
  else if (y == 32766) any |= 4;
  if (mo == 255) mo = tm;
  else if (mo == 254) any |= 2;
  if (d == 255) d = td;
  else if (d == 254) any |= 1;
  if (!(any & 4) && y < 1600) y += 1600;
  DateParts parts;
  if (JulianToYMD(static_cast<DayNumber>(day), parts) != 0) return -1;
  if (!(any & 4) && parts.year != y) return parts.year < y ? -1 : 1;
  if (!(any & 2) && parts.month != mo) return parts.month < mo ? -1 : 1;
  if (!(any & 1) && parts.day != d) return parts.day < d ? -1 : 1;
  return 0;
}

int CompareTypedValues(CKmComposite* m, const uint8_t* a, const uint8_t* b, uint32_t flags) {
  const uint32_t kind = flags & kFieldKindMask;
  if (IsDateKind(kind)) {
    const uint32_t da = GetU32(a), db = GetU32(b);
    const double ta = GetF64(a + 4), tb = GetF64(b + 4);
    auto isNull = [&](uint32_t day, double t) {
      if (kind & kFieldDate) return day == EmptyDate;
      if (kind & kFieldDateTime) return day == EmptyDate && IsNullNumber(t);
      return IsNullNumber(t);
    };
    const bool na = isNull(da, ta), nb = isNull(db, tb);
    if (na || nb) return na && nb ? 0 : (na ? -1 : 1);
    if (kind & kFieldTime) return CompareNumbers(m, ta, tb);
    if (IsDatePattern(db)) {
      const int r = CompareDateToPattern(da, db);
      if (r != 0 || !(kind & kFieldDateTime)) return r;
      return CompareNumbers(m, ta, tb);
    }
    // Signed days compared without a subtraction that could overflow.
    const int32_t sa = static_cast<int32_t>(da), sb = static_cast<int32_t>(db);
    if (sa != sb) return sa < sb ? -1 : 1;
    return (kind & kFieldDateTime) ? CompareNumbers(m, ta, tb) : 0;
  }
  if (kind & kFieldLogical) return static_cast<int>(a[0]) - static_cast<int>(b[0]);
  if (kind & kFieldNumeric) return CompareNumbers(m, GetF64(a), GetF64(b));
  std::string sa = Tidy(m, reinterpret_cast<const char*>(a));
  std::string sb = Tidy(m, reinterpret_cast<const char*>(b));
  return CompareTextWithModel(m, sa.c_str(), sb.c_str());
}

// ---- Walkers

// ---- Memo conditions

int CountEscapesBeforeLast(const char* text, size_t length) {
  const unsigned char esc = ActiveSortOrderTables().escapeChar;
  if (esc == 0 || length < 2) return 0;
  int n = 0;
  for (size_t i = length - 1; i > 0 && static_cast<unsigned char>(text[i - 1]) == esc; --i) ++n;
  return n;
}

int MatchPattern(CKmComposite* m, const char* text, const char* pattern, int allowRest, int wildcards) {
  const SortOrderTables& t = ActiveSortOrderTables();
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* p = reinterpret_cast<const unsigned char*>(pattern);
  while (*p != 0) {
    if (wildcards && (*p == '?' || *p == t.singleWildcard)) {
      if (*s == 0) return 0;
      ++s, ++p;
      continue;
    }
    if (wildcards && t.escapeChar != 0 && *p == t.escapeChar && p[1] != 0) ++p;
    if (*s == 0) return 0;
    if (m->IdenticalCompare) {
      const bool same = *s == *p || (m->CompareCaseCombined && CharLowerByte(*s) == CharLowerByte(*p));
      if (!same) return 0;
      ++s, ++p;
    } else {
      const unsigned char* a = s;
      const unsigned char* b = p;
      if (CompareCallbacks.CompareFirstChar(&a, &b) != 0) return 0;
      s = a != s ? a : s + 1;
      p = b != p ? b : p + 1;
    }
  }
  return *s == 0 || allowRest ? 1 : 0;
}

namespace {
// The memo reader holds the record's text only, so the previous record's
// memo matches as the current one does.
int MatchLongText(CKmComposite* m, const char* pattern, FieldDef* memo, bool /*previous*/) {
  MemoReader* reader = memo != nullptr ? MemoReaderOf(m, memo) : nullptr;
  return reader != nullptr && MatchCondition(m, pattern, *reader, 1) != 0 ? 1 : 0;
}
}  // namespace

void InstallLongTextMatch(CKmComposite* model) {
  if (model != nullptr) model->matchLongText = MatchLongText;
}

int MatchCondition(CKmComposite* m, const char* pattern, MemoReader& reader, int wildcards) {
  RecordPassState* st = GetRecordPassState(m);
  if (ReadMemoText(reader, nullptr, kMemoFromStart) != 0) {
    if (!st->memoErrorShown) {
      st->memoErrorShown = 1;
      ShowPassMessage(m->GetEngineErrorText(m->lastEngineError != 0 ? m->lastEngineError : 3169));
    }
    return 0;
  }
  if (pattern == nullptr || pattern[0] == 0) return reader.length == 0 ? 1 : 0;
  std::string pat = pattern;
  const char pad = static_cast<char>(m->SpaceDotChar);
  for (char& c : pat)
    if (c == pad) c = ' ';
  if (!wildcards) return MatchPattern(m, reader.text, pat.c_str(), 0, 0);
  const unsigned char multi = ActiveSortOrderTables().multiWildcard;
  auto isMulti = [&](char c) { return c == '*' || static_cast<unsigned char>(c) == multi; };
  bool floating = false, rest = false;
  if (!pat.empty() && isMulti(pat.front())) {
    floating = true;
    pat.erase(0, 1);
  }
  if (!pat.empty() && isMulti(pat.back()) && CountEscapesBeforeLast(pat.c_str(), pat.size()) % 2 == 0) {
    rest = true;
    pat.pop_back();
  }
  if (!floating) return MatchPattern(m, reader.text, pat.c_str(), rest, 1);
  // A floating match moves the window on one character at a time.
  for (;;) {
    if (MatchPattern(m, reader.text, pat.c_str(), rest, 1)) return 1;
    if (reader.length == 0) return 0;
    if (reader.length < kMemoWindow) {
      // The text has ended: the window only shrinks from the front.
      std::memmove(reader.text, reader.text + 1, reader.length);
      --reader.length;
    } else if (ReadMemoText(reader, nullptr, 1) != 0) {
      return 0;
    }
  }
}
