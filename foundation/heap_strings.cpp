#include "foundation/heap_strings.h"

#include "platform/win/heap.h"
#include "platform/win/resources.h"

#include <cstring>

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
