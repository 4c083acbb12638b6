// The record filter written as an SQL condition for the report's SELECT, so
// that the database returns fewer rows; conditions without an SQL form are
// left out and the caller told so (the program then filters every row).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CKmComposite;

// Appends lead, " (", the conditions and ") " to text (nothing when no
// condition could be written). True when the filter was not written whole.
bool FilterToText(CKmComposite* model, std::string* text, const char* lead);

// A filter "like" pattern in SQL: unescaped '*' and '?' become '%' and '_';
// characters made literal by the escape character are written with an SQL
// escape. Sets needsEscape when the pattern needs " escape '<escape>'".
std::string ConvertLikePattern(const char* pattern, char patternEscape, char sqlEscape, bool* needsEscape);

