// What a change of report leaves behind, as a new user meets it: a new
// master table drops the selection, the marked lines, Undo and the designer's
// clipboard; the save question after File > New names the new report, not
// the library member open before; Cancel in Connected Data Sources keeps the
// report's data source in the title. Each ends saved, read back or printed.
#include "tests/app/newuser/newuser_fixture.h"

#include "core/composite.h"
#include "core/fields.h"
#include "data/data_access.h"
#include "designer/design_view.h"
#include "layout/layout_records.h"
#include "platform/win/menu.h"

#include <cstdlib>
#include <cstring>

namespace newuser_test {
namespace {

constexpr UINT kCmdUndo = 30100, kCmdCopy = 30120, kCmdPaste = 30130, kCmdClear = 30140, kCmdMasterTable = 30600,
               kCmdNew = 32000, kCmdClose = 30000, kCmdSaveAs = 30020, kCmdConnections = 32005,
               kCmdPrint = 30030;

TextItem* Text(CKmDoc& doc, const char* text) {
  for (TextItem* t = doc.m_pLayout->textHead; t != nullptr; t = t->nextText)
    if (t->text != nullptr && std::strcmp(t->text, text) == 0) return t;
  return nullptr;
}

TEST_F(NewUserTest, ANewMasterTableLeavesNothingSelectedMarkedHeldForUndoOrCut) {
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  CKmView& view = *doc->m_pView;
  TextItem* date = Text(*doc, "Date");
  TextItem* order = Text(*doc, "Order");
  TextItem* product = Text(*doc, "Product");
  ASSERT_TRUE(date && order && product);
  // "Date" copied, "Order" cleared, "Product" selected, the last line marked.
  view.SelectOnly(date->head);
  Command(kCmdCopy);
  view.SelectOnly(order->head);
  Command(kCmdClear);
  view.SelectOnly(product->head);
  doc->m_bandLines.lines[doc->m_bandLines.lastUsed].flags |= kLineMarked;
  ASSERT_TRUE(frame->IsCommandEnabled(kCmdUndo));
  ASSERT_TRUE(frame->IsCommandEnabled(kCmdPaste));
  ASSERT_EQ(view.CountSelected(), 1);
  ASSERT_EQ(view.MarkedLineCount(), 1);

  AnswerMasterTable("customers");
  answers.On("Fields Affected", [](HWND w) { Press(w, IDOK); });
  Command(kCmdMasterTable);
  ASSERT_STREQ(doc->m_pModel->tableSlots[0]->path, "customers");
  EXPECT_EQ(view.CountSelected(), 0);
  EXPECT_EQ(view.MarkedLineCount(), 0);
  EXPECT_FALSE(frame->IsCommandEnabled(kCmdUndo)) << "Undo Last Clear would restore nothing of the new table";
  EXPECT_FALSE(frame->IsCommandEnabled(kCmdPaste));
  Command(kCmdUndo);
  EXPECT_EQ(Text(*doc, "Order"), nullptr) << "the cleared heading stays gone";

  // Saved, read back and printed over the customers.
  Command(30010);
  EXPECT_FALSE(doc->IsModified());
  Command(kCmdClose);
  answers.File("Open Report", dir_ + "/sales.kmw");
  Command(32001);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_NE(Text(*doc, "Date"), nullptr);
  EXPECT_EQ(Text(*doc, "Order"), nullptr);
  const std::string text = PrintedBy(kCmdPrint, "new-master");
  EXPECT_NE(text.find("Orders by customer"), std::string::npos) << text;
  EXPECT_NE(text.find("Alder & Sons"), std::string::npos) << text;
}

TEST_F(NewUserTest, TheSaveQuestionAfterANewInstantReportNamesItUntitled) {
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  // The report kept as a member of a library, and open as that member.
  answers.File("Save As", dir_ + "/reports.qb6");
  answers.On("Save Report", [](HWND d) {
    SetDlgItemTextA(d, 200, "Sales");
    Press(d, IDOK);
  });
  Command(kCmdSaveAs);
  ASSERT_TRUE(doc->m_bLibraryMode);
  ASSERT_STREQ(doc->m_szReportName, "Sales");

  // File > New > Instant on the customers, then a change.
  answers.On("New", [](HWND d) { Press(d, 201); });  // Instant Report
  file_menu_test::AnswerSampleCustomers(answers);
  Command(kCmdNew);
  ASSERT_TRUE(doc->m_bReportOpen);
  ASSERT_STREQ(doc->m_pModel->tableSlots[0]->path, "customers");
  EXPECT_NE(WindowText().find("Untitled"), std::string::npos) << WindowText();
  doc->SetModifiedFlag(TRUE);

  boxes.clear();
  answer = [](const MessageBoxRecord&) { return IDCANCEL; };
  Command(kCmdClose);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Save changes to report 'Untitled'?");
  ASSERT_TRUE(doc->m_bReportOpen);

  // Saved as a report file of its own: the library member is as it was.
  answer = nullptr;
  answers.File("Save As", dir_ + "/instant.kmw");
  Command(30010);
  EXPECT_EQ(doc->GetPathName(), dir_ + "/instant.kmw");
  EXPECT_FALSE(doc->m_bLibraryMode);
  const std::string text = PrintedBy(kCmdPrint, "instant");
  EXPECT_NE(text.find("Alder & Sons"), std::string::npos) << text;
}

TEST_F(NewUserTest, CancelInConnectedDataSourcesKeepsTheReportsDataSourceInTheTitle) {
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  const std::string before = WindowText();
  ASSERT_EQ(before.rfind("VortelleSample - ", 0), 0u) << before;
  bool shown = false;
  answers.On("Connected Data Sources", [&](HWND d) {
    shown = true;
    Press(d, IDCANCEL);
  });
  Command(kCmdConnections);
  EXPECT_TRUE(shown);
  EXPECT_EQ(WindowText(), before);
  const char* current = GetDataAccess(doc->m_pModel)->GetCurrentDataSourceName();
  EXPECT_STREQ(current != nullptr ? current : "", "VortelleSample");
  const std::string text = PrintedBy(kCmdPrint, "after-cancel");
  EXPECT_NE(text.find("Alder & Sons"), std::string::npos) << text;
}


// The designer's dialogs open over the main window, clear of its menu bar
// (not at the screen's corner over the menus): each is looked at and cancelled.
TEST_F(NewUserTest, DialogsOpenOverTheMainWindowBelowItsMenuBar) {
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  ShowWindow(frame->m_hWnd, SW_SHOWNORMAL);
  MoveWindow(frame->m_hWnd, 200, 150, 900, 640, TRUE);
  RECT main;
  GetWindowRect(frame->m_hWnd, &main);
  POINT client{0, 0};
  ClientToScreen(frame->m_hWnd, &client);
  const LONG below = client.y + GetMenuBarHeight(frame->m_hWnd);
  const std::pair<UINT, const char*> dialogs[] = {
      {30620, "Sort Order"},        {30630, "Group Order"},  {30640, "Filter"},        {30650, "Show SQL"},
      {30660, "Limit Result"},      {30700, "Calculated Fields"}, {30720, "User Functions"}};
  for (const auto& [command, caption] : dialogs) {
    RECT at{};
    bool shown = false;
    answers.On(caption, [&](HWND d) {
      shown = true;
      GetWindowRect(d, &at);
      Press(d, IDCANCEL);
    });
    Command(command);
    ASSERT_TRUE(shown) << caption;
    EXPECT_GE(at.top, below) << caption << " covers the menu bar";
    EXPECT_GE(at.left, main.left) << caption;
    EXPECT_LE(at.right, main.right) << caption;
    EXPECT_LE(at.bottom, main.bottom) << caption;
    EXPECT_LE(std::abs((at.left + at.right) - (main.left + main.right)), 2) << caption << " is not centred";
  }
}

}  // namespace
}  // namespace newuser_test
