// The program's file and folder choosers as a user meets them: File New on a
// data source whose tables are files asks for the master table in the Open
// dialog with "Create report without master table"; the Browse buttons of
// File Settings choose folders and files. Each scenario ends with the report
// saved, read back and printed to PDF.
#include "app/app.h"
#include "app/document.h"
#include "app/folder_browse.h"
#include "app/open_report.h"
#include "app/print_run.h"
#include "core/composite.h"
#include "data/data_access.h"
#include "designer/design_view.h"
#include "dialogs/edit_text.h"
#include "expr/functions_common.h"
#include "foundation/settings.h"
#include "layout/layout_records.h"
#include "platform/printer/printer_info.h"
#include "platform/win/fileio.h"
#include "platform/win/help.h"
#include "platform/win/message_box.h"
#include "platform/win/profile.h"
#include "platform/win/window_picture.h"
#include "tests/app/options/dialog_steps.h"
#include "tests/app/options/sample_setup.h"
#include "tests/support/program_run.h"
#include "tests/support/screens.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace options_test;

// The sample folder, its data source taken as one whose tables are files and
// the common file dialog preferred; made once for the program (the driver
// manager reads its data sources once per process).
const std::string& SampleDir() {
  struct Folder {
    std::string path = MakeSampleFolder("vt_choosers", [](const std::string& dir) {
      // The stand-in driver names its tables without the file extension.
      std::string ini;
      ReadWholeFile(dir + "/kmwsql.ini", ini);
      const size_t at = ini.find("[SQLite]\n");
      if (at != std::string::npos) ini.insert(at + 9, "UseFileExt=0\n");
      WriteWholeFile(dir + "/kmwsql.ini", ini + "\n[Platforms]\nSQLite=dBASE\n");
      std::ofstream(dir + "/kmw.ini", std::ios::app) << "UseCommonDlg=1\n";
      // The customers as a table file: a dBASE-style source names its tables by file.
      std::ofstream(dir + "/customers.DBF") << "x";
    });
    ~Folder() {
      std::error_code ec;
      if (!path.empty()) fs::remove_all(path, ec);
    }
  };
  static Folder folder;
  return folder.path;
}

// The start dialog answered Blank Report, after the user cancelled it at
// start-up.
class StartBlank : public NewReportSteps {
 public:
  int RunStartDialog(CKmDoc&) override { return calls_++ == 0 ? 0 : 3; }

 private:
  int calls_ = 0;
};

using ui_test::FileDialogHandle;

// File dialogs answered by title while a command runs: each action runs once,
// in the dialog's own modal loop.
class FileDialogAnswers {
 public:
  using Action = std::function<void(const FileDialogHandle&)>;
  void On(const std::string& title, Action a) { actions_[title] = std::move(a); }
  // A path typed and accepted (empty: cancelled).
  void Give(const std::string& title, const std::string& path) {
    On(title, [path](const FileDialogHandle& fd) {
      if (path.empty())
        fd.Cancel();
      else
        fd.Choose(path);
    });
  }
  std::vector<std::string> seen;
  FileDialogAnswers() { Schedule(); }
  ~FileDialogAnswers() { *alive_ = false; }

 private:
  void Schedule() {
    std::shared_ptr<bool> alive = alive_;
    ui_test::After(20, [this, alive] {
      if (!*alive) return;
      Schedule();
      for (auto it = actions_.begin(); it != actions_.end(); ++it)
        if (FileDialogHandle fd = FileDialogHandle::TakeActive(it->first)) {
          Action a = std::move(it->second);
          seen.push_back(it->first);
          actions_.erase(it);
          a(fd);
          return;
        }
    });
  }
  std::map<std::string, Action> actions_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// File New, blank, with "Create report without master table" set in the
// master table's Open dialog.
void NewWithoutMaster(DialogSteps& steps, FileDialogAnswers& files, HWND frame) {
  files.On("Master  Table", [](const FileDialogHandle& fd) {
    HWND added = fd.AddedControls();
    ASSERT_NE(added, nullptr);
    CheckDlgButton(added, 200, BST_CHECKED);
    fd.Accept();
  });
  steps.Run([&] { SendMessageA(frame, WM_COMMAND, kCmdFileNew, 0); });
}

// A title typed in place at the caret and entered.
void TypeTitle(CKmView& view, const std::string& text) {
  SendMessageA(view.m_hWnd, WM_CHAR, static_cast<unsigned char>(text[0]), 1);
  ASSERT_TRUE(view.EditorOpen());
  for (char ch : text.substr(1)) SendMessageA(view.TextEditor()->Window(), WM_CHAR, static_cast<unsigned char>(ch), 1);
  SendMessageA(view.TextEditor()->Window(), WM_KEYDOWN, VK_RETURN, 1);
  ui_test::Pump();
  ASSERT_FALSE(view.EditorOpen());
}

std::string CustomersFile() { return SampleDir() + "/customers.DBF"; }

// Database > Master Table: the customers' table file, chosen by "Table..." in
// the Open dialog.
void ChooseCustomers(DialogSteps& steps, FileDialogAnswers& files, HWND frame) {
  files.Give("Master  Table", CustomersFile());
  steps.Dialog("Master Table", [](HWND d) {
    Press(d, 210);
    Press(d, IDOK);
  });
  steps.Run([&] { SendMessageA(frame, WM_COMMAND, 30600, 0); });
}

// File > Open of a report file (the system's name), chosen in the Open dialog.
void OpenReportFile(DialogSteps& steps, FileDialogAnswers& files, HWND frame, const std::string& path) {
  files.Give("Open Report", path);
  steps.Run([&] { SendMessageA(frame, WM_COMMAND, kCmdFileOpen, 0); });
}

// File > Print to the PDF printer into a file; the PDF's text ("" when none was made).
std::string PrintToPdf(DialogSteps& steps, HWND frame, const std::string& pdf) {
  PrintToPdfFile(steps, frame, pdf);
  if (!fs::exists(pdf)) return "";
  return program_run::Capture("pdftotext -layout '" + pdf + "' - 2>/dev/null");
}

class FileChoosersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = SampleDir();
    if (dir_.empty()) GTEST_SKIP() << "the SQLite ODBC driver, sqlite3 or pdftotext is missing";
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
    SetNewReportSteps(&start_);
  }
  void TearDown() override {
    SetNewReportSteps(nullptr);
    SetMessageBoxResponder(nullptr);
  }
  std::string dir_;
  StartBlank start_;
};

TEST_F(FileChoosersTest, NewReportWithoutMasterTableTypedSavedReadBackAndPrinted) {
  RunningProgram program;
  ASSERT_TRUE(program.started);
  CKmDoc* doc = GetActiveKmDoc();
  ASSERT_NE(doc, nullptr);
  HWND frame = doc->m_pMainFrame->m_hWnd;
  DialogSteps steps;
  FileDialogAnswers files;
  auto command = [&](UINT id) { steps.Run([&] { SendMessageA(frame, WM_COMMAND, id, 0); }); };
  std::vector<std::string> questions;
  int reply = IDYES;
  SetMessageBoxResponder([&](const MessageBoxRecord& r) {
    questions.push_back(r.text);
    return (r.type & MB_TYPEMASK) == MB_OK ? IDOK : reply;
  });

  // File New, blank: the master table is a file of the data source's folder;
  // Cancel there makes no report.
  std::string startFolder;
  files.On("Master  Table", [&](const FileDialogHandle& fd) {
    startFolder = fd.Folder();
    fd.Cancel();
  });
  command(kCmdFileNew);
  EXPECT_EQ(startFolder, dir_);
  EXPECT_FALSE(doc->m_bReportOpen);

  // Again, with the box set and no file: a report without a master table.
  // The Help button reaches the help file at the dialog's context.
  std::string boxText;
  bool helpShown = false;
  files.On("Master  Table", [&](const FileDialogHandle& fd) {
    HWND added = fd.AddedControls();
    ASSERT_NE(added, nullptr);
    boxText = ui_test::Text(GetDlgItem(added, 200));
    ClearHelpRequests();
    ASSERT_TRUE(fd.ClickHelp()) << "no Help button";
    ASSERT_FALSE(HelpRequests().empty());
    EXPECT_EQ(HelpRequests().back().command, HELP_CONTEXT);
    helpShown = HelpRequests().back().data == 1044;
    CheckDlgButton(added, 200, BST_CHECKED);
    fd.Accept();
  });
  // The first request for help in the run says that no help viewer exists.
  steps.Message("no help viewer");
  command(kCmdFileNew);
  EXPECT_EQ(boxText, "&Create report without master table");
  EXPECT_TRUE(helpShown);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_TRUE(doc->m_bCreateWithoutMaster);
  EXPECT_EQ(doc->m_files.masterTable[0], 0);
  EXPECT_EQ(doc->m_pModel->tableSlots[0], nullptr);

  // A title typed in place; File Close stores it as Enter would, then asks
  // about the changes, and Cancel keeps the report with its title.
  CKmView& view = *doc->m_pView;
  SendMessageA(view.m_hWnd, WM_CHAR, 'N', 1);
  ASSERT_TRUE(view.EditorOpen());
  HWND editor = view.TextEditor()->Window();
  for (char ch : std::string("omaster labels")) SendMessageA(editor, WM_CHAR, static_cast<unsigned char>(ch), 1);
  doc->SetModifiedFlag(TRUE);
  SetFocus(frame);
  reply = IDCANCEL;
  questions.clear();
  command(30000);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_NE(questions[0].find("Save changes"), std::string::npos) << questions[0];
  EXPECT_TRUE(doc->m_bReportOpen);
  ASSERT_FALSE(view.EditorOpen());

  // Save As, closed, read back through File > Open.
  reply = IDYES;
  const std::string report = dir_ + "/nomaster.kmw";
  files.Give("Save As", report);
  command(kCmdFileSaveAs);
  ASSERT_TRUE(fs::exists(report));
  command(30000);
  EXPECT_FALSE(doc->m_bReportOpen);
  questions.clear();
  OpenReportFile(steps, files, frame, report);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(doc->m_pModel->tableSlots[0], nullptr);
  EXPECT_TRUE(questions.empty()) << questions.front();

  // The master table chosen afterwards in Database > Master Table, so the
  // report has records to print its title with.
  ChooseCustomers(steps, files, frame);
  ASSERT_NE(doc->m_pModel->tableSlots[0], nullptr);
  EXPECT_EQ(std::string(doc->m_pModel->tableSlots[0]->path), CustomersFile());

  // Printed through the Print dialog to the PDF printer.
  questions.clear();
  const std::string text = PrintToPdf(steps, frame, dir_ + "/nomaster.pdf");
  EXPECT_NE(text.find("Nomaster labels"), std::string::npos) << text << (questions.empty() ? "" : questions.back());
  doc->SetModifiedFlag(FALSE);
}

TEST_F(FileChoosersTest, FileSettingsBrowseButtonsChooseTheFoldersAReportIsSavedIn) {
  // A report folder with letters outside ASCII, and a dictionary table file.
  const std::string reports = dir_ + "/Rapports \xC3\xA9t\xC3\xA9";
  fs::create_directories(reports);
  const std::string table = dir_ + "/dict.DBF";
  std::ofstream(table) << "x";
  RunningProgram program;
  ASSERT_TRUE(program.started);
  CKmDoc* doc = GetActiveKmDoc();
  ASSERT_NE(doc, nullptr);
  HWND frame = doc->m_pMainFrame->m_hWnd;
  DialogSteps steps;
  FileDialogAnswers files;
  SetMessageBoxResponder([](const MessageBoxRecord& r) { return (r.type & MB_TYPEMASK) == MB_OK ? IDOK : IDYES; });

  // Options > File Settings: Browse beside the report folder starts in the
  // folder set now and puts the chosen one in the field; the dictionary
  // table's Browse chooses a file; a cancelled Browse leaves its field.
  std::string reportStart, reportField, tableField, pictureField, pictureBefore;
  bool foldersOnly = false;
  files.On("Report Directory", [&](const FileDialogHandle& fd) {
    // The folder set now is selected, shown among its neighbours.
    reportStart = fd.Selected();
    foldersOnly = fd.FoldersOnly();
    fd.Choose(reports);
  });
  files.Give("Report Dictionary", table);
  files.Give("Picture Directory", "");
  steps.Dialog("Default File Settings", [&](HWND d) {
    Press(d, 1130);
    reportField = ControlText(d, 1122);
    Press(d, 1133);
    tableField = ControlText(d, 1127);
    SetText(d, 1128, "");
    SetText(d, 1127, "");
    pictureBefore = ControlText(d, 1121);
    Press(d, 1131);
    pictureField = ControlText(d, 1121);
    Press(d, IDOK);
  });
  steps.Run([&] { SendMessageA(frame, WM_COMMAND, 32022, 0); });
  EXPECT_EQ(reportStart, dir_);
  EXPECT_TRUE(foldersOnly);
  const std::string reportsText = ProgramFileName(reports);
  EXPECT_EQ(reportField, reportsText);
  EXPECT_EQ(tableField, ProgramFileName(table));
  EXPECT_EQ(pictureField, pictureBefore);
  char written[300] = {};
  GetPrivateProfileStringA("Defaults", "LibDir", "", written, sizeof written, SettingsIniPath().c_str());
  EXPECT_EQ(std::string(written), reportsText);
  EXPECT_EQ(std::string(doc->m_settings.libDir), reportsText);

  // A new report is saved in that folder by Save As, read back and printed.
  NewWithoutMaster(steps, files, frame);
  ASSERT_TRUE(doc->m_bReportOpen);
  TypeTitle(*doc->m_pView, "Browsed folder");
  std::string saveStart;
  files.On("Save As", [&](const FileDialogHandle& fd) {
    saveStart = fd.Folder();
    fd.Choose("browsed.kmw");
  });
  steps.Run([&] { SendMessageA(frame, WM_COMMAND, kCmdFileSaveAs, 0); });
  EXPECT_EQ(saveStart, reports);
  const std::string report = reports + "/browsed.kmw";
  ASSERT_TRUE(fs::exists(report));
  steps.Run([&] { SendMessageA(frame, WM_COMMAND, 30000, 0); });
  OpenReportFile(steps, files, frame, report);
  ASSERT_TRUE(doc->m_bReportOpen);
  ChooseCustomers(steps, files, frame);
  const std::string text = PrintToPdf(steps, frame, reports + "/browsed.pdf");
  EXPECT_NE(text.find("Browsed folder"), std::string::npos) << text;
  doc->SetModifiedFlag(FALSE);
}

TEST_F(FileChoosersTest, MasterTableFileIsChosenFromTheReportFolderSavedReadBackAndPrinted) {
  const std::string tables = dir_ + "/tables";
  fs::create_directories(tables);
  const std::string customers = CustomersFile();
  const std::string gone = tables + "/gone.DBF";
  std::ofstream(gone) << "x";
  RunningProgram program;
  ASSERT_TRUE(program.started);
  CKmDoc* doc = GetActiveKmDoc();
  ASSERT_NE(doc, nullptr);
  HWND frame = doc->m_pMainFrame->m_hWnd;
  DialogSteps steps;
  FileDialogAnswers files;
  SetMessageBoxResponder([](const MessageBoxRecord& r) { return (r.type & MB_TYPEMASK) == MB_OK ? IDOK : IDYES; });
  NewWithoutMaster(steps, files, frame);
  ASSERT_TRUE(doc->m_bReportOpen);
  TypeTitle(*doc->m_pView, "Table from a file");

  // Database > Master Table, "Table...": the Open dialog starts in the data
  // folder (no master yet) and lists the source's table files; a file that
  // is gone by OK is refused and the dialog stays for another choice.
  std::string firstStart, filter, nameShown, aliasShown, finalAlias;
  files.On("Master  Table", [&](const ui_test::FileDialogHandle& fd) {
    firstStart = fd.Folder();
    filter = fd.NameFilter();
    fd.Choose(gone);
  });
  steps.Dialog("Master Table", [&](HWND d) {
    Press(d, 210);
    nameShown = ControlText(d, 200);
    fs::remove(gone);
    Post(d, IDOK);
  });
  steps.Message("Invalid master table pathname");
  steps.Dialog("Master Table", [&](HWND d) {
    files.Give("Master  Table", customers);
    Press(d, 210);
    aliasShown = ControlText(d, 201);
    SetText(d, 201, "");
    Press(d, IDOK);
  });
  steps.Run([&] { SendMessageA(frame, WM_COMMAND, 30600, 0); });
  EXPECT_EQ(firstStart, dir_);
  EXPECT_NE(filter.find("*.DBF"), std::string::npos) << filter;
  EXPECT_EQ(nameShown, "gone.DBF");
  EXPECT_EQ(steps.messages.size(), 1u);
  EXPECT_EQ(aliasShown, "customer");
  ASSERT_NE(doc->m_pModel->tableSlots[0], nullptr);
  EXPECT_EQ(std::string(doc->m_pModel->tableSlots[0]->path), customers);
  EXPECT_STREQ(doc->m_pModel->tableSlots[0]->alias, "customer") << "an emptied alias comes from the file name";

  // Saved, closed and read back; "Table..." starts in the master's folder,
  // and a cancelled choice keeps the master.
  const std::string report = dir_ + "/fromfile.kmw";
  files.Give("Save As", report);
  steps.Run([&] { SendMessageA(frame, WM_COMMAND, kCmdFileSaveAs, 0); });
  ASSERT_TRUE(fs::exists(report));
  steps.Run([&] { SendMessageA(frame, WM_COMMAND, 30000, 0); });
  EXPECT_FALSE(doc->m_bReportOpen);
  OpenReportFile(steps, files, frame, report);
  ASSERT_TRUE(doc->m_bReportOpen);
  ASSERT_NE(doc->m_pModel->tableSlots[0], nullptr);
  EXPECT_EQ(std::string(doc->m_pModel->tableSlots[0]->path), customers);
  std::string againStart, againName;
  files.On("Master  Table", [&](const ui_test::FileDialogHandle& fd) {
    againStart = fd.Folder();
    fd.Cancel();
  });
  steps.Dialog("Master Table", [&](HWND d) {
    againName = ControlText(d, 200);
    Press(d, 210);
    Press(d, IDCANCEL);
  });
  steps.Run([&] { SendMessageA(frame, WM_COMMAND, 30600, 0); });
  EXPECT_EQ(againName, "customers.DBF");
  EXPECT_EQ(againStart, dir_);
  EXPECT_EQ(std::string(doc->m_pModel->tableSlots[0]->path), customers);

  const std::string text = PrintToPdf(steps, frame, dir_ + "/fromfile.pdf");
  EXPECT_NE(text.find("Table from a file"), std::string::npos) << text;
  doc->SetModifiedFlag(FALSE);
}

TEST_F(FileChoosersTest, ScreensMasterTableOpenFolderChooserAndFileSettings) {
  RunningProgram program;
  ASSERT_TRUE(program.started);
  CKmDoc* doc = GetActiveKmDoc();
  ASSERT_NE(doc, nullptr);
  HWND frame = doc->m_pMainFrame->m_hWnd;
  DialogSteps steps;
  FileDialogAnswers files;
  auto picture = [](const FileDialogHandle& fd, const char* name) {
    ui_test::Pump();
    EXPECT_TRUE(fd.SavePicture(ScreenPath(name))) << name;
  };
  files.On("Master  Table", [&](const FileDialogHandle& fd) {
    picture(fd, "master-table-open-dialog");
    fd.Cancel();
  });
  steps.Run([&] { SendMessageA(frame, WM_COMMAND, kCmdFileNew, 0); });
  files.On("Report Directory", [&](const FileDialogHandle& fd) {
    picture(fd, "folder-chooser");
    fd.Cancel();
  });
  steps.Dialog("Default File Settings", [&](HWND d) {
    ui_test::Pump();
    EXPECT_TRUE(SaveWindowPicture(d, ScreenPath("file-settings-browse").c_str()));
    Press(d, 1130);
    Press(d, IDCANCEL);
  });
  steps.Run([&] { SendMessageA(frame, WM_COMMAND, 32022, 0); });
  EXPECT_EQ(files.seen, (std::vector<std::string>{"Master  Table", "Report Directory"}));
}

TEST(FolderForFieldTest, TrailingSeparatorsAndFilesAreCutBackToTheFolder) {
  char tmpl[] = "/tmp/vt_folderfield_XXXXXX";
  const std::string dir = ::mkdtemp(tmpl);
  std::ofstream(dir + "/a.kmw") << "x";
  EXPECT_EQ(FolderForField(dir + "/"), dir);
  EXPECT_EQ(FolderForField(dir + "/a.kmw"), dir) << "a chosen file stands for its folder";
  EXPECT_EQ(FolderForField(dir + "/new"), dir + "/new") << "a folder still to be made stays";
  EXPECT_EQ(FolderForField("/"), "/");
  EXPECT_EQ(FolderForField("C:\\"), "C:\\");
  fs::remove_all(dir);
}

}  // namespace
