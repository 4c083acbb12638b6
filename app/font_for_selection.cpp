#include "app/font_for_selection.h"

#include "app/apply_to_selection.h"
#include "app/document.h"
#include "dialogs/font_dialog.h"
#include "layout/fonts.h"

bool PickFontForSelection(CKmDoc& doc, HWND owner, FontDialogParams* p) {
  const DocFonts* fonts = doc.m_pFonts;
  if (fonts == nullptr || fonts->table.empty()) return false;
  const FormatSelectionState s = ComputeSelectionState(doc, fonts);
  if (s.textObjects == 0) return false;
  for (const FontEntry& e : fonts->table) p->faces.emplace_back(e.logFont.lfFaceName);
  p->sizes = SizeListEntries(doc, fonts, s);
  p->font = s.currentFont;
  if (s.currentSize > 0) {
    p->sizeText = SizeText(s.currentSize, doc.m_cDecimal);
    p->sizeText.erase(0, p->sizeText.find_first_not_of(' '));
  }
  const int states[] = {s.bold, s.italic, s.underline};
  for (int i = 0; i < 3; ++i) p->styles[i] = states[i];
  p->parseSize = [&doc](const std::string& text, int font) {
    return ParseSizeEntry(text, doc.m_cDecimal, doc.m_pFonts, font);
  };
  return RunFontDialog(&doc, owner, p) == IDOK;
}

void ApplyFontChoice(CKmDoc& doc, const FontDialogParams& p) {
  const DocFonts* fonts = doc.m_pFonts;
  const FormatSelectionState s = ComputeSelectionState(doc, fonts);
  int font = p.font != s.currentFont ? p.font : -1;
  int size = p.size;
  // A fixed-size font keeps the size when it has it, else takes its first.
  if (font >= 0 && size < 0 && static_cast<size_t>(font) < fonts->table.size()) {
    const FontEntry& e = fonts->table[static_cast<size_t>(font)];
    if (e.sizeCount != 0 && !(s.currentSize > 0 && FontHasPointSize(fonts, s.currentSize, font))) size = e.sizes[0] * 10;
  }
  // The format bar's operation switches a style on for all unless all have
  // it: a style to clear that only some have is set first, then cleared.
  const int states[] = {s.bold, s.italic, s.underline};
  int first = 0, second = 0;
  for (int i = 0; i < 3; ++i) {
    if (p.styles[i] == 1 && states[i] != 1) first |= 1 << i;
    if (p.styles[i] == 0 && states[i] == 2) first |= 1 << i;
    if (p.styles[i] == 0 && states[i] != 0) second |= 1 << i;
  }
  if (font >= 0 || size > 0 || first != 0) ApplyFontToSelection(doc, font, size, first != 0 ? first : -1);
  if (second != 0) ApplyFontToSelection(doc, -1, -1, second);
}

void ChooseFontForSelection(CKmDoc& doc) {
  FontDialogParams p;
  if (PickFontForSelection(doc, doc.GetOwnerWindow(), &p)) ApplyFontChoice(doc, p);
}
