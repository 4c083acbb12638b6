// File > New > Template as a new user does it: the sample report kept in a
// template library, then a new report made from it (the library chosen in a
// dialog that starts in the start-up folder) on the master table the
// user chooses; the report opens (nothing fails without a word), prints,
// and is saved, reopened and printed again.
#include "tests/app/newuser/newuser_fixture.h"

#include "app/open_report.h"

namespace newuser_test {
namespace {

constexpr UINT kCmdClose = 30000, kCmdPrint = 30030;

TEST_F(NewUserTest, ANewReportFromATemplateOpensOnTheMasterTableChosen) {
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  ASSERT_TRUE(doc->m_bReportOpen);
  const std::string library = dir_ + "/forms.qn6";
  fs::remove(library);
  answers.File("Save As", library);
  answers.On("Save Report", [](HWND d) {
    SetDlgItemTextA(d, 200, "Sales");
    Press(d, IDOK);
  });
  Command(kCmdFileSaveAs);
  ASSERT_TRUE(fs::exists(library));
  Command(kCmdClose);
  ASSERT_FALSE(doc->m_bReportOpen);

  // File > New, Template: the library's member, then the master table.
  answers.On("New", [](HWND d) { Press(d, 203); });
  // No template folder set: the dialog starts in the folder the program started in.
  std::string startedIn;
  answers.OnFile("Open Template Library", [&startedIn, library](const ui_test::FileDialogHandle& fd) {
    startedIn = fd.Folder();
    fd.Choose(library);
  });
  answers.On("Open Report", [](HWND d) {
    SelectListed(d, 200, "Sales");
    Press(d, IDOK);
  });
  answers.On("Data Source Connections", [](HWND d) {
    SelectListed(d, 200, "VortelleSample");
    Press(d, IDOK);
  });
  std::vector<std::string> tables;
  answers.On("Master  Table", [&tables](HWND d) {
    tables = ListItems(d, 200);
    SelectListed(d, 200, "order_lines");
    Press(d, IDOK);
  });
  messages.clear();
  Command(kCmdFileNew);
  ASSERT_TRUE(doc->m_bReportOpen) << testing::PrintToString(messages) << testing::PrintToString(answers.seen);
  EXPECT_EQ(fs::path(startedIn), fs::current_path()) << "not the start-up folder but " << startedIn;
  EXPECT_TRUE(messages.empty()) << messages[0];
  const std::string first = PrintedBy(kCmdPrint, "from-template");
  EXPECT_NE(first.find("Orders by customer"), std::string::npos) << first;
  EXPECT_NE(first.find("Grand total"), std::string::npos) << first;
  EXPECT_NE(first.find("Brightwater Ltd"), std::string::npos) << first;

  // Saved as a report of its own, reopened and printed the same.
  const std::string report = dir_ + "/from-template.kmw";
  fs::remove(report);
  answers.File("Save As", report);
  Command(kCmdFileSaveAs);
  ASSERT_TRUE(fs::exists(report));
  Command(kCmdClose);
  answers.File("Open Report", report);
  Command(kCmdFileOpen);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(PrintedBy(kCmdPrint, "from-template"), first);
}

}  // namespace
}  // namespace newuser_test
