// The string table, compiled from res/strings into a sorted array, and the
// Win32-style loader over it.
#pragma once

#include "platform/win/win_types.h"

#include <string>

namespace vt_res {
struct StringEntry {
  unsigned id;
  unsigned length;  // bytes; texts may hold any Windows-1252 byte
  const char* text;
};
extern const StringEntry kStringTable[];
extern const unsigned kStringCount;

// The entry for an id, or null when the table has none.
const StringEntry* FindString(unsigned id);
}  // namespace vt_res

// Copies at most size-1 bytes of string id into buf and terminates it; returns
// the count copied. An id with no string gives 0 and an empty text.
int LoadStringA(HINSTANCE instance, UINT id, LPSTR buf, int size);

// The whole text of a string id without the 255-character cut; empty when missing.
std::string LoadResString(UINT id);
