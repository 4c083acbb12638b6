// The xBase index engine on 100,000-key indexes of three layouts (a dBASE
// single index, a Clipper-style index whose interior keys are keys, and a
// compact index whose leaves are decoded entry after entry): 10,000 seeks
// with a read of the key found, and a full forward scan. Goals: the seeks
// under 50 ms and a scan under 30 ms, warm.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/composite.h"
#include "data/xbase_index.h"
#include "platform/win/codepage.h"

namespace {

constexpr int kRows = 100000;
constexpr int kSeeks = 10000;

struct Fixture {
  std::string dir;
  std::vector<std::string> keys;  // names as the program sees them, blank-padded, in row order
  Fixture() {
    char tmpl[] = "/tmp/vt_xbindex_bench_XXXXXX";
    dir = mkdtemp(tmpl);
    std::string source = __FILE__;
    source = source.substr(0, source.rfind('/'));
    source = source.substr(0, source.rfind('/'));
    const std::string cmd = "python3 '" + source + "/tests/tools/make_index_fixtures.py' '" + dir + "' " +
                            std::to_string(kRows);
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cannot make the fixtures\n");
    std::ifstream in(dir + "/rows.txt");
    std::string hex, amount, record;
    while (in >> hex >> amount >> record) {
      std::string name;
      for (size_t i = 0; i + 1 < hex.size(); i += 2) name.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
      name.resize(10, ' ');
      // The file holds OEM bytes; keys are sought in the program's code page.
      OemToCharBuffA(name.c_str(), &name[0], static_cast<DWORD>(name.size()));
      keys.push_back(name);
    }
  }
  ~Fixture() { std::system(("rm -rf '" + dir + "'").c_str()); }
};

Fixture& F() {
  static Fixture f;
  return f;
}

struct OpenOne {
  CKmComposite model{nullptr};
  IndexCursor* cursor = nullptr;
  explicit OpenOne(const char* file) {
    if (OpenIndex(&model, (F().dir + "/" + file).c_str(), &cursor, nullptr)) return;
    BeginIndexUse(&model, &cursor, 1);
  }
  ~OpenOne() {
    if (cursor == nullptr) return;
    EndIndexUse(&model, &cursor, 1);
    CloseIndex(&model, cursor);
  }
};

void Seeks(benchmark::State& state, const char* file) {
  OpenOne index(file);
  if (index.cursor == nullptr) {
    state.SkipWithError("cannot open the index");
    return;
  }
  std::mt19937 rng(7);
  std::vector<const std::string*> wanted;
  for (int i = 0; i < kSeeks; ++i) wanted.push_back(&F().keys[rng() % F().keys.size()]);
  uint8_t key[kIndexKeyBuffer];
  uint32_t record = 0;
  int found = 0;
  for (auto _ : state) {
    for (const std::string* w : wanted) {
      found += SeekKey(&index.model, index.cursor, w->data(), &record) == kIndexKeyFound;
      GetCurrentKey(&index.model, index.cursor, key, &record);
    }
  }
  if (found != kSeeks * static_cast<int>(state.iterations())) state.SkipWithError("a key was not found");
}

void Scan(benchmark::State& state, const char* file) {
  OpenOne index(file);
  if (index.cursor == nullptr) {
    state.SkipWithError("cannot open the index");
    return;
  }
  uint8_t key[kIndexKeyBuffer];
  uint32_t record = 0;
  for (auto _ : state) {
    // From the top again: a seek below every key.
    const std::string low(10, ' ');
    SeekKey(&index.model, index.cursor, low.data(), &record);
    int n = 1;
    while (NextKey(&index.model, index.cursor, key, &record) == kIndexKeyFound) ++n;
    if (n != kRows) state.SkipWithError("the scan missed keys");
  }
}

BENCHMARK_CAPTURE(Seeks, dbase, "chars0.ndx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Seeks, interior_keys, "chars.ntx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Seeks, compact, "chars5.idx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Scan, dbase, "chars0.ndx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Scan, interior_keys, "chars.ntx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Scan, compact, "chars5.idx")->Unit(benchmark::kMillisecond);

}  // namespace
