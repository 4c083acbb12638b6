// What the filter run tests share: the sample set-up on SQLite or on the
// private PostgreSQL server, SQL run on that database by its own client, the
// program run unattended on a saved report, and the texts read back.
#pragma once

#include "app/document.h"
#include "app/run_hooks.h"
#include "data/data_access.h"
#include "engine/run_report.h"
#include "engine/run_output.h"
#include "export/export_library.h"
#include "export/export_settings.h"
#include "files/report_io.h"
#include "layout/page_setup.h"
#include "tests/app/sample_db_fixture.h"
#include "tests/app/roundtrip/report_maker.h"
#include "tests/support/client_session.h"
#include "tests/support/odbc_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace filter_run {

using sample_test::Capture;
using sample_test::ProgramPath;

constexpr const char* kDsn = "VortelleSample";

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) out.push_back(line);
  return out;
}

// The words of a line joined by single blanks.
inline std::string Words(const std::string& line) {
  std::istringstream in(line);
  std::string word, out;
  while (in >> word) out += (out.empty() ? "" : " ") + word;
  return out;
}

inline std::string Figure(const std::string& number) {
  char b[64];
  std::snprintf(b, sizeof b, "%.2f", std::atof(number.c_str()));
  return b;
}

// "a|b|c" into its columns.
inline std::vector<std::string> Columns(const std::string& row, char separator = '|') {
  std::vector<std::string> out;
  std::string cell;
  std::istringstream in(row);
  while (std::getline(in, cell, separator)) out.push_back(cell);
  return out;
}

// Each of a suite's cases on SQLite (0) and on PostgreSQL (1), named by
// the database and the case.
inline auto OnBothDatabases(size_t cases) {
  return ::testing::Combine(::testing::Values(0, 1), ::testing::Range(0, static_cast<int>(cases)));
}
template <typename Case, size_t N>
std::function<std::string(const ::testing::TestParamInfo<std::tuple<int, int>>&)> CaseNames(const Case (&cases)[N]) {
  return [&cases](const ::testing::TestParamInfo<std::tuple<int, int>>& i) {
    return std::string(std::get<0>(i.param) == 0 ? "SQLite_" : "PostgreSQL_") + cases[std::get<1>(i.param)].name;
  };
}

// A report document to build in code on the suite's data source, with its
// band lines, page set-up and report file.
struct ReportDocument : roundtrip::MadeDocument {
  ReportDocument() : MadeDocument(kDsn) {}

  // Saved as a report whose output is the export of its records to a
  // delimited file (commas); false when it was not saved.
  bool SaveAsExport(const std::string& report, const std::string& file) {
    CKmExport e;
    e.format = kExportDataFile;
    e.dataFileType = kFileTypeComma;
    e.dataFileSeparator = ",";
    e.SetOutputPath(file);
    e.StoreTo(&io.m_stream.settings);
    doc.m_pPageSetup->word12 = 255;  // the output is the export
    return io.SaveReportFile(report.c_str()) == kRepIoOk;
  }
};

// The sample database and its data source in a folder of the test's own,
// on SQLite or on the private PostgreSQL server.
class DatabaseRun {
 public:
  // False with *skip set when the machine lacks what the test needs, or
  // with *skip empty when the set-up failed.
  bool Start(bool postgres, std::string* skip) {
    namespace fs = std::filesystem;
    postgres_ = postgres;
    if (!fs::exists(ProgramPath())) return *skip = "the program is not built", false;
    if (Capture("command -v sqlite3").empty() || Capture("command -v pdftotext").empty())
      return *skip = "sqlite3 or pdftotext is missing", false;
    if (Capture("ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null").empty())
      return *skip = "the SQLite ODBC driver is not installed", false;
    if (!postgres_) {
      dir_ = sample_folder::MakeFresh();
      if (dir_.empty()) {
        ADD_FAILURE() << "the sample could not be made";
        return false;
      }
      sqlite_ = std::make_unique<client_session::ClientSession>(
          std::vector<std::string>{"sqlite3", dir_ + "/sample.db"}, ".print");
      return true;
    }
    if (Capture("command -v psql").empty()) return *skip = "psql is missing", false;
    if (!odbc_test::StartPostgres(skip)) return false;
    dir_ = odbc_test::Dir() + "/filter_pg";
    int status = -1;
    const std::string made = sample_folder::MakeOnPostgres(dir_, odbc_test::PostgresPort(), &status);
    if (status != 0) {
      ADD_FAILURE() << made;
      return false;
    }
    setenv("ODBCINI", (dir_ + "/odbc.ini").c_str(), 1);
    setenv("ODBCSYSINI", dir_.c_str(), 1);
    setenv("VORTELLE_WINDIR", dir_.c_str(), 1);
    return true;
  }
  // The program's links from the record pass to the run; no dialog watches
  // the prints made in the test's own process.
  static void InstallRunLinks() {
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
    InstallRunHooks(nullptr);
    InstallRunShell(nullptr);
  }
  void Stop() {
    RemoveRunHooks();
    unsetenv("VORTELLE_WINDIR");
    sqlite_.reset();
    if (!postgres_ && !dir_.empty()) sample_folder::Clear();
  }

  bool Execute(const std::string& sql) {
    if (postgres_) {
      bool ok = false;
      const std::string out = odbc_test::RunPostgresSql(sql, &ok);
      EXPECT_TRUE(ok) << out;
      return ok;
    }
    int status = -1;
    // The test's tables are thrown away with it: no statement waits for the disk.
    const std::string out =
        Capture("sqlite3 -cmd 'PRAGMA synchronous=OFF' '" + dir_ + "/sample.db' <<'EOF'\n" + sql + "\nEOF\n", &status);
    EXPECT_EQ(status, 0) << out;
    return status == 0;
  }
  // The database's rows, columns separated by '|' (or its errors), from a
  // client session the run keeps: a report asks a dozen questions.
  std::vector<std::string> Query(const std::string& sql) {
    return Lines(postgres_ ? odbc_test::QueryPostgres(sql) : sqlite_->Ask(sql + ";"));
  }

  // The program prints the saved report unattended; the PDF's text.
  std::string PrintWithProgram(const std::string& report, std::string* output) {
    const int status = RunProgram(report, output);
    const std::string pdf = std::filesystem::path(report).replace_extension(".pdf").string();
    if (status != 0 || !std::filesystem::exists(pdf)) {
      *output += " (status " + std::to_string(status) + ")";
      return "";
    }
    return Capture("pdftotext -layout '" + pdf + "' - 2>/dev/null");
  }
  // The run's sanitizer reports come unsymbolized: naming the frames of the
  // memory the font library keeps to the end took half of each run. A run
  // that reports a fault runs again symbolized, for a report one can read.
  int RunProgram(const std::string& report, std::string* output) {
    const int status = RunOnce(report, "symbolize=0", output);
    if (output->find("Sanitizer") != std::string::npos) {
      std::string named;
      RunOnce(report, "symbolize=1", &named);
      *output += "\n(run again, symbolized:)\n" + named;
    }
    return status;
  }

  // The data source always pre-fetches: the program sorts every report it
  // prints unattended from here on.
  void AlwaysPreFetch() {
    const std::string ini = dir_ + "/kmwsql.ini";
    std::string settings;
    {
      std::ifstream in(ini);
      for (std::string line; std::getline(in, line);)
        settings += line + "\n" + (line == "[SQLite]" || line == "[PostgreSQL]" ? "AlwaysPreFetch=1\n" : "");
    }
    std::ofstream(ini) << settings;
  }

  bool postgres() const { return postgres_; }
  const std::string& dir() const { return dir_; }

 private:
  int RunOnce(const std::string& report, const std::string& sanitizer, std::string* output) {
    int status = -1;
    *output = Capture("cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + dir_ +
                          "' ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}" + sanitizer + "\" timeout 120 '" +
                          ProgramPath() + "' /G '" + report + "' 2>&1",
                      &status);
    return status;
  }

  bool postgres_ = false;
  std::string dir_;
  std::unique_ptr<client_session::ClientSession> sqlite_;
};

// A suite over both databases (its parameter as OnBothDatabases gives it):
// the sample set up on the case's database, the tables the suite adds made
// by the database's own client, and the program's links to the run.
class DatabaseRunTest : public ::testing::TestWithParam<std::tuple<int, int>> {
 protected:
  // The SQL that adds the suite's tables to the sample database.
  virtual std::string Tables() const = 0;
  void SetUp() override {
    std::string skip;
    if (!db_.Start(std::get<0>(GetParam()) == 1, &skip)) {
      if (!skip.empty()) GTEST_SKIP() << skip;
      FAIL() << "the database could not be set up";
    }
    ASSERT_TRUE(db_.Execute(Tables()));
    DatabaseRun::InstallRunLinks();
  }
  void TearDown() override { db_.Stop(); }

  DatabaseRun db_;
};

}  // namespace filter_run
