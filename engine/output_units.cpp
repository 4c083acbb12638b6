#include "engine/output_units.h"

#include "platform/win/muldiv.h"

#include <algorithm>

namespace {

LONG Arg(DWORD v) { return static_cast<LONG>(v & 0xFFFF); }

LONG SafeMulDiv(LONG a, LONG b, LONG c) { return c == 0 ? 0 : MulDiv(a, b, c); }

// The layout grid's rounded inch: one text line in layout pixels times lines per inch.
LONG LayoutInchY(const OutputUnits& u) { return LineHeightPixelsOf(u) * u.linesPerInch; }

}  // namespace

LONG CharCellWidthOne(const OutputUnits& u) {
  if (u.pitch <= 0) return 0;
  return (u.screenX + u.pitch - 1) / u.pitch;
}

LONG LineHeightPixelsOf(const OutputUnits& u) {
  if (u.linesPerInch <= 0) return 0;
  return (u.screenY + u.linesPerInch / 2) / u.linesPerInch;
}

LONG ScreenToPrinterX(const OutputUnits& u, DWORD v) { return SafeMulDiv(u.printerX, Arg(v), u.screenX); }
LONG ScreenToPrinterY(const OutputUnits& u, DWORD v) { return SafeMulDiv(u.printerY, Arg(v), u.screenY); }
LONG DecipointsToPrinterY(const OutputUnits& u, DWORD v) { return SafeMulDiv(Arg(v), u.printerY, 720); }
LONG PixelsToDecipointsY(const OutputUnits& u, DWORD v) { return SafeMulDiv(720, Arg(v), u.screenY); }

LONG PixelsToDecipointsYUp(const OutputUnits& u, DWORD v) {
  LONG r = u.screenY;
  return r == 0 ? 0 : (Arg(v) * 720 + r - 1) / r;
}

LONG LayoutToScreenY(const OutputUnits& u, DWORD v) {
  LONG d = LayoutInchY(u);
  return d == 0 ? 0 : (u.screenY * Arg(v) + d / 2) / d;
}

LONG LayoutToScreenYMulDiv(const OutputUnits& u, DWORD v) { return SafeMulDiv(u.screenY, Arg(v), LayoutInchY(u)); }

LONG LayoutToScreenYUp(const OutputUnits& u, DWORD v) {
  LONG d = LayoutInchY(u);
  return d == 0 ? 0 : (u.screenY * Arg(v) + d - 1) / d;
}

LONG ToDeviceX(const OutputUnits& u, DWORD v) {
  return SafeMulDiv(u.screenX, Arg(v), CharCellWidthOne(u) * u.pitch);
}

LONG ObjectToDeviceX(const OutputUnits& u, DWORD rightEdge, LONG offset) { return ToDeviceX(u, rightEdge) + offset; }

LONG DistanceToLineBottom(const OutputUnits& u, LONG endLineBottom, LONG endLineHeight, LONG itemEdge,
                          LONG unitsPerLine) {
  LONG height = endLineHeight != 0 ? endLineHeight : u.screenY / 6;
  return SafeMulDiv(std::max<LONG>(0, endLineBottom - itemEdge), unitsPerLine ? unitsPerLine : 120, height);
}
