#include "layout/picture_chars.h"

#include "layout/fonts.h"

#include <strings.h>

namespace {
constexpr unsigned char kOemFill = 250;

const FontEntry* EntryAt(const DocFonts* fonts, int fontIndex) {
  if (fonts == nullptr || fontIndex < 0 || static_cast<size_t>(fontIndex) >= fonts->table.size()) return nullptr;
  return &fonts->table[static_cast<size_t>(fontIndex)];
}

bool IsBoxDrawingFace(const FontEntry& e) { return strcasecmp(e.logFont.lfFaceName, kBoxDrawingFace) == 0; }
}  // namespace

unsigned char GetPictureFillChar(const DocFonts* fonts, int fontIndex, unsigned char pad) {
  const FontEntry* e = EntryAt(fonts, fontIndex);
  return e != nullptr && IsBoxDrawingFace(*e) ? kOemFill : pad;
}

unsigned char GetGuillemetChar(const DocFonts* fonts, int fontIndex, bool left) {
  const FontEntry* e = EntryAt(fonts, fontIndex);
  const bool oem = e != nullptr && (e->logFont.lfCharSet == OEM_CHARSET || IsBoxDrawingFace(*e));
  if (oem) return left ? 174 : 175;
  return left ? 171 : 187;
}

unsigned char GuillemetOfFontTable(const void* fonts, int fontIndex, bool left) {
  return GetGuillemetChar(static_cast<const DocFonts*>(fonts), fontIndex, left);
}
