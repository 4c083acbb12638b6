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

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace metafile_bytes
