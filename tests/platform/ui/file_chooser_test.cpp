// The toolkit's file dialog as the program prepares it: usable while the
// frame it belongs to is disabled, a template's controls under its own with
// their procedure asked at OK, and a Help button.
#include "platform/win/commdlg.h"
#include "platform/win/fileio.h"
#include "platform/win/help.h"
#include "ui_test_util.h"

#include <QDialogButtonBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>
#include <string>

namespace {

struct TemplateSeen {
  bool initWithOfn = false;
  int fileOks = 0;
  bool refuseOnce = false;
  bool endWithoutFile = false;
  int helps = 0;
};

INT_PTR TemplateProc(HWND d, UINT msg, WPARAM, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    const auto* ofn = reinterpret_cast<const OPENFILENAMEA*>(lParam);
    SetWindowLongPtrA(d, DWLP_USER, ofn->lCustData);
    reinterpret_cast<TemplateSeen*>(ofn->lCustData)->initWithOfn = ofn->lpTemplateName != nullptr;
    return TRUE;
  }
  auto* seen = reinterpret_cast<TemplateSeen*>(GetWindowLongPtrA(d, DWLP_USER));
  if (msg != WM_NOTIFY || seen == nullptr) return FALSE;
  const auto* n = reinterpret_cast<const OFNOTIFYA*>(lParam);
  if (n->hdr.code == CDN_HELP) ++seen->helps;
  if (n->hdr.code != CDN_FILEOK) return FALSE;
  ++seen->fileOks;
  if (seen->refuseOnce) {
    seen->refuseOnce = false;
    SetWindowLongPtrA(d, DWLP_MSGRESULT, 1);
    return TRUE;
  }
  if (seen->endWithoutFile) EndFileDialogWithoutFile(d);
  return FALSE;
}

class FileChooserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_test::Start();
    char tmpl[] = "/tmp/vt_chooser_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    frame_ = CreateWindowExA(0, "STATIC", "Frame", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr, nullptr,
                             nullptr);
    ClearHelpRequests();
  }
  void TearDown() override {
    DestroyWindow(frame_);
    std::filesystem::remove_all(dir_);
  }
  QFileDialog* Running() { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); }
  std::string dir_;
  HWND frame_ = nullptr;
};

TEST_F(FileChooserTest, TheDialogStaysUsableOverItsDisabledFrameAndHasItsHelp) {
  char file[260] = {};
  OPENFILENAMEA ofn;
  ofn.hwndOwner = frame_;
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.lpstrInitialDir = dir_.c_str();
  ofn.lpstrTitle = "Pick";
  ofn.Flags = OFN_SHOWHELP;
  ofn.lpstrHelpFile = "kmw.hlp";
  ofn.dwHelpContext = 1060;
  bool enabled = false, frameDisabled = false;
  QPushButton* help = nullptr;
  ui_test::WhenRunning([&] {
    QFileDialog* fd = Running();
    ASSERT_NE(fd, nullptr);
    enabled = fd->isEnabled();
    frameDisabled = !IsWindowEnabled(frame_);
    if (auto* box = fd->findChild<QDialogButtonBox*>()) help = box->findChild<QPushButton*>("vtHelp");
    if (help != nullptr) help->click();
    fd->selectFile(QString::fromStdString(dir_ + "/new.kmw"));
    static_cast<QDialog*>(fd)->accept();
  });
  ASSERT_TRUE(GetSaveFileNameA(&ofn));
  EXPECT_EQ(std::string(file), dir_ + "/new.kmw");
  EXPECT_TRUE(enabled) << "the dialog must take the user's clicks";
  EXPECT_TRUE(frameDisabled);
  EXPECT_TRUE(IsWindowEnabled(frame_)) << "the frame comes back";
  ASSERT_NE(help, nullptr);
  ASSERT_EQ(HelpRequests().size(), 1u);
  EXPECT_EQ(HelpRequests()[0].file, "kmw.hlp");
  EXPECT_EQ(HelpRequests()[0].command, static_cast<UINT>(HELP_CONTEXT));
  EXPECT_EQ(HelpRequests()[0].data, 1060u);

  // Without a help context there is no Help button.
  ofn.dwHelpContext = 0;
  bool helpShown = true;
  ui_test::WhenRunning([&] {
    QFileDialog* fd = Running();
    ASSERT_NE(fd, nullptr);
    helpShown = fd->findChild<QPushButton*>("vtHelp") != nullptr;
    fd->reject();
  });
  EXPECT_FALSE(GetSaveFileNameA(&ofn));
  EXPECT_FALSE(helpShown);
}

TEST_F(FileChooserTest, ATemplatesProcedureIsAskedAtOkAndMayEndWithoutAFile) {
  char file[260] = "kept";
  TemplateSeen seen;
  OPENFILENAMEA ofn;
  ofn.hwndOwner = frame_;
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.lpstrInitialDir = dir_.c_str();
  ofn.lpstrTitle = "Pick";
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_ENABLETEMPLATE | OFN_SHOWHELP;
  ofn.lpTemplateName = "DMasterOpen";
  ofn.lpfnHook = TemplateProc;
  ofn.lCustData = reinterpret_cast<LPARAM>(&seen);
  ofn.lpstrHelpFile = "kmw.hlp";
  ofn.dwHelpContext = 1044;
  seen.refuseOnce = true;
  seen.endWithoutFile = true;
  bool stayed = false, boxShown = false;
  ui_test::WhenRunning([&] {
    QFileDialog* fd = Running();
    ASSERT_NE(fd, nullptr);
    HWND added = nullptr;
    for (HWND h : vt_ui::AllWindows())
      if (IsWindow(h) && h->dlg && h->widget && h->widget->window() == fd) added = h;
    ASSERT_NE(added, nullptr);
    boxShown = IsWindowVisible(GetDlgItem(added, 200)) && GetDlgItem(added, 200)->widget->isVisibleTo(fd);
    if (QPushButton* help = fd->findChild<QPushButton*>("vtHelp")) help->click();
    static_cast<QDialog*>(fd)->accept();  // refused by the procedure
    stayed = fd->isVisible();
    static_cast<QDialog*>(fd)->accept();  // ends without a file
  });
  EXPECT_TRUE(GetOpenFileNameA(&ofn));
  EXPECT_TRUE(seen.initWithOfn);
  EXPECT_TRUE(boxShown);
  EXPECT_TRUE(stayed);
  EXPECT_EQ(seen.fileOks, 2);
  EXPECT_EQ(seen.helps, 1);
  EXPECT_EQ(file[0], '\0') << "no file was chosen";
  // The template's window went with the dialog.
  for (HWND h : vt_ui::AllWindows()) EXPECT_FALSE(IsWindow(h) && h->dlg && GetDlgItem(h, 1119) != nullptr);
  // Outside a file dialog the call does nothing.
  EXPECT_FALSE(EndFileDialogWithoutFile(frame_));
}

// The handle scenario tests drive file dialogs through: taken by its title
// and only once, so a step never answers a dialog twice or the wrong one.
TEST_F(FileChooserTest, AHandleTakesTheDialogOnceByItsTitleAndOutlivesIt) {
  char file[260] = {};
  OPENFILENAMEA ofn;
  ofn.hwndOwner = frame_;
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.lpstrInitialDir = dir_.c_str();
  ofn.lpstrTitle = "Pick";
  bool otherTitle = true, again = true, foldersOnly = true;
  std::string folder;
  ui_test::FileDialogHandle kept;
  ui_test::WhenRunning([&] {
    otherTitle = static_cast<bool>(ui_test::FileDialogHandle::TakeActive("Other"));
    kept = ui_test::FileDialogHandle::TakeActive("Pick");
    ASSERT_TRUE(kept);
    again = static_cast<bool>(ui_test::FileDialogHandle::TakeActive("Pick"));
    folder = kept.Folder();
    foldersOnly = kept.FoldersOnly();
    kept.Choose("named.kmw");
  });
  ASSERT_TRUE(GetSaveFileNameA(&ofn));
  EXPECT_EQ(std::string(file), dir_ + "/named.kmw") << "a bare name is taken in the folder shown";
  EXPECT_FALSE(otherTitle);
  EXPECT_FALSE(again) << "an answered dialog is not taken twice";
  EXPECT_EQ(folder, dir_);
  EXPECT_FALSE(foldersOnly);
  // The dialog is gone: the handle does nothing.
  EXPECT_FALSE(kept);
  kept.Cancel();
  EXPECT_EQ(kept.AddedControls(), nullptr);
  EXPECT_FALSE(kept.ClickHelp());
}

TEST_F(FileChooserTest, AFileThatCanBeMadeInAFolderNamedInTheCodePage) {
  const std::string folder = dir_ + "/Gr\xFC\xDF" "e";  // the program's text
  ASSERT_TRUE(MakeDirectories(folder, 0755));
  const std::string name = folder + "/out.pdf";
  EXPECT_TRUE(CanCreateFile(name.c_str()));
  EXPECT_FALSE(std::filesystem::exists(OsFileName(name))) << "the trial file goes again";
  ASSERT_TRUE(WriteWholeFile(name, "x"));
  EXPECT_TRUE(CanCreateFile(name.c_str()));
  EXPECT_TRUE(std::filesystem::exists(OsFileName(name))) << "an existing file stays";
  EXPECT_FALSE(CanCreateFile((dir_ + "/missing/out.pdf").c_str()));
  EXPECT_FALSE(CanCreateFile(""));
}

}  // namespace

namespace {
// What a template's procedure hears while the user moves through files.
struct CursorSeen {
  std::vector<std::string> paths;  // the file under the cursor at each change
  bool initDoneFirst = false;
  bool centred = false;
};

INT_PTR CursorProc(HWND d, UINT msg, WPARAM, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    SetWindowLongPtrA(d, DWLP_USER, reinterpret_cast<const OPENFILENAMEA*>(lParam)->lCustData);
    return TRUE;
  }
  auto* seen = reinterpret_cast<CursorSeen*>(GetWindowLongPtrA(d, DWLP_USER));
  if (msg != WM_NOTIFY || seen == nullptr) return FALSE;
  const auto* n = reinterpret_cast<const OFNOTIFYA*>(lParam);
  if (n->hdr.code == CDN_INITDONE) {
    seen->initDoneFirst = seen->paths.empty();
    seen->centred = CenterFileDialogOver(d, nullptr) != FALSE;
  }
  if (n->hdr.code == CDN_SELCHANGE) {
    char path[260] = {};
    const int needed = GetFileDialogFilePath(d, path, sizeof path);
    char tiny[4] = {};
    // A buffer too small is told by the length, and left alone.
    if (needed > static_cast<int>(sizeof tiny)) {
      EXPECT_EQ(GetFileDialogFilePath(d, tiny, sizeof tiny), needed);
    }
    EXPECT_EQ(tiny[0], '\0');
    seen->paths.push_back(needed > 0 ? path : "?");
  }
  return FALSE;
}
}  // namespace

TEST_F(FileChooserTest, ATemplateHearsOfEveryFileTheCursorMovesTo) {
  const std::string folder = dir_ + "/Gr\xC3\xBC\xC3\x9F" "e";  // the system's name
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/a.kmw") << "a";
  std::ofstream(folder + "/b.kmw") << "b";
  char file[260] = {};
  CursorSeen seen;
  OPENFILENAMEA ofn;
  ofn.hwndOwner = frame_;
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.lpstrInitialDir = dir_.c_str();
  ofn.lpstrTitle = "Pick";
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_ENABLETEMPLATE;
  ofn.lpTemplateName = "DMasterOpen";
  ofn.lpfnHook = CursorProc;
  ofn.lCustData = reinterpret_cast<LPARAM>(&seen);
  ui_test::WhenRunning([&] {
    ui_test::FileDialogHandle fd = ui_test::FileDialogHandle::TakeActive("Pick");
    ASSERT_TRUE(fd);
    fd.Select(folder + "/a.kmw");
    fd.Select(folder + "/b.kmw");
    fd.Accept();
  });
  ASSERT_TRUE(GetOpenFileNameA(&ofn));
  EXPECT_TRUE(seen.initDoneFirst);
  EXPECT_TRUE(seen.centred);
  // The program's text for the names: the folder's letters in the code page.
  const std::string shown = dir_ + "/Gr\xFC\xDF" "e/";
  ASSERT_FALSE(seen.paths.empty());
  EXPECT_NE(std::find(seen.paths.begin(), seen.paths.end(), shown + "a.kmw"), seen.paths.end());
  EXPECT_EQ(seen.paths.back(), shown + "b.kmw");
  EXPECT_EQ(std::string(file), shown + "b.kmw");
  // Outside a file dialog nothing is told.
  EXPECT_EQ(GetFileDialogFilePath(frame_, file, sizeof file), -1);
  EXPECT_FALSE(CenterFileDialogOver(frame_, nullptr));
}
