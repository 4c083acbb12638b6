// The string and miscellaneous built-in functions (AT, LEN, LOWER, UPPER,
// SPACE, SUBSTR, TRIM, RTRIM, LTRIM, ASC, CHR, STR, ISALPHA, ISLOWER,
// ISUPPER, LEFT, RIGHT, REPLICATE, STUFF, STRSEARCH, STRCOUNT, STRREP,
// CAPFIRST, SOUNDEX, WDCOUNT, WORD, LIKE, RIPARAM, PERCOMP, KM, QUERY, CDLL,
// LIBNAME, UDFNAME, REPNAME, SQLEXP) and the type handlers of FLIP and TRANSFORM.
#pragma once

#include <cstddef>
#include <string>

// SUBSTR without a length takes at most this many characters.
constexpr int kSubstrDefaultLength = 1000;

// Words of text: maximal runs of characters that are not break characters.
int WordCount(const char* text, const char* breaks);
// The four-character code of the first word; empty for an empty text.
std::string Soundex(const char* text, const char* breaks);
// REPNAME's text: the stored name, or the title name without ".KMW";
// "Untitled" for a report never saved.
std::string ReportNameText(bool stored);
// Loads library, calls function(buffer) and unloads it; true when the
// function exists and returned non-zero. buffer[capacity] is always left 0.
bool CallUserLibrary(const char* library, const char* function, char* buffer, size_t capacity);
