// Numbers read and written in the "C" locale, whatever locale the user or a
// library has set: the program's files and settings always use '.' and no
// thousands separator.
#pragma once

#include <cstddef>
#include <string>

// strtod in the "C" locale; end (when given) receives the first unread character.
double StrToDoubleC(const char* text, char** end);
// atol semantics (leading blanks, sign, digits; 0 when none), saturated at the
// 32-bit range, independent of the locale.
long AtolC(const char* text);
// snprintf in the "C" locale (for the floating-point formats the bounded
// integer formatter does not do); bounded, returns the count written.
int FormatC(char* buf, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
// The value in the given radix (2 to 36), lower-case digits, a '-' only for a
// negative value in radix 10 (other radixes show the 32-bit pattern), bounded.
char* LongToText(long value, char* buf, size_t size, int radix);
