// Dates, date patterns, date-times and times as values of selection
// conditions: read from the braces of the value text, checked against the
// field, written as condition tokens and written back as text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "expr/calendar.h"

class CKmComposite;

struct ConditionDate {
  uint8_t token = 0;  // '$' date, '0' date-time, '1' time; 0 for blank braces
  uint32_t date = EmptyDate;
  double time = kNullNumber;
};

// Reads the text between the braces: 0 with the value, or the invalid-date code.
int ReadConditionDate(CKmComposite* m, const char* begin, const char* end, ConditionDate* out);
// 0 when the value suits a field of the kind (a date suits a date-time field
// as its day without a time), else the field kind's error code.
int CheckConditionDateKind(const ConditionDate& v, uint32_t fieldKind);
// The token for a field of the kind: its size, and the bytes (out holds the size).
size_t ConditionDateSize(const ConditionDate& v, uint32_t fieldKind);
size_t WriteConditionDate(uint8_t* out, const ConditionDate& v, uint32_t fieldKind);
// The value text "{...}" of a stored token of n bytes; "{}" for a null or short token.
std::string FormatConditionDate(CKmComposite* m, const uint8_t* token, size_t n);
// Range order: day numbers, then times.
int CompareConditionDates(const ConditionDate& a, const ConditionDate& b);
