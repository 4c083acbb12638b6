// The numeric and logical built-in functions (MIN, MAX, EXP, INT, LOG,
// ROUND, SQRT, VAL, PAGENO, COPY, RECNO, KMUNIN, ABS, MOD, IIF, INRANGE,
// INLIST, ERROR, CASE, SPELLNUM, PREVIOUS, ISNULL) and the routines behind them.
#pragma once

#include <cstdint>
#include <string>

// x rounded to n decimals, half away from zero. Values whose scaled
// magnitude is past 2^52, and scales that overflow, give x unchanged; a scale
// that underflows gives 0.
double RoundHalfAway(double x, double n);
// The number at the start of text as the C runtime's atof reads it, without
// hexadecimal, infinity or NaN forms; 0 when there is none.
double ReadLeadingNumber(const char* text);
// The integer part of x in words, first letter in upper case. False (and
// '*' characters) when the text would pass limit or x cannot be spelt.
bool SpellNumber(double x, uint32_t limit, std::string* out);
