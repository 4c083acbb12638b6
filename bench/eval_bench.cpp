// Evaluator speed over 1,000,000 rows, beside SQLite computing the same
// expressions over the same rows in an in-memory table. SQLite is loaded at
// run time (libsqlite3.so.0), so the bench needs nothing more to build; when
// it cannot be loaded its rows are skipped. Prints ns per row and heap
// allocations per row (the goal is none).
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/compiled_code.h"
#include "expr/value_eval.h"
#include "core/composite.h"

// ---- counting every heap allocation of the process (not under the address
// sanitizer, which owns malloc itself)
static std::atomic<uint64_t> g_allocs{0};
#if !defined(__SANITIZE_ADDRESS__)
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void* malloc(size_t n) {
  g_allocs.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(n);
}
extern "C" void* calloc(size_t a, size_t b) {
  g_allocs.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(a, b);
}
extern "C" void* realloc(void* p, size_t n) {
  g_allocs.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, n);
}
#endif

namespace {

constexpr int kRows = 1000000;

struct Rows {
  std::vector<double> n1, n2;
  std::vector<std::string> s1;
  std::vector<uint32_t> d1;
  Rows() {
    uint64_t x = 88172645463325252ull;
    auto next = [&x] {
      x ^= x << 13, x ^= x >> 7, x ^= x << 17;
      return x;
    };
    n1.resize(kRows), n2.resize(kRows), s1.resize(kRows), d1.resize(kRows);
    for (int i = 0; i < kRows; ++i) {
      n1[i] = static_cast<double>(next() % 100000) / 100.0;
      n2[i] = static_cast<double>(next() % 1000);
      std::string s(30, ' ');
      for (char& c : s) c = static_cast<char>('A' + next() % 26);
      s1[i] = s;
      d1[i] = static_cast<uint32_t>(next() % 292000);
    }
  }
};

const Rows& TheRows() {
  static Rows rows;
  return rows;
}

struct Expression {
  const char* name;
  const char* sql;
  std::vector<uint8_t> code;
};

// Field numbers: 0 N1, 1 N2, 2 S1, 3 D1.
std::vector<Expression> Expressions() {
  std::vector<Expression> out;
  {
    CodeWriter w;  // N1 * N2 + (N1 - N2) / 2
    w.Field(0), w.Field(1), w.Op(OP_MUL), w.Field(0), w.Field(1), w.Op(OP_SUB), w.Number(2), w.Op(OP_DIV);
    w.Op(OP_ADD), w.End();
    out.push_back({"arithmetic", "SELECT N1*N2+(N1-N2)/2.0 FROM t", w.Take()});
  }
  {
    CodeWriter w;  // N1 > 100 AND 'A' $ S1
    w.Field(0), w.Number(100), w.Op(OP_GT), w.String("A", 1), w.Field(2), w.Op(OP_CONTAINS), w.Op(OP_AND);
    w.End();
    out.push_back({"logical", "SELECT N1>100 AND instr(S1,'A')>0 FROM t", w.Take()});
  }
  {
    CodeWriter w;  // S1 + '-' + S1
    w.Field(2), w.String("-", 1), w.Op(OP_CONCAT), w.Field(2), w.Op(OP_CONCAT), w.End();
    out.push_back({"concat", "SELECT S1||'-'||S1 FROM t", w.Take()});
  }
  {
    CodeWriter w;  // D1 + 30 - D1
    w.Field(3), w.Number(30), w.Op(OP_DATE_ADD), w.Field(3), w.Op(OP_DATE_DIFF), w.End();
    out.push_back({"dates", "SELECT (D1+30)-D1 FROM t", w.Take()});
  }
  return out;
}

struct Model {
  CKmComposite model{nullptr};
  std::vector<uint8_t> buffers[4];
  Model() {
    const uint32_t flags[4] = {kFieldNumeric, kFieldNumeric, 0, kFieldDate};
    for (int i = 0; i < 4; ++i) {
      FieldDef* f = model.AddField(flags[i]);
      f->width = i == 2 ? 30 : 0;
      f->table = 0;
      buffers[i].assign(64, 0);
      f->value = buffers[i].data();
    }
    model.BuildFieldIndex();
    model.InitEvalArea();
  }
  ~Model() {
    while (model.fieldList != nullptr) model.DeleteField(model.fieldList, 6);
  }
};

void RunOurs(benchmark::State& state, size_t which) {
  const Rows& rows = TheRows();
  static Model m;
  const std::vector<Expression> exprs = Expressions();
  const Expression& e = exprs[which];
  uint8_t result[8001];
  uint32_t flags;
  double checksum = 0;
  uint64_t allocs = 0, rowsDone = 0;
  double ns = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const uint64_t before = g_allocs.load();
    for (int i = 0; i < kRows; ++i) {
      std::memcpy(m.buffers[0].data(), &rows.n1[i], 8);
      std::memcpy(m.buffers[1].data(), &rows.n2[i], 8);
      std::memcpy(m.buffers[2].data(), rows.s1[i].c_str(), 31);
      std::memcpy(m.buffers[3].data(), &rows.d1[i], 4);
      EvaluateCompiledExpression(&m.model, e.code.data(), result, 0, &flags, nullptr);
      checksum += result[0];
    }
    allocs += g_allocs.load() - before;
    ns += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    rowsDone += kRows;
  }
  benchmark::DoNotOptimize(checksum);
  state.counters["ns_per_row"] = ns / static_cast<double>(rowsDone ? rowsDone : 1);
  state.counters["allocs_per_row"] = static_cast<double>(allocs) / static_cast<double>(rowsDone ? rowsDone : 1);
}

// ---- SQLite through its C interface, loaded at run time
struct Sqlite {
  void* lib = nullptr;
  void* db = nullptr;
  int (*open)(const char*, void**) = nullptr;
  int (*exec)(void*, const char*, void*, void*, char**) = nullptr;
  int (*prepare)(void*, const char*, int, void**, const char**) = nullptr;
  int (*step)(void*) = nullptr;
  int (*reset)(void*) = nullptr;
  int (*finalize)(void*) = nullptr;
  int (*bindDouble)(void*, int, double) = nullptr;
  int (*bindInt)(void*, int, int) = nullptr;
  int (*bindText)(void*, int, const char*, int, void (*)(void*)) = nullptr;
  double (*columnDouble)(void*, int) = nullptr;
  const unsigned char* (*columnText)(void*, int) = nullptr;

  bool Load() {
    lib = dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) return false;
    auto sym = [this](const char* name) { return dlsym(lib, name); };
    open = reinterpret_cast<decltype(open)>(sym("sqlite3_open"));
    exec = reinterpret_cast<decltype(exec)>(sym("sqlite3_exec"));
    prepare = reinterpret_cast<decltype(prepare)>(sym("sqlite3_prepare_v2"));
    step = reinterpret_cast<decltype(step)>(sym("sqlite3_step"));
    reset = reinterpret_cast<decltype(reset)>(sym("sqlite3_reset"));
    finalize = reinterpret_cast<decltype(finalize)>(sym("sqlite3_finalize"));
    bindDouble = reinterpret_cast<decltype(bindDouble)>(sym("sqlite3_bind_double"));
    bindInt = reinterpret_cast<decltype(bindInt)>(sym("sqlite3_bind_int"));
    bindText = reinterpret_cast<decltype(bindText)>(sym("sqlite3_bind_text"));
    columnDouble = reinterpret_cast<decltype(columnDouble)>(sym("sqlite3_column_double"));
    columnText = reinterpret_cast<decltype(columnText)>(sym("sqlite3_column_text"));
    if (!open || !exec || !prepare || !step || !reset || !finalize || !bindDouble || !bindInt || !bindText ||
        !columnDouble || !columnText)
      return false;
    if (open(":memory:", &db) != 0) return false;
    exec(db, "CREATE TABLE t(N1 REAL, N2 REAL, S1 TEXT, D1 INTEGER); BEGIN", nullptr, nullptr, nullptr);
    void* ins = nullptr;
    prepare(db, "INSERT INTO t VALUES(?,?,?,?)", -1, &ins, nullptr);
    const Rows& rows = TheRows();
    for (int i = 0; i < kRows; ++i) {
      bindDouble(ins, 1, rows.n1[i]);
      bindDouble(ins, 2, rows.n2[i]);
      bindText(ins, 3, rows.s1[i].c_str(), 30, nullptr);
      bindInt(ins, 4, static_cast<int>(rows.d1[i]));
      step(ins);
      reset(ins);
    }
    finalize(ins);
    exec(db, "COMMIT", nullptr, nullptr, nullptr);
    return true;
  }
};

Sqlite* TheSqlite() {
  static Sqlite s;
  static bool ok = s.Load();
  return ok ? &s : nullptr;
}

void RunSqlite(benchmark::State& state, const char* sql) {
  Sqlite* s = TheSqlite();
  if (s == nullptr) {
    state.SkipWithError("libsqlite3.so.0 not available");
    return;
  }
  void* stmt = nullptr;
  s->prepare(s->db, sql, -1, &stmt, nullptr);
  double checksum = 0;
  uint64_t rowsDone = 0;
  double ns = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    while (s->step(stmt) == 100 /* SQLITE_ROW */) {
      checksum += s->columnDouble(stmt, 0);
      ++rowsDone;
    }
    s->reset(stmt);
    ns += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  }
  s->finalize(stmt);
  benchmark::DoNotOptimize(checksum);
  state.counters["ns_per_row"] = ns / static_cast<double>(rowsDone ? rowsDone : 1);
}

void Register() {
  const std::vector<Expression> exprs = Expressions();
  for (size_t i = 0; i < exprs.size(); ++i) {
    const std::string name = exprs[i].name;
    benchmark::RegisterBenchmark(("ours/" + name).c_str(), [i](benchmark::State& s) { RunOurs(s, i); })
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    const char* sql = exprs[i].sql;
    benchmark::RegisterBenchmark(("sqlite/" + name).c_str(), [sql](benchmark::State& s) { RunSqlite(s, sql); })
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
  }
  // The cost of reading one column, to subtract from SQLite's figures.
  benchmark::RegisterBenchmark("sqlite/read_column_only",
                               [](benchmark::State& s) { RunSqlite(s, "SELECT N1 FROM t"); })
      ->Iterations(3)
      ->Unit(benchmark::kMillisecond);
}

const int g_registered = (Register(), 0);

}  // namespace
