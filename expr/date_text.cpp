#include "expr/date_text.h"

#include "foundation/intl_settings.h"
#include "foundation/text_helpers.h"

#include <cctype>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

void CutTrailingBlanks(std::string& s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
}

// Reads the three groups of a work form; the copy is bounded to 8 characters.
std::string WorkCopy(const char* work) {
  std::string w(work, strnlen(work, 8));
  CutTrailingBlanks(w);
  return w;
}

int ReadGroups(const std::string& w, bool wildcards, int32_t& month, int32_t& day, int32_t& year) {
  const char* p = w.c_str();
  size_t n = w.size();
  const char* g1 = p;
  const char* g2 = n > 2 ? p + 2 : p + n;
  const char* g3 = n > 4 ? p + 4 : p + n;
  if (ParseDigitGroup(g1, 2, month, wildcards)) return 1;
  if (ParseDigitGroup(g2, 2, day, wildcards)) return 1;
  if (ParseDigitGroup(g3, 4, year, wildcards)) return 1;
  return 0;
}

uint8_t PartByte(int32_t v) {
  if (v == -2) return 254;
  if (v == -1) return 255;
  // Anything larger than a byte can hold is invalid in every place.
  return static_cast<uint8_t>(v > 253 ? 253 : v);
}

bool HasWildcard(const std::string& w) {
  return w.find('*') != std::string::npos || w.find('@') != std::string::npos;
}

}  // namespace

void GetDateOrder(DateSettings& s) {
  if (s.shortDate[0] == '\0') {
    s.dateOrder[0] = 'm';
    s.dateOrder[1] = 'd';
    s.dateOrder[2] = 'y';
    return;
  }
  char pic[80];
  size_t n = strnlen(s.shortDate, 79);
  int pm = -1, pd = -1, py = -1;
  for (size_t i = 0; i < n; ++i) {
    pic[i] = Lower(s.shortDate[i]);
    char c = pic[i];
    if (c == 'm') {
      if (pm < 0) pm = static_cast<int>(i);
    } else if (c == 'd') {
      if (pd < 0) pd = static_cast<int>(i);
    } else if (c == 'y') {
      if (py < 0) py = static_cast<int>(i);
    } else {
      s.dateSeparator = c;
    }
  }
  char* o = s.dateOrder;
  if (pm >= pd) {
    if (py >= pd) {
      o[0] = 'd';
      if (py >= pm) { o[1] = 'm'; o[2] = 'y'; } else { o[1] = 'y'; o[2] = 'm'; }
    } else {
      o[0] = 'y'; o[1] = 'd'; o[2] = 'm';
    }
  } else {
    if (py >= pm) {
      o[0] = 'm';
      if (py >= pd) { o[1] = 'd'; o[2] = 'y'; } else { o[1] = 'y'; o[2] = 'd'; }
    } else {
      o[0] = 'y'; o[1] = 'm'; o[2] = 'd';
    }
  }
}

void FormatDateOrder(DateSettings& s, char* out) {
  GetDateOrder(s);
  out[0] = s.dateOrder[0];
  out[1] = '/';
  out[2] = s.dateOrder[1];
  out[3] = '/';
  out[4] = s.dateOrder[2];
  out[5] = '\0';
}

int ParseDigitGroup(const char* text, int width, int32_t& value, bool wildcards) {
  enum { kNothing, kDigits, kWildcard, kEnded } state = kNothing;
  int32_t v = 0;
  for (int i = 0; i < width && text[i]; ++i) {
    char c = text[i];
    if (c == ' ') {
      if (state == kDigits || state == kWildcard) state = kEnded;
    } else if (c == '*' || c == '@') {
      if (!wildcards || state != kNothing) return 1;
      v = (c == '*') ? -2 : -1;
      state = kWildcard;
    } else if (c >= '0' && c <= '9') {
      if (state == kEnded || state == kWildcard) return 1;
      if (v < 100000000) v = v * 10 + (c - '0');
      state = kDigits;
    } else {
      return 1;
    }
  }
  if (state == kNothing) return 1;
  value = v;
  return 0;
}

int ParseWorkDate(const char* work, uint32_t& out) {
  std::string w = WorkCopy(work);
  if (w.empty()) {
    out = EmptyDate;
    return 0;
  }
  int32_t m, d, y;
  if (ReadGroups(w, false, m, d, y)) return 1;
  DateParts p;
  p.year = y;
  p.month = PartByte(m);
  p.day = PartByte(d);
  DayNumber day;
  if (YMDToJulian(p, day)) return 1;
  out = static_cast<uint32_t>(day);
  return 0;
}

int ParseWorkDatePattern(const char* work, DateParts& out) {
  std::string w = WorkCopy(work);
  int32_t m, d, y;
  if (ReadGroups(w, true, m, d, y)) return 1;
  DateParts p;
  p.year = y;
  p.month = PartByte(m);
  p.day = PartByte(d);
  if (ValidateDateParts(p)) return 1;
  out = p;
  return 0;
}

uint32_t PackDatePattern(const DateParts& p) {
  return 0x80000000u | ((static_cast<uint32_t>(p.year) & 0x7FFFu) << 16) |
         (static_cast<uint32_t>(p.month) << 8) | p.day;
}

int ParseWorkDateOrPattern(const char* work, uint32_t& out) {
  if (!HasWildcard(WorkCopy(work))) return ParseWorkDate(work, out);
  DateParts p;
  if (ParseWorkDatePattern(work, p)) return 1;
  out = PackDatePattern(p);
  return 0;
}

int CheckWorkDate(const char* work) {
  std::string w = WorkCopy(work);
  if (w.empty()) return -1;
  int32_t m, d, y;
  if (ReadGroups(w, true, m, d, y)) return 0;
  DateParts p;
  p.year = y;
  p.month = PartByte(m);
  p.day = PartByte(d);
  if (ValidateDateParts(p)) return 0;
  bool plain = m >= 0 && d >= 0 && y >= 0;
  if (plain) {
    uint32_t day;
    if (ParseWorkDate(work, day)) return 1390;
  }
  return -1;
}

char PickDateSeparator(const DateSettings& s, const std::string& text) {
  if (s.dateSeparator != 0 && text.find(s.dateSeparator) != std::string::npos) return s.dateSeparator;
  for (char c : {'-', '/', '.'})
    if (text.find(c) != std::string::npos) return c;
  return ' ';
}

uint32_t ParseDateText(const DateSettings& s, const char* text) {
  std::string t(text);
  for (char& c : t)
    if (c == s.padChar) c = ' ';

  const char sep = PickDateSeparator(s, t);

  size_t start = t.find_first_not_of(' ');
  if (start == std::string::npos) return EmptyDate;
  size_t s1 = t.find(sep, start);
  if (s1 == std::string::npos) return InvalidDate;
  size_t c2 = t.find_first_not_of(' ', s1 + 1);
  if (c2 == std::string::npos) c2 = t.size();
  size_t s2 = t.find(sep, c2);
  if (s2 == std::string::npos) return InvalidDate;

  std::string comp[3] = {t.substr(start, s1 - start), t.substr(c2, s2 - c2), t.substr(s2 + 1)};
  CutTrailingBlanks(comp[2]);

  char work[9];
  std::memset(work, ' ', 8);
  work[8] = '\0';
  for (int i = 0; i < 3; ++i) {
    const std::string& c = comp[i];
    if (c.empty()) continue;
    char part = s.dateOrder[i];
    if (part == 'y') {
      std::memcpy(work + 4, c.data(), c.size() < 4 ? c.size() : 4);
    } else {
      char* g = work + (part == 'm' ? 0 : 2);
      if (c.size() == 1)
        g[1] = c[0];
      else if (c.size() == 2)
        std::memcpy(g, c.data(), 2);
      else
        return InvalidDate;
    }
  }

  if (CheckWorkDate(work) != -1) return InvalidDate;
  uint32_t value;
  if (ParseWorkDateOrPattern(work, value)) return InvalidDate;
  return value;
}

int IsDigitGroup(const char* text) {
  if (!text) return 0;
  if (!*text) return 1;
  for (; *text; ++text)
    if (*text < '0' || *text > '9') return 1;
  return 0;
}

int ParseAmPmMarker(const DateSettings& s, const char* marker, bool& afternoon) {
  if (EqualNoCase(marker, "am") || EqualNoCase(marker, "a.m.") ||
      (s.morningMarker[0] && EqualNoCase(marker, s.morningMarker))) {
    afternoon = false;
    return 0;
  }
  if (EqualNoCase(marker, "pm") || EqualNoCase(marker, "p.m.") ||
      ((s.timeFlags & 0x8000) && s.afternoonMarker[0] && EqualNoCase(marker, s.afternoonMarker))) {
    afternoon = true;
    return 0;
  }
  return 1;
}

double ReadTimeText(const DateSettings& s, const char* text, int mode) {
  const double kFail = std::numeric_limits<double>::infinity();
  std::string t(text);
  bool hasMarker = false, afternoon = false;
  if (mode == 0) {
    size_t pos = std::string::npos;
    for (char c : {'A', 'a', 'P', 'p'}) {
      pos = t.find(c);
      if (pos != std::string::npos) break;
    }
    bool localMarkers = !(s.timeFlags & 0x8000);
    for (const char* mk : {s.morningMarker, s.afternoonMarker}) {
      if (pos != std::string::npos || !localMarkers || !mk[0]) continue;
      pos = t.find(Upper(mk[0]));
      if (pos == std::string::npos) pos = t.find(Lower(mk[0]));
    }
    if (pos != std::string::npos) {
      if (ParseAmPmMarker(s, t.c_str() + pos, afternoon)) return kFail;
      hasMarker = true;
      t.resize(pos);
    }
  }

  char split = t.find(':') != std::string::npos ? ':' : s.timeSeparator;
  std::string groups[3];
  int count = 0;
  size_t from = 0;
  while (count < 3) {
    size_t at = (count < 2) ? t.find(split, from) : std::string::npos;
    groups[count++] = t.substr(from, at == std::string::npos ? std::string::npos : at - from);
    if (at == std::string::npos) break;
    from = at + 1;
  }
  double v[3] = {0, 0, 0};
  for (int i = 0; i < count; ++i) {
    if (IsDigitGroup(groups[i].c_str())) return kFail;
    double x = 0;
    for (char c : groups[i]) x = x * 10 + (c - '0');
    v[i] = x;
  }
  double h = v[0], m = v[1], sec = v[2];
  if (mode == 0 && !hasMarker && h >= 24) return kFail;
  if (hasMarker) {
    if (afternoon) {
      if (h != 12) h += 12;
    } else if (h == 12) {
      h = 0;
    }
  }
  if (mode == 0 && (h >= 24 || m >= 60 || sec >= 60)) return kFail;
  double r = (h * 60 + m) * 60 + sec;
  return mode == 0 ? r * 1000000.0 : r;
}

int LooksLikeTime(const DateSettings& s, const char* text) {
  size_t n = std::strlen(text);
  if (n == 0) return 0;
  char last = Upper(text[n - 1]);
  if (last == '.' || last == 'M') return 1;
  for (const char* mk : {s.morningMarker, s.afternoonMarker}) {
    size_t k = std::strlen(mk);
    if (k && last == Upper(mk[k - 1])) return 1;
  }
  if (std::strchr(text, ':') || (s.timeSeparator && std::strchr(text, s.timeSeparator))) return 1;
  return 0;
}

int ParseDateTimeLiteral(const DateSettings& s, const char* text, double& time, uint32_t& date) {
  const double kInf = std::numeric_limits<double>::infinity();
  const char* p = text;
  while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
  std::string t(p, strnlen(p, 59));
  CutTrailingBlanks(t);
  time = kNullNumber;
  date = EmptyDate;

  auto readTime = [&](const std::string& tp) {
    double v = ReadTimeText(s, tp.c_str(), 0);
    if (v == kInf) return false;
    time = v;
    return true;
  };

  size_t firstBlank = t.find(' ');
  if (firstBlank == std::string::npos) {
    if (!LooksLikeTime(s, text)) {
      date = ParseDateText(s, t.c_str());
      return date == InvalidDate ? kLiteralBad : kLiteralDate;
    }
    return readTime(t) ? kLiteralTime : kLiteralBad;
  }

  std::string first = t.substr(0, firstBlank);
  size_t restAt = t.find_first_not_of(' ', firstBlank);
  size_t lastBlank = t.rfind(' ');
  std::string middle, lastWord;
  bool hasLast = lastBlank > restAt;
  if (hasLast) {
    middle = t.substr(restAt, lastBlank - restAt);
    CutTrailingBlanks(middle);
    lastWord = t.substr(lastBlank + 1);
  } else {
    middle = t.substr(restAt);
  }

  bool hasDate = false, hasTime = false;
  std::string datePart, timePart;
  if (!LooksLikeTime(s, first.c_str())) {
    hasDate = true;
    datePart = first;
    if (LooksLikeTime(s, middle.c_str())) {
      hasTime = true;
      timePart = middle + (hasLast ? lastWord : std::string());
    }
  } else {
    hasTime = true;
    timePart = first;
    if (hasLast) {
      hasDate = true;
      datePart = lastWord;
    } else if (ParseDateText(s, middle.c_str()) != InvalidDate) {
      hasDate = true;
      datePart = middle;
    } else {
      timePart += middle;
    }
  }

  CutTrailingBlanks(datePart);
  CutTrailingBlanks(timePart);
  if (!hasDate) return readTime(timePart) ? kLiteralTime : kLiteralBad;
  if (!hasTime) {
    date = ParseDateText(s, datePart.c_str());
    if (date == InvalidDate) date = ParseDateText(s, t.c_str());
    return date == InvalidDate ? kLiteralBad : kLiteralDate;
  }
  date = ParseDateText(s, datePart.c_str());
  bool timeOk = readTime(timePart);
  if (!timeOk || date == InvalidDate) {
    time = kNullNumber;
    return kLiteralBad;
  }
  return kLiteralDateTime;
}

void ApplyIntlDateSettings(const IntlSettings& intl, DateSettings& out) {
  std::snprintf(out.shortDate, sizeof out.shortDate, "%.*s", static_cast<int>(sizeof intl.sShortDate),
                intl.sShortDate);
  out.timeSeparator = intl.sTime ? intl.sTime : ' ';
  std::snprintf(out.morningMarker, sizeof out.morningMarker, "%.*s", static_cast<int>(sizeof intl.s1159), intl.s1159);
  std::snprintf(out.afternoonMarker, sizeof out.afternoonMarker, "%.*s", static_cast<int>(sizeof intl.s2359),
                intl.s2359);
  for (char* p : {out.morningMarker, out.afternoonMarker})
    for (; *p; ++p) *p = Lower(*p);
  out.timeFlags = intl.timeFlags | 1;
  GetDateOrder(out);
}
