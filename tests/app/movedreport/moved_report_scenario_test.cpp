// A report's pictures after the report moved, as a user meets them: a report
// with one picture beside it and one kept elsewhere, saved from the program,
// its folder then moved whole and the other picture moved into the image
// folder of the file settings. Opened in the program and printed, and
// printed unattended (/G), both pictures print without a question; pdfimages
// counts them in each PDF.
#include "app/app.h"
#include "app/document.h"
#include "app/main_frame.h"
#include "app/open_report.h"
#include "app/print_run.h"
#include "expr/functions_common.h"
#include "layout/layout_records.h"
#include "platform/win/fileio.h"
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

namespace {

namespace fs = std::filesystem;
using program_run::Capture;

// A picture of one pixel.
void WritePng(const std::string& path) {
  const unsigned char png[] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D, 0x49, 0x48, 0x44,
                               0x52, 0, 0, 0, 1, 0, 0, 0, 1, 8, 6, 0, 0, 0, 0x1F, 0x15, 0xC4, 0x89, 0, 0, 0,
                               0x0D, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0xF0, 0x1F,
                               0, 0x05, 0x00, 0x01, 0xFF, 0x89, 0x99, 0x3D, 0x1D, 0, 0, 0, 0, 0x49, 0x45,
                               0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(png), sizeof png);
}

// The images drawn in the PDF (the rows of pdfimages -list below its heading).
int ImagesIn(const std::string& pdf) {
  std::istringstream rows(Capture("pdfimages -list '" + pdf + "' 2>/dev/null"));
  int n = 0;
  for (std::string row; std::getline(rows, row);) n += !row.empty();
  return n >= 2 ? n - 2 : 0;
}

class MovedReport : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(program_run::ProgramPath())) GTEST_SKIP() << "the program is not built";
    for (const char* tool : {"pdftotext", "pdfimages", "sqlite3"})
      if (!program_run::Have(tool)) GTEST_SKIP() << tool << " is missing";
    if (!odbc_test::HaveSqliteDriver()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    std::ofstream(odbc_test::Dir() + "/moved_rows.sql")
        << "drop table if exists moved_rows;\ncreate table moved_rows (name varchar(20));\n"
           "insert into moved_rows values ('Alpha');\ninsert into moved_rows values ('Bravo');\n";
    ASSERT_EQ(std::system(("sqlite3 '" + odbc_test::Dir() + "/test.db' < '" + odbc_test::Dir() + "/moved_rows.sql'")
                              .c_str()),
              0);
    dir_ = odbc_test::Dir() + "/moved_report";
    fs::remove_all(dir_);
    for (const char* sub : {"/made", "/elsewhere", "/images"}) fs::create_directories(dir_ + sub);
    // The file settings' image folder.
    std::ofstream(dir_ + "/kmw.ini") << "[Preferences]\nShowSplash=0\n[Defaults]\nImgDir=" << dir_ << "/images\n";
    fs::copy_file(VT_SOURCE_DIR "/samples/kmwsql.ini", dir_ + "/kmwsql.ini");
    setenv("VORTELLE_WINDIR", dir_.c_str(), 1);
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
  }

  // The unattended print of report: the PDF the program writes beside it.
  std::string PrintUnattended(const std::string& report) {
    int status = -1;
    const std::string out = Capture("cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" +
                                        dir_ + "' " + program_run::ProgramLeakOptions() + " timeout 120 '" +
                                        program_run::ProgramPath() + "' /G '" + report + "' 2>&1",
                                    &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out.find("Cannot open picture file"), std::string::npos) << out;
    return fs::path(report).replace_extension(".pdf").string();
  }

  // The report opened through File > Open of the running program, with its
  // two pictures; null when it did not open.
  CKmDoc* OpenInProgram(options_test::RunningProgram& program, const std::string& report) {
    CKmDoc* doc = program.started ? GetActiveKmDoc() : nullptr;
    if (doc == nullptr) return nullptr;
    steps_.File("Open Report", report);
    steps_.Run([&] { SendMessageA(doc->m_pMainFrame->m_hWnd, WM_COMMAND, kCmdFileOpen, 0); });
    if (!doc->m_bReportOpen || doc->m_pLayout->pictures.Count() != 2) return nullptr;
    return doc;
  }

  std::string dir_;
  options_test::DialogSteps steps_;
};

TEST_F(MovedReport, PicturesBesideTheReportAndInTheImageFolderPrintAfterTheMove) {
  WritePng(dir_ + "/made/logo.png");
  WritePng(dir_ + "/elsewhere/stamp.png");
  roundtrip::MakeReportFile(odbc_test::kSqliteDsn, dir_ + "/made/first.kmw", "moved_rows", {"name"},
                            [&](roundtrip::ReportMaker& r) {
                              const int title = r.Line(kBandTitle);
                              r.Text(title, 0, "Pictured");
                              r.Picture(title, 20, dir_ + "/made/logo.png");
                              r.Picture(title, 30, dir_ + "/elsewhere/stamp.png");
                              r.Place(r.Column("name"), r.Line(kBandRecord), 0, 12);
                            });
  const std::string saved = dir_ + "/made/pictured.kmw";
  {
    // Opened and saved from the program, as a user keeps a report.
    options_test::RunningProgram program;
    CKmDoc* doc = OpenInProgram(program, dir_ + "/made/first.kmw");
    ASSERT_NE(doc, nullptr);
    EXPECT_FALSE(doc->IsModified()) << "pictures found where they were stored change nothing";
    steps_.File("Save As", saved);
    steps_.Run([&] { SendMessageA(doc->m_pMainFrame->m_hWnd, WM_COMMAND, kCmdFileSaveAs, 0); });
    ASSERT_TRUE(fs::exists(saved));
  }
  // The report's folder moves with the picture beside it; the other picture
  // goes into the image folder.
  fs::rename(dir_ + "/made", dir_ + "/moved");
  fs::rename(dir_ + "/elsewhere/stamp.png", dir_ + "/images/stamp.png");
  const std::string moved = dir_ + "/moved/pictured.kmw";

  EXPECT_EQ(ImagesIn(PrintUnattended(moved)), 2) << "printed with /G";

  // No question about either picture: a dialog no step answers fails the test.
  options_test::RunningProgram program;
  CKmDoc* doc = OpenInProgram(program, moved);
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(NativePath(doc->m_pLayout->pictures.At(0)->fileName), dir_ + "/moved/logo.png");
  EXPECT_EQ(NativePath(doc->m_pLayout->pictures.At(1)->fileName), dir_ + "/images/stamp.png");
  EXPECT_TRUE(doc->IsModified()) << "the pictures' new places are the report's change";
  const std::string pdf = dir_ + "/moved/from_frame.pdf";
  options_test::PrintToPdfFile(steps_, doc->m_pMainFrame->m_hWnd, pdf);
  EXPECT_EQ(ImagesIn(pdf), 2) << "printed from the frame";
  doc->SetModifiedFlag(FALSE);
}

}  // namespace
