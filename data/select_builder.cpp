#include "data/select_builder.h"

#include "data/data_access.h"
#include "data/select_params.h"
#include "data/sql_literals.h"
#include "data/db_errors.h"
#include "data/expr_to_sql.h"
#include "data/sql_lexer.h"
#include "data/sql_names.h"
#include "data/table_fields.h"
#include "data/user_statement.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "core/condition_code.h"
#include "data/filter_text.h"
#include "model/group_levels.h"
#include "model/record_pass.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <strings.h>
#include <vector>

namespace {

constexpr uint32_t kNonColumnKinds = 0x32304;
constexpr uint32_t kAllOnes = 0xFFFFFFFFu;

struct SelectState : ModelAttachment {
  static constexpr AttachmentSlot kSlot = AttachmentSlot::kSelect;
  SelectState() { inputs.filterToText = FilterToText; }
  SelectInputs inputs;
  SelectResult result;
};

SelectState* State(CKmComposite* m) { return m->GetAttachment<SelectState>(); }

int Inclusion(const TableSlot* t) {
  int v = t->relationBits & 0x60;
  return v == 0 ? 64 : v;
}
bool IsOuter(const TableSlot* t) { return Inclusion(t) == 32 || Inclusion(t) == 96; }
bool HasLink(const TableSlot* t) { return t->link.pairs[0][0] != kAllOnes; }
bool IsApprox(const TableSlot* t) { return (t->relationBits & 0x06) != 0; }

int SlotOf(CKmComposite* m, const TableSlot* t) {
  for (int s = 0; s < kMaxTables; ++s)
    if (m->tableSlots[s] == t) return s;
  return -1;
}

// The table of the first linking parent field; the master when it has none.
int ParentOf(CKmComposite* m, const TableSlot* t) {
  const FieldDef* f = m->GetFieldAt(t->link.pairs[0][0]);
  if (f == nullptr || f->table >= kMaxTables || m->tableSlots[f->table] == nullptr) return 0;
  return f->table;
}

bool JoinedFromSyntax(DataAccess* da) {
  int s = da->GetOuterJoinStyle();
  return s >= 3 && s <= 6;
}

// Identifier case applied outside quoted literals.
std::string FoldIdentifierCase(const std::string& text, int mode) {
  if (mode != 2 && mode != 3) return text;
  std::string out = text;
  bool inLiteral = false;
  for (char& c : out) {
    if (c == '\'') {
      inLiteral = !inLiteral;
      continue;
    }
    if (inLiteral) continue;
    unsigned char u = static_cast<unsigned char>(c);
    c = static_cast<char>(mode == 2 ? std::tolower(u) : std::toupper(u));
  }
  return out;
}

std::string Quote(DataAccess* da) {
  char q[11] = {};
  da->GetIdentifierQuote(q);
  if (q[0] == ' ') q[0] = 0;
  return q;
}

void ForEachPair(const TableSlot* t, const std::function<void(uint32_t, uint32_t)>& fn) {
  int guard = 0;
  for (const JoinLink* b = &t->link; b != nullptr && guard < 1000; b = b->next, ++guard) {
    for (const auto& p : b->pairs) {
      if (p[0] == kAllOnes && p[1] == kAllOnes) return;
      fn(p[0], p[1]);
    }
  }
}

std::string SqlTableName(DataAccess* da, std::string name, const std::string& q, CKmComposite* model);
std::string FileTableName(DataAccess* da, std::string name, const std::string& q, bool bare);
// The name as SQL text: a part that is not a plain identifier is quoted by
// the data source's rules. False when that cannot be done.
bool SqlNameText(CKmComposite* model, const TableSlot* table, bool bare, std::string* out);

// Every table name the statement would hold can be written as names; a
// refused one is reported and no statement is built.
bool TablesUsableInSql(CKmComposite* m) {
  for (const TableSlot* t : m->tableSlots) {
    std::string text;
    if (t == nullptr) continue;
    // An alias goes into the statement as it stands.
    if (t->alias[0] != 0 && !SqlAliasUsable(t->alias)) {
      DbErrorBox(RefusedSqlAliasText(t->alias).c_str());
      return false;
    }
    if (t->path[0] == 0 || (SqlNameUsable(t->path) && SqlNameText(m, t, true, &text))) continue;
    DbErrorBox(RefusedSqlNameText(t->path).c_str());
    return false;
  }
  return true;
}

class Builder {
 public:
  Builder(CKmComposite* m, int form)
      : m_(m), da_(GetDataAccess(m)), st_(State(m)), in_(st_->inputs), res_(st_->result), form_(form) {
    nl_ = form == 2 ? "\n" : form == 3 ? "\r\n" : "";
    style_ = da_->GetOuterJoinStyle();
    joined_ = JoinedFromSyntax(da_);
  }

  int Build(std::string* out) {
    out_ = out;
    out->clear();
    TableSlot* master = m_->tableSlots[0];
    if (master == nullptr || master->path[0] == 0) return 0;
    if (!TablesUsableInSql(m_)) return 0;
    res_.rankedKeys.clear();
    if (m_->statementText != nullptr && m_->statementText[0]) {
      // What is sent is the statement from its query: a REPORTVIEW's
      // SELECT, an exec statement with or without its verb.
      const size_t length = std::strlen(m_->statementText);
      for (const char* p = m_->statementText + std::min<size_t>(m_->statementOffset, length); *p; ++p)
        if (!(form_ == 2 && p[0] == '\r' && p[1] == '\n')) *out += *p;
      res_.joinOrder[0] = master;
      res_.joinOrder[1] = nullptr;
      res_.engineFilterNeeded = true;
      // The user's SELECT reads the master alone: its columns are the master's fields.
      SqlRunState* st = GetSqlRunState(m_);
      st->queryTables[0] = 0;
      st->queryTables[1] = 255;
      st->queryTableCount = 1;
      return 0;
    }
    if (da_->CanModifySelect()) SplitSqlTemplate(m_, "LOWER", &head_, &tail_);
    MarkSelectedFields(m_);
    OrderJoinTables(m_);
    for (int i = 0; i < kMaxTables && res_.joinOrder[i]; ++i) {
      order_.push_back(res_.joinOrder[i]);
      pos_[res_.joinOrder[i]] = i;
    }
    AppendSelectList();
    AppendFrom();
    if (form_ == 4) return sortColumns_;
    AppendWhere();
    AppendOrderBy();
    return sortColumns_;
  }

 private:
  bool OneTable() const { return order_.size() == 1; }
  // A text the data source's case function takes: a text column, and not
  // one of a type of the server's own (an enum, an address) unless the
  // server orders it by its text (json).
  bool Wrappable(const FieldDef* f) const {
    const FieldBinding* b = Binding(f);
    return (f->flags & kNonColumnKinds) == 0 && (b == nullptr || !b->serversOwnType || b->ordersAsText);
  }
  static const FieldBinding* Binding(const FieldDef* f) { return GetFieldBinding(const_cast<FieldDef*>(f), false); }
  static bool ServersOwnType(const FieldDef* f) { return Binding(f) != nullptr && Binding(f)->serversOwnType; }
  // A key column the server alone can order and compare: the SELECT gives
  // its rank beside it, which the program's sort and group break read.
  bool RankedByServer(const FieldDef* f) const {
    const FieldBinding* b = Binding(f);
    return b != nullptr && b->serversOwnType && !b->ordersAsText && IsGroupOrSortKey(m_, f);
  }
  // The column holds no missing value in any row of the query: the driver
  // says so and no outer join adds rows without it (its table is no outer
  // lookup, and no lookup keeps rows its parent lacks).
  bool NeverMissing(const FieldDef* f) {
    if (Binding(f) == nullptr || !Binding(f)->neverMissing) return false;
    const TableSlot* own = TableOf(f);
    if (own == nullptr || (IsOuter(own) && HasLink(own))) return false;
    for (const TableSlot* t : order_)
      if (Inclusion(t) == 96 && HasLink(t)) return false;
    return true;
  }
  // A key column as the server orders it.
  std::string KeyColumn(const FieldDef* f, const TableSlot* t) {
    const FieldBinding* b = Binding(f);
    const std::string c = Column(f, t);
    return b != nullptr && b->ordersAsText ? "cast(" + c + " as text)" : c;
  }

  std::string Column(const FieldDef* f, const TableSlot* t) { return QualifiedColumnName(m_, f, t); }
  const TableSlot* TableOf(const FieldDef* f) {
    return f->table < kMaxTables ? m_->tableSlots[f->table] : nullptr;
  }

  void Entry(const std::string& text, bool blank) {
    char sep = columns_ == 0 ? ' ' : ',';
    std::string e;
    e += sep;
    if (blank) e += ' ';
    e += text;
    if (columns_ == 0 && form_ == 2 && e.size() > 1 && e[0] == ' ') e.erase(0, 1);
    *out_ += e;
    ++columns_;
  }

  bool SortKeyInSelect(const FieldDef* k) {
    if (da_->ExpressionsInOrderBy()) return false;
    bool both = in_.sortCase && da_->CanModifySelect();
    bool plain = !(k->flags & kFieldCalculation) && Wrappable(k);
    if (plain) return both;
    return ((k->flags & kFieldCalculation) && k->sqlText) || IsServerComputed(k);
  }

  void AppendSelectList() {
    *out_ += "select";
    *out_ += nl_;
    if (!da_->ExpressionsInOrderBy()) {
      for (int i = 0; i < 8 && in_.sortKeys[i]; ++i) {
        FieldDef* k = in_.sortKeys[i];
        if (!SortKeyInSelect(k)) continue;
        bool both = in_.sortCase && da_->CanModifySelect();
        bool plain = !(k->flags & kFieldCalculation) && Wrappable(k);
        const bool wrapped = plain || (both && Wrappable(k));
        std::string text = plain ? KeyColumn(k, TableOf(k)) : SqlTextOf(k);
        for (const SortTerm& t : SortTerms(k, wrapped ? head_ + text + tail_ : text)) {
          Entry(t.sql, !t.key || !wrapped);
          ++sortColumns_;
        }
      }
    }
    bool qualify = !(OneTable() && !da_->AlwaysQualifyColList());
    for (TableSlot* t : order_) {
      FieldDef* f = t->firstField;
      for (uint32_t k = 0; k < t->fieldCount && f; ++k, f = f->next)
        if (f->flags & kFieldNeeded) Entry(Column(f, qualify ? t : nullptr), true);
    }
    for (FieldDef* f = m_->fieldList; f; f = f->next) {
      if (!(f->flags & kFieldNeeded) || (f->flags & kFieldAlias)) continue;
      bool server = IsServerComputed(f);
      bool translated = da_->AlwaysEngineEval() && (f->flags & kFieldCalculation) && f->sqlText;
      if (server || translated) Entry(SqlTextOf(f), true);
    }
    res_.rankedKeys.clear();
    for (TableSlot* t : order_) {
      FieldDef* f = t->firstField;
      for (uint32_t k = 0; k < t->fieldCount && f; ++k, f = f->next) {
        if (!(f->flags & kFieldNeeded) || !RankedByServer(f)) continue;
        Entry("dense_rank() over (order by " + Column(f, qualify ? t : nullptr) + " nulls first)", true);
        res_.rankedKeys.push_back(f);
      }
    }
    if (columns_ == 0 && m_->tableSlots[0]->firstField) {
      FieldDef* f = m_->tableSlots[0]->firstField;
      bool q = !(OneTable() && !da_->AlwaysQualifyColList());
      *out_ += " ";
      *out_ += Column(f, q ? m_->tableSlots[0] : nullptr);
    }
    *out_ += nl_;
  }

  std::string SqlTextOf(const FieldDef* f) {
    if ((f->flags & kFieldCalculation) && f->sqlText) return f->sqlText;
    return QualifiedColumnName(m_, f, nullptr);
  }

  std::string FromEntry(const TableSlot* t) {
    std::string s = TableNameForSql(m_, t, true);
    std::string sel = GetTableNameForSelect(m_, t);
    if (sel != s || da_->AlwaysUseTableAlias()) s += " " + AliasOf(t);
    return s;
  }

  std::string AliasOf(const TableSlot* t) {
    if (t->alias[0]) return SqlAliasText(t->alias, Quote(da_), da_->GetIdentifierCase());
    return "T" + std::to_string(SlotOf(m_, t));
  }

  bool AnyUnwrittenAfter(size_t i) {
    for (size_t j = i + 1; j < order_.size(); ++j)
      if (!inFrom_.count(order_[j])) return true;
    return false;
  }

  void AppendFrom() {
    *out_ += form_ == 2 ? "from " : " from ";
    for (size_t i = 0; i < order_.size(); ++i) {
      TableSlot* t = order_[i];
      if (inFrom_.count(t)) continue;
      TableSlot* next = i + 1 < order_.size() ? order_[i + 1] : nullptr;
      int tSlot = SlotOf(m_, t);
      if (joined_ && next && !inFrom_.count(next) && IsOuter(next) && HasLink(next) && !IsApprox(next) &&
          ParentOf(m_, next) == tSlot) {
        std::set<int> chain = {tSlot, SlotOf(m_, next)};
        if (style_ == 6) *out_ += "{oj ";
        bool keepLookup = Inclusion(next) == 96;
        const TableSlot* kept = keepLookup ? next : t;
        const TableSlot* other = keepLookup ? t : next;
        *out_ += FromEntry(kept) + "  ";
        *out_ += "left outer join " + FromEntry(other) + " on";
        AppendJoinConditions(next, " = ");
        inFrom_.insert(t);
        inFrom_.insert(next);
        joinedInFrom_.insert(next);
        // Further lookups kept with a table of this join follow in the same
        // join, so each keeps its own condition.
        for (size_t j = i + 2; j < order_.size(); ++j) {
          TableSlot* l = order_[j];
          if (inFrom_.count(l) || Inclusion(l) != 32 || !HasLink(l) || IsApprox(l)) continue;
          if (!chain.count(ParentOf(m_, l))) continue;
          *out_ += "left outer join " + FromEntry(l) + " on";
          AppendJoinConditions(l, " = ");
          chain.insert(SlotOf(m_, l));
          inFrom_.insert(l);
          joinedInFrom_.insert(l);
        }
        if (style_ == 6) *out_ += "}";
        *out_ += AnyUnwrittenAfter(i) ? "," : " ";
        continue;
      }
      inFrom_.insert(t);
      *out_ += FromEntry(t);
      *out_ += AnyUnwrittenAfter(i) ? "," : " ";
      *out_ += " ";
    }
    *out_ += nl_;
  }

  void AppendJoinConditions(const TableSlot* lookup, const char* op) {
    int incl = Inclusion(lookup);
    bool first = true;
    int parentSlot = ParentOf(m_, lookup);
    ForEachPair(lookup, [&](uint32_t pf, uint32_t lf) {
      const FieldDef* parent = m_->GetFieldAt(pf);
      const FieldDef* key = m_->GetFieldAt(lf);
      if (parent == nullptr || key == nullptr) return;
      bool wrap = Wrappable(key) && !da_->IsNetWareSql() && da_->CanModifySelect() && in_.joinCase;
      std::string h = wrap ? head_ : "", tl = wrap ? tail_ : "";
      std::string ps = h + Column(parent, TableOf(parent)) + (style_ == 2 && incl == 96 ? "(+)" : "") + tl;
      std::string ls = h + Column(key, lookup) + (style_ == 2 && incl == 32 ? "(+)" : "") + tl;
      bool parentFirst = true;
      const TableSlot* pt = TableOf(parent);
      if (pt && pos_.count(pt) && pos_.count(lookup) && pos_[lookup] < pos_[pt]) parentFirst = false;
      (void)parentSlot;
      if (joined_ && incl == 96) parentFirst = !parentFirst;
      if (!first) *out_ += "and";
      *out_ += " " + (parentFirst ? ps : ls) + op + (parentFirst ? ls : ps) + " ";
      first = false;
    });
  }

  void Lead() {
    *out_ += firstCondition_ ? "where" : "and";
    if (firstCondition_) *out_ += nl_;
    firstCondition_ = false;
  }

  void AppendWhere() {
    char digit = '1';
    std::string q = Quote(da_);
    for (TableSlot* t : order_) {
      if (t == m_->tableSlots[0] || !HasLink(t) || joinedInFrom_.count(t)) continue;
      if (IsApprox(t)) {
        uint32_t pf = t->link.pairs[0][0], lf = t->link.pairs[0][1];
        const FieldDef* parent = m_->GetFieldAt(pf);
        const FieldDef* key = m_->GetFieldAt(lf);
        if (!parent || !key) continue;
        bool high = (t->relationBits & 0x04) != 0;
        std::string col = FoldIdentifierCase(QuoteSqlIdentifier(key->name, q), da_->GetIdentifierCase());
        // Fixed-width text pads with blanks there: the bound is taken without them.
        const std::string colText = da_->IsSqlServer() && Wrappable(key) ? "rtrim(" + col + ")" : col;
        bool wrap = Wrappable(key) && da_->IsNetWareSql() && da_->CanModifySelect() && in_.joinCase;
        std::string h = wrap ? head_ : "", tl = wrap ? tail_ : "";
        char sub[64];
        std::snprintf(sub, sizeof sub, "k_m_s_u_b_%c", digit);
        std::string s = "(select " + std::string(high ? "min" : "max") + "(" + colText + ") from " +
                        TableNameForSql(m_, t, true) + " " + sub + " where " + h + sub + "." + col + tl + " " +
                        (high ? ">" : "<") + "= " + h + Column(parent, TableOf(parent)) + tl + ")";
        *out_ += firstCondition_ ? "where" : "and";
        *out_ += " " + Column(key, t) + " = " + s + " ";
        firstCondition_ = false;
        ++digit;
      } else {
        const char* op = (style_ == 1 && IsOuter(t)) ? " *= " : " = ";
        Lead();
        AppendJoinConditions(t, op);
      }
      *out_ += nl_;
    }
    if (!in_.extraCondition.empty()) {
      Lead();
      *out_ += "(" + in_.extraCondition + ") ";
      *out_ += nl_;
    }
    if (form_ == 1) {
      if (da_->AddWhereFalse()) {
        *out_ += firstCondition_ ? "where" : "and";
        *out_ += " (1 = 2)";
      }
      return;
    }
    res_.engineFilterNeeded = false;
    if (in_.filterToText) {
      size_t before = out_->size();
      res_.engineFilterNeeded = in_.filterToText(m_, out_, firstCondition_ ? "where" : "and");
      if (out_->size() != before) {
        firstCondition_ = false;
        *out_ += nl_;
      }
    }
  }

  // One term of a key's order in the SELECT: its text and whether missing
  // values are among its values (to be put lowest).
  struct SortTerm {
    std::string sql;
    bool key = true;     // the key's own value, not its flag
    bool nulls = false;  // missing values may reach the database's order
  };

  // The terms the database orders a key by, so that it orders as the
  // program's own sort does and each group is one run: a calculation's
  // flagged values (which its translation gives as 0, '' or the first day)
  // after all its values; a missing number (a number column, or a
  // calculation that is one) a value of its own next to 0, just before it; a
  // text without its trailing blanks, a missing one with the empty ones (the
  // program's sort ties them, and its group break reads that tie); other
  // missing values lowest, which is where the program puts a missing time
  // too. A column of a type of the server's own is ordered as the server
  // orders it (json by its text, as a text). A column that holds no missing
  // value needs no term for missing values: a number or a date is ordered by
  // itself, so that an index on it serves; a text still without its trailing
  // blanks. The number of terms depends on the key alone.
  std::vector<SortTerm> SortTerms(const FieldDef* k, const std::string& text) {
    std::vector<SortTerm> terms;
    std::string flag;
    const bool calc = (k->flags & kFieldCalculation) != 0;
    const bool isText = Wrappable(k);
    if (calc && TranslationFlagsValues(m_, k, &flag)) {
      terms.push_back({"case when " + flag + " is null then 1 else 0 end", false, false});
      terms.push_back({isText ? "rtrim(" + text + ")" : text, true, false});
      return terms;
    }
    if (!calc && NeverMissing(k)) {
      terms.push_back({isText ? "rtrim(" + text + ")" : text, true, false});
      return terms;
    }
    const bool number = calc ? TranslationIsMissingNumber(m_, k) : (k->flags & kFieldNumeric) != 0;
    if (number && !ServersOwnType(k)) {
      terms.push_back({"coalesce(" + text + ", 0)", true, false});
      terms.push_back({"case when " + text + " is null then 0 else 1 end", false, false});
    } else if (isText) {
      terms.push_back({"rtrim(coalesce(" + text + ", ''))", true, false});
    } else {
      terms.push_back({text, true, true});
    }
    return terms;
  }

  // The direction of a term; missing values go lowest where the database
  // would put them highest.
  std::string Direction(const SortTerm& t, bool ascending) {
    std::string d = ascending ? "" : " desc";
    if (t.nulls && da_->Server() == SqlServer::kPostgres) d += ascending ? " nulls first" : " nulls last";
    return d;
  }

  void AppendOrderBy() {
    if (da_->IsNetWareSql()) res_.engineFilterNeeded = true;
    if (form_ == 1 || in_.sortKeys[0] == nullptr) return;
    bool qualify = !(OneTable() && !da_->AlwaysQualifySortList());
    std::string text;
    int written = 0, position = 0;
    for (int i = 0; i < 8 && in_.sortKeys[i]; ++i) {
      FieldDef* k = in_.sortKeys[i];
      char sep = written == 0 ? ' ' : ',';
      if (SortKeyInSelect(k)) {
        for (const SortTerm& t : SortTerms(k, std::string())) {
          text += sep + std::to_string(++position) + Direction(t, in_.sortAscending[i]);
          sep = ',';
        }
      } else {
        bool column = !(k->flags & (kFieldCalculation | kFieldAlias | kFieldMemo)) && k->table < kMaxTables &&
                      m_->tableSlots[k->table] != nullptr && !(k->totalFlags & kTotalIsTotal);
        bool sqlForm = column || ((k->flags & kFieldCalculation) && k->sqlText);
        if (!sqlForm) {
          // A key the database cannot sort by: the rest of the order is the engine's.
          res_.engineSortNeeded = true;
          break;
        }
        bool wrap = Wrappable(k) && in_.sortCase && da_->CanModifySelect();
        std::string name = column ? KeyColumn(k, qualify ? TableOf(k) : nullptr) : std::string(k->sqlText);
        for (const SortTerm& t : SortTerms(k, (wrap ? head_ : "") + name + (wrap ? tail_ : ""))) {
          text += sep;
          text += " " + t.sql + Direction(t, in_.sortAscending[i]);
          sep = ',';
        }
      }
      ++written;
    }
    if (written == 0) return;
    *out_ += "order by";
    *out_ += nl_;
    *out_ += text;
  }

  CKmComposite* m_;
  DataAccess* da_;
  SelectState* st_;
  SelectInputs& in_;
  SelectResult& res_;
  int form_;
  std::string nl_;
  int style_;
  bool joined_;
  std::string* out_ = nullptr;
  std::string head_, tail_;
  std::vector<TableSlot*> order_;
  std::map<const TableSlot*, int> pos_;
  std::set<const TableSlot*> inFrom_, joinedInFrom_;
  int columns_ = 0;
  int sortColumns_ = 0;
  bool firstCondition_ = true;
};

}  // namespace

SelectInputs* GetSelectInputs(CKmComposite* model) { return &State(model)->inputs; }
SelectResult* GetSelectResult(CKmComposite* model) { return &State(model)->result; }

void SplitSqlTemplate(CKmComposite* model, const char* key, std::string* head, std::string* tail) {
  head->clear();
  tail->clear();
  std::string t = ReadSqlTemplate(model, key);
  size_t p = t.find("%1");
  if (t.empty() || p == std::string::npos) return;
  *head = t.substr(0, p);
  *tail = t.substr(p + 2);
}

void OrderJoinTables(CKmComposite* m) {
  DataAccess* da = GetDataAccess(m);
  bool joined = JoinedFromSyntax(da);
  std::vector<std::pair<int, int>> pairs;
  bool outer = false;
  for (int s = 1; s < kMaxTables; ++s) {
    TableSlot* t = m->tableSlots[s];
    if (!t || !HasLink(t) || !IsOuter(t)) continue;
    outer = true;
    int parent = ParentOf(m, t);
    if (joined || Inclusion(t) == 32) {
      pairs.push_back({s, parent});
    } else {
      pairs.push_back({parent, s});
    }
  }
  bool placed[kMaxTables] = {};
  std::vector<int> order;
  auto place = [&](int s) {
    order.push_back(s);
    placed[s] = true;
    for (auto& p : pairs)
      if (p.second == s && !placed[p.first] && m->tableSlots[p.first]) {
        order.push_back(p.first);
        placed[p.first] = true;
        break;
      }
  };
  if (outer && joined)
    for (int s = 1; s < kMaxTables; ++s) {
      TableSlot* t = m->tableSlots[s];
      if (t && !placed[s] && HasLink(t) && Inclusion(t) == 64) place(s);
    }
  for (bool any = true; any;) {
    any = false;
    for (int s = 0; s < kMaxTables; ++s) {
      if (!m->tableSlots[s] || placed[s]) continue;
      bool blocked = false;
      for (auto& p : pairs)
        if (p.first == s && !placed[p.second] && m->tableSlots[p.second]) blocked = true;
      if (blocked) continue;
      place(s);
      any = true;
    }
  }
  // A cycle of links would leave tables out; they still belong in FROM.
  for (int s = 0; s < kMaxTables; ++s)
    if (m->tableSlots[s] && !placed[s]) place(s);
  SelectResult& r = State(m)->result;
  size_t n = 0;
  for (int s : order) r.joinOrder[n++] = m->tableSlots[s];
  r.joinOrder[n] = nullptr;
  SqlRunState* st = GetSqlRunState(m);
  for (size_t i = 0; i < n; ++i) st->queryTables[i] = static_cast<uint8_t>(order[i]);
  st->queryTables[n] = 255;
  st->queryTableCount = static_cast<int>(n);
}

namespace {
std::string SqlTableName(DataAccess* da, std::string name, const std::string& q, CKmComposite* model) {
  if (da->IsSqlServer()) {
    // Names of another database than the master's are used as they stand
    // (the master's database is made current for the statement).
    const TableSlot* master = model->tableSlots[0];
    const char* dot = master != nullptr ? std::strchr(master->path, '.') : nullptr;
    if (dot == nullptr) return name;
    const size_t prefix = static_cast<size_t>(dot - master->path) + 1;
    if (name.size() < prefix || strncasecmp(name.c_str(), master->path, prefix) != 0) return name;
  }
  if (da->IsBtrieve() && !q.empty() && name.size() > 1 && name.back() == q[0]) {
    // owner."table" is one quoted name: "owner.table".
    const size_t first = name.find(q[0]);
    if (first != 0 && first + 1 < name.size()) {
      name.erase(first, 1);
      name.insert(name.begin(), q[0]);
      // Its dot is inside the quotes now: no qualifier or extension to cut.
      return name;
    }
  }
  if (name.find('.') == std::string::npos) return name;
  if (da->UseFileExt()) {
    size_t first = name.find('.');
    if (name.find('.', first + 1) != std::string::npos) name.erase(0, first + 1);
  } else {
    bool closing = !q.empty() && name.back() == q[0];
    name.erase(name.rfind('.'));
    if (closing) name += q;
  }
  return name;
}

std::string FileTableName(DataAccess* da, std::string name, const std::string& q, bool bare) {
  if (bare) {
    size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
  }
  if (!da->UseFileExt()) {
    size_t dot = name.rfind('.');
    size_t slash = name.find_last_of("\\/");
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
      bool closing = !q.empty() && name.back() == q[0];
      name.erase(dot);
      if (closing) name += q;
    }
  }
  return name;
}
}  // namespace

namespace {
bool SqlNameText(CKmComposite* model, const TableSlot* table, bool bare, std::string* out) {
  DataAccess* da = GetDataAccess(model);
  const std::string q = Quote(da);
  const std::string path = da->SqlNameOfPlace(table->path);
  if (da->IsFileDataSource()) {
    *out = FileTableName(da, path, q, bare);
    return true;
  }
  return QuoteSqlNameParts(SqlTableName(da, path, q, model), q, out);
}
}  // namespace

std::string TableNameForSql(CKmComposite* model, const TableSlot* table, bool bare) {
  std::string text;
  if (SqlNameText(model, table, bare, &text)) return text;
  // Statements refuse such a name before they are built; as one quoted name
  // it is harmless wherever else it is shown.
  return QuoteSqlIdentifier(table->path, Quote(GetDataAccess(model)));
}

std::string GetTableNameForSelect(CKmComposite* model, const TableSlot* table) {
  DataAccess* da = GetDataAccess(model);
  std::string bare = TableNameForSql(model, table, true);
  bool repeated = false;
  for (TableSlot* o : model->tableSlots)
    if (o && o != table && strcasecmp(TableNameForSql(model, o, true).c_str(), bare.c_str()) == 0) repeated = true;
  std::string q = Quote(da);
  std::string full = table->path;
  bool needs = full.find_first_of(std::string(".:\\") + q) != std::string::npos;
  if (repeated || needs) {
    if (table->alias[0]) return SqlAliasText(table->alias, q, da->GetIdentifierCase());
    int s = 0;
    while (s < kMaxTables && model->tableSlots[s] != table) ++s;
    return "T" + std::to_string(s);
  }
  return bare;
}

std::string QualifiedColumnName(CKmComposite* model, const FieldDef* f, const TableSlot* table) {
  if ((f->flags & kFieldCalculation) && f->sqlText) return f->sqlText;
  DataAccess* da = GetDataAccess(model);
  std::string q = Quote(da);
  // The identifier case applies to names the database folds itself: never to
  // an expression's text (its constants would change) nor to a quoted name,
  // which the driver described exactly.
  if (IsServerComputed(f)) {
    std::string s;
    const char* e = f->exprText ? f->exprText : f->name;
    for (const char* p = e; *p; ++p)
      s += static_cast<unsigned char>(*p) == static_cast<unsigned char>(model->SpaceDotChar) ? ' ' : *p;
    return s;
  }
  std::string column =
      q.empty() ? FoldIdentifierCase(f->name, da->GetIdentifierCase()) : QuoteSqlIdentifier(f->name, q);
  if (table) return FoldIdentifierCase(GetTableNameForSelect(model, table), da->GetIdentifierCase()) + "." + column;
  return column;
}

int BuildSelectStatement(CKmComposite* model, int form) {
  SelectResult* r = GetSelectResult(model);
  Builder b(model, form);
  return b.Build(form == 1 ? &r->secondStatement : &r->mainStatement);
}

GroupSetup RunGroupSetup(CKmComposite* model) {
  GroupSetup setup = ModelGroupSetup(model);
  setup.alwaysPreFetch = GetDataAccess(model)->AlwaysPreFetch();
  // The database's first rows are not its first rows in the report's order:
  // a limited query is sorted by the program.
  setup.recordLimit = GetRecordLimit(model) > 0 ? 1 : 0;
  return setup;
}

void NoteProgramSort(CKmComposite* model) {
  GroupSetup setup = RunGroupSetup(model);
  FieldDef* keys[kKeyLevels] = {};
  uint32_t kinds[kKeyLevels] = {};
  // A conflict of sort and group fields is the run's to report.
  const int32_t error = model->lastEngineError;
  model->totalsSortWord = CheckSortAndGroupFields(model, setup, keys, kinds) == -2 ? 1 : 0;
  model->lastEngineError = error;
}

void MarkSelectedFields(CKmComposite* model) {
  if (IsTmpPassActive(model)) {
    for (FieldDef* f = model->fieldList; f; f = f->next) f->flags |= kFieldNeeded;
    return;
  }
  // The report's own marks first: what it prints, filters, groups and totals,
  // and every sort field when the program sorts.
  NoteProgramSort(model);
  if (model->rebuildRunLists) model->rebuildRunLists(model);
  // Some drivers sort only by columns they also return.
  if (GetDataAccess(model)->SelectSortFields())
    for (uint32_t id : model->sortFields) {
      if (id == kNoField) break;
      if (FieldDef* f = model->GetFieldAt(id)) f->flags |= kFieldNeeded;
    }
}

int PrepareReportQuery(CKmComposite* model, std::string* text, int* sortColumns) {
  SelectResult* r = GetSelectResult(model);
  r->engineSortNeeded = false;
  if (!TablesUsableInSql(model)) return 1;
  *sortColumns = BuildSelectStatement(model, 0);
  // What of the filter the SELECT could not carry (a user's SELECT carries
  // none of it) is tested on every record the query returns. The master
  // table's listing reads its rows as they are.
  const bool filtered = model->conditionCode != nullptr && model->conditionLength != 0 &&
                        model->conditionCode[0] != kCondEnd && model->compiledFilter != nullptr &&
                        model->compiledFilter[0] != kCondEnd;
  GetRecordPassState(model)->filterOn = r->engineFilterNeeded && filtered && !IsTmpPassActive(model) ? 1 : 0;
  RewindScan(model);
  if (OpenScan(model) != 0) return 3121;
  model->BuildFieldIndex();
  *text = r->mainStatement;
  if (model->statementText != nullptr && model->statementText[0]) {
    if (!CheckReadingStatement(GetDataAccess(model), model->statementText, nullptr, 0, false)) {
      FreeFieldBuffers(model);
      return 1;
    }
    char* sub = SubstituteSelectParameters(text->c_str(), nullptr);
    if (sub == nullptr) {
      FreeFieldBuffers(model);
      return 1;
    }
    *text = sub;
    HeapFreeBlock(sub);
  }
  return 0;
}

void MarkEngineSortedColumns(CKmComposite* model) {
  SelectResult* r = GetSelectResult(model);
  for (FieldDef* f = model->fieldList; f; f = f->next) {
    if (f->flags & (kFieldAlias | kFieldCalculation | kFieldMemo)) continue;
    f->flags2 &= ~kField2EngineSorted;
    if (r->engineSortNeeded && (f->flags & kFieldNeeded)) f->flags2 |= kField2EngineSorted;
  }
}

int OpenReportQuery(CKmComposite* model) {
  std::string text;
  int sortColumns = 0;
  if (int rc = PrepareReportQuery(model, &text, &sortColumns)) return rc;
  if (!text.empty() &&
      ExecuteSelect(model, text.c_str(), 0, sortColumns, GetSelectResult(model)->engineSortNeeded) != 0) {
    FreeFieldBuffers(model);
    return 1;
  }
  // The columns whose order the database does not give are marked.
  MarkEngineSortedColumns(model);
  return 0;
}

void CloseReportQuery(CKmComposite* model) {
  EndSelect(model);
  // Without the query the server computes nothing: calculations are the program's again.
  if (RecordPassState* st = model->FindAttachment<RecordPassState>()) st->alwaysEngineEval = 0;
  FreeFieldBuffers(model);
  for (FieldDef* f = model->fieldList; f; f = f->next)
    if (!(f->flags & (kFieldAlias | kFieldCalculation | kFieldMemo))) FreeFieldValueBuffer(f);
  GetSelectResult(model)->rankedKeys.clear();
  MarkServerRankedKeys(model);
}

int BuildProbeSelect(CKmComposite* model, const char* columnText, FieldDef* info, int setType,
                     bool reportErrors) {
  DataAccess* da = GetDataAccess(model);
  if (!TablesUsableInSql(model)) return 1;
  OrderJoinTables(model);
  SelectResult* r = GetSelectResult(model);
  std::string& s = r->secondStatement;
  s = "select ";
  s += columnText;
  s += " from ";
  for (int i = 0; i < kMaxTables && r->joinOrder[i]; ++i) {
    const TableSlot* t = r->joinOrder[i];
    char sep = r->joinOrder[i + 1] ? ',' : ' ';
    std::string bare = TableNameForSql(model, t, true);
    std::string sel = GetTableNameForSelect(model, t);
    if (da->AlwaysUseTableAlias()) {
      s += bare + " " + sel + sep;
    } else {
      s += bare + (sel != bare ? " " + sel : "") + sep + " ";
    }
  }
  if (da->AddWhereFalse()) s += " where 1 = 2";
  return ReadColumnInfo(model, s.c_str(), info, setType, reportErrors);
}
