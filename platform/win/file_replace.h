// Replacing a file whole without losing what the user had: the new contents
// go to a private, uniquely named file beside the file a path names (through
// symbolic links, which stay, a dangling one too), are synced to disk, take
// the old file's mode, and only then are renamed over it. A file with other
// hard links is written through instead, once the new contents are complete,
// so that every name keeps the file. A failure at any step before that leaves
// the old file as it was and removes the new one.
#pragma once

#include <string>

class FileReplacement {
 public:
  FileReplacement() = default;
  ~FileReplacement();  // abandons what was not committed
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Makes the new file; copyOld starts it with the old file's bytes. False
  // with the reason in Error().
  bool Begin(const std::string& path, bool copyOld);
  // The new file's path and its open descriptor (-1 after Close).
  const std::string& TempPath() const { return temp_; }
  int Handle() const { return fd_; }
  // Closes the descriptor (for writers that reopen the file by its path).
  void CloseHandle();
  // Syncs, gives the old mode, renames over the old file and syncs the folder.
  bool Commit();
  void Abandon();
  const std::string& Error() const { return error_; }

 private:
  bool Fail(const char* what, int err);
  bool WriteThrough();
  std::string target_, temp_, folder_, error_;
  int fd_ = -1;
  unsigned mode_ = 0;
  bool keepOwner_ = false;
  bool writeThrough_ = false;  // the old file has other names
  unsigned uid_ = 0, gid_ = 0;
};
