// Sorting 1,000,000 records on two keys (a 20-character text ascending, a
// number descending) through the external sort with the default 512 KiB pool
// and with a 64 MiB pool, beside GNU sort on the same data written as text
// lines (same memory limit, stable), SQLite's ORDER BY (loaded with dlopen)
// and std::stable_sort of the same key records in memory. Prints each time
// and the ratio to GNU sort (goal: within 1.5x).
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "model/external_sort.h"
#include "foundation/byte_order.h"
#include "core/engine_errors.h"
#include "core/fields.h"

namespace {

constexpr size_t kRecords = 1000000;

struct Data {
  std::vector<std::string> text;
  std::vector<double> number;
  Data() {
    std::mt19937_64 rng(42);
    text.reserve(kRecords);
    number.reserve(kRecords);
    for (size_t i = 0; i < kRecords; ++i) {
      std::string t(20, ' ');
      for (char& c : t) c = static_cast<char>('a' + rng() % 26);
      t[0] = static_cast<char>('a' + rng() % 4);  // many shared prefixes
      text.push_back(t);
      number.push_back(static_cast<double>(rng() % 100000) / 100.0);
    }
  }
};

Data& TheData() {
  static Data d;
  return d;
}

struct Feed {
  const Data* data;
  size_t next = 0, current = 0;
  uint64_t checksum = 0;
  size_t count = 0;
};

int Next(SortContext& ctx) {
  Feed* f = static_cast<Feed*>(ctx.user);
  if (f->next >= kRecords) return kEngineEndOfData;
  f->current = f->next++;
  return 0;
}

int Key(SortContext& ctx, uint8_t* area, uint32_t room) {
  Feed* f = static_cast<Feed*>(ctx.user);
  if (room < ctx.keyOffset) return 1;
  uint32_t pos = ctx.keyOffset;
  const std::string& t = f->data->text[f->current];
  uint32_t n = PutTextKey(area + pos, room - pos, kSortKeyPresent, t.data(), t.size(), 183);
  if (n == 0) return 1;
  pos += n;
  n = PutNumberKey(area + pos, room - pos, kSortKeyPresent, f->data->number[f->current]);
  if (n == 0) return 1;
  pos += n;
  PutU32(area, pos);
  PutU32(area + 8, static_cast<uint32_t>(f->current));
  if (pos > ctx.longest) ctx.longest = pos;
  return 0;
}

int Output(SortContext& ctx, WorkFile& file, const uint8_t* record) {
  Feed* f = static_cast<Feed*>(ctx.user);
  f->checksum = f->checksum * 31 + GetU32(record + 8);
  ++f->count;
  return file.Write(record + 8, 4) ? 0 : 1;
}

double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double g_gnuSeconds = 0;

double RunOurs(uint32_t pool, uint32_t* runs) {
  Feed feed{&TheData()};
  SortContext ctx;
  ctx.user = &feed;
  ctx.poolSize = pool;
  ctx.caseCombined = 0;  // byte order, as GNU sort under LC_ALL=C
  FieldDef text, number;
  number.flags = kFieldNumeric;
  FieldDef* keys[3] = {&text, &number, nullptr};
  const uint32_t asc[2] = {1, 0};
  std::string name;
  const auto t0 = std::chrono::steady_clock::now();
  const int r = RunExternalSort(ctx, keys, asc, &name, nullptr, nullptr, Next, Output, Key, 1, "SO#", 3);
  const double s = Seconds(t0);
  RemoveWorkFile(name);
  if (r != 0 || feed.count != kRecords) std::fprintf(stderr, "sort failed\n");
  *runs = ctx.runsWritten;
  return s;
}

void BM_ExternalSortDefaultPool(benchmark::State& state) {
  for (auto _ : state) {
    uint32_t runs = 0;
    const double s = RunOurs(0, &runs);
    state.SetIterationTime(s);
    state.counters["runs"] = runs;
    if (g_gnuSeconds > 0) state.counters["x_gnu_sort"] = s / g_gnuSeconds;
  }
}

void BM_ExternalSortLargePool(benchmark::State& state) {
  for (auto _ : state) {
    uint32_t runs = 0;
    const double s = RunOurs(64u << 20, &runs);
    state.SetIterationTime(s);
    state.counters["runs"] = runs;
  }
}

void BM_GnuSort(benchmark::State& state) {
  char dir[] = "/tmp/vt_sort_bench_XXXXXX";
  if (mkdtemp(dir) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string in = std::string(dir) + "/in.txt", out = std::string(dir) + "/out.txt";
  {
    FILE* f = std::fopen(in.c_str(), "w");
    const Data& d = TheData();
    for (size_t i = 0; i < kRecords; ++i) std::fprintf(f, "%s\t%.2f\n", d.text[i].c_str(), d.number[i]);
    std::fclose(f);
  }
  const std::string cmd = "LC_ALL=C sort -s -S 512K -t '\t' -k1,1 -k2,2gr " + in + " -o " + out;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("sort failed");
    g_gnuSeconds = Seconds(t0);
    state.SetIterationTime(g_gnuSeconds);
  }
  std::remove(in.c_str());
  std::remove(out.c_str());
  rmdir(dir);
}

// The few SQLite entry points used, loaded at run time.
struct Sqlite {
  void* lib = nullptr;
  int (*open)(const char*, void**) = nullptr;
  int (*close)(void*) = nullptr;
  int (*exec)(void*, const char*, void*, void*, char**) = nullptr;
  int (*prepare)(void*, const char*, int, void**, const char**) = nullptr;
  int (*step)(void*) = nullptr;
  int (*finalize)(void*) = nullptr;
  int (*reset)(void*) = nullptr;
  int (*bindText)(void*, int, const char*, int, void (*)(void*)) = nullptr;
  int (*bindDouble)(void*, int, double) = nullptr;
  Sqlite() {
    lib = dlopen("libsqlite3.so.0", RTLD_NOW);
    if (!lib) return;
    open = reinterpret_cast<decltype(open)>(dlsym(lib, "sqlite3_open"));
    close = reinterpret_cast<decltype(close)>(dlsym(lib, "sqlite3_close"));
    exec = reinterpret_cast<decltype(exec)>(dlsym(lib, "sqlite3_exec"));
    prepare = reinterpret_cast<decltype(prepare)>(dlsym(lib, "sqlite3_prepare_v2"));
    step = reinterpret_cast<decltype(step)>(dlsym(lib, "sqlite3_step"));
    finalize = reinterpret_cast<decltype(finalize)>(dlsym(lib, "sqlite3_finalize"));
    reset = reinterpret_cast<decltype(reset)>(dlsym(lib, "sqlite3_reset"));
    bindText = reinterpret_cast<decltype(bindText)>(dlsym(lib, "sqlite3_bind_text"));
    bindDouble = reinterpret_cast<decltype(bindDouble)>(dlsym(lib, "sqlite3_bind_double"));
  }
  bool ok() const { return open && close && exec && prepare && step && finalize && reset && bindText && bindDouble; }
};

void BM_SqliteOrderBy(benchmark::State& state) {
  Sqlite s;
  if (!s.ok()) {
    state.SkipWithError("libsqlite3.so.0 not found");
    return;
  }
  void* db = nullptr;
  s.open(":memory:", &db);
  s.exec(db, "PRAGMA temp_store=FILE; PRAGMA cache_size=-512; CREATE TABLE t(k1 TEXT, k2 REAL); BEGIN", nullptr,
         nullptr, nullptr);
  void* ins = nullptr;
  s.prepare(db, "INSERT INTO t VALUES(?, ?)", -1, &ins, nullptr);
  const Data& d = TheData();
  for (size_t i = 0; i < kRecords; ++i) {
    s.bindText(ins, 1, d.text[i].c_str(), 20, nullptr);
    s.bindDouble(ins, 2, d.number[i]);
    s.step(ins);
    s.reset(ins);
  }
  s.finalize(ins);
  s.exec(db, "COMMIT", nullptr, nullptr, nullptr);
  for (auto _ : state) {
    void* q = nullptr;
    const auto t0 = std::chrono::steady_clock::now();
    s.prepare(db, "SELECT rowid FROM t ORDER BY k1, k2 DESC", -1, &q, nullptr);
    size_t rows = 0;
    while (s.step(q) == 100) ++rows;  // SQLITE_ROW
    s.finalize(q);
    const double sec = Seconds(t0);
    state.SetIterationTime(sec);
    if (g_gnuSeconds > 0) state.counters["x_gnu_sort"] = sec / g_gnuSeconds;
    if (rows != kRecords) state.SkipWithError("wrong row count");
  }
  s.close(db);
}

// The CPU floor: the same comparator over the same records, all in memory.
void BM_StableSortInMemory(benchmark::State& state) {
  const Data& d = TheData();
  SortContext ctx;
  ctx.keyCount = 2;
  ctx.keyKinds[0] = kSortKeyText;
  ctx.keyKinds[1] = kSortKeyNumber;
  ctx.ascending[0] = 1;
  ctx.ascending[1] = 0;
  ctx.caseCombined = 0;
  std::vector<uint8_t> area(kRecords * 48);
  std::vector<uint32_t> offsets(kRecords);
  for (size_t i = 0; i < kRecords; ++i) {
    uint8_t* p = area.data() + i * 48;
    uint32_t pos = 12;
    pos += PutTextKey(p + pos, 36, kSortKeyPresent, d.text[i].data(), 20, 183);
    pos += PutNumberKey(p + pos, 48 - pos, kSortKeyPresent, d.number[i]);
    PutU32(p, pos);
    PutU32(p + 4, static_cast<uint32_t>(i));
    offsets[i] = static_cast<uint32_t>(i * 48);
  }
  for (auto _ : state) {
    std::vector<uint32_t> v = offsets;
    const auto t0 = std::chrono::steady_clock::now();
    std::stable_sort(v.begin(), v.end(), [&](uint32_t a, uint32_t b) {
      return CompareSortRecords(ctx, area.data() + a, area.data() + b) && a != b;
    });
    state.SetIterationTime(Seconds(t0));
  }
}

}  // namespace

BENCHMARK(BM_GnuSort)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExternalSortDefaultPool)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExternalSortLargePool)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteOrderBy)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StableSortInMemory)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
