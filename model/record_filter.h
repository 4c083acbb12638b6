// The record filter: the stored condition code (infix tokens, as the filter
// dialogs write it) rebuilt into an evaluation code (a prefix tree with skip
// lengths) and evaluated for every record, with the typed comparisons it
// shares with the value evaluator (numbers within a tolerance, dates against
// day patterns, texts by the model's collation) and "like" patterns.
#pragma once

#include <cstddef>
#include <cstdint>

class CKmComposite;
struct FieldDef;

// Stored-code tokens.
constexpr uint8_t kCondField = 0x20;      // u32 field number
constexpr uint8_t kCondText = 0x22;       // text, NUL
constexpr uint8_t kCondNumber = 0x23;     // double
constexpr uint8_t kCondDate = 0x24;       // u32 day or day pattern
constexpr uint8_t kCondLogical = 0x25;    // one byte
constexpr uint8_t kCondText2 = 0x26;      // text, NUL
constexpr uint8_t kCondEndMark = 0x2A;
constexpr uint8_t kCondDateTime = 0x30;   // u32 day, double time
constexpr uint8_t kCondTime = 0x31;       // double
// Operators.
enum ConditionOperator : uint8_t {
  kCondEnd = 0,
  kCondEqual = 1,
  kCondNotEqual = 2,
  kCondGreater = 3,
  kCondGreaterEqual = 4,
  kCondLess = 5,
  kCondLessEqual = 6,
  kCondBetween = 7,
  kCondNotBetween = 8,
  kCondOneOf = 9,
  kCondNoneOf = 10,
  kCondLike = 11,
  kCondNotLike = 12,
  kCondIsNull = 13,
  kCondIsNotNull = 14,
  kCondAnd = 24,
  kCondOr = 25,
  kCondOpen = 40,
  kCondClose = 41,
};

// Size of the stored-code token at p (0 when it runs past end).
size_t ConditionTokenSize(const uint8_t* p, const uint8_t* end);

// Builds model->compiledFilter from model->conditionCode: 0, 1 no memory,
// 2 a bad condition code, 3 too complex (30 pending operators, 100 nodes).
int RebuildConditionCode(CKmComposite* model);
void FreeFilterCode(CKmComposite* model);
// 1 when the current record fails the filter; 0 when it passes or there is no
// code. totalsAsTrue makes conditions on totals hold.
int FilterRejects(CKmComposite* model, const uint8_t* code, int totalsAsTrue);

// Typed comparison of two value buffers by the type flags: <0, 0, >0.
int CompareTypedValues(CKmComposite* model, const uint8_t* a, const uint8_t* b, uint32_t flags);
// Numbers with the model's tolerance (null numbers count as 0.0): -1, 0, 1.
int CompareNumbers(CKmComposite* model, double a, double b);
// A day against a day pattern (year bits 16-30, month 8-15, day 0-7; "@"
// today's part, "*" any); -1, 0, 1.
int CompareDateToPattern(uint32_t day, uint32_t pattern);
// Local today as year, month and day (replaceable for tests).
void SetFilterToday(int year, int month, int day);

// A memo field's text against a pattern, read through its memo reader (a
// floating window for a leading wildcard); 1 on a match. A memo that cannot
// be read gives 0, and its error is shown once per pass.
struct MemoReader;
int MatchCondition(CKmComposite* model, const char* pattern, MemoReader& reader, int wildcards);
// A pattern at the start of text: '?' and the single wildcard match any one
// character, the escape character makes the next one literal; at the
// pattern's end the text must have ended too unless allowRest.
int MatchPattern(CKmComposite* model, const char* text, const char* pattern, int allowRest, int wildcards);
// Escape characters directly before the last character of text.
int CountEscapesBeforeLast(const char* text, size_t length);

// Walkers over the stored code.
int ConditionRenumberAfterFieldDelete(uint8_t* code, size_t length, uint32_t n);
int ConditionReferencesField(const uint8_t* code, size_t length, uint32_t n);
void ConditionReplaceFieldReference(uint8_t* code, size_t length, uint32_t n, uint32_t m);
void ConditionMarkReferencedFields(CKmComposite* model, const uint8_t* code, size_t length);
