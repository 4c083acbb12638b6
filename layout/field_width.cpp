#include "layout/field_width.h"

#include "expr/value_format.h"
#include "foundation/units.h"
#include "core/composite.h"
#include "platform/printer/page_driver.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr uint32_t kNoUnitKinds = 0x30304;   // numbers, logicals, dates, date-times, times
constexpr uint32_t kPictureKinds = 0x30204;  // kinds whose sample is their picture

WORD Word16(long v) { return static_cast<WORD>(v < 0 ? 0 : v > 65535 ? 65535 : v); }

void SetChars(FieldDef& f, int chars) {
  chars = std::max(0, std::min(chars, kMaxFieldChars));
  f.head.width = static_cast<uint8_t>(chars);
  f.displayWidth = static_cast<uint32_t>(chars);
}

// The picture text cut to what the caller's buffer holds.
int PictureText(const FormatSettings& fmt, FieldDef& f, unsigned char fill, char* buffer) {
  char picture[4096];
  picture[0] = 0;
  BuildFieldPicture(fmt, &f, picture, nullptr, fill);
  const size_t n = std::min(std::strlen(picture), static_cast<size_t>(kMaxFieldChars));
  std::memcpy(buffer, picture, n);
  buffer[n] = 0;
  return static_cast<int>(n);
}
}  // namespace

int FieldWidthUnit(const FieldDef& f) {
  return (f.flags2 & kField2WidthHundredths) ? kMeasureHundredths : kMeasureTenthsMm;
}

int FieldWidthHundredths(const FieldDef& f) {
  if (!HasUnitWidth(f) || f.head.measuredWidth <= 0) return 0;
  // The width is a 16-bit measure; a larger stored value counts as the largest.
  if (FieldWidthUnit(f) == kMeasureHundredths) return Word16(f.head.measuredWidth);
  return static_cast<int>(ConvertMeasure(Word16(f.head.measuredWidth), kMeasureHundredths, kMeasureTenthsMm, 10, 0));
}

void SetFieldWidth(FieldDef& f, int chars, bool fixed, int measure, int pitch) {
  SetChars(f, chars);
  f.flags2 &= ~kField2WidthUnits;
  f.head.measuredWidth = 0;
  if (fixed || (f.flags & kNoUnitKinds) != 0) return;
  const int unit = measure ? kMeasureHundredths : kMeasureTenthsMm;
  f.head.measuredWidth = static_cast<int32_t>(ConvertMeasure(f.head.width, unit, kMeasureChars, pitch, 0));
  f.flags2 |= measure ? kField2WidthHundredths : kField2WidthTenthsMm;
}

int CalcFieldFillText(const FormatSettings& fmt, FieldDef& f, bool measured, unsigned char fill, char* buffer,
                      const FillTextDriver& d) {
  std::memset(buffer, 0, kFillTextSize);
  if ((f.flags & kPictureKinds) != 0 || !measured) return PictureText(fmt, f, fill, buffer);
  const int hundredths = FieldWidthHundredths(f);
  int n = 0;
  if (d.driver != nullptr && d.driver->HasEntry(3) && d.driver->HasEntry(4) && hundredths > 0) {
    long remaining = d.driver->SetFontSize(d.state, Word16(hundredths));
    // A character the library cannot measure (width 0 or less) would never
    // use up the width: the 254-character cap ends the loop.
    while (n < kMaxFieldChars) {
      const int w = d.driver->CharWidth(d.state, fill, f.head.fontIndex, f.head.fontStyle & 0x0F, f.head.pointSize);
      if (w >= remaining) break;
      buffer[n++] = static_cast<char>(fill);
      remaining -= w;
    }
    if (n == 0) buffer[n++] = static_cast<char>(fill);
  } else {
    n = std::min<int>(f.head.width, kMaxFieldChars);
    std::memset(buffer, fill, static_cast<size_t>(n));
  }
  buffer[n] = 0;
  return n;
}

int GetObjectWidth(const FormatSettings& fmt, FieldDef& f) {
  if ((f.flags & kPictureKinds) == 0) return f.head.width;
  char buffer[kFillTextSize];
  return CalcFieldFillText(fmt, f, false, ' ', buffer);
}

int FieldAlignment(const FieldDef& f) {
  auto nibble = [](uint32_t v) { return v ? static_cast<int>(v) - 1 : 0; };
  const uint32_t kind = f.flags & kFieldKindMask;
  // A number prints right-aligned unless its format says left or centred.
  if (kind & kFieldNumeric) {
    const uint32_t a = (f.formatCode >> 12) & 0xF;
    return a == 1 ? 0 : a == 2 ? 1 : 2;
  }
  if (kind & (kFieldDate | kFieldDateTime | kFieldTime)) return nibble((f.formatCode >> 8) & 0xF);
  const uint32_t style = (f.formatCode >> 4) & 0xF;
  if (style == 4) {  // the stretching kind
    const uint32_t third = (f.formatCode >> 8) & 0xF;
    return third == 2 ? 0 : nibble(third);
  }
  return nibble(style);
}

int PlacedFieldChars(const FormatSettings& fmt, const FieldDef& f, int chars) {
  if (FieldKind(&f) != kFieldLogical) return chars;
  const int texts = static_cast<int>(std::max(strnlen(fmt.logT, sizeof fmt.logT), strnlen(fmt.logF, sizeof fmt.logF)));
  return std::max(chars, std::min(texts, kLogicalFieldChars));
}

void UpdateUnitFieldWidths(CKmComposite* model, int pitch, const std::function<void(FieldDef&)>& sizeToText) {
  if (model == nullptr) return;
  for (FieldDef* f = model->fieldList; f != nullptr; f = f->next) {
    if (!HasUnitWidth(*f)) continue;
    const int unit = FieldWidthUnit(*f);
    if (f->head.measuredWidth <= 0)
      f->head.measuredWidth = static_cast<int32_t>(ConvertMeasure(f->head.width, unit, kMeasureChars, 10, 0));
    int chars = static_cast<int>(ConvertMeasure(Word16(f->head.measuredWidth), kMeasureChars, unit, pitch, 0));
    SetChars(*f, std::max(chars, 1));
    if ((f->flags & kFieldLogical) && f->head.width > kLogicalFieldChars) {
      SetChars(*f, kLogicalFieldChars);
      f->head.measuredWidth =
          static_cast<int32_t>(ConvertMeasure(kLogicalFieldChars, unit, kMeasureChars, pitch, 0));
    }
    if (sizeToText) sizeToText(*f);
  }
}
