// Statements that stand in for a report's master table: a plain SELECT, a
// stored-procedure call, or a REPORTVIEW definition naming the result table
// and its columns before its SELECT.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CKmComposite;

// What a statement's first words say of it.
struct StatementShape {
  enum Form { kOther, kDefinition, kExec };
  Form form = kOther;
  std::string name;                // the REPORTVIEW's or the procedure's name
  std::vector<std::string> names;  // a REPORTVIEW's column names
  uint32_t queryOffset = 0;        // where the text sent as the query starts
};

// Reads text from *position as the parser below does, without a model: the
// same codes and positions.
int ReadStatementShape(const char* text, uint32_t* position, bool passExec, StatementShape* shape);

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
