#include "tests/support/metafile_bytes.h"

#include <cmath>
#include <fstream>

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

}  // namespace

std::vector<uint8_t> PlaceableWmf(int unitsPerInch, int boxWidth, int boxHeight, uint32_t colour, int left, int top,
                                  int right, int bottom) {
  std::vector<uint8_t> records;
  Wmf(records, 0x02FC, {0, static_cast<int>(colour & 0xFFFF), static_cast<int>(colour >> 16), 0});  // solid brush
  Wmf(records, 0x012D, {0});                                                                      // select it
  Wmf(records, 0x02FA, {5, 0, 0, 0, 0});                                                          // no pen
  Wmf(records, 0x012D, {1});
  Wmf(records, 0x041B, {bottom, right, top, left});
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

// The header (frame in 0.01 mm, a reference device of 100 pixels to the
// inch) before the records, which end with the end record.
static std::vector<uint8_t> EmfFile(int width001, int height001, std::vector<uint8_t> records) {
  Emr(records, 14, {0, 16, 20});
  std::vector<uint8_t> b;
  const uint32_t total = static_cast<uint32_t>(88 + records.size());
  U32(b, 1);
  U32(b, 88);
  for (int v : {0, 0, width001 * 100 / 2540, height001 * 100 / 2540}) U32(b, static_cast<uint32_t>(v));  // bounds
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

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace metafile_bytes
