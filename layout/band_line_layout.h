// Band-line commands (insert, create, properties, automatic/freeform, edge
// drag) and the relayout that recomputes every line's height, baseline and
// bottom and every item's vertical position.
#pragma once

#include "layout/layout_records.h"

#include <vector>

constexpr int kNoAnchor = 0xFFFF;
constexpr BYTE kLineNewPage = 1;
constexpr BYTE kLineMarked = 4;
constexpr BYTE kLinePrintWhenFalse = 8;
constexpr BYTE kHeightAutomatic = 0;
constexpr BYTE kHeightPoints = 1;
constexpr BYTE kHeightMeasure = 2;

// The bands the placement dialogs list, in their order.
constexpr int kPlacementBandCount = 21;
extern const BYTE kPlacementBands[kPlacementBandCount];

// Recomputes all 257 entries and every item's position. keep: freeform lines
// keep their heights and their items are held inside them; anchor: a
// freeform line whose items stay where they are. True when a height or
// baseline changed.
bool RelayoutAfterFontChange(LayoutTables& t, bool keep, int anchor);
// Pixels of line i and, for an automatic line, its descent.
int ComputeLineHeight(LayoutTables& t, int i, int* descent, bool keep);
// The line's greatest point size in the unit of its explicit height.
UINT MinimumLineHeightForFonts(LayoutTables& t, int i);

// Insert > Band Line: false (a beep, nothing changed) when the table is full
// or the current line is the last entry.
bool InsertBandLine(LayoutTables& t);

// Where Create Band Line puts its lines.
enum class LinePlacement { Above, Below, Band };
struct CreateLinesRequest {
  int count = 1;
  LinePlacement placement = LinePlacement::Above;
  BYTE band = kBandRecord;  // for LinePlacement::Band
  bool newPage = false;
};
// Why a request is refused (0 accepted); the value is the message's string id.
enum CreateLinesError : UINT {
  kCreateLinesOk = 0,
  kInvalidLineCount = 4620,     // "Invalid number of lines"
  kTooManyLines = 4621,         // "Too many lines. Maximum is 256"
  kNewPageInPageBand = 4622,    // "Page header/footer may not contain new-page lines"
};
// The band a request puts its lines into.
BYTE RequestBand(const LayoutTables& t, const CreateLinesRequest& r);
// pageLikeBand: the target band is a page band or a group band kept with the
// page (such bands may not hold new-page lines).
CreateLinesError CheckCreateLines(const LayoutTables& t, const CreateLinesRequest& r, bool pageLikeBand);
// Creates the lines of an accepted request; false (nothing changed) when the
// table is full or the band has no place.
bool CreateBandLines(LayoutTables& t, const CreateLinesRequest& r);

// Marked lines: count, and how many of them are automatic and freeform.
int CountMarkedLines(const LayoutTables& t, int* automatic, int* freeform);
int FirstMarkedLine(const LayoutTables& t);  // 0 when none
// Every marked line becomes freeform when all are automatic, else automatic.
void ToggleAutoFreeformLines(LayoutTables& t);
// The greatest item height on the line, rounded up to whole text lines with
// snapping on; graphic items count on the last used line only.
int TallestItemOnLine(LayoutTables& t, int line);
// Stores a freeform height from pixels, never less than the line's items need.
void SetLineHeightPixels(LayoutTables& t, bool force, int line, int pixels, bool fromTopEdge);
// Adds lines so that one holds the bottom of every graphic item.
void ExtendLinesUnderGraphics(LayoutTables& t);

// The band pane's line-edge hit test, in its client coordinates: 0 none, 1
// top edge, 2 bottom edge of a freeform line (its index into *line).
int HitTestLineEdge(const LayoutTables& t, int y, int* line);
// The end of an edge drag at pane y: the line's new height is applied and
// the layout redone; false when the height would be negative.
bool EndLineDrag(LayoutTables& t, int line, int edge, int y);

// What the Band Line Properties dialog gives back.
struct LinePropertiesRequest {
  int32_t objectId = -1;  // the logical field, -1 none
  bool printWhenFalse = false;
  bool newPage = false;   // applied only when one line is marked
  BYTE heightMode = kHeightAutomatic;
  uint32_t height = 0;    // explicit height in the mode's unit
};
// Writes the request to every marked line and lays the layout out again with
// the freeform heights kept.
void ApplyLineProperties(LayoutTables& t, const LinePropertiesRequest& r);

// The band-line dialogs and the rules they need from the report model; the
// defaults cancel every dialog.
class BandLineDialogs {
 public:
  virtual ~BandLineDialogs() = default;
  // Filled from the current line before the call; false when cancelled.
  virtual bool RunCreateLines(const LayoutTables& /*t*/, CreateLinesRequest* /*r*/) { return false; }
  virtual bool RunLineProperties(const LayoutTables& /*t*/, LinePropertiesRequest* /*r*/) { return false; }
  // Paste of lines ("DPaste"): above, below the current line or at the end of a band.
  virtual bool RunPasteLines(const LayoutTables& /*t*/, CreateLinesRequest* /*r*/) { return false; }
  // Page header and footer, and group bands kept with the page.
  virtual bool IsPageOrGroupBand(BYTE band) { return band == kBandPageHeader || band == kBandPageFooter; }
  virtual void ErrorBeep() {}
};
void SetBandLineDialogs(BandLineDialogs* dialogs);  // null: the cancelling defaults
BandLineDialogs& GetBandLineDialogs();

// The commands: Insert > Band Line, Insert > Create Band Line... and Format >
// Properties on marked lines. False when nothing changed.
bool InsertBandLineCommand(LayoutTables& t);
bool CreateBandLinesCommand(LayoutTables& t);
bool EditLinePropertiesCommand(LayoutTables& t);

// Copies of the marked lines in table order, each with its index in its
// saved-index byte. With remove they leave the table: the lines below move
// up and so do the items on them (items on a removed line are the caller's
// to hold). The layout is not redone.
std::vector<BandLineRec> SaveMarkedLines(LayoutTables& t, bool remove);
// Puts removed lines back at their former indexes, items at and below each
// moving down with it; stops when the table is full. Returns the lines put back.
int RestoreSavedLines(LayoutTables& t, const std::vector<BandLineRec>& saved);
// Puts lines in at index r as lines of the band, items at and below r moving
// down; false (nothing changed) when they do not fit.
bool PasteLinesAt(LayoutTables& t, int r, const std::vector<BandLineRec>& lines, BYTE band);
