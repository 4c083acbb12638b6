// Calendar arithmetic: day numbers of a fixed Gregorian range, time-of-day
// conversions and the names of days and months. Free functions, no state.
#pragma once

#include "platform/win/win_types.h"

#include <cstdint>

// Signed count of days; day 0 is 1 March 1600, the last valid day 31 December 2400.
using DayNumber = int32_t;

constexpr DayNumber kFirstDay = 0;
constexpr DayNumber kLastDay = 292499;
// Reserved values outside the range, shared by every user of dates.
constexpr uint32_t EmptyDate = 0x80000001u;
constexpr uint32_t InvalidDate = 0x7FFFFFFFu;

// The system's null number (a time that is absent takes it).
constexpr double kNullNumber = -1.7976931348623157e308;

// True for a value with bit 31 set other than EmptyDate: a date with wildcard parts.
inline bool IsDatePattern(uint32_t value) { return (value & 0x80000000u) != 0 && value != EmptyDate; }
inline bool IsRealDay(int64_t day) { return day >= kFirstDay && day <= kLastDay; }

// Year -1 / -2 and month or day 255 / 254 are the "@" / "*" wildcard markers.
struct DateParts {
  int32_t year = 0;
  uint8_t month = 0;
  uint8_t day = 0;
  uint8_t weekday = 0;  // 0 Sunday .. 6 Saturday; written only by JulianToYMD
};

struct DateSpan {
  int32_t years = 0;
  uint8_t months = 0;
};

struct TimeParts {
  uint8_t hours = 0;
  uint8_t minutes = 0;
  uint8_t seconds = 0;
  uint32_t microseconds = 0;
};

// 0 valid, 1 invalid; on success the year is rewritten to the shifted year
// (year - 1600, or a two-digit year + 300; wildcard years stay).
int ValidateDateParts(DateParts& parts);
// Validates, then moves the year start to 1 March: year = shifted year, month 0
// (March) to 11 (February). Wildcard parts cannot be shifted and give 1.
int ShiftToMarchYear(const DateParts& in, DateParts& shifted);
DayNumber MarchDateToDays(const DateParts& shifted);
// 0 and the day number, or 1 with out left untouched.
int YMDToJulian(const DateParts& parts, DayNumber& out);
// 0 and the parts with weekday; 1 for a day outside the range (parts zeroed).
int JulianToYMD(DayNumber day, DateParts& out);
// Second minus first in whole years and months (months 0..11).
void DateDiffYMD(DayNumber first, DayNumber second, DateSpan& out);
// Truncating division.
int32_t DivMod(int32_t dividend, int32_t divisor, int32_t& remainder);

void TimeToMicroseconds(const TimeParts& parts, double& out);
void MicrosecondsToTime(double micros, TimeParts& out);
// words[2] = seconds; mode 1: words[1] minutes, words[0] hours; mode 2: words[1] total minutes.
void SplitSeconds(double seconds, uint32_t words[3], int mode);

void GetToday(DateParts& out);
void GetNowTime(TimeParts& out);
// Loaded into slot 0 of the string loader: copy at once.
const char* GetDayName(int weekday);
const char* GetMonthName(int month);

// Cut every trailing copy of c in place; return the new length.
int TrimTrailingChar(char* text, char c);
int StripTrailingChar(char* text, char c);
// The last "." after the last "\", or the terminator.
char* FindExtension(char* path);
const char* FindExtension(const char* path);
