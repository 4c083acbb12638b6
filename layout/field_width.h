// Field widths: the width in characters, the optional width kept in the
// user's measure (so a field keeps its printed size when the ruler pitch
// changes), and the sample text a field shows in the layout and the Test
// Pattern.
#pragma once

#include "core/fields.h"

#include <cstdint>
#include <functional>

struct FormatSettings;
struct PageOutputState;
class PageDriver;
class CKmComposite;

// Bits of FieldDef::flags2 telling the unit of ReportItemHead::measuredWidth.
// The report file keeps them in the field's second flag word; 1 and 4 are the
// values its older readers give a wrapped text field.
constexpr uint32_t kField2WidthHundredths = 0x1;  // hundredths of an inch
constexpr uint32_t kField2WidthTenthsMm = 0x4;    // tenths of a millimetre
constexpr uint32_t kField2WidthUnits = kField2WidthHundredths | kField2WidthTenthsMm;

constexpr int kMaxFieldChars = 254;
constexpr int kLogicalFieldChars = 15;  // the longest true/false text
constexpr int kFillTextSize = 255;      // bytes CalcFieldFillText writes
constexpr unsigned char kLayoutFieldFill = 'X';  // what a field's sample is made of on the layout

// True when the field's width is kept in a unit (and that unit width is set
// or still to be computed).
inline bool HasUnitWidth(const FieldDef& f) { return (f.flags2 & kField2WidthUnits) != 0; }
// The unit code of ConvertMeasure the field's unit width is in.
int FieldWidthUnit(const FieldDef& f);
// The field's unit width in hundredths of an inch (0 without one).
int FieldWidthHundredths(const FieldDef& f);

// Sets the width in characters (capped at 254, at least 0). A text field
// that is not fixed also gets its width in the document's measure (measure 1
// inches, 0 metric) at the pitch; fixed fields and fields of the other kinds
// keep no unit width.
void SetFieldWidth(FieldDef& f, int chars, bool fixed, int measure, int pitch);

// The measuring entries of the printer library, when it is loaded.
struct FillTextDriver {
  PageDriver* driver = nullptr;
  PageOutputState* state = nullptr;  // the document's driver block
};

// Fills buffer (kFillTextSize bytes, zero-ended) with the field's sample: the
// picture text for numbers, dates, date-times and times or when not measured;
// else as many fill characters as the printer library says fit the unit
// width (1 to 254), or the width in characters of them. Returns the length.
int CalcFieldFillText(const FormatSettings& fmt, FieldDef& f, bool measured, unsigned char fill, char* buffer,
                      const FillTextDriver& driver = FillTextDriver());

// The field's width in columns: its picture's length for numbers, dates,
// date-times and times, else the stored width.
int GetObjectWidth(const FormatSettings& fmt, FieldDef& f);

// 0 left, 1 centred, 2 right, as the field prints: the alignment nibble the
// field's kind selects in its format word (numbers the top one, dates and
// times the third, texts the second; a stretching text its third). A number
// without one is right-aligned.
int FieldAlignment(const FieldDef& f);

// The columns a field takes when it is placed with a width of chars: a
// logical field shows the whole of the longer of its true and false texts
// (at most kLogicalFieldChars); any other field keeps chars.
int PlacedFieldChars(const FormatSettings& fmt, const FieldDef& f, int chars);

// After a pitch change: every field with a unit width gets its width in
// characters again from that width (a missing one first computed from the
// characters at pitch 10); sizeToText is then called for the field.
void UpdateUnitFieldWidths(CKmComposite* model, int pitch, const std::function<void(FieldDef&)>& sizeToText);
