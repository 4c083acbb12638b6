#include "engine/test_pattern.h"

#include "foundation/doc_base.h"
#include "engine/calc_pass.h"
#include "engine/report_run.h"
#include "foundation/band_lines.h"

namespace {

// Without the driver's space-left operation no band ever fails to fit; the
// column then ends after this many Record bands instead of never.
constexpr int kMaxBandsPerColumn = 32767;

int RunState(ReportRun* run) { return run->doc != nullptr ? run->doc->m_nRunState : 0; }

}  // namespace

void TestPatternPass(ReportRun* run) {
  RunCalcState* c = run->calc;
  if (c == nullptr) return;
  const RunCalcHooks& h = c->hooks;
  if (h.prepareAcrossBuffer && h.prepareAcrossBuffer(run) != 0) return;
  // No record run has to come first: the record height is the Record band's
  // own, worked out now from the layout as it stands.
  if (h.setRecordHeight) {
    const int32_t height = h.printRecordBand == nullptr || h.printRecordBand(run)
                               ? (h.bandHeight ? h.bandHeight(run, kBandRecord, 0) : 0)
                               : 0;
    h.setRecordHeight(run, height);
  }
  c->footerSwap = 0;
  c->swapHeaderPending = 0;
  c->swapHeaderDone = 0;
  const int columns = h.columnsAcross && h.columnsAcross(run) > 1 ? h.columnsAcross(run) : 1;
  for (int column = 1; column <= columns && RunState(run) == 0; ++column) {
    if (h.setCurrentColumn) h.setCurrentColumn(run, column);
    if (h.outputPageBreakBands && h.outputPageBreakBands(run, 0) != 0) break;
    // A band with a page-break line measures -1: it fills the page once.
    for (int n = 0; n < kMaxBandsPerColumn && RunState(run) == 0 && h.recordHeight && h.recordHeight(run) != 0 &&
                    h.outputBand;
         ++n) {
      if (h.outputBand(run, kBandRecord) != 0) break;
      if (h.flushPendingAdvance && h.flushPendingAdvance(run) != 0) break;
      if (h.recordHeight(run) < 0 || h.recordDoesNotFit == nullptr || h.recordDoesNotFit(run)) break;
    }
    if (h.outputPageBreakBands && h.outputPageBreakBands(run, 1) != 0) break;
    if (RunState(run) == 0 && h.endPage && h.endPage(run, 1) != 0) break;
  }
  if (h.releaseAcrossBuffer) h.releaseAcrossBuffer(run);
}

int RunTestPattern(ReportRun* run) {
  if (run == nullptr || run->calc == nullptr) return -1;
  const RunCalcHooks& h = run->calc->hooks;
  if (h.startTestPattern) h.startTestPattern(run);
  if (run->doc != nullptr) run->doc->m_nRunState = 0;
  TestPatternPass(run);
  if (h.endTestPattern) h.endTestPattern(run);
  return RunState(run);
}
