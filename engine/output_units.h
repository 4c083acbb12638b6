// Conversions between the lengths of band output: layout pixels, screen
// pixels, printer pixels and decipoints (1/720 inch).
#pragma once

#include "foundation/units.h"
#include "platform/win/win_types.h"

// The inputs, read at the time of each call: the screen's resolution and the
// report's pitch and lines per inch (the layout grid), and the printer's
// resolution.
struct OutputUnits {
  LayoutMetrics layout;
  WORD printerX = 0, printerY = 0;    // printer pixels per inch
};

// Every conversion takes its length as an unsigned 16-bit value (the high
// half is ignored). A conversion whose divisor comes out 0 (a resolution of
// 0) answers 0 rather than dividing by it.
LONG ScreenToPrinterX(const OutputUnits& u, DWORD v);
LONG ScreenToPrinterY(const OutputUnits& u, DWORD v);
LONG DecipointsToPrinterY(const OutputUnits& u, DWORD v);
LONG PixelsToDecipointsY(const OutputUnits& u, DWORD v);
LONG PixelsToDecipointsYUp(const OutputUnits& u, DWORD v);
LONG LayoutToScreenY(const OutputUnits& u, DWORD v);
LONG LayoutToScreenYMulDiv(const OutputUnits& u, DWORD v);
LONG LayoutToScreenYUp(const OutputUnits& u, DWORD v);
LONG ToDeviceX(const OutputUnits& u, DWORD v);
// ToDeviceX with its divisor worked out once, for the many items of a line.
class DeviceXScale {
 public:
  explicit DeviceXScale(const OutputUnits& u);
  LONG operator()(DWORD v) const;
  bool operator==(const DeviceXScale& o) const { return dpi_ == o.dpi_ && cell_ == o.cell_; }

 private:
  LONG dpi_, cell_;
};
// An item's right edge to output x.
LONG ObjectToDeviceX(const DeviceXScale& toDeviceX, DWORD rightEdge, LONG offset);
// For a line or box: from the item's edge down to its end line's bottom,
// where one line of the end line's pixel height is unitsPerLine (120 when 0);
// an end line of height 0 counts as a sixth of an inch of screen.
LONG DistanceToLineBottom(const OutputUnits& u, LONG endLineBottom, LONG endLineHeight, LONG itemEdge,
                          LONG unitsPerLine);
