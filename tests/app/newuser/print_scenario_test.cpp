// File > Print to the PDF printer with the program started from another
// folder: the PDF is written beside the report, and the status line says
// where it is.
#include "tests/app/newuser/new_user_fixture.h"

#include <unistd.h>

#include <filesystem>
#include <string>

namespace new_user {
namespace {

constexpr UINT kFilePrint = 30030;

TEST_F(NewUser, PrintWritesThePdfBesideTheReportAndSaysWhere) {
  const std::string elsewhere = Dir() + "/elsewhere";
  std::filesystem::create_directories(elsewhere);
  char here[4096] = {};
  ASSERT_NE(::getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(::chdir(elsewhere.c_str()), 0);
  ASSERT_NE(Start(), nullptr);
  EXPECT_TRUE(Run(kFilePrint, {}));
  ASSERT_EQ(::chdir(here), 0);
  const std::string pdf = Dir() + "/sales.pdf";
  ASSERT_TRUE(std::filesystem::exists(pdf));
  EXPECT_FALSE(std::filesystem::exists(elsewhere + "/sales.pdf"));
  EXPECT_NE(program_run::Capture("pdftotext -layout '" + pdf + "' -").find("Grand total"), std::string::npos);
  const char* told = MainFrame().m_wndStatusBar.GetKeptMessage();
  ASSERT_NE(told, nullptr);
  EXPECT_EQ(std::string(told), "The report is in " + pdf);
  EXPECT_TRUE(messages_.empty());
  std::filesystem::remove(pdf);
}

}  // namespace
}  // namespace new_user
