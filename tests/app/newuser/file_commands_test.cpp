// The File menu and the tool bar as a new user meets them: a report whose
// master table moved, a report another program holds, Page Setup, and the
// tool bar's Print.
#include "tests/app/newuser/newuser_fixture.h"

#include "tests/app/document/document_fixture.h"

#include <fstream>

namespace newuser_test {
namespace {

constexpr UINT kCmdOpen = 32001;

// Runs an SQL statement on the sample database.
void Sql(const std::string& dir, const std::string& statement) {
  int status = -1;
  const std::string out = Capture("sqlite3 '" + dir + "/sample.db' \"" + statement + "\" 2>&1", &status);
  ASSERT_EQ(status, 0) << out;
}

// The sample's order lines moved to another table for the test's length.
struct MovedTable {
  explicit MovedTable(const std::string& d) : dir(d) { Sql(dir, "ALTER TABLE order_lines RENAME TO lines_moved"); }
  ~MovedTable() { Sql(dir, "ALTER TABLE lines_moved RENAME TO order_lines"); }
  std::string dir;
};

// Opening a report whose master table is gone asks once to choose it
// again: No opens nothing; Yes and the table where it went now opens the
// report on it, and it prints.
TEST_F(NewUserTest, AMovedMasterTableIsAskedForOnceNoOpensNothingYesTakesTheNewOne) {
  ASSERT_TRUE(Start({}));
  ASSERT_TRUE(Pump([&] { return startDialogs == 1; }));
  MovedTable moved(dir_);
  auto reselects = [&] {
    int n = 0;
    for (const std::string& m : messages) n += m.find("Re-select table order_lines?") != std::string::npos;
    return n;
  };
  messageAnswer = IDNO;
  answers.File("Open Report", dir_ + "/sales.kmw");
  Command(kCmdOpen);
  EXPECT_EQ(reselects(), 1);
  EXPECT_FALSE(doc->m_bReportOpen);
  EXPECT_EQ(WindowText(), kAppTitle);

  messages.clear();
  messageAnswer = IDYES;
  bool chosen = false;
  answers.On("Master  Table", [&](HWND d) {
    chosen = true;
    SetDlgItemTextA(d, 200, "lines_moved");  // the table's name, as the user types it
    Press(d, IDOK);
  });
  Command(kCmdOpen);
  EXPECT_EQ(reselects(), 1);
  EXPECT_TRUE(chosen);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_STREQ(doc->m_pModel->tableSlots[0]->path, "lines_moved");
  const std::string text = PrintedBy(30030, "moved");
  EXPECT_NE(text.find("Orders by customer"), std::string::npos) << text;
  EXPECT_NE(text.find("5962.15"), std::string::npos) << text;
}

}  // namespace
}  // namespace newuser_test
