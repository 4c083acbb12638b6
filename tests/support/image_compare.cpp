#include "tests/support/image_compare.h"

#include <QImage>

#include <algorithm>

double PixelDifference(const std::string& a, int left, int top, int width, int height, const std::string& b,
                       int tolerance) {
  QImage ia(QString::fromStdString(a)), ib(QString::fromStdString(b));
  if (ia.isNull() || ib.isNull() || left < 0 || top < 0) return -1;
  width = std::min({width, ia.width() - left, ib.width()});
  height = std::min({height, ia.height() - top, ib.height()});
  if (width < 100 || height < 100) return -1;
  long differ = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (std::abs(qGray(ia.pixel(left + x, top + y)) - qGray(ib.pixel(x, y))) > tolerance) ++differ;
  return static_cast<double>(differ) / (static_cast<double>(width) * height);
}
