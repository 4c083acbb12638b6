// Replacing a file whole without losing what the user had: the new contents
// go to a private, uniquely named file beside the file a path names (through
// symbolic links, which stay, a dangling one too; in a shared sticky folder
// only a link of the user's or the folder owner's is followed, as the system
// itself would), are synced to disk, take
// the old file's mode, owner and group, and only then are renamed over it.
// The old file is written through instead, once the new contents are
// complete, wherever a rename would not keep it as it was: it has other hard
// links, it belongs to someone the new file cannot be given to, or the
// folder lets no file be made or renamed there (the new contents then wait
// in the user's temporary folder). A failure at any step before that leaves
// the old file as it was and removes the new one.
//
// The new file's name carries a check only the program's names pass, and
// the file is locked while its maker has it (where the file system takes
// locks); one left by a run that was killed is removed by the next
// replacement of the same file. A file of the user's is never removed.
#pragma once

#include <cstdio>
#include <string>

// Whether a replacement of the system path can begin: 0; kFileErrNotRegular
// for a pipe, a device, a folder, or links that may not be followed;
// kFileErrAccess when neither a file beside it nor the file itself can be
// written.
int CheckReplaceable(const std::string& osPath);

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
  // The new file as a stream of its own for reading and writing, the
  // descriptor closed; null when it cannot be had. The caller closes it
  // before Commit.
  std::FILE* TakeStream();
  // Syncs, gives the old mode, renames over the old file and syncs the folder.
  bool Commit();
  void Abandon();
  const std::string& Error() const { return error_; }

 private:
  bool Fail(const char* what, int err);
  bool MakeNew(const std::string& folder, const std::string& base);
  bool WriteThrough();
  void Release();
  std::string target_, temp_, folder_, error_;
  int fd_ = -1;
  int lock_ = -1;  // held on the new file from its making to its end
  unsigned mode_ = 0;
  bool keepOwner_ = false;
  bool writeThrough_ = false;  // the old file has other names
  unsigned uid_ = 0, gid_ = 0;
  // The old file as the link rule let it be found: the file written through,
  // whatever its name has become since.
  unsigned long long dev_ = 0, ino_ = 0;
};
