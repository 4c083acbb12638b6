// The run and its calculation side joined: the group-break handler, the
// calculated-fields pass and the totals the run calls, and the page
// mechanics and band sequencing the calculation side calls back.
#include "engine/run_links.h"
#include "engine/chart_output.h"

#include "foundation/doc_base.h"
#include "foundation/page_metrics.h"
#include "engine/run_report.h"
#include "engine/summary_fields.h"
#include "core/composite.h"
#include "data/memo_sources.h"
#include "expr/functions_common.h"
#include "model/record_pass.h"

#include <algorithm>

namespace {

KmDocBase* DocOf(ReportRun* run) { return run ? run->doc : nullptr; }

uint32_t HookRecordsOutput(ReportRun* run) { return run->recordsOutput; }
int32_t HookRecordHeight(ReportRun* run) { return run->recordHeight; }
// A printed Record band takes at least the label pitch on the page.
void HookSetRecordHeight(ReportRun* run, int32_t h) {
  run->recordHeight = h > 0 && run->doc != nullptr ? std::max(h, RecordPitch720(*run->doc)) : h;
}
int HookExportKind(ReportRun* run) { return static_cast<int>(run->exportRun); }
int HookRecordsAcross(ReportRun* run) { return run->recordsAcrossExtra > 0 ? 1 : 0; }
int HookPrintRecordBand(ReportRun* run) { return run->printRecordBand ? 1 : 0; }
int HookColumnMode(ReportRun* run) { return run->columnsAcross > 1 ? 1 : 0; }
int HookCurrentColumn(ReportRun* run) { return static_cast<int>(run->currentColumn); }
int HookColumnsAcross(ReportRun* run) { return static_cast<int>(run->columnsAcross); }
void HookSetCurrentColumn(ReportRun* run, int column) {
  run->currentColumn = column > 0 ? static_cast<uint32_t>(column) : 1u;
}
int32_t HookBandHeight(ReportRun* run, int band, int mode) { return BandHeight(DocOf(run), band, mode); }
int32_t HookBandHeightToBreak(ReportRun* run, int band) { return SumBandLines(DocOf(run), band, 1, 0); }
bool HookBandHasPageBreakLine(ReportRun* run, int band) {
  const BandLineTable& t = run->doc->m_bandLines;
  for (int i = 0; t.lines && i <= t.lastUsed && i < kBandLineCount; ++i)
    if (t.lines[i].kind == band && (t.lines[i].flags & 1)) return true;
  return false;
}
bool HookDoesNotFit(ReportRun* run, int32_t height) {
  return DoesNotFit(DocOf(run), height, run->pageFooterHeight);
}
bool HookRecordDoesNotFit(ReportRun* run) { return RecordDoesNotFit(DocOf(run)); }
int HookOutputGroupFooters(ReportRun* run) { return OutputGroupFooters(DocOf(run)); }
int HookOutputGroupHeaders(ReportRun* run, int mode) { return OutputGroupHeaders(DocOf(run), mode); }
int HookHandlePageOverflow(ReportRun* run, int restart) { return HandlePageOverflow(DocOf(run), restart); }
int HookOutputPageBreakBands(ReportRun* run, int footerPart) {
  OutputPageBreakBands(DocOf(run), footerPart);
  return run->doc->m_nRunState != kRunGoing ? 1 : 0;
}
int HookOutputBand(ReportRun* run, int band) { return OutputRunBand(DocOf(run), run, band); }
int HookEndPage(ReportRun* run, int lastPage) { return EndPage(DocOf(run), lastPage); }
int HookFlushAcrossRow(ReportRun* run) {
  return run->links.flushAcrossRow && !run->links.flushAcrossRow(run->doc) ? 1 : 0;
}
int HookFlushPendingAdvance(ReportRun* run) {
  return run->links.flushPendingAdvance && !run->links.flushPendingAdvance(run->doc) ? 1 : 0;
}
void HookStartTestPattern(ReportRun* run) {
  SetRunMode(run->doc, 1);
  SetPageNumber(run->doc, 1);
  run->pageCount = 1;
  run->recordsOutput = 0;
  run->recordPending = false;
  CalcOf(run).footerSwap = 0;
  run->topOfPage = 0;
}
void HookEndTestPattern(ReportRun* run) {
  if (run->doc->m_pModel) run->doc->m_pModel->RelinkItemBackPointers();
}

RunCalcState* MakeCalc(KmDocBase* doc) { return NewRunCalcState(doc->m_pModel); }

int GroupBreak(KmDocBase* doc) { return HandleGroupBreak(&CalcOf(RunOf(doc))); }
int CalcList(KmDocBase* doc, int list) { return doc->m_pModel ? CalcBandFields(doc->m_pModel, list) : 0; }
void Finish(KmDocBase* doc) { FinishSummaries(&CalcOf(RunOf(doc))); }
void PageTotals(KmDocBase* doc) { ResetPageTotals(&CalcOf(RunOf(doc))); }
void FeedCharts(KmDocBase* doc) { FeedChartsAtLevel(&CalcOf(RunOf(doc))); }

// A new page number: PAGENO() and the copy number read it, and the needed
// calculations that rest on the page number are evaluated again for the page.
void PageNumberChanged(KmDocBase* doc, uint32_t pageNumber) {
  BuiltinDocumentState& state = ActiveBuiltinDocument();
  state.pageNumber = static_cast<int32_t>(pageNumber);
  ReportRun* run = RunOf(doc);
  if (run != nullptr) state.copyNumber = static_cast<int32_t>(run->copyNumber);
  CKmComposite* m = doc != nullptr ? doc->m_pModel : nullptr;
  if (m == nullptr) return;
  for (FieldDef* f = m->calcOrderList; f != nullptr; f = f->orderNext)
    if ((f->flags & (kFieldNeeded | kFieldPageNumber | kFieldCalculation)) ==
            (kFieldNeeded | kFieldPageNumber | kFieldCalculation) &&
        !(f->flags & kFieldAlias) && !(f->totalFlags & kTotalIsTotal) && f->code != nullptr)
      EvaluateCalculation(m, f);
}

}  // namespace

void InstallRunCalcHooks(ReportRun* run) {
  if (!run || !run->calc) return;
  RunCalcState& c = CalcOf(run);
  c.run = run;
  RunCalcHooks& h = c.hooks;
  h.recordsOutput = HookRecordsOutput;
  h.recordHeight = HookRecordHeight;
  h.setRecordHeight = HookSetRecordHeight;
  h.exportKind = HookExportKind;
  h.recordsAcross = HookRecordsAcross;
  h.printRecordBand = HookPrintRecordBand;
  h.columnMode = HookColumnMode;
  h.currentColumn = HookCurrentColumn;
  h.columnsAcross = HookColumnsAcross;
  h.bandHeight = HookBandHeight;
  h.bandHeightToBreak = HookBandHeightToBreak;
  h.bandHasPageBreakLine = HookBandHasPageBreakLine;
  h.doesNotFit = HookDoesNotFit;
  h.recordDoesNotFit = HookRecordDoesNotFit;
  h.outputGroupFooters = HookOutputGroupFooters;
  h.outputGroupHeaders = HookOutputGroupHeaders;
  h.handlePageOverflow = HookHandlePageOverflow;
  h.outputPageBreakBands = HookOutputPageBreakBands;
  h.outputBand = HookOutputBand;
  h.endPage = HookEndPage;
  h.flushAcrossRow = HookFlushAcrossRow;
  h.flushPendingAdvance = HookFlushPendingAdvance;
  h.setCurrentColumn = HookSetCurrentColumn;
  h.startTestPattern = HookStartTestPattern;
  h.endTestPattern = HookEndTestPattern;
  h.feedCharts = FeedRunCharts;
}

void InstallCalcLinks(RunLinks& links) {
  links.pageNumberChanged = PageNumberChanged;
  links.newCalcState = MakeCalc;
  links.deleteCalcState = DeleteRunCalcState;
  links.handleGroupBreak = GroupBreak;
  links.calcBandFields = CalcList;
  links.finishSummaries = Finish;
  links.resetPageTotals = PageTotals;
  links.feedChartsAtLevel = FeedCharts;
}

void BeginRunRecordPass(KmDocBase* doc) {
  if (doc->m_pModel) GetRecordPassState(doc->m_pModel)->updateSummaries = UpdateSummaries;
  if (doc->m_pModel) InstallMemoReaders(doc->m_pModel);
}

void EndRunRecordPass(KmDocBase* doc) {
  if (doc->m_pModel) GetRecordPassState(doc->m_pModel)->updateSummaries = nullptr;
}
