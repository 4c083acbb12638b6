// A report reads its data and never changes it: the statement a user writes
// for a report (in the SQL Select dialog, a query file or a stored report)
// reaches the data source only when it is one SELECT (a REPORTVIEW
// definition over one included) or one procedure call.
#pragma once

#include <string>

class DataAccess;

// Whether the text is one reading statement: its first word is "select",
// "define" (a REPORTVIEW over a SELECT), "with" (a SELECT of named
// subqueries that change nothing), "exec" or the data source's procedure
// verb; it holds no ";" before its end, and none of the words that make a
// SELECT write ("into") or load a library. Words are looked for in the
// whole text, quoted parts too: no way of quoting can hide one.
bool IsReadingStatement(const char* sql, const char* procVerb);

// The same for the current data source's procedure verb. False after the
// message: into errBuf when one is given, else in the error dialog unless
// quiet.
bool CheckReadingStatement(DataAccess* data, const char* sql, char* errBuf, int errSize, bool quiet);

// The message a refused statement is told with.
std::string RefusedStatementText();
