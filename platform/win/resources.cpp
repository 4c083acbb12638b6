#include "platform/win/resources.h"

#include <algorithm>
#include <cstring>

namespace vt_res {
const StringEntry* FindString(unsigned id) {
  const StringEntry* begin = kStringTable;
  const StringEntry* end = kStringTable + kStringCount;
  const StringEntry* it = std::lower_bound(begin, end, id,
      [](const StringEntry& e, unsigned v) { return e.id < v; });
  return (it != end && it->id == id) ? it : nullptr;
}
}  // namespace vt_res

int LoadStringA(HINSTANCE, UINT id, LPSTR buf, int size) {
  if (buf == nullptr || size <= 0) return 0;
  const vt_res::StringEntry* e = vt_res::FindString(id);
  if (e == nullptr) {
    buf[0] = '\0';
    return 0;
  }
  size_t n = std::min<size_t>(e->length, static_cast<size_t>(size) - 1);
  std::memcpy(buf, e->text, n);
  buf[n] = '\0';
  return static_cast<int>(n);
}

std::string LoadResString(UINT id) {
  const vt_res::StringEntry* e = vt_res::FindString(id);
  return e ? std::string(e->text, e->length) : std::string();
}
