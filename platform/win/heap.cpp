#include "platform/win/heap.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {
// The header keeps the requested size; 16 bytes keep the block's own alignment.
constexpr size_t kHeader = 16;
long g_fail_countdown = 0;

bool InjectedFailure() {
  if (g_fail_countdown <= 0) return false;
  return --g_fail_countdown == 0;
}

unsigned char* HeaderOf(const void* block) {
  return static_cast<unsigned char*>(const_cast<void*>(block)) - kHeader;
}
}  // namespace

void HeapFailAfter(long n) { g_fail_countdown = n; }

void* HeapAllocRaw(size_t size) {
  if (InjectedFailure() || size > (SIZE_MAX - kHeader)) return nullptr;
  auto* p = static_cast<unsigned char*>(std::calloc(1, size + kHeader));
  if (p == nullptr) return nullptr;
  std::memcpy(p, &size, sizeof size);
  return p + kHeader;
}

void* HeapReAllocRaw(void* block, size_t size) {
  if (block == nullptr) return HeapAllocRaw(size);
  if (InjectedFailure() || size > (SIZE_MAX - kHeader)) return nullptr;
  size_t old = HeapSizeRaw(block);
  auto* p = static_cast<unsigned char*>(std::realloc(HeaderOf(block), size + kHeader));
  if (p == nullptr) return nullptr;
  if (size > old) std::memset(p + kHeader + old, 0, size - old);
  std::memcpy(p, &size, sizeof size);
  return p + kHeader;
}

BOOL HeapFreeRaw(void* block) {
  if (block != nullptr) std::free(HeaderOf(block));
  return TRUE;
}

size_t HeapSizeRaw(const void* block) {
  if (block == nullptr) return 0;
  size_t size;
  std::memcpy(&size, HeaderOf(block), sizeof size);
  return size;
}
