#include "layout/fonts.h"

#include "foundation/text_helpers.h"
#include "core/composite.h"
#include "platform/printer/printer_info.h"
#include "layout/band_line_layout.h"
#include "layout/layout_helpers.h"
#include "platform/win/muldiv.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <strings.h>

namespace {

constexpr int kStyleMask = 0xF;
constexpr int kStyledBits = 0xB;  // bold, italic, strikeout

bool SameFace(const char* a, const char* b) { return strcasecmp(a, b) == 0; }

void CopyFace(char* to, const std::string& face) {
  std::memset(to, 0, LF_FACESIZE);
  std::strncpy(to, face.c_str(), LF_FACESIZE - 1);
}

struct FaceAtoms {
  std::map<WORD, std::pair<std::string, int>> byAtom;
  WORD next = 0xC000;
};
FaceAtoms& Atoms() {
  static FaceAtoms atoms;
  return atoms;
}

void MeasureFont(HFONT font, int* height, int* descent) {
  HDC dc = GetDC(nullptr);
  if (dc == nullptr) return;
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICA tm{};
  if (GetTextMetricsA(dc, &tm)) {
    *height = tm.tmHeight + tm.tmExternalLeading;
    *descent = tm.tmDescent;
  }
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
}

bool IsDefault(const DocFonts& f, HFONT h) {
  return h != nullptr && (h == f.regularDefault || h == f.underlineDefault);
}

// Fields first, then texts: the order the font operations walk.
std::vector<ReportItemHead*> FontItems(LayoutTables& t) {
  std::vector<ReportItemHead*> out = PlacedFields(t.model);
  for (TextItem* x = t.textHead; x != nullptr; x = x->nextText) out.push_back(&x->head);
  return out;
}

TextItem* AsText(LayoutTables& t, ReportItemHead& h) {
  for (TextItem* x = t.textHead; x != nullptr; x = x->nextText)
    if (&x->head == &h) return x;
  return nullptr;
}

}  // namespace

void BuildFontTable(DocFonts& f, const LayoutMetrics& m, const std::vector<PrinterFace>& faces, int dpiX,
                    int dpiY) {
  f.table.clear();
  f.printerDpiX = static_cast<WORD>(dpiX);
  f.printerDpiY = static_cast<WORD>(dpiY);
  for (const PrinterFace& pf : faces) {
    if (pf.face.empty() || (pf.raster && !pf.device)) continue;
    const bool known = std::any_of(f.table.begin(), f.table.end(),
                                   [&](const FontEntry& e) { return SameFace(e.logFont.lfFaceName, pf.face.c_str()); });
    if (known) continue;
    FontEntry e;
    CopyFace(e.logFont.lfFaceName, pf.face);
    e.logFont.lfWeight = FW_NORMAL;
    e.logFont.lfPitchAndFamily = pf.fixedPitch ? FIXED_PITCH : VARIABLE_PITCH;
    e.logFont.lfCharSet = ANSI_CHARSET;
    if (pf.device) e.fontFlags |= kFontDevice;
    if (pf.trueType) e.fontFlags |= kFontTrueType;
    for (int w : pf.weights) {
      if (w == FW_NORMAL || w == FW_MEDIUM) e.regularWeight = FW_NORMAL;
      if (w > FW_MEDIUM) e.boldWeight = w;
    }
    e.italicWeight = pf.hasItalic ? FW_NORMAL : 0;
    if (pf.raster)
      for (int s : pf.rasterSizes) {
        if (e.sizeCount >= kMaxRasterSizes) break;
        if (s <= 0 || s > 255 || std::count(e.sizes, e.sizes + e.sizeCount, s) != 0) continue;
        e.sizes[e.sizeCount++] = static_cast<BYTE>(s);
      }
    f.table.push_back(e);
  }
  std::sort(f.table.begin(), f.table.end(), [](const FontEntry& a, const FontEntry& b) {
    return strcasecmp(a.logFont.lfFaceName, b.logFont.lfFaceName) < 0;
  });
  LoadDefaultFonts(f, m);
}

void EnumPrinterFonts(DocFonts& f, const LayoutMetrics& m, const char* printer) {
  std::string name = printer != nullptr ? printer : "";
  if (name.empty() || !PrinterExists(name.c_str())) {
    std::string driver, port;
    if (!GetDefaultPrinterNames(&name, &driver, &port)) name.clear();
  }
  std::vector<PrinterFace> faces;
  if (!name.empty())
    for (const PrinterFontFamily& fam : GetPrinterFontFamilies(name.c_str())) {
      PrinterFace pf;
      pf.face = fam.face;
      pf.fixedPitch = fam.fixedPitch;
      pf.trueType = fam.scalable;
      pf.device = !fam.scalable;  // a printer's own bitmap faces count as device fonts
      faces.push_back(pf);
    }
  // The printer library lays out at the screen's resolution.
  BuildFontTable(f, m, faces, kScreenDpi, kScreenDpi);
}

void FreeFontTable(DocFonts& f) { f.table.clear(); }

DocFonts::~DocFonts() {
  if ((ownership & kOwnRegularDefault) && regularDefault != nullptr) DeleteObject(regularDefault);
  if ((ownership & kOwnUnderlineDefault) && underlineDefault != nullptr) DeleteObject(underlineDefault);
}

int FindFontByFace(const DocFonts& f, const char* face, bool fallBackToDefault) {
  if (face != nullptr)
    for (size_t i = 0; i < f.table.size(); ++i)
      if (SameFace(f.table[i].logFont.lfFaceName, face)) return static_cast<int>(i);
  return fallBackToDefault ? f.defaultIndex : -1;
}

int NearestFontSize(const DocFonts& f, int index, int size) {
  const int asked = size != 0 ? size : (f.defaultSize != 0 ? f.defaultSize : 120);
  if (f.table.empty() || index < 0 || index >= static_cast<int>(f.table.size())) return asked;
  const FontEntry& e = f.table[index];
  if (e.sizeCount == 0) return asked;
  const int s = asked / 10;
  int below = 0, above = 10000;
  for (int i = 0; i < e.sizeCount && i < kMaxRasterSizes; ++i) {
    const int v = e.sizes[i];
    if (v == s) return s * 10;
    if (v < s && v > below) below = v;
    if (v > s && v < above) above = v;
  }
  if (below == 0 && above == 10000) return asked;
  // With nothing listed below, the smallest listed size is used rather than 0.
  if (below == 0) return above * 10;
  if (above == 10000) return below * 10;
  return (above - s < s - below ? above : below) * 10;
}

int FindDefaultFixedFont(const DocFonts& f) {
  const int courier = FindFontByFace(f, "Courier New", false);
  if (courier >= 0) return courier;
  for (size_t i = 0; i < f.table.size(); ++i) {
    const LOGFONTA& lf = f.table[i].logFont;
    if ((lf.lfPitchAndFamily & 3) == FIXED_PITCH && (lf.lfCharSet == ANSI_CHARSET || lf.lfCharSet == OEM_CHARSET))
      return static_cast<int>(i);
  }
  return 0;
}

int ScreenFontHeight(const LayoutMetrics& m, int size) {
  const int px = DecipointsToPixels(m, size);
  return px == 0 ? -1 : -px;
}

HFONT CreateFontForEntry(const DocFonts& f, const LayoutMetrics& m, int index, int style, int size) {
  if (index < 0 || index >= static_cast<int>(f.table.size())) return nullptr;
  const FontEntry& e = f.table[index];
  LOGFONTA lf = e.logFont;
  lf.lfHeight = ScreenFontHeight(m, size);
  lf.lfWidth = 0;
  lf.lfWeight = (style & 1) && e.boldWeight != 0 ? e.boldWeight : FW_NORMAL;
  lf.lfItalic = (style & 2) && e.italicWeight != 0 ? 1 : 0;
  lf.lfUnderline = (style & 4) ? 1 : 0;
  lf.lfStrikeOut = (style & 8) ? 1 : 0;
  lf.lfOutPrecision = lf.lfClipPrecision = lf.lfQuality = 0;
  return CreateFontIndirectA(&lf);
}

void LoadDefaultFonts(DocFonts& f, const LayoutMetrics& m) {
  if ((f.ownership & kOwnRegularDefault) && f.regularDefault) DeleteObject(f.regularDefault);
  if ((f.ownership & kOwnUnderlineDefault) && f.underlineDefault) DeleteObject(f.underlineDefault);
  f.regularDefault = f.underlineDefault = nullptr;
  f.ownership = 0;
  f.defaultIndex = 0;
  for (size_t i = 0; i < f.table.size(); ++i)
    if (f.table[i].fontFlags & kFontDevice) {
      f.defaultIndex = static_cast<WORD>(i);
      break;
    }
  if (!f.table.empty() && !f.settingsFace.empty())
    f.defaultIndex = static_cast<WORD>(FindFontByFace(f, f.settingsFace.c_str(), true));
  f.defaultSize = static_cast<WORD>(NearestFontSize(f, f.defaultIndex, f.settingsSize));
  if ((f.regularDefault = CreateFontForEntry(f, m, f.defaultIndex, 0, f.defaultSize)) != nullptr)
    f.ownership |= kOwnRegularDefault;
  else
    f.regularDefault = static_cast<HFONT>(GetStockObject(ANSI_VAR_FONT));
  if ((f.underlineDefault = CreateFontForEntry(f, m, f.defaultIndex, 4, f.defaultSize)) != nullptr)
    f.ownership |= kOwnUnderlineDefault;
  else
    f.underlineDefault = static_cast<HFONT>(GetStockObject(ANSI_VAR_FONT));
  MeasureFont(f.regularDefault, &f.defaultLineHeight, &f.defaultDescent);
}

WORD AddFaceAtom(const char* face) {
  if (face == nullptr || *face == 0) return 0;
  FaceAtoms& a = Atoms();
  for (auto& kv : a.byAtom)
    if (SameFace(kv.second.first.c_str(), face)) {
      ++kv.second.second;
      return kv.first;
    }
  if (a.next == 0xFFFF) return 0;
  const WORD atom = a.next++;
  a.byAtom[atom] = {face, 1};
  return atom;
}

bool GetFaceAtomName(WORD atom, std::string* face) {
  auto it = Atoms().byAtom.find(atom);
  if (it == Atoms().byAtom.end()) return false;
  if (face != nullptr) *face = it->second.first;
  return true;
}

void DeleteFaceAtom(WORD atom) {
  auto it = Atoms().byAtom.find(atom);
  if (it != Atoms().byAtom.end() && --it->second.second <= 0) Atoms().byAtom.erase(it);
}

HFONT FindFontHandle(LayoutTables& t, int index, int style, int size) {
  for (ReportItemHead* h : FontItems(t))
    if (h->fontHandle != nullptr && h->fontIndex == index && (h->fontStyle & kStyleMask) == style &&
        h->pointSize == size)
      return static_cast<HFONT>(h->fontHandle);
  return nullptr;
}

bool IsFontShared(LayoutTables& t, const DocFonts& f, HFONT h, bool any, uint32_t mask) {
  if (!any && IsDefault(f, h)) return true;
  int holders = 0;
  for (ReportItemHead* item : FontItems(t)) {
    if (item->fontHandle != h) continue;
    if (!any && (item->flags & mask) != 0) continue;
    ++holders;
  }
  return holders > 0;
}

namespace {

// The handle an item gave up for another goes when no item holds it.
void DropFormerFont(LayoutTables& t, DocFonts& f, HFONT former, const ReportItemHead& item) {
  if (former == nullptr || former == item.fontHandle || IsDefault(f, former) || IsFontShared(t, f, former, true, 0))
    return;
  DeleteObject(former);
}

}  // namespace

void AttachObjectFont(LayoutTables& t, DocFonts& f, ReportItemHead& item, bool onlyIfStyled) {
  if (f.table.empty()) return;
  if (onlyIfStyled && (item.fontStyle & kStyledBits) == 0) return;
  const HFONT former = static_cast<HFONT>(item.fontHandle);
  std::string face;
  if (item.faceAtom != 0 && GetFaceAtomName(item.faceAtom, &face)) {
    DeleteFaceAtom(item.faceAtom);
  } else if (former != nullptr && item.fontIndex >= 0 && item.fontIndex < static_cast<int>(f.table.size())) {
    // Attached again (extents recomputed after an edit): it keeps its face.
    face = f.table[item.fontIndex].logFont.lfFaceName;
  } else {
    face = f.table[f.defaultIndex < f.table.size() ? f.defaultIndex : 0].logFont.lfFaceName;
  }
  item.faceAtom = 0;
  const int index = FindFontByFace(f, face.c_str(), true);
  if (TextItem* x = AsText(t, item); x != nullptr && x->text != nullptr && index >= 0 &&
                                     index < static_cast<int>(f.table.size())) {
    const bool wasBoxFace = SameFace(face.c_str(), kBoxDrawingFace);
    const bool isBoxFace = SameFace(f.table[index].logFont.lfFaceName, kBoxDrawingFace);
    if (wasBoxFace && !isBoxFace) {
      OemTextToAnsi(x->text, std::strlen(x->text), ' ');
    } else if (!wasBoxFace && isBoxFace) {
      const int sub = t.model != nullptr ? t.model->SpaceDotChar : 183;
      for (char* c = x->text; *c != 0; ++c)
        if (static_cast<unsigned char>(*c) == static_cast<unsigned char>(sub)) *c = static_cast<char>(250);
    }
  }
  const int size = NearestFontSize(f, index, item.pointSize != 0 ? item.pointSize : f.defaultSize);
  const int style = item.fontStyle & kStyleMask;
  // Its own former font is no match: the item's look may have changed since.
  item.fontHandle = nullptr;
  if (index != f.defaultIndex || size != f.defaultSize || (style & kStyledBits) != 0) {
    HFONT h = FindFontHandle(t, index, style, size);
    if (h == nullptr) h = CreateFontForEntry(f, t.metrics, index, style, size);
    if (h != nullptr) {
      item.fontHandle = h;
      item.pointSize = size;
      item.fontIndex = index;
      item.fontStyle = static_cast<uint8_t>(style);
      MeasureFont(h, &item.height, &item.descent);
      DropFormerFont(t, f, former, item);
      return;
    }
  }
  item.fontHandle = (style & 4) ? f.underlineDefault : f.regularDefault;
  item.pointSize = f.defaultSize;
  item.fontIndex = f.defaultIndex;
  item.height = f.defaultLineHeight;
  item.descent = f.defaultDescent;
  DropFormerFont(t, f, former, item);
}

void AttachAllFonts(LayoutTables& t, DocFonts& f, bool onlyIfStyled) {
  for (ReportItemHead* h : FontItems(t)) AttachObjectFont(t, f, *h, onlyIfStyled);
}

void ReleaseUnusedFonts(LayoutTables& t, DocFonts& f, uint32_t mask) {
  std::vector<ReportItemHead*> items = FontItems(t);
  for (ReportItemHead* item : items) {
    HFONT h = static_cast<HFONT>(item->fontHandle);
    if ((item->flags & mask) == 0 || h == nullptr || IsDefault(f, h)) continue;
    bool usedElsewhere = false;
    for (ReportItemHead* other : items)
      if (other->fontHandle == h && (other->flags & mask) == 0) usedElsewhere = true;
    if (usedElsewhere) continue;
    DeleteObject(h);
    for (ReportItemHead* other : items)
      if (other->fontHandle == h) other->fontHandle = nullptr;
  }
}

void ReleaseObjectFonts(LayoutTables& t, DocFonts& f, bool recreate, bool reportOpen) {
  std::vector<ReportItemHead*> items = FontItems(t);
  for (ReportItemHead* item : items) {
    HFONT h = static_cast<HFONT>(item->fontHandle);
    if (h == nullptr) continue;
    const bool regular = h == f.regularDefault, underline = h == f.underlineDefault;
    // A default the document does not own (the stock font) is not deleted.
    const bool owned = (!regular && !underline) || (regular && (f.ownership & kOwnRegularDefault)) ||
                       (underline && (f.ownership & kOwnUnderlineDefault));
    if (owned) DeleteObject(h);
    if (regular) {
      f.regularDefault = nullptr;
      f.ownership &= ~kOwnRegularDefault;
    }
    if (underline) {
      f.underlineDefault = nullptr;
      f.ownership &= ~kOwnUnderlineDefault;
    }
    for (ReportItemHead* other : items) {
      if (other->fontHandle != h) continue;
      other->fontHandle = nullptr;
      const int idx = other->fontIndex;
      if (!recreate && reportOpen && idx >= 0 && idx < static_cast<int>(f.table.size()))
        other->faceAtom = AddFaceAtom(f.table[idx].logFont.lfFaceName);
      else
        other->faceAtom = 0;
    }
  }
  if (recreate) LoadDefaultFonts(f, t.metrics);
}

void ValidateDefaultFont(LayoutTables& t, DocFonts& f, bool reportOpen) {
  if (!f.table.empty() && reportOpen) {
    for (ReportItemHead* item : FontItems(t)) {
      if (item->fontHandle == nullptr) continue;
      if (item->fontHandle == f.regularDefault) f.ownership &= ~kOwnRegularDefault;
      if (item->fontHandle == f.underlineDefault) f.ownership &= ~kOwnUnderlineDefault;
    }
  }
  LoadDefaultFonts(f, t.metrics);
}

void ReloadFonts(LayoutTables& t, DocFonts& f, const char* printer, bool redo) {
  if (redo) ReleaseObjectFonts(t, f, false, true);
  FreeFontTable(f);
  EnumPrinterFonts(f, t.metrics, printer);
  if (redo) {
    RecalcObjectExtents(t, f, false, false, false);
    t.Hooks().RedrawAllPanes();
  }
}

void RecalcObjectExtents(LayoutTables& t, DocFonts& f, bool onlyIfStyled, bool useWidth, bool fromColumns) {
  MeasureObjectExtents(t, f, onlyIfStyled, useWidth, fromColumns);
  t.currentLine = 0;
  t.Hooks().ResetCaretX();
}

void MeasureObjectExtents(LayoutTables& t, DocFonts& f, bool onlyIfStyled, bool useWidth, bool fromColumns) {
  AttachAllFonts(t, f, onlyIfStyled);
  for (ReportItemHead* item : FontItems(t)) {
    // Measured as SizeObjectToText measures, so that an item sized by it
    // keeps its extent when a reopened report is measured again.
    std::string text;
    if (TextItem* x = AsText(t, *item)) text = x->text != nullptr ? x->text : "";
    else if (FieldOfItem(item) != nullptr) text = FieldShownText(t, *item);
    else continue;
    int h = 0;
    const int w = MeasureObjectText(t, *item, text, &h, nullptr, nullptr);
    const LayoutMetrics& m = t.metrics;
    switch (ItemAlignment(t, *item)) {
      case 1:
        if (useWidth) item->left = CharCellWidth(m, item->width) / 2 + CharCellWidth(m, item->column) - w / 2;
        else if (fromColumns) item->left = CharCellWidth(m, item->column) - w / 2;
        else if (item->left < 0) item->left = SnapToCharCell(m, (item->left + item->right) / 2) - w / 2;
        if (item->left < 0) item->left = 0;
        item->right = item->left + w;
        break;
      case 2:
        if (fromColumns) {
          item->right = std::max(CharCellWidth(m, item->column + (useWidth ? item->width : 0)), w);
          item->left = item->right - w;
        } else {
          item->left = item->right - w;
          if (item->left < 0) {
            item->left = 0;
            item->right = w;
          }
        }
        break;
      default:
        if (fromColumns) item->left = CharCellWidth(m, item->column);
        item->right = item->left + w;
        break;
    }
    if (h != 0) item->height = h;
  }
  RelayoutAfterFontChange(t, false, 0xFFFF);
  RelayoutAfterFontChange(t, false, 0xFFFF);
}
