// One pass of a report run per copy: the records one by one with the group
// breaks before each, the Record band with its page overflow, and at the end
// the last footers, the Summary and the last page.
#include "engine/band_line_helpers.h"
#include "engine/band_output.h"
#include "engine/chart_output.h"
#include "engine/doc_upkeep.h"
#include "engine/page_totals.h"
#include "engine/run_report.h"
#include "engine/summary_fields.h"

#include "core/composite.h"
#include "expr/value_helpers.h"
#include "foundation/byte_order.h"
#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "model/record_pass.h"
#include "platform/win/resources.h"

#include <cstdio>
#include <cstring>

namespace {

enum class After { NextRecord, LeaveLoop, EndPass };

// A stop inside the loop ends the pass after an error or before the last
// page asked for; past it the loop ends with the stop mark.
After StopOrMark(KmDocBase* doc, ReportRun* r) {
  if (doc->m_nRunState != kRunGoing || r->pageCount < r->endPage) return After::EndPass;
  r->stopMark = true;
  return After::LeaveLoop;
}

// Why a record repeat field cannot give the copies it asks for, once per run.
void NoteRepeatField(KmDocBase* doc, ReportRun* r, const FieldDef* f, unsigned id) {
  if (r->repeatFieldNoted) return;
  r->repeatFieldNoted = true;
  char text[400];
  std::snprintf(text, sizeof text, GetResString(id, 0), f != nullptr ? f->name : "?");
  TheRunShell().ShowRunNote(*doc, text);
}

// The times the record is output: the repeat field's value (a plain number,
// rounded down; once below 2), else the page set-up's copies of a record.
uint32_t RepeatCount(KmDocBase* doc, ReportRun* r) {
  if (r->recordRepeatField == kRunNoField || doc->m_pModel == nullptr) return r->recordRepeat > 1 ? r->recordRepeat : 1;
  const FieldDef* f = doc->m_pModel->GetFieldAt(r->recordRepeatField);
  if (f == nullptr || !(FieldKind(f) & kFieldNumeric) || f->value == nullptr) {
    NoteRepeatField(doc, r, f, kIdRepeatFieldNotNumeric);
    return 1;
  }
  const double value = GetF64(f->value);
  if (IsNullNumber(value)) return 1;
  // No more than the Record Layout's own number may ask for.
  const uint32_t copies = RecordRepeatCount(value);
  if (copies <= static_cast<uint32_t>(kMaxRecordCopies)) return copies;
  NoteRepeatField(doc, r, f, kIdRepeatFieldTooMany);
  return static_cast<uint32_t>(kMaxRecordCopies);
}

// A record kept whole that is taller than a page prints across pages all
// the same; the run says so once.
void NoteTallRecord(KmDocBase* doc, ReportRun* r) {
  if (r->tallRecordNoted || !r->recordsStretch || !r->recordHasStretch || !r->topOfPage) return;
  if (r->recordHeight <= RoomLeftOnPage(r, r->pageFooterHeight)) return;
  r->tallRecordNoted = true;
  TheRunShell().ShowRunNote(*doc, GetResString(kIdRecordTallerThanPage, 0));
}

void CountRecord(KmDocBase* doc, ReportRun* r) {
  ++r->recordsOutput;
  r->recordPending = false;
  for (int level = 0; level < CalcOf(r).levelsUsed && level < kRunGroupLevels; ++level)
    CalcOf(r).levels[level].runBits &= static_cast<uint8_t>(~kRunLevelBits);
  if (!r->preview && r->recordsOutput % 10 == 0) TheRunShell().PostRecordCount(*doc, 0);
  uint32_t exported = 0;
  if (r->exportRun && r->output->ExportedCount(&exported)) TheRunShell().PostExportCount(*doc, exported, 0);
}

// Between the records of the pages only Cancel and the preview's commands
// are let through: the record counters belong to reading the data before the
// run, and their status box, shown again here, would hold the frame disabled
// while the preview waits on a page.
int PassStatus(CKmComposite*) { return PollRunCancelled(); }

// The next record of the pass (first: the pass's first): 0, 3075 at the
// end, or an engine code. A report without a record source has its one
// record: the calculations are evaluated once.
int FetchRecord(KmDocBase* doc, ReportRun* r, bool first) {
  CKmComposite* m = doc->m_pModel;
  if (!r->hasRecordSource) {
    if (first && m != nullptr) ScanRecords(m, CountRecordRead, 0);
    return first ? 0 : kEndOfRecords;
  }
  if (m == nullptr) return kEndOfRecords;
  return RunRecordPass(m, PassStatus);
}

// Step d of the loop: the record, as many times as it repeats.
After OutputRecord(KmDocBase* doc, ReportRun* r) {
  uint32_t repeats = RepeatCount(doc, r);
  for (uint32_t i = 0; i < repeats; ++i) {
    if (doc->m_nRunState != kRunGoing) return After::EndPass;
    if ((r->recordsOutput > 0 || i > 0 || !r->hasRecordSource) && r->recordHeight >= 1 && RecordDoesNotFit(doc)) {
      NoteBreakBand(r, kBandRecord);
      if (!HandlePageOverflow(doc, 0)) return StopOrMark(doc, r);
    }
    // The record counts on the page it starts on: band output takes its
    // page figures at its first text line, once that line has its page; a
    // row across takes them as it is gathered, its flush settling the page.
    const bool takeNow = r->recordsAcrossExtra > 0 || !r->printRecordBand;
    if (i == 0 && takeNow) RecordHasItsPage(r);
    r->closingBands = 0;
    r->recordRepeating = i > 0;
    NoteTallRecord(doc, r);
    if (r->printRecordBand && OutputRunBand(doc, r, kBandRecord)) {
      if (doc->m_nRunState == kRunGoing && r->pageCount >= r->endPage) {
        CountRecord(doc, r);
        r->stopMark = true;
        return After::LeaveLoop;
      }
      return After::EndPass;
    }
    // A Record band that drew no text line counts where it ended.
    if (i == 0 && !takeNow) RecordHasItsPage(r);
    r->recordPending = true;
    r->recordRepeating = false;
    if (!FlushPendingAdvance(doc)) break;
  }
  return After::NextRecord;
}

// The first record: the output job, the Title, the first page header and
// every group header. False ends the pass.
bool BeginFirstPage(KmDocBase* doc, ReportRun* r, bool* nextCopy) {
  if (!r->output->StartJob(doc)) {
    doc->m_nRunState = kRunStopped;
    return false;
  }
  if (!PageLeavesRoom(doc)) return false;
  if (doc->m_pModel) SaveFieldValues(doc->m_pModel);
  if (OutputTitleBand(doc)) {
    if (r->pageCount < r->endPage) return false;
    *nextCopy = true;
    return true;
  }
  OutputPageBreakBands(doc, 0);
  if (doc->m_nRunState != kRunGoing) return false;
  if (!CalcOf(r).swapHeaderPending && OutputGroupHeaders(doc, 0)) {
    *nextCopy = true;
    return doc->m_nRunState == kRunGoing;
  }
  return true;
}

// The final counts of the "Printing" dialog.
void PostFinalCounts(KmDocBase* doc, ReportRun* r) {
  RunShell& shell = TheRunShell();
  if (!r->preview) shell.PostRecordCount(*doc, 1);
  uint32_t exported = 0;
  if (r->output->ExportedCount(&exported)) shell.PostExportCount(*doc, exported, 1);
}

// Steps 8 and 9: after the last record.
void FinishPass(KmDocBase* doc, ReportRun* r) {
  PostFinalCounts(doc, r);
  // The last row of records across may end the last page of the range.
  if (r->band != nullptr && !FlushAcrossRow(r, 0) &&
      (doc->m_nRunState != kRunGoing || r->pageCount >= r->endPage))
    return;
  CalcOf(r).swapHeaderPending = 0;
  CalcOf(r).pageAffectingBreak = 0;
  CalcOf(r).reservedFooterSpace = 0;
  r->recordsEnded = true;
  // Every group ends with the last record, whatever the record pass read
  // after it and left out.
  r->groupEndedOnPage = true;
  if (int code = CalcAllLevels(doc))
    if (doc->m_pModel) ReportScanError(doc->m_pModel, code);
  for (int level = 0; level < CalcOf(r).levelsUsed && level < kRunGroupLevels; ++level) {
    if (CalcOf(r).levels[level].options & kGroupSwapFooter) {
      int32_t h = SumBandLines(doc, kBandGroupFooter + level, 1, 0);
      if (h > 0) CalcOf(r).reservedFooterSpace += h;
    }
    if (CalcOf(r).levels[level].options & kGroupResetPage) CalcOf(r).pageResetPending = 1;
  }
  FeedChartsAtLevel(&CalcOf(r));
  if (!OutputGroupFooters(doc) && !OutputSummaryBand(doc)) EndPage(doc, 1);
  // What the footers and the Summary exported counts too.
  uint32_t exported = 0;
  if (r->output->ExportedCount(&exported)) TheRunShell().PostExportCount(*doc, exported, 1);
}

void BeginPass(KmDocBase* doc, ReportRun* r) {
  SetPageNumber(doc, 1);
  r->pageCount = 1;
  r->currentColumn = 1;
  r->pageEndFailed = false;
  r->recordsEnded = false;
  ResetPrintedOnceMarks(doc, -1);
  ResetRunPass(doc);
  ResetRunCharts(doc);
  RunShell& shell = TheRunShell();
  if (r->copies > 1) shell.PostCopyNumber(*doc, static_cast<int>(r->copyNumber) - 1);
  if (!r->preview) shell.PostRecordCount(*doc, 1);
  uint32_t exported = 0;
  if (r->output->ExportedCount(&exported)) shell.PostExportCount(*doc, exported, 1);
  else shell.PostPageNumber(*doc);
  r->closingBands = 0;
  r->recordPending = false;
  r->groupEndedOnPage = false;
  CalcOf(r).recordPageTotals.clear();
  ForgetRowFigures(&CalcOf(r));
  CalcOf(r).bandInProgress = 0;
  r->stopMark = false;
  CalcOf(r).swapHeaderPending = CalcOf(r).swapHeaderDone = 0;
  CalcOf(r).pageAffectingBreak = CalcOf(r).pageResetPending = CalcOf(r).footerSwap = 0;
  CalcOf(r).reservedFooterSpace = CalcOf(r).headerSpace = 0;
  r->lastBand = 0;
  r->topOfPage = 1;
  r->topBandsPage = 0;
}

}  // namespace

void RunReportPass(KmDocBase* doc) {
  ReportRun* r = RunOf(doc);
  if (!r) return;
  ClearGroupValues(&CalcOf(r));
  for (uint32_t copy = 1; copy <= (r->copies > 0 ? r->copies : 1u); ++copy) {
    r->copyNumber = copy;
    if (doc->m_nRunState != kRunGoing) break;
    if (copy > 1) {
      if (!r->outputEmitted) break;
      if (r->hasRecordSource) {
        if (int code = RewindRunRecords(doc)) {
          if (doc->m_pModel) ReportScanError(doc->m_pModel, code);
          doc->m_nRunState = kRunStopped;
          break;
        }
      }
    }
    BeginPass(doc, r);
    r->fetchResult = FetchRecord(doc, r, true);
    if (r->fetchResult == 0 && doc->m_nRunState == kRunGoing) {
      bool nextCopy = false;
      if (!BeginFirstPage(doc, r, &nextCopy)) break;
      if (nextCopy) continue;
    }
    After after = After::NextRecord;
    for (;;) {
      if (r->hasRecordSource && r->recordsOutput > 0) r->fetchResult = FetchRecord(doc, r, false);
      if (r->fetchResult != 0 || doc->m_nRunState != kRunGoing) {
        if (doc->m_nRunState != kRunGoing) {
          after = After::EndPass;
        } else if (r->fetchResult != kEndOfRecords) {
          if (doc->m_pModel) ReportScanError(doc->m_pModel, r->fetchResult);
          doc->m_nRunState = kRunStopped;
          after = After::EndPass;
        } else {
          r->recordsEnded = true;
          after = After::LeaveLoop;
        }
        break;
      }
      if (HandleGroupBreak(&CalcOf(r))) {
        after = StopOrMark(doc, r);
        break;
      }
      after = OutputRecord(doc, r);
      if (after != After::NextRecord) break;
      CountRecord(doc, r);
      if (!r->hasRecordSource) {
        after = After::LeaveLoop;
        break;
      }
    }
    if (after == After::EndPass) break;
    if (doc->m_nRunState != kRunGoing || r->stopMark || r->recordsOutput == 0) continue;
    FinishPass(doc, r);
  }
}
