// Picture characters that depend on the font a field prints in: the box
// drawing face keeps its texts in the OEM character set, where the fill and
// the guillemets sit at other codes than in the ANSI set.
#pragma once

struct DocFonts;

// The character a blank of a picture becomes: 250 in the box drawing face,
// else the report's pad character.
unsigned char GetPictureFillChar(const DocFonts* fonts, int fontIndex, unsigned char pad);
// The left (left true) or right guillemet: 174 and 175 for an OEM or box
// drawing font of the table, 171 and 187 otherwise (also outside the table).
unsigned char GetGuillemetChar(const DocFonts* fonts, int fontIndex, bool left);
// The same over an untyped table, for the value formatter's settings.
unsigned char GuillemetOfFontTable(const void* fonts, int fontIndex, bool left);
