// A small report model for the compiler's tests: fields and table slots made
// by hand, freed with the model.
#pragma once

#include "expr/compiler.h"
#include "expr/compiler_state.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

struct TestModel {
  CKmComposite m{nullptr};
  std::vector<FieldDef*> fields;

  TestModel() { InitCompiler(&m, 50000, 8000); }
  ~TestModel() {
    while (m.fieldList) m.DeleteField(m.fieldList, 2);
    for (int i = 0; i < kMaxTables; ++i) m.FreeTableSlot(static_cast<uint32_t>(i));
  }

  int AddTable(const char* alias) {
    int n = static_cast<int>(m.AddTableSlot(alias, alias, 0, 0, nullptr));
    m.tableSlots[n]->order = static_cast<uint8_t>(n);
    return n;
  }

  FieldDef* Add(const char* name, uint32_t kind, uint8_t table = kTableNone) {
    FieldDef* f = m.AddField(kind | kFieldItem);
    std::snprintf(f->name, sizeof f->name, "%s", name);
    f->table = table;
    fields.push_back(f);
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
    uint32_t n = 0;
    for (const FieldDef* g = m.fieldList; g; g = g->next, ++n)
      if (g == f) return n;
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
