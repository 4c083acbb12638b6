// The printer (output-driver) library as the program sees it: one run's
// PageOutputState, the records handed to the drawing entries, and the
// library's entries, one method per ordinal. No Qt type appears here.
//
// Units: vertical positions, heights and moves are in decipoints (1/720
// inch) measured from the top edge of the paper; horizontal positions in the
// stream and in picture and chart records are screen pixels at the screen's
// resolution, counted from the left margin; the x of line and box records and
// the y of every graphic record are printer pixels (x from the left margin).
// Font sizes are tenths of a point.
#pragma once

#include "platform/win/win_types.h"

#include <string>
#include <vector>

constexpr int kPageDriverApiVersion = 1;

struct PageRect {
  LONG left = 0, top = 0, right = 0, bottom = 0;
};

// One zoom level of the preview: sizes in window pixels, scroll positions.
struct PreviewZoomRecord {
  LONG pageHeight = 0, pageWidth = 0, scrollX = 0, scrollY = 0;
};

// The document's one output record, handed first to every entry.
struct PageOutputState {
  // Device.
  void* printerDC = nullptr;     // the library's open device (ordinal 9)
  void* previewDC = nullptr;     // painter the preview replays onto (ordinal 24)
  void* previewWindow = nullptr;
  LONG previewActive = 0;
  LONG previewFlag = 0;          // the run is a preview
  LONG abortWord = 0;            // set by a Cancel button: the driver stops drawing
  LONG closeWord = 1;            // zeroed when the frame closes during a preview

  // Metrics of the printer, in its pixels unless said otherwise.
  LONG physicalWidth = 0, physicalHeight = 0;
  LONG physicalOffsetX = 0, physicalOffsetY = 0;
  LONG printerResX = 0, printerResY = 0;
  LONG screenPpiX = 96, screenPpiY = 96;
  LONG previewPpiX = 96, previewPpiY = 96;
  LONG pageWidth = 0, pageHeight = 0;
  LONG topOffset = 0;            // decipoints: the physical top offset
  LONG printableHeight = 0;      // decipoints below topOffset
  LONG leftMargin = 0;           // printer pixels, less the physical offset
  LONG pitch = 10;
  LONG printQuality = 0;
  LONG yResolution = 0;

  // Fonts: a font number of the stream indexes fontFaces.
  std::vector<std::string> fontFaces;
  LONG fontCount = 0;
  LONG courierIndex = -1, courierNewIndex = -1;
  std::string lineDrawFace = "Duridev-ER";

  // Preview paging.
  LONG pageShown = 0;
  LONG pagesProduced = 1;
  LONG firstPageIndex = 0;
  LONG runningToEnd = 0;
  LONG paused = 0;
  LONG counterA = 0, counterB = 1;
  LONG zoomLevel = 0;
  PageRect wholePage;
  PreviewZoomRecord zoom[3];
  PreviewZoomRecord* currentZoom = nullptr;
  // What the preview may keep of stored pages; a page past it is refused
  // (ordinal 25 answers 0) rather than let a long report take all memory.
  size_t previewStoreLimit = size_t(256) << 20;

  // Settings handed to the library.
  LONG overPrint = 1;
  LONG minMem = 256;
  LONG fastPrint = 1;

  // Page-image export hooks.
  void* outputFile = nullptr;
  LONG currentBand = 0;
  LONG currentLayoutLine = 0;
  LONG useSystemColors = 0;
  LONG pageLength = 0;           // decipoints; 0 = the paper's
  LONG endOffset = 0;            // decipoints kept free at the page end

  // The library's own working data for the open device (ordinal 9 to 11).
  void* driverData = nullptr;
};

// Ordinal 3 answers advances in twips (1/1440 inch), finer than a screen
// pixel so that summing the characters of a field loses nothing; a field
// width in screen pixels is brought to the same unit with this.
inline LONG ScreenToDriverWidth(const PageOutputState& s, LONG screenPixels) {
  LONG ppi = s.screenPpiX > 0 ? s.screenPpiX : 96;
  return static_cast<LONG>((static_cast<long long>(screenPixels) * 1440 + ppi / 2) / ppi);
}

// Line or box (ordinals 23 and 19).
struct LineBoxRecord {
  WORD left = 0, right = 0, top = 0, bottom = 0;  // printer pixels
  WORD penWidth = 0;
  WORD penStyle = 0;      // 0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot, 5 none
  WORD attributes = 0;    // box sides: 1 left, 2 right, 4 top, 8 bottom
  COLORREF lineColour = 0, secondColour = 0, fillColour = 0xFF000000;
  COLORREF lineColourShown = 0, secondColourShown = 0, fillColourShown = 0xFF000000;
  WORD styleExtra = 255;  // fill pattern: 0-5 hatches, 255 none
};

// Picture (ordinal 20): x and width in screen pixels, y the bottom in
// printer pixels, height in screen pixels.
struct PictureRecord {
  void* image = nullptr;
  WORD x = 0, y = 0, width = 0, height = 0;
  WORD cropWidth = 0, cropHeight = 0;
  const char* fileName = nullptr;
  // The picture's own size in decipoints, finer than the screen pixels of
  // width and height; 0 where the picture keeps none.
  double exactWidth = 0, exactHeight = 0;
};

// Embedded object (ordinal 27); the trailing values belong to the client item.
struct OleItemRecord {
  void* item = nullptr;
  WORD x = 0, y = 0, width = 0, height = 0;
  WORD itemWord = 0;
  DWORD itemValues[4] = {0, 0, 0, 0};
  DWORD frameworkValue = 0;
  // What a placeholder names when no player draws the object.
  const char* label = nullptr;
};

// Chart (ordinal 29); the metafile is a picture of the window layer.
struct ChartRecord {
  void* chart = nullptr;
  WORD x = 0, y = 0, width = 0, height = 0;
  void* metafile = nullptr;
};

// The picture-library entries handed over under "pwImgFuncs": the library
// only needs to turn an image handle into pixels.
struct PageDriverImage {
  int width = 0, height = 0;
  int stride = 0;                // bytes per row
  const BYTE* pixels = nullptr;  // 32-bit 0xAARRGGBB, premultiplied not required
};
struct PageDriverImageFuncs {
  bool (*getImage)(void* handle, PageDriverImage* out) = nullptr;
  void* reserved[4] = {nullptr, nullptr, nullptr, nullptr};
};

// The library's entries. HasEntry stands in for looking an ordinal up: a
// caller skips the step when it answers false.
class PageDriver {
 public:
  virtual ~PageDriver() = default;
  // "getAPIVersion"; -1 when the library does not export it.
  virtual int ApiVersion() const = 0;
  // The major part of the library's file version (used only without getAPIVersion).
  virtual int FileVersionMajor() const { return 0; }
  virtual bool HasEntry(int ordinal) const = 0;
  // "pwImgFuncs".
  virtual void SetImageFuncs(const PageDriverImageFuncs& funcs) = 0;

  virtual void AdjustFontStyle(PageOutputState* s, int fontNumber, WORD* style) = 0;      // 1
  virtual int FontLineHeight(PageOutputState* s, int fontNumber, int style, int size,
                             int measuring) = 0;                                          // 2
  virtual int CharWidth(PageOutputState* s, int ch, int fontNumber, int style, int size) = 0;  // 3
  virtual int SetFontSize(PageOutputState* s, WORD size) = 0;                              // 4
  virtual int AdvanceBeforeLine(PageOutputState* s, int height, int visible) = 0;          // 5
  virtual int AdvanceAfterLine(PageOutputState* s, int depth, int visible) = 0;            // 6
  virtual LONG EndPage(PageOutputState* s, int send) = 0;                                  // 7
  virtual DWORD MeasureLine(PageOutputState* s, const BYTE* line, int count, int measuring) = 0;  // 8
  virtual int OpenDevice(PageOutputState* s, const BYTE* params64, const char* name,
                         LPARAM reserved1, LPARAM reserved2) = 0;                          // 9
  virtual int SpaceLeft(PageOutputState* s, int bottomMargin) = 0;                         // 10
  virtual void CloseDevice(PageOutputState* s, LONG pageStatus) = 0;                       // 11
  virtual int BeginPage(PageOutputState* s, int topStart, int send) = 0;                   // 12
  virtual int MoveDown(PageOutputState* s, int distance, int render) = 0;                  // 13
  virtual int OutputLine(PageOutputState* s, const BYTE* line, int count) = 0;             // 14
  virtual void PreviewPageFinished(PageOutputState* s) = 0;                                // 15
  virtual int RealizePalette(PageOutputState* s) = 0;                                      // 17
  virtual int EndBand(PageOutputState* s, int bandCode, int flag) = 0;                     // 18
  virtual int DrawBox(PageOutputState* s, const LineBoxRecord* r) = 0;                     // 19
  virtual int DrawPicture(PageOutputState* s, const PictureRecord* r) = 0;                 // 20
  virtual void PreviewResized(PageOutputState* s) = 0;                                     // 21
  virtual WORD CurrentY(PageOutputState* s) = 0;                                           // 22
  virtual int DrawLine(PageOutputState* s, const LineBoxRecord* r) = 0;                    // 23
  virtual int ReplayPage(PageOutputState* s, const PageRect* clip) = 0;                    // 24
  virtual int StorePage(PageOutputState* s, void* previewWindow, LONG runState) = 0;       // 25
  virtual int DrawOleItem(PageOutputState* s, const OleItemRecord* r) = 0;                 // 27
  virtual int DrawChart(PageOutputState* s, const ChartRecord* r) = 0;                     // 29
};

// The built-in library for a path whose file name is the program's printer
// library (or an empty path); null when nothing answers to the path.
PageDriver* OpenPageDriverModule(const char* path);
void ClosePageDriverModule(PageDriver* driver);
// The file name of the built-in library.
const char* PageDriverModuleName();

// The parameter record of ordinal 9 is 64 bytes; only its last two 32-bit
// fields carry values: the viewer export's job value and the left margin in
// hundredths of an inch.
constexpr int kOpenDeviceParamsSize = 64;
