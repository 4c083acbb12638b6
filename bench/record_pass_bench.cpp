// A record pass over 1,000,000 rows from memory (a number and a text column)
// with the filter AMOUNT >= 100 and (REGION = 'East' or REGION = 'West') and
// two calculated fields, beside the same pass with neither (fetch and
// conversion only), so the model's own cost per record shows.
#include <benchmark/benchmark.h>
#include "model/field_compile.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/composite.h"
#include "core/engine_errors.h"
#include "model/field_dependencies.h"
#include "core/fields.h"
#include "model/record_filter.h"
#include "model/record_pass.h"

namespace {

constexpr uint32_t kRows = 1000000;
const char* const kRegions[] = {"East", "West", "North", "South"};

class Rows : public RecordRowSource {
 public:
  FieldDef* amount = nullptr;
  FieldDef* region = nullptr;
  uint32_t next = 0, current = 0;
  int FetchNextRow() override {
    if (next >= kRows) return 1;
    current = next++;
    return 0;
  }
  int FetchRow(uint32_t n) override {
    if (n == 0 || n > kRows) return 1;
    current = n - 1;
    next = n;
    return 0;
  }
  void ConvertFetchedRow(CKmComposite*) override {
    const double v = static_cast<double>((current * 37u) % 250u);
    std::memcpy(amount->value, &v, 8);
    const char* r = kRegions[current % 4];
    std::memcpy(region->value, r, std::strlen(r) + 1);
  }
};

void SetFilter(CKmComposite& m) {
  std::vector<uint8_t> c;
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) c.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto text = [&](const char* s) {
    c.push_back(kCondText);
    c.insert(c.end(), s, s + std::strlen(s) + 1);
  };
  const double hundred = 100;
  c.push_back(kCondField), u32(0), c.push_back(kCondGreaterEqual), c.push_back(kCondNumber);
  c.insert(c.end(), reinterpret_cast<const uint8_t*>(&hundred), reinterpret_cast<const uint8_t*>(&hundred) + 8);
  c.push_back(kCondEndMark), c.push_back(kCondAnd), c.push_back(kCondOpen);
  c.push_back(kCondField), u32(1), c.push_back(kCondEqual), text("East"), c.push_back(kCondEndMark);
  c.push_back(kCondOr);
  c.push_back(kCondField), u32(1), c.push_back(kCondEqual), text("West"), c.push_back(kCondEndMark);
  c.push_back(kCondClose), c.push_back(0);
  m.conditionCode = static_cast<uint8_t*>(std::malloc(c.size()));
  std::memcpy(m.conditionCode, c.data(), c.size());
  m.conditionLength = static_cast<uint16_t>(c.size());
  RebuildConditionCode(&m);
}

void RunPass(benchmark::State& state, bool full) {
  for (auto _ : state) {
    CKmComposite m(nullptr);
    Rows rows;
    rows.amount = m.AddField(kFieldNumeric | kFieldNeeded | kFieldItem);
    std::strcpy(rows.amount->name, "AMOUNT");
    rows.amount->table = 0;
    rows.region = m.AddField(kFieldNeeded | kFieldItem);
    std::strcpy(rows.region->name, "REGION");
    rows.region->table = 0;
    rows.region->width = 10;
    if (full) {
      CompileField(&m, "TWICE", "AMOUNT * 2", false, nullptr)->flags |= kFieldNeeded;
      CompileField(&m, "NEXT", "AMOUNT + 1", false, nullptr)->flags |= kFieldNeeded;
      SetFilter(m);
    }
    PropagateFieldDependencies(&m);
    RecordPassState* st = GetRecordPassState(&m);
    st->rows = &rows;
    st->filterOn = full ? 1 : 0;
    OpenScan(&m);
    m.passPhase = kPhaseReportRun;
    uint32_t accepted = 0;
    const auto t0 = std::chrono::steady_clock::now();
    while (RunRecordPass(&m, nullptr) == 0) ++accepted;
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.SetIterationTime(s);
    state.counters["accepted"] = accepted;
    state.counters["ns_per_row"] = s * 1e9 / kRows;
    FreeFilterCode(&m);
    std::free(m.conditionCode);
    m.conditionCode = nullptr;
    m.DropAttachment(AttachmentSlot::kRecordPass);
    while (m.fieldList != nullptr) m.DeleteField(m.fieldList, 2 | 4);
  }
}

void BM_PassFetchOnly(benchmark::State& state) { RunPass(state, false); }
void BM_PassFilterAndTwoCalculations(benchmark::State& state) { RunPass(state, true); }

}  // namespace

BENCHMARK(BM_PassFetchOnly)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PassFilterAndTwoCalculations)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
