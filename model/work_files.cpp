#include "model/work_files.h"

#include "foundation/byte_order.h"
#include "foundation/file_removal.h"
#include "foundation/text_helpers.h"
#include "platform/win/fileio.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr size_t kBufferSize = 64 * 1024;
bool g_keepWorkFiles = false;
}  // namespace

std::string MakeTempFileName(const char* kind) {
  char name[512];
  return MakeTempFileName(kind, name, sizeof name);
}

std::string MakeSortRunName(uint32_t run) {
  char kind[16];
  std::snprintf(kind, sizeof kind, "#%x", run);
  return MakeTempFileName(kind);
}

void SetKeepWorkFiles(bool keep) { g_keepWorkFiles = keep; }
bool KeepWorkFiles() { return g_keepWorkFiles; }

void RemoveWorkFile(const std::string& path) {
  if (!path.empty() && !g_keepWorkFiles) DeleteFileIfExists(path.c_str());
}

WorkFile::~WorkFile() { Close(); }

bool WorkFile::Create(const std::string& path) {
  Close();
  if (path.empty()) return false;
  RemoveFileName(path);
  int fd = CreateNewFile(path, kFileReadWrite | kFileNoLink, 0600);
  if (fd < 0) return false;
  buffer_ = static_cast<char*>(std::malloc(kBufferSize));
  if (buffer_ == nullptr) {
    CloseFileHandle(fd);
    RemoveFileName(path);
    return false;
  }
  fd_ = fd;
  path_ = path;
  return true;
}

bool WorkFile::OpenRead(const std::string& path) {
  Close();
  if (path.empty()) return false;
  int fd = OpenExistingFile(path, kFileRead | kFileNoLink);
  if (fd < 0) return false;
  buffer_ = static_cast<char*>(std::malloc(kBufferSize));
  if (buffer_ == nullptr) {
    CloseFileHandle(fd);
    return false;
  }
  fd_ = fd;
  path_ = path;
  return true;
}

bool WorkFile::Flush() {
  if (fd_ < 0) return false;
  if (!WriteFileHandle(fd_, buffer_, fill_)) failed_ = true;
  fill_ = 0;
  return !failed_;
}

bool WorkFile::Write(const void* data, size_t size) {
  if (fd_ < 0 || failed_) return false;
  if (readFill_ != 0) {
    // Switching from reading: the file position is past the buffered bytes.
    SeekFileHandle(fd_, static_cast<int64_t>(readPos_) - static_cast<int64_t>(readFill_), SeekFrom::kCurrent);
    readPos_ = readFill_ = 0;
  }
  const char* p = static_cast<const char*>(data);
  if (fill_ + size > kBufferSize) {
    if (!Flush()) return false;
    if (size >= kBufferSize) {
      if (!WriteFileHandle(fd_, p, size)) failed_ = true;
      return !failed_;
    }
  }
  std::memcpy(buffer_ + fill_, p, size);
  fill_ += size;
  return true;
}

bool WorkFile::WriteU32(uint32_t v) {
  uint8_t b[4];
  PutU32(b, v);
  return Write(b, 4);
}

bool WorkFile::FillReadBuffer() {
  readPos_ = readFill_ = 0;
  const long n = ReadFileHandle(fd_, buffer_, kBufferSize);
  if (n < 0) return false;
  readFill_ = static_cast<size_t>(n);
  return true;
}

long WorkFile::Read(void* data, size_t size) {
  if (fd_ < 0) return -1;
  if (fill_ != 0 && !Flush()) return -1;
  char* out = static_cast<char*>(data);
  size_t got = 0;
  while (got < size) {
    if (readPos_ == readFill_) {
      if (!FillReadBuffer()) return -1;
      if (readFill_ == 0) break;
    }
    size_t take = readFill_ - readPos_;
    if (take > size - got) take = size - got;
    std::memcpy(out + got, buffer_ + readPos_, take);
    readPos_ += take;
    got += take;
  }
  return static_cast<long>(got);
}

int WorkFile::ReadU32(uint32_t* v) {
  uint8_t b[4];
  long n = Read(b, 4);
  if (n == 0) return 0;
  if (n != 4) return -1;
  *v = GetU32(b);
  return 1;
}

bool WorkFile::Seek(uint64_t position) {
  if (fd_ < 0) return false;
  if (fill_ != 0 && !Flush()) return false;
  readPos_ = readFill_ = 0;
  return SeekFileHandle(fd_, static_cast<int64_t>(position), SeekFrom::kStart) == static_cast<int64_t>(position);
}

uint64_t WorkFile::Tell() const {
  if (fd_ < 0) return UINT64_MAX;
  const int64_t at = SeekFileHandle(fd_, 0, SeekFrom::kCurrent);
  if (at < 0) return UINT64_MAX;
  return static_cast<uint64_t>(at) + fill_ - (readFill_ - readPos_);
}

bool WorkFile::Close() {
  bool ok = true;
  if (fd_ >= 0) {
    if (fill_ != 0) Flush();
    ok = !failed_;
    if (!CloseFileHandle(fd_)) ok = false;
  }
  fd_ = -1;
  std::free(buffer_);
  buffer_ = nullptr;
  fill_ = readPos_ = readFill_ = 0;
  failed_ = false;
  path_.clear();
  return ok;
}
