#include "engine/band_output_links.h"
#include "layout/picture_chars.h"
#include "layout/page_setup.h"
#include "foundation/page_metrics.h"

#include "foundation/doc_base.h"
#include "layout/layout_records.h"
#include "engine/memo_field_text.h"
#include "engine/page_objects.h"
#include "engine/report_run.h"
#include "engine/run_report.h"
#include "core/composite.h"
#include "expr/document_format.h"

namespace {

// The run's steps answer 1 to go on; band output's hooks answer 0.
int PageOverflowStep(ReportRun* run) { return HandlePageOverflow(run->doc, 0) ? 0 : 1; }

int NewPageStep(ReportRun* run, int band, int withFooter) { return NewPageForBand(run->doc, band, withFooter); }

bool OuterFooterStep(ReportRun* run, int band) { return OuterFooterPending(run->doc, band); }

void PumpStep(ReportRun* run) { PumpRunMessages(run); }

void ResetPrintOnce(KmDocBase* doc, int level) {
  ReportRun* run = RunOf(doc);
  if (run == nullptr || run->band == nullptr) return;
  BandOutputState* s = run->band;
  if (level < 0 || run->calc == nullptr || s->layout == nullptr || s->layout->model == nullptr) {
    ClearAllPrintOnceMarks(s);
    return;
  }
  if (level < kRunGroupLevels)
    ClearPrintOnceMark(s, s->layout->model->GetFieldAt(run->calc->levels[level].field));
}

// The run sends a partly filled row before page footers and at the end.
int FlushRowForDoc(KmDocBase* doc) {
  ReportRun* run = RunOf(doc);
  return run && run->band ? FlushAcrossRow(run, 0) : 1;
}

// Called by the run at each page end and again once the next page has its
// headers: lines and boxes still open are cut, then opened again.
void PageChangeForDoc(KmDocBase* doc) {
  ReportRun* run = RunOf(doc);
  if (run && run->band) SpanningGraphicsAtPageChange(run);
}

}  // namespace

BandOutputState* PrepareBandOutput(KmDocBase* doc) {
  ReportRun* run = RunOf(doc);
  if (run == nullptr) return nullptr;
  if (run->band != nullptr && run->band->layout != nullptr) return run->band;
  BandOutputState* s = EnsureBandOutput(run);
  s->layout = doc->m_pLayout;
  TakeDocumentFormat(s->format, *doc);
  s->format.fonts = doc->m_pFonts;
  s->format.guillemet = GuillemetOfFontTable;
  if (s->layout != nullptr) s->units.layout = s->layout->metrics;
  if (run->page != nullptr) {
    s->units.printerX = static_cast<WORD>(run->page->printerResX);
    s->units.printerY = static_cast<WORD>(run->page->printerResY);
  }
  // Labels: each record of a row stands one record width (hundredths of an
  // inch, as the margins) to the right of the one before it.
  // Both orders of labels place their columns one record width apart.
  if (const PageSetupRec* ps = doc->m_pPageSetup)
    if (LabelColumns(*ps) >= 2 && RecordWidthHundredths(*doc) > 0)
      s->columnWidth = static_cast<LONG>(int64_t(RecordWidthHundredths(*doc)) * s->units.layout.dpiX / 100);
  // A label pitch: every record takes that height, and its band never breaks
  // the page.
  s->fixedRecordHeight = RecordPitch720(*doc);
  s->hooks.pageOverflow = PageOverflowStep;
  s->hooks.newPage = NewPageStep;
  s->hooks.outerFooterPending = OuterFooterStep;
  s->hooks.pumpMessages = PumpStep;
  s->hooks.fieldText = WrappedFieldWholeText;
  s->hooks.styledFieldText = WrappedFieldStyledText;
  return s;
}

int OutputBandForDoc(KmDocBase* doc, int band, int fitLimit) {
  if (PrepareBandOutput(doc) == nullptr) return doc->m_nRunState;
  return OutputBand(RunOf(doc), band, fitLimit);
}

void InstallBandOutputLinks(RunLinks& links) {
  links.outputBand = OutputBandForDoc;
  links.flushAcrossRow = FlushRowForDoc;
  links.flushHeldLine = PageChangeForDoc;
  SetPrintedOnceReset(ResetPrintOnce);
}
