#include "layout/band_line_layout.h"

#include "layout/layout_helpers.h"
#include "layout/object_shift.h"
#include "core/composite.h"

#include <algorithm>
#include <type_traits>
#include <utility>
#include <vector>

static_assert(std::is_standard_layout<LineBoxItem>::value, "a line's head is its first member");

const BYTE kPlacementBands[kPlacementBandCount] = {
    kBandTitle, kBandSummary, kBandPageHeader, kBandPageFooter, kBandRecord,
    20, 70, 21, 71, 22, 72, 23, 73, 24, 74, 25, 75, 26, 76, 27, 77,
};

namespace {

bool IsUsed(const LayoutTables& t, int i) {
  return i >= 0 && i < kBandLineCount && i <= t.Lines().lastUsed && t.bandRecords[i].kind != kBandFree;
}
bool IsFreeform(const BandLineRec& r) { return r.heightMode != kHeightAutomatic; }
int Baseline(const ReportItemHead& h) { return h.bottom - h.descent; }

std::vector<ReportItemHead*> ItemsOnLine(LayoutTables& t, int line) {
  std::vector<ReportItemHead*> out;
  ForEachLayoutItem(t, [&](ReportItemHead& h) {
    if (h.bandLine == line) out.push_back(&h);
  });
  return out;
}

// The unit of a line's explicit height, as ConvertVertMeasure names it.
int LineHeightUnit(const LayoutTables& t, const BandLineRec& r) {
  if (r.heightMode == kHeightPoints) return kVert720;
  return t.metrics.metric ? kVertTenthsMm : kVertHundredths;
}

int RoundedToLines(const LayoutTables& t, int h) { return t.metrics.snapping ? RoundUpToLine(t.metrics, h) : h; }

void AfterLineChange(LayoutTables& t, bool forgetUndo) {
  RelayoutAfterFontChange(t, false, kNoAnchor);
  t.Hooks().SetModified();
  if (forgetUndo) t.Hooks().ForgetUndoDelete();
  t.Hooks().RedrawAllPanes();
}

}  // namespace

UINT MinimumLineHeightForFonts(LayoutTables& t, int i) {
  if (!IsUsed(t, i)) return 0;
  int32_t largest = 0;
  for (ReportItemHead* h : ItemsOnLine(t, i))
    if (IsTextLike(*h)) largest = std::max(largest, h->pointSize != 0 ? h->pointSize : t.defaultPointSize);
  if (largest <= 0) return 0;
  const WORD size = static_cast<WORD>(std::min<int32_t>(largest, 0xFFFF));
  return ConvertVertMeasure(size, LineHeightUnit(t, t.bandRecords[i]), kVert720, 0);
}

int ComputeLineHeight(LayoutTables& t, int i, int* descent, bool keep) {
  BandLineRec& r = t.bandRecords[i];
  const bool freeform = IsFreeform(r);
  int base = 0;
  if (freeform) base = r.pixelHeight != 0 ? r.pixelHeight : MeasureToPixelsY(t.metrics, r.height & 0xFFFF, r.heightMode);
  int h = base;
  int d = 0;
  const int top = r.bottom - base;
  for (ReportItemHead* item : ItemsOnLine(t, i)) {
    if (!IsTextLike(*item)) continue;
    if (freeform) {
      if (!keep && r.bottom != 0 && item->bottom != 0) {
        const int baseline = Baseline(*item);
        if (baseline > r.bottom) h = std::max(h, item->bottom - top);
        else if (baseline < top) h = std::max(h, r.bottom - item->top);
      }
      h = std::max(h, item->height - item->descent);
    } else {
      if (item->fontHandle != nullptr) d = std::max(d, item->descent);
      h = std::max(h, item->height);
    }
  }
  if (freeform) {
    if (h == 0 || (keep && h != base) || (!keep && h > base)) {
      if (h == 0) h = t.DefaultLineHeight();
      r.height = PixelsToDisplayUnits(t.metrics, r.heightMode, h);
    }
    r.height = std::max<uint32_t>(r.height, MinimumLineHeightForFonts(t, i));
    d = 0;
  }
  if (descent != nullptr) *descent = d;
  return h != 0 ? h : t.DefaultLineHeight();
}

bool RelayoutAfterFontChange(LayoutTables& t, bool keep, int anchor) {
  BandLineRec* lines = t.bandRecords;
  const bool currentFreeform = IsUsed(t, t.currentLine) && IsFreeform(lines[t.currentLine]);
  const int caretOffset = t.caretY != 0 && currentFreeform ? lines[t.currentLine].bottom - t.caretY : 0;

  // Each item's distance from its line's bottom, so it moves with the line.
  ShiftObjectsToBandTop(t);
  // Fields off the layout keep theirs too: the report writes them back where
  // it read them, however often it is saved.
  std::vector<std::pair<FieldDef*, int>> offLayout;
  if (t.model != nullptr)
    for (FieldDef* f = t.model->fieldList; f != nullptr; f = f->next)
      if (!IsPlacedField(f) && f->head.bandLine < kBandLineTableRecords)
        offLayout.emplace_back(f, lines[f->head.bandLine].bottom - f->head.bottom);

  bool changed = false;
  int running = -1;
  for (int i = 0; i < kBandLineTableRecords; ++i) {
    BandLineRec& r = lines[i];
    int h = t.DefaultLineHeight();
    int d = 0;
    if (i < kBandLineCount && IsUsed(t, i)) h = ComputeLineHeight(t, i, &d, keep);
    if (h != r.pixelHeight || (!IsFreeform(r) && d != r.bottom - r.baseline)) changed = true;
    r.pixelHeight = h;
    r.bottom = running + h;
    r.baseline = r.bottom - d;
    running += h;
  }

  if (t.currentLine >= 0 && t.currentLine < kBandLineTableRecords) {
    const BandLineRec& c = lines[t.currentLine];
    t.caretY = currentFreeform ? c.bottom - caretOffset : c.baseline;
  }

  ForEachLayoutItem(t, [&](ReportItemHead& h) {
    const BandLineRec& r = lines[h.bandLine];
    const int B = r.bottom;
    const int lineTop = B - r.pixelHeight + 1;
    const bool anchored = IsFreeform(r) && h.bandLine == anchor;
    if (IsTextLike(h)) {
      const int d = h.bottom != 0 ? h.descent : 0;
      if (!IsFreeform(r)) h.bottom = r.baseline + d;
      else if (!anchored) h.bottom = B - h.lineOffset + d;
      h.top = h.bottom - h.height;
      if (keep && IsFreeform(r)) {
        const int baseline = Baseline(h);
        int shift = 0;
        if (baseline > B) shift = B - baseline;
        else if (baseline < B - r.pixelHeight) shift = (B - r.pixelHeight) - h.top;
        h.top += shift;
        h.bottom += shift;
      }
      return;
    }
    if (anchored) return;
    if (h.flags & (kItemKindOle | kItemKindChart)) {
      h.top = B - h.lineOffset;
      h.bottom = h.top + h.height - 1;
      return;
    }
    if (IsLineOrBox(h) && h.height == -1) {
      h.bottom = B;
      h.top = lineTop;
      h.height = r.pixelHeight;
      h.column = 0;
      return;
    }
    const bool horizontalLine = TestObjectFlag40(h);
    auto place = [&](int top) {
      h.top = top;
      h.bottom = horizontalLine ? top : top + h.height - 1;
    };
    place(B - h.lineOffset);
    if (h.top < lineTop) place(lineTop);
  });
  for (const auto& [f, offset] : offLayout) {
    f->head.bottom = lines[f->head.bandLine].bottom - offset;
    f->head.top = f->head.bottom - f->head.height;
  }

  BuildLayoutItemOrder(t);
  t.Hooks().UpdateScrollBars();
  return changed;
}

bool InsertBandLine(LayoutTables& t) {
  BandLineTable& bl = t.Lines();
  if (t.bandRecords[kBandLineCount - 1].kind != kBandFree || t.currentLine < 0 || t.currentLine >= kBandLineCount - 1)
    return false;
  const bool empty = t.bandRecords[0].kind == kBandFree;
  const BYTE code = empty ? kBandRecord : t.bandRecords[bl.lastUsed].kind;
  const int at = t.currentLine;
  if (t.bandRecords[at].kind == kBandFree) {
    InsertBandLines(bl, code, at);
    t.bandRecords[at].kind = code;
    ClearBandLine(bl, at);
    RenumberBandLines(bl);
  } else {
    if (!InsertBandLineAt(bl, at)) return false;
    bl.lastUsed += 1;
    ClearBandLine(bl, at);
  }
  AfterLineChange(t, true);
  return true;
}

BYTE RequestBand(const LayoutTables& t, const CreateLinesRequest& r) {
  if (r.placement == LinePlacement::Band) return r.band;
  if (IsUsed(t, t.currentLine)) return t.bandRecords[t.currentLine].kind;
  return t.bandRecords[0].kind == kBandFree ? kBandRecord : t.bandRecords[t.Lines().lastUsed].kind;
}

CreateLinesError CheckCreateLines(const LayoutTables& t, const CreateLinesRequest& r, bool pageLikeBand) {
  if (r.count <= 0) return kInvalidLineCount;
  if (r.count > 255 - t.Lines().lastUsed) return kTooManyLines;
  if (r.newPage && pageLikeBand) return kNewPageInPageBand;
  return kCreateLinesOk;
}

bool CreateBandLines(LayoutTables& t, const CreateLinesRequest& r) {
  BandLineTable& bl = t.Lines();
  if (t.bandRecords[kBandLineCount - 1].kind != kBandFree || t.currentLine < 0 || t.currentLine >= kBandLineCount - 1)
    return false;
  if (CheckCreateLines(t, r, false) == kInvalidLineCount || CheckCreateLines(t, r, false) == kTooManyLines)
    return false;
  const BYTE band = RequestBand(t, r);
  const bool empty = t.bandRecords[0].kind == kBandFree;
  int index;
  if (r.placement == LinePlacement::Band || !IsUsed(t, t.currentLine)) {
    FindBandLineRange(bl, band, &index, 1);
  } else {
    index = r.placement == LinePlacement::Above ? t.currentLine : t.currentLine + 1;
  }
  if (index < 0 || index >= kBandLineCount) return false;
  if (empty) {
    for (int i = 0; i < r.count; ++i) {
      t.bandRecords[i].kind = band;
      ClearBandLine(bl, i);
      if (r.newPage) t.bandRecords[i].flags |= kLineNewPage;
    }
    RenumberBandLines(bl);
  } else {
    for (int n = 0; n < r.count; ++n) {
      if (!InsertBandLineAt(bl, index)) break;
      bl.lastUsed += 1;
      ClearBandLine(bl, index);
      t.bandRecords[index].kind = band;
      if (r.newPage) t.bandRecords[index].flags |= kLineNewPage;
    }
  }
  AfterLineChange(t, true);
  return true;
}

int CountMarkedLines(const LayoutTables& t, int* automatic, int* freeform) {
  int n = 0, a = 0, f = 0;
  for (int i = 0; i < kBandLineCount; ++i) {
    if (!IsUsed(t, i) || (t.bandRecords[i].flags & kLineMarked) == 0) continue;
    ++n;
    (IsFreeform(t.bandRecords[i]) ? f : a) += 1;
  }
  if (automatic != nullptr) *automatic = a;
  if (freeform != nullptr) *freeform = f;
  return n;
}

int FirstMarkedLine(const LayoutTables& t) {
  for (int i = 0; i < kBandLineCount; ++i)
    if (IsUsed(t, i) && (t.bandRecords[i].flags & kLineMarked) != 0) return i;
  return 0;
}

int TallestItemOnLine(LayoutTables& t, int line) {
  const bool last = line == t.Lines().lastUsed;
  int tallest = 0;
  for (ReportItemHead* h : ItemsOnLine(t, line))
    if (IsTextLike(*h) || last) tallest = std::max(tallest, IsTextLike(*h) ? h->height : h->bottom - h->top + 1);
  return RoundedToLines(t, tallest > 0 ? tallest : t.DefaultLineHeight());
}

void ToggleAutoFreeformLines(LayoutTables& t) {
  int automatic = 0;
  const int marked = CountMarkedLines(t, &automatic, nullptr);
  if (marked == 0) return;
  const bool toFreeform = automatic == marked;
  for (int i = 0; i < kBandLineCount; ++i) {
    BandLineRec& r = t.bandRecords[i];
    if (!IsUsed(t, i) || (r.flags & kLineMarked) == 0) continue;
    if (toFreeform) {
      const int h = TallestItemOnLine(t, i);
      r.heightMode = kHeightMeasure;
      r.height = PixelsToDisplayUnits(t.metrics, kHeightMeasure, h);
    } else {
      r.heightMode = kHeightAutomatic;
    }
    r.pixelHeight = 0;
    t.Hooks().SetModified();
  }
  RelayoutAfterFontChange(t, true, FirstMarkedLine(t));
  t.Hooks().RedrawAllPanes();
  if (t.currentLine >= 0 && t.currentLine < kBandLineTableRecords) {
    const BandLineRec& c = t.bandRecords[t.currentLine];
    t.caretY = IsFreeform(c) ? LineTopInBand(c.bottom, c.pixelHeight, LineHeightPixels(t.metrics), c.bottom - c.pixelHeight)
                             : c.baseline;
  }
}

void SetLineHeightPixels(LayoutTables& t, bool force, int line, int pixels, bool fromTopEdge) {
  if (line < 0 || line >= kBandLineCount) return;
  BandLineRec& r = t.bandRecords[line];
  BuildLayoutItemOrder(t);
  const bool lastLine = line == t.Lines().lastUsed;
  auto counts = [&](const ReportItemHead* h) { return h->bandLine == line && (IsTextLike(*h) || lastLine); };
  int h = pixels;
  if (!fromTopEdge) {
    for (ReportItemHead* it = t.orderTail; it != nullptr; it = it->prevInOrder)
      if (counts(it)) {
        h = std::max(h, Baseline(*it) - (r.bottom - r.pixelHeight));
        break;
      }
  } else {
    for (ReportItemHead* it = t.orderHead; it != nullptr; it = it->nextInOrder)
      if (counts(it)) {
        h = std::max(h, r.bottom - it->top);
        break;
      }
  }
  if (force || t.metrics.snapping || h != pixels) r.height = PixelsToDisplayUnits(t.metrics, r.heightMode, h);
}

void ExtendLinesUnderGraphics(LayoutTables& t) {
  bool any = false;
  ForEachLayoutItem(t, [&](ReportItemHead& h) { any = any || IsGraphicItem(h); });
  if (!any) return;
  ForEachLayoutItem(t, [&](ReportItemHead& h) {
    if (!IsGraphicItem(h)) return;
    InsertBandLines(t.Lines(), t.bandRecords[0].kind == kBandFree ? kBandRecord : t.bandRecords[t.Lines().lastUsed].kind,
                    BandAtY(t.Lines(), h.bottom));
  });
}

int HitTestLineEdge(const LayoutTables& t, int y, int* line) {
  for (int i = 0; i <= t.Lines().lastUsed && IsUsed(t, i); ++i) {
    const BandLineRec& r = t.bandRecords[i];
    if (!IsFreeform(r)) continue;
    const int top = r.bottom - r.pixelHeight - t.scrollY;
    const int bottom = r.bottom - t.scrollY;
    int edge = 0;
    if (y > top + 1 && y < top + 5) edge = 1;
    else if (y > bottom - 4 && y < bottom) edge = 2;
    if (edge != 0) {
      if (line != nullptr) *line = i;
      return edge;
    }
  }
  return 0;
}

bool EndLineDrag(LayoutTables& t, int line, int edge, int y) {
  if (!IsUsed(t, line) || (edge != 1 && edge != 2)) return false;
  BandLineRec& r = t.bandRecords[line];
  const int at = y + t.scrollY;
  const int height = edge == 2 ? at - (r.bottom - r.pixelHeight) : r.bottom - at;
  t.modeWord = 0;
  if (height < 0) {
    t.Hooks().RedrawAllPanes();
    return false;
  }
  SetLineHeightPixels(t, true, line, height, edge == 1);
  r.pixelHeight = 0;
  RelayoutAfterFontChange(t, true, edge == 2 ? line : kNoAnchor);
  t.Hooks().SetModified();
  ExtendLinesUnderGraphics(t);
  t.Hooks().RedrawAllPanes();
  return true;
}

void ApplyLineProperties(LayoutTables& t, const LinePropertiesRequest& r) {
  const int marked = CountMarkedLines(t, nullptr, nullptr);
  if (marked == 0) return;
  for (int i = 0; i < kBandLineCount; ++i) {
    BandLineRec& line = t.bandRecords[i];
    if (!IsUsed(t, i) || (line.flags & kLineMarked) == 0) continue;
    line.objectId = r.objectId;
    line.flags = static_cast<BYTE>(line.flags & ~kLinePrintWhenFalse);
    if (r.objectId != -1 && r.printWhenFalse) line.flags |= kLinePrintWhenFalse;
    line.reserved = 0;
    line.heightMode = r.heightMode;
    line.height = r.height & 0xFFFF;
    if (marked == 1) line.flags = static_cast<BYTE>(r.newPage ? line.flags | kLineNewPage : line.flags & ~kLineNewPage);
  }
  t.Hooks().SetModified();
  const int first = FirstMarkedLine(t);
  for (int i = first; i < kBandLineCount; ++i) {
    BandLineRec& line = t.bandRecords[i];
    if (!IsUsed(t, i) || (line.flags & kLineMarked) == 0 || !IsFreeform(line)) continue;
    SetLineHeightPixels(t, false, i, MeasureToPixelsY(t.metrics, line.height, line.heightMode), false);
    line.pixelHeight = 0;
  }
  RelayoutAfterFontChange(t, true, first);
  ExtendLinesUnderGraphics(t);
  t.Hooks().RedrawAllPanes();
}

namespace {
BandLineDialogs* g_dialogs = nullptr;
}

void SetBandLineDialogs(BandLineDialogs* dialogs) { g_dialogs = dialogs; }

BandLineDialogs& GetBandLineDialogs() {
  static BandLineDialogs none;
  return g_dialogs != nullptr ? *g_dialogs : none;
}

bool InsertBandLineCommand(LayoutTables& t) {
  if (InsertBandLine(t)) return true;
  GetBandLineDialogs().ErrorBeep();
  return false;
}

bool CreateBandLinesCommand(LayoutTables& t) {
  BandLineDialogs& d = GetBandLineDialogs();
  if (t.bandRecords[kBandLineCount - 1].kind != kBandFree || t.currentLine < 0 || t.currentLine >= kBandLineCount - 1) {
    d.ErrorBeep();
    return false;
  }
  CreateLinesRequest r;
  const bool onLine = IsUsed(t, t.currentLine);
  r.placement = onLine ? LinePlacement::Above : LinePlacement::Band;
  r.band = RequestBand(t, r);
  if (!d.RunCreateLines(t, &r)) return false;
  // The dialog refuses these itself; a request that still breaks them changes nothing.
  if (CheckCreateLines(t, r, d.IsPageOrGroupBand(RequestBand(t, r))) != kCreateLinesOk) return false;
  return CreateBandLines(t, r);
}

bool EditLinePropertiesCommand(LayoutTables& t) {
  if (CountMarkedLines(t, nullptr, nullptr) == 0) return false;
  const BandLineRec& model = t.bandRecords[FirstMarkedLine(t)];
  LinePropertiesRequest r;
  r.objectId = model.objectId;
  r.printWhenFalse = (model.flags & kLinePrintWhenFalse) != 0;
  r.newPage = (model.flags & kLineNewPage) != 0;
  r.heightMode = model.heightMode;
  r.height = model.height;
  if (!GetBandLineDialogs().RunLineProperties(t, &r)) return false;
  ApplyLineProperties(t, r);
  return true;
}

namespace {

int UsedCount(const LayoutTables& t) { return t.bandRecords[0].kind == kBandFree ? 0 : t.Lines().lastUsed + 1; }

// Items on line `from` and below move by delta lines.
void ShiftItems(LayoutTables& t, int from, int delta) {
  ForEachLayoutItem(t, [&](ReportItemHead& h) {
    if (h.bandLine >= from) h.bandLine = static_cast<uint8_t>(std::clamp(h.bandLine + delta, 0, kBandLineCount - 1));
  });
}

void OpenLines(LayoutTables& t, int at, int n) {
  const int used = UsedCount(t);
  if (at < used)
    std::copy_backward(t.bandRecords + at, t.bandRecords + used, t.bandRecords + used + n);
  ShiftItems(t, at, n);
}

}  // namespace

std::vector<BandLineRec> SaveMarkedLines(LayoutTables& t, bool remove) {
  std::vector<BandLineRec> saved;
  const int used = UsedCount(t);
  for (int i = 0; i < used; ++i)
    if (t.bandRecords[i].flags & kLineMarked) {
      BandLineRec copy = t.bandRecords[i];
      copy.savedIndex = static_cast<BYTE>(i);
      saved.push_back(copy);
    }
  if (!remove || saved.empty()) return saved;
  // Remove from the bottom up so the saved indexes stay the former ones.
  int remaining = used;
  for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
    const int k = it->savedIndex;
    std::copy(t.bandRecords + k + 1, t.bandRecords + remaining, t.bandRecords + k);
    --remaining;
    ForEachLayoutItem(t, [&](ReportItemHead& h) {
      if (h.bandLine > k) h.bandLine = static_cast<uint8_t>(h.bandLine - 1);
    });
  }
  for (int i = remaining; i < kBandLineCount; ++i) {
    t.bandRecords[i].kind = kBandFree;
    ClearBandLine(t.Lines(), i);
  }
  t.Lines().lastUsed = remaining > 0 ? remaining - 1 : 0;
  return saved;
}

int RestoreSavedLines(LayoutTables& t, const std::vector<BandLineRec>& saved) {
  int restored = 0;
  for (const BandLineRec& line : saved) {
    const int used = UsedCount(t);
    if (used >= kBandLineCount) break;
    const int k = std::min<int>(line.savedIndex, used);
    OpenLines(t, k, 1);
    t.bandRecords[k] = line;
    ++restored;
    t.Lines().lastUsed = used;
  }
  RenumberBandLines(t.Lines());
  return restored;
}

bool PasteLinesAt(LayoutTables& t, int r, const std::vector<BandLineRec>& lines, BYTE band) {
  const int used = UsedCount(t);
  const int n = static_cast<int>(lines.size());
  if (n == 0 || r < 0 || r > used || used + n > kBandLineCount) return false;
  OpenLines(t, r, n);
  for (int i = 0; i < n; ++i) {
    t.bandRecords[r + i] = lines[i];
    t.bandRecords[r + i].kind = band;
  }
  t.Lines().lastUsed = used + n - 1;
  RenumberBandLines(t.Lines());
  return true;
}
