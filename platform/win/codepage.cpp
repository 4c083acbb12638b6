#include "platform/win/codepage.h"

#include <iconv.h>

#include <cstring>
#include <unordered_map>

namespace {
struct Tables {
  uint32_t ansi[256];
  uint32_t oem[256];
  std::unordered_map<uint32_t, unsigned char> from_ansi;
  short from_ansi_low[256];  // from_ansi for U+0000-U+00FF (-1: none), which most text is
  std::unordered_map<uint32_t, unsigned char> from_oem;
  unsigned char oem_to_ansi[256];
  unsigned char ansi_to_oem[256];
  unsigned char upper[256];
  unsigned char lower[256];
};

// One byte through iconv; -1 when the code page leaves it undefined.
long DecodeByte(iconv_t cd, unsigned char b) {
  char in[1] = {static_cast<char>(b)};
  unsigned char out[8] = {};
  char* pin = in;
  char* pout = reinterpret_cast<char*>(out);
  size_t inleft = 1, outleft = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &pin, &inleft, &pout, &outleft) == static_cast<size_t>(-1)) return -1;
  if (sizeof out - outleft != 4) return -1;
  return static_cast<long>(out[0] | (out[1] << 8) | (out[2] << 16) | (static_cast<uint32_t>(out[3]) << 24));
}

// The nearest printable ASCII character for one that the target page lacks.
unsigned char LookAlike(uint32_t cp) {
  switch (cp) {
    case 0x2500: case 0x2501: case 0x2550: case 0x2504: case 0x2505: case 0x2508: case 0x2509:
      return '-';
    case 0x2502: case 0x2503: case 0x2551: case 0x2506: case 0x2507: case 0x250A: case 0x250B:
      return '|';
    case 0x0131:
      return 'i';
    case 0x2017:
      return '_';
    default:
      break;
  }
  if (cp >= 0x2500 && cp <= 0x257F) return '+';
  return '?';
}

Tables BuildTables() {
  Tables t;
  iconv_t ansi = iconv_open("UTF-32LE", "CP1252");
  iconv_t oem = iconv_open("UTF-32LE", "CP850");
  for (int b = 0; b < 256; ++b) {
    long a = ansi != reinterpret_cast<iconv_t>(-1) ? DecodeByte(ansi, static_cast<unsigned char>(b)) : -1;
    // Undefined bytes (and a missing converter) pass through as their own code point.
    t.ansi[b] = a < 0 ? static_cast<uint32_t>(b) : static_cast<uint32_t>(a);
    long o = oem != reinterpret_cast<iconv_t>(-1) ? DecodeByte(oem, static_cast<unsigned char>(b)) : -1;
    t.oem[b] = o < 0 ? static_cast<uint32_t>(b) : static_cast<uint32_t>(o);
  }
  if (ansi != reinterpret_cast<iconv_t>(-1)) iconv_close(ansi);
  if (oem != reinterpret_cast<iconv_t>(-1)) iconv_close(oem);
  for (int b = 255; b >= 0; --b) {
    t.from_ansi[t.ansi[b]] = static_cast<unsigned char>(b);
    t.from_oem[t.oem[b]] = static_cast<unsigned char>(b);
  }
  for (int c = 0; c < 256; ++c) {
    auto a = t.from_ansi.find(static_cast<uint32_t>(c));
    t.from_ansi_low[c] = a != t.from_ansi.end() ? a->second : -1;
  }
  for (int b = 0; b < 256; ++b) {
    auto a = t.from_ansi.find(t.oem[b]);
    t.oem_to_ansi[b] = a != t.from_ansi.end() ? a->second : LookAlike(t.oem[b]);
    auto o = t.from_oem.find(t.ansi[b]);
    t.ansi_to_oem[b] = o != t.from_oem.end() ? o->second : LookAlike(t.ansi[b]);
  }
  for (int b = 0; b < 256; ++b) {
    t.upper[b] = t.lower[b] = static_cast<unsigned char>(b);
  }
  for (int b = 'a'; b <= 'z'; ++b) {
    t.upper[b] = static_cast<unsigned char>(b - 32);
    t.lower[b - 32] = static_cast<unsigned char>(b);
  }
  // The accented letters: 0xE0-0xFE lower against 0xC0-0xDE upper, except the
  // division and multiplication signs; and the three letters outside that block.
  for (int b = 0xE0; b <= 0xFE; ++b) {
    if (b == 0xF7) continue;
    t.upper[b] = static_cast<unsigned char>(b - 32);
    t.lower[b - 32] = static_cast<unsigned char>(b);
  }
  const unsigned char pairs[][2] = {{0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};
  for (const auto& p : pairs) {
    t.upper[p[0]] = p[1];
    t.lower[p[1]] = p[0];
  }
  return t;
}

const Tables& T() {
  static const Tables tables = BuildTables();
  return tables;
}

void MapBytes(const unsigned char* table, LPCSTR src, LPSTR dst, size_t n) {
  for (size_t i = 0; i < n; ++i)
    dst[i] = static_cast<char>(table[static_cast<unsigned char>(src[i])]);
}
}  // namespace

uint32_t AnsiToUnicode(unsigned char c) { return T().ansi[c]; }
uint32_t OemToUnicode(unsigned char c) { return T().oem[c]; }

int UnicodeToAnsi(uint32_t cp) {
  const Tables& t = T();
  if (cp < 256) return t.from_ansi_low[cp];
  auto it = t.from_ansi.find(cp);
  return it == t.from_ansi.end() ? -1 : it->second;
}

int UnicodeToOem(uint32_t cp) {
  auto it = T().from_oem.find(cp);
  return it == T().from_oem.end() ? -1 : it->second;
}

void AnsiToUtf8(const char* text, size_t len, std::string& out) {
  for (size_t i = 0; i < len; ++i) {
    uint32_t cp = AnsiToUnicode(static_cast<unsigned char>(text[i]));
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
}

std::string AnsiToUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  AnsiToUtf8(text.data(), text.size(), out);
  return out;
}

int DecodeUtf8(const unsigned char* p, const unsigned char* end, uint32_t* cp) {
  unsigned c = p[0];
  int n;
  uint32_t v;
  if (c < 0x80) {
    *cp = c;
    return 1;
  } else if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    v = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    v = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    v = c & 0x07;
  } else {
    return 0;
  }
  for (int i = 1; i < n; ++i) {
    if (p + i >= end) return -1;
    if ((p[i] & 0xC0) != 0x80) return 0;
    v = (v << 6) | (p[i] & 0x3F);
  }
  // Overlong forms would let a NUL or a path separator through in disguise.
  if ((n == 3 && v < 0x800) || (n == 4 && (v < 0x10000 || v > 0x10FFFF))) return 0;
  *cp = v;
  return n;
}

std::string Utf8ToAnsi(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    uint32_t cp = 0;
    int len = DecodeUtf8(p, end, &cp);
    if (len <= 0) {
      out += '?';
      ++p;
      continue;
    }
    p += len;
    int b = UnicodeToAnsi(cp);
    out += b < 0 ? '?' : static_cast<char>(b);
  }
  return out;
}

namespace {
BOOL MapBuffer(const unsigned char* table, LPCSTR src, LPSTR dst, size_t length, bool terminate) {
  if (src == nullptr || dst == nullptr) return FALSE;
  MapBytes(table, src, dst, length);
  if (terminate) dst[length] = '\0';
  return TRUE;
}
}  // namespace

BOOL OemToCharBuffA(LPCSTR src, LPSTR dst, DWORD length) { return MapBuffer(T().oem_to_ansi, src, dst, length, false); }
BOOL OemToCharA(LPCSTR src, LPSTR dst) {
  return MapBuffer(T().oem_to_ansi, src, dst, src == nullptr ? 0 : std::strlen(src), true);
}
BOOL CharToOemBuffA(LPCSTR src, LPSTR dst, DWORD length) { return MapBuffer(T().ansi_to_oem, src, dst, length, false); }
BOOL CharToOemA(LPCSTR src, LPSTR dst) {
  return MapBuffer(T().ansi_to_oem, src, dst, src == nullptr ? 0 : std::strlen(src), true);
}

unsigned char AnsiUpper(unsigned char c) { return T().upper[c]; }
unsigned char AnsiLower(unsigned char c) { return T().lower[c]; }

int CompareAnsiNoCase(const char* a, const char* b) {
  const Tables& t = T();
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  for (;; ++x, ++y) {
    int d = t.lower[*x] - t.lower[*y];
    if (d != 0 || *x == 0) return d;
  }
}
