#include "layout/container_items.h"

#include "foundation/byte_order.h"
#include "platform/win/muldiv.h"

#include <algorithm>
#include <cstring>

namespace {

// Offsets inside the 114-byte record; the layout record starts at 8.
constexpr size_t kLayoutAt = 8;
constexpr size_t kSizeBlockAt = 78;
constexpr size_t kNaturalAt = 88;
constexpr size_t kShownAt = 96;
constexpr size_t kScalingAt = 104;
constexpr size_t kExtentAt = 106;

// Farther than any layout reaches; a stored value past it is damage.
constexpr int32_t kFarthest = 1 << 20;

int32_t I32(const uint8_t* p) { return static_cast<int32_t>(GetU32(p)); }
void PutI32(uint8_t* p, int32_t v) { PutU32(p, static_cast<uint32_t>(v)); }
int32_t Within(int32_t v, int32_t lo, int32_t hi) { return std::clamp(v, lo, hi); }

int CellsPerInch(const LayoutMetrics& m) { return std::max(1, CharCellWidth(m, 1) * GridPitch(m)); }
int LinesPerInchPixels(const LayoutMetrics& m) { return std::max(1, LineHeightPixels(m) * GridLinesPerInch(m)); }

// Hundredths of an inch to the document's measure and back.
int32_t ToMeasure(const LayoutMetrics& m, int32_t hundredths) {
  if (!m.metric) return hundredths;
  const WORD v = static_cast<WORD>(std::clamp(hundredths, 0, 0xFFFF));
  return static_cast<int32_t>(static_cast<uint16_t>(ConvertVertMeasure(v, kVertTenthsMm, kVertHundredths, 0)));
}
int32_t FromMeasure(const LayoutMetrics& m, int32_t value) {
  if (!m.metric) return value;
  const WORD v = static_cast<WORD>(std::clamp(value, 0, 0xFFFF));
  return static_cast<int32_t>(ConvertVertMeasure(v, kVertHundredths, kVertTenthsMm, 0));
}

// a * b / c rounded half up; c of 0 leaves a.
int32_t ScaleHalfUp(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return a;
  const int64_t n = static_cast<int64_t>(a) * b;
  int64_t q = n / c;
  if ((n % c) * 2 > c) ++q;
  return static_cast<int32_t>(std::clamp<int64_t>(q, 0, kFarthest));
}

}  // namespace

bool DecodeOleRecord(const uint8_t* p, size_t size, CKmCntrItem* item) {
  if (p == nullptr || item == nullptr || size < kOleItemRecordSize) return false;
  if (GetU32(p) != kOleItemMagic || GetU32(p + 4) != kOleItemVersion) return false;
  const uint8_t* r = p + kLayoutAt;
  ReportItemHead& h = item->head;
  h = ReportItemHead{};
  h.bandLine = r[0];
  h.column = Within(I32(r + 1), 0, kFarthest);  // the top's offset above its line's bottom
  h.width = r[5];
  h.fontStyle = r[6];
  // Only the kind and the fixed-position bit mean anything once read.
  h.flags = (GetU32(r + 7) & kItemFixedPosition) | kItemKindOle;
  h.pointSize = I32(r + 11);
  h.colour = r[51];
  h.left = Within(I32(r + 27), 0, kFarthest);
  h.right = Within(I32(r + 35), h.left, kFarthest);
  const int32_t top = I32(r + 31), bottom = I32(r + 39);
  const int64_t tall = static_cast<int64_t>(bottom) - top;
  h.height = static_cast<int32_t>(std::clamp<int64_t>(tall + 1, 1, kFarthest));
  h.top = 0;
  h.bottom = h.height - 1;
  item->sizeTag = p[kSizeBlockAt];
  item->sizeWidth = Within(I32(p + kSizeBlockAt + 2), 0, kFarthest);
  item->sizeHeight = Within(I32(p + kSizeBlockAt + 6), 0, kFarthest);
  for (int i = 0; i < 2; ++i) {
    item->natural[i] = Within(I32(p + kNaturalAt + 4 * i), 0, kFarthest);
    item->shown[i] = Within(I32(p + kShownAt + 4 * i), 0, kFarthest);
    item->lastExtent[i] = I32(p + kExtentAt + 4 * i);
  }
  item->scaling = GetU16(p + kScalingAt);
  return true;
}

void EncodeOleRecord(const CKmCntrItem& item, int32_t lineBottom, uint8_t* p) {
  const ReportItemHead& h = item.head;
  uint8_t* r = p + kLayoutAt;
  r[0] = h.bandLine;
  PutI32(r + 1, std::max(0, lineBottom - h.top));
  r[5] = h.width;
  PutU32(r + 7, (GetU32(r + 7) & ~(kItemSelected | kItemDeleted | kItemInClipboard | kItemGraphicKinds)) |
                    (h.flags & kItemFixedPosition) | kItemKindOle);
  PutI32(r + 27, h.left);
  PutI32(r + 31, h.top);
  PutI32(r + 35, h.right);
  PutI32(r + 39, h.bottom);
  PutI32(r + 43, h.bottom - h.top + 1);
  // Font handle, face atom and the vertical-order links.
  std::memset(r + 47, 0, 4);
  std::memset(r + 52, 0, 10);
  p[kSizeBlockAt] = item.sizeTag;
  p[kSizeBlockAt + 1] = 0;
  PutI32(p + kSizeBlockAt + 2, item.sizeWidth);
  PutI32(p + kSizeBlockAt + 6, item.sizeHeight);
  for (int i = 0; i < 2; ++i) {
    PutI32(p + kNaturalAt + 4 * i, item.natural[i]);
    PutI32(p + kShownAt + 4 * i, item.shown[i]);
    PutI32(p + kExtentAt + 4 * i, item.lastExtent[i]);
  }
  PutU16(p + kScalingAt, item.scaling);
}

bool OleItemChanged(const CKmCntrItem& item, int32_t lineBottom) {
  const ReportItemHead& h = item.head;
  return h.left != item.loadedPlace[0] || lineBottom - h.top != item.loadedPlace[1] ||
         h.right != item.loadedPlace[2] || h.bottom - h.top + 1 != item.loadedPlace[3] ||
         h.bandLine != item.loadedLine || item.scaling != item.loadedScaling;
}

void PlaceLoadedOleItem(CKmCntrItem& item, int32_t lineBottom) {
  ReportItemHead& h = item.head;
  h.top = lineBottom - h.column;
  h.bottom = h.top + h.height - 1;
  item.loadedPlace[0] = h.left;
  item.loadedPlace[1] = h.column;
  item.loadedPlace[2] = h.right;
  item.loadedPlace[3] = h.height;
  item.loadedLine = h.bandLine;
  item.loadedScaling = item.scaling;
}

void RefreshOleSizeBlock(CKmCntrItem& item, const LayoutMetrics& m) {
  const ReportItemHead& h = item.head;
  item.sizeWidth = ToMeasure(m, std::max(0, h.right - h.left) * 100 / CellsPerInch(m));
  item.sizeHeight = ToMeasure(m, std::max(0, h.bottom - h.top) * 100 / LinesPerInchPixels(m));
}

void RescaleOleItem(CKmCntrItem& item, const LayoutMetrics& m) {
  ReportItemHead& h = item.head;
  // The size block is kept in the document's measure; the size comes from
  // hundredths of an inch, whatever the measure.
  const int32_t w = Within(static_cast<int32_t>(static_cast<int64_t>(FromMeasure(m, item.sizeWidth)) *
                                                CellsPerInch(m) / 100),
                           1, kFarthest);
  const int32_t ht = Within(static_cast<int32_t>(static_cast<int64_t>(FromMeasure(m, item.sizeHeight)) *
                                                 LinesPerInchPixels(m) / 100),
                            1, kFarthest);
  const int32_t oldW = h.right - h.left, oldH = h.bottom - h.top;
  if (item.sizeWidth <= 0 || item.sizeHeight <= 0 || (w == oldW && ht == oldH)) return;
  if (oldW > 0) {
    item.natural[0] = MulDiv(item.natural[0], w, oldW);
    item.shown[0] = MulDiv(item.shown[0], w, oldW);
  }
  if (oldH > 0) {
    item.natural[1] = MulDiv(item.natural[1], ht, oldH);
    item.shown[1] = MulDiv(item.shown[1], ht, oldH);
    h.column = MulDiv(h.column, ht, oldH);
  }
  item.shown[0] = std::min(item.shown[0], item.natural[0]);
  item.shown[1] = std::min(item.shown[1], item.natural[1]);
  h.right = h.left + w;
  h.bottom = h.top + ht;
  h.height = ht + 1;
}

void SetOleItemSize(CKmCntrItem& item, int width, int height, const LayoutMetrics& m) {
  width = std::clamp(width, 1, kFarthest);
  height = std::clamp(height, 1, kFarthest);
  const int32_t nw = item.natural[0], nh = item.natural[1];
  switch (item.scaling) {
    case 0:
      // A natural size of 0 has no shape to keep.
      if (nw > 0 && nh > 0) {
        if (MulDiv(width, 100, height) < MulDiv(nw, 100, nh)) height = std::max(1, ScaleHalfUp(width, nh, nw));
        else width = std::max(1, ScaleHalfUp(height, nw, nh));
      }
      break;
    case 1:
      width = std::max(1, std::min(nw, width));
      height = std::max(1, std::min(nh, height));
      break;
    case 2:
      break;
    default:
      return;
  }
  ReportItemHead& h = item.head;
  item.shown[0] = width;
  item.shown[1] = height;
  h.right = h.left + width;
  h.bottom = h.top + height;
  h.height = height + 1;
  RefreshOleSizeBlock(item, m);
}

std::string OleItemLabel(const CKmCntrItem& item, const char* generalName) {
  return item.typeName.empty() ? std::string(generalName ? generalName : "") : item.typeName;
}
