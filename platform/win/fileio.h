// Files and paths as the program's code sees them: Windows-style names (a
// backslash or a slash separates, names may differ in case from the disk)
// mapped onto the Linux file system.
#pragma once

#include "platform/win/win_types.h"

#include <string>

// The separator the layer writes; both '\\' and '/' are accepted when reading.
constexpr char kPathSep = '/';
inline bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

// The path as Linux spells it: backslashes turned into slashes.
std::string NativePath(const std::string& path);

// The path of an existing file or directory: the exact name when it exists,
// else the first match found comparing each component ignoring ASCII case.
// Empty when nothing matches.
std::string ResolveExistingPath(const std::string& path);

// 0 when the file exists (mode 0) or is accessible as asked (2 write, 4 read,
// 6 both), -1 otherwise; names are matched ignoring case when the exact one is
// missing.
int AccessPath(const char* path, int mode);

// The current directory into buf (at most size - 1 characters); null when it
// does not fit or cannot be read.
char* GetCurrentDir(char* buf, int size);

// The absolute, lexically normalised path of an existing file (the full name a
// file-status query reports); empty when the file does not exist.
std::string FullPathOfExisting(const std::string& path);

// Deletes a file; TRUE when it was removed.
BOOL DeleteFileA(LPCSTR path);

// The whole file into out; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& out);

// Replaces the file's contents through a temporary file in the same folder
// and a rename, so a failure never leaves a half-written file. Creates the
// file (mode 0644 less the umask) when absent; keeps an existing file's mode.
bool WriteWholeFile(const std::string& path, const std::string& data);

// Creates path and its missing parents with the given mode; true when it exists
// as a directory afterwards.
bool MakeDirectories(const std::string& path, unsigned mode);
