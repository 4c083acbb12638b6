// Date and time text: dates in the regional order, wildcard date patterns and
// times with morning and afternoon markers, turned into calendar values.
#pragma once

#include "expr/calendar.h"
#include "expr/date_settings.h"

#include <cstdint>
#include <string>

// Sets the date separator and order from the short-date picture.
void GetDateOrder(DateSettings& s);
// Runs GetDateOrder and writes "%c/%c/%c" of the order letters (out holds 6 bytes).
void FormatDateOrder(DateSettings& s, char* out);

// Reads at most width characters: 0 and the value (-2 for "*", -1 for "@"), or 1.
int ParseDigitGroup(const char* text, int width, int32_t& value, bool wildcards);
// Work form: 8 characters, month 1-2, day 3-4, year 5-8, blanks allowed.
// 0 with a day number or EmptyDate for a blank text; 1 on a bad group or date.
int ParseWorkDate(const char* work, uint32_t& out);
int ParseWorkDatePattern(const char* work, DateParts& out);
uint32_t PackDatePattern(const DateParts& parts);
// Without wildcards: ParseWorkDate; with them: the packed pattern. 0 or 1.
int ParseWorkDateOrPattern(const char* work, uint32_t& out);
// -1 when blank, a valid date or a valid pattern; 1390 (the id of "Invalid
// date") when the parts validate but form no real date; 0 otherwise.
int CheckWorkDate(const char* work);
// The separator a date text is split at: the regional one when the text holds
// it, else the first of "-", "/" and "." that it holds, else a blank.
char PickDateSeparator(const DateSettings& s, const std::string& text);
// A DayNumber, EmptyDate, a DatePattern or InvalidDate.
uint32_t ParseDateText(const DateSettings& s, const char* text);

// 0 when absent or made only of digits; 1 when empty or holding anything else.
int IsDigitGroup(const char* text);
// 0 and the afternoon flag, or 1 (not a marker).
int ParseAmPmMarker(const DateSettings& s, const char* marker, bool& afternoon);
// Mode 0: microseconds since midnight; mode 1: seconds without limits.
// Positive infinity when the text cannot be read.
double ReadTimeText(const DateSettings& s, const char* text, int mode);
int LooksLikeTime(const DateSettings& s, const char* text);

enum DateTimeLiteralKind { kLiteralDate = 1, kLiteralDateTime = 2, kLiteralTime = 3, kLiteralBad = -1 };
// 1 date, 2 date and time, 3 time, -1 unreadable; the time is kNullNumber
// when absent, the date EmptyDate when absent.
int ParseDateTimeLiteral(const DateSettings& s, const char* text, double& time, uint32_t& date);
