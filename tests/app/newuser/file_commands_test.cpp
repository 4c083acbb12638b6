// The File menu and the tool bar as a new user meets them: a report whose
// master table moved, a report another program holds, Page Setup, and the
// tool bar's Print.
#include "tests/app/newuser/newuser_fixture.h"

#include "tests/app/document/document_fixture.h"
#include "tests/support/metafile_bytes.h"
#include "layout/item_tables.h"

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

// A report another program holds: Yes opens a copy of it beside it, on
// its own tables, with no question about them, and the copy prints.
TEST_F(NewUserTest, AReportHeldElsewhereOpensAsACopy) {
  ASSERT_TRUE(Start({}));
  ASSERT_TRUE(Pump([&] { return startDialogs == 1; }));
  const std::string held = dir_ + "/held.kmw";
  fs::copy_file(dir_ + "/sales.kmw", held, fs::copy_options::overwrite_existing);
  int release = -1;
  const pid_t child = doc_test::HoldInChild(held, &release);
  ASSERT_GT(child, 0);
  answers.File("Open Report", held);
  Command(kCmdOpen);
  doc_test::EndChild(child, release);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, held + " is being used. Do you want to make a copy?");
  EXPECT_TRUE(messages.empty()) << messages[0];
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(WindowText(), std::string("VortelleSample - Copy of held.kmw - ") + kAppTitle);
  const std::string text = PrintedBy(30030, "copy");
  EXPECT_NE(text.find("5962.15"), std::string::npos) << text;
  Stop();
  EXPECT_FALSE(fs::exists(dir_ + "/Copy of held.kmw")) << "the copy goes with the program";
}

// A report script on A4 paper that asks to print: it prints at once with
// the current settings, on A4, with no Print dialog; so does the tool bar's
// Print. Page Setup then shows A4, and OK with nothing changed keeps the
// paper and its source.
TEST_F(NewUserTest, AScriptsPrintAndTheToolBarsPrintUseTheCurrentSettingsOnTheScriptsPaper) {
  const std::string script = dir_ + "/a4.txt";
  std::ofstream(script, std::ios::binary)
      << "[Report]\r\nMasterTable=order_lines\r\nDataSource=VortelleSample\r\nReportName=ScriptA4\r\n"
         "[PageFormat]\r\nPageSize=3\r\n"
         "[Record]\r\nNumField=order_id,F,0.4,0,,6,0\r\nCharField=product,F,1.4,0,,14\r\n"
         "[Actions]\r\nMenu=FilePrint\r\n";
  int asked = 0;
  const fs::path before = fs::current_path();
  fs::current_path(dir_);  // the printed file is named after the report, in the folder the program runs in
  const std::string pdf = dir_ + "/ScriptA4.pdf";
  fs::remove(pdf);
  ASSERT_TRUE(Start({"/S" + script}));
  SetPrintDialogRunner([&](CKmDoc&) {
    ++asked;
    return 0;  // the user would have cancelled
  });
  ASSERT_TRUE(doc->m_bReportOpen);
  Pump([&] { return fs::exists(pdf) && fs::file_size(pdf) > 0; });
  fs::current_path(before);
  ASSERT_TRUE(fs::exists(pdf)) << "the script's print printed nothing";
  EXPECT_EQ(asked, 0);
  const std::string info = Capture("pdfinfo '" + pdf + "' 2>/dev/null");
  EXPECT_NE(info.find("(A4)"), std::string::npos) << info;
  EXPECT_NE(Capture("pdftotext -layout '" + pdf + "' - 2>/dev/null").find("Canvas tent"), std::string::npos);

  const std::string text = PrintedBy(30031, "toolbar");
  EXPECT_EQ(asked, 0);
  EXPECT_NE(text.find("Canvas tent"), std::string::npos) << text;

  const PageSetupRec script_page = *doc->m_pPageSetup;
  std::string shown;
  answers.On("Page Setup", [&](HWND d) {
    char paper[100] = {};
    GetDlgItemTextA(d, 200, paper, sizeof paper);
    shown = paper;
    Press(d, IDOK);
  });
  Command(30512);
  EXPECT_NE(shown.find("A4"), std::string::npos) << shown;
  EXPECT_EQ(GetPrintRunContext().printer.paperCode, 9);
  EXPECT_EQ(doc->m_pPageSetup->PaperLength, script_page.PaperLength);
  EXPECT_EQ(doc->m_pPageSetup->PaperWidth, script_page.PaperWidth);
  EXPECT_EQ(doc->m_pPageSetup->PaperSource, script_page.PaperSource);
}

// Page Setup and OK, changing nothing, leaves a report unchanged: a new
// blank report (no paper source chosen yet) and the saved sample report.
TEST_F(NewUserTest, PageSetupOkWithNothingChangedChangesNothing) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"/NVortelleSample", "/Tcustomers"}, std::vector<std::string>{dir_ + "/sales.kmw"}}) {
    ASSERT_TRUE(Start(args));
    ASSERT_TRUE(doc->m_bReportOpen);
    ASSERT_FALSE(doc->IsModified());
    const PageSetupRec before = *doc->m_pPageSetup;
    bool shown = false;
    answers.On("Page Setup", [&](HWND d) {
      shown = true;
      Press(d, IDOK);
    });
    Command(30512);
    EXPECT_TRUE(shown);
    for (int i = 0; i < kPageSetupWords; ++i)
      EXPECT_EQ(GetPageSetupWord(*doc->m_pPageSetup, i), GetPageSetupWord(before, i)) << args[0] << ": word " << i;
    EXPECT_FALSE(doc->IsModified()) << args[0];
  }
}

// Insert > Picture of metafiles: one sized by its header goes in; one
// whose header gives no units per inch is a damaged picture, refused with
// its message.
TEST_F(NewUserTest, AMetafileWithoutUnitsPerInchIsRefusedAsDamaged) {
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  ASSERT_TRUE(doc->m_bReportOpen);
  ShowWindow(frame->m_hWnd, SW_SHOWNORMAL);
  MoveWindow(frame->m_hWnd, 0, 0, 1000, 720, TRUE);
  Pump([] { return true; });
  LayoutTables& layout = *doc->m_pLayout;
  const std::string good = dir_ + "/good.wmf", zero = dir_ + "/zero.wmf";
  ASSERT_TRUE(metafile_bytes::WriteFile(good, metafile_bytes::PlaceableWmf(1440, 1440, 720, 0xFF0000, 0, 0, 1440, 720)));
  ASSERT_TRUE(metafile_bytes::WriteFile(zero, metafile_bytes::PlaceableWmf(0, 1440, 720, 0xFF0000, 0, 0, 1440, 720)));
  const BandLineRec& title = layout.Lines().lines[0];
  auto insert = [&](const std::string& file, int x) {
    answers.File("Picture File", file);
    Command(30460);
    const LPARAM at = MAKELPARAM(x - layout.scrollX, title.bottom - 2 - layout.scrollY);
    SendMessageA(frame->m_wndLayoutView.m_hWnd, WM_LBUTTONDOWN, 1, at);
    SendMessageA(frame->m_wndLayoutView.m_hWnd, WM_LBUTTONUP, 0, at);
  };
  insert(good, 400);
  ASSERT_EQ(layout.pictures.Count(), 1);
  EXPECT_TRUE(messages.empty()) << messages[0];
  insert(zero, 600);
  EXPECT_EQ(layout.pictures.Count(), 1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("picture"), std::string::npos) << messages[0];
}

}  // namespace
}  // namespace newuser_test
