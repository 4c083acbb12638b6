// Calculated fields and total conditions get a new or changed definition in
// two phases: a check that installs the new code provisionally and runs every
// refusal test, then a commit or a cancel. A trial compile changes nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/fields.h"

class CKmComposite;
struct UdfNode;

constexpr uint8_t kCalcKindField = 1;
constexpr uint8_t kCalcKindCondition = 8;
constexpr uint8_t kCalcKindFunction = 2;  // any kind but the two above

// Check-phase status.
constexpr uint32_t kCalcStatusNoMemory = 0;
constexpr uint32_t kCalcStatusErrorPosition = 1;
constexpr uint32_t kCalcStatusAccepted = 2;
// Set by the commit when the change reaches a sort field, the filter or a linking field.
constexpr uint32_t kCalcStatusReachesRun = 4;

// Longest expression text buffer.
constexpr uint32_t kMaxExpressionBuffer = 1024;

// Calculation error codes besides the compiler's own.
enum CalcError : int {
  kCalcNoMemory = 24,
  kCalcBufferOverflow = 25,
  kCalcUsedInFilter = 26,
  kCalcPageTotalLineControl = 27,
  kCalcTotalsSort = 28,
  kCalcRunningTotalSort = 29,
  kCalcPageNumberSort = 31,
  kCalcPageNumberLink = 32,
  kCalcPageNumberFilter = 33,
  kCalcRecordNumberLink = 34,
  kCalcRecordNumberFilter = 35,
  kCalcRecordNumberSort = 36,
  kCalcMemoSort = 37,
  kCalcMemoLink = 38,
  kCalcPreviousSort = 39,
  kCalcSelfReferenceSort = 40,
  kCalcIsLinkingField = 41,
  kCalcIsTotaled = 42,
  kCalcCircular = 43,
  kCalcBadName = 44,
  kCalcNameUsed = 45,
  kCalcUdfUsedInLink = 54,
  kCalcRunningTotalFilter = 61,
  kCalcJoinUntranslatable = 63,
  kCalcConditionOnTotal = 65,
  kCalcConditionMemo = 66,
};

struct CalcDefRequest {
  uint8_t kind = kCalcKindField;
  uint32_t status = 0;
  uint32_t errorPosition = 0;
  const char* name = nullptr;   // null keeps the present name
  const char* text = nullptr;
  UdfNode* function = nullptr;
  FieldDef* field = nullptr;    // the field changed (null: a new one) or the total
  const char* culprit = nullptr;  // after 43 or 54: the field the message names
};


// 0, 44 or 45; field is the one being renamed (null for a new one).
int CheckCalcFieldName(CKmComposite* m, const char* name, const FieldDef* field);
int MapUdfParseError(int code);
int MapFunctionUseError(int code);
void ClearCalcMarks(CKmComposite* m);
// False when a linking field of a lookup table is a page-number, record-number or memo field.
bool LinkFieldsAreValid(CKmComposite* m);
// True when the linking field depends on a field of the lookup table it links.
bool IsCircularThroughLink(CKmComposite* m, FieldDef* field, uint32_t index);

// A definition between its check and its commit or cancel. The caller holds
// it and hands it to the commit or the cancel; a check with one still
// waiting cancels that first.
struct PendingCalcDefinition {
  // A calculated field's or a condition's definition: the field carries the
  // new one provisionally, this the old.
  struct Saved {
    char name[sizeof(FieldDef::name)] = {};
    uint8_t* code = nullptr;
    uint32_t codeLength = 0;
    char* text = nullptr;
    uint32_t flags = 0;
    uint32_t refField = 0;
    uint8_t table = 0;
  };
  // The marks the check's compiles and dependency walk leave on a field (its
  // users' too): computed elsewhere, rests on totals computed ahead, ...
  struct Marks {
    FieldDef* field = nullptr;
    uint32_t flags2 = 0;
    uint8_t totalFlags = 0;
  };
  struct Field {
    int mode = 0;  // 0 new, 1 changed
    uint8_t kind = kCalcKindField;
    FieldDef* field = nullptr;
    uint32_t index = kNoField;
    Saved old;
    std::vector<Marks> marks;  // every field's, for a changed calculation
    bool typeChanged = false;
    bool tableChanged = false;
    bool referenced = false;
    bool wasLinking = false;
    bool conditionRemoval = false;
    std::vector<std::pair<FieldDef*, uint8_t>> tableChanges;
    char* sqlText = nullptr;
  };
  // A function's removal, or its definition held by the function list.
  struct Function {
    bool removal = false;
    UdfNode* node = nullptr;
    std::string oldName;  // the name it is stored under; empty for a new one
    std::vector<FieldDef*> callers;
    std::vector<UdfNode*> callingFunctions;  // removal: they go with it
  };
  std::optional<Field> field;
  std::optional<Function> function;
};

// The check phase; count receives the number of other fields broken by the
// change. On 0 the change waits in pending.
int DefineCalcField(CKmComposite* m, CalcDefRequest* request, uint32_t* count, PendingCalcDefinition* pending);
void CommitCalcDefinition(CKmComposite* m, void* ownerWindow, CalcDefRequest* request,
                          PendingCalcDefinition* pending);
void CancelCalcDefinition(CKmComposite* m, CalcDefRequest* request, PendingCalcDefinition* pending);
int TrialCompileCalcField(CKmComposite* m, CalcDefRequest* request);
// True while a check phase waits for its commit or cancel.
bool HasPendingCalcDefinition(const PendingCalcDefinition& pending);

// Compiles a calculation (or a total's condition) again from its text: 0, or
// 1 when it no longer compiles or its value type would change. With store
// the new code replaces the old.
int RecompileFieldExpression(CKmComposite* m, FieldDef* field, bool store);

// The function list's edit opens the user-function library for writing
// (a library code, 0 when it may be written) and closes it afterwards.
int LoadUserFunctions(CKmComposite* m);
void SaveUserFunctions(CKmComposite* m);

// Every field of another table named like a field of the given table gets its
// references qualified with its table's alias, so that they stay unambiguous.
void RenameDuplicateFields(CKmComposite* m, int table);
