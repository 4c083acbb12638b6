// Where the program asks and saves, as a new user meets it: the Yes/No
// questions (Delete join?, the save question) open over the main window, not
// in the screen's middle, and File > Close leaves no line and inch behind;
// Save As starts in the open report's folder; a save refused in a new
// library leaves no library behind. Each ends saved, read back and printed.
#include "tests/app/newuser/newuser_fixture.h"

#include "designer/design_view.h"
#include "files/report_io.h"
#include "layout/layout_records.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace newuser_test {
namespace {

constexpr UINT kCmdClose = 30000, kCmdSave = 30010, kCmdSaveAs = 30020, kCmdPrint = 30030, kCmdClear = 30140,
               kCmdJoins = 30610, kCmdOpen = 32001;

TextItem* Text(CKmDoc& doc, const char* text) {
  for (TextItem* t = doc.m_pLayout->textHead; t != nullptr; t = t->nextText)
    if (t->text != nullptr && std::strcmp(t->text, text) == 0) return t;
  return nullptr;
}

int Centre(LONG a, LONG b) { return static_cast<int>((a + b) / 2); }

// Database > Joins: customers looked up by company.
void AddCustomersJoin(DialogAnswers& answers) {
  answers.On("Joins", [](HWND d) { Press(d, IDCANCEL); });
  answers.On("New Join", [&answers](HWND d) {
    answers.On("Related Table", [](HWND l) {
      SelectListed(l, 200, "customers");
      Press(l, IDOK);
    });
    Press(d, 203);
    for (int combo : {201, 205}) {
      const std::vector<std::string> items = ListItems(d, combo, true);
      for (size_t i = 0; i < items.size(); ++i)
        if (items[i].size() > 2 && items[i].substr(2) == "company") {
          SendDlgItemMessageA(d, combo, CB_SETCURSEL, i, 0);
          SendMessageA(d, WM_COMMAND, MAKEWPARAM(combo, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(d, combo)));
        }
    }
    Press(d, IDOK);
  });
}

TEST_F(NewUserTest, QuestionsOpenOverTheMainWindowAndCloseLeavesNoPosition) {
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  ShowWindow(frame->m_hWnd, SW_SHOWNORMAL);
  MoveWindow(frame->m_hWnd, 200, 150, 900, 640, TRUE);
  RECT main;
  GetWindowRect(frame->m_hWnd, &main);
  AddCustomersJoin(answers);
  Command(kCmdJoins);
  ASSERT_NE(doc->m_pModel->tableSlots[1], nullptr);

  // Delete join? over the Joins dialog, in the middle of the main window.
  RECT asked{};
  answers.On("Joins", [&](HWND d) {
    answers.On("Delete Join", [&](HWND q) {
      GetWindowRect(q, &asked);
      Press(q, IDYES);
    });
    SendDlgItemMessageA(d, 200, LB_SETCURSEL, 0, 0);
    Press(d, 201);
    Press(d, IDCANCEL);
  });
  Command(kCmdJoins);
  EXPECT_EQ(doc->m_pModel->tableSlots[1], nullptr) << "the join is deleted";
  EXPECT_NEAR(Centre(asked.left, asked.right), Centre(main.left, main.right), 2) << "Delete join? is not over the main window";
  EXPECT_NEAR(Centre(asked.top, asked.bottom), Centre(main.top, main.bottom), 2) << "Delete join? is not over the main window";

  // A change, then File > Close: the save question over the main window.
  doc->m_pView->SelectOnly(Text(*doc, "Order")->head);
  Command(kCmdClear);
  ASSERT_TRUE(doc->IsModified());
  SetMessageBoxResponder(nullptr);
  {
    ui_test::ToolkitBoxAnswer yes(QMessageBox::Yes);
    Command(kCmdClose);
    ASSERT_EQ(yes.count, 1);
    EXPECT_EQ(yes.text.rfind("Save changes to report", 0), 0u) << yes.text;
    // Title bars are the window manager's: the box's middle is the frame's within it.
    EXPECT_NEAR(yes.at.center().x(), Centre(main.left, main.right), 20) << "the save question is not over the main window";
    EXPECT_NEAR(yes.at.center().y(), Centre(main.top, main.bottom), 20) << "the save question is not over the main window";
  }
  ASSERT_FALSE(doc->m_bReportOpen);
  // The empty layout keeps no line and inch of the report that was closed.
  EXPECT_TRUE(frame->m_wndStatusBar.IsSinglePane());
  EXPECT_STREQ(frame->m_wndStatusBar.GetPositionText(), "");
  EXPECT_STREQ(frame->m_wndStatusBar.GetPaneText(0), "");

  // Opened again: the change was saved, the position is the new report's.
  answers.File("Open Report", dir_ + "/sales.kmw");
  Command(kCmdOpen);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_FALSE(frame->m_wndStatusBar.IsSinglePane());
  EXPECT_EQ(std::string(frame->m_wndStatusBar.GetPositionText()).rfind("Line:", 0), 0u)
      << frame->m_wndStatusBar.GetPositionText();
  EXPECT_EQ(Text(*doc, "Order"), nullptr);
  EXPECT_EQ(doc->m_pModel->tableSlots[1], nullptr);
  const std::string text = PrintedBy(kCmdPrint, "asked-over-main");
  EXPECT_NE(text.find("Grand total"), std::string::npos) << text;
}

// A report opened from a folder of its own: Save As starts there, not in the
// data folder, and after a save elsewhere starts where the report now is.
TEST_F(NewUserTest, SaveAsStartsInTheFolderOfTheOpenReport) {
  fs::create_directories(dir_ + "/away");
  fs::create_directories(dir_ + "/kept");
  fs::copy_file(dir_ + "/sales.kmw", dir_ + "/away/sales.kmw", fs::copy_options::overwrite_existing);
  ASSERT_TRUE(Start({dir_ + "/away/sales.kmw"}));
  std::vector<std::string> folders;
  auto saveAs = [&](const std::string& path) {
    answers.OnFile("Save As", [&folders, path](const ui_test::FileDialogHandle& fd) {
      folders.push_back(fd.Folder());
      fd.Choose(path);
    });
    Command(kCmdSaveAs);
  };
  saveAs(dir_ + "/kept/copy.kmw");
  ASSERT_EQ(doc->GetPathName(), dir_ + "/kept/copy.kmw");
  saveAs(dir_ + "/kept/second.kmw");
  // Into a new library: asked about the extension, then the member's name.
  answers.On("Save Report", [](HWND d) {
    SetDlgItemTextA(d, 200, "Sales");
    Press(d, IDOK);
  });
  fs::create_directories(dir_ + "/shelf");
  saveAs(dir_ + "/shelf/reports.qb6");
  ASSERT_TRUE(doc->m_bLibraryMode);
  saveAs(dir_ + "/kept/third.kmw");
  const std::vector<std::string> expected = {dir_ + "/away", dir_ + "/kept", dir_ + "/kept", dir_ + "/shelf"};
  EXPECT_EQ(folders, expected);

  Command(kCmdClose);
  answers.File("Open Report", dir_ + "/kept/third.kmw");
  Command(kCmdOpen);
  ASSERT_TRUE(doc->m_bReportOpen);
  const std::string text = PrintedBy(kCmdPrint, "saved-as");
  EXPECT_NE(text.find("Grand total"), std::string::npos) << text;
}

// A report that a library cannot hold whole is refused there, and the new
// library the Save As would have made is not left behind.
TEST_F(NewUserTest, ASaveRefusedInANewLibraryLeavesNoLibrary) {
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  // Printed to a file whose name is longer than a library member can keep.
  const std::string longName = dir_ + "/" + std::string(260, 'p') + ".pdf";
  doc->m_pPageSetup->OutputDestination = 2;
  doc->m_pRepIO->m_stream.settings.printFileName = longName;
  doc->SetModifiedFlag(TRUE);
  // A name with accents is the code page's inside the program, the
  // system's on the disk: it goes all the same.
  for (const std::string& name : {std::string("refused.qb6"), std::string("r\xC3\xA9" "fus\xC3\xA9" ".qb6")}) {
    SCOPED_TRACE(name);
    const std::string library = dir_ + "/" + name;
    fs::remove(library);
    answers.File("Save As", library);
    answers.On("Save Report", [](HWND d) {
      SetDlgItemTextA(d, 200, "Sales");
      Press(d, IDOK);
    });
    messages.clear();
    Command(kCmdSaveAs);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("This report cannot be saved in a library without information loss.", 0), 0u)
        << messages[0];
    EXPECT_FALSE(fs::exists(library)) << "a refused save left " << fs::file_size(library) << " bytes";
    EXPECT_FALSE(doc->m_bLibraryMode);
    EXPECT_EQ(doc->GetPathName(), dir_ + "/sales.kmw");
  }

  // As a report file it is kept whole: read back and printed.
  answers.File("Save As", dir_ + "/whole.kmw");
  Command(kCmdSaveAs);
  ASSERT_EQ(doc->GetPathName(), dir_ + "/whole.kmw");
  Command(kCmdClose);
  answers.File("Open Report", dir_ + "/whole.kmw");
  Command(kCmdOpen);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(doc->m_pRepIO->m_stream.settings.printFileName, longName);
  const std::string text = PrintedBy(kCmdPrint, "whole");
  EXPECT_NE(text.find("Grand total"), std::string::npos) << text;
}

}  // namespace
}  // namespace newuser_test
