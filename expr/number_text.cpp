// printf-compatible number text with the legacy runtime's rounding: the
// value is taken to 17 significant digits, and that decimal text is rounded
// half away from zero to the digits asked for.
#include "expr/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdarg>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// 17 significant digits of |v| (v finite and not zero) and the power of ten of
// the first one.
// The correctly rounded shortest-path conversion of the standard library
// gives the digits printf's "%.16e" gives, many times faster.
void SignificantDigits(double v, char digits[17], int* exp10) {
  char buf[40];
  const std::to_chars_result r =
      std::to_chars(buf, buf + sizeof buf - 1, std::fabs(v), std::chars_format::scientific, 16);
  *r.ptr = 0;
  int k = 0;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9' && k < 17) digits[k++] = *p;
  while (k < 17) digits[k++] = '0';
  *exp10 = (*p == 'e') ? std::atoi(p + 1) : 0;
}

// Rounds the digit string to its first `keep` digits, half away from zero.
// Returns false when nothing is kept and the value rounds down to zero.
bool RoundDigits(char digits[17], int* exp10, int keep) {
  if (keep >= 17) return true;
  if (keep < 0) return false;
  const bool up = digits[keep] >= '5';
  for (int i = keep; i < 17; ++i) digits[i] = '0';
  if (!up) return keep > 0;
  int i = keep - 1;
  for (; i >= 0; --i) {
    if (digits[i] == '9') {
      digits[i] = '0';
    } else {
      ++digits[i];
      break;
    }
  }
  if (i < 0) {
    // 9...9 became 10...0: one more leading digit.
    std::memmove(digits + 1, digits, 16);
    digits[0] = '1';
    ++*exp10;
  }
  return true;
}

char DigitAt(const char digits[17], int exp10, int power) {
  const int index = exp10 - power;
  return (index >= 0 && index < 17) ? digits[index] : '0';
}

}  // namespace

int PutScaledDigits(uint64_t scaled, int decimals, char point, bool grouped, char thousands, char* out) {
  const uint64_t pow = kPowerOfTen[decimals];
  const uint64_t whole = scaled / pow;
  const int n = DecimalDigitCount(whole);
  char* to = out;
  if (!grouped || n <= 3) {
    PutDigitsBackward(whole, n, to + n);
    to += n;
  } else {
    char digits[24];
    PutDigitsBackward(whole, n, digits + n);
    // The first group holds what is left over from threes.
    int group = n % 3 == 0 ? 3 : n % 3;
    for (int i = 0; i < n; ++i) {
      if (group == 0) {
        *to++ = thousands;
        group = 3;
      }
      *to++ = digits[i];
      --group;
    }
  }
  if (decimals > 0) {
    *to++ = point;
    PutDigitsBackward(scaled - whole * pow, decimals, to + decimals);
    to += decimals;
  }
  return static_cast<int>(to - out);
}

namespace {

// Body of %f for the usual report number, without the 17-digit text; false
// (nothing written) when FixedScaledInteger cannot round it.
// out holds at least 32 characters; *length is set to the text's.
bool QuickFixedBody(double a, int decimals, bool forcePoint, char* out, int* length, bool* allZero) {
  uint64_t whole = 0;
  if (!FixedScaledInteger(a, decimals, &whole)) return false;
  int n = PutScaledDigits(whole, decimals, '.', false, 0, out);
  if (decimals == 0 && forcePoint) out[n++] = '.';
  *length = n;
  *allZero = whole == 0;
  return true;
}

// Body of %f without sign: integer part, point, `decimals` digits.
std::string FixedBody(double v, int decimals, bool forcePoint, bool* allZero) {
  char quick[32];
  int quickLength = 0;
  if (QuickFixedBody(v, decimals, forcePoint, quick, &quickLength, allZero))
    return std::string(quick, static_cast<size_t>(quickLength));
  char digits[17];
  int e = 0;
  bool nonzero = false;
  if (v != 0.0) {
    SignificantDigits(v, digits, &e);
    nonzero = RoundDigits(digits, &e, e + 1 + decimals);
  }
  std::string out;
  if (!nonzero) {
    out = "0";
    if (decimals > 0 || forcePoint) out += '.';
    out.append(static_cast<size_t>(decimals), '0');
    *allZero = true;
    return out;
  }
  *allZero = false;
  if (e < 0) {
    out = "0";
  } else {
    for (int p = e; p >= 0; --p) out += DigitAt(digits, e, p);
  }
  if (decimals > 0 || forcePoint) out += '.';
  for (int p = -1; p >= -decimals; --p) out += DigitAt(digits, e, p);
  bool zero = true;
  for (char c : out)
    if (c >= '1' && c <= '9') zero = false;
  *allZero = zero;
  return out;
}

std::string ExponentText(int e, bool upper) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%c%c%03d", upper ? 'E' : 'e', e < 0 ? '-' : '+', e < 0 ? -e : e);
  return buf;
}

// Body of %e without sign.
std::string ScientificBody(double v, int decimals, bool upper, bool forcePoint, bool* allZero, int* expOut) {
  char digits[17];
  int e = 0;
  if (v == 0.0) {
    std::memset(digits, '0', 17);
    *allZero = true;
  } else {
    SignificantDigits(v, digits, &e);
    RoundDigits(digits, &e, decimals + 1);
    *allZero = false;
  }
  std::string out(1, digits[0]);
  if (decimals > 0 || forcePoint) out += '.';
  for (int i = 1; i <= decimals; ++i) out += i < 17 ? digits[i] : '0';
  out += ExponentText(e, upper);
  if (expOut) *expOut = e;
  return out;
}

std::string GeneralBody(double v, int precision, bool upper, bool alt, bool* allZero) {
  if (precision == 0) precision = 1;
  int e = 0;
  if (v != 0.0) {
    char digits[17];
    SignificantDigits(v, digits, &e);
    RoundDigits(digits, &e, precision);
  }
  std::string out;
  if (e < -4 || e >= precision) {
    out = ScientificBody(v, precision - 1, upper, alt, allZero, nullptr);
    if (!alt) {
      const size_t ex = out.find(upper ? 'E' : 'e');
      std::string mant = out.substr(0, ex), tail = out.substr(ex);
      if (mant.find('.') != std::string::npos) {
        while (!mant.empty() && mant.back() == '0') mant.pop_back();
        if (!mant.empty() && mant.back() == '.') mant.pop_back();
      }
      out = mant + tail;
    }
  } else {
    out = FixedBody(v, precision - 1 - e, alt, allZero);
    if (!alt && out.find('.') != std::string::npos) {
      while (!out.empty() && out.back() == '0') out.pop_back();
      if (!out.empty() && out.back() == '.') out.pop_back();
    }
  }
  return out;
}

struct Spec {
  bool left = false, plus = false, space = false, zero = false, alt = false;
  int width = 0;
  int precision = -1;
};

std::string FormatDouble(double v, const Spec& s, char conv) {
  const bool upper = conv == 'E' || conv == 'G' || conv == 'F';
  const bool negative = std::signbit(v);
  std::string body;
  bool allZero = false;
  if (std::isnan(v) || std::isinf(v)) {
    const int prec = s.precision < 0 ? 6 : s.precision;
    std::string tag = std::isnan(v) ? "#QNAN" : "#INF";
    while (static_cast<int>(tag.size()) < prec) tag += '0';
    body = "1." + tag;
  } else {
    const double a = std::fabs(v);
    const int prec = s.precision < 0 ? 6 : s.precision;
    switch (conv) {
      case 'f': case 'F': body = FixedBody(a, prec, s.alt, &allZero); break;
      case 'e': case 'E': body = ScientificBody(a, prec, upper, s.alt, &allZero, nullptr); break;
      default: body = GeneralBody(a, prec, upper, s.alt, &allZero); break;
    }
  }
  // A value that prints as zero prints without its sign.
  std::string sign;
  if (negative && !allZero && !std::isnan(v)) sign = "-";
  else if (s.plus) sign = "+";
  else if (s.space) sign = " ";
  const int len = static_cast<int>(sign.size() + body.size());
  if (len >= s.width) return sign + body;
  const size_t pad = static_cast<size_t>(s.width - len);
  if (s.left) return sign + body + std::string(pad, ' ');
  if (s.zero && std::isfinite(v)) return sign + std::string(pad, '0') + body;
  return std::string(pad, ' ') + sign + body;
}

}  // namespace

int LegacyFormatV(char* out, size_t size, const char* format, va_list args) {
  std::string result;
  const char* p = format;
  while (*p) {
    if (*p != '%') {
      result += *p++;
      continue;
    }
    const char* start = p++;
    if (*p == '%') {
      result += '%';
      ++p;
      continue;
    }
    Spec s;
    for (;; ++p) {
      if (*p == '-') s.left = true;
      else if (*p == '+') s.plus = true;
      else if (*p == ' ') s.space = true;
      else if (*p == '0') s.zero = true;
      else if (*p == '#') s.alt = true;
      else break;
    }
    if (*p == '*') {
      s.width = va_arg(args, int);
      if (s.width < 0) {
        s.left = true;
        s.width = -s.width;
      }
      ++p;
    } else {
      while (*p >= '0' && *p <= '9') s.width = s.width * 10 + (*p++ - '0');
    }
    if (*p == '.') {
      ++p;
      s.precision = 0;
      if (*p == '*') {
        s.precision = va_arg(args, int);
        ++p;
      } else {
        while (*p >= '0' && *p <= '9') s.precision = s.precision * 10 + (*p++ - '0');
      }
    }
    int longs = 0;
    bool longDouble = false, shortInt = false, sizeT = false;
    for (;; ++p) {
      if (*p == 'l') ++longs;
      else if (*p == 'L') longDouble = true;
      else if (*p == 'h') shortInt = true;
      else if (*p == 'z') sizeT = true;
      else break;
    }
    const char conv = *p ? *p++ : 0;
    // Rebuild the directive with the star values filled in, for the
    // conversions the C library prints the same way.
    std::string directive = "%";
    if (s.left) directive += '-';
    if (s.plus) directive += '+';
    if (s.space) directive += ' ';
    if (s.zero) directive += '0';
    if (s.alt) directive += '#';
    if (s.width) directive += std::to_string(s.width);
    if (s.precision >= 0) directive += "." + std::to_string(s.precision);
    char buf[512];
    switch (conv) {
      case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': {
        const double v = longDouble ? static_cast<double>(va_arg(args, long double)) : va_arg(args, double);
        result += FormatDouble(v, s, conv);
        break;
      }
      case 'd': case 'i': {
        long long v = sizeT ? static_cast<long long>(va_arg(args, size_t))
                     : longs >= 2 ? va_arg(args, long long)
                     : longs == 1 ? va_arg(args, long) : va_arg(args, int);
        if (shortInt && longs == 0) v = static_cast<short>(v);
        std::snprintf(buf, sizeof buf, (directive + "lld").c_str(), v);
        result += buf;
        break;
      }
      case 'u': case 'x': case 'X': case 'o': {
        unsigned long long v = sizeT ? va_arg(args, size_t)
                               : longs >= 2 ? va_arg(args, unsigned long long)
                               : longs == 1 ? va_arg(args, unsigned long) : va_arg(args, unsigned int);
        if (shortInt && longs == 0) v = static_cast<unsigned short>(v);
        std::snprintf(buf, sizeof buf, (directive + "ll" + conv).c_str(), v);
        result += buf;
        break;
      }
      case 'c':
        std::snprintf(buf, sizeof buf, (directive + "c").c_str(), va_arg(args, int));
        result += buf;
        break;
      case 's': {
        const char* str = va_arg(args, const char*);
        if (str == nullptr) str = "(null)";
        size_t n = std::strlen(str);
        if (s.precision >= 0 && static_cast<size_t>(s.precision) < n) n = static_cast<size_t>(s.precision);
        std::string t(str, n);
        if (static_cast<int>(n) < s.width) {
          const std::string pad(static_cast<size_t>(s.width) - n, ' ');
          t = s.left ? t + pad : pad + t;
        }
        result += t;
        break;
      }
      case 'p':
        std::snprintf(buf, sizeof buf, "%p", va_arg(args, void*));
        result += buf;
        break;
      default:
        result.append(start, static_cast<size_t>(p - start));
        break;
    }
  }
  if (size > 0) {
    const size_t n = result.size() < size - 1 ? result.size() : size - 1;
    std::memcpy(out, result.data(), n);
    out[n] = 0;
  }
  return static_cast<int>(result.size());
}

int LegacyFormat(char* out, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = LegacyFormatV(out, size, format, args);
  va_end(args);
  return n;
}

std::string LegacyFormatString(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = LegacyFormatV(nullptr, 0, format, copy);
  va_end(copy);
  std::string out(static_cast<size_t>(n) + 1, '\0');
  LegacyFormatV(&out[0], out.size(), format, args);
  va_end(args);
  out.resize(static_cast<size_t>(n));
  return out;
}

// As "%.*f" and "%.*e" through LegacyFormatV, without reading a format.
std::string FormatFixed(double v, int decimals) {
  // The usual report number, written straight from its digits.
  char quick[33];
  int length = 0;
  bool allZero = false;
  if (std::isfinite(v) && QuickFixedBody(std::fabs(v), decimals, false, quick + 1, &length, &allZero)) {
    if (std::signbit(v) && !allZero) {
      quick[0] = '-';
      return std::string(quick, static_cast<size_t>(length) + 1);
    }
    return std::string(quick + 1, static_cast<size_t>(length));
  }
  Spec s;
  s.precision = decimals;
  return FormatDouble(v, s, 'f');
}

std::string FormatScientific(double v, int decimals, bool upper) {
  Spec s;
  s.precision = decimals;
  return FormatDouble(v, s, upper ? 'E' : 'e');
}

void DropExponentDigit(char* text) {
  char* e = std::strpbrk(text, "Ee");
  if (e == nullptr || (e[1] != '+' && e[1] != '-')) return;
  char* digits = e + 2;
  if (std::strlen(digits) == 3 && digits[0] >= '0' && digits[0] <= '9') std::memmove(digits, digits + 1, 3);
}
