#include "engine/instant_text_field.h"

#include "engine/doc_upkeep.h"
#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "foundation/units.h"
#include "layout/fonts.h"
#include "layout/layout_records.h"
#include "layout/picture_chars.h"
#include "platform/win/codepage.h"

#include <cstring>
#include <strings.h>

namespace {
constexpr UINT kMsgNoMemoryInstant = 6562;

bool DefaultIsBoxDrawingFace(const DocFonts* fonts) {
  if (fonts == nullptr || fonts->defaultIndex >= fonts->table.size()) return false;
  return strcasecmp(fonts->table[fonts->defaultIndex].logFont.lfFaceName, kBoxDrawingFace) == 0;
}
}  // namespace

TextItem* CreateInstantTextField(KmDocBase* doc, const std::string& text, int line, int column, BYTE style,
                                 BYTE alignment, bool plain) {
  if (doc == nullptr || doc->m_pLayout == nullptr) return nullptr;
  TextItem* x = NewTextItem(doc, static_cast<uint32_t>(text.size() + 1));
  if (x == nullptr) {
    doc->ShowErrorText(GetResString(kMsgNoMemoryInstant, 0), nullptr);
    return nullptr;
  }
  std::memcpy(x->text, text.data(), text.size());
  const DocFonts* fonts = doc->m_pFonts;
  if (DefaultIsBoxDrawingFace(fonts)) {
    // The line-drawing face prints the OEM set; its blanks are its fill.
    CharToOemBuffA(x->text, x->text, static_cast<DWORD>(text.size()));
    const unsigned char fill = GetPictureFillChar(fonts, fonts->defaultIndex, ' ');
    for (size_t i = 0; i < text.size(); ++i)
      if (x->text[i] == ' ') x->text[i] = static_cast<char>(fill);
  }
  x->head.bandLine = static_cast<uint8_t>(line < 0 ? 0 : line > 255 ? 255 : line);
  x->head.column = column;
  x->head.left = CharCellWidth(doc->m_pLayout->metrics, column);
  x->head.width = static_cast<uint8_t>(text.size() > 254 ? 254 : text.size());
  x->head.fontStyle = style;
  x->head.flags = plain ? 0 : kItemFixedPosition;
  x->head.colour = 0;
  x->alignment = alignment;
  return x;
}
