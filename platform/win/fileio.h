// Files and paths as the program's code sees them: Windows-style names (a
// backslash or a slash separates, names may differ in case from the disk)
// mapped onto the Linux file system.
#pragma once

#include "platform/win/win_types.h"

#include <sys/types.h>

#include <ctime>
#include <string>
#include <vector>

// The separator the layer writes; both '\\' and '/' are accepted when reading.
constexpr char kPathSep = '/';
inline bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

// File names inside the program are Windows-1252 text; the system's are
// UTF-8. OsFileName gives the system's bytes for a program name (a name
// that already is well-formed UTF-8 is taken as the system's own); every
// call of this layer that reaches the system converts through it.
std::string OsFileName(const std::string& path);
// The program's text for a name the system gave (a dialog's choice); a name
// with letters outside the code page keeps the system's bytes.
std::string ProgramFileName(const std::string& osName);
// A program text that holds a name, as a person reads it (UTF-8): the name
// spelt as the system spells it, so what is shown and what is on the disk agree.
std::string FileNameText(const std::string& text);

// The path as Linux spells it: backslashes turned into slashes.
std::string NativePath(const std::string& path);

// The path of an existing file or directory: the exact name when it exists,
// else the first match found comparing each component ignoring ASCII case.
// Empty when nothing matches. The exact name comes back as given (program
// text), a match as the system spells it: give it to the system through
// OsFileName.
std::string ResolveExistingPath(const std::string& path);

// 0 when the file exists (mode 0) or is accessible as asked (2 write, 4 read,
// 6 both), -1 otherwise; names are matched ignoring case when the exact one is
// missing.
int AccessPath(const char* path, int mode);

// The current directory into buf (at most size - 1 characters), as program
// text (see ProgramFileName); null when it
// does not fit or cannot be read.
char* GetCurrentDir(char* buf, int size);

// The absolute, lexically normalised path of an existing file (the full name a
// file-status query reports); empty when the file does not exist.
std::string FullPathOfExisting(const std::string& path);

// Deletes a file; TRUE when it was removed.
BOOL DeleteFileA(LPCSTR path);

// The whole file into out; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& out);

// What a file or folder was on the disk, so that what was read from it can be
// kept until it changes. A change in the same clock tick as the read would
// leave the times as they were, so only an entry last changed before the
// read began can vouch for what was read.
struct DiskStamp {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{};
  timespec ctime{};
  bool settled = false;  // changed last before the stamp was taken
};
// The stamp of a system path (OsFileName's), taken just before reading it;
// false when it does not exist.
bool TakeDiskStamp(const std::string& osPath, DiskStamp* out);
// Whether what was read under `then` still holds, `now` being a fresh stamp.
bool StillAsRead(const DiskStamp& then, const DiskStamp& now);

// Replaces the file's contents as a saved report is (FileReplacement): a
// failure never leaves a half-written file, links and the mode are kept, and
// a file is made (mode 0666 less the umask) when absent.
bool WriteWholeFile(const std::string& path, const std::string& data);

// Creates path and its missing parents with the given mode; true when it exists
// as a directory afterwards.
bool MakeDirectories(const std::string& path, unsigned mode);

// ---- Open files
// A handle is a small non-negative number; -1 stands for none. Errors come
// back as the C runtime numbers them (the kFileErr codes below); a failure
// with no such code gives the system's own number.
constexpr int kFileErrNotFound = 2;      // also a missing folder on the way
constexpr int kFileErrAccess = 13;       // also a lock held by another opener
constexpr int kFileErrExists = 17;
constexpr int kFileErrTooManyOpen = 24;

// How a file is opened: kFileRead, kFileWrite or both, with options.
constexpr unsigned kFileRead = 1;
constexpr unsigned kFileWrite = 2;
constexpr unsigned kFileReadWrite = kFileRead | kFileWrite;
// When the exact name is missing, opens the file whose name differs only in
// case (see ResolveExistingPath). OpenExistingFile only.
constexpr unsigned kFileAnyCase = 4;
// Refuses a symbolic link as the last part of the name.
constexpr unsigned kFileNoLink = 8;
// Refuses anything but a regular file (a pipe, a device, a folder) with
// kFileErrNotRegular, without waiting for a pipe's other end.
constexpr unsigned kFileRegularOnly = 16;
constexpr int kFileErrNotRegular = 19;

// The process's file-creation mask, read without setting it: setting it,
// even back at once, gives a file another thread makes meanwhile a wrong mode.
unsigned ProcessUmask();

// Opens an existing file; a handle, or -1 with the error in *error (when
// given). The handle is not inherited by programs this one starts.
int OpenExistingFile(const std::string& path, unsigned how, int* error = nullptr);
// A whole regular file of at most limit bytes into out; false (out empty)
// when it cannot be opened, is not a regular file, is larger or cannot be
// read, with a kFileErr code in *error (kFileErrTooLarge for the size).
constexpr int kFileErrTooLarge = 27;
bool ReadRegularFile(const std::string& path, uint64_t limit, std::string& out, int* error = nullptr);
// Makes a new file with the permission bits (less the umask) and opens it;
// fails with kFileErrExists when the name exists, a link included.
int CreateNewFile(const std::string& path, unsigned how, unsigned permissions, int* error = nullptr);
// False when the system reports that written data may have been lost.
bool CloseFileHandle(int handle);
// Cuts or extends the file to size bytes; false on failure.
bool SetFileHandleSize(int handle, uint64_t size);

// Share modes as advisory whole-file locks, taken without waiting: any number
// of shared holders or one exclusive. Two opens conflict even inside one
// process; closing the handle lets go. 0 when held, and where the file
// system takes no locks (the lock is a help, never a condition);
// kFileErrAccess when another holder's lock is in the way; else an error code.
int TryLockFileHandle(int handle, bool exclusive);
void UnlockFileHandle(int handle);

// Up to size bytes from the file position: the count, 0 at the end, -1 on error.
long ReadFileHandle(int handle, void* data, size_t size);
// All size bytes at the file position; false on an error or a write that
// makes no progress.
bool WriteFileHandle(int handle, const void* data, size_t size);
// Exactly size bytes at offset, the file position untouched; false on an
// error or the end of the file first.
bool ReadFileAt(int handle, uint64_t offset, void* data, size_t size);
bool WriteFileAt(int handle, uint64_t offset, const void* data, size_t size);
enum class SeekFrom { kStart, kCurrent };
// Moves the file position; the new position, or -1.
int64_t SeekFileHandle(int handle, int64_t offset, SeekFrom from);

// What the file system says about a file.
struct FileInfo {
  bool regular = false;    // a plain file: not a folder, device or pipe
  uint64_t size = 0;
  uint64_t device = 0;     // with inode, the same pair for the same file
  uint64_t inode = 0;
  int64_t modifiedSeconds = 0;
  int64_t modifiedNanoseconds = 0;  // within the second
};
// Of the file a path names exactly (through links); false when none.
bool GetFileInfoByPath(const std::string& path, FileInfo* out);
bool GetFileInfoByHandle(int handle, FileInfo* out);

// Removes the name exactly as given (a link itself, never its target; no
// matching of case); true when removed. Unlike DeleteFileA.
bool RemoveFileName(const std::string& path);

// The names in a folder (program text, sorted, "." and ".." left out):
// files and folders apart; false when the folder cannot be read.
bool ListFolder(const std::string& folder, std::vector<std::string>* files, std::vector<std::string>* folders);
// Non-empty, exists and is a folder.
BOOL IsDirectoryPath(const char* path);
// TRUE when the file exists or can be made (a file made to find out is
// removed again).
BOOL CanCreateFile(const char* path);
