// The lines of a word-wrapped field's text: where each output line ends,
// and the look each of its characters prints in.
#pragma once

#include "engine/report_run.h"

#include <string>

struct FieldDef;
struct ReportItemHead;
struct ItemOutput;

// Fields whose width the printer library measures (third flag word).
constexpr uint32_t kFieldMeasuredWidth = 0x1 | 0x4;

// The character at *pos of the item's wrapped text with its style in bits
// 8-11; *font and *size receive the font index and size (tenths of a point)
// it prints in: those a memo's style codes chose, else the field's own (size
// 0: defaultSize). 0 at the end of the text; *pos advances by one.
WORD NextFieldChar(const ItemOutput& it, const ReportItemHead& h, int defaultSize, size_t* pos, int* font,
                   int* size);

// The next output line of the item's wrapped text from its wrapPos, cut by
// the rules of NextWrappedLine; the line is the text from wrapPos as it was.
// A measured field takes as many characters as the printer library finds
// room for in the field's width, measuring each in the font, style and size
// it prints in; any other field, and any field when the library cannot
// measure a character, takes widthInChars characters.
std::string LayoutFieldLine(ReportRun* run, ItemOutput& it, const FieldDef& field, int defaultSize,
                            int widthInChars);

// How much of a field's formatted text (length bytes, an escape character
// doubled) fits the field's width on the page: the text is cut before the
// first character whose width, added to those before it in the field's
// font, passes the field's width, both as the printer library measures
// them; without its measuring, at the field's width in characters.
int FittedTextLength(ReportRun* run, const FieldDef& field, int defaultSize, const char* text, int length);
