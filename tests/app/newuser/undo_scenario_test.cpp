// Edit > Undo after the report changed: a Clear in one report is forgotten
// when the report is closed, so the report opened next offers nothing to
// undo and Ctrl+Z changes nothing in it.
#include "tests/app/newuser/new_user_fixture.h"

#include "app/recent_files.h"
#include "layout/layout_records.h"
#include "platform/win/menu.h"
#include "platform/win/message_box.h"


#include <string>

namespace new_user {
namespace {

constexpr UINT kEditUndo = 30100;
constexpr UINT kFileClose = 30000;

// The Edit menu's Undo item as it shows when the menu opens: its text, and
// whether it is offered.
std::string UndoItem(HWND frame, bool* offered) {
  HMENU bar = GetMenu(frame);
  HMENU edit = GetSubMenu(bar, 1);
  SendMessageA(frame, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(edit), 1);
  *offered = (GetMenuState(edit, kEditUndo, MF_BYCOMMAND) & MF_GRAYED) == 0;
  char text[128] = {};
  GetMenuStringA(edit, kEditUndo, text, sizeof text, MF_BYCOMMAND);
  return text;
}

int PlacedItems(CKmDoc& doc) {
  int n = 0;
  ForEachLayoutItem(*doc.m_pLayout, [&](ReportItemHead& h) {
    if (!(h.flags & (kItemDeleted | kItemInClipboard))) ++n;
  });
  return n;
}

TEST_F(NewUser, ClosingAReportForgetsWhatItsUndoHeld) {
  ASSERT_NE(Start(), nullptr);
  const int items = PlacedItems(Doc());
  HWND view = MainFrame().m_wndLayoutView.m_hWnd;
  ui_test::Key(view, Qt::Key_Tab);
  ui_test::Key(view, Qt::Key_Space);
  ui_test::Key(view, Qt::Key_Delete);
  ASSERT_EQ(PlacedItems(Doc()), items - 1);
  bool offered = false;
  EXPECT_EQ(UndoItem(Frame(), &offered), "&Undo Last Clear\bCtrl+Z");
  EXPECT_TRUE(offered);

  // Close, not saving the change; the same report again from the File menu's list.
  SetMessageBoxResponder([](const MessageBoxRecord&) { return IDNO; });
  SendMessageA(Frame(), WM_COMMAND, kFileClose, 0);
  SetMessageBoxResponder(nullptr);
  ASSERT_FALSE(Doc().m_bReportOpen);
  SendMessageA(Frame(), WM_COMMAND, kCmdRecentFileFirst, 0);
  ASSERT_TRUE(Doc().m_bReportOpen);
  EXPECT_EQ(PlacedItems(Doc()), items) << "the file has every item";

  EXPECT_EQ(UndoItem(Frame(), &offered), "&Undo\bCtrl+Z");
  EXPECT_FALSE(offered) << "nothing of the closed report can come back";
  ui_test::Key(view, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(PlacedItems(Doc()), items);
  EXPECT_FALSE(Doc().IsModified());
  EXPECT_EQ(Doc().m_pLayout->holdings.held, 0);
  EXPECT_TRUE(Doc().m_pLayout->holdings.savedLines.empty());
}

}  // namespace
}  // namespace new_user
