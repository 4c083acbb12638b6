// Making a calculated field from an expression text.
#include <cstdio>
#include "model/field_dependencies.h"
#include <cstring>

#include "expr/compiler.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"

FieldDef* CKmComposite::CompileField(const char* name, const char* text, bool otherList, FieldDef* listHead) {
  if (text == nullptr) text = "";
  compileWord = 1;
  FieldDef* f = AddField(kFieldCalculation | kFieldItem);
  if (f == nullptr) return nullptr;
  std::snprintf(f->name, sizeof f->name, "%s", name != nullptr ? name : "");

  // The compiler sees the other list in place of the model's own.
  FieldDef* const ownList = fieldList;
  const uint32_t ownCount = fieldCount;
  if (otherList) {
    FreeFieldIndex();
    fieldList = listHead;
    fieldCount = 0;
    for (FieldDef* g = listHead; g != nullptr; g = g->next) ++fieldCount;
  }
  uint32_t position = 0;
  CompileOutput out;
  const int rc = CompileExpression(this, text, &position, &out, f, nullptr, 1);
  if (otherList) {
    FreeFieldIndex();
    fieldList = ownList;
    fieldCount = ownCount;
  }
  if (rc != 0 && !otherList) {
    DeleteField(f, 2 | 4);
    return nullptr;
  }

  const size_t length = std::strlen(text);
  f->exprText = static_cast<char*>(
      HeapAllocZero(0, static_cast<DWORD>(length + compileExtraLength1 + compileExtraLength2 + 1)));
  if (f->exprText == nullptr) {
    DeleteField(f, 2 | 4);
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
    DeleteField(f, 2 | 4);
    return nullptr;
  }
  std::memcpy(f->code, out.code.data(), out.code.size());
  f->codeLength = static_cast<uint32_t>(out.code.size());
  f->flags = (out.typeFlags & kFieldKindMask) | kFieldCalculation | kFieldItem | kFieldNeeded;
  InferExpressionType(f->code, f);
  ComputeTableOrder();
  if (translateToSql != nullptr) f->sqlText = translateToSql(this, f);
  if (otherList) f->table = out.tableLevel;
  else PropagateFieldDependencies(this);
  return f;
}
