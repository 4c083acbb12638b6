#include "engine/output_stream.h"

#include "foundation/byte_order.h"

int PutFontAndColorSequences(PageDriver* driver, PageOutputState* state, int fontNumber,
                             BYTE styleByte, WORD size, COLORREF colour, BYTE* buffer) {
  WORD style = styleByte & 0x0F;
  if (driver && driver->HasEntry(1)) driver->AdjustFontStyle(state, fontNumber, &style);
  // Neither place may carry 0xFFFF, which would end the sequence early.
  if (style == kNoArg) style = 0;
  if (size == kNoArg) size = kNoArg - 1;
  BYTE* p = PutEscapeSequence(buffer, kEscFont, static_cast<WORD>(fontNumber), style, size);
  p = PutEscapeSequence(p, kEscColour, colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
  return static_cast<int>(p - buffer);
}

int PutStreamText(BYTE* buffer, const char* text, int n) {
  for (int i = 0; i < n; ++i) buffer[i] = StreamTextByte(static_cast<BYTE>(text[i]));
  return n;
}

int BuildTextLine(const WORD* chars, const WORD* fonts, const WORD* sizes,
                  const FieldLinePlacement& place, BYTE* out) {
  int end = 0;
  while (end < kFieldCells && chars[end] != 0) ++end;
  // Trailing blanks (control bytes count as blanks) are not drawn.
  while (end > 0 && StreamTextByte(static_cast<BYTE>(chars[end - 1] & 0xFF)) == ' ') --end;
  if (end == 0) return 0;

  const bool centred = place.alignment == kFieldAlignCentre;
  const bool right = place.alignment == kFieldAlignRight;
  BYTE* p = out;
  if (!right) p = PutEscapeSequence(p, kEscPosition, place.x);
  if (centred && !place.continued) p = PutEscapeSequence(p, kEscCentreField, place.width);
  if (right) p = PutBareEscape(p, kEscRightOpen);
  p = PutEscapeSequence(p, kEscColour, place.colour & 0xFF, (place.colour >> 8) & 0xFF,
                        (place.colour >> 16) & 0xFF);

  // Room is checked for each whole piece, the closing sequence kept aside.
  const int closing = right ? 4 : (centred && !place.continued) ? 2 : 0;
  const BYTE* limit = out + kFieldTextLineMax - closing;
  int lastFont = -1, lastStyle = -1, lastSize = -1;
  for (int i = 0; i < end; ++i) {
    int style = (chars[i] >> 8) & kCellStyleBits;
    bool change = fonts[i] != lastFont || style != lastStyle || sizes[i] != lastSize;
    int need = 1 + (change ? 8 : 0);
    if (p + need > limit) break;
    if (change) {
      WORD size = sizes[i] == kNoArg ? kNoArg - 1 : sizes[i];
      p = PutEscapeSequence(p, kEscFont, fonts[i], static_cast<WORD>(style), size);
      lastFont = fonts[i];
      lastStyle = style;
      lastSize = sizes[i];
    }
    *p++ = StreamTextByte(static_cast<BYTE>(chars[i] & 0xFF));
  }
  if (centred && !place.continued) p = PutBareEscape(p, kEscCentreField);
  if (right) p = PutEscapeSequence(p, kEscRightClose, place.rightX);
  return static_cast<int>(p - out);
}

void ShiftLineColumns(BYTE* text, int length, int fromColumn, int toColumn, int columnWidth) {
  const int delta = (toColumn - fromColumn) * columnWidth;
  if (!text || length <= 0 || delta == 0) return;
  StreamReader reader(text, length);
  for (StreamToken t = reader.Next(); t.kind != StreamToken::kEnd; t = reader.Next()) {
    if (t.kind != StreamToken::kEscape) continue;
    if (t.code != kEscPosition && t.code != kEscCentreClose && t.code != kEscRightClose) continue;
    WORD x = static_cast<WORD>(t.args[0] + delta);
    text[t.offset + 2] = static_cast<BYTE>(x & 0xFF);
    text[t.offset + 3] = static_cast<BYTE>(x >> 8);
  }
}
