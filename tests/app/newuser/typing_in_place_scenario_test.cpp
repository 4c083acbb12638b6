// Text typed in place while something else would change what the editor
// stands on, as a new user meets it: the format bar's font controls rest
// while the editor is open and Bold works once it ends; a change of the
// system's settings or fonts, and a report dropped on the layout, store the
// typed text first; Shift+Tab moves the object the status line names and
// leaves the selection, which Delete removes. Each ends saved, read back
// and printed.
#include "tests/app/newuser/newuser_fixture.h"

#include "app/frame_bars.h"
#include "core/fields.h"
#include "designer/design_view.h"
#include "dialogs/edit_text.h"
#include "layout/layout_records.h"
#include "platform/win/drop_target.h"
#include "tests/platform/ui/ui_test_util.h"

#include <cstdlib>
#include <cstring>
#include <fstream>

namespace newuser_test {
namespace {

constexpr UINT kCmdSave = 30010, kCmdPrint = 30030;

class TypingInPlace : public NewUserTest {
 protected:
  CKmView& View() { return *doc->m_pView; }
  LayoutTables& Layout() { return *doc->m_pLayout; }
  bool ButtonEnabled(CToolBarWnd& bar, UINT id) {
    for (const ToolSlot& s : bar.Slots())
      if (s.id == id) return s.enabled;
    return false;
  }
  // Letters typed where the keyboard focus is: the view opens the editor on
  // the first, which then takes the rest.
  void TypeKeys(const std::string& word) {
    for (char c : word) {
      HWND target = View().EditorOpen() ? View().TextEditor()->Window() : View().m_hWnd;
      const int key = c == ' ' ? Qt::Key_Space : Qt::Key_A + (std::toupper(static_cast<unsigned char>(c)) - 'A');
      ui_test::Key(target, key, Qt::NoModifier, QString(QChar(c)));
    }
  }
  // The caret on an empty spot of the title line, the word typed there.
  void TypeOnTitleLine(const std::string& word, int x) {
    View().MoveCaretToPoint(x, doc->m_bandLines.lines[0].bottom - 3, true, true);
    TypeKeys(word);
    ASSERT_TRUE(View().EditorOpen());
    ASSERT_EQ(View().TextEditor()->Text(), word);
  }
  void Enter() {
    ui_test::Key(View().TextEditor()->Window(), Qt::Key_Return);
    EXPECT_TRUE(Pump([&] { return !View().EditorOpen(); }));
  }
};

TEST_F(TypingInPlace, TheFontControlsRestWhileTypingAndBoldWorksOnTheTextOnceTheEditorEnds) {
  const std::string sales = dir_ + "/sales.kmw";
  ASSERT_TRUE(Start({sales}));
  FrameBars& bars = ShowFormatBar();
  CToolBarWnd& format = bars.m_formatBar;

  // The "Date" heading clicked: its font and styles are on the bar.
  TextItem* date = TextNamed("Date");
  ASSERT_NE(date, nullptr);
  ClickOn(date->head);
  ASSERT_EQ(Layout().currentItem, &date->head);
  bars.UpdateFormatBar();
  ASSERT_TRUE(IsWindowEnabled(bars.m_hFontBox));
  ASSERT_TRUE(ButtonEnabled(format, kBoldButton));
  const uint8_t style = date->head.fontStyle;
  ASSERT_TRUE(style & 1) << "the headings are bold";

  // F2: typing in place on it. The font box, the size box and the three
  // styles go grey; a click on Bold does nothing, and Bold or a face sent to
  // the bar all the same are refused.
  ui_test::Key(View().m_hWnd, Qt::Key_F2);
  ASSERT_TRUE(View().EditorOpen());
  EXPECT_FALSE(IsWindowEnabled(bars.m_hFontBox));
  EXPECT_FALSE(IsWindowEnabled(bars.m_hSizeBox));
  for (UINT id : {kBoldButton, kItalicButton, kUnderlineButton}) EXPECT_FALSE(ButtonEnabled(format, id)) << id;
  EXPECT_TRUE(ButtonEnabled(format, kSnapButton)) << "the other buttons keep their state";
  ClickButton(format, kBoldButton);
  EXPECT_FALSE(bars.HandleCommand(kItalicButton, BN_CLICKED));
  SendMessageA(bars.m_hFontBox, CB_SETCURSEL, 0, 0);
  SendMessageA(format.m_hWnd, WM_COMMAND, MAKEWPARAM(kFontBox, CBN_SELCHANGE), reinterpret_cast<LPARAM>(bars.m_hFontBox));
  EXPECT_EQ(date->head.fontStyle, style);
  ASSERT_TRUE(View().EditorOpen());

  // The typing goes on where the keys were (the click on the bar took no
  // focus), in the font it started in; Enter stores it.
  ASSERT_EQ(GetFocus(), View().TextEditor()->Window());
  for (char c : std::string(" due"))
    ui_test::KeyToFocus(c == ' ' ? Qt::Key_Space : Qt::Key_A + (c - 'a'), Qt::NoModifier, QString(QChar(c)));
  EXPECT_EQ(View().TextEditor()->Text(), "Date due");
  Enter();
  ASSERT_EQ(TextNamed("Date due"), date);

  // Back on: Bold clicked on the bar takes the heading's bold away.
  bars.UpdateFormatBar();
  EXPECT_TRUE(IsWindowEnabled(bars.m_hFontBox));
  ASSERT_TRUE(ButtonEnabled(format, kBoldButton));
  ClickButton(format, kBoldButton);
  EXPECT_EQ(date->head.fontStyle & 1, 0);

  // Saved, read back and printed.
  Command(kCmdSave);
  EXPECT_FALSE(doc->IsModified());
  Reopen(sales);
  date = TextNamed("Date due");
  ASSERT_NE(date, nullptr);
  EXPECT_EQ(date->head.fontStyle & 1, 0);
  const std::string text = PrintedBy(kCmdPrint, "typed-heading");
  EXPECT_NE(text.find("Date due"), std::string::npos) << text;
}

TEST_F(TypingInPlace, ASettingsOrFontChangeWhileTypingStoresTheTextFirst) {
  const std::string sales = dir_ + "/sales.kmw";
  ASSERT_TRUE(Start({sales}));
  const char* windir = std::getenv("VORTELLE_WINDIR");
  ASSERT_NE(windir, nullptr);

  // Another program writes the system's settings file while a word is typed.
  TypeOnTitleLine("GOLF", 300);
  {
    std::ofstream ini(std::string(windir) + "/win.ini", std::ios::app);
    ini << "\n[intl]\nsShortDate=dd/MM/yyyy\n";
  }
  EXPECT_TRUE(Pump([&] { return !View().EditorOpen(); })) << "the editor stays open over the fonts made again";
  EXPECT_NE(TextNamed("GOLF"), nullptr);

  // The system's fonts change while another word is typed.
  TypeOnTitleLine("HOTEL", 420);
  SendMessageA(frame->m_hWnd, WM_FONTCHANGE, 0, 0);
  EXPECT_FALSE(View().EditorOpen());
  EXPECT_NE(TextNamed("HOTEL"), nullptr);

  // Typing goes on in the fonts made again.
  TypeOnTitleLine("INDIA", 560);
  Enter();
  Command(kCmdSave);
  Reopen(sales);
  for (const char* word : {"GOLF", "HOTEL", "INDIA"}) EXPECT_NE(TextNamed(word), nullptr) << word;
  const std::string text = PrintedBy(kCmdPrint, "typed-through-changes");
  const std::string title = text.substr(0, text.find('\n'));
  for (const char* word : {"GOLF", "HOTEL", "INDIA"}) EXPECT_NE(title.find(word), std::string::npos) << text;
}

TEST_F(TypingInPlace, AReportDroppedWhileTypingFindsTheTextStoredAndOffersToSaveIt) {
  const std::string sales = dir_ + "/sales.kmw", other = dir_ + "/dropped.kmw";
  fs::copy_file(sales, other, fs::copy_options::overwrite_existing);
  ASSERT_TRUE(Start({sales}));
  TypeOnTitleLine("JULIET", 300);

  // Dropped from the file manager: the save question names the report typed
  // on (Yes saves it), and the dropped one opens with no editor over it.
  boxes.clear();
  DropData data;
  data.files.push_back(other);
  EXPECT_EQ(DragDataOntoWindow(View().m_hWnd, data, POINT{200, 100}, 0), DROPEFFECT_COPY);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("sales.kmw"), std::string::npos) << boxes[0].text;
  EXPECT_FALSE(View().EditorOpen());
  ASSERT_EQ(doc->GetPathName(), other);
  EXPECT_EQ(TextNamed("JULIET"), nullptr);

  Reopen(sales);
  EXPECT_NE(TextNamed("JULIET"), nullptr);
  const std::string text = PrintedBy(kCmdPrint, "typed-before-drop");
  EXPECT_NE(text.substr(0, text.find('\n')).find("JULIET"), std::string::npos) << text;
}

TEST_F(TypingInPlace, ShiftTabMovesTheCurrentObjectOnlyAndDeleteRemovesTheSelection) {
  const std::string sales = dir_ + "/sales.kmw";
  ASSERT_TRUE(Start({sales}));
  // The company, the first field of the group's header line, clicked; the
  // "Amount" heading ends the line above it.
  FieldDef* company = PlacedField("company");
  ASSERT_NE(company, nullptr);
  ClickOn(company->head);
  ASSERT_EQ(Layout().currentItem, &company->head);
  ASSERT_EQ(View().CountSelected(), 1);

  // The status line names the object Shift+Tab made current; the company
  // stays the one selected.
  ui_test::Key(View().m_hWnd, Qt::Key_Backtab, Qt::ShiftModifier);
  TextItem* amount = TextNamed("Amount");
  ASSERT_NE(amount, nullptr);
  ASSERT_EQ(Layout().currentItem, &amount->head);
  EXPECT_EQ(std::string(frame->m_wndStatusBar.GetText()), "Text: \"Amount\"");
  EXPECT_EQ(View().CountSelected(), 1);
  EXPECT_FALSE(amount->head.flags & kItemSelected);
  EXPECT_TRUE(company->head.flags & kItemSelected);

  ui_test::Key(View().m_hWnd, Qt::Key_Delete);
  EXPECT_EQ(PlacedField("company"), nullptr) << "Delete removes the selected object";
  EXPECT_NE(TextNamed("Amount"), nullptr);

  Command(kCmdSave);
  Reopen(sales);
  EXPECT_EQ(PlacedField("company"), nullptr);
  EXPECT_NE(TextNamed("Amount"), nullptr);
  const std::string text = PrintedBy(kCmdPrint, "tab-delete");
  EXPECT_NE(text.find("Amount"), std::string::npos) << text;
  EXPECT_EQ(text.find("Alder & Sons"), std::string::npos) << text;
}

}  // namespace
}  // namespace newuser_test
