// A REPORTVIEW report as a user keeps it: made, opened through File > Open
// of the running program, saved under another name with File > Save As,
// opened again and printed from the frame, and printed unattended (/G): its
// SELECT is what goes to the data source, its columns take the view's names,
// and pdftotext reads its rows in both PDFs.
#include "app/app.h"
#include "app/document.h"
#include "app/main_frame.h"
#include "app/open_report.h"
#include "app/print_run.h"
#include "expr/functions_common.h"
#include "platform/win/ui_app.h"
#include "tests/app/options/dialog_steps.h"
#include "tests/app/options/sample_setup.h"
#include "tests/app/roundtrip/report_maker.h"
#include "tests/support/odbc_env.h"
#include "tests/support/program_run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using program_run::Capture;

// The PDF's lines that begin with a digit, words one blank apart.
std::vector<std::string> Rows(const std::string& pdf) {
  std::vector<std::string> rows;
  std::istringstream in(Capture("pdftotext -layout '" + pdf + "' - 2>/dev/null"));
  for (std::string line, word; std::getline(in, line);) {
    std::istringstream words(line);
    std::string joined;
    while (words >> word) joined += (joined.empty() ? "" : " ") + word;
    if (!joined.empty() && joined[0] >= '0' && joined[0] <= '9') rows.push_back(joined);
  }
  return rows;
}

class ReportViewScenario : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(program_run::ProgramPath())) GTEST_SKIP() << "the program is not built";
    for (const char* tool : {"pdftotext", "sqlite3"})
      if (!program_run::Have(tool)) GTEST_SKIP() << tool << " is missing";
    if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    bool ok = false;
    const std::string out = odbc_test::RunSqliteSql(
        "drop table if exists view_rows;\ncreate table view_rows (id integer, qty integer);\n"
        "insert into view_rows values (1, 2), (2, 5), (3, 7);\n",
        &ok);
    ASSERT_TRUE(ok) << out;
    dir_ = odbc_test::Dir() + "/reportview_scenario";
    roundtrip::MakeSettingsFolder(dir_);
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
  }

  // Opened through File > Open of the running program; null when it did not open.
  CKmDoc* Open(options_test::RunningProgram& program, const std::string& report) {
    CKmDoc* doc = program.started ? GetActiveKmDoc() : nullptr;
    if (doc == nullptr) return nullptr;
    steps_.File("Open Report", report);
    steps_.Run([&] { SendMessageA(doc->m_pMainFrame->m_hWnd, WM_COMMAND, kCmdFileOpen, 0); });
    return doc->m_bReportOpen ? doc : nullptr;
  }

  std::string dir_;
  options_test::DialogSteps steps_;
};

TEST_F(ReportViewScenario, ASavedReportViewOpensAndPrints) {
  const std::string first = dir_ + "/first.kmw", saved = dir_ + "/sales.kmw";
  roundtrip::MakeReportFile(
      odbc_test::kSqliteDsn, first,
      [](roundtrip::ReportMaker& r, std::string* error) {
        return r.BeginStatement(odbc_test::kSqliteDsn,
                                "define reportview Sales (ident, amount) as select id, qty from view_rows order by id",
                                error);
      },
      [](roundtrip::ReportMaker& r) {
        const int record = r.Line(kBandRecord);
        r.Place(r.Column("ident"), record, 0, 4, 0);
        r.Place(r.Column("amount"), record, 6, 4, 0);
      });
  const std::vector<std::string> rows = {"1 2", "2 5", "3 7"};
  {
    options_test::RunningProgram program;
    CKmDoc* doc = Open(program, first);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->m_pModel->reportViewName, "Sales");
    steps_.File("Save As", saved);
    steps_.Run([&] { SendMessageA(doc->m_pMainFrame->m_hWnd, WM_COMMAND, kCmdFileSaveAs, 0); });
    ASSERT_TRUE(fs::exists(saved));
  }
  {
    options_test::RunningProgram program;
    CKmDoc* doc = Open(program, saved);
    ASSERT_NE(doc, nullptr);
    const std::string pdf = dir_ + "/from_frame.pdf";
    options_test::PrintToPdfFile(steps_, doc->m_pMainFrame->m_hWnd, pdf);
    EXPECT_EQ(Rows(pdf), rows) << "printed from the frame";
  }
  int status = -1;
  const std::string out = Capture("cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + dir_ +
                                      "' " + program_run::ProgramLeakOptions() + " timeout 120 '" +
                                      program_run::ProgramPath() + "' /G '" + saved + "' 2>&1",
                                  &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(Rows(dir_ + "/sales.pdf"), rows) << "printed with /G";
}

}  // namespace
