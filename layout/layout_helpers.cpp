#include "layout/layout_helpers.h"

#include "layout/field_width.h"
#include "core/composite.h"
#include "expr/document_format.h"
#include "platform/win/gdi.h"
#include "platform/win/window.h"

#include <algorithm>

namespace {
int AlignmentOfByte(BYTE a) {
  switch (a & 0xF0) {
    case kAlignCentre: return 1;
    case kAlignRight: return 2;
    default: return 0;
  }
}

TextItem* TextOf(LayoutTables& t, const ReportItemHead& item) {
  for (TextItem* x = t.textHead; x != nullptr; x = x->nextText)
    if (&x->head == &item) return x;
  return nullptr;
}

int Cell(const LayoutTables& t) { return std::max(1, CharCellWidth(t.metrics, 1)); }

// Only a used record of the table has a raster.
const BandLineRec* LineRec(const LayoutTables& t, int line) {
  const BandLineTable& table = t.Lines();
  if (table.lines == nullptr || line < 0 || line >= kBandLineTableRecords) return nullptr;
  return &table.lines[line];
}

bool IsSized(const BandLineRec& r) { return r.kind != kBandFree && r.heightMode != 0; }
}  // namespace

bool TestObjectFlag40(const ReportItemHead& item) {
  return (item.flags & kItemKindLine) != 0 && (reinterpret_cast<const LineBoxItem&>(item).borders & kBorderVertical) == 0;
}

int ItemAlignment(LayoutTables& t, const ReportItemHead& item) {
  if (const FieldDef* f = FieldOfItem(&item)) return FieldAlignment(*f);
  if (TextItem* x = TextOf(t, item)) return AlignmentOfByte(x->alignment);
  for (int i = 0; i < t.linesBoxes.Count(); ++i)
    if (&t.linesBoxes.At(i)->head == &item) return AlignmentOfByte(t.linesBoxes.At(i)->alignment);
  for (int i = 0; i < t.pictures.Count(); ++i)
    if (&t.pictures.At(i)->head == &item) return AlignmentOfByte(t.pictures.At(i)->alignment);
  return 0;
}

std::string FieldShownText(const LayoutTables& t, const ReportItemHead& item) {
  FieldDef* f = FieldOfItem(const_cast<ReportItemHead*>(&item));
  if (f == nullptr) return std::string();
  FormatSettings fmt;
  if (t.model != nullptr && t.model->owner != nullptr) TakeDocumentFormat(fmt, *t.model->owner);
  else fmt.model = t.model;
  char buffer[kFillTextSize + 1] = {};
  const int n = CalcFieldFillText(fmt, *f, false, kLayoutFieldFill, buffer);
  return std::string(buffer, static_cast<size_t>(std::clamp(n, 0, kFillTextSize)));
}

int LayoutWidthPixels(const LayoutTables& t) { return CharCellWidth(t.metrics, kLayoutColumns); }

int GetAlignedX(LayoutTables& t, const ReportItemHead& item) {
  switch (ItemAlignment(t, item)) {
    case 1: return item.left + (item.right - item.left) / 2;
    case 2: return item.right;
    default: return item.left;
  }
}

int GetAlignedColumn(LayoutTables& t, const ReportItemHead& item) { return GetAlignedX(t, item) / Cell(t); }

void ClampToPageWidth(LayoutTables& t, ReportItemHead& item, int width) {
  const int limit = LayoutWidthPixels(t);
  if (item.right > limit) {
    item.left = std::max(0, item.left - (item.right - limit));
    item.right = item.left + width;
  } else if (item.left < 0) {
    item.right -= item.left;
    item.left = 0;
  }
}

void ClampToBandArea(LayoutTables& t, ReportItemHead& item) {
  const BandLineRec* last = LineRec(t, kBandLineTableRecords - 1);
  if (last == nullptr) return;
  const int height = item.bottom - item.top;
  if (item.bottom > last->bottom) {
    item.top = std::max(0, item.top - (item.bottom - last->bottom));
    item.bottom = item.top + height;
  } else if (item.top < 0) {
    item.bottom -= item.top;
    item.top = 0;
  }
}

void MoveObjectToColumn(LayoutTables& t, ReportItemHead& item, int column) {
  const int x = CharCellWidth(t.metrics, column);
  const int width = item.right - item.left;
  switch (ItemAlignment(t, item)) {
    case 1: item.left = x - width / 2; break;
    case 2: item.left = x - width; break;
    default: {
      const int limit = LayoutWidthPixels(t);
      item.left = x >= limit ? limit - Cell(t) : x;
      break;
    }
  }
  if (item.left < 0) item.left = 0;
  item.right = item.left + width;
}

void SnapObjectToCells(LayoutTables& t, ReportItemHead& item) {
  MoveObjectToColumn(t, item, SnapToCharCell(t.metrics, GetAlignedX(t, item)) / Cell(t));
  const BandLineRec* r = LineRec(t, item.bandLine);
  if (r == nullptr || !IsSized(*r) || !t.metrics.snapping) return;
  // The nearest raster line, so that snapping an item already on the raster
  // leaves it where it is.
  const int height = item.bottom - item.top;
  item.bottom = NearestLineInBand(t, item.bandLine, item.bottom);
  item.top = item.bottom - height;
}

bool AltKeyDown() { return GetAsyncKeyState(VK_MENU) < 0; }

int SnapXToGrid(const LayoutTables& t, int x, int mode, bool altDown) {
  if (!t.metrics.snapping || altDown) return x;
  const int cell = Cell(t);
  const long v = static_cast<long>(x) + t.scrollX;
  long r = v % cell;
  if (r < 0) r += cell;
  const long down = v - r;
  long snapped = down;
  if (mode == kSnapXUp) snapped = r == 0 ? v : down + cell;
  else if (mode != kSnapXDown && 2 * r > cell) snapped = down + cell;
  return static_cast<int>(snapped - t.scrollX);
}

int MeasureTextWidth(const LayoutTables& t, HFONT font, const char* text, int length) {
  if (text == nullptr || length < 0) return Cell(t);
  HDC dc = GetDC(nullptr);
  if (dc == nullptr) return Cell(t);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{0, 0};
  const BOOL ok = GetTextExtentPoint32A(dc, text, length, &size);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return ok ? size.cx : Cell(t);
}

int LineTopInBand(const LayoutTables& t, int line, int y) {
  const BandLineRec* r = LineRec(t, line);
  if (r == nullptr) return y;
  return ::LineTopInBand(r->bottom, r->pixelHeight, LineHeightPixels(t.metrics), y);
}

int NearestLineInBand(const LayoutTables& t, int line, int y) {
  const BandLineRec* r = LineRec(t, line);
  if (r == nullptr) return y;
  return ::NearestLineInBand(r->bottom, r->pixelHeight, LineHeightPixels(t.metrics), y);
}

int GetBandLineY(LayoutTables& t, int line, int y, int mode, bool altDown) {
  const BandLineRec* r = LineRec(t, line);
  if (r == nullptr || !t.metrics.snapping || altDown) return y;
  if (!IsSized(*r)) return (mode == kSnapTop ? r->bottom - r->pixelHeight + 1 : r->bottom) - t.scrollY;
  const int top = r->bottom - r->pixelHeight;
  const int step = LineHeightPixels(t.metrics);
  if (y <= top) return top;
  if (y >= r->bottom || step <= 0) return r->bottom;
  const int down = top + (y - top) / step * step;
  const int up = std::min(down == y ? y : down + step, r->bottom);
  if (mode == kSnapTop) return down;
  if (mode == kSnapBottom) return up;
  return y - down <= up - y ? down : up;
}

int MeasureObjectText(LayoutTables& t, const ReportItemHead& item, const std::string& text, int* height,
                      int* descent, int* chars) {
  int h = 0, d = 0, w = 0;
  if (IsGraphicItem(item)) {
    w = item.right - item.left + 1;
    h = item.bottom - item.top + 1;
  } else {
    HDC dc = GetDC(nullptr);
    SIZE size{0, 0};
    TEXTMETRICA tm{};
    if (dc != nullptr) {
      HGDIOBJ old = SelectObject(dc, static_cast<HFONT>(item.fontHandle));
      if (!GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size)) size.cx = Cell(t);
      if (GetTextMetricsA(dc, &tm)) {
        h = tm.tmHeight + tm.tmExternalLeading;
        d = tm.tmDescent;
      }
      SelectObject(dc, old);
      ReleaseDC(nullptr, dc);
    } else {
      size.cx = Cell(t);
    }
    if (h == 0) h = size.cy;
    w = size.cx;
    const FieldDef* f = FieldOfItem(&item);
    // The unit width is kept in hundredths of an inch or tenths of a
    // millimetre; both measure as hundredths here.
    if (f != nullptr && HasUnitWidth(*f) && FieldWidthHundredths(*f) > 0)
      w = static_cast<int>(static_cast<long long>(FieldWidthHundredths(*f)) * Cell(t) * GridPitch(t.metrics) / 100);
  }
  if (height) *height = h;
  if (descent) *descent = d;
  if (chars) *chars = static_cast<int>(text.size());
  return w;
}

void SizeObjectToText(LayoutTables& t, ReportItemHead& item) {
  std::string text;
  TextItem* x = TextOf(t, item);
  if (x != nullptr) text = x->text != nullptr ? x->text : "";
  else if (FieldOfItem(&item) != nullptr) text = FieldShownText(t, item);
  else if (!IsGraphicItem(item)) return;
  const int anchor = GetAlignedX(t, item);
  int height = 0, descent = 0, chars = 0;
  const int w = MeasureObjectText(t, item, text, &height, &descent, &chars);
  switch (ItemAlignment(t, item)) {
    case 1: item.left = anchor - w / 2; break;
    case 2: item.left = anchor - w; break;
    default: break;
  }
  item.right = item.left + w;
  ClampToPageWidth(t, item, w);
  if (IsGraphicItem(item)) return;
  item.height = height;
  item.descent = descent;
  if (x != nullptr) item.width = static_cast<uint8_t>(std::min(chars, 255));
  item.top = item.bottom - height;
}
