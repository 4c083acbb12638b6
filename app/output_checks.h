// The checks before a print or preview run: the report must be able to run
// as it stands, or the user is told what to edit and nothing is printed.
#pragma once

#include <string>

class CKmDoc;

struct FieldDef;

// In this order, stopping at the first failure with its message: a filter
// over deleted fields, a user function the report calls
// that no longer compiles, every calculated field and total condition
// in use must have compiled code, then the totals check below. True when
// the report can run.
bool CheckChartsBeforeOutput(CKmDoc& doc);
// A lookup table's linking field that must be edited: one no longer in its
// table, or a calculated one the data source can no longer be given as SQL.
FieldDef* FindBrokenJoinField(CKmDoc& doc);
// A broken join stops the run: false after the message naming the field
// and its table.
bool CheckJoinFields(CKmDoc& doc);
// "Numeric", "Character", "Date", ... by the field's kind.
std::string FieldTypeName(const FieldDef* f);
// A calculation or total condition in use that no longer compiles (a
// renamed column, a deleted user function) would print something wrong:
// false, and the message naming it.
bool CheckCalculationsCompile(CKmDoc& doc);
// The totals, the filter and the sort and group order agree (no filter on a
// running total while others are pre-processed, a filter only on the
// lowest level's pre-processed totals, each pre-processed total at a level
// that groups); else the engine's message, and false.
bool CheckTotalsBeforeOutput(CKmDoc& doc);
// Whether a calculated field's formula calls COPY (which needs the copy
// number, so the copies are made one pass at a time).
bool UsesCopyFunction(CKmDoc& doc);
// Whether a formula's text calls the named function (a word followed by "(").
bool FormulaCalls(const char* text, const char* function);
