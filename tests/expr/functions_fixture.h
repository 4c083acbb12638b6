// Built-in functions evaluated end to end: text compiled by the compiler,
// run by the value evaluator with every handler installed, and described by
// the type evaluator. The function table is put back after each test.
#pragma once

#include <gtest/gtest.h>
#include "expr/type_eval.h"

#include <cstring>
#include <string>
#include <vector>

#include "expr/builtin_table.h"
#include "expr/compiler.h"
#include "expr/functions_common.h"
#include "expr/value_eval.h"
#include "expr_model_fixture.h"

struct FnResult {
  int rc = -1;
  uint32_t flags = 0;
  bool logical = false;
  std::vector<uint8_t> bytes = std::vector<uint8_t>(8016, 0);
  double Number() const {
    if (logical) return bytes[0];
    double v;
    std::memcpy(&v, bytes.data(), 8);
    return v;
  }
  uint32_t U32(size_t at = 0) const {
    uint32_t v;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
  }
  double F64(size_t at) const {
    double v;
    std::memcpy(&v, bytes.data() + at, 8);
    return v;
  }
};

class FunctionsTest : public ::testing::Test {
 protected:
  TestModel t;
  BuiltinFunctionRecord saved[kBuiltinSlotCount];

  void SetUp() override {
    std::memcpy(saved, BuiltinFunctionTable, sizeof saved);
    InstallBuiltinFunctionHandlers();
  }
  void TearDown() override { std::memcpy(BuiltinFunctionTable, saved, sizeof saved); }

  FnResult Eval(const std::string& text) {
    FnResult r;
    CompileOutput out;
    uint32_t pos = 0;
    int err = CompileExpression(&t.m, text.c_str(), &pos, &out, nullptr, nullptr, 1);
    EXPECT_EQ(err, 0) << text << " at " << pos;
    if (err != 0) return r;
    int32_t prev = 0;
    r.rc = EvaluateCompiledExpression(&t.m, out.code.data(), r.bytes.data(), 0, &r.flags, &prev);
    r.logical = t.m.lastResultLogical != 0;
    return r;
  }
  double N(const std::string& text) { return Eval(text).Number(); }
  uint32_t Flags(const std::string& text) { return Eval(text).flags; }
  // The string result with pad characters shown as blanks.
  std::string S(const std::string& text) {
    FnResult r = Eval(text);
    std::string s(reinterpret_cast<const char*>(r.bytes.data()));
    for (char& c : s)
      if (static_cast<unsigned char>(c) == static_cast<unsigned char>(t.m.SpaceDotChar)) c = ' ';
    return s;
  }
  // The raw string result (pad characters kept).
  std::string Raw(const std::string& text) {
    FnResult r = Eval(text);
    return std::string(reinterpret_cast<const char*>(r.bytes.data()));
  }
  // The type evaluator's description of a calculated field with this text.
  FieldDef* Typed(const char* text) {
    FieldDef* f = t.AddCalc("CALC", text);
    EXPECT_EQ(t.lastError, 0) << text;
    if (f->code != nullptr) {
      EXPECT_EQ(InferExpressionType(&t.m, f->code, f), 0) << text;
    }
    return f;
  }
};
