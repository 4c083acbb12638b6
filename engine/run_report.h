// One run of a report: preparing the data and the layout, the passes of the
// record and page loop, the page mechanics every band sequence uses, and the
// order of the bands around records, groups and pages. Routines answering
// "stop" return 1 and 0 to go on unless said otherwise.
#pragma once

#include "engine/report_run.h"

// --- the run (entry of print, preview and page-image exports) ---
// 0 ready, nonzero failed after its message.
int PrepareRunData(CKmDoc* doc);
// The run; its outcome is the run state and the closing message.
void RunReport(CKmDoc* doc);
// Pumps pending window messages; the active document's run state.
int32_t CheckRunCancelled();
int PrepareRun(CKmDoc* doc);
int SetRunMode(CKmDoc* doc, int mode);
void ReleaseAcrossBuffer(CKmDoc* doc);
// Creates the document's run (m_pRun) for the driver and page; an existing
// one is kept. FreeReportRun deletes it.
ReportRun* CreateReportRun(CKmDoc* doc, PageDriver* driver, PageOutputState* page);
void FreeReportRun(CKmDoc* doc);

// --- the record and page loop ---
void RunReportPass(CKmDoc* doc);
bool DoesNotFit(CKmDoc* doc, int32_t height, int32_t reserve);
bool RecordDoesNotFit(CKmDoc* doc);
void SetPageNumber(CKmDoc* doc, uint32_t n);
void NewPage(CKmDoc* doc, int restartNumbering);
int EndPage(CKmDoc* doc, int lastPage);
// 1 go on, 0 stop.
int HandlePageOverflow(CKmDoc* doc, int restartNumbering);
// mode 1 all lines, 0 the fixed lines, -1 header space.
int32_t BandHeight(CKmDoc* doc, int band, int mode);
int32_t SumBandLines(CKmDoc* doc, int band, int stopAtFlag, int count);
int32_t LineHeight(CKmDoc* doc, int line);
int32_t LineOutputHeight(CKmDoc* doc, int line, int countEmpty, int band);
int32_t GetLineHeightOverride(CKmDoc* doc, int line, int32_t defaultHeight);
void ResetRunPass(CKmDoc* doc);
void ResetGroupBreaks(CKmDoc* doc, int setPending);
int CalcAllLevels(CKmDoc* doc);
void NoteSummaryNewPage(CKmDoc* doc);
// Times a record is output for a repeat value (a NaN, negative or small
// value once; a huge one bounded).
uint32_t RecordRepeatCount(double value);
// The send flag of a page: 0 only for a report's pages before the start page.
int PageSendFlag(const ReportRun& run, int runMode);

// --- group breaks and band sequencing ---
// One band through band output; 1 stops.
int OutputRunBand(CKmDoc* doc, ReportRun* run, int band);
int OutputTitleBand(CKmDoc* doc);
void OutputPageBreakBands(CKmDoc* doc, int footerPart);
// mode 0 all used levels, 1 levels with a pending break, 2 repeated headers.
int OutputGroupHeaders(CKmDoc* doc, int mode);
int OutputGroupFooters(CKmDoc* doc);
int OutputSummaryBand(CKmDoc* doc);
int NewPageForBand(CKmDoc* doc, int band, int forced);
// level -1: every level.
void ResetPrintedOnceMarks(CKmDoc* doc, int level);
bool TestGroupFlag(CKmDoc* doc, int base, int band, uint8_t mask);
bool AnyLevelHeaderBusy(CKmDoc* doc, int level);
bool FooterLinesFollow(CKmDoc* doc, int line, int band);
bool FooterEndsPage(CKmDoc* doc, int line, int band);
bool OuterFooterPending(CKmDoc* doc, int band);
// Band output's hook for the printed-once mark of placed group fields.
void SetPrintedOnceReset(void (*reset)(CKmDoc* doc, int level));
