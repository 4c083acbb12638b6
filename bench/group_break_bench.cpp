// The group break over 1,000,000 records as the record pass meets them
// (sorted, so groups are runs): one level and three levels, on text keys
// (customer names of 18 characters, longer than a string keeps without the
// heap) and on number keys. Reports records per second of the thread's CPU
// time (the machine may be shared) and the heap allocations per record the
// break makes (operator new counted while it runs).
#include <benchmark/benchmark.h>

#include <atomic>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core/composite.h"
#include "core/fields.h"
#include "engine/calc_pass.h"
#include "engine/summary_fields.h"
#include "model/record_pass.h"

namespace {
std::atomic<uint64_t> g_allocations{0};
}  // namespace

// The counting allocator hands out malloc's blocks, so its delete frees them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

constexpr uint32_t kRecords = 1000000;
// Records per group of each level, outermost first: 40 lines an order,
// 5 orders a day, 10 days a customer (as on a sorted order-lines report).
constexpr uint32_t kRunLength[3] = {2000, 200, 40};

void RunBreaks(benchmark::State& state, bool text, int levels) {
  for (auto _ : state) {
    CKmComposite m(nullptr);
    std::vector<std::vector<uint8_t>> buffers;
    FieldDef* fields[3] = {};
    for (int i = 0; i < levels; ++i) {
      FieldDef* f = m.AddField((text ? 0u : kFieldNumeric) | kFieldNeeded | kFieldItem);
      std::snprintf(f->name, sizeof f->name, "KEY%d", i);
      if (text) {
        f->width = 40;
        SetDeclaredLength(f, 40);
      }
      buffers.emplace_back(64, 0);
      f->value = buffers.back().data();
      fields[i] = f;
      m.groupFields[i] = m.GetFieldIndex(f);
    }
    RunCalcState* calc = NewRunCalcState(&m);
    for (int i = 0; i < levels; ++i) calc->levels[i].field = m.groupFields[i];
    calc->levelsUsed = levels;
    ResetGroupBreaks(calc, 0);
    m.passPhase = kPhaseReportRun;
    GetRecordPassState(&m);  // made once a run, before its first record

    // The texts are made before the clock starts: the break is what is timed.
    std::vector<std::string> names;
    if (text)
      for (uint32_t g = 0; g <= kRecords / kRunLength[2]; ++g) {
        char name[32];
        std::snprintf(name, sizeof name, "Customer no. %05u", g);
        names.emplace_back(name);
      }
    uint32_t breaks = 0;
    const uint64_t allocationsBefore = g_allocations.load();
    const double t0 = ThreadSeconds();
    for (uint32_t r = 0; r < kRecords; ++r) {
      for (int i = 0; i < levels; ++i) {
        const uint32_t group = r / kRunLength[3 - levels + i];
        if (text) {
          std::memcpy(fields[i]->value, names[group].c_str(), names[group].size() + 1);
        } else {
          const double v = group;
          std::memcpy(fields[i]->value, &v, 8);
        }
      }
      if (DetectGroupBreak(calc)) ++breaks;
    }
    const double s = ThreadSeconds() - t0;
    const uint64_t allocations = g_allocations.load() - allocationsBefore;
    state.SetIterationTime(s);
    state.counters["records_per_s"] = kRecords / s;
    state.counters["allocs_per_record"] = static_cast<double>(allocations) / kRecords;
    state.counters["breaks"] = breaks;

    DeleteRunCalcState(calc);
    for (FieldDef* f = m.fieldList; f != nullptr; f = f->next) f->value = nullptr;
    m.DropAttachment(AttachmentSlot::kRecordPass);
    while (m.fieldList != nullptr) m.DeleteField(m.fieldList, 2 | 4);
  }
}

void BM_GroupBreakTextOneLevel(benchmark::State& state) { RunBreaks(state, true, 1); }
void BM_GroupBreakTextThreeLevels(benchmark::State& state) { RunBreaks(state, true, 3); }
void BM_GroupBreakNumberOneLevel(benchmark::State& state) { RunBreaks(state, false, 1); }
void BM_GroupBreakNumberThreeLevels(benchmark::State& state) { RunBreaks(state, false, 3); }

}  // namespace

BENCHMARK(BM_GroupBreakTextOneLevel)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroupBreakTextThreeLevels)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroupBreakNumberOneLevel)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroupBreakNumberThreeLevels)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
