// Folders that refuse writes the way a real disk does: a read-only folder and
// a nearly full one. As root a small tmpfs is mounted (root writes through
// any mode bits); elsewhere the mode bits and the file-size limit stand in.
#pragma once

#include <string>

class FaultyFolder {
 public:
  enum Kind { kReadOnly, kFull };
  // bytes: the size of the full folder's file system.
  explicit FaultyFolder(Kind kind, long bytes = 64 * 1024);
  ~FaultyFolder();
  FaultyFolder(const FaultyFolder&) = delete;
  FaultyFolder& operator=(const FaultyFolder&) = delete;

  const std::string& Path() const { return path_; }
  // Files are put in first; then the folder starts refusing.
  bool Arm();
  // Why the fault cannot be made here (empty when it can).
  const std::string& Unavailable() const { return unavailable_; }
  bool Mounted() const { return mounted_; }

 private:
  Kind kind_;
  std::string path_;
  std::string unavailable_;
  bool mounted_ = false;
  bool limited_ = false;
  unsigned long savedLimit_ = 0;
};
