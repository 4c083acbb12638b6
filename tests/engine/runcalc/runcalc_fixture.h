// A model with fields whose values the tests set directly, bound to a run
// calculation block of a run without a document (its records counted by the
// tests).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "app/run_hooks.h"
#include "engine/calc_pass.h"
#include "engine/report_run.h"
#include "engine/run_output.h"
#include "engine/summary_fields.h"
#include "expr/value_helpers.h"
#include "core/composite.h"
#include "core/fields.h"
#include "model/record_pass.h"
#include "core/row_source.h"

// Rows held by a test: the next row and a row by its number; the test's
// conversion fills the fields from rows[current].
template <typename RowT>
class TestRows : public RecordRowSource {
 public:
  std::vector<RowT> rows;
  size_t next = 0, current = 0;
  int FetchNextRow() override {
    if (next >= rows.size()) return 1;
    current = next++;
    return 0;
  }
  int FetchRow(uint32_t n) override {
    if (n == 0 || n > rows.size()) return 1;
    current = n - 1;
    next = n;
    return 0;
  }
};

class RunCalcTest : public ::testing::Test {
 protected:
  RunCalcTest() : model(nullptr) {
    // The program's links from the record pass to the totals.
    InstallRunHooks(nullptr);
    InstallRunShell(nullptr);
    calc = NewRunCalcState(&model);
    BindRunCalc(&model, calc);
    calc->run = &run;
    run.calc = calc;
    model.scanMask = kFieldNeeded;
  }
  ~RunCalcTest() override {
    for (FieldDef* f = model.fieldList; f != nullptr; f = f->next) {
      f->value = nullptr;
      f->previous = nullptr;
    }
    run.calc = nullptr;
    DeleteRunCalcState(calc);
    RemoveRunHooks();
    model.DropAttachment(AttachmentSlot::kRecordPass);
    while (model.fieldList != nullptr) model.DeleteField(model.fieldList, 2 | 4);
  }

  // A field with its own value (and previous) buffer of the given width.
  FieldDef* Field(const char* name, uint32_t kind, uint32_t width = 0) {
    FieldDef* f = model.AddField(kind | kFieldNeeded | kFieldItem);
    std::snprintf(f->name, sizeof f->name, "%s", name);
    f->width = width;
    if (kind == 0) SetDeclaredLength(f, width);
    Attach(f);
    return f;
  }
  FieldDef* Total(const char* name, FieldDef* source, uint8_t kind, uint8_t reset = kSummaryResetNever,
                  uint8_t accumulate = 253) {
    const bool extreme = kind == kSummaryMinimum || kind == kSummaryMaximum;
    FieldDef* f = model.AddField((extreme ? FieldKind(source) : kFieldNumeric) | kFieldNeeded | kFieldItem);
    std::snprintf(f->name, sizeof f->name, "%s", name);
    f->totalFlags = kTotalIsTotal;
    f->totalFunction = kind;
    f->totalReset = reset;
    f->totalLevel = accumulate;
    f->refField = model.GetFieldIndex(source);
    Attach(f);
    ResetSummary(calc, f);
    return f;
  }
  void Attach(FieldDef* f) {
    buffers.emplace_back(600, 0);
    f->value = buffers.back().data();
    buffers.emplace_back(600, 0);
    f->previous = buffers.back().data();
  }

  static void SetNumber(FieldDef* f, double v) { std::memcpy(f->value, &v, 8); }
  static void SetNull(FieldDef* f) { SetNumber(f, GetNullNumber()); }
  static void SetDay(FieldDef* f, uint32_t d) { std::memcpy(f->value, &d, 4); }
  static void SetDayTime(FieldDef* f, uint32_t d, double t) {
    std::memcpy(f->value, &d, 4);
    std::memcpy(f->value + 4, &t, 8);
  }
  static void SetText(FieldDef* f, const std::string& s) {
    std::memcpy(f->value, s.c_str(), s.size() + 1);
  }
  static double Number(const FieldDef* f, bool previous = false) {
    double v;
    std::memcpy(&v, previous ? f->previous : f->value, 8);
    return v;
  }
  static uint32_t DayOf(const FieldDef* f) {
    uint32_t d;
    std::memcpy(&d, f->value, 4);
    return d;
  }
  static double TimeOf(const FieldDef* f) {
    double t;
    std::memcpy(&t, f->value + 4, 8);
    return t;
  }
  static std::string Text(const FieldDef* f) { return reinterpret_cast<const char*>(f->value); }

  // Feeds a sequence of numbers through the total's source.
  void Feed(FieldDef* source, FieldDef* total, const std::vector<double>& values) {
    for (double v : values) {
      SetNumber(source, v);
      AddSummaryValue(calc, total);
    }
  }
  void UseCaseFoldingCollation() {
    model.compareText = [](CKmComposite*, const char* a, const char* b, int, int) { return strcasecmp(a, b); };
  }
  void UseGroups(std::initializer_list<FieldDef*> fields) {
    int i = 0;
    for (FieldDef* f : fields) {
      model.groupFields[i] = model.GetFieldIndex(f);
      calc->levels[i].field = model.groupFields[i];
      ++i;
    }
    calc->levelsUsed = i;
  }

  CKmComposite model;
  ReportRun run;  // no document: the block's questions about pages answer 0
  RunCalcState* calc = nullptr;
  std::vector<std::vector<uint8_t>> buffers;
};
