#include "layout/object_shift.h"

#include "core/composite.h"
#include "core/fields.h"
#include "foundation/band_lines.h"
#include "layout/band_line_layout.h"
#include "layout/layout_records.h"

void ShiftObjectsToBandTop(LayoutTables& t) {
  BandLineRec* lines = t.bandRecords;
  ForEachLayoutItem(t, [&](ReportItemHead& h) {
    const BandLineRec& r = lines[h.bandLine];
    if (IsTextLike(h)) {
      const int baseline = h.bottom - h.descent;
      h.lineOffset = h.bottom != 0 && r.bottom > baseline ? r.bottom - baseline : 0;
    } else if (h.bottom < 0 && !(h.flags & kItemKindChart)) {
      // (A chart read before its lines were laid out stands above their bottom by its top offset.)
      h.lineOffset = 0;
    } else {
      const bool autoHeightLine = r.heightMode == kHeightAutomatic;
      if (IsLineOrBox(h) && autoHeightLine && r.pixelHeight == h.bottom - h.top + 1) h.height = -1;
      h.lineOffset = h.top < r.bottom ? r.bottom - h.top : 0;
    }
  });
}

void ShiftObjectsFromBandTop(const BandLineTable& lines, const std::vector<BandOffsetPlace>& places) {
  for (const BandOffsetPlace& pl : places) {
    if (pl.head == nullptr) continue;
    ReportItemHead& h = *pl.head;
    const BandLineRec* l =
        lines.lines != nullptr && h.bandLine < kBandLineCount ? &lines.lines[h.bandLine] : nullptr;
    const int64_t bottom = l != nullptr ? l->bottom : 0;
    if (pl.top) {
      h.top = static_cast<int32_t>(bottom - pl.offset);
      if (pl.height > 0) h.bottom = h.top + pl.height - 1;
      else if (l != nullptr && l->pixelHeight > 0) h.bottom = h.top + l->pixelHeight - 1;
      else h.bottom = h.top;
    } else {
      h.bottom = static_cast<int32_t>(bottom - pl.offset);
    }
  }
}

void RescaleObjectsToGrid(LayoutTables* t, CKmComposite* model, uint32_t unitX, uint32_t unitY) {
  for (int axis = 0; axis < 2; ++axis) {
    const uint32_t unit = axis == 0 ? unitX : unitY;
    if (unit == 0 || unit == 100) continue;
    auto scale = [unit](int32_t& v) { v = static_cast<int32_t>(int64_t(v) * 100 / unit); };
    auto each = [&](ReportItemHead& h) {
      if (axis == 0) {
        scale(h.left);
        scale(h.right);
      } else {
        scale(h.top);
        scale(h.bottom);
      }
    };
    if (model != nullptr)
      for (FieldDef* f = model->fieldList; f; f = f->next) each(f->head);
    if (t == nullptr) continue;
    for (TextItem* x = t->textHead; x; x = x->nextText) each(x->head);
    for (int i = 0; i < t->linesBoxes.Count(); ++i) each(t->linesBoxes.At(i)->head);
    for (int i = 0; i < t->pictures.Count(); ++i) each(t->pictures.At(i)->head);
    for (int i = 0; i < t->charts.Count(); ++i) each(t->charts.At(i)->head);
    // Embedded objects are read after this and take their size from their own size block.
  }
}
