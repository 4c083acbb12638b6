// The report's one SELECT: select list from the fields the report uses, FROM
// with the master and lookup tables in join order, join conditions in the
// data source's outer-join style, selections and ORDER BY.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/group_levels.h"

class CKmComposite;
struct FieldDef;
struct TableSlot;

// What the builder reads besides the model's tables and fields.
struct SelectInputs {
  FieldDef* sortKeys[9] = {};       // null-terminated; first null: no ORDER BY
  uint8_t sortAscending[8] = {1, 1, 1, 1, 1, 1, 1, 1};
  bool joinCase = false;            // fold case on join columns
  bool sortCase = false;            // fold case on sort keys
  std::string extraCondition;       // appended in brackets when not empty
  // Appends " (conditions) " after lead; true when the engine must still filter.
  bool (*filterToText)(CKmComposite* model, std::string* text, const char* lead) = nullptr;
};

struct SelectResult {
  std::string mainStatement;
  std::string secondStatement;
  bool engineFilterNeeded = false;
  bool engineSortNeeded = false;
  TableSlot* joinOrder[101] = {};   // null-terminated
  // The keys whose rank the SELECT gives, in the order of their columns
  // after the fields' (see FieldDef::serverRanked).
  std::vector<FieldDef*> rankedKeys;
};

SelectInputs* GetSelectInputs(CKmComposite* model);
SelectResult* GetSelectResult(CKmComposite* model);

// Forms: 0 main one line, 1 second buffer join test, 2 LF lines, 3 CR LF
// lines, 4 up to FROM. Returns the number of sort columns written.
int BuildSelectStatement(CKmComposite* model, int form);
void OrderJoinTables(CKmComposite* model);
std::string TableNameForSql(CKmComposite* model, const TableSlot* table, bool bare);
std::string GetTableNameForSelect(CKmComposite* model, const TableSlot* table);
// A field's column text, qualified by its table when given.
std::string QualifiedColumnName(CKmComposite* model, const FieldDef* field, const TableSlot* table);
// The LOWER template split round its first placeholder; both empty when none.
void SplitSqlTemplate(CKmComposite* model, const char* key, std::string* head, std::string* tail);

// Build, execute and bind (0; 1 execution failed; 3121 no memory for the scan).
// Second flag word: a column of a query whose order the engine completes.
constexpr uint32_t kField2EngineSorted = 0x2000;

// The report's group levels and sort slots as the run sorts by them, with
// the data source's pre-fetching and the query's record limit.
GroupSetup RunGroupSetup(CKmComposite* model);
// Notes on the model whether the program will sort the records itself (a
// key the database cannot order by, a limited query, a data source that
// pre-fetches): the run lists then fetch every sort field with the rows.
void NoteProgramSort(CKmComposite* model);
// Marks needed (selected) the fields the SELECT must fetch: every field in a
// TMP pass; else the report's run lists (every sort field when the program
// sorts), and the sort keys' fields where the driver sorts only by selected
// columns.
void MarkSelectedFields(CKmComposite* model);
int OpenReportQuery(CKmComposite* model);
// The steps of OpenReportQuery before the execution: the SELECT built, the
// scan opened, a user SELECT's parameters substituted into *text.
int PrepareReportQuery(CKmComposite* model, std::string* text, int* sortColumns);
// After the execution: the columns whose order the engine completes.
void MarkEngineSortedColumns(CKmComposite* model);
void CloseReportQuery(CKmComposite* model);
int BuildProbeSelect(CKmComposite* model, const char* columnText, FieldDef* info, int setType,
                     bool reportErrors);
