// Regional settings edited in win.ini while the program runs: the frame hears
// of the change through the window layer, reads [intl] again, and the next
// print shows its dates and numbers the new way.
#include "app/document.h"
#include "app/main_frame.h"
#include "app/print_run.h"
#include "app/sample_report.h"
#include "engine/printer_library.h"
#include "expr/compiler_state.h"
#include "expr/date_settings.h"
#include "expr/functions_common.h"
#include "files/report_io.h"
#include "foundation/settings.h"
#include "layout/page_setup.h"
#include "platform/printer/printer_info.h"
#include "platform/win/settings_watch.h"
#include "platform/win/ui_app.h"
#include "platform/win/window.h"
#include "tests/platform/ui/ui_test_util.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string Capture(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return out;
  std::array<char, 1024> buf{};
  size_t n = 0;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  const int raw = ::pclose(p);
  if (status != nullptr) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

bool PumpUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 500; ++i) {
    ui_test::Pump(2);
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    if (done()) return true;
    ::usleep(10000);
  }
  return done();
}

class WinIniWatch : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Capture("command -v sqlite3").empty() || Capture("command -v pdftotext").empty())
      GTEST_SKIP() << "sqlite3 or pdftotext is missing";
    if (Capture("ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null").empty())
      GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    char tmpl[] = "/tmp/vt_winini_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    int status = -1;
    Capture("bash '" VT_SOURCE_DIR "/samples/make-sample' '" + dir_ + "' 2>&1", &status);
    ASSERT_EQ(status, 0);
    setenv("ODBCINI", (dir_ + "/odbc.ini").c_str(), 1);
    setenv("ODBCSYSINI", dir_.c_str(), 1);
    setenv("VORTELLE_WINDIR", dir_.c_str(), 1);
    UiStartApplication();
    InstallBuiltinFunctionHandlers();
  }
  void TearDown() override {
    StopWatchingWinIni();
    unsetenv("VORTELLE_WINDIR");
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  std::string Print(CKmDoc& doc, const std::string& name) {
    PrintRunContext& ctx = GetPrintRunContext();
    ctx.printer = DocPrinter{};
    ctx.printer.printerName = kPdfPrinterName;
    ctx.page.fontFaces = {"Arial", "Courier New"};
    ctx.printToFile = dir_ + "/" + name;
    doc.m_pPageSetup->OutputDestination = 2;
    if (ctx.driver == nullptr) ctx.driver = LoadPrinterLibrary(PageDriverModuleName(), 1);
    RunOutputWithRecovery(doc, 0);
    return Capture("pdftotext -layout '" + ctx.printToFile + "' - 2>/dev/null");
  }
  std::string dir_;
};

TEST_F(WinIniWatch, EditingIntlWhileRunningChangesTheNextPrint) {
  std::ofstream(dir_ + "/win.ini") << "[intl]\nsShortDate=M/D/Y\nsDecimal=.\n";
  CKmDoc doc;
  std::unique_ptr<BandLineRec[]> lines(new BandLineRec[kBandLineTableRecords]);
  doc.m_bandLines.lines = lines.get();
  doc.m_pPageSetup = AllocPageSetup();
  CKmRepIO io(&doc);
  doc.m_pRepIO = &io;
  std::string error;
  ASSERT_TRUE(BuildSampleReport(doc, io, "VortelleSample", &error)) << error;
  ReadIntlSettings(doc);
  ApplyIntlDateSettings(doc.m_intl, ModelDateSettings(doc.m_pModel));

  CKmMainFrame frame;
  ASSERT_TRUE(frame.Create(&doc, "VORTELLE"));
  WatchWinIni();
  const std::string before = Print(doc, "before.pdf");
  EXPECT_NE(before.find("1/19/98"), std::string::npos) << before;
  EXPECT_NE(before.find("1299.50"), std::string::npos) << before;

  // Another program edits win.ini: a new file renamed over the old, as editors do.
  {
    std::ofstream(dir_ + "/win.ini.new") << "[intl]\nsShortDate=D.M.Y\nsDecimal=,\nsThousand=.\n";
    fs::rename(dir_ + "/win.ini.new", dir_ + "/win.ini");
  }
  ASSERT_TRUE(PumpUntil([&] { return std::strcmp(doc.m_intl.sShortDate, "D.M.Y") == 0; }));
  const std::string after = Print(doc, "after.pdf");
  EXPECT_NE(after.find("19.1.98"), std::string::npos) << after;
  EXPECT_NE(after.find("1299,50"), std::string::npos) << after;

  // And a plain write in place is heard too.
  std::ofstream(dir_ + "/win.ini") << "[intl]\nsShortDate=Y-M-D\n";
  EXPECT_TRUE(PumpUntil([&] { return std::strcmp(doc.m_intl.sShortDate, "Y-M-D") == 0; }));
  DestroyWindow(frame.m_hWnd);
  doc.m_pRepIO = nullptr;
}

}  // namespace
