// The text of one output line of a band: the items of one band line in
// vertical order written into the output stream with their positions,
// alignment, fonts, colours and vertical offsets; word-wrapped and memo
// fields continued over the following output lines.
#pragma once

#include "engine/band_output.h"

#include <cstdint>
#include <vector>

// A line text never grows past this many bytes; a piece that would pass it
// is left off.
constexpr int kMaxLineText = 32767;

// Builds the text of output line line of band into lineText (emptied
// first). heldCount and continuingCount are the band's counts of held items
// and of items continuing on later lines; repeatLine is true when the same
// layout line is output again for a continuation; height receives the
// line's explicit height in decipoints (0: automatic). Returns kLineNothing,
// kLineEmpty or kLineText; -1 after a failure (the run state is set).
int OutputBandObjects(ReportRun* run, std::vector<BYTE>* lineText, bool measureOnly, int line, int band,
                      int* heldCount, int* continuingCount, bool repeatLine, LONG* height);

// The next entry of s->items at or after start to output in line (-1 none).
int NextLineItem(ReportRun* run, int start, int line, int band, int* heldCount);
// Whether the entry waits for an active item above it (updates its hold).
bool IsItemHeld(ReportRun* run, int entry, int band, int* heldCount);
// Whether a band line from first to last - 1 is a page-break line.
bool AnyPageBreakLineBetween(const LayoutTables& t, int first, int last);
// Band lines in [to, from) that print in this pass.
int CountPrintedLines(const LayoutTables& t, int from, int to);

// The next wrapped line of text from pos, at most width characters: cut
// after the last blank or a hyphen that follows a non-blank; a line end
// ends the line; a word longer than the width is cut at the width. pos
// moves past the line (and the blank or line end that ended it).
std::string NextWrappedLine(const std::string& text, size_t* pos, int width);

// A placed field of the stretching (word-wrapped) format kind.
bool IsStretchingField(const ReportItemHead& item);
// The height (1/720 inch) a stretching field's text takes laid out in its
// width for the band, one field line height per output line; 0 for a field
// in error. A memo that cannot be read sets the run state to -2.
constexpr int kMaxStretchLines = 10000;
int32_t StretchedFieldHeight(ReportRun* run, FieldDef* field, int band);

// A field's text from its value buffer, read only as far as the buffer is
// long (value null: empty).
bool ValueBufferText(ReportRun* run, const FieldDef* field, const BYTE* value, std::string* text);

// The file-name hash of chart pictures in an HTML export.
uint32_t HashChartName(const char* s);
