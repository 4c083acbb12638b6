#include "data/sql_names.h"

#include "foundation/heap_strings.h"
#include "expr/collation.h"
#include "data/user_statement.h"

namespace {
constexpr unsigned kRefusedNameId = 62300;
constexpr unsigned kRefusedAliasId = 62311;

// Words servers keep for their grammar, which stand as a table alias only
// in quotes (those of PostgreSQL, SQLite and the standard that a table's
// name can give).
const char* const kReservedWords[] = {
    "all", "analyse", "analyze", "and", "any", "array", "as", "asc", "asymmetric", "authorization", "between",
    "binary", "both", "case", "cast", "check", "collate", "collation", "column", "concurrently", "constraint",
    "cross", "current_catalog", "current_date", "current_role", "current_schema", "current_time",
    "current_timestamp", "current_user", "default", "deferrable", "desc", "distinct", "do", "else", "end",
    "escape", "except", "exists", "false", "fetch", "for", "foreign", "freeze", "from", "full", "glob", "group",
    "having", "ilike", "in", "index", "initially", "inner", "intersect", "is", "isnull", "join", "lateral",
    "leading", "left", "like", "limit", "localtime", "localtimestamp", "match", "natural", "not", "nothing",
    "notnull", "null", "offset", "on", "only", "or", "order", "outer", "overlaps", "placing", "primary",
    "references", "regexp", "returning", "right", "select", "session_user", "set", "similar", "some",
    "symmetric", "system_user", "table", "tablesample", "then", "to", "trailing", "transaction", "true", "union",
    "unique", "user", "using", "values", "variadic", "verbose", "when", "where", "window", "with",
};

bool PlainIdentifierChar(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         c == '#' || c == '@' || c >= 0x80;
}
}  // namespace

bool SqlNameUsable(const std::string& name) {
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7F || c == ';') return false;
  return !name.empty();
}

std::string QuoteSqlIdentifier(const std::string& name, const std::string& quote) {
  if (quote.empty()) return name;
  std::string out = quote;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name.compare(i, quote.size(), quote) == 0) {
      out += quote + quote;
      i += quote.size() - 1;
    } else {
      out += name[i];
    }
  }
  return out + quote;
}

bool QuoteSqlNameParts(const std::string& name, const std::string& quote, std::string* out) {
  out->clear();
  std::string result;
  size_t i = 0;
  for (;;) {
    if (!quote.empty() && name.compare(i, quote.size(), quote) == 0) {
      // A quoted part runs to its closing quote; a doubled quote stays inside.
      size_t j = i + quote.size();
      for (;;) {
        const size_t next = name.find(quote, j);
        if (next == std::string::npos) return false;
        if (name.compare(next + quote.size(), quote.size(), quote) == 0) {
          j = next + 2 * quote.size();
          continue;
        }
        j = next + quote.size();
        break;
      }
      result.append(name, i, j - i);
      i = j;
      if (i < name.size() && name[i] != '.') return false;
    } else {
      size_t end = name.find('.', i);
      if (end == std::string::npos) end = name.size();
      const std::string part = name.substr(i, end - i);
      bool plain = !part.empty();
      for (unsigned char c : part) plain = plain && PlainIdentifierChar(c);
      // A table named like a word that changes data is quoted, or the
      // statement would be refused for holding that word.
      if (plain && !quote.empty() && IsRefusedSqlWord(part)) plain = false;
      if (!plain) {
        if (quote.empty() || part.empty()) return false;
        result += QuoteSqlIdentifier(part, quote);
      } else {
        result += part;
      }
      i = end;
    }
    if (i >= name.size()) break;
    result += '.';
    ++i;
    if (i >= name.size()) return false;
  }
  *out = result;
  return true;
}

std::string SqlAliasText(const std::string& alias, const std::string& quote, int identifierCase) {
  bool reserved = IsRefusedSqlWord(alias);
  for (const char* w : kReservedWords) reserved = reserved || SqlWordIs(alias, w);
  if (!reserved || quote.empty()) return alias;
  // In the case the server gives an unquoted name, so that a reference
  // written without quotes still meets it.
  std::string folded = alias;
  for (char& c : folded) {
    if (identifierCase == 2 && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (identifierCase == 3 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return QuoteSqlIdentifier(folded, quote);
}

bool SqlAliasUsable(const std::string& alias) {
  if (alias.empty() || !IsCharAlphaByte(static_cast<unsigned char>(alias[0]))) return false;
  for (unsigned char c : alias)
    if (!IsCharAlphaByte(c) && !(c >= '0' && c <= '9') && c != '_') return false;
  return true;
}

namespace {
std::string RefusedText(unsigned id, const std::string& name) {
  std::string shown;
  for (unsigned char c : name) shown += c < 0x20 ? '?' : static_cast<char>(c);
  std::string text = GetResString(id, 0);
  const size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, shown);
  return text;
}
}  // namespace

std::string RefusedSqlNameText(const std::string& name) { return RefusedText(kRefusedNameId, name); }
std::string RefusedSqlAliasText(const std::string& alias) { return RefusedText(kRefusedAliasId, alias); }
