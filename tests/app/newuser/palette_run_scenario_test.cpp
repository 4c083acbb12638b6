// The Insert Field palette while the report runs: it opens over the layout
// (clear of the menu bar), goes out of the way while the preview waits on
// its page, places nothing on the report being run, and comes back enabled
// when the preview closes, where it places a field again. Saved, read back
// and printed.
#include "tests/app/newuser/new_user_fixture.h"

#include "core/composite.h"
#include "core/fields.h"
#include "designer/design_view.h"
#include "dialogs/insert_field_dialog.h"
#include "layout/layout_records.h"
#include "platform/win/menu.h"
#include "tests/app/filemenu/file_menu_fixture.h"

#include <cstring>

namespace new_user {
namespace {

constexpr UINT kCmdInsertField = 30400, kCmdPreview = 30040, kCmdSave = 30010, kCmdClose = 30000,
               kCmdPrint = 30030;

int FieldCount(CKmDoc& doc) {
  int n = 0;
  for (FieldDef* f = doc.m_pModel->fieldList; f != nullptr; f = f->next) ++n;
  return n;
}

int Placed(CKmDoc& doc, const char* name) {
  int n = 0;
  for (FieldDef* f = doc.m_pModel->fieldList; f != nullptr; f = f->next)
    if (IsPlacedField(f) && !(f->head.flags & (kItemDeleted | kItemInClipboard)) && std::strcmp(f->name, name) == 0)
      ++n;
  return n;
}

void ChooseAndInsert(HWND palette, const char* name) {
  const std::vector<std::string> rows = file_menu_test::ListItems(palette, kInsertFieldList);
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].size() > 2 && rows[i].substr(2) == name)
      SendDlgItemMessageA(palette, kInsertFieldList, LB_SETCURSEL, i, 0);
  file_menu_test::Press(palette, kInsertFieldButton);
}

class PaletteRun : public NewUser {
 protected:
  // The country placed from the palette at the caret on the title line; the
  // report saved, read back and printed: the title line carries a country.
  void InsertCountrySaveAndPrint(HWND palette, const std::string& name) {
    const int placed = Placed(Doc(), "country");
    Doc().m_pView->MoveCaretToPoint(560, Doc().m_bandLines.lines[0].bottom - 3, true, true);
    ChooseAndInsert(palette, "country");
    EXPECT_EQ(Placed(Doc(), "country"), placed + 1);
    SendMessageA(Frame(), WM_COMMAND, kCmdSave, 0);
    EXPECT_FALSE(Doc().IsModified());
    SendMessageA(Frame(), WM_COMMAND, kCmdClose, 0);
    ASSERT_TRUE(Doc().ReadReport((Dir() + "/sales.kmw").c_str()));
    EXPECT_EQ(Placed(Doc(), "country"), placed + 1);
    PrintRunContext& ctx = GetPrintRunContext();
    ctx.printToFile = Dir() + "/" + name + ".pdf";
    Doc().m_pPageSetup->OutputDestination = 2;
    SendMessageA(Frame(), WM_COMMAND, kCmdPrint, 0);
    const std::string text = program_run::Capture("pdftotext -layout '" + ctx.printToFile + "' - 2>/dev/null");
    const std::string title = text.substr(0, text.find('\n'));
    EXPECT_NE(title.find("Orders by customer"), std::string::npos) << text;
    EXPECT_NE(title.find("Norway"), std::string::npos) << text;
  }
};

TEST_F(PaletteRun, ThePaletteIsOverTheLayoutAndPlacesNothingWhileThePreviewRuns) {
  ASSERT_NE(Start(), nullptr);
  SendMessageA(Frame(), WM_COMMAND, kCmdInsertField, 0);
  ASSERT_NE(Doc().m_pInsertFieldPalette, nullptr);
  HWND palette = Doc().m_pInsertFieldPalette->m_hWnd;
  ASSERT_TRUE(IsWindowVisible(palette));

  // Over the layout view, below the menu bar and right of the band pane.
  RECT frame, view, own, bands;
  GetWindowRect(Frame(), &frame);
  GetWindowRect(Doc().m_pView->m_hWnd, &view);
  GetWindowRect(MainFrame().GetBandPane(), &bands);
  GetWindowRect(palette, &own);
  POINT client{0, 0};
  ClientToScreen(Frame(), &client);
  EXPECT_GE(own.top, client.y + GetMenuBarHeight(Frame())) << "not over the menu bar";
  EXPECT_GE(own.left, bands.right) << "not over the band pane";
  EXPECT_GE(own.top, view.top);
  EXPECT_LE(own.right, view.right);

  // The preview waits on its page: the palette is hidden and disabled, and
  // an Insert sent to it all the same places nothing.
  const int fields = FieldCount(Doc());
  bool checked = false;
  const bool done = Run(kCmdPreview, {
      [&] { return ActivePreview() != nullptr && ActivePreview()->m_bWaiting && !ActivePreview()->m_bBusy; },
      [&] {
        EXPECT_FALSE(IsWindowVisible(palette));
        EXPECT_FALSE(IsWindowEnabled(palette));
        ChooseAndInsert(palette, "country");
        EXPECT_EQ(FieldCount(Doc()), fields) << "no field added to the report being run";
        checked = true;
        ActivePreview()->OnPreviewCommand(kCmdPreviewClose);
        return true;
      },
  });
  EXPECT_TRUE(done && checked);
  ASSERT_EQ(ActivePreview(), nullptr);
  EXPECT_FALSE(Doc().IsModified());

  // Back in the designer: shown and enabled, and Insert places the field at the caret.
  EXPECT_TRUE(IsWindowVisible(palette));
  EXPECT_TRUE(IsWindowEnabled(palette));
  InsertCountrySaveAndPrint(palette, "palette-run");
}

// Insert > Field asked for while the preview waits: the palette comes up
// off (and out of the way) and stays so through a message the preview shows
// (its Help, which says no help viewer exists), until the preview closes.
TEST_F(PaletteRun, ThePaletteAskedForDuringAPreviewStaysOffUntilThePreviewCloses) {
  ASSERT_NE(Start(), nullptr);
  ASSERT_EQ(Doc().m_pInsertFieldPalette, nullptr);
  HWND palette = nullptr;
  std::string said;
  bool checked = false;
  const answer_box::Box message{kAppTitle, 200};
  const bool done = Run(kCmdPreview, {
      [&] { return ActivePreview() != nullptr && ActivePreview()->m_bWaiting && !ActivePreview()->m_bBusy; },
      [&] {
        SendMessageA(Frame(), WM_COMMAND, kCmdInsertField, 0);
        palette = Doc().m_pInsertFieldPalette != nullptr ? Doc().m_pInsertFieldPalette->m_hWnd : nullptr;
        EXPECT_NE(palette, nullptr);
        EXPECT_FALSE(IsWindowEnabled(palette)) << "opened during the preview";
        EXPECT_FALSE(IsWindowVisible(palette));
        PostMessageA(ActivePreview()->m_hWnd, WM_COMMAND, kCmdPreviewHelp, 0);
        return true;
      },
      answer_box::Press(message, IDOK, &said),
      [&] {
        if (answer_box::Find(message) != nullptr || ActivePreview() == nullptr || !ActivePreview()->m_bWaiting)
          return false;
        EXPECT_FALSE(IsWindowEnabled(palette)) << "the message gave the palette back during the run";
        checked = true;
        ActivePreview()->OnPreviewCommand(kCmdPreviewClose);
        return true;
      },
  });
  EXPECT_TRUE(done && checked);
  EXPECT_NE(said.find("help viewer"), std::string::npos) << said;
  ASSERT_EQ(ActivePreview(), nullptr);
  ASSERT_TRUE(IsWindow(palette));
  EXPECT_TRUE(IsWindowEnabled(palette));
  EXPECT_TRUE(IsWindowVisible(palette));

  // It places a field once the run is over.
  InsertCountrySaveAndPrint(palette, "palette-preview");
}

}  // namespace
}  // namespace new_user
