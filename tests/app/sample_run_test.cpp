// The README's road on the sample: the database and data source made by the
// sample script, the report built in code and saved by the program's writer,
// then the program run unattended (/G) to the PDF printer. The PDF must show
// the customer groups in order with their lines, each customer's total and
// the grand total.
#include "app/document.h"
#include "layout/page_setup.h"
#include "app/sample_report.h"
#include "expr/functions_common.h"
#include "files/report_io.h"
#include "platform/win/ui_app.h"
#include "tests/support/program_run.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;

using program_run::Capture;
using program_run::Have;
using program_run::ProgramPath;

class SampleRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(ProgramPath())) GTEST_SKIP() << "the program is not built";
    if (!Have("sqlite3") || !Have("pdftotext")) GTEST_SKIP() << "sqlite3 or pdftotext is missing";
    if (Capture("ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null").empty())
      GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    char tmpl[] = "/tmp/vt_sample_run_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    int status = -1;
    Capture("bash '" VT_SOURCE_DIR "/samples/make-sample' '" + dir_ + "' 2>&1", &status);
    ASSERT_EQ(status, 0);
    setenv("ODBCINI", (dir_ + "/odbc.ini").c_str(), 1);
    setenv("ODBCSYSINI", dir_.c_str(), 1);
    setenv("VORTELLE_WINDIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  std::string dir_;
};

TEST_F(SampleRun, TheSampleReportPrintsItsGroupsAndTotalsToPdf) {
  UiStartApplication();
  InstallBuiltinFunctionHandlers();
  {
    CKmDoc doc;
    std::unique_ptr<BandLineRec[]> lines(new BandLineRec[kBandLineTableRecords]);
    doc.m_bandLines.lines = lines.get();
    doc.m_pPageSetup = AllocPageSetup();
    CKmRepIO io(&doc);
    doc.m_pRepIO = &io;
    std::string error;
    ASSERT_TRUE(WriteSampleReport(doc, io, "VortelleSample", (dir_ + "/sales.kmw").c_str(), &error)) << error;
    doc.m_pRepIO = nullptr;
  }

  int status = -1;
  const std::string output =
      Capture("cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + dir_ + "' timeout 120 '" +
                  ProgramPath() + "' /G '" + dir_ + "/sales.kmw' 2>&1",
              &status);
  ASSERT_EQ(status, 0) << output;
  ASSERT_TRUE(fs::exists(dir_ + "/sales.pdf")) << output;
  const std::string text = Capture("pdftotext -layout '" + dir_ + "/sales.pdf' - 2>/dev/null");
  for (const char* expected : {"Orders by customer", "Alder & Sons", "Brightwater Ltd", "Castell Trading",
                               "Esker Outfitters", "Fennick Tools", "Canvas tent", "1299.50", "Customer total",
                               "858.75", "3424.50", "448.90", "Grand total", "5962.15"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  // The groups come in name order, each customer once, whatever the order of the rows in the table.
  const size_t alder = text.find("Alder & Sons");
  EXPECT_EQ(text.find("Alder & Sons", alder + 1), std::string::npos) << text;
  EXPECT_LT(alder, text.find("Brightwater Ltd"));
  EXPECT_LT(text.find("Brightwater Ltd"), text.find("Castell Trading"));
  EXPECT_LT(text.find("Esker Outfitters"), text.find("Fennick Tools"));
  EXPECT_LT(text.find("Fennick Tools"), text.find("Grand total"));
  // Each customer's total follows its own lines and comes before the next customer.
  EXPECT_LT(text.find("162.75"), text.find("858.75"));
  EXPECT_LT(text.find("858.75"), text.find("Brightwater Ltd"));
}

}  // namespace
