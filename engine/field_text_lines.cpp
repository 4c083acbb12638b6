#include "engine/field_text_lines.h"

#include "engine/band_output.h"
#include "engine/line_text.h"
#include "engine/output_units.h"
#include "core/fields.h"
#include "model/memo_text.h"

#include <algorithm>

namespace {

constexpr int kCharWidthEntry = 3;
constexpr long kTwipsPerInch = 1440;

// The characters from p that fit in width twips (at least one, and never
// past a line end).
size_t FittingChars(ReportRun* run, const ReportItemHead& h, int size, const std::string& text, size_t p,
                    long width) {
  const int style = h.fontStyle & 0x0F;
  long used = 0;
  size_t j = p;
  for (; j < text.size() && text[j] != kMemoLineEnd; ++j) {
    const int w = run->driver->CharWidth(run->page, static_cast<unsigned char>(text[j]), h.fontIndex, style, size);
    used += std::max(0, w);
    if (used > width) break;
  }
  return std::max<size_t>(1, j - p);
}

}  // namespace

std::string LayoutFieldLine(ReportRun* run, const FieldDef& field, const ReportItemHead& h, int defaultSize,
                            const std::string& text, size_t* pos, int widthInChars) {
  const bool measured = (field.flags3word & kFieldMeasuredWidth) != 0 && run != nullptr && run->driver != nullptr &&
                        run->page != nullptr && run->band != nullptr && run->driver->HasEntry(kCharWidthEntry);
  if (!measured || *pos >= text.size()) return NextWrappedLine(text, pos, widthInChars);
  const OutputUnits& units = run->band->units;
  const int dpi = units.layout.dpiX > 0 ? units.layout.dpiX : 96;
  const LONG pixels = ToDeviceX(units, static_cast<DWORD>(std::max(0, h.right - h.left + 1)));
  const long width = static_cast<long>(pixels) * kTwipsPerInch / dpi;
  const int size = h.pointSize > 0 ? h.pointSize : defaultSize;
  const size_t fits = FittingChars(run, h, size, text, *pos, width);
  return NextWrappedLine(text, pos, static_cast<int>(std::min<size_t>(fits, 0x7FFF)));
}
