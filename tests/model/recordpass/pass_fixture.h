// Shared helpers of the record pass tests: a model with data fields fed from
// rows in memory, and a look at the work files left in the temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "expr/value_helpers.h"
#include "foundation/byte_order.h"
#include "core/composite.h"
#include "core/fields.h"
#include "model/record_pass.h"
#include "core/row_source.h"
#include "model/work_files.h"
#include "platform/win/process.h"
#include "platform/win/tempdir.h"

// One cell of a row: a number, a text or null.
struct Cell {
  bool null = false;
  double number = 0;
  std::string text;
  uint32_t day = 0;
};
inline Cell Num(double v) { Cell c; c.number = v; return c; }
inline Cell Txt(const std::string& s) { Cell c; c.text = s; return c; }
inline Cell Day(uint32_t d) { Cell c; c.day = d; return c; }
inline Cell Null() { Cell c; c.null = true; return c; }

class MemoryRows : public RecordRowSource {
 public:
  std::vector<FieldDef*> columns;
  std::vector<std::vector<Cell>> rows;
  size_t next = 0;
  size_t current = 0;
  int failAt = -1;  // 1-based row whose fetch fails
  int FetchNextRow() override {
    if (failAt >= 0 && next + 1 == static_cast<size_t>(failAt)) return -1;
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
  void ConvertFetchedRow(CKmComposite*) override {
    for (size_t i = 0; i < columns.size(); ++i) {
      FieldDef* f = columns[i];
      if (f->value == nullptr) continue;
      const Cell& c = rows[current][i];
      f->totalFlags = static_cast<uint8_t>(c.null ? (f->totalFlags | kTotalNullValue) : (f->totalFlags & ~kTotalNullValue));
      const uint32_t kind = FieldKind(f);
      if (kind & kFieldNumeric) {
        const double v = c.null ? GetNullNumber() : c.number;
        std::memcpy(f->value, &v, 8);
      } else if (kind & kFieldDate) {
        const uint32_t d = c.null ? 0x80000001u : c.day;
        std::memcpy(f->value, &d, 4);
      } else {
        const size_t n = std::min<size_t>(c.text.size(), f->width);
        std::memcpy(f->value, c.text.data(), n);
        f->value[n] = 0;
      }
    }
  }
};

class PassTest : public ::testing::Test {
 protected:
  PassTest() : model(nullptr) {}
  ~PassTest() override {
    GetRecordPassHooks() = RecordPassHooks();  // what a test answered or recorded goes with it
    model.DropAttachment(AttachmentSlot::kRecordPass);
    while (model.fieldList != nullptr) model.DeleteField(model.fieldList, 2 | 4);
  }
  FieldDef* Data(const char* name, uint32_t flags, uint32_t width = 0) {
    FieldDef* f = model.AddField(flags | kFieldNeeded | kFieldItem);
    std::snprintf(f->name, sizeof f->name, "%s", name);
    f->table = 0;
    f->width = width;
    rows.columns.push_back(f);
    return f;
  }
  RecordPassState* State() {
    RecordPassState* st = GetRecordPassState(&model);
    st->rows = &rows;
    return st;
  }
  double NumberOf(const FieldDef* f) {
    double v;
    std::memcpy(&v, f->value, 8);
    return v;
  }
  // Work files of this process still in the temporary folder.
  static std::vector<std::string> LeftoverWorkFiles() {
    std::vector<std::string> out;
    const std::string dir = PrivateTempDirectory();
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "KMW%lx.", static_cast<unsigned long>(GetCurrentProcessId()));
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return out;
    while (dirent* e = readdir(d))
      if (std::strncmp(e->d_name, prefix, std::strlen(prefix)) == 0) out.push_back(e->d_name);
    closedir(d);
    return out;
  }
  static std::vector<uint32_t> ReadPositions(const std::string& path) {
    std::vector<uint32_t> out;
    WorkFile f;
    if (!f.OpenRead(path)) return out;
    uint32_t v;
    while (f.ReadU32(&v) == 1) out.push_back(v);
    return out;
  }
  CKmComposite model;
  MemoryRows rows;
};
