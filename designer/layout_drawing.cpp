#include "designer/layout_drawing.h"

#include "charts/chart_render.h"

#include "core/composite.h"
#include "designer/design_view.h"
#include "designer/pictures.h"
#include "expr/document_format.h"
#include "expr/value_format.h"
#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "platform/win/resources.h"
#include "platform/win/unattended.h"
#include "layout/field_width.h"
#include "layout/fonts.h"
#include "layout/layout_helpers.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr int kHandle = 6;

bool Meets(const RECT& a, const RECT& b) {
  return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

bool Held(const ReportItemHead& h) { return (h.flags & (kItemDeleted | kItemInClipboard)) != 0; }

void Fill(HDC dc, int x, int y, int w, int h, HBRUSH brush) {
  if (w <= 0 || h <= 0) return;
  RECT r{x, y, x + w, y + h};
  FillRect(dc, &r, brush);
}

// The new-page guides: a dashed line through the middle of every line that starts a page.
void DrawNewPageGuides(CKmView& view, HDC dc) {
  const int width = view.ClientWidth(), height = view.ClientHeight();
  for (int i = 0; i <= view.LastUsedLine(); ++i) {
    const BandLineRec* r = view.Line(i);
    if (r == nullptr || r->kind == kBandFree || !(r->flags & kLineNewPage)) continue;
    const int y = r->bottom - view.ScrollY() - r->pixelHeight / 2;
    if (y < 0 || y >= height) continue;
    if (view.m_hDashPen == nullptr) view.m_hDashPen = CreatePen(PS_DASH, 1, RGB(0, 0, 0));
    HGDIOBJ old = SelectObject(dc, view.m_hDashPen);
    MoveToEx(dc, 0, y, nullptr);
    LineTo(dc, width, y);
    SelectObject(dc, old);
  }
}

void DrawLinesAndBoxes(CKmView& view, HDC dc, const RECT& update) {
  LayoutTables& t = *view.Layout();
  for (int pass = 0; pass < 2; ++pass)
    for (int i = 0; i < t.linesBoxes.Count(); ++i) {
      const LineBoxItem& item = *t.linesBoxes.At(i);
      const bool isLine = (item.head.flags & kItemKindLine) != 0;
      if (isLine != (pass == 1) || !IsObjectVisible(view, item.head, update)) continue;
      DrawLineOrBox(dc, item, view.ViewRect(item.head));
    }
}

// A framed placeholder with a caption, for objects whose own drawing is not here.
void DrawPlaceholder(CKmView& view, HDC dc, const RECT& r, const char* caption) {
  HGDIOBJ oldPen = SelectObject(dc, view.m_hGreyPen);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  Rectangle(dc, r.left, r.top, r.right + 1, r.bottom + 1);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  if (caption && *caption) {
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(ANSI_VAR_FONT));
    SetTextAlign(dc, TA_TOP | TA_LEFT);
    SetTextColor(dc, RGB(128, 128, 128));
    RECT clip{r.left + 1, r.top + 1, r.right, r.bottom};
    ExtTextOutA(dc, r.left + 3, r.top + 2, ETO_CLIPPED, &clip, caption, static_cast<UINT>(std::strlen(caption)), nullptr);
    SelectObject(dc, oldFont);
  }
}

void DrawPictures(CKmView& view, HDC dc, const RECT& update) {
  LayoutTables& t = *view.Layout();
  for (int i = 0; i < t.pictures.Count(); ++i) {
    PictureItem& p = *t.pictures.At(i);
    if (!IsObjectVisible(view, p.head, update)) continue;
    const RECT r = view.ViewRect(p.head);
    // A picture read with its report has its image but no screen bitmap yet:
    // it is made when first shown, at the place the layout gave it (not in an
    // unattended run, which shows nobody the view).
    if (p.image != nullptr && (p.screenBitmap == nullptr || p.screenBitmap == NoScreenBitmap()) &&
        !p.screenBitmapFailed && !IsUnattendedRun())
      BuildPictureBitmap(t, p);
    if (p.screenBitmap != nullptr && p.screenBitmap != NoScreenBitmap()) {
      HDC mem = CreateCompatibleDC(dc);
      HGDIOBJ old = SelectObject(mem, p.screenBitmap);
      BitBlt(dc, r.left, r.top, r.right - r.left + 1, r.bottom - r.top + 1, mem, 0, 0, SRCCOPY);
      SelectObject(mem, old);
      DeleteDC(mem);
    } else {
      // A picture whose file could not be read keeps its place and its name.
      char name[kPictureNameSize + 1] = {};
      std::memcpy(name, p.fileName, kPictureNameSize);
      DrawPlaceholder(view, dc, r, name[0] ? name : LoadResString(176).c_str());
    }
  }
}

void DrawCharts(CKmView& view, HDC dc, const RECT& update) {
  LayoutTables& t = *view.Layout();
  for (int i = 0; i < t.charts.Count(); ++i) {
    ChartTableEntry& c = *t.charts.At(i);
    if (!IsObjectVisible(view, c.head, update)) continue;
    // The chart drawn with sample values; a chart the library cannot draw
    // (bytes of another form) keeps its framed placeholder.
    const RECT r = view.ViewRect(c.head);
    if (!DrawChartItem(c, dc, r)) DrawPlaceholder(view, dc, r, LoadResString(7044).c_str());
  }
}

void DrawOleItems(CKmView& view, HDC dc, const RECT& update) {
  // No server here can draw the object: its frame names its type.
  const ItemTable<CKmCntrItem>& items = view.Layout()->oleItems;
  for (int i = 0; i < items.Count(); ++i) {
    const CKmCntrItem& o = *items.At(i);
    if (IsObjectVisible(view, o.head, update))
      DrawPlaceholder(view, dc, view.ViewRect(o.head), OleItemLabel(o, LoadResString(7001).c_str()).c_str());
  }
}

HFONT FontOfItem(CKmView& view, const ReportItemHead& item) {
  if (item.fontHandle) return static_cast<HFONT>(item.fontHandle);
  DocFonts* f = view.Doc()->m_pFonts;
  if (f && f->regularDefault) return f->regularDefault;
  return static_cast<HFONT>(GetStockObject(ANSI_VAR_FONT));
}

COLORREF TextColour(BYTE code) { return code == 0 ? GetSysColor(COLOR_WINDOWTEXT) : ColorTableValue(code); }

void DrawTextItem(CKmView& view, HDC dc, const ReportItemHead& item, bool selected, bool fieldNames) {
  const bool isField = (item.flags & kItemKindField) != 0;
  const std::string text = ItemDisplayText(view, item);
  const BandLineRec* line = view.Line(item.bandLine);
  const bool automatic = line != nullptr && line->kind != kBandFree && line->heightMode == 0;
  const int sx = view.ScrollX(), sy = view.ScrollY();
  const int baseline = automatic ? line->baseline - sy : item.bottom - item.descent - sy;
  RECT r{item.left - sx, item.top - sy, item.right - sx + 1, item.bottom - sy + 1};
  if (automatic && !fieldNames) {
    r.bottom = baseline + item.descent + 1;
    r.top = r.bottom - std::max(1, item.height);
  }
  if (isField && fieldNames && !selected) {
    HPEN pen = CreatePen(PS_SOLID, 1, ColorTableValue(item.colour));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    r.left += 1;
    r.top += 1;
    r.right -= 1;
    r.bottom -= 1;
  }
  const UINT length = static_cast<UINT>(text.size());
  if (!selected && !fieldNames) {
    TextOutA(dc, item.left - sx, baseline, text.c_str(), static_cast<int>(length));
  } else {
    ExtTextOutA(dc, item.left - sx + (isField && fieldNames ? 1 : 0), baseline, ETO_CLIPPED | (selected ? static_cast<UINT>(ETO_OPAQUE) : 0u),
                &r, text.c_str(), length, nullptr);
  }
}

void DrawTextItems(CKmView& view, HDC dc, const RECT& update, bool selectedPass) {
  LayoutTables& t = *view.Layout();
  const bool fieldNames = view.Doc()->m_settings.fieldNames != 0;
  const bool moving = (view.Mode() & (kModeMoveSelection | kModeKeyMove)) != 0;
  HFONT current = nullptr;
  ForEachLayoutItem(t, [&](ReportItemHead& item) {
    if (item.flags & kItemGraphicKinds) return;
    // The text being edited in place shows in its editor only.
    if (view.EditedText() != nullptr && &item == &view.EditedText()->head) return;
    const bool selected = (item.flags & kItemSelected) != 0;
    if (selected != selectedPass) return;
    const BandLineRec* line = view.Line(item.bandLine);
    int top = item.top - view.ScrollY(), bottom = item.bottom - view.ScrollY();
    if (line != nullptr && line->kind != kBandFree && !(selected && moving)) {
      top = line->baseline - view.ScrollY() - std::max(item.height, line->pixelHeight);
      bottom = line->bottom - view.ScrollY();
    }
    const RECT extent{item.left - view.ScrollX(), top, item.right - view.ScrollX(), bottom};
    if (!Meets(extent, update)) return;
    HFONT font = FontOfItem(view, item);
    if (font != current) {
      SelectObject(dc, font);
      current = font;
    }
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    SetTextColor(dc, TextColour(item.colour));
    DrawTextItem(view, dc, item, selected, fieldNames);
  });
}

void DrawTextsAndFields(CKmView& view, HDC dc, const RECT& update) {
  HGDIOBJ oldFont = SelectObject(dc, FontOfItem(view, ReportItemHead{}));
  UINT oldAlign = SetTextAlign(dc, TA_BASELINE | TA_LEFT);
  int oldMode = SetBkMode(dc, TRANSPARENT);
  DrawTextItems(view, dc, update, false);
  if (view.CountSelected() > 0) DrawTextItems(view, dc, update, true);
  SetTextAlign(dc, oldAlign);
  SetBkMode(dc, oldMode);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  if (oldFont) SelectObject(dc, oldFont);
}

void Handle(HDC dc, int x, int y) { PatBlt(dc, x - kHandle / 2, y - kHandle / 2, kHandle, kHandle, DSTINVERT); }

void DrawObjectHandles(CKmView& view, HDC dc, const ReportItemHead& item) {
  const RECT r = view.ViewRect(item);
  const int x = r.left, y = r.top, w = r.right - r.left, h = r.bottom - r.top;
  const LineBoxItem* line = (item.flags & kItemKindLine) ? LineBoxOfItem(&item) : nullptr;
  if (line != nullptr) {
    const int t = line->thickness;
    if (h < w) {
      Handle(dc, x, y - (t / 2 - 1));
      Handle(dc, x + w, y - (t / 2 - 1));
    } else {
      const int hx = line->alignment == kAlignLeft ? x + t / 2 : line->alignment == kAlignRight ? x - (t / 2 - 1) : x;
      Handle(dc, hx, y);
      Handle(dc, hx, y + h);
    }
    return;
  }
  if (!(item.flags & kItemGraphicKinds)) {
    // The grey frame of a selected text or field.
    HGDIOBJ old = SelectObject(dc, view.m_hGreyPen);
    MoveToEx(dc, r.left, r.top + 1, nullptr);
    LineTo(dc, r.right, r.top + 1);
    LineTo(dc, r.right, r.bottom - 1);
    LineTo(dc, r.left, r.bottom - 1);
    LineTo(dc, r.left, r.top + 1);
    SelectObject(dc, old);
    return;
  }
  Handle(dc, x, y);
  Handle(dc, x + w, y);
  Handle(dc, x, y + h);
  Handle(dc, x + w, y + h);
  bool edges = (item.flags & (kItemKindBox | kItemKindChart)) != 0;
  if (const PictureItem* p = PictureOfItem(&item)) edges = p->scaling != kScaleZoom;
  if (edges) {
    Handle(dc, x + w / 2, y);
    Handle(dc, x + w / 2, y + h);
    Handle(dc, x, y + h / 2);
    Handle(dc, x + w, y + h / 2);
  }
}

// The rubber band or a resize outline: a dotted rectangle that inverts what it crosses.
void DrawDraggedOutline(CKmView& view, HDC dc, const RECT& r) {
  const int oldRop = SetROP2(dc, R2_NOTXORPEN);
  HGDIOBJ oldPen = SelectObject(dc, view.m_hDotPen);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  Rectangle(dc, r.left, r.top, r.right + 1, r.bottom + 1);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  SetROP2(dc, oldRop);
}

void DrawSelectionHandles(CKmView& view, HDC dc, const RECT& update) {
  int oldRop = SetROP2(dc, R2_NOTXORPEN);
  ForEachLayoutItem(*view.Layout(), [&](ReportItemHead& item) {
    if ((item.flags & kItemSelected) && IsObjectVisible(view, item, update)) DrawObjectHandles(view, dc, item);
  });
  SetROP2(dc, oldRop);
}
}  // namespace

bool IsObjectVisible(const CKmView& view, const ReportItemHead& item, const RECT& update) {
  if (Held(item)) return false;
  return Meets(view.InflateObjectRect(item, true), update);
}

void DrawLineOrBox(HDC dc, const LineBoxItem& item, const RECT& v) {
  int x = v.left, y = v.top, w = v.right - v.left + 1, h = v.bottom - v.top + 1;
  const int t = std::max<int>(1, item.thickness);
  HBRUSH pen = CreateSolidBrush(GetNearestColor(dc, ColorFromCode(item.borderColour)));
  int oldRop = SetROP2(dc, R2_COPYPEN);
  if (item.head.flags & kItemKindLine) {
    if (h < w) {
      Fill(dc, x, y - (t - 1), w, t, pen);
    } else {
      if (item.alignment == kAlignRight) x -= t - 1;
      else if (item.alignment == kAlignCentre) x -= t / 2;
      Fill(dc, x, y, t, h, pen);
    }
  } else {
    if (item.borders & kBorderTop) {
      Fill(dc, x, y, w, t, pen);
      y += t;
      h -= t;
    }
    if (item.borders & kBorderLeft) {
      Fill(dc, x, y, t, h, pen);
      x += t;
      w -= t;
    }
    if (item.borders & kBorderRight) {
      Fill(dc, x + w - t, y, t, h, pen);
      w -= t;
    }
    if (item.borders & kBorderBottom) {
      Fill(dc, x, y + h - t, w, t, pen);
      h -= t;
    }
    if (item.pattern == kNoPattern || item.pattern > HS_DIAGCROSS) {
      if (item.backColour != kNoColour) {
        HBRUSH back = CreateSolidBrush(GetNearestColor(dc, ColorFromCode(item.backColour)));
        Fill(dc, x, y, w, h, back);
        DeleteObject(back);
      }
    } else {
      HBRUSH hatch = CreateHatchBrush(item.pattern, GetNearestColor(dc, ColorFromCode(item.foreColour)));
      COLORREF oldBk = 0;
      int oldMode = 0;
      if (item.backColour == kNoColour) {
        oldMode = SetBkMode(dc, TRANSPARENT);
      } else {
        oldBk = SetBkColor(dc, GetNearestColor(dc, ColorFromCode(item.backColour)));
        oldMode = SetBkMode(dc, OPAQUE);
      }
      SetBrushOrgEx(dc, x + 1, y + 1, nullptr);
      Fill(dc, x, y, w, h, hatch);
      SetBkMode(dc, oldMode);
      if (item.backColour != kNoColour) SetBkColor(dc, oldBk);
      DeleteObject(hatch);
    }
  }
  SetROP2(dc, oldRop);
  DeleteObject(pen);
}

void DrawGrid(CKmView& view, HDC dc, const RECT& update) {
  const int cell = view.CellWidth(), pitch = view.LinePitch();
  const int sx = view.ScrollX(), sy = view.ScrollY();
  const COLORREF dot = GetSysColor(COLOR_WINDOWTEXT);
  int column = std::max<int>(update.left - 1, 0);
  const int lx = column + sx;
  column += cell - ((lx % cell) + cell) % cell;
  for (; column <= update.right; column += cell) {
    if (column < update.left) continue;
    for (int i = 0; i <= view.LastUsedLine(); ++i) {
      const BandLineRec* r = view.Line(i);
      if (r == nullptr || r->kind == kBandFree) break;
      const bool automatic = r->heightMode == 0;
      const int row = automatic ? r->baseline - sy : r->bottom - r->pixelHeight - sy;
      if (row > update.bottom) break;
      if (r->bottom <= sy || r->bottom - sy < update.top) continue;
      if (automatic) {
        SetPixel(dc, column, row, dot);
      } else {
        for (int y = row + pitch; y <= r->bottom - sy; y += pitch)
          if (y >= update.top && y <= update.bottom) SetPixel(dc, column, y, dot);
      }
    }
  }
}

std::string ItemDisplayText(CKmView& view, const ReportItemHead& item) {
  if (FieldDef* field = FieldOfItem(const_cast<ReportItemHead*>(&item))) {
    FieldDef& f = *field;
    if (view.Doc()->m_settings.fieldNames) return std::string(f.name, strnlen(f.name, sizeof f.name));
    return FieldShownText(*view.Layout(), item);
  }
  const TextItem* x = TextOfItem(&item);
  if (x == nullptr || x->text == nullptr) return std::string();
  // The text ends at its zero, and never beyond its own block.
  return std::string(x->text, strnlen(x->text, HeapBlockSize(x->text)));
}

void DrawLayoutView(CKmView& view, HDC dc, const RECT& update) {
  if (view.ReportOpen()) {
    LayoutTables& t = *view.Layout();
    int saved = SaveDC(dc);
    if (t.oleItems.Count() > 0) DrawOleItems(view, dc, update);
    if (saved) RestoreDC(dc, saved);
    DrawNewPageGuides(view, dc);
    if (t.linesBoxes.Count() > 0) DrawLinesAndBoxes(view, dc, update);
    if (t.pictures.Count() > 0) DrawPictures(view, dc, update);
    if (t.charts.Count() > 0 && !view.OutputRunning()) DrawCharts(view, dc, update);
    const RECT client{0, 0, view.ClientWidth(), view.ClientHeight()};
    if (Meets(client, update)) {
      if (view.GridShown()) DrawGrid(view, dc, update);
      DrawTextsAndFields(view, dc, update);
    }
    if (!view.EditorOpen() && view.CountSelected() > 0) DrawSelectionHandles(view, dc, update);
    if (const RECT* outline = view.DraggedOutline()) DrawDraggedOutline(view, dc, *outline);
    POINT from{}, to{};
    if (view.DraggingLine(&from, &to)) {
      const int oldRop = SetROP2(dc, R2_NOTXORPEN);
      HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
      MoveToEx(dc, from.x, from.y, nullptr);
      LineTo(dc, to.x, to.y);
      SelectObject(dc, oldPen);
      SetROP2(dc, oldRop);
    }
  }
}
