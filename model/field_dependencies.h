// Field dependencies: evaluation levels and the order of calculations and
// totals, removal marks that follow a field to everything using it, the
// list of users shown before a field goes, and the totals checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CKmComposite;
struct FieldDef;

// Recomputes levels, dependency flags and the evaluation lists; returns the
// chain (through orderNext) of field items that could not be ordered, or null.
FieldDef* PropagateFieldDependencies(CKmComposite* m);
// "Calculation 'X' must be edited.  Unable to determine evaluation order".
std::string FormatEvaluationOrderError(const FieldDef* field);
void ReportEvaluationOrderError(CKmComposite* m, FieldDef* field);
// The lowest group level among pre-processed totals (255 lowest of all); -1 when none.
int GetLowestPreTotalLevel(CKmComposite* m);

// Removal marks: 0x10 to be removed, 0x20 removal propagated.
// Refuses a join field: 3126 with every mark cleared and m->errorField set.
int CheckRemoval(CKmComposite* m);
// withTables: the fields of lookup tables linked through a removed join field go too.
void PropagateRemoval(CKmComposite* m, bool withTables);
// Neither refuses join fields nor follows tables.
void PropagateRemovalMarksOnly(CKmComposite* m);
void DeleteMarkedFields(CKmComposite* m);
void ClearFieldMarks(CKmComposite* m, bool secondList);
int CountFieldsToRemove(CKmComposite* m);
// The fields the dependency warning lists: those that go and are on the
// layout or in use (any that go while totals are pre-processed).
int CountFieldsAffected(CKmComposite* m);
// True when removing the field (and what uses it) touches a pre-processed
// total or a field that the filter uses.
bool CheckFieldRemoval(CKmComposite* m, FieldDef* field);
void RemoveTable(CKmComposite* m, int slot, bool freeSlot);

// The dependency warning: its text and one line per user, sorted by name.
struct DependencyWarning {
  std::string text;
  std::vector<std::string> lines;
  bool chartUsesField = false;
};
// Asks the user; true to go on. Null hook: the answer is yes.
typedef bool (*DependencyWarningHook)(CKmComposite* m, const DependencyWarning& warning);
void SetDependencyWarningHook(DependencyWarningHook hook);
DependencyWarningHook GetDependencyWarningHook();
DependencyWarning BuildRemoveUsersWarning(CKmComposite* m, const char* action, const FieldDef* except);
DependencyWarning BuildEditUsersWarning(CKmComposite* m, const char* name, const FieldDef* except);
bool ConfirmRemoveUsers(CKmComposite* m, const char* action);
bool ConfirmEditUsers(CKmComposite* m, const char* name, const FieldDef* field);

// The pre-processed level check of the totals set-up: 0, 3191 or 3194; and
// the combination check 3197.
int CheckPreprocessedTotals(CKmComposite* m);

struct GroupSetup;
// The totals, filter and sort checks in order (3195, 3196, 3197, the sort
// and group conflicts, then 3191/3194); the first that applies is the
// result, shown for ownerWindow when show is set. The condition is the
// filter's stored condition code.
int CheckTotalsConsistency(CKmComposite* m, GroupSetup& setup, void* ownerWindow, bool show,
                           const uint8_t* condition, size_t conditionLength);
// The same with the model's own filter.
int CheckTotalsSetup(CKmComposite* m, GroupSetup& setup, void* ownerWindow, bool show);

