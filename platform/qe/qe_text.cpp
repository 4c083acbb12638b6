#include "platform/qe/qe_text.h"

#include <cstring>

namespace qe_text {
namespace {

// Unicode of the bytes 0x80-0x9F; the five unassigned bytes keep their C1 value
// so that they survive a round trip.
const unsigned short kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char FromCodePoint(unsigned cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == cp) return static_cast<char>(0x80 + i);
  return '?';
}

// Decodes one UTF-8 sequence at p (end e); returns its length, 0 when invalid,
// -1 when it is a valid start cut by the end of the text.
int Decode(const unsigned char* p, const unsigned char* e, unsigned& cp) {
  unsigned c = p[0];
  int n;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  for (int i = 1; i < n; ++i) {
    if (p + i >= e) return -1;
    if ((p[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
  return n;
}

}  // namespace

void AnsiToUtf8(const char* text, size_t len, std::string& out) {
  for (size_t i = 0; i < len; ++i) {
    unsigned c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    unsigned cp = c < 0xA0 ? kHigh[c - 0x80] : c;
    if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
}

std::string AnsiToUtf8(const char* text) {
  std::string out;
  if (text) AnsiToUtf8(text, std::strlen(text), out);
  return out;
}

size_t Utf8ToAnsi(const char* text, size_t len, char* out, size_t outSize) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const auto* e = p + len;
  size_t need = 0;
  while (p < e) {
    char c;
    if (*p < 0x80) {
      c = static_cast<char>(*p++);
    } else {
      unsigned cp = 0;
      int n = Decode(p, e, cp);
      if (n < 0) break;
      if (n == 0) {
        c = static_cast<char>(*p++);
      } else {
        c = FromCodePoint(cp);
        p += n;
      }
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
