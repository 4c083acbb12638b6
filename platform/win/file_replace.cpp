#include "platform/win/file_replace.h"
#include "platform/win/fileio.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The file a path finally names, every symbolic link followed, a dangling one
// included: the save writes where the link points, and the link stays. Empty
// for a loop of links.
std::string FinalTarget(const std::string& path) {
  std::string p = path;
  for (int hops = 0; hops < 40; ++hops) {
    if (char* real = realpath(p.c_str(), nullptr)) {
      p = real;
      std::free(real);
      return p;
    }
    struct stat link {};
    if (lstat(p.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return p;
    char to[4096];
    const ssize_t n = readlink(p.c_str(), to, sizeof to - 1);
    if (n <= 0) return p;
    to[n] = '\0';
    const size_t slash = p.rfind('/');
    p = to[0] == '/' || slash == std::string::npos ? std::string(to) : p.substr(0, slash + 1) + to;
  }
  return std::string();
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

bool FileReplacement::Begin(const std::string& path, bool copyOld) {
  Abandon();
  error_.clear();
  target_ = FinalTarget(OsFileName(path));
  if (target_.empty()) return Fail("cannot follow the file's links", ELOOP);
  struct stat old {};
  const bool existed = stat(target_.c_str(), &old) == 0;
  // A pipe, a device or a folder is never replaced by a file.
  if (existed && !S_ISREG(old.st_mode)) return Fail("not a regular file", 0);
  writeThrough_ = existed && S_ISREG(old.st_mode) && old.st_nlink > 1;
  if (existed) {
    mode_ = old.st_mode & 07777;
    keepOwner_ = old.st_uid != geteuid() || old.st_gid != getegid();
    uid_ = old.st_uid;
    gid_ = old.st_gid;
  } else {
    mode_ = 0666 & ~static_cast<mode_t>(ProcessUmask());
    keepOwner_ = false;
  }
  const size_t slash = target_.rfind('/');
  folder_ = slash == std::string::npos ? "." : slash == 0 ? "/" : target_.substr(0, slash);
  const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  temp_ = folder_ + "/." + base + ".~XXXXXX";
  fd_ = mkstemp(&temp_[0]);
  if (fd_ < 0) {
    const int err = errno;
    temp_.clear();
    return Fail("cannot create the file", err);
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

bool FileReplacement::Commit() {
  if (temp_.empty()) return false;
  if (fd_ < 0) fd_ = open(temp_.c_str(), O_RDWR);
  if (fd_ < 0) return Fail("cannot reopen the new file", errno);
  if (fsync(fd_) != 0) return Fail("write failed", errno);
  if (fchmod(fd_, mode_) != 0) return Fail("cannot set the file's mode", errno);
  // Only where allowed: the mode is what matters to the user.
  if (keepOwner_) (void)!fchown(fd_, uid_, gid_);
  if (close(fd_) != 0) {
    fd_ = -1;
    return Fail("write failed", errno);
  }
  fd_ = -1;
  if (writeThrough_) return WriteThrough();
  if (rename(temp_.c_str(), target_.c_str()) != 0) return Fail("cannot replace the file", errno);
  temp_.clear();
  // The rename itself is on disk once the folder is.
  const int dir = open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
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
  const int in = open(temp_.c_str(), O_RDONLY);
  if (in < 0) return Fail("cannot reopen the new file", errno);
  const int out = open(target_.c_str(), O_WRONLY);
  if (out < 0) {
    const int err = errno;
    close(in);
    return Fail("cannot write the file", err);
  }
  // The room for the new contents is had first: a disk too full for them
  // leaves the old file as it was.
  struct stat made {}, had {};
  int err = fstat(in, &made) != 0 || fstat(out, &had) != 0 ? errno : 0;
  if (err == 0 && made.st_size > 0) err = Reserve(out, had.st_size, made.st_size);
  if (err != 0) {
    close(in);
    close(out);
    return Fail("cannot write the file", err);
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
    return false;
  }
  unlink(temp_.c_str());
  temp_.clear();
  return true;
}

void FileReplacement::Abandon() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
}
