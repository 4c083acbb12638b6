#include "platform/qe/qe_text.h"

#include "platform/win/codepage_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace qe_text {

void AnsiToUtf8(const char* text, size_t len, std::string& out) { ::AnsiToUtf8(text, len, out); }

std::string AnsiToUtf8(const char* text) {
  std::string out;
  if (text) ::AnsiToUtf8(text, std::strlen(text), out);
  return out;
}

size_t AsciiRun(const char* text, size_t len) {
  size_t i = 0;
  // Eight bytes at a time: none has its top bit set.
  for (; i + 8 <= len; i += 8) {
    uint64_t w;
    std::memcpy(&w, text + i, sizeof w);
    if (w & 0x8080808080808080ull) break;
  }
  while (i < len && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  return i;
}

size_t Utf8ToAnsi(const char* text, size_t len, char* out, size_t outSize) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const auto* e = p + len;
  // The code page's bytes of the characters UTF-8 writes in two bytes (the
  // accented letters of most non-ASCII text), looked up without decoding in
  // general.
  static const std::array<short, 0x800> twoByte = [] {
    std::array<short, 0x800> t{};
    for (uint32_t cp = 0; cp < t.size(); ++cp) t[cp] = static_cast<short>(UnicodeToAnsi(cp));
    return t;
  }();
  size_t need = 0;
  while (p < e) {
    // ASCII is the same byte in the code page: most of a text goes this way,
    // copied a run at a time.
    if (*p < 0x80) {
      const size_t run = AsciiRun(reinterpret_cast<const char*>(p), static_cast<size_t>(e - p));
      if (need + 1 < outSize) std::memcpy(out + need, p, std::min(run, outSize - 1 - need));
      p += run;
      need += run;
      continue;
    }
    char c;
    uint32_t cp = 0;
    int n;
    if (*p >= 0xC2 && *p <= 0xDF && p + 1 < e && (p[1] & 0xC0) == 0x80) {
      n = 2;
      cp = ((*p & 0x1Fu) << 6) | (p[1] & 0x3Fu);
    } else {
      n = DecodeUtf8(p, e, &cp);
    }
    if (n < 0) break;
    if (n == 0) {
      // Not UTF-8: a driver that hands back the code page's own bytes.
      c = static_cast<char>(*p++);
    } else {
      int b = cp < twoByte.size() ? twoByte[cp] : UnicodeToAnsi(cp);
      c = b < 0 ? '?' : static_cast<char>(b);
      p += n;
    }
    if (need + 1 < outSize) out[need] = c;
    ++need;
  }
  if (outSize > 0) out[need < outSize ? need : outSize - 1] = '\0';
  return need;
}

bool LostCharacters(const char* text, size_t len, std::string* lost) {
  lost->clear();
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const auto* e = p + len;
  bool any = false;
  while (p < e) {
    if (*p < 0x80) {
      if (*p == '?') *lost += '?';
      ++p;
      continue;
    }
    uint32_t cp = 0;
    const int n = DecodeUtf8(p, e, &cp);
    if (n < 0) break;  // cut short at the end: Utf8ToAnsi drops it too
    if (n == 0) {
      ++p;  // a code page byte as it stands
      continue;
    }
    if (UnicodeToAnsi(cp) < 0) {
      lost->append(reinterpret_cast<const char*>(p), static_cast<size_t>(n));
      any = true;
    }
    p += n;
  }
  if (!any) lost->clear();
  return any;
}

std::string Utf8ToAnsi(const char* text, size_t len) {
  std::string out(len + 1, '\0');
  size_t n = Utf8ToAnsi(text, len, &out[0], out.size());
  out.resize(n);
  return out;
}

std::string Utf8ToAnsi(const std::string& text) { return Utf8ToAnsi(text.data(), text.size()); }

}  // namespace qe_text
