// The state of one report run, from preparation to the last page. The
// document holds it (m_pRun) while a run is in progress. Each part of the run
// keeps its own block: the record and page loop here, the calculated-field
// and totals state, and the band output state.
#pragma once

#include <cstring>

#include "engine/calc_pass.h"
#include "platform/printer/page_driver.h"

#include <cstdint>

class KmDocBase;
class CKmComposite;
class RecordRowSource;
struct BandOutputState;  // band output and line text assembly

constexpr uint32_t kRunNoField = kNoField;
constexpr int kGroupValueBufferSize = kRunGroupLevels * kGroupSlotBytes;  // 2,040
constexpr int32_t kDefaultEndPage = 999999999;
constexpr uint32_t kPageNumberBeforeRun = 9999;
constexpr int kEndOfRecords = 3075;
constexpr int kAcrossCellBytes = 9;
constexpr uint8_t kGroupPageOptions = kGroupResetPage | kGroupSwapFooter | kGroupSwapHeader;
constexpr uint8_t kRunLevelBits = kRunBreakPending | kRunHeaderBusy | kRunHeaderRepeated;

// Run states.
constexpr int kRunGoing = 0;
constexpr int kRunStopped = -1;
constexpr int kRunDriverRefused = -2;
constexpr int kRunCancelled = -3;

// Progress reports the run makes to the status dialog.
enum RunProgress : int { kProgressCopy = 0, kProgressRecords = 1, kProgressPages = 2 };
// Messages the run ends with.
enum RunMessage : int { kMsgNoRecords = 0, kMsgStartPageTooLarge = 1, kMsgAcrossMemory = 2 };

// What a reused query depends on: the sort fields, their key lengths and
// directions.
struct RunDataSignature {
  uint32_t sortFields[kRunGroupLevels] = {kRunNoField, kRunNoField, kRunNoField, kRunNoField,
                                          kRunNoField, kRunNoField, kRunNoField, kRunNoField};
  uint16_t sortLengths[kRunGroupLevels] = {};
  uint8_t sortDirections[kRunGroupLevels] = {};
  bool operator==(const RunDataSignature& o) const {
    for (int i = 0; i < kRunGroupLevels; ++i)
      if (sortFields[i] != o.sortFields[i] || sortLengths[i] != o.sortLengths[i] ||
          sortDirections[i] != o.sortDirections[i])
        return false;
    return true;
  }
};

// The other sides of a run: band output, group breaks and totals, the record
// fetch, the preview and the status dialog. A null entry skips its step. A
// run starts from DefaultRunLinks(); tests and the print command may change
// the run's own copy.
struct RunLinks {
  // Lays out a band (fitLimit 0 draws it); the run state (0 to go on).
  int (*outputBand)(KmDocBase* doc, int band, int fitLimit) = nullptr;
  // Before each record: footers and headers of the breaking levels; 1 stops.
  int (*handleGroupBreak)(KmDocBase* doc) = nullptr;
  // The calculated-fields pass of one list (0-7, 254, 255); an engine code.
  int (*calcBandFields)(KmDocBase* doc, int list) = nullptr;
  // Resets every total (pass start) and the page totals.
  void (*finishSummaries)(KmDocBase* doc) = nullptr;
  void (*resetPageTotals)(KmDocBase* doc) = nullptr;
  // Charts fed after the last record.
  void (*feedChartsAtLevel)(KmDocBase* doc) = nullptr;
  // Records across: flushes the row; 0 on failure.
  int (*flushAcrossRow)(KmDocBase* doc) = nullptr;
  // Flushes the fixed advance between records; 0 on failure.
  int (*flushPendingAdvance)(KmDocBase* doc) = nullptr;
  // A band line held back by band output is sent.
  void (*flushHeldLine)(KmDocBase* doc) = nullptr;
  // The next accepted record (first: the first of the pass): 0, 3075 at the
  // end, or an engine code.
  int (*fetchRecord)(KmDocBase* doc, int first) = nullptr;
  // The record pass again from its start for a later copy; 0 or an engine code.
  int (*rewindRecords)(KmDocBase* doc) = nullptr;
  // The field values become the previous values.
  void (*saveFieldValues)(KmDocBase* doc) = nullptr;
  // The output job at the first record; 1 running, 0 failed (message shown).
  int (*startOutputJob)(KmDocBase* doc) = nullptr;
  // The model re-evaluates its page-dependent values.
  void (*pageNumberChanged)(KmDocBase* doc, uint32_t pageNumber) = nullptr;
  // The preview takes the page (and waits for the user).
  void (*previewPageDone)(KmDocBase* doc, int lastPage) = nullptr;
  void (*progress)(KmDocBase* doc, int what, uint32_t value) = nullptr;
  // Height (1/720 inch) of a stretching field laid out for a band.
  int (*stretchFieldHeight)(KmDocBase* doc, const struct ReportItemHead* field, int band) = nullptr;
  // Whether a field's formatted value for the band is empty.
  bool (*fieldValueEmpty)(KmDocBase* doc, const struct ReportItemHead* field, int band) = nullptr;
  // Whether a placed field uses the stretching (word-wrapped) format kind.
  bool (*isStretchingField)(KmDocBase* doc, const struct ReportItemHead* field) = nullptr;
  // The record repeat field's value; false when there is none to use.
  bool (*repeatValue)(KmDocBase* doc, double* value) = nullptr;
  // The engine code of a failed pass is reported.
  void (*reportEngineError)(KmDocBase* doc, int code) = nullptr;
  void (*showMessage)(KmDocBase* doc, int message, uint32_t value) = nullptr;
  // Pending window messages are dispatched.
  void (*pumpMessages)() = nullptr;
  // The report's query: opened (0, 3121 out of memory, other codes reported
  // already) and closed; the sort signature it was opened for.
  int (*openQuery)(KmDocBase* doc) = nullptr;
  void (*closeQuery)(KmDocBase* doc) = nullptr;
  RunDataSignature (*dataSignature)(KmDocBase* doc) = nullptr;
  // The calculation side's block of a run (null: a plain block is made).
  RunCalcState* (*newCalcState)(KmDocBase* doc) = nullptr;
  void (*deleteCalcState)(RunCalcState* calc) = nullptr;
  // The in-program sort and the totals pre-pass; an engine code.
  int (*runSortPass)(KmDocBase* doc) = nullptr;
};

// The links of a new run; the other sides install their entries here.
RunLinks& DefaultRunLinks();

// Heights of bands that do not depend on the record (no stretching field, no
// blank line that a value could remove), per band kind and mode, found once
// per run: the record band's is asked for every record.
struct BandHeightMemo {
  static constexpr int kModes = 3;  // mode -1, 0, 1
  int32_t height[256][kModes];
  uint8_t known[256][kModes];
  BandHeightMemo() { Clear(); }
  void Clear() { std::memset(known, 0, sizeof known); }
};

struct ReportRun {
  KmDocBase* doc = nullptr;
  PageDriver* driver = nullptr;        // the printer library the run draws through
  PageOutputState* page = nullptr;     // the device and its metrics for this run
  RunCalcState* calc = nullptr;        // owned by the run, made by the calculation side
  BandOutputState* band = nullptr;     // owned by the run, made by the band output side
  RunLinks links = DefaultRunLinks();
  BandHeightMemo bandHeights;

  // Counters of the run.
  uint16_t copies = 1;
  uint32_t copyNumber = 0;
  int32_t startPage = 1;
  int32_t endPage = kDefaultEndPage;
  int32_t pageCount = 0;
  uint32_t pageNumber = kPageNumberBeforeRun;
  uint32_t recordsOutput = 0;
  uint32_t outputEmitted = 0;
  uint32_t exportRun = 0;              // an export: its format code + 1
  void* exportJob = nullptr;           // the export run's own state (not owned)
  uint32_t preview = 0;
  int32_t fetchResult = 0;
  uint32_t topOfPage = 0;
  bool hasRecordSource = true;
  bool recordsEnded = false;
  bool stopMark = false;
  bool pageEndFailed = false;
  bool recordPending = false;
  bool recordRepeating = false;  // the Record band is output again for the same record
  // Steady-clock milliseconds of the last look at pending window messages:
  // the run looks every kRunPumpMilliseconds, not at every record or band.
  int64_t lastPumpMs = INT64_MIN;

  // Layout figures of the run.
  int32_t pageFooterHeight = 0;
  uint32_t recordBandLines = 0;
  int32_t recordHeight = 0;
  uint32_t recordHasStretch = 0;
  BYTE* acrossBuffer = nullptr;
  uint32_t columnsAcross = 1;
  uint32_t currentColumn = 1;
  int32_t pageTopInColumn = 0;  // where the page's columns begin (1/720 inch)

  // Page set-up choices the run reads.
  uint32_t recordsAcrossExtra = 0;  // records in a row beyond the first
  bool summaryNewPage = false;
  bool recordsStretch = false;
  bool printRecordBand = true;
  bool suppressBlankLines = false;
  uint32_t recordRepeat = 1;
  int32_t linesPerInch = 6;
  int32_t pageBottom = 0;     // 1/720 inch kept free at the page's end (ordinal 10)
  int32_t pageStartArg = 0;   // where the first line of a page begins (ordinal 12)

  // Band sequencing; the group levels and the marks of a group break are the
  // calculation side's (calc), which sets them before each record.
  bool ownsCalc = false;
  void (*calcDeleter)(RunCalcState* calc) = nullptr;
  uint32_t closingBands = 0;
  int32_t lastBand = 0;
  int32_t recordedRepeatBand = 0;  // a repeated header recorded for band output

  // The query kept from one run to the next, and the rows it gives the
  // record pass.
  RecordRowSource* rows = nullptr;
  bool queryOpen = false;
  bool dataChanged = false;  // set by edits the open query does not reflect
  bool cacheValid = false;   // a record-position cache can replay the query's records
  RunDataSignature lastSignature;
  uint32_t queryOpens = 0;
};

// The document's run, or null outside a run.
ReportRun* RunOf(KmDocBase* doc);
// The group levels and break marks of a run (CreateReportRun makes them).
inline RunCalcState& CalcOf(ReportRun* run) { return *run->calc; }
inline const RunCalcState& CalcOf(const ReportRun* run) { return *run->calc; }
