#include "platform/image/image_library.h"

#include "platform/image/metafile_picture.h"
#include "platform/win/fileio.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

#include "platform/win/gdi.h"

#include <algorithm>

struct ImageLibrary::Image {
  QImage pixels;  // 32-bit ARGB, as the printer library takes it
  int bitsPerPixel = 24;
  int crop[4] = {0, 0, 0, 0};
  // The size the file gives the picture, in hundredths of an inch (a
  // metafile's frame); 0 for a bitmap, whose size is its pixels.
  int natural[2] = {0, 0};
};

namespace {

// The largest natural size a picture is given, in hundredths of an inch.
constexpr int64_t kMostNaturalHundredths = 10000;

bool PixelsOf(void* handle, PageDriverImage* out) {
  if (handle == nullptr || out == nullptr) return false;
  const QImage& q = static_cast<const ImageLibrary::Image*>(handle)->pixels;
  if (q.isNull()) return false;
  out->width = q.width();
  out->height = q.height();
  out->stride = static_cast<int>(q.bytesPerLine());
  out->pixels = q.constBits();
  return true;
}

}  // namespace

ImageLibrary::ImageLibrary() = default;
ImageLibrary::~ImageLibrary() = default;

void* ImageLibrary::ImgDecompressFile(const char* path, int* error) {
  int ignored = 0;
  if (error == nullptr) error = &ignored;
  *error = 0;
  // Stored names may use either separator and another case, as every file
  // the program reads; the file system's names are bytes.
  const std::string found = path != nullptr ? ResolveExistingPath(path) : std::string();
  const QString name = found.empty() ? QString() : QFile::decodeName(QByteArray(OsFileName(found).c_str()));
  QFile file(name);
  if (name.isEmpty() || !file.open(QIODevice::ReadOnly)) {
    *error = kImgErrorCannotOpen;
    return nullptr;
  }
  QImageReader reader(&file);
  QImage decoded = reader.read();
  int natural[2] = {0, 0};
  if (decoded.isNull()) {
    // Metafiles are drawn by our own reader, at the printer's usual fineness;
    // their size is the one the file gives, not that drawing's pixels.
    constexpr qint64 kMaxMetafileBytes = 64 << 20;
    if (file.size() > 0 && file.size() <= kMaxMetafileBytes && file.seek(0)) {
      const QByteArray bytes = file.readAll();
      const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
      const size_t size = static_cast<size_t>(bytes.size());
      int w001mm = 0, h001mm = 0;
      if (bytes.size() == file.size() && DrawMetafilePicture(data, size, kMetafileDpi, &decoded) &&
          MetafilePictureSize(data, size, &w001mm, &h001mm) && w001mm > 0 && h001mm > 0) {
        int64_t w = (static_cast<int64_t>(w001mm) * 100 + 1270) / 2540;
        int64_t h = (static_cast<int64_t>(h001mm) * 100 + 1270) / 2540;
        // A frame the file may give of any size: no picture is placed larger
        // than any paper, its shape kept.
        const int64_t longest = std::max(w, h);
        if (longest > kMostNaturalHundredths) {
          w = std::max<int64_t>(1, w * kMostNaturalHundredths / longest);
          h = std::max<int64_t>(1, h * kMostNaturalHundredths / longest);
        }
        natural[0] = static_cast<int>(w);
        natural[1] = static_cast<int>(h);
      }
    }
  }
  if (decoded.isNull()) {
    *error = kImgErrorFormat;
    return nullptr;
  }
  try {
    auto image = std::make_unique<Image>();
    image->bitsPerPixel = std::max(1, decoded.depth());
    image->pixels = decoded.convertToFormat(QImage::Format_ARGB32);
    if (image->pixels.isNull()) {
      *error = kImgErrorMemory;
      return nullptr;
    }
    image->crop[2] = image->pixels.width();
    image->crop[3] = image->pixels.height();
    if (natural[0] > 0 && natural[1] > 0) std::copy(natural, natural + 2, image->natural);
    images_.push_back(std::move(image));
  } catch (const std::bad_alloc&) {
    *error = kImgErrorMemory;
    return nullptr;
  }
  return images_.back().get();
}

ImageLibrary::Image* ImageLibrary::Find(const void* image) const {
  for (const auto& i : images_)
    if (i.get() == image) return i.get();
  return nullptr;
}

bool ImageLibrary::ImgBitmapInfo(const void* image, int* width, int* height, int* bitsPerPixel) const {
  const Image* i = Find(image);
  if (i == nullptr) return false;
  if (width != nullptr) *width = i->pixels.width();
  if (height != nullptr) *height = i->pixels.height();
  if (bitsPerPixel != nullptr) *bitsPerPixel = i->bitsPerPixel;
  return true;
}

bool ImageLibrary::ImgNaturalSize(const void* image, int* width, int* height) const {
  const Image* i = Find(image);
  if (i == nullptr || i->natural[0] <= 0 || i->natural[1] <= 0) return false;
  if (width != nullptr) *width = i->natural[0];
  if (height != nullptr) *height = i->natural[1];
  return true;
}

int ImageLibrary::ImgSetCropRect(void* image, int left, int top, int right, int bottom) {
  Image* i = Find(image);
  if (i == nullptr) return kImgErrorMemory;
  i->crop[0] = left;
  i->crop[1] = top;
  i->crop[2] = right;
  i->crop[3] = bottom;
  return 0;
}

void ImageLibrary::ImgDeleteBitmap(void* image) {
  images_.erase(std::remove_if(images_.begin(), images_.end(),
                               [image](const std::unique_ptr<Image>& i) { return i.get() == image; }),
                images_.end());
}

PageDriverImageFuncs ImageLibrary::PrinterEntries() {
  PageDriverImageFuncs f;
  f.getImage = PixelsOf;
  return f;
}

void* ImageLibrary::ImgCopy(const void* image) {
  const Image* i = Find(image);
  if (i == nullptr) return nullptr;
  try {
    auto copy = std::make_unique<Image>(*i);
    copy->pixels.detach();
    if (copy->pixels.isNull()) return nullptr;
    images_.push_back(std::move(copy));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return images_.back().get();
}

void* ImageLibrary::ImgCreateHandle(int width, int height, const uint8_t* bgra, size_t bytes) {
  if (width <= 0 || height <= 0 || width > 32767 || height > 32767 || bgra == nullptr ||
      bytes != static_cast<size_t>(width) * static_cast<size_t>(height) * 4)
    return nullptr;
  try {
    auto image = std::make_unique<Image>();
    // The pixel block is little-endian 0xAARRGGBB words, the toolkit's ARGB32.
    image->pixels = QImage(bgra, width, height, width * 4, QImage::Format_ARGB32).copy();
    if (image->pixels.isNull()) return nullptr;
    image->bitsPerPixel = 24;
    image->crop[2] = width;
    image->crop[3] = height;
    images_.push_back(std::move(image));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return images_.back().get();
}

HBITMAP ImageLibrary::ImgDibToDdb(const void* image, int width, int height) {
  const Image* i = Find(image);
  if (i == nullptr || width <= 0 || height <= 0 || width > 32767 || height > 32767) return nullptr;
  const QRect whole = i->pixels.rect();
  QRect part(i->crop[0], i->crop[1], i->crop[2] - i->crop[0], i->crop[3] - i->crop[1]);
  part = part.intersected(whole);
  if (part.isEmpty()) part = whole;
  QImage screen(width, height, QImage::Format_RGB32);
  if (screen.isNull()) return nullptr;
  screen.fill(Qt::white);
  {
    QPainter p(&screen);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRect(0, 0, width, height), i->pixels, part);
  }
  return CreateBitmapFromPixels(width, height, reinterpret_cast<const uint32_t*>(screen.constBits()),
                                static_cast<int>(screen.bytesPerLine()));
}

int ImageLibrary::ImgSaveBitmap(const void* image, const char* path) {
  const Image* i = Find(image);
  if (i == nullptr || path == nullptr || *path == 0) return kImgErrorCannotCreate;
  const QString name = QFile::decodeName(QByteArray(path));
  const QByteArray format = QFileInfo(name).suffix().toLower().toLatin1();
  if (!QImageWriter::supportedImageFormats().contains(format == "jpeg" ? QByteArray("jpg") : format))
    return kImgErrorFormat;
  QFile file(name);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return kImgErrorCannotCreate;
  QImageWriter writer(&file, format);
  // Forms without an alpha channel get the picture on white.
  QImage out = i->pixels.convertToFormat(QImage::Format_RGB32);
  if (!writer.write(out)) {
    const bool full = file.error() == QFileDevice::ResourceError || file.error() == QFileDevice::WriteError;
    file.close();
    file.remove();
    return full ? kImgErrorDiskFull : kImgErrorCannotCreate;
  }
  return file.flush() ? 0 : kImgErrorDiskFull;
}
