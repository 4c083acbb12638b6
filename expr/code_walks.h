// Walks over compiled code: what an expression depends on, which fields are
// needed before a run, and keeping references and source texts right when a
// field is deleted or renamed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/field_references.h"

class CKmComposite;
struct FieldDef;

struct DependencyScan {
  uint32_t typeFlags = 0;   // inferred kind, with the dependency flags 1, 0x40, 0x400, 0x800
  uint8_t tableLevel = 0xFF;  // 0xFF none, a slot, 0 several, 0xFE page-dependent
  FieldDef* groupField = nullptr;
  size_t length = 0;        // code bytes read
};

// One pass over one compiled expression; 0 or an error (1, 64, 67, or the
// data-access check's code for a derived column). mode: 5 or 1 from the
// compiler, whose every code has its derived column checked (bit 0); 0 for
// the model's own walks over codes already kept.
int ScanExpressionDependencies(CKmComposite* m, const uint8_t* code, size_t maxLength,
                               DependencyScan* out, FieldDef* field, bool userFunction, int mode);

// Calls fn(fieldNumber, previous) for every field reference (opcodes 10 and 33).
template <typename Fn>
void ForEachFieldReference(const uint8_t* code, size_t length, Fn fn);

// The field's calculation code or, for a field with a condition, its condition code.
const uint8_t* FieldCode(const FieldDef* f, size_t* length);

// True when every field whose current value the code references is the field
// itself or marked (0x10), and every table it references has such a field.
bool CheckFieldReferences(CKmComposite* m, FieldDef* field);
void PropagateFieldUse(CKmComposite* m, bool all);
void PropagateFieldUseAll(CKmComposite* m);
// Marks the fields a run needs as in use (0x8000); changed is set when one was added.
void MarkRequiredFields(CKmComposite* m, bool* changed, bool all);

// The first field other than except whose code or condition uses field n.
FieldDef* FindFieldReferencing(CKmComposite* m, uint32_t n, const FieldDef* except = nullptr);
bool IsFieldValueSet(CKmComposite* m, const FieldDef* field, const uint8_t* value);
// A call of built-in slot id (builtin) or of user function id in the code.
bool CodeCallsFunction(const uint8_t* code, size_t length, uint32_t id, bool builtin);
// Any in-use calculated field that calls COPY.
bool UsesCopyFunction(CKmComposite* m);

struct UdfNode;
// Clears marks 0x10|0x20 on all fields and user functions, then marks (0x10)
// the function id, every other function and every field whose code calls it;
// true when any did.
bool IsFunctionUsed(CKmComposite* m, uint32_t id);
// Marks every user of function id, directly or through other functions:
// functions that were followed end with 0x20, fields that call id or one of
// them get 0x10. True when any user was found.
bool MarkFunctionUsers(CKmComposite* m, uint32_t id);
// After MarkUsedUdfs: the first function in use that has no compiled code.
UdfNode* FindUncompiledUdf(CKmComposite* m);
// The function id was renamed: the texts of every field and function that
// call it get the new name.
void RenameFunctionInTexts(CKmComposite* m, uint32_t id, const char* newName);

// Names written into texts get a backslash before blanks and operator characters.
std::string EscapeExpressionName(const char* name);
// kRenameFunction: fieldNumber carries the user function's id.
enum RenameKind { kRenameTable = 0, kRenameField = 1, kRenameFunction = 2 };
// Rewrites the texts of every field that refers to the field (kind 1) or the
// table slot (kind 0); with no old name, qualifies the field's name with its
// table's alias instead. Run before the model's own name changes.
void RenameInCompiledCode(CKmComposite* m, int kind, uint32_t fieldNumber, int tableSlot,
                          const char* newName, const char* oldName);
// One text rewritten the same way; returns the new text.
std::string RenameInExpressionText(CKmComposite* m, const char* text, int kind,
                                   uint32_t fieldNumber, int tableSlot, const char* newName,
                                   bool qualifyOnly);
// Puts "alias." in front of every field name that has no table part.
std::string ReplaceNameInExpressionText(CKmComposite* m, const char* text, const char* alias);

#include "core/compiled_code.h"

template <typename Fn>
void ForEachFieldReference(const uint8_t* code, size_t length, Fn fn) {
  if (!code) return;
  CodeReader r(code, length);
  Instruction in;
  while (r.Next(&in)) {
    if (in.op == OP_END) break;
    if (in.op == OP_FIELD || in.op == OP_FIELD_PREV) fn(in.u32, in.op == OP_FIELD_PREV);
  }
}
