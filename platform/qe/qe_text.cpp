#include "platform/qe/qe_text.h"

#include "platform/win/codepage_text.h"

#include <cstring>

namespace qe_text {

void AnsiToUtf8(const char* text, size_t len, std::string& out) { ::AnsiToUtf8(text, len, out); }

std::string AnsiToUtf8(const char* text) {
  std::string out;
  if (text) ::AnsiToUtf8(text, std::strlen(text), out);
  return out;
}

size_t Utf8ToAnsi(const char* text, size_t len, char* out, size_t outSize) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const auto* e = p + len;
  size_t need = 0;
  while (p < e) {
    char c;
    uint32_t cp = 0;
    int n = DecodeUtf8(p, e, &cp);
    if (n < 0) break;
    if (n == 0) {
      // Not UTF-8: a driver that hands back the code page's own bytes.
      c = static_cast<char>(*p++);
    } else {
      int b = UnicodeToAnsi(cp);
      c = b < 0 ? '?' : static_cast<char>(b);
      p += n;
    }
    if (need + 1 < outSize) out[need] = c;
    ++need;
  }
  if (outSize > 0) out[need < outSize ? need : outSize - 1] = '\0';
  return need;
}

std::string Utf8ToAnsi(const char* text, size_t len) {
  std::string out(len + 1, '\0');
  size_t n = Utf8ToAnsi(text, len, &out[0], out.size());
  out.resize(n);
  return out;
}

std::string Utf8ToAnsi(const std::string& text) { return Utf8ToAnsi(text.data(), text.size()); }

}  // namespace qe_text
