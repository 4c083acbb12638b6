// The checks before a print or preview run: the report must be able to run
// as it stands, or the user is told what to edit and nothing is printed.
#pragma once

#include <functional>
#include <string>

class CKmDoc;

// The chart check (the charts' side): false after its own message, when a
// chart must be edited. None set: the charts pass.
using ChartCheck = std::function<bool(CKmDoc& doc)>;
void SetChartCheck(ChartCheck check);

// In this order, stopping at the first failure with its message: the
// charts, then every calculated field and total condition in use must have
// compiled code. True when the report can run.
bool CheckChartsBeforeOutput(CKmDoc& doc);
// A calculation or total condition that no longer compiles (a renamed
// column, a deleted user function) would print something wrong: false, and
// the message naming it.
bool CheckCalculationsCompile(CKmDoc& doc);
// Whether a calculated field's formula calls COPY (which needs the copy
// number, so the copies are made one pass at a time).
bool UsesCopyFunction(CKmDoc& doc);
// Whether a formula's text calls the named function (a word followed by "(").
bool FormulaCalls(const char* text, const char* function);
