#include "engine/field_text_lines.h"

#include "engine/band_output.h"
#include "engine/line_text.h"
#include "engine/output_stream.h"
#include "engine/output_units.h"
#include "core/fields.h"
#include "model/memo_text.h"

#include <algorithm>

namespace {

constexpr int kCharWidthEntry = 3;
constexpr long kTwipsPerInch = 1440;

// The characters from p that fit in width twips (at least one, and never
// past a line end).
size_t FittingChars(ReportRun* run, const ItemOutput& it, int defaultSize, size_t p, long width) {
  const std::string& text = it.wrapText;
  long used = 0;
  size_t j = p;
  while (j < text.size() && text[j] != kMemoLineEnd) {
    int font = 0, size = 0;
    size_t at = j;
    const WORD cell = NextFieldChar(it, *it.head, defaultSize, &at, &font, &size);
    const int w = run->driver->CharWidth(run->page, cell & 0xFF, font, (cell >> 8) & 0x07, size);
    used += std::max(0, w);
    if (used > width) break;
    j = at;
  }
  return std::max<size_t>(1, j - p);
}

bool CanMeasureChars(const ReportRun* run) {
  return run != nullptr && run->driver != nullptr && run->page != nullptr && run->band != nullptr &&
         run->driver->HasEntry(kCharWidthEntry);
}

// The item's width on the page in twips, the unit the library measures
// characters in.
long ItemWidthTwips(const ReportRun* run, const ReportItemHead& h) {
  const OutputUnits& units = run->band->units;
  const int dpi = units.layout.dpiX > 0 ? units.layout.dpiX : 96;
  const LONG pixels = ToDeviceX(units, static_cast<DWORD>(std::max(0, h.right - h.left + 1)));
  return static_cast<long>(pixels) * kTwipsPerInch / dpi;
}

// A memo's style byte as the printed style bits: its own bits, none for
// "normal", the field's for a character no code touched.
int PrintedStyle(BYTE memoStyle, int fieldStyle) {
  if (memoStyle & kMemoDefault) return fieldStyle;
  if (memoStyle & kMemoNormal) return 0;
  return memoStyle & (kMemoBold | kMemoItalic | kMemoUnderline);
}

}  // namespace

WORD NextFieldChar(const ItemOutput& it, const ReportItemHead& h, int defaultSize, size_t* pos, int* font,
                   int* size) {
  const size_t p = *pos;
  if (p >= it.wrapText.size()) return 0;
  ++*pos;
  const unsigned char c = static_cast<unsigned char>(it.wrapText[p]);
  int style = h.fontStyle & 0x0F;
  *font = h.fontIndex;
  *size = h.pointSize > 0 ? h.pointSize : defaultSize;
  if (p < it.wrapStyles.size() && p < it.wrapAttrs.size()) {
    style = PrintedStyle(it.wrapStyles[p], style);
    const uint32_t a = it.wrapAttrs[p];
    *font = static_cast<int>(a & 0xFFFF);
    if ((a >> 16) != 0) *size = static_cast<int>(a >> 16);
  }
  return static_cast<WORD>(c | ((style & kCellStyleBits) << 8));
}

std::string LayoutFieldLine(ReportRun* run, ItemOutput& it, const FieldDef& field, int defaultSize,
                            int widthInChars) {
  const ReportItemHead& h = *it.head;
  const bool measured = (field.flags3word & kFieldMeasuredWidth) != 0 && CanMeasureChars(run);
  // A line holds as many characters as the line builder has cells for.
  constexpr int kLineChars = kFieldCells - 1;
  if (!measured || it.wrapPos >= it.wrapText.size())
    return NextWrappedLine(it.wrapText, &it.wrapPos, std::min(widthInChars, kLineChars));
  const size_t fits = FittingChars(run, it, defaultSize, it.wrapPos, ItemWidthTwips(run, h));
  return NextWrappedLine(it.wrapText, &it.wrapPos, static_cast<int>(std::min<size_t>(fits, kLineChars)));
}

int FittedTextLength(ReportRun* run, const FieldDef& field, int defaultSize, const char* text, int length) {
  const ReportItemHead& h = field.head;
  const bool measured = CanMeasureChars(run);
  const long width = measured ? ItemWidthTwips(run, h) : static_cast<long>(field.displayWidth);
  const int size = h.pointSize > 0 ? h.pointSize : defaultSize;
  long used = 0;
  int at = 0;
  while (at < length) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    used += measured ? std::max(0, run->driver->CharWidth(run->page, c, h.fontIndex, h.fontStyle & 0x07, size)) : 1;
    if (used > width) break;
    at += c == 27 && at + 1 < length && static_cast<unsigned char>(text[at + 1]) == 27 ? 2 : 1;
  }
  return at;
}
