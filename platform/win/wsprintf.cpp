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
  unsigned base = (conv == 'x' || conv == 'X') ? 16 : conv == 'o' ? 8 : 10;
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
  bool is_signed = conv == 'd' || conv == 'i';
  if (negative) prefix = "-";
  else if (is_signed && how.plus) prefix = "+";
  else if (is_signed && how.space) prefix = " ";
  else if (base == 16 && how.alt && n > 0 && !(n == 1 && body[0] == '0')) prefix = conv == 'X' ? "0X" : "0x";
  // '#' with octal makes the first digit a zero, unless the precision already does.
  else if (base == 8 && how.alt && (n == 0 || body[0] != '0') && how.precision <= static_cast<long>(n)) prefix = "0";
  Pad(out, how, body, n, prefix);
}

void FormatText(Sink& out, const Directive& how, const char* s, size_t n) {
  Directive text = how;
  text.precision = -1;
  text.zero = false;
  Pad(out, text, s, n, "");
}

// The C variable argument list, read as the conversion's size prefixes say.
class VaSource : public FormatArgSource {
 public:
  explicit VaSource(va_list args) { va_copy(args_, args); }
  ~VaSource() override { va_end(args_); }
  bool Serves(char letter) const override { return letter != 'o'; }
  bool Count(int* value) override {
    *value = va_arg(args_, int);
    return true;
  }
  bool Next(const FormatConversion& conv, FormatValue* value) override {
    switch (conv.letter) {
      case 's':
        value->isText = true;
        value->text = va_arg(args_, const char*);
        return true;
      case 'c':
        value->magnitude = static_cast<unsigned>(va_arg(args_, int));
        return true;
      case 'd':
      case 'i': {
        int64_t v;
        if (conv.longs >= 2) v = va_arg(args_, long long);
        else if (conv.longs == 1) v = va_arg(args_, long);
        else if (conv.sized) v = static_cast<int64_t>(va_arg(args_, ptrdiff_t));
        else v = va_arg(args_, int);
        if (conv.half) v = static_cast<int16_t>(v);
        value->negative = v < 0;
        value->magnitude = v < 0 ? static_cast<uint64_t>(0) - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        return true;
      }
      default: {
        uint64_t v;
        if (conv.longs >= 2) v = va_arg(args_, unsigned long long);
        else if (conv.longs == 1) v = va_arg(args_, unsigned long);
        else if (conv.sized) v = va_arg(args_, size_t);
        else v = va_arg(args_, unsigned int);
        if (conv.half) v = static_cast<uint16_t>(v);
        value->magnitude = v;
        return true;
      }
    }
  }

 private:
  va_list args_;
};
}  // namespace

int FormatBounded(LPSTR buf, size_t size, LPCSTR format, FormatArgSource& args) {
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
    bool counted = true;
    if (*p == '*') {
      int w = 0;
      counted = args.Count(&w);
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
    if (counted && *p == '.') {
      ++p;
      how.precision = 0;
      if (*p == '*') {
        int pr = 0;
        counted = args.Count(&pr);
        how.precision = pr < 0 ? -1 : pr;
        ++p;
      } else {
        while (*p >= '0' && *p <= '9') {
          if (how.precision < 100000) how.precision = how.precision * 10 + (*p - '0');
          ++p;
        }
      }
    }
    if (!counted) {
      out.Put(start, static_cast<size_t>(p - start));
      continue;
    }
    FormatConversion conv;
    for (;; ++p) {
      if (*p == 'l') ++conv.longs;
      else if (*p == 'h') conv.half = true;
      else if (*p == 'z') conv.sized = true;
      else break;
    }
    conv.letter = *p;
    if (conv.letter == '\0') {
      out.Put(start, static_cast<size_t>(p - start));
      break;
    }
    ++p;
    if (std::strchr("sciduxXo", conv.letter) == nullptr || !args.Serves(conv.letter)) {
      // Unknown conversions consume no argument and appear as written.
      out.Put(start, static_cast<size_t>(p - start));
      continue;
    }
    FormatValue value;
    if (!args.Next(conv, &value)) continue;
    if (conv.letter == 's' && value.isText) {
      const char* s = value.text == nullptr ? "(null)" : value.text;
      size_t n = how.precision >= 0 ? strnlen(s, static_cast<size_t>(how.precision)) : std::strlen(s);
      FormatText(out, how, s, n);
    } else if (conv.letter == 'c') {
      char c = static_cast<char>(value.magnitude & 0xFF);
      FormatText(out, how, &c, 1);
    } else {
      // A number given to %s prints in decimal.
      char letter = conv.letter == 's' ? 'd' : conv.letter;
      FormatInteger(out, how, letter, value.magnitude, value.negative);
    }
  }
  return out.Finish();
}

int wvsprintfBounded(LPSTR buf, size_t size, LPCSTR format, va_list args) {
  VaSource source(args);
  return FormatBounded(buf, size, format, source);
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
