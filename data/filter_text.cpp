#include "data/filter_text.h"

#include "data/data_access.h"
#include "data/expr_to_sql.h"
#include "data/select_builder.h"
#include "data/sql_literals.h"
#include "data/table_fields.h"
#include "expr/calendar.h"
#include "expr/collation.h"
#include "core/composite.h"
#include "core/fields.h"
#include "model/record_filter.h"

#include <cctype>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kSpecialFieldFloor = 0xFFFFFF00u;
constexpr uint32_t kDatePatternFloor = 0x800001FEu;

const char* const kOperatorText[15] = {"",         " = ",          " <> ",  " > ",     " >= ",
                                       " < ",      " <= ",         " between ", " not between ", " in ",
                                       " not in ", " like ",       " not like ", " is null", " is not null"};

struct Node {
  uint8_t op = 0;
  const uint8_t* begin = nullptr;  // the operator byte
  const uint8_t* end = nullptr;
  std::vector<Node> children;      // and / or
  uint32_t field = kNoField;
  std::vector<const uint8_t*> operands;
  bool untranslatable = false;
};

// Parses one node of the evaluation code inside [p, limit); false when the
// code is not well formed.
bool Parse(const uint8_t*& p, const uint8_t* limit, Node* n, int depth) {
  if (p >= limit || depth > 200) return false;
  n->begin = p;
  n->op = *p++;
  if (n->op == kCondAnd || n->op == kCondOr) {
    size_t len = 0;
    if (!ReadConditionLength(p, limit, &len) || len > static_cast<size_t>(limit - p)) return false;
    const uint8_t* end = p + len;
    while (p < end) {
      Node c;
      if (!Parse(p, end, &c, depth + 1)) return false;
      n->children.push_back(std::move(c));
    }
    n->end = end;
    return true;
  }
  const uint8_t* end = limit;
  if (n->op == kCondOneOf || n->op == kCondNoneOf) {
    size_t len = 0;
    if (!ReadConditionLength(p, limit, &len) || len > static_cast<size_t>(limit - p)) return false;
    end = p + len;
  } else if (!IsConditionComparison(n->op)) {
    return false;
  }
  size_t fs = ConditionTokenSize(p, end);
  if (fs != kCondFieldSize || *p != kCondField) return false;
  n->field = ConditionFieldNumber(p);
  p += kCondFieldSize;
  while (p < end && IsConditionOperand(*p)) {
    size_t s = ConditionTokenSize(p, end);
    if (s == 0) return false;
    n->operands.push_back(p);
    p += s;
  }
  if (n->op == kCondOneOf || n->op == kCondNoneOf) p = end;
  n->end = p;
  return true;
}

class Writer {
 public:
  Writer(CKmComposite* m, std::string* out) : m_(m), da_(GetDataAccess(m)), out_(out) {
    if (da_->CanModifySelect()) SplitSqlTemplate(m, "LOWER", &head_, &tail_);
    exactWrapper_ = !m->CompareCaseCombined || CaseTemplateMapsAsTheProgram(m, "LOWER");
  }

  bool incomplete = false;

  bool FieldUntranslatable(uint32_t n) {
    if (n >= kSpecialFieldFloor) return true;
    const FieldDef* f = m_->GetFieldAt(n);
    if (f == nullptr) return true;
    if (f->flags & (kFieldMemo | kFieldTotalRelated | kFieldAlias)) return true;
    if (f->totalFlags & (kTotalIsTotal | 0x80)) return true;
    if (OwnType(f) && FieldKind(f) != 0 && FieldKind(f) != kFieldNumeric) return true;
    if (IsTranslatedCalculation(f)) {
      std::string sql;
      return !TranslationForCondition(m_, f, &sql);
    }
    return false;
  }

  // A column of a type of the server's own (an enum, an address, json, an
  // interval, money), as its driver reports it.
  static bool OwnType(const FieldDef* f) {
    const FieldBinding* b = GetFieldBinding(const_cast<FieldDef*>(f), false);
    return b != nullptr && b->serversOwnType && !(f->flags & kFieldCalculation);
  }

  // Such a column meets no text or number in SQL: a text is compared as the
  // server writes it out, which is what the program reads (concat writes it
  // so, where a cast to text may not: an address gains its mask), a missing
  // value stays missing; a number (money) is compared as a number.
  static std::string OwnTypeSql(const FieldDef* f, const std::string& column) {
    if (FieldKind(f) == kFieldNumeric) return "cast(" + column + " as numeric)";
    return "(case when " + column + " is null then null else concat(" + column + ") end)";
  }

  // A calculation the database computes from its translation (not a
  // column the server fills in).
  static bool IsTranslatedCalculation(const FieldDef* f) {
    return (f->flags & kFieldCalculation) && !(f->flags2 & kField2ValueSetElsewhere);
  }

  // A calculation whose number may carry rounding is compared by the
  // program within its tolerance, which SQL cannot do.
  bool ComparedExactly(const FieldDef* f) {
    if (f == nullptr || !(f->flags & kFieldCalculation) || (f->flags2 & kField2ValueSetElsewhere)) return true;
    return TranslationComparesExactly(m_, f);
  }

  // A pattern ending in the escape character matches nothing in the program.
  static bool PatternMatchesSomething(const std::string& pattern) {
    const unsigned char esc = ActiveSortOrderTables().escapeChar;
    bool escaped = false;
    for (char c : pattern) escaped = !escaped && esc != 0 && static_cast<unsigned char>(c) == esc;
    return !escaped;
  }

  // The program compares this field's texts without case, and the database
  // has no exact form of that.
  bool FoldsWithoutWrapper(const FieldDef* f) const {
    return m_->CompareCaseCombined && FieldKind(f) == 0 && !(f->flags & kFieldMemo) &&
           !(!head_.empty() && da_->CanModifySelect() && exactWrapper_);
  }

  bool Wrapped(const FieldDef* f) const {
    return !head_.empty() && da_->CanModifySelect() && m_->CompareCaseCombined && FieldKind(f) == 0;
  }

  static bool IsDatePattern(const uint8_t* t) {
    return (*t == kCondDate || *t == kCondDateTime) && ConditionDay(t) >= kDatePatternFloor && ConditionDay(t) != EmptyDate;
  }

  bool Mark(Node& n) {
    if (n.op == kCondAnd) {
      bool all = !n.children.empty();
      for (Node& c : n.children) all = Mark(c) && all;
      return n.untranslatable = all;
    }
    if (n.op == kCondOr) {
      for (Node& c : n.children)
        if (Mark(c)) return n.untranslatable = true;
      return n.untranslatable = n.children.empty();
    }
    bool u = FieldUntranslatable(n.field);
    if (!u && (n.op == kCondOneOf || n.op == kCondNoneOf))
      for (const uint8_t* t : n.operands) u = u || IsDatePattern(t);
    if (!u && (n.op == kCondLike || n.op == kCondNotLike)) {
      // The text is matched trimmed, as the program matches it: always an expression.
      if (!da_->LikeWithExpression() || !TextCollatedByBytes(m_)) u = true;
      if (!n.operands.empty() && *n.operands[0] != kCondText && *n.operands[0] != kCondText2) u = true;
      if (!u && !n.operands.empty() && !PatternMatchesSomething(ConditionText(n.operands[0]))) u = true;
    }
    if (!u && n.op >= kCondEqual && n.op <= kCondLessEqual) {
      if (n.operands.empty()) {
        u = true;
      } else if (*n.operands[0] == kCondField) {
        u = FieldUntranslatable(ConditionFieldNumber(n.operands[0])) ||
            !ComparedExactly(m_->GetFieldAt(ConditionFieldNumber(n.operands[0])));
      } else {
        u = IsDatePattern(n.operands[0]);
      }
    }
    if (!u && n.op != kCondIsNull && n.op != kCondIsNotNull && FoldsWithoutWrapper(m_->GetFieldAt(n.field)))
      u = true;
    if (!u && n.op != kCondLike && n.op != kCondNotLike && n.op != kCondIsNull && n.op != kCondIsNotNull) {
      const FieldDef* f = m_->GetFieldAt(n.field);
      if (!ComparedExactly(f)) u = true;
      // An empty value (a number's "is null"; an empty text, which its
      // translation may give as NULL) is not sure for a calculation.
      if (f->flags & kFieldCalculation) {
        for (const uint8_t* t : n.operands) u = u || IsNullItem(t) || IsEmptyTextItem(m_, t);
        // A calculated text sorts by the database's collation: only equality is sure.
        const bool equality = n.op == kCondEqual || n.op == kCondNotEqual || n.op == kCondOneOf ||
                              n.op == kCondNoneOf;
        if (FieldKind(f) == 0 && (!equality || !TextCollatedByBytes(m_))) u = true;
      }
    }
    if (!u && (n.op == kCondBetween || n.op == kCondNotBetween) && n.operands.size() < 2) u = true;
    return n.untranslatable = u;
  }

  // Which fields are written as the program compares texts: pad characters
  // as blanks, trailing blanks cut.
  enum class Tidy { kNone, kText, kAll };

  // A text compares as the program compares it (an equality keeps the
  // column's index through IndexPrefix).
  void WriteField(uint32_t n, Tidy tidy = Tidy::kText) {
    const FieldDef* f = m_->GetFieldAt(n);
    const TableSlot* t = f->table < kMaxTables ? m_->tableSlots[f->table] : nullptr;
    field_ = f;
    fieldNumber_ = n;
    fieldStart_ = out_->size();
    std::string name;
    // A calculation in a condition is NULL where the program flags it (Mark
    // made sure it has that form).
    if (!IsTranslatedCalculation(f) || !TranslationForCondition(m_, f, &name)) name = QualifiedColumnName(m_, f, t);
    if (OwnType(f)) name = OwnTypeSql(f, name);
    if (tidy == Tidy::kAll || (tidy == Tidy::kText && FieldKind(f) == 0))
      name = TidiedTextSql(m_, name);
    wrapped_ = Wrapped(f);
    if (wrapped_) {
      *out_ += head_ + name + tail_;
    } else {
      *out_ += name;
    }
    afterField_ = out_->size();
    fieldEnd_ = afterField_;
    fieldHeadLen_ = wrapped_ ? head_.size() : 0;
  }

  // Text of a literal; null marks an empty value.
  bool Literal(const uint8_t* t, std::string* s) {
    s->clear();
    switch (*t) {
      case kCondText:
      case kCondText2: {
        // The empty text is written as the missing value and the empty texts together.
        if (IsEmptyTextItem(m_, t)) return false;
        std::string v = ConditionText(t);
        for (char& c : v) {
          if (static_cast<unsigned char>(c) == static_cast<unsigned char>(m_->SpaceDotChar)) c = ' ';
          if (wrapped_) c = static_cast<char>(CharLowerByte(static_cast<unsigned char>(c)));
        }
        // The program compares without trailing blanks: a text of blanks is ''.
        while (!v.empty() && v.back() == ' ') v.pop_back();
        AppendSqlTextLiteral(s, v.c_str(), TextLiteralFormOf(m_));
        return true;
      }
      case kCondNumber: {
        double d = ConditionNumber(t);
        if (d == kNullNumber) return false;
        *s = FormatSqlNumber(d);
        return true;
      }
      case kCondDate: {
        uint32_t day = ConditionDay(t);
        if (day == EmptyDate) return false;
        FormatSqlDateLiteral(m_, static_cast<int32_t>(day), s);
        return true;
      }
      case kCondDateTime: {
        uint32_t day = ConditionDay(t);
        double time = ConditionDateTimeTime(t);
        if (day == EmptyDate && time == kNullNumber) return false;
        FormatSqlTimestampLiteral(m_, static_cast<int32_t>(day), time == kNullNumber ? 0.0 : time, s);
        return true;
      }
      case kCondTime: {
        double time = ConditionNumber(t);
        if (time == kNullNumber) return false;
        FormatSqlTimeLiteral(m_, time, s);
        return true;
      }
      default:
        return false;
    }
  }

  // The operand of a comparison; the operator text has been written.
  void WriteOperand(const uint8_t* t, uint8_t op) {
    if (*t == kCondField) {
      WriteField(ConditionFieldNumber(t));
      return;
    }
    if (*t == kCondLogical) {
      if (ConditionLogical(t)) {
        out_->resize(afterField_);
        *out_ += op == kCondEqual ? " <> " : " = ";
      }
      *out_ += "0";
      return;
    }
    std::string s;
    if (!Literal(t, &s)) {
      if ((op == kCondEqual || op == kCondNotEqual) && IsEmptyTextItem(m_, t) && EmptyItemMatchesMissing(field_)) {
        out_->resize(fieldStart_);
        WriteEmptyTest(op == kCondEqual);
      } else if (op == kCondEqual || op == kCondNotEqual) {
        out_->resize(afterField_);
        DropCaseWrapper();
        *out_ += op == kCondEqual ? " is null" : " is not null";
      } else {
        *out_ += "''";  // an empty value compares as an empty text
      }
      return;
    }
    *out_ += s;
  }

  // The field (the last written) is, or is not, the empty text as the
  // program's group break takes it: missing, '' or blanks.
  void WriteEmptyTest(bool empty) {
    const uint32_t n = fieldNumber_;
    *out_ += "(";
    WriteField(n, Tidy::kNone);
    DropCaseWrapper();
    *out_ += empty ? " is null or " : " is not null and ";
    WriteField(n, Tidy::kAll);
    *out_ += empty ? " = ''" : " <> ''";
    *out_ += ")";
  }

  // "is null" tests the column itself, not its folded form.
  void DropCaseWrapper() {
    if (!wrapped_ || fieldHeadLen_ == 0) return;
    size_t end = fieldEnd_;
    size_t start = end - tail_.size();
    out_->erase(start, tail_.size());
    size_t nameStart = out_->rfind(head_, start);
    if (nameStart != std::string::npos) out_->erase(nameStart, head_.size());
    wrapped_ = false;
  }

  bool IsNullItem(const uint8_t* t) {
    std::string s;
    if (*t == kCondField || *t == kCondLogical) return false;
    bool saved = wrapped_;
    bool r = !Literal(t, &s);
    wrapped_ = saved;
    return r;
  }

  bool Write(const Node& n) {
    if (n.untranslatable) {
      incomplete = true;
      return false;
    }
    const uint8_t op = n.op;
    if (op == kCondAnd || op == kCondOr) {
      size_t start = out_->size();
      *out_ += "(";
      bool any = false;
      for (size_t i = 0; i < n.children.size(); ++i) {
        size_t before = out_->size();
        if (any) *out_ += op == kCondAnd ? " and " : " or ";
        if (Write(n.children[i])) {
          any = true;
        } else {
          out_->resize(before);
        }
      }
      if (!any) {
        out_->resize(start);
        return false;
      }
      *out_ += ")";
      return true;
    }
    switch (op) {
      case kCondBetween:
      case kCondNotBetween: {
        WriteField(n.field);
        *out_ += kOperatorText[op];
        WriteOperand(n.operands[0], op);
        *out_ += " and ";
        WriteOperand(n.operands[1], op);
        return true;
      }
      case kCondOneOf:
      case kCondNoneOf: {
        bool hasNull = false;
        for (const uint8_t* t : n.operands) hasNull = hasNull || IsNullItem(t);
        if (!hasNull) {
          WriteField(n.field);
          *out_ += kOperatorText[op];
          *out_ += "(";
          for (size_t i = 0; i < n.operands.size(); ++i) {
            if (i) *out_ += ",";
            WriteOperand(n.operands[i], kCondEqual);
          }
          *out_ += ")";
          return true;
        }
        *out_ += "(";
        const uint8_t itemOp = op == kCondOneOf ? kCondEqual : kCondNotEqual;
        for (size_t i = 0; i < n.operands.size(); ++i) {
          if (i) *out_ += op == kCondOneOf ? " or " : " and ";
          WriteField(n.field);
          *out_ += kOperatorText[itemOp];
          WriteOperand(n.operands[i], itemOp);
        }
        *out_ += ")";
        return true;
      }
      case kCondLike:
      case kCondNotLike: {
        // The program matches the text and the pattern with pad characters
        // as blanks and trailing blanks cut, case kept unless folded.
        WriteField(n.field, Tidy::kAll);
        std::string v = n.operands.empty() ? std::string() : ConditionText(n.operands[0]);
        for (char& c : v) {
          if (static_cast<unsigned char>(c) == static_cast<unsigned char>(m_->SpaceDotChar)) c = ' ';
          if (wrapped_) c = static_cast<char>(CharLowerByte(static_cast<unsigned char>(c)));
        }
        while (!v.empty() && v.back() == ' ') v.pop_back();
        const SortOrderTables& tables = ActiveSortOrderTables();
        const char patternEscape = static_cast<char>(tables.escapeChar);
        if (LikeFoldsCase(da_)) {
          // SQLite's LIKE ignores case; its GLOB keeps it, with * and ? as wildcards.
          *out_ += op == kCondLike ? " glob " : " not glob ";
          AppendSqlTextLiteral(out_, ConvertGlobPattern(v.c_str(), patternEscape, static_cast<char>(tables.multiWildcard),
                                                        static_cast<char>(tables.singleWildcard))
                                         .c_str(),
                               TextLiteralFormOf(m_));
          return true;
        }
        *out_ += kOperatorText[op];
        const char sqlEscape = '\\';
        bool needsEscape = false;
        std::string pattern = ConvertLikePattern(v.c_str(), patternEscape, sqlEscape, &needsEscape,
                                                 static_cast<char>(tables.multiWildcard),
                                                 static_cast<char>(tables.singleWildcard));
        AppendSqlTextLiteral(out_, pattern.c_str(), TextLiteralFormOf(m_));
        if (needsEscape) {
          *out_ += " escape ";
          AppendSqlTextLiteral(out_, "\\", TextLiteralFormOf(m_));
        }
        return true;
      }
      case kCondIsNull:
      case kCondIsNotNull:
        WriteField(n.field, Tidy::kNone);
        if (EmptyItemMatchesMissing(field_)) {
          out_->resize(fieldStart_);
          WriteEmptyTest(op == kCondIsNull);
          return true;
        }
        DropCaseWrapper();
        *out_ += kOperatorText[op];
        return true;
      default: {
        const std::string prefix = op == kCondEqual ? IndexPrefix(n) : std::string();
        if (!prefix.empty()) *out_ += "(" + prefix + " and ";
        WriteField(n.field);
        *out_ += kOperatorText[op];
        WriteOperand(n.operands[0], op);
        if (!prefix.empty()) *out_ += ")";
        return true;
      }
    }
  }

  // For an equality of a text column with a text: a pattern on the bare
  // column that every text equal to it matches (it begins with the text's
  // part before its first blank, which a pad may stand for), so the
  // database can narrow by the column's index before the exact test.
  // Empty when no such part or when the program folds case.
  std::string IndexPrefix(const Node& n) {
    const FieldDef* f = m_->GetFieldAt(n.field);
    if (f == nullptr || FieldKind(f) != 0 || (f->flags & kFieldCalculation) || Wrapped(f) || OwnType(f))
      return std::string();
    if (n.operands.empty() || (*n.operands[0] != kCondText && *n.operands[0] != kCondText2)) return std::string();
    std::string v = ConditionText(n.operands[0]);
    const size_t blank = v.find_first_of(std::string(" ") + static_cast<char>(m_->SpaceDotChar));
    if (blank != std::string::npos) v.resize(blank);
    if (v.empty()) return std::string();
    const TableSlot* t = f->table < kMaxTables ? m_->tableSlots[f->table] : nullptr;
    std::string sql = QualifiedColumnName(m_, f, t);
    std::string pattern;
    bool escaped = false;
    for (char c : v) {
      if (LikeFoldsCase(da_) && (c == '*' || c == '?' || c == '[')) {
        pattern += std::string("[") + c + "]";
        continue;
      }
      if (!LikeFoldsCase(da_) && (c == '%' || c == '_' || c == '\\')) {
        pattern += '\\';
        escaped = true;
      }
      pattern += c;
    }
    // SQLite's LIKE ignores case (and its index); GLOB keeps both.
    sql += LikeFoldsCase(da_) ? " glob " : " like ";
    AppendSqlTextLiteral(&sql, (pattern + (LikeFoldsCase(da_) ? "*" : "%")).c_str(), TextLiteralFormOf(m_));
    if (escaped) {
      sql += " escape ";
      AppendSqlTextLiteral(&sql, "\\", TextLiteralFormOf(m_));
    }
    return sql;
  }

 private:
  CKmComposite* m_;
  DataAccess* da_;
  std::string* out_;
  std::string head_, tail_;
  bool wrapped_ = false;
  const FieldDef* field_ = nullptr;  // the field written last, from fieldStart_
  uint32_t fieldNumber_ = 0;
  size_t fieldStart_ = 0;
  bool exactWrapper_ = false;  // LOWER folds every letter as the program does
  size_t afterField_ = 0;
  size_t fieldEnd_ = 0;
  size_t fieldHeadLen_ = 0;
};

}  // namespace

namespace {

// Walks a filter pattern: emit(0, c) for a literal character, emit('*', 0)
// for a run wildcard, emit('?', 0) for a one-character wildcard.
template <typename Emit>
void WalkPattern(const char* pattern, char escape, char multi, char single, Emit emit) {
  for (const char* p = pattern; *p; ++p) {
    const char c = *p;
    if (escape && c == escape && p[1]) {
      emit(0, *++p);
    } else if (c == '*' || (multi && c == multi)) {
      emit('*', 0);
    } else if (c == '?' || (single && c == single)) {
      emit('?', 0);
    } else {
      emit(0, c);
    }
  }
}

}  // namespace

std::string ConvertLikePattern(const char* pattern, char patternEscape, char sqlEscape, bool* needsEscape, char multi,
                               char single) {
  std::string out;
  *needsEscape = false;
  WalkPattern(pattern, patternEscape, multi, single, [&](char wildcard, char c) {
    if (wildcard) {
      out += wildcard == '*' ? '%' : '_';
      return;
    }
    if (c == '%' || c == '_' || c == sqlEscape) {
      out += sqlEscape;
      *needsEscape = true;
    }
    out += c;
  });
  return out;
}

std::string ConvertGlobPattern(const char* pattern, char patternEscape, char multi, char single) {
  std::string out;
  WalkPattern(pattern, patternEscape, multi, single, [&](char wildcard, char c) {
    if (wildcard) {
      out += wildcard;
    } else if (c == '*' || c == '?' || c == '[') {
      out += std::string("[") + c + "]";
    } else {
      out += c;
    }
  });
  return out;
}

bool LikeFoldsCase(DataAccess* da) { return da->Server() == SqlServer::kSqlite; }

bool FilterToText(CKmComposite* model, std::string* text, const char* lead) {
  if (model->statementText != nullptr && model->statementText[0]) return true;
  if (model->conditionCode == nullptr || model->conditionLength == 0 || model->conditionCode[0] == 0) return true;
  if (model->compiledFilter == nullptr && RebuildConditionCode(model) != 0) return true;
  const uint8_t* code = model->compiledFilter.get();
  // The evaluation code, ended by its 0, is made from the stored code and is
  // at most a few length bytes longer; the bound only guards the walk.
  const uint8_t* limit = code + 2 * static_cast<size_t>(model->conditionLength) + 16;
  const uint8_t* p = code;
  Node root;
  if (*code == kCondEnd || !Parse(p, limit, &root, 0)) return true;
  Writer w(model, text);
  w.Mark(root);
  size_t entry = text->size();
  *text += lead;
  *text += " (";
  size_t body = text->size();
  w.Write(root);
  if (text->size() == body) {
    text->resize(entry);
    return true;
  }
  *text += ") ";
  return w.incomplete;
}

