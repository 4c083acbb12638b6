#include "designer/pictures.h"

#include "designer/design_view.h"
#include "dialogs/picture_properties_dialog.h"
#include "foundation/doc_base.h"
#include "layout/band_line_layout.h"
#include "layout/container_items.h"
#include "layout/item_tables.h"
#include "layout/layout_helpers.h"
#include "layout/picture_size.h"
#include "platform/win/beep.h"
#include "platform/win/gdi.h"
#include "platform/win/resources.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kSmallestBox = 9;
constexpr UINT kNoMemory = 619;  // "Insufficient memory"
constexpr UINT kObjectUnknown = 7010;  // "Unknown", then "Link", "Embedded", "Static"

// The dialog's unit: hundredths of an inch or of a centimetre.
int ToDialogUnit(const LayoutMetrics& m, int inchHundredths) {
  return m.metric ? (inchHundredths * 254 + 50) / 100 : inchHundredths;
}
int FromDialogUnit(const LayoutMetrics& m, int value) { return m.metric ? (value * 100 + 127) / 254 : value; }

int MakeEven(int v) { return v & ~1; }

// The top of the caret's line (at least one text line above the caret on a
// sized line), where a new object goes.
int NewObjectTop(LayoutTables& t) {
  const BandLineRec& r = t.bandRecords[std::clamp(t.currentLine, 0, kBandLineCount - 1)];
  const int top = std::max(0, r.bottom - r.pixelHeight + 1);
  if (r.heightMode == 0 || r.kind == kBandFree) return top;
  return std::max(top, t.caretY - LineHeightPixels(t.metrics) + 1);
}

}  // namespace

int InitColorDepth(LayoutTables& t) {
  if (t.colorDepth == 0) RefreshColorDepth(t);
  return t.colorDepth;
}

bool RefreshColorDepth(LayoutTables& t) {
  HDC dc = GetDC(nullptr);
  if (dc == nullptr) return false;
  const int depth = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
  ReleaseDC(nullptr, dc);
  const bool changed = depth != t.colorDepth;
  t.colorDepth = depth;
  return changed;
}

bool ReducePictureColors(LayoutTables& t, void* image) {
  // Only a 256-colour screen needs the image's colours cut to its palette;
  // deeper screens show every colour as it is.
  int bits = 0;
  if (InitColorDepth(t) != 8 || image == nullptr || !t.images.ImgBitmapInfo(image, nullptr, nullptr, &bits) ||
      bits < 2)
    return false;
  t.paletteRealised = true;
  return true;
}

bool BuildPictureBitmap(LayoutTables& t, PictureItem& p) {
  if (p.screenBitmap != nullptr && p.screenBitmap != NoScreenBitmap()) DeleteObject(p.screenBitmap);
  p.screenBitmap = NoScreenBitmap();
  if (p.image == nullptr) return false;
  const int w = p.head.right - p.head.left + 1, h = p.head.bottom - p.head.top + 1;
  // Below 256 colours the bitmap is made from a cropped working copy of a
  // 8- or 24-bit image; a deeper screen takes the picture's own image.
  int bits = 0;
  t.images.ImgBitmapInfo(p.image, nullptr, nullptr, &bits);
  void* copy = nullptr;
  if (InitColorDepth(t) < 8 && (bits == 8 || bits == 24)) {
    copy = t.images.ImgCopy(p.image);
    if (copy == nullptr) return false;
    t.images.ImgSetCropRect(copy, p.source[0], p.source[1], p.source[2], p.source[3]);
  }
  HBITMAP b = t.images.ImgDibToDdb(copy ? copy : p.image, w, h);
  if (copy) t.images.ImgDeleteBitmap(copy);
  p.screenBitmapFailed = b == nullptr;
  if (b == nullptr) return false;
  p.screenBitmap = b;
  return true;
}



void RebuildPictureBitmap(CKmView& v, PictureItem& p) {
  // A picture whose file could not be read has no image: it shows its name.
  if (!BuildPictureBitmap(*v.Layout(), p) && p.image != nullptr && v.Doc() != nullptr)
    v.Doc()->ShowErrorId(kNoMemory, nullptr);
}

PictureItem* AddPictureFromFile(CKmView& v, const char* path, const RECT* viewRect) {
  LayoutTables& t = *v.Layout();
  KmDocBase* doc = v.Doc();
  int error = 0;
  if (doc) doc->SetWaitCursor(1);
  void* image = t.images.ImgDecompressFile(path, &error);
  if (image == nullptr) {
    if (doc) doc->SetWaitCursor(0);
    v.Host().ReportImageError(error, path);
    return nullptr;
  }
  PictureItem record;
  record.image = image;
  record.alignment = kAlignLeft;
  record.scaling = kScaleZoom;
  std::snprintf(record.fileName, sizeof record.fileName, "%s", path);
  PictureItem* p = t.pictures.Append(record);
  if (p == nullptr) {
    t.images.ImgDeleteBitmap(image);
    if (doc) doc->SetWaitCursor(0);
    return nullptr;
  }
  ReducePictureColors(t, image);
  // The picture's own size (a metafile's frame, a bitmap's pixels).
  int iw = 0, ih = 0;
  NaturalPictureSize(t, image, &iw, &ih);
  const bool small = viewRect == nullptr || viewRect->right - viewRect->left < kSmallestBox ||
                     viewRect->bottom - viewRect->top < kSmallestBox;
  const int x = viewRect ? viewRect->left + v.ScrollX() : v.m_nCaretX;
  const int y = viewRect ? viewRect->top + v.ScrollY() : NewObjectTop(t);
  // The natural size keeps inside the layout's width.
  const int room = std::max(kSmallestBox, LayoutWidthPixels(t) - std::max(0, x));
  if (small) {
    const int w = MakeEven(std::min(iw, room)), h = MakeEven(iw > room ? MulDivHalfUp(ih, room, iw) : ih);
    PlaceWholePicture(t, *p, std::max(0, x), std::max(0, y), std::max(2, w), std::max(2, h));
  } else {
    FitPictureAspect(t, *p, std::max(0, x), std::max(0, y), std::min(room, int(viewRect->right - viewRect->left)),
                     viewRect->bottom - viewRect->top);
  }
  ReportItemHead& h = p->head;
  h.flags = kNewPictureFlags | kItemSelected;
  BandLineTable& lines = t.Lines();
  h.bandLine = static_cast<uint8_t>(std::clamp(LineAtY(t, h.top), 0, kBandLineCount - 1));
  v.ClearSelection();
  h.flags |= kItemSelected;
  if (doc) doc->SetModifiedFlag(TRUE);
  BuildLayoutItemOrder(t);
  RebuildPictureBitmap(v, *p);
  if (lines.lines != nullptr) InsertBandLines(lines, kBandRecord, std::clamp(LineAtY(t, h.bottom), 0, kBandLineCount - 1));
  t.currentItem = &h;
  v.RedrawAllPanes();
  if (doc) doc->SetWaitCursor(0);
  return p;
}

bool SaveSelectionAsPicture(CKmView& v) {
  LayoutTables& t = *v.Layout();
  ReportItemHead* one = v.CountSelected() == 1 ? v.FirstSelected() : nullptr;
  PictureItem* p = one && (one->flags & kItemKindPicture) ? t.pictures.At(t.pictures.Find(one)) : nullptr;
  if (p == nullptr || p->image == nullptr) {
    MessageBeep(0);
    return false;
  }
  std::string path;
  if (!v.Host().AskPictureFile(true, &path)) return false;
  const int rc = t.images.ImgSaveBitmap(p->image, path.c_str());
  if (rc < 0) {
    v.Host().ReportImageError(rc, path.c_str());
    return false;
  }
  return true;
}

bool EditPictureProperties(CKmView& v) {
  LayoutTables* t = v.Layout();
  KmDocBase* doc = v.Doc();
  if (t == nullptr || doc == nullptr || v.CountSelected() != 1) {
    MessageBeep(0);
    return false;
  }
  int index = -1;
  for (int i = 0; i < t->pictures.Count() && index < 0; ++i)
    if (t->pictures.At(i)->head.flags & kItemSelected) index = i;
  PictureItem* p = t->pictures.At(index);
  if (p == nullptr) {
    MessageBeep(0);
    return false;
  }
  t->currentPicture = index;
  t->currentItem = &p->head;
  const LayoutMetrics& m = t->metrics;
  int iw = 0, ih = 0;
  t->images.ImgBitmapInfo(p->image, &iw, &ih, nullptr);
  int naturalWidth = 0, naturalHeight = 0;
  NaturalPictureHundredths(*t, p->image, &naturalWidth, &naturalHeight);
  PicturePropertiesParams params;
  params.fileName = p->fileName;
  params.metric = m.metric;
  // The size the picture keeps in the report's measure is the dialog's unit
  // (hundredths of an inch, or of a centimetre: tenths of a millimetre).
  params.width = p->shownWidth > 0 ? p->shownWidth : ToDialogUnit(m, ToHundredthsX(m, p->head.right - p->head.left + 1));
  params.height =
      p->shownHeight > 0 ? p->shownHeight : ToDialogUnit(m, ToHundredthsY(m, p->head.bottom - p->head.top + 1));
  // The picture's own size, as it is placed at first.
  params.naturalWidth = ToDialogUnit(m, naturalWidth);
  params.naturalHeight = ToDialogUnit(m, naturalHeight);
  params.scaling = p->scaling;
  if (RunPicturePropertiesDialog(*doc, &params) != IDOK) return false;
  v.InstallLayoutHooks();
  t->Hooks().InvalidateViewRect(ItemViewRect(*t, p->head));
  p->scaling = static_cast<WORD>(params.scaling);
  // Zoom keeps the image's shape on paper: fitted in the measure typed, not
  // in layout pixels, which are fewer down an inch than across it.
  const bool zoom = p->scaling == kScaleZoom;
  int width = params.width, height = params.height;
  if (zoom) KeepImageShape(iw, ih, &width, &height);
  const int w = std::max(1, FromHundredthsX(m, FromDialogUnit(m, width)));
  const int h = std::max(1, FromHundredthsY(m, FromDialogUnit(m, height)));
  if (zoom)
    PlaceWholePicture(*t, *p, p->head.left, p->head.top, w, h);
  else
    FitPictureAspect(*t, *p, p->head.left, p->head.top, w, h);
  // A side the layout's pixels gave as typed keeps the typed size, which
  // those pixels may hold only to the nearest pixel.
  if (p->head.right - p->head.left + 1 == w) p->shownWidth = width;
  if (p->head.bottom - p->head.top + 1 == h) p->shownHeight = height;
  ClampPictureCrop(*t, *p);
  t->images.ImgSetCropRect(p->image, p->source[0], p->source[1], p->source[2], p->source[3]);
  RebuildPictureBitmap(v, *p);
  EnsureLinesForGraphics(*t);
  BuildLayoutItemOrder(*t);
  doc->SetModifiedFlag(TRUE);
  v.RedrawAllPanes();
  v.Host().ShowPrompt(&p->head);  // the status line gives the new size
  return true;
}

bool EditObjectProperties(CKmView& v) {
  LayoutTables* t = v.Layout();
  KmDocBase* doc = v.Doc();
  if (t == nullptr || doc == nullptr || v.CountSelected() != 1) return false;
  CKmCntrItem* o = FindOleItem(*t, v.FirstSelected());
  if (o == nullptr) return false;
  const LayoutMetrics& m = t->metrics;
  const int across = std::max(1, CharCellWidth(m, 1) * GridPitch(m));
  const int down = std::max(1, LineHeightPixels(m) * GridLinesPerInch(m));
  PicturePropertiesParams params;
  params.object = true;
  params.metric = m.metric;
  params.width = ToDialogUnit(m, (o->head.right - o->head.left) * 100 / across);
  params.height = ToDialogUnit(m, (o->head.bottom - o->head.top) * 100 / down);
  params.naturalWidth = ToDialogUnit(m, o->natural[0] * 100 / across);
  params.naturalHeight = ToDialogUnit(m, o->natural[1] * 100 / down);
  params.scaling = o->scaling;
  // What the object's storage says it is; no program here names its server.
  params.objectKind = LoadResString(kObjectUnknown + std::min<UINT>(o->objectType, kOleTypeStatic));
  params.typeName = o->typeName;
  const int startWidth = params.width, startHeight = params.height, startScaling = params.scaling;
  if (RunPicturePropertiesDialog(*doc, &params) != IDOK) return false;
  if (params.width == startWidth && params.height == startHeight && params.scaling == startScaling) return true;
  v.InstallLayoutHooks();
  ReportItemHead& h = o->head;
  t->Hooks().InvalidateViewRect(ItemViewRect(*t, h));
  o->scaling = static_cast<uint16_t>(params.scaling);
  SetOleItemSize(*o, FromDialogUnit(m, params.width) * across / 100, FromDialogUnit(m, params.height) * down / 100, m);
  h.width = static_cast<uint8_t>(std::min(255, (h.right - h.left) / std::max(1, CharCellWidth(m, 1))));
  BuildLayoutItemOrder(*t);
  RelayoutAfterFontChange(*t, false, h.bandLine);
  InsertBandLines(t->Lines(), kBandRecord, std::clamp(LineAtY(*t, h.bottom), 0, kBandLineCount - 1));
  // A size larger than the room left on the page or below the item's line
  // moves the item back inside, keeping the size.
  ClampToPageWidth(*t, h, h.right - h.left);
  ClampToBandArea(*t, h);
  RefreshOleSizeBlock(*o, m);
  doc->SetModifiedFlag(TRUE);
  v.RedrawAllPanes();
  t->Hooks().InvalidateViewRect(ItemViewRect(*t, h));
  v.Host().ShowPrompt(&h);
  return true;
}
