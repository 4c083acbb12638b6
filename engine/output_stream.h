// Writing the output-driver stream: escape sequences, the font and colour of
// an item, the text of one field line, and moving a line to another column.
#pragma once

#include "foundation/byte_order.h"
#include "platform/printer/escape_stream.h"
#include "platform/printer/page_driver.h"
#include "platform/win/win_types.h"

// Writes ESC, code and the arguments: the first always, the second unless it
// is 0xFFFF (the sequence then ends), the third unless it is 0xFFFF. Returns
// the position just after the sequence (4, 6 or 8 bytes on).
// Inline: a band's line takes several for each item.
inline BYTE* PutEscapeSequence(BYTE* buffer, BYTE code, WORD a1, WORD a2 = kNoArg, WORD a3 = kNoArg) {
  BYTE* p = buffer;
  *p++ = kEsc;
  *p++ = code;
  for (WORD a : {a1, a2, a3}) {
    if (p > buffer + 2 && a == kNoArg) break;
    PutU16(p, a);
    p += 2;
  }
  return p;
}
// ESC and a code with no argument (codes 4, 5 and 6).
inline BYTE* PutBareEscape(BYTE* buffer, BYTE code) {
  buffer[0] = kEsc;
  buffer[1] = code;
  return buffer + 2;
}

// ESC 3 (font number, style, size) then ESC 12 (red, green, blue of colour);
// the library may first rewrite the style (ordinal 1). Returns 16.
int PutFontAndColorSequences(PageDriver* driver, PageOutputState* state, int fontNumber,
                             BYTE styleByte, WORD size, COLORREF colour, BYTE* buffer);

// A byte of report data as it may enter the stream: ESC and the other
// control bytes become blanks, so data is never read as a sequence.
inline BYTE StreamTextByte(BYTE c) { return c < 0x20 ? ' ' : c; }
// Copies n bytes of text into the stream through StreamTextByte; returns n.
int PutStreamText(BYTE* buffer, const char* text, int n);

// The 16-bit little-endian byte count in front of an output line.
inline int OutputLineCount(const BYTE* line) { return static_cast<SHORT>(line[0] | (line[1] << 8)); }
inline void SetOutputLineCount(BYTE* line, int count) {
  line[0] = static_cast<BYTE>(count & 0xFF);
  line[1] = static_cast<BYTE>((count >> 8) & 0xFF);
}

// One field's text line: up to 254 cells in three parallel arrays (the
// character with its style in bits 8-11, the font number, the size); the
// text ends at the first zero character.
constexpr int kFieldCells = 254;
// The style bits of a cell (bold, italic, underline, strikeout), from bit 8.
constexpr int kCellStyleBits = 0x0F;
constexpr int kFieldTextLineMax = 488;

enum FieldAlignment { kFieldAlignLeft = 0, kFieldAlignCentre = 2, kFieldAlignRight = 3 };

struct FieldLinePlacement {
  WORD x = 0;          // left position of the field (device units of ESC 1)
  WORD width = 0;      // width of a centred field
  WORD rightX = 0;     // right edge of a right-aligned field
  int alignment = kFieldAlignLeft;
  bool continued = false;  // continues a centred run: no ESC 4 pair
  COLORREF colour = 0;
};

// Builds the stream of one field line into out (at least kFieldTextLineMax
// bytes) and returns its length; 0 when the text holds nothing but blanks.
// The line never passes kFieldTextLineMax bytes, its closing sequence
// included: characters that do not fit are left off.
int BuildTextLine(const WORD* chars, const WORD* fonts, const WORD* sizes,
                  const FieldLinePlacement& place, BYTE* out);

// Moves the absolute x positions of a line (codes 1, 7 and 8) from one
// column to another of the column mode; every other byte is left as it is.
void ShiftLineColumns(BYTE* text, int length, int fromColumn, int toColumn, int columnWidth);
