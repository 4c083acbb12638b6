#include "tests/support/record_line.h"

#include "app/document.h"
#include "core/composite.h"
#include "layout/fonts.h"
#include "layout/layout_records.h"

bool PlaceFieldsOnRecordLine(CKmDoc& doc, const std::vector<FieldDef*>& fields, int width) {
  BandLineTable& t = doc.m_bandLines;
  ClearBandLineTable(t);
  t.lastUsed = 0;
  BandLineRec& rec = t.lines[0];
  rec = BandLineRec{};
  rec.kind = kBandRecord;
  rec.objectId = -1;
  rec.pixelHeight = doc.m_pLayout->DefaultLineHeight();
  rec.bottom = rec.pixelHeight - 1;
  rec.baseline = rec.pixelHeight - 4;
  for (FieldDef* f = doc.m_pModel->fieldList; f; f = f->next) {
    f->flags &= ~(kFieldItem | kFieldNeeded);
    f->head.flags &= ~kItemKindField;
  }
  bool all = true;
  int column = 0;
  for (FieldDef* f : fields) {
    if (f == nullptr) {
      all = false;
      continue;
    }
    ReportItemHead& h = f->head;
    h.bandLine = 0;
    h.column = column;
    h.width = width;
    h.left = column * 10;
    h.right = (column + width) * 10 - 1;
    h.top = 0;
    h.bottom = rec.bottom;
    h.height = rec.pixelHeight;
    h.pointSize = 100;
    h.faceAtom = AddFaceAtom("Arial");
    h.flags |= kItemFixedPosition;
    MarkFieldPlaced(f);
    f->flags |= kFieldItem | kFieldNeeded;
    f->displayWidth = width;
    column += width + 2;
  }
  BuildLayoutItemOrder(*doc.m_pLayout);
  return all;
}
