// The record pass's work files: their names in the private temporary folder
// ("KMW", the process id in lower-case hexadecimal, "." and the kind) and a
// small buffered file for the 32-bit record numbers and sort records they hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The work file of the given kind ("TMP", "TOT", "SO#", "#1f"); empty when
// no private temporary folder can be had.
std::string MakeTempFileName(const char* kind);
// The record sort's run file: kind "#" and the run number in lower-case hex.
std::string MakeSortRunName(uint32_t run);

// Keeps work files after a run instead of deleting them (an application switch).
void SetKeepWorkFiles(bool keep);
bool KeepWorkFiles();
// Deletes a work file unless work files are kept; an empty name does nothing.
void RemoveWorkFile(const std::string& path);

// A binary work file with its own read and write buffers. Writes go out on
// Flush, Seek and Close; a write failure sticks until Close.
class WorkFile {
 public:
  WorkFile() = default;
  ~WorkFile();
  WorkFile(const WorkFile&) = delete;
  WorkFile& operator=(const WorkFile&) = delete;

  // Creates the file afresh (an old file or a link of that name is removed
  // first; a name planted in between is refused), read-write, owner only.
  bool Create(const std::string& path);
  bool OpenRead(const std::string& path);
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }

  bool Write(const void* data, size_t size);
  bool WriteU32(uint32_t v);
  // Bytes read into data: size, fewer at the end of the file, -1 on error.
  long Read(void* data, size_t size);
  // 1 a number read, 0 the end of the file, -1 an error or a partial number.
  int ReadU32(uint32_t* v);
  bool Seek(uint64_t position);
  // The position of the next byte read or written; UINT64_MAX when unknown.
  uint64_t Tell() const;
  bool Flush();
  // Flushes and closes; false when any write failed.
  bool Close();

 private:
  bool FillReadBuffer();
  int fd_ = -1;
  std::string path_;
  bool failed_ = false;
  char* buffer_ = nullptr;
  size_t fill_ = 0;       // bytes waiting to be written
  size_t readPos_ = 0;    // next unread byte of the read buffer
  size_t readFill_ = 0;   // bytes in the read buffer
};

