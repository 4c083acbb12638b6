#include "data/user_statement.h"

#include "data/data_access.h"
#include "data/db_errors.h"
#include "foundation/heap_strings.h"
#include "platform/win/wsprintf.h"

#include <cctype>
#include <cstring>
#include <vector>

namespace {

constexpr unsigned kIdRefusedStatement = 62316;

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// Every word of the text, lower-cased, in order. Quotes and comments are not
// told apart from the rest: drivers and servers read them in different ways
// (doubled or escaped quotes, dollar quotes, nested comments), and a word
// counts wherever one of them could take it for SQL.
std::vector<std::string> Words(const char* text) {
  std::vector<std::string> words;
  for (const char* p = text; *p;) {
    if (!IsWordChar(*p)) {
      ++p;
      continue;
    }
    std::string w;
    for (; *p && IsWordChar(*p); ++p) w += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    words.push_back(w);
  }
  return words;
}

bool Has(const std::vector<std::string>& words, std::initializer_list<const char*> any) {
  for (const std::string& w : words)
    for (const char* a : any)
      if (w == a) return true;
  return false;
}

bool EqualNoCase(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

}  // namespace

bool IsReadingStatement(const char* sql, const char* procVerb) {
  if (sql == nullptr) return false;
  // One statement: a ";" may only end it.
  const char* semicolon = std::strchr(sql, ';');
  if (semicolon != nullptr)
    for (const char* p = semicolon; *p; ++p)
      if (*p != ';' && !std::isspace(static_cast<unsigned char>(*p))) return false;
  // The first word begins the text, after blanks and opening parentheses;
  // a text that begins otherwise (a comment, a quote) is no statement we know.
  const char* p = sql;
  while (*p == '(' || std::isspace(static_cast<unsigned char>(*p))) ++p;
  if (!std::isalpha(static_cast<unsigned char>(*p))) return false;
  const std::vector<std::string> words = Words(p);
  // Loading a library is no reading, whatever the statement around it.
  if (Has(words, {"load_extension"})) return false;
  const std::string& first = words.front();
  // "exec" may be left out of what is sent: the procedure it names must not
  // be a statement of its own.
  if (first == "exec")
    return words.size() > 1 && !Has({words[1]}, {"select", "insert", "update", "delete", "merge", "create", "drop",
                                                  "alter", "truncate", "grant", "revoke", "attach", "detach", "pragma",
                                                  "vacuum", "set", "begin", "commit", "rollback", "copy", "call", "do",
                                                  "lock", "replace", "with", "exec", "execute", "declare", "prepare",
                                                  "load", "reindex", "analyze"});
  if (procVerb != nullptr && *procVerb != '\0' && EqualNoCase(first, procVerb)) return true;
  // A SELECT with INTO makes a table.
  if (Has(words, {"into"})) return false;
  if (first == "select") return true;
  if (first == "define") {
    if (words.size() < 2 || words[1] != "reportview") return false;
    for (size_t i = 2; i + 1 < words.size(); ++i)
      if (words[i] == "as" && words[i + 1] == "select") return true;
    return false;
  }
  // Named subqueries may hold statements that change rows.
  if (first == "with") return !Has(words, {"insert", "update", "delete", "merge"});
  return false;
}

std::string RefusedStatementText() { return GetResString(kIdRefusedStatement, 1); }

bool CheckReadingStatement(DataAccess* data, const char* sql, char* errBuf, int errSize, bool quiet) {
  if (IsReadingStatement(sql, data != nullptr ? data->GetProcVerb() : "")) return true;
  const std::string text = RefusedStatementText();
  if (errBuf != nullptr && errSize > 0) CopyBounded(errBuf, static_cast<size_t>(errSize), text.c_str());
  else if (!quiet) DbErrorBox(text.c_str());
  return false;
}
