#include "app/apply_to_selection.h"

#include "app/document.h"
#include "core/fields.h"
#include "designer/design_view.h"
#include "engine/doc_upkeep.h"
#include "foundation/text_helpers.h"
#include "layout/fonts.h"
#include "layout/layout_records.h"

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int kMinSize = 40, kMaxSize = 5000;
constexpr int kStandardSizes[] = {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72};

bool IsTextObject(const ReportItemHead& h) { return (h.flags & kItemGraphicKinds) == 0; }

const FieldDef* AsField(const ReportItemHead& h) {
  return (h.flags & kItemKindField) ? reinterpret_cast<const FieldDef*>(&h) : nullptr;
}

bool IsWrappedField(const ReportItemHead& h) {
  const FieldDef* f = AsField(h);
  return f != nullptr && (f->flags & kFieldKindMask) == 0 && ((f->formatCode >> 4) & 0xF) == 4;
}

bool HasFixedSizes(const DocFonts* fonts, int index) {
  return fonts != nullptr && index >= 0 && static_cast<size_t>(index) < fonts->table.size() &&
         fonts->table[static_cast<size_t>(index)].sizeCount != 0;
}


void ForEachSelected(KmDocBase& doc, const std::function<void(ReportItemHead&)>& fn) {
  if (doc.m_pLayout == nullptr) return;
  ForEachLayoutItem(*doc.m_pLayout, [&fn](ReportItemHead& h) {
    if ((h.flags & kItemSelected) && !(h.flags & (kItemDeleted | kItemInClipboard))) fn(h);
  });
}

int TriState(int count, int of) { return count == 0 ? 0 : count == of ? 1 : 2; }

void SetNibble(uint32_t* word, int shift, int value) {
  *word = (*word & ~(0xFu << shift)) | (static_cast<uint32_t>(value & 0xF) << shift);
}

// What follows every change: the objects' fonts and extents, the panes, the
// report's modified mark.
void AfterChange(CKmDoc& doc, bool fontsChanged) {
  if (doc.m_pLayout != nullptr && doc.m_pFonts != nullptr) {
    if (fontsChanged) {
      // Released keeping each item's face; the defaults the release forgot
      // are made again before the items take their fonts back.
      ReleaseObjectFonts(*doc.m_pLayout, *doc.m_pFonts, false, true);
      LoadDefaultFonts(*doc.m_pFonts, doc.m_pLayout->metrics);
    }
    // Measured again without sending the caret to the first line: it stays
    // on the line of the object the user is formatting.
    MeasureObjectExtents(*doc.m_pLayout, *doc.m_pFonts, false, false, false);
    doc.m_pLayout->Hooks().RedrawAllPanes();
  }
  doc.SetModifiedFlag(TRUE);
  if (doc.m_pView) doc.m_pView->UpdateCaretAndStatus(0);
}

}  // namespace

bool FontHasPointSize(const DocFonts* fonts, int tenths, int index) {
  if (!HasFixedSizes(fonts, index) || tenths % 10 != 0) return false;
  const FontEntry& e = fonts->table[static_cast<size_t>(index)];
  for (int i = 0; i < e.sizeCount && i < static_cast<int>(sizeof e.sizes); ++i)
    if (e.sizes[i] * 10 == tenths) return true;
  return false;
}

FormatSelectionState ComputeSelectionState(KmDocBase& doc, const DocFonts* fonts) {
  FormatSelectionState s;
  int wrapped = 0, justified = 0, lefts = 0, centres = 0, rights = 0;
  int bold = 0, italic = 0, underline = 0, trimmed = 0;
  bool fontSet = false, sizeSet = false;
  ForEachSelected(doc, [&](ReportItemHead& h) {
    ++s.selected;
    if (IsTextObject(h)) {
      ++s.textObjects;
      if (!fontSet) s.currentFont = h.fontIndex;
      else if (s.currentFont != h.fontIndex) s.currentFont = -1;
      if (!sizeSet) s.currentSize = h.pointSize;
      else if (s.currentSize != h.pointSize) s.currentSize = -1;
      // A font that differs once stays undecided for good.
      if (fontSet && s.currentFont == -1) s.currentFont = -1;
      fontSet = sizeSet = true;
      if (HasFixedSizes(fonts, h.fontIndex)) s.scalable = false;
      if (h.fontStyle & 1) ++bold;
      if (h.fontStyle & 2) ++italic;
      if (h.fontStyle & 4) ++underline;
      if (!(h.flags & kItemFixedPosition)) ++trimmed;
    }
    if (IsWrappedField(h)) {
      ++wrapped;
      if (((AsField(h)->formatCode >> 8) & 0xF) == 2) ++justified;
    } else {
      switch (GetObjectAlignment(&doc, &h)) {
        case 1: ++centres; break;
        case 2: ++rights; break;
        default: ++lefts; break;
      }
    }
  });
  s.allWrapped = s.selected > 0 && wrapped == s.selected;
  s.left = TriState(lefts, s.selected);
  s.centre = s.allWrapped ? 0 : TriState(centres, s.selected);
  s.right = TriState(rights, s.selected);
  s.justify = TriState(justified, s.selected);
  s.bold = TriState(bold, s.textObjects);
  s.italic = TriState(italic, s.textObjects);
  s.underline = TriState(underline, s.textObjects);
  s.trim = TriState(trimmed, s.textObjects);
  return s;
}

void ApplyAlignmentToSelection(CKmDoc& doc, int mode, bool allWrapped, int secondMode) {
  if (mode < 0 || mode > 3) return;
  // The word-wrapped fields' own codes: 1 left, 3 right, 2 justified.
  const int wrappedCode = secondMode == 1 ? 3 : secondMode == 2 ? 2 : 1;
  bool changed = false;
  ForEachSelected(doc, [&](ReportItemHead& h) {
    if (h.flags & (kItemKindChart | kItemKindOle)) return;
    if (IsWrappedField(h)) {
      SetNibble(&reinterpret_cast<FieldDef*>(&h)->formatCode, 8, wrappedCode);
      changed = true;
      return;
    }
    if (mode == 3) return;  // only word-wrapped text is justified
    if (FieldDef* f = (h.flags & kItemKindField) ? reinterpret_cast<FieldDef*>(&h) : nullptr) {
      const uint32_t kind = f->flags & kFieldKindMask;
      const int shift = (kind & kFieldNumeric) ? 12 : (kind & (kFieldDate | kFieldDateTime | kFieldTime)) ? 8 : 4;
      SetNibble(&f->formatCode, shift, mode + 1);
    } else if (h.flags & (kItemKindLine | kItemKindBox)) {
      auto* x = reinterpret_cast<LineBoxItem*>(&h);
      x->alignment = static_cast<BYTE>((x->alignment & 0x0F) | ((mode + 1) << 4));
    } else if (h.flags & kItemKindPicture) {
      auto* x = reinterpret_cast<PictureItem*>(&h);
      x->alignment = static_cast<BYTE>((x->alignment & 0x0F) | ((mode + 1) << 4));
    } else {
      auto* x = reinterpret_cast<TextItem*>(&h);
      x->alignment = static_cast<BYTE>((x->alignment & 0x0F) | ((mode + 1) << 4));
    }
    changed = true;
  });
  (void)allWrapped;
  if (changed) AfterChange(doc, false);
}

void ApplyFontToSelection(CKmDoc& doc, int font, int size, int style) {
  const FormatSelectionState s = ComputeSelectionState(doc, doc.m_pFonts);
  if (s.textObjects == 0) return;
  // A style every text object has is switched off; otherwise on for all.
  int setBits = 0, clearBits = 0;
  if (style > 0) {
    const int states[] = {s.bold, s.italic, s.underline};
    for (int i = 0; i < 3; ++i)
      if (style & (1 << i)) (states[i] == 1 ? clearBits : setBits) |= 1 << i;
  }
  ForEachSelected(doc, [&](ReportItemHead& h) {
    if (!IsTextObject(h)) return;
    if (font >= 0) h.fontIndex = font;
    if (size > 0) h.pointSize = size;
    h.fontStyle = static_cast<uint8_t>((h.fontStyle | setBits) & ~clearBits);
  });
  AfterChange(doc, true);
  // A selected text being typed in place shows its new style in the editor
  // (which keeps a font of its own through the layout's new fonts).
  if (doc.m_pView != nullptr) doc.m_pView->ShowEditedTextStyle();
}

void ApplyTrimToSelection(CKmDoc& doc, int trim) {
  bool changed = false;
  ForEachSelected(doc, [&](ReportItemHead& h) {
    if (!IsTextObject(h)) return;
    if (trim) h.flags &= ~kItemFixedPosition;
    else h.flags |= kItemFixedPosition;
    changed = true;
  });
  if (changed) AfterChange(doc, false);
}

std::string SizeText(int tenths, char decimal) {
  char text[24];
  if (tenths % 10 == 0) {
    const int points = tenths / 10;
    std::snprintf(text, sizeof text, points < 10 ? "  %d" : points < 100 ? " %d" : "%d", points);
  } else {
    char number[16];
    FormatScaledInt(static_cast<WORD>(tenths), number, sizeof number, 1, decimal);
    std::snprintf(text, sizeof text, "%s%s", tenths < 100 ? "  " : tenths < 1000 ? " " : "", number);
  }
  return text;
}

int ParseSizeEntry(const std::string& entry, char decimal, const DocFonts* fonts, int currentFont) {
  std::string t = entry.substr(0, 5);
  size_t i = 0;
  while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
  WORD v = 0;
  if (i == t.size() || strToInt(t.c_str() + i, &v, 1, decimal) < 0) return -1;
  if (v < kMinSize || v > kMaxSize || fonts == nullptr) return -1;
  if (HasFixedSizes(fonts, currentFont) && !FontHasPointSize(fonts, v, currentFont)) return -1;
  return v;
}

std::vector<std::string> SizeListEntries(KmDocBase& doc, const DocFonts* fonts, const FormatSelectionState& s) {
  std::vector<std::string> out;
  if (fonts == nullptr) return out;
  const bool fontKnown = s.currentFont >= 0 && static_cast<size_t>(s.currentFont) < fonts->table.size();
  if (!s.scalable && !fontKnown) return out;
  auto add = [&out](const std::string& t) {
    if (std::find(out.begin(), out.end(), t) == out.end()) out.push_back(t);
  };
  if (fontKnown && HasFixedSizes(fonts, s.currentFont)) {
    const FontEntry& e = fonts->table[static_cast<size_t>(s.currentFont)];
    for (int i = 0; i < e.sizeCount && i < static_cast<int>(sizeof e.sizes); ++i) {
      char text[16];
      std::snprintf(text, sizeof text, e.sizes[i] < 10 ? "  %d" : "%d", e.sizes[i]);
      add(text);
    }
  } else {
    for (int points : kStandardSizes) add(SizeText(points * 10, doc.m_cDecimal));
    if (doc.m_pLayout != nullptr)
      ForEachLayoutItem(*doc.m_pLayout, [&](ReportItemHead& h) {
        if (IsTextObject(h) && h.pointSize >= kMinSize && h.pointSize <= kMaxSize && !HasFixedSizes(fonts, h.fontIndex))
          add(SizeText(h.pointSize, doc.m_cDecimal));
      });
    if (s.currentSize >= kMinSize && s.currentSize <= kMaxSize) add(SizeText(s.currentSize, doc.m_cDecimal));
  }
  std::sort(out.begin(), out.end());
  return out;
}
