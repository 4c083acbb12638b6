// Compiler speed: a corpus of 1,000 expressions of 40 to 200 characters over
// 200 data fields, compiled as plain expressions and as fields (with the type
// tries), and a "report open" that compiles 300 calculated fields over 200
// data fields and orders them. Items per second are expressions compiled.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "expr/compiler.h"
#include "expr/compiler_state.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "model/field_dependencies.h"

namespace {

struct BenchModel {
  CKmComposite m{nullptr};
  BenchModel() {
    InitCompiler(&m, 50000, 8000);
    int slot = static_cast<int>(m.AddTableSlot("DATA", "DATA", 0, 0, nullptr));
    for (int i = 0; i < 200; ++i) {
      uint32_t kind = i % 4 == 0 ? 0u : i % 4 == 1 ? kFieldDate : kFieldNumeric;
      FieldDef* f = m.AddField(kind | kFieldItem);
      std::snprintf(f->name, sizeof f->name, "%s%d", kind == 0 ? "S" : kind == kFieldDate ? "D" : "N", i);
      f->table = static_cast<uint8_t>(slot);
    }
  }
  ~BenchModel() {
    while (m.fieldList) m.DeleteField(m.fieldList, 2);
    for (int i = 0; i < kMaxTables; ++i) m.FreeTableSlot(static_cast<uint32_t>(i));
  }
};

std::string Name(std::mt19937& rng, char kind) {
  int base = kind == 'S' ? 0 : kind == 'D' ? 1 : 2;
  return std::string(1, kind) + std::to_string(base + 4 * static_cast<int>(rng() % 50));
}

std::string NumberTerm(std::mt19937& rng, int depth) {
  switch (depth > 3 ? rng() % 2 : rng() % 7) {
    case 0: return Name(rng, 'N');
    case 1: return std::to_string(rng() % 1000) + "." + std::to_string(rng() % 100);
    case 2: return "(" + NumberTerm(rng, depth + 1) + " * " + NumberTerm(rng, depth + 1) + ")";
    case 3: return "LEN(TRIM(" + Name(rng, 'S') + "))";
    case 4: return "IIF(" + Name(rng, 'N') + " > 10, " + NumberTerm(rng, depth + 1) + ", 0)";
    case 5: return "(" + Name(rng, 'D') + " - {12/31/1999})";
    default: return "ROUND(" + NumberTerm(rng, depth + 1) + " / 3, 2)";
  }
}

std::vector<std::string> Corpus(size_t n) {
  std::mt19937 rng(42);
  std::vector<std::string> out;
  while (out.size() < n) {
    std::string s;
    switch (rng() % 3) {
      case 0:
        s = NumberTerm(rng, 0);
        while (s.size() < 40) s += " + " + NumberTerm(rng, 1);
        break;
      case 1:
        s = "UPPER(SUBSTR(" + Name(rng, 'S') + ", 1, 3)) + '-' + TRIM(" + Name(rng, 'S') + ")";
        break;
      default:
        s = "CASE(" + Name(rng, 'N') + ", 1, 'one', 2, 'two', 'many') + DTOC(" + Name(rng, 'D') + " + 30)";
        break;
    }
    if (s.size() <= 200) out.push_back(s);
  }
  return out;
}

void BM_CompilePlain(benchmark::State& state) {
  BenchModel b;
  std::vector<std::string> corpus = Corpus(1000);
  size_t failures = 0;
  for (auto _ : state) {
    for (const std::string& s : corpus) {
      CompileOutput out;
      uint32_t pos = 0;
      failures += CompileExpression(&b.m, s.c_str(), &pos, &out, nullptr, nullptr, 1) != 0;
      benchmark::DoNotOptimize(out.code.data());
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 1000);
  state.counters["failures"] = static_cast<double>(failures);
}
BENCHMARK(BM_CompilePlain)->Unit(benchmark::kMillisecond);

void BM_CompileAsField(benchmark::State& state) {
  BenchModel b;
  std::vector<std::string> corpus = Corpus(1000);
  FieldDef* f = b.m.AddField(kFieldCalculation);
  std::snprintf(f->name, sizeof f->name, "CALC");
  for (auto _ : state) {
    for (const std::string& s : corpus) {
      CompileOutput out;
      uint32_t pos = 0;
      CompileExpression(&b.m, s.c_str(), &pos, &out, f, nullptr, 1);
      benchmark::DoNotOptimize(out.code.data());
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 1000);
}
BENCHMARK(BM_CompileAsField)->Unit(benchmark::kMillisecond);

// 300 calculated fields over the 200 data fields, each later one free to use
// earlier calculations; all compiled and then ordered.
void BM_ReportOpen(benchmark::State& state) {
  std::vector<std::string> corpus = Corpus(300);
  for (auto _ : state) {
    state.PauseTiming();
    BenchModel b;
    std::vector<FieldDef*> calcs;
    std::mt19937 rng(7);
    std::vector<int> numeric;
    for (int i = 0; i < 300; ++i) {
      FieldDef* f = b.m.AddField(kFieldCalculation | kFieldItem);
      std::snprintf(f->name, sizeof f->name, "C%d", i);
      std::string text = corpus[i];
      bool isNumber = corpus[i].find("CASE") == std::string::npos && corpus[i].find("UPPER") == std::string::npos;
      if (isNumber && !numeric.empty())
        text = "C" + std::to_string(numeric[rng() % numeric.size()]) + " * 0 + " + text;
      if (isNumber) numeric.push_back(i);
      f->exprText = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(text.size() + 1)));
      std::snprintf(f->exprText, text.size() + 1, "%s", text.c_str());
      calcs.push_back(f);
    }
    state.ResumeTiming();
    int errors = 0;
    for (FieldDef* f : calcs) errors += CompileFieldText(&b.m, f, nullptr) != 0;
    FieldDef* unordered = PropagateFieldDependencies(&b.m);
    benchmark::DoNotOptimize(unordered);
    state.counters["errors"] = errors;
  }
}
BENCHMARK(BM_ReportOpen)->Unit(benchmark::kMillisecond);

}  // namespace
