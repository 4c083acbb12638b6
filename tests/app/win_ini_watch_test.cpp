// Regional settings edited in win.ini while the program runs: the frame hears
// of the change through the window layer, reads [intl] again, and the next
// print shows its dates and numbers the new way.
#include "app/document.h"
#include "tests/app/sample_db_fixture.h"
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

class WinIniWatch : public sample_test::SampleDbTest {
 protected:
  void TearDown() override {
    StopWatchingWinIni();
    SampleDbTest::TearDown();
  }
};

TEST_F(WinIniWatch, EditingIntlWhileRunningChangesTheNextPrint) {
  std::ofstream(dir_ + "/win.ini") << "[intl]\nsShortDate=M/D/Y\nsDecimal=.\n";
  sample_test::SampleReportDoc sample;
  CKmDoc& doc = sample.doc;
  std::string error;
  ASSERT_TRUE(sample.Build(&error)) << error;
  ReadIntlSettings(doc);
  ApplyIntlDateSettings(doc.m_intl, ModelDateSettings(doc.m_pModel));

  CMainFrame frame;
  ASSERT_TRUE(frame.Create(&doc, "VORTELLE"));
  WatchWinIni();
  const std::string before = PrintInProcess(doc, "before.pdf");
  EXPECT_NE(before.find("1/19/98"), std::string::npos) << before;
  EXPECT_NE(before.find("1299.50"), std::string::npos) << before;

  // Another program edits win.ini: a new file renamed over the old, as editors do.
  {
    std::ofstream(dir_ + "/win.ini.new") << "[intl]\nsShortDate=D.M.Y\nsDecimal=,\nsThousand=.\n";
    fs::rename(dir_ + "/win.ini.new", dir_ + "/win.ini");
  }
  ASSERT_TRUE(PumpUntil([&] { return std::strcmp(doc.m_intl.sShortDate, "D.M.Y") == 0; }));
  const std::string after = PrintInProcess(doc, "after.pdf");
  EXPECT_NE(after.find("19.1.98"), std::string::npos) << after;
  EXPECT_NE(after.find("1299,50"), std::string::npos) << after;

  // And a plain write in place is heard too.
  std::ofstream(dir_ + "/win.ini") << "[intl]\nsShortDate=Y-M-D\n";
  EXPECT_TRUE(PumpUntil([&] { return std::strcmp(doc.m_intl.sShortDate, "Y-M-D") == 0; }));
  DestroyWindow(frame.m_hWnd);
}

}  // namespace
