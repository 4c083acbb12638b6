#include "data/expr_to_sql.h"

#include "data/data_access.h"
#include "data/select_builder.h"
#include "data/sql_literals.h"
#include "data/table_fields.h"
#include "expr/builtin_table.h"
#include "expr/calendar.h"
#include "expr/collation.h"
#include "expr/functions_string.h"
#include "core/compiled_code.h"
#include "expr/udf.h"
#include "expr/value_eval.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "platform/qe/qe.h"
#include "platform/win/profile.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <strings.h>
#include <utility>
#include <vector>

namespace {

constexpr size_t kMaxTranslation = 2000;
constexpr int kMaxCallDepth = 128;
constexpr int kMaxParameters = 128;
constexpr size_t kMaxStack = 4096;

// The template key of a built-in the data source may compute: its name in
// the built-in table. Null for the slots that stay with the program.
const char* FunctionKey(uint32_t slot) {
  const bool translatable = slot < 74 || slot == kSlotLike || slot == kSlotKmUnin || slot == kSlotRiParam ||
                            slot == kSlotCdll || slot == kSlotNow;
  return translatable ? GetBuiltinFunction(slot)->name : nullptr;
}

struct OdbcScalarFunction {
  const char* name;
  uint16_t infoType;
  uint32_t mask;
};
const OdbcScalarFunction kOdbcFunctions[] = {
    {"ABS", 49, 0x1},         {"ACOS", 49, 0x2},       {"ASIN", 49, 0x4},        {"ATAN", 49, 0x8},
    {"ATAN2", 49, 0x10},      {"CEILING", 49, 0x20},   {"COS", 49, 0x40},        {"COT", 49, 0x80},
    {"EXP", 49, 0x100},       {"FLOOR", 49, 0x200},    {"LOG", 49, 0x400},       {"MOD", 49, 0x800},
    {"SIGN", 49, 0x1000},     {"SIN", 49, 0x2000},     {"SQRT", 49, 0x4000},     {"TAN", 49, 0x8000},
    {"PI", 49, 0x10000},      {"RAND", 49, 0x20000},   {"CONCAT", 50, 0x1},      {"INSERT", 50, 0x2},
    {"LEFT", 50, 0x4},        {"LTRIM", 50, 0x8},      {"LENGTH", 50, 0x10},     {"LOCATE", 50, 0x20},
    {"LCASE", 50, 0x40},      {"REPEAT", 50, 0x80},    {"REPLACE", 50, 0x100},   {"RIGHT", 50, 0x200},
    {"RTRIM", 50, 0x400},     {"SUBSTRING", 50, 0x800}, {"UCASE", 50, 0x1000},   {"ASCII", 50, 0x2000},
    {"CHAR", 50, 0x4000},     {"CONVERT", 48, 0x1},    {"NOW", 52, 0x1},         {"CURDATE", 52, 0x2},
    {"DAYOFMONTH", 52, 0x4},  {"DAYOFWEEK", 52, 0x8},  {"DAYOFYEAR", 52, 0x10},  {"MONTH", 52, 0x20},
    {"QUARTER", 52, 0x40},    {"WEEK", 52, 0x80},      {"YEAR", 52, 0x100},      {"CURTIME", 52, 0x200},
    {"HOUR", 52, 0x400},      {"MINUTE", 52, 0x800},   {"SECOND", 52, 0x1000},   {"USERNAME", 51, 0x1},
    {"DBNAME", 51, 0x2},      {"IFNULL", 51, 0x4},     {nullptr, 0, 0}};

struct TemplateCache : ModelAttachment {
  static constexpr AttachmentSlot kSlot = AttachmentSlot::kSqlTemplates;
  std::string loadedFor;
  bool loaded = false;
  std::map<std::string, std::string> texts;
  std::map<std::string, bool> caseMaps;  // LOWER, UPPER: whether they change case as the program does
};

bool DriverSupports(const char* name, void* ctx) {
  DataAccess* da = static_cast<DataAccess*>(ctx);
  size_t n = std::strlen(name);
  for (const OdbcScalarFunction* f = kOdbcFunctions; f->name; ++f)
    if (strncasecmp(f->name, name, n) == 0) return (da->GetOdbcInfoLong(f->infoType) & f->mask) != 0;
  return false;
}

std::string ReadIniValue(const std::string& file, const char* section, const char* key) {
  if (file.empty() || !section || !*section) return std::string();
  std::string buf(4001, '\0');
  DWORD n = GetPrivateProfileStringA(section, key, "", &buf[0], 4001, file.c_str());
  buf.resize(n);
  return buf;
}

void RightTrim(std::string* s) {
  while (!s->empty() && s->back() == ' ') s->pop_back();
}

// An omitted last argument leaves "x, )": the comma becomes the bracket.
void CloseOmittedArguments(std::string* s) {
  for (;;) {
    std::string t = *s;
    RightTrim(&t);
    if (t.empty() || t.back() != ')') return;
    t.pop_back();
    RightTrim(&t);
    if (t.empty() || t.back() != ',') return;
    t.back() = ')';
    *s = t;
  }
}

// What the program makes of a value, carried beside its SQL text, so that the
// text computes exactly what the program computes, a missing value included.
// A number or date column's missing value is a value of its own (blank when
// printed, smallest among dates); everything computed from missing or
// impossible values carries the program's null flag, which SQL NULL stands for
// inside a translation. The result is written the way the program writes it:
// a flagged value as zero, an empty text, the first day or false.
enum class Kind : uint8_t { kNumber, kLogical, kText, kDate, kDateTime, kEmpty };
enum class Null : uint8_t { kNever, kMissing, kFlagged };  // what an SQL NULL of the term stands for
// How a number may differ from the decimal it stands for: the program takes
// numbers within two units of the last place as equal, SQL compares exactly,
// so only terms free of rounding are compared in SQL.
enum class Exact : uint8_t { kWhole, kDecimal, kRounded };

struct Term {
  std::string sql;
  Kind kind = Kind::kNumber;
  Null null = Null::kNever;
  Exact exact = Exact::kWhole;
  bool constant = false;
};

bool IsNumeric(const Term& t) { return t.kind == Kind::kNumber || t.kind == Kind::kLogical; }
bool MayBeNull(const Term& t) { return t.null != Null::kNever; }
// Popped by an operation, a missing value becomes a flagged zero.
Null Popped(const Term& t) { return t.null == Null::kNever ? Null::kNever : Null::kFlagged; }
Null Either(Null a, Null b) { return a == Null::kNever ? b : b == Null::kNever ? a : Null::kFlagged; }
Exact Worse(Exact a, Exact b) { return a > b ? a : b; }

// What the translator knows of a built-in beyond its argument and result types.
enum class ResultExact : uint8_t { kRounded, kWhole, kAsArgument, kWholeIfWhole, kRoundedTo };
struct CallFacts {
  const char* name;
  ResultExact exact;
  bool missingDateGivesZero;  // the date parts: a missing date gives 0
  int omittedLastArgument;    // the value an omitted last argument stands for (-1: none)
};
const CallFacts kCallFacts[] = {
    {"LEN", ResultExact::kWhole, false, -1},           {"YEAR", ResultExact::kWhole, true, -1},
    {"MONTH", ResultExact::kWhole, true, -1},          {"DAY", ResultExact::kWhole, true, -1},
    {"ABS", ResultExact::kAsArgument, false, -1},      {"MOD", ResultExact::kWholeIfWhole, false, -1},
    {"ROUND", ResultExact::kRoundedTo, false, -1},     {"SUBSTR", ResultExact::kRounded, false, kSubstrDefaultLength},
};
const CallFacts* FactsOf(const char* name) {
  for (const CallFacts& f : kCallFacts)
    if (std::strcmp(f.name, name) == 0) return &f;
  return nullptr;
}

const char* Truth(bool b) { return b ? "(1 = 1)" : "(1 = 0)"; }

// A number column holds whole numbers when the database says so.
bool WholeNumberColumn(FieldDef* f) {
  const FieldBinding* b = GetFieldBinding(f, false);
  if (b == nullptr) return false;
  return b->columnType == 4 || b->columnType == 5 || ((b->columnType == 3 || b->columnType == 10) && b->scale == 0);
}

class Translator {
 public:
  Translator(CKmComposite* m, int depth) : m_(m), da_(GetDataAccess(m)), depth_(depth) {}

  bool Run(const uint8_t* code, size_t length, Term* out) {
    struct Frame {
      const uint8_t* code;
      size_t length;
      size_t resume;
      std::vector<Term> args;
    };
    if (depth_ >= kMaxCallDepth) return false;
    std::vector<Frame> frames;
    CodeReader reader(code, length);
    const uint8_t* curCode = code;
    size_t curLength = length;
    Instruction in;
    for (;;) {
      if (!reader.Next(&in)) return false;
      switch (in.op) {
        case OP_ADD: case OP_SUB: case OP_DIV: case OP_MUL: case OP_POW: case OP_PERCENT: case OP_EQ:
        case OP_NE: case OP_LE: case OP_GE: case OP_LT: case OP_GT: case OP_AND: case OP_OR: case OP_CONCAT:
        case OP_CONCAT_TRIM: case OP_CONTAINS: case OP_DATE_DIFF: case OP_DATE_ADD: case OP_DATE_SUB: {
          if (stack_.size() < 2) return false;
          Term r = stack_.back();
          stack_.pop_back();
          Term l = stack_.back();
          stack_.pop_back();
          Term t;
          if (!Binary(in.op, l, r, &t) || !Push(t)) return false;
          break;
        }
        case OP_PLUS: case OP_NEG: case OP_NOT: {
          if (stack_.empty()) return false;
          Term x = stack_.back();
          stack_.pop_back();
          Term t;
          if (!Unary(in.op, x, &t) || !Push(t)) return false;
          break;
        }
        case OP_NUMBER: {
          Term t;
          t.sql = FormatSqlNumber(in.f64);
          const char* p = t.sql.c_str();
          if (*p == '-') ++p;
          bool digits = *p != 0;
          for (; *p; ++p)
            if (!std::isdigit(static_cast<unsigned char>(*p))) digits = false;
          if (in.u8 > 0 && digits) t.sql += ".00";
          t.exact = in.f64 == std::trunc(in.f64) ? Exact::kWhole : Exact::kDecimal;
          t.constant = true;
          if (!Push(t)) return false;
          break;
        }
        case OP_FIELD: {
          Term t;
          if (!Field(in.u32, &t) || !Push(t)) return false;
          break;
        }
        case OP_CALL: {
          uint32_t slot = in.u32 & kCallIdMask;
          int argc = in.u8;
          if (stack_.size() < static_cast<size_t>(argc)) return false;
          std::vector<Term> args(stack_.end() - argc, stack_.end());
          stack_.resize(stack_.size() - argc);
          Term t;
          if (!Call(slot, args, &t) || !Push(t)) return false;
          break;
        }
        case OP_TRUE: case OP_FALSE: {
          Term t;
          t.sql = in.op == OP_TRUE ? "1" : "0";
          t.kind = Kind::kLogical;
          t.constant = true;
          if (!Push(t)) return false;
          break;
        }
        case OP_STRING: {
          std::string text(in.text ? in.text : "", in.u32 ? in.u32 - 1 : 0);
          text = text.c_str();
          for (char& c : text)
            if (static_cast<unsigned char>(c) == static_cast<unsigned char>(m_->SpaceDotChar)) c = ' ';
          uint32_t max = da_->GetMaxLiteralLength();
          if (max && text.size() > max) return false;
          Term t;
          AppendSqlTextLiteral(&t.sql, text.c_str(), TextLiteralFormOf(m_));
          t.kind = Kind::kText;
          t.constant = true;
          if (!Push(t)) return false;
          break;
        }
        case OP_EMPTY_ARG: {
          Term t;
          t.sql = " ";
          t.kind = Kind::kEmpty;
          if (!Push(t)) return false;
          break;
        }
        case OP_DATE: {
          Term t;
          FormatSqlDateLiteral(m_, static_cast<int32_t>(in.u32), &t.sql);
          t.kind = Kind::kDate;
          t.constant = true;
          if (!Push(t)) return false;
          break;
        }
        case OP_UDF_CALL: {
          uint32_t id = in.u32 & kCallIdMask;
          const UdfNode* u = m_->udfList;
          while (u && u->id != id) u = u->next;
          int argc = in.u8;
          if (!u || !u->code || frames.size() >= static_cast<size_t>(kMaxCallDepth) - 1 ||
              openParams_ + argc > kMaxParameters || stack_.size() < static_cast<size_t>(argc))
            return false;
          Frame f{curCode, curLength, reader.position(), {}};
          f.args.assign(stack_.end() - argc, stack_.end());
          stack_.resize(stack_.size() - argc);
          openParams_ += argc;
          frames.push_back(std::move(f));
          curCode = u->code;
          curLength = u->codeLength;
          reader = CodeReader(curCode, curLength);
          break;
        }
        case OP_PARAM: {
          if (frames.empty() || in.u32 >= frames.back().args.size()) return false;
          if (!Push(frames.back().args[in.u32])) return false;
          break;
        }
        case OP_END: {
          if (!frames.empty()) {
            Frame f = std::move(frames.back());
            frames.pop_back();
            openParams_ -= static_cast<int>(f.args.size());
            curCode = f.code;
            curLength = f.length;
            reader = CodeReader(curCode, curLength);
            reader.Seek(f.resume);
            break;
          }
          if (stack_.size() != 1) return false;
          *out = stack_.back();
          return true;
        }
        case OP_JUMP_FALSE:
          // A flagged IIF condition leaves its flag pending; the next
          // condition tested clears it, which SQL cannot follow.
          if (flagPending_) return false;
          conditions_.push_back(conditionsSeen_++);
          break;
        case OP_JUMP:
          break;
        case OP_MERGE_FLAGS:  // INLIST and CASE keep and drop flags in ways SQL cannot follow
        case OP_TABLE: case OP_FIELD_PREV: case OP_EMPTY_LONGTEXT: case OP_PARAM_PREV: case OP_DATETIME:
        case OP_TIME: case OP_KEYWORD:
          return false;
        default:
          break;
      }
    }
  }

 private:
  // Every term is bounded as it is made, so that a translation that grows
  // past the limit is given up at once: an operand written twice by each
  // AND, OR or template must not grow the text beyond what memory holds.
  bool Push(const Term& t) {
    if (stack_.size() >= kMaxStack || t.sql.size() > kMaxTranslation) return false;
    stack_.push_back(t);
    return true;
  }

  bool Fill(const char* key, const std::vector<std::string>& args, std::string* out) {
    std::string t = ReadSqlFunctionText(m_, key);
    return !t.empty() && FillSqlTemplate(t, args.data(), static_cast<int>(args.size()), out);
  }
  // A two-operand template: %1 the left operand, every other placeholder the right.
  bool FillBinary(uint8_t op, const std::string& l, const std::string& r, std::string* out) {
    std::vector<std::string> args(9, r);
    args[0] = l;
    std::string filled;
    if (!Fill(OpcodeSqlKey(op), args, &filled)) return false;
    *out = "(" + filled + ")";
    return true;
  }

  // A text as the program compares it: pad characters as blanks, trailing blanks cut.
  std::string Comparable(const Term& t) {
    if (t.constant) {
      std::string s = t.sql;
      while (s.size() > 2 && s[s.size() - 2] == ' ') s.erase(s.size() - 2, 1);
      return s;
    }
    return TidiedTextSql(m_, t.sql);
  }

  bool Binary(uint8_t op, Term l, Term r, Term* t) {
    switch (op) {
      case OP_ADD: case OP_SUB: case OP_MUL: case OP_DIV: case OP_POW: case OP_PERCENT:
        if (!IsNumeric(l) || !IsNumeric(r) || !FillBinary(op, l.sql, r.sql, &t->sql)) return false;
        t->kind = Kind::kNumber;
        // Division by zero and 0 to the power 0 give the flag (the templates' NULL).
        t->null = op == OP_DIV || op == OP_POW ? Null::kFlagged : Either(Popped(l), Popped(r));
        t->exact = (op == OP_ADD || op == OP_SUB || op == OP_MUL) && l.exact == Exact::kWhole &&
                           r.exact == Exact::kWhole
                       ? Exact::kWhole
                       : Exact::kRounded;
        return true;
      case OP_EQ: case OP_NE: case OP_LE: case OP_GE: case OP_LT: case OP_GT:
        return Compare(op, l, r, t);
      case OP_AND: case OP_OR: {
        if (!IsNumeric(l) || !IsNumeric(r)) return false;
        std::string inner;
        if (!FillBinary(op, l.sql, r.sql, &inner)) return false;
        // The program's AND and OR are flagged whenever an operand is.
        t->sql = MayBeNull(l) || MayBeNull(r)
                     ? "(case when (" + l.sql + ") is null or (" + r.sql + ") is null then null else " + inner + " end)"
                     : inner;
        t->kind = Kind::kLogical;
        t->null = Either(Popped(l), Popped(r));
        return true;
      }
      case OP_CONCAT: case OP_CONCAT_TRIM: case OP_CONTAINS:
        if (l.kind != Kind::kText || r.kind != Kind::kText || !FillBinary(op, l.sql, r.sql, &t->sql)) return false;
        t->kind = op == OP_CONTAINS ? Kind::kLogical : Kind::kText;
        t->null = Either(l.null, r.null);
        return true;
      case OP_DATE_DIFF:
        if (l.kind != Kind::kDate || r.kind != Kind::kDate || !FillBinary(op, l.sql, r.sql, &t->sql)) return false;
        t->kind = Kind::kNumber;
        t->null = Either(Popped(l), Popped(r));  // a missing date gives the flag
        return true;
      case OP_DATE_ADD: case OP_DATE_SUB:
        // The templates take the date first; a number plus a date is the same sum.
        if (op == OP_DATE_ADD && IsNumeric(l) && r.kind == Kind::kDate) std::swap(l, r);
        if (l.kind != Kind::kDate || !IsNumeric(r) || !FillBinary(op, l.sql, r.sql, &t->sql)) return false;
        t->kind = Kind::kDate;
        t->null = Either(Popped(l), Popped(r));
        return true;
      default:
        return false;
    }
  }

  bool Unary(uint8_t op, const Term& x, Term* t) {
    if (!IsNumeric(x)) return false;
    std::vector<std::string> args(9, x.sql);
    if (!Fill(OpcodeSqlKey(op), args, &t->sql)) return false;
    if (op == OP_PLUS) {  // the program leaves the operand as it is
      const std::string sql = t->sql;
      *t = x;
      t->sql = sql;
      return true;
    }
    t->kind = op == OP_NOT ? Kind::kLogical : Kind::kNumber;
    t->null = Popped(x);
    t->exact = op == OP_NOT ? Exact::kWhole : x.exact;
    t->constant = x.constant;  // a negative number is written as its negation
    return true;
  }

  // The comparison follows the right operand's kind, as the program's does.
  bool Compare(uint8_t op, const Term& l, const Term& r, Term* t) {
    t->kind = Kind::kLogical;
    if (IsNumeric(r)) {
      if (!IsNumeric(l) || Worse(l.exact, r.exact) > Exact::kDecimal) return false;
      t->null = Either(Popped(l), Popped(r));
      return FillBinary(op, l.sql, r.sql, &t->sql);
    }
    if (r.kind == Kind::kText) {
      // Only equality is the same under every collation the database may have.
      if (l.kind != Kind::kText || (op != OP_EQ && op != OP_NE) || m_->CompareCaseCombined ||
          !TextCollatedByBytes(m_))
        return false;
      t->null = Either(l.null, r.null);
      return FillBinary(op, Comparable(l), Comparable(r), &t->sql);
    }
    if (r.kind != Kind::kDate || l.kind != Kind::kDate) return false;
    std::string plain;
    if (!FillBinary(op, l.sql, r.sql, &plain)) return false;
    t->null = Either(l.null == Null::kFlagged ? l.null : Null::kNever, r.null == Null::kFlagged ? r.null : Null::kNever);
    if (l.null != Null::kMissing && r.null != Null::kMissing) {
      t->sql = plain;
      return true;
    }
    // A missing date equals another missing one and sorts below (or above)
    // every date; it is a value, not a flag.
    const bool equality = op == OP_EQ || op == OP_NE;
    const int nullSide = m_->nullOrdering > 0 ? 1 : -1;
    std::string s = "(case";
    if (l.null == Null::kFlagged) s += " when (" + l.sql + ") is null then null";
    if (r.null == Null::kFlagged) s += " when (" + r.sql + ") is null then null";
    if (l.null == Null::kMissing && r.null == Null::kMissing)
      s += " when (" + l.sql + ") is null and (" + r.sql + ") is null then " + Truth(ComparisonHolds(op, 0));
    if (l.null == Null::kMissing)
      s += " when (" + l.sql + ") is null then " + Truth(ComparisonHolds(op, equality ? -1 : nullSide));
    if (r.null == Null::kMissing)
      s += " when (" + r.sql + ") is null then " + Truth(ComparisonHolds(op, equality ? 1 : -nullSide));
    t->sql = s + " else " + plain + " end)";
    return true;
  }

  bool Field(uint32_t number, Term* t) {
    FieldDef* f = m_->GetFieldAt(number);
    if (f == nullptr) return false;
    const bool fetched = (f->flags2 & kField2ValueSetElsewhere) != 0;  // the server computes it: a column
    if ((f->flags & kFieldCalculation) && !fetched) {
      // A calculation is its own evaluation: its text is taken in with what
      // it gives, missing values and flags alike.
      if (!f->sqlText || f->code == nullptr) return false;
      Translator inner(m_, depth_ + 1);
      return inner.Run(f->code, f->codeLength, t);
    }
    if ((f->flags & (kFieldMemo | kFieldAlias)) || (f->totalFlags & kTotalIsTotal)) return false;
    // A value of a type of the server's own meets no number or text in SQL.
    const FieldBinding* own = GetFieldBinding(f, false);
    if (own != nullptr && own->serversOwnType) return false;
    const TableSlot* slot = f->table < kMaxTables ? m_->tableSlots[f->table] : nullptr;
    if (fetched ? !f->sqlText : slot == nullptr) return false;
    const std::string column = QualifiedColumnName(m_, f, slot);
    const uint32_t kind = FieldKind(f);
    t->sql = column;
    if (kind == 0) {  // a missing text is an empty one
      std::string text;
      if (!PaddedAsFetched(f, column, &text)) return false;
      t->sql = "coalesce(" + text + ", '')";
      t->kind = Kind::kText;
    } else if (kind == kFieldNumeric) {
      t->kind = Kind::kNumber;
      t->null = Null::kMissing;
      t->exact = WholeNumberColumn(f) ? Exact::kWhole : Exact::kDecimal;
    } else if (kind == kFieldLogical) {  // a missing logical value is false
      t->sql = "coalesce(" + column + ", 1 = 0)";
      t->kind = Kind::kLogical;
    } else if (kind == kFieldDate) {
      t->kind = Kind::kDate;
      t->null = Null::kMissing;
    } else if (kind == kFieldDateTime) {
      t->kind = Kind::kDateTime;  // only its date counts, and only for a function taking a date
      t->null = Null::kMissing;
    } else {
      return false;
    }
    return true;
  }

  // A fixed-width text column as the program reads it: the server sends it
  // padded with blanks to its width, while in SQL the blanks of such a value
  // do not count (PostgreSQL drops them in LENGTH, || and SUBSTR). The text
  // is written with its blanks, or the program keeps it where the server's
  // reading is not known.
  bool PaddedAsFetched(FieldDef* f, const std::string& column, std::string* out) {
    *out = column;
    const FieldBinding* b = GetFieldBinding(f, false);
    if (b == nullptr || b->dbType != QE_DB_CHAR) return true;
    switch (da_->Server()) {
      case SqlServer::kSqlite:  // keeps what was stored
        return true;
      case SqlServer::kPostgres:
        // A text longer than the program's value buffer is cut there.
        if (f->width == 0 || f->width >= GetSqlRunState(m_)->longestValue) return false;
        *out = "rpad(" + column + ", " + std::to_string(f->width) + ")";
        return true;
      default:
        return false;
    }
  }

  bool ArgumentFits(uint8_t type, const Term& a) {
    switch (type & 0x5F) {
      case kArgNumber: return IsNumeric(a);
      case kArgString: return a.kind == Kind::kText;
      case kArgDate: return a.kind == Kind::kDate || a.kind == Kind::kDateTime;
      case kArgValue: case kArgSame: case kArgAny: return a.kind != Kind::kDateTime;
      default: return false;
    }
  }

  bool Call(uint32_t slot, std::vector<Term>& args, Term* t) {
    const char* key = FunctionKey(slot);
    if (key == nullptr || ReadSqlFunctionText(m_, key).empty()) return false;
    if (slot == kSlotIif) return Iif(args, t);
    const BuiltinFunctionRecord* rec = GetBuiltinFunction(slot);
    if ((std::strcmp(rec->name, "LOWER") == 0 || std::strcmp(rec->name, "UPPER") == 0) &&
        !CaseTemplateMapsAsTheProgram(m_, rec->name))
      return false;
    const CallFacts* facts = FactsOf(rec->name);
    const size_t argc = args.size();
    if (facts && facts->omittedLastArgument >= 0 && argc > 0 && args.back().kind == Kind::kEmpty) {
      args.back().sql = std::to_string(facts->omittedLastArgument);
      args.back().kind = Kind::kNumber;
    }
    bool missingDate = false;
    t->null = Null::kNever;
    for (size_t i = 0; i < argc; ++i) {
      const Term& a = args[i];
      if (a.kind == Kind::kEmpty) continue;
      if (!ArgumentFits(BuiltinArgType(slot, static_cast<unsigned>(i)), a)) return false;
      if ((a.kind == Kind::kDate || a.kind == Kind::kDateTime) && a.null == Null::kMissing && facts &&
          facts->missingDateGivesZero) {
        missingDate = true;
        continue;
      }
      t->null = Either(t->null, Popped(a));
    }
    std::vector<std::string> texts;
    for (const Term& a : args) texts.push_back(a.sql);
    if (!Fill(key, texts, &t->sql)) return false;
    CloseOmittedArguments(&t->sql);
    if (missingDate) t->sql = "coalesce(" + t->sql + ", 0)";
    switch (rec->resultType) {
      case kResultNumber: t->kind = Kind::kNumber; break;
      case kResultString: t->kind = Kind::kText; break;
      case kResultDate: t->kind = Kind::kDate; break;
      case kResultDateTime: t->kind = Kind::kDateTime; break;
      case kResultSame:
        if (argc == 0 || args.back().kind == Kind::kEmpty || args.back().kind == Kind::kDateTime) return false;
        t->kind = args.back().kind;
        break;
      default:
        if (!(rec->resultType & kResultLogicalBit)) return false;
        t->kind = Kind::kLogical;
        break;
    }
    t->exact = Exact::kRounded;
    if (facts) {
      switch (facts->exact) {
        case ResultExact::kWhole: t->exact = Exact::kWhole; break;
        case ResultExact::kAsArgument: t->exact = argc ? args[0].exact : Exact::kRounded; break;
        case ResultExact::kWholeIfWhole:
          t->exact = argc == 2 && args[0].exact == Exact::kWhole && args[1].exact == Exact::kWhole ? Exact::kWhole
                                                                                               : Exact::kRounded;
          t->null = Null::kFlagged;  // MOD by zero gives the flag
          break;
        case ResultExact::kRoundedTo:  // to a constant number of places: a decimal as written
          t->exact = argc == 2 && args[1].constant ? Exact::kDecimal : Exact::kRounded;
          break;
        case ResultExact::kRounded: break;
      }
    }
    return true;
  }

  // IIF(condition, value, value): the program tests the condition by its
  // kind; a flagged condition takes a branch and leaves the whole result
  // flagged until another condition is tested.
  bool Iif(const std::vector<Term>& args, Term* t) {
    if (args.size() != 3 || conditions_.empty()) return false;
    const int mine = conditions_.back();
    conditions_.pop_back();
    const Term& c = args[0];
    const Term& a = args[1];
    const Term& b = args[2];
    if (a.kind != b.kind || a.kind == Kind::kEmpty || a.kind == Kind::kDateTime) return false;
    std::string test;
    switch (c.kind) {
      case Kind::kLogical: test = c.sql; break;
      case Kind::kNumber: test = "(" + c.sql + ") <> 0"; break;
      case Kind::kText: test = Comparable(c) + " <> ''"; break;
      case Kind::kDate: test = "(" + c.sql + ") is not null"; break;
      default: return false;
    }
    if ((a.null == Null::kMissing && b.null == Null::kFlagged) ||
        (a.null == Null::kFlagged && b.null == Null::kMissing))
      return false;
    t->null = a.null == Null::kNever ? b.null : a.null;
    std::vector<std::string> texts = {test, a.sql, b.sql};
    if (!Fill("IIF", texts, &t->sql)) return false;
    const bool flagged = c.null == Null::kFlagged;
    if (flagged) {
      if (t->null == Null::kMissing || conditionsSeen_ - 1 != mine) return false;
      flagPending_ = true;
      t->null = Null::kFlagged;
      t->sql = "(case when (" + c.sql + ") is null then null else " + t->sql + " end)";
    }
    t->kind = a.kind;
    t->exact = Worse(a.exact, b.exact);
    return true;
  }

  CKmComposite* m_;
  DataAccess* da_;
  int depth_;
  std::vector<Term> stack_;
  int openParams_ = 0;
  std::vector<int> conditions_;  // the IIF conditions open, by the order they were met
  int conditionsSeen_ = 0;
  bool flagPending_ = false;
};

// The value as the program writes it: a flagged one as zero, an empty text,
// the first day of the calendar or false; a missing value stays missing.
bool WrittenValue(CKmComposite* m, const Term& t, std::string* out) {
  switch (t.kind) {
    case Kind::kLogical:
      *out = "case when " + t.sql + " then 1 else 0 end";
      return true;
    case Kind::kNumber:
      *out = t.null == Null::kFlagged ? "coalesce(" + t.sql + ", 0)" : t.sql;
      return true;
    case Kind::kText:
      *out = t.null == Null::kFlagged ? "coalesce(" + t.sql + ", '')" : t.sql;
      return true;
    case Kind::kDate: {
      if (t.null != Null::kFlagged) {
        *out = t.sql;
        return true;
      }
      std::string first;
      FormatSqlDateLiteral(m, kFirstDay, &first);
      *out = "coalesce(" + t.sql + ", " + first + ")";
      return true;
    }
    case Kind::kDateTime:  // only a site's own template gives one; it is taken as it is
      *out = t.sql;
      return true;
    default:
      return false;
  }
}

}  // namespace

bool FillSqlTemplate(const std::string& templ, const std::string* args, int count, std::string* out) {
  out->clear();
  for (size_t i = 0; i < templ.size(); ++i) {
    char c = templ[i];
    if (c != '%') {
      *out += c;
      continue;
    }
    if (i + 1 >= templ.size()) break;
    char n = templ[++i];
    if (n == '%') {
      *out += '%';
    } else if (n == '0') {
      break;
    } else if (n >= '1' && n <= '9') {
      int k = n - '1';
      if (k >= count) return false;
      *out += args[k];
    }
  }
  return true;
}

std::string WrapOdbcScalarFunctions(const std::string& templ, bool (*supported)(const char*, void*), void* ctx) {
  std::string s = templ;
  size_t i = 0;
  while (i < s.size()) {
    if (!std::isalpha(static_cast<unsigned char>(s[i]))) {
      ++i;
      continue;
    }
    size_t start = i;
    while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i]))) ++i;
    if (i >= s.size() || s[i] != '(') continue;
    std::string word = s.substr(start, i - start);
    if (!supported(word.c_str(), ctx)) return std::string();
    int depth = 0;
    size_t close = std::string::npos;
    for (size_t j = i; j < s.size(); ++j) {
      if (s[j] == '(') ++depth;
      if (s[j] == ')' && --depth == 0) {
        close = j;
        break;
      }
    }
    if (close == std::string::npos) return std::string();
    s.insert(close + 1, "}");
    s.insert(start, "{fn ");
    i = start + 4 + word.size();
  }
  return s;
}

std::string ReadSqlFunctionText(CKmComposite* model, const char* key) {
  DataAccess* da = GetDataAccess(model);
  TemplateCache& c = *model->GetAttachment<TemplateCache>();
  std::string source = da->GetCurrentDataSourceName() ? da->GetCurrentDataSourceName() : "";
  if (!c.loaded || c.loadedFor != source) {
    c.texts.clear();
    c.caseMaps.clear();
    c.loadedFor = source;
    c.loaded = true;
  }
  auto it = c.texts.find(key);
  if (it != c.texts.end()) return it->second;
  std::string v = ReadSqlTemplate(model, key);
  if (v.empty()) {
    v = ReadIniValue(da->sqlIniPath, "ODBC", key);
    if (!v.empty()) v = WrapOdbcScalarFunctions(v, DriverSupports, da);
  }
  c.texts[key] = v;
  return v;
}

int ExpressionToSql(CKmComposite* model, const uint8_t* code, size_t length, FieldDef* field, bool store,
                    std::string* out) {
  DataAccess* da = GetDataAccess(model);
  auto fail = [&]() {
    if (store && field) {
      HeapFreeBlock(field->sqlText);
      field->sqlText = nullptr;
    }
    return 1;
  };
  if ((model->statementText && model->statementText[0]) || da->Current() == nullptr) return 1;
  if (code == nullptr || length == 0) return fail();
  Term term;
  std::string text;
  Translator t(model, 0);
  if (!t.Run(code, length, &term) || !WrittenValue(model, term, &text) || text.size() > kMaxTranslation)
    return fail();
  FieldDef probe;
  int r = BuildProbeSelect(model, text.c_str(), &probe, 1, false);
  delete probe.dataBinding;
  if (r != 0) return fail();
  if (store && field) {
    HeapFreeBlock(field->sqlText);
    field->sqlText = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(text.size() + 1)));
    if (field->sqlText == nullptr) return 1;
    std::memcpy(field->sqlText, text.c_str(), text.size() + 1);
  } else if (out) {
    *out = text;
  }
  return 0;
}

bool CaseTemplateMapsAsTheProgram(CKmComposite* model, const char* key) {
  TemplateCache& c = *model->GetAttachment<TemplateCache>();
  const std::string templ = ReadSqlFunctionText(model, key);  // loads the data source's texts
  auto known = c.caseMaps.find(key);
  if (known != c.caseMaps.end()) return known->second;
  DataAccess* da = GetDataAccess(model);
  if (templ.empty() || da->Current() == nullptr || da->StatementOpen()) return false;
  // Every letter of the code page through the template, against the program's own mapping.
  const bool lower = std::strcmp(key, "LOWER") == 0;
  std::string letters, expected;
  for (int ch = 1; ch < 256; ++ch)
    if (IsCharAlphaByte(static_cast<unsigned char>(ch))) letters += static_cast<char>(ch);
  expected = letters;
  if (lower) CharLowerInPlace(&expected[0]);
  else CharUpperInPlace(&expected[0]);
  std::string literal, sql;
  AppendSqlTextLiteral(&literal, letters.c_str(), TextLiteralFormOf(model));
  bool same = false;
  if (FillSqlTemplate(templ, &literal, 1, &sql)) {
    sql = "select " + sql;
    char error[256] = {};
    if (da->ExecSql(sql.c_str(), error, sizeof error) == 0 && da->FetchNext() == 0)
      same = da->GetColumnText(1, 1, 0) == expected;
    da->EndStatement();
  }
  c.caseMaps[key] = same;
  return same;
}

namespace {

// The field's code translated again, for what the translation's term tells;
// with stored, only for a field that keeps a translation.
bool TranslateField(CKmComposite* model, const FieldDef* field, bool stored, Term* term) {
  if (field == nullptr || field->code == nullptr || (stored && field->sqlText == nullptr) ||
      GetDataAccess(model)->Current() == nullptr)
    return false;
  Translator t(model, 0);
  return t.Run(field->code, field->codeLength, term);
}

}  // namespace

bool TranslationComparesExactly(CKmComposite* model, const FieldDef* field) {
  Term term;
  if (!TranslateField(model, field, false, &term)) return false;
  return !IsNumeric(term) || term.exact != Exact::kRounded;
}

bool TranslationFlagsValues(CKmComposite* model, const FieldDef* field, std::string* flag) {
  Term term;
  if (!TranslateField(model, field, true, &term) || term.null != Null::kFlagged) return false;
  *flag = term.sql;
  return true;
}

bool TranslationIsMissingNumber(CKmComposite* model, const FieldDef* field) {
  Term term;
  return TranslateField(model, field, true, &term) && term.kind == Kind::kNumber && term.null == Null::kMissing;
}

bool TranslationForCondition(CKmComposite* model, const FieldDef* field, std::string* sql) {
  Term term;
  if (!TranslateField(model, field, true, &term)) return false;
  switch (term.kind) {
    case Kind::kLogical:
      // NULL stays NULL: a flagged truth value satisfies no condition.
      *sql = "(case when " + term.sql + " then 1 when not (" + term.sql + ") then 0 end)";
      break;
    case Kind::kNumber: case Kind::kText: case Kind::kDate: case Kind::kDateTime:
      *sql = term.sql;
      break;
    default:
      return false;
  }
  return sql->size() <= kMaxTranslation;
}

void TranslateCalculatedFields(CKmComposite* model) {
  for (FieldDef* f = model->fieldList; f; f = f->next)
    if ((f->flags & (kFieldCalculation | kFieldAlias)) == kFieldCalculation)
      ExpressionToSql(model, f->code, f->codeLength, f, true, nullptr);
}

char* TranslateFieldToSql(CKmComposite* model, FieldDef* field) {
  std::string text;
  if (field == nullptr || ExpressionToSql(model, field->code, field->codeLength, nullptr, false, &text) != 0)
    return nullptr;
  char* block = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(text.size() + 1)));
  if (block != nullptr) std::memcpy(block, text.c_str(), text.size() + 1);
  return block;
}

void InstallSqlTranslation(CKmComposite* model) { model->translateToSql = TranslateFieldToSql; }
