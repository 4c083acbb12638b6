#include "core/field_references.h"

#include "core/compiled_code.h"
#include "core/composite.h"
#include "foundation/heap_strings.h"

namespace {

// Code read back with no length kept is walked up to its end opcode.
size_t CodeLength(const uint8_t* code, uint32_t length) {
  return length != 0 ? length : CompiledCodeLength(code, 1u << 20);
}

// Calls fn(operand offset, field number) for every field reference
// (opcodes 10 and 33) of one piece of code.
template <typename Fn>
void ForEachReference(const uint8_t* code, size_t length, Fn fn) {
  if (code == nullptr) return;
  CodeReader reader(code, length);
  Instruction in;
  while (reader.Next(&in) && in.op != OP_END)
    if (in.op == OP_FIELD || in.op == OP_FIELD_PREV) fn(in.offset + 1, in.u32);
}

}  // namespace

bool ExpressionReferencesField(const uint8_t* code, size_t length, uint32_t n) {
  bool found = false;
  ForEachReference(code, length, [&](size_t, uint32_t k) { found = found || k == n; });
  return found;
}

void RenumberFieldReferences(CKmComposite* m, uint32_t n) {
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (f->flags & kFieldAlias) continue;
    for (const bool condition : {false, true}) {
      uint8_t*& code = condition ? f->conditionCode : f->code;
      uint32_t& length = condition ? f->conditionLength : f->codeLength;
      if (code == nullptr) continue;
      const size_t len = CodeLength(code, length);
      if (ExpressionReferencesField(code, len, n)) {
        // The reference is gone: the field must be compiled again from its text.
        HeapFreeBlock(code);
        code = nullptr;
        length = 0;
        continue;
      }
      ForEachReference(code, len, [&](size_t at, uint32_t k) {
        if (k > n && k != kNoField) PutU32(code + at, k - 1);
      });
    }
  }
}

void ReplaceFieldReference(CKmComposite* m, uint32_t oldNumber, uint32_t newNumber) {
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (f->flags & kFieldAlias) continue;
    for (uint8_t* code : {f->code, f->conditionCode})
      ForEachReference(code, CodeLength(code, code == f->code ? f->codeLength : f->conditionLength),
                       [&](size_t at, uint32_t k) {
                         if (k == oldNumber) PutU32(code + at, newNumber);
                       });
  }
}
