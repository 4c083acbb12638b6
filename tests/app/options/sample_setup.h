// One sample set-up (database, data source, settings and label files) for the
// whole test program: the ODBC driver manager reads its data sources once per
// process, so every test of the program works on the same folder.
#pragma once

#include "app/app.h"
#include "app/document.h"
#include "app/main_frame.h"
#include "app/open_report.h"
#include "platform/printer/printer_info.h"
#include "tests/app/options/dialog_steps.h"
#include "tests/support/program_run.h"
#include "tests/support/window_sample.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

namespace options_test {

constexpr char kTestLabels[] =
    "[Labels]\n"
    "Address 3x10=Address labels, L, 1, 2.63, 3, 10, 0.5, 0.19, 2.75, 1\n"
    "Broken=Broken stock, Q, 1, 1, 1, 1, 0, 0, 1, 1\n"
    "Big 2 across=Big labels, L, 4.5, 3.5, 2, 2, 0.5, 0.25, 4, 5\n";

// A new sample folder named from prefix, the environment pointed at it and
// extra given the folder to add what a test program needs; "" when the sample
// cannot be made here.
inline std::string MakeSampleFolder(const std::string& prefix,
                                    const std::function<void(const std::string&)>& extra) {
  if (program_run::Capture("ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null").empty() ||
      program_run::Capture("command -v sqlite3").empty() || program_run::Capture("command -v pdftotext").empty())
    return "";
  std::string tmpl = "/tmp/" + prefix + "_XXXXXX";
  if (::mkdtemp(tmpl.data()) == nullptr) return "";
  int status = -1;
  program_run::Capture("bash '" VT_SOURCE_DIR "/samples/make-sample' '" + tmpl + "' 2>&1", &status);
  if (status != 0) return "";
  if (extra) extra(tmpl);
  setenv("ODBCINI", (tmpl + "/odbc.ini").c_str(), 1);
  setenv("ODBCSYSINI", tmpl.c_str(), 1);
  setenv("VORTELLE_WINDIR", tmpl.c_str(), 1);
  return tmpl;
}

// The folder, made on first use ("" when the sample cannot be made); gone at exit.
inline const std::string& SampleDir() {
  struct Folder {
    std::string path = MakeSampleFolder("vt_options", [](const std::string& dir) {
      std::ofstream(dir + "/kmlabels.ini") << kTestLabels;
    });
    ~Folder() {
      std::error_code ec;
      if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
  };
  static Folder folder;
  return folder.path;
}

// The program started as a user starts it; it ends however the test ends.
struct RunningProgram {
  CKmApp app;
  std::string name = "vortelle";
  bool started = false;
  RunningProgram() {
    char* argv[] = {name.data(), nullptr};
    started = app.InitInstance(1, argv) != FALSE && window_sample::CancelStartDialog();
  }
  ~RunningProgram() {
    if (CKmDoc* d = GetActiveKmDoc()) d->SetModifiedFlag(FALSE);
    app.ExitInstance();
  }
};

// The program started as a user starts it, driven through its frame: menu
// commands sent as the menus send them, the dialogs they open answered by
// the steps.
struct DrivenProgram {
  RunningProgram program;
  CKmDoc* doc = GetActiveKmDoc();
  HWND frame = doc != nullptr && doc->m_pMainFrame != nullptr ? doc->m_pMainFrame->m_hWnd : nullptr;
  DialogSteps steps;
  void Command(UINT id) {
    steps.Run([&] { SendMessageA(frame, WM_COMMAND, id, 0); });
  }
  // File > Open, the messages shown meanwhile (their texts' parts) answered in order.
  void Open(const std::string& path, const std::vector<std::pair<std::string, int>>& messages = {}) {
    steps.File("Open Report", path);
    for (const auto& m : messages) steps.Message(m.first, m.second);
    Command(kCmdFileOpen);
  }
};

// File > Print through the Print dialog: the PDF printer, into the file.
inline void PrintToPdfFile(DialogSteps& steps, HWND frame, const std::string& pdf) {
  steps.Dialog("Print", [pdf](HWND d) {
    Choose(d, 1139, Find(d, 1139, kPdfPrinterName));
    CheckDlgButton(d, 1040, BST_CHECKED);
    Press(d, 1040);
    SetText(d, 1155, pdf);
    Press(d, IDOK);
  });
  steps.Run([&] { SendMessageA(frame, WM_COMMAND, kCmdFilePrint, 0); });
}

}  // namespace options_test
