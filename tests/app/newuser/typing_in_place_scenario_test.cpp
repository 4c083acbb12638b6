// Text typed in place while something else would change what the editor
// stands on, as a new user meets it: the format bar's font boxes rest while
// the editor is open, and Bold, Italic and Underline change the selection
// while the typing goes on taking the keys; a
// letter typed on the current object starts no text over it; clicks while
// typing store the text and do nothing more; a change of the
// system's settings or fonts, and a report dropped on the layout, store the
// typed text first; Shift+Tab moves the object the status line names and
// leaves the selection, which Delete removes; after a menu used with the
// mouse the letters go where the keys were. Each ends saved, read back and
// printed.
#include "tests/app/newuser/newuser_fixture.h"

#include "app/frame_bars.h"
#include "core/fields.h"
#include "designer/band_view.h"
#include "designer/design_view.h"
#include "dialogs/edit_text.h"
#include "layout/layout_records.h"
#include "platform/win/drop_target.h"
#include "platform/win/menu.h"
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
  // Letters typed where the keyboard focus is.
  static void TypeToFocus(const std::string& word) {
    for (char c : word)
      ui_test::KeyToFocus(Qt::Key_A + (std::toupper(static_cast<unsigned char>(c)) - 'A'), Qt::NoModifier,
                          QString(QChar(c)));
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
  // A press and release of the right button, as the mouse gives them.
  static void RightClick(HWND window, QPoint at) {
    QWidget* w = window->widget.data();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QMouseEvent e(type, at, w->mapToGlobal(at), Qt::RightButton,
                    type == QEvent::MouseButtonPress ? Qt::RightButton : Qt::NoButton, Qt::NoModifier);
      QApplication::sendEvent(w, &e);
    }
  }
  void Enter() {
    ui_test::Key(View().TextEditor()->Window(), Qt::Key_Return);
    EXPECT_TRUE(Pump([&] { return !View().EditorOpen(); }));
  }
};

TEST_F(TypingInPlace, TheFontBoxesRestWhileTypingAndTheStylesLeaveTheKeysWithIt) {
  const std::string sales = dir_ + "/bold-typing.kmw";
  fs::copy_file(dir_ + "/sales.kmw", sales, fs::copy_options::overwrite_existing);
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
  ASSERT_TRUE(date->head.fontStyle & 1) << "the headings are bold";

  // F2: typing in place on it. The font box and the size box go grey, a face
  // sent to the bar all the same is refused; Bold, Italic and Underline stay
  // on, Bold down for the bold heading.
  ui_test::Key(View().m_hWnd, Qt::Key_F2);
  ASSERT_TRUE(View().EditorOpen());
  EXPECT_FALSE(IsWindowEnabled(bars.m_hFontBox));
  EXPECT_FALSE(IsWindowEnabled(bars.m_hSizeBox));
  for (UINT id : {kBoldButton, kItalicButton, kUnderlineButton}) EXPECT_TRUE(ButtonEnabled(format, id)) << id;
  EXPECT_EQ(format.Find(kBoldButton)->check, 1);
  const int font = date->head.fontIndex;
  SendMessageA(bars.m_hFontBox, CB_SETCURSEL, font == 0 ? 1 : 0, 0);
  SendMessageA(format.m_hWnd, WM_COMMAND, MAKEWPARAM(kFontBox, CBN_SELCHANGE), reinterpret_cast<LPARAM>(bars.m_hFontBox));
  EXPECT_EQ(date->head.fontIndex, font);
  ASSERT_TRUE(View().EditorOpen());

  // The typing goes on where the keys were (the click on the bar took no
  // focus); Bold takes the bold away from the selected heading, shown at
  // once in the editor, which goes on taking the keys.
  ASSERT_EQ(GetFocus(), View().TextEditor()->Window());
  ui_test::KeyToFocus(Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
  TypeToFocus("du");
  ClickButton(format, kBoldButton);
  ASSERT_TRUE(View().EditorOpen()) << "a style ends no typing";
  EXPECT_EQ(format.Find(kBoldButton)->check, 0);
  EXPECT_EQ(date->head.fontStyle & 1, 0);
  EXPECT_EQ(GetFocus(), View().TextEditor()->Window());
  TypeToFocus("e");
  EXPECT_EQ(View().TextEditor()->Text(), "Date due");
  Enter();
  ASSERT_EQ(TextNamed("Date due"), date);
  EXPECT_EQ(date->head.fontStyle & 1, 0);
  EXPECT_TRUE(IsWindowEnabled(bars.m_hFontBox)) << "the font boxes are back";

  // The company field selected, the caret a line down and "Hi" typed there:
  // Bold and Underline go to the selected field, and the rest of the word
  // comes after them.
  FieldDef* company = PlacedField("company");
  ASSERT_NE(company, nullptr);
  const uint8_t companyStyle = company->head.fontStyle;
  ClickOn(company->head);
  ui_test::Key(View().m_hWnd, Qt::Key_Down);
  TypeToFocus("Hi");
  ASSERT_TRUE(View().EditorOpen());
  for (UINT id : {kBoldButton, kItalicButton, kUnderlineButton}) EXPECT_TRUE(ButtonEnabled(format, id)) << id;
  ClickButton(format, kBoldButton);
  ClickButton(format, kUnderlineButton);
  ASSERT_TRUE(View().EditorOpen());
  EXPECT_EQ(format.Find(kBoldButton)->check, (companyStyle & 1) ^ 1);
  TypeToFocus("There");
  Enter();
  TextItem* hi = TextNamed("HiThere");
  ASSERT_NE(hi, nullptr) << "no letter is lost";
  EXPECT_EQ(hi->head.fontStyle & 7, 0);
  EXPECT_EQ(company->head.fontStyle & 7, (companyStyle & 7) ^ (1 | 4));

  // Saved, read back and printed.
  Command(kCmdSave);
  EXPECT_FALSE(doc->IsModified());
  Reopen(sales);
  date = TextNamed("Date due");
  ASSERT_NE(date, nullptr);
  EXPECT_EQ(date->head.fontStyle & 1, 0);
  ASSERT_NE(TextNamed("HiThere"), nullptr);
  company = PlacedField("company");
  ASSERT_NE(company, nullptr);
  EXPECT_EQ(company->head.fontStyle & 7, (companyStyle & 7) ^ (1 | 4));
  const std::string text = PrintedBy(kCmdPrint, "typed-heading");
  EXPECT_NE(text.find("Date due"), std::string::npos) << text;
  EXPECT_NE(text.find("HiThere"), std::string::npos) << text;
}

// A letter typed while an object is current does not start a text over it;
// on an empty spot (no current object) it does.
TEST_F(TypingInPlace, ALetterTypedWithACurrentObjectStartsNoTextOverIt) {
  const std::string sales = dir_ + "/not-over.kmw";
  fs::copy_file(dir_ + "/sales.kmw", sales, fs::copy_options::overwrite_existing);
  ASSERT_TRUE(Start({sales}));
  TextItem* amount = TextNamed("Amount");
  ASSERT_NE(amount, nullptr);
  ClickOn(amount->head);
  ASSERT_EQ(Layout().currentItem, &amount->head);
  int texts = 0;
  for (TextItem* t = Layout().textHead; t != nullptr; t = t->nextText) ++texts;
  ui_test::Key(View().m_hWnd, Qt::Key_X, Qt::NoModifier, QStringLiteral("X"));
  EXPECT_FALSE(View().EditorOpen()) << "no text is started on the current object";
  int after = 0;
  for (TextItem* t = Layout().textHead; t != nullptr; t = t->nextText) ++after;
  EXPECT_EQ(after, texts);

  // A click on an empty spot of the title line: nothing current, the
  // letters make a text there.
  ui_test::MouseClick(View().m_hWnd->widget.data(), QPoint(300 - Layout().scrollX,
                                                           doc->m_bandLines.lines[0].bottom - 3 - Layout().scrollY),
                      false);
  ASSERT_EQ(Layout().currentItem, nullptr);
  TypeKeys("KILO");
  ASSERT_TRUE(View().EditorOpen());
  Enter();
  ASSERT_NE(TextNamed("KILO"), nullptr);

  Command(kCmdSave);
  Reopen(sales);
  EXPECT_NE(TextNamed("KILO"), nullptr);
  EXPECT_EQ(TextNamed("X"), nullptr);
  const std::string text = PrintedBy(kCmdPrint, "typed-not-over");
  EXPECT_NE(text.substr(0, text.find('\n')).find("KILO"), std::string::npos) << text;
  EXPECT_NE(text.find("Amount"), std::string::npos) << text;
}

// After a menu opened and closed with the mouse, or File > Close chosen in
// it and answered Cancel, the letters typed go where the keys were: the
// layout, or the text typed in place.
TEST_F(TypingInPlace, LettersTypedAfterAMenuGoWhereTheKeysWere) {
  const std::string sales = dir_ + "/after-menus.kmw";
  fs::copy_file(dir_ + "/sales.kmw", sales, fs::copy_options::overwrite_existing);
  ASSERT_TRUE(Start({sales}));
  ASSERT_TRUE(Pump([&] { return QApplication::activeWindow() == frame->m_hWnd->widget; }));
  auto* bar = frame->m_hWnd->widget->findChild<QMenuBar*>();
  ASSERT_NE(bar, nullptr);
  auto menuShows = [] { return QApplication::activePopupWidget() != nullptr; };
  using ui_test::MenuItemAt, ui_test::SpontaneousClick;
  const auto type = ui_test::TypeToToolkitFocus;
  auto onEmptySpot = [&](int line, int x) {
    View().MoveCaretToPoint(x - Layout().scrollX, doc->m_bandLines.lines[line].bottom - 3 - Layout().scrollY, true, true);
    ASSERT_EQ(Layout().currentItem, nullptr);
    SetFocus(View().m_hWnd);
  };

  // File opened by a click on its title and closed by another.
  onEmptySpot(0, 300);
  SpontaneousClick(bar, MenuItemAt(bar, "File"));
  ASSERT_TRUE(Pump(menuShows));
  SpontaneousClick(bar, MenuItemAt(bar, "File"));
  ASSERT_TRUE(Pump([&] { return !menuShows(); }));
  type("Menus");
  ASSERT_TRUE(View().EditorOpen()) << "the letters did not reach the layout";
  EXPECT_EQ(View().TextEditor()->Text(), "Menus");
  // The same with the typing going on: the rest of the word joins it.
  SpontaneousClick(bar, MenuItemAt(bar, "Edit"));
  ASSERT_TRUE(Pump(menuShows));
  SpontaneousClick(bar, MenuItemAt(bar, "Edit"));
  ASSERT_TRUE(Pump([&] { return !menuShows(); }));
  type("Closed");
  ASSERT_TRUE(View().EditorOpen());
  EXPECT_EQ(View().TextEditor()->Text(), "MenusClosed");
  Enter();
  ASSERT_NE(TextNamed("MenusClosed"), nullptr);

  // File > Close chosen with the mouse, its save question (the toolkit's box,
  // over the disabled frame) answered Cancel.
  onEmptySpot(0, 500);
  SpontaneousClick(bar, MenuItemAt(bar, "File"));
  ASSERT_TRUE(Pump(menuShows));
  QWidget* file = QApplication::activePopupWidget();
  SetMessageBoxResponder(nullptr);
  {
    ui_test::ToolkitBoxAnswer cancel(QMessageBox::Cancel);
    SpontaneousClick(file, MenuItemAt(file, "Close"));
    ASSERT_TRUE(Pump([&] { return cancel.count == 1; }));
  }
  ASSERT_TRUE(doc->m_bReportOpen);
  ASSERT_TRUE(Pump([&] { return QApplication::activeWindow() == frame->m_hWnd->widget; }));
  type("Kept");
  ASSERT_TRUE(View().EditorOpen()) << "the letters did not reach the layout";
  Enter();
  ASSERT_NE(TextNamed("Kept"), nullptr);

  Command(kCmdSave);
  Reopen(sales);
  const std::string text = PrintedBy(kCmdPrint, "typed-after-menus");
  const std::string first = text.substr(0, text.find('\n'));
  EXPECT_NE(first.find("MenusClosed"), std::string::npos) << text;
  EXPECT_NE(first.find("Kept"), std::string::npos) << text;
}

// While a text is typed in place, a click in the band pane stores it and
// marks no line; a right click on the layout or the band pane opens no
// popup and leaves the typing going.
TEST_F(TypingInPlace, AClickInTheBandPaneOnlyStoresTheTextAndRightClicksLeaveTheTypingGoing) {
  const std::string sales = dir_ + "/pane-click.kmw";
  fs::copy_file(dir_ + "/sales.kmw", sales, fs::copy_options::overwrite_existing);
  ASSERT_TRUE(Start({sales}));
  int popups = 0;
  SetTrackPopupMenuHook([&popups](HMENU, int, int) -> UINT {
    ++popups;
    return 0;
  });
  TypeOnTitleLine("LIM", 300);
  const int line = std::min(3, doc->m_bandLines.lastUsed);
  const BandLineRec& r = doc->m_bandLines.lines[line];
  const int viewY = r.bottom - r.pixelHeight / 2 - Layout().scrollY;
  CBandView& pane = frame->m_wndBandView;
  const int paneY = viewY + pane.GetRulerOffset();
  RightClick(View().m_hWnd, QPoint(40, viewY));
  RightClick(pane.m_hWnd, QPoint(10, paneY));
  EXPECT_EQ(popups, 0);
  ASSERT_TRUE(View().EditorOpen()) << "the right clicks leave the text being typed";
  // The keys still go to it.
  ui_test::KeyToFocus(Qt::Key_A, Qt::NoModifier, QStringLiteral("A"));
  EXPECT_EQ(View().TextEditor()->Text(), "LIMA");

  ui_test::MouseClick(pane.m_hWnd->widget.data(), QPoint(10, paneY), false);
  EXPECT_FALSE(View().EditorOpen());
  EXPECT_NE(TextNamed("LIMA"), nullptr) << "stored";
  EXPECT_EQ(View().MarkedLineCount(), 0) << "and nothing else: no line marked";
  EXPECT_FALSE(r.flags & kLineMarked);
  EXPECT_EQ(View().CountSelected(), 0);
  SetTrackPopupMenuHook(nullptr);

  Command(kCmdSave);
  Reopen(sales);
  EXPECT_NE(TextNamed("LIMA"), nullptr);
  const std::string text = PrintedBy(kCmdPrint, "typed-before-pane");
  EXPECT_NE(text.substr(0, text.find('\n')).find("LIMA"), std::string::npos) << text;
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
