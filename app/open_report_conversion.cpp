#include "app/open_report_conversion.h"

#include "core/composite.h"
#include "core/fields.h"
#include "files/report_io.h"
#include "foundation/doc_base.h"
#include "layout/page_metrics.h"
#include "layout/band_line_layout.h"
#include "layout/layout_helpers.h"
#include "layout/layout_records.h"

void ConvertOpenReportLayout(KmDocBase& doc, int oldSystem, int newSystem) {
  LayoutTables* t = doc.m_pLayout;
  if (t == nullptr) return;
  if (doc.m_pModel != nullptr)
    for (FieldDef* f = doc.m_pModel->fieldList; f != nullptr; f = f->next)
      if ((f->head.flags & kItemKindField) && (f->head.flags & kItemGraphicKinds) == 0) SizeObjectToText(*t, f->head);
  ConvertObjectUnits(doc, oldSystem, newSystem, doc.m_pRepIO != nullptr && doc.m_pRepIO->m_pRootStorage != nullptr);
  RelayoutAfterFontChange(*t, false, -1);
  if (t->hooks != nullptr) t->hooks->RedrawAllPanes();
}
