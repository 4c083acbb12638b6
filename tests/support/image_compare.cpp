#include "tests/support/image_compare.h"

#include "platform/image/image_library.h"

#include <algorithm>
#include <cstdlib>

namespace {
// The picture's pixels as the program's own image library reads them.
struct Pixels {
  ImageLibrary lib;
  PageDriverImage image;
  bool Read(const std::string& path) {
    int error = 0;
    void* h = lib.ImgDecompressFile(path.c_str(), &error);
    return h != nullptr && ImageLibrary::PrinterEntries().getImage(h, &image) && image.pixels != nullptr;
  }
  // 0xRRGGBB of the pixel.
  uint32_t Rgb(int x, int y) const {
    const BYTE* p = image.pixels + static_cast<size_t>(y) * image.stride + static_cast<size_t>(x) * 4;
    const uint32_t v = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                       (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    return v & 0xFFFFFF;
  }
  int Grey(int x, int y) const {
    const uint32_t v = Rgb(x, y);
    const int r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
    return (r * 11 + g * 16 + b * 5) / 32;
  }
};
}  // namespace

double PixelDifference(const std::string& a, int left, int top, int width, int height, const std::string& b,
                       int tolerance) {
  Pixels ia, ib;
  if (!ia.Read(a) || !ib.Read(b) || left < 0 || top < 0) return -1;
  width = std::min({width, ia.image.width - left, ib.image.width});
  height = std::min({height, ia.image.height - top, ib.image.height});
  if (width < 100 || height < 100) return -1;
  long differ = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (std::abs(ia.Grey(left + x, top + y) - ib.Grey(x, y)) > tolerance) ++differ;
  return static_cast<double>(differ) / (static_cast<double>(width) * height);
}

int CountColourPixels(const std::string& path, int left, int top, int width, int height, unsigned rgb) {
  Pixels pic;
  if (!pic.Read(path)) return -1;
  const int right = std::min(left + width, pic.image.width), bottom = std::min(top + height, pic.image.height);
  int n = 0;
  for (int y = std::max(top, 0); y < bottom; ++y)
    for (int x = std::max(left, 0); x < right; ++x) n += pic.Rgb(x, y) == (rgb & 0xFFFFFF);
  return n;
}

std::vector<ColourSpread> FindColourPixels(const std::string& path, const std::vector<unsigned>& colours,
                                           int tolerance) {
  std::vector<ColourSpread> found(colours.size());
  Pixels pic;
  if (!pic.Read(path)) return found;
  for (ColourSpread& s : found) s.count = 0, s.left = pic.image.width, s.top = pic.image.height;
  auto near = [tolerance](uint32_t a, uint32_t b) {
    for (int shift : {16, 8, 0})
      if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > tolerance)
        return false;
    return true;
  };
  for (int y = 0; y < pic.image.height; ++y)
    for (int x = 0; x < pic.image.width; ++x) {
      const uint32_t v = pic.Rgb(x, y);
      if (v == 0xFFFFFF) continue;
      for (size_t i = 0; i < colours.size(); ++i) {
        if (!near(v, colours[i])) continue;
        ColourSpread& s = found[i];
        ++s.count;
        s.left = std::min(s.left, x), s.right = std::max(s.right, x);
        s.top = std::min(s.top, y), s.bottom = std::max(s.bottom, y);
      }
    }
  return found;
}
