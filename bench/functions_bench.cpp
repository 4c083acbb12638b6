// Built-in functions over 1,000,000 rows (string, date, CASE/INLIST and
// TRANSFORM expressions) beside SQLite computing the same over the same rows
// in an in-memory table. SQLite is loaded at run time; without it its rows
// are skipped. Prints ns per row.
#include <benchmark/benchmark.h>
#include "expr/value_eval.h"
#include <dlfcn.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "expr/compiler.h"
#include "expr/compiler_state.h"
#include "expr/functions_common.h"
#include "core/composite.h"

namespace {

constexpr int kRows = 1000000;

struct Data {
  std::vector<double> n1, n2;
  std::vector<std::string> s1;
  std::vector<uint32_t> d1;
  Data() : n1(kRows), n2(kRows), s1(kRows), d1(kRows) {
    uint64_t x = 0x2545F4914F6CDD1Dull;
    auto next = [&x] { return x ^= x << 13, x ^= x >> 7, x ^= x << 17; };
    for (int i = 0; i < kRows; ++i) {
      n1[i] = static_cast<double>(next() % 1000000) / 100.0;
      n2[i] = static_cast<double>(next() % 8);
      s1[i].assign(30, ' ');
      for (char& c : s1[i]) c = static_cast<char>('A' + next() % 26);
      d1[i] = 100000 + static_cast<uint32_t>(next() % 150000);  // 1873 to 2284
    }
  }
};
const Data& Rows() {
  static Data d;
  return d;
}

struct Case {
  const char* name;
  const char* ours;
  const char* sql;
};
const Case kCases[] = {
    {"string", "UPPER(SUBSTR(S1, 1, 3)) + '-' + TRIM(S1)", "SELECT upper(substr(S1,1,3))||'-'||rtrim(S1) FROM t"},
    {"date", "ADDMONS(D1, 1) - D1", "SELECT julianday(date(D1 - 53751,'+1 month')) - julianday(date(D1 - 53751)) FROM t"},
    {"case", "CASE(N2, 1, 'a', 2, 'b', 'c')", "SELECT CASE N2 WHEN 1 THEN 'a' WHEN 2 THEN 'b' ELSE 'c' END FROM t"},
    {"inlist", "INLIST(N2, 1, 3, 5, 7)", "SELECT CASE N2 WHEN 1 THEN 1 WHEN 3 THEN 2 WHEN 5 THEN 3 WHEN 7 THEN 4 ELSE 0 END FROM t"},
    {"transform", "TRANSFORM(N1, '9,999,999.99')", "SELECT printf('%,.2f', N1) FROM t"},
};

struct Ours {
  CKmComposite m{nullptr};
  FieldDef* f[4] = {};
  std::vector<uint8_t> buf[4];
  Ours() {
    InitCompiler(&m, 50000, 8000);
    const char* names[4] = {"N1", "N2", "S1", "D1"};
    const uint32_t kinds[4] = {kFieldNumeric, kFieldNumeric, 0, kFieldDate};
    for (int i = 0; i < 4; ++i) {
      f[i] = m.AddField(kinds[i] | kFieldItem);
      std::snprintf(f[i]->name, sizeof f[i]->name, "%s", names[i]);
      f[i]->table = 0;
      f[i]->width = i == 2 ? 30 : 0;
      SetDeclaredLength(f[i], i == 2 ? 30 : 0);
      buf[i].assign(64, 0);
      f[i]->value = buf[i].data();
    }
    m.BuildFieldIndex();
    InstallBuiltinFunctionHandlers();
  }
};

void RunOurs(benchmark::State& state, const char* text) {
  static Ours o;
  CompileOutput out;
  uint32_t pos = 0;
  if (CompileExpression(&o.m, text, &pos, &out, nullptr, nullptr, 1) != 0) {
    state.SkipWithError("does not compile");
    return;
  }
  const Data& d = Rows();
  std::vector<uint8_t> result(8016);
  uint32_t flags;
  uint64_t sum = 0, rows = 0;
  double ns = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRows; ++i) {
      std::memcpy(o.buf[0].data(), &d.n1[i], 8);
      std::memcpy(o.buf[1].data(), &d.n2[i], 8);
      std::memcpy(o.buf[2].data(), d.s1[i].c_str(), 31);
      std::memcpy(o.buf[3].data(), &d.d1[i], 4);
      EvaluateCompiledExpression(&o.m, out.code.data(), result.data(), 0, &flags, nullptr);
      sum += result[0];
    }
    ns += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    rows += kRows;
  }
  benchmark::DoNotOptimize(sum);
  state.counters["ns_per_row"] = ns / static_cast<double>(rows ? rows : 1);
}

// SQLite through the few entries the comparison needs.
struct Lite {
  void* db = nullptr;
  int (*open)(const char*, void**);
  int (*exec)(void*, const char*, void*, void*, char**);
  int (*prepare)(void*, const char*, int, void**, const char**);
  int (*step)(void*);
  int (*reset)(void*);
  int (*finalize)(void*);
  int (*bindDouble)(void*, int, double);
  int (*bindText)(void*, int, const char*, int, void (*)(void*));
  const unsigned char* (*columnText)(void*, int);
  bool ok = false;
  Lite() {
    void* lib = dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return;
    bool all = true;
    auto get = [&](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(lib, name));
      all = all && fn != nullptr;
    };
    get(open, "sqlite3_open"), get(exec, "sqlite3_exec"), get(prepare, "sqlite3_prepare_v2");
    get(step, "sqlite3_step"), get(reset, "sqlite3_reset"), get(finalize, "sqlite3_finalize");
    get(bindDouble, "sqlite3_bind_double"), get(bindText, "sqlite3_bind_text"), get(columnText, "sqlite3_column_text");
    if (!all || open(":memory:", &db) != 0) return;
    exec(db, "CREATE TABLE t(N1 REAL, N2 REAL, S1 TEXT, D1 REAL); BEGIN", nullptr, nullptr, nullptr);
    void* ins = nullptr;
    prepare(db, "INSERT INTO t VALUES(?,?,?,?)", -1, &ins, nullptr);
    const Data& d = Rows();
    for (int i = 0; i < kRows; ++i) {
      bindDouble(ins, 1, d.n1[i]), bindDouble(ins, 2, d.n2[i]);
      bindText(ins, 3, d.s1[i].c_str(), 30, nullptr), bindDouble(ins, 4, d.d1[i]);
      step(ins), reset(ins);
    }
    finalize(ins);
    exec(db, "COMMIT", nullptr, nullptr, nullptr);
    ok = true;
  }
};

void RunSqlite(benchmark::State& state, const char* sql) {
  static Lite lite;
  if (!lite.ok) {
    state.SkipWithError("libsqlite3.so.0 not available");
    return;
  }
  void* stmt = nullptr;
  lite.prepare(lite.db, sql, -1, &stmt, nullptr);
  uint64_t sum = 0, rows = 0;
  double ns = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    while (lite.step(stmt) == 100) {
      const unsigned char* t = lite.columnText(stmt, 0);
      sum += t ? t[0] : 0;
      ++rows;
    }
    lite.reset(stmt);
    ns += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  }
  lite.finalize(stmt);
  benchmark::DoNotOptimize(sum);
  state.counters["ns_per_row"] = ns / static_cast<double>(rows ? rows : 1);
}

const int g_registered = [] {
  for (const Case& c : kCases) {
    benchmark::RegisterBenchmark((std::string("ours/") + c.name).c_str(),
                                 [c](benchmark::State& s) { RunOurs(s, c.ours); })
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("sqlite/") + c.name).c_str(),
                                 [c](benchmark::State& s) { RunSqlite(s, c.sql); })
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
  }
  return 0;
}();

}  // namespace
