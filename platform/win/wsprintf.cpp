#include "platform/win/wsprintf.h"

#include <cstdint>
#include <cstring>

namespace {
class Sink {
 public:
  // The caller guarantees a buffer of at least one byte.
  Sink(char* buf, size_t size) : buf_(buf), cap_(size - 1) {}
  void Put(char c) {
    if (len_ < cap_) buf_[len_++] = c;
  }
  void Repeat(char c, long n) {
    for (long i = 0; i < n; ++i) Put(c);
  }
  void Put(const char* s, size_t n) {
    for (size_t i = 0; i < n; ++i) Put(s[i]);
  }
  int Finish() {
    buf_[len_] = '\0';
    return static_cast<int>(len_);
  }

 private:
  char* buf_;
  size_t cap_;
  size_t len_ = 0;
};

struct Directive {
  bool left = false, zero = false, plus = false, space = false, alt = false;
  long width = 0;
  long precision = -1;
};

void Pad(Sink& out, const Directive& how, const char* body, size_t n, const char* prefix) {
  size_t plen = std::strlen(prefix);
  long digits = static_cast<long>(n);
  long zeros = how.precision > digits ? how.precision - digits : 0;
  long total = static_cast<long>(plen) + zeros + digits;
  long fill = how.width > total ? how.width - total : 0;
  bool zero_fill = how.zero && !how.left && how.precision < 0;
  if (!how.left && !zero_fill) out.Repeat(' ', fill);
  out.Put(prefix, plen);
  if (zero_fill) out.Repeat('0', fill);
  out.Repeat('0', zeros);
  out.Put(body, n);
  if (how.left) out.Repeat(' ', fill);
}

void FormatInteger(Sink& out, const Directive& how, char conv, uint64_t magnitude, bool negative) {
  char digits[32];
  size_t n = 0;
  unsigned base = (conv == 'x' || conv == 'X') ? 16 : 10;
  const char* set = conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  do {
    digits[n++] = set[magnitude % base];
    magnitude /= base;
  } while (magnitude != 0);
  // A zero precision with a zero value prints no digits, as in C.
  if (how.precision == 0 && n == 1 && digits[0] == '0') n = 0;
  char body[32];
  for (size_t i = 0; i < n; ++i) body[i] = digits[n - 1 - i];
  const char* prefix = "";
  if (negative) prefix = "-";
  else if (base == 10 && (conv == 'd' || conv == 'i') && how.plus) prefix = "+";
  else if (base == 10 && (conv == 'd' || conv == 'i') && how.space) prefix = " ";
  else if (base == 16 && how.alt && n > 0 && !(n == 1 && body[0] == '0')) prefix = conv == 'X' ? "0X" : "0x";
  Pad(out, how, body, n, prefix);
}
}  // namespace

int wvsprintfBounded(LPSTR buf, size_t size, LPCSTR format, va_list args) {
  if (buf == nullptr || size == 0) return 0;
  Sink out(buf, size);
  if (format == nullptr) return out.Finish();
  const char* p = format;
  while (*p != '\0') {
    if (*p != '%') {
      out.Put(*p++);
      continue;
    }
    const char* start = p++;
    if (*p == '%') {
      out.Put('%');
      ++p;
      continue;
    }
    Directive how;
    for (;; ++p) {
      if (*p == '-') how.left = true;
      else if (*p == '0') how.zero = true;
      else if (*p == '+') how.plus = true;
      else if (*p == ' ') how.space = true;
      else if (*p == '#') how.alt = true;
      else break;
    }
    if (*p == '*') {
      int w = va_arg(args, int);
      if (w < 0) {
        how.left = true;
        w = -w;
      }
      how.width = w;
      ++p;
    } else {
      while (*p >= '0' && *p <= '9') {
        if (how.width < 100000) how.width = how.width * 10 + (*p - '0');
        ++p;
      }
    }
    if (*p == '.') {
      ++p;
      how.precision = 0;
      if (*p == '*') {
        int pr = va_arg(args, int);
        how.precision = pr < 0 ? -1 : pr;
        ++p;
      } else {
        while (*p >= '0' && *p <= '9') {
          if (how.precision < 100000) how.precision = how.precision * 10 + (*p - '0');
          ++p;
        }
      }
    }
    int longs = 0;
    bool half = false, sized = false;
    for (;; ++p) {
      if (*p == 'l') ++longs;
      else if (*p == 'h') half = true;
      else if (*p == 'z') sized = true;
      else break;
    }
    char conv = *p;
    if (conv == '\0') {
      out.Put(start, static_cast<size_t>(p - start));
      break;
    }
    ++p;
    switch (conv) {
      case 's': {
        const char* s = va_arg(args, const char*);
        if (s == nullptr) s = "(null)";
        size_t n = how.precision >= 0 ? strnlen(s, static_cast<size_t>(how.precision)) : std::strlen(s);
        Directive text = how;
        text.precision = -1;
        text.zero = false;
        Pad(out, text, s, n, "");
        break;
      }
      case 'c': {
        char c = static_cast<char>(va_arg(args, int) & 0xFF);
        Directive text = how;
        text.precision = -1;
        text.zero = false;
        Pad(out, text, &c, 1, "");
        break;
      }
      case 'd':
      case 'i': {
        int64_t v;
        if (longs >= 2) v = va_arg(args, long long);
        else if (longs == 1) v = va_arg(args, long);
        else if (sized) v = static_cast<int64_t>(va_arg(args, ptrdiff_t));
        else v = va_arg(args, int);
        if (half) v = static_cast<int16_t>(v);
        uint64_t mag = v < 0 ? static_cast<uint64_t>(0) - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        FormatInteger(out, how, conv, mag, v < 0);
        break;
      }
      case 'u':
      case 'x':
      case 'X': {
        uint64_t v;
        if (longs >= 2) v = va_arg(args, unsigned long long);
        else if (longs == 1) v = va_arg(args, unsigned long);
        else if (sized) v = va_arg(args, size_t);
        else v = va_arg(args, unsigned int);
        if (half) v = static_cast<uint16_t>(v);
        FormatInteger(out, how, conv, v, false);
        break;
      }
      default:
        // Unknown conversions consume no argument and appear as written.
        out.Put(start, static_cast<size_t>(p - start));
        break;
    }
  }
  return out.Finish();
}

int wsprintfBounded(LPSTR buf, size_t size, LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  int n = wvsprintfBounded(buf, size, format, args);
  va_end(args);
  return n;
}

int CopyMessageText(LPSTR buf, size_t size, LPCSTR text) {
  if (buf == nullptr || size == 0) return 0;
  Sink out(buf, size);
  if (text != nullptr) {
    for (const char* p = text; *p != '\0'; ++p) {
      out.Put(*p);
      if (p[0] == '%' && p[1] == '%') ++p;
    }
  }
  return out.Finish();
}

size_t CopyBounded(LPSTR dst, size_t size, LPCSTR src) {
  if (dst == nullptr || size == 0) return 0;
  size_t n = src == nullptr ? 0 : strnlen(src, size - 1);
  std::memmove(dst, src == nullptr ? "" : src, n);
  dst[n] = '\0';
  return n;
}

size_t AppendBounded(LPSTR dst, size_t size, LPCSTR src) {
  if (dst == nullptr || size == 0) return 0;
  size_t have = strnlen(dst, size - 1);
  return have + CopyBounded(dst + have, size - have, src);
}
