// A small report model for the compiler's tests: fields and table slots made
// by hand, freed with the model.
#pragma once

#include "expr/compiler.h"
#include "expr/compiler_state.h"
#include "foundation/heap_strings.h"
#include "model/composite.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

struct TestModel {
  CKmComposite m{nullptr};
  std::vector<FieldDef*> fields;
  std::vector<TableSlot*> slots;

  TestModel() { InitCompiler(&m, 50000, 8000); }
  ~TestModel() {
    for (FieldDef* f : fields) {
      HeapFreeBlock(f->code);
      HeapFreeBlock(f->conditionCode);
      HeapFreeBlock(f->exprText);
      HeapFreeBlock(f->conditionText);
      delete f;
    }
    for (TableSlot* t : slots) delete t;
    FreeCompiler(&m);
  }

  int AddTable(const char* alias) {
    auto* t = new TableSlot;
    std::snprintf(t->alias, sizeof t->alias, "%s", alias);
    int n = static_cast<int>(slots.size());
    t->order = static_cast<uint8_t>(n);
    m.tableSlots[n] = t;
    slots.push_back(t);
    return n;
  }

  FieldDef* Add(const char* name, uint32_t kind, uint8_t table = kTableNone) {
    auto* f = new FieldDef;
    std::snprintf(f->name, sizeof f->name, "%s", name);
    f->flags = kind | kFieldItem;
    f->table = table;
    if (fields.empty()) m.fieldList = f;
    else fields.back()->next = f;
    fields.push_back(f);
    m.fieldCount = static_cast<uint32_t>(fields.size());
    return f;
  }

  static char* HeapText(const char* s) {
    char* p = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(std::strlen(s) + 1)));
    std::memcpy(p, s, std::strlen(s) + 1);
    return p;
  }

  // A calculated field compiled from text; the compile error stays in lastError.
  FieldDef* AddCalc(const char* name, const char* text) {
    FieldDef* f = Add(name, kFieldCalculation);
    f->exprText = HeapText(text);
    uint32_t pos = 0;
    lastError = CompileFieldText(&m, f, &pos);
    return f;
  }
  int lastError = 0;

  uint32_t Number(const FieldDef* f) const {
    for (size_t i = 0; i < fields.size(); ++i)
      if (fields[i] == f) return static_cast<uint32_t>(i);
    return kNoField;
  }

  // Compiles a plain expression; returns the error and its position.
  int Compile(const char* text, std::vector<uint8_t>* code = nullptr, uint32_t* pos = nullptr,
              CompileOutput* outp = nullptr) {
    CompileOutput out;
    uint32_t p = 0;
    int err = CompileExpression(&m, text, &p, &out, nullptr, nullptr, 1);
    if (code) *code = out.code;
    if (pos) *pos = p;
    if (outp) *outp = out;
    return err;
  }
};
