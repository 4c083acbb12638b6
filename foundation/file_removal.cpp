#include "foundation/file_removal.h"

#include "platform/win/fileio.h"

int DeleteFileIfExists(const char* path) {
  if (path == nullptr || *path == '\0') return 0;
  if (FullPathOfExisting(path).empty()) return 0;
  return DeleteFileA(path) ? 1 : 0;
}
