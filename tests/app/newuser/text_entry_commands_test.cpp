// Text typed in place on the layout when the user turns to the File menu or
// the tool bar. While the editor is open the commands that would close,
// replace, save or run the report are off, in the menu and on the bar; one
// that comes all the same (sent to the frame) first stores the typed text as
// Enter would, so the text is in the file the save question writes and no
// editor is left over the next report. Read back and printed at the end.
#include "tests/app/newuser/newuser_fixture.h"

#include "app/frame_bars.h"
#include "app/recent_files.h"
#include "designer/design_view.h"
#include "dialogs/edit_text.h"
#include "layout/layout_records.h"
#include "platform/win/menu.h"
#include "tests/platform/ui/ui_test_util.h"

#include <cstring>
#include <set>

namespace newuser_test {
namespace {

constexpr UINT kCmdNew = 32000, kCmdOpen = 32001, kCmdClose = 30000, kCmdSave = 30010, kCmdSaveAs = 30020,
               kCmdProperties = 30028, kCmdPageSetup = 30512, kCmdExport = 30060, kCmdSend = 57612,
               kCmdPrint = 30030, kCmdPrintNow = 30031, kCmdPreview = 30040, kCmdExit = 32016;

// Off while text is typed in place: the document's and the view's rules.
bool OffWhileTyping(UINT id) {
  static const std::set<UINT> off = {kCmdNew,  kCmdOpen,   kCmdClose,     kCmdSave,  kCmdSaveAs, kCmdProperties,
                                     kCmdPageSetup, kCmdExport, kCmdSend, kCmdPrint, kCmdPrintNow, kCmdPreview,
                                     kCmdExit};
  return off.count(id) != 0 || (id >= kCmdRecentFileFirst && id < kCmdRecentFileFirst + kRecentFileCount);
}

// The File menu's items as it opens: id and whether it is enabled.
std::vector<std::pair<UINT, bool>> FileMenu(HWND frame) {
  HMENU file = GetSubMenu(GetMenu(frame), 0);
  SendMessageA(frame, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file), 0);
  std::vector<std::pair<UINT, bool>> items;
  for (int i = 0; i < GetMenuItemCount(file); ++i) {
    const UINT id = GetMenuItemID(file, i);
    if (id == 0 || id == kMenuItemMissing) continue;
    items.emplace_back(id, (GetMenuState(file, static_cast<UINT>(i), MF_BYPOSITION) & MF_GRAYED) == 0);
  }
  return items;
}

// The action bar's file buttons as the bar shows them now.
std::vector<std::pair<UINT, bool>> FileButtons(CKmDoc& doc) {
  doc.m_pBars->UpdateActionBar();
  std::vector<std::pair<UINT, bool>> buttons;
  for (const ToolSlot& s : doc.m_pBars->m_actionBar.Slots())
    if (s.id == kCmdNew || s.id == kCmdOpen || s.id == kCmdSave || s.id == kCmdPrintNow || s.id == kCmdPreview)
      buttons.emplace_back(s.id, s.enabled);
  return buttons;
}

bool HasText(CKmDoc& doc, const char* text) {
  for (TextItem* t = doc.m_pLayout->textHead; t != nullptr; t = t->nextText)
    if (t->text != nullptr && std::strcmp(t->text, text) == 0 && !(t->head.flags & (kItemDeleted | kItemInClipboard)))
      return true;
  return false;
}

class TextEntryCommands : public NewUserTest {
 protected:
  // The caret on an empty spot of the title line, the word typed there: the
  // editor is open with it.
  void Type(const std::string& word, int x) {
    CKmView& v = *doc->m_pView;
    v.MoveCaretToPoint(x, doc->m_bandLines.lines[0].bottom - 3, true, true);
    HWND target = v.m_hWnd;
    for (char c : word) {
      ui_test::Key(target, Qt::Key_A + (c - 'A'), Qt::NoModifier, QString(QChar(c)));
      if (v.TextEditor() != nullptr) target = v.TextEditor()->Window();
    }
    ASSERT_TRUE(v.EditorOpen());
    ASSERT_EQ(v.TextEditor()->Text(), word);
  }
  bool Editing() const { return doc->m_pView->EditorOpen(); }
  std::string Path() const { return doc->GetPathName(); }
};

TEST_F(TextEntryCommands, FileCommandsAndButtonsStayOffWhileTypingAndStoreTheTextWhenSentAnyway) {
  const std::string sales = dir_ + "/sales.kmw", other = dir_ + "/other.kmw";
  fs::copy_file(sales, other, fs::copy_options::overwrite_existing);
  ASSERT_TRUE(Start({sales}));
  ASSERT_TRUE(doc->m_bReportOpen);
  AfxGetKmApp()->RecentFiles().Add(other.c_str());
  AfxGetKmApp()->RecentFiles().Add(sales.c_str());

  // Before typing: the file commands and buttons are as the report allows.
  const auto menuBefore = FileMenu(frame->m_hWnd);
  const auto buttonsBefore = FileButtons(*doc);
  for (const auto& [id, on] : menuBefore) {
    if (id == kCmdNew || id == kCmdOpen || id == kCmdClose || id == kCmdSave || id == kCmdSaveAs ||
        id == kCmdRecentFileFirst + 1) {
      EXPECT_TRUE(on) << id;
    }
  }

  // While typing every one of them is off; the others keep their state.
  Type("ALPHA", 300);
  for (const auto& [id, on] : FileMenu(frame->m_hWnd)) {
    bool before = false;
    for (const auto& [i, b] : menuBefore)
      if (i == id) before = b;
    EXPECT_EQ(on, OffWhileTyping(id) ? false : before) << "File menu item " << id;
  }
  for (const auto& [id, on] : FileButtons(*doc)) EXPECT_FALSE(on) << "button " << id;
  ASSERT_EQ(buttonsBefore.size(), 5u);
  EXPECT_TRUE(buttonsBefore[0].second && buttonsBefore[1].second && buttonsBefore[2].second);
  // A click on the New button does nothing: the text is still being typed.
  doc->m_pBars->m_actionBar.onClick(kCmdNew);
  EXPECT_TRUE(Editing());
  EXPECT_EQ(startDialogs, 0);

  // The second recent file sent anyway: the text is stored, the question
  // saves it into this report, and the other opens with no editor over it.
  boxes.clear();
  Command(kCmdRecentFileFirst + 1);
  EXPECT_FALSE(Editing());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("sales.kmw"), std::string::npos) << boxes[0].text;
  ASSERT_EQ(Path(), other);
  EXPECT_FALSE(doc->IsModified()) << "the report just opened is as read";
  EXPECT_FALSE(HasText(*doc, "ALPHA"));

  // File > Open while typing on the other report.
  Type("BRAVO", 300);
  answers.File("Open Report", sales);
  Command(kCmdOpen);
  EXPECT_FALSE(Editing());
  ASSERT_EQ(Path(), sales);
  EXPECT_TRUE(HasText(*doc, "ALPHA")) << "stored before the report was saved";
  EXPECT_FALSE(doc->IsModified());

  // File > Close while typing.
  Type("CHARLIE", 420);
  Command(kCmdClose);
  EXPECT_FALSE(Editing());
  EXPECT_FALSE(doc->m_bReportOpen);

  // File > New (a blank report) while typing.
  Command(kCmdOpen);
  ASSERT_EQ(Path(), sales);
  EXPECT_TRUE(HasText(*doc, "CHARLIE"));
  Type("DELTA", 560);
  answers.On("New", [](HWND d) { Press(d, 202); });  // Blank Report
  file_menu_test::AnswerSampleCustomers(answers);
  Command(kCmdNew);
  EXPECT_FALSE(Editing());
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(Path(), "");
  EXPECT_FALSE(HasText(*doc, "DELTA")) << "the new report starts blank";
  doc->SetModifiedFlag(FALSE);

  // Read back: each word is in the file it was typed into.
  answers.File("Open Report", other);
  Command(kCmdOpen);
  ASSERT_EQ(Path(), other);
  EXPECT_TRUE(HasText(*doc, "BRAVO"));
  answers.File("Open Report", sales);
  Command(kCmdOpen);
  ASSERT_EQ(Path(), sales);
  for (const char* word : {"ALPHA", "CHARLIE", "DELTA"}) EXPECT_TRUE(HasText(*doc, word)) << word;

  // File > Save while typing writes the typed text too.
  Type("ECHO", 680);
  Command(kCmdSave);
  EXPECT_FALSE(Editing());
  EXPECT_FALSE(doc->IsModified());
  Command(kCmdClose);
  Command(kCmdOpen);
  ASSERT_EQ(Path(), sales);
  EXPECT_TRUE(HasText(*doc, "ECHO"));
  const std::string text = PrintedBy(kCmdPrint, "typed");
  const std::string title = text.substr(0, text.find('\n'));
  for (const char* word : {"ALPHA", "CHARLIE", "DELTA", "ECHO"}) EXPECT_NE(title.find(word), std::string::npos) << text;
}

}  // namespace
}  // namespace newuser_test
