// Which bands a run outputs around records, groups and pages, and in which
// order: Title, page header and footer (or the groups' swapped bands), group
// headers and footers over eight levels, and the Summary.
#include "engine/run_report.h"

#include "engine/band_output.h"
#include "engine/page_objects.h"
#include "foundation/doc_base.h"

#include <algorithm>

namespace {

bool Has(const ReportRun* r, int ordinal) { return r->driver && r->page && r->driver->HasEntry(ordinal); }

// Outputs one band through band output; 1 stops. The page is no longer at its
// top once the band moved the driver's position.
int RunBand(KmDocBase* doc, ReportRun* r, int band) {
  return OutputRunBand(doc, r, band);
}

}  // namespace

int OutputRunBand(KmDocBase* doc, ReportRun* r, int band) {
  bool tracked = Has(r, 22);
  WORD before = tracked ? r->driver->CurrentY(r->page) : 0;
  const int32_t pageBefore = r->pageCount;
  const uint32_t columnBefore = r->currentColumn;
  int state = r->output->OutputBand(doc, band, 0);
  r->lastBand = band;
  if (!tracked || r->driver->CurrentY(r->page) != before) {
    // The page header leaves the page at its top: what follows it is output
    // there even when it does not fit. So does a band whose last line began
    // a new page: a line it output there said so itself.
    const bool samePage = r->pageCount == pageBefore && r->currentColumn == columnBefore;
    if (band != kBandPageHeader && (samePage || !tracked)) r->topOfPage = 0;
    if (tracked && PageSendFlag(*r, doc->m_nRunMode)) r->outputEmitted = 1;
  }
  return state != 0 || doc->m_nRunState != kRunGoing ? 1 : 0;
}

namespace {

// Moves the driver down by distance (nothing when not positive); 1 after a refusal.
int MoveDownBy(KmDocBase* doc, ReportRun* r, int32_t distance) {
  if (distance <= 0 || !Has(r, 13)) return 0;
  if (r->driver->MoveDown(r->page, distance, PageSendFlag(*r, doc->m_nRunMode))) return 0;
  doc->m_nRunState = kRunDriverRefused;
  return 1;
}

int32_t SpaceLeft(ReportRun* r) { return Has(r, 10) ? r->driver->SpaceLeft(r->page, r->pageBottom) : 0; }

void RememberPageTop(ReportRun* r) {
  if (Has(r, 22)) r->pageTopInColumn = r->driver->CurrentY(r->page);
}

// Later columns start level with the first.
void MoveToPageTop(KmDocBase* doc, ReportRun* r) {
  if (!Has(r, 22)) return;
  int32_t y = r->driver->CurrentY(r->page);
  if (y < r->pageTopInColumn) MoveDownBy(doc, r, r->pageTopInColumn - y);
}

int BeginDriverPage(KmDocBase* doc, ReportRun* r) {
  if (!Has(r, 12)) return 0;
  if (r->driver->BeginPage(r->page, r->pageStartArg, PageSendFlag(*r, doc->m_nRunMode))) return 0;
  doc->m_nRunState = kRunDriverRefused;
  return 1;
}

bool LevelUsed(const ReportRun* r, int level) {
  return level >= 0 && level < CalcOf(r).levelsUsed && CalcOf(r).levels[level].field != kRunNoField;
}

bool HeaderTestAll(const ReportRun*, int) { return true; }
bool HeaderTestPending(const ReportRun* r, int level) { return (CalcOf(r).levels[level].runBits & kRunBreakPending) != 0; }
bool HeaderTestRepeat(const ReportRun* r, int level) {
  const RunGroupLevel& g = CalcOf(r).levels[level];
  if (!(g.options & kGroupRepeatHeader) || (g.options & kGroupSwapHeader) || (g.runBits & kRunHeaderRepeated))
    return false;
  for (int i = 0; i <= level; ++i)
    if (CalcOf(r).levels[i].runBits & kRunHeaderBusy) return false;
  if (g.runBits & kRunBreakPending) {
    // A group whose footer ended where the new page began goes on nowhere.
    const int ended = r->band != nullptr ? r->band->breakEndedGroupFooter : 0;
    if (ended != 0 && level >= ended - kBandGroupFooter) return false;
    return CalcOf(r).bandInProgress != 0 || r->closingBands != 0;
  }
  return true;
}
bool (*const kHeaderTests[3])(const ReportRun*, int) = {HeaderTestAll, HeaderTestPending, HeaderTestRepeat};

}  // namespace

void ResetPrintedOnceMarks(KmDocBase* doc, int level) {
  ReportRun* r = RunOf(doc);
  if (r != nullptr && r->band != nullptr) ClearPrintOnceMarks(r->band, level < 0 || level >= kRunGroupLevels ? -1 : level);
}

void FlushHeldLine(KmDocBase* doc) {
  ReportRun* r = RunOf(doc);
  if (r != nullptr && r->band != nullptr) SpanningGraphicsAtPageChange(r);
}

bool TestGroupFlag(KmDocBase* doc, int base, int band, uint8_t mask) {
  ReportRun* r = RunOf(doc);
  int level = band - base;
  return r && level >= 0 && level < kRunGroupLevels && (CalcOf(r).levels[level].options & mask) != 0;
}

bool AnyLevelHeaderBusy(KmDocBase* doc, int level) {
  ReportRun* r = RunOf(doc);
  if (!r) return false;
  for (int i = 0; i <= level && i < kRunGroupLevels; ++i)
    if (CalcOf(r).levels[i].runBits & kRunHeaderBusy) return true;
  return false;
}

bool FooterLinesFollow(KmDocBase* doc, int line, int band) {
  if (!doc->m_bandLines.lines) return false;
  for (int i = line; i >= 0 && i < kBandLineCount; ++i) {
    const BandLineRec& rec = doc->m_bandLines.lines[i];
    if (rec.kind != band) return false;
    if ((rec.flags & 2) && ((rec.flags & 1) || LineOutputHeight(doc, i, 0, band) > 0)) return true;
  }
  return false;
}

bool FooterEndsPage(KmDocBase* doc, int line, int band) {
  if (band < kBandGroupFooter || band > kBandGroupFooter + 7) return false;
  if (!TestGroupFlag(doc, kBandGroupFooter, band, kGroupResetPage | kGroupSwapHeader)) return false;
  return !FooterLinesFollow(doc, line, band);
}

bool OuterFooterPending(KmDocBase* doc, int band) {
  ReportRun* r = RunOf(doc);
  if (!r || CalcOf(r).reservedFooterSpace != 0) return false;
  int level = band - kBandGroupFooter;
  for (int outer = 0; outer < level && outer < kRunGroupLevels; ++outer) {
    if (!LevelUsed(r, outer) || !(CalcOf(r).levels[outer].runBits & kRunBreakPending)) continue;
    if (BandHeight(doc, kBandGroupFooter + outer, 0) > 0) return true;
  }
  return false;
}

int OutputTitleBand(KmDocBase* doc) {
  ReportRun* r = RunOf(doc);
  if (!r) return 1;
  if (!doc->m_bandLines.lines || doc->m_bandLines.lines[0].kind != kBandTitle || !Has(r, 12)) return 0;
  if (BeginDriverPage(doc, r)) return 1;
  if (RunBand(doc, r, kBandTitle)) return 1;
  if (CalcOf(r).pageResetPending) SetPageNumber(doc, 1);
  return 0;
}

void OutputPageBreakBands(KmDocBase* doc, int footerPart) {
  ReportRun* r = RunOf(doc);
  if (!r || doc->m_nRunState != kRunGoing) return;
  if (footerPart == 1 && CalcOf(r).footerSwap) {
    CalcOf(r).footerSwap = 0;
    return;
  }
  if (footerPart == 0) {
    if (BeginDriverPage(doc, r)) return;
    bool first = r->currentColumn <= 1;
    if (CalcOf(r).swapHeaderPending && !CalcOf(r).swapHeaderDone && !r->closingBands &&
        !(r->lastBand >= kBandGroupHeader && r->lastBand <= kBandGroupHeader + 7)) {
      if (first) {
        OutputGroupHeaders(doc, 1);
        RememberPageTop(r);
      } else {
        MoveToPageTop(doc, r);
      }
    } else if (first) {
      RunBand(doc, r, kBandPageHeader);
      RememberPageTop(r);
    } else {
      MoveToPageTop(doc, r);
    }
  } else {
    if (r->pageFooterHeight > 0 && MoveDownBy(doc, r, SpaceLeft(r) - r->pageFooterHeight)) return;
    if (r->columnsAcross > 1 && r->recordsEnded && RecordDoesNotFit(doc)) r->currentColumn = r->columnsAcross;
    if (r->currentColumn >= r->columnsAcross) RunBand(doc, r, kBandPageFooter);
  }
  CalcOf(r).footerSwap = 0;
}

bool PageLeavesRoom(KmDocBase* doc) {
  ReportRun* r = RunOf(doc);
  if (!r || !Has(r, 10) || !Has(r, 12)) return true;
  const int32_t header = std::max<int32_t>(0, BandHeight(doc, kBandPageHeader, 1));
  if (header + r->pageFooterHeight <= 0) return true;
  // Measured on the first page, begun as its first band would begin it.
  if (BeginDriverPage(doc, r)) return false;
  if (header + r->pageFooterHeight < SpaceLeft(r)) return true;
  r->output->ShowMessage(doc, kMsgNoRoomOnPage, 0);
  doc->m_nRunState = kRunStopped;
  return false;
}

int OutputGroupHeaders(KmDocBase* doc, int mode) {
  ReportRun* r = RunOf(doc);
  if (!r || mode < 0 || mode > 2) return 1;
  for (int level = 0; level < kRunGroupLevels; ++level) {
    if (!LevelUsed(r, level) || !kHeaderTests[mode](r, level)) continue;
    RunGroupLevel& g = CalcOf(r).levels[level];
    int band = kBandGroupHeader + level;
    int32_t h = BandHeight(doc, band, 1);
    if (mode == 2) {
      g.runBits |= kRunHeaderRepeated;
      if (r->closingBands) r->recordedRepeatBand = band;
    } else if ((level > 0 || r->recordsOutput > 0) && h >= 1 && !CalcOf(r).swapHeaderPending &&
               DoesNotFit(doc, h, r->pageFooterHeight)) {
      NoteBreakBand(r, band);
      if (!HandlePageOverflow(doc, 0)) return 1;
    }
    if (!(g.runBits & kRunHeaderBusy)) {
      g.runBits |= kRunHeaderBusy;
      int stop = RunBand(doc, r, band);
      g.runBits &= static_cast<uint8_t>(~kRunHeaderBusy);
      if (stop) return 1;
    }
    if (mode == 2) r->recordedRepeatBand = 0;
    else CalcOf(r).swapHeaderDone = CalcOf(r).swapHeaderPending;
  }
  return 0;
}

int OutputGroupFooters(KmDocBase* doc) {
  ReportRun* r = RunOf(doc);
  if (!r) return 1;
  int lastFooter = 0;
  for (int level = kRunGroupLevels - 1; level >= 0; --level) {
    if (!LevelUsed(r, level) || !(CalcOf(r).levels[level].runBits & kRunBreakPending)) continue;
    lastFooter = kBandGroupFooter + level;
    bool swap = (CalcOf(r).levels[level].options & kGroupSwapFooter) != 0;
    if (swap) CalcOf(r).footerSwap = 1;
    int band = kBandGroupFooter + level;
    int32_t h = BandHeight(doc, band, 1);
    if (h > 0) {
      if (swap || BandHeight(doc, band, 0) > 0) {
        if (DoesNotFit(doc, h, swap ? 0 : r->pageFooterHeight)) {
          NoteBreakBand(r, band);
          r->closingBands = 1;
          if (r->columnsAcross > 1 && swap) r->currentColumn = r->columnsAcross;
          int goOn = HandlePageOverflow(doc, 0);
          r->closingBands = 0;
          if (!goOn) return 1;
          if (swap) CalcOf(r).footerSwap = 1;
        }
      }
      if (swap && CalcOf(r).reservedFooterSpace > 0) {
        if (MoveDownBy(doc, r, SpaceLeft(r) - CalcOf(r).reservedFooterSpace)) return 1;
        CalcOf(r).reservedFooterSpace = 0;
      }
      if (r->columnsAcross > 1 && swap) r->currentColumn = 1;
      // A swapped footer takes the page footer's place: its lines are not
      // kept above that footer's reserve, so the band stays whole.
      BandOutputState* out = swap ? r->band : nullptr;
      if (out != nullptr) out->swappedFooterOutput = true;
      const int stop = RunBand(doc, r, band);
      if (out != nullptr) out->swappedFooterOutput = false;
      if (stop) return 1;
      if (r->columnsAcross > 1 && swap) r->currentColumn = r->columnsAcross;
    }
    ResetPrintedOnceMarks(doc, level);
  }
  if (!r->recordsEnded && CalcOf(r).pageAffectingBreak) {
    if (r->columnsAcross > 1) r->currentColumn = r->columnsAcross;
    // The finished group's footers end the page: its Page Footer shows that
    // group's last record, and the new page's headers the group that starts.
    if (lastFooter != 0) NoteBreakBand(r, lastFooter);
    if (!HandlePageOverflow(doc, CalcOf(r).pageResetPending ? 1 : 0)) return 1;
  }
  return 0;
}

int OutputSummaryBand(KmDocBase* doc) {
  ReportRun* r = RunOf(doc);
  if (!r) return 1;
  r->closingBands = 1;
  int32_t h = BandHeight(doc, kBandSummary, 1);
  if (h == 0) {
    OutputPageBreakBands(doc, 1);
    return 0;
  }
  // A page-break line (height -1) is band output's to act on.
  if (h > 0 && DoesNotFit(doc, h, r->summaryNewPage ? 0 : r->pageFooterHeight) &&
      NewPageForBand(doc, kBandSummary, 1))
    return 1;
  if (RunBand(doc, r, kBandSummary)) return 1;
  if (!r->summaryNewPage) OutputPageBreakBands(doc, 1);
  return 0;
}

int NewPageForBand(KmDocBase* doc, int band, int forced) {
  ReportRun* r = RunOf(doc);
  if (!r) return 1;
  if (r->columnsAcross > 1) r->currentColumn = r->columnsAcross;
  bool summary = band == kBandSummary;
  if (summary && (forced || !r->summaryNewPage)) OutputPageBreakBands(doc, 1);
  if (EndPage(doc, 0)) return 1;
  if (r->pageCount >= r->endPage) return 1;
  NewPage(doc, 0);
  if (summary && !r->summaryNewPage) {
    OutputPageBreakBands(doc, 0);
  } else if (BeginDriverPage(doc, r)) {
    return 1;
  }
  FlushHeldLine(doc);
  return doc->m_nRunState != kRunGoing ? 1 : 0;
}
