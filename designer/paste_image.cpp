#include "designer/paste_image.h"

#include "layout/picture_size.h"
#include "platform/win/resources.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

bool CanPasteClipboardImage(bool reportOpen, bool inPlaceEntryOpen) {
  return reportOpen && !inPlaceEntryOpen && IsClipboardImageAvailable();
}

namespace {
// The caret line's top, or 0 without lines.
int CaretLineTop(const LayoutTables& t) {
  const BandLineTable& lines = t.Lines();
  if (lines.lines == nullptr || t.currentLine < 0 || t.currentLine >= kBandLineTableRecords) return 0;
  const BandLineRec& r = lines.lines[t.currentLine];
  return std::max(0, r.bottom - r.pixelHeight + 1);
}
// The laid-out line (used or not) whose rows reach y.
int LineHolding(const BandLineTable& lines, int y) { return BandAtY(lines, y); }
}  // namespace

PictureItem* PasteClipboardImage(LayoutTables& t, PasteImageHost& host, int caretX) {
  host.WaitCursor(true);
  ClipboardImage pixels;
  void* image = nullptr;
  if (ReadClipboardImage(&pixels) < 0 || pixels.width <= 0 || pixels.height <= 0 ||
      (image = host.CreateImage(pixels)) == nullptr) {
    host.WaitCursor(false);
    host.ShowError(kPasteNoMemoryMessage);
    return nullptr;
  }
  PictureItem record;
  record.image = image;
  record.fromClipboard = 1;
  record.alignment = kAlignLeft;
  record.scaling = kScaleZoom;
  PictureItem* p = t.pictures.Append(record);
  if (p == nullptr) {
    t.images.ImgDeleteBitmap(image);
    host.WaitCursor(false);
    return nullptr;
  }
  ReportItemHead& h = p->head;
  h.left = std::max(0, caretX);
  h.top = CaretLineTop(t);
  h.right = h.left + pixels.width - 1;
  h.bottom = h.top + pixels.height - 1;
  h.height = h.bottom - h.top + 1;
  h.flags = kPastedPictureFlags;
  StorePictureSize(t, *p);
  p->source[2] = pixels.width;
  p->source[3] = pixels.height;
  const std::string name = LoadResString(kFromClipboardName);
  std::snprintf(p->fileName, sizeof p->fileName, "%s", name.c_str());
  BandLineTable& lines = t.Lines();
  if (lines.lines != nullptr) h.bandLine = static_cast<uint8_t>(LineHolding(lines, h.top));
  t.Hooks().SetModified();
  BuildLayoutItemOrder(t);
  t.Hooks().BuildPictureBitmap(*p);
  // The lines down to the picture's bottom get a band.
  if (lines.lines != nullptr) InsertBandLines(lines, kBandRecord, LineHolding(lines, h.bottom));
  t.Hooks().RedrawAllPanes();
  t.currentItem = &h;
  host.WaitCursor(false);
  return p;
}
