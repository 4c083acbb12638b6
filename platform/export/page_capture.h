// A printer library that keeps the pages of a page-image export (text, RTF,
// HTML) as positioned text runs and pictures instead of drawing them. Texts
// are measured exactly as the printer measures them, so the export lays out
// its lines where a printed page would have them. No Qt type appears here.
#pragma once

#include "platform/printer/page_driver.h"

#include <string>
#include <vector>

struct CapturedRun {
  double x = 0;          // decipoints from the paper's left edge
  double width = 0;      // decipoints
  std::string text;      // the report's code page
  std::string face;
  int size = 100;        // tenths of a point
  bool bold = false, italic = false, underline = false;
  COLORREF colour = 0;
};

struct CapturedLine {
  double y = 0;          // decipoints from the paper's top: the line's top
  double height = 0;
  int band = 0;          // the band and layout line the engine named
  int layoutLine = 0;
  std::vector<CapturedRun> runs;
};

// A picture or chart placed on the page, kept as image file bytes in the
// document's image format.
struct CapturedPicture {
  double x = 0, y = 0, width = 0, height = 0;  // decipoints
  std::string bytes;
  bool chart = false;
};

struct CapturedPage {
  std::vector<CapturedLine> lines;
  std::vector<CapturedPicture> pictures;
};

struct CapturedDocument {
  double paperWidth = 6120, paperHeight = 7920;  // decipoints
  std::string imageFormat = "PNG";               // "PNG", "JPEG" or "BMP"
  std::vector<CapturedPage> pages;
};

// Turns a chart's picture (its metafile) into image file bytes of the given
// pixel size and format ("PNG", "JPEG", "BMP"); the charting side installs
// it. Without it a chart gives no picture.
using ChartPictureHook = bool (*)(void* metafile, int width, int height, const char* format, std::string* bytes);
void SetExportChartPictureHook(ChartPictureHook hook);

// The driver writes into out, which must outlive it; out's paper size and
// image format are read when pages and pictures are made.
PageDriver* CreatePageCaptureDriver(CapturedDocument* out);
