#include "platform/win/clipboard_image.h"

#include "platform/win/ui_app.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include <cstring>

namespace {
QClipboard* Board() {
  UiStartApplication();
  return QGuiApplication::clipboard();
}
}  // namespace

bool IsClipboardImageAvailable() {
  QClipboard* c = Board();
  if (c == nullptr) return false;
  const QMimeData* m = c->mimeData();
  return m != nullptr && m->hasImage();
}

int ReadClipboardImage(ClipboardImage* out) {
  QClipboard* c = Board();
  if (c == nullptr || out == nullptr) return kClipboardUnavailable;
  const QMimeData* m = c->mimeData();
  if (m == nullptr || !m->hasImage()) return kClipboardNoBitmap;
  QImage image = c->image();
  if (image.isNull()) return kClipboardNoBitmap;
  image = image.convertToFormat(QImage::Format_ARGB32);
  out->width = image.width();
  out->height = image.height();
  const size_t row = static_cast<size_t>(out->width) * 4;
  out->bgra.assign(row * static_cast<size_t>(out->height), 0);
  // Format_ARGB32 keeps each pixel as a native 32-bit word; write it out as
  // little-endian bytes whatever the machine.
  for (int y = 0; y < out->height; ++y) {
    const QRgb* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    uint8_t* dst = out->bgra.data() + row * static_cast<size_t>(y);
    for (int x = 0; x < out->width; ++x) {
      const QRgb p = src[x];
      dst[4 * x] = static_cast<uint8_t>(qBlue(p));
      dst[4 * x + 1] = static_cast<uint8_t>(qGreen(p));
      dst[4 * x + 2] = static_cast<uint8_t>(qRed(p));
      dst[4 * x + 3] = static_cast<uint8_t>(qAlpha(p));
    }
  }
  return 1;
}

bool SetClipboardImage(const ClipboardImage& image) {
  if (image.width <= 0 || image.height <= 0 || image.width > 32767 || image.height > 32767) return false;
  if (image.bgra.size() != static_cast<size_t>(image.width) * image.height * 4) return false;
  QClipboard* c = Board();
  if (c == nullptr) return false;
  QImage q(image.width, image.height, QImage::Format_ARGB32);
  for (int y = 0; y < image.height; ++y) {
    QRgb* dst = reinterpret_cast<QRgb*>(q.scanLine(y));
    const uint8_t* src = image.bgra.data() + static_cast<size_t>(image.width) * 4 * y;
    for (int x = 0; x < image.width; ++x)
      dst[x] = qRgba(src[4 * x + 2], src[4 * x + 1], src[4 * x], src[4 * x + 3]);
  }
  c->setImage(q);
  return true;
}

void ClearClipboard() {
  if (QClipboard* c = Board()) c->clear();
}
