// Shared set-up for the evaluator tests: a model with a few fields holding
// values, code built with CodeWriter, and handlers installed for one test and
// put back afterwards (other tests in this program install their own).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "expr/builtin_table.h"
#include "core/compiled_code.h"
#include "expr/value_eval.h"
#include "core/composite.h"

class HandlerGuard {
 public:
  HandlerGuard(uint32_t slot, BuiltinEvalFn eval, BuiltinTypeFn type = nullptr)
      : slot_(slot), saved_(BuiltinFunctionTable[slot]) {
    BuiltinFunctionTable[slot].evaluate = eval;
    if (type != nullptr) BuiltinFunctionTable[slot].inferType = type;
  }
  ~HandlerGuard() { BuiltinFunctionTable[slot_] = saved_; }

 private:
  uint32_t slot_;
  BuiltinFunctionRecord saved_;
};

struct EvalResult {
  int32_t rc = -1;
  uint32_t flags = 0;
  int32_t prevLong = 0;
  uint8_t bytes[8016] = {};
  double number() const {
    double v;
    std::memcpy(&v, bytes, 8);
    return v;
  }
  uint32_t u32(size_t at = 0) const {
    uint32_t v;
    std::memcpy(&v, bytes + at, 4);
    return v;
  }
  double f64(size_t at) const {
    double v;
    std::memcpy(&v, bytes + at, 8);
    return v;
  }
  std::string text() const { return reinterpret_cast<const char*>(bytes); }
};

class EvalTest : public ::testing::Test {
 protected:
  EvalTest() : model(nullptr) {}
  // The model leaves its fields to the document; the test is the document here.
  ~EvalTest() override {
    while (model.fieldList != nullptr) model.DeleteField(model.fieldList, 2 | 4);
  }

  // A field with its own value buffer (current and previous halves).
  FieldDef* AddValueField(const char* name, uint32_t flags, uint32_t width = 0) {
    FieldDef* f = model.AddField(flags);
    std::snprintf(f->name, sizeof f->name, "%s", name);
    f->width = width;
    f->table = 0;
    buffers.emplace_back(2 * 1200, 0);
    f->value = buffers.back().data();
    f->previous = f->value + 1200;
    return f;
  }

  EvalResult Run(const CodeWriter& w, uint32_t size = 0) {
    EvalResult r;
    std::vector<uint8_t> code = w.bytes();
    r.rc = EvaluateCompiledExpression(&model, code.data(), r.bytes, size, &r.flags, &r.prevLong);
    return r;
  }

  CKmComposite model;
  std::vector<std::vector<uint8_t>> buffers;
};
