#include "foundation/startup.h"

#include "platform/win/registry.h"
#include "settings_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace settings_test {
namespace {

using Startup = SettingsFolder;

TEST_F(Startup, FailedChecksReportAndLeaveTheIniUntouched) {
  const std::string ini = "[Save List]\nActionBar=0\n";
  WriteFile(win + "/kmw.ini", ini);
  {
    hooks.compilerOk = false;
    CKmDoc doc;
    EXPECT_EQ(InitSettings(doc), 0);
    EXPECT_EQ(hooks.errors, (std::vector<std::string>{"Insufficient memory"}));
    EXPECT_EQ(doc.m_pPageSetup, nullptr);
    SaveSettingsOnExit(doc);
  }
  {
    hooks.compilerOk = true;
    hooks.handlesGiven = 3;
    hooks.errors.clear();
    CKmDoc doc;
    EXPECT_EQ(InitSettings(doc), 0);
    EXPECT_EQ(hooks.errors, (std::vector<std::string>{"Insufficient file handles"}));
    EXPECT_EQ(doc.m_bandLines.lines, nullptr) << "blocks freed";
    EXPECT_EQ(DirBlockEntryText(kDirWork), nullptr);
    SaveSettingsOnExit(doc);
  }
  EXPECT_EQ(ReadFile(win + "/kmw.ini"), ini);
}

TEST_F(Startup, MissingSqlIniWarnsAndStartUpGoesOn) {
  ::unlink((win + "/kmwsql.ini").c_str());
  CKmDoc doc;
  EXPECT_EQ(InitSettings(doc), 1);
  ASSERT_EQ(hooks.warnings.size(), 1u);
  EXPECT_EQ(hooks.warnings[0].rfind("Missing KMWSQL.INI.", 0), 0u);
  SaveSettingsOnExit(doc);
}

TEST_F(Startup, WorkDirectory) {
  {
    SCOPED_TRACE("a writable program folder, tested without a trace");
    CKmDoc doc;
    ASSERT_EQ(StartupChecks(doc), 1);
    EXPECT_EQ(DirBlockEntryText(kDirWork), prog);
    EXPECT_EQ(DirBlockEntryText(kDirProgram), prog);
    EXPECT_EQ(::access((prog + "KmwWrite.$$$").c_str(), 0), -1);
    SaveSettingsOnExit(doc);
  }
  {
    SCOPED_TRACE("a program folder that cannot be written takes the suite's private folder");
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brennick\\Office", 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const std::string suite = root + "/suite";
    RegSetValueExA(key, "TARVOPrivateDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(suite.c_str()),
                   static_cast<DWORD>(suite.size() + 1));
    RegCloseKey(key);
    hooks.programDir = root + "/missing/";
    CKmDoc doc;
    ASSERT_EQ(StartupChecks(doc), 1);
    EXPECT_EQ(DirBlockEntryText(kDirWork), suite + "/");
    SaveSettingsOnExit(doc);
    hooks.programDir = prog;
  }
  {
    SCOPED_TRACE("the link file's folder gets its separator");
    WriteFile(win + "/kmwlink.ini", "[kmwlink]\nkmwlink=/srv/work\n");
    CKmDoc doc;
    ASSERT_EQ(StartupChecks(doc), 1);
    EXPECT_EQ(DirBlockEntryText(kDirWork), std::string("/srv/work/"));
    SaveSettingsOnExit(doc);
  }
  {
    SCOPED_TRACE("a link folder that fills the entry gives way to the program folder");
    WriteFile(win + "/kmwlink.ini", "[kmwlink]\nkmwlink=/" + std::string(259, 'w') + "\n");
    CKmDoc doc;
    ASSERT_EQ(StartupChecks(doc), 1);
    EXPECT_EQ(DirBlockEntryText(kDirWork), prog);
    SaveSettingsOnExit(doc);
  }
  EXPECT_EQ(hooks.calls, (std::vector<std::string>{"help", "work files", "help", "work files", "help",
                                                   "work files", "help", "work files"}));
}

TEST_F(Startup, LayoutWidthFollowsTheScreenAndPitch) {
  WriteFile(win + "/kmw.ini", "[Defaults]\nRulPit=12\n");
  struct Case {
    int dpi, width;
  };
  for (Case c : {Case{96, 254 * 8}, Case{120, 254 * 10}}) {
    hooks.dpi = c.dpi;
    CKmDoc doc;
    ASSERT_EQ(InitSettings(doc), 1);
    EXPECT_EQ(doc.m_layoutWidth, c.width) << c.dpi;
    SaveSettingsOnExit(doc);
  }
}

TEST_F(Startup, PendingFileIsDeletedAtExitAndRegisteredUserIsRead) {
  CKmDoc doc;
  ASSERT_EQ(InitSettings(doc), 1);
  const std::string pending = root + "/pending.tmp";
  WriteFile(pending, "x");
  std::snprintf(reinterpret_cast<char*>(doc.m_pDocPaths + kDocPathsPending), 261, "%s", pending.c_str());
  SaveSettingsOnExit(doc);
  EXPECT_EQ(::access(pending.c_str(), 0), -1);
  // A flush also marks the report changed: what the file held was made from it as it was.
  doc.SetModifiedFlag(FALSE);
  FlushPendingFileName(doc);
  EXPECT_TRUE(doc.IsModified());

  std::string owner = "old", org = "old";
  ReadRegisteredUser(&owner, &org);
  EXPECT_EQ(owner, "old");
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brennick\\Office", 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "RegisteredOwner", 0, REG_SZ, reinterpret_cast<const BYTE*>("Ada"), 4);
  RegCloseKey(key);
  ReadRegisteredUser(&owner, &org);
  EXPECT_EQ(owner, "Ada");
  EXPECT_EQ(org, "old");
}

}  // namespace
}  // namespace settings_test

namespace settings_test {
namespace {

TEST_F(Startup, AppPathIsRegisteredWithItsFolder) {
  RegisterAppPath();
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\test_settings", 0, KEY_READ,
                          &key),
            ERROR_SUCCESS);
  char path[300] = {}, dir[300] = {};
  DWORD size = sizeof path;
  EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<LPBYTE>(path), &size), ERROR_SUCCESS);
  size = sizeof dir;
  EXPECT_EQ(RegQueryValueExA(key, "Path", nullptr, nullptr, reinterpret_cast<LPBYTE>(dir), &size), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(std::string(dir) + "test_settings", path);
}

}  // namespace
}  // namespace settings_test

namespace settings_test {
namespace {

TEST(ScreenMetrics, AModernDisplayIsAColourDisplay) {
  g_screen.colorDisplay = false;
  g_screen.dpiX = g_screen.dpiY = 0;
  CKmDoc doc;
  StartupHooks plain;
  plain.MeasureScreen(doc);
  EXPECT_TRUE(g_screen.colorDisplay) << "more than 256 colours answer -1";
  EXPECT_EQ(g_screen.dpiX, 96);
  EXPECT_EQ(g_screen.dpiY, 96);
  // The window's colours come with the screen, and one background brush.
  EXPECT_EQ(g_screen.windowColour, GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(g_screen.windowTextColour, GetSysColor(COLOR_WINDOWTEXT));
  ASSERT_NE(g_screen.windowBrush, nullptr);
  HBRUSH first = g_screen.windowBrush;
  plain.MeasureScreen(doc);
  EXPECT_EQ(g_screen.windowBrush, first) << "measuring again makes no second brush";
  DeleteObject(g_screen.windowBrush);
  g_screen = ScreenInfo();
}

}  // namespace
}  // namespace settings_test
