#include "platform/win/fileio.h"
#include "platform/win/process.h"
#include "platform/win/tempdir.h"
#include "platform/win/windir.h"
#include "scoped_windir.h"

#include <gtest/gtest.h>
#include <sched.h>
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

// Until the stamp of a folder or file settles, nothing read from it is kept;
// waits for the clock to pass its last change.
void WaitUntilSettled(const std::string& path) {
  DiskStamp stamp;
  while (TakeDiskStamp(path, &stamp) && !stamp.settled) ::sched_yield();
}

TEST(Files, LookupsIgnoringCaseSeeFolderChangesAfterAListingIsKept) {
  ScopedWinDir w;
  ::mkdir(w.Path("Data").c_str(), 0700);
  w.Write("Data/Old.ini", "x");
  WaitUntilSettled(w.Path("Data"));
  EXPECT_EQ(ResolveExistingPath(w.Path("data/NEW.INI")), "");
  EXPECT_EQ(ResolveExistingPath(w.Path("data/OLD.INI")), w.Path("Data/Old.ini"));
  // Made, renamed and removed after the folder was listed and kept.
  w.Write("Data/New.ini", "y");
  EXPECT_EQ(ResolveExistingPath(w.Path("data/NEW.INI")), w.Path("Data/New.ini"));
  WaitUntilSettled(w.Path("Data"));
  EXPECT_EQ(ResolveExistingPath(w.Path("data/NEW.INI")), w.Path("Data/New.ini"));
  ASSERT_EQ(::rename(w.Path("Data/New.ini").c_str(), w.Path("Data/Renamed.ini").c_str()), 0);
  EXPECT_EQ(ResolveExistingPath(w.Path("data/NEW.INI")), "");
  EXPECT_EQ(ResolveExistingPath(w.Path("data/RENAMED.INI")), w.Path("Data/Renamed.ini"));
  ASSERT_EQ(::unlink(w.Path("Data/Old.ini").c_str()), 0);
  EXPECT_EQ(ResolveExistingPath(w.Path("data/OLD.INI")), "");
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

TEST(Files, ANewFileTakesTheUmaskWithoutItBeingChanged) {
  ScopedWinDir w;
  const mode_t before = ::umask(027);
  EXPECT_EQ(ProcessUmask(), 027u);
  ASSERT_TRUE(WriteWholeFile(w.Path("new.txt"), "x"));
  struct stat st;
  ASSERT_EQ(::stat(w.Path("new.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(::umask(before), 027u);  // still what it was set to
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

TEST(Files, LocksConflictBetweenOpensAndGoWithTheHandle) {
  ScopedWinDir w;
  w.Write("lib.qb6", "x");
  const std::string p = w.Path("lib.qb6");
  int a = OpenExistingFile(p, kFileRead), b = OpenExistingFile(p, kFileReadWrite);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  EXPECT_EQ(TryLockFileHandle(a, false), 0);
  EXPECT_EQ(TryLockFileHandle(b, false), 0);  // readers share
  EXPECT_EQ(TryLockFileHandle(b, true), kFileErrAccess);
  CloseFileHandle(a);  // closing lets go
  EXPECT_EQ(TryLockFileHandle(b, true), 0);
  a = OpenExistingFile(p, kFileRead);
  EXPECT_EQ(TryLockFileHandle(a, false), kFileErrAccess);
  UnlockFileHandle(b);
  EXPECT_EQ(TryLockFileHandle(a, false), 0);
  CloseFileHandle(a);
  CloseFileHandle(b);
}

TEST(Files, NewFilesNeverReplaceANameAndLinksAreKeptApart) {
  ScopedWinDir w;
  const std::string p = w.Path("Work.tmp"), link = w.Path("link.tmp");
  int error = 0;
  int fd = CreateNewFile(p, kFileReadWrite, 0600, &error);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(error, 0);
  ASSERT_TRUE(WriteFileHandle(fd, "0123456789", 10));
  char buf[8] = {};
  EXPECT_TRUE(ReadFileAt(fd, 6, buf, 4));
  EXPECT_EQ(std::string(buf, 4), "6789");
  EXPECT_FALSE(ReadFileAt(fd, 8, buf, 4));  // the end comes first
  EXPECT_EQ(SeekFileHandle(fd, -3, SeekFrom::kCurrent), 7);
  EXPECT_EQ(ReadFileHandle(fd, buf, sizeof buf), 3);
  EXPECT_EQ(ReadFileHandle(fd, buf, sizeof buf), 0);
  FileInfo info;
  ASSERT_TRUE(GetFileInfoByHandle(fd, &info));
  EXPECT_TRUE(info.regular);
  EXPECT_EQ(info.size, 10u);
  EXPECT_TRUE(CloseFileHandle(fd));

  EXPECT_LT(CreateNewFile(p, kFileWrite, 0600, &error), 0);
  EXPECT_EQ(error, kFileErrExists);
  EXPECT_LT(OpenExistingFile(w.Path("work.TMP"), kFileRead, &error), 0);
  EXPECT_EQ(error, kFileErrNotFound);
  fd = OpenExistingFile(w.Path("work.TMP"), kFileRead | kFileAnyCase, &error);
  EXPECT_GE(fd, 0);
  CloseFileHandle(fd);

  // A link planted under a work file's name is refused, and removing the
  // name takes the link, never the file it points at.
  ASSERT_EQ(::symlink(p.c_str(), link.c_str()), 0);
  EXPECT_LT(OpenExistingFile(link, kFileRead | kFileNoLink), 0);
  EXPECT_LT(CreateNewFile(link, kFileReadWrite | kFileNoLink, 0600, &error), 0);
  EXPECT_EQ(error, kFileErrExists);
  EXPECT_TRUE(RemoveFileName(link));
  EXPECT_TRUE(GetFileInfoByPath(p, &info));
  EXPECT_FALSE(RemoveFileName(link));
  EXPECT_FALSE(GetFileInfoByPath(link, &info));
}
