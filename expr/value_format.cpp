#include "expr/value_format.h"
#include "foundation/byte_order.h"
#include "foundation/text_helpers.h"

#include "expr/calendar.h"
#include "expr/number_text.h"
#include "expr/collation.h"
#include "expr/value_helpers.h"
#include "foundation/byte_order.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "core/fields.h"
#include "platform/win/resources.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// String-table ids of the picture words (res/strings/functions.str).
constexpr UINT kPicHour = 9560;      // "h"
constexpr UINT kPicHour2 = 9561;     // "hh"
constexpr UINT kPicMinute = 9562;    // "mm"
constexpr UINT kPicSecond = 9563;    // "ss"
constexpr UINT kPicMarker = 9564;    // "am"
constexpr UINT kPicDay = 9565;       // "dd"
constexpr UINT kPicMonth2 = 9566;    // "mm"
constexpr UINT kPicMonth3 = 9567;    // "mmm"
constexpr UINT kPicMonthLong = 9568; // "mmmmmmmmm"
constexpr UINT kPicYear2 = 9569;     // "yy"
constexpr UINT kPicYear4 = 9570;     // "yyyy"

constexpr uint32_t kKindNumberField = 0x4;
constexpr uint32_t kKindDateField = 0x200;
constexpr uint32_t kKindDateTimeField = 0x10000;
constexpr uint32_t kKindTimeField = 0x20000;

uint32_t FormatKind(const FieldDef* f) { return f->flags & 0x30304u; }

int OutputAlignment(uint32_t code) {  // 0 left, 1 right, 2 centred
  return code == 2 ? 2 : code == 3 ? 1 : 0;
}

// Number texts in the old runtime's rules, whatever the C library's locale.
std::string Fixed(double v, int decimals) { return FormatFixed(v, std::max(0, std::min(decimals, 340))); }
std::string Scientific(double v, int decimals) {
  std::string s = FormatScientific(v, std::max(0, std::min(decimals, 340)), true);
  std::vector<char> buf(s.begin(), s.end());
  buf.push_back(0);
  DropExponentDigit(buf.data());
  return std::string(buf.data());
}

bool HasDigit1To9(const std::string& s) {
  for (char c : s)
    if (c >= '1' && c <= '9') return true;
  return false;
}

// Leading zeros after the sign go (the last character stays); a leading point
// gets one zero; trailing zeros after a point go, then a trailing point.
void TidyGeneral(std::string& s) {
  size_t start = (!s.empty() && s[0] == '-') ? 1 : 0;
  size_t i = start;
  while (i + 1 < s.size() && s[i] == '0') ++i;
  s.erase(start, i - start);
  if (s.size() > start && s[start] == '.') s.insert(start, "0");
  if (s.find('.') != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
}

int IntegerDigits(const std::string& s) {
  size_t dot = s.find('.');
  size_t n = dot == std::string::npos ? s.size() : dot;
  return static_cast<int>(n) - ((!s.empty() && s[0] == '-') ? 1 : 0);
}

void InsertThousands(const FormatSettings& doc, std::string& s) {
  size_t pos = s.find(doc.intl.sDecimal);
  if (pos == std::string::npos) pos = s.size();
  while (pos > 3) {
    pos -= 3;
    s.insert(pos, 1, doc.intl.sThousand);
  }
}

// Regional negative-currency forms 8-15 place the sign as one of 0-7 does
// (their blank is part of the stored symbol); without this they would print
// a negative amount with no sign at all.
int NegativeCurrencyForm(int neg) {
  static const int kSame[8] = {1, 1, 3, 3, 2, 6, 0, 0};  // forms 8..15
  return neg >= 8 && neg <= 15 ? kSame[neg - 8] : neg;
}

// The pieces of a formatted value before the prefix is written.
struct Pieces {
  std::string text;  // goes to the buffer
  std::string back;  // goes after the number: suffix buffer in mode 0, else the text
};

bool FormatNumber(const FormatSettings& doc, const FieldDef* f, double x, uint8_t status, Pieces& out) {
  const int style = static_cast<int>(f->formatCode & 0xF);
  // Widths and decimals come from stored reports: held to what a field can show.
  const int width = static_cast<int>(std::min<uint32_t>(f->displayWidth, kMaxFormattedText));
  const int dd = std::min<int>(f->displayDecimals, kMaxFormattedText);
  bool invalid = (status & 1) != 0 || IsPositiveInfinity(x) || std::isnan(x);
  if (!invalid && IsNullNumber(x)) return false;  // missing: empty text
  bool negative = !invalid && x < 0;
  if (style == 4 && !invalid) x *= 100.0;
  const double ax = std::fabs(x);
  const bool extreme = x != 0 && (ax >= 1e100 || ax <= 1e-100);

  std::string t;
  bool tooBig = false, tooWide = false;
  if (style == 1) {
    if (invalid || extreme) t = std::string(5 + (dd ? dd + 1 : 0), '*');
    else t = Scientific(x, dd);
  } else if (style == 2) {
    tooBig = invalid || extreme;
    if (!tooBig) {
      int intDigits = IntegerDigits(Fixed(x, 15));
      int d = std::max(0, 15 - intDigits);
      for (int print = 1; print <= 2; ++print) {
        t = Fixed(x, d);
        TidyGeneral(t);
        if ((doc.noWidthLimit && print == 2) || static_cast<int>(t.size()) <= width) break;
        if (!doc.noWidthLimit && intDigits > width) {
          tooWide = true;
          break;
        }
        if (print == 2) break;
        d = std::max(0, width - intDigits - 1);
      }
    }
  } else {
    if (!invalid && ax <= 1e40) {
      t = Fixed(ax, dd);
      if (!HasDigit1To9(t)) negative = false;
      if (dd == width) {
        size_t i = 0;
        while (i < t.size() && t[i] == '0') ++i;
        t.erase(0, i);
      }
    } else {
      invalid = true;
    }
  }

  int extra = 0;
  if (!invalid && !tooBig) {
    size_t dot = t.find('.');
    if (dot != std::string::npos) {
      t[dot] = doc.intl.sDecimal;
      ++extra;
    }
    if (t.find('-') != std::string::npos) ++extra;
  }

  if (style != 1 && (invalid || tooBig || tooWide ||
                     (!doc.noWidthLimit && static_cast<int>(t.size()) > width + extra))) {
    if (style == 8 && t.size() == 10 && !tooWide && !invalid) {
      t.erase(0, 3);
    } else if (style == 2 && width >= 5 + (negative ? 1 : 0) && !tooBig) {
      t = Scientific(x, std::max(0, width - (negative ? 6 : 5) - 1));
    } else {
      int stars = style == 2 ? width : width - dd;
      t.assign(static_cast<size_t>(std::max(0, stars)), '*');
      if (style != 2 && dd > 0) {
        t += doc.intl.sDecimal;
        t.append(dd, '*');
      }
    }
  }

  // Blank when zero: nothing but zeros (and no stars) prints as nothing.
  if (f->formatCode & 0x200) {
    bool onlyZeros = true;
    for (char c : t)
      if (c == '*' || (c >= '1' && c <= '9')) onlyZeros = false;
    if (onlyZeros) return false;
  }

  switch (style) {
    case 1:
    case 2:
      break;
    case 4:
    case 5:
      if (style == 5 && (f->formatCode & 0x100)) {
        // Leading zeros fill the field's width (the point takes a column too).
        int target = width + (t.find(doc.intl.sDecimal) != std::string::npos && dd > 0 ? 1 : 0);
        if (static_cast<int>(t.size()) < target) t.insert(0, static_cast<size_t>(target) - t.size(), '0');
      }
      if (negative) t.insert(0, 1, '-');
      if (style == 4) out.back += '%';
      break;
    case 7:
      InsertThousands(doc, t);
      if (negative) {
        switch (NegativeCurrencyForm(doc.intl.iNegCurr)) {
          case 0:
          case 4:
            t.insert(0, 1, '(');
            out.back += ')';
            break;
          case 3:
          case 6:
          case 7:
            out.back += '-';
            break;
          default:
            t.insert(0, 1, '-');
        }
      }
      break;
    case 6: {
      InsertThousands(doc, t);
      int neg = NegativeCurrencyForm(doc.intl.iNegCurr);
      if (negative && neg == 2) t.insert(0, 1, '-');
      if (negative && neg == 6) out.back += '-';
      if (doc.intl.currencyBefore) t.insert(0, doc.intl.sCurrency);
      else out.back += doc.intl.sCurrency;
      if (negative) {
        if (neg == 0 || neg == 4) {
          t.insert(0, 1, '(');
          out.back += ')';
        } else if (neg == 3 || neg == 7) {
          out.back += '-';
        } else if (neg != 2 && neg != 6) {
          t.insert(0, 1, '-');  // 1 and 5, and any form the region does not define
        }
      }
      break;
    }
    default:
      break;  // other styles: the digits alone
  }
  out.text = t;
  return true;
}

// The usual number, straight into out: the styles that print "%.*f" digits
// (all but scientific and general) for a valid value whose rounding
// FixedScaledInteger takes and whose text fits the field. Returns its length
// (the characters after the number go to back, NUL-terminated, 40 bytes),
// 0 for an empty text, or -1 with nothing written: FormatNumber decides
// then, and for every case here it gives the same characters.
int QuickNumber(const FormatSettings& doc, const FieldDef* f, double x, uint8_t status, char* out, char* back,
                int* backLength) {
  const int style = static_cast<int>(f->formatCode & 0xF);
  // Infinities and NaN are stars or overflow: FormatNumber's.
  if (style == 1 || style == 2 || (status & 1) != 0 || !std::isfinite(x)) return -1;
  if (x == -DBL_MAX) return 0;  // the null number: missing
  const int width = static_cast<int>(std::min<uint32_t>(f->displayWidth, kMaxFormattedText));
  const int dd = std::min<int>(f->displayDecimals, kMaxFormattedText);
  // A digit or a star for the point would change what counts as a zero.
  const char point = doc.intl.sDecimal;
  if (dd == width || (point >= '0' && point <= '9') || point == '*') return -1;
  bool negative = x < 0;
  if (style == 4) x *= 100.0;
  const double ax = std::fabs(x);
  uint64_t scaled = 0;
  if (ax != 0 ? !FixedScaledInteger(ax, dd, &scaled) : dd > 9) return -1;
  if (scaled == 0) negative = false;
  // The digits' own length decides whether they fit, as FormatNumber's does.
  // Counts and amounts in cents divide by a constant, not through the table.
  const uint64_t whole = dd == 0 ? scaled : dd == 2 ? scaled / 100 : scaled / kPowerOfTen[dd];
  const int intDigits = DecimalDigitCount(whole);
  const int length = intDigits + (dd > 0 ? dd + 1 : 0);
  if (!doc.noWidthLimit && length > width + (dd > 0 ? 1 : 0)) return -1;
  if ((f->formatCode & 0x200) && scaled == 0) return 0;

  char* to = out;
  int backLen = 0;
  auto putBack = [&](const char* t, size_t n) {
    std::memcpy(back + backLen, t, n);
    backLen += static_cast<int>(n);
  };
  const bool grouped = style == 6 || style == 7;
  switch (style) {
    case 4:
    case 5: {
      int zeros = 0;
      if (style == 5 && (f->formatCode & 0x100)) zeros = std::max(0, width + (dd > 0 ? 1 : 0) - length);
      if (length + zeros + (negative ? 1 : 0) > kMaxFormattedText) return -1;  // FormatNumber cuts it
      if (negative) *to++ = '-';
      if (zeros > 0) {
        std::memset(to, '0', static_cast<size_t>(zeros));
        to += zeros;
      }
      if (style == 4) putBack("%", 1);
      break;
    }
    case 6: {
      const size_t currencyLength = strnlen(doc.intl.sCurrency, sizeof doc.intl.sCurrency);
      const int neg = negative ? NegativeCurrencyForm(doc.intl.iNegCurr) : -1;
      if (neg == 0 || neg == 4) *to++ = '(';
      else if (negative && neg != 2 && neg != 3 && neg != 6 && neg != 7) *to++ = '-';
      if (doc.intl.currencyBefore) {
        std::memcpy(to, doc.intl.sCurrency, currencyLength);
        to += currencyLength;
      }
      if (neg == 2) *to++ = '-';
      if (neg == 6) putBack("-", 1);
      if (!doc.intl.currencyBefore) putBack(doc.intl.sCurrency, currencyLength);
      if (neg == 0 || neg == 4) putBack(")", 1);
      else if (neg == 3 || neg == 7) putBack("-", 1);
      break;
    }
    case 7:
      if (negative) {
        switch (NegativeCurrencyForm(doc.intl.iNegCurr)) {
          case 0:
          case 4:
            *to++ = '(';
            putBack(")", 1);
            break;
          case 3:
          case 6:
          case 7:
            putBack("-", 1);
            break;
          default:
            *to++ = '-';
        }
      }
      break;
    default:
      break;  // the digits alone
  }
  to += PutScaledDigits(scaled, dd, point, grouped, doc.intl.sThousand, to);
  back[backLen] = 0;
  *backLength = backLen;
  return static_cast<int>(to - out);
}

void TwoDigits(char* out, int v) { std::snprintf(out, 8, "%02d", v); }

// The text of a date in its field's style into out (256 bytes); its length,
// 0 for an empty date.
int DateTextOf(const FormatSettings& doc, const FieldDef* f, uint32_t day, uint8_t status, char* out) {
  const uint32_t style = f->formatCode & 0xF00F;
  const bool fourDigits = ((f->formatCode >> 4) & 0xF) != 0;
  out[0] = 0;
  if (day == EmptyDate) return 0;
  DateParts parts;
  bool invalid = (status & 1) || day == InvalidDate || day >= 0x800001FEu ||
                 JulianToYMD(static_cast<DayNumber>(day), parts) != 0;
  if (style == 0x9000 || style == 0xA000) {
    if (invalid) return FormatDateByPicture(doc, 255, 0, 0, style == 0x9000, out);
    return FormatDateByPicture(doc, parts.month, parts.day, parts.year, style == 0x9000, out);
  }
  char d[16], m[64], y[16];
  if (invalid) {
    std::strcpy(d, "**");
    std::strcpy(m, "**");
    std::strcpy(y, fourDigits ? "****" : "**");
  } else {
    if (style >= 0x1000 && style <= 0x8000) {
      TwoDigits(d, parts.day);
      TwoDigits(m, parts.month);
    } else if (style >= 6 && style <= 10) {
      std::snprintf(d, sizeof d, "%d", parts.day);
      std::snprintf(m, sizeof m, "%s", GetMonthName(parts.month));
    } else {
      TwoDigits(d, parts.day);
      std::snprintf(m, sizeof m, "%s", GetMonthAbbrev(parts.month));
    }
    if (fourDigits) std::snprintf(y, sizeof y, "%04d", parts.year);
    else TwoDigits(y, parts.year % 100);
  }
  return JoinDateParts(m, d, y, out, style);
}

// A column of dates mostly repeats the date of the line before: the last
// valid date's text is kept, with everything that text was made from (the
// day, the style, for the regional styles the picture, and the pad
// character when it is already blanked). One for each thread, as
// formatting runs on more than one.
struct LastDateText {
  bool used = false;
  uint32_t day = 0;
  uint32_t style = 0;  // formatCode & 0xF0FF
  int pad = -1;        // -1: not blanked
  char picture[sizeof(IntlSettings::sShortDate)] = {};
  size_t pictureLength = 0;
  int length = 0;
  char text[256] = {};
};
thread_local LastDateText t_lastDate;

// DateTextOf, with the pad character (0-255; -1 none) as blanks.
int CachedDateText(const FormatSettings& doc, const FieldDef* f, uint32_t day, uint8_t status, int pad, char* out) {
  const uint32_t style = f->formatCode & 0xF0FF;
  const bool byPicture = (style & 0xF00F) == 0x9000 || (style & 0xF00F) == 0xA000;
  static_assert(sizeof(IntlSettings::sShortDate) == sizeof(IntlSettings::sLongDate), "one picture size");
  const char* picture = (style & 0xF00F) == 0x9000 ? doc.intl.sLongDate : doc.intl.sShortDate;
  const bool valid = (status & 1) == 0 && day <= static_cast<uint32_t>(kLastDay);
  LastDateText& last = t_lastDate;
  // The kept picture is shorter than its field: its terminator is compared too.
  if (valid && last.used && last.day == day && last.style == style && last.pad == pad &&
      (!byPicture || std::memcmp(last.picture, picture, last.pictureLength + 1) == 0)) {
    // out has room for the longest text: a short one goes as one block.
    if (last.length < 32) std::memcpy(out, last.text, 32);
    else std::memcpy(out, last.text, static_cast<size_t>(last.length) + 1);
    return last.length;
  }
  const int n = DateTextOf(doc, f, day, status, out);
  if (pad >= 0) {
    for (int i = 0; i < n; ++i)
      if (static_cast<unsigned char>(out[i]) == pad) out[i] = ' ';
  }
  const size_t pictureLength = byPicture ? strnlen(picture, sizeof last.picture) : 0;
  if (valid && n >= 0 && n < static_cast<int>(sizeof last.text) && pictureLength < sizeof last.picture) {
    last.used = true;
    last.day = day;
    last.style = style;
    last.pad = pad;
    std::memset(last.picture, 0, sizeof last.picture);
    std::memcpy(last.picture, picture, pictureLength);
    last.pictureLength = pictureLength;
    last.length = n;
    std::memcpy(last.text, out, static_cast<size_t>(n) + 1);
  }
  return n;
}

void TimeTextOf(const FormatSettings& doc, const FieldDef* f, double t, uint8_t status, std::string& out) {
  bool invalid = (status & 1) || IsPositiveInfinity(t) || std::isnan(t);
  if (!invalid && IsNullNumber(t)) return;
  if (!invalid && (t < 0 || t > 86400e6)) invalid = true;
  TimeParts tp;
  if (!invalid) MicrosecondsToTime(t, tp);
  char buf[64];
  if (f->timeFormat & 0x8000) FormatTimeText(doc, invalid, tp.hours, tp.minutes, tp.seconds, buf, true);
  else FormatTimeWithFlags(invalid, tp.hours, tp.minutes, tp.seconds, f->timeFormat & 0x8007, buf);
  out = buf;
}

}  // namespace

// ---------------------------------------------------------------------------
// ---------------------------------------------------------------------------
int FormatFieldPrefix(const FormatSettings& doc, const FieldDef* field, char* buffer, int position,
                      int alignment, bool escapes, int mode, int prefixSize, int textLength) {
  if (textLength <= 0) return 0;
  if (mode != kOutputReport) return textLength + prefixSize;
  char* p = buffer;
  if (escapes) {
    *p++ = 27;
    if (alignment == 0) {
      *p++ = 1;
      *p++ = static_cast<char>(position & 0xFF);
      *p++ = static_cast<char>((position >> 8) & 0xFF);
    } else {
      *p++ = alignment == 1 ? 5 : 6;
    }
  }
  // The run writes each field's font and colour where it places the text
  // (it skips these bytes), so they are only reserved here.
  (void)field;
  std::memset(p, 0, kFormatPrefixSize);
  return textLength + prefixSize;
}

namespace {

// Numbers the shortcut leaves, dates without it, date-times and times: the
// text in pieces, then into the buffer.
__attribute__((noinline)) int FormatByPieces(const FormatSettings& doc, const FieldDef* field, char* buffer,
                                             const void* value, uint32_t kind, uint8_t status, int position,
                                             int alignCode, bool escapes, int mode, int prefixSize, char* suffix,
                                             bool shortcuts) {
  Pieces pieces;
  bool any = true;
  if (kind == kKindNumberField) {
    any = FormatNumber(doc, field, GetF64(static_cast<const uint8_t*>(value)), status, pieces);
  } else if (kind == kKindDateField) {
    char text[256];
    const int n = DateTextOf(doc, field, GetU32(static_cast<const uint8_t*>(value)), status, text);
    pieces.text.assign(text, static_cast<size_t>(n));
  } else {
    uint32_t parts = kind == kKindTimeField ? 0x20 : (field->timeFormat & 0x30);
    if (parts == 0) parts = 0x30;  // a format that shows neither part shows both
    std::string dateText, timeText;
    if (parts & 0x10) {
      char text[256];
      const uint32_t day = GetU32(static_cast<const uint8_t*>(value));
      const int n =
          shortcuts ? CachedDateText(doc, field, day, status, -1, text) : DateTextOf(doc, field, day, status, text);
      dateText.assign(text, static_cast<size_t>(n));
    }
    if (parts & 0x20) TimeTextOf(doc, field, GetF64(static_cast<const uint8_t*>(value) + 4), status, timeText);
    if (!dateText.empty() && !timeText.empty()) pieces.text = dateText + " " + timeText;
    else pieces.text = dateText.empty() ? timeText : dateText;
  }
  if (!any) return 0;

  if (pieces.text.size() > static_cast<size_t>(kMaxFormattedText)) pieces.text.resize(kMaxFormattedText);
  if (!pieces.back.empty()) {
    if (mode == kOutputReport && suffix) std::strcpy(suffix, pieces.back.c_str());
    else pieces.text += pieces.back;
  }
  for (char& c : pieces.text)
    if (static_cast<unsigned char>(c) == doc.padChar) c = ' ';
  int n = static_cast<int>(pieces.text.size());
  if (n == 0) return 0;
  std::memcpy(buffer + prefixSize, pieces.text.data(), static_cast<size_t>(n));
  buffer[prefixSize + n] = 0;
  return FormatFieldPrefix(doc, field, buffer, position, alignCode, escapes, mode, prefixSize, n);
}

// Nonzero when one of the eight bytes of x is c (c repeated in each byte of
// `repeated`).
inline uint64_t HasByte(uint64_t x, uint64_t repeated) {
  const uint64_t y = x ^ repeated;
  return (y - 0x0101010101010101ull) & ~y & 0x8080808080808080ull;
}

template <bool kShortcuts>
inline int FormatValue(const FormatSettings& doc, const FieldDef* field, char* buffer, const void* value,
                       int position, int mode, char* suffix) {
  if (suffix) suffix[0] = 0;
  buffer[0] = 0;
  const uint32_t kind = FormatKind(field);
  uint32_t alignCode;
  if (kind == kKindNumberField) {
    uint32_t a = (field->formatCode >> 12) & 0xF;
    alignCode = a == 1 ? 0 : a == 2 ? 2 : 1;
  } else if (kind == kKindDateField || kind == kKindDateTimeField || kind == kKindTimeField) {
    alignCode = OutputAlignment((field->formatCode >> 8) & 0xF);
  } else {
    alignCode = OutputAlignment((field->formatCode >> 4) & 0xF);
  }
  const bool escapes = mode == kOutputReport && position != -1;
  const int prefixSize = mode != kOutputReport ? 0 : kFormatPrefixSize + (escapes ? (alignCode == 0 ? 4 : 2) : 0);

  const bool current = value == nullptr || value == field->value;
  if (value == nullptr) value = field->value;
  // Only an alias has a field of the model to stand for.
  const FieldDef* statusField =
      doc.model != nullptr && (field->flags & kFieldAlias) ? doc.model->AliasedField(field) : field;
  const uint8_t status = current ? statusField->valueStatus : statusField->previousStatus;
  if (value == nullptr) return 0;

  if (kShortcuts && kind == kKindNumberField) {
    char* out = buffer + prefixSize;
    char back[40];
    int backLength = 0;
    int n = QuickNumber(doc, field, GetF64(static_cast<const uint8_t*>(value)), status, out, back, &backLength);
    if (n == 0) return 0;
    if (n > 0) {
      if (backLength > 0) {
        if (mode == kOutputReport && suffix) {
          std::memcpy(suffix, back, static_cast<size_t>(backLength) + 1);
        } else {
          std::memcpy(out + n, back, static_cast<size_t>(backLength));
          n += backLength;
        }
      }
      // Only a pad character that the number can hold needs looking for.
      const unsigned char pad = doc.padChar;
      if (pad < 0x80 || pad == static_cast<unsigned char>(doc.intl.sDecimal) ||
          pad == static_cast<unsigned char>(doc.intl.sThousand) ||
          std::memchr(doc.intl.sCurrency, pad, sizeof doc.intl.sCurrency)) {
        for (int i = 0; i < n; ++i)
          if (static_cast<unsigned char>(out[i]) == pad) out[i] = ' ';
      }
      out[n] = 0;
      return FormatFieldPrefix(doc, field, buffer, position, static_cast<int>(alignCode), escapes, mode, prefixSize,
                               n);
    }
  } else if (kShortcuts && kind == kKindDateField) {
    // Straight into the buffer, which has room for the longest date text.
    char* out = buffer + prefixSize;
    int n = CachedDateText(doc, field, GetU32(static_cast<const uint8_t*>(value)), status, doc.padChar, out);
    n = std::min(n, kMaxFormattedText);
    if (n <= 0) {
      buffer[0] = 0;
      return 0;
    }
    out[n] = 0;
    return FormatFieldPrefix(doc, field, buffer, position, static_cast<int>(alignCode), escapes, mode, prefixSize, n);
  }
  if (kind == kKindNumberField || kind == kKindDateField || kind == kKindDateTimeField || kind == kKindTimeField)
    return FormatByPieces(doc, field, buffer, value, kind, status, position, static_cast<int>(alignCode), escapes,
                          mode, prefixSize, suffix, kShortcuts);

  // Text, memo, logical.
  const bool fitted = !FieldTextUnfitted(field, mode);
  const char* text = LogicalOrValueText(doc, field, value);
  int limit;
  if (!fitted) limit = kMaxFormattedText;
  else if (field->flags & kFieldLogical) limit = static_cast<int>(std::strlen(text));
  else limit = static_cast<int>(field->displayWidth);
  limit = std::max(0, std::min(limit, kMaxFormattedText));
  // The value with its line breaks as blanks, without trailing blanks.
  const char* from = text;
  size_t n = 0;
  char stars[kMaxFormattedText];
  if (status & 1) {
    n = static_cast<size_t>(fitted ? limit : kMaxFormattedText);
    std::memset(stars, '*', n);
    from = stars;
  } else {
    n = strnlen(text, static_cast<size_t>(limit));
    while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\n')) --n;
  }
  // Straight into the buffer, cut at the longest formatted text: line
  // breaks and pad characters as blanks, an escape character doubled (the
  // line reads it as text). The shortcut: eight bytes at a time while none
  // of them is one of those three.
  char* out = buffer + prefixSize;
  size_t k = 0;
  const size_t most = static_cast<size_t>(kMaxFormattedText);
  if (kShortcuts) {
    const uint64_t lineFeeds = 0x0101010101010101ull * '\n';
    const uint64_t escapeChars = 0x0101010101010101ull * 27;
    const uint64_t pads = 0x0101010101010101ull * doc.padChar;
    const size_t plain = std::min(n, most);
    while (k + 8 <= plain) {
      uint64_t word;
      std::memcpy(&word, from + k, 8);
      if (HasByte(word, lineFeeds) | HasByte(word, escapeChars) | HasByte(word, pads)) break;
      std::memcpy(out + k, &word, 8);
      k += 8;
    }
  }
  for (size_t i = k; i < n && k < most; ++i) {
    char c = from[i];
    if (c == '\n' || static_cast<unsigned char>(c) == doc.padChar) {
      c = ' ';
    } else if (c == 27) {
      out[k++] = c;
      if (k == most) break;
    }
    out[k++] = c;
  }
  if (k == 0) return 0;
  out[k] = 0;
  return FormatFieldPrefix(doc, field, buffer, position, static_cast<int>(alignCode), escapes, mode, prefixSize,
                           static_cast<int>(k));
}

}  // namespace

bool FieldTextUnfitted(const FieldDef* field, int mode) {
  const uint32_t kind = FormatKind(field);
  if (kind == kKindNumberField || kind == kKindDateField || kind == kKindDateTimeField || kind == kKindTimeField)
    return false;
  return mode != kOutputTextFitted && (field->flags2 & 0x12) != 0;
}

int FormatFieldValue(const FormatSettings& doc, const FieldDef* field, char* buffer, const void* value,
                     int position, int mode, char* suffix) {
  return FormatValue<true>(doc, field, buffer, value, position, mode, suffix);
}

int FormatFieldValueGeneral(const FormatSettings& doc, const FieldDef* field, char* buffer, const void* value,
                            int position, int mode, char* suffix) {
  return FormatValue<false>(doc, field, buffer, value, position, mode, suffix);
}

// ---------------------------------------------------------------------------
namespace {
// Hours by the 12- or 24-hour clock, minutes, seconds when asked, and the
// morning or afternoon marker on the 12-hour clock; '*' for an invalid time.
int TimeText(bool invalid, int hour, int minute, int second, uint32_t flags, char separator,
             bool blankBeforeMarker, const char* morning, const char* afternoon, char* buffer) {
  std::string s;
  char b[16];
  int h = hour;
  if (!(flags & 2)) {
    if (h == 0) h = 12;
    else if (h > 12) h -= 12;
  }
  if (invalid) s = (flags & 4) ? "**" : "*";
  else {
    std::snprintf(b, sizeof b, (flags & 4) ? "%02d" : "%2d", h);
    s = b;
  }
  s += separator;
  if (invalid) s += "**";
  else {
    TwoDigits(b, minute);
    s += b;
  }
  if (flags & 1) {
    s += separator;
    if (invalid) s += "**";
    else {
      TwoDigits(b, second);
      s += b;
    }
  }
  if (!(flags & 2)) {
    if (blankBeforeMarker) s += ' ';
    s += (!invalid && hour > 11) ? afternoon : morning;
  }
  std::strcpy(buffer, s.c_str());
  return static_cast<int>(s.size());
}
}  // namespace

int FormatTimeWithFlags(bool invalid, int hour, int minute, int second, uint32_t flags, char* buffer) {
  return TimeText(invalid, hour, minute, second, flags, ':', true, "am", "pm", buffer);
}

int FormatTimeText(const FormatSettings& doc, bool invalid, int hour, int minute, int second, char* buffer,
                   bool blankBeforeMarker) {
  return TimeText(invalid, hour, minute, second, doc.intl.timeFlags, doc.intl.sTime, blankBeforeMarker,
                  doc.intl.s1159, doc.intl.s2359, buffer);
}

int JoinDateParts(const char* m, const char* d, const char* y, char* buffer, uint32_t style) {
  int n;
  switch (style) {
    case 1: n = std::sprintf(buffer, "%s-%s-%s", d, m, y); break;
    case 4: n = std::sprintf(buffer, "%s-%s", d, m); break;
    case 5: n = std::sprintf(buffer, "%s-%s", m, y); break;
    case 6: n = std::sprintf(buffer, "%s %s, %s", m, d, y); break;
    case 7: n = std::sprintf(buffer, "%s %s %s", d, m, y); break;
    case 8: n = std::sprintf(buffer, "%s %s", m, y); break;
    case 9: n = std::sprintf(buffer, "%s %s", m, d); break;
    case 10: n = std::sprintf(buffer, "%s %s", d, m); break;
    case 0x1000: n = std::sprintf(buffer, "%s/%s/%s", m, d, y); break;
    case 0x2000: n = std::sprintf(buffer, "%s/%s/%s", d, m, y); break;
    case 0x3000: n = std::sprintf(buffer, "%s.%s.%s", d, m, y); break;
    case 0x4000: n = std::sprintf(buffer, "%s-%s-%s", y, m, d); break;
    case 0x5000: n = std::sprintf(buffer, "%s/%s", m, d); break;
    case 0x6000: n = std::sprintf(buffer, "%s/%s", d, m); break;
    case 0x7000: n = std::sprintf(buffer, "%s.%s", d, m); break;
    case 0x8000: n = std::sprintf(buffer, "%s-%s", m, d); break;
    default: buffer[0] = 0; n = 0;
  }
  return n;
}

namespace {

// As "%0*d" of v with at least minDigits digits at out (room for 24); its
// length. Printed on every date of a report, so the digits are written out
// rather than through printf.
size_t PutPadded(char* out, int v, int minDigits) {
  if (v < 0) return static_cast<size_t>(std::snprintf(out, 24, "%0*d", std::min(minDigits, 20), v));
  char b[16];
  int n = 0;
  do {
    b[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (n < minDigits && n < 16) b[n++] = '0';
  for (int i = 0; i < n; ++i) out[i] = b[n - 1 - i];
  return static_cast<size_t>(n);
}

}  // namespace

// Put together in a buffer of its own: a date column formats a date a line.
int FormatDateByPicture(const FormatSettings& doc, int month, int day, int year, bool useLong, char* buffer,
                        bool fourDigitYear) {
  constexpr size_t kLimit = 200;  // callers' buffers hold 256
  const char* pic = useLong ? doc.intl.sLongDate : doc.intl.sShortDate;
  const bool empty = month == 255;
  char s[kLimit + 64];
  size_t n = 0;
  // Whatever goes past the limit is cut at the end; the room keeps it whole
  // up to there.
  auto put = [&](const char* t, size_t len) {
    len = std::min(len, sizeof s - n);
    std::memcpy(s + n, t, len);
    n += len;
  };
  for (size_t i = 0; pic[i] && n < kLimit;) {
    char c = pic[i];
    if (c == '\'' || c == '"') {
      size_t j = i + 1;
      while (pic[j] && pic[j] != c) ++j;
      put(pic + i + 1, j - i - 1);
      i = pic[j] ? j + 1 : j;
      continue;
    }
    char lc = static_cast<char>(c | 0x20);
    if (lc == 'd' || lc == 'm' || lc == 'y') {
      size_t run = 1;
      while ((pic[i + run] | 0x20) == lc) ++run;
      i += run;
      char b[64];
      if (lc == 'y') {
        bool four = run >= 4 || fourDigitYear;
        if (empty) put("****", four ? 4 : 2);
        else put(b, PutPadded(b, four ? year : year % 100, four ? 4 : 2));
        continue;
      }
      if (empty) {
        put("****", std::min<size_t>(run, 4));
        continue;
      }
      int v = lc == 'd' ? day : month;
      if (run <= 2) {
        put(b, PutPadded(b, v, static_cast<int>(run)));
        continue;
      }
      const char* name;
      if (lc == 'd') {
        DateParts p;
        p.year = year;
        p.month = static_cast<uint8_t>(month);
        p.day = static_cast<uint8_t>(day);
        DayNumber dn;
        DateParts q;
        name = (YMDToJulian(p, dn) == 0 && JulianToYMD(dn, q) == 0) ? GetDayName(q.weekday) : "";
      } else {
        name = GetMonthName(month);
      }
      size_t len = std::strlen(name);
      if (run == 3) len = std::min<size_t>(len, 3);
      put(name, std::min(len, sizeof b - 1));
      continue;
    }
    put(&c, 1);
    ++i;
  }
  n = std::min(n, kLimit);
  std::memcpy(buffer, s, n);
  buffer[n] = 0;
  return static_cast<int>(n);
}

const char* LogicalOrValueText(const FormatSettings& doc, const FieldDef* field, const void* value) {
  if (field->flags & kFieldLogical) return static_cast<const uint8_t*>(value)[0] ? doc.logT : doc.logF;
  return static_cast<const char*>(value);
}

void InsertChars(char c, int count, char* text, int position) {
  if (count <= 0) return;
  size_t n = std::strlen(text);
  std::memmove(text + position + count, text + position, n - static_cast<size_t>(position) + 1);
  std::memset(text + position, c, static_cast<size_t>(count));
}

void SetFieldFormatCode(FieldDef* field, uint32_t code) {
  field->formatCode = code;
  field->timeFormat = 0x10;
}

int MeasureDateTimeWidth(const FormatSettings& doc, FieldDef* field) {
  uint8_t saved1 = field->valueStatus, saved2 = field->previousStatus;
  field->valueStatus = field->previousStatus = 0;
  uint8_t value[12];
  char out[400];
  const double times[2] = {40271000000.0, 83471000000.0};
  auto measure = [&](uint32_t day, double t) {
    std::memcpy(value, &day, 4);
    std::memcpy(value + 4, &t, 8);
    return FormatFieldValue(doc, field, out, value, -1, kOutputTextFitted, nullptr);
  };
  int best = 0, bestDay = 1, bestTime = 0;
  uint32_t base = 144599;
  for (int d = 1; d <= 7; ++d)
    for (int k = 0; k < 2; ++k) {
      int n = measure(base + static_cast<uint32_t>(d), times[k]);
      if (n > best) {
        best = n;
        bestDay = d;
        bestTime = k;
      }
    }
  for (int month = 2; month <= 12; ++month) {
    base += 28;
    if (month == 8) base += 14;
    int n = measure(base + static_cast<uint32_t>(bestDay), times[bestTime]);
    if (n > best) best = n;
  }
  field->valueStatus = saved1;
  field->previousStatus = saved2;
  return best;
}

// ---------------------------------------------------------------------------
int NumberPicture(const FormatSettings& doc, const FieldDef* field, char* buffer) {
  int width = static_cast<int>(field->displayWidth), dd = field->displayDecimals;
  std::string s(static_cast<size_t>(std::max(0, std::min(width - dd, 254))), '9');
  if (dd > 0) {
    s += doc.intl.sDecimal;
    s.append(static_cast<size_t>(std::min(dd, 254)), '9');
  }
  std::strcpy(buffer, s.c_str());
  return static_cast<int>(s.size());
}

namespace {
std::string PictureWord(UINT id) { return LoadResString(id); }
}  // namespace

int BuildTimePicture(uint32_t flags, char* buffer, unsigned char fill) {
  std::string s = PictureWord((flags & 4) ? kPicHour2 : kPicHour);
  s += ':';
  s += PictureWord(kPicMinute);
  if (flags & 1) {
    s += ':';
    s += PictureWord(kPicSecond);
  }
  if (!(flags & 2)) {
    s += static_cast<char>(fill);
    s += PictureWord(kPicMarker);
  }
  std::strcpy(buffer, s.c_str());
  return static_cast<int>(s.size());
}

int BuildDefaultTimePicture(const FormatSettings& doc, char* buffer, unsigned char fill) {
  uint32_t flags = doc.intl.timeFlags;
  std::string s = PictureWord((flags & 4) ? kPicHour2 : kPicHour);
  s += doc.intl.sTime;
  s += PictureWord(kPicMinute);
  if (flags & 1) {
    s += doc.intl.sTime;
    s += PictureWord(kPicSecond);
  }
  if (!(flags & 2)) {
    s += static_cast<char>(fill);
    s += doc.intl.s1159;
  }
  std::strcpy(buffer, s.c_str());
  return static_cast<int>(s.size());
}

int AppendDatePicture(const FormatSettings& doc, uint32_t style, char* buffer) {
  const char* pic = style == 0x9000 ? doc.intl.sLongDate : doc.intl.sShortDate;
  size_t n = std::strlen(buffer);
  for (; *pic; ++pic) {
    if (*pic == '\'' || *pic == '"') continue;
    buffer[n++] = static_cast<char>(CharLowerByte(static_cast<unsigned char>(*pic)));
  }
  buffer[n] = 0;
  return static_cast<int>(n);
}

int BuildFieldPicture(const FormatSettings& doc, FieldDef* field, char* buffer, char* suffix, unsigned char fill) {
  buffer[0] = 0;
  if (suffix) suffix[0] = 0;
  const uint32_t kind = FormatKind(field);
  if (kind == kKindNumberField) {
    // The picture of a negative value in the field's own format.
    int style = static_cast<int>(field->formatCode & 0xF);
    std::string pic;
    char np[600];
    NumberPicture(doc, field, np);
    std::string back;
    switch (style) {
      case 1: {
        pic = "x";
        if (field->displayDecimals) {
          pic += doc.intl.sDecimal;
          pic.append(field->displayDecimals, 'x');
        }
        pic += "E+xx";
        break;
      }
      case 2: pic.assign(std::min<uint32_t>(field->displayWidth, 254), '9'); break;
      case 4: pic = std::string("-") + np; back = "%"; break;
      case 5: pic = std::string("-") + np; break;
      case 6:
      case 7: {
        pic = np;
        InsertThousands(doc, pic);
        int neg = NegativeCurrencyForm(doc.intl.iNegCurr);
        if (style == 6) {
          if (neg == 2) pic.insert(0, 1, '-');
          if (neg == 6) back += '-';
          if (doc.intl.currencyBefore) pic.insert(0, doc.intl.sCurrency);
          else back += doc.intl.sCurrency;
          if (neg == 0 || neg == 4) { pic.insert(0, 1, '('); back += ')'; }
          else if (neg == 3 || neg == 7) back += '-';
          else if (neg == 1 || neg == 5) pic.insert(0, 1, '-');
        } else {
          if (neg == 0 || neg == 4) { pic.insert(0, 1, '('); back += ')'; }
          else if (neg == 3 || neg == 6 || neg == 7) back += '-';
          else pic.insert(0, 1, '-');
        }
        break;
      }
      default: pic = np;
    }
    if (suffix) std::strcpy(suffix, back.c_str());
    else pic += back;
    std::strcpy(buffer, pic.c_str());
    return static_cast<int>(pic.size());
  }
  if (kind == kKindTimeField) {
    int n = (field->timeFormat & 0x8000) ? BuildDefaultTimePicture(doc, buffer, fill)
                                         : BuildTimePicture(field->timeFormat & 0x8007, buffer, fill);
    field->displayWidth = static_cast<uint32_t>(n);
    return n;
  }
  if (kind == kKindDateField || kind == kKindDateTimeField) {
    if (kind == kKindDateTimeField && (field->timeFormat & 0x30) == 0) field->timeFormat |= 0x30;
    const uint32_t style = field->formatCode & 0xF00F;
    const bool fourDigits = ((field->formatCode >> 4) & 0xF) != 0;
    std::string s;
    if (kind == kKindDateField || (field->timeFormat & 0x10)) {
      if (style == 0x9000 || style == 0xA000) {
        char b[200] = "";
        AppendDatePicture(doc, style, b);
        s = b;
      } else {
        std::string d = PictureWord(kPicDay), m, y;
        if (style >= 0x1000 && style <= 0x8000) m = PictureWord(kPicMonth2);
        else if (style >= 6 && style <= 10) m = PictureWord(kPicMonthLong);
        else m = PictureWord(kPicMonth3);
        y = PictureWord((style >= 6 && style <= 10) || fourDigits ? kPicYear4 : kPicYear2);
        char b[200];
        JoinDateParts(m.c_str(), d.c_str(), y.c_str(), b, style);
        s = b;
        if (style >= 6 && style <= 10 && !s.empty()) {
          uint32_t a = (field->formatCode >> 8) & 0xF;
          s[0] = a == 3 ? '>' : a == 2 ? '^' : '<';
        }
      }
    }
    if (kind == kKindDateTimeField && (field->timeFormat & 0x20)) {
      char b[64];
      if (field->timeFormat & 0x8000) BuildDefaultTimePicture(doc, b, fill);
      else BuildTimePicture(field->timeFormat & 0x8007, b, fill);
      if (!s.empty()) s += static_cast<char>(fill);
      s += b;
    }
    if (kind == kKindDateTimeField) field->displayWidth = static_cast<uint32_t>(s.size());
    std::strcpy(buffer, s.c_str());
    return static_cast<int>(s.size());
  }
  // Text, memo, logical: one mark character per column, the first an alignment mark.
  int width = static_cast<int>(std::min<uint32_t>(field->displayWidth, 254));
  char mark = (field->flags & kFieldLogical) ? '?' : (field->flags & kFieldMemo) ? 'm' : 'x';
  std::string s(static_cast<size_t>(width), mark);
  if (width > 0) {
    uint32_t a = (field->formatCode >> 4) & 0xF;
    uint32_t g = (field->formatCode >> 8) & 0xF;
    char guillemet = '=';
    if (g == 1 || g == 3) {
      const bool left = g == 3;
      guillemet = static_cast<char>(doc.guillemet ? doc.guillemet(doc.fonts, field->head.fontIndex, left)
                                                  : left ? 0xAB : 0xBB);
    }
    if (width == 1) {
      if (a == 4) s[0] = guillemet;
    } else {
      s[0] = a == 1 ? '<' : a == 2 ? '^' : a == 3 ? '>' : guillemet;
    }
  }
  std::strcpy(buffer, s.c_str());
  return width;
}
