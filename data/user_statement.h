// A report reads its data and never changes it: SQL text a report carries
// (the statement a user writes in the SQL Select dialog, a query file or a
// stored report; a column's SQLEXP text; the SELECT the program assembles)
// reaches the data source only when, read by the server's own rules, it is
// one reading statement or one procedure call and calls none of the
// functions that reach outside a query.
#pragma once

#include "data/sql_lexer.h"

#include <cstdint>
#include <string>
#include <vector>

class DataAccess;

// What the check knows of the data source.
struct SqlCheckRules {
  SqlLexRules lex;
  std::string procVerb;  // the platform's procedure verb (kmwsql.ini DataSourceProcVerb)
  bool passExec = true;  // an exec statement is sent with its "exec"
  // Lower case; an entry ending in "*" names every function it begins.
  std::vector<std::string> refusedFunctions;
};

// The functions refused on a server whatever kmwsql.ini says (its
// RefusedFunctions add to them); kOther: those of every server.
std::vector<std::string> DefaultRefusedFunctions(SqlServer server);
// Adds the names of a kmwsql.ini list (separated by commas or blanks).
void AddRefusedFunctions(const std::string& list, std::vector<std::string>* out);

struct SqlReading {
  bool ok = false;
  bool procedure = false;    // a procedure call, not a reading statement
  std::string why;           // the whole message when refused
  uint32_t queryOffset = 0;  // a report statement: where the text it sends starts
};

// A statement as it goes to the server. bareProcedure: its first word may be
// a procedure's name (an exec statement whose verb the source does not take).
SqlReading ReadSentStatement(const char* sql, const SqlCheckRules& rules, bool bareProcedure);
// A report's statement as written (a SELECT, a REPORTVIEW definition, an
// exec or other procedure call): what it sends, and whether that may go.
SqlReading ReadReportStatement(const char* statement, const SqlCheckRules& rules);
// A piece of SQL the program puts into a statement of its own (SQLEXP).
SqlReading ReadSqlExpression(const char* text, const SqlCheckRules& rules);

// Whether an unquoted word is one that changes data or the database.
bool IsRefusedSqlWord(const std::string& word);

// A report statement checked with the current data source's rules. False
// after the message: into errBuf when one is given, else in the error
// dialog unless quiet.
bool CheckReadingStatement(DataAccess* data, const char* statement, char* errBuf, int errSize, bool quiet);
// Whether a report statement, read by the current data source's rules, is a
// procedure call rather than a reading statement.
bool IsProcedureStatement(DataAccess* data, const char* statement);
