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

// Ordinary pictures, written the way charting and mapping programs write
// them: a reference screen of 96 pixels to the inch, a window of 1,000
// logical units to the inch (3,000 for the line charts) mapped onto it, pens
// and brushes made once and selected, a title in one font, then the data.
// Each draws its data in its own colour (0xRRGGBB below) on white.
// A six by four inch bar chart of one rectangle a bar, outlined by a hairline.
constexpr uint32_t kBarColour = 0x1F4FBF;
std::vector<uint8_t> EmfBarChart(int bars);
// A six by four inch scatter plot of small outlined ellipses in three clusters.
constexpr uint32_t kDotColour = 0xD02020;
std::vector<uint8_t> EmfScatterPlot(int dots);
// An eight by six inch map of regions whose wiggly borders their neighbours
// share, each region a several-polygon record (its outline and an island)
// filled in one of four colours and outlined by a hairline; about the given
// number of points in all.
constexpr uint32_t kMapColours[4] = {0xF0D080, 0x90C8F0, 0xB0E0A0, 0xF0A8B0};
std::vector<uint8_t> EmfOutlineMap(int points);
// A six by four inch line chart of one polyline of the given points (a
// random walk) drawn with a pen of three quarters of a point.
constexpr uint32_t kLineColour = 0x109030;
std::vector<uint8_t> EmfLineChart(int points);
// A six by four inch sine curve of two periods, one polyline drawn with a
// pen of a point and a half.
constexpr uint32_t kSineColour = 0xC020C0;
std::vector<uint8_t> EmfSineCurve(int points);
// A two by one inch picture that makes a font of a new face name for each
// letter it writes, in this colour.
constexpr uint32_t kFloodColour = 0x20A0A0;
std::vector<uint8_t> EmfFontFlood(int fonts);

// A four inch square picture of texts in letters half its height, in this
// colour, each a little apart from the one before.
constexpr uint32_t kLettersColour = 0x3050A0;
std::vector<uint8_t> EmfLargeLetters(int texts, const std::string& text);

// A one inch placeable Windows metafile that makes that many pens and
// deletes none: its object table is full long before the end.
std::vector<uint8_t> WmfPenFlood(int pens);

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace metafile_bytes
