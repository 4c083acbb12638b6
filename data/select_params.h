// Parameters of a user's own SELECT ("<<default>>" markers replaced from a
// substitution list or by their defaults) and the layout-only form of a
// SELECT that describes its columns without returning rows. Plain text; no
// connection is involved.
#pragma once

#include "data/sql_lexer.h"

#include <string>

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
// Appends the rewritten first SELECT of sql to out; rest gets the text from
// its "union " on, or null.
void MakeLayoutOnlySelect(std::string& out, const char* sql, const char** rest,
                          const SqlLexRules& rules = SqlLexRules());
void MakeLayoutOnlySelectAll(std::string& out, const char* sql, const SqlLexRules& rules = SqlLexRules());

// keyword's last character stands for the blank after the word; a word of
// the text equal to it, ignoring case, is the match.
const char* FindSqlKeyword(const char* text, const char* keyword, const SqlLexRules& rules = SqlLexRules());
const char* FindSqlKeywordPair(const char* text, const char* first, const char* second,
                               const SqlLexRules& rules = SqlLexRules());
