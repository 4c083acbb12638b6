#include "platform/win/file_handles.h"

#include "platform/win/fileio.h"

#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The system's name of an existing file under any case, else the name as the system spells it.
std::string SystemName(const char* name) {
  const std::string found = ResolveExistingPath(NativePath(name));
  return OsFileName(!found.empty() ? found : NativePath(name));
}

}  // namespace

DWORD FileAttributesOf(const char* name) {
  if (name == nullptr || *name == '\0') return 0;
  const std::string found = ResolveExistingPath(NativePath(name));
  const std::string path = found.empty() ? found : OsFileName(found);
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return 0;
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  // Read-only is a property of the file, as the program's users know it: no
  // write bit at all makes it read-only even for an all-powerful user.
  const bool readOnly = (st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
  return readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

int OpenFileHandle(const char* name, DWORD access, bool create, DWORD* attributes, DWORD flags) {
  const DWORD found = FileAttributesOf(name);
  if (attributes != nullptr) *attributes = found;
  if (name == nullptr || *name == '\0' || (found & FILE_ATTRIBUTE_DIRECTORY)) return -1;
  const bool write = (access & GENERIC_WRITE) != 0;
  if (write && (found & FILE_ATTRIBUTE_READONLY)) return -1;
  unsigned how = (access & GENERIC_READ) ? kFileRead : 0;
  if (write) how |= kFileWrite;
  if (how == 0) how = kFileRead;
  const std::string path = SystemName(name);
  int handle = -1;
  // A pipe or a device where a file is expected would block or never end.
  if (found != 0) {
    handle = OpenExistingFile(path, how | kFileRegularOnly);
  } else if (create) {
    handle = CreateNewFile(path, how, (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644);
    // Made by someone else in the meantime: that file is the one to empty.
    if (handle < 0) handle = OpenExistingFile(path, how | kFileRegularOnly);
  }
  if (handle < 0) return -1;
  // Readers share with readers; a writer shares with no one.
  if (TryLockFileHandle(handle, write) != 0 || (create && write && !SetFileHandleSize(handle, 0))) {
    CloseFileHandle(handle);
    return -1;
  }
  return handle;
}

int OpenFileForRead(const char* name, DWORD* attributes) {
  return OpenFileHandle(name, GENERIC_READ, false, attributes);
}

int OpenFileForWrite(const char* name, DWORD* attributes) {
  return OpenFileHandle(name, GENERIC_WRITE, true, attributes);
}

BOOL FileCanBeRead(const char* name) {
  const int handle = OpenFileForRead(name);
  if (handle < 0) return FALSE;
  CloseFileHandle(handle);
  return TRUE;
}
