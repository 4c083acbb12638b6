#include "platform/win/c_numbers.h"

#include "platform/win/wsprintf.h"

#include <locale.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
locale_t CLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return loc;
}
}  // namespace

double StrToDoubleC(const char* text, char** end) {
  if (text == nullptr) {
    if (end != nullptr) *end = nullptr;
    return 0.0;
  }
  return strtod_l(text, end, CLocale());
}

long AtolC(const char* text) {
  if (text == nullptr) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int64_t v = 0;
  while (*p >= '0' && *p <= '9') {
    if (v <= INT32_MAX) v = v * 10 + (*p - '0');
    ++p;
  }
  if (negative) v = -v;
  if (v > INT32_MAX) v = INT32_MAX;
  if (v < INT32_MIN) v = INT32_MIN;
  return static_cast<long>(v);
}

int FormatC(char* buf, size_t size, const char* format, ...) {
  if (buf == nullptr || size == 0) return 0;
  locale_t old = uselocale(CLocale());
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buf, size, format, args);
  va_end(args);
  uselocale(old);
  if (n < 0) {
    buf[0] = '\0';
    return 0;
  }
  return static_cast<size_t>(n) >= size ? static_cast<int>(size - 1) : n;
}

char* LongToText(long value, char* buf, size_t size, int radix) {
  if (buf == nullptr || size == 0) return buf;
  if (radix < 2 || radix > 36) radix = 10;
  char digits[72];
  size_t n = 0;
  bool negative = radix == 10 && value < 0;
  uint64_t mag = negative ? static_cast<uint64_t>(0) - static_cast<uint64_t>(static_cast<int64_t>(value))
                          : (radix == 10 ? static_cast<uint64_t>(value) : static_cast<uint32_t>(value));
  do {
    digits[n++] = "0123456789abcdefghijklmnopqrstuvwxyz"[mag % static_cast<unsigned>(radix)];
    mag /= static_cast<unsigned>(radix);
  } while (mag != 0);
  if (negative) digits[n++] = '-';
  char text[72];
  for (size_t i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
  text[n] = '\0';
  CopyBounded(buf, size, text);
  return buf;
}
