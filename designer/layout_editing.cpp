#include "designer/layout_editing.h"

#include "core/composite.h"
#include "designer/band_view.h"
#include "designer/design_view.h"
#include "engine/doc_upkeep.h"
#include "foundation/doc_base.h"
#include "layout/band_line_layout.h"
#include "layout/fonts.h"
#include "layout/item_tables.h"
#include "layout/layout_helpers.h"
#include "model/field_dependencies.h"
#include "platform/win/beep.h"
#include "platform/win/caret.h"
#include "platform/win/resources.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace {

constexpr UINT kNoLineMemory = 4624;        // "Insufficient memory to store deleted lines"
constexpr UINT kNoFieldMemory = 6110;       // "Insufficient memory for additional field"
constexpr UINT kNoObjectMemory = 676;       // "Insufficient memory to copy or paste additional objects"
constexpr UINT kObjectOnNewPageLine = 612;  // "Object is positioned on new page line"

bool Beep() {
  MessageBeep(0);
  return false;
}

FieldDef* AsField(ReportItemHead& h) {
  return (h.flags & kItemKindField) ? reinterpret_cast<FieldDef*>(&h) : nullptr;
}
bool IsAlias(const FieldDef& f) { return (f.flags & kFieldAlias) != 0; }

// Every item of the layout, held or not; fields by the model's list (held
// fields are hidden, so they are found by their hold bits).
template <class Fn>
void ForEveryItem(LayoutTables& t, Fn fn) {
  if (t.model != nullptr)
    for (FieldDef* f = t.model->fieldList; f != nullptr; f = f->next)
      if (IsPlacedField(f) || (f->head.flags & (kItemDeleted | kItemInClipboard))) fn(f->head);
  for (TextItem* x = t.textHead; x != nullptr; x = x->nextText) fn(x->head);
  for (int i = 0; i < t.linesBoxes.Count(); ++i) fn(t.linesBoxes.At(i)->head);
  for (int i = 0; i < t.pictures.Count(); ++i) fn(t.pictures.At(i)->head);
  for (int i = 0; i < t.charts.Count(); ++i) fn(t.charts.At(i)->head);
  for (int i = 0; i < t.oleItems.Count(); ++i) fn(t.oleItems.At(i)->head);
}

bool IsFieldHead(const LayoutTables& t, const ReportItemHead& h) {
  if (t.model == nullptr) return false;
  for (FieldDef* f = t.model->fieldList; f != nullptr; f = f->next)
    if (&f->head == &h) return true;
  return false;
}

// A field leaves the layout by its display flag, and comes back by it; it
// stays a field of the report.
void HideField(LayoutTables& t, ReportItemHead& h) {
  if (IsFieldHead(t, h) && !IsAlias(reinterpret_cast<FieldDef&>(h)))
    reinterpret_cast<FieldDef&>(h).totalFlags |= kTotalHidden;
}
void ShowField(LayoutTables& t, ReportItemHead& h) {
  if (IsFieldHead(t, h)) MarkFieldPlaced(&reinterpret_cast<FieldDef&>(h));
}

void RedrawAfterEdit(CKmView& v) {
  v.Host().UpdateFormatBar();
  v.RedrawAllPanes();
  v.UpdateCaretAndStatus(TRUE);
}

// The first selected item in vertical order becomes current; its prompt is shown.
void MakeFirstSelectedCurrent(CKmView& v) {
  ReportItemHead* first = v.FirstSelected();
  v.Layout()->currentItem = first;
  v.Host().ShowPrompt(first);
}

int UsedLines(const LayoutTables& t) { return t.bandRecords[0].kind == kBandFree ? 0 : t.Lines().lastUsed + 1; }

// Room for the marked lines' copies, taken before anything changes; false
// after the message when there is none.
bool RoomForLines(CKmView& v, int marked, std::vector<BandLineRec>* into) {
  if (marked <= 0) return true;
  try {
    into->reserve(static_cast<size_t>(marked));
  } catch (const std::bad_alloc&) {
    v.Doc()->ShowErrorId(kNoLineMemory, nullptr);
    return false;
  }
  return true;
}

// Copies of the marked lines in table order; with remove they leave the table.
void SaveLines(LayoutTables& t, bool remove, std::vector<BandLineRec>* out) {
  const std::vector<BandLineRec> saved = SaveMarkedLines(t, remove);
  out->assign(saved.begin(), saved.end());
}

void SetCurrentIfNone(LayoutTables& t) {
  if (t.currentItem != nullptr && (t.currentItem->flags & (kItemDeleted | kItemInClipboard))) t.currentItem = nullptr;
}

bool AnyOnNewPageLine(LayoutTables& t) {
  bool any = false;
  ForEachLayoutItem(t, [&](ReportItemHead& h) {
    if (h.bandLine < kBandLineCount && (t.bandRecords[h.bandLine].flags & kLineNewPage)) any = true;
  });
  return any;
}

// The copy of one item; null when it cannot be made.
ReportItemHead* CopyItem(CKmView& v, ReportItemHead& h) {
  LayoutTables& t = *v.Layout();
  KmDocBase* doc = v.Doc();
  if (FieldDef* f = AsField(h)) {
    FieldDef* source = IsAlias(*f) && t.model ? t.model->GetFieldAt(f->refField) : f;
    FieldDef* copy = source ? DuplicateField(doc, source) : nullptr;
    if (copy == nullptr) return nullptr;
    ReportItemHead head = h;
    head.nextInOrder = head.prevInOrder = nullptr;
    head.faceAtom = 0;
    copy->head = head;
    if (h.faceAtom != 0) {
      std::string face;
      if (GetFaceAtomName(h.faceAtom, &face)) copy->head.faceAtom = AddFaceAtom(face.c_str());
    }
    copy->formatCode = f->formatCode;
    copy->timeFormat = f->timeFormat;
    copy->displayWidth = f->displayWidth;
    copy->displayDecimals = f->displayDecimals;
    copy->totalFlags = f->totalFlags;
    return &copy->head;
  }
  if (h.flags & kItemLineOrBox) {
    LineBoxItem* c = DuplicateLineOrBox(t, t.linesBoxes.Find(&h));
    return c ? &c->head : nullptr;
  }
  if (h.flags & kItemKindPicture) {
    PictureItem* c = DuplicatePicture(t, t.pictures.Find(&h));
    return c ? &c->head : nullptr;
  }
  if (h.flags & kItemKindChart) {
    ChartTableEntry* c = DuplicateChart(t, t.charts.Find(&h));
    return c ? &c->head : nullptr;
  }
  // OLE items have no server here to clone them.
  if (h.flags & kItemKindOle) return nullptr;
  // A text.
  TextItem& src = reinterpret_cast<TextItem&>(h);
  const size_t n = src.text ? std::strlen(src.text) : 0;
  TextItem* x = NewTextItem(doc, static_cast<uint32_t>(n + 1));
  if (x == nullptr) return nullptr;
  if (n) std::memcpy(x->text, src.text, n);
  x->head = h;
  x->head.nextInOrder = x->head.prevInOrder = nullptr;
  x->head.faceAtom = 0;
  if (h.faceAtom != 0) {
    std::string face;
    if (GetFaceAtomName(h.faceAtom, &face)) x->head.faceAtom = AddFaceAtom(face.c_str());
  }
  x->alignment = src.alignment;
  return &x->head;
}

}  // namespace

void ZapItems(CKmView& v, uint32_t mask) {
  LayoutTables& t = *v.Layout();
  KmDocBase* doc = v.Doc();
  if (doc && doc->m_pFonts) ReleaseUnusedFonts(t, *doc->m_pFonts, mask);
  bool aliasMarked = false;
  if (t.model != nullptr) {
    ClearFieldMarks(t.model, false);
    for (FieldDef* f = t.model->fieldList; f != nullptr; f = f->next) {
      if ((f->head.flags & mask) == 0) continue;
      if (t.currentItem == &f->head) t.currentItem = nullptr;
      if (IsAlias(*f)) {
        f->flags |= kFieldRemoveMark;
        aliasMarked = true;
      } else {
        f->head.flags &= ~mask;
        f->totalFlags |= kTotalHidden;
      }
    }
  }
  for (TextItem* x = t.textHead; x != nullptr;) {
    TextItem* next = x->nextText;
    if (x->head.flags & mask) {
      if (t.currentItem == &x->head) t.currentItem = nullptr;
      DeleteTextItem(doc, x);
    }
    x = next;
  }
  auto sweep = [&](auto& table, auto remove) {
    for (int i = 0; i < table.Count();) {
      if (table.At(i)->head.flags & mask) {
        if (t.currentItem == &table.At(i)->head) t.currentItem = nullptr;
        remove(i);
      } else {
        ++i;
      }
    }
  };
  sweep(t.linesBoxes, [&](int i) { DeleteLineOrBox(t, i, false); });
  sweep(t.pictures, [&](int i) { DeletePicture(t, i, false); });
  sweep(t.charts, [&](int i) { DeleteChart(t, i, false); });
  t.currentLineBox = t.currentPicture = t.currentChart = 0;
  sweep(t.oleItems, [&](int i) { t.oleItems.RemoveAt(i); });
  if (aliasMarked && t.model != nullptr) {
    if (CheckRemoval(t.model) == 0) DeleteMarkedFields(t.model);
    ClearFieldMarks(t.model, false);
  }
  BuildLayoutItemOrder(t);
}

void ForgetUndoDelete(CKmView& v, bool refreshFormatBar) {
  LayoutTables* t = v.Layout();
  if (t == nullptr) return;
  EditHoldings& k = t->holdings;
  if (k.held != 0) ZapItems(v, kItemDeleted);
  k.held = 0;
  k.savedLines.clear();
  v.ForgetMoveSnapshot();
  if (refreshFormatBar) v.Host().UpdateFormatBar();
}

void ClearInternalClipboard(CKmView& v) {
  LayoutTables* t = v.Layout();
  if (t == nullptr) return;
  EditHoldings& k = t->holdings;
  if (k.clipboardItems != 0) ZapItems(v, kItemInClipboard);
  k.clipboardItems = 0;
  k.clipboardLines.clear();
}

int CopySelectedItems(CKmView& v, bool deselectSources, uint32_t extra) {
  LayoutTables& t = *v.Layout();
  std::vector<ReportItemHead*> sources;
  for (ReportItemHead* h = t.orderHead; h != nullptr; h = h->nextInOrder)
    if ((h->flags & kItemSelected) && (h->flags & (kItemDeleted | kItemInClipboard)) == 0) sources.push_back(h);
  int copies = 0;
  for (ReportItemHead* h : sources) {
    // An embedded object has no server here to copy it; it stays where it is.
    if (h->flags & kItemKindOle) continue;
    ReportItemHead* c = CopyItem(v, *h);
    if (c == nullptr) {
      const bool fieldOrText = (h->flags & kItemGraphicKinds) == 0;
      // A picture that could not be copied has said why (its file, or memory).
      if (!fieldOrText && !(h->flags & kItemKindPicture)) v.Doc()->ShowErrorId(kNoObjectMemory, nullptr);
      else if (deselectSources) v.Doc()->ShowErrorId(kNoFieldMemory, nullptr);
      break;
    }
    if (deselectSources)
      h->flags &= ~kItemSelected;
    else
      c->flags &= ~kItemSelected;
    c->flags |= extra;
    ++copies;
  }
  if (copies) BuildLayoutItemOrder(t);
  return copies;
}

bool ClearSelectedItems(CKmView& v) {
  LayoutTables& t = *v.Layout();
  const int selected = v.CountSelected();
  const int marked = v.MarkedLineCount();
  if (selected == 0 && marked == 0) return Beep();
  ForgetUndoDelete(v, false);
  // The line buffer comes first: when it cannot be had nothing has changed.
  if (!RoomForLines(v, marked, &t.holdings.savedLines)) return false;
  int held = 0;
  ForEachLayoutItem(t, [&](ReportItemHead& h) {
    if (!(h.flags & kItemSelected)) return;
    h.flags = (h.flags & ~kItemSelected) | kItemDeleted;
    HideField(t, h);
    ++held;
  });
  SetCurrentIfNone(t);
  BuildLayoutItemOrder(t);
  t.holdings.held = held;
  if (marked > 0) SaveLines(t, true, &t.holdings.savedLines);
  t.caretY = 0;
  RelayoutAfterFontChange(t, false, kNoAnchor);
  ExtendLinesUnderGraphics(t);
  v.Doc()->SetModifiedFlag(TRUE);
  RedrawAfterEdit(v);
  return true;
}

bool UndoClear(CKmView& v) {
  LayoutTables& t = *v.Layout();
  EditHoldings& k = t.holdings;
  if (k.held == 0 && k.savedLines.empty()) return Beep();
  v.ClearSelection();
  v.UnmarkAllLines();
  // The lines go back at their former places; the restored lines stay marked.
  RestoreSavedLines(t, k.savedLines);
  k.savedLines.clear();
  ForEveryItem(t, [&](ReportItemHead& h) {
    if (!(h.flags & kItemDeleted)) return;
    h.flags = (h.flags & ~kItemDeleted) | kItemSelected;
    ShowField(t, h);
  });
  k.held = 0;
  t.caretY = 0;
  BuildLayoutItemOrder(t);
  RelayoutAfterFontChange(t, false, kNoAnchor);
  v.Doc()->SetModifiedFlag(TRUE);
  v.RedrawAllPanes();
  v.Host().UpdateFormatBar();
  MakeFirstSelectedCurrent(v);
  v.UpdateCaretAndStatus(FALSE);
  return true;
}

bool CanUndoMove(const CKmView& v) { return v.m_bMoveUndo && v.MoveSnapshotCount() > 0; }

bool UndoLastMove(CKmView& v) {
  if (!CanUndoMove(v)) return Beep();
  // The moved items come back selected, as they were when moved.
  v.ClearSelection();
  for (const CKmView::MoveSnapshotEntry& e : v.MoveSnapshot()) e.object->flags |= kItemSelected;
  if (!v.UndoMove()) return false;
  MakeFirstSelectedCurrent(v);
  v.UpdateCaretAndStatus(FALSE);
  return true;
}

bool CutOrCopy(CKmView& v, bool cut) {
  LayoutTables& t = *v.Layout();
  const int marked = v.MarkedLineCount();
  if (v.CountSelected() == 0 && marked == 0) return Beep();
  ClearInternalClipboard(v);
  // The move snapshot may name items that leave the layout now.
  if (cut) {
    v.ForgetMoveSnapshot();
  }
  if (marked > 0) {
    // Only the items on the marked lines go with them.
    ForEachLayoutItem(t, [&](ReportItemHead& h) {
      if ((h.flags & kItemSelected) && !(t.bandRecords[h.bandLine].flags & kLineMarked)) h.flags &= ~kItemSelected;
    });
  }
  if (!RoomForLines(v, marked, &t.holdings.clipboardLines)) return false;
  int count = 0;
  if (!cut) {
    count = CopySelectedItems(v, false, kItemInClipboard);
    MakeFirstSelectedCurrent(v);
  } else {
    std::vector<ReportItemHead*> selected;
    ForEachLayoutItem(t, [&](ReportItemHead& h) {
      if (h.flags & kItemSelected) selected.push_back(&h);
    });
    for (ReportItemHead* h : selected) {
      FieldDef* f = AsField(*h);
      if (f != nullptr && !IsAlias(*f)) {
        // A data field stays a field of the report: its copy goes into the clipboard.
        FieldDef* copy = DuplicateField(v.Doc(), f);
        if (copy == nullptr) break;
        copy->head.flags = (f->head.flags & ~kItemSelected) | kItemInClipboard;
        h->flags &= ~kItemSelected;
        f->totalFlags |= kTotalHidden;
      } else {
        h->flags = (h->flags & ~kItemSelected) | kItemInClipboard;
      }
      ++count;
    }
    SetCurrentIfNone(t);
    BuildLayoutItemOrder(t);
  }
  t.holdings.clipboardItems = count;
  if (marked > 0) {
    // The table changes shape: what the last Clear held cannot come back to its old places.
    if (cut) ForgetUndoDelete(v, false);
    SaveLines(t, cut, &t.holdings.clipboardLines);
    for (BandLineRec& r : t.holdings.clipboardLines) r.flags &= static_cast<BYTE>(~kLineMarked);
  }
  if (cut) {
    v.UnmarkAllLines();
    v.Doc()->SetModifiedFlag(TRUE);
    if (marked > 0) t.caretY = 0;
    RelayoutAfterFontChange(t, false, kNoAnchor);
    ExtendLinesUnderGraphics(t);
    RedrawAfterEdit(v);
  }
  return true;
}

namespace {

// Brings the clipboard items back selected; with remap their lines follow
// the pasted lines from index r.
void RestoreClipboardItems(LayoutTables& t, bool remap, int r, const std::vector<BandLineRec>& pasted) {
  ForEveryItem(t, [&](ReportItemHead& h) {
    if (!(h.flags & kItemInClipboard)) return;
    h.flags = (h.flags & ~kItemInClipboard) | kItemSelected;
    ShowField(t, h);
    if (!remap) return;
    int line = r;
    for (size_t i = 0; i < pasted.size(); ++i)
      if (pasted[i].savedIndex == h.bandLine) line = r + static_cast<int>(i);
    h.bandLine = static_cast<uint8_t>(std::clamp(line, 0, kBandLineCount - 1));
  });
}

bool PasteLines(CKmView& v) {
  LayoutTables& t = *v.Layout();
  EditHoldings& k = t.holdings;
  const int n = static_cast<int>(k.clipboardLines.size());
  if (n > kBandLineCount - 1 - t.Lines().lastUsed || UsedLines(t) + n > kBandLineCount) {
    v.Doc()->ShowErrorId(kTooManyLines, nullptr);
    return false;
  }
  CreateLinesRequest req;
  const bool onLine = t.currentLine < UsedLines(t);
  req.placement = onLine ? LinePlacement::Above : LinePlacement::Band;
  req.band = RequestBand(t, req);
  if (!GetBandLineDialogs().RunPasteLines(t, &req)) return false;
  int r = 0;
  BYTE band = RequestBand(t, req);
  if (req.placement == LinePlacement::Band) {
    band = req.band;
    int at = 0;
    FindBandLineRange(t.Lines(), band, &at, 1);
    r = at;
  } else {
    r = std::min(t.currentLine + (req.placement == LinePlacement::Below ? 1 : 0), UsedLines(t));
  }
  if (r < 0 || r > UsedLines(t)) return false;
  // The table changes shape: the last Clear cannot be undone into it.
  ForgetUndoDelete(v, false);
  v.ClearSelection();
  v.UnmarkAllLines();
  std::vector<BandLineRec> lines = k.clipboardLines;
  for (BandLineRec& l : lines) l.flags |= kLineMarked;
  if (!PasteLinesAt(t, r, lines, band)) return false;
  RestoreClipboardItems(t, true, r, lines);
  if (v.CountSelected(kItemKindBox | kItemKindPicture | kItemKindOle) > 0) ExtendLinesUnderGraphics(t);
  k.clipboardItems = 0;
  k.clipboardLines.clear();
  BuildLayoutItemOrder(t);
  return true;
}

void PasteItemsAtCaret(CKmView& v) {
  LayoutTables& t = *v.Layout();
  v.ClearSelection();
  v.UnmarkAllLines();
  RestoreClipboardItems(t, false, 0, {});
  BuildLayoutItemOrder(t);
  ReportItemHead* anchor = v.FirstSelected();
  if (anchor == nullptr) return;
  const bool graphicAnchor = IsGraphicItem(*anchor);
  int dx = v.m_nCaretX - GetAlignedX(t, *anchor);
  int dline = t.currentLine - anchor->bandLine;
  const int dy = graphicAnchor ? t.caretY - anchor->top : t.caretY + anchor->descent - anchor->bottom;
  const int width = LayoutWidthPixels(t);
  std::vector<ReportItemHead*> items;
  ForEachLayoutItem(t, [&](ReportItemHead& h) {
    if (h.flags & kItemSelected) items.push_back(&h);
  });
  for (ReportItemHead* h : items) {
    if (dx > 0 && h->right + dx >= width) dx = std::max(0, width - 1 - h->right);
    if (dx < 0 && h->left + dx < 0) dx = -h->left;
    if (dline > 0 && h->bandLine + dline > kBandLineCount - 1) dline = kBandLineCount - 1 - h->bandLine;
    if (dline < 0 && h->bandLine + dline < 0) dline = -h->bandLine;
  }
  int lowest = 0;
  for (ReportItemHead* hp : items) {
    ReportItemHead& h = *hp;
    h.left += dx;
    h.right += dx;
    h.bandLine = static_cast<uint8_t>(h.bandLine + dline);
    const BandLineRec& line = t.bandRecords[h.bandLine];
    const bool automatic = line.heightMode == kHeightAutomatic;
    const int height = h.bottom - h.top + 1;
    if (!IsGraphicItem(h)) {
      h.bottom = automatic ? line.baseline + h.descent : std::min<int>(line.bottom, h.bottom + dy);
      h.top = h.bottom - height + 1;
      if (t.metrics.snapping && !AltKeyDown()) SnapObjectToCells(t, h);
    } else {
      if (automatic) {
        const int lineTop = line.bottom - line.pixelHeight + 1;
        if (h.top == h.bottom) {
          h.top = h.bottom = line.bottom;
        } else {
          h.top = lineTop;
          h.bottom = h.top + height - 1;
        }
      } else {
        h.top += dy;
        h.bottom += dy;
      }
      if (h.top < 0) {
        h.bottom -= h.top;
        h.top = 0;
      }
      const int at = BandAtY(t.Lines(), h.top);
      if (at >= 0 && at < kBandLineCount) h.bandLine = static_cast<uint8_t>(at);
    }
    lowest = std::max<int>(lowest, h.bandLine);
  }
  BuildLayoutItemOrder(t);
  if (lowest > t.Lines().lastUsed || t.bandRecords[0].kind == kBandFree) InsertBandLines(t.Lines(), kBandRecord, lowest);
  if (AnyOnNewPageLine(t)) v.Doc()->ShowErrorId(kObjectOnNewPageLine, nullptr);
  t.holdings.clipboardItems = 0;
}

}  // namespace

bool PasteClipboard(CKmView& v) {
  LayoutTables& t = *v.Layout();
  EditHoldings& k = t.holdings;
  if (k.clipboardItems == 0 && k.clipboardLines.empty()) return Beep();
  const bool lines = !k.clipboardLines.empty();
  if (lines) {
    if (!PasteLines(v)) return false;
  } else {
    PasteItemsAtCaret(v);
  }
  // The pasted items are copied again at once, so Paste can be repeated.
  CutOrCopy(v, false);
  v.Doc()->SetModifiedFlag(TRUE);
  DestroyCaret();
  if (lines) t.caretY = 0;
  RelayoutAfterFontChange(t, false, kNoAnchor);
  v.RedrawAllPanes();
  v.Host().UpdateFormatBar();
  MakeFirstSelectedCurrent(v);
  v.UpdateCaretAndStatus(TRUE);
  return true;
}

bool ClearOrUndoClear(CKmView& v) {
  if (v.CountSelected() == 0 && v.MarkedLineCount() == 0 && CanUndoClear(*v.Layout())) return UndoClear(v);
  return ClearSelectedItems(v);
}

bool CanUndoClear(const LayoutTables& t) { return t.holdings.held != 0 || !t.holdings.savedLines.empty(); }
bool ClipboardHoldsLines(const LayoutTables& t) { return !t.holdings.clipboardLines.empty(); }
bool ClipboardHoldsItems(const LayoutTables& t) { return t.holdings.clipboardItems != 0; }
