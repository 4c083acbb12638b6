// Every command of the main window's menus, its tool bar and its format bar,
// each one given while a word is being typed in place on the layout, as if
// the user (or a script) sent it whatever the menus grey: on the sample
// report as opened, after its master table changed, and on a user-SQL
// report after its statement changed. Every dialog and question that comes
// is cancelled, every preview closed. No command may leave the editor over
// something freed (the sanitizer build stops the program at the first read
// of freed memory), and every word typed is stored: the report saved and
// read back holds them all.
#include "tests/app/newuser/newuser_fixture.h"

#include "app/frame_bars.h"
#include "app/preview_view.h"
#include "core/composite.h"
#include "designer/design_view.h"
#include "dialogs/edit_text.h"
#include "layout/layout_records.h"
#include "platform/win/menu.h"
#include "platform/win/ui_internal.h"
#include "tests/platform/ui/ui_test_util.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace newuser_test {
namespace {

constexpr UINT kCmdEditText = 32771, kCmdCopy = 30120, kCmdMasterTable = 30600, kCmdNewUserSql = 32002, kCmdSave = 30010;

// Every command id of a menu and the popups below it.
void MenuIds(HMENU menu, std::set<UINT>* ids) {
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    if (HMENU sub = GetSubMenu(menu, i)) {
      MenuIds(sub, ids);
      continue;
    }
    const UINT id = GetMenuItemID(menu, i);
    if (id != 0 && id != kMenuItemMissing) ids->insert(id);
  }
}

// Whatever asks something while the walk runs is cancelled: the program's
// dialogs and questions (Cancel, else No, else OK), the toolkit's file and
// other modal windows, and a preview waiting on its page is closed.
class CancelEverything {
 public:
  CancelEverything() : every_(15, [] { Turn(); }) {
    SetMessageBoxResponder([](const MessageBoxRecord& r) {
      const UINT type = r.type & MB_TYPEMASK;
      return type == MB_OK ? IDOK : type == MB_YESNO ? IDNO : IDCANCEL;
    });
  }
  ~CancelEverything() { SetMessageBoxResponder(nullptr); }

 private:
  static void Turn() {
    if (ui_test::FileDialogHandle fd = ui_test::FileDialogHandle::TakeActive()) {
      fd.Cancel();
      return;
    }
    for (HWND h : vt_ui::AllWindows()) {
      if (!IsWindow(h) || !h->dlg || !h->dlg->modal || h->dlg->ended || !IsWindowVisible(h) || !IsWindowEnabled(h))
        continue;
      const int button = GetDlgItem(h, IDCANCEL) ? IDCANCEL : GetDlgItem(h, IDNO) ? IDNO : IDOK;
      PostMessageA(h, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
      return;
    }
    if (CPreview* v = ActivePreview(); v != nullptr && v->m_bWaiting && !v->m_bBusy) {
      v->OnPreviewCommand(kCmdPreviewClose);
      return;
    }
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && vt_ui::FromWidget(modal) == nullptr) modal->close();
  }
  ui_test::Every every_;
};

class CommandWalk : public NewUserTest {
 protected:
  CKmView& View() { return *doc->m_pView; }
  // The text on the layout; with held, also one that Clear holds for Undo or
  // Cut holds in the designer's clipboard.
  bool HasText(const std::string& text, bool held = false) {
    for (TextItem* t = doc->m_pLayout->textHead; t != nullptr; t = t->nextText)
      if (t->text != nullptr && text == t->text && (held || !(t->head.flags & (kItemDeleted | kItemInClipboard))))
        return true;
    return false;
  }
  // A word of capitals for the k-th command.
  static std::string Word(size_t k) {
    std::string w = "W";
    do {
      w += static_cast<char>('A' + k % 26);
      k /= 26;
    } while (k != 0);
    return w;
  }
  void TypeKeys(const std::string& letters) {
    for (char c : letters) {
      HWND target = View().EditorOpen() ? View().TextEditor()->Window() : View().m_hWnd;
      ui_test::Key(target, Qt::Key_A + (c - 'A'), Qt::NoModifier, QString(QChar(c)));
    }
  }
  bool Editing(const std::string& text) { return View().EditorOpen() && View().TextEditor()->Text() == text; }
  bool Enter() {
    ui_test::Key(View().TextEditor()->Window(), Qt::Key_Return);
    return Pump([&] { return !View().EditorOpen(); });
  }
  // The caret on a spot of the first band line, the word typed there: a new
  // text is being typed. With edit, that text is stored, selected (as the
  // format bar's commands want it) and opened again in place (Edit Text),
  // and a last letter typed onto it: the editor is open over a text of the
  // report. The text the editor holds.
  std::string TypeWord(const std::string& word, size_t k, bool edit) {
    View().CaretTop();
    View().MoveCaretToPoint(300 + static_cast<int>(k % 6) * 70, doc->m_bandLines.lines[0].bottom - 3, true, true);
    TypeKeys(word);
    if (!Editing(word)) return "";
    if (!edit) return word;
    if (!Enter()) return "";
    ReportItemHead* h = doc->m_pLayout->currentItem;
    if (h == nullptr) return "";
    View().SelectOnly(*h);
    Command(kCmdEditText);
    TypeKeys("Z");
    return Editing(word + "Z") ? word + "Z" : "";
  }
  // The command as its menu item, tool-bar button or format-bar control gives it.
  void Give(UINT id) {
    FrameBars& bars = *doc->m_pBars;
    if (id == kFontBox) {
      SendMessageA(bars.m_hFontBox, CB_SETCURSEL, 0, 0);
      SendMessageA(bars.m_formatBar.m_hWnd, WM_COMMAND, MAKEWPARAM(kFontBox, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(bars.m_hFontBox));
    } else if (id == kSizeBox) {
      SetWindowTextA(bars.m_hSizeBox, "12");
      Command(kSizeBoxEnter);
    } else if (id >= kBoldButton && id <= kSnapButton) {
      bars.m_formatBar.onClick(id);
    } else {
      Command(id);
    }
  }
  // The ids of the menus, the action bar and the format bar.
  std::vector<UINT> AllCommands() {
    std::set<UINT> ids;
    MenuIds(GetMenu(frame->m_hWnd), &ids);
    for (const ToolSlot& s : doc->m_pBars->m_actionBar.Slots())
      if (s.id != 0) ids.insert(s.id);
    for (const ToolSlot& s : doc->m_pBars->m_formatBar.Slots())
      if (s.id != 0) ids.insert(s.id);
    return std::vector<UINT>(ids.begin(), ids.end());
  }

  // The walk: each command given twice, once while a new text is typed and
  // once while a text of the report is edited in place, whatever it asks
  // cancelled; the typing goes on in an editor the command left open, and
  // Enter ends it. The text typed must be stored; the report is then saved
  // as path and read back.
  void Walk(const std::string& path) {
    ASSERT_TRUE(doc->m_bReportOpen);
    doc->m_settings.formatBar = 1;
    doc->m_pBars->UpdateActionBar();
    PrintRunContext& ctx = GetPrintRunContext();
    ctx.printToFile = dir_ + "/walk.pdf";
    doc->m_pPageSetup->OutputDestination = 2;
    const std::vector<UINT> commands = AllCommands();
    ASSERT_GT(commands.size(), 60u);
    std::vector<std::string> texts;
    {
      CancelEverything cancel;
      for (size_t k = 0; k < 2 * commands.size(); ++k) {
        const UINT id = commands[k / 2];
        std::string text = TypeWord(Word(k), k, k % 2 == 1);
        ASSERT_FALSE(text.empty()) << "typing before command " << id;
        Give(id);
        ASSERT_NE(AfxGetThread()->m_pMainWnd, nullptr) << "command " << id << " ended the program";
        ASSERT_TRUE(doc->m_bReportOpen) << "command " << id << " closed the report";
        // An editor the command left open takes the typing on, then Enter.
        if (View().EditorOpen()) {
          TypeKeys("Y");
          text += "Y";
          ASSERT_TRUE(Editing(text)) << "command " << id;
          ASSERT_TRUE(Enter()) << "command " << id;
        }
        // Stored: the command then acts on it as on any text (Edit > Clear
        // and Cut take the selected one away, to be undone or pasted).
        EXPECT_TRUE(HasText(text, true)) << "the text typed before command " << id << " is lost";
        if (HasText(text)) texts.push_back(text);
        // Tools and moves a command armed end as Esc ends them.
        ui_test::Key(View().m_hWnd, Qt::Key_Escape);
        View().CancelOutlineMode();
      }
    }
    ASSERT_TRUE(doc->OnSaveDocument(path.c_str()));
    doc->SetModifiedFlag(FALSE);
    doc->ForgetCompoundFile();
    ASSERT_TRUE(doc->ReadReport(path.c_str()));
    for (const std::string& t : texts) EXPECT_TRUE(HasText(t)) << t << " is not in the saved report";
  }
};

TEST_F(CommandWalk, EveryCommandWhileTypingOnTheReportAsOpened) {
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  Walk(dir_ + "/walk-opened.kmw");
}

TEST_F(CommandWalk, EveryCommandWhileTypingAfterTheMasterTableChanged) {
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  // A field copied and another current, then the master table changed under them.
  FieldDef* amount = FieldNamed("amount");
  FieldDef* product = FieldNamed("product");
  ASSERT_TRUE(amount && product);
  View().SelectOnly(amount->head);
  Command(kCmdCopy);
  View().MakeObjectCurrent(&product->head);
  AnswerMasterTable("customers");
  answers.On("Fields Affected", [](HWND w) { Press(w, IDOK); });
  Command(kCmdMasterTable);
  ASSERT_STREQ(doc->m_pModel->tableSlots[0]->path, "customers");
  answers.Clear();
  Walk(dir_ + "/walk-master.kmw");
}

TEST_F(CommandWalk, EveryCommandWhileTypingAfterTheStatementChanged) {
  ASSERT_TRUE(Start({dir_ + "/sales.kmw"}));
  answers.On("New", [](HWND d) { Press(d, 201); });
  AnswerStatement("select company, city, country from customers order by company");
  Command(kCmdNewUserSql);
  ASSERT_NE(doc->m_pModel->statementText, nullptr);
  FieldDef* country = FieldNamed("country");
  ASSERT_NE(country, nullptr);
  View().SelectOnly(country->head);
  Command(kCmdCopy);
  View().MakeObjectCurrent(&country->head);
  AnswerStatement("select company, city from customers order by company");
  answers.On("Fields Affected", [](HWND w) { Press(w, IDOK); });
  Command(kCmdMasterTable);
  ASSERT_STREQ(doc->m_pModel->statementText, "select company, city from customers order by company");
  answers.Clear();
  Walk(dir_ + "/walk-statement.kmw");
}

}  // namespace
}  // namespace newuser_test
