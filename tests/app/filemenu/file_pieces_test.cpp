// The pieces under the File menu that can go wrong on their own: the
// recent-file list's rules and menu, the file dialogs' filters and Data
// Source box, the start dialog's keys, the library's lock and kinds, and
// the dialogs' pictures.
#include "app/file_dialogs.h"
#include "app/library_dialogs.h"
#include "app/recent_files.h"
#include "app/start_dialog.h"
#include "foundation/library_file.h"
#include "platform/win/hook.h"
#include "platform/win/wsprintf.h"
#include "tests/app/filemenu/file_menu_fixture.h"

#include <unistd.h>

namespace file_menu_test {
namespace {

INT_PTR NoActions(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

class PiecesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UiStartApplication();
    char tmpl[] = "/tmp/vt_filepieces_XXXXXX";
    dir = ::mkdtemp(tmpl);
    setenv("VORTELLE_WINDIR", dir.c_str(), 1);
    SetMessageBoxResponder([this](const MessageBoxRecord& r) {
      messages.push_back(r.text);
      return IDOK;
    });
  }
  void TearDown() override {
    SetMessageBoxResponder(nullptr);
    unsetenv("VORTELLE_WINDIR");
    fs::remove_all(dir);
  }
  std::string dir;
  std::vector<std::string> messages;
};

TEST_F(PiecesTest, RecentListAdmitsReportsAndLibrariesOnlyAndKeepsTheSixLatest) {
  CKmRecentFileList list;
  list.Add((dir + "/a.kmw").c_str());
  list.Add((dir + "/lib.QB6").c_str());
  list.Add((dir + "/templates.qn6").c_str());  // never listed
  list.Add((dir + "/notes.txt").c_str());
  EXPECT_EQ(list[0], dir + "/lib.QB6");
  EXPECT_EQ(list[1], dir + "/a.kmw");
  EXPECT_TRUE(list[2].empty());
  // The same file again, however spelt, moves up instead of being listed twice.
  list.Add((dir + "/sub/../A.KMW").c_str());
  EXPECT_EQ(list[0], dir + "/A.KMW");
  EXPECT_EQ(list[1], dir + "/lib.QB6");
  EXPECT_TRUE(list[2].empty());
  for (int i = 1; i <= 6; ++i) list.Add((dir + "/r" + std::to_string(i) + ".kmw").c_str());
  EXPECT_EQ(list[0], dir + "/r6.kmw");
  EXPECT_EQ(list[5], dir + "/r1.kmw") << "the seventh distinct file pushes the oldest out";

  // Written through to kmw.ini and read back by a new list.
  CKmRecentFileList again;
  again.ReadList();
  for (int i = 0; i < kRecentFileCount; ++i) EXPECT_EQ(again[i], list[i]);

  // The menu: numbered 1 to 6 in place of the place holder, in order.
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, 30030, "&Print...");
  AppendMenuA(menu, MF_STRING | MF_GRAYED, kCmdRecentFileFirst, "Recent File");
  AppendMenuA(menu, MF_STRING, 32016, "E&xit");
  list.UpdateMenu(menu);
  ASSERT_EQ(GetMenuItemCount(menu), 8);
  char text[200];
  GetMenuStringA(menu, 1, text, sizeof text, MF_BYPOSITION);
  EXPECT_EQ(std::string(text).substr(0, 3), "&1 ");
  GetMenuStringA(menu, 6, text, sizeof text, MF_BYPOSITION);
  EXPECT_EQ(std::string(text).substr(0, 3), "&6 ");
  EXPECT_EQ(GetMenuItemID(menu, 6), kCmdRecentFileFirst + 5);
  EXPECT_EQ(GetMenuItemID(menu, 7), 32016u);
  // Rebuilt again it does not grow; an emptied list leaves the place holder.
  list.UpdateMenu(menu);
  EXPECT_EQ(GetMenuItemCount(menu), 8);
  for (int i = 0; i < kRecentFileCount; ++i) list.Remove(0);
  list.UpdateMenu(menu);
  EXPECT_EQ(GetMenuItemCount(menu), 3);
  EXPECT_NE(GetMenuState(menu, kCmdRecentFileFirst, MF_BYCOMMAND) & MF_GRAYED, 0u);
  DestroyMenu(menu);

  // Long names are shortened for the menu.
  const std::string title50(46, 'x');
  EXPECT_EQ(AbbreviatePath("/data/" + title50 + ".kmw", 40), std::string(37, 'x') + "...");
  EXPECT_EQ(AbbreviatePath("/home/user/reports/2026/december/sales.kmw", 40), "/home/.../2026/december/sales.kmw");
  EXPECT_EQ(AbbreviatePath("/short/sales.kmw", 40), "/short/sales.kmw");
  // Counted and cut in letters, not in the bytes of a UTF-8 name.
  std::string omegas;
  for (int i = 0; i < 46; ++i) omegas += "\xCE\xA9";
  EXPECT_EQ(AbbreviatePath("/data/" + omegas + ".kmw", 40), omegas.substr(0, 74) + "...");
  const std::string greek = "/tmp/\xCE\xB1\xCE\xB2/Facture \xC3\xA9\xC3\xA9\xC3\xA9 \xCE\xA9mega Zo\xC3\xAB M\xC3\xBCller.kmw";
  EXPECT_EQ(AbbreviatePath(greek, 40), greek) << "40 letters";
  const std::string deeper = "/home/\xC3\xA9t\xC3\xA9\xC3\xA9t\xC3\xA9/2026/Facture " + std::string("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9") + " \xCE\xA9mega.kmw";
  EXPECT_EQ(AbbreviatePath(deeper, 40), "/home/.../2026/Facture \xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9 \xCE\xA9mega.kmw");
}

TEST_F(PiecesTest, FiltersAndTheDataSourceBoxFollowTheirRules) {
  EXPECT_EQ(FilterIndexForExtension("qb6", 228), 1u);
  EXPECT_EQ(FilterIndexForExtension("QN6", 228), 2u);
  EXPECT_EQ(FilterIndexForExtension("QN6", 85), 3u);
  EXPECT_EQ(FilterIndexForExtension("xyz", 85), 1u);
  EXPECT_EQ(FilterIndexForExtension("QB66", 85), 1u);
  const std::string pairs = LoadFilterString(85);
  EXPECT_EQ(pairs.substr(0, 20), std::string("Report File (*.KMW)\0", 20));
  EXPECT_EQ(pairs.substr(pairs.size() - 7), std::string("*.QN6\0\0", 7));

  int selected = -2;
  std::vector<std::string> e = DataSourceBoxEntries({"Alpha", "Beta"}, "Beta", &selected);
  EXPECT_EQ(e.size(), 2u);
  EXPECT_EQ(selected, 1);
  e = DataSourceBoxEntries({"Alpha", "Beta"}, "Gone", &selected);
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[2], "Gone  (Not available)");
  EXPECT_EQ(selected, 2);
  e = DataSourceBoxEntries({"Alpha"}, " (None)", &selected);
  EXPECT_EQ(e.back(), " (None)") << "a report saved without a data source is not marked unavailable";
  e = DataSourceBoxEntries({"Alpha"}, "", &selected);
  EXPECT_EQ(selected, -1);
  // A file that is not a report file has no stored data source.
  std::ofstream(dir + "/plain.kmw") << "not a report";
  EXPECT_EQ(StoredDataSource((dir + "/plain.kmw").c_str()), "");
}

TEST_F(PiecesTest, LibrariesHeldByAnotherProcessOrOfTheOlderKindAreRefused) {
  CKmDoc doc;
  LibraryFile* engine = doc.LibraryEngine();
  const std::string lib = dir + "/held.qb6";
  ASSERT_TRUE(CreateReportLibrary(doc, lib.c_str()));
  ASSERT_TRUE(TestReportLibrary(doc, nullptr, lib.c_str(), kLibOpenWrite));

  // Another process writes to it: no open for this one, with the library's
  // message. It holds the library until told to let go (or its folder goes),
  // however slow the machine; the wait for it to start only ends a wait for
  // what never comes.
  const std::string ready = dir + "/locked", release = dir + "/release";
  const std::string cmd = "flock -x '" + lib + "' sh -c 'touch \"" + ready + "\"; while [ ! -e \"" + release +
                          "\" ] && [ -e \"" + ready +
                          "\" ]; do sleep 0.02; done' >/dev/null 2>&1 &";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  for (int i = 0; i < 6000 && !fs::exists(ready); ++i) ::usleep(20000);
  ASSERT_TRUE(fs::exists(ready));
  messages.clear();
  std::string path = lib;
  LibFileControlBlock* open = nullptr;
  EXPECT_EQ(OpenReportLibrary(doc, nullptr, &path, &open, kLibOpenRead, nullptr), 0);
  EXPECT_EQ(open, nullptr);
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages[0], "Cannot open library file\r\nheld.qb6");
  EXPECT_TRUE(path.empty());
  std::ofstream(release) << "let go";
  for (int i = 0; i < 6000; ++i) {
    path = lib;
    messages.clear();
    if (OpenReportLibrary(doc, nullptr, &path, &open, kLibOpenRead, nullptr) == 1) break;
    ::usleep(20000);
  }
  ASSERT_NE(open, nullptr) << "the library opens once the other process lets go";
  engine->LibFileClose(open);

  // An older library is read and its members deleted, but nothing is saved into it.
  const std::string older = dir + "/older.qb3";
  char made[300] = {};
  LibFileControlBlock* f = engine->LibFileCreate(older.c_str(), lib_of::ReadWrite, made, kLibKindReport - 6, 512);
  ASSERT_NE(f, nullptr);
  engine->LibFileClose(f);
  messages.clear();
  EXPECT_TRUE(TestReportLibrary(doc, nullptr, older.c_str(), kLibOpenRead));
  EXPECT_TRUE(TestReportLibrary(doc, nullptr, older.c_str(), kLibOpenDelete));
  EXPECT_TRUE(messages.empty());
  EXPECT_FALSE(TestReportLibrary(doc, nullptr, older.c_str(), kLibOpenWrite));
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(), "Invalid report library");
}

TEST_F(PiecesTest, StartDialogKeysChooseAndTheWizardChoiceIsOffWithoutItsProgram) {
  CKmDoc doc;
  struct Case {
    BOOL openAllowed;
    std::function<void(HWND)> act;
    int expected;
  } cases[] = {
      {FALSE, [](HWND d) { ui_test::PressKey(GetFocus(), 'B', true); }, kStartBlankReport},
      {FALSE, [](HWND d) { ui_test::PressKey(GetFocus(), 'I', true); }, kStartInstantReport},
      {TRUE, [](HWND d) { ui_test::PressKey(GetFocus(), 'O', true); }, kStartOpenExisting},
      // Alt+O without the Open choice, Alt+R without a wizard: nothing; then Escape.
      {FALSE, [](HWND d) {
         ui_test::PressKey(GetFocus(), 'O', true);
         ui_test::PressKey(GetFocus(), 'R', true);
         ui_test::Pump();
         if (IsWindow(d)) ui_test::PressKey(GetFocus(), VK_ESCAPE);
       }, 0},
      {FALSE, [](HWND d) { ui_test::Click(GetDlgItem(d, 203)); }, kStartTemplate},
      // Enter on a choice takes the focused one.
      {TRUE, [](HWND d) {
         SetFocus(GetDlgItem(d, 202));
         ui_test::PressKey(GetFocus(), VK_RETURN);
       }, kStartBlankReport},
  };
  for (const Case& c : cases) {
    bool wizardEnabled = true;
    ui_test::WhenRunning([&] {
      HWND d = ui_test::ActiveDialog();
      ASSERT_NE(d, nullptr);
      wizardEnabled = IsWindowEnabled(GetDlgItem(d, 200)) != FALSE;
      c.act(d);
    });
    EXPECT_EQ(RunStartDialog(doc, c.openAllowed), c.expected);
    EXPECT_FALSE(wizardEnabled);
    EXPECT_EQ(InstalledMsgFilterHookCount(), 0) << "the hook lives only as long as the dialog";
  }
}

TEST_F(PiecesTest, ScreensFileDialogs) {
  CKmDoc doc;
  const std::string lib = dir + "/Reports.qb6";
  ASSERT_TRUE(CreateReportLibrary(doc, lib.c_str()));
  CopyBounded(doc.m_files.currentFile, sizeof doc.m_files.currentFile, lib.c_str());
  std::ofstream(dir + "/sales.kmw") << "x";
  struct Shot {
    const char* name;
    std::function<void()> run;
  } shots[] = {
      {"start-dialog-new", [&] { RunStartDialog(doc, FALSE); }},
      {"start-dialog-at-start", [&] { RunStartDialog(doc, TRUE); }},
      {"library-open-dialog", [&] { ChooseLibraryMember(doc, lib.c_str()); }},
      {"library-save-dialog", [&] { ChooseSaveMember(doc, lib.c_str()); }},
      {"send-dialog", [&] { DialogBoxParamA(nullptr, "DSENDMAIL", nullptr, NoActions, 0); }},
      {"copy-name-dialog", [&] { DialogBoxParamA(nullptr, "DREPCOPYNAME", nullptr, NoActions, 0); }},
  };
  for (const Shot& s : shots) {
    bool shown = false;
    ui_test::WhenRunning([&] {
      ui_test::Pump();
      HWND d = ui_test::ActiveDialog();
      ASSERT_NE(d, nullptr) << s.name;
      shown = SaveWindowPicture(d, ScreenPath(s.name).c_str()) != FALSE;
      EndDialog(d, IDCANCEL);
    });
    s.run();
    EXPECT_TRUE(shown) << s.name;
  }
}

}  // namespace
}  // namespace file_menu_test
