// Metafile files built record by record from their documented layouts, for
// tests of the picture reader: a Windows metafile behind a placeable header
// and an enhanced metafile, each filling one rectangle with one colour.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace metafile_bytes {

// A placeable Windows metafile: box (0, 0, boxWidth, boxHeight) at
// unitsPerInch, a solid brush of colour (0x00BBGGRR) and a rectangle.
std::vector<uint8_t> PlaceableWmf(int unitsPerInch, int boxWidth, int boxHeight, uint32_t colour, int left, int top,
                                  int right, int bottom);
// An enhanced metafile whose frame is width001 x height001 (0.01 mm) on a
// reference device of 100 pixels to the inch, with a solid rectangle in
// device pixels.
std::vector<uint8_t> Emf(int width001, int height001, uint32_t colour, int left, int top, int right, int bottom);
// An enhanced metafile of one polyline of the given points, corner to corner
// of a 1,000 x 1,000 window, drawn with a pen of penWidth window units; the
// window shows through a viewport of viewport x viewport pixels (so a window
// unit may cover many pixels) on a square frame of frame001 (0.01 mm).
std::vector<uint8_t> EmfPolyline(int points, int32_t penWidth, int32_t viewport, int frame001);
// An enhanced metafile of one filled polygon of the given points, each far
// round a circle from the one before, on a square frame of frame001.
std::vector<uint8_t> EmfCrossingPolygon(int points, int frame001);

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace metafile_bytes
