// Files an export writes: made beside their final name and put in place only
// when complete, so a failed export never leaves a partial file or spoils an
// older one; and the file-system questions an export asks of a path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/win/file_replace.h"

class ExportOutputFile {
 public:
  ExportOutputFile() = default;
  ~ExportOutputFile();  // an uncommitted file is removed
  ExportOutputFile(const ExportOutputFile&) = delete;
  ExportOutputFile& operator=(const ExportOutputFile&) = delete;

  // Opens a scratch file in the target's folder; false when it cannot be made.
  bool Open(const std::string& path);
  // Open, with an existing target held for writing (not emptied) until
  // the new file is renamed over it, so that no one else gets in meanwhile;
  // false when it cannot be held. *attributes gets the target's file
  // attributes as they were (file_handles.h; 0 when it did not exist).
  bool OpenLocked(const std::string& path, uint32_t* attributes);
  bool IsOpen() const { return file_ != nullptr; }
  // False once any write failed; later writes are skipped.
  bool Write(const void* data, size_t n);
  bool Write(const std::string& s) { return Write(s.data(), s.size()); }
  // Empties the file to write it again from its start; false once a write
  // failed.
  bool Rewind();
  // Writes at an offset already written (headers patched at the end).
  bool WriteAt(long offset, const void* data, size_t n);
  long Tell() const;
  bool Ok() const { return ok_; }
  // Flushes, closes and renames onto the target; false (nothing left
  // behind) when any step failed.
  bool Commit();
  // Closes and removes the scratch file.
  void Discard();
  const std::string& Path() const { return path_; }

 private:
  void SetBuffer();  // on the file just opened
  // The file's buffer, kept past the file: the C library makes one of a few
  // kilobytes itself, whatever size is asked for, unless it is given one.
  std::unique_ptr<char[]> buffer_;
  std::FILE* file_ = nullptr;
  std::string path_;     // program spelling of the target
  void ReleaseHeld();
  std::unique_ptr<FileReplacement> replacement_;  // the new file beside the target
  int held_ = -1;  // the old target, held while the new one is written
  bool ok_ = true;
};

// Whether two program paths name one file (by device and inode, so a
// different spelling, case or link of the same file still matches). False
// when either does not exist.
bool IsSameExistingFile(const std::string& a, const std::string& b);
// The path names a read-only file (file_handles.h's attributes).
bool IsReadOnlyFile(const std::string& path);
bool FileExistsAt(const std::string& path);
// Makes the folder and any missing parents; true when it exists afterwards.
bool MakeDirectoryTree(const std::string& path);
