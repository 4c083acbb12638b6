#include "tests/support/metafile_bytes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

namespace metafile_bytes {
namespace {

void U16(std::vector<uint8_t>& b, int v) {
  b.push_back(static_cast<uint8_t>(v & 0xFF));
  b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}
void U32(std::vector<uint8_t>& b, uint32_t v) {
  U16(b, static_cast<int>(v & 0xFFFF));
  U16(b, static_cast<int>(v >> 16));
}
// A Windows metafile record: size in 16-bit words, function, parameters.
void Wmf(std::vector<uint8_t>& b, int function, const std::vector<int>& words) {
  U32(b, static_cast<uint32_t>(3 + words.size()));
  U16(b, function);
  for (int w : words) U16(b, w);
}
void Emr(std::vector<uint8_t>& b, uint32_t type, const std::vector<uint32_t>& values) {
  U32(b, type);
  U32(b, static_cast<uint32_t>(8 + values.size() * 4));
  for (uint32_t v : values) U32(b, v);
}

// A placeable Windows metafile of the records, a box of boxWidth x
// boxHeight at unitsPerInch.
std::vector<uint8_t> PlaceableFile(int unitsPerInch, int boxWidth, int boxHeight, std::vector<uint8_t> records) {
  Wmf(records, 0x0000, {});
  std::vector<uint8_t> b;
  U32(b, 0x9AC6CDD7u);
  U16(b, 0);
  U16(b, 0), U16(b, 0), U16(b, boxWidth), U16(b, boxHeight);
  U16(b, unitsPerInch);
  U32(b, 0);
  int sum = 0;
  for (size_t i = 0; i < 20; i += 2) sum ^= b[i] | (b[i + 1] << 8);
  U16(b, sum);
  U16(b, 1);   // in memory
  U16(b, 9);   // header words
  U16(b, 0x300);
  U32(b, static_cast<uint32_t>((18 + records.size()) / 2));
  U16(b, 2);   // objects
  U32(b, 7);   // largest record
  U16(b, 0);
  b.insert(b.end(), records.begin(), records.end());
  return b;
}

}  // namespace

std::vector<uint8_t> PlaceableWmf(int unitsPerInch, int boxWidth, int boxHeight, uint32_t colour, int left, int top,
                                  int right, int bottom) {
  std::vector<uint8_t> records;
  Wmf(records, 0x02FC, {0, static_cast<int>(colour & 0xFFFF), static_cast<int>(colour >> 16), 0});  // solid brush
  Wmf(records, 0x012D, {0});                                                                      // select it
  Wmf(records, 0x02FA, {5, 0, 0, 0, 0});                                                          // no pen
  Wmf(records, 0x012D, {1});
  Wmf(records, 0x041B, {bottom, right, top, left});
  return PlaceableFile(unitsPerInch, boxWidth, boxHeight, records);
}

std::vector<uint8_t> WmfPenFlood(int pens) {
  std::vector<uint8_t> records;
  for (int i = 0; i < pens; ++i) Wmf(records, 0x02FA, {0, 1, 0, 0, 0});
  return PlaceableFile(1440, 1440, 1440, records);
}

// The header (frame in 0.01 mm, a reference device of 100 pixels to the
// inch) before the records, which end with the end record.
static std::vector<uint8_t> EmfFile(int width001, int height001, std::vector<uint8_t> records) {
  Emr(records, 14, {0, 16, 20});
  std::vector<uint8_t> b;
  const uint32_t total = static_cast<uint32_t>(88 + records.size());
  U32(b, 1);
  U32(b, 88);
  for (int64_t v : {int64_t{0}, int64_t{0}, int64_t{width001} * 100 / 2540, int64_t{height001} * 100 / 2540})
    U32(b, static_cast<uint32_t>(v));  // bounds
  for (int v : {0, 0, width001, height001}) U32(b, static_cast<uint32_t>(v));                          // frame
  U32(b, 0x464D4520u);
  U32(b, 0x10000);
  U32(b, total);
  U32(b, 6);  // records
  U16(b, 2), U16(b, 0);
  U32(b, 0), U32(b, 0), U32(b, 0);
  U32(b, 1000), U32(b, 1000);  // reference device: 1,000 pixels
  U32(b, 254), U32(b, 254);    // on 254 mm: 100 to the inch
  b.insert(b.end(), records.begin(), records.end());
  return b;
}

std::vector<uint8_t> Emf(int width001, int height001, uint32_t colour, int left, int top, int right, int bottom) {
  std::vector<uint8_t> records;
  Emr(records, 39, {1, 0, colour, 0});                    // brush 1, solid
  Emr(records, 37, {1});                                  // select it
  Emr(records, 37, {0x80000008u});                        // the stock "no pen"
  Emr(records, 43, {static_cast<uint32_t>(left), static_cast<uint32_t>(top), static_cast<uint32_t>(right),
                    static_cast<uint32_t>(bottom)});
  return EmfFile(width001, height001, records);
}

std::vector<uint8_t> EmfPolyline(int points, int32_t penWidth, int32_t viewport, int frame001) {
  std::vector<uint8_t> records;
  Emr(records, 17, {8});                                                    // anisotropic mapping
  Emr(records, 9, {1000, 1000});                                            // window extent
  Emr(records, 11, {static_cast<uint32_t>(viewport), static_cast<uint32_t>(viewport)});  // viewport extent
  Emr(records, 38, {1, 0, static_cast<uint32_t>(penWidth), 0, 0x000000});  // pen 1: solid, black
  Emr(records, 37, {1});
  // A 16-bit polyline: bounds, count, then the points, corner to corner.
  std::vector<uint32_t> line = {0, 0, 1000, 1000, static_cast<uint32_t>(points)};
  for (int i = 0; i < points; ++i) {
    const uint32_t x = (i % 4 == 1 || i % 4 == 2) ? 1000 : 0, y = (i % 2 == 1) ? 1000 : 0;
    line.push_back(x | y << 16);
  }
  Emr(records, 87, line);
  return EmfFile(frame001, frame001, records);
}

std::vector<uint8_t> EmfCrossingPolygon(int points, int frame001) {
  std::vector<uint8_t> records;
  Emr(records, 39, {1, 0, 0x0000FF, 0});  // brush 1, solid
  Emr(records, 37, {1});
  Emr(records, 37, {0x80000008u});        // no pen
  // Each point far round the circle from the one before: every edge crosses
  // most others.
  std::vector<uint32_t> shape = {0, 0, 1000, 1000, static_cast<uint32_t>(points)};
  for (int i = 0; i < points; ++i) {
    const double a = i * 2.39996;  // the golden angle, in radians
    const uint32_t x = static_cast<uint32_t>(500 + 499 * std::cos(a)), y = static_cast<uint32_t>(500 + 499 * std::sin(a));
    shape.push_back(x | y << 16);
  }
  Emr(records, 86, shape);  // a 16-bit polygon
  // The reference device's pixels: 1,000 to 254 mm, so 1,000 of them span a
  // frame of 25,400 (0.01 mm); the window maps them onto the frame given.
  std::vector<uint8_t> mapped;
  Emr(mapped, 9, {1000, 1000});
  const uint32_t device = static_cast<uint32_t>(static_cast<int64_t>(frame001) * 1000 / 25400);
  Emr(mapped, 11, {device, device});
  mapped.insert(mapped.end(), records.begin(), records.end());
  return EmfFile(frame001, frame001, mapped);
}

namespace {

uint32_t ColorRef(uint32_t rgb) { return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF); }
uint32_t Xy16(int x, int y) { return static_cast<uint32_t>(x & 0xFFFF) | static_cast<uint32_t>(y & 0xFFFF) << 16; }

// A picture's records as a drawing program writes them: the mapping first,
// objects by handle, points in 16-bit logical units, text as wide
// characters with their advances; then the header a screen of 96 pixels to
// the inch gives it.
class Drawing {
 public:
  Drawing(int inchesWide, int inchesHigh, int unitsPerInch)
      : wide_(inchesWide * unitsPerInch), high_(inchesHigh * unitsPerInch), inchesWide_(inchesWide),
        inchesHigh_(inchesHigh) {
    Add(33, {});                          // save the state
    Add(17, {8});                         // anisotropic mapping
    Add(10, {0, 0});                      // window origin and extent
    Add(9, {U(wide_), U(high_)});
    Add(12, {0, 0});                      // viewport origin and extent, in screen pixels
    Add(11, {U(inchesWide * 96), U(inchesHigh * 96)});
    Add(18, {1});                         // transparent text ground
  }
  int wide() const { return wide_; }
  int high() const { return high_; }

  void Pen(uint32_t handle, int width, uint32_t rgb) { Add(38, {handle, 0, U(width), 0, ColorRef(rgb)}), Select(handle); }
  void Brush(uint32_t handle, uint32_t rgb) { Add(39, {handle, 0, ColorRef(rgb), 0}), Select(handle); }
  void Select(uint32_t handle) { Add(37, {handle}); }
  void Delete(uint32_t handle) { Add(40, {handle}); }
  void Line(int x0, int y0, int x1, int y1) { Add(27, {U(x0), U(y0)}), Add(54, {U(x1), U(y1)}); }
  void Rectangle(int l, int t, int r, int b) { Add(43, {U(l), U(t), U(r), U(b)}); }
  void Ellipse(int l, int t, int r, int b) { Add(42, {U(l), U(t), U(r), U(b)}); }
  void Polyline(const std::vector<std::pair<int, int>>& points) {
    std::vector<uint32_t> r = Bounds(points);
    r.push_back(U(static_cast<int>(points.size())));
    for (const auto& [x, y] : points) r.push_back(Xy16(x, y));
    Add(87, r);
  }
  void PolyPolygon(const std::vector<std::vector<std::pair<int, int>>>& polygons) {
    std::vector<std::pair<int, int>> all;
    for (const auto& p : polygons) all.insert(all.end(), p.begin(), p.end());
    std::vector<uint32_t> r = Bounds(all);
    r.push_back(U(static_cast<int>(polygons.size())));
    r.push_back(U(static_cast<int>(all.size())));
    for (const auto& p : polygons) r.push_back(U(static_cast<int>(p.size())));
    for (const auto& [x, y] : all) r.push_back(Xy16(x, y));
    Add(91, r);
  }
  // A font of the face (at most 31 letters) and character height in logical units.
  void Font(uint32_t handle, int height, int weight, const std::string& face) {
    std::vector<uint32_t> r = {handle, U(-height), 0, 0, 0, U(weight), 0, 0};
    std::vector<uint16_t> name(32, 0);
    for (size_t i = 0; i < face.size() && i < 31; ++i) name[i] = static_cast<uint8_t>(face[i]);
    for (size_t i = 0; i < 32; i += 2) r.push_back(name[i] | static_cast<uint32_t>(name[i + 1]) << 16);
    Add(82, r);
    Select(handle);
  }
  void TextColour(uint32_t rgb) { Add(24, {ColorRef(rgb)}); }
  void Text(int x, int y, const std::string& text) {
    const uint32_t n = static_cast<uint32_t>(text.size());
    const uint32_t words = (n + 1) / 2;  // wide characters, padded to four bytes
    std::vector<uint32_t> r = {0, 0, U(wide_), U(high_), 1, 0x3F800000u, 0x3F800000u,  // bounds, mode, scales
                               U(x), U(y), n, 76, 0, 0, 0, 0, 0, 76 + words * 4};
    for (uint32_t i = 0; i < words; ++i) {
      const uint32_t a = static_cast<uint8_t>(text[2 * i]);
      const uint32_t b = 2 * i + 1 < n ? static_cast<uint8_t>(text[2 * i + 1]) : 0;
      r.push_back(a | b << 16);
    }
    for (uint32_t i = 0; i < n; ++i) r.push_back(U(high_ / 60));  // advances
    Add(84, r);
  }

  std::vector<uint8_t> Finish() {
    Add(34, {U(-1)});  // restore the state
    Add(14, {0, 16, 20});
    std::vector<uint8_t> b;
    const int w001 = inchesWide_ * 2540, h001 = inchesHigh_ * 2540;
    U32(b, 1);
    U32(b, 88);
    for (int v : {0, 0, inchesWide_ * 96 - 1, inchesHigh_ * 96 - 1}) U32(b, U(v));  // bounds, in screen pixels
    for (int v : {0, 0, w001, h001}) U32(b, U(v));                                  // frame
    U32(b, 0x464D4520u);
    U32(b, 0x10000);
    U32(b, static_cast<uint32_t>(88 + records_.size()));
    U32(b, count_);
    U16(b, 8), U16(b, 0);  // handles
    U32(b, 0), U32(b, 0), U32(b, 0);
    U32(b, 1920), U32(b, 1080);  // the screen, pixels
    U32(b, 508), U32(b, 286);    // and millimetres
    b.insert(b.end(), records_.begin(), records_.end());
    return b;
  }

 private:
  static uint32_t U(int v) { return static_cast<uint32_t>(v); }
  static std::vector<uint32_t> Bounds(const std::vector<std::pair<int, int>>& points) {
    int l = 1 << 30, t = 1 << 30, r = -(1 << 30), b = -(1 << 30);
    for (const auto& [x, y] : points) l = std::min(l, x), t = std::min(t, y), r = std::max(r, x), b = std::max(b, y);
    return {U(l), U(t), U(r), U(b)};
  }
  void Add(uint32_t type, const std::vector<uint32_t>& values) { Emr(records_, type, values), ++count_; }

  std::vector<uint8_t> records_;
  uint32_t count_ = 1;  // the header
  int wide_, high_, inchesWide_, inchesHigh_;
};

// The same numbers on every machine.
class Numbers {
 public:
  explicit Numbers(uint32_t seed) : state_(seed) {}
  double Next() {  // 0 to 1
    state_ = state_ * 1664525u + 1013904223u;
    return (state_ >> 8) / 16777216.0;
  }

 private:
  uint32_t state_;
};

// The frame, axes and title a chart program draws round the plot area
// (left, top, right, bottom); the title's font stays selected for labels.
void ChartFrame(Drawing& d, int left, int top, int right, int bottom, const std::string& title) {
  d.Pen(1, 0, 0x000000);
  d.Line(left, top, left, bottom);
  d.Line(left, bottom, right, bottom);
  d.Pen(2, 0, 0xC0C0C0);
  for (int i = 1; i <= 4; ++i) d.Line(left + 1, bottom - (bottom - top) * i / 4, right, bottom - (bottom - top) * i / 4);
  d.Font(3, d.high() / 25, 700, "Arial");
  d.TextColour(0x000000);
  d.Text(left, top / 4, title);
  for (int i = 0; i <= 4; ++i) d.Text(left / 4, bottom - (bottom - top) * i / 4 - d.high() / 50, std::to_string(i * 25));
}

}  // namespace

std::vector<uint8_t> EmfBarChart(int bars) {
  Drawing d(6, 4, 1000);
  const int left = 400, right = 5900, top = 400, bottom = 3700;
  d.Pen(1, 0, 0x000000);
  d.Line(left, top, left, bottom);
  d.Line(left, bottom, right, bottom);
  d.Brush(2, kBarColour);
  Numbers n(bars);
  const double step = static_cast<double>(right - left) / bars;
  for (int i = 0; i < bars; ++i) {
    const int x = left + static_cast<int>(i * step), height = 300 + static_cast<int>((bottom - top - 300) * n.Next());
    d.Rectangle(x + 2, bottom - height, x + static_cast<int>(step * 0.8), bottom);
  }
  return d.Finish();
}

std::vector<uint8_t> EmfScatterPlot(int dots) {
  Drawing d(6, 4, 1000);
  const int left = 600, right = 5900, top = 400, bottom = 3600;
  ChartFrame(d, left, top, right, bottom, "Scatter");
  d.Pen(4, 0, 0x600000);
  d.Brush(5, kDotColour);
  Numbers n(dots);
  const double centres[3][2] = {{0.3, 0.6}, {0.55, 0.35}, {0.75, 0.7}};
  for (int i = 0; i < dots; ++i) {
    const double* c = centres[i % 3];
    // About normal round each centre: the mean of four evens.
    const double gx = (n.Next() + n.Next() + n.Next() + n.Next()) / 2 - 1, gy = (n.Next() + n.Next() + n.Next() + n.Next()) / 2 - 1;
    const int x = left + static_cast<int>((right - left) * std::clamp(c[0] + gx * 0.3, 0.02, 0.98));
    const int y = top + static_cast<int>((bottom - top) * std::clamp(c[1] + gy * 0.4, 0.02, 0.98));
    d.Ellipse(x - 12, y - 12, x + 12, y + 12);
  }
  return d.Finish();
}

std::vector<uint8_t> EmfOutlineMap(int points) {
  Drawing d(8, 6, 1000);
  constexpr int kColumns = 8, kRows = 6;
  const int cell = 900, left = 400, top = 300;
  // Points per side of a region, and the borders' shared wiggles.
  const int side = std::max(2, points / (kColumns * kRows * 4 + kColumns * kRows / 2));
  auto wiggle = [&](int border, int i) {  // none at the corners, where four regions meet
    return static_cast<int>(std::sin(3.14159265 * i / side) *
                            (60 * std::sin(border * 1.7 + i * 0.21) + 25 * std::sin(border * 0.3 + i * 0.93)));
  };
  // The corner (c, r) of the grid and a point along a border between two.
  auto corner = [&](int c, int r) { return std::make_pair(left + c * cell, top + r * cell); };
  auto across = [&](int c, int r, int i) {  // along the top of row r, from column c
    const auto [x, y] = corner(c, r);
    return std::make_pair(x + cell * i / side, y + wiggle(r * 31 + c, i));
  };
  auto down = [&](int c, int r, int i) {  // along the left of column c, from row r
    const auto [x, y] = corner(c, r);
    return std::make_pair(x + wiggle(1000 + c * 31 + r, i), y + cell * i / side);
  };
  d.Pen(1, 0, 0x404040);
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      std::vector<std::pair<int, int>> outline;
      for (int i = 0; i < side; ++i) outline.push_back(across(c, r, i));
      for (int i = 0; i < side; ++i) outline.push_back(down(c + 1, r, i));
      for (int i = side; i > 0; --i) outline.push_back(across(c, r + 1, i));
      for (int i = side; i > 0; --i) outline.push_back(down(c, r, i));
      // An island off the region's middle.
      std::vector<std::pair<int, int>> island;
      const auto [x, y] = corner(c, r);
      for (int i = 0; i < side / 2 + 3; ++i) {
        const double a = i * 6.2832 / (side / 2 + 3);
        island.emplace_back(x + cell / 2 + static_cast<int>(90 * std::cos(a)), y + cell / 2 + static_cast<int>(60 * std::sin(a)));
      }
      const uint32_t brush = 2 + static_cast<uint32_t>((r * kColumns + c) % 2);
      d.Brush(brush, kMapColours[(r + 2 * c) % 4]);
      d.PolyPolygon({outline, island});
      d.Select(0x80000000u);  // the stock white brush, while this region's goes
      d.Delete(brush);
    }
  }
  return d.Finish();
}

namespace {

// A six by four inch chart of one polyline of the given points, drawn with
// a pen of the width (at 3,000 units to the inch); height(i) is the i-th
// point's height, 0 to 1, over the plot area.
std::vector<uint8_t> CurveChart(const std::string& title, int pen, uint32_t colour, int points,
                                const std::function<double(int)>& height) {
  Drawing d(6, 4, 3000);
  const int left = 1800, right = 17700, top = 1200, bottom = 10800;
  ChartFrame(d, left, top, right, bottom, title);
  d.Pen(4, pen, colour);
  std::vector<std::pair<int, int>> line;
  for (int i = 0; i < points; ++i)
    line.emplace_back(left + static_cast<int>(static_cast<double>(right - left) * i / std::max(1, points - 1)),
                      bottom - static_cast<int>((bottom - top) * height(i)));
  d.Polyline(line);
  return d.Finish();
}

}  // namespace

std::vector<uint8_t> EmfLineChart(int points) {
  Numbers n(points);
  double y = 0.5;
  return CurveChart("Readings", 31, kLineColour, points,
                    [&](int) { return y = std::clamp(y + (n.Next() - 0.5) * 0.02, 0.05, 0.95); });
}

std::vector<uint8_t> EmfSineCurve(int points) {
  return CurveChart("Sine", 62, kSineColour, points, [points](int i) {
    return 0.5 + 0.45 * std::sin(static_cast<double>(i) / std::max(1, points - 1) * 4 * 3.14159265);
  });
}

std::vector<uint8_t> EmfFontFlood(int fonts) {
  Drawing d(2, 1, 1000);
  d.TextColour(kFloodColour);
  for (int i = 0; i < fonts; ++i) {
    char face[32];
    std::snprintf(face, sizeof face, "Face %d", i);
    d.Font(1, 100, 400, face);
    d.Text(100 + i % 1700, 100 + i % 700, "A");
    d.Select(0x8000000Du);  // the stock system font, while this one goes
    d.Delete(1);
  }
  return d.Finish();
}

std::vector<uint8_t> EmfLargeLetters(int texts, const std::string& text) {
  Drawing d(4, 4, 1000);
  d.TextColour(kLettersColour);
  d.Font(1, 2000, 400, "Arial");
  for (int i = 0; i < texts; ++i) d.Text(i * 7 % 1000, i * 13 % 1500, text);
  return d.Finish();
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace metafile_bytes
