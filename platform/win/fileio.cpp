#include "platform/win/fileio.h"

#include "platform/win/codepage_text.h"
#include "platform/win/file_replace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace {
unsigned char AsciiLower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

bool EqualIgnoringAsciiCase(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (AsciiLower(a[i]) != AsciiLower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

bool Exists(const std::string& p) {
  struct stat st;
  return ::stat(OsFileName(p).c_str(), &st) == 0;
}

// Folder listings kept for lookups ignoring case: start-up looks the same
// names up in the same folders many times over (settings files that may not
// exist, helper libraries along PATH). A listing is used only while its
// folder is unchanged.
struct Listing {
  DiskStamp stamp;
  std::vector<std::string> names;
};
std::mutex gListingMutex;
std::unordered_map<std::string, Listing> gListings;
constexpr size_t kMaxListings = 64;

// One component looked up in dir ignoring case; empty when none matches.
std::string FindIgnoringCase(const std::string& dir, const std::string& name) {
  const std::string os = dir.empty() ? std::string(".") : OsFileName(dir);
  DiskStamp now;
  if (!TakeDiskStamp(os, &now)) return std::string();
  std::lock_guard<std::mutex> lock(gListingMutex);
  auto kept = gListings.find(os);
  if (kept == gListings.end() || !StillAsRead(kept->second.stamp, now)) {
    Listing listing{now, {}};
    DIR* d = ::opendir(os.c_str());
    if (d == nullptr) return std::string();
    while (dirent* e = ::readdir(d)) listing.names.emplace_back(e->d_name);
    ::closedir(d);
    if (kept != gListings.end()) gListings.erase(kept);
    if (gListings.size() >= kMaxListings) gListings.clear();
    kept = gListings.emplace(os, std::move(listing)).first;
  }
  for (const std::string& n : kept->second.names)
    if (EqualIgnoringAsciiCase(name, n.c_str())) return n;
  return std::string();
}

// The system's error as the C runtime numbers the codes callers test.
int MapErrno(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      return kFileErrNotFound;
    case EACCES:
    case EPERM:
    case EAGAIN:
    case EROFS:
      return kFileErrAccess;
    case EEXIST:
      return kFileErrExists;
    case EMFILE:
    case ENFILE:
      return kFileErrTooManyOpen;
    case ENODEV:
    case ENXIO:
      return kFileErrNotRegular;
    default:
      return e;
  }
}

int OpenFlags(unsigned how) {
  int flags = O_CLOEXEC;
  if ((how & kFileReadWrite) == kFileReadWrite)
    flags |= O_RDWR;
  else if (how & kFileWrite)
    flags |= O_WRONLY;
  else
    flags |= O_RDONLY;
  if (how & kFileNoLink) flags |= O_NOFOLLOW;
  return flags;
}

int OpenRetrying(const char* path, int flags, mode_t mode) {
  int fd;
  do fd = ::open(path, flags, mode);
  while (fd < 0 && errno == EINTR);
  return fd;
}

// Repeats step(bytes done so far) until size bytes have gone; false on an
// error or a step that makes no progress.
template <class Step>
bool TransferAll(size_t size, Step step) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = step(done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void InfoFrom(const struct stat& st, FileInfo* out) {
  out->regular = S_ISREG(st.st_mode);
  out->size = static_cast<uint64_t>(st.st_size);
  out->device = static_cast<uint64_t>(st.st_dev);
  out->inode = static_cast<uint64_t>(st.st_ino);
  out->modifiedSeconds = static_cast<int64_t>(st.st_mtim.tv_sec);
  out->modifiedNanoseconds = static_cast<int64_t>(st.st_mtim.tv_nsec);
}
}  // namespace

namespace {
// Whether the whole text is well-formed UTF-8 (plain ASCII included).
bool IsUtf8(const std::string& text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    if (*p < 0x80) {
      ++p;
      continue;
    }
    uint32_t cp = 0;
    const int n = DecodeUtf8(p, end, &cp);
    if (n <= 0) return false;
    p += n;
  }
  return true;
}
}  // namespace

std::string OsFileName(const std::string& path) {
  // A name that is already the system's (UTF-8, as the command line and the
  // file dialogs give names the code page cannot hold) stays as it is.
  return IsUtf8(path) ? path : AnsiToUtf8(path);
}

std::string FileNameText(const std::string& text) { return OsFileName(text); }

std::string ProgramFileName(const std::string& osName) {
  if (!IsUtf8(osName)) return osName;
  const std::string ansi = Utf8ToAnsi(osName);
  // A letter outside the code page would become '?': the system's bytes then
  // stay, so the file can still be opened.
  return ansi.find('?') != std::string::npos && osName.find('?') == std::string::npos ? osName : ansi;
}

std::string NativePath(const std::string& path) {
  std::string p = path;
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

std::string ResolveExistingPath(const std::string& path) {
  if (path.empty()) return std::string();
  if (Exists(path)) return path;
  // The walk compares with the names the system lists, so it works in them.
  std::string native = OsFileName(NativePath(path));
  if (native != path && Exists(native)) return native;

  // Walk the components, keeping the exact name where it exists.
  std::string result;
  size_t pos = 0;
  if (native[0] == '/') {
    result = "/";
    pos = 1;
  }
  while (pos <= native.size()) {
    size_t next = native.find('/', pos);
    if (next == std::string::npos) next = native.size();
    std::string comp = native.substr(pos, next - pos);
    pos = next + 1;
    if (comp.empty()) continue;
    std::string candidate = result + comp;
    if (comp == "." || comp == ".." || Exists(candidate)) {
      result = candidate;
    } else {
      std::string match = FindIgnoringCase(result, comp);
      if (match.empty()) return std::string();
      result += match;
    }
    if (next < native.size()) result += '/';
  }
  return Exists(result) ? result : std::string();
}

int AccessPath(const char* path, int mode) {
  if (path == nullptr || *path == '\0') return -1;
  std::string p = ResolveExistingPath(path);
  if (p.empty()) return -1;
  int how = F_OK;
  if (mode & 2) how |= W_OK;
  if (mode & 4) how |= R_OK;
  return ::access(OsFileName(p).c_str(), how) == 0 ? 0 : -1;
}

char* GetCurrentDir(char* buf, int size) {
  if (buf == nullptr || size <= 0) return nullptr;
  std::vector<char> tmp(4096);
  if (::getcwd(tmp.data(), tmp.size()) == nullptr) return nullptr;
  // The program joins names to it: it is given as program text.
  const std::string dir = ProgramFileName(tmp.data());
  if (dir.size() + 1 > static_cast<size_t>(size)) return nullptr;
  std::memcpy(buf, dir.c_str(), dir.size() + 1);
  return buf;
}

std::string FullPathOfExisting(const std::string& path) {
  std::string p = ResolveExistingPath(path);
  if (p.empty()) return std::string();
  if (p[0] != '/') {
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return std::string();
    p = std::string(cwd) + "/" + p;
  }
  // Lexical normalisation: drop ".", empty components and resolve "..".
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos < p.size()) {
    size_t next = p.find('/', pos);
    if (next == std::string::npos) next = p.size();
    std::string comp = p.substr(pos, next - pos);
    pos = next + 1;
    if (comp.empty() || comp == ".") continue;
    if (comp == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(comp);
  }
  std::string out;
  for (const auto& c : parts) out += "/" + c;
  return out.empty() ? "/" : out;
}

BOOL DeleteFileA(LPCSTR path) {
  if (path == nullptr) return FALSE;
  // The name found may be the program's spelling (a name with accents in the
  // code page): the system is given its own.
  const std::string found = ResolveExistingPath(path);
  if (found.empty()) return FALSE;
  const std::string p = OsFileName(found);
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return FALSE;
  return ::unlink(p.c_str()) == 0 ? TRUE : FALSE;
}

bool TakeDiskStamp(const std::string& osPath, DiskStamp* out) {
  // Taken first: file times come from the same coarse clock, so a change
  // after this moment is stamped no earlier than it.
  timespec before{};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &before);
  struct stat st;
  if (::stat(osPath.c_str(), &st) != 0) return false;
  auto earlier = [](const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
  };
  out->dev = st.st_dev;
  out->ino = st.st_ino;
  out->size = st.st_size;
  out->mtime = st.st_mtim;
  out->ctime = st.st_ctim;
  out->settled = earlier(st.st_mtim, before) && earlier(st.st_ctim, before);
  return true;
}

bool StillAsRead(const DiskStamp& then, const DiskStamp& now) {
  auto same = [](const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; };
  return then.settled && then.dev == now.dev && then.ino == now.ino && then.size == now.size &&
         same(then.mtime, now.mtime) && same(then.ctime, now.ctime);
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  out.clear();
  int fd = ::open(OsFileName(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      out.clear();
      return false;
    }
    if (n == 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

unsigned ProcessUmask() {
  if (std::FILE* f = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f)) found = std::sscanf(line, "Umask: %o", &mask) == 1;
    std::fclose(f);
    if (found) return mask & 0777;
  }
  // No /proc: the only other way to read it.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return static_cast<unsigned>(mask);
}

bool WriteWholeFile(const std::string& programPath, const std::string& data) {
  // As a saved report: links kept, the contents synced before the rename.
  FileReplacement out;
  if (!out.Begin(programPath, false)) return false;
  if (!data.empty() && !WriteFileHandle(out.Handle(), data.data(), data.size())) return false;
  return out.Commit();
}

bool MakeDirectories(const std::string& programPath, unsigned mode) {
  if (programPath.empty()) return false;
  const std::string path = OsFileName(programPath);
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    if (!MakeDirectories(path.substr(0, slash), mode)) return false;
  }
  if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) return false;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Keeps a just-opened descriptor only when it is a regular file; it was
// opened without waiting and waits again from here on.
static int KeepRegular(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = ENODEV;
    return -1;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

int OpenExistingFile(const std::string& path, unsigned how, int* error) {
  const int flags = OpenFlags(how) | ((how & kFileRegularOnly) ? O_NONBLOCK : 0);
  int fd = OpenRetrying(OsFileName(path).c_str(), flags, 0);
  if (fd < 0 && errno == ENOENT && (how & kFileAnyCase)) {
    // Windows names ignore case; the disk's may differ.
    std::string found = ResolveExistingPath(path);
    if (!found.empty()) fd = OpenRetrying(OsFileName(found).c_str(), flags, 0);
    if (fd < 0 && found.empty()) errno = ENOENT;
  }
  // A pipe opened for writing with no reader says so at once.
  if (fd < 0 && errno == ENXIO && (how & kFileRegularOnly)) errno = ENODEV;
  if (fd >= 0 && (how & kFileRegularOnly)) fd = KeepRegular(fd);
  if (error != nullptr) *error = fd < 0 ? MapErrno(errno) : 0;
  return fd;
}

bool ReadRegularFile(const std::string& path, uint64_t limit, std::string& out, int* error) {
  out.clear();
  int code = 0;
  const int fd = OpenExistingFile(path, kFileRead | kFileRegularOnly, &code);
  if (fd < 0) {
    if (error != nullptr) *error = code;
    return false;
  }
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0;
  code = ok ? 0 : MapErrno(errno);
  if (ok && static_cast<uint64_t>(st.st_size) > limit) {
    ok = false;
    code = kFileErrTooLarge;
  }
  // The size is checked again while reading: the file may grow meanwhile.
  char buf[65536];
  while (ok) {
    const long n = ReadFileHandle(fd, buf, sizeof buf);
    if (n < 0) {
      ok = false;
      code = MapErrno(errno);
    } else if (n == 0) {
      break;
    } else if (out.size() + static_cast<size_t>(n) > limit) {
      ok = false;
      code = kFileErrTooLarge;
    } else {
      out.append(buf, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  if (!ok) out.clear();
  if (error != nullptr) *error = code;
  return ok;
}

int CreateNewFile(const std::string& path, unsigned how, unsigned permissions, int* error) {
  int fd = OpenRetrying(OsFileName(path).c_str(), OpenFlags(how) | O_CREAT | O_EXCL, static_cast<mode_t>(permissions));
  if (error != nullptr) *error = fd < 0 ? MapErrno(errno) : 0;
  return fd;
}

bool CloseFileHandle(int handle) { return handle >= 0 && ::close(handle) == 0; }

bool SetFileHandleSize(int handle, uint64_t size) {
  for (;;) {
    if (::ftruncate(handle, static_cast<off_t>(size)) == 0) return true;
    if (errno != EINTR) return false;
  }
}

int TryLockFileHandle(int handle, bool exclusive) {
  for (;;) {
    if (::flock(handle, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return 0;
    const int err = errno;
    if (err == EINTR) continue;
    // Only another holder's lock keeps the file from this open. A file
    // system that takes no locks (NFS without its lock service: ENOLCK, or
    // one that has none at all) leaves the file to be used unlocked.
    if (err == EWOULDBLOCK || err == EBADF) return MapErrno(err);
    return 0;
  }
}

void UnlockFileHandle(int handle) { ::flock(handle, LOCK_UN); }

long ReadFileHandle(int handle, void* data, size_t size) {
  for (;;) {
    ssize_t n = ::read(handle, data, size);
    if (n < 0 && errno == EINTR) continue;
    return n < 0 ? -1 : static_cast<long>(n);
  }
}

bool WriteFileHandle(int handle, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  return TransferAll(size, [&](size_t done) { return ::write(handle, p + done, size - done); });
}

bool ReadFileAt(int handle, uint64_t offset, void* data, size_t size) {
  char* p = static_cast<char*>(data);
  return TransferAll(size, [&](size_t done) {
    return ::pread(handle, p + done, size - done, static_cast<off_t>(offset + done));
  });
}

bool WriteFileAt(int handle, uint64_t offset, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  return TransferAll(size, [&](size_t done) {
    return ::pwrite(handle, p + done, size - done, static_cast<off_t>(offset + done));
  });
}

int64_t SeekFileHandle(int handle, int64_t offset, SeekFrom from) {
  const off_t at = ::lseek(handle, static_cast<off_t>(offset), from == SeekFrom::kStart ? SEEK_SET : SEEK_CUR);
  return at < 0 ? -1 : static_cast<int64_t>(at);
}

bool GetFileInfoByPath(const std::string& path, FileInfo* out) {
  struct stat st;
  if (::stat(OsFileName(path).c_str(), &st) != 0) return false;
  InfoFrom(st, out);
  return true;
}

bool GetFileInfoByHandle(int handle, FileInfo* out) {
  struct stat st;
  if (::fstat(handle, &st) != 0) return false;
  InfoFrom(st, out);
  return true;
}

bool RemoveFileName(const std::string& path) { return ::unlink(OsFileName(path).c_str()) == 0; }

bool ListFolder(const std::string& folder, std::vector<std::string>* files, std::vector<std::string>* folders) {
  const std::string os = OsFileName(NativePath(folder.empty() ? std::string(".") : folder));
  DIR* d = ::opendir(os.c_str());
  if (d == nullptr) return false;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (::stat((os + "/" + name).c_str(), &st) != 0) continue;
    (S_ISDIR(st.st_mode) ? folders : files)->push_back(ProgramFileName(name));
  }
  ::closedir(d);
  std::sort(files->begin(), files->end());
  std::sort(folders->begin(), folders->end());
  return true;
}

BOOL IsDirectoryPath(const char* path) {
  if (path == nullptr || *path == '\0') return FALSE;
  struct stat st;
  return ::stat(OsFileName(NativePath(path)).c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? TRUE : FALSE;
}

BOOL CanCreateFile(const char* path) {
  if (path == nullptr || *path == '\0') return FALSE;
  if (AccessPath(path, 0) == 0) return TRUE;
  const std::string native = NativePath(path);
  const int fd = CreateNewFile(native, kFileWrite, 0644);
  if (fd < 0) return FALSE;
  CloseFileHandle(fd);
  RemoveFileName(native);
  return TRUE;
}
