// One run of a report: preparing the data and the layout, the passes of the
// record and page loop, the page mechanics every band sequence uses, and the
// order of the bands around records, groups and pages. Routines answering
// "stop" return 1 and 0 to go on unless said otherwise.
#pragma once

#include "engine/report_run.h"

// --- the run (entry of print, preview and page-image exports) ---
// 0 ready, nonzero failed after its message.
int PrepareRunData(KmDocBase* doc);
// The run; its outcome is the run state and the closing message.
void RunReport(KmDocBase* doc);
// Pumps pending window messages; the active document's run state.
int32_t CheckRunCancelled();
// The same for a call on every record: messages are let through only every
// kRunPumpMilliseconds while a run is on; the run state is read every time.
int32_t PollRunCancelled();
// Dispatches pending window messages when the run last did so
// kRunPumpMilliseconds ago or more (the first call always does). The clock
// is read once in kRunPumpCallsPerLook calls: a run calls on every line.
constexpr int64_t kRunPumpMilliseconds = 60;
constexpr int kRunPumpCallsPerLook = 16;
void PumpRunMessagesNow(ReportRun* run);  // the look at the clock
inline void PumpRunMessages(ReportRun* run) {
  if (run->lastPumpMs != INT64_MIN && ++run->pumpCalls < kRunPumpCallsPerLook) return;
  PumpRunMessagesNow(run);
}
// The Record Layout settings, the stretching-text mark, the records-across
// buffer and the Record height; nonzero fails the run (its message shown).
int PrepareRun(KmDocBase* doc);
// A later copy reads the records from the first again: 0, or an engine code.
int RewindRunRecords(KmDocBase* doc);
int SetRunMode(KmDocBase* doc, int mode);
void ReleaseAcrossBuffer(KmDocBase* doc);
// Creates the document's run (m_pRun) for the driver and page; an existing
// one is kept. FreeReportRun deletes it.
ReportRun* CreateReportRun(KmDocBase* doc, PageDriver* driver, PageOutputState* page);
void FreeReportRun(KmDocBase* doc);

// --- the record and page loop ---
void RunReportPass(KmDocBase* doc);
bool DoesNotFit(KmDocBase* doc, int32_t height, int32_t reserve);
bool RecordDoesNotFit(KmDocBase* doc);
void SetPageNumber(KmDocBase* doc, uint32_t n);
void NewPage(KmDocBase* doc, int restartNumbering);
int EndPage(KmDocBase* doc, int lastPage);
// 1 go on, 0 stop.
int HandlePageOverflow(KmDocBase* doc, int restartNumbering);
// Whether the page holds nothing yet but what a page overflow put at its
// start (page header, repeated headers): a page-break line has nothing to
// leave behind, and a band that broke the page owes it no blank.
bool PageHoldsOnlyItsTop(const ReportRun* run);
// mode 1 all lines, 0 the fixed lines, -1 header space.
int32_t BandHeight(KmDocBase* doc, int band, int mode);
int32_t SumBandLines(KmDocBase* doc, int band, int stopAtFlag, int count);
int32_t LineHeight(KmDocBase* doc, int line);
int32_t LineOutputHeight(KmDocBase* doc, int line, int countEmpty, int band);
int32_t GetLineHeightOverride(KmDocBase* doc, int line, int32_t defaultHeight);
void ResetRunPass(KmDocBase* doc);
void ResetGroupBreaks(KmDocBase* doc, int setPending);
int CalcAllLevels(KmDocBase* doc);
void NoteSummaryNewPage(KmDocBase* doc);
// Times a record is output for a repeat value (a NaN, negative or small
// value once; a huge one bounded).
uint32_t RecordRepeatCount(double value);
// The send flag of a page: 0 only for a report's pages before the start page.
int PageSendFlag(const ReportRun& run, int runMode);

// --- group breaks and band sequencing ---
// One band through band output; 1 stops.
int OutputRunBand(KmDocBase* doc, ReportRun* run, int band);
int OutputTitleBand(KmDocBase* doc);
void OutputPageBreakBands(KmDocBase* doc, int footerPart);
// Whether a page holds more than its page header and footer; a page that
// does not is said, and stops the run before its first band. Begins the
// run's first page.
bool PageLeavesRoom(KmDocBase* doc);
// mode 0 all used levels, 1 levels with a pending break, 2 repeated headers.
int OutputGroupHeaders(KmDocBase* doc, int mode);
int OutputGroupFooters(KmDocBase* doc);
int OutputSummaryBand(KmDocBase* doc);
int NewPageForBand(KmDocBase* doc, int band, int forced);
// level -1: every level.
void ResetPrintedOnceMarks(KmDocBase* doc, int level);
// At a page change: lines and boxes still open are cut, then opened again.
void FlushHeldLine(KmDocBase* doc);
bool TestGroupFlag(KmDocBase* doc, int base, int band, uint8_t mask);
bool AnyLevelHeaderBusy(KmDocBase* doc, int level);
bool FooterLinesFollow(KmDocBase* doc, int line, int band);
bool FooterEndsPage(KmDocBase* doc, int line, int band);
bool OuterFooterPending(KmDocBase* doc, int band);
// Which empty lines of a band stay out: the Record band's with Suppress
// Record Lines or Compress Record/Group Lines, the group bands' with
// Compress Record/Group Lines.
bool BlankLinesDropped(const ReportRun* run, int band);
