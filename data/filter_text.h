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

// A filter "like" pattern in SQL: unescaped '*' and '?' (and the alternative
// wildcards multi and single) become '%' and '_'; every other character is
// literal, written with the SQL escape where SQL would take it for a
// wildcard. Sets needsEscape when the pattern needs " escape '<escape>'".
std::string ConvertLikePattern(const char* pattern, char patternEscape, char sqlEscape, bool* needsEscape,
                               char multi = '%', char single = '_');
// The same pattern for GLOB: wildcards '*' and '?', literal '*', '?' and '['
// in brackets.
std::string ConvertGlobPattern(const char* pattern, char patternEscape, char multi, char single);

class DataAccess;
// True when the database's LIKE ignores case, which the program's match
// keeps: the condition is written with GLOB instead.
bool LikeFoldsCase(DataAccess* da);

