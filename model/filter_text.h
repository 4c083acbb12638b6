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

// Walkers over the stored condition code.
int CodeUsesTotals(CKmComposite* model, const uint8_t* code, size_t length);
int CodeUsesPreTotal(CKmComposite* model, const uint8_t* code, size_t length);
int CodeUsesUnprocessedTotal(CKmComposite* model, const uint8_t* code, size_t length);

// The filter in words, row by row ("and CUST.CITY equal to 'Oslo'").
struct SelectConditionRow;
std::string FormatFilterCondition(CKmComposite* model, const SelectConditionRow& row);
// The same into a buffer, cut to fit; the length written.
size_t FormatFilterCondition(CKmComposite* model, const SelectConditionRow& row, char* out, size_t outSize);
// "Include all records where " and the rows separated by one blank; false
// when the report has no filter (the model's describeFilter hook).
bool DescribeFilter(CKmComposite* model, std::string* out);
// The bytes the description takes (text and its NUL); 0 without a filter or
// without memory ("Insufficient memory" is shown then).
size_t BuildFilterSpecText(CKmComposite* model);
// Writes the description into buffer; when it does not fit in size bytes
// the buffer is left empty. The length written.
size_t GetFilterSpecText(CKmComposite* model, char* buffer, size_t size);
// Makes the model describe its filter in words (the value of a field that
// shows the filter).
void InstallFilterDescription(CKmComposite* model);
