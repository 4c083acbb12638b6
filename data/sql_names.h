// Table and column names from report, query and start files on their way
// into SQL text. A name is outside input: it is either written as identifiers
// the data source reads as names, or refused.
#pragma once

#include <string>

// False for a name holding a statement separator or a control character:
// such a name is never written into a statement, quoted or not.
bool SqlNameUsable(const std::string& name);

// A name of parts separated by '.': each part that is already a well-formed
// quoted identifier, or a plain identifier (letters, digits, '_', '$', '#',
// '@', bytes above 127), stays as it is; any other part is quoted with the
// data source's quote text, the quote doubled inside. False, with out empty,
// when a part needs quoting and the data source has no quote character, or a
// quoted part is not closed.
bool QuoteSqlNameParts(const std::string& name, const std::string& quote, std::string* out);

// One identifier in quotes, the quote doubled inside (a plain copy without a
// quote character).
std::string QuoteSqlIdentifier(const std::string& name, const std::string& quote);

// A table alias as the program makes and accepts them: a letter, then
// letters, digits and '_'. An alias is written unquoted, so nothing else may
// pass.
bool SqlAliasUsable(const std::string& alias);

// An alias as the program writes it: in quotes when it is a word the server
// keeps for its grammar or one that changes data, in the case the server
// folds names to (identifierCase as GetIdentifierCase gives it: 3 upper,
// 2 lower), else as it stands.
std::string SqlAliasText(const std::string& alias, const std::string& quote, int identifierCase);

// The message for a refused name, and for a refused alias.
std::string RefusedSqlNameText(const std::string& name);
std::string RefusedSqlAliasText(const std::string& alias);
