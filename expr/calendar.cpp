#include "expr/calendar.h"

#include "foundation/heap_strings.h"

#include <cmath>
#include <cstring>
#include <ctime>

namespace {

// Month lengths from March: index 0 March .. 10 January, 11 February.
const uint8_t kMarchMonthDays[12] = {31, 30, 31, 30, 31, 31, 30, 31, 30, 31, 31, 28};

bool IsShiftedLeapYear(int32_t y) {
  return (y & 3) == 3 && !(y % 100 == 99 && y % 400 != 399);
}

// Double to unsigned 32 bits without undefined behaviour for NaN or huge values.
uint32_t ClampToU32(double v) {
  if (!(v > 0)) return 0;
  if (v >= 4294967295.0) return 0xFFFFFFFFu;
  return static_cast<uint32_t>(v);
}

}  // namespace

int ValidateDateParts(DateParts& p) {
  if (p.day == 0 || (p.day >= 32 && p.day <= 253)) return 1;
  if (p.month == 0 || (p.month >= 13 && p.month <= 253)) return 1;
  if ((p.year >= 100 && p.year <= 1599) || p.year > 2400) return 1;
  if (p.year == 1600 && (p.month == 1 || p.month == 2)) return 1;
  if (p.year > 99)
    p.year -= 1600;
  else if (p.year >= 0)
    p.year += 300;  // a two-digit year always means 1900 to 1999
  return 0;
}

int ShiftToMarchYear(const DateParts& in, DateParts& shifted) {
  DateParts p = in;
  if (ValidateDateParts(p)) return 1;
  // Wildcards describe a set of dates, not one day.
  if (p.year < 0 || p.month > 12 || p.day > 31) return 1;
  int32_t y = (p.month == 1 || p.month == 2) ? p.year - 1 : p.year;
  int m = (p.month + 9) % 12;
  if (p.day > kMarchMonthDays[m]) {
    if (!(m == 11 && p.day == 29 && IsShiftedLeapYear(y))) return 1;
  }
  shifted = DateParts{};
  shifted.year = y;
  shifted.month = static_cast<uint8_t>(m);
  shifted.day = p.day;
  return 0;
}

DayNumber MarchDateToDays(const DateParts& s) {
  int32_t y = s.year;
  int32_t r = y % 400;
  int32_t days = 365 * y + 97 * (y / 400) + r / 4 - r / 100;
  for (int i = 0; i < s.month && i < 12; ++i) days += kMarchMonthDays[i];
  return days + s.day - 1;
}

int YMDToJulian(const DateParts& parts, DayNumber& out) {
  DateParts s;
  if (ShiftToMarchYear(parts, s)) return 1;
  out = MarchDateToDays(s);
  return 0;
}

int32_t DivMod(int32_t dividend, int32_t divisor, int32_t& remainder) {
  remainder = dividend % divisor;
  return dividend / divisor;
}

int JulianToYMD(DayNumber n, DateParts& out) {
  out = DateParts{};
  if (!IsRealDay(n)) return 1;
  int32_t r, r4;
  int32_t q400 = DivMod(n, 146097, r);
  int32_t q100 = DivMod(r, 36524, r);
  int32_t q4 = DivMod(r, 1461, r4);
  int32_t y = 400 * q400 + 100 * q100 + 4 * q4 + r4 / 365;
  int day = r4 % 365 + 1;
  int m = 0;
  if (r4 == 1460 || (r4 == 0 && q100 == 4)) {
    day = 29;
    m = 11;
    y -= 1;
  } else {
    while (m < 11 && day > kMarchMonthDays[m]) day -= kMarchMonthDays[m++];
  }
  out.year = (m >= 10) ? y + 1601 : y + 1600;
  int month = (m + 3) % 12;
  out.month = static_cast<uint8_t>(month == 0 ? 12 : month);
  out.day = static_cast<uint8_t>(day);
  out.weekday = static_cast<uint8_t>((n % 7 + 3) % 7);
  return 0;
}

void DateDiffYMD(DayNumber first, DayNumber second, DateSpan& out) {
  DateParts a, b;
  JulianToYMD(first, a);
  JulianToYMD(second, b);
  int32_t years = b.year - a.year;
  int32_t months = static_cast<int32_t>(b.month) - a.month;
  if (b.day < a.day) --months;
  if (months < 0) {
    --years;
    months += 12;
  }
  out.years = years;
  out.months = static_cast<uint8_t>(months);
}

void TimeToMicroseconds(const TimeParts& t, double& out) {
  out = ((t.hours * 60.0 + t.minutes) * 60.0 + t.seconds) * 1000000.0 +
        static_cast<double>(t.microseconds);
}

void MicrosecondsToTime(double micros, TimeParts& out) {
  if (!std::isfinite(micros)) micros = 0;
  double rem = std::fmod(micros, 1000000.0);
  out.microseconds = ClampToU32(std::trunc(rem));
  uint32_t s = ClampToU32(std::trunc((micros - rem) * 1.00000001e-6));
  out.seconds = static_cast<uint8_t>(s % 60);
  out.minutes = static_cast<uint8_t>((s / 60) % 60);
  out.hours = static_cast<uint8_t>(s / 3600);
}

void SplitSeconds(double t, uint32_t words[3], int mode) {
  if (!std::isfinite(t)) t = 0;
  words[2] = ClampToU32(std::trunc(std::fmod(t, 60.0)));
  uint32_t minutes = ClampToU32(std::trunc(t * 1.00000001 / 60.0));
  if (mode == 2) {
    words[1] = minutes;
  } else if (mode == 1) {
    words[1] = minutes % 60;
    words[0] = minutes / 60;
  }
}

void GetToday(DateParts& out) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  out.year = tm.tm_year + 1900;
  out.month = static_cast<uint8_t>(tm.tm_mon + 1);
  out.day = static_cast<uint8_t>(tm.tm_mday);
}

void GetNowTime(TimeParts& out) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  out.hours = static_cast<uint8_t>(tm.tm_hour);
  out.minutes = static_cast<uint8_t>(tm.tm_min);
  out.seconds = static_cast<uint8_t>(tm.tm_sec);
}

const char* GetDayName(int weekday) {
  if (weekday < 0 || weekday > 6) return "";
  return GetResString(1200 + weekday, 0);
}

const char* GetMonthName(int month) {
  if (month < 1 || month > 12) return "";
  return GetResString(1207 + month, 0);
}

int TrimTrailingChar(char* text, char c) {
  int n = static_cast<int>(std::strlen(text));
  while (n > 0 && text[n - 1] == c) --n;
  text[n] = '\0';
  return n;
}

int StripTrailingChar(char* text, char c) { return TrimTrailingChar(text, c); }

const char* FindExtension(const char* path) {
  const char* dot = std::strrchr(path, '.');
  const char* slash = std::strrchr(path, '\\');
  if (dot && (!slash || dot > slash)) return dot;
  return path + std::strlen(path);
}

char* FindExtension(char* path) {
  return const_cast<char*>(FindExtension(static_cast<const char*>(path)));
}
