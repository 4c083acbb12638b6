#include "layout/layout_records.h"

#include "core/composite.h"

#include <algorithm>

// Name ids follow the colour combo's order.
const ColorEntry ColorTable[kColorCount] = {
    {4600, 0x000000}, {4601, 0x000080}, {4602, 0x008000}, {4603, 0x008080},
    {4604, 0x800000}, {4605, 0x800080}, {4606, 0x808000}, {4607, 0x808080},
    {4608, 0xC0C0C0}, {4609, 0x0000FF}, {4610, 0x00FF00}, {4611, 0x00FFFF},
    {4612, 0xFF0000}, {4613, 0xFF00FF}, {4614, 0xFFFF00}, {4615, 0xFFFFFF},
};

COLORREF ColorTableValue(BYTE code) { return code < kColorCount ? ColorTable[code].color : 0; }

COLORREF ColorFromCode(BYTE code) {
  if (code == 0) return GetSysColor(COLOR_WINDOWTEXT);
  if (code == 15 || code == kNoColour) return GetSysColor(COLOR_WINDOW);
  return ColorTableValue(code);
}

LineBoxItem MakeNewLine(WORD rememberedBorders) {
  LineBoxItem l;
  l.head.flags = kItemKindLine | kItemFixedPosition;
  l.borders = static_cast<WORD>(rememberedBorders | kBorderDrawnAsLine);
  return l;
}

LineBoxItem MakeNewBox() {
  LineBoxItem b;
  b.head.flags = kItemKindBox | kItemFixedPosition;
  b.borders = kNewBoxBorders;
  return b;
}

LayoutTables::LayoutTables() {
  ownTable.lines = ownRecords;
  ClearBandLineTable(ownTable);
}

bool LayoutTables::AttachBandLineTable(BandLineTable* documentTable) {
  if (documentTable == nullptr || documentTable->lines == nullptr) return false;
  // The view that answers for the lines goes on answering for the document's.
  if (documentTable->host == nullptr && table != nullptr) documentTable->host = table->host;
  table = documentTable;
  bandRecords = documentTable->lines;
  return true;
}

LayoutHooks& LayoutTables::Hooks() {
  static LayoutHooks none;
  return hooks != nullptr ? *hooks : none;
}

std::vector<ReportItemHead*> PlacedFields(CKmComposite* model) {
  std::vector<ReportItemHead*> out;
  if (model == nullptr) return out;
  for (FieldDef* f = model->fieldList; f != nullptr; f = f->next)
    if (IsPlacedField(f)) out.push_back(&f->head);
  return out;
}

namespace {
// Texts and fields stand on their baseline, so those of one line follow
// each other left to right whatever their fonts; other objects by their top.
int32_t OrderY(const ReportItemHead& h) {
  if (h.flags & kItemGraphicKinds) return h.top;
  return (h.bottom != 0 ? h.bottom : h.top) - h.descent;
}
}  // namespace

bool ItemOrderBefore(const ReportItemHead& a, const ReportItemHead& b) {
  if (a.bandLine != b.bandLine) return a.bandLine < b.bandLine;
  if (OrderY(a) != OrderY(b)) return OrderY(a) < OrderY(b);
  if (a.left != b.left) return a.left < b.left;
  return (a.flags & 0x7F0) < (b.flags & 0x7F0);
}

void BuildLayoutItemOrder(LayoutTables& t) {
  std::vector<ReportItemHead*> items;
  ForEachLayoutItem(t, [&](ReportItemHead& h) { items.push_back(&h); });
  // Stable, so equal keys keep the tables' order (fields, texts, lines, ...).
  std::stable_sort(items.begin(), items.end(),
                   [](const ReportItemHead* a, const ReportItemHead* b) { return ItemOrderBefore(*a, *b); });
  ReportItemHead* prev = nullptr;
  for (ReportItemHead* h : items) {
    h->prevInOrder = prev;
    h->nextInOrder = nullptr;
    if (prev != nullptr) prev->nextInOrder = h;
    prev = h;
  }
  t.orderHead = items.empty() ? nullptr : items.front();
  t.orderTail = prev;
  if (t.model != nullptr) {
    t.model->itemListHead = t.orderHead;
    t.model->itemListTail = t.orderTail;
  }
}
