// 1,000,000 FormatFieldValue calls per style (fixed, thousands, currency,
// general, a date style) beside snprintf with hand-made digit grouping.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "expr/value_format.h"
#include "core/fields.h"

namespace {

constexpr int kCalls = 1000000;

const std::vector<double>& Values() {
  static std::vector<double> v = [] {
    std::vector<double> out(kCalls);
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (double& d : out) {
      x ^= x << 13, x ^= x >> 7, x ^= x << 17;
      d = static_cast<double>(x % 200000000) / 100.0 - 1000000.0;
    }
    return out;
  }();
  return v;
}

void RunStyle(benchmark::State& state, uint32_t flags, uint32_t code, uint32_t width, uint8_t decimals) {
  FormatSettings doc;
  FieldDef f;
  f.flags = flags;
  f.formatCode = code;
  f.displayWidth = width;
  f.displayDecimals = decimals;
  const std::vector<double>& values = Values();
  char buf[600];
  size_t total = 0;
  for (auto _ : state) {
    for (int i = 0; i < kCalls; ++i) {
      if (flags == kFieldDate) {
        uint32_t day = static_cast<uint32_t>(i % 292000);
        total += static_cast<size_t>(FormatFieldValue(doc, &f, buf, &day, -1, kOutputText, nullptr));
      } else {
        total += static_cast<size_t>(FormatFieldValue(doc, &f, buf, &values[i], -1, kOutputText, nullptr));
      }
    }
  }
  benchmark::DoNotOptimize(total);
  state.counters["ns_per_call"] =
      benchmark::Counter(static_cast<double>(kCalls) * state.iterations(),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void RunSnprintf(benchmark::State& state) {
  const std::vector<double>& values = Values();
  char buf[64];
  size_t total = 0;
  for (auto _ : state) {
    for (int i = 0; i < kCalls; ++i) {
      int n = std::snprintf(buf, sizeof buf, "%.2f", values[i] < 0 ? -values[i] : values[i]);
      std::string s(buf, static_cast<size_t>(n));
      for (size_t p = s.find('.'); p > 3;) s.insert(p -= 3, 1, ',');
      total += s.size();
    }
  }
  benchmark::DoNotOptimize(total);
  state.counters["ns_per_call"] =
      benchmark::Counter(static_cast<double>(kCalls) * state.iterations(),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK_CAPTURE(RunStyle, fixed, kFieldNumeric, 5u, 12u, 2)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunStyle, thousands, kFieldNumeric, 7u, 12u, 2)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunStyle, currency, kFieldNumeric, 6u, 12u, 2)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunStyle, general, kFieldNumeric, 2u, 10u, 0)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunStyle, date, kFieldDate, 0x1010u, 10u, 0)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(RunSnprintf)->Iterations(1)->Unit(benchmark::kMillisecond);
