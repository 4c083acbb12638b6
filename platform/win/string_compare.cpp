#include "platform/win/string_compare.h"

#include "platform/win/codepage.h"

#include <string>

namespace {
// The base letter of a Windows-1252 letter with its accent removed, lower case.
unsigned char BaseLetter(unsigned char c) {
  static const char kBase[65] =
      "aaaaaaaceeeeiiii"   // C0-CF
      "dnooooo\xD7ouuuuyps"  // D0-DF (times sign and sharp s stay)
      "aaaaaaaceeeeiiii"   // E0-EF
      "dnooooo\xF7ouuuuypy";  // F0-FF (division sign stays)
  if (c >= 0xC0) {
    unsigned char b = static_cast<unsigned char>(kBase[c - 0xC0]);
    if (b == 0xD7 || b == 0xF7) return c;
    if (c == 0xDE || c == 0xFE) return c;  // thorn
    if (c == 0xDF) return c;  // sharp s
    return b;
  }
  if (c == 0x8A || c == 0x9A) return 's';
  if (c == 0x8E || c == 0x9E) return 'z';
  if (c == 0x9F) return 'y';
  return AnsiLower(c);
}

std::string PrimaryKey(const char* s) {
  std::string key;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p != 0; ++p)
    if (*p != '-' && *p != '\'') key += static_cast<char>(BaseLetter(*p));
  return key;
}
}  // namespace

int lstrcmpiA(LPCSTR a, LPCSTR b) {
  if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
  std::string ka = PrimaryKey(a), kb = PrimaryKey(b);
  int c = ka.compare(kb);
  if (c == 0) c = CompareAnsiNoCase(a, b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}
