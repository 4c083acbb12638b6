#include "foundation/text_helpers.h"

#include "foundation/heap_strings.h"
#include "platform/win/codepage.h"
#include "platform/win/fileio.h"
#include "platform/win/process.h"
#include "platform/win/string_compare.h"
#include "platform/win/tempdir.h"
#include "platform/win/wsprintf.h"

#include <cstring>
#include <string>

bool IsCSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

const char* SkipWhiteSpace(const char* text) {
  while (IsCSpace(static_cast<unsigned char>(*text))) ++text;
  return text;
}

const char* SkipLeadingSpace(const char* text) { return SkipWhiteSpace(text); }

size_t TrimmedLength(const char* text, unsigned char pad) {
  size_t n = std::strlen(text);
  while (n > 0) {
    unsigned char c = static_cast<unsigned char>(text[n - 1]);
    if (!IsCSpace(c) && c != pad) break;
    --n;
  }
  return n;
}

size_t TrimTrailing(char* text, unsigned char pad) {
  size_t n = TrimmedLength(text, pad);
  text[n] = '\0';
  return n;
}

char* PadCharsToBlanks(char* text, unsigned char pad) {
  for (char* p = text; *p != '\0'; ++p)
    if (static_cast<unsigned char>(*p) == pad) *p = ' ';
  return text;
}

void PadString(char* text, char c, int width) {
  int n = static_cast<int>(std::strlen(text));
  if (n >= width) return;
  std::memset(text + n, c, static_cast<size_t>(width - n));
  text[width] = '\0';
}

void RemoveTabsAndCrLf(const char* src, char* dst) {
  while (*src != '\0') {
    if (*src == '\t') {
      ++src;
    } else if (src[0] == '\r' && src[1] == '\n') {
      src += 2;
    } else {
      *dst++ = *src++;
    }
  }
  *dst = '\0';
}

const char* FileNamePart(const char* path) {
  const char* sep = nullptr;
  const char* colon = nullptr;
  for (const char* p = path; *p != '\0'; ++p) {
    if (IsPathSeparator(*p)) sep = p;
    else if (*p == ':') colon = p;
  }
  if (sep != nullptr) return sep + 1;
  if (colon != nullptr) return colon + 1;
  return path;
}

int ApplyFileExtension(char* path, size_t size, const char* extension, int force) {
  if (path == nullptr || *path == '\0') return 0;
  const char* ext = extension == nullptr ? "" : extension;
  if (*ext == '\0' && !force) return 0;
  char* name = const_cast<char*>(FileNamePart(path));
  char* dot = std::strrchr(name, '.');
  if (dot != nullptr && !force) return 0;
  size_t keep = dot != nullptr ? static_cast<size_t>(dot - path) : std::strlen(path);
  size_t add = *ext == '\0' ? 0 : 1 + std::strlen(ext);
  if (keep + add + 1 > size) return 0;
  path[keep] = '\0';
  if (add > 0) {
    path[keep] = '.';
    std::memcpy(path + keep + 1, ext, add);  // the extension and its terminator
  }
  return 1;
}

void ShortenPathForDisplay(const char* path, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return;
  std::string p = path == nullptr ? "" : path;
  std::string drive;
  if (p.size() >= 2 && p[1] == ':') {
    drive = p.substr(0, 2);
    p = p.substr(2);
  }
  size_t last = p.find_last_of("\\/");
  std::string out = drive;
  if (last != std::string::npos) {
    std::string dir = p.substr(0, last + 1);
    std::string file = p.substr(last + 1);
    const char sep = dir[last];
    size_t count = 0;
    for (char c : dir)
      if (IsPathSeparator(c)) ++count;
    // The first component (with its leading separators, so a server name
    // stays whole) and the last one.
    size_t lead = 0;
    while (lead < dir.size() && lead < 2 && IsPathSeparator(dir[lead])) ++lead;
    size_t first_end = dir.find_first_of("\\/", lead);
    std::string first = dir.substr(0, first_end + 1);
    size_t prev = last == 0 ? std::string::npos : dir.find_last_of("\\/", last - 1);
    std::string lastComp = prev == std::string::npos ? std::string() : dir.substr(prev + 1, last - prev - 1);
    if (count < 2) out += std::string(1, sep);
    else if (count == 2) out += std::string(1, sep) + "..." + sep;
    else if (count == 3) out += first + "..." + sep;
    else out += first + "..." + sep + lastComp + sep;
    out += file;
  } else {
    out += p;
  }
  CopyBounded(buffer, size, out.c_str());
}

char* GetMonthAbbrev(int month) {
  if (month < 1 || month > 12) {
    char* slot = ResStringSlot(0);
    slot[0] = '\0';
    return slot;
  }
  return GetResString(static_cast<UINT>(1220 + month), 0);
}

int FormatScaledInt(WORD value, char* buffer, size_t size, unsigned decimals, char decimalChar) {
  if (buffer == nullptr || size == 0) return 0;
  if (decimals == 0) return wsprintfBounded(buffer, size, "%u", static_cast<unsigned>(value));
  if (decimals > 9) decimals = 9;
  char format[24];
  wsprintfBounded(format, sizeof format, "%%u.%%0%uu", decimals);
  unsigned scale = 1;
  for (unsigned i = 0; i < decimals; ++i) scale *= 10;
  int n = wsprintfBounded(buffer, size, format, value / scale, value % scale);
  if (char* point = std::strchr(buffer, '.')) *point = decimalChar;
  return n;
}

int strToInt(const char* text, WORD* value, int decimals, char decimalChar) {
  if (text == nullptr) return -1;
  if (decimals < 0) decimals = 0;
  std::string t = text;
  size_t point = t.find(decimalChar);
  if (point != std::string::npos) {
    if (t.find(decimalChar, point + 1) != std::string::npos) return -1;
    while (t.size() > point + 1 && t.back() == '0') t.pop_back();
    // Also with no decimals wanted: "1.0" is 1, "1.5" cannot be taken.
    if (t.size() - point - 1 > static_cast<size_t>(decimals)) return -2;
  }
  uint32_t v = 0;
  int fraction = 0;
  bool after_point = false;
  for (char ch : t) {
    if (ch == decimalChar) {
      after_point = true;
      continue;
    }
    if (ch < '0' || ch > '9') return -1;
    if (v > 3276) return -1;
    v = v * 10 + static_cast<uint32_t>(ch - '0');
    if (after_point) ++fraction;
  }
  for (int i = fraction; i < decimals; ++i) {
    v *= 10;
    if (v > 65535) return -1;
  }
  if (v > 65535) return -1;
  if (value != nullptr) *value = static_cast<WORD>(v);
  return static_cast<int>(v);
}

char* MakeTempFileName(const char* suffix, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return buffer;
  buffer[0] = '\0';
  char dir[MAX_PATH];
  DWORD n = GetTempPathA(259, dir);
  if (n == 0 || n >= 259) return buffer;
  if (!IsPathSeparator(dir[n - 1])) {
    dir[n++] = kPathSep;
    dir[n] = '\0';
  }
  char pid[16];
  wsprintfBounded(pid, sizeof pid, "%lx", static_cast<unsigned long>(GetCurrentProcessId()));
  wsprintfBounded(buffer, size, "%sKMW%s.%s", dir, pid, suffix == nullptr ? "" : suffix);
  return buffer;
}

void GetBandName(char* buffer, size_t size, int kind, const std::function<const char*(int level)>& groupFieldName) {
  if (buffer == nullptr || size == 0) return;
  buffer[0] = '\0';
  UINT id = 0;
  switch (kind) {
    case 5: id = 108; break;
    case 10: id = 39; break;
    case 60: id = 14; break;
    case 110: id = 74; break;
    case 120: id = 38; break;
    default: break;
  }
  if (id != 0) {
    CopyBounded(buffer, size, GetResString(id, 0));
    return;
  }
  bool header = kind >= 20 && kind <= 27;
  bool footer = kind >= 70 && kind <= 77;
  if (!header && !footer) return;
  int level = kind - (header ? 20 : 70);
  const char* field = groupFieldName ? groupFieldName(level) : nullptr;
  if (field == nullptr) {
    wsprintfBounded(buffer, size, "%d-%s", level + 1, GetResString(header ? 304 : 305, 0));
  } else {
    wsprintfBounded(buffer, size, "%d%s-%s", level + 1, GetResString(header ? 4 : 66, 0), field);
  }
}


bool IsPageOrGroupBand(int kind, const std::function<bool(int level, unsigned mask)>& testGroupFlag) {
  if (kind == 10 || kind == 120) return true;
  if (!testGroupFlag) return false;
  if (kind >= 20 && kind <= 27) return testGroupFlag(kind - 20, 16);
  if (kind >= 70 && kind <= 77) return testGroupFlag(kind - 70, 8);
  return false;
}

int LogicalTextWidth(const char* trueText, const char* falseText) {
  size_t t = trueText == nullptr ? 0 : std::strlen(trueText);
  size_t f = falseText == nullptr ? 0 : std::strlen(falseText);
  return static_cast<int>(t > f ? t : f);
}

void OemTextToAnsi(char* text, size_t length, unsigned char pad) {
  if (text == nullptr) return;
  for (size_t i = 0; i < length; ++i)
    if (static_cast<unsigned char>(text[i]) == 250) text[i] = ' ';
  OemToCharBuffA(text, text, static_cast<DWORD>(length));
  for (size_t i = 0; i < length; ++i)
    if (text[i] == ' ') text[i] = static_cast<char>(pad);
}

void CopyWithoutPadChars(const char* value, size_t length, unsigned char pad, char* buffer) {
  std::memset(buffer, 0, 255);
  if (value == nullptr) return;
  size_t n = length < 254 ? length : 254;
  for (size_t i = 0; i < n; ++i)
    buffer[i] = static_cast<unsigned char>(value[i]) == pad ? ' ' : value[i];
}

namespace {
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
}  // namespace

bool EqualNoCase(const char* a, const char* b) {
  if (!a || !b) return a == b;
  for (; *a && *b; ++a, ++b)
    if (AsciiUpper(*a) != AsciiUpper(*b)) return false;
  return *a == *b;
}

bool EqualNoCase(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && EqualNoCase(a.data(), b.data(), a.size());
}
