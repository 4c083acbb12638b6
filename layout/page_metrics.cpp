#include "layout/page_metrics.h"

#include "foundation/doc_base.h"
#include "layout/container_items.h"
#include "layout/layout_helpers.h"
#include "expr/document_format.h"
#include "expr/value_format.h"
#include "layout/field_width.h"
#include "foundation/units.h"

#include <cstdio>
#include <cstring>

void CalcPageMetrics(KmDocBase& doc) {
  if (doc.m_pPageSetup == nullptr) return;
  CalcPageSizes(doc);
  // Fields kept in the user's measure follow the ruler pitch.
  UpdateUnitFieldWidths(doc.m_pModel, doc.m_settings.rulPit, [&doc](FieldDef& f) {
    if (doc.m_pLayout != nullptr && (f.head.flags & kItemKindField) != 0) SizeObjectToText(*doc.m_pLayout, f.head);
  });
}

void ConvertObjectUnits(KmDocBase& doc, int oldSystem, int newSystem, bool fileObjectBusy) {
  // While the report file object reads or writes, the objects stay in the file's units.
  if (doc.m_pLayout == nullptr || oldSystem == newSystem || fileObjectBusy) return;
  const int from = oldSystem ? kVertHundredths : kVertTenthsMm, to = newSystem ? kVertHundredths : kVertTenthsMm;
  auto convert = [&](int32_t v) {
    if (v <= 0) return v;
    return static_cast<int32_t>(ConvertVertMeasure(static_cast<WORD>(v > 0xFFFF ? 0xFFFF : v), to, from, 0));
  };
  ItemTable<PictureItem>& pictures = doc.m_pLayout->pictures;
  for (int i = 0; i < pictures.Count(); ++i) {
    PictureItem* p = pictures.At(i);
    p->shownWidth = convert(p->shownWidth);
    p->shownHeight = convert(p->shownHeight);
  }
  ItemTable<ChartTableEntry>& charts = doc.m_pLayout->charts;
  for (int i = 0; i < charts.Count(); ++i)
    for (uint32_t& size : charts.At(i)->sizeWords) size = static_cast<uint32_t>(convert(static_cast<int32_t>(size)));
  ItemTable<CKmCntrItem>& items = doc.m_pLayout->oleItems;
  for (int i = 0; i < items.Count(); ++i) {
    CKmCntrItem* item = items.At(i);
    item->sizeWidth = convert(item->sizeWidth);
    item->sizeHeight = convert(item->sizeHeight);
  }
}

int FormatDateByPictureEx(const KmDocBase& doc, int month, int day, int year, int useLong, char* buffer,
                          size_t size, int fourDigitYear) {
  if (buffer == nullptr || size == 0) return 0;
  // The value formatter walks the pictures; here its text is bounded by the
  // caller's buffer.
  FormatSettings settings;
  TakeDocumentFormat(settings, doc);
  char text[256];
  ::FormatDateByPicture(settings, month, day, year, useLong != 0, text, fourDigitYear != 0);
  std::snprintf(buffer, size, "%s", text);
  return static_cast<int>(std::strlen(buffer));
}

int FormatDateByPicture(const KmDocBase& doc, int month, int day, int year, int useLong, char* buffer,
                        size_t size) {
  return FormatDateByPictureEx(doc, month, day, year, useLong, buffer, size, 0);
}
