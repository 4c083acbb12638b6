// The report's master source and its lookup tables: alias rules, comparing
// a request with the relation as it stands, reading a relation back into a
// request, and removing a lookup table with what depends on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/replace_table.h"

class CKmComposite;
struct FieldDef;
struct TableSlot;

struct MasterSourceRequest {
  uint32_t result = 0;  // 1 warn or reopened, 2 the alias is at fault
  const char* path = nullptr;
  const char* alias = nullptr;
  const char* statement = nullptr;
};

struct JoinLinkEntry {
  FieldDef* field = nullptr;      // report side; null ends the list
  const char* column = nullptr;   // lookup side
  uint8_t notInTable = 0;         // the lookup field's "no longer in its table" bit
};

struct JoinRequest {
  const JoinLinkEntry* links = nullptr;
  const char* path = nullptr;
  uint8_t approximate = 0;  // 0 exact, 1 matching or next, 2 matching or previous
  uint32_t dataSource = 0;
  uint8_t rule = 0;         // 0 related-blank, 1 skip, 2 initial-blank
  const char* alias = nullptr;
  uint32_t focus = 0;       // out: 16 alias, 1 table, 2 linking fields
};

constexpr uint32_t kJoinFocusAlias = 16;
constexpr uint32_t kJoinFocusTable = 1;
constexpr uint32_t kJoinFocusLinks = 2;

bool IsSqlReport(const CKmComposite* m);
// The first linking field of a lookup table's relation that must be edited:
// one no longer in its table, or (with a data source connected, which alone
// says what it takes as SQL) a calculation without SQL text. Null when none.
FieldDef* FindConditionDependency(CKmComposite* m);
// 0 when the request names the present master source (ignoring case).
int CompareMasterSource(const CKmComposite* m, const MasterSourceRequest& request);
// 0, 3124 (not a letter followed by letters, digits or "_") or 3113 (another
// slot has it). exceptSlot may keep its own alias; derivedAlias is the alias of
// the report's derived SQL columns, when it has them.
int CheckTableAlias(CKmComposite* m, const char* alias, int exceptSlot, bool checkForm, int firstSlot,
                    const char* derivedAlias);
uint8_t RelationBitsFor(uint8_t approximate, uint8_t rule);
// Used link pairs of the table with the order number.
int CountJoinFields(CKmComposite* m, int number);
// Fills request from the relation; links and names live in the storage given.
// 1 when the number has no table.
struct JoinInfoStorage {
  std::vector<JoinLinkEntry> links;
  std::vector<std::string> columns;
  std::string path, alias;
};
int GetJoinInfo(CKmComposite* m, JoinRequest* request, int number, JoinInfoStorage* storage);
// 0 when the request describes the relation as it stands, 1 otherwise.
int IsJoinUnchanged(CKmComposite* m, const JoinRequest& request, int number);
// A lookup table's removal between its check and its commit or cancel.
struct JoinRemoval {
  int slot = -1;  // -1: none pending
};
// Check phase of removing a lookup table: marks it and what uses it; 0, 1
// (no such table) or 3126 (a linking field would go; nothing stays marked).
// On 0 the removal waits in pending.
int FindJoinUsers(CKmComposite* m, int number, uint32_t* count, JoinRemoval* pending);
// Commit of the removal found by FindJoinUsers.
void RemoveJoin(CKmComposite* m, JoinRemoval* pending);
void CancelJoinRemoval(CKmComposite* m, JoinRemoval* pending);

struct TableOverrideContext;
// Adds a lookup table: 0, an engine code, or -1 when a linking column is
// missing; request->focus names the control at fault.
int AddJoin(CKmComposite* m, JoinRequest* request, const TableOverrideContext& ctx, const char* derivedAlias);

// A master-table change between its check and its commit or cancel. For an
// SQL-statement report the new statement waits here; the report's own
// statement positions come back from its statement when it is dropped.
struct MasterChange {
  bool changed = false;  // the source changed
  TableReplacement replacement;
  bool statementPending = false;
  std::string statement;  // the new statement
};

// The report's present source into the request: path and alias of a table
// report, the statement of an SQL report (the texts live in storage).
struct MasterSourceText {
  std::string path, alias, statement;
};
void GetMasterSource(const CKmComposite* m, MasterSourceRequest* request, MasterSourceText* storage);
// Drops a new statement that was not committed: the report's statement
// positions and name list are as before.
void DiscardPendingStatement(CKmComposite* m, MasterChange* pending);
// After a join change on a report bound to an SQL connection: the SELECT is
// built and run once, a failure shown as a warning. 0, or 1 on failure.
int RefreshSqlAfterJoinChange(CKmComposite* m);
// Check phase of a master-table change: opens the new table provisionally and
// counts the fields that would go (request->result 1 when any). An SQL
// report opens its new statement (request->statement).
int ChangeMasterTable(CKmComposite* m, MasterSourceRequest* request, const TableOverrideContext& ctx,
                      const char* derivedAlias, MasterChange* pending);
// Returns true when the source changed.
bool CommitMasterChange(CKmComposite* m, MasterSourceRequest* request, MasterChange* pending);
void CancelMasterChange(CKmComposite* m, MasterChange* pending);

// A relation change between its check and its commit or cancel.
struct RelationChange {
  bool active = false;
  uint32_t slot = 0;
  bool changed = false;
  std::vector<std::pair<FieldDef*, FieldDef*>> links;  // kept as records: deletions renumber indexes
  TableReplacement replacement;
};
// Check phase of a relation change; count receives the fields that would go.
// 0, 1 (no such table), -1 (a linking column is missing) or an engine code.
int ChangeJoin(CKmComposite* m, JoinRequest* request, int number, uint32_t* count, const TableOverrideContext& ctx,
               RelationChange* pending);
// Commit; returns true when the relation changed (false, doing nothing,
// when no change is pending).
bool ChangeJoinTable(CKmComposite* m, JoinRequest* request, RelationChange* pending);
// Cancel; every mark is cleared.
void CancelRelationChange(CKmComposite* m, RelationChange* pending);

// Gives the slot an alias no other slot has: short aliases get "_" appended,
// eight-character ones a letter over one of their last seven characters.
// Candidates are tried in one bounded order; false (alias unchanged) when all
// are taken.
bool MakeTableAliasUnique(CKmComposite* m, int slot);
// While a lookup table has the master's alias, the master's is made unique.
void MakeMasterAliasUnique(CKmComposite* m);
// A master table without an alias takes the one its name gives, as a table
// chosen for a new report does (a user-SQL master and one with an alias keep theirs).
void DeriveMasterAlias(CKmComposite* m, const TableOverrideContext& ctx);
