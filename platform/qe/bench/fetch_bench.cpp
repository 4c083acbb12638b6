// Fetching 1,000,000 rows of five columns (integer, double, text, date,
// small integer) from a SQLite database through the data layer (connect,
// ExecSql, BindColumn, FetchNext, with the date text parsed as a report run
// does), beside a plain ODBC loop (SQLBindCol and SQLFetch, no conversion) on
// the same data source. The database and a private odbc.ini are made in a
// temporary folder; the data source sets StepAPI=1 so that rows stream.
// Prints the time of each and their ratio (goal: within 1.2x).
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "data/data_access.h"
#include "data/db_errors.h"
#include "bench/sqlite_odbc_dir.h"

namespace {

constexpr long kRows = 1000000;
const char kQuery[] = "select id, amount, name, placed, qty from t";

struct Setup {
  std::string dir;
  bool ok = false;
  double rawSeconds = 0;
  double layerSeconds = 0;

  Setup() {
    char tmpl[] = "/tmp/vt_fetch_bench_XXXXXX";
    dir = mkdtemp(tmpl);
    if (!MakeSqliteOdbcDir(dir)) return;
    std::string script = dir + "/make.sql";
    std::ofstream(script) << "create table t (id integer, amount double, name varchar(40), placed date, qty smallint);\n"
                             "with recursive n(v) as (select 1 union all select v + 1 from n where v < "
                          << kRows
                          << ")\n insert into t select v, v * 1.25, 'customer number ' || v, "
                             "date('2000-01-01', '+' || (v % 9000) || ' days'), v % 1000 from n;\n";
    ok = std::system(("sqlite3 '" + dir + "/bench.db' < '" + script + "'").c_str()) == 0;
  }
  ~Setup() {
    if (rawSeconds > 0 && layerSeconds > 0)
      std::printf("\nfetch of %ld rows: plain ODBC %.3f s, data layer %.3f s, ratio %.2f\n", kRows, rawSeconds,
                  layerSeconds, layerSeconds / rawSeconds);
    std::system(("rm -rf '" + dir + "'").c_str());
  }
};

Setup& Data() {
  static Setup s;
  return s;
}

void PlainOdbc(benchmark::State& state) {
  Setup& d = Data();
  if (!d.ok) return state.SkipWithError("no test database");
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    SQLDriverConnect(dbc, nullptr, (SQLCHAR*)"DSN=bench", SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    SQLExecDirect(st, (SQLCHAR*)kQuery, SQL_NTS);
    SQLINTEGER id;
    double amount;
    char name[41];
    SQL_DATE_STRUCT placed;
    SQLSMALLINT qty;
    SQLLEN ind[5];
    SQLBindCol(st, 1, SQL_C_SLONG, &id, 4, &ind[0]);
    SQLBindCol(st, 2, SQL_C_DOUBLE, &amount, 8, &ind[1]);
    SQLBindCol(st, 3, SQL_C_CHAR, name, sizeof name, &ind[2]);
    SQLBindCol(st, 4, SQL_C_TYPE_DATE, &placed, sizeof placed, &ind[3]);
    SQLBindCol(st, 5, SQL_C_SSHORT, &qty, 2, &ind[4]);
    long rows = 0;
    double sum = 0;
    while (SQL_SUCCEEDED(SQLFetch(st))) {
      ++rows;
      sum += amount + placed.day;
    }
    benchmark::DoNotOptimize(sum);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    d.rawSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (rows != kRows) state.SkipWithError("wrong row count");
    state.counters["rows"] = static_cast<double>(rows);
  }
}

void DataLayer(benchmark::State& state) {
  Setup& d = Data();
  if (!d.ok) return state.SkipWithError("no test database");
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    DataAccess da;
    if (da.ConnectDataSource("bench", false, true, nullptr) != 1) return state.SkipWithError("no connection");
    da.SelectDataSource("bench");
    if (da.ExecSql(kQuery) != 0) return state.SkipWithError(DbLastErrorText().c_str());
    int32_t id;
    double amount;
    char name[41], placed[11];
    int16_t qty;
    int32_t cells[5];
    da.BindColumn(1, &id, 4, &cells[0]);
    da.BindColumn(2, &amount, 8, &cells[1]);
    da.BindColumn(3, name, sizeof name, &cells[2]);
    da.BindColumn(4, placed, sizeof placed, &cells[3]);
    da.BindColumn(5, &qty, 2, &cells[4]);
    long rows = 0;
    double sum = 0;
    DateTimeParts parts;
    while (da.FetchNext() == 0) {
      ++rows;
      DataAccess::ParseDateText(placed, &parts);
      sum += amount + parts.day;
    }
    benchmark::DoNotOptimize(sum);
    da.EndStatement();
    da.TermDatabaseLibrary();
    d.layerSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (rows != kRows) state.SkipWithError("wrong row count");
    state.counters["rows"] = static_cast<double>(rows);
  }
}

}  // namespace

BENCHMARK(PlainOdbc)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(DataLayer)->Iterations(1)->Unit(benchmark::kMillisecond);
