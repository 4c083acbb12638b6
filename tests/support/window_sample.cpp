#include "tests/support/window_sample.h"

#include "app/app.h"
#include "app/document.h"
#include "expr/functions_common.h"
#include "platform/win/dialog.h"
#include "platform/win/ui_app.h"
#include "tests/support/answer_box.h"
#include "tests/support/program_run.h"
#include "tests/support/sample_document.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include <unistd.h>

namespace window_sample {

std::string Make(const std::string& prefix, std::initializer_list<const char*> tools) {
  if (!std::filesystem::exists(program_run::ProgramPath()) ||
      program_run::Capture("ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null").empty())
    return "";
  for (const char* tool : tools)
    if (!program_run::Have(tool)) return "";
  std::vector<char> tmpl(prefix.begin(), prefix.end());
  for (char c : std::string("_XXXXXX")) tmpl.push_back(c);
  tmpl.push_back('\0');
  if (::mkdtemp(tmpl.data()) == nullptr) return "";
  const std::string dir = tmpl.data();
  int status = -1;
  program_run::Capture("bash '" VT_SOURCE_DIR "/samples/make-sample' '" + dir + "' 2>&1", &status);
  if (status != 0) return "";
  std::ofstream(dir + "/kmw.ini", std::ios::app) << "\n[Preferences]\nShowSplash=0\n";
  setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
  setenv("ODBCSYSINI", dir.c_str(), 1);
  setenv("VORTELLE_WINDIR", dir.c_str(), 1);
  UiStartApplication();
  InstallBuiltinFunctionHandlers();
  SampleDocument sample;
  std::string error;
  return sample.Write("VortelleSample", dir + "/sales.kmw", &error) ? dir : "";
}

bool PumpUntil(const std::function<bool()>& done) {
  // The limit only ends a wait for what never comes; a loaded machine may
  // take many seconds for what an idle one does at once.
  for (int i = 0; i < 3000; ++i) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    if (done()) return true;
    ::usleep(10000);
  }
  return done();
}

namespace {
bool g_startCancelled = false;
// On the window layer's timer, which also runs inside the dialog's own loop.
void CancelStartWhenShown(HWND, UINT, UINT_PTR, DWORD) {
  if (g_startCancelled) return;
  HWND d = answer_box::Take({kAppTitle, 204});
  if (d == nullptr) return;
  g_startCancelled = true;
  SendMessageA(d, WM_COMMAND, IDCANCEL, 0);
}
}  // namespace

bool CancelStartDialog() {
  g_startCancelled = false;
  CWnd* main = AfxGetThread()->GetMainWnd();
  HWND frame = main != nullptr ? main->m_hWnd : nullptr;
  const UINT_PTR timer = SetTimer(nullptr, 0, 20, &CancelStartWhenShown);
  // The frame stays disabled until the start choice is made (a test's own
  // steps may make it without the dialog); the title window's delay of
  // three seconds may come first.
  auto ended = [frame] { return g_startCancelled || (frame != nullptr && IsWindowEnabled(frame)); };
  PumpUntil(ended);
  KillTimer(nullptr, timer);
  return ended();
}

CMainFrame* StartFrame(CKmApp& app, std::vector<std::string> args) {
  args.insert(args.begin(), "vortelle");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  if (!app.InitInstance(static_cast<int>(argv.size()), argv.data())) return nullptr;
  auto* frame = static_cast<CMainFrame*>(AfxGetThread()->m_pMainWnd);
  if (frame == nullptr) return nullptr;
  PumpUntil([&] { return IsWindowVisible(frame->m_hWnd) && frame->m_pDoc && frame->m_pDoc->m_bReportOpen; });
  ShowWindow(frame->m_hWnd, SW_SHOWNORMAL);
  MoveWindow(frame->m_hWnd, 0, 0, 1000, 720, TRUE);
  PumpUntil([] { return true; });
  return frame;
}

}  // namespace window_sample
