#include "engine/page_objects.h"

#include "engine/band_line_helpers.h"
#include "engine/chart_output.h"
#include "engine/output_messages.h"
#include "engine/report_run.h"
#include "foundation/heap_strings.h"
#include "foundation/text_helpers.h"
#include "layout/item_tables.h"

#include <algorithm>
#include <cstring>

namespace {

WORD ToWord(LONG v) { return static_cast<WORD>(std::max<LONG>(0, std::min<LONG>(v, 0xFFFF))); }

WORD PrinterY(const BandOutputState* s, LONG decipoints) {
  return ToWord(DecipointsToPrinterY(s->units, static_cast<DWORD>(std::max<LONG>(0, decipoints))));
}

// A refused record stops the run, said once.
int Refused(ReportRun* run) {
  int& runState = RunStateOf(run);
  if (runState == 0) ShowOutputRefused(run);
  runState = -1;
  return 0;
}

// The picture table entry whose image goes to the library: an earlier
// entry of the same file and size lends its handle, so one image is sent once.
void* PictureHandle(const LayoutTables& t, const PictureItem* p) {
  for (int i = 0; i < t.pictures.Count(); ++i) {
    const PictureItem* q = t.pictures.At(i);
    if (q == p) break;
    if (q->image == p->image) break;
    if (q->image != nullptr && p->fileName[0] != 0 &&
        std::strncmp(q->fileName, p->fileName, sizeof p->fileName) == 0 && q->shownWidth == p->shownWidth &&
        q->shownHeight == p->shownHeight && q->head.flags == p->head.flags && q->scaling == p->scaling)
      return q->image;
  }
  return p->image;
}

}  // namespace

GraphicPlace PlaceGraphic(ReportRun* run, const ItemOutput& it, LONG shift, LONG y) {
  BandOutputState* s = run->band;
  const ReportItemHead& h = *it.head;
  const BandLineRec& line = s->layout->Lines().lines[it.line];
  GraphicPlace g;
  g.x = ToWord(ToDeviceX(s->units, static_cast<DWORD>(std::max(0, h.left))) + shift);
  LONG bottom = y - LayoutToDecipoints(s, line.bottom - h.bottom) + LayoutToDecipoints(s, h.bottom - line.bottom);
  g.y = PrinterY(s, bottom);
  g.width = ToWord(ToDeviceX(s->units, static_cast<DWORD>(std::max(0, h.right - h.left))));
  g.height = ToWord(LayoutToScreenY(s->units, static_cast<DWORD>(std::max(0, h.bottom - h.top))));
  return g;
}

int RefuseGraphic(ReportRun* run) { return Refused(run); }

namespace {

int OutputPicture(ReportRun* run, ItemOutput& it, LONG shift, LONG y) {
  BandOutputState* s = run->band;
  const PictureItem* p = PictureOfItem(it.head);
  if (p == nullptr) return 1;
  PictureRecord r;
  r.image = PictureHandle(*s->layout, p);
  const GraphicPlace g = PlaceGraphic(run, it, shift, y);
  r.x = g.x, r.y = g.y, r.width = g.width, r.height = g.height;
  if (p->scaling == kScaleCrop) {
    r.cropWidth = ToWord(p->source[2] - p->source[0]);
    r.cropHeight = ToWord(p->source[3] - p->source[1]);
  }
  r.fileName = FileNamePart(p->fileName);
  if (!run->driver->DrawPicture(run->page, &r)) return Refused(run);
  return 1;
}

template <class Place>
int OutputWaiting(ReportRun* run, int band, int lastLine, uint32_t kind, int* count, Place place) {
  BandOutputState* s = run->band;
  if (s == nullptr || s->layout == nullptr) return 1;
  const BandLineRec* L = s->layout->Lines().lines;
  for (ItemOutput& it : s->items) {
    if (!(it.state & kItemWaiting) || !(it.head->flags & kind)) continue;
    if (L[it.line].kind != band || it.line > lastLine) continue;
    it.state &= static_cast<BYTE>(~kItemWaiting);
    if (*count > 0) --*count;
    if (!place(it)) return 0;
  }
  return 1;
}

}  // namespace

int OutputWaitingPictures(ReportRun* run, int band, int lastLine, LONG y) {
  if (run->band == nullptr) return 1;
  const bool can = run->driver && run->driver->HasEntry(20);
  return OutputWaiting(run, band, lastLine, kItemKindPicture, &run->band->waitingPictures,
                       [&](ItemOutput& it) { return can ? OutputPicture(run, it, BandColumnOffset(run, band), y) : 1; });
}

int OutputWaitingCharts(ReportRun* run, int band, int lastLine, LONG y) {
  if (run->band == nullptr) return 1;
  return OutputWaiting(run, band, lastLine, kItemKindChart, &run->band->waitingCharts,
                       [&](ItemOutput& it) { return ImbedChart(run, it, y, BandColumnOffset(run, band)); });
}

namespace {

// One embedded object: its place, and the values its item keeps passed through.
int OutputOleItem(ReportRun* run, ItemOutput& it, LONG shift, LONG y) {
  const CKmCntrItem* item = FindOleItem(*run->band->layout, it.head);
  if (item == nullptr) return 1;
  OleItemRecord r;
  r.item = const_cast<CKmCntrItem*>(item);
  const GraphicPlace g = PlaceGraphic(run, it, shift, y);
  r.x = g.x, r.y = g.y, r.width = g.width, r.height = g.height;
  r.itemWord = item->scaling;
  r.itemValues[0] = static_cast<DWORD>(item->natural[0]);
  r.itemValues[1] = static_cast<DWORD>(item->natural[1]);
  r.itemValues[2] = static_cast<DWORD>(item->shown[0]);
  r.itemValues[3] = static_cast<DWORD>(item->shown[1]);
  const std::string label = OleItemLabel(*item, GetResString(7001, 0));
  r.label = label.c_str();
  if (!run->driver->DrawOleItem(run->page, &r)) return Refused(run);
  return 1;
}

}  // namespace

int OutputWaitingOleItems(ReportRun* run, int band, int lastLine, LONG y) {
  if (run->band == nullptr) return 1;
  const bool can = run->driver && run->driver->HasEntry(27);
  return OutputWaiting(run, band, lastLine, kItemKindOle, &run->band->waitingOleItems,
                       [&](ItemOutput& it) { return can ? OutputOleItem(run, it, BandColumnOffset(run, band), y) : 1; });
}

namespace {

int SendLineOrBox(ReportRun* run, const ItemOutput& it, LONG topDp, LONG bottomDp, WORD sides, LONG off) {
  BandOutputState* s = run->band;
  const ReportItemHead& h = *it.head;
  const LineBoxItem* lb = LineBoxOfItem(it.head);
  if (lb == nullptr) return 1;
  const bool isLine = (h.flags & kItemKindLine) != 0;
  const int ordinal = isLine ? 23 : 19;
  if (!run->driver || !run->driver->HasEntry(ordinal)) return 1;
  auto px = [&](LONG layoutX) {
    LONG screen = ToDeviceX(s->units, static_cast<DWORD>(std::max<LONG>(0, layoutX))) + off;
    return ToWord(ScreenToPrinterX(s->units, static_cast<DWORD>(std::max<LONG>(0, screen))));
  };
  LineBoxRecord r;
  r.left = px(h.left);
  r.right = px(h.right);
  r.bottom = PrinterY(s, bottomDp);
  r.top = h.top == h.bottom ? r.bottom : PrinterY(s, topDp);
  r.penWidth = ToWord(ScreenToPrinterX(s->units, std::max<BYTE>(1, lb->thickness)));
  r.penStyle = 0;
  r.attributes = sides;
  r.lineColour = ColorTableValue(lb->borderColour);
  r.secondColour = ColorTableValue(lb->foreColour);
  r.fillColour = lb->backColour == kNoColour ? 0xFF000000u : ColorTableValue(lb->backColour);
  // A page store that asks for the system's colours gets the codes that
  // name one (window text, window, no colour) as the screen shows them.
  const bool system = run->page != nullptr && run->page->useSystemColors != 0;
  auto shown = [system](BYTE code) { return system ? ColorFromCode(code) : ColorTableValue(code); };
  r.lineColourShown = shown(lb->borderColour);
  r.secondColourShown = shown(lb->foreColour);
  r.fillColourShown = lb->backColour == kNoColour ? 0xFF000000u : shown(lb->backColour);
  r.styleExtra = lb->pattern;
  int ok = isLine ? run->driver->DrawLine(run->page, &r) : run->driver->DrawBox(run->page, &r);
  return ok ? 1 : Refused(run);
}

// A wrapped field still continuing (or an item it holds) on one of the
// object's lines stretches the object: it ends after them.
bool StretchedInside(const BandOutputState* s, const ItemOutput& box) {
  for (const ItemOutput& o : s->items)
    if ((o.state & (kItemContinuing | kItemHeld)) && o.line >= box.line && o.line <= box.endLine) return true;
  return false;
}

}  // namespace

int OutputLineOrBox(ReportRun* run, ItemOutput* item, LONG y, LONG lineHeight) {
  const int band = run->band->layout->Lines().lines[item->line].kind;
  return OutputLineOrBoxShifted(run, item, y, lineHeight, BandColumnOffset(run, band));
}

int OutputPictureShifted(ReportRun* run, ItemOutput* item, LONG y, LONG shift) {
  return OutputPicture(run, *item, shift, y);
}

int OutputLineOrBoxShifted(ReportRun* run, ItemOutput* item, LONG y, LONG lineHeight, LONG shift) {
  BandOutputState* s = run->band;
  const ReportItemHead& h = *item->head;
  const BandLineRec& end = s->layout->Lines().lines[item->endLine];
  LONG bottom = y - LayoutToDecipoints(s, end.bottom - h.bottom);
  LONG top;
  if (item->openY != 0)
    top = item->openY;
  else if (end.pixelHeight == h.bottom - h.top + 1)
    top = bottom - lineHeight;
  else
    top = y - LayoutToDecipoints(s, end.bottom - h.top + 1);
  return SendLineOrBox(run, *item, top, bottom, item->sides, shift);
}

int TrackSpanningGraphics(ReportRun* run, int band, int line, LONG y, LONG lineHeight) {
  BandOutputState* s = run->band;
  if (s == nullptr || s->layout == nullptr) return 1;
  const BandLineRec* L = s->layout->Lines().lines;
  for (ItemOutput& it : s->items) {
    if (!IsLineOrBox(*it.head) || !(it.state & kItemWaiting)) continue;
    const bool open = it.openY != 0;
    if (!open && (it.reopen || L[it.line].kind != band)) continue;
    if (open && L[it.endLine].kind != band) continue;
    if (!open && line >= it.line) {
      // Opened at its first line: its top lies above the line's bottom.
      const BandLineRec& first = L[it.line];
      const LONG lineTop = first.bottom - first.pixelHeight + 1;
      LONG up = it.head->top <= lineTop ? lineHeight : LayoutToDecipoints(s, first.bottom - it.head->top + 1);
      it.openY = std::max<LONG>(1, y - up);
      it.lateLines = std::max(0, line - it.line);
    }
    if (it.openY != 0 && line >= it.endLine + it.lateLines && !StretchedInside(s, it)) {
      int ok = OutputLineOrBox(run, &it, y, lineHeight);
      it.state &= static_cast<BYTE>(~kItemWaiting);
      it.openY = 0;
      it.lateLines = 0;
      const LineBoxItem* lb = LineBoxOfItem(it.head);
      it.sides = static_cast<WORD>(lb != nullptr ? lb->borders & 0x0F : 0);
      if (it.head->flags & kItemKindLine) it.sides = 0;
      if (s->openLinesBoxes > 0) --s->openLinesBoxes;
      if (!ok) return 0;
    }
  }
  return 1;
}

int CloseSpanningGraphicsAtPageEnd(ReportRun* run) {
  BandOutputState* s = run->band;
  if (s == nullptr || run->driver == nullptr || !run->driver->HasEntry(22)) return 1;
  LONG y = run->driver->CurrentY(run->page);
  // The last usable position above the page footer, whether the footer is
  // already out or still to come.
  LONG bottom = y;
  if (run->driver->HasEntry(10))
    bottom = std::max<LONG>(y - run->pageFooterHeight,
                            y + run->driver->SpaceLeft(run->page, run->pageBottom) - run->pageFooterHeight);
  s->closedPage = run->pageCount;
  s->closedColumn = run->currentColumn;
  for (ItemOutput& it : s->items) {
    if (!IsLineOrBox(*it.head) || !(it.state & kItemWaiting) || it.openY == 0) continue;
    // The part on this page has no bottom side; the part on the next no top.
    const LONG off = BandColumnOffset(run, s->layout->Lines().lines[it.line].kind);
    int ok = SendLineOrBox(run, it, it.openY, bottom, static_cast<WORD>(it.sides & ~kBorderBottom), off);
    it.sides = static_cast<WORD>(it.sides & ~kBorderTop);
    it.openY = 0;
    it.reopen = true;
    s->reopenPending = true;
    if (!ok) return 0;
  }
  return 1;
}

void ReopenSpanningGraphics(ReportRun* run) {
  BandOutputState* s = run->band;
  // Every band starts here: the rest is looked at only while an item was cut.
  if (s == nullptr || !s->reopenPending) return;
  if (run->driver == nullptr || !run->driver->HasEntry(22)) return;
  if (run->pageCount == s->closedPage && run->currentColumn == s->closedColumn) return;
  LONG y = run->driver->CurrentY(run->page);
  bool still = false;
  for (ItemOutput& it : s->items) {
    if (it.reopen && it.openY == 0) {
      it.openY = std::max<LONG>(1, y);
      it.reopen = false;
    }
    still = still || it.reopen;
  }
  s->reopenPending = still;
}

void SpanningGraphicsAtPageChange(ReportRun* run) {
  BandOutputState* s = run->band;
  if (s == nullptr) return;
  bool open = false;
  for (const ItemOutput& it : s->items)
    if (it.openY != 0 && (it.state & kItemWaiting)) open = true;
  if (open)
    CloseSpanningGraphicsAtPageEnd(run);
  else
    ReopenSpanningGraphics(run);
}
