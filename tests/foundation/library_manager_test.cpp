#include "foundation/heap_strings.h"
#include "foundation/library_manager.h"
#include "platform/win/modules.h"
#include "platform/win/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {
class LibraryManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vt-libman-XXXXXX";
    root_ = ::mkdtemp(tmpl);
    ::setenv("VORTELLE_WINDIR", (root_ + "/win").c_str(), 1);
    saved_path_ = std::getenv("PATH") ? std::getenv("PATH") : "";
    char cwd[4096];
    cwd_ = ::getcwd(cwd, sizeof cwd) ? cwd : "/";
    ::mkdir((root_ + "/work").c_str(), 0700);
    ASSERT_EQ(::chdir((root_ + "/work").c_str()), 0);
  }
  void TearDown() override {
    ASSERT_EQ(::chdir(cwd_.c_str()), 0);
    ::setenv("PATH", saved_path_.c_str(), 1);
    ::unsetenv("VORTELLE_WINDIR");
    std::string cmd = "rm -rf '" + root_ + "'";
    if (std::system(cmd.c_str()) != 0) {
    }
  }
  void Touch(const std::string& path) { std::ofstream(path) << "x"; }
  std::string root_, cwd_, saved_path_;
};

int HelpDirectory(char* buf, int size) {
  std::strncpy(buf, "/opt/suite/help", static_cast<size_t>(size));
  return 1;
}
int NoHelpDirectory(char*, int) { return 0; }
}  // namespace

TEST_F(LibraryManagerTest, SettlesFoldersAndSettingsFile) {
  {
    CExplicitLibraryManager m;
    EXPECT_FALSE(m.ProgramDir().empty());
    EXPECT_EQ(m.ProgramDir().back(), '/');
    EXPECT_EQ(m.SettingsFile(), "kmw.ini");
    EXPECT_EQ(m.AppPathsDir(), "");
    EXPECT_EQ(m.HelpDir(), "");
  }
  // App Paths from the registry and the help folder from the suite's library.
  HKEY key = CreateAppPathsSubKey("kmw.exe");
  ASSERT_NE(key, nullptr);
  std::string app = root_ + "/app";
  ::mkdir(app.c_str(), 0700);
  RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(app.c_str()),
                 static_cast<DWORD>(app.size() + 1));
  DWORD seven = 7;
  RegSetValueExA(key, "Flags", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seven), 4);
  RegCloseKey(key);
  const BuiltinExport help[] = {{"TarvoGetHelpDirectory", 0, reinterpret_cast<FARPROC>(&HelpDirectory)}};
  RegisterBuiltinModule("zelphdir.dll", help, 1);
  CExplicitLibraryManager m;
  EXPECT_EQ(m.AppPathsDir(), app + "/");
  EXPECT_EQ(m.HelpDir(), "/opt/suite/help/");
  EXPECT_EQ(QueryAppPathsDword("kmw.exe", "Flags", 3), 7u);
  EXPECT_EQ(QueryAppPathsDword("kmw.exe", "Path", 3), 3u);  // wrong type
  EXPECT_EQ(QueryAppPathsString("other.exe", "Path", "dflt"), "dflt");
  // A user without write rights on the machine hive still reads App Paths.
  RegSetHiveReadOnly(HKEY_LOCAL_MACHINE, true);
  EXPECT_EQ(QueryAppPathsString("kmw.exe", "Path", ""), app);
  EXPECT_EQ(CreateAppPathsSubKey("new.exe"), nullptr);
  RegSetHiveReadOnly(HKEY_LOCAL_MACHINE, false);
  const BuiltinExport nohelp[] = {{"TarvoGetHelpDirectory", 0, reinterpret_cast<FARPROC>(&NoHelpDirectory)}};
  RegisterBuiltinModule("zelphdir.dll", nohelp, 1);
  EXPECT_EQ(CExplicitLibraryManager().HelpDir(), "");
  UnregisterBuiltinModule("zelphdir.dll");
}

TEST_F(LibraryManagerTest, SearchRulesAndTheirOrder) {
  HKEY key = CreateAppPathsSubKey("kmw.exe");
  std::string app = root_ + "/app";
  ::mkdir(app.c_str(), 0700);
  RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(app.c_str()),
                 static_cast<DWORD>(app.size() + 1));
  RegCloseKey(key);
  std::string onpath = root_ + "/bin";
  ::mkdir(onpath.c_str(), 0700);
  ::setenv("PATH", onpath.c_str(), 1);
  Touch(onpath + "/kmtxtx.dll");
  Touch(app + "/KMTXTX.DLL");
  Touch(onpath + "/kmcsvx.dll");
  Touch(root_ + "/win/kmwfif.ini");
  Touch(root_ + "/work/kmw.hlp");
  Touch(app + "/kmw.srt");
  CExplicitLibraryManager m;
  // The App Paths folder comes before PATH, and the name matches ignoring case.
  EXPECT_EQ(m.GetTextExportDllPath(), app + "/KMTXTX.DLL");
  EXPECT_EQ(m.GetCsvExportDllPath(), onpath + "/kmcsvx.dll");
  EXPECT_EQ(m.GetDbfExportDllPath(), "kmdbfx.dll");
  EXPECT_EQ(m.GetSortTablePath(), app + "/kmw.srt");
  EXPECT_EQ(m.GetWizardPath(), "kmwiz.exe");
  // Ini files: only the program and App Paths folders; a bare name is left to
  // the profile calls, which look in the Windows folder.
  EXPECT_EQ(m.GetFontInfoIniPath(), "kmwfif.ini");
  Touch(app + "/kmwlink.ini");
  EXPECT_EQ(m.GetLinkIniPath(), app + "/kmwlink.ini");
  EXPECT_EQ(m.GetLinkIniBaseName(), "kmwlink");
  // Help: the bare name in the current folder stands in for a missing folder copy.
  EXPECT_EQ(m.GetHelpFilePath(), root_ + "/work/kmw.hlp");
  EXPECT_STREQ(GetHelpFileName(&m), (root_ + "/work/kmw.hlp").c_str());
  EXPECT_EQ(m.GetOdbcCpDllPath(), "");
  Touch(root_ + "/work/odbccp32.dll");
  EXPECT_EQ(m.GetOdbcCpDllPath(), "odbccp32.dll");
  EXPECT_EQ(m.GetImageLibPath(), "snbd6w9s.dll");
  // A PATH longer than 260 characters is not searched; the other folders still are.
  ::setenv("PATH", (onpath + ":" + std::string(300, 'x')).c_str(), 1);
  EXPECT_EQ(m.GetCsvExportDllPath(), "kmcsvx.dll");
  Touch(root_ + "/win/system/kmcsvx.dll");
  EXPECT_EQ(m.GetCsvExportDllPath(), root_ + "/win/system/kmcsvx.dll");
}

TEST_F(LibraryManagerTest, LanguageLibraryNames) {
  ::setenv("PATH", "/nonexistent", 1);
  CExplicitLibraryManager m;
  EXPECT_EQ(m.FindLanguageDll(0x0C0C), "");
  Touch(root_ + "/work/repv040C.dll");
  EXPECT_EQ(m.FindLanguageDll(0x0C0C), root_ + "/work/repv040C.dll");
  Touch(root_ + "/work/repv0c0c.dll");
  EXPECT_EQ(m.FindLanguageDll(0x0C0C), root_ + "/work/repv0c0c.dll");
  // Dutch (primary language 0x13) finds its own short form, not 0x03's.
  Touch(root_ + "/work/repv0403.dll");
  EXPECT_EQ(m.FindLanguageDll(0x0813), "");
  Touch(root_ + "/work/repv0413.dll");
  EXPECT_EQ(m.FindLanguageDll(0x0813), root_ + "/work/repv0413.dll");
  Touch(root_ + "/work/repv0409.dll");
  EXPECT_EQ(m.FindLanguageDll(0), root_ + "/work/repv0409.dll");
}

TEST(LibraryHelpers, CopyDirWithSlashIsBoundedAndDriveBits) {
  char out[16];
  char* end = CopyDirWithSlash("/data", out, sizeof out);
  EXPECT_STREQ(out, "/data/");
  EXPECT_EQ(end, out + 6);
  CopyDirWithSlash("C:\\DATA\\", out, sizeof out);
  EXPECT_STREQ(out, "C:\\DATA\\");
  // A 15-character folder fills the buffer: no room for the separator.
  end = CopyDirWithSlash("/abcdefghijklmn", out, sizeof out);
  EXPECT_STREQ(out, "/abcdefghijklmn");
  EXPECT_EQ(end, out + 15);
  end = CopyDirWithSlash(std::string(40, 'x').c_str(), out, sizeof out);
  EXPECT_EQ(end, out + 15);
  SetStartupDirectory("/start");
  CopyDirWithSlash("", out, sizeof out);
  EXPECT_STREQ(out, "/start/");
  SetStartupDirectory(nullptr);
  EXPECT_EQ(DriveBit("D:\\reports"), 8u);
  EXPECT_EQ(DriveBit("a:x"), 1u);
  EXPECT_EQ(DriveBit("\\\\server\\share"), 0u);
  EXPECT_EQ(DriveBit("1:"), 0u);
  EXPECT_EQ(DriveBit("D"), 0u);
  EXPECT_EQ(DriveBit(nullptr), 0u);
}

TEST(LibraryHelpers, PathGettersShareSlotOneAndCutTo255) {
  char* a = GetResString(610, 0);
  char* b = GetResString(619, 1);
  char* p = GetFontInfoIniName();
  EXPECT_EQ(p, b);
  EXPECT_STREQ(a, "Value(s) not in range");
  EXPECT_STREQ(p, "kmwfif.ini");
  EXPECT_STREQ(GetHelpFileName(nullptr), "kmw.hlp");
}

namespace {
std::string g_long_help;
int LongHelpDirectory(char* buf, int size) {
  std::strncpy(buf, g_long_help.c_str(), static_cast<size_t>(size));
  return 1;
}
}  // namespace

TEST_F(LibraryManagerTest, AHelpPathLongerThanTheSlotIsCut) {
  g_long_help = root_ + "/" + std::string(115, 'h');
  ::mkdir(g_long_help.c_str(), 0700);
  g_long_help += "/" + std::string(115, 'i');
  ::mkdir(g_long_help.c_str(), 0700);
  Touch(g_long_help + "/kmw.hlp");
  const BuiltinExport help[] = {{"TarvoGetHelpDirectory", 0, reinterpret_cast<FARPROC>(&LongHelpDirectory)}};
  RegisterBuiltinModule("zelphdir.dll", help, 1);
  ASSERT_LT(g_long_help.size(), 260u);
  CExplicitLibraryManager m;
  UnregisterBuiltinModule("zelphdir.dll");
  std::string full = g_long_help + "/kmw.hlp";
  ASSERT_EQ(m.GetHelpFilePath(), full);
  ASSERT_GT(full.size(), 255u);
  GetResString(619, 0);
  char* h = GetHelpFileName(&m);
  EXPECT_EQ(h, ResStringSlot(1));
  EXPECT_EQ(std::string(h), full.substr(0, 255));
  EXPECT_STREQ(ResStringSlot(0), "Insufficient memory");
}
