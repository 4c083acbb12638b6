// The state of one report run, from preparation to the last page. The
// document holds it (m_pRun) while a run is in progress. Each part of the run
// keeps its own block: the record and page loop here, the calculated-field
// and totals state, and the band output state.
#pragma once

#include <cstring>

#include "engine/calc_pass.h"
#include "engine/run_output.h"
#include "platform/printer/page_driver.h"

#include <cstdint>
#include <string>
#include <vector>

class KmDocBase;
class CKmComposite;
class RecordRowSource;
struct BandOutputState;  // band output and line text assembly

constexpr uint32_t kRunNoField = kNoField;
constexpr int32_t kDefaultEndPage = 999999999;
constexpr uint32_t kPageNumberBeforeRun = 9999;
constexpr int kEndOfRecords = 3075;
constexpr int kAcrossCellBytes = 9;
constexpr uint8_t kGroupPageOptions = kGroupResetPage | kGroupSwapFooter | kGroupSwapHeader;
constexpr uint8_t kRunLevelBits = kRunBreakPending | kRunHeaderBusy | kRunHeaderRepeated;

// ReportRun::exportRun of the page-image exports whose pages label their
// lines: RTF by band, HTML by band and layout line (format codes 5 and 8).
constexpr uint32_t kExportRunRtf = 5 + 1;
constexpr uint32_t kExportRunHtml = 8 + 1;

// Run states.
constexpr int kRunGoing = 0;
constexpr int kRunStopped = -1;
constexpr int kRunDriverRefused = -2;
constexpr int kRunCancelled = -3;

// Messages the run ends with.
enum RunMessage : int { kMsgNoRecords = 0, kMsgStartPageTooLarge = 1, kMsgAcrossMemory = 2, kMsgNoRoomOnPage = 3 };
// Notes of the run status: a setting the run could not honour.
constexpr unsigned kIdRepeatFieldNotNumeric = 5963;
constexpr unsigned kIdRecordTallerThanPage = 5964;
constexpr unsigned kIdRepeatFieldTooMany = 5965;
// The most copies of a record the Record Layout takes.
constexpr int32_t kMaxRecordCopies = 999;

// Heights of bands that do not depend on the record (no stretching field, no
// blank line that a value could remove), per band kind and mode, found once
// per run: the record band's is asked for every record.
// The layout's items by the band lines they stand on (lines and boxes also
// on the line of their bottom), gathered once per run: a line's height is
// asked for every record.
struct BandHeightMemo {
  static constexpr int kModes = 3;  // mode -1, 0, 1
  int32_t height[256][kModes];
  uint8_t known[256][kModes];
  std::vector<std::vector<struct ReportItemHead*>> lineItems;  // empty: not gathered yet
  // The device's line height of each of those items' fonts, asked once: a
  // band whose height depends on the record measures its lines per record.
  std::vector<std::vector<int32_t>> itemFontHeights;
  // What a line's height rests on apart from the values, found once per
  // run for a line without stretching text: only whether its fields came
  // out empty is asked per record (when blank lines drop).
  struct LineShape {
    bool known = false;
    int band = -1;
    bool blankStay = false;
    bool present = false, nonEmpty = false, onlyGraphics = true, variable = false;
    int32_t tallest = 0;
    std::vector<struct FieldDef*> fields;  // blank lines drop: any of them not empty keeps the line
  };
  std::vector<LineShape> lineShapes;
  // The lines a band's height adds up, from the last up, for a band none of
  // whose lines has a condition; by band kind and mode, found once per run.
  // orderKnown: 0 not yet, 1 kept in lineOrder, 2 the band has conditions.
  uint8_t orderKnown[256][kModes];
  std::vector<std::vector<int16_t>> lineOrder;  // [band * kModes + mode + 1]
  BandHeightMemo() { Clear(); }
  void Clear() {
    std::memset(known, 0, sizeof known);
    std::memset(orderKnown, 0, sizeof orderKnown);
    lineOrder.clear();
    lineItems.clear();
    itemFontHeights.clear();
    lineShapes.clear();
  }
};

struct ReportRun {
  KmDocBase* doc = nullptr;
  PageDriver* driver = nullptr;        // the printer library the run draws through
  PageOutputState* page = nullptr;     // the device and its metrics for this run
  RunCalcState* calc = nullptr;        // owned by the run (group levels, totals)
  BandOutputState* band = nullptr;     // owned by the run, made by the band output side
  RunOutput* output = &PageOutput();   // where the bands go (an export sets its own)
  BandHeightMemo bandHeights;

  // The program ends after this run, which makes one copy: its rows are read
  // again only by the pre-passes of this run.
  bool onlyRun = false;

  // Counters of the run.
  uint16_t copies = 1;
  uint32_t copyNumber = 0;
  int32_t startPage = 1;
  int32_t endPage = kDefaultEndPage;
  int32_t pageCount = 0;
  uint32_t pageNumber = kPageNumberBeforeRun;
  uint32_t recordsOutput = 0;
  uint32_t outputEmitted = 0;
  uint32_t exportRun = 0;              // an export: its format code + 1 (kExportRun...)
  void* exportJob = nullptr;           // the export run's own state (not owned)
  uint32_t preview = 0;
  int32_t fetchResult = 0;
  uint32_t topOfPage = 0;
  // Where the bands a page overflow put at the new page's top (page header,
  // repeated headers) ended: page, column and position (page 0: none).
  int32_t topBandsPage = 0;
  uint32_t topBandsColumn = 0;
  int32_t topBandsEnd = 0;
  bool layingPageTop = false;  // a page overflow outputs the new page's header part
  bool hasRecordSource = true;         // false: a report without a master table prints one Record band
  bool recordsEnded = false;
  bool stopMark = false;
  bool pageEndFailed = false;
  int endMessage = -1;  // the RunMessage the run ended with, -1 for none
  bool recordPending = false;
  bool recordRepeating = false;  // the Record band is output again for the same record
  // The page's last record ended a group: from the group break until the
  // next record has its page, a Page Footer shows that record's values.
  bool groupEndedOnPage = false;
  // Steady-clock milliseconds of the last look at pending window messages:
  // the run looks every kRunPumpMilliseconds, not at every record or band.
  int64_t lastPumpMs = INT64_MIN;
  int pumpCalls = 0;  // since the clock was last read

  // Layout figures of the run.
  int32_t pageFooterHeight = 0;
  uint32_t recordBandLines = 0;
  int32_t recordHeight = 0;
  uint32_t recordHasStretch = 0;
  BYTE* acrossBuffer = nullptr;
  uint32_t columnsAcross = 1;
  uint32_t currentColumn = 1;
  int32_t pageTopInColumn = 0;  // where the page's columns begin (1/720 inch)

  // Page set-up choices the run reads (PrepareRun takes them from the report).
  uint32_t recordsAcrossExtra = 0;  // records in a row beyond the first
  bool summaryNewPage = false;
  bool recordsStretch = false;       // a stretched Record band is measured whole before it starts
  bool printRecordBand = true;
  bool suppressBlankLines = false;   // Record lines whose fields are all empty are left out
  bool compressGroupLines = false;   // so are such lines of group headers and footers
  uint32_t recordRepeat = 1;
  uint32_t recordRepeatField = kRunNoField;  // the field whose value repeats each record
  bool repeatFieldNoted = false;     // an unusable repeat field was told once
  bool tallRecordNoted = false;      // a record taller than a page was told once
  int32_t linesPerInch = 6;
  int32_t pageBottom = 0;     // 1/720 inch kept free at the page's end (ordinal 10)
  int32_t pageStartArg = 0;   // where the first line of a page begins (ordinal 12)

  // Band sequencing; the group levels and the marks of a group break are the
  // calculation side's (calc), which sets them before each record.
  uint32_t closingBands = 0;
  int32_t lastBand = 0;
  int32_t recordedRepeatBand = 0;  // a repeated header recorded for band output

  // The fixed advance a labels' Record band owes the page: its pitch, and
  // how far the record went (1/720 inch).
  int32_t fixedAdvance = 0;
  int32_t advanceUsed = 0;

  // The report's query and the rows it gives the record pass.
  RecordRowSource* rows = nullptr;
  bool queryOpen = false;
  std::string sortedPositions;  // the record sort's file of record positions, when the run sorts
  uint32_t queryOpens = 0;
};

// The document's run, or null outside a run.
ReportRun* RunOf(KmDocBase* doc);
// The group levels and break marks of a run (CreateReportRun makes them).
inline RunCalcState& CalcOf(ReportRun* run) { return *run->calc; }
inline const RunCalcState& CalcOf(const ReportRun* run) { return *run->calc; }
