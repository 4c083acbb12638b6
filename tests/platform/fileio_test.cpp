#include "platform/win/file_replace.h"
#include "platform/win/fileio.h"
#include "platform/win/process.h"
#include "platform/win/tempdir.h"
#include "platform/win/windir.h"
#include "scoped_windir.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

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

// The new file a save of path had made when its process was killed.
std::string LeftByAKilledSave(const std::string& path) {
  int channel[2];
  if (::pipe(channel) != 0) return std::string();
  const pid_t child = ::fork();
  if (child == 0) {
    FileReplacement killed;
    const bool begun = killed.Begin(path, false);
    if (begun) (void)!::write(channel[1], killed.TempPath().data(), killed.TempPath().size());
    ::_exit(begun ? 0 : 1);
  }
  ::close(channel[1]);
  char name[4096];
  const ssize_t n = ::read(channel[0], name, sizeof name);
  ::close(channel[0]);
  ::waitpid(child, nullptr, 0);
  return n > 0 ? std::string(name, static_cast<size_t>(n)) : std::string();
}

// The names of a folder's hidden files, sorted.
std::vector<std::string> HiddenFiles(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    if (e.path().filename().string()[0] == '.') names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A whole-file write (settings, export pictures) replaces a file as a saved
// report does: a symbolic link stays a link to the file it names, a file of
// two names keeps both; a pipe is never replaced, nor waited on when read;
// a read is bounded.
TEST(Files, WholeFilesKeepLinksAndOnlyRegularFilesAreReadOrReplaced) {
  ScopedWinDir w;
  const std::string real = w.Path("real.ini"), link = w.Path("link.ini"), other = w.Path("other.ini");
  ASSERT_TRUE(WriteWholeFile(real, "old"));
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  ASSERT_EQ(::link(real.c_str(), other.c_str()), 0);
  ASSERT_TRUE(WriteWholeFile(link, "newer"));
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  std::string back;
  ASSERT_TRUE(ReadWholeFile(other, back));
  EXPECT_EQ(back, "newer");
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_nlink, 2u);

  const std::string pipe = w.Path("pipe.ini");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  EXPECT_FALSE(WriteWholeFile(pipe, "x"));
  ASSERT_EQ(::lstat(pipe.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  int error = 0;
  EXPECT_EQ(OpenExistingFile(pipe, kFileRead | kFileRegularOnly, &error), -1);
  EXPECT_EQ(error, kFileErrNotRegular);
  EXPECT_EQ(OpenExistingFile(pipe, kFileWrite | kFileRegularOnly, &error), -1);
  EXPECT_EQ(error, kFileErrNotRegular);
  EXPECT_FALSE(ReadRegularFile(pipe, 100, back, &error));
  EXPECT_FALSE(ReadRegularFile("/dev/zero", 100, back, &error));
  EXPECT_EQ(error, kFileErrNotRegular);
  EXPECT_FALSE(ReadRegularFile(real, 4, back, &error));
  EXPECT_EQ(error, kFileErrTooLarge);
  EXPECT_TRUE(back.empty());
  ASSERT_TRUE(ReadRegularFile(real, 5, back, &error));
  EXPECT_EQ(back, "newer");

  // The file of two names is written through where it was found: a link
  // put in its place meanwhile (someone else's, in a shared folder) is not
  // followed to the file it names.
  const std::string mine = w.Path("private.txt");
  ASSERT_TRUE(WriteWholeFile(mine, "private"));
  FileReplacement swapped;
  ASSERT_TRUE(swapped.Begin(real, false));
  ASSERT_TRUE(WriteFileHandle(swapped.Handle(), "new", 3));
  ASSERT_EQ(::unlink(real.c_str()), 0);
  ASSERT_EQ(::symlink(mine.c_str(), real.c_str()), 0);
  EXPECT_FALSE(swapped.Commit());
  ASSERT_TRUE(ReadWholeFile(mine, back));
  EXPECT_EQ(back, "private");

  // What a killed save left beside the file goes; the new file of a save
  // still going on stays, and so does a file of the user's named alike.
  const std::string kept = w.Path("kept.pdf"), users = w.Path(".kept.pdf.~backup");
  ASSERT_TRUE(WriteWholeFile(users, "mine"));
  EXPECT_NE(LeftByAKilledSave(kept).find("/.kept.pdf.~"), std::string::npos);
  FileReplacement going;
  ASSERT_TRUE(going.Begin(kept, false));
  going.CloseHandle();
  ASSERT_TRUE(WriteWholeFile(kept, "new"));
  std::vector<std::string> left = {std::filesystem::path(going.TempPath()).filename(), ".kept.pdf.~backup"};
  std::sort(left.begin(), left.end());
  EXPECT_EQ(HiddenFiles(w.dir()), left);
}

// Another user may write root's file but not make one beside it, nor rename
// one over it in a sticky folder: the file is written in place, still root's,
// and what a killed save left in the user's temporary folder goes. In the
// sticky folder a link of a third user's is not followed to the user's own
// file; a link of the user's or of the folder's owner is.
TEST(Files, AFileTheUserMayWriteInAFolderTheUserMayNotIsWrittenInPlace) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root, to be another user";
  char tmpl[] = "/tmp/vt-inplace-XXXXXX";
  const std::string dir = ::mkdtemp(tmpl), locked = dir + "/locked/out", sticky = dir + "/sticky/out";
  ASSERT_EQ(std::system(("cd " + dir + " && chmod 755 . && mkdir -m 755 locked && mkdir -m 1777 sticky run && " +
                         "touch locked/out sticky/out && chmod 666 locked/out sticky/out && mkdir mine && " +
                         "echo old > mine/planted && echo old > mine/roots && chown -R 65534:65534 mine && " +
                         "ln -s ../mine/planted sticky/planted && chown -h 1:1 sticky/planted && " +
                         "ln -s ../mine/roots sticky/roots")
                            .c_str()),
            0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::setenv("XDG_RUNTIME_DIR", (dir + "/run").c_str(), 1);
    const bool other = ::setgroups(0, nullptr) == 0 && ::setresgid(65534, 65534, 65534) == 0 &&
                       ::setresuid(65534, 65534, 65534) == 0;
    const bool killed = !LeftByAKilledSave(locked).empty();
    const std::string own = PrivateTempDirectory(), mine = dir + "/sticky/mine";
    const bool written = WriteWholeFile(locked, "new") && WriteWholeFile(sticky, "new") &&
                         HiddenFiles(own).empty() && ::symlink("../mine/mine", mine.c_str()) == 0 &&
                         WriteWholeFile(mine, "new") && WriteWholeFile(dir + "/sticky/roots", "new");
    ::_exit(other && killed && written && !WriteWholeFile(dir + "/sticky/planted", "new") ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);
  for (const std::string& f : {locked, sticky}) {
    std::string back;
    struct stat st {};
    EXPECT_TRUE(ReadWholeFile(f, back) && back == "new" && ::stat(f.c_str(), &st) == 0 && st.st_uid == 0) << f;
  }
  for (const char* f : {"planted", "roots", "mine"}) {
    std::string back;
    EXPECT_TRUE(ReadWholeFile(dir + "/mine/" + f, back)) << f;
    EXPECT_EQ(back, std::string(f) == "planted" ? "old\n" : "new") << f;
  }
  std::system(("rm -rf '" + dir + "'").c_str());
}

// A file of two names saved onto a disk without room for its new length:
// the room is asked for first, so the save fails without writing, and both
// names keep the old contents and length whole, also where the disk gives
// part of the room before it runs out (ext4). Needs a small disk of its own
// in a private mount, where the system allows one; the child says 77 when
// it does not.
int SaveOntoAFullDisk(const std::string& dir, bool ext4) {
  if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 77;
  if (ext4) {
    const std::string image = dir + ".img";
    const std::string make = "truncate -s 8M '" + image + "' && mkfs.ext4 -q -m 0 -F '" + image + "' >/dev/null 2>&1 && mount -o loop '" +
                             image + "' '" + dir + "' >/dev/null 2>&1";
    const bool mounted = std::system(make.c_str()) == 0;
    ::unlink(image.c_str());  // goes with the mount
    if (!mounted) return 77;
  } else if (::mount("vt", dir.c_str(), "tmpfs", 0, "size=1024k") != 0) {
    return 77;
  }
  // The old file is small; the new one fits the disk once (its private copy)
  // but not twice.
  const std::string old = ext4 ? std::string(4608, 'o') : std::string(300 << 10, 'o');
  const std::string bigger(ext4 ? 300 << 10 : 315 << 10, 'n');
  const std::string name = dir + "/report.kmw", second = dir + "/second.kmw";
  if (!WriteWholeFile(name, old) || ::link(name.c_str(), second.c_str()) != 0) return 3;
  struct statvfs disk {};
  if (::statvfs(dir.c_str(), &disk) != 0) return 3;
  const long long room = static_cast<long long>(disk.f_bavail) * static_cast<long long>(disk.f_frsize);
  const long long leave = ext4 ? 450 << 10 : 320 << 10;
  if (room > leave && !WriteWholeFile(dir + "/filler", std::string(static_cast<size_t>(room - leave), 'f'))) return 3;
  FileReplacement save;
  if (!save.Begin(name, false)) return 4;
  if (!WriteFileHandle(save.Handle(), bigger.data(), bigger.size())) return 5;
  if (save.Commit()) return 6;  // there is no room for it
  std::string back;
  if (!ReadWholeFile(second, back) || back != old) return 7;
  if (!ReadWholeFile(name, back) || back != old) return 7;
  return 0;
}

TEST(Files, AFileOfTwoNamesIsNotPartWrittenOnAFullDisk) {
  for (const bool ext4 : {false, true}) {
    SCOPED_TRACE(ext4 ? "ext4" : "tmpfs");
    char tmpl[] = "/tmp/vt-fulldisk-XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(SaveOntoAFullDisk(dir, ext4));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::rmdir(dir.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) {
      std::printf("no private %s disk can be mounted here: that save is not tried\n", ext4 ? "ext4" : "tmpfs");
      continue;
    }
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: set-up, 4-5: the new contents, 6: saved anyway, 7: the old file changed";
  }
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
