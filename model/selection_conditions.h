// The record filter as rows of conditions for the selection dialogs: the
// stored condition code written out as editable rows, rows checked, and rows
// written back as condition code.
#pragma once

#include <cstddef>
#include <cstdint>

class CKmComposite;
struct FieldDef;

constexpr uint32_t kConditionNoOperand = 0xFFFFFFFEu;     // -2
constexpr uint32_t kConditionEmptyBecameNull = 0xFFFFFFFDu;  // -3
constexpr size_t kConditionValueSize = 531;

struct SelectConditionRow {
  uint8_t joining = 0;  // 0 none, 1 and, 2 or
  uint8_t open = 0;
  uint32_t field = 0xFFFFFFFFu;
  uint8_t op = 0;
  uint32_t operand = kConditionNoOperand;
  char values[kConditionValueSize] = {};
  uint8_t close = 0;
};

// Check codes (message: string 899 + code).
enum ConditionError : int {
  kCondErrFieldMissing = 1,
  kCondErrUnterminated = 2,
  kCondErrQualify = 3,
  kCondErrNumber = 4,
  kCondErrText = 5,
  kCondErrDate = 6,
  kCondErrBadDate = 7,
  kCondErrQuery = 8,
  kCondErrTypes = 9,
  kCondErrLogical = 10,
  kCondErrInvalid = 11,
  kCondErrFieldInRange = 13,
  kCondErrFieldInList = 14,
  kCondErrSingle = 15,
  kCondErrRangeTwo = 17,
  kCondErrRangeEmpty = 18,
  kCondErrRangeOrder = 19,
  kCondErrListTwo = 20,
  kCondErrBrackets = 21,
  kCondErrRecordNumber = 22,
  kCondErrPageNumber = 23,
  kCondWarnRunningTotal = 24,
  kCondWarnOtherLevel = 25,
  kCondErrRunningTotal = 26,
  kCondErrDateTime = 30,
  kCondErrTime = 31,
};

int CountSelectConditions(CKmComposite* m);
char ChooseQuoteChar(CKmComposite* m);
// 1, or 0 when the code is absent or malformed.
int FormatSelectCondition(CKmComposite* m, int count, SelectConditionRow* rows);
// 1 accepted; 0 refused (or a warning 24/25) with the code and the position in the value text.
int ParseConditionValue(CKmComposite* m, SelectConditionRow* row, int* code, int* position);
int ParseConditionList(CKmComposite* m, int count, SelectConditionRow* rows, int* code, int* row);
size_t ConditionCodeLength(CKmComposite* m, int count, const SelectConditionRow* rows);
size_t NullLiteralSize(const FieldDef* field);
size_t WriteNullLiteral(uint8_t* out, const FieldDef* field);
// 1, or 0 without memory (failure all ones, the stored code unchanged).
int ApplyConditionEdits(CKmComposite* m, int count, const SelectConditionRow* rows, uint32_t* failure, bool* changed);
int CheckTotalFieldCondition(CKmComposite* m, const FieldDef* field);
int KindErrorCode(uint32_t kind);
