// The format bar used on the object just clicked, as a new user does: after
// Bold, Italic, a size from the size box or an alignment button, the caret,
// the band pane's grey current line and the current object stay where the
// click put them (no jump to the title line), and the changes are saved,
// read back and printed; Ctrl+Z of a move with the keys puts the object
// back and leaves the caret; the Delete button undoes the Clear it made.
#include "tests/app/newuser/newuser_fixture.h"

#include "app/apply_to_selection.h"
#include "app/frame_bars.h"
#include "designer/band_view.h"
#include "designer/design_view.h"
#include "platform/win/caret.h"
#include "platform/win/window_picture.h"


#include <string>

namespace newuser_test {
namespace {

constexpr UINT kCmdSave = 30010, kCmdPrint = 30030;

class FormatBarCaret : public NewUserTest {
 protected:
  CKmView& View() { return *doc->m_pView; }
  LayoutTables& Layout() { return *doc->m_pLayout; }
  // A size picked from the size box's list, as the mouse picks it.
  void PickSize(FrameBars& bars, int tenths) {
    const std::string entry = SizeText(tenths, doc->m_cDecimal);
    const LRESULT at = SendMessageA(bars.m_hSizeBox, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                    reinterpret_cast<LPARAM>(entry.c_str()));
    ASSERT_GE(at, 0) << "'" << entry << "' is not in the size box";
    SendMessageA(bars.m_hSizeBox, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
    SendMessageA(GetParent(bars.m_hSizeBox), WM_COMMAND, MAKEWPARAM(kSizeBox, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(bars.m_hSizeBox));
  }
  // Rows of a band line's strip in the band pane that are shaded grey (the
  // current line's shade) over most of the names' column, as the pane shows
  // them; the names' own edges hold a few grey pixels anywhere.
  int ShadedRowsInBandPane(int line) {
    CBandView& pane = frame->m_wndBandView;
    const std::string png = dir_ + "/band-pane.png";
    EXPECT_TRUE(SaveWindowPicture(pane.m_hWnd, png.c_str()));
    const QImage shot(QString::fromStdString(png));
    const BandLineRec& r = Layout().bandRecords[line];
    const int scroll = Layout().scrollY - pane.GetRulerOffset();
    const int names = shot.width() - 12;  // left of the gutter of "?" marks
    int rows = 0;
    for (int y = std::max(0, r.bottom - r.pixelHeight - scroll + 1); y < r.bottom - scroll && y < shot.height(); ++y) {
      int grey = 0;
      for (int x = 0; x < names; ++x) grey += shot.pixelColor(x, y) == QColor(128, 128, 128);
      rows += grey * 2 > names;
    }
    return rows;
  }
  // The caret, the band pane's shade and the current object are on the item.
  void ExpectStillOn(const ReportItemHead& item, const char* after) {
    SCOPED_TRACE(after);
    EXPECT_EQ(View().CaretLine(), item.bandLine);
    EXPECT_EQ(Layout().currentItem, &item);
    EXPECT_TRUE(item.flags & kItemSelected);
    EXPECT_EQ(View().CountSelected(), 1);
    const BandLineRec& r = Layout().bandRecords[item.bandLine];
    POINT p{};
    ASSERT_TRUE(GetCaretPos(&p)) << "the caret shows";
    EXPECT_GE(p.y, r.bottom - r.pixelHeight - Layout().scrollY) << "the caret stands on the object's line";
    EXPECT_LT(p.y, r.bottom - Layout().scrollY);
    EXPECT_GT(ShadedRowsInBandPane(item.bandLine), 0) << "the band pane shades the object's line";
    EXPECT_EQ(ShadedRowsInBandPane(0), 0) << "and not the title line";
  }
};

TEST_F(FormatBarCaret, TheCaretAndCurrentLineStayOnTheClickedObjectThroughFormatBarChanges) {
  const std::string sales = dir_ + "/sales.kmw";
  ASSERT_TRUE(Start({sales}));
  FrameBars& bars = ShowFormatBar();
  CToolBarWnd& format = bars.m_formatBar;

  // The "Date" heading of the page header: Bold takes its bold away, then a
  // larger size from the size box.
  TextItem* date = TextNamed("Date");
  ASSERT_NE(date, nullptr);
  ClickOn(date->head);
  ASSERT_EQ(Layout().currentItem, &date->head);
  ASSERT_NE(date->head.bandLine, 0) << "the heading is below the title";
  bars.UpdateFormatBar();
  ExpectStillOn(date->head, "the click");
  ClickButton(format, kBoldButton);
  EXPECT_EQ(date->head.fontStyle & 1, 0);
  ExpectStillOn(date->head, "Bold");
  PickSize(bars, 140);
  EXPECT_EQ(date->head.pointSize, 140);
  ExpectStillOn(date->head, "the size box");

  // The country of the group header line, plain: Bold, Italic, then right
  // alignment.
  FieldDef* country = PlacedField("country");
  ASSERT_NE(country, nullptr);
  ClickOn(country->head);
  ASSERT_EQ(Layout().currentItem, &country->head);
  ASSERT_NE(country->head.bandLine, date->head.bandLine);
  bars.UpdateFormatBar();
  ClickButton(format, kBoldButton);
  ExpectStillOn(country->head, "Bold on the country");
  ClickButton(format, kItalicButton);
  ExpectStillOn(country->head, "Italic on the country");
  EXPECT_EQ(country->head.fontStyle & 3, 3);
  ClickButton(format, kAlignRightButton);
  ExpectStillOn(country->head, "right alignment");

  // Saved, read back and printed: the country is the report's only bold
  // italic text.
  Command(kCmdSave);
  EXPECT_FALSE(doc->IsModified());
  Reopen(sales);
  date = TextNamed("Date");
  country = PlacedField("country");
  ASSERT_NE(date, nullptr);
  ASSERT_NE(country, nullptr);
  EXPECT_EQ(date->head.fontStyle & 1, 0);
  EXPECT_EQ(date->head.pointSize, 140);
  EXPECT_EQ(country->head.fontStyle & 3, 3);
  const std::string text = PrintedBy(kCmdPrint, "format-bar-caret");
  EXPECT_NE(text.find("Date"), std::string::npos) << text;
  const std::string country0 = Capture("sqlite3 '" + dir_ + "/sample.db' \"select country from customers order by company limit 1\"");
  ASSERT_FALSE(country0.empty());
  EXPECT_NE(text.find(country0.substr(0, country0.find('\n'))), std::string::npos) << text;
  const std::string fonts = Capture("pdffonts '" + dir_ + "/format-bar-caret.pdf' 2>/dev/null");
  EXPECT_TRUE(fonts.find("BoldItalic") != std::string::npos || fonts.find("BoldOblique") != std::string::npos) << fonts;
}

// Ctrl+Z after a move with the keys (F7, arrows, Enter): the heading goes
// back; the caret, and the line and inch the status line gives, stay where
// the move left them.
TEST_F(FormatBarCaret, UndoOfAKeyMovePutsTheObjectBackAndLeavesTheCaret) {
  const std::string report = dir_ + "/keymove.kmw";
  fs::copy_file(dir_ + "/sales.kmw", report, fs::copy_options::overwrite_existing);
  ASSERT_TRUE(Start({report}));
  TextItem* date = TextNamed("Date");
  ASSERT_NE(date, nullptr);
  ClickOn(date->head);
  ASSERT_EQ(Layout().currentItem, &date->head);
  const int left = date->head.left;
  const std::string before = frame->m_wndStatusBar.GetPositionText();
  HWND view = frame->m_wndLayoutView.m_hWnd;
  ui_test::Key(view, Qt::Key_F7);
  for (int i = 0; i < 5; ++i) ui_test::Key(view, Qt::Key_Right);
  ui_test::Key(view, Qt::Key_Return);
  ASSERT_GT(date->head.left, left) << "moved right";
  ExpectStillOn(date->head, "the move");
  const int moved = date->head.left;
  EXPECT_EQ(View().m_nCaretX, moved);
  const std::string movedPosition = frame->m_wndStatusBar.GetPositionText();
  EXPECT_NE(movedPosition, before);

  ui_test::Key(view, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(date->head.left, left) << "Ctrl+Z put it back";
  EXPECT_TRUE(date->head.flags & kItemSelected);
  EXPECT_EQ(View().m_nCaretX, moved) << "the caret stays where the move left it";
  POINT p{};
  ASSERT_TRUE(GetCaretPos(&p));
  EXPECT_EQ(p.x, moved - Layout().scrollX);
  EXPECT_EQ(frame->m_wndStatusBar.GetPositionText(), movedPosition);

  // Saved, read back and printed where it started.
  Command(kCmdSave);
  Reopen(report);
  date = TextNamed("Date");
  ASSERT_NE(date, nullptr);
  EXPECT_EQ(date->head.left, left);
  const std::string text = PrintedBy(kCmdPrint, "key-move-undo");
  EXPECT_NE(text.find("Date"), std::string::npos) << text;
}

// The format bar's Delete button clears the selection, shows down while the
// Clear can be undone, and with nothing selected brings the Clear back.
TEST_F(FormatBarCaret, TheDeleteButtonUndoesTheClearItMade) {
  const std::string report = dir_ + "/deletebutton.kmw";
  fs::copy_file(dir_ + "/sales.kmw", report, fs::copy_options::overwrite_existing);
  ASSERT_TRUE(Start({report}));
  FrameBars& bars = ShowFormatBar();
  CToolBarWnd& format = bars.m_formatBar;
  bars.UpdateFormatBar();
  EXPECT_FALSE(format.Find(kDeleteButton)->enabled) << "nothing selected, nothing held";

  TextItem* amount = TextNamed("Amount");
  ASSERT_NE(amount, nullptr);
  ClickOn(amount->head);
  bars.UpdateFormatBar();
  EXPECT_TRUE(format.Find(kDeleteButton)->enabled);
  EXPECT_EQ(format.Find(kDeleteButton)->check, 0);
  ClickButton(format, kDeleteButton);
  EXPECT_EQ(TextNamed("Amount"), nullptr) << "cleared";
  EXPECT_EQ(View().CountSelected(), 0);
  EXPECT_TRUE(format.Find(kDeleteButton)->enabled) << "the Clear can be undone";
  EXPECT_EQ(format.Find(kDeleteButton)->check, 1);

  ClickButton(format, kDeleteButton);
  ASSERT_EQ(TextNamed("Amount"), amount) << "brought back";
  EXPECT_TRUE(amount->head.flags & kItemSelected);
  EXPECT_EQ(format.Find(kDeleteButton)->check, 0);

  // Once more: the cleared heading stays out of the saved and printed report.
  ClickButton(format, kDeleteButton);
  EXPECT_EQ(TextNamed("Amount"), nullptr);
  Command(kCmdSave);
  Reopen(report);
  EXPECT_EQ(TextNamed("Amount"), nullptr);
  const std::string text = PrintedBy(kCmdPrint, "delete-button");
  EXPECT_EQ(text.find("Amount"), std::string::npos) << text;
  EXPECT_NE(text.find("Date"), std::string::npos) << text;
}

}  // namespace
}  // namespace newuser_test
