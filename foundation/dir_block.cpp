// The program-wide directory block: the program, start-up and work folders
// and the report dictionary's files, 261 bytes each, made at start-up.
#include "foundation/startup.h"

char* g_dirBlock = nullptr;

char* DirBlockEntryText(int entry) {
  if (g_dirBlock == nullptr || entry < 0 || (entry + 1) * kDirEntryBytes > kDirBlockBytes) return nullptr;
  return g_dirBlock + entry * kDirEntryBytes;
}
