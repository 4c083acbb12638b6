// A report's SQL only reads, however it is written, on SQLite and on the
// private PostgreSQL server, as the program meets it unattended (/G): a
// statement handed over in a query file or stored in a report, a stored
// SQLEXP calculation and a filter on one, each written as an attacker would
// (quoted function names, comments ended where the check and the server
// disagree, functions that reach files, large objects, sequences and
// settings), is refused with its one reason and leaves every canary row,
// large object, sequence and file as it was; the statements a report sends
// (a REPORTVIEW definition, VALUES, TABLE, procedure calls) print their
// rows; and a filter's text is read back exactly whatever the server's
// string settings.
#include "core/composite.h"
#include "core/condition_code.h"
#include "data/data_access.h"
#include "expr/functions_common.h"
#include "files/report_io.h"
#include "foundation/heap_strings.h"
#include "platform/win/ui_app.h"
#include "tests/app/roundtrip/print_here.h"
#include "tests/app/roundtrip/report_maker.h"
#include "tests/support/folder_faults.h"
#include "tests/support/odbc_env.h"
#include "tests/support/metafile_bytes.h"
#include "tests/support/program_run.h"
#include "tests/support/query_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using roundtrip::ReportMaker;

// Three rows; the third's name holds what would end a literal whose
// backslashes the server reads as escapes.
const char* const kCanaryName = "O'Hara\\'); delete from ro_canary; --";
const char* const kTables =
    "drop table if exists ro_canary;\n"
    "create table ro_canary (id integer, name varchar(60), qty integer);\n"
    "insert into ro_canary values (1, 'Alder', 2), (2, 'Birch', 5), (3, 'O''Hara\\''); delete from ro_canary; --', 7);\n";
// Many rows, for runs that print pages before they fail or are stopped.
const char* const kManySqlite =
    "drop table if exists ro_many;\ncreate table ro_many (id integer, qty integer);\n"
    "with recursive n(i) as (select 1 union all select i + 1 from n where i < 3000) "
    "insert into ro_many select i, i from n;\n";
const char* const kManyPostgres =
    "drop table if exists ro_many;\ncreate table ro_many (id integer, qty integer);\n"
    "insert into ro_many select i, i from generate_series(1, 3000) i;\n";

// Tables named by words that change data, as a master table's alias is.
const char* const kWordTables =
    "drop table if exists lock;\ncreate table lock (id integer, qty integer);\n"
    "insert into lock values (1, 10), (2, 20);\n";
const char* const kPostgresWordTables =
    "drop table if exists public.rollback_log;\ncreate table public.rollback_log (id integer, qty integer);\n"
    "insert into public.rollback_log values (7, 70);\n";

// On the server besides: a large object, a sequence, and a procedure that
// fills a temporary table of its own and returns its rows.
const char* const kPostgresExtras =
    "select lo_unlink(oid) from pg_largeobject_metadata;\n"
    "select lo_from_bytea(4242, 'kept');\n"
    "drop sequence if exists ro_seq;\ncreate sequence ro_seq;\nselect setval('ro_seq', 5);\n"
    "create or replace function ro_rows() returns table (id integer, qty integer) language plpgsql as $$\n"
    "#variable_conflict use_column\nbegin\n"
    "  create temp table ro_work (id integer, qty integer) on commit drop;\n"
    "  insert into ro_work select c.id, c.qty * 10 from ro_canary c;\n"
    "  return query select w.id, w.qty from ro_work w order by w.id;\nend $$;\n";
// A procedure that commits its own work part-way, as psql runs it, and
// functions whose rows a report reads while they write a log (one sleeping
// a while first).
const char* const kPostgresProcedures =
    "drop table if exists ro_log;\ncreate table ro_log (n integer);\n"
    "create or replace procedure ro_commits(inout n integer) language plpgsql as $$\n"
    "begin\n  insert into ro_log values (1);\n  commit;\n  insert into ro_log values (2);\n  n := 2;\nend $$;\n"
    "create or replace function ro_logged() returns table (id integer) language plpgsql as $$\n"
    "begin\n  insert into ro_log values (10);\n  return query select c.id from ro_canary c order by c.id;\nend $$;\n"
    "create or replace function ro_slow() returns table (id integer) language plpgsql as $$\n"
    "begin\n  insert into ro_log values (20);\n  perform pg_sleep(4);\n  return query select c.id from ro_canary c;\n"
    "end $$;\n";

// The same tables on a database whose plain literals read backslashes as
// escapes.
const char* const kNonstandardDatabase =
    "drop database if exists ro_nonstandard;\ncreate database ro_nonstandard;\n"
    "alter database ro_nonstandard set standard_conforming_strings = off;\n\\c ro_nonstandard\n"
    "create table ro_canary (id integer, name varchar(60), qty integer);\n"
    "insert into ro_canary values (1, 'Alder', 2), (2, 'Birch', 5), "
    "(3, E'O''Hara\\\\''); delete from ro_canary; --', 7);\n";
const char* const kNonstandardDsn = "vt_pg_nonstandard";
const char* const kGbkDsn = "vt_pg_gbk";

class ReadOnlySql : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (!fs::exists(program_run::ProgramPath())) GTEST_SKIP() << "the program is not built";
    if (!program_run::Have("pdftotext") || !program_run::Have("sqlite3")) GTEST_SKIP() << "pdftotext or sqlite3 is missing";
    if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    pg_ = GetParam() == 1;
    bool ok = false;
    std::string out;
    if (!pg_) {
      dsn_ = odbc_test::kSqliteDsn;
      out = odbc_test::RunSqliteSql(std::string(kTables) + kWordTables + kManySqlite, &ok);
    } else {
      std::string why;
      if (!odbc_test::StartPostgres(&why)) GTEST_SKIP() << why;
      dsn_ = odbc_test::kPgDsn;
      out = odbc_test::RunPostgresSql(std::string(kTables) + kWordTables + kManyPostgres + kPostgresWordTables +
                                          kPostgresExtras + kPostgresProcedures + kNonstandardDatabase,
                                      &ok);
      static bool added = false;
      if (!added) {
        std::ifstream in(odbc_test::Dir() + "/odbc.ini");
        std::stringstream ini;
        ini << in.rdbuf() << "\n[" << kNonstandardDsn << "]\nDriver=PostgreSQL ANSI\nServername=127.0.0.1\nPort="
            << odbc_test::PostgresPort() << "\nDatabase=ro_nonstandard\nUsername=postgres\nUseDeclareFetch=1\n\n";
        // A data source whose own settings give the session a client
        // encoding in which a byte of a letter can be a backslash.
        ini << "[" << kGbkDsn << "]\nDriver=PostgreSQL ANSI\nServername=127.0.0.1\nPort=" << odbc_test::PostgresPort()
            << "\nDatabase=postgres\nUsername=postgres\nUseDeclareFetch=1\n"
            << "ConnSettings=set client_encoding to 'GBK'\n\n";
        odbc_test::WriteFile("odbc.ini", ini.str());
        added = true;
      }
    }
    ASSERT_TRUE(ok) << out;
    dir_ = odbc_test::Dir() + "/read_only_" + std::to_string(GetParam());
    roundtrip::MakeSettingsFolder(dir_);
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
    marker_ = dir_ + "/loaded.mark";
    library_ = dir_ + "/evil.so";
    exported_ = dir_ + "/exported.txt";
    program_run::MakeMarkingLibrary(library_, marker_);
  }

  // The program run with /G on the file: its standard error; the status in
  // *status. env: settings of its own for the run.
  std::string Unattended(const std::string& file, int* status, const std::string& env = std::string()) {
    const std::string run = dir_ + "/run";
    fs::create_directories(run);
    fs::permissions(run, fs::perms::owner_all);
    return program_run::Capture("cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + run +
                                    "' " + env + " " + program_run::ProgramLeakOptions() + " timeout 300 '" +
                                    program_run::ProgramPath() + "' /G '" + file + "' 2>&1 >/dev/null",
                                status);
  }

  // What SQL counts of the canary, as the database's own client reads it.
  std::string Canary(const char* sql) {
    bool ok = false;
    const std::string out = pg_ ? odbc_test::RunPostgresSql(sql, &ok) : odbc_test::RunSqliteSql(sql, &ok);
    EXPECT_TRUE(ok) << out;
    return out;
  }

  // A report over ro_canary laid out by layout (a user statement's report
  // when statement is given), saved to the file; the connection let go.
  void MakeReport(const std::string& file, const char* statement, const std::function<void(ReportMaker&)>& layout) {
    roundtrip::MakeReportFile(
        dsn_.c_str(), file,
        [&](ReportMaker& r, std::string* error) {
          return statement != nullptr ? r.BeginStatement(dsn_.c_str(), statement, error)
                                      : r.Begin(dsn_.c_str(), "ro_canary", {"id", "name", "qty"}, error);
        },
        layout);
  }

  // A calculation compiled while no data source is current, so that the
  // program's own checks at saving time do not stop it: as a file made
  // elsewhere would hold it.
  static FieldDef* StoredCalc(ReportMaker& r, const char* name, const std::string& text) {
    DataAccess* data = GetDataAccess(&r.M());
    const std::string source = data->GetCurrentDataSourceName();
    data->SelectDataSource(nullptr);
    FieldDef* f = r.Calc(name, text.c_str());
    data->SelectDataSource(source.c_str());
    return f;
  }

  static void Replace(char*& text, const std::string& with) {
    auto* copy = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(with.size() + 1)));
    ASSERT_NE(copy, nullptr);
    std::memcpy(copy, with.c_str(), with.size());
    if (text != nullptr) HeapFreeBlock(text);
    text = copy;
  }

  // The text of the PDF the last run printed (each run's is taken away).
  std::string Printed() {
    std::string text;
    for (const auto& e : fs::directory_iterator(dir_)) {
      if (e.path().extension() != ".pdf") continue;
      text += program_run::Capture("pdftotext -layout '" + e.path().string() + "' - 2>/dev/null");
      fs::remove(e.path());
    }
    return text;
  }

  // Every column of the master on the record line, numbers without decimals.
  static void PlaceAll(ReportMaker& r) {
    const int record = r.Line(kBandRecord);
    int column = 0;
    for (FieldDef* f = r.M().fieldList; f != nullptr; f = f->next) {
      if (f->table != 0 || (f->flags & kFieldCalculation)) continue;
      r.Place(f, record, column, 12, (f->flags & kFieldNumeric) ? 0 : -1);
      column += 14;
    }
  }

  // The program's lines of a run refused before anything connected: one,
  // giving the reason and naming what was refused.
  void ExpectConnectRefused(const std::string& file, const std::string& says) {
    int status = -1;
    const std::string err = Unattended(file, &status);
    EXPECT_EQ(status, 1) << err;
    EXPECT_EQ(Lines(err), 1) << err;
    EXPECT_NE(err.find("The connect text cannot be used"), std::string::npos) << err;
    EXPECT_NE(err.find(says), std::string::npos) << err;
  }

  // The printed lines, each with its words one blank apart; with rowsOnly,
  // only those that begin with a digit (the records here).
  static std::vector<std::string> PrintedLines(const std::string& text, bool rowsOnly) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line, word; std::getline(in, line);) {
      std::istringstream words(line);
      std::string joined;
      while (words >> word) joined += (joined.empty() ? "" : " ") + word;
      if (!rowsOnly || (!joined.empty() && joined[0] >= '0' && joined[0] <= '9')) lines.push_back(joined);
    }
    return lines;
  }

  // The run on the file ends with status 1 and lines of its own, the first
  // of which gives the refusal; it names what was refused.
  void ExpectRefused(const std::string& file, const char* refusal, int lines, const char* says) {
    int status = -1;
    const std::string err = Unattended(file, &status);
    EXPECT_EQ(status, 1) << err;
    EXPECT_EQ(Lines(err), lines) << err;
    EXPECT_EQ(err.find("vortelle: " + file + ": " + refusal), err.find("vortelle: ")) << err;
    EXPECT_NE(err.find("only reads data"), std::string::npos) << err;
    EXPECT_NE(err.find(says), std::string::npos) << err;
  }

  // Every canary row, large object, sequence value and file as it was.
  void ExpectNothingChanged() {
    EXPECT_EQ(Canary("select count(*) from ro_canary;"), "3\n");
    EXPECT_FALSE(fs::exists(marker_)) << "a library was loaded";
    EXPECT_FALSE(fs::exists(exported_)) << "a file was written";
    if (!pg_) return;
    EXPECT_EQ(Canary("select string_agg(oid::text, ',') from pg_largeobject_metadata;"), "4242\n");
    EXPECT_EQ(Canary("select convert_from(lo_get(4242), 'UTF8');"), "kept\n");
    EXPECT_EQ(Canary("select last_value from ro_seq;"), "5\n");
  }

  // The program's own lines of a run's standard error.
  static int Lines(const std::string& text) {
    int n = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) n += line.rfind("vortelle: ", 0) == 0;
    return n;
  }

  bool pg_ = false;
  std::string dsn_, dir_;
  // A library that leaves the marker when loaded; a file no run may write.
  std::string marker_, library_, exported_;
};

// Texts as an attacker writes them: each with what its refusal names.
struct Hostile {
  std::string text;
  const char* says;
};

// A statement, handed over in a query file and stored in a report.
TEST_P(ReadOnlySql, HostileStatementsChangeNothingAndSayWhy) {
  std::vector<Hostile> statements;
  if (!pg_) {
    statements = {
        {"select \"load_extension\"('" + library_ + "')", "load_extension"},
        {"select 1 as a --x\r' \n, load_extension('" + library_ + "') --'", "load_extension"},
        {"select blob_export(x'41', '" + exported_ + "')", "blob_export"},
    };
  } else {
    statements = {
        {"select 1 as a --\r; commit; start transaction read write; delete from ro_canary; commit; select 1",
         "second statement"},
        {"select lo_unlink(4242)", "lo_unlink"},
        {"select lo_from_bytea(0, 'x')", "lo_from_bytea"},
        {"select set_config('default_transaction_read_only', 'off', false)", "set_config"},
        {"select setval('ro_seq', 1)", "setval"},
        {"{call lo_unlink(4242)}", "lo_unlink"},
    };
  }
  int n = 0;
  for (const Hostile& h : statements) {
    SCOPED_TRACE(h.text);
    const std::string query = dir_ + "/q" + std::to_string(++n) + ".kwq";
    std::ofstream(query, std::ios::binary) << query_file::Packed(dsn_, h.text);
    ExpectRefused(query, "The statement cannot be used", 1, h.says);
    const std::string stored = dir_ + "/s" + std::to_string(n) + ".kmw";
    MakeReport(stored, "select id, qty from ro_canary", [&](ReportMaker& r) {
      r.Place(r.Column("id"), r.Line(kBandRecord), 0, 4, 0);
      Replace(r.M().statementText, h.text);
    });
    ExpectRefused(stored, "The statement cannot be used", 1, h.says);
  }
  ExpectNothingChanged();
}

// A stored SQLEXP calculation: printed, or only tested by the filter. Its
// refusal comes first; the report reader then says the field needs editing.
TEST_P(ReadOnlySql, HostileCalculationsChangeNothingAndSayWhy) {
  std::vector<Hostile> expressions;
  if (!pg_) {
    expressions = {
        {"\"load_extension\"('" + library_ + "')", "load_extension"},
        {"blob_export(x'41', '" + exported_ + "')", "blob_export"},
    };
  } else {
    expressions = {
        {"lo_unlink(4242)", "lo_unlink"},
        {"1 from ro_canary; delete from ro_canary; select 1", "second statement"},
    };
  }
  int n = 0;
  for (const Hostile& h : expressions) {
    for (bool filtered : {false, true}) {
      SCOPED_TRACE(h.text + (filtered ? " in the filter" : " printed"));
      const std::string stored = dir_ + "/e" + std::to_string(++n) + ".kmw";
      MakeReport(stored, nullptr, [&](ReportMaker& r) {
        FieldDef* sneak = StoredCalc(r, "SNEAK", "SQLEXP([" + h.text + "])");
        ASSERT_NE(sneak, nullptr);
        const int record = r.Line(kBandRecord);
        r.Place(r.Column("id"), record, 0, 4, 0);
        if (!filtered) {
          r.Place(sneak, record, 6, 8, 0);
          return;
        }
        // Unknown to the server when made, the column's kind is text.
        std::string error;
        EXPECT_TRUE(r.Filter({r.Row(0, sneak, kCondEqual, "'x'")}, &error)) << error;
      });
      ExpectRefused(stored, "The SQL expression cannot be used", 2, h.says);
    }
  }
  ExpectNothingChanged();
}

// The statements a report's master may be, each given in a query file and
// printed: their rows, as the database's own client gives them.
TEST_P(ReadOnlySql, EveryFormAReportSendsPrintsItsRows) {
  struct Form {
    std::string statement;
    std::vector<std::string> printed;  // the printed lines of its rows, in order
  };
  std::vector<Form> forms = {
      {"define reportview Sales (ident, amount) as select id, qty from ro_canary order by id",
       {"ident amount", "1 2", "2 5", "3 7"}},
      {"select id, name from ro_canary where name <> 'C:\\into' and id < 3 order by id",
       {"id name", "1 Alder", "2 Birch"}},
  };
  // A "--" comment at the very end: a driver's own words sent after the
  // text must not fall into it.
  forms.push_back({"select id, name from ro_canary where id < 3 order by id limit 2 -- the first two",
                   {"id name", "1 Alder", "2 Birch"}});
  // "union" where it is no keyword, and a branch that is no SELECT: the
  // run once looped for ever on each (the run here is bounded).
  forms.push_back({"select id, name from ro_canary where name <> 'union x' and id < 3 /* union */ order by id",
                   {"id name", "1 Alder", "2 Birch"}});
  // (SQLite takes no ORDER BY after VALUES; its UNION gives its rows in order.)
  forms.push_back({std::string("select id, qty from ro_canary where id = 1 union values (9, 9)") + (pg_ ? " order by 1" : ""),
                   {"id qty", "1 2", "9 9"}});
  if (pg_) {
    forms.push_back({"select id, qty from ro_canary where id = 1 union table public.rollback_log order by 1",
                     {"id qty", "1 2", "7 70"}});
    // SQLite gives a VALUES statement's columns no type the program takes.
    forms.push_back({"values (1, 'one'), (2, 'two')", {"column1 column2", "1 one", "2 two"}});
    forms.push_back({"table ro_canary", {"id name", "1 Alder", "2 Birch"}});
    forms.push_back({"{call ro_rows()}", {"id qty", "1 20", "2 50", "3 70"}});
  }
  // Each handed over in a query file (the first line its columns'
  // headings), and stored in a report saved and opened again.
  for (const Form& f : forms) {
    for (bool stored : {false, true}) {
      SCOPED_TRACE(f.statement + (stored ? " stored" : ""));
      std::string file = dir_ + "/form.kwq";
      if (!stored) {
        std::ofstream(file, std::ios::binary) << query_file::Packed(dsn_, f.statement, "Forms");
      } else {
        file = dir_ + "/form.kmw";
        MakeReport(file, f.statement.c_str(), [&](ReportMaker& r) { PlaceAll(r); });
      }
      int status = -1;
      const std::string err = Unattended(file, &status);
      EXPECT_EQ(status, 0) << err;
      const std::string text = Printed();
      const std::vector<std::string> lines = PrintedLines(text, false);
      auto at = lines.begin();
      for (size_t i = stored ? 1 : 0; i < f.printed.size(); ++i) {
        // The row's words, and in a stored report any further columns.
        const std::string& row = f.printed[i];
        at = std::find_if(at, lines.end(), [&](const std::string& line) {
          return line.rfind(row, 0) == 0 && (line.size() == row.size() || line[row.size()] == ' ');
        });
        EXPECT_NE(at, lines.end()) << row << " in\n" << text;
        if (at == lines.end()) break;
      }
    }
  }
  EXPECT_EQ(Canary("select count(*) from ro_canary;"), "3\n");

  // A statement of the longest a report holds prints as written; one byte
  // longer is refused, never run cut (here to "id = 2"), and so is one of
  // about half as many letters, most of two bytes: its length is said in
  // bytes.
  const std::string longest = "select id from ro_canary" + std::string(10192, ' ') + "where id > 0 and id = 2";
  std::string wide = "select id from ro_canary where id = 2 and 'xy' <> '";
  for (int i = 0; i < 5094; ++i) wide += "\xC3\xA9";
  wide += "'";  // 5,146 letters, 10,240 bytes
  for (const std::string& statement : {longest, longest + "2", wide}) {
    std::ofstream(dir_ + "/long.kwq", std::ios::binary) << query_file::Packed(dsn_, statement, "Forms");
    int status = -1;
    const std::string err = Unattended(dir_ + "/long.kwq", &status);
    const bool fits = statement.size() == 10239;
    EXPECT_EQ(status + Lines(err), fits ? 0 : 2) << err;
    EXPECT_EQ(err.find("statement is 10240 bytes long, and a report holds one of at most 10239 bytes") ==
                  std::string::npos,
              fits)
        << err;
    EXPECT_EQ(PrintedLines(Printed(), true), std::vector<std::string>(fits ? 1 : 0, "2"));
  }

  // An exec statement whose verb the data source does not take (PassExec
  // off) sends the procedure call after it.
  if (pg_) {
    const std::string ini = dir_ + "/kmwsql.ini";
    std::ifstream in(ini);
    std::stringstream all;
    all << in.rdbuf();
    std::string settings = all.str();
    settings.replace(settings.find("[PostgreSQL]\n"), 13, "[PostgreSQL]\nPassExec=0\n");
    std::ofstream(ini) << settings;
    std::ofstream(dir_ + "/form.kwq", std::ios::binary) << query_file::Packed(dsn_, "exec {call ro_rows()}", "Forms");
    MakeReport(dir_ + "/exec.kmw", "exec {call ro_rows()}", [&](ReportMaker& r) { PlaceAll(r); });
    for (const char* file : {"/form.kwq", "/exec.kmw"}) {
      SCOPED_TRACE(file);
      int status = -1;
      const std::string err = Unattended(dir_ + file, &status);
      EXPECT_EQ(status, 0) << err;
      EXPECT_EQ(PrintedLines(Printed(), true), (std::vector<std::string>{"1 20", "2 50", "3 70"}));
    }
  }
}

// A filter's text value goes to the server as a literal it reads back as
// exactly that text, also where it reads backslashes in plain literals as
// escapes: the one row whose name it is prints, and the rows stay.
TEST_P(ReadOnlySql, AFilterValueIsReadAsWritten) {
  std::vector<std::string> sources = {dsn_};
  if (pg_) sources.push_back(kNonstandardDsn);
  for (const std::string& source : sources) {
    SCOPED_TRACE(source);
    const std::string file = dir_ + "/filtered.kmw";
    MakeReport(file, nullptr, [&](ReportMaker& r) {
      const int record = r.Line(kBandRecord);
      r.Place(r.Column("id"), record, 0, 4, 0);
      r.Place(r.Column("name"), record, 6, 40);
      r.Place(r.Column("qty"), record, 48, 4, 0);
      std::string error;
      EXPECT_TRUE(r.Filter({r.Row(0, r.Column("name"), kCondEqual, (std::string("\"") + kCanaryName + "\"").c_str())},
                           &error))
          << error;
      r.Io().m_stream.settings.sources[0].sourceName = source;
    });
    int status = -1;
    const std::string err = Unattended(file, &status);
    EXPECT_EQ(status, 0) << err;
    const std::vector<std::string> rows = PrintedLines(Printed(), true);
    EXPECT_EQ(rows, (std::vector<std::string>{std::string("3 ") + kCanaryName + " 7"}));
    const std::string database = source == kNonstandardDsn ? "\\c ro_nonstandard\n" : "";
    EXPECT_EQ(Canary((database + "select count(*) from ro_canary;").c_str()), "3\n");
  }
}


// A query file's connect text names the data source and how to log on,
// nothing more: a driver library of the file's own, an SQLite extension, a
// journal mode, a DSN file saved, statements run as the session starts, a
// database file made, are each refused with their key before anything
// connects, and nothing is loaded, written or changed.
TEST_P(ReadOnlySql, AConnectTextFromAFileOnlyLogsOn) {
  const std::string made = dir_ + "/made.db", saved = dir_ + "/saved.dsn";
  std::vector<Hostile> texts = {
      {"DRIVER=" + library_ + ";Database=" + made, "\"DRIVER\""},
      {"DSN=" + dsn_ + ";SaveFile=" + saved, "\"SaveFile\""},
      {"DSN=" + dsn_ + ";UID={x;DRIVER=" + library_ + "}", "\"UID\""},
  };
  texts.push_back({"DSN=" + dsn_ + ";UID=x;dsn=" + odbc_test::kMissingDsn, "\"dsn\" a second time"});
  if (!pg_) {
    texts.push_back({"DSN=" + dsn_ + ";LoadExt=" + library_, "\"LoadExt\""});
    texts.push_back({"DSN=" + dsn_ + ";JournalMode=wal", "\"JournalMode\""});
    texts.push_back({"DSN=" + dsn_ + ";LoadExt= ", "\"LoadExt\""});
  } else {
    texts.push_back({"DSN=" + dsn_ + ";ConnSettings=delete from ro_canary", "\"ConnSettings\""});
    texts.push_back({"DSN=" + dsn_ + ";A6=delete from ro_canary", "\"A6\""});
    texts.push_back({"DSN=" + dsn_ + ";pqopt=options=-cdefault_transaction_read_only=off", "\"pqopt\""});
  }
  int n = 0;
  for (const Hostile& h : texts) {
    SCOPED_TRACE(h.text);
    const std::string query = dir_ + "/c" + std::to_string(++n) + ".kwq";
    std::ofstream(query, std::ios::binary) << query_file::Packed(dsn_, "select id from ro_canary", "Orders", h.text);
    ExpectConnectRefused(query, h.says);
  }
  // A database the text names is opened when it is there, never made.
  if (!pg_) {
    std::ofstream(dir_ + "/new.kwq", std::ios::binary)
        << query_file::Packed(dsn_, "select id from ro_canary", "Orders", "DSN=" + dsn_ + ";Database=" + made);
    int status = -1;
    Unattended(dir_ + "/new.kwq", &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(Canary("pragma journal_mode;"), "delete\n");
  }
  // Nor is its data source's missing one made, whatever the text says.
  const std::string missing = odbc_test::kMissingDsn;
  std::ofstream(dir_ + "/missing.kwq", std::ios::binary)
      << query_file::Packed(missing, "select 1", "Orders", "DSN=" + missing + ";NoCreat=0");
  int refused = -1;
  Unattended(dir_ + "/missing.kwq", &refused);
  EXPECT_EQ(refused, 1);
  EXPECT_FALSE(fs::exists(odbc_test::Dir() + "/missing.db"));
  EXPECT_FALSE(fs::exists(made));
  EXPECT_FALSE(fs::exists(saved));
  ExpectNothingChanged();

  // psqlODBC set to read only takes no statement but SELECT: the run says
  // which setting stops it.
  if (pg_) {
    std::ofstream(dir_ + "/read_only.kwq", std::ios::binary)
        << query_file::Packed(dsn_, "select id from ro_canary", "Orders", "DSN=" + dsn_ + ";ReadOnly=1");
    const std::string err = Unattended(dir_ + "/read_only.kwq", &refused);
    EXPECT_EQ(refused, 1) << err;
    EXPECT_NE(err.find("set to read only (ReadOnly=1)"), std::string::npos) << err;
  }

  // The text the data source's driver itself completes, as another program
  // writes it, is taken: the rows print.
  std::string completed;
  {
    DataAccess data;
    ASSERT_EQ(data.ConnectDataSource(dsn_.c_str(), false, true, nullptr), 1);
    completed = data.FindConnection(dsn_.c_str())->completedConnect;
    data.TermDatabaseLibrary();
  }
  SCOPED_TRACE(completed);
  ASSERT_NE(completed.find(pg_ ? "ReadOnly=" : "LoadExt="), std::string::npos);
  std::ofstream(dir_ + "/completed.kwq", std::ios::binary)
      << query_file::Packed(dsn_, "select id from ro_canary order by id", "Orders", completed);
  int status = -1;
  const std::string err = Unattended(dir_ + "/completed.kwq", &status);
  EXPECT_EQ(status, 0) << err;
  EXPECT_EQ(PrintedLines(Printed(), true), (std::vector<std::string>{"1", "2", "3"}));
}

// Where the data source's own settings give the session a client encoding
// in which a letter's second byte can be a backslash (GBK), the session is
// set to read UTF8 all the same: the statement the check read is the one
// the server runs, its literal one value, and the rows stay.
TEST_P(ReadOnlySql, TheServerReadsTheStatementTheCheckRead) {
  if (!pg_) GTEST_SKIP() << "a PostgreSQL client encoding";
  // The euro sign is three bytes in UTF-8, the last of which GBK reads
  // together with the backslash after it.
  const std::string statement =
      "select E'\x80\\'; commit; start transaction read write; delete from ro_canary; commit; --' as note, id "
      "from ro_canary order by id";
  std::ofstream(dir_ + "/gbk.kwq", std::ios::binary) << query_file::Packed(kGbkDsn, statement, "Orders");
  int status = -1;
  const std::string err = Unattended(dir_ + "/gbk.kwq", &status);
  EXPECT_EQ(status, 0) << err;
  EXPECT_EQ(PrintedLines(Printed(), false).size() > 0, true);
  ExpectNothingChanged();
}

// Names that are words which change data are names: a master table called
// so (its alias the same word), a column named so in a statement, and
// literals holding such words print their rows; ordinary reading statements
// (a CTE with a window function, a subquery, SHOW, EXPLAIN of a SELECT)
// print theirs.
TEST_P(ReadOnlySql, NamesAndReadingStatementsPrint) {
  struct Master {
    const char* table;
    std::vector<std::string> rows;
  };
  std::vector<Master> masters = {{pg_ ? "public.lock" : "lock", {"1 10", "2 20"}}};
  if (pg_) masters.push_back({"public.rollback_log", {"7 70"}});
  for (const Master& m : masters) {
    SCOPED_TRACE(m.table);
    const std::string file = dir_ + "/words.kmw";
    roundtrip::MakeReportFile(dsn_.c_str(), file, m.table, {"id", "qty"}, [&](ReportMaker& r) {
      const int record = r.Line(kBandRecord);
      r.Place(r.Column("id"), record, 0, 4, 0);
      r.Place(r.Column("qty"), record, 6, 4, 0);
    });
    int status = -1;
    const std::string err = Unattended(file, &status);
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(PrintedLines(Printed(), true), m.rows);
  }
  struct Reading {
    std::string statement;
    std::string printed;  // a line that shows, or the start of one
  };
  // Columns a window or an aggregate makes are read inside: SQLite gives
  // such a column no type the program takes.
  std::vector<Reading> statements = {
      {"with w as (select id, qty, rank() over (order by qty desc) as r from ro_canary) "
       "select id as lock, qty as \"commit\" from w where r <= 2 and id in (select id from ro_canary where name <> "
       "'delete from ro_canary') order by id",
       "3 7"},
      {"select c.id, c.qty as rollback from ro_canary c where c.name not like 'insert into%' "
       "and c.id < (select max(d.id) from ro_canary d) order by c.id",
       "2 5"},
  };
  if (pg_) {
    statements.push_back({"with c as (select id as update, qty as key from ro_canary) "
                          "select update, insert, key, substring('abcdefgh' for key) as s "
                          "from (select *, 0 as insert from c) d order by update",
                          "2 0 5 abcde"});
    // CTEs named by verbs, and FOR inside a call.
    statements.push_back({"with update as (select id, qty as update from ro_canary), replace as (select * from update) "
                          "select id, update, substring('abcdefgh' for update) as s from replace order by id",
                          "3 7 abcdefg"});
    statements.push_back({"show standard_conforming_strings", "on"});
    statements.push_back({"explain select id from ro_canary", "Seq Scan on ro_canary"});
  } else {
    statements.push_back(
        {"with c as (select id as merge, qty as replace from ro_canary) select merge, replace from c where merge = 2",
         "2 5"});
    statements.push_back({"with replace as (select id, qty from ro_canary) select id, qty from replace where id = 3",
                          "3 7"});
    // Sent and read; its columns have no type either.
    statements.push_back({"explain query plan select id from ro_canary", ""});
  }
  for (const Reading& r : statements) {
    SCOPED_TRACE(r.statement);
    std::ofstream(dir_ + "/reading.kwq", std::ios::binary) << query_file::Packed(dsn_, r.statement, "Orders");
    int status = -1;
    const std::string err = Unattended(dir_ + "/reading.kwq", &status);
    EXPECT_EQ(status, 0) << err;
    const std::string text = Printed();
    bool found = r.printed.empty();
    for (const std::string& line : PrintedLines(text, false))
      found = found || line.find(r.printed) != std::string::npos;
    EXPECT_TRUE(found) << r.printed << " in\n" << text;
  }
  ExpectNothingChanged();
}

// A statement's result names (a REPORTVIEW's list) are checked as when the
// statement is typed, on every road a report comes by: handed over in a
// query file, and stored in a report that is opened. One message, status
// 1, nothing printed.
TEST_P(ReadOnlySql, AResultNameListIsCheckedOnEveryRoad) {
  const struct {
    const char* statement;
    const char* says;
  } lists[] = {
      {"define reportview R (company, COMPANY) as select id, qty from ro_canary",
       "Duplicate result table field name: 'COMPANY'"},
      {"select id, qty as \"ID\" from ro_canary", "Duplicate result table field name: 'ID'"},
  };
  for (const auto& l : lists) {
    SCOPED_TRACE(l.statement);
    const std::string query = dir_ + "/names.kwq", stored = dir_ + "/names.kmw";
    std::ofstream(query, std::ios::binary) << query_file::Packed(dsn_, l.statement, "Names");
    MakeReport(stored, "define reportview R (company, amount) as select id, qty from ro_canary", [&](ReportMaker& r) {
      r.Place(r.Column("company"), r.Line(kBandRecord), 0, 4, 0);
      Replace(r.M().statementText, l.statement);
    });
    for (const std::string& file : {query, stored}) {
      int status = -1;
      const std::string err = Unattended(file, &status);
      EXPECT_EQ(status, 1) << err;
      EXPECT_EQ(Lines(err), 1) << err;
      EXPECT_NE(err.find(l.says), std::string::npos) << err;
      EXPECT_EQ(Printed(), "");
    }
  }
}

// A run that fails after its first pages, and one stopped from outside,
// leave the output file an earlier run wrote as it was, through the
// toolkit's PDF path (a picture on the page) and the program's own; the
// failure is said.
TEST_P(ReadOnlySql, AFailedOrStoppedRunLeavesTheEarlierOutput) {
  // A row far down fails on the server: an integer that overflows (the rows
  // streamed in the order they were made), a division by zero.
  const char* failing = pg_ ? "select id, 1 / (id - 1200) as qty from ro_many order by id"
                            : "select id, case when id = 1200 then abs(-9223372036854775807 - 1) else qty end "
                              "from ro_many";
  const std::string picture = dir_ + "/logo.emf";
  metafile_bytes::WriteFile(picture, metafile_bytes::Emf(2540, 2540, 0x0000FF, 0, 0, 100, 100));
  const std::string earlier = "%PDF-1.4 the earlier output\n";
  for (bool withPicture : {true, false}) {
    SCOPED_TRACE(withPicture ? "the toolkit's path" : "the program's own path");
    const std::string file = dir_ + "/fails.kmw", output = dir_ + "/fails.pdf";
    MakeReport(file, failing, [&](ReportMaker& r) {
      if (withPicture) r.Picture(r.Line(kBandTitle), 20, picture);
      const int record = r.Line(kBandRecord);
      r.Place(r.Column("id"), record, 0, 6, 0);
    });
    std::ofstream(output, std::ios::binary) << earlier;
    int status = -1;
    const std::string err = Unattended(file, &status);
    EXPECT_EQ(status, 1) << err;
    EXPECT_GE(Lines(err), 1) << err;
    std::ifstream in(output, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), earlier);
    for (const auto& e : fs::directory_iterator(dir_))
      EXPECT_EQ(e.path().filename().string().find("fails.pdf."), std::string::npos) << e.path();
    fs::remove(output);
    if (pg_) continue;

    // A run that prints writes through a symbolic link to the file it names,
    // which keeps its mode, group and other name; a file of the user's named
    // like the program's new files stays. So it does where the file system
    // takes no locks, twice over, and nothing is left beside the file or in the private
    // temporary folder. A pipe in its place is refused with its reason. With
    // no font to be found, the program's own path prints its texts; the
    // toolkit's, which would print none, says why it does not print.
    const std::string good = dir_ + "/kept.kmw", real = dir_ + "/kept-real.pdf", link = dir_ + "/kept.pdf";
    MakeReport(good, nullptr, [&](ReportMaker& r) {
      if (withPicture) r.Picture(r.Line(kBandTitle), 20, picture);
      PlaceAll(r);
    });
    const std::string conf = dir_ + "/nofonts.conf", left = dir_ + "/.kept-real.pdf.~backup";
    const std::string noLocks = program_run::NoLocksEnvironment(dir_ + "/nolocks.so", dir_);
    std::ofstream(conf) << "<?xml version=\"1.0\"?><fontconfig><cachedir>" << dir_ << "/fc</cachedir></fontconfig>";
    std::ofstream(real) << earlier;
    std::ofstream(left) << earlier;
    fs::create_symlink(real, link);
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    const gid_t group = ::geteuid() == 0 && ::chown(real.c_str(), 0, 1) == 0 ? 1 : ::getegid();
    for (int run = 0; run < 4; ++run) {
      const bool twoNames = run > 0;
      if (run == 1) fs::create_hard_link(real, dir_ + "/kept-other.pdf");
      const std::string said = Unattended(good, &status, run >= 2 ? noLocks : std::string());
      EXPECT_TRUE(status == 0 && fs::is_symlink(link)) << said;
      struct stat st {};
      ASSERT_EQ(::stat(real.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, 0640u);
      EXPECT_EQ(st.st_gid, group);
      EXPECT_EQ(st.st_nlink, twoNames ? 2u : 1u);
      EXPECT_NE(program_run::Capture("pdftotext '" + link + "' -").find("Alder"), std::string::npos);
      EXPECT_TRUE(fs::exists(left));
      for (const auto& e : fs::recursive_directory_iterator(dir_))
        EXPECT_TRUE(e.path() == left || e.path().filename().string().find(".~") == std::string::npos) << e.path();
    }
    fs::remove(left);
    for (const std::string& f : {link, real, dir_ + "/kept-other.pdf"}) fs::remove(f);
    ASSERT_EQ(::mkfifo(link.c_str(), 0644), 0);
    std::string said = Unattended(good, &status);
    EXPECT_TRUE(status == 1 && Lines(said) == 1 && said.find("Cannot open file: " + link) != std::string::npos) << said;
    EXPECT_TRUE(fs::is_fifo(link));
    fs::remove(link);
    said = Unattended(good, &status, "FONTCONFIG_FILE='" + conf + "'");
    EXPECT_EQ(status, withPicture ? 1 : 0) << said;
    EXPECT_EQ(Lines(said) == 1 && said.find("No printer fonts available") != std::string::npos, withPicture) << said;
    EXPECT_EQ(program_run::Capture("pdftotext '" + link + "' - 2>/dev/null").find("Alder") != std::string::npos,
              !withPicture);
    fs::remove(link);

    // A full disk: one line, status 1, the earlier file whole.
    FaultyFolder full(FaultyFolder::kFull, 256 * 1024);
    if (!full.Mounted()) continue;
    const std::string onFull = full.Path() + "/full.kmw", fullOutput = full.Path() + "/full.pdf";
    MakeReport(onFull, nullptr, [&](ReportMaker& r) {
      if (withPicture) r.Picture(r.Line(kBandTitle), 20, picture);
      PlaceAll(r);
    });
    std::ofstream(fullOutput, std::ios::binary) << earlier;
    ASSERT_TRUE(full.Arm());
    said = Unattended(onFull, &status);
    EXPECT_TRUE(status == 1 && Lines(said) == 1) << said;
    std::ifstream kept(fullOutput, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), earlier);
    for (const auto& e : fs::directory_iterator(full.Path()))
      EXPECT_EQ(e.path().filename().string().find(".~"), std::string::npos) << e.path();
  }
  if (!pg_) return;

  // Stopped at its first pages: the new file stood beside the old one.
  const std::string file = dir_ + "/stopped.kmw", output = dir_ + "/stopped.pdf";
  MakeReport(file,
             "select id, qty from ro_many cross join lateral (select pg_sleep(0.002) where ro_many.id > 0) s",
             [&](ReportMaker& r) {
               r.Picture(r.Line(kBandTitle), 20, picture);
               r.Place(r.Column("id"), r.Line(kBandRecord), 0, 6, 0);
             });
  std::ofstream(output, std::ios::binary) << earlier;
  const std::string run = dir_ + "/run";
  fs::create_directories(run);
  // The program itself in the background (env runs it in its own place).
  std::string pid = program_run::Capture("cd '" + dir_ + "' || exit 1; env -u DISPLAY -u WAYLAND_DISPLAY " +
                                         "XDG_RUNTIME_DIR='" + run + "' " + program_run::ProgramLeakOptions() + " '" +
                                         program_run::ProgramPath() + "' /G '" + file + "' >/dev/null 2>&1 & echo $!");
  while (!pid.empty() && pid.back() == '\n') pid.pop_back();
  ASSERT_FALSE(pid.empty());
  auto beside = [&] {
    for (const auto& e : fs::directory_iterator(dir_))
      if (e.path().filename().string().rfind(".stopped.pdf.", 0) == 0) return true;
    std::ifstream in(output, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {}) != earlier;
  };
  // The run writes its first page within its first fetch of rows.
  for (int i = 0; i < 3000 && !beside(); ++i) program_run::Capture("sleep 0.01");
  program_run::Capture("kill -KILL " + pid + " 2>/dev/null; true");
  for (int i = 0; i < 3000 && program_run::Capture("kill -0 " + pid + " 2>/dev/null && echo alive") == "alive\n"; ++i)
    program_run::Capture("sleep 0.01");
  std::ifstream in(output, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), earlier);
  // The next run to that file removes what the killed one left.
  ASSERT_TRUE(beside());
  MakeReport(file, nullptr, [&](ReportMaker& r) { r.Place(r.Column("id"), r.Line(kBandRecord), 0, 6, 0); });
  int status = -1;
  const std::string err = Unattended(file, &status);
  EXPECT_EQ(status, 0) << err;
  for (const auto& e : fs::directory_iterator(dir_))
    EXPECT_NE(e.path().filename().string().rfind(".stopped.pdf.", 0), 0u) << e.path();
}

// kmw.ini's QueryTimeout reaches the query: a statement that takes longer
// is stopped by the server with its reason; a setting beyond what the
// server takes waits as long as it can and the report prints.
TEST_P(ReadOnlySql, TheQueryTimeOutReachesTheQuery) {
  if (!pg_) GTEST_SKIP() << "the server's own time-out";
  const std::string query = dir_ + "/slow.kwq";
  std::ofstream(query, std::ios::binary) << query_file::Packed(
      dsn_, "select id, qty from ro_canary cross join lateral (select pg_sleep(2)) s order by id", "Orders");
  const std::string settings = dir_ + "/kmw.ini";
  for (const char* timeout : {"1", "99999999999"}) {
    SCOPED_TRACE(timeout);
    std::ofstream(settings) << "[Preferences]\nShowSplash=0\n[Database]\nQueryTimeout=" << timeout << "\n";
    int status = -1;
    const std::string err = Unattended(query, &status);
    if (std::string(timeout) == "1") {
      EXPECT_EQ(status, 1) << err;
      EXPECT_NE(err.find("statement timeout"), std::string::npos) << err;
      Printed();
    } else {
      EXPECT_EQ(status, 0) << err;
      EXPECT_EQ(PrintedLines(Printed(), true).size(), 3u);
    }
  }
  // A procedure report's first call, which tells its columns, is stopped
  // too: what the function wrote before it was stopped is not kept.
  Canary("delete from ro_log;");
  std::ofstream(settings) << "[Preferences]\nShowSplash=0\n[Database]\nQueryTimeout=1\n";
  std::ofstream(dir_ + "/slowcall.kwq", std::ios::binary) << query_file::Packed(dsn_, "{call ro_slow()}", "Orders");
  int status = -1;
  const std::string err = Unattended(dir_ + "/slowcall.kwq", &status);
  EXPECT_EQ(status, 1) << err;
  EXPECT_NE(err.find("statement timeout"), std::string::npos) << err;
  EXPECT_EQ(Canary("select count(*) from ro_log where n = 20;"), "0\n");
}

// A procedure that commits its own work part-way runs as psql runs it.
TEST_P(ReadOnlySql, AProcedureThatCommitsItselfRuns) {
  if (!pg_) GTEST_SKIP() << "a PostgreSQL procedure";
  Canary("delete from ro_log;");
  std::ofstream(dir_ + "/commits.kwq", std::ios::binary) << query_file::Packed(dsn_, "call ro_commits(0)", "Orders");
  int status = -1;
  const std::string err = Unattended(dir_ + "/commits.kwq", &status);
  EXPECT_EQ(status, 0) << err;
  EXPECT_EQ(PrintedLines(Printed(), true), (std::vector<std::string>{"2"}));
  // (The statement also runs once to tell its columns.)
  EXPECT_EQ(Canary("select string_agg(distinct n::text, ',') from ro_log;"), "1,2\n");
}

// Printed in this process as File > Print prints, with the report still
// open: the session holds no transaction, and no lock, on what it read,
// and what a procedure report's function wrote is committed.
TEST_P(ReadOnlySql, APrintLeavesNoTransactionOpen) {
  if (!pg_) GTEST_SKIP() << "PostgreSQL's transactions";
  Canary("delete from ro_log;");
  for (const char* statement : {static_cast<const char*>(nullptr), "{call ro_logged()}"}) {
    SCOPED_TRACE(statement != nullptr ? statement : "the table");
    roundtrip::MadeDocument made(dsn_);
    CKmDoc& doc = made.doc;
    {
      ReportMaker r(doc, made.io);
      std::string error;
      ASSERT_TRUE(statement != nullptr ? r.BeginStatement(dsn_.c_str(), statement, &error)
                                       : r.Begin(dsn_.c_str(), "ro_canary", {"id", "name", "qty"}, &error))
          << error;
      r.Place(r.Column("id"), r.Line(kBandRecord), 0, 4, 0);
      r.Finish();
    }
    // The function also ran once to tell its columns.
    const std::string logged = Canary("select count(*) + 1 from ro_log where n = 10;");
    const std::string pdf = dir_ + "/here.pdf";
    EXPECT_TRUE(roundtrip::PrintToPdfHere(doc, pdf));
    fs::remove(pdf);
    EXPECT_EQ(Canary("select count(*) from pg_stat_activity where state like 'idle in transaction%';"), "0\n");
    EXPECT_EQ(Canary("begin; lock table ro_canary in access exclusive mode nowait; commit; select 1;"), "1\n");
    if (statement != nullptr) {
      EXPECT_EQ(Canary("select count(*) from ro_log where n = 10;"), logged);
    }
  }
  ExpectNothingChanged();
}

INSTANTIATE_TEST_SUITE_P(BothDatabases, ReadOnlySql, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == 0 ? "SQLite" : "PostgreSQL");
                         });

}  // namespace
