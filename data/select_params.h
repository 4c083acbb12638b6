// Parameters of a user's own SELECT ("<<default>>" markers replaced from a
// substitution list or by their defaults) and the layout-only form of a
// SELECT that describes its columns without returning rows. Plain text; no
// connection is involved.
#pragma once

#include "data/sql_lexer.h"

#include <string>
#include <vector>

struct SelectParameter {
  const char* value;  // points into the caller's list copy
  bool present;
};

constexpr int kMaxSelectParameters = 100;

// New heap text (HeapFreeBlock) or null after a message.
char* SubstituteSelectParameters(const char* sql, const char* list);
// One list item per call: the first call passes the list (it is written to:
// the ends of values become NULs), later calls pass null and go on.
bool ParseSubstitutionList(char open, char close, int repeat, char* list, SelectParameter* entry);
int CountParameterMarkers(char open, char close, int repeat, const char* text);
char* SubstituteParameters(char open, char close, int repeat, const char* sql, const SelectParameter* table,
                           int count, bool strict);

// Words are read by the server's rules (rules): those inside literals,
// quoted names and comments are no keywords. Text those rules cannot read
// is left as it stands.
// Appends the rewritten first SELECT of sql to out (its condition made false
// before whichever clause may follow WHERE); rest gets the text from the
// UNION, INTERSECT or EXCEPT that begins the next branch on, or null.
void MakeLayoutOnlySelect(std::string& out, const char* sql, const char** rest,
                          const SqlLexRules& rules = SqlLexRules());
void MakeLayoutOnlySelectAll(std::string& out, const char* sql, const SqlLexRules& rules = SqlLexRules());

// The clause words of one branch of a statement, read from its tokens:
// the index of the first token from `from` on, before `to`, that is the
// keyword (a lower-case word, a one-character symbol, or alternatives
// joined by "|") at the bracket level of `from`, or the bracket that closes
// that level when it comes first; else `to`. Words inside brackets opened
// after `from` are not the branch's.
size_t FindSqlKeyword(const std::vector<SqlToken>& tokens, size_t from, size_t to, const char* keyword);
// The same for the keyword first directly followed by second ("order", "by").
size_t FindSqlKeywordPair(const std::vector<SqlToken>& tokens, size_t from, size_t to, const char* first,
                          const char* second);
