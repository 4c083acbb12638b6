#include "layout/picture_size.h"

#include "foundation/units.h"

#include <algorithm>

namespace {

int32_t InReportMeasure(const LayoutMetrics& m, int hundredths) {
  const WORD h = static_cast<WORD>(std::clamp(hundredths, 0, 65535));
  return m.metric ? static_cast<int32_t>(ConvertMeasure(h, kMeasureTenthsMm, kMeasureHundredths, 10, 0)) : h;
}

}  // namespace

int ToHundredthsX(const LayoutMetrics& m, int x) {
  const int cells = CharCellWidth(m, 1) * GridPitch(m);
  const int screen = (static_cast<uint16_t>(x) * m.dpiX + cells / 2) / std::max(1, cells);
  return (screen * 100 + m.dpiX / 2) / std::max(1, m.dpiX);
}
int ToHundredthsY(const LayoutMetrics& m, int y) {
  const int lines = LineHeightPixels(m) * GridLinesPerInch(m);
  const int screen = (y * m.dpiY + lines / 2) / std::max(1, lines);
  return (screen * 100 + m.dpiY / 2) / std::max(1, m.dpiY);
}
int FromHundredthsX(const LayoutMetrics& m, int hundredths) {
  return (hundredths * CharCellWidth(m, 1) * GridPitch(m) + 50) / 100;
}
int FromHundredthsY(const LayoutMetrics& m, int hundredths) {
  return (hundredths * LineHeightPixels(m) * GridLinesPerInch(m) + 50) / 100;
}

int MulDivHalfUp(int a, int b, int c) {
  if (c == 0) return a;
  const long long n = static_cast<long long>(a) * b;
  long long q = n / c;
  if ((n % c) * 2 > c) ++q;
  return static_cast<int>(q);
}

void StorePictureSize(LayoutTables& t, PictureItem& p) {
  p.shownWidth = InReportMeasure(t.metrics, ToHundredthsX(t.metrics, p.head.right - p.head.left + 1));
  p.shownHeight = InReportMeasure(t.metrics, ToHundredthsY(t.metrics, p.head.bottom - p.head.top + 1));
}

void KeepImageShape(int imageWidth, int imageHeight, int* width, int* height) {
  if (imageWidth <= 0 || imageHeight <= 0 || *width <= 0 || *height <= 0) return;
  if (static_cast<long long>(*width) * 100 / *height < static_cast<long long>(imageWidth) * 100 / imageHeight)
    *height = MulDivHalfUp(*width, imageHeight, imageWidth);
  else
    *width = MulDivHalfUp(*height, imageWidth, imageHeight);
}

namespace {

void SetPictureRect(LayoutTables& t, PictureItem& p, int x, int y, int w, int h, const int crop[4]) {
  p.head.left = x;
  p.head.top = y;
  p.head.right = x + std::max(1, w) - 1;
  p.head.bottom = y + std::max(1, h) - 1;
  p.head.height = p.head.bottom - p.head.top + 1;
  std::copy(crop, crop + 4, p.source);
  StorePictureSize(t, p);
  t.images.ImgSetCropRect(p.image, crop[0], crop[1], crop[2], crop[3]);
}

}  // namespace

void NaturalPictureSize(const LayoutTables& t, const void* image, int* width, int* height) {
  *width = *height = 0;
  int w = 0, h = 0;
  if (t.images.ImgNaturalSize(image, &w, &h)) {
    *width = std::max(1, FromHundredthsX(t.metrics, w));
    *height = std::max(1, FromHundredthsY(t.metrics, h));
    return;
  }
  t.images.ImgBitmapInfo(image, width, height, nullptr);
}

void NaturalPictureHundredths(const LayoutTables& t, const void* image, int* width, int* height) {
  *width = *height = 0;
  if (t.images.ImgNaturalSize(image, width, height)) return;
  int iw = 0, ih = 0;
  if (!t.images.ImgBitmapInfo(image, &iw, &ih, nullptr)) return;
  *width = ToHundredthsX(t.metrics, iw);
  *height = ToHundredthsY(t.metrics, ih);
}

void FitPictureAspect(LayoutTables& t, PictureItem& p, int x, int y, int boxWidth, int boxHeight) {
  int iw = 0, ih = 0;
  t.images.ImgBitmapInfo(p.image, &iw, &ih, nullptr);
  int nw = 0, nh = 0;
  NaturalPictureSize(t, p.image, &nw, &nh);
  int w = 25, h = 25;
  int crop[4] = {0, 0, iw, ih};
  // An empty image or box changes nothing of the shape: no division by it.
  if (iw <= 0 || ih <= 0 || boxWidth <= 0 || boxHeight <= 0) {
    w = std::max(1, boxWidth);
    h = std::max(1, boxHeight);
  } else if (p.scaling == kScaleZoom) {
    w = boxWidth;
    h = boxHeight;
    KeepImageShape(iw, ih, &w, &h);
  } else if (p.scaling == kScaleCrop) {
    // At the picture's own size: the crop is the part of the image's pixels
    // that covers the box.
    w = std::min(std::max(1, nw), boxWidth);
    h = std::min(std::max(1, nh), boxHeight);
    crop[2] = nw > 0 ? std::min(iw, MulDivHalfUp(w, iw, nw)) : w;
    crop[3] = nh > 0 ? std::min(ih, MulDivHalfUp(h, ih, nh)) : h;
  } else if (p.scaling == kScaleStretch) {
    w = boxWidth;
    h = boxHeight;
  }
  SetPictureRect(t, p, x, y, w, h, crop);
}

void PlaceWholePicture(LayoutTables& t, PictureItem& p, int x, int y, int width, int height) {
  int iw = 0, ih = 0;
  t.images.ImgBitmapInfo(p.image, &iw, &ih, nullptr);
  const int crop[4] = {0, 0, iw, ih};
  SetPictureRect(t, p, x, y, width, height, crop);
}
