// What the report-values scenarios share: a data script run on SQLite or on
// the private PostgreSQL server, the database's own answers to SQL, reports
// built in code and printed here to a PDF (and saved), the program run
// unattended on a saved report, and the texts read back.
#pragma once

#include "app/document.h"
#include "app/run_hooks.h"
#include "app/sample_report.h"
#include "expr/functions_common.h"
#include "export/export_library.h"
#include "export/export_settings.h"
#include "layout/page_metrics.h"
#include "platform/win/ui_app.h"
#include "tests/app/roundtrip/print_here.h"
#include "tests/app/roundtrip/report_maker.h"
#include "tests/support/odbc_env.h"
#include "tests/support/program_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace roundtrip {

// The lines of a text that hold more than blanks.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.find_first_not_of(' ') != std::string::npos) out.push_back(line);
  return out;
}

inline std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

// The pages of pdftotext's text (form feeds between them), empty ones left out.
inline std::vector<std::string> Pages(const std::string& text) {
  std::vector<std::string> pages;
  std::istringstream all(text);
  for (std::string page; std::getline(all, page, '\f');)
    if (page.find_first_not_of(" \n") != std::string::npos) pages.push_back(page);
  return pages;
}

inline std::string Money(double v) {
  char b[64];
  std::snprintf(b, sizeof b, "%.2f", v);
  return b;
}

// The words after label on each line that has it, in page order.
inline std::vector<std::vector<std::string>> RowsAfter(const std::string& text, const std::string& label) {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : Lines(text)) {
    const size_t at = line.find(label);
    if (at != std::string::npos) rows.push_back(Words(line.substr(at + label.size())));
  }
  return rows;
}

// A scenario on SQLite (parameter 0) or on the private PostgreSQL server
// (1): Script gives the tables' SQL for the database, folder names the
// scenario's own folder under the test's ODBC folder.
class ValuesRun : public ::testing::TestWithParam<int> {
 protected:
  ValuesRun(std::string (*script)(bool postgres), const char* folder) : script_(script), folder_(folder) {}

  void SetUp() override {
    if (program_run::Capture("command -v pdftotext").empty() || program_run::Capture("command -v sqlite3").empty())
      GTEST_SKIP() << "pdftotext or sqlite3 is missing";
    if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    bool ok = false;
    std::string out;
    if (GetParam() == 0) {
      dsn_ = odbc_test::kSqliteDsn;
      out = odbc_test::RunSqliteSql(script_(false), &ok);
    } else {
      std::string why;
      if (!odbc_test::StartPostgres(&why)) GTEST_SKIP() << why;
      dsn_ = odbc_test::kPgDsn;
      out = odbc_test::RunPostgresSql(script_(true), &ok);
    }
    ASSERT_TRUE(ok) << out;
    dir_ = odbc_test::Dir() + "/" + folder_ + (GetParam() == 0 ? "_sqlite" : "_pg");
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ + "/kmw.ini") << "[Preferences]\nShowSplash=0\n";
    // The program run on a saved report reads the shipped SQL settings.
    std::filesystem::copy_file(VT_SOURCE_DIR "/samples/kmwsql.ini", dir_ + "/kmwsql.ini");
    setenv("VORTELLE_WINDIR", dir_.c_str(), 1);
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
    InstallRunHooks(nullptr);
    InstallRunShell(nullptr);
  }
  void TearDown() override { RemoveRunHooks(); }

  bool Postgres() const { return GetParam() != 0; }

  // The database's answer, a row a line, columns separated by '|'.
  std::string Query(const std::string& sql) {
    if (GetParam() == 0) return odbc_test::RunSqliteSql(sql + ";\n");
    return odbc_test::RunPostgresSql(sql + ";\n");
  }

  using Layout = std::function<bool(ReportMaker&, CKmDoc&)>;
  // Builds the report over table's columns, prints it here to name.pdf and
  // gives the PDF's text (empty when it did not print); with save, the
  // report is then saved as name.kmw, save given the document first.
  std::string Print(const char* name, const char* table, const std::vector<const char*>& columns,
                    const Layout& layout, const std::function<void(CKmDoc&, CKmRepIO&)>& save = nullptr) {
    SampleReportDocument d;
    CKmDoc& doc = d.doc;
    CKmRepIO& io = d.io;
    std::string text;
    {
      ReportMaker r(doc, io);
      std::string error;
      const bool built = r.Begin(dsn_.c_str(), table, columns, &error) && layout(r, doc);
      EXPECT_TRUE(built) << error;
      if (built) {
        r.Finish();
        if (margins_ > 0) {
          // Short pages: the report takes several.
          doc.m_pPageSetup->TopMargin = doc.m_pPageSetup->BottomMargin = margins_;
          CalcPageMetrics(doc);
        }
        pdf_ = dir_ + "/" + name + ".pdf";
        if (PrintToPdfHere(doc, pdf_))
          text = program_run::Capture("pdftotext -layout '" + pdf_ + "' - 2>/dev/null");
        EXPECT_FALSE(text.empty()) << name << " did not print";
        if (save) {
          save(doc, io);
          EXPECT_EQ(io.SaveReportFile((dir_ + "/" + name + ".kmw").c_str()), kRepIoOk);
        }
      }
    }
    FreeReportRun(&doc);
    return text;
  }

  // The program runs the saved report name.kmw unattended (/G); its output.
  std::string RunProgram(const char* name, int* status) {
    return program_run::Capture("cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + dir_ +
                                    "' timeout 120 '" + program_run::ProgramPath() + "' /G '" + dir_ + "/" + name +
                                    ".kmw' 2>&1",
                                status);
  }

  std::string dsn_, dir_, pdf_;
  int margins_ = 0;  // top and bottom margins of the reports printed (0: as made)

 private:
  std::string (*script_)(bool postgres);
  std::string folder_;
};

// A saved report's output made its export: the file, format and (data
// formats) the band whose fields go out, values separated by commas.
inline void ExportTo(CKmDoc& doc, CKmRepIO& io, const std::string& file, uint8_t format, uint8_t band = 0) {
  CKmExport e;
  e.format = format;
  if (band != 0) e.dataFileBand = band;
  e.dataFileType = kFileTypeComma;
  e.dataFileSeparator = ",";
  e.SetOutputPath(file);
  e.StoreTo(&io.m_stream.settings);
  doc.m_pPageSetup->word12 = 255;  // the output is the export
}

// A file's bytes.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The rows of a delimited file as Python's csv module reads them, the
// fields of a row joined by '|'.
inline std::vector<std::string> CsvRows(const std::string& path) {
  const std::string read = program_run::Capture(
      "/usr/bin/python3 -c \"import csv,sys\nfor r in csv.reader(open(sys.argv[1], encoding='cp1252')): "
      "print('|'.join(c.strip() for c in r))\" '" +
      path + "'");
  std::vector<std::string> rows;
  std::istringstream in(read);
  for (std::string line; std::getline(in, line);) rows.push_back(line);
  return rows;
}

}  // namespace roundtrip
