#include "platform/export/output_file.h"

#include "platform/win/file_handles.h"
#include "platform/win/file_replace.h"
#include "platform/win/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

// Bytes written to the file at once: a long export is hundreds of megabytes.
constexpr size_t kFileBuffer = size_t{1} << 20;

// An existing file under any spelling the file layer accepts, else the path
// as given, spelt as the system spells it.
std::string Native(const std::string& path) {
  std::string found = ResolveExistingPath(path);
  return OsFileName(found.empty() ? NativePath(path) : found);
}

}  // namespace

ExportOutputFile::~ExportOutputFile() { Discard(); }

void ExportOutputFile::SetBuffer() {
  if (!buffer_) buffer_.reset(new char[kFileBuffer]);
  std::setvbuf(file_, buffer_.get(), _IOFBF, kFileBuffer);
}

bool ExportOutputFile::Open(const std::string& path) {
  Discard();
  path_ = path;
  // Replaced as a saved report is: a link stays a link, other names of the
  // file keep it, and the new contents are on the disk before the rename.
  replacement_ = std::make_unique<FileReplacement>();
  file_ = replacement_->Begin(Native(path), false) ? replacement_->TakeStream() : nullptr;
  if (file_ == nullptr) {
    replacement_.reset();
    return false;
  }
  SetBuffer();
  ok_ = true;
  return true;
}

bool ExportOutputFile::OpenLocked(const std::string& path, uint32_t* attributes) {
  if (attributes != nullptr) *attributes = 0;
  if (!Open(path)) return false;
  if (!FileExistsAt(path)) return true;
  // The old file held for writing, not emptied: no one else gets in while
  // the new one is written, and it stays as it was until then.
  DWORD found = 0;
  held_ = OpenFileHandle(path.c_str(), GENERIC_WRITE, false, &found);
  if (attributes != nullptr) *attributes = found;
  if (held_ >= 0) return true;
  Discard();
  return false;
}

bool ExportOutputFile::Write(const void* data, size_t n) {
  if (!ok_ || file_ == nullptr) return false;
  if (n > 0 && std::fwrite(data, 1, n, file_) != n) ok_ = false;
  return ok_;
}

bool ExportOutputFile::Rewind() {
  if (!ok_ || file_ == nullptr) return false;
  if (std::fflush(file_) != 0 || ::ftruncate(::fileno(file_), 0) != 0 || std::fseek(file_, 0, SEEK_SET) != 0)
    ok_ = false;
  return ok_;
}

bool ExportOutputFile::WriteAt(long offset, const void* data, size_t n) {
  if (!ok_ || file_ == nullptr) return false;
  long here = std::ftell(file_);
  if (std::fseek(file_, offset, SEEK_SET) != 0) return ok_ = false;
  Write(data, n);
  if (std::fseek(file_, here, SEEK_SET) != 0) ok_ = false;
  return ok_;
}

long ExportOutputFile::Tell() const { return file_ ? std::ftell(file_) : 0; }

bool ExportOutputFile::Commit() {
  if (file_ == nullptr) return false;
  // As with the printed PDF, every write is checked and the system writes
  // the file back to the disk in its own time.
  if (std::fflush(file_) != 0) ok_ = false;
  if (std::fclose(file_) != 0) ok_ = false;
  file_ = nullptr;
  if (replacement_ != nullptr) {
    if (ok_ && !replacement_->Commit()) ok_ = false;
    replacement_.reset();  // an uncommitted one is removed
  }
  ReleaseHeld();
  return ok_;
}

void ExportOutputFile::Discard() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  replacement_.reset();
  ReleaseHeld();
}

void ExportOutputFile::ReleaseHeld() {
  if (held_ >= 0) CloseFileHandle(held_);
  held_ = -1;
}

bool IsSameExistingFile(const std::string& a, const std::string& b) {
  std::string pa = ResolveExistingPath(a), pb = ResolveExistingPath(b);
  if (pa.empty() || pb.empty()) return false;
  struct stat sa {}, sb {};
  if (::stat(OsFileName(pa).c_str(), &sa) != 0 || ::stat(OsFileName(pb).c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool FileExistsAt(const std::string& path) { return !ResolveExistingPath(path).empty(); }

bool IsReadOnlyFile(const std::string& path) { return (FileAttributesOf(path.c_str()) & FILE_ATTRIBUTE_READONLY) != 0; }

bool MakeDirectoryTree(const std::string& path) {
  std::string native = OsFileName(NativePath(path));
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  if (native.empty()) return false;
  for (size_t i = 1; i <= native.size(); ++i) {
    if (i != native.size() && native[i] != '/') continue;
    std::string part = native.substr(0, i);
    struct stat st {};
    if (::stat(part.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return false;
      continue;
    }
    if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}
