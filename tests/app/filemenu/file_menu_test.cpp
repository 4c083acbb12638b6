// The File menu's file commands through the real frame, menus and dialogs:
// a new blank report saved, closed, reopened from the recent-file list and
// printed the same; library members saved, copied, deleted and opened with
// /L /R /G; Send to a stand-in mailer; a folder named with non-ASCII letters.
#include "tests/app/filemenu/file_menu_fixture.h"

#include "app/file_dialogs.h"
#include "app/recent_files.h"
#include "foundation/library_file.h"

#include "platform/win/profile.h"

#include <sys/stat.h>

#include <algorithm>

namespace file_menu_test {
namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Members(CKmDoc& doc, const std::string& library) {
  std::vector<std::string> names;
  LibraryFile* engine = doc.LibraryEngine();
  WORD kind = 0;
  LibFileControlBlock* lib = engine->LibFileOpen(library.c_str(), lib_of::ShareDenyWrite, lib_of::Read, &kind, 0);
  if (lib == nullptr) return names;
  LibMember* list = engine->LibListMembers(lib);
  for (LibMember* m = list; m != nullptr; m = m->next) names.push_back(m->name);
  FreeLibMemberList(list);
  engine->LibFileClose(lib);
  return names;
}

TEST_F(FileMenuTest, NewReportSavedClosedAndReopenedFromTheRecentListPrintsTheSame) {
  NewBlankCustomers();
  PlaceOnRecordLine({Field("company"), Field("city")});
  const std::string before = Print("before");
  ASSERT_NE(before.find("Brightwater Ltd"), std::string::npos) << before;

  const std::string path = dir_ + "/customers.kmw";
  answers.File("Save As", path);
  Command(30020);
  ASSERT_TRUE(fs::exists(path));
  EXPECT_FALSE(doc->IsModified());
  EXPECT_EQ(doc->GetPathName(), path);

  // Close leaves an empty document; the list names the file first.
  Command(30000);
  EXPECT_FALSE(doc->m_bReportOpen);
  std::map<UINT, std::string> menu = FileMenu();
  ASSERT_EQ(menu.count(kCmdRecentFileFirst), 1u);
  EXPECT_EQ(menu[kCmdRecentFileFirst], "&1 " + AbbreviatePath(path, 40));
  EXPECT_NE(GetMenuState(GetMenu(frame), kCmdRecentFileFirst, MF_BYCOMMAND) & MF_GRAYED, MF_GRAYED);

  Command(kCmdRecentFileFirst);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(Print("after"), before);
  // The list is in kmw.ini, so the next start has it too.
  EXPECT_NE(ReadText(dir_ + "/kmw.ini").find("File1=" + path), std::string::npos);

  // Unsaved changes are asked about before Close; Cancel keeps the report.
  doc->SetModifiedFlag(TRUE);
  answer = [](const MessageBoxRecord&) { return IDCANCEL; };
  Command(30000);
  EXPECT_TRUE(doc->m_bReportOpen);
  ASSERT_FALSE(questions.empty());
  EXPECT_NE(questions.back().find("Save changes to report"), std::string::npos);
  answer = [](const MessageBoxRecord&) { return IDNO; };
  Command(30000);
  EXPECT_FALSE(doc->m_bReportOpen);
}

TEST_F(FileMenuTest, NewUserSqlStartsAsTheFileNewPreferenceSays) {
  struct Case {
    const char* fileNew;
    bool startDialog;
  } cases[] = {{"0", true}, {"3", false}, {"1", true}, {"9", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fileNew);
    WritePrivateProfileStringA("Preferences", "FileNew", c.fileNew, (dir_ + "/kmw.ini").c_str());
    answers.Clear();
    answers.seen.clear();
    answers.On("New", [](HWND d) { Press(d, 202); });
    answers.On("Data Source Connections", [](HWND d) {
      SelectListed(d, 200, "VortelleSample");
      Press(d, IDOK);
    });
    // The statement is asked for; cancelling it leaves no report.
    answers.On("SQL Select", [](HWND d) { Press(d, IDCANCEL); });
    Command(32002);
    const bool asked = std::find(answers.seen.begin(), answers.seen.end(), "New") != answers.seen.end();
    EXPECT_EQ(asked, c.startDialog);
    EXPECT_NE(std::find(answers.seen.begin(), answers.seen.end(), "SQL Select"), answers.seen.end());
    EXPECT_FALSE(doc->m_bReportOpen);
  }
  WritePrivateProfileStringA("Preferences", "FileNew", nullptr, (dir_ + "/kmw.ini").c_str());
}

TEST_F(FileMenuTest, LibraryMembersAreSavedCopiedDeletedAndOpenedFromTheCommandLine) {
  NewBlankCustomers();
  PlaceOnRecordLine({Field("company"), Field("country")});
  const std::string first = dir_ + "/reports.qb6";
  const std::string second = dir_ + "/copies.qb6";
  const std::string pdf = dir_ + "/from-library.pdf";
  const std::string printed = Print("library-before");
  // The unattended run prints where the report says.
  doc->m_pPageSetup->OutputDestination = 2;
  doc->m_pRepIO->m_stream.settings.printFileName = pdf;

  // Save As a new library: asked about the extension, then the member's name.
  answers.File("Save As", first);
  answers.On("Save Report", [](HWND d) {
    SetDlgItemTextA(d, 200, "Sales  ");
    Press(d, IDOK);
  });
  Command(30020);
  ASSERT_EQ(Members(*doc, first), std::vector<std::string>{"Sales"});
  EXPECT_TRUE(doc->m_bLibraryMode);
  EXPECT_STREQ(doc->m_szReportName, "Sales");
  bool askedExtension = false;
  for (const std::string& q : questions) askedExtension |= q.find("library extension") != std::string::npos;
  EXPECT_TRUE(askedExtension);

  // A second library to copy into.
  answers.Clear();
  answers.File("Save As", second);
  answers.On("Save Report", [](HWND d) {
    SetDlgItemTextA(d, 200, "Other");
    Press(d, IDOK);
  });
  Command(30020);
  ASSERT_EQ(Members(*doc, second), std::vector<std::string>{"Other"});
  doc->SetModifiedFlag(FALSE);

  // File Open of the first library: copy Sales into the second as Copy, then delete it.
  answers.Clear();
  std::vector<std::string> listed, afterDelete;
  std::string lastSaved;
  answers.File("Open Report", first);
  answers.On("Open Report", [&](HWND d) {
    listed = ListItems(d, 200);
    answers.File("Copy Report To", first);  // refused: the current library
    answers.On("Copy Report", [](HWND c) {
      SetDlgItemTextA(c, 200, "Copy");
      Press(c, IDOK);
    });
    int tries = 0;
    answers.File("Copy Report To", first);
    // The file dialog comes again after the refusal: the second library then.
    answer = [&, d](const MessageBoxRecord& r) {
      if (r.text.find("cannot copy to the current library") != std::string::npos && ++tries == 1)
        answers.File("Copy Report To", second);
      return IDYES;
    };
    SelectListed(d, 200, "Sales");
    lastSaved = ui_test::Text(GetDlgItem(d, 208));
    Press(d, 205);
    Press(d, 203);
    afterDelete = ListItems(d, 200);
    Press(d, IDCANCEL);
  });
  Command(32001);
  EXPECT_EQ(listed, std::vector<std::string>{"Sales"});
  EXPECT_EQ(lastSaved.size(), 20u) << "the member's last-saved date and time: " << lastSaved;
  EXPECT_TRUE(afterDelete.empty());
  EXPECT_TRUE(Members(*doc, first).empty());
  std::vector<std::string> copies = Members(*doc, second);
  std::sort(copies.begin(), copies.end());
  EXPECT_EQ(copies, (std::vector<std::string>{"Copy", "Other"}));
  doc->SetModifiedFlag(FALSE);

  // The copy prints from the command line, unattended.
  int status = -1;
  const std::string out = program_run::Capture(
      "cd '" + dir_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR='" + dir_ + "' " +
          program_run::ProgramLeakOptions() + " timeout 120 '" + program_run::ProgramPath() + "' '/L" + second +
          "' /RCopy /G 2>&1",
      &status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_EQ(program_run::Capture("pdftotext -layout '" + pdf + "' - 2>/dev/null"), printed);
}

TEST_F(FileMenuTest, SendHandsTheReportToTheMailer) {
  NewBlankCustomers();
  PlaceOnRecordLine({Field("company")});
  const std::string bin = dir_ + "/bin";
  fs::create_directories(bin);
  const std::string mailbox = dir_ + "/mailbox.txt";
  std::ofstream(bin + "/sendmail") << "#!/bin/sh\necho \"$@\" > '" << dir_ << "/sendmail-args'\ncat > '" << mailbox << "'\n";
  // No desktop mail program: the mailto handler is empty.
  std::ofstream(bin + "/xdg-mime") << "#!/bin/sh\nexit 0\n";
  std::ofstream(bin + "/xdg-email") << "#!/bin/sh\nexit 3\n";
  for (const char* p : {"/sendmail", "/xdg-mime", "/xdg-email"}) ::chmod((bin + p).c_str(), 0755);
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (bin + ":" + oldPath).c_str(), 1);

  answers.On("Send", [](HWND d) {
    SetDlgItemTextA(d, 200, "boss@example.org");
    Press(d, IDOK);
  });
  Command(57612);
  const std::string mail = ReadText(mailbox);
  EXPECT_NE(mail.find("To: boss@example.org"), std::string::npos) << mail;
  EXPECT_NE(mail.find("Content-Disposition: attachment; filename=\"Untitled.KMW\""), std::string::npos) << mail;
  EXPECT_NE(ReadText(dir_ + "/sendmail-args").find("-t"), std::string::npos);
  // The attachment is the report as a report file: the compound file's signature in base64.
  EXPECT_NE(mail.find("0M8R4KGxGuE"), std::string::npos);

  // A desktop mail program takes the file itself.
  std::ofstream(bin + "/xdg-mime") << "#!/bin/sh\necho mail.desktop\n";
  std::ofstream(bin + "/xdg-email") << "#!/bin/sh\nfor a; do last=\"$a\"; done\ncp \"$last\" '" << dir_
                                    << "/attached.kmw'\necho \"$@\" > '" << dir_ << "/xdg-args'\n";
  Command(57612);
  EXPECT_NE(ReadText(dir_ + "/xdg-args").find("--attach"), std::string::npos);
  EXPECT_EQ(ReadText(dir_ + "/attached.kmw").substr(0, 8), std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));

  // No mailer at all: a clear message.
  if (fs::exists("/usr/sbin/sendmail") || fs::exists("/usr/lib/sendmail")) return;
  fs::remove(bin + "/sendmail");
  std::ofstream(bin + "/xdg-mime") << "#!/bin/sh\nexit 0\n";
  setenv("PATH", bin.c_str(), 1);
  questions.clear();
  Command(57612);
  setenv("PATH", oldPath.c_str(), 1);
  ASSERT_FALSE(questions.empty());
  EXPECT_NE(questions.back().find("No mail program is set up"), std::string::npos) << questions.back();
}

TEST_F(FileMenuTest, ReportsOpenAndSaveInAFolderNamedWithNonAsciiLetters) {
  NewBlankCustomers();
  PlaceOnRecordLine({Field("company"), Field("city")});
  const std::string folderUtf8 = dir_ + "/Berichte Grüße";
  fs::create_directories(folderUtf8);
  const std::string pathUtf8 = folderUtf8 + "/Kunden.kmw";
  answers.File("Save As", pathUtf8);
  Command(30020);
  ASSERT_TRUE(fs::exists(pathUtf8));
  // Inside the program the name is the code page's text.
  EXPECT_EQ(doc->GetPathName(), dir_ + "/Berichte Gr\xFC\xDF" "e/Kunden.kmw");
  const std::string before = Print("umlaut-before");
  Command(30000);

  // File Open with the file picked in the Open dialog: its Data Source box
  // shows the data source stored in it.
  answers.Clear();
  std::vector<std::string> sources;
  answers.OnFile("Open Report", [&](const ui_test::FileDialogHandle& fd) {
    fd.Select(pathUtf8);
    HWND added = fd.AddedControls();
    ASSERT_NE(added, nullptr);
    sources = ListItems(added, 206, true);
    char chosen[100] = {};
    GetDlgItemTextA(added, 206, chosen, sizeof chosen);
    EXPECT_STREQ(chosen, "VortelleSample") << "the stored data source is selected";
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(added, 206)));
    fd.Accept();
  });
  Command(32001);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_FALSE(sources.empty());
  EXPECT_EQ(Print("umlaut-after"), before);

  // Saved again in place.
  doc->SetModifiedFlag(TRUE);
  Command(30010);
  EXPECT_FALSE(doc->IsModified());
  EXPECT_TRUE(fs::exists(pathUtf8));
  bool stray = false;
  for (const auto& e : fs::directory_iterator(dir_))
    stray |= e.path().filename().string().find("Gr\xFC") != std::string::npos;
  EXPECT_FALSE(stray) << "no folder named with the code page's raw bytes";
}

// The Open dialog's Data Source box as the cursor moves: the source each
// report was saved over, marked when it is not installed (one such entry at
// a time), nothing for a file that is no report; OK takes the stored source
// unless another was picked, and a source that cannot be used cancels.
TEST_F(FileMenuTest, TheDataSourceBoxFollowsTheReportUnderTheCursor) {
  NewBlankCustomers();
  PlaceOnRecordLine({Field("company"), Field("city")});
  const std::string before = Print("source-before");
  const std::string installed = dir_ + "/installed.kmw", gone = dir_ + "/gone.kmw", notes = dir_ + "/notes.kmw";
  answers.File("Save As", installed);
  Command(30020);
  // The same report as saved over a data source this system does not have.
  doc->m_pRepIO->m_stream.settings.sources[0].sourceName = "Gone";
  answers.File("Save As", gone);
  Command(30020);
  ASSERT_EQ(StoredDataSource(gone.c_str()), "Gone");
  ASSERT_EQ(StoredDataSource(installed.c_str()), "VortelleSample");
  std::ofstream(notes) << "no report";
  Command(30000);
  ASSERT_FALSE(doc->m_bReportOpen);

  answers.Clear();
  struct Look {
    std::string text;
    bool enabled;
    std::vector<std::string> entries;
  };
  std::vector<Look> looks;
  auto look = [&](HWND added) {
    char text[100] = {};
    GetDlgItemTextA(added, 206, text, sizeof text);
    looks.push_back({text, IsWindowEnabled(GetDlgItem(added, 206)) != FALSE, ListItems(added, 206, true)});
  };
  answers.OnFile("Open Report", [&](const ui_test::FileDialogHandle& fd) {
    HWND added = fd.AddedControls();
    ASSERT_NE(added, nullptr);
    for (const std::string& p : {installed, gone, installed, gone, notes, gone}) {
      fd.Select(p);
      look(added);
    }
    fd.Accept();  // the marked entry stays selected: no pick
  });
  // The stored source is tried and the database layer tells why it fails.
  std::string refusal;
  answers.On("VORTELLE Report Designer", [&](HWND d) {
    refusal = ui_test::Text(GetDlgItem(d, 200));
    Press(d, IDOK);
  });
  Command(32001);
  EXPECT_NE(refusal.find("Data source name not found"), std::string::npos) << refusal;
  ASSERT_EQ(looks.size(), 6u);
  const std::vector<std::string> known = looks[0].entries;
  EXPECT_EQ(looks[0].text, "VortelleSample");
  EXPECT_TRUE(looks[0].enabled);
  EXPECT_EQ(looks[1].text, "Gone  (Not available)");
  EXPECT_EQ(looks[1].entries.size(), known.size() + 1);
  EXPECT_EQ(looks[2].entries, known) << "the marked entry goes with its file";
  EXPECT_EQ(looks[3].entries.size(), known.size() + 1) << "never two marked entries";
  EXPECT_FALSE(looks[4].enabled);
  EXPECT_TRUE(looks[5].enabled);
  EXPECT_FALSE(doc->m_bReportOpen) << "the stored source cannot be used: OK turned into Cancel";

  // Another source picked in the box: the report is read over it.
  answers.Clear();
  answers.OnFile("Open Report", [&](const ui_test::FileDialogHandle& fd) {
    HWND added = fd.AddedControls();
    ASSERT_NE(added, nullptr);
    fd.Select(gone);
    const LRESULT at = SendDlgItemMessageA(added, 206, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                           reinterpret_cast<LPARAM>("VortelleSample"));
    ASSERT_NE(at, CB_ERR);
    SendDlgItemMessageA(added, 206, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
    fd.Accept();
  });
  Command(32001);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(Print("source-after"), before);
  doc->SetModifiedFlag(FALSE);
}

// Save As with its Help button; the Open dialog over a folder of reports,
// the cursor on one saved over the sample's data source: its Data Source
// box shows that source.
TEST_F(FileMenuTest, ScreensReportOpenDialogWithItsDataSource) {
  NewBlankCustomers();
  PlaceOnRecordLine({Field("company")});
  const std::string path = dir_ + "/screens.kmw";
  bool savedSaveAs = false;
  answers.OnFile("Save As", [&](const ui_test::FileDialogHandle& fd) {
    fd.Select(path);
    savedSaveAs = fd.SavePicture(ScreenPath("save-as-dialog"));
    fd.Accept();
  });
  Command(30020);
  ASSERT_TRUE(fs::exists(path));
  EXPECT_TRUE(savedSaveAs);
  Command(30000);
  answers.Clear();
  bool saved = false;
  std::string shown;
  answers.OnFile("Open Report", [&](const ui_test::FileDialogHandle& fd) {
    fd.Select(path);
    char text[100] = {};
    GetDlgItemTextA(fd.AddedControls(), 206, text, sizeof text);
    shown = text;
    saved = fd.SavePicture(ScreenPath("report-open-dialog"));
    fd.Cancel();
  });
  Command(32001);
  EXPECT_TRUE(saved);
  EXPECT_EQ(shown, "VortelleSample");
  EXPECT_FALSE(doc->m_bReportOpen);
}

}  // namespace
}  // namespace file_menu_test
