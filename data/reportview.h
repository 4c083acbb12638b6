// Statements that stand in for a report's master table: a plain SELECT, a
// stored-procedure call, or a REPORTVIEW definition naming the result table
// and its columns before its SELECT.
#pragma once

#include <cstdint>

class CKmComposite;

// Parses text from *position (left where parsing stopped; on failure where the
// failing word began) and fills the composite's statement offset, result
// table name and column-name list. passExec: the data source takes "exec" as
// part of the query. Returns 0 or an engine error code.
int ParseReportViewStatement(CKmComposite* m, const char* text, uint32_t* position, bool passExec);

// The result column names (null-terminated array) or null when the statement has no list.
const char* const* ReportViewNames(const CKmComposite* m);
void FreeReportViewNames(CKmComposite* m);

struct TableOverrideContext;
// Makes the statement the report's master: parses it, keeps a copy in the
// composite and opens its result as table slot 0. Returns 0 or an engine code
// (the composite is left without a statement on failure).
int SetupSqlMaster(CKmComposite* m, const char* statement, bool passExec, const TableOverrideContext& ctx);
void FreeSqlMaster(CKmComposite* m);
