// One pass of a report run per copy: the records one by one with the group
// breaks before each, the Record band with its page overflow, and at the end
// the last footers, the Summary and the last page.
#include "engine/chart_output.h"
#include "engine/run_report.h"

#include "foundation/doc_base.h"

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

uint32_t RepeatCount(KmDocBase* doc, ReportRun* r) {
  double value = 0;
  if (r->links.repeatValue && r->links.repeatValue(doc, &value)) return RecordRepeatCount(value);
  return r->recordRepeat > 1 ? r->recordRepeat : 1;
}

void CountRecord(KmDocBase* doc, ReportRun* r) {
  ++r->recordsOutput;
  r->recordPending = false;
  for (int level = 0; level < CalcOf(r).levelsUsed && level < kRunGroupLevels; ++level)
    CalcOf(r).levels[level].runBits &= static_cast<uint8_t>(~kRunLevelBits);
  if (!r->preview && r->recordsOutput % 10 == 0 && r->links.progress)
    r->links.progress(doc, kProgressRecords, r->recordsOutput);
}

// Step d of the loop: the record, as many times as it repeats.
After OutputRecord(KmDocBase* doc, ReportRun* r) {
  uint32_t repeats = RepeatCount(doc, r);
  for (uint32_t i = 0; i < repeats; ++i) {
    if (doc->m_nRunState != kRunGoing) return After::EndPass;
    if ((r->recordsOutput > 0 || i > 0 || !r->hasRecordSource) && r->recordHeight >= 1 &&
        RecordDoesNotFit(doc) && !HandlePageOverflow(doc, 0))
      return StopOrMark(doc, r);
    r->closingBands = 0;
    r->recordRepeating = i > 0;
    if (r->printRecordBand && OutputRunBand(doc, r, kBandRecord)) {
      if (doc->m_nRunState == kRunGoing && r->pageCount >= r->endPage) {
        CountRecord(doc, r);
        r->stopMark = true;
        return After::LeaveLoop;
      }
      return After::EndPass;
    }
    r->recordPending = true;
    r->recordRepeating = false;
    if (r->links.flushPendingAdvance && !r->links.flushPendingAdvance(doc)) break;
  }
  return After::NextRecord;
}

// The first record: the output job, the Title, the first page header and
// every group header. False ends the pass.
bool BeginFirstPage(KmDocBase* doc, ReportRun* r, bool* nextCopy) {
  if (r->links.startOutputJob && !r->links.startOutputJob(doc)) {
    doc->m_nRunState = kRunStopped;
    return false;
  }
  if (r->links.saveFieldValues) r->links.saveFieldValues(doc);
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

// Steps 8 and 9: after the last record.
void FinishPass(KmDocBase* doc, ReportRun* r) {
  if (r->links.progress) r->links.progress(doc, kProgressRecords, r->recordsOutput);
  if (r->links.flushAcrossRow) r->links.flushAcrossRow(doc);
  CalcOf(r).swapHeaderPending = 0;
  CalcOf(r).pageAffectingBreak = 0;
  CalcOf(r).reservedFooterSpace = 0;
  r->recordsEnded = true;
  if (int code = CalcAllLevels(doc))
    if (r->links.reportEngineError) r->links.reportEngineError(doc, code);
  if (CalcOf(r).pageTotalsResetDue && r->links.resetPageTotals) r->links.resetPageTotals(doc);
  for (int level = 0; level < CalcOf(r).levelsUsed && level < kRunGroupLevels; ++level) {
    if (CalcOf(r).levels[level].options & kGroupSwapFooter) {
      int32_t h = SumBandLines(doc, kBandGroupFooter + level, 1, 0);
      if (h > 0) CalcOf(r).reservedFooterSpace += h;
    }
    if (CalcOf(r).levels[level].options & kGroupResetPage) CalcOf(r).pageResetPending = 1;
  }
  if (r->links.feedChartsAtLevel) r->links.feedChartsAtLevel(doc);
  if (!OutputGroupFooters(doc) && !OutputSummaryBand(doc)) EndPage(doc, 1);
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
  if (r->links.progress) {
    if (r->copies > 1) r->links.progress(doc, kProgressCopy, r->copyNumber);
    r->links.progress(doc, kProgressRecords, 0);
    r->links.progress(doc, kProgressPages, 1);
  }
  r->closingBands = 0;
  r->recordPending = false;
  CalcOf(r).pageTotalsResetDue = 0;
  CalcOf(r).bandInProgress = 0;
  r->stopMark = false;
  CalcOf(r).swapHeaderPending = CalcOf(r).swapHeaderDone = 0;
  CalcOf(r).pageAffectingBreak = CalcOf(r).pageResetPending = CalcOf(r).footerSwap = 0;
  CalcOf(r).reservedFooterSpace = CalcOf(r).headerSpace = 0;
  r->lastBand = 0;
  r->topOfPage = 1;
}

}  // namespace

void RunReportPass(KmDocBase* doc) {
  ReportRun* r = RunOf(doc);
  if (!r) return;
  std::memset(CalcOf(r).previousGroup, kGroupSlotFill, sizeof CalcOf(r).previousGroup);
  for (uint32_t copy = 1; copy <= (r->copies > 0 ? r->copies : 1u); ++copy) {
    r->copyNumber = copy;
    if (doc->m_nRunState != kRunGoing) break;
    if (copy > 1) {
      if (!r->outputEmitted) break;
      if (r->hasRecordSource && r->links.rewindRecords) {
        if (int code = r->links.rewindRecords(doc)) {
          if (r->links.reportEngineError) r->links.reportEngineError(doc, code);
          doc->m_nRunState = kRunStopped;
          break;
        }
      }
    }
    BeginPass(doc, r);
    r->fetchResult = r->hasRecordSource && r->links.fetchRecord ? r->links.fetchRecord(doc, 1) : 0;
    if (!r->hasRecordSource) r->fetchResult = 0;
    if (r->fetchResult == 0 && doc->m_nRunState == kRunGoing) {
      bool nextCopy = false;
      if (!BeginFirstPage(doc, r, &nextCopy)) break;
      if (nextCopy) continue;
    }
    After after = After::NextRecord;
    for (;;) {
      if (r->hasRecordSource && r->recordsOutput > 0 && r->links.fetchRecord)
        r->fetchResult = r->links.fetchRecord(doc, 0);
      if (r->fetchResult != 0 || doc->m_nRunState != kRunGoing) {
        if (doc->m_nRunState != kRunGoing) {
          after = After::EndPass;
        } else if (r->fetchResult != kEndOfRecords) {
          if (r->links.reportEngineError) r->links.reportEngineError(doc, r->fetchResult);
          doc->m_nRunState = kRunStopped;
          after = After::EndPass;
        } else {
          r->recordsEnded = true;
          after = After::LeaveLoop;
        }
        break;
      }
      if (r->links.handleGroupBreak && r->links.handleGroupBreak(doc)) {
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
