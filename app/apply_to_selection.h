// The format bar's view of the selected layout objects (their common font,
// size, styles, alignment and trim, each 0 none, 1 all, 2 mixed) and the
// document's changes of the selection's alignment, font and trim.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CKmDoc;
class KmDocBase;
struct DocFonts;

// Tri-state of a button: 0 off, 1 on for every object concerned, 2 mixed.
struct FormatSelectionState {
  int currentFont = -1;   // the common font index, -1 when none or mixed
  int currentSize = -1;   // the common point size in tenths, -1 when none or mixed
  bool scalable = true;   // no selected text object uses a fixed-size font
  int selected = 0;       // selected objects
  int textObjects = 0;    // selected objects that are not lines, boxes, pictures, OLE items or charts
  bool allWrapped = false;
  int left = 0, centre = 0, right = 0, justify = 0;
  int bold = 0, italic = 0, underline = 0, trim = 0;
};

FormatSelectionState ComputeSelectionState(KmDocBase& doc, const DocFonts* fonts);
// True when the fixed-size font at index has the size (tenths of a point).
bool FontHasPointSize(const DocFonts* fonts, int tenths, int index);

// Alignment mode 0 left, 1 centre, 2 right, 3 justify (word-wrapped fields
// only); secondMode is the word-wrapped fields' alignment (0 left, 1 right, 2 justify).
void ApplyAlignmentToSelection(CKmDoc& doc, int mode, bool allWrapped, int secondMode);
// font -1 keeps each object's font, size -1 its size; style -1 keeps the
// styles, else each bit given is switched on for all, or off when all had it.
void ApplyFontToSelection(CKmDoc& doc, int font, int size, int style);
// 1: every selected text object follows the item before it; 0: none does.
void ApplyTrimToSelection(CKmDoc& doc, int trim);

// The size box: a size's text ("  %d" below 10 points, " %d" below 100, one
// decimal with the document's decimal character when it has tenths).
std::string SizeText(int tenths, char decimal);
// The typed or chosen text read as tenths of a point; -1 when the box must
// refuse it (not a number, outside 4 to 500 points, or a size the fixed-size
// font does not have).
int ParseSizeEntry(const std::string& text, char decimal, const DocFonts* fonts, int currentFont);
// The sizes the box lists for the selection (the fixed sizes of its font, or
// the standard sizes and those in use), sorted as the box sorts them.
std::vector<std::string> SizeListEntries(KmDocBase& doc, const DocFonts* fonts, const FormatSelectionState& s);
