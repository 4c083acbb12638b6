// The first page (60 records) of a report over 200,000 rows of a private
// PostgreSQL server, sorted on the table's primary key: the SELECT the
// program builds, opened and read through the data layer as a run reads it.
// Twice: with the missing-value terms every key had before (coalesce and a
// case on NULL, which the server must sort), and as the driver's report that
// the key holds no NULL lets it be sent (the plain column, which the
// primary key's index gives in order). VT_BENCH_ROWS changes the row count.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "core/composite.h"
#include "data/data_access.h"
#include "data/db_errors.h"
#include "data/select_builder.h"
#include "data/sql_literals.h"
#include "data/table_fields.h"
#include "model/record_pass.h"
#include "tests/support/free_port.h"

namespace {

constexpr int kPageRecords = 60;

long RowCount() {
  const char* v = std::getenv("VT_BENCH_ROWS");
  const long n = v ? std::strtol(v, nullptr, 10) : 0;
  return n > 0 ? n : 200000;
}

int Run(const std::string& cmd) { return std::system(cmd.c_str()); }

// A server in a temporary folder on a free port of 127.0.0.1, as the data
// tests start theirs, with a data source "pgbench" over it; stopped at exit.
class Server {
 public:
  bool Start(std::string* why) {
    const char* versions[] = {"17", "16", "15", "14", "13"};
    for (const char* v : versions) {
      const std::string d = std::string("/usr/lib/postgresql/") + v + "/bin";
      if (access((d + "/initdb").c_str(), X_OK) == 0) {
        bin_ = d;
        break;
      }
    }
    const char* driver = "/usr/lib/x86_64-linux-gnu/odbc/psqlodbca.so";
    if (bin_.empty() || access(driver, R_OK) != 0) return *why = "no PostgreSQL server or ODBC driver", false;
    char tmpl[] = "/tmp/vt_pgbench_XXXXXX";
    dir_ = mkdtemp(tmpl);
    port_ = FreeLoopbackPort();
    const bool root = geteuid() == 0;
    as_ = root ? "runuser -u postgres -- " : "";
    if (root) Run("chown postgres '" + dir_ + "'");
    if (Run("timeout 120 " + as_ + bin_ + "/initdb -D '" + dir_ + "/data' -A trust -U postgres -E UTF8 --no-locale >'" +
            dir_ + "/initdb.log' 2>&1") != 0 ||
        Run("timeout 60 " + as_ + bin_ + "/pg_ctl -D '" + dir_ + "/data' -w -t 30 -l '" + dir_ + "/pg.log' -o \"-h " +
            "127.0.0.1 -p " + std::to_string(port_) + " -k '" + dir_ + "' -c fsync=off\" start >/dev/null 2>&1") != 0)
      return *why = "the server did not start (" + dir_ + ")", false;
    started_ = true;
    std::ofstream(dir_ + "/odbcinst.ini") << "[PostgreSQL ANSI]\nDriver=" << driver << "\n";
    std::ofstream(dir_ + "/odbc.ini") << "[pgbench]\nDriver=PostgreSQL ANSI\nServername=127.0.0.1\nPort=" << port_
                                      << "\nDatabase=postgres\nUsername=postgres\nUseDeclareFetch=1\nFetch=1000\n";
    setenv("ODBCSYSINI", dir_.c_str(), 1);
    setenv("ODBCINI", (dir_ + "/odbc.ini").c_str(), 1);
    return true;
  }
  bool Sql(const std::string& sql) {
    std::ofstream(dir_ + "/make.sql") << sql;
    return Run("timeout 300 " + bin_ + "/psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p " + std::to_string(port_) +
               " -U postgres -d postgres <'" + dir_ + "/make.sql' >/dev/null") == 0;
  }
  ~Server() {
    if (started_) Run("timeout 60 " + as_ + bin_ + "/pg_ctl -D '" + dir_ + "/data' -m fast -w stop >/dev/null 2>&1");
    if (!dir_.empty()) Run("rm -rf '" + dir_ + "'");
  }

 private:
  std::string bin_, dir_, as_;
  int port_ = 0;
  bool started_ = false;
};

Server* TheServer(std::string* why) {
  static Server server;
  static bool tried = false, ok = false;
  if (!tried) {
    tried = true;
    ok = server.Start(why) &&
         server.Sql("create table big (id integer primary key, name varchar(20), amount numeric(12,2));\n"
                    "insert into big select g, 'name ' || (g * 7919 % 100000), g % 1000 * 0.25 "
                    "from generate_series(1, " + std::to_string(RowCount()) + ") g;\nanalyze big;\n");
    if (!ok && why->empty()) *why = "the table was not made";
  }
  return ok ? &server : nullptr;
}

// plain: the key sent as the driver's nullability allows; else with the
// missing-value terms.
void FirstPage(benchmark::State& state, bool plain) {
  std::string why;
  if (TheServer(&why) == nullptr) {
    state.SkipWithError(why.c_str());
    return;
  }
  for (auto _ : state) {
    CKmComposite m(nullptr);
    DataAccess* da = GetDataAccess(&m);
    da->sqlIniPath = VT_SOURCE_DIR "/samples/kmwsql.ini";
    if (da->ConnectDataSource("pgbench", false, true, nullptr) != 1) {
      state.SkipWithError(DbLastErrorText().c_str());
      return;
    }
    da->SelectDataSource("pgbench");
    const uint32_t t = m.AddTableSlot("big", "B", 0, 0, nullptr);
    if (BuildSqlFieldList(&m, t, nullptr, nullptr, nullptr, true, nullptr, 0) != 0) {
      state.SkipWithError("no fields");
      return;
    }
    FieldDef* id = m.tableSlots[t]->firstField;
    GetFieldBinding(id, true)->neverMissing &= plain;
    GetSelectInputs(&m)->sortKeys[0] = id;
    const auto t0 = std::chrono::steady_clock::now();
    if (OpenReportQuery(&m) != 0) {
      state.SkipWithError(GetSelectResult(&m)->mainStatement.c_str());
      return;
    }
    const double opened = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    int records = 0;
    {
      SqlRowSource rows(&m);
      while (records < kPageRecords && rows.FetchNextRow() == 0) {
        rows.ConvertFetchedRow(&m);
        ++records;
      }
    }
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    state.counters["records"] = records;
    state.counters["open_ms"] = opened * 1000;
    const std::string& sql = GetSelectResult(&m)->mainStatement;
    state.SetLabel(sql.find("order by") != std::string::npos ? sql.substr(sql.find("order by")) : sql);
    CloseReportQuery(&m);
    m.DropAttachment(AttachmentSlot::kRecordPass);
  }
}

void BM_FirstPageWithMissingValueTerms(benchmark::State& state) { FirstPage(state, false); }
void BM_FirstPageSortedOnThePlainKey(benchmark::State& state) { FirstPage(state, true); }

}  // namespace

BENCHMARK(BM_FirstPageWithMissingValueTerms)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstPageSortedOnThePlainKey)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
