#include "foundation/heap_strings.h"

#include "foundation/library_manager.h"
#include "platform/win/heap.h"
#include "platform/win/resources.h"

#include <cstring>
#include <string>

namespace {
char g_res_buffers[2][256];
}

void* HeapAllocZero(DWORD, DWORD size) { return HeapAllocRaw(size); }
void* HeapReAllocZero(void* block, DWORD size) { return HeapReAllocRaw(block, size); }
BOOL HeapFreeBlock(void* block) { return HeapFreeRaw(block); }
DWORD HeapBlockSize(const void* block) { return static_cast<DWORD>(HeapSizeRaw(block)); }

char* ResStringSlot(int slot) { return g_res_buffers[slot == 1 ? 1 : 0]; }

char* GetResString(UINT id, int slot) {
  char* buf = ResStringSlot(slot);
  LoadStringA(nullptr, id, buf, 256);
  return buf;
}

namespace {
// A path may be 260 characters; the slot holds 255 and its terminator.
char* CopyIntoSlot1(const std::string& path) {
  char* slot = ResStringSlot(1);
  size_t n = path.size() < 255 ? path.size() : 255;
  std::memcpy(slot, path.data(), n);
  slot[n] = '\0';
  return slot;
}
}  // namespace

char* GetHelpFileName(const CExplicitLibraryManager* manager) {
  return CopyIntoSlot1(manager != nullptr ? manager->GetHelpFilePath() : std::string("kmw.hlp"));
}

char* GetFontInfoIniName() {
  const CExplicitLibraryManager* manager = AppLibraryManager();
  return CopyIntoSlot1(manager != nullptr ? manager->GetFontInfoIniPath() : std::string("kmwfif.ini"));
}

void AppendChar(char* text, char c) {
  size_t n = std::strlen(text);
  text[n] = c;
  text[n + 1] = '\0';
}

int CountRepeatRun(const char* text) {
  if (text == nullptr || text[0] == '\0') return 1;
  int n = 1;
  while (text[n] == text[0]) ++n;
  return n;
}
