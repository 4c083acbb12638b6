// Making a calculated field from an expression text.
#include <cstdio>
#include "model/field_dependencies.h"
#include <cstring>

#include "expr/compiler.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "expr/type_eval.h"
#include "model/field_compile.h"

FieldDef* CompileField(CKmComposite* m, const char* name, const char* text, bool otherList, FieldDef* listHead) {
  if (text == nullptr) text = "";
  m->compileWord = 1;
  FieldDef* f = m->AddField(kFieldCalculation | kFieldItem);
  if (f == nullptr) return nullptr;
  std::snprintf(f->name, sizeof f->name, "%s", name != nullptr ? name : "");

  // The compiler sees the other list in place of the model's own.
  FieldDef* const ownList = m->fieldList;
  const uint32_t ownCount = m->fieldCount;
  if (otherList) {
    m->FreeFieldIndex();
    m->fieldList = listHead;
    m->fieldCount = 0;
    for (FieldDef* g = listHead; g != nullptr; g = g->next) ++m->fieldCount;
  }
  uint32_t position = 0;
  CompileOutput out;
  const int rc = CompileExpression(m, text, &position, &out, f, nullptr, 1);
  if (otherList) {
    m->FreeFieldIndex();
    m->fieldList = ownList;
    m->fieldCount = ownCount;
  }
  if (rc != 0 && !otherList) {
    m->DeleteField(f, 2 | 4);
    return nullptr;
  }

  const size_t length = std::strlen(text);
  f->exprText = static_cast<char*>(
      HeapAllocZero(0, static_cast<DWORD>(length + m->compileExtraLength1 + m->compileExtraLength2 + 1)));
  if (f->exprText == nullptr) {
    m->DeleteField(f, 2 | 4);
    return nullptr;
  }
  std::memcpy(f->exprText, text, length + 1);

  if (rc != 0) {
    f->flags = kFieldCalculation | kFieldItem;
    f->table = 0;
    return f;
  }
  f->code = static_cast<uint8_t*>(HeapAllocZero(0, static_cast<DWORD>(out.code.size())));
  if (f->code == nullptr) {
    m->DeleteField(f, 2 | 4);
    return nullptr;
  }
  std::memcpy(f->code, out.code.data(), out.code.size());
  f->codeLength = static_cast<uint32_t>(out.code.size());
  f->flags = (out.typeFlags & kFieldKindMask) | kFieldCalculation | kFieldItem | kFieldNeeded;
  InferExpressionType(m, f->code, f);
  m->ComputeTableOrder();
  if (m->translateToSql != nullptr) f->sqlText = m->translateToSql(m, f);
  if (otherList) f->table = out.tableLevel;
  else PropagateFieldDependencies(m);
  return f;
}
