// Copying, removing and looking up the records of the picture, chart and
// line/box tables, and the view rectangles of graphic items.
#pragma once

#include "layout/layout_records.h"

class KmDocBase;
class CWnd;

// Appends a copy with its own image (its file read again, or the pasted
// image copied) and screen bitmap, fitted at the source's place; null when
// the record is not a picture, its image cannot be read again (after the
// library's message) or no bitmap can be built.
PictureItem* DuplicatePicture(LayoutTables& t, int index);
// The message of a picture library code, naming the picture file; nothing
// for codes that are not errors.
void ReportImageError(KmDocBase& doc, CWnd* owner, int code, const char* fileName);
// Keeps the picture's crop rectangle inside its image: a crop wider or taller
// than the image (a file replaced by a smaller one) ends at the image's edge.
void ClampPictureCrop(const LayoutTables& t, PictureItem& p);
// Appends a copy with its own chart object and drawn picture; null when the
// record is not a chart.
ChartTableEntry* DuplicateChart(LayoutTables& t, int index);
// Appends a copy; null when the record is neither a line nor a box.
LineBoxItem* DuplicateLineOrBox(LayoutTables& t, int index);

// Removal frees what the record owns, rebuilds the item order and leaves no
// current item; with redraw, the panes are redrawn and the status text cleared.
bool DeletePicture(LayoutTables& t, int index, bool redraw);
bool DeleteLineOrBox(LayoutTables& t, int index, bool redraw);
bool DeleteChart(LayoutTables& t, int index, bool redraw);
void DeleteCurrentPicture(LayoutTables& t, bool redraw);
void DeleteCurrentLineOrBox(LayoutTables& t, bool redraw);
// The whole line/box table, when a report is closed or replaced.
void FreeLinesAndBoxes(LayoutTables& t);

// Index of the record in its table; 0 when it is not there (as for the first).
int PictureIndexOf(const LayoutTables& t, const void* record);
int ChartIndexOf(const LayoutTables& t, const void* record);
int LineBoxIndexOf(const LayoutTables& t, const void* record);

// The item's layout rectangle less the scroll offsets (right and bottom
// inclusive). A negative index means the current record; false when there is
// no such record.
bool GetPictureViewRect(const LayoutTables& t, int index, RECT* out);
RECT ItemViewRect(const LayoutTables& t, const ReportItemHead& item);
// The embedded object whose layout record is item; null for any other item.
CKmCntrItem* FindOleItem(LayoutTables& t, const ReportItemHead* item);
const CKmCntrItem* FindOleItem(const LayoutTables& t, const ReportItemHead* item);

// Every picture's view rectangle is invalidated.
void InvalidateAllPictures(LayoutTables& t);

// What the line/box tracker takes from a record.
struct LineBoxTracking {
  RECT rect{};
  WORD borders = 0;
  BYTE thickness = 0;
  BYTE alignment = 0;
  LineBoxItem* record = nullptr;
};
bool LoadLineBoxTracking(LayoutTables& t, int index, LineBoxTracking* out);

// Band lines are added so that a line holds the bottom of every picture,
// chart, line, box and OLE item.
void EnsureLinesForGraphics(LayoutTables& t);
// The band line holding a layout y (255 past the last).
int LineAtY(const LayoutTables& t, int y);
