// Placement helpers of the layout: an item's anchor by its alignment, keeping
// items inside the layout's width and band area, snapping to character cells
// and to a sized band line's text lines, and sizing items to their text.
// Coordinates are layout pixels unless said otherwise.
#pragma once

#include "layout/layout_records.h"

#include <string>

constexpr int kLayoutColumns = 254;

// A horizontal line: a line item whose style word lacks the vertical bit.
bool TestObjectFlag40(const ReportItemHead& item);

// 0 left, 1 centred, 2 right: a text's, line's, box's or picture's alignment
// byte, a field's from its format; anything else is left-aligned.
int ItemAlignment(LayoutTables& t, const ReportItemHead& item);
// What a placed field shows on the layout and is measured by: its sample in
// the document's format of values. Empty for any other item.
std::string FieldShownText(const LayoutTables& t, const ReportItemHead& item);
// The layout's width: 254 character cells.
int LayoutWidthPixels(const LayoutTables& t);

// The anchor: left edge, middle or right edge by the alignment.
int GetAlignedX(LayoutTables& t, const ReportItemHead& item);
int GetAlignedColumn(LayoutTables& t, const ReportItemHead& item);

// Moves the item back inside 0 to the layout width, giving it width; a
// negative left edge moves it right by that much.
void ClampToPageWidth(LayoutTables& t, ReportItemHead& item, int width);
// The same vertically against the end of the laid-out band lines (the
// table's last record), keeping the item's height.
void ClampToBandArea(LayoutTables& t, ReportItemHead& item);
// Puts the anchor at the column's x, keeping the width.
void MoveObjectToColumn(LayoutTables& t, ReportItemHead& item, int column);
// The anchor to its nearest cell; on a sized band line with snapping on, the
// bottom to the nearest text line of the line's raster.
void SnapObjectToCells(LayoutTables& t, ReportItemHead& item);

// True while Alt is held: snapping is suspended.
bool AltKeyDown();

constexpr int kSnapXDown = 1;
constexpr int kSnapXUp = 3;
// With snapping on and Alt up, view x on the cell grid of the layout (the
// horizontal scroll counted): mode 1 down, mode 3 up, any other to the
// nearer cell (a tie goes down). Otherwise x unchanged.
int SnapXToGrid(const LayoutTables& t, int x, int mode, bool altDown);

// The width of the text in the font on the screen; one cell when it cannot
// be measured.
int MeasureTextWidth(const LayoutTables& t, HFONT font, const char* text, int length);

// The band line's text-line raster at layout y (see LineTopInBand in units.h).
int LineTopInBand(const LayoutTables& t, int line, int y);
int NearestLineInBand(const LayoutTables& t, int line, int y);

constexpr int kSnapNearest = 0;
constexpr int kSnapTop = 2;     // a top edge: rounds to the smaller y
constexpr int kSnapBottom = 4;  // a bottom edge: rounds to the larger y
// With snapping on and Alt up: on an automatic line its bottom (mode 2 its
// top) less the vertical scroll; on a sized line y rounded on the line's
// raster by the mode, within the line. Otherwise y unchanged.
int GetBandLineY(LayoutTables& t, int line, int y, int mode, bool altDown);

// The extent of the item's text in its font: width is the result, height,
// descent and character count go out. A field with a unit width measures
// that width; lines, boxes, pictures, charts and OLE items their rectangle.
int MeasureObjectText(LayoutTables& t, const ReportItemHead& item, const std::string& text, int* height,
                      int* descent, int* chars);
// Sets the item's width from its text keeping the anchor of its alignment,
// keeps it inside the layout width, stores its height and descent and puts
// its top at its bottom less its height.
void SizeObjectToText(LayoutTables& t, ReportItemHead& item);
