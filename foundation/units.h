// Measures: the user's system (hundredths of an inch or tenths of a
// millimetre), character cells at a ruler pitch and lines at a line rate, and
// screen pixels; the four built-in paper sizes.
#pragma once

#include "platform/win/win_types.h"

// Horizontal unit codes of ConvertMeasure (3 to 6 as a source name a paper).
constexpr int kMeasureChars = 0;
constexpr int kMeasureHundredths = 1;
constexpr int kMeasureTenthsMm = 2;
// Vertical unit codes of ConvertVertMeasure (3 to 6 name a paper).
constexpr int kVertHundredths = 0;
constexpr int kVertLines = 1;
constexpr int kVertTenthsMm = 2;
constexpr int kVert720 = 10;
constexpr int kPaperLetter = 3;
constexpr int kPaperLegal = 4;
constexpr int kPaperExecutive = 5;
constexpr int kPaperA4 = 6;

struct PaperSize {
  WORD widthHundredths, heightHundredths;
  WORD widthTenthsMm, heightTenthsMm;
};
// The paper of code 3 to 6, or null for any other code.
const PaperSize* PaperByCode(int code);

// Horizontal conversion of a 16-bit value; a pair it does not handle, or to
// equal to from, gives the value unchanged. Pitch 0 means 10.
UINT ConvertMeasure(WORD value, int to, int from, int pitch, int landscape);
// Vertical conversion; some results are capped at 65535. A paper code as the
// target gives that paper's height in hundredths whatever the source.
UINT ConvertVertMeasure(WORD value, int to, int from, int landscape);

// The document's screen and grid values the pixel metrics use. A pitch or line
// rate of 0 counts as 10 and every divisor is at least 1, so no setting read
// from a file can divide by zero.
struct LayoutMetrics {
  int dpiX = 96;
  int dpiY = 96;
  int pitch = 10;         // characters per inch of the horizontal grid
  int linesPerInch = 6;   // lines per inch of the vertical grid
  bool snapping = true;   // grid snapping switched on
  bool metric = false;    // the document's measurement system is metric
};

// The grid's pitch and line rate; 0 or less (a damaged setting) counts as 10.
int GridPitch(const LayoutMetrics& m);
int GridLinesPerInch(const LayoutMetrics& m);
int CharCellWidth(const LayoutMetrics& m, int n);
unsigned PixelsToChars(const LayoutMetrics& m, unsigned x);
int ScaleToCellGrid(const LayoutMetrics& m, int x);
int SnapToCharCell(const LayoutMetrics& m, int x);
int LineHeightPixels(const LayoutMetrics& m);
int DecipointsToPixels(const LayoutMetrics& m, int v);
UINT PixelsToMeasureY(const LayoutMetrics& m, int y);
UINT PixelsToMeasure(const LayoutMetrics& m, int x);
int RoundUpToLine(const LayoutMetrics& m, int y);
int PixelsTo720(const LayoutMetrics& m, int y);
UINT PixelsToDisplayUnits(const LayoutMetrics& m, int kind, int y);
int MeasureToPixelsY(const LayoutMetrics& m, UINT v, int kind);
int HundredthsToPixelsX(const LayoutMetrics& m, int v);

// A band line's raster runs from bottom - height down the page in steps of the
// line height. For the step holding y (ends included): its upper end, or the
// nearer end (a tie gives the upper one); the bottom when no step holds y.
int LineTopInBand(int bottom, int pixelHeight, int lineHeight, int y);
int NearestLineInBand(int bottom, int pixelHeight, int lineHeight, int y);
