#include "foundation/units.h"

#include "platform/win/muldiv.h"

#include <cstdint>

namespace {
const PaperSize kPapers[] = {
    {850, 1100, 2159, 2794},  // Letter
    {850, 1400, 2159, 3556},  // Legal
    {725, 1050, 1840, 2670},  // Executive
    {830, 1170, 2100, 2970},  // A4
};

UINT Cap(uint64_t v) { return v > 65535 ? 65535u : static_cast<UINT>(v); }

// Tenths of a millimetre to hundredths of an inch.
uint64_t TenthsToHundredths(uint64_t v) { return (v * 3937 + 5000) / 10000; }

int Pitch(const LayoutMetrics& m) { return GridPitch(m); }
int LinesPerInch(const LayoutMetrics& m) { return GridLinesPerInch(m); }
int AtLeastOne(int v) { return v < 1 ? 1 : v; }
}  // namespace

int GridPitch(const LayoutMetrics& m) { return m.pitch > 0 ? m.pitch : 10; }
int GridLinesPerInch(const LayoutMetrics& m) { return m.linesPerInch > 0 ? m.linesPerInch : 10; }

const PaperSize* PaperByCode(int code) {
  return (code >= kPaperLetter && code <= kPaperA4) ? &kPapers[code - kPaperLetter] : nullptr;
}

UINT ConvertMeasure(WORD value, int to, int from, int pitch, int landscape) {
  if (pitch == 0) pitch = 10;
  const uint64_t p = static_cast<uint16_t>(pitch * 100);
  uint64_t v = value;
  if (const PaperSize* paper = PaperByCode(from)) {
    // A paper source gives its width (the long side in landscape) in the target unit.
    WORD hundredths = landscape ? paper->heightHundredths : paper->widthHundredths;
    WORD tenths = landscape ? paper->heightTenthsMm : paper->widthTenthsMm;
    if (to == kMeasureTenthsMm) return tenths;
    if (to == kMeasureChars) return static_cast<UINT>((p * hundredths + 5000) / 10000);
    return hundredths;
  }
  if (to == from || p == 0) return value;
  const uint64_t h = TenthsToHundredths(v);
  switch (to) {
    case kMeasureChars:
      if (from == kMeasureHundredths) return static_cast<UINT>((p * v + 5000) / 10000);
      if (from == kMeasureTenthsMm) return static_cast<UINT>((p * h) / 10000);
      break;
    case kMeasureHundredths:
      if (from == kMeasureTenthsMm) return static_cast<UINT>(h);
      if (from == kMeasureChars) return static_cast<UINT>((v * 10000 + p / 2) / p);
      break;
    case kMeasureTenthsMm:
      if (from == kMeasureHundredths) return static_cast<UINT>((v * 10000 + 1968) / 3937);
      if (from == kMeasureChars) return static_cast<UINT>(((v * 10000 + p / 2) / p) * 10000 / 3937);
      break;
    default:
      break;
  }
  return value;
}

UINT ConvertVertMeasure(WORD value, int to, int from, int landscape) {
  if (const PaperSize* target = PaperByCode(to))
    return landscape ? target->widthHundredths : target->heightHundredths;
  if (to == from) return value;
  const uint64_t v = value;
  const uint64_t h = TenthsToHundredths(v);
  const PaperSize* paper = PaperByCode(from);
  const uint64_t H = paper == nullptr ? 0 : (landscape ? paper->widthHundredths : paper->heightHundredths);
  switch (to) {
    case kVertHundredths:
      if (from == kVertLines) return Cap((v * 100 + 3) / 6);
      if (from == kVertTenthsMm) return static_cast<UINT>(h);
      if (paper != nullptr) return static_cast<UINT>(H);
      if (from == kVert720) return Cap((v * 10 + 36) / 72);
      break;
    case kVertLines:
      if (from == kVertHundredths) return static_cast<UINT>((v * 6 + 50) / 100);
      if (from == kVertTenthsMm) return static_cast<UINT>((h * 6 + 50) / 100);
      if (paper != nullptr) return static_cast<UINT>((H * 6 + 50) / 100);
      break;
    case kVertTenthsMm:
      if (from == kVertHundredths) return static_cast<UINT>((v * 10000 + 1968) / 3937);
      if (from == kVertLines) return static_cast<UINT>(((v * 100 + 3) / 6) * 10000 / 3937);
      if (paper != nullptr) return landscape ? paper->widthTenthsMm : paper->heightTenthsMm;
      if (from == kVert720) return static_cast<UINT>((((v * 10) / 72) * 10000 + 1968) / 3937);
      break;
    case kVert720:
      if (from == kVertHundredths) return Cap(v * 72 / 10);
      if (from == kVertTenthsMm) return Cap(h * 72 / 10);
      break;
    default:
      break;
  }
  return value;
}

int CharCellWidth(const LayoutMetrics& m, int n) {
  const int pitch = Pitch(m);
  return n * AtLeastOne((m.dpiX - 1 + pitch) / pitch);
}

unsigned PixelsToChars(const LayoutMetrics& m, unsigned x) {
  const int pitch = Pitch(m);
  return x / static_cast<unsigned>(AtLeastOne((m.dpiX + pitch / 2) / pitch));
}

int ScaleToCellGrid(const LayoutMetrics& m, int x) {
  return MulDiv(CharCellWidth(m, 1) * Pitch(m), x, AtLeastOne(m.dpiX));
}

int SnapToCharCell(const LayoutMetrics& m, int x) {
  const int cell = CharCellWidth(m, 1);
  int r = x % cell;
  if (r < 0) r += cell;
  int base = x - r;
  // Exactly half a cell rounds down.
  return 2 * r > cell ? base + cell : base;
}

int LineHeightPixels(const LayoutMetrics& m) {
  const int lpi = LinesPerInch(m);
  return AtLeastOne((m.dpiY + lpi / 2) / lpi);
}

int DecipointsToPixels(const LayoutMetrics& m, int v) {
  return static_cast<int>((static_cast<int64_t>(m.dpiY) * ScaleToCellGrid(m, v) + 360) / 720);
}

UINT PixelsToMeasureY(const LayoutMetrics& m, int y) {
  // In 64 bits: a position far down a long report does not overflow.
  const int64_t wide = static_cast<int64_t>(y) * 100 / AtLeastOne(m.dpiY);
  if (wide < 0) return 0;
  const int hundredths = wide > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(wide);
  if (!m.metric) return static_cast<UINT>(hundredths);
  return ConvertVertMeasure(static_cast<WORD>(hundredths > 65535 ? 65535 : hundredths), kVertTenthsMm,
                            kVertHundredths, 0);
}

UINT PixelsToMeasure(const LayoutMetrics& m, int x) {
  const int64_t grid = static_cast<int64_t>(CharCellWidth(m, 1)) * Pitch(m);
  const int64_t cells = (static_cast<int64_t>(m.dpiX) * x - 1 + grid) / grid;
  const int64_t hundredths = cells * 100 / AtLeastOne(m.dpiX);
  if (hundredths < 0) return 0;
  if (!m.metric) return static_cast<UINT>(hundredths);
  return ConvertMeasure(static_cast<WORD>(hundredths > 65535 ? 65535 : hundredths), kMeasureTenthsMm,
                        kMeasureHundredths, Pitch(m), 0);
}

int RoundUpToLine(const LayoutMetrics& m, int y) {
  if (!m.snapping) return y;
  const int line = LineHeightPixels(m);
  int r = y % line;
  if (r < 0) r += line;
  return r == 0 ? y : y + (line - r);
}

int PixelsTo720(const LayoutMetrics& m, int y) { return MulDiv(720, y, AtLeastOne(m.dpiY)); }

UINT PixelsToDisplayUnits(const LayoutMetrics& m, int kind, int y) {
  if (!m.snapping) return kind == 2 ? PixelsToMeasureY(m, y) : static_cast<UINT>(PixelsTo720(m, y));
  int hundredths = MulDiv(RoundUpToLine(m, y), 100, AtLeastOne(RoundUpToLine(m, m.dpiY)));
  if (hundredths < 0) hundredths = 0;
  WORD h = static_cast<WORD>(hundredths > 65535 ? 65535 : hundredths);
  if (kind == 1) return ConvertVertMeasure(h, kVert720, kVertHundredths, 0);
  if (m.metric) return ConvertVertMeasure(h, kVertTenthsMm, kVertHundredths, 0);
  return h;
}

int MeasureToPixelsY(const LayoutMetrics& m, UINT v, int kind) {
  const int64_t inch = RoundUpToLine(m, m.dpiY);
  if (kind == 1) return static_cast<int>((static_cast<int64_t>(v) * inch + 360) / 720);
  int64_t hundredths = v;
  if (m.metric) hundredths = ConvertVertMeasure(static_cast<WORD>(v > 65535 ? 65535 : v), kVertHundredths, kVertTenthsMm, 0);
  return static_cast<int>((hundredths * inch + 50) / 100);
}

int HundredthsToPixelsX(const LayoutMetrics& m, int v) { return MulDiv(v, m.dpiX, 100); }

int LineTopInBand(int bottom, int pixelHeight, int lineHeight, int y) {
  if (lineHeight < 1) return bottom;
  for (int top = bottom - pixelHeight; top < bottom; top += lineHeight)
    if (y >= top && y <= top + lineHeight) return top;
  return bottom;
}

int NearestLineInBand(int bottom, int pixelHeight, int lineHeight, int y) {
  if (lineHeight < 1) return bottom;
  for (int top = bottom - pixelHeight; top < bottom; top += lineHeight)
    if (y >= top && y <= top + lineHeight) return (y - top) <= (top + lineHeight - y) ? top : top + lineHeight;
  return bottom;
}
