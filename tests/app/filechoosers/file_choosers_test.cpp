// The program's file and folder choosers as a user meets them: File New on a
// data source whose tables are files asks for the master table in the Open
// dialog with "Create report without master table"; the Browse buttons of
// File Settings choose folders and files. Each scenario ends with the report
// saved, read back and printed to PDF.
#include "app/app.h"
#include "app/document.h"
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
#include "platform/win/help.h"
#include "platform/win/message_box.h"
#include "platform/win/profile.h"
#include "platform/win/window_picture.h"
#include "tests/app/options/dialog_steps.h"
#include "tests/support/program_run.h"
#include "tests/support/screens.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>

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
    std::string path;
    Folder() {
      if (program_run::Capture("ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null").empty() ||
          program_run::Capture("command -v sqlite3").empty() || program_run::Capture("command -v pdftotext").empty())
        return;
      char tmpl[] = "/tmp/vt_choosers_XXXXXX";
      if (::mkdtemp(tmpl) == nullptr) return;
      int status = -1;
      program_run::Capture("bash '" VT_SOURCE_DIR "/samples/make-sample' '" + std::string(tmpl) + "' 2>&1", &status);
      if (status != 0) return;
      path = tmpl;
      std::ofstream(path + "/kmwsql.ini", std::ios::app) << "\n[Platforms]\nSQLite=dBASE\n";
      std::ofstream(path + "/kmw.ini", std::ios::app) << "UseCommonDlg=1\n";
      setenv("ODBCINI", (path + "/odbc.ini").c_str(), 1);
      setenv("ODBCSYSINI", path.c_str(), 1);
      setenv("VORTELLE_WINDIR", path.c_str(), 1);
    }
    ~Folder() {
      std::error_code ec;
      if (!path.empty()) fs::remove_all(path, ec);
    }
  };
  static Folder folder;
  return folder.path;
}

class StartBlank : public NewReportSteps {
 public:
  int RunStartDialog(CKmDoc&) override { return 3; }
};

// The program started as a user starts it; it ends however the test ends.
struct RunningProgram {
  CKmApp app;
  std::string name = "vortelle";
  bool started = false;
  RunningProgram() {
    char* argv[] = {name.data(), nullptr};
    started = app.InitInstance(1, argv) != FALSE;
  }
  ~RunningProgram() {
    if (CKmDoc* d = GetActiveKmDoc()) d->SetModifiedFlag(FALSE);
    app.ExitInstance();
  }
};

// The toolkit's file dialog up and not answered yet, with the given title.
QFileDialog* OpenFileDialog(const std::string& title) {
  auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
  if (fd == nullptr || !fd->isVisible() || fd->property("vtAnswered").toBool() ||
      fd->windowTitle().toStdString() != title)
    return nullptr;
  fd->setProperty("vtAnswered", true);
  return fd;
}

// The window of the program's own controls added to a file dialog.
HWND AddedControls(QWidget* fd) {
  for (HWND h : vt_ui::AllWindows())
    if (IsWindow(h) && h->dlg && h->widget && h->widget->window() == fd) return h;
  return nullptr;
}

QAbstractButton* HelpButton(QWidget* fd) {
  auto* box = fd->findChild<QDialogButtonBox*>();
  return box != nullptr ? box->findChild<QPushButton*>("vtHelp") : nullptr;
}

// File dialogs answered by title while a command runs: each action runs once,
// in the dialog's own modal loop.
class FileDialogAnswers {
 public:
  using Action = std::function<void(QFileDialog*)>;
  void On(const std::string& title, Action a) { actions_[title] = std::move(a); }
  // A path typed and accepted (empty: cancelled).
  void Give(const std::string& title, const std::string& path) {
    On(title, [path](QFileDialog* fd) {
      if (path.empty()) {
        fd->reject();
        return;
      }
      fd->selectFile(QString::fromStdString(path));
      static_cast<QDialog*>(fd)->accept();
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
        if (QFileDialog* fd = OpenFileDialog(it->first)) {
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
  files.On("Master  Table", [&](QFileDialog* fd) {
    startFolder = fd->directory().absolutePath().toStdString();
    fd->reject();
  });
  command(kCmdFileNew);
  EXPECT_EQ(startFolder, dir_);
  EXPECT_FALSE(doc->m_bReportOpen);

  // Again, with the box set and no file: a report without a master table.
  // The Help button reaches the help file at the dialog's context.
  std::string boxText;
  bool helpShown = false;
  files.On("Master  Table", [&](QFileDialog* fd) {
    HWND added = AddedControls(fd);
    ASSERT_NE(added, nullptr);
    boxText = ui_test::Text(GetDlgItem(added, 200));
    ClearHelpRequests();
    QAbstractButton* help = HelpButton(fd);
    ASSERT_NE(help, nullptr);
    help->click();
    ASSERT_FALSE(HelpRequests().empty());
    EXPECT_EQ(HelpRequests().back().command, HELP_CONTEXT);
    helpShown = HelpRequests().back().data == 1044;
    CheckDlgButton(added, 200, BST_CHECKED);
    static_cast<QDialog*>(fd)->accept();
  });
  command(kCmdFileNew);
  EXPECT_EQ(boxText, "&Create report without master table");
  EXPECT_TRUE(helpShown);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_TRUE(doc->m_bCreateWithoutMaster);
  EXPECT_EQ(doc->m_files.masterTable[0], 0);
  EXPECT_EQ(doc->m_pModel->tableSlots[0], nullptr);

  // A title typed in place; File Close asks about the changes, and Cancel
  // gives the typing back its editor.
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
  ASSERT_TRUE(view.EditorOpen());
  EXPECT_EQ(GetFocus(), view.TextEditor()->Window());
  SendMessageA(view.TextEditor()->Window(), WM_KEYDOWN, VK_RETURN, 1);
  ui_test::Pump();
  ASSERT_FALSE(view.EditorOpen());

  // Save As, closed, read back through File > Open.
  reply = IDYES;
  const std::string report = dir_ + "/nomaster.kmw";
  files.Give("Save As", report);
  command(kCmdFileSaveAs);
  ASSERT_TRUE(fs::exists(report));
  command(30000);
  EXPECT_FALSE(doc->m_bReportOpen);
  steps.Dialog("Open Report", [&](HWND d) {
    SetText(d, 1152, report);
    Press(d, IDOK);
  });
  command(kCmdFileOpen);
  ASSERT_TRUE(doc->m_bReportOpen);
  EXPECT_EQ(doc->m_pModel->tableSlots[0], nullptr);

  // The master table chosen afterwards in Database > Master Table, so the
  // report has records to print its title with.
  steps.Dialog("Master Table", [](HWND d) {
    Press(d, 210);
    Press(d, IDOK);
  });
  steps.Dialog("Master  Table", [](HWND d) {
    const LRESULT at = SendDlgItemMessageA(d, 200, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                           reinterpret_cast<LPARAM>("customers"));
    ASSERT_NE(at, LB_ERR);
    SendDlgItemMessageA(d, 200, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
    Press(d, IDOK);
  });
  command(30600);
  ASSERT_NE(doc->m_pModel->tableSlots[0], nullptr);
  EXPECT_STREQ(doc->m_pModel->tableSlots[0]->path, "customers");

  // Printed through the Print dialog to the PDF printer.
  const std::string pdf = dir_ + "/nomaster.pdf";
  steps.Dialog("Print", [&](HWND d) {
    Choose(d, 1139, Find(d, 1139, kPdfPrinterName));
    CheckDlgButton(d, 1040, BST_CHECKED);
    Press(d, 1040);
    SetText(d, 1155, pdf);
    Press(d, IDOK);
  });
  questions.clear();
  command(kCmdFilePrint);
  ASSERT_TRUE(fs::exists(pdf)) << (questions.empty() ? "" : questions.back());
  const std::string text = program_run::Capture("pdftotext -layout '" + pdf + "' - 2>/dev/null");
  EXPECT_NE(text.find("Nomaster labels"), std::string::npos) << text;
  doc->SetModifiedFlag(FALSE);
}

}  // namespace
