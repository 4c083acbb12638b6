// Resizing one selected object by its handles: which handles each kind
// offers, the hit test, the dragged outline snapped to cells and band lines
// (Shift keeps a corner on its diagonal), the minimum sizes, and the new
// rectangle stored on release (a field's width in characters).
#include "designer/band_view.h"
#include "designer/design_view.h"
#include "designer/pictures.h"
#include "foundation/doc_base.h"
#include "designer/chart_anchor.h"
#include "layout/chart_size.h"
#include "layout/fonts.h"
#include "layout/item_tables.h"
#include "layout/layout_helpers.h"
#include "layout/picture_size.h"
#include "platform/win/capture.h"
#include "platform/win/cursor.h"
#include "platform/win/window.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {
constexpr int kLeft = 1, kRight = 2, kTop = 4, kBottom = 8;
constexpr int kLineBoxMinimum = 9;

bool Live(const ReportItemHead& h) { return (h.flags & (kItemDeleted | kItemInClipboard)) == 0; }

bool IsVerticalLine(const ReportItemHead& h) {
  return (h.flags & kItemKindLine) && (reinterpret_cast<const LineBoxItem&>(h).borders & kBorderVertical);
}

bool ShiftDown() { return (GetKeyState(VK_SHIFT) & 0x8000) != 0; }

// The picture's shown part of its image, for its aspect; false when unknown.
bool PictureAspect(LayoutTables& t, const PictureItem& p, int* w, int* h) {
  *w = p.source[2] - p.source[0];
  *h = p.source[3] - p.source[1];
  if (*w > 0 && *h > 0) return true;
  int bpp = 0;
  return p.image != nullptr && t.images.ImgBitmapInfo(p.image, w, h, &bpp) && *w > 0 && *h > 0;
}
}  // namespace

bool CKmView::HasWidthHandles(const ReportItemHead& item) const {
  if (!(item.flags & kItemKindField)) return false;
  const uint32_t kind = reinterpret_cast<const FieldDef&>(item).flags & kFieldKindMask;
  return kind != kFieldLogical && kind != kFieldDate && kind != kFieldDateTime && kind != kFieldTime;
}

int CKmView::HandleAt(const ReportItemHead& item, int x, int y) const {
  const RECT r = ViewRect(item);
  struct Point {
    int code, hx, hy;
  };
  Point points[8];
  int count = 0;
  auto add = [&](int code, int hx, int hy) { points[count++] = {code, hx, hy}; };
  const int midY = r.top + (r.bottom - r.top) / 2, midX = r.left + (r.right - r.left) / 2;
  if (item.flags & kItemKindLine) {
    const LineBoxItem& l = reinterpret_cast<const LineBoxItem&>(item);
    const int t = std::max<int>(1, l.thickness);
    if (IsVerticalLine(item)) {
      const int hx = l.alignment == kAlignLeft ? r.left + t / 2 : l.alignment == kAlignRight ? r.left - (t / 2 - 1) : r.left;
      add(kTop, hx, r.top);
      add(kBottom, hx, r.bottom + 1);
    } else {
      const int hy = r.top - (t / 2 - 1);
      add(kLeft, r.left, hy);
      add(kRight, r.right + 1, hy);
    }
  } else if (item.flags & kItemKindField) {
    if (!HasWidthHandles(item)) return 0;
    add(kLeft, r.left, midY);
    add(kRight, r.right + 1, midY);
  } else if (item.flags & (kItemKindBox | kItemKindPicture | kItemKindChart | kItemKindOle)) {
    const RECT b = (item.flags & kItemKindBox) ? RECT{r.left - 1, r.top - 1, r.right + 1, r.bottom + 1} : r;
    add(kTop | kLeft, b.left, b.top);
    add(kTop | kRight, b.right + 1, b.top);
    add(kBottom | kLeft, b.left, b.bottom + 1);
    add(kBottom | kRight, b.right + 1, b.bottom + 1);
    bool edges = (item.flags & (kItemKindBox | kItemKindChart)) != 0;
    if (item.flags & kItemKindPicture) edges = reinterpret_cast<const PictureItem&>(item).scaling != kScaleZoom;
    if (item.flags & kItemKindOle) {
      const CKmCntrItem* o = FindOleItem(*Layout(), &item);
      edges = o != nullptr && o->scaling != kScaleZoom;
    }
    if (edges) {
      add(kLeft, b.left, midY);
      add(kRight, b.right + 1, midY);
      add(kTop, midX, b.top);
      add(kBottom, midX, b.bottom + 1);
    }
  } else {
    return 0;
  }
  // A later hit replaces an earlier one: on a small object an edge wins.
  int hit = 0;
  for (int i = 0; i < count; ++i)
    if (const Point& p = points[i]; std::abs(x - p.hx) < 4 && std::abs(y - p.hy) < 4) hit = p.code;
  return hit;
}

int CKmView::HitTestHandles(int x, int y, bool start) {
  LayoutTables* t = Layout();
  if (t == nullptr || CountSelected() == 0) return 0;
  std::vector<ReportItemHead*> selected;
  for (ReportItemHead* h = t->orderHead; h != nullptr; h = h->nextInOrder)
    if ((h->flags & kItemSelected) && Live(*h)) selected.push_back(h);
  for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
    const int code = HandleAt(**it, x, y);
    if (code == 0) continue;
    if (start) {
      ReportItemHead& item = **it;
      SelectOnly(item);
      m_tracker.handle = code;
      m_tracker.object = &item;
      m_tracker.outline = ViewRect(item);
      SetCursor(m_pHost->Cursors().Get(HandleCursorId(code)));
      SetCapture(m_hWnd);
      SetLayoutMode(IsLineOrBox(item) ? kModeLineBoxResize
                    : (item.flags & kItemKindField) ? kModeFieldWidth
                                                    : kModeGraphicResize);
      m_nScrollXAtStep = t->scrollX;
      m_nScrollYAtStep = t->scrollY;
      m_nPendingDx = m_nPendingDy = 0;
      m_pTopmost = m_pBottommost = m_pLeftmost = m_pRightmost = &item;
      m_nLastX = x;
      m_nLastY = y;
      InvalidateRect(m_hWnd, nullptr, TRUE);
    }
    return code;
  }
  return 0;
}

bool CKmView::SetHandleCursor() {
  if (m_tracker.handle == 0) return false;
  SetCursor(m_pHost->Cursors().Get(HandleCursorId(m_tracker.handle)));
  return true;
}

bool CKmView::TrackHandle(int x, int y) {
  if (m_tracker.handle == 0 || m_tracker.object == nullptr) return false;
  LayoutTables& t = *Layout();
  const ReportItemHead& item = *m_tracker.object;
  const int code = m_tracker.handle;
  RECT o = m_tracker.outline;
  const bool alt = AltKeyDown();
  const int line = LineUnder(y + t.scrollY);
  const BandLineRec& rec = t.Lines().lines[line];
  // GetBandLineY answers view y on automatic lines and layout y on sized ones.
  auto snapY = [&](int mode) {
    const int v = GetBandLineY(t, line, rec.heightMode == kHeightAutomatic ? y : y + t.scrollY, mode, alt);
    return (rec.heightMode == kHeightAutomatic || !t.metrics.snapping || alt) ? v : v - t.scrollY;
  };
  if (item.flags & kItemKindField) {
    if (code & kLeft) o.left = SnapXToGrid(t, x, kSnapNearest, alt);
    if (code & kRight) o.right = SnapXToGrid(t, x, kSnapNearest, alt) - 1;
    if (o.right - o.left + 1 >= 1) m_tracker.outline = o;
  } else {
    const bool corner = (code & (kLeft | kRight)) && (code & (kTop | kBottom));
    if ((ShiftDown() || (m_wMouseKeys & kMouseShift)) && corner) {
      const int cx = (code & kLeft) ? o.left : o.right + 1;
      const int cy = (code & kTop) ? o.top : o.bottom + 1;
      const int dxp = x - cx, dyp = y - cy;
      const bool falling = code == (kTop | kLeft) || code == (kBottom | kRight);
      const int other = falling ? dyp : -dyp;
      const int d = std::abs(dxp) <= std::abs(other) ? dxp : other;
      const int dy = falling ? d : -d;
      if (code & kLeft) o.left += d; else o.right += d;
      if (code & kTop) o.top += dy; else o.bottom += dy;
    } else {
      if (code & kLeft) o.left = SnapXToGrid(t, x, kSnapNearest, alt);
      if (code & kRight) o.right = SnapXToGrid(t, x, kSnapNearest, alt) - 1;
      if (code & kTop) o.top = snapY(kSnapTop);
      // The bottom handle stands a pixel below the bottom; a snapped bottom is a line's own.
      if (code & kBottom)
        o.bottom = (t.metrics.snapping && !alt) ? snapY(rec.heightMode == kHeightAutomatic ? kSnapBottom : kSnapNearest)
                                                : y - 1;
    }
    if (IsLineOrBox(item)) {
      if (o.right - o.left + 1 >= 1 && o.bottom - o.top + 1 >= 1) {
        // Lines and boxes keep at least nine pixels in the ways they can be sized.
        const bool box = (item.flags & kItemKindBox) != 0;
        if (box || !IsVerticalLine(item)) {
          if (o.right - o.left < kLineBoxMinimum) {
            if (code & kRight) o.right = o.left + kLineBoxMinimum;
            else o.left = o.right - kLineBoxMinimum;
          }
        }
        if (box || IsVerticalLine(item)) {
          if (o.bottom - o.top < kLineBoxMinimum) {
            if (code & kBottom) o.bottom = o.top + kLineBoxMinimum;
            else o.top = o.bottom - kLineBoxMinimum;
          }
        }
        m_tracker.outline = o;
      }
    } else if (o.right - o.left + 1 > 9 && o.bottom - o.top + 1 > 9) {
      m_tracker.outline = o;
    }
    if (code & (kTop | kBottom)) SetCurrentLineAtY(std::clamp(y, 0, std::max(0, ClientHeight() - 1)));
  }
  const bool outside = x < 0 || x >= ClientWidth() - 1 || y < 0 || y > ClientHeight();
  SetAutoScroll(outside, x, y);
  m_nLastX = x;
  m_nLastY = y;
  InvalidateRect(m_hWnd, nullptr, TRUE);
  return true;
}

namespace {
// The width in characters for a field's pixel width, by its kind.
void SetFieldWidthFromPixels(LayoutTables& t, FieldDef& f, int w) {
  HFONT font = static_cast<HFONT>(f.head.fontHandle);
  const bool numeric = (f.flags & kFieldNumeric) != 0;
  const char* probe = numeric ? "9" : ((f.flags & kFieldMemo) ? "m" : "x");
  const int advance = std::max(1, MeasureTextWidth(t, font, probe, 1));
  int chars = 0;
  if (numeric) {
    const int decimals = f.displayDecimals;
    int n = w / advance - decimals;
    if (n < 1) n = decimals == 0 ? 1 : 0;
    if (n + decimals > 19) n = 20 - decimals;
    chars = n + decimals;
  } else {
    chars = std::clamp(w / advance, 1, 254);
  }
  f.head.width = static_cast<uint8_t>(std::clamp(chars, 1, 254));
  f.displayWidth = f.head.width;
  SizeObjectToText(t, f.head);
}

}  // namespace

bool CKmView::EndHandleResize() {
  if (m_tracker.handle == 0 || m_tracker.object == nullptr) {
    m_tracker = Tracker{};
    return false;
  }
  LayoutTables& t = *Layout();
  ReportItemHead& item = *m_tracker.object;
  const int code = m_tracker.handle;
  RECT o = m_tracker.outline;
  m_tracker = Tracker{};
  SetAutoScroll(false, 0, 0);
  ReleaseCapture();
  SetCursor(m_pHost->Cursors().Get(kCursorArrow));
  ShiftRect(&o, t.scrollX, t.scrollY);
  bool untouched = false;
  if (item.flags & kItemKindField) {
    // The field takes the outline, then its width in characters sized to its
    // text from the anchor of its alignment.
    item.left = std::max(0, o.left);
    item.right = std::max(item.left, o.right);
    SetFieldWidthFromPixels(t, reinterpret_cast<FieldDef&>(item), o.right - o.left + 1);
    ClampToPageWidth(t, item, item.right - item.left + 1);
  } else if (!IsLineOrBox(item) && o.left == item.left && o.top == item.top && o.right == item.right &&
             o.bottom == item.bottom) {
    // A drag too small to take left the outline as it was: so is the object.
    untouched = true;
  } else {
    if (item.flags & kItemKindPicture) {
      PictureItem& p = reinterpret_cast<PictureItem&>(item);
      int iw = 0, ih = 0;
      if (p.scaling == kScaleZoom && PictureAspect(t, p, &iw, &ih)) {
        // Fitted inside the outline keeping the image's shape on paper, from
        // the corner that stayed: in inches, as layout pixels are fewer down
        // an inch than across it.
        int width = ToHundredthsX(t.metrics, o.right - o.left + 1);
        int height = ToHundredthsY(t.metrics, o.bottom - o.top + 1);
        KeepImageShape(iw, ih, &width, &height);
        const int w = std::max(1, FromHundredthsX(t.metrics, width));
        const int h = std::max(1, FromHundredthsY(t.metrics, height));
        if (code & kLeft) o.left = o.right - w + 1; else o.right = o.left + w - 1;
        if (code & kTop) o.top = o.bottom - h + 1; else o.bottom = o.top + h - 1;
      }
    }
    item.left = o.left;
    item.top = o.top;
    item.right = o.right;
    item.bottom = o.bottom;
    // A picture's size in the report's measure follows its new rectangle.
    if (item.flags & kItemKindPicture) StorePictureSize(t, reinterpret_cast<PictureItem&>(item));
    if (IsVerticalLine(item) || !(item.flags & kItemKindLine)) item.height = std::max<int>(1, o.bottom - o.top + 1);
    // An embedded object takes the size its scaling mode allows.
    if (CKmCntrItem* ole = FindOleItem(t, &item)) SetOleItemSize(*ole, o.right - o.left, o.bottom - o.top, t.metrics);
    // Nothing outside the layout's width or band area.
    ClampToPageWidth(t, item, item.right - item.left + 1);
    ClampToBandArea(t, item);
    // The screen shows the picture at its new size.
    if (item.flags & kItemKindPicture) RebuildPictureBitmap(*this, reinterpret_cast<PictureItem&>(item));
    item.bandLine = static_cast<uint8_t>(LineUnder(AnchoredAtBottom(t, item) ? item.bottom : item.top));
    // A chart's stored size follows its new rectangle.
    if (ChartTableEntry* chart = (item.flags & kItemKindChart) ? t.charts.At(t.charts.Find(&item)) : nullptr)
      StoreChartSize(t.metrics, *chart);
    InsertBandLines(t.Lines(), kBandRecord, LineUnder(item.bottom));
    RelayoutAfterFontChange(t, false, kNoAnchor);
  }
  if (m_pDoc && !untouched) m_pDoc->SetModifiedFlag(TRUE);
  BuildLayoutItemOrder(t);
  SetLayoutMode(0);
  MakeObjectCurrent(&item);
  RedrawAllPanes();
  m_pHost->ShowPrompt(&item);
  return true;
}
