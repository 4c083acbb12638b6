#include "platform/win/file_replace.h"
#include "platform/win/fileio.h"
#include "platform/win/tempdir.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Whether the system's rule for links in a shared sticky folder (a
// world-writable /tmp) lets this user follow the link: there only a link of
// the user's own or of the folder's owner is followed, so that no one can
// point another user's output at that user's own files.
bool MayFollow(const struct stat& link, const std::string& folder) {
  struct stat dir {};
  if (stat(folder.c_str(), &dir) != 0) return false;
  const bool shared = (dir.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
  return !shared || link.st_uid == geteuid() || link.st_uid == dir.st_uid;
}

// The file a path finally names, every symbolic link followed, a dangling
// one included: the save writes where the link points, and the link stays.
// Followed here link by link, as the system would, so that its rule for
// shared folders holds. Empty, with the reason in *err, for a loop of links
// or a link that rule refuses.
std::string FinalTarget(const std::string& path, int* err) {
  std::string done;  // the folders resolved so far; empty for the root
  std::vector<std::string> rest;  // the names still to go, the next last
  auto push = [&rest](const std::string& names) {
    std::vector<std::string> parts;
    for (size_t at = 0; at <= names.size();) {
      const size_t slash = std::min(names.find('/', at), names.size());
      parts.push_back(names.substr(at, slash - at));
      at = slash + 1;
    }
    rest.insert(rest.end(), parts.rbegin(), parts.rend());
  };
  push(path);
  if (path.empty() || path[0] != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) {
      *err = errno;
      return std::string();
    }
    push(cwd);
  }
  for (int hops = 0; !rest.empty();) {
    const std::string part = rest.back();
    rest.pop_back();
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      done.erase(std::min(done.rfind('/'), done.size()));
      continue;
    }
    const std::string next = done + "/" + part;
    struct stat link {};
    char to[4096];
    const ssize_t n = lstat(next.c_str(), &link) == 0 && S_ISLNK(link.st_mode)
                          ? readlink(next.c_str(), to, sizeof to - 1) : -1;
    if (n <= 0) {
      done = next;
      continue;
    }
    if (++hops > 40 || !MayFollow(link, done.empty() ? "/" : done)) {
      *err = hops > 40 ? ELOOP : EACCES;
      return std::string();
    }
    if (to[0] == '/') done.clear();
    push(std::string(to, static_cast<size_t>(n)));
  }
  return done.empty() ? "/" : done;
}

// The folder and the name of a target path.
void SplitTarget(const std::string& target, std::string* folder, std::string* base) {
  const size_t slash = target.rfind('/');
  *folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  *base = slash == std::string::npos ? target : target.substr(slash + 1);
}

bool Writable(const std::string& path) { return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0; }

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The new file's name for a target named base: hidden, and a random part
// whose last letters check the rest and the name, so that a file of the
// user's that looks alike is never taken for one of the program's.
constexpr size_t kRandomLetters = 8, kCheckLetters = 4;
constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr unsigned kLetterCount = sizeof kLetters - 1;

std::string CheckLetters(const std::string& base, const std::string& random) {
  uint64_t hash = 14695981039346656037ull;
  for (const std::string* s : {&base, &random})
    for (const char c : *s + '/') hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  std::string check;
  for (size_t i = 0; i < kCheckLetters; ++i, hash /= kLetterCount) check += kLetters[hash % kLetterCount];
  return check;
}

std::string NewFileName(const std::string& folder, const std::string& base) {
  static std::random_device source;
  std::string random;
  for (size_t i = 0; i < kRandomLetters; ++i) random += kLetters[source() % kLetterCount];
  return folder + (folder.back() == '/' ? "." : "/.") + base + ".~" + random + CheckLetters(base, random);
}

bool IsNewFileName(const std::string& name, const std::string& base) {
  const std::string head = "." + base + ".~";
  return name.size() == head.size() + kRandomLetters + kCheckLetters && name.compare(0, head.size(), head) == 0 &&
         name.compare(head.size() + kRandomLetters, kCheckLetters,
                      CheckLetters(base, name.substr(head.size(), kRandomLetters))) == 0;
}

// A new file's maker holds a write lock on one byte far past any end, as
// long as the file is its own; the share locks the program's opens take
// (flock) are apart from it.
bool LockMark(int fd, short type) {
  struct flock mark {};
  mark.l_type = type;
  mark.l_whence = SEEK_SET;
  mark.l_start = static_cast<off_t>(1) << 62;
  mark.l_len = 1;
  return fcntl(fd, F_OFD_SETLK, &mark) == 0;
}

// New files an earlier replacement of the same target left when its run
// was killed: the user's own, named as the program names them, whose mark
// no one holds any longer. Each is removed only while its mark is held
// here, and only while its name is still that file; where the file system
// takes no marks, none is.
void RemoveLeftovers(const std::string& folder, const std::string& base) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = readdir(dir)) {
    if (!IsNewFileName(entry->d_name, base)) continue;
    const std::string path = folder + "/" + entry->d_name;
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat held {}, named {};
    if (fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == geteuid() && LockMark(fd, F_RDLCK) &&
        lstat(path.c_str(), &named) == 0 && SameFile(held, named))
      unlink(path.c_str());
    close(fd);
  }
  closedir(dir);
}

// Reserves the disk room for a file of the given length without changing
// its length: a reservation that fails part-way (a disk filling up) gives
// back what it took, and the file keeps its old length and bytes. 0, or the
// error; a file system that reserves nothing answers 0 and the writes tell.
int Reserve(int fd, off_t oldSize, off_t newSize) {
  if (fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, newSize) == 0) return 0;
  int err = errno;
  if (err == EOPNOTSUPP || err == ENOSYS) {
    // The library's reservation may lengthen the file, and write zeros to
    // do it where the file system has no reservation of its own.
    err = posix_fallocate(fd, 0, newSize);
    if (err == EOPNOTSUPP || err == EINVAL) err = 0;
  }
  // Blocks taken past the old end are let go again; the old bytes are
  // untouched by a reservation.
  if (err != 0 && ftruncate(fd, oldSize) != 0) return errno;
  return err;
}

}  // namespace

FileReplacement::~FileReplacement() { Abandon(); }

bool FileReplacement::Fail(const char* what, int err) {
  error_ = std::string(what) + (err != 0 ? std::string(": ") + std::strerror(err) : std::string());
  Abandon();
  return false;
}

int CheckReplaceable(const std::string& osPath) {
  int refused = 0;
  const std::string target = FinalTarget(osPath, &refused);
  if (target.empty()) return kFileErrNotRegular;
  struct stat old {};
  const bool existed = stat(target.c_str(), &old) == 0;
  if (existed && !S_ISREG(old.st_mode)) return kFileErrNotRegular;
  std::string folder, base;
  SplitTarget(target, &folder, &base);
  return Writable(folder) || (existed && Writable(target)) ? 0 : kFileErrAccess;
}

void FileReplacement::Release() {
  if (lock_ >= 0) close(lock_);
  lock_ = -1;
}

// Makes and marks the new file in the folder; false with errno set. The
// mark only tells a live run's file from a dead one's: where the file
// system takes none (NFS without its lock service) the file is made all
// the same. A name that a remover of dead runs' files took first is made
// again.
bool FileReplacement::MakeNew(const std::string& folder, const std::string& base) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    temp_ = NewFileName(folder, base);
    fd_ = open(temp_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd_ < 0) {
      const int err = errno;
      temp_.clear();
      if (err == EEXIST) continue;
      errno = err;
      return false;
    }
    const bool marked = LockMark(fd_, F_WRLCK);
    struct stat made {}, named {};
    if (fstat(fd_, &made) == 0 && lstat(temp_.c_str(), &named) == 0 && SameFile(made, named)) {
      // The mark goes with the open file, whoever closes the handle.
      if (marked) lock_ = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
      return true;
    }
    close(fd_);
    fd_ = -1;
    temp_.clear();
  }
  errno = EEXIST;
  return false;
}

bool FileReplacement::Begin(const std::string& path, bool copyOld) {
  Abandon();
  error_.clear();
  int refused = 0;
  target_ = FinalTarget(OsFileName(path), &refused);
  if (target_.empty()) return Fail("cannot follow the file's links", refused);
  struct stat old {};
  const bool existed = stat(target_.c_str(), &old) == 0;
  // A pipe, a device or a folder is never replaced by a file.
  if (existed && !S_ISREG(old.st_mode)) return Fail("not a regular file", 0);
  writeThrough_ = existed && old.st_nlink > 1;
  if (existed) {
    mode_ = old.st_mode & 07777;
    keepOwner_ = old.st_uid != geteuid() || old.st_gid != getegid();
    uid_ = old.st_uid;
    gid_ = old.st_gid;
    dev_ = old.st_dev;
    ino_ = old.st_ino;
  } else {
    mode_ = 0666 & ~static_cast<mode_t>(ProcessUmask());
    keepOwner_ = false;
  }
  std::string base;
  SplitTarget(target_, &folder_, &base);
  RemoveLeftovers(folder_, base);
  if (!MakeNew(folder_, base)) {
    const int err = errno;
    // A file the user may write in a folder the user may not: the new
    // contents wait in the user's own temporary folder.
    const std::string own = PrivateTempDirectory();
    if (!existed || own.empty() || !Writable(target_)) return Fail("cannot create the file", err);
    RemoveLeftovers(own, base);
    if (!MakeNew(own, base)) return Fail("cannot create the file", err);
    writeThrough_ = true;
  }
  if (copyOld && existed) {
    const int in = open(target_.c_str(), O_RDONLY);
    if (in < 0) return Fail("cannot read the file", errno);
    char buf[65536];
    for (;;) {
      const ssize_t n = read(in, buf, sizeof buf);
      if (n < 0) {
        const int err = errno;
        close(in);
        return Fail("cannot read the file", err);
      }
      if (n == 0) break;
      for (ssize_t done = 0; done < n;) {
        const ssize_t w = write(fd_, buf + done, static_cast<size_t>(n - done));
        if (w <= 0) {
          const int err = w < 0 ? errno : ENOSPC;
          close(in);
          return Fail("write failed", err);
        }
        done += w;
      }
    }
    close(in);
  }
  return true;
}

void FileReplacement::CloseHandle() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

std::FILE* FileReplacement::TakeStream() {
  const int fd = fd_ < 0 ? -1 : fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  CloseHandle();
  std::FILE* file = fd < 0 ? nullptr : fdopen(fd, "w+b");
  if (file == nullptr && fd >= 0) close(fd);
  return file;
}

bool FileReplacement::Commit() {
  if (temp_.empty()) return false;
  if (fd_ < 0) fd_ = open(temp_.c_str(), O_RDWR | O_CLOEXEC);
  if (fd_ < 0) return Fail("cannot reopen the new file", errno);
  if (fsync(fd_) != 0) return Fail("write failed", errno);
  // The owner and group first (a change of owner clears the set-id bits),
  // where allowed: a file of another user's that cannot stay theirs (in a
  // sticky folder, could not even be renamed over) is written through
  // instead, and the group is kept where the user may.
  if (!writeThrough_ && keepOwner_ && fchown(fd_, uid_, gid_) != 0) {
    if (uid_ != geteuid() && Writable(target_))
      writeThrough_ = true;
    else
      (void)!fchown(fd_, static_cast<uid_t>(-1), gid_);
  }
  if (!writeThrough_ && fchmod(fd_, mode_) != 0) return Fail("cannot set the file's mode", errno);
  if (close(fd_) != 0) {
    fd_ = -1;
    return Fail("write failed", errno);
  }
  fd_ = -1;
  if (writeThrough_) return WriteThrough();
  if (rename(temp_.c_str(), target_.c_str()) != 0) return Fail("cannot replace the file", errno);
  temp_.clear();
  Release();
  // The rename itself is on disk once the folder is.
  const int dir = open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

// The complete new contents are copied into the old file in place. Should
// that fail part-way, the new file stays where it is, named in the error, as
// the one whole copy of what was saved.
bool FileReplacement::WriteThrough() {
  const int in = open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return Fail("cannot reopen the new file", errno);
  // Only the file found when the replacement began, by the link rule, is
  // written: a link or another file put in its place meanwhile (in a shared
  // folder, by someone else) is not followed.
  const int out = open(target_.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat made {}, had {};
  int err = out < 0 ? errno : fstat(in, &made) != 0 || fstat(out, &had) != 0 ? errno : 0;
  const bool moved = err == 0 && (static_cast<unsigned long long>(had.st_dev) != dev_ ||
                                  static_cast<unsigned long long>(had.st_ino) != ino_);
  // The room for the new contents is had first: a disk too full for them
  // leaves the old file as it was.
  if (err == 0 && !moved && made.st_size > 0) err = Reserve(out, had.st_size, made.st_size);
  if (err != 0 || moved) {
    if (out >= 0) close(out);
    close(in);
    return Fail(moved ? "another file was put in the file's place" : "cannot write the file", err);
  }
  off_t total = 0;
  char buf[65536];
  for (;;) {
    const ssize_t n = read(in, buf, sizeof buf);
    if (n < 0) err = errno;
    if (n <= 0) break;
    for (ssize_t done = 0; done < n && err == 0;) {
      const ssize_t w = write(out, buf + done, static_cast<size_t>(n - done));
      if (w <= 0) err = w < 0 ? errno : ENOSPC;
      else done += w;
    }
    if (err != 0) break;
    total += n;
  }
  if (err == 0 && ftruncate(out, total) != 0) err = errno;
  if (err == 0 && fsync(out) != 0) err = errno;
  if (close(out) != 0 && err == 0) err = errno;
  close(in);
  if (err != 0) {
    error_ = std::string("cannot write the file: ") + std::strerror(err) + "; the saved contents are in " + temp_;
    temp_.clear();  // kept: the old file may be part-written
    Release();
    return false;
  }
  unlink(temp_.c_str());
  temp_.clear();
  Release();
  return true;
}

void FileReplacement::Abandon() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
  Release();
}
