#include "layout/item_tables.h"

#include "core/composite.h"
#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "layout/picture_size.h"
#include "platform/win/gdi.h"

#include <algorithm>

namespace {

constexpr UINT kIdsInsufficientMemory = 619;
constexpr UINT kIdsCannotOpenFile = 620;
constexpr UINT kIdsInvalidPictureFormat = 702;
constexpr UINT kIdsNoBitmapInFile = 764;
constexpr UINT kIdsCannotCreatePicture = 766;
constexpr UINT kIdsDiskFull = 1281;
constexpr int kLibraryNotReady = -100;

bool IsPicture(const PictureItem* p) { return p != nullptr && (p->head.flags & kItemKindPicture) != 0; }

void AfterRemoval(LayoutTables& t, bool redraw) {
  t.modeWord = 0;
  BuildLayoutItemOrder(t);
  t.currentItem = nullptr;
  if (redraw) {
    t.Hooks().RedrawAllPanes();
    t.Hooks().ClearStatusText();
  }
}

template <class T>
int IndexOrZero(const ItemTable<T>& table, const void* record) {
  const int i = table.Find(record);
  return i < 0 ? 0 : i;
}

KmDocBase* OwnerOf(const LayoutTables& t) { return t.model != nullptr ? t.model->owner : nullptr; }

// The document's wait cursor while a copy is made.
void WaitCursor(LayoutTables& t, bool on) {
  if (KmDocBase* doc = OwnerOf(t)) doc->SetWaitCursor(on ? 1 : 0);
}

}  // namespace

void ReportImageError(KmDocBase& doc, CWnd* owner, int code, const char* fileName) {
  const char* name = fileName != nullptr ? fileName : "";
  switch (code) {
    case kImgErrorDiskFull: doc.ShowErrorId(kIdsDiskFull, owner); return;
    case kImgErrorFormat: doc.ShowErrorId(kIdsInvalidPictureFormat, owner); return;
    case kImgErrorCannotCreate: doc.ShowErrorFmt1(GetResString(kIdsCannotCreatePicture, 0), name); return;
    case -4: doc.ShowErrorFmt1(GetResString(kIdsCannotOpenFile, 0), name); return;
    case kImgErrorMemory: doc.ShowErrorId(kIdsInsufficientMemory, owner); return;
    default:
      if (code <= -2 && code > kLibraryNotReady) doc.ShowErrorFmt1(GetResString(kIdsNoBitmapInFile, 0), name);
      return;
  }
}

PictureItem* DuplicatePicture(LayoutTables& t, int index) {
  PictureItem* src = t.pictures.At(index);
  if (!IsPicture(src)) return nullptr;
  LayoutHooks& h = t.Hooks();
  WaitCursor(t, true);
  // A copy reads its file again, so that a picture whose file is gone is not
  // copied into a report that could not print it; a pasted picture copies its
  // pixels (the clipboard may hold something else by now).
  void* image = nullptr;
  int error = kImgErrorMemory;
  if (src->fromClipboard)
    image = src->image != nullptr ? t.images.ImgCopy(src->image) : nullptr;
  else
    image = t.images.ImgDecompressFile(src->fileName, &error);
  if (image == nullptr) {
    WaitCursor(t, false);
    if (KmDocBase* doc = OwnerOf(t); doc != nullptr && !src->fromClipboard)
      ReportImageError(*doc, nullptr, error, src->fileName);
    return nullptr;
  }
  PictureItem copy = *src;
  copy.image = image;
  copy.screenBitmap = NoScreenBitmap();
  copy.head.nextInOrder = copy.head.prevInOrder = nullptr;
  PictureItem* added = t.pictures.Append(copy);
  if (added == nullptr) {
    t.images.ImgDeleteBitmap(image);
    WaitCursor(t, false);
    return nullptr;
  }
  const ReportItemHead& from = src->head;
  FitPictureAspect(t, *added, from.left, from.top, from.right - from.left + 1, from.bottom - from.top + 1);
  if (!h.BuildPictureBitmap(*added) || added->screenBitmap == NoScreenBitmap()) {
    DeletePicture(t, t.pictures.Count() - 1, false);
    WaitCursor(t, false);
    return nullptr;
  }
  WaitCursor(t, false);
  return added;
}

void ClampPictureCrop(const LayoutTables& t, PictureItem& p) {
  int width = 0, height = 0;
  if (p.image == nullptr || !t.images.ImgBitmapInfo(p.image, &width, &height, nullptr)) return;
  // The image library reads the crop's right and bottom as the first column
  // and row left out, so a whole image is (0, 0, width, height).
  int32_t* crop = p.source;
  crop[0] = std::clamp<int32_t>(crop[0], 0, width);
  crop[1] = std::clamp<int32_t>(crop[1], 0, height);
  crop[2] = std::clamp<int32_t>(crop[2], crop[0], width);
  crop[3] = std::clamp<int32_t>(crop[3], crop[1], height);
}

ChartTableEntry* DuplicateChart(LayoutTables& t, int index) {
  ChartTableEntry* src = t.charts.At(index);
  if (src == nullptr || (src->head.flags & kItemKindChart) == 0) return nullptr;
  WaitCursor(t, true);
  ChartTableEntry copy = *src;
  copy.head.nextInOrder = copy.head.prevInOrder = nullptr;
  copy.metafileCache.KeepNewest();  // the copy (with its own chart object) starts from the shown picture
  ChartTableEntry* added = t.charts.Append(copy);
  WaitCursor(t, false);
  return added;
}

LineBoxItem* DuplicateLineOrBox(LayoutTables& t, int index) {
  LineBoxItem* src = t.linesBoxes.At(index);
  if (src == nullptr || !IsLineOrBox(src->head)) return nullptr;
  LineBoxItem copy = *src;
  copy.head.nextInOrder = copy.head.prevInOrder = nullptr;
  return t.linesBoxes.Append(copy);
}

bool DeletePicture(LayoutTables& t, int index, bool redraw) {
  PictureItem* p = t.pictures.At(index);
  if (p == nullptr) return false;
  if (p->image != nullptr) t.images.ImgDeleteBitmap(p->image);
  if (p->screenBitmap != NoScreenBitmap() && p->screenBitmap != nullptr) DeleteObject(p->screenBitmap);
  if (t.currentItem == &p->head) t.currentItem = nullptr;
  t.pictures.RemoveAt(index);
  AfterRemoval(t, redraw);
  return true;
}

bool DeleteLineOrBox(LayoutTables& t, int index, bool redraw) {
  LineBoxItem* l = t.linesBoxes.At(index);
  if (l == nullptr) return false;
  t.linesBoxes.RemoveAt(index);
  AfterRemoval(t, redraw);
  return true;
}

bool DeleteChart(LayoutTables& t, int index, bool redraw) {
  if (t.charts.At(index) == nullptr) return false;
  t.charts.RemoveAt(index);
  AfterRemoval(t, redraw);
  return true;
}

void DeleteCurrentPicture(LayoutTables& t, bool redraw) {
  DeletePicture(t, t.currentPicture, redraw);
  t.currentPicture = 0;
}

void DeleteCurrentLineOrBox(LayoutTables& t, bool redraw) {
  DeleteLineOrBox(t, t.currentLineBox, redraw);
  t.currentLineBox = 0;
}

void FreeLinesAndBoxes(LayoutTables& t) {
  t.linesBoxes.Clear();
  t.currentLineBox = 0;
  // The order list must not keep links into freed records.
  BuildLayoutItemOrder(t);
  t.currentItem = nullptr;
}

int PictureIndexOf(const LayoutTables& t, const void* record) { return IndexOrZero(t.pictures, record); }
int ChartIndexOf(const LayoutTables& t, const void* record) { return IndexOrZero(t.charts, record); }
int LineBoxIndexOf(const LayoutTables& t, const void* record) { return IndexOrZero(t.linesBoxes, record); }

RECT ItemViewRect(const LayoutTables& t, const ReportItemHead& item) {
  RECT r;
  r.left = item.left - t.scrollX;
  r.top = item.top - t.scrollY;
  r.right = item.right - t.scrollX;
  r.bottom = item.bottom - t.scrollY;
  return r;
}

bool GetPictureViewRect(const LayoutTables& t, int index, RECT* out) {
  const PictureItem* p = t.pictures.At(index < 0 ? t.currentPicture : index);
  if (p == nullptr || out == nullptr) return false;
  *out = ItemViewRect(t, p->head);
  return true;
}

bool LoadLineBoxTracking(LayoutTables& t, int index, LineBoxTracking* out) {
  LineBoxItem* l = t.linesBoxes.At(index < 0 ? t.currentLineBox : index);
  if (l == nullptr || out == nullptr) return false;
  out->rect = ItemViewRect(t, l->head);
  out->borders = l->borders;
  out->thickness = l->thickness;
  out->alignment = l->alignment;
  out->record = l;
  return true;
}

void EnsureLinesForGraphics(LayoutTables& t) {
  // Lines past the last used one carry their laid-out default heights: the
  // line under an item's bottom may be one of them.
  ForEachLayoutItem(t, [&](ReportItemHead& h) {
    if (IsGraphicItem(h)) InsertBandLines(t.Lines(), kBandRecord, BandAtY(t.Lines(), h.bottom));
  });
}

int LineAtY(const LayoutTables& t, int y) { return BandAtY(t.Lines(), y); }

const CKmCntrItem* FindOleItem(const LayoutTables& t, const ReportItemHead* item) {
  if (item == nullptr || !(item->flags & kItemKindOle)) return nullptr;
  for (int i = 0; i < t.oleItems.Count(); ++i)
    if (&t.oleItems.At(i)->head == item) return t.oleItems.At(i);
  return nullptr;
}
CKmCntrItem* FindOleItem(LayoutTables& t, const ReportItemHead* item) {
  return const_cast<CKmCntrItem*>(FindOleItem(static_cast<const LayoutTables&>(t), item));
}

void InvalidateAllPictures(LayoutTables& t) {
  for (int i = 0; i < t.pictures.Count(); ++i) t.Hooks().InvalidateViewRect(ItemViewRect(t, t.pictures.At(i)->head));
}
