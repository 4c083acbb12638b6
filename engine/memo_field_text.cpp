#include "engine/memo_field_text.h"

#include "core/composite.h"
#include "core/engine_errors.h"
#include "core/fields.h"
#include "data/memo_sources.h"
#include "engine/line_text.h"
#include "engine/report_run.h"
#include "foundation/doc_base.h"
#include "layout/fonts.h"
#include "model/memo_text.h"
#include "model/record_pass.h"

namespace {

// The memo's <F face> code names a face of the document's printer fonts.
int FindDocFace(void* doc, const char* face) {
  const KmDocBase* d = static_cast<const KmDocBase*>(doc);
  return d != nullptr && d->m_pFonts != nullptr ? FindFontByFace(*d->m_pFonts, face, false) : -1;
}

bool WholeText(ReportRun* run, const FieldDef* f, const BYTE* value, std::string* text, ItemOutput* item) {
  BandOutputState* s = run->band;
  text->clear();
  CKmComposite* m = run->doc != nullptr ? run->doc->m_pModel : nullptr;
  RecordPassState* st = m != nullptr ? GetRecordPassState(m) : nullptr;
  // A footer's previous value has no whole text of its own: its window prints.
  const bool current = value == nullptr || value == f->value || f->previous == nullptr;
  MemoReader* r = m != nullptr && current ? MemoReaderFor(m, const_cast<FieldDef*>(f)) : nullptr;
  if (r != nullptr) {
    r->format = &s->format;
    if (item != nullptr) {
      // Characters before any style code keep the field's own look.
      const int defaultSize = s->layout != nullptr && s->layout->defaultPointSize > 0 ? s->layout->defaultPointSize : 100;
      r->defaultFont = f->head.fontIndex;
      r->defaultSize = f->head.pointSize > 0 ? f->head.pointSize : defaultSize;
      r->defaultStyle = kMemoDefault;
      r->findFace = FindDocFace;
      r->doc = run->doc;
    }
    const int failed = item != nullptr ? ReadWholeMemo(*r, text, &item->wrapStyles, &item->wrapAttrs, kMaxPrintedMemo)
                                       : ReadWholeMemo(*r, text, kMaxPrintedMemo);
    if (failed != 0 && st != nullptr && !st->memoErrorShown) {
      st->memoErrorShown = 1;
      m->ShowEngineError(r->error != 0 ? r->error : kEngineCannotReadMemo);
    }
    return true;
  }
  return ValueBufferText(run, f, value, text);
}

}  // namespace

bool WrappedFieldWholeText(ReportRun* run, const FieldDef* f, const BYTE* value, std::string* text) {
  return WholeText(run, f, value, text, nullptr);
}

bool WrappedFieldStyledText(ReportRun* run, const FieldDef* f, const BYTE* value, ItemOutput* item) {
  item->wrapStyles.clear();
  item->wrapAttrs.clear();
  return WholeText(run, f, value, &item->wrapText, item);
}
