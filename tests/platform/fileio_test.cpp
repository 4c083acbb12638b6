#include "platform/win/fileio.h"
#include "platform/win/process.h"
#include "platform/win/tempdir.h"
#include "platform/win/windir.h"
#include "scoped_windir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

TEST(Files, NamesFoundIgnoringCaseAndBackslashes) {
  ScopedWinDir w;
  ::mkdir(w.Path("Data").c_str(), 0700);
  w.Write("Data/STANDARD.QB6", "x");
  EXPECT_EQ(ResolveExistingPath(w.Path("Data/STANDARD.QB6")), w.Path("Data/STANDARD.QB6"));
  EXPECT_EQ(ResolveExistingPath(w.dir() + "\\data\\standard.qb6"), w.Path("Data/STANDARD.QB6"));
  EXPECT_EQ(ResolveExistingPath(w.Path("data/missing.qb6")), "");
  EXPECT_EQ(AccessPath((w.dir() + "/DATA/Standard.Qb6").c_str(), 0), 0);
  EXPECT_EQ(AccessPath((w.dir() + "/DATA/none").c_str(), 0), -1);
  EXPECT_EQ(AccessPath(nullptr, 0), -1);
  EXPECT_EQ(FullPathOfExisting(w.dir() + "/Data/./../data/STANDARD.qb6"), w.Path("Data/STANDARD.QB6"));
  EXPECT_EQ(FullPathOfExisting(w.Path("nothing")), "");
  EXPECT_EQ(DeleteFileA((w.dir() + "/data/standard.qb6").c_str()), TRUE);
  EXPECT_EQ(DeleteFileA((w.dir() + "/data/standard.qb6").c_str()), FALSE);
  EXPECT_EQ(DeleteFileA(w.Path("Data").c_str()), FALSE);  // never a folder
}

TEST(Files, WholeFileWriteReplacesAndKeepsMode) {
  ScopedWinDir w;
  std::string p = w.Path("f.bin");
  ASSERT_TRUE(WriteWholeFile(p, std::string("a\0b", 3)));
  ::chmod(p.c_str(), 0600);
  ASSERT_TRUE(WriteWholeFile(p, "second"));
  std::string back;
  ASSERT_TRUE(ReadWholeFile(p, back));
  EXPECT_EQ(back, "second");
  struct stat st;
  ASSERT_EQ(::stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_FALSE(ReadWholeFile(w.dir(), back));
  EXPECT_FALSE(WriteWholeFile(w.Path("no/such/folder/f"), "x"));
}

TEST(Files, WindowsAndTempFoldersWithWin32ReturnRules) {
  ScopedWinDir w;
  char buf[512];
  UINT n = GetWindowsDirectoryA(buf, sizeof buf);
  EXPECT_EQ(std::string(buf, n), w.dir());
  EXPECT_EQ(GetWindowsDirectoryA(buf, 3), w.dir().size() + 1);
  n = GetSystemDirectoryA(buf, sizeof buf);
  EXPECT_EQ(std::string(buf, n), w.dir() + "/system");

  // The temporary folder is ours alone, even when someone opened it up.
  ScopedEnv runtime("XDG_RUNTIME_DIR", w.dir());
  DWORD t = GetTempPathA(sizeof buf, buf);
  ASSERT_GT(t, 0u);
  EXPECT_EQ(std::string(buf), w.dir() + "/vortelle/");
  ::chmod((w.dir() + "/vortelle").c_str(), 0777);
  GetTempPathA(sizeof buf, buf);
  struct stat st;
  ASSERT_EQ(::lstat((w.dir() + "/vortelle").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // A symbolic link planted in its place is refused; the fallback is used.
  ::rmdir((w.dir() + "/vortelle").c_str());
  ASSERT_EQ(::symlink("/", (w.dir() + "/vortelle").c_str()), 0);
  ScopedEnv tmpdir("TMPDIR", w.dir());
  GetTempPathA(sizeof buf, buf);
  EXPECT_EQ(std::string(buf), w.dir() + "/vortelle-" + std::to_string(::geteuid()) + "/");
  EXPECT_EQ(GetTempPathA(4, buf), std::strlen(buf) + 1);
}

TEST(Files, ProcessCalls) {
  char buf[8];
  ScopedEnv var("VT_TEST_VAR", "0123456789");
  EXPECT_EQ(GetEnvironmentVariableA("VT_TEST_VAR", buf, sizeof buf), 11u);
  char big[32];
  EXPECT_EQ(GetEnvironmentVariableA("VT_TEST_VAR", big, sizeof big), 10u);
  EXPECT_STREQ(big, "0123456789");
  EXPECT_EQ(GetEnvironmentVariableA("VT_TEST_UNSET_VAR", big, sizeof big), 0u);
  EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(::getpid()));
  EXPECT_EQ(SetHandleCount(3), 3u);
  EXPECT_LE(SetHandleCount(0xFFFFFFFFu), 0xFFFFFFFFu);
  EXPECT_EQ(GetShortPathNameA("/a/b", big, sizeof big), 4u);
  EXPECT_STREQ(big, "/a/b");
  EXPECT_EQ(PRIMARYLANGID(0x0413), 0x13);
  char cwd[4096];
  ASSERT_NE(GetCurrentDir(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(GetCurrentDir(cwd, 2), nullptr);
}
