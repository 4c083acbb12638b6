// Drawing a chart item: its settings and collected values (or sample data,
// for the designer and the chart sheet's preview) told to the charting
// library, the result an enhanced metafile.
#pragma once

#include "charts/chart.h"
#include "platform/win/gdi.h"

#include <string>
#include <vector>

class GraphicsServer;

// The picture of the chart for a width x height item (layout pixels);
// values null draws sample data. Null when the library failed.
HENHMETAFILE RenderChartMetafile(const CKmChart& chart, int width, int height, const ChartArrays* values);

// The same written as an image file (format by the name's extension); false
// on failure. For the HTML export's chart pictures.
bool RenderChartToImageFile(const CKmChart& chart, int width, int height, const ChartArrays* values,
                            const char* path);

// The design view's drawing of a chart item into its view rectangle: the
// picture drawn once with sample values and kept with the entry (one kept).
// False when the chart draws nothing (another form, or the library failed).
bool DrawChartItem(ChartTableEntry& entry, HDC dc, const RECT& viewRect);

// ---- The rules the drawing follows, kept apart to be checked.
// Colour numbers of a scheme for count series (or categories).
std::vector<int> ChartColourNumbers(int scheme, int count);
// Ticks of a user-defined value axis from minimum to maximum.
int ChartAxisTicks(double minimum, double maximum);
// Sample values and labels for a chart of this type and sub-style.
ChartArrays ChartSampleData(int type, int subStyle, int seriesCount, bool seriesLabelsShown);
// The face of a font slot: its own, else the default face, else "Arial".
std::string ChartFontFace(const std::string& defaultFace, const std::string& face);
