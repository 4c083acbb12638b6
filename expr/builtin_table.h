// BuiltinFunctionTable: the 137 records that describe the built-in functions
// (names, editor texts, result types, argument lists) and the two handlers of
// each, one for the value evaluator and one for the type evaluator.
//
// Calling convention of a value handler: it gets the model only; its
// arguments are the top cells of the value stack (last argument on top,
// omitted optionals as empty-argument markers), model->argumentCount holds the
// call's count. It pops exactly its arguments with the pop operations of
// expr/value_eval.h, pushes exactly one result and returns 0, or a non-zero
// code that stops the evaluation and is passed on unchanged.
// A type handler pops its ValueCell arguments (expr/type_eval.h), pushes one
// description and returns 0 or a compile error code.
//
// The handlers are installed at start-up with SetBuiltinHandlers; a slot
// without a value handler makes the evaluator answer 3 (no such function), a
// slot without a type handler makes the type evaluator fall back to the
// field's default description.
#pragma once

#include <cstddef>
#include <cstdint>

class CKmComposite;

typedef int (*BuiltinEvalFn)(CKmComposite* model);
typedef int (*BuiltinTypeFn)(CKmComposite* model);

// Result type codes.
constexpr uint8_t kResultNumber = 1;
constexpr uint8_t kResultString = 4;
constexpr uint8_t kResultDate = 7;
constexpr uint8_t kResultSame = 18;
constexpr uint8_t kResultQuery = 21;
constexpr uint8_t kResultDateTime = 22;
constexpr uint8_t kResultTime = 23;
constexpr uint8_t kResultLogical = 65;
constexpr uint8_t kResultLogicalBit = 0x40;

// Argument type codes (bit 7 optional, bit 0x20 pass the previous value).
constexpr uint8_t kArgNumber = 1;
constexpr uint8_t kArgString = 4;
constexpr uint8_t kArgField = 5;
constexpr uint8_t kArgNone = 6;
constexpr uint8_t kArgDate = 7;
constexpr uint8_t kArgTable = 8;
constexpr uint8_t kArgAny = 16;
constexpr uint8_t kArgValue = 17;
constexpr uint8_t kArgSame = 18;
constexpr uint8_t kArgText = 20;
constexpr uint8_t kArgQuery = 21;
constexpr uint8_t kArgDateTime = 22;
constexpr uint8_t kArgTime = 23;
constexpr uint8_t kArgDatePart = 24;
constexpr uint8_t kArgInterval = 25;
constexpr uint8_t kArgInterval2 = 26;
constexpr uint8_t kArgTimeLayout = 27;
constexpr uint8_t kArgOptional = 0x80;
constexpr uint8_t kArgPrevious = 0x20;
constexpr uint8_t kArgCountRepeat = 0xFF;  // any number of the one type (INLIST)
constexpr uint8_t kArgCountCase = 0;       // the CASE rule

constexpr uint32_t kFreeSlotTextId = 0xFFFFFFFFu;
constexpr int kBuiltinSlotCount = 137;  // slots 0-136; 136 ends name searches

// Slots the evaluators and compiler name directly.
constexpr uint32_t kSlotPageNo = 28;
constexpr uint32_t kSlotRecNo = 29;
constexpr uint32_t kSlotIif = 56;
constexpr uint32_t kSlotInList = 58;
constexpr uint32_t kSlotCase = 62;
constexpr uint32_t kSlotError = 63;
constexpr uint32_t kSlotPrevious = 68;
constexpr uint32_t kSlotCopy = 69;
constexpr uint32_t kSlotQuery = 70;
constexpr uint32_t kSlotLike = 83;
constexpr uint32_t kSlotKmUnin = 84;
constexpr uint32_t kSlotRiParam = 90;
constexpr uint32_t kSlotCdll = 104;
constexpr uint32_t kSlotSqlExp = 105;
constexpr uint32_t kSlotDteAdd = 119;
constexpr uint32_t kSlotDteAddDateTime = 123;
constexpr uint32_t kSlotDteAddTime = 124;
constexpr uint32_t kSlotPerComp = 134;
constexpr uint32_t kSlotNow = 135;

struct BuiltinFunctionRecord {
  const char* name;         // upper case; "" for free and unnamed slots
  uint32_t syntaxTextId;    // string id of the editor's syntax line
  uint32_t descriptionId;   // 2000-2525
  uint8_t resultType;
  const uint8_t* argumentList;  // count byte, then one type byte per argument
  BuiltinEvalFn evaluate;
  BuiltinTypeFn inferType;
};

extern BuiltinFunctionRecord BuiltinFunctionTable[kBuiltinSlotCount];

// Installs a slot's handlers (either may be null to keep the present one).
void SetBuiltinHandlers(uint32_t slot, BuiltinEvalFn evaluate, BuiltinTypeFn inferType);

// The record of a slot, or null outside 0-136.
const BuiltinFunctionRecord* GetBuiltinFunction(uint32_t slot);
bool IsFreeBuiltinSlot(uint32_t slot);

// Argument list access: count byte and type byte i (0-based); the repeating
// list (count 0xFF) gives its one type for every i.
uint8_t BuiltinArgCount(uint32_t slot);
uint8_t BuiltinArgType(uint32_t slot, unsigned i);

// Name lookup over the table alone: exact (case-insensitive) over slots
// 0-136, first match wins; -1 when none. FindBuiltinByPrefix takes a name of
// 4 or more characters as an abbreviation: the first slot whose name begins
// with it. User functions are looked up between the two by the scanner.
int FindBuiltinExact(const char* name, size_t length);
int FindBuiltinByPrefix(const char* name, size_t length);

// The type evaluator's default handler: the result is described like the
// last argument, without its constant mark.
int DefaultTypeHandler(CKmComposite* model);
