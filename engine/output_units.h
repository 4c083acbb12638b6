// Conversions between the lengths of band output: layout pixels, screen
// pixels, printer pixels and decipoints (1/720 inch).
#pragma once

#include "platform/win/win_types.h"

// The inputs, read at the time of each call.
struct OutputUnits {
  WORD screenX = 96, screenY = 96;    // screen pixels per inch
  WORD printerX = 0, printerY = 0;    // printer pixels per inch
  LONG pitch = 10;                    // characters per inch
  LONG linesPerInch = 6;
};

// One character cell in layout pixels (rounded up) and one text line
// (rounded to nearest); 0 when the pitch or lines per inch is not above 0.
LONG CharCellWidthOne(const OutputUnits& u);
LONG LineHeightPixelsOf(const OutputUnits& u);

// Every conversion takes its length as an unsigned 16-bit value (the high
// half is ignored). A conversion whose divisor comes out 0 (a resolution,
// pitch or lines per inch of 0) answers 0 rather than dividing by it.
LONG ScreenToPrinterX(const OutputUnits& u, DWORD v);
LONG ScreenToPrinterY(const OutputUnits& u, DWORD v);
LONG DecipointsToPrinterY(const OutputUnits& u, DWORD v);
LONG PixelsToDecipointsY(const OutputUnits& u, DWORD v);
LONG PixelsToDecipointsYUp(const OutputUnits& u, DWORD v);
LONG LayoutToScreenY(const OutputUnits& u, DWORD v);
LONG LayoutToScreenYMulDiv(const OutputUnits& u, DWORD v);
LONG LayoutToScreenYUp(const OutputUnits& u, DWORD v);
LONG ToDeviceX(const OutputUnits& u, DWORD v);
// An item's right edge to output x.
LONG ObjectToDeviceX(const OutputUnits& u, DWORD rightEdge, LONG offset);
// For a line or box: from the item's edge down to its end line's bottom,
// where one line of the end line's pixel height is unitsPerLine (120 when 0);
// an end line of height 0 counts as a sixth of an inch of screen.
LONG DistanceToLineBottom(const OutputUnits& u, LONG endLineBottom, LONG endLineHeight, LONG itemEdge,
                          LONG unitsPerLine);
