// The value evaluator's stack operations, used by the evaluator itself and by
// every built-in function handler. All of them do nothing once the stack has
// overflowed (pops then give zero values). Every pop ORs the cell's status
// byte into model->valueFlags and gives a zero value when that status is not
// zero. The evaluation entry point is EvaluateCompiledExpression.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/stack_value.h"
#include "core/composite.h"

// Result codes of EvaluateCompiledExpression.
constexpr int32_t kEvalOk = 0;
constexpr int32_t kEvalBadOpcode = 1;
constexpr int32_t kEvalNoFunction = 3;
constexpr int32_t kEvalStackOverflow = 8;
constexpr int32_t kEvalStringCut = 16;

constexpr uint32_t kValueFlagNull = 1;  // bit 0 of valueFlags: null or in error

// Runs code over the current field values and writes the result. resultSize
// is the string capacity in characters (0: stringWorkSize); a string result
// needs resultSize + 1 bytes, other results at most 12.
int32_t EvaluateCompiledExpression(CKmComposite* m, const uint8_t* code, void* result, uint32_t resultSize,
                                   uint32_t* flagsOut, int32_t* previousLongTextOut);

// ---- Pushes (status byte = model->valueFlags at the time of the push)
void PushNumber(CKmComposite* m, double v);
// length characters from text (cut to stringWorkSize); the terminator is added.
void PushString(CKmComposite* m, const char* text, size_t length);
void PushDate(CKmComposite* m, uint32_t day);
void PushDateTime(CKmComposite* m, uint32_t day, double time);
void PushTime(CKmComposite* m, double time);
void PushFieldRef(CKmComposite* m, FieldDef* field, bool previous = false);
void PushKeyword(CKmComposite* m, uint8_t tag, uint8_t value);
void PushTableRef(CKmComposite* m, TableSlot* slot);
void PushQueryMarker(CKmComposite* m);
void PushEmptyArgument(CKmComposite* m);
void PushEmptyLongText(CKmComposite* m);
// A cell with an explicit status byte (for handlers that keep a value's flags).
void PushNumberWithStatus(CKmComposite* m, double v, uint8_t status);

// ---- Pops
double PopNumber(CKmComposite* m);
// floor(PopNumber + 0.5), NaN as 0, clamped to the 64-bit range.
int64_t PopRoundedInt(CKmComposite* m);
// Copies the string (at most capacity - 1 characters) and terminates it;
// returns its length. From a field reference, the field's text.
size_t PopString(CKmComposite* m, char* buffer, size_t capacity);
uint32_t PopDate(CKmComposite* m);
void PopDateTime(CKmComposite* m, uint32_t* day, double* time);
double PopTime(CKmComposite* m);
// The empty long-text marker gives the built-in empty long-text field.
FieldDef* PopFieldRef(CKmComposite* m, bool* previous = nullptr);
uint8_t PopKeyword(CKmComposite* m, uint8_t* tag);
TableSlot* PopTableRef(CKmComposite* m);
// Pops the top cell if it is an empty-argument marker; true when it was.
bool DropEmptyArgument(CKmComposite* m);
// Drops the top cell whatever it holds (its status is ORed in like a pop).
void DropCell(CKmComposite* m);

// ---- Tests on the top cell (false on an empty stack)
uint8_t TopTag(const CKmComposite* m);
bool TopIsNumber(const CKmComposite* m);      // number, or a number or logical field
bool TopIsString(const CKmComposite* m);      // string, or a text field
bool TopIsDate(const CKmComposite* m);        // date, or a date or date-time field
bool TopIsDateOrTime(const CKmComposite* m);  // date, date-time, time cells or fields
bool TopIsTime(const CKmComposite* m);        // time, or a time or date-time field
// Decodes the cell that ends at `end` (one past its tag byte), never reading
// below `base`; false when the bytes there do not form a cell.
bool DecodeCellEndingAt(const uint8_t* base, const uint8_t* end, TaggedStackValue* out);
// Decodes the cell `depth` places below the top (0 = top); false if none.
bool PeekCell(const CKmComposite* m, unsigned depth, TaggedStackValue* out);
// Pushes a copy of a decoded cell (its own status), with the tag given.
void PushCellCopy(CKmComposite* m, const TaggedStackValue& cell, uint8_t tag, uint8_t status);
// Moves the cell n places below the top to the top.
void RotateStack(CKmComposite* m, unsigned n);

// ---- Operations shared with handlers
// The comparison opcodes 15-20: pops R and L, pushes 1.0 or 0.0, sets resultLogical.
void ApplyComparison(CKmComposite* m, uint8_t opcode);
// Whether a comparison opcode (15-20) holds for a three-way result c.
bool ComparisonHolds(uint8_t opcode, int c);
// The text comparison with the model's switches (pad characters and trailing
// blanks as the caller left them).
int CompareTextWithModel(CKmComposite* m, const char* a, const char* b);
// The case folding of the built-in comparison (Windows-1252 letters).
extern const unsigned char kTextFoldMap[256];
inline unsigned char FoldTextCase(unsigned char c) { return kTextFoldMap[c]; }
// Turns pad characters into blanks in place; returns text.
char* PadToBlanks(const CKmComposite* m, char* text);
// Cuts trailing blanks in place; returns the new length.
size_t CutTrailingBlanks(char* text, size_t length);
// Numbers with the model's tolerance: -1, 0, 1 (null numbers count as 0).
int CompareNumbersWithTolerance(const CKmComposite* m, double a, double b);

// The value buffer of a field's current or previous value (null when none).
uint8_t* FieldValuePointer(const CKmComposite* m, const FieldDef* f, bool previous);
// The status a field reference cell carries.
uint8_t FieldRefStatus(const CKmComposite* m, const FieldDef* f, bool previous);

// The built-in long-text field whose value is empty.
FieldDef* EmptyLongTextField();
