#include "engine/memo_field_text.h"

#include "core/composite.h"
#include "core/engine_errors.h"
#include "core/fields.h"
#include "engine/line_text.h"
#include "engine/report_run.h"
#include "foundation/doc_base.h"
#include "model/memo_text.h"
#include "model/record_pass.h"

bool WrappedFieldWholeText(ReportRun* run, const FieldDef* f, const BYTE* value, std::string* text) {
  BandOutputState* s = run->band;
  text->clear();
  CKmComposite* m = run->doc != nullptr ? run->doc->m_pModel : nullptr;
  RecordPassState* st = m != nullptr ? m->FindAttachment<RecordPassState>() : nullptr;
  // A footer's previous value has no whole text of its own: its window prints.
  const bool current = value == nullptr || value == f->value || f->previous == nullptr;
  MemoReader* r = st != nullptr && st->memoReader != nullptr && current
                      ? st->memoReader(m, const_cast<FieldDef*>(f))
                      : nullptr;
  if (r != nullptr) {
    r->format = &s->format;
    if (ReadWholeMemo(*r, text, kMaxPrintedMemo) != 0 && !st->memoErrorShown) {
      st->memoErrorShown = 1;
      m->ShowEngineError(r->error != 0 ? r->error : kEngineCannotReadMemo);
    }
    return true;
  }
  return ValueBufferText(run, f, value, text);
}
