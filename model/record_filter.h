// The record filter: the stored condition code (infix tokens, as the filter
// dialogs write it) rebuilt into an evaluation code (a prefix tree with skip
// lengths) and evaluated for every record, with the typed comparisons it
// shares with the value evaluator (numbers within a tolerance, dates against
// day patterns, texts by the model's collation) and "like" patterns.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/condition_code.h"

class CKmComposite;
struct FieldDef;

// Builds model->compiledFilter from model->conditionCode: 0, 1 no memory,
// 2 a bad condition code, 3 too complex (30 pending operators, 100 nodes).
int RebuildConditionCode(CKmComposite* model);
void FreeFilterCode(CKmComposite* model);
// 1 when the current record fails the filter; 0 when it passes or there is no
// code. totalsAsTrue makes conditions on totals hold.
int FilterRejects(CKmComposite* model, const uint8_t* code, int totalsAsTrue);

// The empty text of a condition means what the group break takes as one
// value: a missing text, '' and a text of blanks (or pads). The SQL written
// for a filter reads the same three routines.
// A field whose empty items match its missing values too: a text, not a long text.
bool EmptyItemMatchesMissing(const FieldDef* f);
// A condition item that is the empty text: '', blanks or pads.
bool IsEmptyTextItem(CKmComposite* model, const uint8_t* token);
// The field's current value is the empty text (missing, '' or blanks); not
// a calculation flagged missing or in error.
bool IsEmptyTextValue(CKmComposite* model, const FieldDef* f);

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
// LIKE on a long-text field goes through MatchCondition with wildcards.
void InstallLongTextMatch(CKmComposite* model);
// A pattern at the start of text: '?' and the single wildcard match any one
// character, the escape character makes the next one literal; at the
// pattern's end the text must have ended too unless allowRest.
int MatchPattern(CKmComposite* model, const char* text, const char* pattern, int allowRest, int wildcards);
// Escape characters directly before the last character of text.
int CountEscapesBeforeLast(const char* text, size_t length);

