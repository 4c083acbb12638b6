// SQL text read the way its server reads it: which parts are quoted text,
// names, comments and code. A report's statement is judged by what the
// server will run, so the reading must be the server's own; where a server's
// reading is not known for sure, the text is not read at all.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

enum class SqlServer {
  kSqlite,
  kPostgres,
  kOther,  // read by the rules every SQL server shares; anything else is refused
};

struct SqlLexRules {
  SqlServer server = SqlServer::kOther;
  // Whether the server reads a backslash in a plain '...' literal as an
  // escape: 1 yes, 0 no, -1 not known (a backslash in one is then refused).
  int backslashInStrings = -1;
  // A piece the program puts into a statement of its own (a column's SQL
  // expression): a "--" comment would swallow the rest of that statement.
  bool fragment = false;
};

enum class SqlTokenKind : unsigned char {
  kWord,        // an unquoted name or keyword, as written
  kQuotedName,  // a quoted identifier: text is the name it stands for
  kString,      // a literal of any kind (text is empty)
  kNumber,      // text is the part after the leading digits, when any
  kSymbol,      // one character of punctuation or an operator
};

struct SqlToken {
  SqlTokenKind kind = SqlTokenKind::kSymbol;
  std::string text;
  size_t offset = 0;  // where it begins in the text
  size_t end = 0;     // just after its last character
  bool unicodeName = false;  // a U&"..." name (its UESCAPE would change what it names)
};

// Splits text into tokens, passing over blanks and comments. False, with
// the reason in *why (a phrase such as "a quote is not closed"), when a part
// of it cannot be read surely. Linear in the length of the text.
bool ReadSqlTokens(const char* text, const SqlLexRules& rules, std::vector<SqlToken>* tokens, std::string* why);

// A message of the string table with detail in place of its "%s".
std::string FilledSqlMessage(unsigned id, const std::string& detail);

// Whether a word equals a lower-case keyword, letters compared without case.
bool SqlWordIs(const std::string& word, const char* keyword);
