// Band output: one band of the report laid out at the page's current
// position, line by line, through the printer library; the choice between a
// field's current and previous value for the band being output; and the
// band output side's state block of a run (ReportRun::band).
#pragma once

#include "layout/layout_records.h"
#include "engine/output_units.h"
#include "expr/value_format.h"
#include "platform/printer/page_driver.h"
#include "platform/win/win_types.h"

#include <array>
#include <deque>
#include <optional>
#include <string>
#include <vector>

class KmDocBase;
struct ReportRun;
struct FieldDef;

// Output state of one layout item while its band is output.
constexpr BYTE kItemContinuing = 0x01;  // a wrapped field with further lines
constexpr BYTE kItemOutput = 0x02;      // output in this output line
constexpr BYTE kItemHeld = 0x04;        // waits for an item above it to finish
constexpr BYTE kItemDone = 0x08;        // done, or on a line that does not print
constexpr BYTE kItemWaiting = 0x10;     // a graphic waiting to be placed
constexpr BYTE kItemMoved = 0x20;       // moved down below a stretched field

// Kinds of an output line.
constexpr int kLineNothing = 0;
constexpr int kLineEmpty = 1;
constexpr int kLineText = 2;
// Empty lines kept for a box spanning them: measured as text, drawn as a
// blank that still advances.
constexpr int kLineBoxSpan = 3;

// One layout item as band output follows it.
struct ItemOutput {
  ReportItemHead* head = nullptr;
  int line = 0;           // its band line
  int endLine = 0;        // lines and boxes: the band line of its bottom
  BYTE state = 0;
  BYTE holdCount = 0;
  // Moved down by a stretched field above it: the band's output step it
  // prints in.
  int movedTo = -1;
  // Word-wrapped fields: lines output so far and the text still to come.
  int wrapLines = 0;
  std::string wrapText;
  size_t wrapPos = 0;
  // A memo's look per character of wrapText (its style byte, and point size
  // x 65536 + font index); empty: every character in the field's own.
  std::vector<BYTE> wrapStyles;
  std::vector<uint32_t> wrapAttrs;
  // Lines and boxes: the decipoint y where the object was opened (0: not
  // open), the lines by which its opening was late, its sides to draw.
  LONG openY = 0;
  int lateLines = 0;
  bool reopen = false;    // cut at a page end: opens again on the next page
  WORD sides = 0;
  // Group fields: their level (1-8, 0 for any other item) and Print Once's
  // mark that the field printed since its group broke or the page began.
  int8_t groupLevel = 0;
  bool printedOnce = false;
  // Another item of its band lies above it and across its columns, so that
  // it may wait for that one (see IsItemHeld); fixed with the layout.
  bool mayBeHeld = true;
  // Its edges in output x (before the column offset), worked out once for
  // the edges and scale they were worked out from (see itemXScale).
  int xFromLeft = -1, xFromRight = -1;
  uint32_t xScaleUse = 0;
  LONG deviceLeft = 0, deviceRight = 0;
};

// One record's line in the records-across row.
struct AcrossCell {
  std::vector<BYTE> text;  // the line's text and sequences
  WORD height = 0;         // the row line's height plus depth (first record's cells)
  BYTE flags = 0;          // 1 sent; 2 a page break follows (first record's cells)
};
// Band-line flags of a run: a page break stands there; the line prints in
// this pass.
constexpr BYTE kLineNewPageFlag = 0x01;
constexpr BYTE kLinePrinted = 0x02;

constexpr BYTE kCellSent = 0x01;
constexpr BYTE kCellPageAfter = 0x02;

// The band output side of a run. The run's own figures are read from
// ReportRun: the page count against the first page to output (whether lines
// are visible), the top-of-page flag, the record height, the page bottom and
// the page footer's height (its reserve), lines per inch, the columns and
// the blank-line option (lines whose fields all came out empty stay out
// only when blank lines are suppressed).
struct BandOutputState {
  // --- set by the run before the first band ---
  LayoutTables* layout = nullptr;
  FormatSettings format;           // regional settings, pad character, aliases
  OutputUnits units;               // screen, grid and printer resolutions
  bool measureSwitch = true;       // off: lines are measured with flag 1
  LONG fixedRecordHeight = 0;      // labels: the Record band never breaks a page
  LONG columnWidth = 0;            // screen pixels of one column of the column mode

  // --- page and band state shared with the run ---
  bool pageHasOutput = false;
  int breakBand = 0;               // the band that caused the current page break
  bool breakInGroupFooter = false;
  // The group footer whose page-break line, its last, began the new page:
  // its group and those inside it have nothing left there to repeat a
  // header over (0: none).
  int breakEndedGroupFooter = 0;
  bool swappedFooterOutput = false;  // a swapped group footer is being output
  bool recordRepeating = false;    // the Record band is output again (also ReportRun::recordRepeating)
  LONG measuredHeight = 0;         // measuring: height so far (the caller clears it)
  LONG measuredTrailing = 0;       // measuring: blank height at the end
  int waitingPictures = 0, waitingCharts = 0, waitingOleItems = 0;
  int outputStep = 0;              // the band's output lines built so far (its own count)
  int openLinesBoxes = 0;

  // --- band output's own working data ---
  std::vector<ItemOutput> items;        // the layout's items in vertical order
  std::vector<int> firstItemOfLine;     // per band line: its first entry in items
  // Per band kind: its first line of the table, and its first and last
  // among the used lines (-1: none), found with the index.
  std::array<int16_t, 256> firstLineOfBand{}, firstUsedLineOfBand{}, lastUsedLineOfBand{};
  // Records across: the row of Record bands collected before it is sent.
  std::vector<AcrossCell> row;     // place in the row x linesPerRecord + line
  int linesPerRecord = 0;
  int rowRecords = 0;              // records collected
  int rowLines = 0;                // the most lines of a record in the row
  int recordLines = 0;             // lines of the record being collected
  // Print Once in a row: a row that goes to the next page starts it, and
  // its first record shows there what Print Once left out of it on the page
  // before. That record is laid out a second time for it, as at the top of
  // a page (layingOutRowTop), when it left a group value out
  // (rowFirstLeftOut); its lines then (rowTopLaidOut once they are), and the
  // items each layout marked as printed (the next page keeps those marks).
  bool layingOutRowTop = false;
  bool rowFirstLeftOut = false;
  bool rowTopLaidOut = false;
  std::vector<std::vector<BYTE>> rowFirstAtTop;
  std::vector<int> rowMarks, rowTopMarks;
  bool built = false;
  // The scale the items' output edges were worked out with, and its count
  // of changes (0: none yet).
  std::optional<DeviceXScale> itemXScale;
  uint32_t itemXScaleUse = 0;
  int nesting = 0;  // bands output from inside a band (the page footer of an overflow)
  // Where lines and boxes were last cut: they open again only on a later
  // page or column.
  int32_t closedPage = -1;
  uint32_t closedColumn = 0;
  bool reopenPending = false;  // some item may still be marked reopen
  // Line buffers given back after use, so that output lines reuse their
  // capacity instead of allocating (see LineBuffer).
  std::vector<std::vector<BYTE>> spareLineBuffers;
  // The output line's text of the band at each nesting depth (1 up), kept
  // with its capacity for the band's next line; a deque, so that a deeper
  // band's buffer leaves the others where they are.
  std::deque<std::vector<BYTE>> lineTexts;
};

// An empty byte buffer lent from the band state for one output line, given
// back with its capacity when it goes; a band output nested inside another
// borrows a buffer of its own.
class LineBuffer {
 public:
  explicit LineBuffer(BandOutputState* s) : s_(s) {
    if (!s_->spareLineBuffers.empty()) {
      bytes_.swap(s_->spareLineBuffers.back());
      s_->spareLineBuffers.pop_back();
      bytes_.clear();
    }
  }
  ~LineBuffer() {
    if (s_->spareLineBuffers.size() < kKept) s_->spareLineBuffers.push_back(std::move(bytes_));
  }
  LineBuffer(const LineBuffer&) = delete;
  LineBuffer& operator=(const LineBuffer&) = delete;
  std::vector<BYTE>& bytes() { return bytes_; }

 private:
  static constexpr size_t kKept = 8;
  BandOutputState* s_;
  std::vector<BYTE> bytes_;
};

// Makes the run's block (ReportRun::band) with its defaults when it has
// none; FreeBandOutput releases it.
BandOutputState* EnsureBandOutput(ReportRun* run);
void FreeBandOutput(ReportRun* run);
// The band output block of the document's run, made on first use from the
// document: its layout tables, regional settings, the screen and printer
// resolutions and the label pitch. Null outside a run.
BandOutputState* PrepareBandOutput(KmDocBase* doc);
// Indexes the layout's items by band line; called again when the layout
// changed between runs (the layout stays fixed during a run).
void BuildBandItemIndex(BandOutputState* s);
// The items that may hold item `it` of band `band` back: those from the
// band's first line through the item's own (items are in line order and a
// band's lines are one stretch), as [*begin, *end) of s.items.
void ItemsAboveInBand(const BandOutputState& s, const ItemOutput& it, int band, size_t* begin, size_t* end);

// Lays out one band at the current position. fitLimit 0 draws; otherwise
// nothing is drawn, the heights add to measuredHeight, and the result is 1
// as soon as a text line makes it exceed fitLimit (decipoints). Returns the
// run state (0 to go on) when drawing.
int OutputBand(ReportRun* run, int band, LONG fitLimit);

// The band whose output or fit test is about to break the page: what the
// Page Footer of the page it ends shows follows from it.
void NoteBreakBand(ReportRun* run, int band);

// The record being output has its page (its first text line, or its place
// in a row across): it counts in that page's totals, and a Page Footer
// shows it rather than the last record of a group that ended before it.
void RecordHasItsPage(ReportRun* run);

// Sends one output line; nonzero to stop. kind is kLineEmpty, kLineText or
// kLineBoxSpan; height 0 for an automatic line.
int SendOutputLine(ReportRun* run, const std::vector<BYTE>& lineText, LONG fitLimit, int band,
                   LONG* trailingUsed, bool recordLine, int kind, LONG height, int layoutLine);

// The value buffer a field shows in band: its previous or its current value.
// Most fields show their current value, told here without a call; the
// others by GetFieldValueShown.
const BYTE* GetFieldValueShown(ReportRun* run, const FieldDef* field, int band);
inline const BYTE* GetFieldValueForBand(ReportRun* run, const FieldDef* field, int band) {
  if (field->previous == nullptr || band == kBandRecord || band == kBandTitle) return field->value;
  return GetFieldValueShown(run, field, band);
}
// The three-bit status of that value (an alias shows its field's status, by
// AliasValueStatus).
int AliasValueStatus(ReportRun* run, const FieldDef* field, const BYTE* value);
inline int FieldValueStatus(ReportRun* run, const FieldDef* field, const BYTE* value) {
  if (field->flags & kFieldAlias) return AliasValueStatus(run, field, value);
  const bool current = value == nullptr || value == field->value;
  return (current ? field->valueStatus : field->previousStatus) & 7;
}

// Print Once: the group fields of level (0-7; -1 every level) print again.
void ClearPrintOnceMarks(BandOutputState* s, int level);

// Records across (ReportRun::recordsAcrossExtra above 0): the Record bands
// of a row are collected and sent side by side, each moved right by its
// place in the row x columnWidth.
// Height in the low 16 bits, depth in the high 16 bits of row line line.
DWORD MeasureRowLine(ReportRun* run, const std::vector<BYTE>* extraText, int line, LONG minHeight);
// Sends row line line of every record in the row (visible pages only).
void PutRowLine(ReportRun* run, int line);
// Sends the row's lines from fromLine on and empties the row; 1 when done
// (also without a row), 0 after a failure (the row is emptied all the same).
int FlushAcrossRow(ReportRun* run, int fromLine);
void ClearPageCells(ReportRun* run);
// Sends one line text; 1, or 0 when the library refused it.
int PutTextRun(ReportRun* run, const std::vector<BYTE>& lineText);
// Whether the band's lines go to the row rather than to the page.
bool IsAcrossBand(const ReportRun* run, int band);
// The row went to a new page and begins it: its first record takes its
// lines laid out as at the top of a page, and the group values the row
// printed stay marked for Print Once.
void RowStartsPage(ReportRun* run);

// The run state word and run mode of the run's document (0 without one).
int& RunStateOf(ReportRun* run);
int RunModeOf(const ReportRun* run);

// The page driver did not take a line or an object of the page now being
// made: "Insufficient memory for print/preview", said once for the run.
void ShowOutputRefused(ReportRun* run);

// Lines are drawn from the first page to output on (counted in pages begun,
// so a restarted page number never hides or shows the wrong pages), and
// always in the Test Pattern.
bool LinesVisible(const ReportRun* run);
// The height of a line without text: 720 / lines per inch.
LONG DefaultLineHeight(const ReportRun* run);
// How far the column mode moves the items of a band right (screen pixels).
LONG BandColumnOffset(const ReportRun* run, int band);
// Layout pixels to decipoints (0 for none or less).
LONG LayoutToDecipoints(const BandOutputState* s, LONG pixels);
// A band line's explicit height in decipoints; 0 for an automatic line.
LONG ExplicitLineHeight(const BandOutputState* s, const BandLineRec& line);
