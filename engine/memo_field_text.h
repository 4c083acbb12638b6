// The whole text of a word-wrapped field as band output prints it: a memo's
// or a long text column's through the model's memo reader (line ends made
// word and paragraph breaks, field codes filled in), any other field's from
// its value buffer.
#pragma once

#include "engine/band_output.h"

#include <string>

// Texts longer than this print cut here.
constexpr size_t kMaxPrintedMemo = 1u << 20;

// A memo that cannot be read is told once per pass and prints what was read
// of it.
bool WrappedFieldWholeText(ReportRun* run, const FieldDef* field, const BYTE* value, std::string* text);
// The whole text into the item's wrapText, a memo's with the look its style
// codes give each character.
bool WrappedFieldStyledText(ReportRun* run, const FieldDef* field, const BYTE* value, ItemOutput* item);
