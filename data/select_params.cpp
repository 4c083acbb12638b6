#include "data/select_params.h"

#include "data/db_errors.h"
#include "foundation/heap_strings.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

const char kUnreasonable[] = "Unreasonable number of delimiter repeats";

void SubstitutionError(const char* what) {
  char text[512];
  std::snprintf(text, sizeof text, GetResString(3038, 1), what);
  DbErrorBox(text);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

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

const char* FindSqlKeyword(const char* text, const char* keyword) {
  if (!text || !keyword) return nullptr;
  size_t k = std::strlen(keyword);
  if (k == 0) return nullptr;
  size_t head = k - 1;
  for (const char* p = text; *p; ++p) {
    if (p > text && IsWordChar(p[-1])) continue;
    if (strncasecmp(p, keyword, head) != 0) continue;
    if (IsSpace(p[head])) return p;
  }
  return nullptr;
}

const char* FindSqlKeywordPair(const char* text, const char* first, const char* second) {
  const char* p = text;
  while ((p = FindSqlKeyword(p, first)) != nullptr) {
    const char* q = p + std::strlen(first);
    while (IsSpace(*q)) ++q;
    if (FindSqlKeyword(q, second) == q) return p;
    p = q;
  }
  return nullptr;
}

void MakeLayoutOnlySelect(std::string& out, const char* sql, const char** rest) {
  if (rest) *rest = nullptr;
  if (!sql) return;
  const char* sel = FindSqlKeyword(sql, "select ");
  const char* body = sel ? sel + 7 : sql;
  const char* end = sql + std::strlen(sql);
  const char* w = FindSqlKeyword(body, "where ");
  const char* o = FindSqlKeywordPair(body, "order ", "by ");
  const char* g = FindSqlKeywordPair(body, "group ", "by ");
  const char* u = FindSqlKeyword(body, "union ");
  if (rest) *rest = u;
  const char* m = end;
  for (const char* x : {o, g, u})
    if (x && x < m) m = x;
  const char* stop = u ? u : end;
  // A where that belongs to a later branch of a union is not this one's.
  if (!w || w > m) {
    out.append(sql, m - sql);
    out += " where 1 = 2 ";
  } else {
    out.append(sql, w + 6 - sql);
    out += " ( 1 = 2 ) and ( ";
    out.append(w + 6, m - (w + 6));
    out += " ) ";
  }
  out.append(m, stop - m);
}

void MakeLayoutOnlySelectAll(std::string& out, const char* sql) {
  out.clear();
  const char* part = sql;
  while (part) {
    const char* rest = nullptr;
    MakeLayoutOnlySelect(out, part, &rest);
    part = rest;
  }
}
