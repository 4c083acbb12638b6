// A report as a new user draws it from nothing: Blank Report in the start
// dialog (and File > New > Blank) gives a Record line to work on, a text is
// typed on it and three fields are put beside it by double-clicks in the
// field palette; the report is saved, read back and printed.
#include "tests/app/newuser/newuser_fixture.h"

#include "app/recent_files.h"
#include "designer/band_view.h"
#include "designer/design_view.h"
#include "dialogs/edit_text.h"
#include "dialogs/insert_field_dialog.h"
#include "layout/layout_records.h"
#include "platform/win/menu.h"
#include "tests/platform/ui/ui_test_util.h"
#include "tests/support/pdf_words.h"
#include "tests/support/screens.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace newuser_test {
namespace {

constexpr UINT kCmdFileNew = 32000;
constexpr UINT kCmdFilePrint = 30030;
constexpr UINT kCmdInsertBandLine = 30410;

void MouseClick(QWidget* w, QPoint at, bool twice) { ui_test::MouseClick(w, at, twice); }

// Double-clicks the field's row in the palette's list.
bool DoubleClickField(HWND palette, const char* name) {
  return ui_test::DoubleClickListRow(GetDlgItem(palette, kInsertFieldList), name, 2);
}

// The state of a command's item as its popup opens; -1 when no popup holds it.
int MenuItemState(HWND frame, UINT id) {
  HMENU bar = GetMenu(frame);
  for (int i = 0; i < GetMenuItemCount(bar); ++i) {
    HMENU popup = GetSubMenu(bar, i);
    if (popup == nullptr) continue;
    SendMessageA(frame, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), static_cast<LPARAM>(i));
    const UINT state = GetMenuState(popup, id, MF_BYCOMMAND);
    if (state != static_cast<UINT>(-1)) return static_cast<int>(state);
  }
  return -1;
}

class BlankReport : public NewUserTest {
 protected:
  CKmView& View() { return frame->m_wndLayoutView; }
  HWND ViewWindow() { return View().m_hWnd; }
  const BandLineTable& Lines() { return doc->m_bandLines; }
  int PlacedOn(int line, const char* name) {
    int n = 0;
    for (FieldDef* f = doc->m_pModel->fieldList; f; f = f->next)
      if (IsPlacedField(f) && !(f->head.flags & (kItemDeleted | kItemInClipboard)) && f->head.bandLine == line &&
          std::strcmp(f->name, name) == 0)
        ++n;
    return n;
  }
  // What a user needs to work on a report: one Record line with its height,
  // its label in the band pane, the position pane, Insert > Band Line.
  void ExpectARecordLineToWorkOn(const char* how) {
    SCOPED_TRACE(how);
    ASSERT_TRUE(doc->m_bReportOpen);
    EXPECT_EQ(Lines().lines[0].kind, kBandRecord);
    EXPECT_EQ(Lines().lastUsed, 0);
    EXPECT_EQ(Lines().lines[1].kind, kBandFree);
    EXPECT_GT(Lines().lines[0].pixelHeight, 0) << "the Record line is laid out";
    EXPECT_GT(frame->m_wndBandView.Width(), 0) << "the band pane shows the line's label";
    EXPECT_FALSE(frame->m_wndStatusBar.IsSinglePane()) << "the Line/Inch pane shows";
    const int state = MenuItemState(frame->m_hWnd, kCmdInsertBandLine);
    ASSERT_NE(state, -1);
    EXPECT_FALSE(state & MF_GRAYED) << "Insert > Band Line is offered";
  }
  void TypeText(const char* text) {
    for (const char* c = text; *c; ++c)
      ui_test::Key(View().EditorOpen() ? View().TextEditor()->Window() : ViewWindow(), Qt::Key_A + (*c | 0x20) - 'a',
                   Qt::NoModifier, QString(QChar(*c)));
    ASSERT_TRUE(View().EditorOpen());
    ui_test::Key(View().TextEditor()->Window(), Qt::Key_Return);
    ASSERT_TRUE(Pump([&] { return !View().EditorOpen(); }));
  }
};

// Blank Report in the start dialog: the report starts with a Record line; a
// text typed on it stays there, and three fields double-clicked one after
// the other in the palette land side by side after it. Saved, read back and
// printed, every record's line shows the text and the three values.
TEST_F(BlankReport, StartDialogBlankGivesARecordLineToTypeAndInsertFieldsOn) {
  startChoice = [](HWND d) { Press(d, 202); };
  file_menu_test::AnswerSampleCustomers(answers);
  ASSERT_TRUE(Start({}));
  ASSERT_TRUE(Pump([&] { return doc->m_bReportOpen != FALSE; }));
  ShowWindow(frame->m_hWnd, SW_SHOWNORMAL);
  MoveWindow(frame->m_hWnd, 0, 0, 900, 600, TRUE);
  Pump([] { return true; });
  ExpectARecordLineToWorkOn("start dialog");

  // A click well below the line keeps the caret on it; typing makes a text there.
  MouseClick(ViewWindow()->widget.data(), QPoint(5, 90), false);
  EXPECT_EQ(View().CaretLine(), 0);
  TypeText("Hello");
  EXPECT_EQ(Lines().lastUsed, 0) << "typing made no band lines";
  const TextItem* hello = nullptr;
  for (TextItem* x = doc->m_pLayout->textHead; x; x = x->nextText)
    if (x->text && std::strcmp(x->text, "Hello") == 0) hello = x;
  ASSERT_NE(hello, nullptr);
  EXPECT_EQ(hello->head.bandLine, 0);

  // Three fields by double-click in a row, after the text.
  ui_test::Key(ViewWindow(), Qt::Key_F11);
  ASSERT_NE(doc->m_pInsertField, nullptr);
  HWND palette = doc->m_pInsertField->m_hWnd;
  MouseClick(ViewWindow()->widget.data(), QPoint(hello->head.right + 30, Lines().lines[0].bottom - 3), false);
  for (const char* name : {"company", "city", "country"}) {
    ASSERT_TRUE(DoubleClickField(palette, name)) << name;
    EXPECT_EQ(PlacedOn(0, name), 1) << name << " inserted by its double-click";
  }
  SendMessageA(palette, WM_COMMAND, IDCANCEL, 0);

  // Saved, reopened, printed.
  const std::string file = dir_ + "/blank-start.kmw";
  fs::remove(file);
  answers.File("Save As", file);
  Command(30010);  // File > Save
  ASSERT_TRUE(fs::exists(file));
  ASSERT_FALSE(doc->IsModified());
  Command(kCmdRecentFileFirst);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(Lines().lines[0].kind, kBandRecord);
  EXPECT_EQ(Lines().lastUsed, 0);
  const std::string text = PrintedBy(kCmdFilePrint, "blank-start");
  const std::string first = text.substr(0, text.find('\n'));
  const size_t h = first.find("Hello"), c = first.find("Alder & Sons"), b = first.find("Bergen"),
               n = first.find("Norway");
  ASSERT_NE(h, std::string::npos) << text;
  ASSERT_NE(c, std::string::npos) << text;
  ASSERT_NE(b, std::string::npos) << text;
  ASSERT_NE(n, std::string::npos) << text;
  EXPECT_TRUE(h < c && c < b && b < n) << first;
  EXPECT_NE(text.find("Castell Trading"), std::string::npos) << "a line for every customer";
}

// File > New > Blank, and File > New User-SQL Report > Blank with a SELECT,
// give the same Record line.
TEST_F(BlankReport, FileNewBlankAndUserSqlBlankGiveARecordLine) {
  ASSERT_TRUE(Start({}));
  answers.On("New", [](HWND d) { Press(d, 202); });
  file_menu_test::AnswerSampleCustomers(answers);
  Command(kCmdFileNew);
  ExpectARecordLineToWorkOn("File > New");
  doc->SetModifiedFlag(FALSE);

  answers.On("SQL Select", [](HWND d) {
    SetDlgItemTextA(d, 203, "select company, city from customers order by company");
    Press(d, IDOK);
  });
  Command(32002);  // File > New User-SQL Report
  ExpectARecordLineToWorkOn("File > New User-SQL Report");
  ASSERT_NE(doc->m_pModel->statementText, nullptr);
  doc->SetModifiedFlag(FALSE);
}

// File > New User-SQL Report > Blank with a statement that would empty a
// table: OK is refused with the reason before the statement reaches the
// database, the dialog stays open for another statement, and the table
// keeps every row. A SELECT typed then makes the report.
TEST_F(BlankReport, UserSqlThatChangesTheDataIsRefusedInTheDialog) {
  const std::string db = dir_ + "/sample.db";
  auto rows = [&] { return Capture("sqlite3 '" + db + "' 'select count(*) from order_lines' 2>&1"); };
  const std::string before = rows();
  ASSERT_GT(std::atoi(before.c_str()), 0) << before;
  ASSERT_TRUE(Start({}));
  answers.On("New", [](HWND d) { Press(d, 202); });
  int refusedWhileOpen = 0;
  answers.On("SQL Select", [&](HWND d) {
    SetDlgItemTextA(d, 203, "delete from order_lines");
    const size_t said = messages.size();
    Press(d, IDOK);
    if (messages.size() == said + 1 && IsWindowVisible(d)) ++refusedWhileOpen;
    SetDlgItemTextA(d, 203, "select order_id, product from order_lines");
    Press(d, IDOK);
  });
  Command(32002);  // File > New User-SQL Report
  EXPECT_EQ(refusedWhileOpen, 1);
  ASSERT_FALSE(messages.empty());
  EXPECT_NE(messages.front().find("only reads data"), std::string::npos) << messages.front();
  EXPECT_EQ(rows(), before);
  ExpectARecordLineToWorkOn("the SELECT after the refusal");
  ASSERT_NE(doc->m_pModel->statementText, nullptr);
  EXPECT_STREQ(doc->m_pModel->statementText, "select order_id, product from order_lines");
  EXPECT_EQ(rows(), before);
}

}  // namespace
}  // namespace newuser_test
