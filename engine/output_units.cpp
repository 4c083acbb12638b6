#include "engine/output_units.h"

#include "platform/win/muldiv.h"

#include <algorithm>

namespace {

LONG Arg(DWORD v) { return static_cast<LONG>(v & 0xFFFF); }

LONG SafeMulDiv(LONG a, LONG b, LONG c) { return c == 0 ? 0 : MulDiv(a, b, c); }

LONG ScreenX(const OutputUnits& u) { return u.layout.dpiX; }
LONG ScreenY(const OutputUnits& u) { return u.layout.dpiY; }
LONG Pitch(const OutputUnits& u) { return GridPitch(u.layout); }
LONG LinesPerInch(const OutputUnits& u) { return GridLinesPerInch(u.layout); }

// The layout grid's rounded inch: one text line in layout pixels times lines per inch.
LONG LayoutInchY(const OutputUnits& u) { return LineHeightPixels(u.layout) * LinesPerInch(u); }

}  // namespace

LONG ScreenToPrinterX(const OutputUnits& u, DWORD v) { return SafeMulDiv(u.printerX, Arg(v), ScreenX(u)); }
LONG ScreenToPrinterY(const OutputUnits& u, DWORD v) { return SafeMulDiv(u.printerY, Arg(v), ScreenY(u)); }
LONG DecipointsToPrinterY(const OutputUnits& u, DWORD v) { return SafeMulDiv(Arg(v), u.printerY, 720); }
LONG PixelsToDecipointsY(const OutputUnits& u, DWORD v) { return SafeMulDiv(720, Arg(v), ScreenY(u)); }

LONG PixelsToDecipointsYUp(const OutputUnits& u, DWORD v) {
  LONG r = ScreenY(u);
  return r == 0 ? 0 : (Arg(v) * 720 + r - 1) / r;
}

LONG LayoutToScreenY(const OutputUnits& u, DWORD v) {
  LONG d = LayoutInchY(u);
  return d == 0 ? 0 : (ScreenY(u) * Arg(v) + d / 2) / d;
}

LONG LayoutToScreenYMulDiv(const OutputUnits& u, DWORD v) { return SafeMulDiv(ScreenY(u), Arg(v), LayoutInchY(u)); }

LONG LayoutToScreenYUp(const OutputUnits& u, DWORD v) {
  LONG d = LayoutInchY(u);
  return d == 0 ? 0 : (ScreenY(u) * Arg(v) + d - 1) / d;
}

LONG ToDeviceX(const OutputUnits& u, DWORD v) { return DeviceXScale(u)(v); }

DeviceXScale::DeviceXScale(const OutputUnits& u) : dpi_(ScreenX(u)), cell_(CharCellWidth(u.layout, 1) * Pitch(u)) {}

LONG DeviceXScale::operator()(DWORD v) const { return SafeMulDiv(dpi_, Arg(v), cell_); }

LONG ObjectToDeviceX(const DeviceXScale& toDeviceX, DWORD rightEdge, LONG offset) {
  return toDeviceX(rightEdge) + offset;
}

LONG DistanceToLineBottom(const OutputUnits& u, LONG endLineBottom, LONG endLineHeight, LONG itemEdge,
                          LONG unitsPerLine) {
  LONG height = endLineHeight != 0 ? endLineHeight : ScreenY(u) / 6;
  return SafeMulDiv(std::max<LONG>(0, endLineBottom - itemEdge), unitsPerLine ? unitsPerLine : 120, height);
}
