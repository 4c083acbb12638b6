#include "data/select_params.h"

#include "data/db_errors.h"
#include "data/sql_lexer.h"
#include "foundation/heap_strings.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
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
// keyword: a lower-case word or a one-character symbol, or such
// alternatives joined by "|".
bool IsToken(const SqlToken& t, const char* keyword) {
  for (const char* k = keyword; *k;) {
    const size_t length = std::strcspn(k, "|");
    if (k[0] >= 'a' && k[0] <= 'z') {
      if (t.kind == SqlTokenKind::kWord && t.text.size() == length && strncasecmp(t.text.c_str(), k, length) == 0)
        return true;
    } else if (length == 1 && IsSymbolToken(t, k[0])) {
      return true;
    }
    k += length + (k[length] == '|' ? 1 : 0);
  }
  return false;
}

// Whether a "--" comment runs from after token next - 1 up to pos, where
// token next (if any) stands: what is put at pos must then begin on a line
// of its own.
bool LineCommentBefore(const char* sql, const std::vector<SqlToken>& t, size_t next, size_t pos) {
  const size_t from = next > 0 ? t[next - 1].end : 0;
  const std::string gap(sql + from, pos - from);
  const size_t dash = gap.rfind("--");
  return dash != std::string::npos && gap.find('\n', dash) == std::string::npos;
}

const char kSetOperators[] = "union|intersect|except";

// Where the branch's condition ends: the first clause that may follow WHERE
// at the level of from, the bracket that closes that level, or to.
size_t ConditionEnd(const std::vector<SqlToken>& t, size_t from, size_t to, const SqlLexRules& rules) {
  size_t end = to;
  const auto earliest = [&](size_t at) { end = std::min(end, at); };
  earliest(FindSqlKeywordPair(t, from, end, "group", "by"));
  earliest(FindSqlKeywordPair(t, from, end, "order", "by"));
  for (const char* word : {"having", "limit", ";"}) earliest(FindSqlKeyword(t, from, end, word));
  // SQLite takes OFFSET only after LIMIT and as a name elsewhere.
  if (rules.server != SqlServer::kSqlite) earliest(FindSqlKeyword(t, from, end, "offset"));
  // FETCH FIRST|NEXT; WINDOW name AS: each word alone may be a name.
  for (size_t f = from; (f = FindSqlKeyword(t, f, end, "fetch")) < end; ++f)
    if (f + 1 < t.size() && (IsWordToken(t[f + 1], "first") || IsWordToken(t[f + 1], "next"))) earliest(f);
  for (size_t w = from; (w = FindSqlKeyword(t, w, end, "window")) < end; ++w)
    if (w + 2 < t.size() && t[w + 1].kind == SqlTokenKind::kWord && IsWordToken(t[w + 2], "as")) earliest(w);
  return end;
}

// One branch of a union (or INTERSECT, EXCEPT), from the token first (its
// operator, or the text's start at char offset from): appended to out with
// its condition made false; a branch that is no SELECT (VALUES, TABLE) as it
// stands. Returns the index of the next branch's operator, or the count of
// tokens. Only words at the branch's own level count: those of subqueries,
// literals, quoted names and comments are not its keywords.
size_t LayoutBranch(std::string& out, const char* sql, size_t from, const std::vector<SqlToken>& t, size_t first,
                    const SqlLexRules& rules) {
  const size_t n = t.size(), length = std::strlen(sql);
  size_t i = first;
  if (i < n && IsToken(t[i], kSetOperators)) {
    ++i;
    if (i < n && (IsWordToken(t[i], "all") || IsWordToken(t[i], "distinct"))) ++i;
  }
  while (i < n && IsSymbolToken(t[i], '(')) ++i;
  const bool select = i < n && IsWordToken(t[i], "select");
  // The next operator stands at the branch's level or outside the brackets
  // that close it.
  size_t next = select ? i + 1 : i;
  while (next < n && !IsToken(t[next], kSetOperators)) {
    next = FindSqlKeyword(t, next, n, kSetOperators);
    if (next < n && IsSymbolToken(t[next], ')')) ++next;
  }
  const size_t stop = next < n ? t[next].offset : length;
  if (!select) {
    out.append(sql + from, stop - from);
    return next;
  }
  const size_t e = ConditionEnd(t, i + 1, next, rules), w = FindSqlKeyword(t, i + 1, e, "where");
  const size_t end = e < n ? t[e].offset : length;
  const char* const lineStart = LineCommentBefore(sql, t, e, end) ? "\n" : "";
  if (w >= e || !IsWordToken(t[w], "where")) {
    out.append(sql + from, end - from);
    out += lineStart;
    out += " where 1 = 2 ";
  } else {
    size_t condition = t[w].offset + 5;
    if (IsSpace(sql[condition])) ++condition;
    out.append(sql + from, condition - from);
    out += " ( 1 = 2 ) and ( ";
    out.append(sql + condition, end - condition);
    out += lineStart;
    out += " ) ";
  }
  out.append(sql + end, stop - end);
  return next;
}

// The index of the first token from from on, before to, that matches:
// the keyword at from's level, or the bracket that closes that level.
size_t FindAtLevel(const std::vector<SqlToken>& t, size_t from, size_t to,
                   const std::function<bool(size_t)>& matches) {
  int depth = 0;
  for (size_t j = from; j < to && j < t.size(); ++j) {
    if (IsSymbolToken(t[j], '(')) {
      ++depth;
    } else if (IsSymbolToken(t[j], ')')) {
      if (--depth < 0) return j;
    } else if (depth == 0 && matches(j)) {
      return j;
    }
  }
  return to;
}

}  // namespace

size_t FindSqlKeyword(const std::vector<SqlToken>& t, size_t from, size_t to, const char* keyword) {
  return FindAtLevel(t, from, to, [&](size_t j) { return IsToken(t[j], keyword); });
}

size_t FindSqlKeywordPair(const std::vector<SqlToken>& t, size_t from, size_t to, const char* first,
                          const char* second) {
  return FindAtLevel(t, from, to,
                     [&](size_t j) { return IsToken(t[j], first) && j + 1 < to && IsToken(t[j + 1], second); });
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
  const size_t next = LayoutBranch(out, sql, 0, t, 0, rules);
  if (rest && next < t.size()) *rest = sql + t[next].offset;
}

void MakeLayoutOnlySelectAll(std::string& out, const char* sql, const SqlLexRules& rules) {
  out.clear();
  // Each branch's rest starts at its "union", a later token than the
  // branch's first: the loop ends.
  for (const char* rest = sql; rest != nullptr;) MakeLayoutOnlySelect(out, rest, &rest, rules);
}
