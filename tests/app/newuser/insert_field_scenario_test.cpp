// Insert > Field as its hint says: a double-click on a field of the palette
// puts it at the caret; at a spot a field or text already holds nothing is
// stacked under it, the status line says why; below the last band line the
// field gets its line. The report is saved, read back and printed.
#include "tests/app/newuser/new_user_fixture.h"

#include "app/recent_files.h"
#include "core/composite.h"
#include "dialogs/insert_field_dialog.h"
#include "layout/layout_records.h"


#include <cstring>
#include <filesystem>
#include <string>

namespace new_user {
namespace {

constexpr UINT kFilePrint = 30030;

void MouseClick(QWidget* w, QPoint at, bool twice) { ui_test::MouseClick(w, at, twice); }

// Double-clicks the field's row in the palette's list.
bool DoubleClickField(HWND palette, const char* name) {
  return ui_test::DoubleClickListRow(GetDlgItem(palette, kInsertFieldList), name, 2);
}

int PlacedCount(CKmDoc& doc, const char* name, int line) {
  int n = 0;
  for (FieldDef* f = doc.m_pModel->fieldList; f; f = f->next)
    if (IsPlacedField(f) && !(f->head.flags & (kItemDeleted | kItemInClipboard)) && f->head.bandLine == line &&
        std::strcmp(f->name, name) == 0)
      ++n;
  return n;
}

TEST_F(NewUser, DoubleClickInTheFieldPaletteInsertsAtTheCaretButNotOverAnotherItem) {
  ASSERT_NE(Start(), nullptr);
  CKmView& view = MainFrame().m_wndLayoutView;
  HWND viewWindow = view.m_hWnd;
  ui_test::Key(viewWindow, Qt::Key_F11);
  ASSERT_NE(Doc().m_pInsertField, nullptr) << "F11 opened the palette";
  HWND palette = Doc().m_pInsertField->m_hWnd;
  ASSERT_TRUE(IsWindowVisible(palette));

  // The caret to an empty spot of the title line, right of the title.
  const BandLineRec& title = Doc().m_bandLines.lines[0];
  MouseClick(viewWindow->widget.data(), QPoint(560, title.bottom - 3), false);
  ASSERT_EQ(view.CaretLine(), 0);
  const int caretX = view.m_nCaretX;
  ASSERT_EQ(PlacedCount(Doc(), "quantity", 0), 0);
  ASSERT_TRUE(DoubleClickField(palette, "quantity"));
  ASSERT_EQ(PlacedCount(Doc(), "quantity", 0), 1) << "the double-click inserted it";
  EXPECT_TRUE(Doc().IsModified());

  // The same spot again: the new field is there now.
  view.m_nCaretX = caretX;
  ASSERT_TRUE(DoubleClickField(palette, "amount"));
  EXPECT_EQ(PlacedCount(Doc(), "amount", 0), 0) << "nothing under the field";
  EXPECT_STREQ(MainFrame().m_wndStatusBar.GetText(),
               "Place the caret on an empty spot of the layout to insert a field");

  // Below the last band line: the lines down to the caret's join the band
  // above, as for a text typed there, and the field stands on the new line.
  const BandLineTable& lines = Doc().m_bandLines;
  const int last = lines.lastUsed;
  const BYTE lastBand = lines.lines[last].kind;
  const int below = lines.lines[last].bottom + 2 * (lines.lines[last + 1].bottom - lines.lines[last].bottom) - 3;
  ASSERT_LT(below, view.ClientHeight()) << "the empty space under the report shows";
  MouseClick(viewWindow->widget.data(), QPoint(40, below), false);
  const int caretLine = view.CaretLine();
  ASSERT_GT(caretLine, last);
  ASSERT_TRUE(DoubleClickField(palette, "amount"));
  EXPECT_EQ(PlacedCount(Doc(), "amount", caretLine), 1) << MainFrame().m_wndStatusBar.GetText();
  EXPECT_EQ(lines.lastUsed, caretLine);
  for (int i = last + 1; i <= caretLine; ++i) EXPECT_EQ(lines.lines[i].kind, lastBand) << i;

  // Saved, read back, printed: the title line shows the first record's quantity once.
  SendMessageA(palette, WM_COMMAND, IDCANCEL, 0);
  ui_test::Key(viewWindow, Qt::Key_S, Qt::ControlModifier);
  ASSERT_FALSE(Doc().IsModified());
  SendMessageA(Frame(), WM_COMMAND, kCmdRecentFileFirst, 0);
  ASSERT_TRUE(Doc().m_bReportOpen);
  EXPECT_EQ(PlacedCount(Doc(), "quantity", 0), 1);
  EXPECT_EQ(PlacedCount(Doc(), "amount", 0), 0);
  EXPECT_EQ(PlacedCount(Doc(), "amount", caretLine), 1);
  EXPECT_TRUE(Run(kFilePrint, {}));
  const std::string pdf = Dir() + "/sales.pdf";
  const std::string text = program_run::Capture("pdftotext -layout '" + pdf + "' -");
  const std::string first = text.substr(0, text.find('\n'));
  EXPECT_NE(first.find("Orders by customer"), std::string::npos) << text;
  EXPECT_NE(first.find_first_of("0123456789"), std::string::npos) << "the quantity prints on the title line: " << first;
  std::filesystem::remove(pdf);
}

}  // namespace
}  // namespace new_user
