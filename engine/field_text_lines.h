// The lines of a word-wrapped field's text: where each output line ends.
#pragma once

#include "engine/report_run.h"

#include <string>

struct FieldDef;
struct ReportItemHead;

// Fields whose width the printer library measures (third flag word).
constexpr uint32_t kFieldMeasuredWidth = 0x1 | 0x4;

// The next output line of a word-wrapped field's text from *pos, cut by the
// rules of NextWrappedLine. A measured field takes as many characters as
// the printer library finds room for in the field's width, measuring each
// in the field's font, style and size (size 0: defaultSize); any other field,
// and any field when the library cannot measure a character, takes
// widthInChars characters.
std::string LayoutFieldLine(ReportRun* run, const FieldDef& field, const ReportItemHead& h, int defaultSize,
                            const std::string& text, size_t* pos, int widthInChars);
