// The charting library: a chart is described call by call (palette, fonts,
// titles, labels, colours, the value axis, the values) to a graphics window
// of a given size, drawn by AGShow, and handed out by GSPicWrite as an
// enhanced metafile (a recorded picture, no file). Our own drawing over the
// window layer's painter: the callers need exact control of colours by
// number, fonts by slot and the style bits, and a vector picture that the
// page driver and the design view play at any size.
//
// Every call answers 0 on success, as the program expects of the library;
// a call on a closed or unknown window answers -1.
#pragma once

#include "platform/win/gdi.h"

#include <memory>
#include <string>
#include <vector>

// Style bits of AGShow.
constexpr int kAgZeroBase = 0x01;     // the value axis starts at 0
constexpr int kAgGridLines = 0x04;    // first layout switch
constexpr int kAgDepth = 0x08;        // second layout switch: a shadowed, three-dimensional look
constexpr int kAgOverlap = 0x80;      // bars of one category overlap
constexpr int kAgHorizontal = 0xA00;  // bars run across
constexpr int kAgPercent = 0x1000;    // bars stacked to 100 %
constexpr int kAgStacked = 0x2000;    // bars or areas stacked
constexpr int kAgAreaPercent = 0x4000;

// Chart types of AGShow.
constexpr int kAgPie = 1, kAgPie3D = 2, kAgBar = 3, kAgBarRightAxis = 4, kAgLine = 6, kAgArea = 8,
              kAgLineRightAxis = 13, kAgAreaRightAxis = 14;

// Font parts of AGFontStyle.
constexpr int kAgTitleFont = 0, kAgAxisTitleFont = 1, kAgLabelFont = 2, kAgLegendFont = 3;

constexpr int kAgPaletteSize = 128;

class GraphicsServer {
 public:
  GraphicsServer();
  ~GraphicsServer();
  GraphicsServer(const GraphicsServer&) = delete;
  GraphicsServer& operator=(const GraphicsServer&) = delete;

  // A graphics window of width x height pixels: its number, -1 on failure.
  int GSOpenChildWin(int width, int height);
  int GSCloseWin(int window);
  int GSSelectPalette(int palette);
  int GSSetRFontFace(int slot, const char* face);
  int GSLoadRFont(int slot, int bold, int sizePercent, int italic);
  // The shown chart of the window as an enhanced metafile owned by the caller.
  int GSPicWrite(int window, int format, HENHMETAFILE* out);

  int AGOpen();
  int AGClose();
  int AGFontStyle(int part, int slot, int style, int sizePercent);
  int AGTitleG(const char* text);
  int AGTitleX(const char* text);
  int AGTitleY(const char* text);
  int AGTitleYR(const char* text);
  int AGTitleBG(COLORREF background, int reserved);
  // mode 0: count texts, one per value (category-major); mode 1: the values themselves.
  int AGDataLabels(int mode, int count, const char* const* labels);
  int AGClr(int count, const int* colourNumbers);
  int AGYAxisStyle(int style, int ticks, int reserved, double maximum, double minimum);
  int AGLabels(int count, const char* const* labels);
  int AGLegend(int count, const char* const* labels);
  // values[c * series + s]
  int AGAmp(int categories, int series, const double* values);
  int AGShow(int type, int style, int flags);

  // The RGB of a colour number (0-127) in a palette.
  static COLORREF PaletteColour(int palette, int number);

 private:
  struct State;
  std::unique_ptr<State> s_;
};

// Writes a chart picture as an image file (PNG, JPEG, BMP, ... by the name's
// extension) of width x height pixels; false when it cannot be written.
bool RenderPictureToBitmap(HENHMETAFILE picture, int width, int height, const char* path);
// The same picture as image file bytes of the format ("PNG", "JPEG", "BMP");
// the export's chart pictures are made with it.
bool RenderPictureToBytes(void* picture, int width, int height, const char* format, std::string* bytes);
