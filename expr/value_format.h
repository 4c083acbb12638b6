// Turning field values into the characters that are printed, previewed,
// exported or shown: numbers by style, dates by date style, times, date-times,
// texts and logicals, with the document's regional settings; and the pictures
// (placeholder texts) that the layout shows for a field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/intl_settings.h"

class CKmComposite;
struct FieldDef;

// Output modes of FormatFieldValue.
constexpr int kOutputReport = 0;     // report output: escape prefix, suffix buffer
constexpr int kOutputText = 2;       // plain text
constexpr int kOutputTextFitted = 3; // plain text fitted to the field

constexpr int kFormatPrefixSize = 16;  // the font-and-colour sequences
constexpr int kMaxFormattedText = 254;

// The document's side of formatting: its copy of the regional settings, the
// logical texts and the width switch.
struct FormatSettings {
  IntlSettings intl;
  char logT[16] = "T";
  char logF[16] = "F";
  int32_t noWidthLimit = 0;  // numbers are never cut to displayWidth
  unsigned char padChar = 183;
  // The report's fields: an alias shows the status bytes of the field it
  // stands for (null: itself).
  const CKmComposite* model = nullptr;
  // The guillemet of a font of the document's table (left or right); null:
  // the ANSI guillemets.
  unsigned char (*guillemet)(const void* fonts, int fontIndex, bool left) = nullptr;
  const void* fonts = nullptr;
};

// The text of a field's value (value null: the field's current value) into
// buffer, which must hold 20 + 254 + 20 bytes. position: the output position
// for a left-aligned field, or -1 for no escape pair; mode: kFormat*; suffix
// (mode 0 only, may be null): receives the characters that follow the number
// (sign, percent, currency). Returns the length written, prefix included; 0
// for an empty result.
int FormatFieldValue(const FormatSettings& doc, const FieldDef* field, char* buffer, const void* value,
                     int position, int mode, char* suffix);

// FormatFieldValue by its general path alone, without the shortcuts it takes
// for the usual numbers and for a date repeated from the call before: the
// reference those shortcuts must match character for character.
int FormatFieldValueGeneral(const FormatSettings& doc, const FieldDef* field, char* buffer, const void* value,
                            int position, int mode, char* suffix);

// Writes the prefix in front of a text already placed after prefixSize bytes;
// returns the text length plus prefixSize, or 0 (nothing written) for an
// empty text.
int FormatFieldPrefix(const FormatSettings& doc, const FieldDef* field, char* buffer, int position,
                      int alignment, bool escapes, int mode, int prefixSize, int textLength);

// Time texts: flags 1 seconds, 2 24-hour clock, 4 two-digit hour.
int FormatTimeWithFlags(bool invalid, int hour, int minute, int second, uint32_t flags, char* buffer);
int FormatTimeText(const FormatSettings& doc, bool invalid, int hour, int minute, int second, char* buffer,
                   bool blankBeforeMarker);
// Joins month, day and year texts by date style (formatCode & 0xF00F).
int JoinDateParts(const char* month, const char* day, const char* year, char* buffer, uint32_t style);
// Dates by the regional short (useLong false) or long picture; month 255 writes
// the picture's shape in '*'.
int FormatDateByPicture(const FormatSettings& doc, int month, int day, int year, bool useLong, char* buffer,
                        bool fourDigitYear = false);

// Whether the text of a text, memo or logical field comes out at its own
// length (up to 254 characters) rather than fitted to the field's width in
// characters: in the report modes, a calculation over a field that is not on
// the layout may grow past its width. The report's output then cuts the text
// where the field's width on the page ends.
bool FieldTextUnfitted(const FieldDef* field, int mode);

const char* LogicalOrValueText(const FormatSettings& doc, const FieldDef* field, const void* value);
void InsertChars(char c, int count, char* text, int position);
void SetFieldFormatCode(FieldDef* field, uint32_t code);

// The widest text a date-time field's format gives.
int MeasureDateTimeWidth(const FormatSettings& doc, FieldDef* field);

// Pictures.
int NumberPicture(const FormatSettings& doc, const FieldDef* field, char* buffer);
int BuildTimePicture(uint32_t flags, char* buffer, unsigned char fill);
int BuildDefaultTimePicture(const FormatSettings& doc, char* buffer, unsigned char fill);
int AppendDatePicture(const FormatSettings& doc, uint32_t style, char* buffer);
int BuildFieldPicture(const FormatSettings& doc, FieldDef* field, char* buffer, char* suffix,
                      unsigned char fill = ' ');

