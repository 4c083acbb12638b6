#include "engine/test_pattern.h"

#include "foundation/doc_base.h"
#include "engine/calc_pass.h"
#include "engine/report_run.h"
#include "engine/band_line_helpers.h"
#include "engine/run_report.h"
#include "foundation/band_lines.h"
#include "foundation/page_metrics.h"
#include "core/composite.h"

#include <algorithm>

namespace {

// Without the driver's space-left operation no band ever fails to fit; the
// column then ends after this many Record bands instead of never.
constexpr int kMaxBandsPerColumn = 32767;

int RunState(ReportRun* run) { return run->doc != nullptr ? run->doc->m_nRunState : 0; }

}  // namespace

void TestPatternPass(ReportRun* run) {
  RunCalcState* c = run->calc;
  KmDocBase* doc = run->doc;
  if (c == nullptr || doc == nullptr) return;
  if (PrepareRun(doc) != 0) {
    ReleaseAcrossBuffer(doc);
    return;
  }
  // No record run has to come first: the record height is the Record band's
  // own, worked out now from the layout as it stands.
  run->recordHeight = run->printRecordBand ? BandHeight(doc, kBandRecord, 0) : 0;
  if (run->recordHeight > 0) run->recordHeight = std::max(run->recordHeight, RecordPitch720(*doc));
  c->footerSwap = 0;
  c->swapHeaderPending = 0;
  c->swapHeaderDone = 0;
  const uint32_t columns = run->columnsAcross > 1 ? run->columnsAcross : 1;
  for (uint32_t column = 1; column <= columns && RunState(run) == 0; ++column) {
    run->currentColumn = column;
    OutputPageBreakBands(doc, 0);
    if (RunState(run) != 0) break;
    // A band with a page-break line measures -1: it fills the page once.
    for (int n = 0; n < kMaxBandsPerColumn && RunState(run) == 0 && run->recordHeight != 0; ++n) {
      if (OutputRunBand(doc, run, kBandRecord) != 0) break;
      if (FlushPendingAdvance(doc) == 0) break;
      if (run->recordHeight < 0 || RecordDoesNotFit(doc)) break;
    }
    OutputPageBreakBands(doc, 1);
    if (RunState(run) != 0) break;
    if (EndPage(doc, 1) != 0) break;
  }
  ReleaseAcrossBuffer(doc);
}

int RunTestPattern(ReportRun* run) {
  if (run == nullptr || run->calc == nullptr || run->doc == nullptr) return -1;
  KmDocBase* doc = run->doc;
  SetRunMode(doc, 1);
  SetPageNumber(doc, 1);
  run->pageCount = 1;
  run->recordsOutput = 0;
  run->recordPending = false;
  run->calc->footerSwap = 0;
  run->topOfPage = 0;
  doc->m_nRunState = 0;
  TestPatternPass(run);
  // The layout's fields point back at their items again.
  if (doc->m_pModel) doc->m_pModel->RelinkItemBackPointers();
  return RunState(run);
}
