// File > Export as the user does it: the program up on the sample report,
// the menu command, the Export dialog and each format's options, the export
// written and read back by Python's csv module; then the report saved with
// its export settings, read back, and printed to PDF.
#include "app/app.h"
#include "app/document.h"
#include "app/main_frame.h"
#include "app/print_run.h"
#include "app/sample_report.h"
#include "export/export_settings.h"
#include "expr/functions_common.h"
#include "files/report_io.h"
#include "layout/page_setup.h"
#include "platform/win/dialog.h"
#include "platform/win/ui_app.h"
#include "platform/win/window.h"
#include "platform/win/window_picture.h"
#include "tests/support/answer_box.h"
#include "tests/support/program_run.h"
#include "tests/support/sample_document.h"
#include "tests/support/screens.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr UINT kCmdExport = 30060;
constexpr UINT kCmdSave = 30010;
constexpr int kFormatList = 201, kFileEdit = 203, kOptionsButton = 204;

std::string Capture(const std::string& command, int* status = nullptr) { return program_run::Capture(command, status); }

std::string Caption(HWND w) {
  char buf[128] = {};
  GetWindowTextA(w, buf, sizeof buf);
  return buf;
}

// What the user does while the Export dialog is up, one step per timer tick
// (each step posts its click, so a dialog it opens runs its own loop): look
// at every format's options, then export. Each dialog is found by its caption.
struct Script {
  std::string outputFile;
  int chosen = kExportDataFile;
  bool screens = false;
  size_t next = 0;  // the next format whose options are looked at
  bool optionsAsked = false;  // an options dialog is on its way
  bool exported = false;
  std::vector<std::string> optionCaptions;
};
Script* g_script = nullptr;
const int kOptionFormats[] = {kExportText, kExportXbase, kExportWorksheet, kExportDataFile, kExportWordMerge,
                              kExportHtml};
const char* const kOptionCaptions[] = {"Text Export Options", "Export Options", "Export Options",
                                       "Export Options",      "Export Options", "HTML Export Options"};

int ListIndexOf(HWND dialog, int format) {
  const LRESULT n = SendDlgItemMessageA(dialog, kFormatList, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n; ++i)
    if (SendDlgItemMessageA(dialog, kFormatList, LB_GETITEMDATA, static_cast<WPARAM>(i), 0) == format)
      return static_cast<int>(i);
  return -1;
}

void Choose(HWND dialog, int format) {
  SendDlgItemMessageA(dialog, kFormatList, LB_SETCURSEL, static_cast<WPARAM>(ListIndexOf(dialog, format)), 0);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(kFormatList, LBN_SELCHANGE), 0);
}

void DriveDialogs(HWND, UINT, UINT_PTR, DWORD) {
  Script& s = *g_script;
  if (s.exported) return;
  if (s.optionsAsked) {
    // The options of the format chosen last: their picture, then Cancel.
    HWND options = answer_box::Take({kOptionCaptions[s.next - 1], IDCANCEL});
    if (options == nullptr) return;
    s.optionsAsked = false;
    if (s.screens)
      SaveWindowPicture(options, ScreenPath("export-options-" + std::to_string(kOptionFormats[s.next - 1])).c_str());
    s.optionCaptions.push_back(Caption(options));
    answer_box::Click(options, IDCANCEL);
    return;
  }
  // Found only while it takes input: not while an options dialog is over it.
  // Named by its OK button too: the export's progress box is also "Export".
  HWND exporting = answer_box::Find({"Export", IDOK});
  if (exporting == nullptr) return;
  if (s.next == 0 && s.screens) SaveWindowPicture(exporting, ScreenPath("export-dialog").c_str());
  if (s.next < std::size(kOptionFormats)) {
    const int format = kOptionFormats[s.next++];
    Choose(exporting, format);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(exporting, kOptionsButton))) << format;
    s.optionsAsked = true;
    PostMessageA(exporting, WM_COMMAND, kOptionsButton, 0);
    return;
  }
  Choose(exporting, kExportRtf);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(exporting, kOptionsButton)));
  Choose(exporting, s.chosen);
  SetDlgItemTextA(exporting, kFileEdit, s.outputFile.c_str());
  s.exported = true;
  answer_box::Click(exporting, IDOK);
}

class ExportDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Capture("ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null").empty() ||
        Capture("command -v sqlite3").empty())
      GTEST_SKIP() << "the SQLite ODBC driver or sqlite3 is missing";
    char tmpl[] = "/tmp/vt_export_gui_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    int status = -1;
    Capture("bash '" VT_SOURCE_DIR "/samples/make-sample' '" + dir_ + "' 2>&1", &status);
    ASSERT_EQ(status, 0);
    setenv("ODBCINI", (dir_ + "/odbc.ini").c_str(), 1);
    setenv("ODBCSYSINI", dir_.c_str(), 1);
    setenv("VORTELLE_WINDIR", dir_.c_str(), 1);
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
    report_ = dir_ + "/sales.kmw";
    SampleDocument scratch;
    std::string error;
    ASSERT_TRUE(WriteSampleReport(scratch.doc, scratch.io, "VortelleSample", report_.c_str(), &error)) << error;
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  std::string dir_, report_;
};

TEST_F(ExportDialogTest, ScreensFileExportThroughTheDialogThenSaveReadBackAndPrint) {
  CKmApp app;
  std::string program = "vortelle", path = report_;
  char* argv[] = {program.data(), path.data(), nullptr};
  ASSERT_TRUE(app.InitInstance(2, argv));
  auto* frame = static_cast<CMainFrame*>(AfxGetThread()->m_pMainWnd);
  ASSERT_NE(frame, nullptr);
  CKmDoc* doc = GetActiveKmDoc();
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(doc->m_bReportOpen);

  Script script;
  script.outputFile = dir_ + "/exported";
  script.screens = true;
  g_script = &script;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, DriveDialogs);
  SendMessageA(frame->m_hWnd, WM_COMMAND, kCmdExport, 0);
  KillTimer(nullptr, timer);
  g_script = nullptr;
  ASSERT_TRUE(script.exported);
  EXPECT_EQ(script.optionCaptions, (std::vector<std::string>{"Text Export Options", "Export Options", "Export Options",
                                                             "Export Options", "Export Options",
                                                             "HTML Export Options"}));
  // The Text Data File took its extension and holds the report's rows.
  const std::string csvFile = dir_ + "/exported.CSV";
  ASSERT_TRUE(fs::exists(csvFile));
  int status = -1;
  const std::string check = Capture("/usr/bin/python3 '" VT_SOURCE_DIR "/tests/app/exportrun/check_export.py' sample 6 '" +
                                        csvFile + "' '" + dir_ + "/sample.db' 1 2>&1",
                                    &status);
  EXPECT_EQ(status, 0) << check;

  // Saved with the report and read back.
  EXPECT_TRUE(doc->IsModified());
  SendMessageA(frame->m_hWnd, WM_COMMAND, kCmdSave, 0);
  {
    SampleDocument again;
    ASSERT_TRUE(again.doc.CreateReportTables());
    ASSERT_EQ(again.io.OpenReportFile(report_.c_str()), kRepIoOk);
    CKmExport e;
    e.LoadFrom(again.io.m_stream.settings);
    EXPECT_EQ(e.format, kExportDataFile);
    EXPECT_EQ(e.outputNames[kExportDataFile], dir_ + "/exported");
  }

  // And printed to PDF.
  PrintRunContext& ctx = GetPrintRunContext();
  const std::string pdf = dir_ + "/printed.pdf";
  ctx.printToFile = pdf;
  doc->m_pPageSetup->OutputDestination = kOutputToFile;
  RunOutputWithRecovery(*doc, 0);
  ASSERT_TRUE(fs::exists(pdf));
  const std::string text = Capture("pdftotext -layout '" + pdf + "' - 2>/dev/null");
  EXPECT_NE(text.find("Orders by customer"), std::string::npos) << text;
  EXPECT_NE(text.find("5962.15"), std::string::npos) << text;
  app.ExitInstance();
}

}  // namespace
