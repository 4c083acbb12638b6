// The report's filter in words, as the Filter dialog's summary and the
// filter-description field show it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CKmComposite;

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

// Walkers over a stored condition code (the filter's): 1 when a field it
// tests is a total or rests on totals or PREVIOUS() (CodeUsesTotals), is a
// pre-processed total (CodeUsesPreTotal), or is a total or total-related
// field that is not pre-processed (CodeUsesUnprocessedTotal); else 0.
int CodeUsesTotals(CKmComposite* model, const uint8_t* code, size_t length);
int CodeUsesPreTotal(CKmComposite* model, const uint8_t* code, size_t length);
int CodeUsesUnprocessedTotal(CKmComposite* model, const uint8_t* code, size_t length);
