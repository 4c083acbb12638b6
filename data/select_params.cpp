#include "data/select_params.h"

#include "data/db_errors.h"
#include "data/sql_lexer.h"
#include "foundation/heap_strings.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char kUnreasonable[] = "Unreasonable number of delimiter repeats";

void SubstitutionError(const char* what) {
  char text[512];
  std::snprintf(text, sizeof text, GetResString(3038, 1), what);
  DbErrorBox(text);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

bool RunAt(const char* p, char c, int repeat) {
  for (int i = 0; i < repeat; ++i)
    if (p[i] != c) return false;
  return true;
}

// The first complete closing run at or after p, or null.
const char* FindClosingRun(const char* p, char close, int repeat) {
  for (; *p; ++p)
    if (RunAt(p, close, repeat)) return p;
  return nullptr;
}

char* HeapCopy(const std::string& s) {
  auto* out = static_cast<char*>(HeapAllocZero(0, static_cast<uint32_t>(s.size() + 1)));
  if (!out) {
    DbErrorBox(GetResString(619, 1));
    return nullptr;
  }
  std::memcpy(out, s.data(), s.size());
  return out;
}

struct ListScan {
  char* pos = nullptr;
  bool more = false;
  bool failed = false;  // a message was shown
} g_scan;

}  // namespace

bool ParseSubstitutionList(char open, char close, int repeat, char* list, SelectParameter* entry) {
  if (list) {
    g_scan.pos = list;
    g_scan.more = true;
    g_scan.failed = false;
  }
  if (!g_scan.pos || !entry) return false;
  if (repeat < 1 || repeat > 5) {
    DbErrorBox(kUnreasonable);
    g_scan.failed = true;
    return false;
  }
  char*& p = g_scan.pos;
  entry->value = nullptr;
  entry->present = false;
  while (IsBlank(*p)) ++p;
  if (*p && *p != ',' && *p != open) {
    SubstitutionError("non-whitespace found between commas");
    g_scan.failed = true;
    return false;
  }
  if (g_scan.more) {
    if (*p == ',') {
      ++p;
      return true;
    }
    if (!*p) {
      g_scan.more = false;
      return true;
    }
  } else if (!*p) {
    return false;
  }
  for (int i = 0; i < repeat; ++i) {
    if (!p[i]) {
      SubstitutionError("unexpected end of line");
      g_scan.failed = true;
      return false;
    }
    if (p[i] != open) {
      SubstitutionError("non-whitespace found between commas");
      g_scan.failed = true;
      return false;
    }
  }
  char* value = p + repeat;
  char* closing = const_cast<char*>(FindClosingRun(value, close, repeat));
  if (!closing) {
    SubstitutionError("unexpected end of line");
    g_scan.failed = true;
    return false;
  }
  *closing = '\0';
  p = closing + repeat;
  while (IsBlank(*p)) ++p;
  if (*p == ',') {
    ++p;
    g_scan.more = true;
  } else {
    g_scan.more = false;
  }
  entry->value = value;
  entry->present = true;
  return true;
}

int CountParameterMarkers(char open, char close, int repeat, const char* text) {
  if (!text || repeat < 1 || repeat > 5) return 0;
  int n = 0;
  const char* p = text;
  while ((p = std::strchr(p, open)) != nullptr) {
    if (!RunAt(p, open, repeat)) {
      ++p;
      continue;
    }
    const char* c = FindClosingRun(p + repeat, close, repeat);
    if (!c) break;
    ++n;
    p = c + repeat;
  }
  return n;
}

char* SubstituteParameters(char open, char close, int repeat, const char* sql, const SelectParameter* table,
                           int count, bool strict) {
  if (!sql || !table) return nullptr;
  if (repeat < 1 || repeat > 5) {
    DbErrorBox(kUnreasonable);
    return nullptr;
  }
  if (count > kMaxSelectParameters) {
    SubstitutionError("too many parameters");
    return nullptr;
  }
  std::string out;
  const char* p = sql;
  for (int i = 0; i < count;) {
    const char* m = std::strchr(p, open);
    if (!m) {
      if (strict) {
        SubstitutionError("too many replacement parameters on RI_REPLACE line");
        return nullptr;
      }
      break;
    }
    if (!RunAt(m, open, repeat)) {  // a lone "<" such as a comparison stays as it is
      out.append(p, m - p + 1);
      p = m + 1;
      continue;
    }
    out.append(p, m - p);
    const char* def = m + repeat;
    const char* c = FindClosingRun(def, close, repeat);
    if (!c) {
      SubstitutionError("unmatched parameter delimiters");
      return nullptr;
    }
    if (table[i].present && table[i].value) out += table[i].value;
    else out.append(def, c - def);
    p = c + repeat;
    ++i;
  }
  out += p;
  return HeapCopy(out);
}

char* SubstituteSelectParameters(const char* sql, const char* list) {
  if (!sql) return nullptr;
  SelectParameter table[kMaxSelectParameters] = {};
  if (!list || !*list) return SubstituteParameters('<', '>', 2, sql, table, kMaxSelectParameters, false);
  std::string copy(list);
  int n = CountParameterMarkers('<', '>', 2, sql);
  int read = 0;
  char* first = &copy[0];
  while (read < kMaxSelectParameters && ParseSubstitutionList('<', '>', 2, first, &table[read])) {
    first = nullptr;
    ++read;
  }
  if (g_scan.failed) return nullptr;
  if (read != n) {
    SubstitutionError(read > n ? "too many replacement parameters on RI_REPLACE line"
                               : "too few replacement parameters on RI_REPLACE line");
    return nullptr;
  }
  return SubstituteParameters('<', '>', 2, sql, table, read, true);
}

namespace {

bool IsWordToken(const SqlToken& t, const char* word) { return t.kind == SqlTokenKind::kWord && SqlWordIs(t.text, word); }
bool IsSymbolToken(const SqlToken& t, char c) { return t.kind == SqlTokenKind::kSymbol && t.text[0] == c; }

// The keyword without the blank its last character stands for.
std::string KeywordWord(const char* keyword) {
  const size_t k = std::strlen(keyword);
  return std::string(keyword, k > 0 ? k - 1 : 0);
}

// Whether a "--" comment runs from after the last token before pos up to
// pos: what is put at pos must then begin on a line of its own.
bool LineCommentBefore(const char* sql, const std::vector<SqlToken>& t, size_t pos) {
  size_t from = 0;
  for (const SqlToken& k : t)
    if (k.offset < pos) from = k.end;
  const std::string gap(sql + from, pos - from);
  const size_t dash = gap.rfind("--");
  return dash != std::string::npos && gap.find('\n', dash) == std::string::npos;
}

// One branch of a union, from the token first (its "union", or the text's
// start at char offset from): appended to out with its condition made false;
// a branch that is no SELECT (VALUES, TABLE) as it stands. Returns the
// index of the next branch's "union", or the count of tokens. Only words at
// the branch's own level count: those of subqueries, literals, quoted names
// and comments are not its keywords.
size_t LayoutBranch(std::string& out, const char* sql, size_t from, const std::vector<SqlToken>& t, size_t first) {
  const size_t n = t.size(), length = std::strlen(sql), none = std::string::npos;
  size_t i = first;
  if (i < n && IsWordToken(t[i], "union")) {
    ++i;
    if (i < n && (IsWordToken(t[i], "all") || IsWordToken(t[i], "distinct"))) ++i;
  }
  int depth = 0;
  for (; i < n && IsSymbolToken(t[i], '('); ++i) ++depth;
  const int level = depth;
  const bool select = i < n && IsWordToken(t[i], "select");
  size_t where = none, end = none, next = n;
  for (size_t j = select ? i + 1 : i; j < n; ++j) {
    if (IsSymbolToken(t[j], '(')) {
      ++depth;
    } else if (IsSymbolToken(t[j], ')')) {
      // The bracket that closes the branch ends its clauses.
      if (--depth < level && end == none) end = t[j].offset;
    } else if (t[j].kind == SqlTokenKind::kWord && depth <= level && IsWordToken(t[j], "union")) {
      next = j;
      break;
    } else if (t[j].kind == SqlTokenKind::kWord && depth == level && end == none) {
      if (IsWordToken(t[j], "where") && where == none) where = t[j].offset;
      if ((IsWordToken(t[j], "order") || IsWordToken(t[j], "group")) && j + 1 < n && IsWordToken(t[j + 1], "by"))
        end = t[j].offset;
    }
  }
  const size_t stop = next < n ? t[next].offset : length;
  if (end == none || end > stop) end = stop;
  const char* const lineStart = select && LineCommentBefore(sql, t, end) ? "\n" : "";
  if (!select) {
    out.append(sql + from, stop - from);
  } else if (where == none || where > end) {
    out.append(sql + from, end - from);
    out += lineStart;
    out += " where 1 = 2 ";
    out.append(sql + end, stop - end);
  } else {
    size_t condition = where + 5;
    if (IsSpace(sql[condition])) ++condition;
    out.append(sql + from, condition - from);
    out += " ( 1 = 2 ) and ( ";
    out.append(sql + condition, end - condition);
    out += lineStart;
    out += " ) ";
    out.append(sql + end, stop - end);
  }
  return next;
}

}  // namespace

const char* FindSqlKeyword(const char* text, const char* keyword, const SqlLexRules& rules) {
  if (!text || !keyword || !*keyword) return nullptr;
  std::vector<SqlToken> t;
  std::string why;
  if (!ReadSqlTokens(text, rules, &t, &why)) return nullptr;
  const std::string word = KeywordWord(keyword);
  for (const SqlToken& k : t)
    if (IsWordToken(k, word.c_str())) return text + k.offset;
  return nullptr;
}

const char* FindSqlKeywordPair(const char* text, const char* first, const char* second, const SqlLexRules& rules) {
  if (!text || !first || !second || !*first || !*second) return nullptr;
  std::vector<SqlToken> t;
  std::string why;
  if (!ReadSqlTokens(text, rules, &t, &why)) return nullptr;
  const std::string a = KeywordWord(first), b = KeywordWord(second);
  for (size_t i = 0; i + 1 < t.size(); ++i)
    if (IsWordToken(t[i], a.c_str()) && IsWordToken(t[i + 1], b.c_str())) return text + t[i].offset;
  return nullptr;
}

void MakeLayoutOnlySelect(std::string& out, const char* sql, const char** rest, const SqlLexRules& rules) {
  if (rest) *rest = nullptr;
  if (!sql) return;
  std::vector<SqlToken> t;
  std::string why;
  // Text the server's reading is not sure of is sent as it stands.
  if (!ReadSqlTokens(sql, rules, &t, &why)) {
    out += sql;
    return;
  }
  const size_t next = LayoutBranch(out, sql, 0, t, 0);
  if (rest && next < t.size()) *rest = sql + t[next].offset;
}

void MakeLayoutOnlySelectAll(std::string& out, const char* sql, const SqlLexRules& rules) {
  out.clear();
  // Each branch's rest starts at its "union", a later token than the
  // branch's first: the loop ends.
  for (const char* rest = sql; rest != nullptr;) MakeLayoutOnlySelect(out, rest, &rest, rules);
}
